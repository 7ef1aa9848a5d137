#include "viewer/frame/CMainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QStatusBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <cstring>

#include "platform/shell/named_window.h"
#include "platform/ui/bmp_menu.h"
#include "platform/ui/ui.h"
#include "siblings/ardent/COpenImageDlg.h"
#include "viewer/core/Commands.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/edit/EditCommands.h"
#include "viewer/frame/CChildFrame.h"
#include "viewer/frame/Icons.h"
#include "viewer/handover/HandOver.h"
#include "viewer/view/COrvennaView.h"

namespace orvenna {
namespace {

constexpr unsigned long kOpenFlags = 0x101A04;  // multiple selection, files must exist
constexpr int kIdleMs = 200;
constexpr size_t kMaxGeometryBytes = 4096;

// The menus ask the command map's update handlers for each entry's state.
vel::ui::MenuItemQuery MenuStates(const CommandMap& commands) {
  return [&commands](int id) {
    const CmdUI ui = commands.Query(id);
    return vel::ui::MenuItemState{ui.enabled, ui.checked, ui.radio};
  };
}

// A toolbar button that drops down a popup menu: drawn with the menu arrow,
// though the menu is the viewer's own popup, shown by the frame.
class DropDownButton : public QToolButton {
 public:
  using QToolButton::QToolButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.features |= QStyleOptionToolButton::HasMenu;
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
  }
  QSize sizeHint() const override {
    // Room for the arrow beside the icon.
    QSize size = QToolButton::sizeHint();
    size.rwidth() += style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, this) / 2;
    return size;
  }
};

std::vector<unsigned char> FlagBytes(bool on) { return {static_cast<unsigned char>(on ? 1 : 0), 0, 0, 0}; }

bool ReadFlag(const char* name, bool fallback) {
  const auto bytes = ReadProfileBinary(kSettingsSection, name, 4);
  return bytes && bytes->size() == 4 ? (*bytes)[0] != 0 : fallback;
}

// "&1 /path/to/file", with long paths shortened in the middle.
QString RecentText(int index, const std::string& path) {
  QString shown = QString::fromStdString(path);
  if (shown.size() > 60) shown = shown.left(20) + QStringLiteral("...") + shown.right(37);
  shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace

CMainFrame::CMainFrame() {
  SetUpIconTheme();
  setWindowTitle(QString::fromLatin1(kAppName));
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);
  settings_ = ReadViewerSettings();
  recent_.Load();

  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
    UpdateMenuBar();
    UpdateTitle();
  });

  statusPane_ = new QLabel(QStringLiteral("Ready"), this);
  statusBar()->addWidget(statusPane_, 1);

  RegisterFrameCommands();
  RegisterDocumentCommands(*this);
  RegisterViewCommands(*this);
  RegisterEditCommands(*this);
  RegisterHandOverCommands(*this);
  RegisterDropDownFallbacks();

  BuildToolBar();
  UpdateMenuBar();
  ApplyShortcuts(LoadShortcuts());
  RestoreLayout();
  ModesChanged();

  idle_ = new QTimer(this);
  connect(idle_, &QTimer::timeout, this, [this] { UpdateToolBar(); });
  idle_->start(kIdleMs);
  UpdateToolBar();
}

CMainFrame::~CMainFrame() {
  named_.reset();
  idle_->stop();
  StoreLayout();
  WriteViewerSettings(settings_);
  // Image windows left open (a frame destroyed without closing) go before the
  // command map their views use.
  for (QMdiSubWindow* sub : mdi_->subWindowList()) delete sub;
}

// --- Commands -----------------------------------------------------------------

