// Small C++ helpers over the registry functions for velreg: opening keys into
// owners that close them, and whole-list enumeration with buffers that grow as
// needed.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"

namespace vel::reg {

// RegOpenKeyExA and RegCreateKeyExA (with every access right) into an owner,
// so the key closes itself on every path; *key holds no key when they fail.
LONG OpenKey(HKEY parent, const std::string& sub, REGSAM access, vel::OwnedKey* key);
LONG CreateKey(HKEY parent, const std::string& sub, vel::OwnedKey* key);

struct RegValue {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// All values of key in enumeration order.
LONG ReadAllValues(HKEY key, std::vector<RegValue>* out);
// One value by name (null or "" = default).
LONG ReadValue(HKEY key, const char* name, RegValue* out);
// The names of all sub-keys of key in enumeration order.
LONG ReadSubKeyNames(HKEY key, std::vector<std::string>* out);

// The message reg.exe shows for a Win32 error code, with "ERROR: " in front.
std::string ErrorText(LONG code);

}  // namespace vel::reg
