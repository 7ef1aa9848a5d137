#include "printlayout/file/ArchiveString.h"

#include <span>

namespace tessaly {

namespace {

// The u16 prefixes that do not give a length: the wide-string marker and the
// announcement of a u32 length.
constexpr std::uint16_t kWideMarker = 0xFFFE;
constexpr std::uint16_t kLongLength = 0xFFFF;
constexpr std::uint8_t kWiderLength = 0xFF;

void WritePrefix(vel::ByteWriter& out, std::uint32_t length) {
  if (length < kWiderLength) {
    out.u8(static_cast<std::uint8_t>(length));
  } else if (length < kWideMarker) {
    out.u8(kWiderLength);
    out.le16(static_cast<std::uint16_t>(length));
  } else {
    out.u8(kWiderLength);
    out.le16(kLongLength);
    out.le32(length);
  }
}

// Puts what `read` gives into `field` only when it fitted.
template <typename T>
bool Fill(vel::ByteReader& in, T& field, T (vel::ByteReader::*read)()) {
  const T value = (in.*read)();
  if (in) field = value;
  return in.ok();
}

}  // namespace

bool ReadArchiveString(vel::ByteReader& in, std::string& value) {
  const std::size_t start = in.position();
  std::uint32_t length = in.u8();
  if (in && length == kWiderLength) {
    length = in.le16();
    if (in && length == kWideMarker) {
      in.fail("wide-character string at offset " + std::to_string(start));
      return false;
    }
    if (in && length == kLongLength) length = in.le32();
  }
  if (!in) return false;
  if (!in.has(length)) {
    in.fail("string of " + std::to_string(length) + " bytes at offset " + std::to_string(start) + ", only " +
            std::to_string(in.remaining()) + " left");
    return false;
  }
  const auto text = in.bytes(length);
  value.assign(reinterpret_cast<const char*>(text.data()), text.size());
  return true;
}

bool WriteArchiveString(vel::ByteWriter& out, std::string_view value) {
  if (value.size() > 0xFFFFFFFFu) return false;
  WritePrefix(out, static_cast<std::uint32_t>(value.size()));
  out.text(value);
  return true;
}

std::string ArchiveStringPrefix(std::uint32_t length) {
  std::vector<std::uint8_t> bytes;
  vel::ByteWriter out(bytes);
  WritePrefix(out, length);
  return std::string(bytes.begin(), bytes.end());
}

bool ArchiveReader::readU8(std::uint8_t& value) { return Fill(in_, value, &vel::ByteReader::u8); }
bool ArchiveReader::readU16(std::uint16_t& value) { return Fill(in_, value, &vel::ByteReader::le16); }
bool ArchiveReader::readU32(std::uint32_t& value) { return Fill(in_, value, &vel::ByteReader::le32); }
bool ArchiveReader::readI32(std::int32_t& value) { return Fill(in_, value, &vel::ByteReader::le32s); }

void ArchiveWriter::writeBytes(const void* data, std::size_t count) {
  vel::ByteWriter(bytes_).bytes(std::span(static_cast<const std::uint8_t*>(data), count));
}

}  // namespace tessaly
