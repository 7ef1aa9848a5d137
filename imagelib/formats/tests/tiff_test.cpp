// TIFF reading: files from ImageMagick, netpbm and libtiff's own tools in every layout
// and compression we claim (bilevel with CCITT and fill orders, gray 2/4/8/16, palettes,
// RGB 8/16, alpha, CMYK, YCbCr JPEG, tiles, separate planes, several pages), compared with
// ImageMagick's decode; hand-made files for loops and damage.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstring>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::ReadFile;
using testing::RgbImage;
using testing::TempDir;
using testing::WriteTempFile;

constexpr int kW = 37;
constexpr int kH = 23;

bool Shell(const std::string& command) { return testing::Run("(" + command + ")"); }

bool HaveTools() {
  return !FindTool("convert-im6.q16").empty() && !FindTool("pnmtotiff").empty() && !FindTool("tiffcp").empty();
}

std::string SourcePpm() {
  std::string head = "P6\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      d.push_back(static_cast<std::uint8_t>(x * 255 / (kW - 1)));
      d.push_back(static_cast<std::uint8_t>((x * 31 + y * 57) % 256));
      d.push_back(static_cast<std::uint8_t>(y * 255 / (kH - 1)));
    }
  return WriteTempFile("tiff-source.ppm", d);
}

std::string SourcePbm() {
  std::string head = "P4\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < kH; ++y)
    for (int xb = 0; xb < (kW + 7) / 8; ++xb) {
      std::uint8_t b = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int x = xb * 8 + bit;
        if (x < kW && ((x / 3 + y / 2) % 3 == 0 || x == y)) b |= static_cast<std::uint8_t>(0x80 >> bit);
      }
      d.push_back(b);
    }
  return WriteTempFile("tiff-source.pbm", d);
}

struct Tags {
  int photometric = -1, bits = 0, samples = 0, compression = 0, planar = 0, fillOrder = 0;
  bool tiled = false;
  int pages = 0;
};

// What the tool actually wrote, read with libtiff itself.
Tags ReadTags(const std::string& path) {
  Tags t;
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return t;
  std::uint16_t v = 0;
  if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &v)) t.photometric = v;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &v)) t.bits = v;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &v)) t.samples = v;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &v)) t.compression = v;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &v)) t.planar = v;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &v)) t.fillOrder = v;
  t.tiled = TIFFIsTiled(tif);
  t.pages = TIFFNumberOfDirectories(tif);
  TIFFClose(tif);
  return t;
}

struct TiffCase {
  const char* name;
  std::string command;  // writes $OUT from $PPM / $PBM
  int photometric;
  int bits;
  int compression;
  int bitmapBits;  // what our reader hands out
  int tolerance;   // 0 for lossless
  bool tiled = false;
  int planar = PLANARCONFIG_CONTIG;
  int fillOrder = FILLORDER_MSB2LSB;
};