void CMainFrame::RegisterFrameCommands() {
  auto& c = commands_;
  const auto withDocument = [this](CmdUI& ui) { ui.enabled = ActiveDocument() != nullptr; };
  c.On(ID_FILE_OPEN, [this] { OpenWithDialog(); });
  c.On(
      ID_EDIT_PASTE_NEW, [this] { CreateFromClipboard(); },
      [this](CmdUI& ui) { ui.enabled = clipboardProbe_.IsClipboardImageAccess() != 0; });
  c.On(
      ID_FILE_SAVE,
      [this] {
        if (COrvennaDoc* doc = ActiveDocument()) doc->OnSaveDocument(doc->GetPathName());
      },
      withDocument);
  c.On(
      ID_FILE_CLOSE,
      [this] {
        if (CChildFrame* child = ActiveChild()) child->close();
      },
      withDocument);
  c.On(ID_CLOSE_ALL, [this] { CloseAllDocuments(); });
  c.On(ID_APP_EXIT, [this] { close(); });
  for (int i = 0; i < CRecentFileList::kSize; ++i)
    c.On(
        ID_FILE_MRU_FIRST + i, [this, i] { OpenRecent(i); },
        [this, i](CmdUI& ui) { ui.enabled = i < static_cast<int>(recent_.Files().size()); });
  c.On(
      ID_WINDOW_CASCADE, [this] { mdi_->cascadeSubWindows(); }, withDocument);
  c.On(
      ID_WINDOW_TILE_HORZ, [this] { Tile(true); }, withDocument);
  c.On(
      ID_WINDOW_TILE_VERT, [this] { Tile(false); }, withDocument);
  c.On(
      ID_VIEW_TOOLBAR, [this] { toolBar_->setVisible(toolBar_->isHidden()); },
      [this](CmdUI& ui) { ui.checked = !toolBar_->isHidden(); });
  c.On(
      ID_VIEW_STATUS_BAR, [this] { statusBar()->setVisible(statusBar()->isHidden()); },
      [this](CmdUI& ui) { ui.checked = !statusBar()->isHidden(); });
  c.On(ID_TOOLBAR_CUSTOMIZE, [this] { Customize(); });
}

// Drop-down buttons whose part registered no handler still show their popup
// below the button while an image window is active.
void CMainFrame::RegisterDropDownFallbacks() {
  const std::pair<int, int> dropDowns[] = {
      {ID_SAVE_AS_DROPDOWN, IDR_MENU_SAVEAS}, {ID_ZOOM_DROPDOWN, IDR_MENU_ZOOM},
      {ID_AREA_DROPDOWN, IDR_MENU_AREA},      {ID_ADVANCED_DROPDOWN, IDR_MENU_ADVANCED},
      {ID_LENS_MODE, IDR_MENU_LENS},          {ID_MIRROR_DROPDOWN, IDR_MENU_MIRROR},
      {ID_ROTATE_DROPDOWN, IDR_MENU_ROTATE},  {ID_DEPTH_DROPDOWN, IDR_MENU_DEPTH},
      {ID_FILTER_DROPDOWN, IDR_MENU_FILTER}};
  for (const auto& [id, resource] : dropDowns) {
    dropDownMenus_[id] = resource;
    if (commands_.Has(id)) continue;
    commands_.On(
        id, [this, resource = resource] { ShowPopupMenu(resource, QCursor::pos()); },
        [this](CmdUI& ui) { ui.enabled = ActiveDocument() != nullptr; });
  }
}

QAction* CMainFrame::Action(int id) {
  if (auto it = actions_.find(id); it != actions_.end()) return it->second;
  auto* action = new QAction(CommandText(id), this);
  action->setData(id);
  action->setIcon(CommandIcon(id));
  action->setIconVisibleInMenu(true);
  connect(action, &QAction::triggered, this, [this, id] { commands_.Execute(id); });
  addAction(action);  // its shortcuts work whichever menu is shown
  actions_[id] = action;
  return action;
}

void CMainFrame::ApplyShortcuts(const ShortcutMap& shortcuts) {
  shortcuts_ = shortcuts;
  for (const auto& [id, action] : actions_) action->setShortcuts({});
  for (const auto& [id, keys] : shortcuts_) Action(id)->setShortcuts(keys);
}

