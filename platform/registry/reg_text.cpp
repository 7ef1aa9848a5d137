#include "platform/registry/reg_text.h"

#include <cstdio>
#include <cstring>

#include "platform/base/bytes.h"

namespace vel::reg {
namespace {

struct RootName {
  HKEY key;
  const char* longName;
  const char* shortName;
};

const RootName kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_USERS, "HKEY_USERS", "HKU"},
};

struct TypeEntry {
  DWORD type;
  const char* name;
};

const TypeEntry kTypes[] = {
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, "REG_QWORD"},
};

// The types "velreg add /t" accepts, as reg.exe does for the ones we store.
const DWORD kAddableTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexBytes(const std::vector<BYTE>& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 2);
  for (BYTE b : data) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string UpToNul(const std::vector<BYTE>& data, size_t from) {
  size_t end = from;
  while (end < data.size() && data[end] != 0) ++end;
  return std::string(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(end));
}

void AppendString(std::vector<BYTE>* out, const std::string& text) {
  out->insert(out->end(), text.begin(), text.end());
  out->push_back(0);
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool ParseKeyPath(const std::string& text, KeyPath* out) {
  if (text.empty() || text[0] == '\\') return false;  // "\\machine\HKLM\..." names another computer
  size_t slash = text.find('\\');
  std::string root = text.substr(0, slash);
  const RootName* found = nullptr;
  for (const auto& r : kRoots)
    if (EqualsNoCase(root, r.longName) || EqualsNoCase(root, r.shortName)) found = &r;
  if (!found) return false;

  std::string sub;
  size_t pos = slash == std::string::npos ? text.size() : slash + 1;
  while (pos < text.size()) {
    size_t end = text.find('\\', pos);
    if (end == std::string::npos) end = text.size();
    if (end - pos > kRegMaxKeyNameChars) return false;
    if (end > pos) {
      if (!sub.empty()) sub += '\\';
      sub.append(text, pos, end - pos);
    }
    pos = end + 1;
  }
  out->root = found->key;
  out->rootName = found->longName;
  out->sub = std::move(sub);
  return true;
}

std::string TypeName(DWORD type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(type));
  return buf;
}

bool ParseTypeName(const std::string& text, DWORD* type) {
  for (DWORD candidate : kAddableTypes) {
    if (EqualsNoCase(text, TypeName(candidate))) {
      *type = candidate;
      return true;
    }
  }
  return false;
}

std::string FormatQueryData(DWORD type, const std::vector<BYTE>& data) {
  char buf[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return UpToNul(data, 0);
    case REG_MULTI_SZ: {
      std::string out;
      for (size_t pos = 0; pos < data.size() && data[pos] != 0;) {
        std::string part = UpToNul(data, pos);
        if (!out.empty()) out += "\\0";
        out += part;
        pos += part.size() + 1;
      }
      return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (data.size() == 4) {
        vel::ByteReader in(data);
        const DWORD v = type == REG_DWORD ? in.le32() : in.be32();
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v));
        return buf;
      }
      break;
    case REG_QWORD:
      if (data.size() == 8) {
        const unsigned long long v = vel::ByteReader(data).le64();
        std::snprintf(buf, sizeof buf, "0x%llx", v);
        return buf;
      }
      break;
    default: break;
  }
  return HexBytes(data);
}

bool ParseHexNumber(const std::string& text, size_t maxDigits, std::uint64_t* value) {
  if (text.empty() || text.size() > maxDigits) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<unsigned>(d);
  }
  *value = v;
  return true;
}

namespace {

bool ParseDword(const std::string& text, DWORD* value) {
  std::uint64_t v = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    // Leading zeros are harmless; only the value has to fit.
    size_t first = 2;
    while (first + 1 < text.size() && text[first] == '0') ++first;
    if (!ParseHexNumber(text.substr(first), 8, &v)) return false;
  } else {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<DWORD>(v);
  return true;
}

}  // namespace

bool ParseAddData(DWORD type, const std::string& text, const std::string& separator, std::vector<BYTE>* out,
                  std::string* error) {
  out->clear();
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_NONE: AppendString(out, text); return true;
    case REG_MULTI_SZ: {
      if (separator.empty()) {
        *error = "ERROR: The separator of REG_MULTI_SZ data must not be empty.";
        return false;
      }
      std::vector<std::string> parts;
      for (size_t pos = 0;;) {
        size_t end = text.find(separator, pos);
        parts.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) break;
        pos = end + separator.size();
      }
      // A trailing separator only closes the list; an empty string inside it
      // would end the list early for every reader, so it is refused.
      while (!parts.empty() && parts.back().empty()) parts.pop_back();
      for (const auto& part : parts) {
        if (part.empty()) {
          *error = "ERROR: REG_MULTI_SZ data cannot contain an empty string.";
          return false;
        }
        AppendString(out, part);
      }
      out->push_back(0);
      return true;
    }
    case REG_DWORD: {
      DWORD v = 0;
      if (!ParseDword(text.empty() ? "0" : text, &v)) {
        *error = "ERROR: Invalid REG_DWORD data: use a number from 0 to 4294967295 or 0x0 to 0xffffffff.";
        return false;
      }
      vel::ByteWriter(*out).le32(v);
      return true;
    }
    case REG_BINARY: {
      if (text.size() % 2 != 0) {
        *error = "ERROR: Invalid REG_BINARY data: give an even number of hex digits.";
        return false;
      }
      for (size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) {
          *error = "ERROR: Invalid REG_BINARY data: only hex digits are allowed.";
          return false;
        }
        out->push_back(static_cast<BYTE>(hi << 4 | lo));
      }
      return true;
    }
    default: *error = "ERROR: Unsupported value type."; return false;
  }
}

}  // namespace vel::reg