std::vector<TiffCase> Cases() {
  const std::string im = "convert-im6.q16 $PPM ";
  return {
      {"rgb-none", im + "-compress none $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_NONE, 24, 0},
      {"rgb-lzw", im + "-compress LZW $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, 24, 0},
      {"rgb-packbits", "tiffcp -c packbits $RGB $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_PACKBITS, 24, 0},
      {"rgb-zip", im + "-compress Zip $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_ADOBE_DEFLATE, 24, 0},
      {"rgb-jpeg", im + "-compress JPEG -quality 90 $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_JPEG, 24, 3},
      {"ycbcr-jpeg", "tiffcp -c jpeg $RGB $OUT", PHOTOMETRIC_YCBCR, 8, COMPRESSION_JPEG, 24, 3},
      {"rgb16", im + "-depth 16 -compress LZW $OUT", PHOTOMETRIC_RGB, 16, COMPRESSION_LZW, 24, 0},
      {"rgb-tiled", im + "-define tiff:tile-geometry=16x16 -compress LZW $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, 24,
       0, true},
      {"rgb-planes", "tiffcp -p separate $RGB $OUT", PHOTOMETRIC_RGB, 8, COMPRESSION_NONE, 24, 0, false,
       PLANARCONFIG_SEPARATE},
      {"rgba", im + "\\( -size 37x23 gradient:white-black \\) -alpha off -compose copyopacity -composite -depth 8 $OUT",
       PHOTOMETRIC_RGB, 8, COMPRESSION_NONE, 24, 0},
      {"cmyk", im + "-colorspace CMYK $OUT", PHOTOMETRIC_SEPARATED, 8, COMPRESSION_NONE, 24, 0},
      {"gray2", im + "-colorspace Gray -depth 2 $OUT", PHOTOMETRIC_MINISBLACK, 2, COMPRESSION_NONE, 4, 0},
      {"gray4", im + "-colorspace Gray -depth 4 $OUT", PHOTOMETRIC_MINISBLACK, 4, COMPRESSION_NONE, 4, 0},
      {"gray8", im + "-colorspace Gray -compress LZW $OUT", PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW, 8, 0},
      {"gray16", im + "-colorspace Gray -depth 16 $OUT", PHOTOMETRIC_MINISBLACK, 16, COMPRESSION_NONE, 8, 0},
      {"gray-tiled", im + "-colorspace Gray -define tiff:tile-geometry=16x16 -compress Zip $OUT",
       PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_ADOBE_DEFLATE, 8, 0, true},
      {"palette4", im + "-colors 16 -type Palette -depth 4 $OUT", PHOTOMETRIC_PALETTE, 4, COMPRESSION_NONE, 4, 0},
      {"palette8", im + "-colors 100 -type Palette -compress LZW $OUT", PHOTOMETRIC_PALETTE, 8, COMPRESSION_LZW, 8, 0},
      {"bw-white", "pnmtotiff -miniswhite $PBM > $OUT", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_NONE, 1, 0},
      {"bw-black-packbits", "pnmtotiff -minisblack -packbits $PBM > $OUT", PHOTOMETRIC_MINISBLACK, 1,
       COMPRESSION_PACKBITS, 1, 0},
      {"bw-g3", "pnmtotiff -g3 $PBM > $OUT", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_CCITTFAX3, 1, 0},
      {"bw-g4", "pnmtotiff -g4 $PBM > $OUT", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_CCITTFAX4, 1, 0},
      {"bw-g4-lsb", "pnmtotiff -g4 -lsb2msb $PBM > $OUT", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_CCITTFAX4, 1, 0, false,
       PLANARCONFIG_CONTIG, FILLORDER_LSB2MSB},
      {"bw-mh", "tiffcp -c g3:1d $BWT $OUT", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_CCITTFAX3, 1, 0},
  };
}

std::string Expand(std::string command, const std::string& out) {
  static const std::string rgb = [] {
    const std::string path = TempDir() + "/tiff-rgb-none.tif";
    Shell("convert-im6.q16 '" + SourcePpm() + "' -compress none '" + path + "'");
    return path;
  }();
  static const std::string bw = [] {
    const std::string path = TempDir() + "/tiff-bw-none.tif";
    Shell("pnmtotiff -miniswhite '" + SourcePbm() + "' > '" + path + "'");
    return path;
  }();
  const std::pair<std::string, std::string> vars[] = {
      {"$PPM", SourcePpm()}, {"$PBM", SourcePbm()}, {"$RGB", rgb}, {"$BWT", bw}, {"$OUT", out}};
  for (const auto& [name, value] : vars) {
    for (std::size_t at; (at = command.find(name)) != std::string::npos;)
      command.replace(at, name.size(), "'" + value + "'");
  }
  return command;
}

std::unique_ptr<ImageReader> Open(const std::string& path) {
  auto file = std::make_shared<FileData>();
  file->path = path;
  file->bytes = ReadFile(path);
  if (!kTiffFormat.sniff(file->bytes.data(), std::min(file->bytes.size(), kSniffBytes), file->bytes.size()))
    return nullptr;
  return kTiffFormat.open(file);
}

std::optional<RgbImage> Page(ImageReader& reader, int page, int* bits = nullptr) {
  HBITMAP bitmap = reader.decodePage(page);
  if (!bitmap) return std::nullopt;
  vel::gdi::BitmapView view;
  if (bits && vel::gdi::GetBitmapView(bitmap, &view)) *bits = view.bitsPerPixel;
  auto rgb = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  return rgb;
}

TEST(TiffReader, LayoutsAndCompressionsMatchImageMagick) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick (convert-im6.q16), netpbm (pnmtotiff) or tiffcp is not installed";
  for (const TiffCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = TempDir() + "/" + c.name + ".tif";
    ASSERT_TRUE(Shell(Expand(c.command, path)));
    // The file must be what the case is about.
    const Tags tags = ReadTags(path);
    ASSERT_EQ(tags.photometric, c.photometric);
    ASSERT_EQ(tags.bits, c.bits);
    ASSERT_EQ(tags.compression, c.compression);
    ASSERT_EQ(tags.tiled, c.tiled);
    ASSERT_EQ(tags.planar, c.planar);
    ASSERT_EQ(tags.fillOrder, c.fillOrder);

    auto reader = Open(path);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->pageCount(), 1);
    const PageInfo info = reader->pageInfo(0);
    EXPECT_EQ(info.width, kW);
    EXPECT_EQ(info.height, kH);
    if (c.photometric == PHOTOMETRIC_PALETTE) {
      EXPECT_EQ(info.colorsUsed, 1u << c.bits);
    }
    int bits = 0;
    auto ours = Page(*reader, 0, &bits);
    ASSERT_TRUE(ours);
    EXPECT_EQ(bits, c.bitmapBits);
    EXPECT_EQ(info.bitCount, c.bitmapBits);  // reported before decoding, as held
    auto theirs = ImageMagickDecode(path);
    ASSERT_TRUE(theirs);
    const int diff = MaxDifference(*ours, *theirs);
    EXPECT_GE(diff, 0);
    EXPECT_LE(diff, c.tolerance);
  }
}

TEST(TiffReader, EveryPageOfAMultiPageFile) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) or netpbm is not installed";
  const std::string path = TempDir() + "/multi.tif";
  // Three pages of different sizes and kinds: colour, gray and bilevel.
  ASSERT_TRUE(Shell("convert-im6.q16 '" + SourcePpm() + "' \\( '" + SourcePpm() +
                    "' -resize 20x11! -colorspace Gray \\) \\( '" + SourcePbm() + "' -rotate 90 \\) -compress LZW '" +
                    path + "'"));
  ASSERT_EQ(ReadTags(path).pages, 3);
  auto reader = Open(path);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 3);
  const int sizes[3][2] = {{kW, kH}, {20, 11}, {kH, kW}};
  for (int page : {2, 0, 1}) {
    SCOPED_TRACE(page);
    EXPECT_EQ(reader->pageInfo(page).width, sizes[page][0]);
    EXPECT_EQ(reader->pageInfo(page).height, sizes[page][1]);
    auto ours = Page(*reader, page);
    auto theirs = ImageMagickDecode(path, page);
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(MaxDifference(*ours, *theirs), 0);
  }
  EXPECT_EQ(reader->decodePage(3), nullptr);
}