void CMainFrame::Customize() {
  CCustomizeDlg dialog(shortcuts_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  ApplyShortcuts(dialog.Shortcuts());
  StoreShortcuts(shortcuts_);
}

// --- Menus and toolbar ----------------------------------------------------------

void CMainFrame::UpdateMenuBar() {
  const bool wantLong = !mdi_->subWindowList().isEmpty();
  if (menuBuilt_ && wantLong == longMenu_) return;
  menuBuilt_ = true;
  longMenu_ = wantLong;
  BuildMenuBar(menuBar(), wantLong ? MenuBarKind::Long : MenuBarKind::Short, [this](int id) { return Action(id); });
  for (QAction* top : menuBar()->actions()) {
    QMenu* menu = top->menu();
    if (!menu) continue;
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
      if (menu->objectName() == QLatin1String("fileMenu")) FillRecentFiles(menu);
      if (menu->objectName() == QLatin1String("windowMenu")) FillWindowList(menu);
      vel::ui::UpdateMenu(menu, MenuStates(commands_));
    });
  }
}

void CMainFrame::FillRecentFiles(QMenu* file) {
  const QList<QAction*> entries = file->actions();
  int at = -1;
  for (int i = 0; i < entries.size(); ++i)
    if (entries[i]->objectName() == QLatin1String("recentFiles")) at = i;
  if (at < 0) return;
  // Whatever stands between the marker and the next separator is last time's list.
  for (int i = at + 1; i < entries.size() && !entries[i]->isSeparator(); ++i) file->removeAction(entries[i]);
  QAction* before = at + 1 < entries.size() ? entries[at + 1] : nullptr;
  for (QAction* a : file->actions())
    if (a->isSeparator() && file->actions().indexOf(a) > at) {
      before = a;
      break;
    }
  const auto& files = recent_.Files();
  if (files.empty()) {
    QAction* none = Action(ID_FILE_MRU_FIRST);
    none->setText(QStringLiteral("Recent File"));
    file->insertAction(before, none);
    return;
  }
  for (int i = 0; i < static_cast<int>(files.size()); ++i) {
    QAction* entry = Action(ID_FILE_MRU_FIRST + i);
    entry->setText(RecentText(i, files[i]));
    file->insertAction(before, entry);
  }
}

void CMainFrame::FillWindowList(QMenu* window) {
  for (QAction* a : window->actions())
    if (a->property("windowList").toBool()) {
      window->removeAction(a);
      delete a;
    }
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList(QMdiArea::CreationOrder);
  if (windows.isEmpty()) return;
  QAction* separator = window->addSeparator();
  separator->setProperty("windowList", true);
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* sub = windows[i];
    QAction* entry = window->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(sub->windowTitle()));
    entry->setProperty("windowList", true);
    // Only the active window's entry is checkable, so the others draw no empty box.
    entry->setCheckable(sub == mdi_->currentSubWindow());
    entry->setChecked(sub == mdi_->currentSubWindow());
    connect(entry, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
      if (sub) mdi_->setActiveSubWindow(sub);
    });
  }
}

