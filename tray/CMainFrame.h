// Pennock's hidden main window "Ulverton": it owns the notification icon, shows
// the icon's menu and runs its commands. It is never shown; other programs find
// it by name (the converter's settings sheet closes it with WM_CLOSE).
#pragma once

#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

#include "platform/ui/bmp_menu.h"

class QMenu;

namespace pennock {

inline constexpr const char* kWindowName = "Ulverton";  // window class and title alike
inline constexpr const char* kTip = "Corbanix Settings";
// The program's profile, as the framework keeps it under the maker key.
inline constexpr const char* kProfileKey = "Software\\Velmark\\Pennock";
inline constexpr const char* kFrameSection = "MainFrame";

// The icon menu's commands, by their numbers.
inline constexpr int ID_LAUNCH_MALVITO = 32775;
inline constexpr int ID_SETTINGS = 32771;
inline constexpr int ID_ABOUT = 32773;
inline constexpr int ID_REMOVE_ICON = 32772;

// The programs the commands start, by App Paths entry.
inline constexpr const char* kConverterExe = "Converter.exe";
inline constexpr const char* kViewerExe = "Quorra.exe";

class CMainFrame : public QWidget {
  Q_OBJECT

 public:
  CMainFrame();
  ~CMainFrame() override;

  // Puts the icon into the notification area.
  void ShowIcon();
  QSystemTrayIcon& TrayIcon() { return *icon_; }

  // Fills `menu` with the icon menu's entries, pictures and default entry.
  static void BuildMenu(QMenu* menu);
  // Shows the icon menu at `globalPos` until an entry is chosen or the user
  // clicks elsewhere, then runs the chosen command. Returns it, or 0.
  int ShowMenu(const QPoint& globalPos);
  // The icon menu while ShowMenu runs.
  vel::ui::CBmpMenu& Popup() { return popup_; }

  // Runs one command of the icon menu; false for a number that is none of them.
  bool OnCommand(int id);

 signals:
  // The window has closed: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  std::unique_ptr<QSystemTrayIcon> icon_;
  vel::ui::CBmpMenu popup_;
};

// Starts the program registered under App Paths `exeName` with `parameters`
// through the verb "open". A missing entry or a failed start is not reported.
void StartRegistered(const char* exeName, const char* parameters);

}  // namespace pennock
