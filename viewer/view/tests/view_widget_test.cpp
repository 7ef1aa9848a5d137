// The view as a user meets it: rendered offscreen, dragged, magnified, zoomed through
// the command map, and the full-screen window and the lens-size dialog it opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/registry/tests/temp_registry.h"
#include "viewer/core/Commands.h"
#include "viewer/core/tests/fake_host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/view/CLensSizeDlg.h"
#include "viewer/view/COrvennaView.h"
#include "viewer/view/ViewGeometry.h"

namespace orvenna {
namespace {

constexpr COLORREF kWork = RGB(0, 0, 255);
const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);

class ViewTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    host = std::make_unique<testing::FakeHost>();
    RegisterViewCommands(*host);
  }
  void TearDown() override {
    view.reset();
    host.reset();
    TempRegistry::TearDown();
  }

  // A picture red on the left half and green on the right, saved as BMP.
  std::string MakeImage(const std::string& name, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h, kRed);
    p.fillRect(w / 2, 0, w - w / 2, h, kGreen);
    p.end();
    const std::string path = TempPath(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path)));
    return path;
  }

  // Opens the file in a view whose client area is `client`.
  COrvennaDoc* Show(const std::string& path, QSize client = QSize(500, 400)) {
    COrvennaDoc* doc = host->Open(path);
    if (!doc) return nullptr;
    doc->m_crWorkArea = kWork;
    view = std::make_unique<COrvennaView>(doc, host.get());
    view->setFrameShape(QFrame::NoFrame);
    view->resize(client);
    view->show();
    host->view = view.get();
    Settle();
    return doc;
  }

  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

  QImage Grab() { return view->viewport()->grab().toImage(); }

  void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, pos, view->viewport()->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &event);
  }

  static QWidget* FullScreenWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "Full screeen mode" && w->isVisible()) return w;
    return nullptr;
  }

  std::unique_ptr<testing::FakeHost> host;
  std::unique_ptr<COrvennaView> view;
};

TEST_F(ViewTest, SmallImageCentredOnWorkAreaAndFitEnlarges) {
  ASSERT_TRUE(Show(MakeImage("small.bmp", 100, 80)));
  QImage shot = Grab();
  ASSERT_EQ(shot.size(), QSize(500, 400));
  EXPECT_EQ(shot.pixelColor(200, 160), kRed);    // top-left pixel of the picture
  EXPECT_EQ(shot.pixelColor(299, 239), kGreen);  // bottom-right one
  EXPECT_EQ(shot.pixelColor(199, 160), kBlue);   // just outside
  EXPECT_EQ(shot.pixelColor(250, 240), kBlue);
  EXPECT_EQ(shot.pixelColor(10, 10), kBlue);

  ASSERT_TRUE(host->commands.Execute(ID_ZOOM_FIT));
  Settle();
  shot = Grab();
  EXPECT_EQ(shot.pixelColor(2, 2), kRed);
  EXPECT_EQ(shot.pixelColor(497, 397), kGreen);
  EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
}

TEST_F(ViewTest, WideImageFitIsCentredVertically) {
  ASSERT_TRUE(Show(MakeImage("wide.bmp", 4000, 1000)));
  EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);  // at 100 % it scrolls
  ASSERT_TRUE(host->commands.Execute(ID_ZOOM_FIT2));
  Settle();
  const QImage shot = Grab();
  EXPECT_EQ(shot.pixelColor(100, 136), kBlue);
  EXPECT_EQ(shot.pixelColor(100, 137), kRed);
  EXPECT_EQ(shot.pixelColor(400, 261), kGreen);
  EXPECT_EQ(shot.pixelColor(400, 263), kBlue);
  EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
}

