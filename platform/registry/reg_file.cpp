#include "platform/registry/reg_file.h"

#include <cstdio>

#include "platform/base/bytes.h"
#include "platform/registry/reg_util.h"

namespace vel::reg {

const char* const kRegFileHeader5 = "Windows Registry Editor Version 5.00";
const char* const kRegFileHeader4 = "REGEDIT4";

namespace {

// Exports go no deeper than the store allows keys to be; the bound also keeps
// the recursion finite whatever the hive file holds.
constexpr int kMaxExportDepth = static_cast<int>(kRegMaxKeyDepth) + 1;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  return s.substr(i);
}

std::string TrimRight(std::string s) {
  while (!s.empty() && IsSpace(s.back())) s.pop_back();
  return s;
}

bool StartsWithNoCase(const std::string& s, size_t pos, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (pos + i >= s.size()) return false;
    char c = s[pos + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Only blanks or a ";" comment may follow a complete item.
bool AtEndOrComment(const std::string& s, size_t pos) {
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  return pos == s.size() || s[pos] == ';';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  Parser(std::vector<std::string> lines, std::vector<RegFileOp>* ops, RegFileError* error)
      : lines_(std::move(lines)), ops_(ops), error_(error) {}

  bool Run() {
    size_t i = 0;
    while (i < lines_.size() && TrimLeft(lines_[i]).empty()) ++i;
    if (i == lines_.size()) return Fail(0, "The file is empty.");
    std::string header = TrimRight(TrimLeft(lines_[i]));
    if (header != kRegFileHeader5 && header != kRegFileHeader4)
      return Fail(static_cast<int>(i + 1), "The file is not a registry script: it must begin with \"" +
                                               std::string(kRegFileHeader5) + "\" or \"" + kRegFileHeader4 + "\".");
    for (++i; i < lines_.size(); ++i) {
      std::string line = TrimRight(TrimLeft(lines_[i]));
      if (line.empty() || line[0] == ';') continue;
      bool ok = line[0] == '[' ? Section(line, static_cast<int>(i + 1)) : Value(&i);
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool Fail(int line, std::string message) {
    error_->line = line;
    error_->message = std::move(message);
    return false;
  }

  bool Section(const std::string& line, int lineNo) {
    size_t close = line.rfind(']');
    if (close == std::string::npos || !AtEndOrComment(line, close + 1))
      return Fail(lineNo, "A key section must be written as [KEY].");
    std::string inner = line.substr(1, close - 1);
    bool remove = !inner.empty() && inner[0] == '-';
    if (remove) inner.erase(0, 1);
    RegFileOp op;
    op.line = lineNo;
    if (!ParseKeyPath(inner, &op.key)) return Fail(lineNo, "Invalid key name \"" + inner + "\".");
    if (remove && op.key.sub.empty()) return Fail(lineNo, "A whole hive cannot be deleted.");
    op.kind = remove ? RegFileOp::kDeleteKey : RegFileOp::kOpenKey;
    haveKey_ = !remove;
    ops_->push_back(std::move(op));
    return true;
  }

  // A "..." string with \\ and \" escapes; pos is at the opening quote and
  // ends after the closing one.
  static bool Quoted(const std::string& s, size_t* pos, std::string* out) {
    out->clear();
    for (size_t i = *pos + 1; i < s.size(); ++i) {
      char c = s[i];
      if (c == '"') {
        *pos = i + 1;
        return true;
      }
      if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
      out->push_back(c);
    }
    return false;
  }

  // Joins the continuation lines of hex data (a trailing backslash) into one.
  bool JoinContinuations(size_t* index, std::string* line) {
    while (!line->empty() && line->back() == '\\') {
      line->pop_back();
      if (++*index >= lines_.size())
        return Fail(static_cast<int>(*index), "The hex data continues past the end of the file.");
      *line += TrimRight(TrimLeft(lines_[*index]));
      if (line->size() > kMaxRegFileBytes) return Fail(static_cast<int>(*index + 1), "The line is too long.");
    }
    return true;
  }

  bool HexList(const std::string& s, size_t pos, int lineNo, std::vector<BYTE>* out) {
    out->clear();
    for (;;) {
      while (pos < s.size() && IsSpace(s[pos])) ++pos;
      if (pos == s.size() || s[pos] == ';') return true;
      int hi = HexValue(s[pos]);
      if (hi < 0) return Fail(lineNo, "Hex data must be bytes written as two hex digits separated by commas.");
      int value = hi;
      if (pos + 1 < s.size() && HexValue(s[pos + 1]) >= 0) value = hi * 16 + HexValue(s[++pos]);
      ++pos;
      out->push_back(static_cast<BYTE>(value));
      if (out->size() > kRegMaxValueBytes) return Fail(lineNo, "The value is too large.");
      while (pos < s.size() && IsSpace(s[pos])) ++pos;
      if (pos < s.size() && s[pos] == ',') {
        ++pos;
      } else if (!AtEndOrComment(s, pos)) {
        return Fail(lineNo, "Hex data must be bytes written as two hex digits separated by commas.");
      }
    }
  }

  bool Value(size_t* index) {
    const int lineNo = static_cast<int>(*index + 1);
    std::string line = TrimRight(TrimLeft(lines_[*index]));
    if (!haveKey_) return Fail(lineNo, "A value must follow a [KEY] section.");
    RegFileOp op;
    op.line = lineNo;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] != '"' || !Quoted(line, &pos, &op.valueName)) {
      return Fail(lineNo, "A value line must begin with \"NAME\"= or @=.");
    }
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Fail(lineNo, "Expected = after the value name.");
    ++pos;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos < line.size() && line[pos] == '-') {
      if (!AtEndOrComment(line, pos + 1)) return Fail(lineNo, "Unexpected text after =-.");
      op.kind = RegFileOp::kDeleteValue;
    } else if (!ValueData(index, &line, pos, lineNo, &op)) {
      return false;
    }
    ops_->push_back(std::move(op));
    return true;
  }

  bool ValueData(size_t* index, std::string* line, size_t pos, int lineNo, RegFileOp* op) {
    op->kind = RegFileOp::kSetValue;
    if (pos < line->size() && (*line)[pos] == '"') {
      std::string text;
      if (!Quoted(*line, &pos, &text)) return Fail(lineNo, "The string has no closing quote.");
      if (!AtEndOrComment(*line, pos)) return Fail(lineNo, "Unexpected text after the string.");
      op->type = REG_SZ;
      op->data.assign(text.begin(), text.end());
      op->data.push_back(0);
      return true;
    }
    if (StartsWithNoCase(*line, pos, "dword:")) {
      pos += 6;
      size_t end = pos;
      while (end < line->size() && HexValue((*line)[end]) >= 0) ++end;
      std::uint64_t v = 0;
      if (!ParseHexNumber(line->substr(pos, end - pos), 8, &v) || !AtEndOrComment(*line, end))
        return Fail(lineNo, "dword: must be followed by 1 to 8 hex digits.");
      op->type = REG_DWORD;
      vel::ByteWriter(op->data).le32(static_cast<DWORD>(v));
      return true;
    }
    if (StartsWithNoCase(*line, pos, "hex")) {
      pos += 3;
      op->type = REG_BINARY;
      if (pos < line->size() && (*line)[pos] == '(') {
        size_t close = line->find(')', pos);
        std::uint64_t type = 0;
        if (close == std::string::npos || !ParseHexNumber(line->substr(pos + 1, close - pos - 1), 8, &type))
          return Fail(lineNo, "hex(N): needs a type number N in hex.");
        op->type = static_cast<DWORD>(type);
        pos = close + 1;
      }
      if (pos >= line->size() || (*line)[pos] != ':') return Fail(lineNo, "Expected : after hex.");
      if (!JoinContinuations(index, line)) return false;
      return HexList(*line, pos + 1, lineNo, &op->data);
    }
    return Fail(lineNo, "Unrecognised value data: use \"string\", dword:, hex:, hex(N): or -.");
  }

  std::vector<std::string> lines_;
  std::vector<RegFileOp>* ops_;
  RegFileError* error_;
  bool haveKey_ = false;
};

std::vector<std::string> SplitLines(const std::string& text, size_t start) {
  std::vector<std::string> lines;
  size_t pos = start;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    pos = end + 1;
  }
  return lines;
}

// --- writing ---------------------------------------------------------------

bool IsUtf8(const BYTE* p, size_t n) {
  for (size_t i = 0; i < n;) {
    BYTE b = p[i];
    size_t extra = 0;
    if (b < 0x80) {
      extra = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
    } else {
      return false;
    }
    if (extra > n - i - 1) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((p[i + k] & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// True when "..." in a .reg file reads back as exactly these bytes: one
// terminating NUL, no NUL or line break before it, valid UTF-8 text.
bool IsPlainString(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] < 0x20) return false;
  return IsUtf8(data.data(), data.size() - 1);
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// Bytes as "01,02,..." wrapped like regedit does, so no line passes 80 columns.
void AppendHexList(std::string* out, size_t column, const std::vector<BYTE>& data) {
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    bool last = i + 1 == data.size();
    std::snprintf(buf, sizeof buf, last ? "%02x" : "%02x,", data[i]);
    *out += buf;
    column += last ? 2 : 3;
    if (!last && column >= 76) {
      *out += "\\\n  ";
      column = 2;
    }
  }
}

void AppendValue(const RegValue& value, std::string* out) {
  std::string line = value.name.empty() ? "@" : "\"" + Escape(value.name) + "\"";
  char buf[32];
  if (value.type == REG_SZ && IsPlainString(value.data)) {
    std::string text(value.data.begin(), value.data.end() - 1);
    *out += line + "=\"" + Escape(text) + "\"\n";
    return;
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    const DWORD v = vel::ByteReader(value.data).le32();
    std::snprintf(buf, sizeof buf, "=dword:%08x\n", static_cast<unsigned>(v));
    *out += line + buf;
    return;
  }
  if (value.type == REG_BINARY) {
    line += "=hex:";
  } else {
    std::snprintf(buf, sizeof buf, "=hex(%x):", static_cast<unsigned>(value.type));
    line += buf;
  }
  *out += line;
  AppendHexList(out, line.size(), value.data);
  *out += "\n";
}

LONG AppendKey(HKEY key, const std::string& path, int depth, std::string* out, std::string* error) {
  if (depth > kMaxExportDepth) {
    *error = "ERROR: The key tree is too deep to export.";
    return ERROR_INVALID_PARAMETER;
  }
  if (HasLineBreak(path)) {
    *error = "ERROR: The key name \"" + path + "\" contains a line break and cannot be exported.";
    return ERROR_INVALID_PARAMETER;
  }
  *out += "[" + path + "]\n";
  std::vector<RegValue> values;
  if (LONG rc = ReadAllValues(key, &values); rc != ERROR_SUCCESS) return rc;
  for (const auto& value : values) {
    if (HasLineBreak(value.name)) {
      *error = "ERROR: The value name \"" + value.name + "\" contains a line break and cannot be exported.";
      return ERROR_INVALID_PARAMETER;
    }
    AppendValue(value, out);
  }
  *out += "\n";
  std::vector<std::string> names;
  if (LONG rc = ReadSubKeyNames(key, &names); rc != ERROR_SUCCESS) return rc;
  for (const auto& name : names) {
    vel::OwnedKey sub;
    LONG rc = OpenKey(key, name, KEY_READ, &sub);
    if (rc == ERROR_FILE_NOT_FOUND) continue;  // deleted by someone else meanwhile
    if (rc == ERROR_SUCCESS) rc = AppendKey(sub.get(), path + "\\" + name, depth + 1, out, error);
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

}  // namespace

bool ParseRegFile(const std::string& text, std::vector<RegFileOp>* ops, RegFileError* error) {
  ops->clear();
  if (text.size() > kMaxRegFileBytes) {
    *error = {0, "The file is too large."};
    return false;
  }
  if (text.size() >= 2 &&
      ((BYTE(text[0]) == 0xFF && BYTE(text[1]) == 0xFE) || (BYTE(text[0]) == 0xFE && BYTE(text[1]) == 0xFF))) {
    *error = {0, "The file is UTF-16 text; save it as UTF-8 to import it."};
    return false;
  }
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  Parser parser(SplitLines(text, start), ops, error);
  if (parser.Run()) return true;
  ops->clear();
  return false;
}

LONG ApplyRegFile(const std::vector<RegFileOp>& ops, RegFileError* error) {
  vel::OwnedKey current;
  for (const auto& op : ops) {
    LONG rc = ERROR_SUCCESS;
    switch (op.kind) {
      case RegFileOp::kDeleteKey:
        current.reset();
        rc = RegDeleteTreeA(op.key.root, op.key.sub.c_str());
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
        break;
      case RegFileOp::kOpenKey: rc = CreateKey(op.key.root, op.key.sub, &current); break;
      case RegFileOp::kSetValue:
        rc = RegSetValueExA(current.get(), op.valueName.c_str(), 0, op.type, op.data.data(),
                            static_cast<DWORD>(op.data.size()));
        break;
      case RegFileOp::kDeleteValue:
        rc = RegDeleteValueA(current.get(), op.valueName.c_str());
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
        break;
    }
    if (rc != ERROR_SUCCESS) {
      *error = {op.line, ErrorText(rc)};
      return rc;
    }
  }
  return ERROR_SUCCESS;
}

LONG ExportRegFile(const KeyPath& key, std::string* text, std::string* error) {
  vel::OwnedKey k;
  LONG rc = OpenKey(key.root, key.sub, KEY_READ, &k);
  if (rc == ERROR_SUCCESS) {
    *text = std::string(kRegFileHeader5) + "\n\n";
    rc = AppendKey(k.get(), key.Full(), 0, text, error);
  }
  if (rc != ERROR_SUCCESS && error->empty()) *error = ErrorText(rc);
  return rc;
}

}  // namespace vel::reg