void CMainFrame::BuildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Standard"));
  toolBar_->setObjectName(QStringLiteral("mainToolBar"));
  toolBar_->setIconSize(QSize(22, 22));
  toolBar_->setMovable(true);
  AddButton(ID_FILE_OPEN);
  AddDropDown(ID_SAVE_AS_DROPDOWN, IDR_MENU_SAVEAS);
  toolBar_->addSeparator();
  AddButton(ID_BATCH);
  toolBar_->addSeparator();
  AddButton(ID_EDIT_COPY);
  AddButton(ID_EDIT_PASTE_NEW);
  toolBar_->addSeparator();
  AddButton(ID_EDIT_UNDO);
  AddButton(ID_EDIT_REDO);
  toolBar_->addSeparator();
  AddButton(ID_FILE_PRINT);
  toolBar_->addSeparator();
  AddDropDown(ID_ZOOM_DROPDOWN, IDR_MENU_ZOOM);
  AddDropDown(ID_AREA_DROPDOWN, IDR_MENU_AREA);
  AddDropDown(ID_ADVANCED_DROPDOWN, IDR_MENU_ADVANCED);
  toolBar_->addSeparator();
  AddDropDown(ID_LENS_MODE, IDR_MENU_LENS);
  AddButton(ID_HAND_MODE);
  toolBar_->addSeparator();
  AddButton(ID_STRETCH);
  AddDropDown(ID_MIRROR_DROPDOWN, IDR_MENU_MIRROR);
  AddDropDown(ID_ROTATE_DROPDOWN, IDR_MENU_ROTATE);
  toolBar_->addSeparator();
  AddDropDown(ID_DEPTH_DROPDOWN, IDR_MENU_DEPTH);
  toolBar_->addSeparator();
  AddButton(ID_BRIGHTNESS);
  AddButton(ID_CONTRAST);
  toolBar_->addSeparator();
  AddDropDown(ID_FILTER_DROPDOWN, IDR_MENU_FILTER);
  AddButton(ID_PLUGINS);
  toolBar_->addSeparator();
  AddButton(ID_APP_ABOUT);
  // The plug-in button has no behaviour; it stays hidden, as the bar keeps its place.
  for (QAction* action : toolBar_->actions())
    if (action->data().toInt() == ID_PLUGINS) action->setVisible(false);
  ToolButton(ID_HAND_MODE)->defaultAction()->setCheckable(true);
  ToolButton(ID_LENS_MODE)->setCheckable(true);
}

void CMainFrame::AddButton(int id) {
  // The toolbar's own action: its check state follows the mode, not the menu's marks.
  auto* action = new QAction(CommandIcon(id), QString(CommandText(id)).remove(QLatin1Char('&')), toolBar_);
  action->setData(id);
  connect(action, &QAction::triggered, this, [this, id] { commands_.Execute(id); });
  toolBar_->addAction(action);
  buttons_[id] = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action));
}

void CMainFrame::AddDropDown(int id, int resource) {
  auto* button = new DropDownButton(toolBar_);
  button->setIcon(CommandIcon(id));
  button->setIconSize(toolBar_->iconSize());
  button->setAutoRaise(true);
  button->setToolTip(QString(CommandText(id)).remove(QLatin1Char('&')));
  if (id == ID_ROTATE_DROPDOWN) {
    button->setToolTip(QStringLiteral("Rotate"));
    button->setStatusTip(QStringLiteral("Rotate active image"));
  }
  button->setProperty("resource", resource);
  connect(button, &QToolButton::clicked, this, [this, id] { RunDropDown(id); });
  QAction* holder = toolBar_->addWidget(button);
  holder->setData(id);
  buttons_[id] = button;
}

