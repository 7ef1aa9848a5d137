// The suite's programs that lie beside the running one, made findable through
// App Paths: its programs start each other only through those entries, and a
// person may start any of them first.
#include <unistd.h>

#include <cstring>

#include "platform/registry/owned_key.h"
#include "platform/shell/shell.h"

namespace vel::shell {

bool RegisterSiblingAppPath(const char* exeName, const std::string& folder, const char* fileName) {
  const std::string current = FindAppPath(exeName);
  // An installed program elsewhere is respected; only a dead entry is replaced.
  if (!current.empty() && access(current.c_str(), X_OK) == 0) return true;
  const std::string path = folder + "/" + fileName;
  if (folder.empty() || access(path.c_str(), X_OK) != 0) return false;
  vel::OwnedKey key;
  const std::string sub = std::string(kAppPathsKey) + "\\" + exeName;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                        static_cast<DWORD>(path.size() + 1)) == ERROR_SUCCESS;
}

void RegisterSuiteAppPaths(const std::string& folder) {
  static const struct {
    const char* exeName;
    const char* fileName;
  } kPrograms[] = {
      {"Wicklow", "wicklow"}, {"Converter.exe", "converter"}, {"Quorra.exe", "orvenna"}, {"Pennock.exe", "pennock"}};
  for (const auto& p : kPrograms) RegisterSiblingAppPath(p.exeName, folder, p.fileName);
}

}  // namespace vel::shell
