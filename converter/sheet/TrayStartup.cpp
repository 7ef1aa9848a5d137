#include "converter/sheet/TrayStartup.h"

#include <string>

#include "platform/shell/shell.h"
#include "platform/shell/tray_startup.h"

namespace converter {

void MaintainTray(bool showIcon, const std::function<void()>& closeTray) {
  if (showIcon) {
    const std::string path = FindAppPath(kTrayAppPath);
    if (path.empty()) return;  // not installed: nothing to start or to register
    // A second tray program sees the first and ends by itself.
    ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    vel::shell::SetTrayStartup(path);
    return;
  }
  vel::shell::SetTrayStartup("");
  if (closeTray) closeTray();
}

}  // namespace converter
