// Checked reading and writing of binary data.
//
// Every binary format is parsed through a ByteReader: a view of a byte span with a
// position, whose reads never go past the end. A read that does not fit reads nothing,
// returns zero and marks the reader failed; the failure sticks, so a parser reads a
// whole header or record and checks once:
//
//   vel::ByteReader in(file);
//   const auto width = in.le16();
//   const auto height = in.le16();
//   if (!in) return vel::Fail("PCX header: " + in.failure());
//
// ByteWriter is its mirror for the encoders: it appends to a growing buffer (or fills a
// fixed span, failing past its end) and patches earlier fields only where they exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vel {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::uint8_t> bytes) : data_(bytes) {}
  ByteReader(const std::uint8_t* bytes, std::size_t size) : data_(bytes, size) {}
  explicit ByteReader(const std::vector<std::uint8_t>& bytes) : data_(bytes.data(), bytes.size()) {}

  std::size_t size() const { return data_.size(); }
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool atEnd() const { return pos_ == data_.size(); }
  // True while every read so far fitted.
  bool ok() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  // Why the first failed read failed ("needs 4 bytes at offset 120 of 122"); empty while ok.
  const std::string& failure() const { return failure_; }
  // True when n more bytes can be read; does not mark the reader failed.
  bool has(std::uint64_t n) const { return n <= remaining(); }

  std::uint8_t u8();
  std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
  std::uint16_t le16();
  std::uint32_t le32();
  std::uint64_t le64();
  std::uint16_t be16();
  std::uint32_t be32();
  std::int16_t le16s() { return static_cast<std::int16_t>(le16()); }
  std::int32_t le32s() { return static_cast<std::int32_t>(le32()); }
  std::int16_t be16s() { return static_cast<std::int16_t>(be16()); }
  std::int32_t be32s() { return static_cast<std::int32_t>(be32()); }
  float lef32();
  double lef64();

  // The next n bytes (empty, and the reader failed, when fewer remain).
  std::span<const std::uint8_t> bytes(std::uint64_t n);
  // Copies the next dest.size() bytes; false (dest zeroed) when fewer remain.
  bool read(std::span<std::uint8_t> dest);
  // Text of n bytes, cut at the first NUL.
  std::string text(std::uint64_t n);
  bool skip(std::uint64_t n);
  // Moves to an absolute offset; offset == size() is allowed (at end).
  bool seek(std::uint64_t offset);
  // A reader over [offset, offset + n) of the same data, positioned at its start. Marks
  // this reader failed (and gives an empty reader) when the range is outside.
  ByteReader sub(std::uint64_t offset, std::uint64_t n);
  // A reader over the next n bytes, skipping them here.
  ByteReader take(std::uint64_t n);
  // Everything from the position to the end.
  std::span<const std::uint8_t> rest() const { return data_.subspan(pos_); }
  std::span<const std::uint8_t> all() const { return data_; }
  // Looks at a byte ahead without moving; 0 (and no failure) past the end.
  std::uint8_t peek(std::uint64_t ahead = 0) const { return ahead < remaining() ? data_[pos_ + ahead] : 0; }

  // Marks the reader failed with a reason of the caller's (the first reason stays).
  void fail(std::string_view reason);

 private:
  bool need(std::uint64_t n);

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  std::string failure_;
};

class ByteWriter {
 public:
  // Appends to `out` (which it does not clear).
  explicit ByteWriter(std::vector<std::uint8_t>& out) : grow_(&out) {}
  // Fills a fixed span from its start; writes past its end fail.
  explicit ByteWriter(std::span<std::uint8_t> fixed) : fixed_(fixed) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  // Bytes written so far (for a growing writer, the size of the whole buffer).
  std::size_t position() const { return grow_ ? grow_->size() : pos_; }

  void u8(std::uint8_t v);
  void le16(std::uint16_t v);
  void le32(std::uint32_t v);
  void be16(std::uint16_t v);
  void be32(std::uint32_t v);
  void lef32(float v);
  void lef64(double v);
  void bytes(std::span<const std::uint8_t> v);
  void text(std::string_view v);
  void fill(std::uint8_t value, std::size_t n);
  // Pads with zeros to a multiple of `alignment` bytes.
  void align(std::size_t alignment);

  // Overwrite a field written earlier; fails when [at, at + width) was not written.
  void patchU8(std::size_t at, std::uint8_t v);
  void patchLe16(std::size_t at, std::uint16_t v);
  void patchLe32(std::size_t at, std::uint32_t v);
  void patchBe32(std::size_t at, std::uint32_t v);

 private:
  std::uint8_t* room(std::size_t n);
  std::uint8_t* written(std::size_t at, std::size_t n);

  std::vector<std::uint8_t>* grow_ = nullptr;
  std::span<std::uint8_t> fixed_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace vel
