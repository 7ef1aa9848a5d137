// The print-layout window as a person uses it: its menus and keys, the zoom
// modes, full screen, the bar layout in the registry, dropped files, the close
// question, and pictures of it all in build/screenshots.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>

#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/tests/qt_test_util.h"
#include "platform/ui/ui.h"
#include "printlayout/file/ProjectFile.h"
#include "printlayout/gui/frame/BarState.h"
#include "printlayout/gui/frame/MainWindow.h"
#include "printlayout/gui/projecttree/ProjectTreeDock.h"
#include "printlayout/gui/view/PageView.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using vel::ui::testing::WaitFor;

class MainWindowTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned type) {
      messages.push_back(title + ": " + text);
      return answer ? answer : vel::ui::DefaultAnswer(type);
    });
    env.printers = {"PDF"};
    env.defaultName = "PDF";
    project = std::make_unique<Project>(env);
  }
  void TearDown() override {
    vel::ui::SetMessageObserver(nullptr);
    TempRegistry::TearDown();
  }

  // A project of `pages` printable pages with `perPage` pictures on each,
  // arranged in the 3 x 4 grid.
  void Fill(int pages, int perPage) {
    const std::string colours[] = {"red", "green", "blue", "gold"};
    for (int i = 0; i < pages * perPage; ++i) {
      const std::string path = folder / ("p" + std::to_string(i) + ".png");
      testing::WritePicture(path, 60 + 10 * (i % 3), 40 + 10 * (i % 4), RGB(40 * (i % 6), 180, 255 - 30 * (i % 8)),
                            kExportPNG);
      project->addImageFile(path, 0);
    }
    project->autoArrange = 1;
    project->arrangeColumns = std::min(perPage, 3);
    project->arrangeRows = (perPage + 2) / 3;
    applyAutoArrange(*project);
    ASSERT_EQ(project->pageCount(), pages);
  }

  std::unique_ptr<MainWindow> Open() {
    auto window = std::make_unique<MainWindow>(*project);
    window->resize(1100, 800);
    window->show();
    // Window-wide keys reach only the active window.
    QApplication::setActiveWindow(window.get());
    EXPECT_TRUE(WaitFor([&] { return window->isVisible() && window->isActiveWindow(); }));
    return window;
  }

  static QMenu* Menu(MainWindow& w, const QString& title) {
    for (QAction* a : w.menuBar()->actions())
      if (a->text() == title) return a->menu();
    return nullptr;
  }
  static QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
  }

  testing::FakeEnvironment env;
  std::unique_ptr<Project> project;
  testing::TempFolder folder;
  std::vector<std::string> messages;
  int answer = 0;
};

