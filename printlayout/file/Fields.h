// Comma lists and numbers as the legacy project form and the command line
// write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

struct FieldList {
  // At most `limit` fields, in order.
  std::vector<std::string> fields;
  // Fields the whole value holds, also those beyond the limit, so a caller
  // can tell a list that was too long.
  std::size_t total = 0;

  bool tooMany(std::size_t limit) const { return total > limit; }
};

// Splits `value` at `separator`. An empty value gives no fields; a separator
// at the very end adds no empty field (so "a," is one field, "a,," two, the
// second empty); separators elsewhere keep the empty fields between them.
// Fields are not trimmed.
FieldList SplitFields(std::string_view value, char separator, std::size_t limit);

// A decimal number read the way the C library's atoi reads it, without its
// undefined corners: leading blanks (space, tab, CR, LF, VT, FF) are skipped,
// an optional sign and then digits are taken, reading stops at the first
// other character. So "12abc" is 12, " 7" is 7, "-3" is -3, and "", "abc" and
// "-" are 0. Values beyond the 32-bit range are held at INT32_MIN / INT32_MAX.
// When `consumed` is given it receives the number of characters used (0 when
// no digit was found).
std::int32_t ParseDecimal(std::string_view text, std::size_t* consumed = nullptr);

// A hexadecimal number read the way strtoul(text, &end, 16) reads it: leading
// blanks skipped, an optional "0x"/"0X" taken when a hex digit follows it,
// then hex digits. No sign is accepted. Values beyond 32 bits are held at
// 0xFFFFFFFF and reported through `overflow`. `consumed` receives the number
// of characters used, 0 when no digit was found (and the result is 0).
std::uint32_t ParseHex(std::string_view text, std::size_t* consumed = nullptr, bool* overflow = nullptr);

// Case-insensitive comparison of plain ASCII text, as the system compares
// profile names and colour names.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view text);

}  // namespace tessaly
