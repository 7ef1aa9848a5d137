// Small C++ helpers over the registry functions for velreg: a key that closes
// itself, and whole-list enumeration with buffers that grow as needed.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace vel::reg {

class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY get() const { return key_; }
  PHKEY out() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

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