QToolButton* CMainFrame::ToolButton(int id) const {
  const auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

void CMainFrame::RunDropDown(int id) {
  anchor_ = ToolButton(id);
  commands_.Execute(id);
  anchor_ = nullptr;
}

void CMainFrame::UpdateToolBar() {
  for (const auto& [id, button] : buttons_) {
    const CmdUI ui = commands_.Query(id);
    button->setEnabled(ui.enabled);
    if (id == ID_HAND_MODE || id == ID_LENS_MODE) continue;
    if (button->defaultAction()) {
      button->defaultAction()->setCheckable(ui.checked);
      button->defaultAction()->setChecked(ui.checked);
    }
  }
  ModesChanged();
  for (QMdiSubWindow* sub : mdi_->subWindowList())
    if (auto* child = dynamic_cast<CChildFrame*>(sub)) child->UpdatePageBar();
}

void CMainFrame::ModesChanged() {
  if (QToolButton* hand = ToolButton(ID_HAND_MODE)) hand->defaultAction()->setChecked(settings_.m_bHandMode != 0);
  if (QToolButton* lens = ToolButton(ID_LENS_MODE)) lens->setChecked(settings_.m_bHandMode == 0);
}

void CMainFrame::ShowPopupMenu(int menuResource, const QPoint& globalPos) {
  COrvennaDoc* doc = ActiveDocument();
  if (!doc || doc->m_pActivePopup) return;
  QMenu menu(this);
  const bool known = BuildPopupMenu(&menu, menuResource, [&menu](int id) {
    auto* action = new QAction(CommandIcon(id), CommandText(id), &menu);
    action->setData(id);
    return action;
  });
  if (!known) return;
  if (!doc->m_popupMenu) doc->m_popupMenu = std::make_unique<CBmpMenu>();
  QPoint pos = globalPos;
  QPointer<QToolButton> anchor = anchor_;
  if (anchor && anchor->property("resource").toInt() == menuResource) {
    pos = anchor->mapToGlobal(QPoint(0, anchor->height()));
    anchor->setDown(true);
  }
  QPointer<COrvennaDoc> guard(doc);
  CBmpMenu* popup = doc->m_popupMenu.get();
  doc->m_pActivePopup = popup;
  vel::ui::UpdateMenu(&menu, MenuStates(commands_));
  const int command = popup->TrackPopup(&menu, pos, this);
  if (guard) guard->m_pActivePopup = nullptr;
  if (anchor) anchor->setDown(false);
  // The command runs after the menu has gone, as it would after the popup's own
  // loop ended: it may open dialogs or close the window that asked.
  if (command != 0) commands_.Execute(command);
}

int CMainFrame::ConfirmRaster(COrvennaDoc& doc, const char* verb) { return orvenna::ConfirmRaster(doc, *this, verb); }

void CMainFrame::SetStatusText(const std::string& text) { statusPane_->setText(QString::fromStdString(text)); }

// --- Documents ------------------------------------------------------------------

CChildFrame* CMainFrame::ActiveChild() const { return dynamic_cast<CChildFrame*>(mdi_->currentSubWindow()); }

COrvennaDoc* CMainFrame::ActiveDocument() {
  CChildFrame* child = ActiveChild();
  return child ? child->Document() : nullptr;
}

COrvennaView* CMainFrame::ActiveView() {
  CChildFrame* child = ActiveChild();
  return child ? child->View() : nullptr;
}

std::vector<COrvennaDoc*> CMainFrame::Documents() {
  std::vector<COrvennaDoc*> docs;
  for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder))
    if (auto* child = dynamic_cast<CChildFrame*>(sub)) docs.push_back(child->Document());
  return docs;
}

bool CMainFrame::OpenDocument(const std::string& path) {
  if (path.empty()) return false;
  // The window exists before the file loads: a picture of several pages asks
  // it for the page bar while it loads.
  auto* child = new CChildFrame(std::make_unique<COrvennaDoc>(this), this);
  if (!child->Document()->OnOpenDocument(path)) {
    delete child;
    return false;
  }
  AddChild(child);
  return true;
}

bool CMainFrame::CreateFromClipboard() {
  auto* child = new CChildFrame(std::make_unique<COrvennaDoc>(this), this);
  COrvennaDoc* doc = child->Document();
  if (!doc->OnNewDocument()) {
    delete child;
    return false;
  }
  AddChild(child);
  return true;
}

void CMainFrame::AddChild(CChildFrame* child) {
  mdi_->addSubWindow(child);
  // A new window starts at three quarters of the area, as image windows do by
  // default; the view then fits it to a picture that fits.
  child->resize(mdi_->viewport()->size() * 3 / 4);
  connect(child, &QObject::destroyed, this, [this] {
    // The list no longer holds the window once this runs from the event loop.
    QTimer::singleShot(0, this, [this] {
      UpdateMenuBar();
      UpdateTitle();
    });
  });
  connect(child, &QWidget::windowTitleChanged, this, [this] { UpdateTitle(); });
  child->show();
  child->InitialUpdate(mdi_->viewport()->size());
  mdi_->setActiveSubWindow(child);
  UpdateMenuBar();
  UpdateTitle();
}

