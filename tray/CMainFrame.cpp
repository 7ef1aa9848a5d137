#include "tray/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QMenu>
#include <QStyle>
#include <QTimer>

#include <cstdlib>
#include <string>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/shell/tray_startup.h"
#include "tray/Pictures.h"

namespace pennock {
namespace {

struct MenuEntry {
  int id;  // 0: a separator
  const char* text;
};
// The icon menu, in its order.
constexpr MenuEntry kMenu[] = {
    {ID_LAUNCH_MALVITO, "Launch Malvito"}, {0, nullptr}, {ID_SETTINGS, "Corbanix settings"},
    {ID_ABOUT, "About Corbanix"},          {0, nullptr}, {ID_REMOVE_ICON, "Remove icon from the tray"},
};

// The framework stores the frame's window class in the profile as it creates it.
void StoreClassName() {
  vel::OwnedKey key;
  const std::string section = std::string(kProfileKey) + "\\" + kFrameSection;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, section.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  const std::string name = kWindowName;
  RegSetValueExA(key.get(), "ClassName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                 static_cast<DWORD>(name.size() + 1));
}

// With VELMARK_SHOTS naming a folder, the menu's own picture is kept there once it
// shows: on a real screen only this process can take it.
void ShootMenuIfAsked(vel::ui::CBmpMenu& popup) {
  const char* dir = std::getenv("VELMARK_SHOTS");
  if (!dir || !*dir) return;
  QTimer::singleShot(300, [&popup, folder = QString::fromLocal8Bit(dir)] {
    QMenu* shown = popup.Shown();
    if (!shown || !shown->isVisible()) return;
    QDir().mkpath(folder);
    shown->grab().save(folder + QStringLiteral("/pennock-menu.png"));
  });
}

}  // namespace

void StartRegistered(const char* exeName, const char* parameters) {
  const std::string path = FindAppPath(exeName);
  if (path.empty()) return;
  ShellExecuteA(nullptr, "open", path.c_str(), parameters, nullptr, SW_SHOWNORMAL);
}

CMainFrame::CMainFrame() : icon_(std::make_unique<QSystemTrayIcon>()) {
  // A zero-sized popup that is never shown: it stands only to be found by name.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  setWindowTitle(QString::fromLatin1(kWindowName));
  setObjectName(QString::fromLatin1(kWindowName));
  resize(0, 0);
  StoreClassName();
  icon_->setIcon(ProgramIcon());
  icon_->setToolTip(QString::fromLatin1(kTip));
  setWindowIcon(icon_->icon());
  connect(icon_.get(), &QSystemTrayIcon::activated, this, &CMainFrame::OnActivated);
  popup_.SetPlacement(vel::ui::CBmpMenu::Placement::AwayFromEdges);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::ShowIcon() { icon_->show(); }

void CMainFrame::BuildMenu(QMenu* menu) {
  const int size = menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu);
  for (const MenuEntry& entry : kMenu) {
    if (entry.id == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromLatin1(entry.text));
    action->setData(entry.id);
    vel::ui::CBmpMenu::SetItemBitmaps(action, ItemBitmap(entry.id, false, size), ItemBitmap(entry.id, true, size));
  }
  vel::ui::CBmpMenu::SetDefaultItem(menu, ID_SETTINGS);
}

int CMainFrame::ShowMenu(const QPoint& globalPos) {
  if (popup_.IsOpen()) return 0;
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("trayMenu"));
  BuildMenu(&menu);
  popup_.SetBanner(BannerBitmap(menu.sizeHint().height()));
  ShootMenuIfAsked(popup_);
  const int command = popup_.TrackPopup(&menu, globalPos, this);
  if (command != 0) OnCommand(command);
  return command;
}

bool CMainFrame::OnCommand(int id) {
  switch (id) {
    case ID_LAUNCH_MALVITO: StartRegistered(kViewerExe, "/ABOUT"); return true;
    case ID_SETTINGS: StartRegistered(kConverterExe, "/SETTING"); return true;
    case ID_ABOUT: StartRegistered(kConverterExe, "/ABOUT"); return true;
    case ID_REMOVE_ICON:
      // The value stays, empty, so nothing starts the icon at the next logon; when
      // it cannot be written the program still ends. The close is posted, as
      // WM_CLOSE would be, so the menu has gone before the window does.
      vel::shell::SetTrayStartup("");
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
      return true;
    default: return false;
  }
}

void CMainFrame::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::DoubleClick: OnCommand(ID_SETTINGS); break;
    case QSystemTrayIcon::Context: ShowMenu(QCursor::pos()); break;
    default: break;
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  icon_->hide();
  event->accept();
  emit Closed();
}

}  // namespace pennock
