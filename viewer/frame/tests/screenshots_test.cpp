// Pictures of the main window, its menus, the lens and the dialogs it opens,
// written to build/screenshots for a person to look at.
#include <sys/stat.h>

#include <QDialog>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>

#include "platform/shell/shell.h"
#include "viewer/core/Commands.h"
#include "viewer/frame/CChildFrame.h"
#include "viewer/frame/tests/frame_fixture.h"
#include "viewer/view/COrvennaView.h"

namespace orvenna::testing {
namespace {

class Screenshots : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    dir_ = ModuleDirectory() + "/../screenshots";
    mkdir(dir_.c_str(), 0755);
  }
  void Save(QWidget* widget, const std::string& name) {
    ASSERT_NE(widget, nullptr) << name;
    const QPixmap picture = widget->grab();
    EXPECT_FALSE(picture.isNull()) << name;
    EXPECT_TRUE(picture.save(QString::fromStdString(dir_ + "/orvenna-" + name + ".png"))) << name;
  }
  // Runs the command and photographs the dialog it opens, then cancels it.
  void SaveDialog(CMainFrame& frame, int command, const std::string& name) {
    bool seen = false;
    QTimer::singleShot(100, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      seen = true;
      Save(dialog, name);
      if (auto* d = qobject_cast<QDialog*>(dialog))
        d->reject();
      else
        dialog->close();
    });
    frame.Commands().Execute(command);
    EXPECT_TRUE(seen) << name;
  }
  std::string dir_;
};

TEST_F(Screenshots, MainWindowMenusLensAndDialogs) {
  const std::string photo = Make("photo.jpg", "-size 800x600 plasma:fractal -blur 0x2");
  const std::string tiff = Make("pages.tif", "-size 300x200 gradient:navy-gold gradient:green-white");
  CMainFrame frame;
  frame.resize(1100, 760);
  frame.show();
  ASSERT_TRUE(WaitFor([&] { return frame.isVisible(); }));
  Save(&frame, "empty");
  SaveDialog(frame, ID_TOOLBAR_CUSTOMIZE, "customize");
  SaveDialog(frame, ID_FILE_OPEN, "open");
  SaveDialog(frame, ID_APP_ABOUT, "about");

  ASSERT_TRUE(frame.OpenDocument(tiff));
  ASSERT_TRUE(frame.OpenDocument(photo));
  QApplication::processEvents();
  Save(&frame, "image");

  for (QAction* top : frame.menuBar()->actions()) {
    QMenu* menu = top->menu();
    const QRect at = frame.menuBar()->actionGeometry(top);
    menu->popup(frame.menuBar()->mapToGlobal(at.bottomLeft()));
    QApplication::processEvents();
    Save(menu, "menu-" + QString(top->text()).remove('&').toLower().toStdString());
    menu->close();
  }

  // The drop-down of the zoom button, photographed while it is open.
  QTimer::singleShot(100, [&] {
    QWidget* popup = QApplication::activePopupWidget();
    Save(popup, "popup-zoom");
    if (popup) {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(popup, &escape);
    }
  });
  frame.UpdateToolBar();
  frame.ToolButton(ID_ZOOM_DROPDOWN)->click();

  // The lens, held down in the middle of the picture.
  frame.Settings().m_bHandMode = 0;
  frame.ModesChanged();
  QWidget* viewport = frame.ActiveView()->viewport();
  const QPointF middle(viewport->width() / 2.0, viewport->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, middle, viewport->mapToGlobal(middle), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(viewport, &press);
  QApplication::processEvents();
  Save(&frame, "lens");
  QMouseEvent release(QEvent::MouseButtonRelease, middle, viewport->mapToGlobal(middle), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(viewport, &release);

  frame.Commands().Execute(ID_WINDOW_TILE_VERT);
  QApplication::processEvents();
  Save(&frame, "tiled");
  SaveDialog(frame, ID_LENS_SIZE, "lens-size");
  SaveDialog(frame, ID_BATCH, "batch");
  const std::pair<int, const char*> dialogs[] = {
      {ID_STRETCH, "stretch"},     {ID_ROTATE_CUSTOM, "rotation"}, {ID_BRIGHTNESS, "brightness"},
      {ID_CONTRAST, "contrast"},   {ID_FILE_SAVE, "save-as"},      {ID_SAVE_JPEG, "save-jpeg"},
      {ID_SAVE_TIFF, "save-tiff"},
  };
  for (const auto& [command, name] : dialogs) SaveDialog(frame, command, name);
  frame.CloseAllDocuments();
}

}  // namespace
}  // namespace orvenna::testing
