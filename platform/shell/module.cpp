// The running program's path and App Paths lookups.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/registry/owned_key.h"
#include "platform/shell/shell.h"

namespace {

std::string SelfPath() {
  std::string buf(256, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      break;
    }
    if (buf.size() >= 65536) return {};
    buf.resize(buf.size() * 2);
  }
  // A program replaced on disk while running still knows where it lived.
  const char kDeleted[] = " (deleted)";
  if (buf.size() > sizeof kDeleted - 1 &&
      buf.compare(buf.size() - (sizeof kDeleted - 1), std::string::npos, kDeleted) == 0)
    buf.resize(buf.size() - (sizeof kDeleted - 1));
  return buf;
}

// %NAME% references replaced by the environment; unknown names stay as they
// are, as ExpandEnvironmentStrings leaves them.
std::string ExpandVariables(const std::string& text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) {
      out.append(text, pos, std::string::npos);
      break;
    }
    out.append(text, pos, open - pos);
    std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    out += value ? std::string(value) : text.substr(open, close - open + 1);
    pos = close + 1;
  }
  return out;
}

}  // namespace

DWORD GetModuleFileNameA(void* module, LPSTR buf, DWORD size) {
  // Only the program itself has a module name here; there are no DLL handles.
  if (module || !buf || size == 0) return 0;
  std::string path = SelfPath();
  if (path.empty()) return 0;
  if (path.size() < size) {
    std::memcpy(buf, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  std::memcpy(buf, path.data(), size - 1);
  buf[size - 1] = '\0';
  return size;
}

std::string ModuleDirectory() {
  std::string path = SelfPath();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string FindAppPath(const char* exeName) {
  if (!exeName || !*exeName || std::strchr(exeName, '\\')) return {};
  std::string sub = std::string(kAppPathsKey) + "\\" + exeName;
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
  DWORD type = 0, size = 0;
  std::string value;
  if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size <= 32768) {
    value.resize(size);
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
      size = 0;
    value.resize(size);
    value.resize(std::strlen(value.c_str()));  // up to the NUL
  }
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return type == REG_EXPAND_SZ ? ExpandVariables(value) : value;
}

bool RegisterOwnAppPath(const char* exeName) {
  char self[4096] = {};
  if (!exeName || !*exeName || !GetModuleFileNameA(nullptr, self, sizeof self)) return false;
  vel::shell::RegisterSuiteAppPaths(ModuleDirectory());
  if (FindAppPath(exeName) == self) return true;
  vel::OwnedKey key;
  const std::string sub = std::string(kAppPathsKey) + "\\" + exeName;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(self),
                        static_cast<DWORD>(std::strlen(self) + 1)) == ERROR_SUCCESS;
}
