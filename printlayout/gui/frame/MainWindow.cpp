#include "printlayout/gui/frame/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <cstdio>
#include <vector>

#include "platform/shell/shell.h"
#include "platform/ui/icons.h"
#include "platform/ui/ui.h"
#include "printlayout/export/ExportDialog.h"
#include "printlayout/export/ExportPages.h"
#include "printlayout/file/ProjectFile.h"
#include "printlayout/gui/dialogs/LayoutDialogs.h"
#include "printlayout/gui/dialogs/TessalyIcons.h"
#include "printlayout/gui/frame/BarState.h"
#include "printlayout/gui/projecttree/ProjectTreeDock.h"
#include "printlayout/gui/view/PageView.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/print/ImagesLookPage.h"
#include "printlayout/print/PrintDialog.h"
#include "printlayout/print/Printing.h"
#include "printlayout/print/ProjectOptions.h"

namespace tessaly {

namespace {

QString Printf(const char* format, int a, int b) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b);
  return QString::fromLatin1(text);
}

constexpr std::pair<Command, ZoomMode> kZoomCommands[] = {
    {Command::ZoomPageWidth, ZoomMode::PageWidth}, {Command::ZoomWholePage, ZoomMode::WholePage},
    {Command::ZoomTwoPages, ZoomMode::TwoPages},   {Command::ZoomThreePages, ZoomMode::ThreePages},
    {Command::ZoomFourPages, ZoomMode::FourPages},
};

constexpr Command kShadowCommands[] = {Command::ShadowNone, Command::Shadow05, Command::Shadow10, Command::Shadow15,
                                       Command::Shadow20};

struct AlignCommand {
  Command id;
  std::uint32_t flags;
};
constexpr AlignCommand kAlignCommands[] = {
    {Command::AlignLeft, kAlignLeft}, {Command::AlignHCenter, kAlignHCenter}, {Command::AlignRight, kAlignRight},
    {Command::AlignTop, kAlignTop},   {Command::AlignVCenter, kAlignVCenter}, {Command::AlignBottom, kAlignBottom},
};

// Commands that need images selected in the page view, and how many.
struct SelectionNeed {
  Command id;
  size_t least;
};
constexpr SelectionNeed kSelectionNeeds[] = {
    {Command::RemoveFromPage, 1},
    {Command::RemoveFromProject, 1},
    {Command::AlignLeft, 1},
    {Command::AlignHCenter, 1},
    {Command::AlignRight, 1},
    {Command::AlignTop, 1},
    {Command::AlignVCenter, 1},
    {Command::AlignBottom, 1},
    {Command::SpaceAcross, 2},
    {Command::SpaceDown, 2},
    {Command::SameWidth, 2},
    {Command::SameHeight, 2},
    {Command::SameBoth, 2},
    {Command::SizeToContent, 1},
    {Command::AlignDistribute, 1},
    {Command::SynchronizeSize, 1},
    {Command::ContextRemoveFromPage, 1},
    {Command::ContextRemoveFromProject, 1},
    {Command::ContextAlignDistribute, 1},
    {Command::ContextSynchronizeSize, 1},
    {Command::ContextSizeToContent, 1},
    {Command::SynchronizeInspector, 1},
    {Command::EditComment, 1},
};

}  // namespace

MainWindow::MainWindow(Project& project, QWidget* parent) : QMainWindow(parent), project_(project) {
  setObjectName(QStringLiteral("TessalyMainWindow"));
  vel::ui::SetUpIconTheme();
  setWindowTitle(QString::fromStdString(project.windowTitle));
  setWindowIcon(TessalyIcon(QStringLiteral("program")));
  setAcceptDrops(true);
  setDockOptions(AnimatedDocks | AllowTabbedDocks);

  view_ = new PageView(project_, this);
  setCentralWidget(view_);
  inspector_ = new ProjectTreeDock(project_, this);
  addDockWidget(Qt::LeftDockWidgetArea, inspector_);
  view_->setDropTarget(inspector_);

  buildActions();
  buildMenus();
  buildToolBars();
  buildStatusBar();
  wire();

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    resize(area.width() * 5 / 6, area.height() * 5 / 6);
    move(area.center() - rect().center());
  }
  resizeDocks({inspector_}, {260}, Qt::Horizontal);
  restoreBarState();
  inspector_->refresh();
  view_->refresh();
  updateCounts();
  updateActions();
}

