// The main window and start-up: settings, menus and their marks, the page bar,
// shortcuts, the popup menus and a second start handing over its file.
#include <QAction>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QShortcutEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/process.h"
#include "platform/shell/shell.h"
#include "platform/ui/bmp_menu.h"
#include "viewer/core/Commands.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/frame/CChildFrame.h"
#include "viewer/frame/COrvennaApp.h"
#include "viewer/frame/tests/frame_fixture.h"

namespace orvenna::testing {
namespace {

DWORD StoredValue(const char* name) {
  vel::OwnedKey key;
  DWORD value = 0, size = 4, type = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmark\\Malvito", 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return 0xDEADBEEF;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
    return 0xDEADBEEF;
  return value;
}

std::vector<int> Commands(QMenu* menu) {
  std::vector<int> ids;
  for (QAction* a : menu->actions())
    if (!a->isSeparator() && !a->menu()) ids.push_back(a->data().toInt());
  return ids;
}

TEST_F(FrameTest, SettingsAreReadAllOrNothingAndTheLensKeepsItsFraction) {
  CViewerSettings stored;
  stored.m_nLensCX = 321;
  stored.m_nLensCY = 123;
  stored.m_bHandMode = 0;
  stored.m_dLensMagnification = 4.5;
  WriteViewerSettings(stored);
  {
    vel::OwnedKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmark\\Malvito", 0, KEY_WRITE, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key.get(), "nPropStretch"), ERROR_SUCCESS);
  }
  {
    CMainFrame frame;
    const CViewerSettings& s = frame.Settings();
    EXPECT_EQ(s.m_nLensCX, 150);
    EXPECT_EQ(s.m_nLensCY, 100);
    EXPECT_EQ(s.m_bHandMode, 1);
    EXPECT_DOUBLE_EQ(s.m_dLensMagnification, 2.0);
    EXPECT_EQ(s.m_nBatchSrcExtNumber, 3);
    frame.Settings().m_dLensMagnification = 2.5;
    frame.Settings().m_nLensCX = 200;
  }
  // Written when the window goes, read when the next one is made.
  EXPECT_EQ(StoredValue("m_nLensMode"), 2500u);
  EXPECT_EQ(StoredValue("nPropStretch"), 1u);
  CMainFrame again;
  EXPECT_DOUBLE_EQ(again.Settings().m_dLensMagnification, 2.5);
  EXPECT_EQ(again.Settings().m_nLensCX, 200);
}

TEST_F(FrameTest, WithoutAFileTheFrameIsEmptyWithTheShortMenu) {
  for (const std::string& file : {std::string(), TempPath("missing.jpg")}) {
    COrvennaApp app;
    ASSERT_TRUE(app.InitInstance(file));
    CMainFrame* frame = app.MainFrame();
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(frame->windowTitle(), "Malvito");
    EXPECT_TRUE(frame->Documents().empty());
    EXPECT_FALSE(frame->HasLongMenu());
    EXPECT_EQ(MenuTitles(frame), (std::vector<QString>{"&File", "&View", "&Help"}));
    EXPECT_EQ(Commands(TopMenu(frame, "&File")),
              (std::vector<int>{ID_FILE_OPEN, ID_EDIT_PASTE_NEW, ID_BATCH, ID_APP_EXIT}));
    EXPECT_EQ(Commands(TopMenu(frame, "&View")), (std::vector<int>{ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}));
    // The empty clipboard leaves "Create from clipboard" disabled.
    EXPECT_FALSE(frame->Commands().Query(ID_EDIT_PASTE_NEW).enabled);
  }
}

TEST_F(FrameTest, SwitchesAreNoFileNames) {
  const std::string cwd = std::filesystem::current_path().string();
  const std::string file = TempPath("-x");
  std::ofstream(file) << "x";
  const struct {
    std::vector<std::string> args;
    std::string file;
  } cases[] = {
      {{"/ABOUT"}, ""}, {{"/ABOUT", "/tmp/a.jpg"}, "/tmp/a.jpg"}, {{"-x", "b.png"}, cwd + "/b.png"},
      {{file}, file},   {{"/tmp/../tmp/c.gif"}, "/tmp/c.gif"},
  };
  for (const auto& c : cases) EXPECT_EQ(COrvennaApp::FileArgument(c.args), c.file) << c.args[0];
}

TEST_F(FrameTest, AFourPageTiffGetsThePageBar) {
  const std::string tiff = Make("four.tif", "-size 40x30 xc:red xc:green xc:blue xc:white");
  COrvennaApp app;
  ASSERT_TRUE(app.InitInstance(tiff));
  CMainFrame* frame = app.MainFrame();
  ASSERT_EQ(frame->Documents().size(), 1u);
  EXPECT_EQ(MenuTitles(frame), (std::vector<QString>{"&File", "&Actions", "&View", "&Window", "&Help"}));
  CChildFrame* child = frame->ActiveChild();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->windowTitle(), "four.tif");
  ASSERT_NE(child->PageBar(), nullptr);
  const auto enabled = [child] {
    std::vector<bool> states;
    for (int id : {ID_PAGE_FIRST, ID_PAGE_PREV, ID_PAGE_NEXT, ID_PAGE_LAST})
      states.push_back(child->PageAction(id)->isEnabled());
    return states;
  };
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, true, true}));
  struct Step {
    int command, page;
    std::vector<bool> enabled;
  };
  for (const Step& step :
       {Step{ID_PAGE_LAST, 3, {true, true, false, false}}, Step{ID_PAGE_PREV, 2, {true, true, true, true}},
        Step{ID_PAGE_FIRST, 0, {false, false, true, true}}, Step{ID_PAGE_NEXT, 1, {true, true, true, true}}}) {
    child->PageAction(step.command)->trigger();
    EXPECT_EQ(child->Document()->m_nPage, step.page) << step.command;
    EXPECT_EQ(enabled(), step.enabled) << step.command;
  }
  // A one-page picture has no page bar.
  ASSERT_TRUE(frame->OpenDocument(Make("one.png", "-size 20x20 xc:red")));
  EXPECT_EQ(frame->ActiveChild()->PageBar(), nullptr);
  // Closing every window brings back the short menu.
  frame->Commands().Execute(ID_CLOSE_ALL);
  ASSERT_TRUE(WaitFor([&] { return !frame->HasLongMenu(); }));
  EXPECT_TRUE(frame->Documents().empty());
}

