#include <gtest/gtest.h>

#include <tuple>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "platform/ui/tests/qt_test_util.h"
#include "printlayout/gui/view/PageView.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using vel::ui::testing::WaitFor;

// Mouse and key events as the window system delivers them to a widget.
void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
  QMouseEvent event(type, at, w->mapToGlobal(at), button, buttons, mods);
  QApplication::sendEvent(w, &event);
}
void KeyClick(QWidget* w, int key, Qt::KeyboardModifiers mods = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods), release(QEvent::KeyRelease, key, mods);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
}

// Every emission of a signal, with its arguments.
template <typename... Args>
struct Recorder {
  template <typename Object, typename Signal>
  Recorder(Object* object, Signal signal) {
    QObject::connect(object, signal, &context, [this](Args... args) { calls.emplace_back(args...); });
  }
  QObject context;  // disconnects when the recorder goes
  int count() const { return static_cast<int>(calls.size()); }
  std::vector<std::tuple<std::decay_t<Args>...>> calls;
};

// The page view at 800 x 1000 in Whole Page mode on A4, auto-arrange off;
// pointer actions go to the viewport as the mouse would send them.
class PageViewTest : public ::testing::Test {
 protected:
  PageViewTest() : project(env), view(project) {
    project.autoArrange = 0;
    view.resize(800, 1000);
    view.show();
  }

  ImagePlacement* Add(int entry, int x, int y, int w, int h, std::string path = {}) {
    while (project.pageCount() < entry) project.appendPage();
    if (path.empty()) path = "/nonexistent/" + std::to_string(project.totalImages()) + ".png";
    project.addImage(path, "", 640, 480, entry, 0, 0);
    ImagePlacement* p = project.pages[size_t(entry)]->placements.back().get();
    p->x = x, p->y = y, p->width = w, p->height = h;
    view.refresh();
    return p;
  }
  // A point on the paper of an entry, in 0.1 mm.
  QPoint Paper(int entry, int x, int y) const {
    const ViewGeometry& g = view.geometry();
    return g.pageRect(entry).topLeft() + QPoint(g.toPixels(x), g.toPixels(y));
  }
  int Px(int tenths) const { return view.geometry().toPixels(tenths); }
  int Tenths(int px) const { return view.geometry().toTenths(px); }

  QWidget* vp() { return view.viewport(); }
  void Press(QPoint at, Qt::KeyboardModifiers mods = {}) {
    SendMouse(vp(), QEvent::MouseButtonPress, at, Qt::LeftButton, mods);
  }
  void Move(QPoint at, Qt::KeyboardModifiers mods = {}) { SendMouse(vp(), QEvent::MouseMove, at, Qt::NoButton, mods); }
  void Release(QPoint at, Qt::KeyboardModifiers mods = {}) {
    SendMouse(vp(), QEvent::MouseButtonRelease, at, Qt::LeftButton, mods);
  }
  void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
    Press(from, mods);
    Move((from + to) / 2, mods);
    Move(to, mods);
    Release(to, mods);
  }
  // Auto-arrange on with a grid of columns x rows, every image laid out.
  void AutoArrange(int columns, int rows) {
    project.autoArrange = 1;
    project.arrangeColumns = columns, project.arrangeRows = rows;
    applyAutoArrange(project);
    view.refresh();
  }
  std::vector<ImagePlacement*> Order(int entry) const {
    std::vector<ImagePlacement*> out;
    for (const auto& p : project.pages[size_t(entry)]->placements) out.push_back(p.get());
    return out;
  }

  testing::FakeEnvironment env;
  Project project;
  PageView view;
};