MainWindow::~MainWindow() {
  // Closing the window hides the docks, which report it: nothing of this
  // object may answer by then.
  disconnect(inspector_, nullptr, this, nullptr);
  disconnect(inspector_->tree(), nullptr, this, nullptr);
  disconnect(view_, nullptr, this, nullptr);
}

// ---- building ------------------------------------------------------------------

// Commands whose icon is the theme's own, by freedesktop name.
const std::map<std::string, std::vector<const char*>>& ThemeNames() {
  static const std::map<std::string, std::vector<const char*>> names = {
      {"print", {"document-print"}},
      {"options", {"preferences-system", "document-properties"}},
      {"help", {"help-contents", "help-browser"}},
      {"exit", {"application-exit"}},
      {"select-all", {"edit-select-all"}},
      {"insert-page", {"list-add"}},
      {"remove-page", {"list-remove"}},
      {"remove-from-page", {"edit-clear"}},
      {"remove-from-project", {"edit-delete"}},
  };
  return names;
}

QIcon CommandIcon(const char* name) {
  if (auto it = ThemeNames().find(name); it != ThemeNames().end()) return ThemeIcon(it->second);
  return TessalyIcon(QString::fromLatin1(name));
}

QAction* MainWindow::makeAction(Command id, const char* text, const char* icon) {
  auto* action = new QAction(QString::fromLatin1(text), this);
  if (icon) action->setIcon(CommandIcon(icon));
  connect(action, &QAction::triggered, this, [this, id] { run(id); });
  actions_[id] = action;
  return action;
}

