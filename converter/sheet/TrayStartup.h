// Whether the tray program starts at logon: the "Pennock.exe" value under the
// machine's Run key, mirrored as an XDG autostart entry so that the desktop
// actually starts it.
#pragma once

#include <functional>
#include <string>

namespace converter {

inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kTrayRunValue = "Pennock.exe";
// The tray program's App Paths entry.
inline constexpr const char* kTrayAppPath = "Pennock.exe";
inline constexpr const char* kTrayAutostartFile = "pennock.desktop";

// $XDG_CONFIG_HOME/autostart/pennock.desktop (~/.config when unset).
std::string TrayAutostartPath();
// The autostart entry for this path; an empty path gives an entry that keeps the
// program from starting (it also hides a system-wide entry of the same name).
// Empty when the path cannot stand in such a file (a line break in it).
std::string TrayAutostartEntry(const std::string& trayPath);

// Stores the path (or "" for "do not start") as the Run value, REG_SZ of 260
// bytes (more for a longer path, which is never cut), and writes the autostart
// entry to match. False when either could not be written.
bool SetTrayStartup(const std::string& trayPath);

// What the sheet does with the tray program on OK or Apply: with the icon wanted
// and the program registered, start it and let it start at logon; without, let it
// not start at logon and close the running one through closeTray.
void MaintainTray(bool showIcon, const std::function<void()>& closeTray);

}  // namespace converter
