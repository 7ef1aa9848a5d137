// BMP output: every depth written and read back by our reader, ImageMagick and
// netpbm, with the header fields and row padding checked byte for byte.
#include <gtest/gtest.h>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::DecodeBytes;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::ReadPnm;
using testing::Shell;
using testing::WriteTempFile;

std::vector<RGBQUAD> Palette(int bits) {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < (1 << bits); ++i)
    p.push_back(RGBQUAD{BYTE(i * 37 + 5), BYTE(255 - i * 11), BYTE(i * 73 + 200), 0});
  return p;
}

// A page with a pattern of every index (or a colour field) and garbage in the row padding.
HBITMAP MakePage(int w, int h, int bits) {
  HBITMAP bmp = NewPageBitmap(w, h, bits, bits == 24 ? std::vector<RGBQUAD>{} : Palette(bits));
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    std::fill(row, row + v.stride, 0xA5);
    if (bits == 24) {
      for (int x = 0; x < w; ++x) {
        row[x * 3] = BYTE(x * 255 / w), row[x * 3 + 1] = BYTE(y * 29), row[x * 3 + 2] = BYTE(x * y + 190);
      }
      continue;
    }
    for (int x = 0; x < w; ++x) {
      const unsigned index = (x * 3 + y * 5 + x * y) % (1u << bits);
      const int bit = x * bits;
      BYTE& b = row[bit / 8];
      const int shift = 8 - bits - bit % 8;
      b = BYTE((b & ~(((1 << bits) - 1) << shift)) | (index << shift));
    }
  }
  return bmp;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, size_t at) { return Le32(b.data() + at); }

class BmpWrite : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(BmpWrite, HeaderAndPixelsExact) {
  const auto [bits, width] = GetParam();
  const int height = 6;
  HBITMAP page = MakePage(width, height, bits);
  ASSERT_TRUE(page);
  auto want = BitmapToRgb(page);
  ASSERT_TRUE(want);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(WriteBmp(page, WriteOptions{}, nullptr, &out));

  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  const size_t table = bits == 24 ? 0 : (4u << bits);
  ASSERT_EQ(out.size(), 54 + table + stride * height);
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(out[1], 'M');
  EXPECT_EQ(U32(out, 2), out.size());
  EXPECT_EQ(U32(out, 10), 54 + table);
  EXPECT_EQ(U32(out, 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(U32(out, 18)), width);
  EXPECT_EQ(static_cast<std::int32_t>(U32(out, 22)), height) << "bottom-up";
  EXPECT_EQ(Le16(out.data() + 28), bits);
  EXPECT_EQ(U32(out, 30), 0u);
  EXPECT_EQ(U32(out, 34), stride * height);
  EXPECT_EQ(U32(out, 38), 0u);
  EXPECT_EQ(U32(out, 42), 0u);
  // Padding after each row's pixels is zero, not whatever the bitmap held.
  const size_t used = (static_cast<size_t>(width) * bits + 7) / 8;
  for (int r = 0; r < height; ++r)
    for (size_t i = used; i < stride; ++i) EXPECT_EQ(out[54 + table + r * stride + i], 0) << "row " << r;

  auto ours = DecodeBytes(kBmpFormat, out);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, *want), 0);

  const std::string path = WriteTempFile("bw-" + std::to_string(bits) + "-" + std::to_string(width) + ".bmp", out);
  if (auto im = ImageMagickDecode(path)) {
    EXPECT_EQ(MaxDifference(*im, *want), 0) << "ImageMagick";
  } else {
    GTEST_LOG_(INFO) << "ImageMagick missing: skipped";
  }
  if (!FindTool("bmptopnm").empty()) {
    ASSERT_TRUE(Shell("bmptopnm '" + path + "' > '" + path + ".ppm' 2>/dev/null"));
    auto np = ReadPnm(path + ".ppm");
    ASSERT_TRUE(np);
    EXPECT_EQ(MaxDifference(*np, *want), 0) << "bmptopnm";
  }
  DeleteObject(page);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpWrite,
                         ::testing::Combine(::testing::Values(1, 4, 8, 24), ::testing::Values(1, 7, 33)));

TEST(BmpWriteEdges, RefusesNothingToWrite) {
  std::vector<std::uint8_t> out{1, 2, 3};
  EXPECT_FALSE(WriteBmp(nullptr, WriteOptions{}, nullptr, &out));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3})) << "untouched on failure";
  HBITMAP page = MakePage(3, 3, 8);
  EXPECT_FALSE(WriteBmp(page, WriteOptions{}, nullptr, nullptr));
  DeleteObject(page);
}

TEST(BmpWriteEdges, ShortPaletteIsPaddedWithBlack) {
  HBITMAP page = NewPageBitmap(4, 1, 8, {RGBQUAD{10, 20, 30, 0}, RGBQUAD{40, 50, 60, 0}});
  ASSERT_TRUE(page);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(WriteBmp(page, WriteOptions{}, nullptr, &out));
  ASSERT_EQ(out.size(), 54u + 1024 + 4);
  EXPECT_EQ(out[54], 10);
  EXPECT_EQ(out[58 + 2], 60);
  for (size_t i = 54 + 8; i < 54 + 1024; ++i) ASSERT_EQ(out[i], 0) << i;
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