TEST_F(ViewTest, ZoomCommands) {
  COrvennaDoc* doc = Show(MakeImage("z.bmp", 100, 80));
  ASSERT_TRUE(doc);
  CommandMap& map = host->commands;
  ASSERT_TRUE(map.Execute(ID_ZOOM_150 + 1));  // 200 %
  EXPECT_EQ(doc->m_dZoom, 2.0);
  EXPECT_TRUE(map.Query(ID_ZOOM_150 + 1).checked);
  EXPECT_FALSE(map.Query(ID_ZOOM_100).checked);
  map.Execute(ID_ZOOM_FIT);
  EXPECT_TRUE(map.Query(ID_ZOOM_FIT).checked);
  map.Execute(ID_ZOOM_FIT);
  EXPECT_EQ(doc->m_dZoom, 2.0);
  map.Execute(ID_ZOOM_FIT);
  map.Execute(ID_ZOOM_IN);
  EXPECT_EQ(doc->m_dZoom, 3.0);
  map.Execute(ID_ZOOM_IN);
  EXPECT_EQ(doc->m_dZoom, 4.0);
  EXPECT_FALSE(map.Query(ID_ZOOM_IN).enabled);
  map.Execute(ID_ZOOM_IN);
  EXPECT_EQ(doc->m_dZoom, 4.0);
  map.Execute(ID_ZOOM_FIRST);
  EXPECT_EQ(doc->m_dZoom, 0.05);
  EXPECT_FALSE(map.Query(ID_ZOOM_OUT).enabled);
  EXPECT_TRUE(map.Query(ID_ZOOM_IN).enabled);
  Settle();
  EXPECT_EQ(Grab().pixelColor(247, 199), kRed);  // 5 x 4 pixels in the middle
  host->active = nullptr;
  EXPECT_FALSE(map.Query(ID_ZOOM_100).enabled);
  EXPECT_FALSE(map.Query(ID_FULL_SCREEN).enabled);
}

TEST_F(ViewTest, WorkAreaColourCommands) {
  COrvennaDoc* doc = Show(MakeImage("c.bmp", 100, 80));
  ASSERT_TRUE(doc);
  CommandMap& map = host->commands;
  EXPECT_TRUE(map.Query(ID_AREA_CUSTOM).checked);
  map.Execute(ID_AREA_WINDOWS);
  EXPECT_EQ(doc->m_crWorkArea, SystemWindowColor());
  EXPECT_TRUE(map.Query(ID_AREA_WINDOWS).checked);
  map.Execute(ID_AREA_DEFAULT);
  EXPECT_TRUE(map.Query(ID_AREA_DEFAULT).checked);
  EXPECT_FALSE(map.Query(ID_AREA_CUSTOM).checked);

  QColor started;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    started = dialog->currentColor();
    dialog->setCurrentColor(QColor(10, 200, 30));
    dialog->accept();
  });
  map.Execute(ID_AREA_CUSTOM);
  const COLORREF shadow = SystemBtnShadowColor();  // the dialog starts at the current colour
  EXPECT_EQ(started, QColor(GetRValue(shadow), GetGValue(shadow), GetBValue(shadow)));
  EXPECT_EQ(doc->m_crWorkArea, RGB(10, 200, 30));
  Settle();
  EXPECT_EQ(Grab().pixelColor(5, 5), QColor(10, 200, 30));
}

TEST_F(ViewTest, HandDragOfNarrowImageMovesOnlyVertically) {
  ASSERT_TRUE(Show(MakeImage("narrow.bmp", 100, 2000)));
  ASSERT_GT(view->verticalScrollBar()->maximum(), 0);
  Mouse(QEvent::MouseButtonPress, QPoint(250, 200));
  Mouse(QEvent::MouseMove, QPoint(290, 150));
  EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(view->verticalScrollBar()->value(), 50);
  Mouse(QEvent::MouseMove, QPoint(200, 100));
  EXPECT_EQ(view->verticalScrollBar()->value(), 100);
  Mouse(QEvent::MouseButtonRelease, QPoint(200, 100));
  Mouse(QEvent::MouseMove, QPoint(200, 300));  // no button: no drag
  EXPECT_EQ(view->verticalScrollBar()->value(), 100);
  EXPECT_EQ(view->viewport()->cursor().shape(), Qt::OpenHandCursor);
}

