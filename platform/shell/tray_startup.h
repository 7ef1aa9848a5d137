// Whether the tray program starts at logon: the "Pennock.exe" value under the
// machine's Run key, mirrored as an XDG autostart entry so that the desktop
// actually starts it. The converter's settings sheet and the tray program
// itself both change it.
#pragma once

#include <string>

namespace vel::shell {

inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kTrayRunValue = "Pennock.exe";
inline constexpr const char* kTrayAutostartFile = "pennock.desktop";
// The Run value is a fixed-size string: a shorter path is padded with zero bytes.
inline constexpr unsigned kTrayRunValueBytes = 260;

// $XDG_CONFIG_HOME/autostart/pennock.desktop (~/.config when unset).
std::string TrayAutostartPath();
// The autostart entry for this path; an empty path gives an entry that keeps the
// program from starting (it also hides a system-wide entry of the same name).
// Empty when the path cannot stand in such a file (a line break in it).
std::string TrayAutostartEntry(const std::string& trayPath);

// Stores the path (or "" for "do not start") as the Run value, REG_SZ of 260
// bytes (more for a longer path, which is never cut), and writes the autostart
// entry to match. False when either could not be written; each is written
// whether or not the other could be.
bool SetTrayStartup(const std::string& trayPath);

}  // namespace vel::shell
