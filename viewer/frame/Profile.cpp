#include "viewer/frame/Profile.h"

#include <algorithm>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "viewer/core/Commands.h"

namespace orvenna {
namespace {

std::string SectionPath(const char* section) {
  return std::string("Software\\") + kMakerKey + "\\" + kAppName + "\\" + section;
}

std::optional<std::vector<unsigned char>> ReadRaw(const char* section, const std::string& name, DWORD wantType,
                                                  size_t maxBytes) {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != wantType ||
      size > maxBytes)
    return std::nullopt;
  std::vector<unsigned char> data(size);
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  data.resize(std::min<size_t>(size, data.size()));
  return data;
}

void WriteRaw(const char* section, const std::string& name, DWORD type, const unsigned char* data, size_t size) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key.get(), name.c_str(), 0, type, data, static_cast<DWORD>(size));
}

}  // namespace

std::optional<std::string> ReadProfileString(const char* section, const std::string& name, size_t maxBytes) {
  auto data = ReadRaw(section, name, REG_SZ, maxBytes);
  if (!data) return std::nullopt;
  std::string text(data->begin(), data->end());
  // Stored with its terminating zero; anything after a zero is not part of it.
  if (const size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  return text;
}

void WriteProfileString(const char* section, const std::string& name, const std::string& value) {
  WriteRaw(section, name, REG_SZ, reinterpret_cast<const unsigned char*>(value.c_str()), value.size() + 1);
}

void DeleteProfileValue(const char* section, const std::string& name) {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, KEY_WRITE, key.put()) == ERROR_SUCCESS)
    RegDeleteValueA(key.get(), name.c_str());
}

std::optional<std::vector<unsigned char>> ReadProfileBinary(const char* section, const std::string& name,
                                                            size_t maxBytes) {
  return ReadRaw(section, name, REG_BINARY, maxBytes);
}

void WriteProfileBinary(const char* section, const std::string& name, const std::vector<unsigned char>& value) {
  WriteRaw(section, name, REG_BINARY, value.data(), value.size());
}

void CRecentFileList::Load() {
  files_.clear();
  for (int i = 1; i <= kSize; ++i) {
    auto path = ReadProfileString(kRecentSection, "File" + std::to_string(i));
    if (path && !path->empty() && std::find(files_.begin(), files_.end(), *path) == files_.end())
      files_.push_back(*path);
  }
}

void CRecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  files_.erase(std::remove(files_.begin(), files_.end(), path), files_.end());
  files_.insert(files_.begin(), path);
  if (files_.size() > static_cast<size_t>(kSize)) files_.resize(kSize);
  Store();
}

void CRecentFileList::Remove(const std::string& path) {
  files_.erase(std::remove(files_.begin(), files_.end(), path), files_.end());
  Store();
}

void CRecentFileList::Store() const {
  for (int i = 1; i <= kSize; ++i) {
    const std::string name = "File" + std::to_string(i);
    if (i <= static_cast<int>(files_.size()))
      WriteProfileString(kRecentSection, name, files_[i - 1]);
    else
      DeleteProfileValue(kRecentSection, name);
  }
}

}  // namespace orvenna