void MainWindow::buildActions() {
  // Keys the page view handles itself (Del, Shift+Del) are only shown in the
  // menus, so they reach the view rather than a window-wide shortcut.
  makeAction(Command::PageSetup, "Page Setup...", "page-setup");
  makeAction(Command::Print, "&Print...", "print")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  makeAction(Command::Export, "&Export as image(s)...", "export");
  makeAction(Command::Exit, "E&xit", "exit");
  makeAction(Command::SelectAll, "Select All", "select-all");
  makeAction(Command::InsertPage, "&Insert Page", "insert-page");
  makeAction(Command::RemovePage, "&Remove Page", "remove-page");
  makeAction(Command::RemoveFromPage, "Remove Image from Page\tDel", "remove-from-page");
  makeAction(Command::RemoveFromProject, "Remove Image from Project\tShift+Del", "remove-from-project");
  makeAction(Command::Options, "Options...", "options");
  for (Command c : {Command::StandardBar, Command::LayoutBar, Command::StatusBar, Command::InspectorBar})
    makeAction(c, c == Command::StandardBar ? "Standard &Toolbar"
                  : c == Command::LayoutBar ? "Arrange && Layout Toolbar"
                  : c == Command::StatusBar ? "&Status Bar"
                                            : "Project &Inspector")
        ->setCheckable(true);
  actions_[Command::InspectorBar]->setIcon(TessalyIcon(QStringLiteral("inspector")));
  makeAction(Command::FullScreen, "Full Screen", "full-screen")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12));

  makeAction(Command::AlignLeft, "&Left", "align-left")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
  makeAction(Command::AlignHCenter, "&Horiz. Center", "align-hcenter")
      ->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F9));
  makeAction(Command::AlignRight, "&Right", "align-right")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
  makeAction(Command::AlignTop, "&Top", "align-top")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
  makeAction(Command::AlignVCenter, "&Vert. Center", "align-vcenter")->setShortcut(QKeySequence(Qt::Key_F9));
  makeAction(Command::AlignBottom, "&Bottom", "align-bottom")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
  makeAction(Command::SpaceAcross, "&Across", "space-across");
  makeAction(Command::SpaceDown, "&Down", "space-down");
  makeAction(Command::SameWidth, "&Width", "same-width");
  makeAction(Command::SameHeight, "&Height", "same-height");
  makeAction(Command::SameBoth, "&Both", "same-both");
  makeAction(Command::SizeToContent, "S&ize to Content", "size-to-content")
      ->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F7));
  makeAction(Command::AlignDistribute, "Align and &Distribute...", "align-distribute")
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  makeAction(Command::Arrange, "A&rrange...", "arrange");
  makeAction(Command::SynchronizeSize, "Synchronize size...", "synchronize-size");

  shadowGroup_ = new QActionGroup(this);
  for (size_t i = 0; i < std::size(kShadowCommands); ++i) {
    QAction* a = makeAction(kShadowCommands[i], kShadowPresets[i].menuText);
    a->setCheckable(true);
    shadowGroup_->addAction(a);
  }
  shadowGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  makeAction(Command::ShadowOther, kShadowOtherMenuText, "shadow");

  zoomGroup_ = new QActionGroup(this);
  const char* zoomTexts[] = {"Page &Width", "Whole &Page", "&Two Pages", "T&hree Pages", "&Four Pages"};
  const char* zoomIcons[] = {"page-width", "whole-page", "two-pages", "three-pages", "four-pages"};
  for (size_t i = 0; i < std::size(kZoomCommands); ++i) {
    QAction* a = makeAction(kZoomCommands[i].first, zoomTexts[i], zoomIcons[i]);
    a->setCheckable(true);
    zoomGroup_->addAction(a);
  }
  makeAction(Command::ToggleAutoArrange, "Toggle Auto Arrange mode", "auto-arrange")->setCheckable(true);
  makeAction(Command::HelpContents, "&Contents", "help")->setShortcut(QKeySequence(Qt::Key_F1));
  makeAction(Command::GotoPage, "&Goto Page", "goto-page")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));

  makeAction(Command::ContextRemoveFromPage, "&Remove from Page\tDel", "remove-from-page");
  makeAction(Command::ContextRemoveFromProject, "Remove from &Project\tShift+Del", "remove-from-project");
  makeAction(Command::ContextAlignDistribute, "Align && &Distribute...\tCtrl+A", "align-distribute");
  makeAction(Command::ContextArrange, "&Arrange...", "arrange");
  makeAction(Command::ContextSynchronizeSize, "Synchronize size...", "synchronize-size");
  makeAction(Command::ContextSizeToContent, "S&ize to Content\tShift+F7", "size-to-content");
  makeAction(Command::ContextGotoPage, "&Goto Page\tCtrl+G", "goto-page");
  makeAction(Command::SynchronizeInspector, "Synchronize &Inspector", "inspector");
  makeAction(Command::ContextSelectAll, "&Select All", "select-all");
  makeAction(Command::EditComment, "Edit &Comment", "comment");

  for (auto& [id, action] : actions_) addAction(action);  // keys work with the menus hidden (full screen)
}

