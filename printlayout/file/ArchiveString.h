// Byte-level pieces of the binary project file: little-endian integers and the
// string encoding of the MFC serialisation archive the file format comes from.
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

namespace tessaly {

// Reads from a block of bytes it does not own. The first read that does not
// fit into the bytes left marks the reader failed; from then on every read
// fails and leaves its output unchanged, so a caller can check once at the end
// of a group of reads or after each one.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return size_ - pos_; }

  bool readBytes(void* out, std::size_t count);
  bool skip(std::size_t count);
  bool readU8(std::uint8_t& value);
  bool readU16(std::uint16_t& value);
  bool readU32(std::uint32_t& value);
  bool readI32(std::int32_t& value);
  // An archive string in any of the three widths. A length longer than the
  // bytes left, or the 0xFFFE prefix, fails the reader before anything is
  // allocated.
  bool readString(std::string& value);
  // Marks the reader failed, for checks the caller makes itself (counts that
  // the rest of the file cannot hold).
  void fail() { ok_ = false; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Appends little-endian values and archive strings to a byte string.
class ByteWriter {
 public:
  void writeBytes(const void* data, std::size_t count);
  void writeU8(std::uint8_t value);
  void writeU16(std::uint16_t value);
  void writeU32(std::uint32_t value);
  void writeI32(std::int32_t value);
  // False (and nothing written) for a string of 4 GiB or more, which the
  // encoding cannot describe.
  bool writeString(const std::string& value);

  const std::string& bytes() const { return bytes_; }
  std::string take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

// The archive's length prefix for a string of `length` bytes, as written.
std::string ArchiveStringPrefix(std::uint32_t length);

}  // namespace tessaly