bool CMainFrame::CloseAllDocuments() {
  for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder))
    if (!sub->close()) return false;
  return true;
}

void CMainFrame::UpdateTitle() {
  // As an MDI frame does: the document's name joins the title while its window fills the area.
  QMdiSubWindow* sub = mdi_->currentSubWindow();
  QString title = QString::fromLatin1(kAppName);
  if (sub && sub->isMaximized()) title += QStringLiteral(" - [%1]").arg(sub->windowTitle());
  setWindowTitle(title);
}

void CMainFrame::AddRecentFile(const std::string& path) { recent_.Add(path); }

void CMainFrame::OpenRecent(int index) {
  if (index < 0 || index >= static_cast<int>(recent_.Files().size())) return;
  const std::string path = recent_.Files()[index];
  // A file that cannot be opened any more leaves the list.
  if (!OpenDocument(path)) recent_.Remove(path);
}

void CMainFrame::OpenWithDialog() {
  COpenImageDlg dialog(1, nullptr, nullptr, kOpenFlags, CImageInterface::GetOpenAllFilesFilter(), this, kAppName);
  if (dialog.DoModal() != IDOK) return;
  for (POSITION pos = dialog.GetStartPosition(); pos;) OpenDocument(dialog.GetNextPathName(pos));
}

void CMainFrame::Tile(bool oneAboveAnother) {
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList(QMdiArea::CreationOrder);
  QList<QMdiSubWindow*> shown;
  for (QMdiSubWindow* sub : windows)
    if (!sub->isMinimized()) shown.push_back(sub);
  if (shown.isEmpty()) return;
  const QSize area = mdi_->viewport()->size();
  const int n = static_cast<int>(shown.size());
  for (int i = 0; i < n; ++i) {
    QMdiSubWindow* sub = shown[i];
    sub->showNormal();
    if (oneAboveAnother) {
      const int h = area.height() / n;
      sub->setGeometry(0, i * h, area.width(), i == n - 1 ? area.height() - i * h : h);
    } else {
      const int w = area.width() / n;
      sub->setGeometry(i * w, 0, i == n - 1 ? area.width() - i * w : w, area.height());
    }
  }
}

// --- Other instances, drops, closing ---------------------------------------------------

bool CMainFrame::ListenForOtherInstances() {
  named_ = std::make_unique<vel::shell::NamedWindow>(this, kAppName, nullptr);
  named_->SetDataHandler([this](UINT_PTR, const std::string& data) { OnCopyData(data); });
  return named_->listening();
}

void CMainFrame::OnCopyData(const std::string& data) {
  const std::string path(data.c_str(), ::strnlen(data.c_str(), data.size()));
  if (path.empty()) return;
  // Opened from the event loop, not from inside the socket's reading.
  QTimer::singleShot(0, this, [this, path] { OpenDocument(path); });
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  if (paths.empty()) return;
  event->acceptProposedAction();
  activateWindow();
  for (const std::string& path : paths) OpenDocument(path);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!CloseAllDocuments()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void CMainFrame::RestoreLayout() {
  toolBar_->setVisible(ReadFlag("ShowToolbar", true));
  statusBar()->setVisible(ReadFlag("ShowStatusBar", true));
  if (auto geometry = ReadProfileBinary(kSettingsSection, "WindowGeometry", kMaxGeometryBytes))
    restoreGeometry(QByteArray(reinterpret_cast<const char*>(geometry->data()), static_cast<int>(geometry->size())));
}

void CMainFrame::StoreLayout() {
  WriteProfileBinary(kSettingsSection, "ShowToolbar", FlagBytes(!toolBar_->isHidden()));
  WriteProfileBinary(kSettingsSection, "ShowStatusBar", FlagBytes(!statusBar()->isHidden()));
  const QByteArray geometry = saveGeometry();
  WriteProfileBinary(kSettingsSection, "WindowGeometry", std::vector<unsigned char>(geometry.begin(), geometry.end()));
}

}  // namespace orvenna