void MainWindow::buildMenus() {
  auto add = [this](QMenu* menu, std::initializer_list<Command> ids) {
    for (Command id : ids) menu->addAction(actions_.at(id));
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  add(file, {Command::PageSetup, Command::Print, Command::Export});
  file->addSeparator();
  add(file, {Command::Exit});

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  add(edit, {Command::SelectAll});
  edit->addSeparator();
  add(edit, {Command::InsertPage, Command::RemovePage});
  edit->addSeparator();
  add(edit, {Command::RemoveFromPage, Command::RemoveFromProject});
  edit->addSeparator();
  add(edit, {Command::Options});

  QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
  add(viewMenu, {Command::StandardBar, Command::LayoutBar, Command::StatusBar, Command::InspectorBar});
  viewMenu->addSeparator();
  add(viewMenu, {Command::FullScreen});

  QMenu* layout = menuBar()->addMenu(QStringLiteral("&Layout"));
  QMenu* align = layout->addMenu(TessalyIcon(QStringLiteral("align-left")), QStringLiteral("&Align"));
  add(align, {Command::AlignLeft, Command::AlignHCenter, Command::AlignRight});
  align->addSeparator();
  add(align, {Command::AlignTop, Command::AlignVCenter, Command::AlignBottom});
  QMenu* space = layout->addMenu(TessalyIcon(QStringLiteral("space-across")), QStringLiteral("Space &Every"));
  add(space, {Command::SpaceAcross, Command::SpaceDown});
  QMenu* same = layout->addMenu(TessalyIcon(QStringLiteral("same-both")), QStringLiteral("Make &Same Size"));
  add(same, {Command::SameWidth, Command::SameHeight, Command::SameBoth});
  add(layout, {Command::SizeToContent});
  layout->addSeparator();
  add(layout, {Command::AlignDistribute, Command::Arrange, Command::SynchronizeSize});
  layout->addSeparator();
  QMenu* shadow = layout->addMenu(TessalyIcon(QStringLiteral("shadow")), QStringLiteral("Image S&hadow"));
  for (Command c : kShadowCommands) shadow->addAction(actions_.at(c));
  shadow->addSeparator();
  add(shadow, {Command::ShadowOther});
  QMenu* pages = layout->addMenu(TessalyIcon(QStringLiteral("whole-page")), QStringLiteral("Page &Layout"));
  for (const auto& [id, mode] : kZoomCommands) pages->addAction(actions_.at(id));
  // Beside its tool-bar button, so the mode can be switched from the keyboard too.
  layout->addSeparator();
  add(layout, {Command::ToggleAutoArrange, Command::GotoPage});

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  add(help, {Command::HelpContents});

  for (QMenu* menu : {file, edit, viewMenu, layout, help})
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateActions);

  contextMenu_ = new QMenu(this);
  add(contextMenu_, {Command::ContextRemoveFromPage, Command::ContextRemoveFromProject});
  contextMenu_->addSeparator();
  add(contextMenu_, {Command::ContextAlignDistribute, Command::ContextArrange, Command::ContextSynchronizeSize,
                     Command::ContextSizeToContent});
  contextMenu_->addSeparator();
  add(contextMenu_, {Command::ContextGotoPage, Command::SynchronizeInspector, Command::ContextSelectAll});
  contextMenu_->addSeparator();
  add(contextMenu_, {Command::EditComment});
  connect(contextMenu_, &QMenu::aboutToShow, this, &MainWindow::updateActions);
}

void MainWindow::buildToolBars() {
  standardBar_ = addToolBar(QString::fromLatin1(kStandardBarTitle));
  standardBar_->setObjectName(QStringLiteral("Standard"));
  for (Command c : {Command::PageSetup, Command::Print, Command::Export}) standardBar_->addAction(actions_.at(c));
  standardBar_->addSeparator();
  standardBar_->addAction(actions_.at(Command::InspectorBar));
  standardBar_->addAction(actions_.at(Command::FullScreen));
  standardBar_->addAction(actions_.at(Command::GotoPage));

  // "Page layout": shows the current mode, the modes drop down from it.
  pageLayoutButton_ = new QToolButton(standardBar_);
  pageLayoutButton_->setPopupMode(QToolButton::MenuButtonPopup);
  auto* modes = new QMenu(pageLayoutButton_);
  for (const auto& [id, mode] : kZoomCommands) modes->addAction(actions_.at(id));
  pageLayoutButton_->setMenu(modes);
  pageLayoutButton_->setToolTip(QStringLiteral("Page layout"));
  connect(pageLayoutButton_, &QToolButton::clicked, this, [this] {
    // A click on the button itself steps to the next mode.
    const int next = (static_cast<int>(view_->zoomMode()) + 1) % static_cast<int>(std::size(kZoomCommands));
    onZoom(kZoomCommands[next].second);
  });
  standardBar_->addWidget(pageLayoutButton_);
  standardBar_->addSeparator();
  standardBar_->addAction(actions_.at(Command::Options));
  standardBar_->addAction(actions_.at(Command::HelpContents));

  layoutBar_ = addToolBar(QString::fromLatin1(kLayoutBarTitle));
  layoutBar_->setObjectName(QStringLiteral("AlignLayout"));
  for (const AlignCommand& a : kAlignCommands) {
    layoutBar_->addAction(actions_.at(a.id));
    if (a.id == Command::AlignRight) layoutBar_->addSeparator();
  }
  layoutBar_->addSeparator();
  for (Command c : {Command::SpaceAcross, Command::SpaceDown, Command::SameWidth, Command::SameHeight,
                    Command::SameBoth, Command::SizeToContent})
    layoutBar_->addAction(actions_.at(c));
  layoutBar_->addSeparator();
  for (Command c : {Command::AlignDistribute, Command::Arrange, Command::SynchronizeSize})
    layoutBar_->addAction(actions_.at(c));
  layoutBar_->addSeparator();
  layoutBar_->addAction(actions_.at(Command::ToggleAutoArrange));
}

