#include "printlayout/file/ArchiveString.h"

#include <cstring>

namespace tessaly {

bool ByteReader::readBytes(void* out, std::size_t count) {
  if (!ok_ || count > remaining()) {
    ok_ = false;
    return false;
  }
  if (count != 0) std::memcpy(out, data_ + pos_, count);
  pos_ += count;
  return true;
}

bool ByteReader::skip(std::size_t count) {
  if (!ok_ || count > remaining()) {
    ok_ = false;
    return false;
  }
  pos_ += count;
  return true;
}

bool ByteReader::readU8(std::uint8_t& value) { return readBytes(&value, 1); }

bool ByteReader::readU16(std::uint16_t& value) {
  std::uint8_t b[2];
  if (!readBytes(b, sizeof b)) return false;
  value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool ByteReader::readU32(std::uint32_t& value) {
  std::uint8_t b[4];
  if (!readBytes(b, sizeof b)) return false;
  value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
          (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return true;
}

bool ByteReader::readI32(std::int32_t& value) {
  std::uint32_t raw;
  if (!readU32(raw)) return false;
  value = static_cast<std::int32_t>(raw);
  return true;
}

bool ByteReader::readString(std::string& value) {
  std::uint8_t shortLength;
  if (!readU8(shortLength)) return false;
  std::uint32_t length = shortLength;
  if (shortLength == 0xFF) {
    std::uint16_t midLength;
    if (!readU16(midLength)) return false;
    length = midLength;
    if (midLength == 0xFFFE) {
      // The archive's marker of a wide-character string; project files hold
      // only byte strings.
      ok_ = false;
      return false;
    }
    if (midLength == 0xFFFF && !readU32(length)) return false;
  }
  if (length > remaining()) {
    ok_ = false;
    return false;
  }
  value.assign(reinterpret_cast<const char*>(data_ + pos_), length);
  pos_ += length;
  return true;
}

void ByteWriter::writeBytes(const void* data, std::size_t count) {
  bytes_.append(static_cast<const char*>(data), count);
}

void ByteWriter::writeU8(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }

void ByteWriter::writeU16(std::uint16_t value) {
  writeU8(static_cast<std::uint8_t>(value));
  writeU8(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::writeU32(std::uint32_t value) {
  writeU16(static_cast<std::uint16_t>(value));
  writeU16(static_cast<std::uint16_t>(value >> 16));
}

void ByteWriter::writeI32(std::int32_t value) { writeU32(static_cast<std::uint32_t>(value)); }

std::string ArchiveStringPrefix(std::uint32_t length) {
  ByteWriter w;
  if (length < 0xFF) {
    w.writeU8(static_cast<std::uint8_t>(length));
  } else if (length < 0xFFFE) {
    w.writeU8(0xFF);
    w.writeU16(static_cast<std::uint16_t>(length));
  } else {
    w.writeU8(0xFF);
    w.writeU16(0xFFFF);
    w.writeU32(length);
  }
  return w.take();
}

bool ByteWriter::writeString(const std::string& value) {
  if (value.size() > 0xFFFFFFFFu) return false;
  bytes_ += ArchiveStringPrefix(static_cast<std::uint32_t>(value.size()));
  bytes_ += value;
  return true;
}

}  // namespace tessaly
