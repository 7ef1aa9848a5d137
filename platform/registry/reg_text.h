// Text forms shared by velreg's command line and .reg files: root key names,
// type names, and value data as reg.exe shows and takes it.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace vel::reg {

// A key written as "HKCU\Software\X" or "HKEY_CURRENT_USER\Software\X".
struct KeyPath {
  HKEY root = nullptr;
  std::string rootName;  // always the long form, as reg.exe prints it
  std::string sub;       // parts joined by single backslashes, no leading or trailing one

  std::string Full() const { return sub.empty() ? rootName : rootName + "\\" + sub; }
};

// False for an unknown root, a remote key ("\\machine\..."), or a name part
// that no key can have.
bool ParseKeyPath(const std::string& text, KeyPath* out);

// "REG_SZ" ... for the types reg.exe names; "0x%X" for others.
std::string TypeName(DWORD type);
// Accepts the names of the types velreg can add (case-insensitive).
bool ParseTypeName(const std::string& text, DWORD* type);

// The data column of "velreg query": strings up to their NUL, multi-strings
// joined by "\0", REG_DWORD as 0x%x, everything else as hex digits.
std::string FormatQueryData(DWORD type, const std::vector<BYTE>& data);

// The bytes "velreg add /t type /d text" stores. separator splits a
// REG_MULTI_SZ ("\0" unless /s gave another). On failure *error says why.
bool ParseAddData(DWORD type, const std::string& text, const std::string& separator, std::vector<BYTE>* out,
                  std::string* error);

// Parses hex digits into a number; false for empty, non-hex, or more digits
// than maxDigits.
bool ParseHexNumber(const std::string& text, size_t maxDigits, std::uint64_t* value);

bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace vel::reg
