// PNG writing: every depth read back by our reader and by ImageMagick pixel for pixel, the
// colour type chosen per palette, the row filters and the compression level really used.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

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

constexpr int kW = 41;  // odd widths leave partial bytes at the end of packed rows
constexpr int kH = 19;

std::vector<RGBQUAD> ColourPalette(int bits) {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < (1 << bits); ++i)
    p.push_back({static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 97 % 256), static_cast<BYTE>(40 + i * 53 % 200), 0});
  return p;
}
std::vector<RGBQUAD> GrayPalette(int bits) {
  std::vector<RGBQUAD> p;
  const int n = 1 << bits;
  for (int i = 0; i < n; ++i) {
    const BYTE v = static_cast<BYTE>(i * 255 / (n - 1));
    p.push_back({v, v, v, 0});
  }
  return p;
}

// A page whose every index (or colour) varies with x and y.
HBITMAP MakePage(int bits, const std::vector<RGBQUAD>& palette, int w = kW, int h = kH) {
  HBITMAP bmp = NewPageBitmap(w, h, bits, palette);
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    for (int x = 0; x < w; ++x) {
      const int i = (x * 7 + y * 13 + x * y) % (bits == 24 ? 256 : 1 << bits);
      if (bits == 24) {
        row[x * 3] = static_cast<BYTE>(i);
        row[x * 3 + 1] = static_cast<BYTE>(x * 6);
        row[x * 3 + 2] = static_cast<BYTE>(y * 13);
      } else if (bits == 8) {
        row[x] = static_cast<BYTE>(i);
      } else if (bits == 4) {
        row[x / 2] |= static_cast<BYTE>(i << ((x & 1) ? 0 : 4));
      } else {
        row[x / 8] |= static_cast<BYTE>(i << (7 - x % 8));
      }
    }
  }
  return bmp;
}

struct Chunks {
  int bitDepth = -1;
  int colorType = -1;
  std::vector<std::uint8_t> idat;
};
Chunks ParseChunks(const std::vector<std::uint8_t>& png) {
  Chunks c;
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    const std::uint32_t len = Be32(&png[pos]);
    const std::string type(png.begin() + pos + 4, png.begin() + pos + 8);
    if (pos + 12 + len > png.size()) break;
    const std::uint8_t* data = &png[pos + 8];
    if (type == "IHDR") {
      c.bitDepth = data[8];
      c.colorType = data[9];
    } else if (type == "IDAT") {
      c.idat.insert(c.idat.end(), data, data + len);
    }
    pos += 12 + len;
  }
  return c;
}

// The filter byte in front of every row of the inflated image data.
std::vector<int> RowFilters(const std::vector<std::uint8_t>& png, size_t rowBytes, int height) {
  const Chunks c = ParseChunks(png);
  std::vector<std::uint8_t> raw((rowBytes + 1) * height);
  uLongf size = raw.size();
  std::vector<int> filters;
  if (uncompress(raw.data(), &size, c.idat.data(), c.idat.size()) != Z_OK || size != raw.size()) return filters;
  for (int y = 0; y < height; ++y) filters.push_back(raw[(rowBytes + 1) * y]);
  return filters;
}

std::vector<std::uint8_t> Write(HBITMAP page, const WriteOptions& o = {}) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(WritePng(page, o, nullptr, &out));
  return out;
}

struct DepthCase {
  const char* name;
  int bits;
  bool gray;
  int colorType;
};