void MainWindow::buildStatusBar() {
  prompt_ = new QLabel(QString::fromLatin1(kReadyText), this);
  statusBar()->addWidget(prompt_, 1);
  // Wide enough for the longest text each pane shows, so the bar does not jump.
  const char* widest[] = {"00000x00000", "(0000.0,0000.0),(0000.0x0000.0)", "Page 0000 [0000.0:0000.0 mm]",
                          "0000 Image(s) and 000 Page(s)"};
  for (int i = 0; i < 4; ++i) {
    panes_[i] = new QLabel(this);
    panes_[i]->setFrameShape(QFrame::StyledPanel);
    panes_[i]->setFrameShadow(QFrame::Sunken);
    panes_[i]->setAlignment(Qt::AlignCenter);
    panes_[i]->setMinimumWidth(panes_[i]->fontMetrics().horizontalAdvance(QString::fromLatin1(widest[i])) + 12);
    statusBar()->addPermanentWidget(panes_[i]);
    panes_[i]->setVisible(i == 3);  // the pointer's panes appear once it is over the pages
  }
}

void MainWindow::wire() {
  connect(view_, &PageView::selectionChanged, this, &MainWindow::updateActions);
  connect(view_, &PageView::projectEdited, this, [this] { projectChanged(false); });
  connect(view_, &PageView::pointerInfo, this, [this](const QString& size, const QString& box, const QString& at) {
    // A pane with nothing to say is not shown, rather than left as an empty box.
    const QString texts[] = {size, box, at};
    for (int i = 0; i < 3; ++i) {
      panes_[i]->setText(texts[i]);
      panes_[i]->setVisible(!texts[i].isEmpty());
    }
  });
  connect(view_, &PageView::leaveFullScreenRequested, this, [this] { setFullScreenMode(false); });
  connect(view_, &PageView::contextMenuWanted, this, [this](QPoint global) {
    updateActions();
    contextMenu_->popup(global);
  });
  view_->setAutoArrangeQuestion([this] {
    AutoArrangeWarning warning(this);
    const AutoArrangeAnswer answer = warning.ask();
    // The view clears the mode on "Yes"; the tool bar follows once it has.
    QMetaObject::invokeMethod(this, &MainWindow::updateActions, Qt::QueuedConnection);
    return answer;
  });

  connect(inspector_, &ProjectTreeDock::projectEdited, this, [this] { projectChanged(false); });
  connect(inspector_, &ProjectTreeDock::goToPageRequested, view_, &PageView::goToPage);
  connect(inspector_, &ProjectTreeDock::synchronizeRequested, view_, &PageView::setSelection);
  connect(inspector_->tree(), &QTreeWidget::itemSelectionChanged, this, &MainWindow::updateActions);
  inspector_->setCommentEditor([this](const Selection& images) {
    if (EditImageComment(project_, images, this)) projectChanged(false);
  });
  connect(inspector_, &QDockWidget::visibilityChanged, this, &MainWindow::updateActions);
}

