// The fax file: round trips through WriteFmf, pages coded by ImageMagick read back,
// our coded pages read by ImageMagick, and the reader's refusal of malformed files.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

#include "imagelib/formats/fmf.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::DecodeBytes;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::OpenBytes;
using testing::ReadPnm;
using testing::Rgb;
using testing::RgbImage;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

// A page with text-like strokes, long white gaps, solid bars and an odd width.
FmfPage MakePage(int width, int height, std::uint16_t compression, std::uint16_t options, int seed) {
  FmfPage page;
  page.width = width;
  page.height = height;
  page.xDpi = 204;
  page.yDpi = compression == kFmfGroup4 ? 196 : 98;
  page.compression = compression;
  page.options = options;
  const int rowBytes = (width + 7) / 8;
  page.rows.assign(static_cast<std::size_t>(rowBytes) * height, 0xFF);  // white
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool black = (y % 17 < 3 && (x + seed) % 23 < 9) || (y > height / 2 && y < height / 2 + 4) ||
                         ((x * 7 + y * 3 + seed) % 61 == 0) || x == width - 1;
      if (black)
        page.rows[static_cast<std::size_t>(y) * rowBytes + x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
    }
  }
  return page;
}

RgbImage ToRgb(const FmfPage& page) {
  RgbImage image;
  image.width = page.width;
  image.height = page.height;
  const int rowBytes = (page.width + 7) / 8;
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      const bool white = (page.rows[static_cast<std::size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
      image.pixels.push_back(white ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
    }
  }
  return image;
}

std::optional<RgbImage> DecodePage(ImageReader& reader, int page) {
  HBITMAP bitmap = reader.decodePage(page);
  if (!bitmap) return std::nullopt;
  vel::gdi::BitmapView view;
  EXPECT_TRUE(vel::gdi::GetBitmapView(bitmap, &view));
  EXPECT_EQ(view.bitsPerPixel, 1);
  EXPECT_EQ(view.colors[0].rgbRed, 0);  // index 0 is black
  EXPECT_EQ(view.colors[1].rgbRed, 255);
  auto rgb = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  return rgb;
}

void Put16(std::vector<std::uint8_t>& v, std::size_t at, unsigned x) {
  v[at] = static_cast<std::uint8_t>(x);
  v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  Put16(v, at, x & 0xFFFF);
  Put16(v, at + 2, x >> 16);
}

// A one-page file around already coded data.
std::vector<std::uint8_t> FileAround(const std::vector<std::uint8_t>& coded, int width, int height,
                                     std::uint16_t compression, std::uint16_t options) {
  std::vector<std::uint8_t> f;
  f.reserve(kFmfHeaderSize + kFmfEntrySize + coded.size());
  f.resize(kFmfHeaderSize + kFmfEntrySize);
  std::memcpy(f.data(), "VFMF", 4);
  Put16(f, 4, 1);
  Put16(f, 6, 1);
  Put32(f, 8, kFmfHeaderSize);
  const std::size_t e = kFmfHeaderSize;
  Put32(f, e, static_cast<std::uint32_t>(f.size()));
  Put32(f, e + 4, static_cast<std::uint32_t>(coded.size()));
  Put32(f, e + 8, static_cast<std::uint32_t>(width));
  Put32(f, e + 12, static_cast<std::uint32_t>(height));
  Put16(f, e + 16, 200);
  Put16(f, e + 18, 100);
  Put16(f, e + 20, compression);
  Put16(f, e + 22, options);
  f.insert(f.end(), coded.begin(), coded.end());
  return f;
}

TEST(FmfFile, RoundTripsEveryCodingAndOption) {
  const std::vector<FmfPage> pages = {
      MakePage(1728, 61, kFmfGroup3, 0, 1),
      MakePage(1001, 40, kFmfGroup3, kFmfAlignedEol | kFmfLsbFirst, 2),
      MakePage(1729, 55, kFmfGroup4, 0, 3),
      MakePage(13, 9, kFmfGroup4, kFmfLsbFirst, 4),
  };
  const std::string path = TempDir() + "/round.fmf";
  ASSERT_TRUE(WriteFmf(path, pages));
  auto reader = OpenBytes(kFmfFormat, testing::ReadFile(path));
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 4);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const PageInfo info = reader->pageInfo(i);
    EXPECT_EQ(info.width, pages[i].width);
    EXPECT_EQ(info.height, pages[i].height);
    EXPECT_EQ(info.bitCount, 1);
    EXPECT_EQ(info.colorsUsed, 2u);
    EXPECT_EQ(info.xDpi, pages[i].xDpi);
    EXPECT_EQ(info.yDpi, pages[i].yDpi);
    auto image = DecodePage(*reader, i);
    ASSERT_TRUE(image);
    EXPECT_EQ(MaxDifference(*image, ToRgb(pages[i])), 0);
  }
}