TEST_F(PageViewTest, ShiftClickAddsAndRemovesWithoutMoving) {
  ImagePlacement* a = Add(1, 200, 200, 400, 300);
  ImagePlacement* b = Add(1, 900, 200, 400, 300);
  project.modified = 0;
  Drag(view.boxOf(a).center(), view.boxOf(a).center());
  ASSERT_EQ(view.selection(), Selection({a}));
  const QPoint onB = view.boxOf(b).center();
  Press(onB, Qt::ShiftModifier);
  EXPECT_EQ(view.tracking(), PageView::kIdle);
  Move(onB + QPoint(60, 40), Qt::ShiftModifier);
  Release(onB + QPoint(60, 40), Qt::ShiftModifier);
  EXPECT_EQ(view.selection(), Selection({a, b}));
  EXPECT_EQ(b->x, 900);
  Drag(onB, onB, Qt::ShiftModifier);
  EXPECT_EQ(view.selection(), Selection({a}));
  EXPECT_EQ(project.modified, 0);
}

TEST_F(PageViewTest, MovesOnThePaper) {
  struct Case {
    const char* name;
    QPoint drag;
    Qt::KeyboardModifiers mods;
    QPoint want;  // pixels; x < 0 means "right edge on the paper's edge"
  } cases[] = {{"plain", {40, 10}, {}, {40, 10}},
               {"ctrl keeps to x", {40, 10}, Qt::ControlModifier, {40, 0}},
               {"ctrl keeps to y", {10, -40}, Qt::ControlModifier, {0, -40}},
               {"past the right edge", {100, 0}, {}, {-1, 0}},
               {"no move", {0, 0}, {}, {0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    project.pages[1]->placements.clear();
    ImagePlacement* p = Add(1, 1500, 500, 400, 300);
    project.modified = 0;
    Recorder<> edited(&view, &PageView::projectEdited);
    const QPoint from = view.boxOf(p).center();
    Drag(from, from + c.drag, c.mods);
    EXPECT_EQ(project.pageOf(p), 1);
    EXPECT_EQ(p->x, c.want.x() < 0 ? project.pageWidth - 400 : 1500 + Tenths(c.want.x()));
    EXPECT_EQ(p->y, 500 + Tenths(c.want.y()));
    EXPECT_EQ(edited.count(), c.drag.isNull() ? 0 : 1);
    EXPECT_EQ(project.modified, c.drag.isNull() ? 0 : 1);
    EXPECT_EQ(p->laidOut, c.drag.isNull() ? 0 : 1);
  }
}

TEST_F(PageViewTest, MovesBetweenPagesAndOffThem) {
  view.setZoomMode(ZoomMode::TwoPages);
  ImagePlacement* a = Add(1, 300, 400, 300, 200);
  ImagePlacement* b = Add(1, 1000, 400, 300, 200);
  Add(2, 100, 100, 100, 100);
  // The same place on page 2, 20 pixels to the right: the position on the paper is kept.
  Drag(Paper(1, 400, 500), Paper(2, 400, 500) + QPoint(20, 0));
  EXPECT_EQ(project.pageOf(a), 2);
  EXPECT_EQ(a->x, 300 + Tenths(20));
  EXPECT_EQ(a->y, 400);
  // Released over the gap between the pages: the whole selection goes to the not-arranged area.
  Drag(view.boxOf(b).center(), view.boxOf(b).center());
  Press(view.boxOf(a).center(), Qt::ShiftModifier);
  Release(view.boxOf(a).center(), Qt::ShiftModifier);
  ASSERT_EQ(view.selection().size(), 2u);
  const QRect page1 = view.geometry().pageRect(1);
  Drag(view.boxOf(b).center(), QPoint(RightOf(page1) + ViewGeometry::kGap / 2, page1.center().y()));
  EXPECT_EQ(project.pageOf(a), 0);
  EXPECT_EQ(project.pageOf(b), 0);
}

TEST_F(PageViewTest, CornerHandleScalesTheSelectionUniformly) {
  ImagePlacement* a = Add(1, 200, 200, 400, 300);
  ImagePlacement* b = Add(1, 700, 300, 400, 300);  // bounds 900 x 400 from (200, 200)
  view.setSelection({a, b});
  const QPoint corner = view.boxOf(b).bottomRight() + QPoint(1, 1);
  const int w = Px(1100) - Px(200), h = Px(600) - Px(200);
  Drag(corner, corner + QPoint(w, 0));  // aspect kept: the smaller factor, 1
  EXPECT_EQ(QRect(a->x, a->y, a->width, a->height), QRect(200, 200, 400, 300));
  EXPECT_EQ(QRect(b->x, b->y, b->width, b->height), QRect(700, 300, 400, 300));
  Drag(corner, corner + QPoint(2 * w, h));  // factors 3 and 2: both scale by 2 about the top-left
  EXPECT_EQ(QRect(a->x, a->y, a->width, a->height), QRect(200, 200, 800, 600));
  EXPECT_EQ(QRect(b->x, b->y, b->width, b->height), QRect(1200, 400, 800, 600));
}

TEST_F(PageViewTest, RubberBandSelectsWholeBoxesAcrossPages) {
  view.setZoomMode(ZoomMode::TwoPages);
  ImagePlacement* a = Add(1, 1200, 300, 300, 300);
  ImagePlacement* b = Add(2, 100, 300, 300, 300);
  Add(2, 300, 900, 300, 300);  // sticks out of the band
  Drag(Paper(1, 1000, 200), Paper(2, 500, 1000));
  EXPECT_EQ(view.selection(), Selection({a, b}));
}

TEST_F(PageViewTest, AutoArrangeWarningAnswers) {
  struct Case {
    const char* name;
    bool ask;
    AutoArrangeAnswer answer;
    int autoArrange;
    bool warnAfter;
  } cases[] = {{"yes", true, {true, false}, 0, true},
               {"no", true, {false, false}, 1, true},
               {"do not ask", true, {false, true}, 1, false},
               {"no dialog", false, {}, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto& page : project.pages) page->placements.clear();
    ImagePlacement* a = Add(1, 0, 0, 0, 0);
    ImagePlacement* b = Add(1, 0, 0, 0, 0);
    AutoArrange(2, 2);
    view.setAutoArrangeWarningAllowed(true);
    int asked = 0;
    view.setAutoArrangeQuestion(c.ask ? std::function<AutoArrangeAnswer()>([&] { return ++asked, c.answer; })
                                      : std::function<AutoArrangeAnswer()>());
    const QPoint from = view.boxOf(a).center();
    Press(from);
    Move(view.boxOf(b).center());
    EXPECT_EQ(view.tracking(), PageView::kIdle);  // the action ends with the question
    Release(view.boxOf(b).center());
    EXPECT_EQ(asked, c.ask ? 1 : 0);
    EXPECT_EQ(Order(1), std::vector<ImagePlacement*>({a, b}));
    EXPECT_EQ(project.autoArrange, c.autoArrange);
    EXPECT_EQ(view.autoArrangeWarningAllowed(), c.warnAfter);
  }
}

TEST_F(PageViewTest, AutoArrangeReorderAndSwap) {
  view.setZoomMode(ZoomMode::TwoPages);
  view.setAutoArrangeWarningAllowed(false);
  std::vector<ImagePlacement*> images;
  for (int i = 0; i < 6; ++i) images.push_back(Add(1, 0, 0, 0, 0));
  AutoArrange(2, 2);  // four on page 1, two on page 2
  ASSERT_EQ(project.pageCount(), 2);
  ImagePlacement *a = images[0], *b = images[1], *c = images[2], *d = images[3], *e = images[4], *f = images[5];
  const QRect secondCell(b->x, b->y, b->width, b->height);
  // The first image dropped on the third cell: it stood before the cell, so it becomes second.
  Drag(view.boxOf(a).center(), view.boxOf(c).center());
  EXPECT_EQ(Order(1), std::vector<ImagePlacement*>({b, a, c, d}));
  EXPECT_EQ(QRect(a->x, a->y, a->width, a->height), secondCell);
  // Ctrl with one image: it changes places with the image under the drop, across pages.
  Drag(view.boxOf(d).center(), view.boxOf(f).center(), Qt::ControlModifier);
  EXPECT_EQ(Order(1), std::vector<ImagePlacement*>({b, a, c, f}));
  EXPECT_EQ(Order(2), std::vector<ImagePlacement*>({e, d}));
  EXPECT_EQ(f->pageIndex, 1);
  EXPECT_EQ(project.modified, 1);
}

TEST_F(PageViewTest, DeleteKey) {
  struct Case {
    int autoArrange;
    Qt::KeyboardModifiers mods;
    bool removed;
  } cases[] = {{0, {}, false}, {0, Qt::ShiftModifier, true}, {1, {}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.autoArrange << " " << int(c.mods));
    for (auto& page : project.pages) page->placements.clear();
    project.autoArrange = c.autoArrange;
    ImagePlacement* a = Add(1, 200, 200, 400, 300);
    Add(1, 900, 200, 400, 300);
    view.setSelection({a});
    KeyClick(&view, Qt::Key_Delete, c.mods);
    EXPECT_TRUE(view.selection().empty());
    EXPECT_EQ(project.totalImages(), c.removed ? 1 : 2);
    if (!c.removed) {
      EXPECT_EQ(project.pageOf(a), 0);
    }
    // With auto-arrange the rest is laid out again: the survivor takes the first cell.
    if (c.autoArrange) {
      EXPECT_EQ(project.pages[1]->placements[0]->x, project.marginLeft);
    }
  }
}

class FakeDropTarget : public ImageDropTarget {
 public:
  QWidget* dropWidget() override { return &tree; }
  void dragEnter(const std::vector<ImagePlacement*>& images) override {
    log += "enter" + std::to_string(images.size()) + " ";
  }
  void dragMove(QPoint) override { ++moves; }
  void dragLeave() override { log += "leave "; }
  bool drop(const std::vector<ImagePlacement*>& images, QPoint global) override {
    log += "drop" + std::to_string(images.size()) + " ";
    dropped = global;
    return true;
  }
  QWidget tree;
  std::string log;
  int moves = 0;
  QPoint dropped;
};

TEST_F(PageViewTest, DragOntoTheInspector) {
  FakeDropTarget target;
  target.tree.setGeometry(900, 100, 200, 300);
  target.tree.show();
  view.move(0, 0);
  view.setDropTarget(&target);
  ImagePlacement* a = Add(1, 200, 200, 400, 300);
  const QPoint onTree = vp()->mapFromGlobal(target.tree.mapToGlobal(QPoint(100, 150)));
  ASSERT_FALSE(vp()->rect().contains(onTree));
  Press(view.boxOf(a).center());
  Move(onTree);
  EXPECT_EQ(view.tracking(), PageView::kDraggingToInspector);
  Move(view.boxOf(a).center());  // back into the view: the move goes on
  EXPECT_EQ(view.tracking(), PageView::kMoving);
  Move(onTree);
  Release(onTree);
  EXPECT_EQ(target.log, "enter1 leave enter1 drop1 ");
  EXPECT_EQ(target.dropped, target.tree.mapToGlobal(QPoint(100, 150)));
  EXPECT_GE(target.moves, 2);
  EXPECT_TRUE(view.selection().empty());
  EXPECT_EQ(view.tracking(), PageView::kIdle);
}

TEST_F(PageViewTest, StatusTexts) {
  project.firstPageNumber = 5;
  ImagePlacement* a = Add(1, 200, 300, 400, 250);
  Recorder<const QString&, const QString&, const QString&> info(&view, &PageView::pointerInfo);
  const QPoint on = Paper(1, 400, 400);
  Move(on);
  ASSERT_EQ(info.count(), 1);
  const QPoint rel = on - view.geometry().pageRect(1).topLeft();
  EXPECT_EQ(std::get<0>(info.calls[0]), "640x480");
  EXPECT_EQ(std::get<1>(info.calls[0]), "(20.0,30.0),(40.0x25.0)");
  EXPECT_EQ(std::get<2>(info.calls[0]),
            QString::asprintf("Page 5 [%.1f:%.1f mm]", Tenths(rel.x()) / 10.0, Tenths(rel.y()) / 10.0));
  Move(QPoint(3, 500));
  EXPECT_EQ(std::get<0>(info.calls[1]), "");
  EXPECT_EQ(std::get<1>(info.calls[1]), "");
  EXPECT_TRUE(std::get<2>(info.calls[1]).endsWith(" mm"));
  EXPECT_FALSE(std::get<2>(info.calls[1]).startsWith("Page"));
  EXPECT_TRUE(std::get<2>(info.calls[1]).startsWith("-"));  // left of the paper
  (void)a;
}

TEST_F(PageViewTest, ZoomModesScrollKeysAndShots) {
  testing::TempFolder folder;
  const COLORREF colours[] = {0x3060C0, 0x40A040, 0xC07030, 0x808080, 0x2020A0};
  for (int i = 0; i < 5; ++i) {
    const std::string picture = folder / ("p" + std::to_string(i) + ".png");
    ASSERT_TRUE(testing::WritePicture(picture, 64, 48, colours[i], kExportPNG));
    Add(i + 1, 200, 200, 900, 700, picture);
    Add(i + 1, 1100, 1000, 700, 900, picture);
  }
  project.borderLines = 0x1111111;  // a thin line on every edge
  const ZoomMode modes[] = {ZoomMode::PageWidth, ZoomMode::WholePage, ZoomMode::TwoPages, ZoomMode::ThreePages,
                            ZoomMode::FourPages};
  const char* names[] = {"page-width", "whole-page", "two-pages", "three-pages", "four-pages"};
  view.setSelection({project.pages[1]->placements[0].get()});
  for (int m = 0; m < 5; ++m) {
    view.setZoomMode(modes[m]);
    const ViewGeometry& g = view.geometry();
    EXPECT_EQ(g.rows(), (5 + PagesAcross(modes[m]) - 1) / PagesAcross(modes[m]));
    EXPECT_EQ(view.verticalScrollBar()->maximum(), std::max(0, g.contentHeight() - vp()->height()));
    vel::ui::testing::SaveShotIfAsked(view, std::string("tessaly-view-") + names[m]);
  }
  view.setZoomMode(ZoomMode::WholePage);
  Recorder<int> current(&view, &PageView::currentPageChanged);
  view.goToPage(3);
  EXPECT_EQ(view.currentPage(), 3);
  EXPECT_EQ(view.geometry().pageRect(3).y(), ViewGeometry::kGap);
  KeyClick(&view, Qt::Key_Home);
  EXPECT_EQ(view.verticalScrollBar()->value(), 0);
  EXPECT_EQ(view.currentPage(), 1);
  KeyClick(&view, Qt::Key_PageDown);
  EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->pageStep());
  KeyClick(&view, Qt::Key_End);
  EXPECT_EQ(view.currentPage(), 5);
  const std::vector<std::tuple<int>> pages = {{3}, {1}, {2}, {5}};  // Page Down shows page 2 at the top
  EXPECT_EQ(current.calls, pages);
  Recorder<> leave(&view, &PageView::leaveFullScreenRequested);
  KeyClick(&view, Qt::Key_Escape);
  view.setFullScreenMode(true);
  KeyClick(&view, Qt::Key_Escape);
  EXPECT_EQ(leave.count(), 1);
}

TEST_F(PageViewTest, AutoScrollNearTheBottomEdge) {
  view.setZoomMode(ZoomMode::PageWidth);
  Add(3, 200, 200, 400, 300);
  Press(Paper(1, 100, 2500));
  Move(QPoint(400, vp()->height() - 3));
  EXPECT_TRUE(WaitFor([&] { return view.verticalScrollBar()->value() >= 50; }, 2000));
  Move(QPoint(400, vp()->height() / 2));  // out of the band: it stops
  const int stopped = view.verticalScrollBar()->value();
  WaitFor([] { return false; }, 250);
  EXPECT_EQ(view.verticalScrollBar()->value(), stopped);
  Release(QPoint(400, vp()->height() / 2));
}

}  // namespace
}  // namespace tessaly