TEST_F(MainWindowTest, MenusCarryEveryItemAndTheFileMenuOnlyItsFourCommands) {
  auto w = Open();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("PrintPreview"));
  QStringList tops;
  for (QAction* a : w->menuBar()->actions()) tops << a->text();
  EXPECT_EQ(tops, QStringList({"&File", "&Edit", "&View", "&Layout", "&Help"}));
  EXPECT_EQ(Texts(Menu(*w, "&File")),
            QStringList({"Page Setup...", "&Print...", "&Export as image(s)...", "-", "E&xit"}));
  EXPECT_EQ(Texts(Menu(*w, "&Edit")),
            QStringList({"Select All", "-", "&Insert Page", "&Remove Page", "-", "Remove Image from Page\tDel",
                         "Remove Image from Project\tShift+Del", "-", "Options..."}));
  EXPECT_EQ(Texts(Menu(*w, "&View")), QStringList({"Standard &Toolbar", "Arrange && Layout Toolbar", "&Status Bar",
                                                   "Project &Inspector", "-", "Full Screen"}));
  const QStringList layout = Texts(Menu(*w, "&Layout"));
  for (const char* item : {"&Align", "Space &Every", "Make &Same Size", "S&ize to Content", "Align and &Distribute...",
                           "A&rrange...", "Synchronize size...", "Image S&hadow", "Page &Layout"})
    EXPECT_TRUE(layout.contains(QString::fromLatin1(item))) << item;
  EXPECT_EQ(Texts(Menu(*w, "&Help")), QStringList({"&Contents"}));
  EXPECT_EQ(
      Texts(w->viewContextMenu()),
      QStringList({"&Remove from Page\tDel", "Remove from &Project\tShift+Del", "-", "Align && &Distribute...\tCtrl+A",
                   "&Arrange...", "Synchronize size...", "S&ize to Content\tShift+F7", "-", "&Goto Page\tCtrl+G",
                   "Synchronize &Inspector", "&Select All", "-", "Edit &Comment"}));

  // The keys of the table; the removed File commands' keys belong to nothing.
  const std::map<Command, QKeySequence> keys = {
      {Command::Print, QKeySequence("Ctrl+P")},           {Command::FullScreen, QKeySequence("Ctrl+F12")},
      {Command::AlignLeft, QKeySequence("Ctrl+Left")},    {Command::AlignHCenter, QKeySequence("Shift+F9")},
      {Command::AlignRight, QKeySequence("Ctrl+Right")},  {Command::AlignTop, QKeySequence("Ctrl+Up")},
      {Command::AlignVCenter, QKeySequence("F9")},        {Command::AlignBottom, QKeySequence("Ctrl+Down")},
      {Command::SizeToContent, QKeySequence("Shift+F7")}, {Command::AlignDistribute, QKeySequence("Ctrl+A")},
      {Command::HelpContents, QKeySequence("F1")},        {Command::GotoPage, QKeySequence("Ctrl+G")}};
  for (const auto& [id, key] : keys) EXPECT_EQ(w->action(id)->shortcut(), key) << key.toString().toStdString();
  for (QAction* a : w->findChildren<QAction*>())
    for (const char* removed : {"Ctrl+N", "Ctrl+O", "Ctrl+S", "Ctrl+I"})
      EXPECT_NE(a->shortcut(), QKeySequence(removed)) << a->text().toStdString();
  EXPECT_EQ(w->standardBar()->windowTitle(), QStringLiteral("Standard"));
  EXPECT_EQ(w->layoutBar()->windowTitle(), QStringLiteral("Align & Layout"));
  EXPECT_TRUE(w->layoutBar()->actions().contains(w->action(Command::ToggleAutoArrange)));
  EXPECT_EQ(w->action(Command::ToggleAutoArrange)->text(), QStringLiteral("Toggle Auto Arrange mode"));
}

