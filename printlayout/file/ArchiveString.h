// Byte-level pieces of the binary project file: the string encoding of the MFC
// serialisation archive the file format comes from, and the archive's reader
// and writer, which work through the suite's checked ByteReader and ByteWriter.
//
// An archive string is its length followed by its bytes (no terminator). The
// length takes one byte when it is below 255; otherwise the byte 0xFF follows
// with a u16 length when that is below 0xFFFE; otherwise 0xFF, the u16 0xFFFF
// and a u32 length. Readers accept all three widths, also for short strings.
//
// A u16 prefix of 0xFFFE is never written: in the archive it announces a
// wide-character string, which the project file never holds. Reading one is a
// file error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/bytes.h"

namespace tessaly {

// Reads an archive string into `value`. A length longer than the bytes left,
// or the 0xFFFE prefix, fails `in` with its reason before anything is
// allocated and leaves `value` as it was.
bool ReadArchiveString(vel::ByteReader& in, std::string& value);

// False (and nothing written) for a string of 4 GiB or more, which the
// encoding cannot describe.
bool WriteArchiveString(vel::ByteWriter& out, std::string_view value);

// The archive's length prefix for a string of `length` bytes, as written.
std::string ArchiveStringPrefix(std::uint32_t length);

// Reads fields the way the archive fills them, from a block of bytes it does
// not own: a value that fits goes into its field; one that does not leaves the
// field as it was and fails the reader for good, with the reason the checked
// reader gives ("needs 4 bytes at offset 120 of 122"). A record reader can so
// fill a project field by field and check once at the end of a group of reads
// or after each one, and what was read before a file error stays.
class ArchiveReader {
 public:
  ArchiveReader(const std::uint8_t* data, std::size_t size) : in_(data, data ? size : 0) {}

  bool ok() const { return in_.ok(); }
  // Why the first failed read failed; empty while ok.
  const std::string& failure() const { return in_.failure(); }
  std::size_t remaining() const { return in_.remaining(); }

  bool skip(std::size_t count) { return in_.skip(count); }
  bool readU8(std::uint8_t& value);
  bool readU16(std::uint16_t& value);
  bool readU32(std::uint32_t& value);
  bool readI32(std::int32_t& value);
  bool readString(std::string& value) { return ReadArchiveString(in_, value); }

 private:
  vel::ByteReader in_;
};

// Appends little-endian values and archive strings to bytes of its own.
class ArchiveWriter {
 public:
  void writeBytes(const void* data, std::size_t count);
  void writeU8(std::uint8_t value) { vel::ByteWriter(bytes_).u8(value); }
  void writeU16(std::uint16_t value) { vel::ByteWriter(bytes_).le16(value); }
  void writeU32(std::uint32_t value) { vel::ByteWriter(bytes_).le32(value); }
  void writeI32(std::int32_t value) { writeU32(static_cast<std::uint32_t>(value)); }
  bool writeString(std::string_view value) {
    vel::ByteWriter out(bytes_);
    return WriteArchiveString(out, value);
  }

  const std::vector<std::uint8_t>& data() const { return bytes_; }
  std::string bytes() const { return std::string(bytes_.begin(), bytes_.end()); }
  std::string take() {
    std::string taken = bytes();
    bytes_.clear();
    return taken;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace tessaly
