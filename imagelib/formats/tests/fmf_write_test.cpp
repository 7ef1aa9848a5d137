// FMF output: 1-bit pages of either colour order, Group 4 and Group 3, appends that
// keep the earlier pages' coded data byte for byte, and the refusals.
#include <gtest/gtest.h>

#include "imagelib/formats/fmf.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::DecodeBytes;
using testing::MaxDifference;
using testing::OpenBytes;
using testing::Rgb;
using testing::RgbImage;

const RGBQUAD kBlack{0, 0, 0, 0}, kWhite{255, 255, 255, 0};

// A fax-like page: a frame, diagonal strokes and a text-like band.
HBITMAP MakePage(int w, int h, std::vector<RGBQUAD> palette, int seed = 0) {
  HBITMAP bmp = NewPageBitmap(w, h, 1, palette);
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    std::fill(row, row + v.stride, 0);
    for (int x = 0; x < w; ++x) {
      const bool ink = x == 0 || y == 0 || x == w - 1 || y == h - 1 || (x + y + seed) % 11 == 0 ||
                       (y > h / 3 && y < h / 2 && (x * 7 + y * seed) % 5 < 2);
      if (ink) row[x >> 3] |= BYTE(0x80 >> (x & 7));  // index 1
    }
  }
  return bmp;
}

struct Entry {
  std::uint32_t offset, length, width, height;
  unsigned xDpi, yDpi, compression, options;
};
Entry EntryOf(const std::vector<std::uint8_t>& f, int page) {
  const std::uint8_t* e = f.data() + Le32(f.data() + 8) + page * kFmfEntrySize;
  return {Le32(e), Le32(e + 4), Le32(e + 8), Le32(e + 12), Le16(e + 16), Le16(e + 18), Le16(e + 20), Le16(e + 22)};
}
std::vector<std::uint8_t> DataOf(const std::vector<std::uint8_t>& f, int page) {
  const Entry e = EntryOf(f, page);
  return {f.begin() + e.offset, f.begin() + e.offset + e.length};
}

TEST(FmfWrite, EitherColourOrderKeepsTheLook) {
  for (const auto& palette : {std::vector<RGBQUAD>{kBlack, kWhite}, std::vector<RGBQUAD>{kWhite, kBlack}}) {
    for (int width : {1, 13, 200}) {
      HBITMAP page = MakePage(width, 17, palette);
      ASSERT_TRUE(page);
      auto want = BitmapToRgb(page);
      std::vector<std::uint8_t> out;
      ASSERT_TRUE(WriteFmfPage(page, WriteOptions{}, nullptr, &out));
      auto reader = OpenBytes(kFmfFormat, out);
      ASSERT_TRUE(reader);
      EXPECT_EQ(reader->pageCount(), 1);
      const PageInfo info = reader->pageInfo(0);
      EXPECT_EQ(info.xDpi, 204);
      EXPECT_EQ(info.yDpi, 196);
      EXPECT_EQ(EntryOf(out, 0).compression, kFmfGroup4);
      auto got = DecodeBytes(kFmfFormat, out);
      ASSERT_TRUE(got);
      EXPECT_EQ(MaxDifference(*got, *want), 0) << "width " << width << " first colour " << int(palette[0].rgbRed);
      DeleteObject(page);
    }
  }
}

TEST(FmfWrite, ColouredPaletteGoesToNearestOfBlackAndWhite) {
  HBITMAP page = MakePage(30, 10, {RGBQUAD{240, 250, 230, 0}, RGBQUAD{90, 10, 40, 0}});  // light, dark
  ASSERT_TRUE(page);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(WriteFmfPage(page, WriteOptions{}, nullptr, &out));
  auto got = DecodeBytes(kFmfFormat, out);
  ASSERT_TRUE(got);
  vel::gdi::BitmapView v;
  ASSERT_TRUE(vel::gdi::GetBitmapView(page, &v));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool one = (v.row(y)[x >> 3] >> (7 - (x & 7))) & 1;
      const Rgb want = one ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
      ASSERT_TRUE(got->at(x, y) == want) << x << "," << y;
    }
  DeleteObject(page);
}