TEST(TiffReader, ResolutionIsReported) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const std::string inch = TempDir() + "/dpi-inch.tif", cm = TempDir() + "/dpi-cm.tif";
  ASSERT_TRUE(Shell("convert-im6.q16 '" + SourcePpm() + "' -units PixelsPerInch -density 200x100 '" + inch + "'"));
  ASSERT_TRUE(Shell("convert-im6.q16 '" + SourcePpm() + "' -units PixelsPerCentimeter -density 40 '" + cm + "'"));
  auto a = Open(inch), b = Open(cm);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->pageInfo(0).xDpi, 200);
  EXPECT_EQ(a->pageInfo(0).yDpi, 100);
  EXPECT_EQ(b->pageInfo(0).xDpi, 102);
}

// ---- hand-made files ---------------------------------------------------------------

// A little-endian 4 x 2 8-bit gray TIFF with one strip; `nextIfd` is written as given.
std::vector<std::uint8_t> TinyGrayTiff(std::uint32_t nextIfd, std::uint32_t width = 4, std::uint32_t height = 2) {
  std::vector<std::uint8_t> d = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](unsigned v) {
    d.push_back(v & 0xFF);
    d.push_back((v >> 8) & 0xFF);
  };
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) d.push_back((v >> (8 * i)) & 0xFF);
  };
  const std::uint32_t entries = 8;
  const std::uint32_t pixelsAt = 8 + 2 + entries * 12 + 4;
  u16(entries);
  auto entry = [&](unsigned tag, unsigned type, std::uint32_t value) {
    u16(tag);
    u16(type);
    u32(1);
    u32(value);
  };
  entry(256, 4, width);
  entry(257, 4, height);
  entry(258, 3, 8);
  entry(259, 3, 1);
  entry(262, 3, 1);
  entry(273, 4, pixelsAt);
  entry(278, 4, height);
  entry(279, 4, 8);
  u32(nextIfd);
  for (int i = 0; i < 8; ++i) d.push_back(static_cast<std::uint8_t>(i * 32));
  return d;
}

