// .reg text files: "Windows Registry Editor Version 5.00" (written, UTF-8 here)
// and "REGEDIT4" (read).
//
// A file is parsed whole before anything is applied, so a malformed file
// changes nothing.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/reg_text.h"

namespace vel::reg {

extern const char* const kRegFileHeader5;
extern const char* const kRegFileHeader4;

// Largest .reg file we read: far beyond any real export of the suite's keys.
constexpr size_t kMaxRegFileBytes = 64u << 20;

struct RegFileOp {
  enum Kind { kDeleteKey, kOpenKey, kSetValue, kDeleteValue };
  Kind kind = kOpenKey;
  int line = 0;
  KeyPath key;            // kDeleteKey, kOpenKey
  std::string valueName;  // kSetValue, kDeleteValue ("" = default value)
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegFileError {
  int line = 0;  // 0 when the whole file is at fault
  std::string message;
};

bool ParseRegFile(const std::string& text, std::vector<RegFileOp>* ops, RegFileError* error);

// Applies parsed operations in order; values go to the key of the last
// section. Stops at the first failure and reports it in *error.
LONG ApplyRegFile(const std::vector<RegFileOp>& ops, RegFileError* error);

// The .reg text (version 5 header) of key and everything below it. Strings
// are written as "..." only when that reads back as the very same bytes;
// anything else goes out as hex(N) so an import restores it exactly.
LONG ExportRegFile(const KeyPath& key, std::string* text, std::string* error);

}  // namespace vel::reg