TEST_F(ViewTest, LensShowsTheImageMagnified) {
  ASSERT_TRUE(Show(MakeImage("lens.bmp", 100, 80)));
  const int modes = host->modesChanged;
  ASSERT_TRUE(host->commands.Execute(32855));  // X 2,0
  EXPECT_EQ(host->settings.m_bHandMode, 0);
  EXPECT_EQ(host->modesChanged, modes + 1);
  EXPECT_TRUE(host->commands.Query(32855).checked);
  host->settings.m_nLensCX = 151;
  host->settings.m_nLensCY = 101;
  Mouse(QEvent::MouseButtonPress, QPoint(250, 200));
  auto* lens = view->viewport()->findChild<QFrame*>("Magnify");
  ASSERT_TRUE(lens);
  EXPECT_TRUE(lens->isVisible());
  EXPECT_EQ(lens->geometry(), QRect(175, 150, 150, 100));
  Settle();
  QImage inside = lens->grab().toImage();
  // The lens holds 74 source columns around column 50: red to the left of its middle,
  // green to the right, each twice as wide as in the view.
  EXPECT_EQ(inside.pixelColor(20, 50), kRed);
  EXPECT_EQ(inside.pixelColor(130, 50), kGreen);
  // Over the picture's corner the lens shows the work area beyond the picture.
  Mouse(QEvent::MouseMove, QPoint(205, 165));
  EXPECT_EQ(lens->geometry(), QRect(130, 115, 150, 100));
  Settle();
  inside = lens->grab().toImage();
  EXPECT_EQ(inside.pixelColor(10, 10), kBlue);
  EXPECT_EQ(inside.pixelColor(100, 80), kRed);
  Mouse(QEvent::MouseButtonRelease, QPoint(205, 165));
  EXPECT_FALSE(lens->isVisible());
  EXPECT_EQ(view->viewport()->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(ViewTest, LensKeepsThePointUnderTheCursorInItsMiddle) {
  QImage image(300, 200, QImage::Format_RGB32);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const int square = (x / 20) + (y / 20) * 15;  // flat colours, one per square
      image.setPixel(x, y, square % 2 ? qRgb(40 + square, 60, 140) : qRgb(230, 200 - square, 90 + square / 2));
    }
  const std::string path = TempPath("checker.bmp");
  ASSERT_TRUE(image.save(QString::fromStdString(path)));
  COrvennaDoc* doc = Show(path);
  ASSERT_TRUE(doc);
  doc->m_crWorkArea = SystemBtnShadowColor();
  host->commands.Execute(32857);  // X 3,0
  const QPoint centre(255, 205);  // inside one square of the picture
  const QColor under = Grab().pixelColor(centre);
  Mouse(QEvent::MouseButtonPress, centre);
  auto* lens = view->viewport()->findChild<QFrame*>("Magnify");
  ASSERT_TRUE(lens && lens->isVisible());
  Settle();
  EXPECT_EQ(lens->grab().toImage().pixelColor(lens->width() / 2, lens->height() / 2), under);
  EXPECT_TRUE(view->grab().save("/tmp/shots/view-lens.png"));
  Mouse(QEvent::MouseButtonRelease, centre);
}

TEST_F(ViewTest, StatusTextAndContextMenu) {
  const std::string tiff = TempPath("three.tif");
  const std::string cmd =
      "convert-im6.q16 -size 40x30 xc:red -size 50x20 xc:green -size 60x10 xc:blue '" + tiff + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  COrvennaDoc* doc = Show(tiff);
  ASSERT_TRUE(doc);
  doc->SelectPage(1);
  Mouse(QEvent::MouseMove, QPoint(10, 10));
  EXPECT_EQ(host->status, "Page 2 of 3; width = 40 pixel; height = 30 pixel; color depth = " +
                              std::to_string(doc->m_imgCurrent.GetColorDepth()) + " bpp");

  view.reset();
  ASSERT_TRUE(Show(MakeImage("single.bmp", 100, 80)));
  Mouse(QEvent::MouseMove, QPoint(10, 10));
  EXPECT_EQ(host->status, "Width = 100 pixel; height = 80 pixel; color depth = 24 bpp");

  QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(20, 20), view->viewport()->mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(view->viewport(), &menu);
  ASSERT_EQ(host->popups.size(), 1u);
  EXPECT_EQ(host->popups[0], IDR_MENU_CONTEXT);
  int marker = 0;
  host->active->m_pActivePopup = reinterpret_cast<CBmpMenu*>(&marker);  // a menu is already open
  QApplication::sendEvent(view->viewport(), &menu);
  EXPECT_EQ(host->popups.size(), 1u);
  host->active->m_pActivePopup = nullptr;
}

TEST_F(ViewTest, FirstDisplaySizesTheImageWindow) {
  struct Case {
    int w, h;
    bool hugs;  // the window hugs the picture, else only the height fits
  };
  for (const Case& c : {Case{300, 200, true}, Case{3000, 200, false}}) {
    SCOPED_TRACE(c.w);
    COrvennaDoc* doc = host->Open(MakeImage("first.bmp", c.w, c.h));
    ASSERT_TRUE(doc);
    QMdiArea area;
    area.resize(1000, 700);
    auto* shown = new COrvennaView(doc, host.get());
    QMdiSubWindow* child = area.addSubWindow(shown);
    child->resize(400, 300);
    area.show();
    Settle();
    const QSize allowance = child->size() - shown->viewport()->size();
    shown->OnInitialUpdate(child, area.viewport()->size());
    Settle();
    EXPECT_FALSE(shown->verticalScrollBar()->isVisible());
    if (c.hugs) {
      EXPECT_EQ(shown->viewport()->size(), QSize(c.w, c.h));
      EXPECT_FALSE(shown->horizontalScrollBar()->isVisible());
    } else {
      EXPECT_LT(child->width(), area.viewport()->width() - allowance.width() / 2);
      EXPECT_TRUE(shown->horizontalScrollBar()->isVisible());
      EXPECT_GE(shown->viewport()->height(), c.h);
    }
  }
}

TEST_F(ViewTest, FullScreenFromDoubleClickEndsOnKeyOrRightButton) {
  ASSERT_TRUE(Show(MakeImage("full.bmp", 64, 48)));
  Mouse(QEvent::MouseButtonDblClick, QPoint(250, 200));
  Settle();
  QWidget* full = FullScreenWindow();
  ASSERT_TRUE(full);
  EXPECT_EQ(full->cursor().shape(), Qt::BlankCursor);
  const QImage shot = full->grab().toImage();
  const QPoint mid(full->width() / 2, full->height() / 2);
  EXPECT_EQ(shot.pixelColor(mid - QPoint(10, 0)), kRed);  // own size, centred
  EXPECT_EQ(shot.pixelColor(mid + QPoint(10, 0)), kGreen);
  EXPECT_EQ(shot.pixelColor(mid - QPoint(40, 0)), kBlue);
  EXPECT_EQ(shot.pixelColor(2, 2), kBlue);

  QMouseEvent left(QEvent::MouseButtonPress, QPointF(5, 5), full->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(full, &left);
  Settle();
  EXPECT_TRUE(FullScreenWindow());

  QKeyEvent key(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
  QApplication::sendEvent(full, &key);
  Settle();
  EXPECT_FALSE(FullScreenWindow());
  EXPECT_FALSE(host->commands.Query(ID_END_FULL_SCREEN).enabled);

  ASSERT_TRUE(host->commands.Execute(ID_FULL_SCREEN));
  Settle();
  full = FullScreenWindow();
  ASSERT_TRUE(full);
  QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), full->mapToGlobal(QPointF(5, 5)), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(full, &right);
  Settle();
  EXPECT_FALSE(FullScreenWindow());
}

TEST_F(ViewTest, LensSizeDialogStoresSizeAndSwitchesLensOn) {
  host->settings.m_nLensCX = 150;
  host->settings.m_nLensCY = 100;
  int minimum = -1, maximum = -1;
  QString caption;
  QTimer::singleShot(0, [&] {
    auto* dialog = dynamic_cast<CLensSizeDlg*>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    caption = dialog->windowTitle();
    minimum = dialog->WidthSlider()->minimum();
    maximum = dialog->WidthSlider()->maximum();
    dialog->WidthSlider()->setValue(minimum + 7);
    dialog->HeightSlider()->setValue(dialog->HeightSlider()->minimum() + 3);
    EXPECT_EQ(dialog->findChild<QLabel*>("WidthValue")->text(), QString::number(minimum + 7));
    dialog->accept();
  });
  ASSERT_TRUE(host->commands.Execute(ID_LENS_SIZE));
  const QSize screen = QApplication::primaryScreen()->geometry().size();
  EXPECT_EQ(caption, "Lens size");
  EXPECT_EQ(minimum, screen.width() / 20);
  EXPECT_EQ(maximum, std::max(screen.width() / 2, 150));
  EXPECT_EQ(host->settings.m_nLensCX, minimum + 7);
  EXPECT_EQ(host->settings.m_nLensCY, screen.height() / 20 + 3);
  EXPECT_EQ(host->settings.m_bHandMode, 0);
  EXPECT_EQ(host->modesChanged, 1);
  host->commands.Execute(ID_HAND_MODE);
  EXPECT_EQ(host->settings.m_bHandMode, 1);
  EXPECT_TRUE(host->commands.Query(ID_HAND_MODE).checked);
}

}  // namespace
}  // namespace orvenna
