// Integer helpers for lengths on the paper.
#pragma once

#include <cstdint>
#include <limits>

namespace tessaly {

// a * b / c in 64 bits, rounded to nearest with halves away from zero, as the
// layout arithmetic has always rounded. A zero divisor or a result that does
// not fit gives -1.
inline std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  std::int64_t product = static_cast<std::int64_t>(a) * b;
  std::int64_t divisor = c;
  if (divisor < 0) {
    divisor = -divisor;
    product = -product;
  }
  const std::int64_t half = divisor / 2;
  const std::int64_t q = product >= 0 ? (product + half) / divisor : -((-product + half) / divisor);
  if (q > std::numeric_limits<std::int32_t>::max() || q < std::numeric_limits<std::int32_t>::min()) return -1;
  return static_cast<std::int32_t>(q);
}

}  // namespace tessaly
