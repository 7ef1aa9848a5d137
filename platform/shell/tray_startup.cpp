#include "platform/shell/tray_startup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/base/file.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"

namespace vel::shell {
namespace {

// One argument of an Exec line: quoted, with the characters the desktop entry
// rules reserve inside quotes escaped, then escaped again as a string value.
std::string ExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (char c : quoted) {
    if (c == '\\')
      value += "\\\\";
    else if (c == '%')
      value += "%%";
    else
      value += c;
  }
  return value;
}

bool WriteRunValue(const std::string& trayPath) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const vel::OwnedKey key(created);
  std::vector<BYTE> data(std::max<size_t>(kTrayRunValueBytes, trayPath.size() + 1), 0);
  std::copy(trayPath.begin(), trayPath.end(), data.begin());
  return RegSetValueExA(key.get(), kTrayRunValue, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size())) ==
         ERROR_SUCCESS;
}

// The new entry replaces the old one only once it is whole, so a desktop
// reading it at logon never sees half an entry.
bool WriteAutostartEntry(const std::string& text) {
  const std::filesystem::path target = TrayAutostartPath();
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  if (error) return false;
  return vel::ReplaceFileContents(target.string(), text, "pennock");
}

}  // namespace

std::string TrayAutostartPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  return base + "/autostart/" + kTrayAutostartFile;
}

std::string TrayAutostartEntry(const std::string& trayPath) {
  if (trayPath.find_first_of("\r\n") != std::string::npos) return {};
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Pennock\n"
      "Comment=Corbanix Settings\n";
  if (trayPath.empty()) {
    // Hidden=true counts as deleted, and it wins over a system-wide pennock.desktop.
    entry += "Hidden=true\n";
  } else {
    entry += "Exec=" + ExecArgument(trayPath) + "\n";
  }
  entry += std::string("X-Velmark-Run-Value=") + kTrayRunValue + "\n";
  return entry;
}

bool SetTrayStartup(const std::string& trayPath) {
  const bool run = WriteRunValue(trayPath);
  const std::string entry = TrayAutostartEntry(trayPath);
  const bool autostart = !entry.empty() && WriteAutostartEntry(entry);
  return run && autostart;
}

}  // namespace vel::shell