TEST_F(MainWindowTest, SelectionCommandsFollowTheSelectionAndKeysReachThem) {
  Fill(1, 2);
  project->autoArrange = 0;
  auto w = Open();
  EXPECT_EQ(w->countsPane()->text(), QStringLiteral("2 Image(s) and 1 Page(s)"));
  EXPECT_FALSE(w->pixelSizePane()->isVisible());  // no empty boxes before the pointer is on a page
  const QRect box = w->view()->boxOf(project->pages[1]->placements[0].get());
  QMouseEvent move(QEvent::MouseMove, QPointF(box.center()), QPointF(w->view()->viewport()->mapToGlobal(box.center())),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w->view()->viewport(), &move);
  EXPECT_TRUE(w->pixelSizePane()->isVisible());
  EXPECT_EQ(w->pixelSizePane()->text(), QStringLiteral("60x40"));
  EXPECT_TRUE(w->positionPane()->text().startsWith(QStringLiteral("Page 1 [")));
  EXPECT_FALSE(w->action(Command::AlignLeft)->isEnabled());
  ImagePlacement* a = project->pages[1]->placements[0].get();
  ImagePlacement* b = project->pages[1]->placements[1].get();
  a->y = 900;
  w->view()->setSelection({a});
  EXPECT_TRUE(w->action(Command::AlignLeft)->isEnabled());
  EXPECT_FALSE(w->action(Command::SpaceAcross)->isEnabled());  // needs two
  w->view()->setSelection({b, a});                             // b is the reference
  QTest::keyClick(w->view()->viewport(), Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(a->y, b->y);
  EXPECT_TRUE(project->modified);
  w->action(Command::Shadow10)->trigger();
  EXPECT_EQ(project->shadowDx, 10);
  EXPECT_TRUE(w->action(Command::Shadow10)->isChecked());
  EXPECT_FALSE(w->action(Command::ShadowNone)->isChecked());
  EXPECT_EQ(env.settings.shadowImagesCX, 10);

  w->action(Command::RemoveFromProject)->trigger();
  EXPECT_EQ(project->totalImages(), 0);
  EXPECT_TRUE(w->view()->selection().empty());
  EXPECT_EQ(w->countsPane()->text(), QStringLiteral("0 Image(s) and 1 Page(s)"));
}

TEST_F(MainWindowTest, ZoomModesFullScreenAndAutoArrangeToggle) {
  Fill(3, 2);
  auto w = Open();
  const std::pair<Command, ZoomMode> modes[] = {{Command::ZoomPageWidth, ZoomMode::PageWidth},
                                                {Command::ZoomTwoPages, ZoomMode::TwoPages},
                                                {Command::ZoomFourPages, ZoomMode::FourPages},
                                                {Command::ZoomWholePage, ZoomMode::WholePage}};
  for (const auto& [id, mode] : modes) {
    w->action(id)->trigger();
    EXPECT_EQ(w->view()->zoomMode(), mode);
    EXPECT_TRUE(w->action(id)->isChecked());
    EXPECT_EQ(w->pageLayoutButton()->icon().cacheKey(), w->action(id)->icon().cacheKey());
  }

  QTest::keyClick(w.get(), Qt::Key_F12, Qt::ControlModifier);
  ASSERT_TRUE(w->isFullScreenMode());
  EXPECT_FALSE(w->menuBar()->isVisible());
  EXPECT_FALSE(w->inspector()->isVisible());
  QTest::keyClick(w->view()->viewport(), Qt::Key_Escape);
  EXPECT_FALSE(w->isFullScreenMode());
  EXPECT_TRUE(w->menuBar()->isVisible());
  EXPECT_TRUE(w->inspector()->isVisible());

  // Switching the mode back on lays every image out again.
  w->action(Command::ToggleAutoArrange)->trigger();
  EXPECT_EQ(project->autoArrange, 0);
  project->pages[1]->placements[0]->x = 1234;
  w->action(Command::ToggleAutoArrange)->trigger();
  EXPECT_EQ(project->autoArrange, 1);
  EXPECT_EQ(project->pages[1]->placements[0]->x, project->marginLeft);
  EXPECT_TRUE(w->action(Command::ToggleAutoArrange)->isChecked());
}

TEST_F(MainWindowTest, BarLayoutAndInspectorSizesLiveInTheRegistry) {
  {
    auto w = Open();
    w->layoutBar()->hide();
    w->resizeDocks({w->inspector()}, {333}, Qt::Horizontal);
    QApplication::processEvents();
    w->saveBarState();
  }
  const std::string key = std::string(kProgramKey) + "\\" + SizingBarKey(0);
  EXPECT_EQ(SizingBarKey(0), "DizezOzav.BarState-SCBar-0");
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
  DWORD width = 0, size = sizeof width, type = 0;
  EXPECT_EQ(RegQueryValueExA(h, "sizeVertCX", nullptr, &type, reinterpret_cast<BYTE*>(&width), &size), ERROR_SUCCESS);
  EXPECT_EQ(width, 333u);
  RegCloseKey(h);
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kProgramKey) + "\\DizezOzav.BarState").c_str(), 0, KEY_READ, &h),
      ERROR_SUCCESS);
  RegCloseKey(h);

  auto again = Open();
  EXPECT_FALSE(again->layoutBar()->isVisible());
  EXPECT_TRUE(again->standardBar()->isVisible());
  EXPECT_NEAR(again->inspector()->width(), 333, 2);
  EXPECT_FALSE(again->action(Command::LayoutBar)->isChecked());
}

TEST_F(MainWindowTest, DroppedFilesJoinTheProjectAndAreArranged) {
  ASSERT_TRUE(testing::WritePicture(folder / "a.png", 30, 20, RGB(200, 0, 0), kExportPNG));
  mkdir((folder / "sub").c_str(), 0755);
  ASSERT_TRUE(testing::WritePicture(folder / "sub/b.png", 30, 20, RGB(0, 0, 200), kExportPNG));
  auto w = Open();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder / "a.png")),
                QUrl::fromLocalFile(QString::fromStdString(folder / "sub")),
                QUrl::fromLocalFile(QString::fromStdString(folder / "missing.png"))});
  // Qt hands a drop to the widget that took the drag's entry.
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &drop);
  EXPECT_EQ(project->pages[1]->placements.size(), 2u);  // auto-arranged onto page 1
  EXPECT_EQ(w->countsPane()->text(), QStringLiteral("2 Image(s) and 1 Page(s)"));
  EXPECT_TRUE(project->modified);
}

