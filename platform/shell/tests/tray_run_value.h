// Reads back the tray program's Run value, for the tests of everything that
// changes it.
#pragma once

#include <string>
#include <utility>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/tray_startup.h"

namespace vel::shell::testing {

// The Run value's type and bytes; type 0 when there is none.
inline std::pair<DWORD, std::string> TrayRunValue() {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {0, {}};
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), kTrayRunValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {0, {}};
  std::string data(size, '\0');
  if (RegQueryValueExA(key.get(), kTrayRunValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS)
    return {0, {}};
  data.resize(size);
  return {type, data};
}

}  // namespace vel::shell::testing
