// Raw reads of bytes the tests wrote or expect, at offsets the test knows to be
// inside the buffer. The readers themselves parse through vel::ByteReader.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lorimer::formats {

// Whether [offset, offset + n) lies within size bytes.
inline bool InRange(std::size_t size, std::uint64_t offset, std::uint64_t n) {
  return offset <= size && n <= size - offset;
}
inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t Be32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

}  // namespace lorimer::formats
