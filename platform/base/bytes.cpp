#include "platform/base/bytes.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vel {

bool ByteReader::need(std::uint64_t n) {
  if (failed_) return false;
  if (n <= remaining()) return true;
  fail("needs " + std::to_string(n) + " bytes at offset " + std::to_string(pos_) + " of " +
       std::to_string(data_.size()));
  return false;
}

void ByteReader::fail(std::string_view reason) {
  if (!failed_) failure_ = std::string(reason);
  failed_ = true;
}

std::uint8_t ByteReader::u8() {
  if (!need(1)) return 0;
  return data_[pos_++];
}

std::uint16_t ByteReader::le16() {
  if (!need(2)) return 0;
  const std::uint8_t* p = data_.data() + pos_;
  pos_ += 2;
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ByteReader::le32() {
  if (!need(4)) return 0;
  const std::uint8_t* p = data_.data() + pos_;
  pos_ += 4;
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t ByteReader::le64() {
  if (!need(8)) return 0;
  const std::uint64_t low = le32();
  return low | (static_cast<std::uint64_t>(le32()) << 32);
}

std::uint16_t ByteReader::be16() {
  if (!need(2)) return 0;
  const std::uint8_t* p = data_.data() + pos_;
  pos_ += 2;
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t ByteReader::be32() {
  if (!need(4)) return 0;
  const std::uint8_t* p = data_.data() + pos_;
  pos_ += 4;
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

float ByteReader::lef32() { return std::bit_cast<float>(le32()); }
double ByteReader::lef64() { return std::bit_cast<double>(le64()); }

std::span<const std::uint8_t> ByteReader::bytes(std::uint64_t n) {
  if (!need(n)) return {};
  auto part = data_.subspan(pos_, static_cast<std::size_t>(n));
  pos_ += static_cast<std::size_t>(n);
  return part;
}

bool ByteReader::read(std::span<std::uint8_t> dest) {
  const auto part = bytes(dest.size());
  if (part.size() != dest.size()) {
    std::fill(dest.begin(), dest.end(), std::uint8_t{0});
    return false;
  }
  if (!dest.empty()) std::memcpy(dest.data(), part.data(), dest.size());
  return true;
}

std::string ByteReader::text(std::uint64_t n) {
  const auto part = bytes(n);
  const auto end = std::find(part.begin(), part.end(), std::uint8_t{0});
  return std::string(part.begin(), end);
}

bool ByteReader::skip(std::uint64_t n) {
  if (!need(n)) return false;
  pos_ += static_cast<std::size_t>(n);
  return true;
}

bool ByteReader::seek(std::uint64_t offset) {
  if (failed_) return false;
  if (offset > data_.size()) {
    fail("offset " + std::to_string(offset) + " is past the end (" + std::to_string(data_.size()) + " bytes)");
    return false;
  }
  pos_ = static_cast<std::size_t>(offset);
  return true;
}

ByteReader ByteReader::sub(std::uint64_t offset, std::uint64_t n) {
  if (failed_) return ByteReader();
  if (offset > data_.size() || n > data_.size() - offset) {
    fail("range of " + std::to_string(n) + " bytes at offset " + std::to_string(offset) + " is outside " +
         std::to_string(data_.size()) + " bytes");
    ByteReader empty;
    empty.fail(failure_);
    return empty;
  }
  return ByteReader(data_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(n)));
}

ByteReader ByteReader::take(std::uint64_t n) {
  ByteReader part = sub(pos_, n);
  if (ok()) pos_ += static_cast<std::size_t>(n);
  return part;
}

// ---------------------------------------------------------------------------------------

std::uint8_t* ByteWriter::room(std::size_t n) {
  if (failed_) return nullptr;
  if (grow_) {
    const std::size_t at = grow_->size();
    grow_->resize(at + n);
    return grow_->data() + at;
  }
  if (n > fixed_.size() - pos_) {
    failed_ = true;
    return nullptr;
  }
  std::uint8_t* p = fixed_.data() + pos_;
  pos_ += n;
  return p;
}

std::uint8_t* ByteWriter::written(std::size_t at, std::size_t n) {
  const std::size_t end = position();
  if (failed_ || at > end || n > end - at) {
    failed_ = true;
    return nullptr;
  }
  return (grow_ ? grow_->data() : fixed_.data()) + at;
}

namespace {
void StoreLe(std::uint8_t* p, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void StoreBe(std::uint8_t* p, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (n - 1 - i)));
}
}  // namespace

void ByteWriter::u8(std::uint8_t v) {
  if (auto* p = room(1)) *p = v;
}
void ByteWriter::le16(std::uint16_t v) {
  if (auto* p = room(2)) StoreLe(p, v, 2);
}
void ByteWriter::le32(std::uint32_t v) {
  if (auto* p = room(4)) StoreLe(p, v, 4);
}
void ByteWriter::be16(std::uint16_t v) {
  if (auto* p = room(2)) StoreBe(p, v, 2);
}
void ByteWriter::be32(std::uint32_t v) {
  if (auto* p = room(4)) StoreBe(p, v, 4);
}
void ByteWriter::lef32(float v) { le32(std::bit_cast<std::uint32_t>(v)); }
void ByteWriter::lef64(double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  le32(static_cast<std::uint32_t>(bits));
  le32(static_cast<std::uint32_t>(bits >> 32));
}
void ByteWriter::bytes(std::span<const std::uint8_t> v) {
  if (v.empty()) return;
  if (auto* p = room(v.size())) std::memcpy(p, v.data(), v.size());
}
void ByteWriter::text(std::string_view v) {
  bytes(std::span(reinterpret_cast<const std::uint8_t*>(v.data()), v.size()));
}
void ByteWriter::fill(std::uint8_t value, std::size_t n) {
  if (n == 0) return;
  if (auto* p = room(n)) std::memset(p, value, n);
}
void ByteWriter::align(std::size_t alignment) {
  if (alignment > 1 && position() % alignment) fill(0, alignment - position() % alignment);
}
void ByteWriter::patchU8(std::size_t at, std::uint8_t v) {
  if (auto* p = written(at, 1)) *p = v;
}
void ByteWriter::patchLe16(std::size_t at, std::uint16_t v) {
  if (auto* p = written(at, 2)) StoreLe(p, v, 2);
}
void ByteWriter::patchLe32(std::size_t at, std::uint32_t v) {
  if (auto* p = written(at, 4)) StoreLe(p, v, 4);
}
void ByteWriter::patchBe32(std::size_t at, std::uint32_t v) {
  if (auto* p = written(at, 4)) StoreBe(p, v, 4);
}

}  // namespace vel
