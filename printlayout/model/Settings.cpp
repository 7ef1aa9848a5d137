#include <algorithm>
#include <cstring>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "printlayout/model/Environment.h"

namespace tessaly {

namespace {

constexpr const char* kSettingsKey = "Software\\Velmark\\Tessaly\\Settings";

bool ReadInt(HKEY key, const char* name, std::int32_t& value) {
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS) return false;
  if (type != REG_DWORD || size != sizeof(data)) return false;
  value = static_cast<std::int32_t>(data);
  return true;
}

bool ReadString(HKEY key, const char* name, std::string& value) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::string buffer(size, '\0');
  if (size > 0 &&
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  buffer.resize(std::min<size_t>(size, buffer.size()));
  const auto end = buffer.find('\0');
  if (end != std::string::npos) buffer.resize(end);
  value = buffer;
  return true;
}

}  // namespace

bool TessalySettings::load() {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  ReadString(key.get(), "LastDirForAddImages", lastDirForAddImages);
  ReadInt(key.get(), "ShadowImagesCX", shadowImagesCX);
  ReadInt(key.get(), "ShadowImagesCY", shadowImagesCY);
  return true;
}

bool TessalySettings::save() const {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD cx = static_cast<DWORD>(shadowImagesCX);
  const DWORD cy = static_cast<DWORD>(shadowImagesCY);
  bool ok = RegSetValueExA(key.get(), "LastDirForAddImages", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(lastDirForAddImages.c_str()),
                           static_cast<DWORD>(lastDirForAddImages.size() + 1)) == ERROR_SUCCESS;
  ok = RegSetValueExA(key.get(), "ShadowImagesCX", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cx), sizeof(cx)) ==
           ERROR_SUCCESS &&
       ok;
  ok = RegSetValueExA(key.get(), "ShadowImagesCY", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cy), sizeof(cy)) ==
           ERROR_SUCCESS &&
       ok;
  return ok;
}

int NullEnvironment::textHeight(const TextFont& font) {
  // The nominal size in 0.1 mm, without the font's leading.
  return std::max(1, static_cast<int>(static_cast<long long>(std::max(font.size, 0)) * 254 / 720));
}

}  // namespace tessaly
