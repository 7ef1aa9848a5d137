// What the settings sheet does with the tray program on OK or Apply.
#pragma once

#include <functional>

namespace converter {

// The tray program's App Paths entry.
inline constexpr const char* kTrayAppPath = "Pennock.exe";

// With the icon wanted and the program registered, start it and let it start at
// logon; without, let it not start at logon and close the running one through
// closeTray.
void MaintainTray(bool showIcon, const std::function<void()>& closeTray);

}  // namespace converter