TEST_F(FrameTest, ASecondStartHandsItsFileToTheFirst) {
  const std::string photo = Make("photo.jpg", "-size 64x48 gradient:red-blue");
  EXPECT_FALSE(COrvennaApp::HandOverToRunningInstance(photo));  // nobody runs yet
  COrvennaApp app;
  ASSERT_TRUE(app.InitInstance(""));
  CMainFrame* frame = app.MainFrame();
  app.MainFrame()->hide();
  struct Case {
    std::vector<std::string> args;
    size_t documents;
  };
  for (const Case& c : {Case{{photo}, 1}, Case{{}, 1}}) {
    vel::shell::StartRequest request;
    request.program = ModuleDirectory() + "/orvenna";
    request.args = c.args;
    request.hidden = true;
    HANDLE process = nullptr;
    ASSERT_EQ(vel::shell::StartProcess(request, &process), 0);
    ASSERT_TRUE(WaitFor([&] { return WaitForSingleObject(process, 0) == 0; }));
    DWORD code = 99;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(WaitFor([&] { return frame->Documents().size() == c.documents; }));
  }
  EXPECT_EQ(frame->Documents()[0]->GetPathName(), photo);
  // The file came with a request to come to the front.
  EXPECT_TRUE(frame->isVisible());
}

TEST_F(FrameTest, ShortcutsRunTheirCommandsAndCanBeChanged) {
  struct Key {
    const char* keys;
    int command;
  };
  const Key table[] = {{"Ctrl+C", ID_EDIT_COPY},         {"Ctrl+Ins", ID_EDIT_COPY},  {"Ctrl+V", ID_EDIT_PASTE_NEW},
                       {"Shift+Ins", ID_EDIT_PASTE_NEW}, {"Ctrl+O", ID_FILE_OPEN},    {"Ctrl+P", ID_FILE_PRINT},
                       {"Ctrl+S", ID_FILE_SAVE},         {"Ctrl+Z", ID_EDIT_UNDO},    {"Alt+Backspace", ID_EDIT_UNDO},
                       {"Ctrl+Y", ID_EDIT_REDO},         {"Esc", ID_END_FULL_SCREEN}, {"Ctrl+N", ID_FILE_NEW},
                       {"Ctrl+X", ID_EDIT_CUT},          {"Shift+Del", ID_EDIT_CUT},  {"F6", ID_NEXT_PANE},
                       {"Shift+F6", ID_PREV_PANE}};
  auto frame = std::make_unique<CMainFrame>();
  std::vector<int> ran;
  for (const Key& k : table) frame->Commands().On(k.command, [&ran, id = k.command] { ran.push_back(id); });
  // Qt runs a shortcut only when exactly one action of the window has it.
  const auto press = [&](const QKeySequence& key) {
    QAction* owner = nullptr;
    int owners = 0;
    for (QAction* a : frame->actions())
      if (a->shortcuts().contains(key)) owner = a, ++owners;
    if (owners != 1) return -owners;
    QShortcutEvent event(key, 0);
    QApplication::sendEvent(owner, &event);
    return ran.empty() ? 0 : ran.back();
  };
  for (const Key& k : table) EXPECT_EQ(press(QKeySequence(k.keys, QKeySequence::PortableText)), k.command) << k.keys;

  // "Customize" gives Ctrl+C to Zoom In, taking it from the copy command, and stores it.
  QTimer::singleShot(0, [] {
    auto* dialog = dynamic_cast<CCustomizeDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Customize");
    dialog->SetKeys(ID_ZOOM_IN, {QKeySequence("Ctrl+C")});
    dialog->accept();
  });
  frame->Commands().Execute(ID_TOOLBAR_CUSTOMIZE);
  frame.reset();
  frame = std::make_unique<CMainFrame>();
  frame->Commands().On(ID_ZOOM_IN, [&ran] { ran.push_back(ID_ZOOM_IN); });
  EXPECT_EQ(press(QKeySequence("Ctrl+C")), ID_ZOOM_IN);
  EXPECT_EQ(frame->Shortcuts().at(ID_EDIT_COPY), QList<QKeySequence>{QKeySequence("Ctrl+Ins")});
}