// ---- state of the commands -------------------------------------------------------

void MainWindow::updateActions() {
  const size_t selected = view_->selection().size();
  for (const SelectionNeed& need : kSelectionNeeds) actions_.at(need.id)->setEnabled(selected >= need.least);
  actions_.at(Command::RemovePage)->setEnabled(project_.pageCount() > 1 && inspector_->selectedPage() >= 1);
  actions_.at(Command::InsertPage)->setEnabled(true);
  const int shadow = CheckedShadowPreset(project_);
  for (size_t i = 0; i < std::size(kShadowCommands); ++i)
    actions_.at(kShadowCommands[i])->setChecked(static_cast<int>(i) == shadow);
  for (const auto& [id, mode] : kZoomCommands) {
    actions_.at(id)->setChecked(mode == view_->zoomMode());
    if (mode == view_->zoomMode()) pageLayoutButton_->setIcon(actions_.at(id)->icon());
  }
  actions_.at(Command::ToggleAutoArrange)->setChecked(project_.autoArrange != 0);
  actions_.at(Command::StandardBar)->setChecked(standardBar_->isVisibleTo(this) && !fullScreen_);
  actions_.at(Command::LayoutBar)->setChecked(layoutBar_->isVisibleTo(this) && !fullScreen_);
  actions_.at(Command::StatusBar)->setChecked(statusBar()->isVisibleTo(this) && !fullScreen_);
  actions_.at(Command::InspectorBar)->setChecked(inspector_->isVisibleTo(this) && !fullScreen_);
  actions_.at(Command::FullScreen)->setCheckable(true);
  actions_.at(Command::FullScreen)->setChecked(fullScreen_);
}

void MainWindow::updateCounts() {
  panes_[3]->setText(Printf(kCountsFormat, project_.totalImages(), project_.pageCount()));
}

void MainWindow::projectChanged(bool rearrange) {
  if (rearrange) applyAutoArrange(project_);
  view_->refresh();
  inspector_->refresh();
  updateCounts();
  updateActions();
}

void MainWindow::afterSelectionEdit() {
  project_.setModified(true);
  projectChanged(false);
}

// ---- the commands ------------------------------------------------------------------

