#include "printlayout/file/Fields.h"

#include <limits>

namespace tessaly {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

FieldList SplitFields(std::string_view value, char separator, std::size_t limit) {
  FieldList result;
  if (value.empty()) return result;
  std::size_t start = 0;
  while (true) {
    std::size_t end = value.find(separator, start);
    std::string_view field = value.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (result.fields.size() < limit) result.fields.emplace_back(field);
    ++result.total;
    if (end == std::string_view::npos) break;
    start = end + 1;
    if (start == value.size()) break;  // a trailing separator ends the list
  }
  return result;
}

std::int32_t ParseDecimal(std::string_view text, std::size_t* consumed) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t digitsStart = i;
  // Accumulate the magnitude in 64 bits and stop growing once it is past the
  // 32-bit range; the remaining digits are still consumed.
  std::int64_t magnitude = 0;
  constexpr std::int64_t kCap = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (magnitude <= kCap) magnitude = magnitude * 10 + (text[i] - '0');
    ++i;
  }
  if (i == digitsStart) {
    if (consumed) *consumed = 0;
    return 0;
  }
  if (consumed) *consumed = i;
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::uint32_t ParseHex(std::string_view text, std::size_t* consumed, bool* overflow) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      HexDigit(text[i + 2]) >= 0) {
    i += 2;
  }
  const std::size_t digitsStart = i;
  std::uint64_t value = 0;
  bool over = false;
  while (i < text.size() && HexDigit(text[i]) >= 0) {
    value = value * 16 + static_cast<std::uint64_t>(HexDigit(text[i]));
    if (value > 0xFFFFFFFFu) {
      over = true;
      value = 0xFFFFFFFFu;
    }
    ++i;
  }
  if (overflow) *overflow = over;
  if (i == digitsStart) {
    if (consumed) *consumed = 0;
    return 0;
  }
  if (consumed) *consumed = i;
  return static_cast<std::uint32_t>(value);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

}  // namespace tessaly