TEST(FmfFile, OptionsChangeTheCodedBytes) {
  // Fill order and EOL alignment must reach the data, not just the directory.
  std::vector<std::uint8_t> plain, reversed, aligned;
  ASSERT_TRUE(EncodeFmf({MakePage(100, 8, kFmfGroup3, 0, 5)}, &plain));
  ASSERT_TRUE(EncodeFmf({MakePage(100, 8, kFmfGroup3, kFmfLsbFirst, 5)}, &reversed));
  ASSERT_TRUE(EncodeFmf({MakePage(100, 8, kFmfGroup3, kFmfAlignedEol, 5)}, &aligned));
  const std::size_t data = kFmfHeaderSize + kFmfEntrySize;
  ASSERT_EQ(plain.size(), reversed.size());
  for (std::size_t i = data; i < plain.size(); ++i) {
    std::uint8_t b = 0;
    for (int k = 0; k < 8; ++k) b |= static_cast<std::uint8_t>(((plain[i] >> k) & 1) << (7 - k));
    ASSERT_EQ(reversed[i], b) << i;
  }
  EXPECT_GT(aligned.size(), plain.size());
}

TEST(FmfFile, WriterRefusesBadPagesAndKeepsTheOldFile) {
  const std::string path = WriteTempFile("keep.fmf", {'o', 'l', 'd'});
  FmfPage bad = MakePage(16, 4, kFmfGroup4, 0, 0);
  bad.rows.pop_back();
  EXPECT_FALSE(WriteFmf(path, {bad}));
  FmfPage g4Aligned = MakePage(16, 4, kFmfGroup4, kFmfAlignedEol, 0);
  EXPECT_FALSE(WriteFmf(path, {g4Aligned}));
  FmfPage wrongCoding = MakePage(16, 4, 2, 0, 0);
  EXPECT_FALSE(WriteFmf(path, {wrongCoding}));
  EXPECT_FALSE(WriteFmf(path, {}));
  EXPECT_EQ(testing::ReadFile(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

// The strip of a single-strip TIFF, as ImageMagick coded it.
std::optional<std::vector<std::uint8_t>> StripOf(const std::string& tiffPath, int* fillOrder) {
  TIFF* tif = TIFFOpen(tiffPath.c_str(), "r");
  if (!tif) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> out;
  if (TIFFNumberOfStrips(tif) == 1) {
    std::uint64_t* counts = nullptr;
    std::uint16_t order = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &order);
    *fillOrder = order;
    if (TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts[0] > 0) {
      std::vector<std::uint8_t> data(counts[0]);
      if (TIFFReadRawStrip(tif, 0, data.data(), static_cast<tmsize_t>(data.size())) ==
          static_cast<tmsize_t>(data.size())) {
        out = std::move(data);
      }
    }
  }
  TIFFClose(tif);
  return out;
}

TEST(FmfFile, ReadsPagesCodedByImageMagick) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) not installed";
  const FmfPage page = MakePage(1728, 90, kFmfGroup4, 0, 7);
  // PBM has 1 = black: the opposite of our rows.
  std::string head = "P4\n1728 90\n";
  std::vector<std::uint8_t> pbm(head.begin(), head.end());
  for (std::uint8_t b : page.rows) pbm.push_back(static_cast<std::uint8_t>(~b));
  const std::string pbmPath = WriteTempFile("fax.pbm", pbm);
  struct Case {
    const char* compress;
    std::uint16_t compression;
  } const cases[] = {{"Group4", kFmfGroup4}, {"Fax", kFmfGroup3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.compress);
    const std::string tif = TempDir() + "/fax-" + c.compress + ".tif";
    ASSERT_TRUE(Shell("convert-im6.q16 " + pbmPath + " -compress " + c.compress +
                      " -define tiff:rows-per-strip=100000 " + tif));
    int fillOrder = 0;
    auto strip = StripOf(tif, &fillOrder);
    ASSERT_TRUE(strip);
    const std::uint16_t options = fillOrder == FILLORDER_LSB2MSB ? kFmfLsbFirst : 0;
    auto reader = OpenBytes(kFmfFormat, FileAround(*strip, 1728, 90, c.compression, options));
    ASSERT_TRUE(reader);
    auto image = DecodePage(*reader, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(MaxDifference(*image, ToRgb(page)), 0);
  }
}

TEST(FmfFile, ImageMagickReadsOurCodedPages) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) not installed";
  for (std::uint16_t compression : {kFmfGroup3, kFmfGroup4}) {
    SCOPED_TRACE(compression);
    const FmfPage page = MakePage(999, 50, compression, 0, 9);
    std::vector<std::uint8_t> file;
    ASSERT_TRUE(EncodeFmf({page}, &file));
    const std::uint32_t offset = Le32(file.data() + kFmfHeaderSize);
    const std::uint32_t length = Le32(file.data() + kFmfHeaderSize + 4);
    // Put our bytes into a TIFF with libtiff's ordinary file API and let another
    // program decode them.
    const std::string path = TempDir() + "/ours-" + std::to_string(compression) + ".tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_TRUE(tif);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 999);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 50);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression == kFmfGroup4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 50);
    ASSERT_EQ(TIFFWriteRawStrip(tif, 0, file.data() + offset, length), static_cast<tmsize_t>(length));
    TIFFClose(tif);
    auto decoded = ImageMagickDecode(path);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(MaxDifference(*decoded, ToRgb(page)), 0);
  }
}

