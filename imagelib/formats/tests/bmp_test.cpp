// The codec's BMP reader: header forms, cut-off files, implausible sizes.
#include <gtest/gtest.h>

#include <cstring>

#include "imagelib/formats/tests/test_support.h"

using namespace lorimer::testing;
using lorimer::formats::kBmpFormat;

namespace {

void Put32(std::vector<std::uint8_t>& f, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// 24-bit file; row y (from the top) is filled with the colour (y, 2y, 3y).
std::vector<std::uint8_t> Bmp24(int w, int h, bool topDown) {
  int stride = (w * 3 + 3) & ~3;
  std::vector<std::uint8_t> f(54 + static_cast<size_t>(stride) * h, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<std::uint32_t>(f.size()));
  Put32(f, 10, 54);
  Put32(f, 14, 40);
  Put32(f, 18, static_cast<std::uint32_t>(w));
  Put32(f, 22, static_cast<std::uint32_t>(topDown ? -h : h));
  f[26] = 1;
  f[28] = 24;
  for (int y = 0; y < h; ++y) {
    size_t row = 54 + static_cast<size_t>(topDown ? y : h - 1 - y) * stride;
    for (int x = 0; x < w; ++x) {
      f[row + 3 * x] = static_cast<std::uint8_t>(3 * y);
      f[row + 3 * x + 1] = static_cast<std::uint8_t>(2 * y);
      f[row + 3 * x + 2] = static_cast<std::uint8_t>(y);
    }
  }
  return f;
}

TEST(BmpReader, CutOffFilesShowTheRowsTheyHave) {
  for (bool topDown : {false, true}) {
    auto f = Bmp24(3, 10, topDown);
    int stride = 12;
    f.resize(54 + 4 * stride);  // four stored rows survive
    auto img = DecodeWith(kBmpFormat, WriteTempFile(topDown ? "cut-td.bmp" : "cut-bu.bmp", f));
    ASSERT_TRUE(img.has_value()) << topDown;
    // Stored rows come first: the bottom of a bottom-up file, the top of a top-down one.
    int shown = topDown ? 0 : 9;
    int missing = topDown ? 9 : 0;
    EXPECT_EQ(img->at(1, shown), (Rgb{std::uint8_t(shown), std::uint8_t(2 * shown), std::uint8_t(3 * shown)}));
    EXPECT_EQ(img->at(1, missing), (Rgb{0, 0, 0}));
  }
}

TEST(BmpReader, HugeClaimsWithLittleDataAreRefused) {
  auto f = Bmp24(2, 2, false);
  Put32(f, 18, 30000);
  Put32(f, 22, 30000);  // 900 million pixels behind 16 bytes
  auto path = WriteTempFile("huge.bmp", f);
  EXPECT_FALSE(DecodeWith(kBmpFormat, path).has_value());
  Put32(f, 18, 0);
  EXPECT_FALSE(DecodeWith(kBmpFormat, WriteTempFile("zero.bmp", f)).has_value());
}

TEST(BmpReader, Os2CoreHeaderAndRle4) {
  // OS/2 1.x: 12-byte header, RGB triples.
  std::vector<std::uint8_t> f(14 + 12 + 6 + 4, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<std::uint32_t>(f.size()));
  Put32(f, 10, 14 + 12 + 6);
  Put32(f, 14, 12);
  f[18] = 2;         // width
  f[20] = 1;         // height
  f[22] = 1;         // planes
  f[24] = 1;         // bits
  f[26 + 3] = 0x10;  // second colour: blue 0x10, green 0x20, red 0x30
  f[26 + 4] = 0x20;
  f[26 + 5] = 0x30;
  f[32] = 0x40;  // pixels: 0, 1
  auto img = DecodeWith(kBmpFormat, WriteTempFile("os2.bmp", f));
  ASSERT_TRUE(img.has_value());
  EXPECT_EQ(img->at(0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(img->at(1, 0), (Rgb{0x30, 0x20, 0x10}));

  // RLE4: 4 x 1, run of 4 alternating pixels 1,2,1,2, end of bitmap.
  std::vector<std::uint8_t> r(14 + 40 + 64 + 4, 0);
  r[0] = 'B';
  r[1] = 'M';
  Put32(r, 2, static_cast<std::uint32_t>(r.size()));
  Put32(r, 10, 14 + 40 + 64);
  Put32(r, 14, 40);
  Put32(r, 18, 4);
  Put32(r, 22, 1);
  r[26] = 1;
  r[28] = 4;
  Put32(r, 30, 2);      // BI_RLE4
  r[54 + 4 + 2] = 255;  // colour 1 red
  r[54 + 8] = 255;      // colour 2 blue
  const std::uint8_t data[4] = {4, 0x12, 0, 1};
  std::memcpy(&r[118], data, 4);
  auto rle = DecodeWith(kBmpFormat, WriteTempFile("rle4.bmp", r));
  ASSERT_TRUE(rle.has_value());
  EXPECT_EQ(rle->at(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(rle->at(1, 0), (Rgb{0, 0, 255}));
  EXPECT_EQ(rle->at(3, 0), (Rgb{0, 0, 255}));
}

}  // namespace
