#include "printlayout/file/ArchiveString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

std::vector<std::uint8_t> U8(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

std::string Written(const std::string& value) {
  ArchiveWriter w;
  EXPECT_TRUE(w.writeString(value));
  return w.bytes();
}

TEST(ArchiveStringWrite, ShortLengthsTakeOneByte) {
  EXPECT_EQ(Written(""), std::string(1, '\0'));
  EXPECT_EQ(Written("abc"), std::string("\x03"
                                        "abc"));
  const std::string s254(254, 'x');
  const std::string out = Written(s254);
  ASSERT_EQ(out.size(), 255u);
  EXPECT_EQ(static_cast<std::uint8_t>(out[0]), 254);
}

TEST(ArchiveStringWrite, LengthsFrom255TakeMarkerAndU16) {
  const std::string out255 = Written(std::string(255, 'y'));
  ASSERT_EQ(out255.size(), 3u + 255u);
  EXPECT_EQ(out255.substr(0, 3), std::string("\xFF\xFF\x00", 3));

  // The 300-character case: 0xFF, then 300 little-endian.
  const std::string out300 = Written(std::string(300, 'z'));
  ASSERT_EQ(out300.size(), 3u + 300u);
  EXPECT_EQ(out300.substr(0, 3), std::string("\xFF\x2C\x01", 3));

  const std::string outMax = Written(std::string(0xFFFD, 'm'));
  EXPECT_EQ(outMax.substr(0, 3), std::string("\xFF\xFD\xFF", 3));
}

TEST(ArchiveStringWrite, LengthsFrom0xFFFETakeU32) {
  EXPECT_EQ(ArchiveStringPrefix(0xFFFE), std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
  EXPECT_EQ(ArchiveStringPrefix(70000), std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7));
  EXPECT_EQ(Written(std::string(70000, 'q')).size(), 7u + 70000u);
}

TEST(ArchiveStringRead, EveryWidthRoundTrips) {
  for (std::size_t length : {0u, 1u, 254u, 255u, 300u, 0xFFFDu, 0xFFFEu, 0xFFFFu, 70000u}) {
    std::string value(length, '\0');
    for (std::size_t i = 0; i < length; ++i) value[i] = static_cast<char>('a' + i % 26);
    ArchiveWriter w;
    w.writeString(value);
    w.writeU8(0x5A);  // a marker after the string shows the reader stops right after it
    const auto bytes = U8(w.bytes());
    ArchiveReader r(bytes.data(), bytes.size());
    std::string back;
    ASSERT_TRUE(r.readString(back)) << length;
    EXPECT_EQ(back, value) << length;
    std::uint8_t marker = 0;
    EXPECT_TRUE(r.readU8(marker));
    EXPECT_EQ(marker, 0x5A);
    EXPECT_EQ(r.remaining(), 0u);
  }
}

TEST(ArchiveStringRead, AcceptsWideFormsForShortStrings) {
  const auto mid =
      U8(std::string("\xFF\x03\x00"
                     "abc",
                     6));
  ArchiveReader r1(mid.data(), mid.size());
  std::string s;
  ASSERT_TRUE(r1.readString(s));
  EXPECT_EQ(s, "abc");

  const auto wide =
      U8(std::string("\xFF\xFF\xFF\x02\x00\x00\x00"
                     "hi",
                     9));
  ArchiveReader r2(wide.data(), wide.size());
  ASSERT_TRUE(r2.readString(s));
  EXPECT_EQ(s, "hi");
}

TEST(ArchiveStringRead, WideCharacterMarkerIsAFileError) {
  const auto bytes =
      U8(std::string("\xFF\xFE\xFF\x01"
                     "a",
                     5));
  ArchiveReader r(bytes.data(), bytes.size());
  std::string s = "kept";
  EXPECT_FALSE(r.readString(s));
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(s, "kept");
}

TEST(ArchiveStringRead, LengthBeyondTheDataFailsWithoutChangingTheOutput) {
  for (const std::string& raw : {std::string("\x05"
                                             "abcd",
                                             5),
                                 std::string("\xFF\x00\x01"
                                             "x",
                                             4),
                                 std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                                             "abc",
                                             10)}) {
    const auto bytes = U8(raw);
    ArchiveReader r(bytes.data(), bytes.size());
    std::string s = "kept";
    EXPECT_FALSE(r.readString(s));
    EXPECT_EQ(s, "kept");
    // The failure sticks: nothing more can be read, although bytes are left.
    std::uint8_t b;
    EXPECT_FALSE(r.readU8(b));
  }
}

TEST(ArchiveStringRead, EveryTruncatedPrefixFails) {
  ArchiveWriter w;
  w.writeString(std::string(70000, 'k'));
  const auto full = U8(w.bytes());
  for (std::size_t cut : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 100u, 70006u}) {
    ArchiveReader r(full.data(), cut);
    std::string s;
    EXPECT_FALSE(r.readString(s)) << cut;
  }
}

TEST(ArchiveReaderTest, LittleEndianIntegers) {
  const auto bytes = U8(std::string("\x34\x12\x78\x56\x34\x12\xFE\xFF\xFF\xFF", 10));
  ArchiveReader r(bytes.data(), bytes.size());
  std::uint16_t a = 0;
  std::uint32_t b = 0;
  std::int32_t c = 0;
  ASSERT_TRUE(r.readU16(a));
  ASSERT_TRUE(r.readU32(b));
  ASSERT_TRUE(r.readI32(c));
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0x12345678u);
  EXPECT_EQ(c, -2);
  EXPECT_FALSE(r.readU8(*reinterpret_cast<std::uint8_t*>(&a)));
}

TEST(ArchiveReaderTest, PartialIntegerFailsAndLeavesValue) {
  const std::uint8_t bytes[3] = {1, 2, 3};
  ArchiveReader r(bytes, sizeof bytes);
  std::uint32_t v = 99;
  EXPECT_FALSE(r.readU32(v));
  EXPECT_EQ(v, 99u);
  EXPECT_FALSE(r.ok());
  ArchiveReader empty(nullptr, 10);  // no data means no bytes, whatever the size says
  EXPECT_EQ(empty.remaining(), 0u);
}

TEST(ArchiveWriterTest, LittleEndianIntegers) {
  ArchiveWriter w;
  w.writeU16(0xBEEF);
  w.writeU32(0x01020304);
  w.writeI32(-1);
  EXPECT_EQ(w.bytes(), std::string("\xEF\xBE\x04\x03\x02\x01\xFF\xFF\xFF\xFF", 10));
}

}  // namespace
}  // namespace tessaly