TEST(FmfWrite, Group3WhenAskedFor) {
  HBITMAP page = MakePage(64, 20, {kBlack, kWhite});
  WriteOptions options;
  options.tiffCompress = "GROUP3";
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(WriteFmfPage(page, options, nullptr, &out));
  EXPECT_EQ(EntryOf(out, 0).compression, kFmfGroup3);
  auto got = DecodeBytes(kFmfFormat, out);
  ASSERT_TRUE(got);
  EXPECT_EQ(MaxDifference(*got, *BitmapToRgb(page)), 0);
  DeleteObject(page);
}

TEST(FmfWrite, AppendKeepsEarlierPagesAsCoded) {
  std::vector<RgbImage> wants;
  std::vector<std::uint8_t> file;
  std::vector<std::vector<std::uint8_t>> firstData;
  for (int i = 0; i < 3; ++i) {
    HBITMAP page = MakePage(40 + i * 9, 12 + i, {kBlack, kWhite}, i);
    wants.push_back(*BitmapToRgb(page));
    WriteOptions options;
    options.append = i > 0;
    if (i == 1) options.tiffCompress = "GROUP3";  // pages may differ in coding
    std::vector<std::uint8_t> next;
    ASSERT_TRUE(WriteFmfPage(page, options, i ? &file : nullptr, &next));
    DeleteObject(page);
    file = std::move(next);
    firstData.push_back(DataOf(file, i));
    for (int k = 0; k <= i; ++k) EXPECT_EQ(DataOf(file, k), firstData[k]) << "page " << k << " after " << i;
  }
  auto reader = OpenBytes(kFmfFormat, file);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 3);
  EXPECT_EQ(EntryOf(file, 1).compression, kFmfGroup3);
  for (int k = 0; k < 3; ++k) {
    auto got = DecodeBytes(kFmfFormat, file, k);
    ASSERT_TRUE(got) << k;
    EXPECT_EQ(MaxDifference(*got, wants[k]), 0) << "page " << k;
  }
}

TEST(FmfWrite, Refusals) {
  std::vector<std::uint8_t> out;
  HBITMAP grey = NewPageBitmap(8, 8, 8);
  HBITMAP colour = NewPageBitmap(8, 8, 24);
  HBITMAP page = MakePage(8, 8, {kBlack, kWhite});
  EXPECT_FALSE(WriteFmfPage(grey, WriteOptions{}, nullptr, &out)) << "8 bits";
  EXPECT_FALSE(WriteFmfPage(colour, WriteOptions{}, nullptr, &out)) << "24 bits";
  EXPECT_FALSE(WriteFmfPage(nullptr, WriteOptions{}, nullptr, &out));
  const std::vector<std::uint8_t> junk = {'V', 'F', 'M', 'F', 1, 0, 1, 0, 16, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(WriteFmfPage(page, WriteOptions{}, &junk, &out)) << "directory outside the file";
  const std::vector<std::uint8_t> empty;
  EXPECT_FALSE(WriteFmfPage(page, WriteOptions{}, &empty, &out));
  EXPECT_TRUE(out.empty());

  // A full file takes no more pages.
  FmfPage tiny;
  tiny.width = 8, tiny.height = 1, tiny.rows = {0xFF};
  std::vector<std::uint8_t> full;
  ASSERT_TRUE(EncodeFmf(std::vector<FmfPage>(kFmfMaxPages, tiny), &full));
  EXPECT_FALSE(WriteFmfPage(page, WriteOptions{}, &full, &out));
  std::vector<std::uint8_t> almost;
  ASSERT_TRUE(EncodeFmf(std::vector<FmfPage>(kFmfMaxPages - 1, tiny), &almost));
  ASSERT_TRUE(WriteFmfPage(page, WriteOptions{}, &almost, &out));
  auto reader = OpenBytes(kFmfFormat, out);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageCount(), kFmfMaxPages);
  DeleteObject(grey);
  DeleteObject(colour);
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