TEST(PngWrite, EveryDepthReadsBackExactly) {
  const bool haveMagick = !FindTool("convert-im6.q16").empty();
  const DepthCase cases[] = {{"1-colour", 1, false, 3}, {"4-colour", 4, false, 3}, {"8-colour", 8, false, 3},
                             {"1-gray", 1, true, 0},    {"4-gray", 4, true, 0},    {"8-gray", 8, true, 0},
                             {"24", 24, false, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HBITMAP page = MakePage(c.bits, c.bits == 24 ? std::vector<RGBQUAD>{}
                                    : c.gray     ? GrayPalette(c.bits)
                                                 : ColourPalette(c.bits));
    ASSERT_NE(page, nullptr);
    const auto want = BitmapToRgb(page);
    const auto bytes = Write(page);
    const Chunks chunks = ParseChunks(bytes);
    EXPECT_EQ(chunks.colorType, c.colorType);
    EXPECT_EQ(chunks.bitDepth, c.bits == 24 ? 8 : c.bits);
    const auto ours = DecodeBytes(kPngFormat, bytes);
    ASSERT_TRUE(ours && want);
    EXPECT_EQ(MaxDifference(*ours, *want), 0);
    if (haveMagick) {
      const auto theirs = ImageMagickDecode(WriteTempFile(std::string("pngw-") + c.name + ".png", bytes));
      ASSERT_TRUE(theirs);
      EXPECT_EQ(MaxDifference(*theirs, *want), 0);
    }
    DeleteObject(page);
  }
}

TEST(PngWrite, GrayLookingPaletteOfTheWrongDepthStaysAPalette) {
  // A 4-bit bitmap whose palette is the 1-bit ramp padded with black is not a 4-bit gray ramp.
  HBITMAP page = MakePage(4, GrayPalette(1));
  ASSERT_NE(page, nullptr);
  const auto bytes = Write(page);
  EXPECT_EQ(ParseChunks(bytes).colorType, 3);
  const auto ours = DecodeBytes(kPngFormat, bytes);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, *BitmapToRgb(page)), 0);
  DeleteObject(page);
}

TEST(PngWrite, EachFilterIsUsedOnEveryRow) {
  const struct {
    const char* name;
    int value;
  } filters[] = {{"NONE", 0}, {"SUB", 1}, {"UP", 2}, {"AVERAGE", 3}, {"PAETH", 4}};
  HBITMAP page = MakePage(24, {});
  ASSERT_NE(page, nullptr);
  const auto want = BitmapToRgb(page);
  for (const auto& f : filters) {
    SCOPED_TRACE(f.name);
    WriteOptions o;
    o.pngFilter = f.name;
    const auto bytes = Write(page, o);
    const auto rows = RowFilters(bytes, kW * 3, kH);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kH));
    for (int v : rows) EXPECT_EQ(v, f.value);
    const auto ours = DecodeBytes(kPngFormat, bytes);
    ASSERT_TRUE(ours);
    EXPECT_EQ(MaxDifference(*ours, *want), 0);
  }
  WriteOptions bad;
  bad.pngFilter = "SIDEWAYS";
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(WritePng(page, bad, nullptr, &out));
  DeleteObject(page);
}

TEST(PngWrite, MaximumCompressionSetsZlibLevel) {
  HBITMAP page = MakePage(8, ColourPalette(8), 200, 120);
  ASSERT_NE(page, nullptr);
  WriteOptions max;
  max.pngMaxCompress = true;
  const auto normal = Write(page);
  const auto best = Write(page, max);
  // The zlib header's FLEVEL field: 2 for the default level, 3 for level 9.
  const auto n = ParseChunks(normal).idat;
  const auto b = ParseChunks(best).idat;
  ASSERT_GE(n.size(), 2u);
  ASSERT_GE(b.size(), 2u);
  EXPECT_EQ(n[1] >> 6, 2);
  EXPECT_EQ(b[1] >> 6, 3);
  EXPECT_LE(best.size(), normal.size());
  const auto ours = DecodeBytes(kPngFormat, best);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, *BitmapToRgb(page)), 0);
  DeleteObject(page);
}

TEST(PngWrite, RefusesWhatItCannotWrite) {
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(WritePng(nullptr, {}, nullptr, &out));
  HBITMAP page = MakePage(24, {});
  EXPECT_FALSE(WritePng(page, {}, nullptr, nullptr));
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