void MainWindow::run(Command id) {
  for (const AlignCommand& a : kAlignCommands)
    if (a.id == id) return onAlign(a.flags);
  for (size_t i = 0; i < std::size(kShadowCommands); ++i)
    if (kShadowCommands[i] == id) return onShadow(static_cast<int>(i));
  for (const auto& [zoomId, mode] : kZoomCommands)
    if (zoomId == id) return onZoom(mode);
  const Selection& selection = view_->selection();
  switch (id) {
    case Command::PageSetup:
    case Command::Options: return onOptions(false);
    case Command::ShadowOther: return onOptions(true);
    case Command::Print: return onPrint();
    case Command::Export: return onExport();
    case Command::Exit: close(); return;
    case Command::SelectAll:
    case Command::ContextSelectAll: view_->selectAllOnCurrentPage(); return;
    case Command::InsertPage: inspector_->insertPageBeforeSelected(); return;
    case Command::RemovePage:
      inspector_->deleteSelectedPage(QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
      return;
    case Command::RemoveFromPage:
    case Command::ContextRemoveFromPage: return onRemoveSelected(false);
    case Command::RemoveFromProject:
    case Command::ContextRemoveFromProject: return onRemoveSelected(true);
    case Command::StandardBar: standardBar_->setVisible(!standardBar_->isVisible()); break;
    case Command::LayoutBar: layoutBar_->setVisible(!layoutBar_->isVisible()); break;
    case Command::StatusBar: statusBar()->setVisible(!statusBar()->isVisible()); break;
    case Command::InspectorBar: inspector_->setVisible(!inspector_->isVisible()); break;
    case Command::FullScreen: setFullScreenMode(!fullScreen_); break;
    case Command::SpaceAcross: return onDistribute(kSpaceAcross);
    case Command::SpaceDown: return onDistribute(kSpaceDown);
    case Command::SameWidth:
    case Command::SameHeight:
    case Command::SameBoth:
      makeSameSize(project_, selection, id != Command::SameHeight, id != Command::SameWidth);
      return afterSelectionEdit();
    case Command::SizeToContent:
    case Command::ContextSizeToContent: sizeToContent(project_, selection); return afterSelectionEdit();
    case Command::AlignDistribute:
    case Command::ContextAlignDistribute: return onAlignDistribute();
    case Command::Arrange:
    case Command::ContextArrange: return onArrange();
    case Command::SynchronizeSize:
    case Command::ContextSynchronizeSize: return onSynchronizeSize();
    case Command::ToggleAutoArrange:
      project_.autoArrange = project_.autoArrange ? 0 : 1;
      project_.setModified(true);
      return projectChanged(true);
    case Command::HelpContents: return onHelp();
    case Command::GotoPage:
    case Command::ContextGotoPage: return onGotoPage();
    case Command::SynchronizeInspector: inspector_->selectImages(selection); return;
    case Command::EditComment: return onEditComment();
    default: break;
  }
  updateActions();
}

void MainWindow::onAlign(std::uint32_t flags) {
  if (view_->selection().empty()) return;
  align(project_, view_->selection(), flags);
  afterSelectionEdit();
}

void MainWindow::onDistribute(std::uint32_t flags) {
  if (view_->selection().size() < 2) return;
  distribute(project_, view_->selection(), flags);
  afterSelectionEdit();
}

void MainWindow::onAlignDistribute() {
  if (view_->selection().empty()) return;
  AlignDistributeSheet sheet(this);
  if (sheet.exec() != QDialog::Accepted) return;
  const std::uint32_t alignFlags = AlignDialogFlags(sheet.alignFields());
  const std::uint32_t distributeFlags = DistributeDialogFlags(sheet.distributeFields());
  if (alignFlags & 0xFFu) align(project_, view_->selection(), alignFlags);
  if (distributeFlags && view_->selection().size() >= 2) distribute(project_, view_->selection(), distributeFlags);
  afterSelectionEdit();
}

void MainWindow::onArrange() {
  ArrangeDialog dialog(project_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  applyArrangeDialog(project_, dialog.fields());
  project_.setModified(true);
  projectChanged(false);
}

void MainWindow::onSynchronizeSize() {
  if (view_->selection().empty()) return;
  MultipleSizeDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  synchronizeSize(project_, view_->selection(), dialog.flags());
  afterSelectionEdit();
}

void MainWindow::onShadow(int preset) {
  setShadow(project_, kShadowPresets[preset].offset, kShadowPresets[preset].offset);
  projectChanged(true);
}

void MainWindow::onZoom(ZoomMode mode) {
  view_->setZoomMode(mode);
  updateActions();
}

void MainWindow::onOptions(bool imagesLook) {
  ProjectOptionsSheet sheet(project_, this);
  if (imagesLook) sheet.tabs()->setCurrentWidget(sheet.imagesLook());
  if (sheet.exec() != QDialog::Accepted) return;
  project_.setModified(true);
  projectChanged(true);
}

void MainWindow::onPrint() {
  PrintDialog dialog(project_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  // The odd/even choice filters the chosen pages by their printed number.
  PageList pages;
  for (int page : dialog.pages()) {
    const bool odd = page % 2 != 0;
    if ((dialog.parity() == kOddPagesOnly && !odd) || (dialog.parity() == kEvenPagesOnly && odd)) continue;
    pages.push_back(page);
  }
  if (pages.empty()) return;
  if (!printPages(project_, pages, this)) vel::ui::MessageBox("Tessaly", kPrintFailedMessage, MB_OK | MB_ICONWARNING);
  // The options may have changed through "Setup...".
  projectChanged(false);
}

void MainWindow::onExport() {
  ExportDialog dialog(project_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const ExportRequest& r = dialog.request();
  exportPages(project_, r.pages, r.folder, r.nameTemplate, r.type, r.dpi, r.depth, r.grayscale, r.crop, this);
}

void MainWindow::onGotoPage() {
  GotoPageDialog dialog(project_, view_->currentPage(), this);
  if (dialog.exec() == QDialog::Accepted) view_->goToPage(dialog.pageIndex());
}

void MainWindow::onEditComment() {
  if (EditImageComment(project_, view_->selection(), this)) afterSelectionEdit();
}

void MainWindow::onRemoveSelected(bool fromProject) {
  const Selection selection = view_->selection();
  if (selection.empty()) return;
  view_->clearSelection();
  for (ImagePlacement* p : selection) {
    if (fromProject)
      project_.removeFromProject(p);
    else
      project_.movePlacement(p, 0);
  }
  project_.setModified(true);
  projectChanged(fromProject);
}

void MainWindow::onHelp() {
  if (helpFile_.empty()) return;
  ShellExecuteA(nullptr, "open", helpFile_.c_str(), nullptr, nullptr, SW_SHOW);
}

// ---- full screen ------------------------------------------------------------------------

void MainWindow::setFullScreenMode(bool on) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  QWidget* bars[] = {menuBar(), standardBar_, layoutBar_, statusBar(), inspector_};
  if (on) {
    wasMaximized_ = isMaximized();
    shownBeforeFullScreen_.clear();
    for (QWidget* bar : bars) {
      shownBeforeFullScreen_[bar] = bar->isVisible();
      bar->hide();
    }
    showFullScreen();
  } else {
    for (QWidget* bar : bars) bar->setVisible(shownBeforeFullScreen_[bar]);
    if (wasMaximized_)
      showMaximized();
    else
      showNormal();
  }
  view_->setFullScreenMode(on);
  view_->setFocus();
  updateActions();
}

// ---- files ---------------------------------------------------------------------------------

int MainWindow::addFiles(const QStringList& paths) {
  int added = 0;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (info.isDir()) {
      QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
      QStringList files;
      while (it.hasNext()) files << it.next();
      files.sort();
      for (const QString& file : files) added += project_.addImageFile(file.toStdString(), 0);
    } else if (info.isFile()) {
      added += project_.addImageFile(path.toStdString(), 0);
    }
  }
  if (added > 0) {
    project_.setModified(true);
    projectChanged(true);
  }
  return added;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  addFiles(paths);
}

// ---- closing -------------------------------------------------------------------------------

bool MainWindow::askToSave() {
  if (!project_.modified) return true;
  const std::string name =
      project_.path.empty() ? project_.name : QFileInfo(QString::fromStdString(project_.path)).fileName().toStdString();
  char question[1200];
  std::snprintf(question, sizeof question, kSaveChangesFormat, name.c_str());
  const int answer = vel::ui::MessageBox("Tessaly", question, MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return false;
  if (answer == IDNO) return true;
  std::string path = project_.path;
  if (path.empty()) {
    path = chooseSavePath_ ? chooseSavePath_()
                           : QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), QString(),
                                                          QStringLiteral("All Files (*)"))
                                 .toStdString();
    if (path.empty()) return false;
  }
  if (!saveProject(project_, path)) {
    vel::ui::MessageBox("Tessaly", "Can't save file \n " + path, MB_OK | MB_ICONERROR);
    return false;
  }
  project_.path = path;
  return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!askToSave()) {
    event->ignore();
    return;
  }
  if (fullScreen_) setFullScreenMode(false);
  saveBarState();
  event->accept();
}

void MainWindow::saveBarState() const { SaveBarState(*this, *inspector_); }

void MainWindow::restoreBarState() { RestoreBarState(*this, *inspector_); }

}  // namespace tessaly
