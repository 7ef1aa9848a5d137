#include "platform/registry/reg_util.h"

namespace vel::reg {
namespace {
// A value may grow between the size query and the read when another program
// writes it; give up after a few rounds instead of looping.
constexpr int kMaxRetries = 8;
}  // namespace

LONG OpenKey(HKEY parent, const std::string& sub, REGSAM access, vel::OwnedKey* key) {
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExA(parent, sub.c_str(), 0, access, &opened);
  key->reset(opened);
  return rc;
}

LONG CreateKey(HKEY parent, const std::string& sub, vel::OwnedKey* key) {
  HKEY created = nullptr;
  const LONG rc = RegCreateKeyExA(parent, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &created, nullptr);
  key->reset(created);
  return rc;
}

LONG ReadAllValues(HKEY key, std::vector<RegValue>* out) {
  out->clear();
  std::vector<char> name(kRegMaxValueNameChars + 1);
  std::vector<BYTE> data(256);
  for (DWORD index = 0;; ++index) {
    LONG rc = ERROR_MORE_DATA;
    DWORD cchName = 0, type = 0, cbData = 0;
    for (int tries = 0; rc == ERROR_MORE_DATA && tries < kMaxRetries; ++tries) {
      cchName = static_cast<DWORD>(name.size());
      cbData = static_cast<DWORD>(data.size());
      rc = RegEnumValueA(key, index, name.data(), &cchName, nullptr, &type, data.data(), &cbData);
      if (rc == ERROR_MORE_DATA) data.resize(cbData > data.size() ? cbData : data.size() * 2);
    }
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    out->push_back({std::string(name.data(), cchName), type, std::vector<BYTE>(data.begin(), data.begin() + cbData)});
  }
}

LONG ReadValue(HKEY key, const char* name, RegValue* out) {
  std::vector<BYTE> data(256);
  LONG rc = ERROR_MORE_DATA;
  DWORD type = 0, cbData = 0;
  for (int tries = 0; rc == ERROR_MORE_DATA && tries < kMaxRetries; ++tries) {
    cbData = static_cast<DWORD>(data.size());
    rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &cbData);
    if (rc == ERROR_MORE_DATA) data.resize(cbData > data.size() ? cbData : data.size() * 2);
  }
  if (rc != ERROR_SUCCESS) return rc;
  out->name = name ? name : "";
  out->type = type;
  out->data.assign(data.begin(), data.begin() + cbData);
  return ERROR_SUCCESS;
}

LONG ReadSubKeyNames(HKEY key, std::vector<std::string>* out) {
  out->clear();
  char name[kRegMaxKeyNameChars + 1];
  for (DWORD index = 0;; ++index) {
    DWORD cch = sizeof name;
    LONG rc = RegEnumKeyExA(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    out->emplace_back(name, cch);
  }
}

std::string ErrorText(LONG code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "ERROR: The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED: return "ERROR: Access is denied.";
    case ERROR_INVALID_PARAMETER: return "ERROR: The parameter is incorrect.";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "ERROR: Not enough memory resources are available to complete this operation.";
    case ERROR_KEY_DELETED:
      return "ERROR: Illegal operation attempted on a registry key that has been marked for deletion.";
    case ERROR_BADDB: return "ERROR: The configuration registry database is corrupt.";
    case ERROR_CANTREAD: return "ERROR: The configuration registry key could not be read.";
    case ERROR_CANTWRITE: return "ERROR: The configuration registry key could not be written.";
    default: return "ERROR: The registry operation failed (error " + std::to_string(code) + ").";
  }
}

}  // namespace vel::reg