std::unique_ptr<ImageReader> OpenBytes(const std::vector<std::uint8_t>& bytes) {
  auto file = std::make_shared<FileData>();
  file->bytes = bytes;
  return kTiffFormat.open(file);
}

TEST(TiffReader, DirectoryLoopEndsTheChain) {
  auto reader = OpenBytes(TinyGrayTiff(8));  // the next directory is the first again
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageCount(), 1);
  int bits = 0;
  auto page = Page(*reader, 0, &bits);
  ASSERT_TRUE(page);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(page->at(3, 1).r, 7 * 32);
}

TEST(TiffReader, DamagedFilesFailOrDecodePartly) {
  // The strip lies beyond the end of the file.
  auto cut = TinyGrayTiff(0);
  cut.resize(cut.size() - 8);
  auto reader = OpenBytes(cut);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->decodePage(0), nullptr);

  // A page of 100000 x 100000 pixels in a file of 120 bytes is not believed.
  reader = OpenBytes(TinyGrayTiff(0, 100000, 100000));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->decodePage(0), nullptr);

  // Not a TIFF at all, or only its first bytes.
  EXPECT_FALSE(OpenBytes({'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}));
  EXPECT_FALSE(OpenBytes({'M', 'M', 0}));

  if (!HaveTools()) return;
  // A compressed page cut in the middle keeps its top rows.
  const std::string path = TempDir() + "/cut-lzw.tif";
  ASSERT_TRUE(
      Shell("convert-im6.q16 '" + SourcePpm() + "' -define tiff:rows-per-strip=4 -compress LZW '" + path + "'"));
  auto bytes = ReadFile(path);
  auto theirs = ImageMagickDecode(path);
  ASSERT_TRUE(theirs);
  // Scramble the second half of the strips.
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_TRUE(tif);
  const std::uint32_t strips = TIFFNumberOfStrips(tif);
  std::uint64_t *offsets = nullptr, *counts = nullptr;
  ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts));
  ASSERT_GE(strips, 4u);
  for (std::uint32_t s = strips / 2; s < strips; ++s)
    for (std::uint64_t i = 0; i < counts[s]; ++i) bytes[offsets[s] + i] = static_cast<std::uint8_t>(0xFF - i);
  TIFFClose(tif);
  reader = OpenBytes(bytes);
  ASSERT_TRUE(reader);
  auto ours = Page(*reader, 0);
  ASSERT_TRUE(ours);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(ours->at(x, y), theirs->at(x, y));
}

}  // namespace
}  // namespace lorimer::formats