TEST_F(MainWindowTest, ClosingAChangedProjectAsksAndSavesWhatReopensTheSame) {
  Fill(2, 3);
  project->autoArrange = 0;
  auto w = Open();
  ImagePlacement* p = project->pages[2]->placements[0].get();
  ImagePlacement* q = project->pages[2]->placements[2].get();
  ASSERT_NE(p->x, q->x);
  w->view()->setSelection({q, p});
  w->action(Command::AlignLeft)->trigger();
  ASSERT_TRUE(project->modified);

  answer = IDCANCEL;
  EXPECT_FALSE(w->close());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Tessaly: Save changes to Untitled?");

  answer = IDYES;
  const std::string saved = folder / "layout.prj";
  w->setSavePathChooser([&] { return saved; });
  EXPECT_TRUE(w->close());
  Project reopened(env);
  ASSERT_TRUE(loadProject(reopened, saved));
  ASSERT_EQ(reopened.pageCount(), 2);
  for (int page = 0; page <= 2; ++page) {
    ASSERT_EQ(reopened.pages[page]->placements.size(), project->pages[page]->placements.size());
    for (size_t i = 0; i < reopened.pages[page]->placements.size(); ++i) {
      const ImagePlacement& x = *reopened.pages[page]->placements[i];
      const ImagePlacement& y = *project->pages[page]->placements[i];
      EXPECT_EQ(std::tie(x.path, x.x, x.y, x.width, x.height), std::tie(y.path, y.x, y.y, y.width, y.height));
    }
  }
  EXPECT_EQ(reopened.pages[2]->placements[0]->x, q->x);
}

// Pictures of the window in every zoom mode with a selection, its menus and the
// dialogs of its commands, for a person to look at.
TEST_F(MainWindowTest, Screenshots) {
  const std::string dir = testing::BinDir() + "/../screenshots";
  mkdir(dir.c_str(), 0755);
  auto save = [&](QWidget* widget, const QString& name) {
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->grab().save(QString::fromStdString(dir) + "/tessaly-" + name + ".png")) << name.toStdString();
  };
  Fill(5, 12);
  project->headerTexts[1] = "&[Project] - page &[Page] of &[Pages]";
  auto w = Open();
  w->view()->setSelection({project->pages[1]->placements[4].get(), project->pages[1]->placements[5].get()});
  const std::pair<Command, const char*> modes[] = {{Command::ZoomWholePage, "whole-page"},
                                                   {Command::ZoomPageWidth, "page-width"},
                                                   {Command::ZoomTwoPages, "two-pages"},
                                                   {Command::ZoomThreePages, "three-pages"},
                                                   {Command::ZoomFourPages, "four-pages"}};
  for (const auto& [id, name] : modes) {
    w->action(id)->trigger();
    // The pictures arrive from the loading threads after the first paint.
    w->view()->viewport()->repaint();
    EXPECT_TRUE(WaitFor([&] { return !w->view()->picturesPending(); }));
    QApplication::processEvents();
    save(w.get(), QString::fromLatin1(name));
  }
  w->action(Command::ZoomWholePage)->trigger();
  for (QAction* top : w->menuBar()->actions()) {
    QMenu* menu = top->menu();
    menu->popup(w->menuBar()->mapToGlobal(w->menuBar()->actionGeometry(top).bottomLeft()));
    QApplication::processEvents();
    save(menu, "menu-" + QString(top->text()).remove('&').toLower());
    menu->close();
  }
  w->viewContextMenu()->popup(w->view()->mapToGlobal(QPoint(300, 300)));
  QApplication::processEvents();
  save(w->viewContextMenu(), "menu-page-view");
  w->viewContextMenu()->close();

  const std::pair<Command, const char*> dialogs[] = {{Command::Print, "print"},
                                                     {Command::Export, "export"},
                                                     {Command::Options, "options"},
                                                     {Command::Arrange, "arrange"},
                                                     {Command::AlignDistribute, "align-distribute"},
                                                     {Command::SynchronizeSize, "multiple-size"},
                                                     {Command::EditComment, "image-comment"},
                                                     {Command::GotoPage, "goto-page"}};
  for (const auto& [id, name] : dialogs) {
    bool seen = false;
    QTimer::singleShot(100, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      seen = true;
      vel::ui::testing::ExpectNothingClipped(*dialog);
      save(dialog, QString::fromLatin1(name));
      dialog->reject();
    });
    w->action(id)->trigger();
    EXPECT_TRUE(seen) << name;
  }
}

}  // namespace
}  // namespace tessaly
