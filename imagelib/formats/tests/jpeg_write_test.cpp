// JPEG writing: colour and gray pages read back by our reader and by ImageMagick within a
// tolerance, the component count per page kind, and the quality really reaching libjpeg.
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
using testing::WriteTempFile;

constexpr int kW = 64;
constexpr int kH = 48;

// Smooth content keeps the codec's error small and predictable.
HBITMAP MakePage(int bits, const std::vector<RGBQUAD>& palette) {
  HBITMAP bmp = NewPageBitmap(kW, kH, bits, palette);
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < kH; ++y) {
    BYTE* row = v.row(y);
    for (int x = 0; x < kW; ++x) {
      if (bits == 24) {
        row[x * 3] = static_cast<BYTE>(x * 4);
        row[x * 3 + 1] = static_cast<BYTE>(y * 5);
        row[x * 3 + 2] = static_cast<BYTE>(255 - x * 2 - y);
      } else if (bits == 8) {
        row[x] = static_cast<BYTE>((x + y) * 2);
      } else if (bits == 4) {
        row[x / 2] |= static_cast<BYTE>((y / 6) << ((x & 1) ? 0 : 4));
      } else {
        row[x / 8] |= static_cast<BYTE>((x >= kW / 2) << (7 - x % 8));
      }
    }
  }
  return bmp;
}

std::vector<RGBQUAD> Gray256() {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < 256; ++i) p.push_back({static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0});
  return p;
}

// Components of the first start-of-frame segment, -1 when there is none.
int Components(const std::vector<std::uint8_t>& jpeg) {
  for (size_t i = 2; i + 10 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1 || jpeg[i + 1] == 0xC2)) return jpeg[i + 9];
  return -1;
}

std::vector<std::uint8_t> Write(HBITMAP page, int quality) {
  WriteOptions o;
  o.quality = quality;
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(WriteJpegFile(page, o, nullptr, &out));
  return out;
}

TEST(JpegWrite, EveryDepthReadsBackClose) {
  const bool haveMagick = !FindTool("convert-im6.q16").empty();
  const struct {
    const char* name;
    int bits;
    std::vector<RGBQUAD> palette;
    int components;
  } cases[] = {
      {"24", 24, {}, 3},
      {"8-gray", 8, Gray256(), 1},
      {"8-colour", 8,
       [] {
         std::vector<RGBQUAD> p;
         for (int i = 0; i < 256; ++i) p.push_back({static_cast<BYTE>(i), 128, static_cast<BYTE>(255 - i), 0});
         return p;
       }(),
       3},
      {"4-colour", 4,
       [] {
         std::vector<RGBQUAD> p;
         for (int i = 0; i < 16; ++i) p.push_back({static_cast<BYTE>(i * 16), static_cast<BYTE>(200 - i * 8), 90, 0});
         return p;
       }(),
       3},
      // Any all-gray palette, in any order, is written as one channel: the save
      // path's gray reduction makes such palettes.
      {"1-bit", 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, 1},
      {"8-gray-shuffled", 8,
       [] {
         std::vector<RGBQUAD> p;
         for (int i = 0; i < 256; ++i) {
           BYTE v = static_cast<BYTE>((i * 97) & 0xFF);
           p.push_back({v, v, v, 0});
         }
         return p;
       }(),
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HBITMAP page = MakePage(c.bits, c.palette);
    ASSERT_NE(page, nullptr);
    const auto want = BitmapToRgb(page);
    const auto bytes = Write(page, 95);
    EXPECT_EQ(Components(bytes), c.components);
    const auto ours = DecodeBytes(kJpegFormat, bytes);
    ASSERT_TRUE(ours && want);
    // A sharp black/white edge rings more than smooth content.
    const int tolerance = c.bits == 1 ? 60 : 12;
    const int diff = MaxDifference(*ours, *want);
    EXPECT_GE(diff, 0);
    EXPECT_LE(diff, tolerance);
    if (haveMagick) {
      const auto theirs = ImageMagickDecode(WriteTempFile(std::string("jpgw-") + c.name + ".jpg", bytes));
      ASSERT_TRUE(theirs);
      const int d = MaxDifference(*theirs, *want);
      EXPECT_GE(d, 0);
      EXPECT_LE(d, tolerance);
    }
    DeleteObject(page);
  }
}

TEST(JpegWrite, QualityIsHonouredAndClamped) {
  HBITMAP page = MakePage(24, {});
  ASSERT_NE(page, nullptr);
  const auto low = Write(page, 5);
  const auto high = Write(page, 98);
  EXPECT_LT(low.size(), high.size());
  // Out-of-range qualities behave as the nearest valid one.
  EXPECT_EQ(Write(page, 0), Write(page, 1));
  EXPECT_EQ(Write(page, -40), Write(page, 1));
  EXPECT_EQ(Write(page, 500), Write(page, 100));
  const auto decodedLow = DecodeBytes(kJpegFormat, low);
  const auto decodedHigh = DecodeBytes(kJpegFormat, high);
  const auto want = BitmapToRgb(page);
  ASSERT_TRUE(decodedLow && decodedHigh && want);
  EXPECT_GT(MaxDifference(*decodedLow, *want), MaxDifference(*decodedHigh, *want));
  DeleteObject(page);
}

TEST(JpegWrite, RefusesWhatItCannotWrite) {
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(WriteJpegFile(nullptr, {}, nullptr, &out));
  HBITMAP page = MakePage(24, {});
  EXPECT_FALSE(WriteJpegFile(page, {}, nullptr, nullptr));
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