TEST(FmfFile, TruncatedPageKeepsItsFirstRowsAndGarbageFailsCleanly) {
  const FmfPage page = MakePage(300, 80, kFmfGroup4, 0, 11);
  std::vector<std::uint8_t> file;
  ASSERT_TRUE(EncodeFmf({page}, &file));
  const std::size_t entry = kFmfHeaderSize;
  const std::uint32_t length = Le32(file.data() + entry + 4);
  // Keep the first third of the data.
  const std::uint32_t kept = length / 3;
  file.resize(file.size() - (length - kept));
  Put32(file, entry + 4, kept);
  auto reader = OpenBytes(kFmfFormat, file);
  ASSERT_TRUE(reader);
  auto image = DecodePage(*reader, 0);
  ASSERT_TRUE(image);
  const RgbImage expected = ToRgb(page);
  int goodRows = 0;
  while (goodRows < page.height) {
    bool same = true;
    for (int x = 0; x < page.width; ++x) same = same && image->at(x, goodRows) == expected.at(x, goodRows);
    if (!same) break;
    ++goodRows;
  }
  EXPECT_GT(goodRows, 5);
  EXPECT_LT(goodRows, page.height);
  // What the data did not reach is white paper.
  for (int x = 0; x < page.width; ++x) EXPECT_EQ(image->at(x, page.height - 1), (Rgb{255, 255, 255}));

  // Bytes that are no fax coding at all: no page, no crash.
  std::vector<std::uint8_t> junk(64);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(i * 37 + 1);
  for (std::uint16_t compression : {kFmfGroup3, kFmfGroup4}) {
    auto bad = OpenBytes(kFmfFormat, FileAround(junk, 1728, 100, compression, 0));
    ASSERT_TRUE(bad);
    HBITMAP bitmap = bad->decodePage(0);
    if (bitmap) DeleteObject(bitmap);  // a few rows may happen to decode; either way no crash
  }
}

TEST(FmfFile, ReaderRejectsMalformedFiles) {
  std::vector<std::uint8_t> good;
  ASSERT_TRUE(EncodeFmf({MakePage(64, 16, kFmfGroup4, 0, 1)}, &good));
  ASSERT_TRUE(OpenBytes(kFmfFormat, good));
  const std::size_t e = kFmfHeaderSize;
  auto rejects = [&](const char* what, auto change) {
    auto bytes = good;
    change(bytes);
    auto file = std::make_shared<FileData>();
    file->bytes = bytes;
    EXPECT_FALSE(kFmfFormat.open(file)) << what;
  };
  rejects("magic", [](auto& b) { b[0] = 'X'; });
  rejects("version 2", [](auto& b) { Put16(b, 4, 2); });
  rejects("no pages", [](auto& b) { Put16(b, 6, 0); });
  rejects("more pages than the directory holds", [](auto& b) { Put16(b, 6, 2); });
  rejects("directory inside the header", [](auto& b) { Put32(b, 8, 4); });
  rejects("directory past the end", [](auto& b) { Put32(b, 8, 0x7FFFFFF0); });
  rejects("reserved header word", [](auto& b) { Put32(b, 12, 1); });
  rejects("data past the end", [&](auto& b) { Put32(b, e + 4, Le32(b.data() + e + 4) + 1); });
  rejects("offset past the end", [&](auto& b) { Put32(b, e, 0xFFFFFFF0); });
  rejects("empty data", [&](auto& b) { Put32(b, e + 4, 0); });
  rejects("zero width", [&](auto& b) { Put32(b, e + 8, 0); });
  rejects("huge width", [&](auto& b) { Put32(b, e + 8, kFmfMaxWidth + 1); });
  rejects("zero height", [&](auto& b) { Put32(b, e + 12, 0); });
  rejects("more rows than data bits", [&](auto& b) { Put32(b, e + 12, Le32(b.data() + e + 4) * 8 + 1); });
  rejects("compression 2", [&](auto& b) { Put16(b, e + 20, 2); });
  rejects("unknown option", [&](auto& b) { Put16(b, e + 22, 0x0004); });
  rejects("aligned EOLs on Group 4", [&](auto& b) { Put16(b, e + 22, kFmfAlignedEol); });
  rejects("reserved entry bytes", [&](auto& b) { b[e + 31] = 1; });
  std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + kFmfHeaderSize);
  rejects("header only", [&](auto& b) { b = headerOnly; });
}

}  // namespace
}  // namespace lorimer::formats