TEST_F(FrameTest, MenusAndPopupsShowTheMarksOfTheActiveImage) {
  CMainFrame frame;
  frame.resize(900, 700);
  frame.show();
  ASSERT_TRUE(frame.OpenDocument(Make("photo.png", "-size 60x40 gradient:white-black")));
  COrvennaDoc* doc = frame.ActiveDocument();
  doc->m_dZoom = 2.0;
  frame.Commands().Execute(ID_VIEW_TOOLBAR);  // hides the toolbar
  QMenu* view = TopMenu(&frame, "&View");
  ASSERT_NE(view, nullptr);
  emit view->aboutToShow();
  EXPECT_TRUE(Entry(view, ID_ZOOM_150 + 1)->isChecked());  // 200 %
  EXPECT_FALSE(Entry(view, ID_ZOOM_100)->isChecked());
  EXPECT_FALSE(Entry(view, ID_VIEW_TOOLBAR)->isChecked());
  EXPECT_TRUE(Entry(view, ID_VIEW_STATUS_BAR)->isChecked());
  EXPECT_EQ(Entry(view, ID_ZOOM_100)->text(), "100 % (Original size)");
  EXPECT_EQ(Entry(view, ID_ZOOM_FIRST)->text(), "5 %");
  frame.Commands().Execute(ID_VIEW_TOOLBAR);

  // A drop-down button shows its popup below itself, with the marks, and the
  // entry chosen runs; a second popup waits while one is open.
  QToolButton* zoom = frame.ToolButton(ID_ZOOM_DROPDOWN);
  frame.UpdateToolBar();
  ASSERT_TRUE(zoom->isEnabled());
  std::vector<int> marked;
  QPoint shownAt;
  bool secondIgnored = false;
  QTimer::singleShot(50, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!popup) {
      ADD_FAILURE() << "no popup";
      doc->m_popupMenu->Dismiss();
      return;
    }
    shownAt = popup->pos();
    for (QAction* a : popup->actions())
      if (a->isChecked()) marked.push_back(a->data().toInt());
    EXPECT_NE(doc->m_pActivePopup, nullptr);
    frame.ShowPopupMenu(IDR_MENU_CONTEXT, QPoint(10, 10));
    secondIgnored = QApplication::activePopupWidget() == popup;
    // Chosen as with the keyboard: the entry made active, then Enter.
    for (QAction* a : popup->actions())
      if (a->data().toInt() == ID_ZOOM_100) popup->setActiveAction(a);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(popup, &enter);
  });
  zoom->click();
  EXPECT_EQ(marked, std::vector<int>{ID_ZOOM_150 + 1});
  EXPECT_TRUE(secondIgnored);
  EXPECT_EQ(shownAt.y(), zoom->mapToGlobal(QPoint(0, zoom->height())).y());
  EXPECT_EQ(doc->m_pActivePopup, nullptr);
  EXPECT_DOUBLE_EQ(doc->m_dZoom, 1.0);

  // The hand and lens buttons show the mode.
  EXPECT_TRUE(frame.ToolButton(ID_HAND_MODE)->isChecked());
  EXPECT_FALSE(frame.ToolButton(ID_LENS_MODE)->isChecked());
  frame.Settings().m_bHandMode = 0;
  frame.ModesChanged();
  EXPECT_FALSE(frame.ToolButton(ID_HAND_MODE)->isChecked());
  EXPECT_TRUE(frame.ToolButton(ID_LENS_MODE)->isChecked());
}

TEST_F(FrameTest, RecentFilesKeepNineNewestFirstAndForgetFilesThatAreGone) {
  std::vector<std::string> files;
  for (int i = 0; i < 10; ++i) files.push_back(Make("r" + std::to_string(i) + ".png", "-size 8x8 xc:red"));
  {
    CMainFrame frame;
    for (const std::string& f : files) ASSERT_TRUE(frame.OpenDocument(f));
    frame.CloseAllDocuments();
  }
  CMainFrame frame;
  ASSERT_EQ(frame.RecentFiles().Files().size(), 9u);
  EXPECT_EQ(frame.RecentFiles().Files().front(), files[9]);
  EXPECT_EQ(frame.RecentFiles().Files().back(), files[1]);
  std::remove(files[9].c_str());
  frame.Commands().Execute(ID_FILE_MRU_FIRST);
  EXPECT_TRUE(frame.Documents().empty());
  EXPECT_EQ(frame.RecentFiles().Files().front(), files[8]);
}

}  // namespace
}  // namespace orvenna::testing
