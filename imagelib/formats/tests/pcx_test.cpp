// PCX and DCX reading: files from netpbm and ImageMagick decoded pixel for pixel as
// those tools decode them, plus hand-made files for the stream and header edge cases.
#include <gtest/gtest.h>

#include <algorithm>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::DecodeBytes;
using testing::DecodeWith;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::OpenBytes;
using testing::ReadPnm;
using testing::RgbImage;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

// Run() sends stdout to /dev/null; a subshell keeps our own redirections.
std::vector<std::uint8_t> Ppm(int w, int h, int colors) {
  std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (colors == 0) {  // many colours
        d.push_back(static_cast<std::uint8_t>(x * 255 / w));
        d.push_back(static_cast<std::uint8_t>(y * 255 / h));
        d.push_back(static_cast<std::uint8_t>((x * 7 + y * 13) & 0xFF));
      } else {
        const int c = (x / 3 + y * 5 + (x * y) % 7) % colors;
        d.push_back(static_cast<std::uint8_t>(c * 37 % 256));
        d.push_back(static_cast<std::uint8_t>(c * 91 % 256));
        d.push_back(static_cast<std::uint8_t>(255 - c * 53 % 256));
      }
    }
  }
  return d;
}

struct PcxShape {
  int version = 5;
  int encoding = 1;
  int bits = 8;
  int planes = 1;
  int width = 1;
  int height = 1;
  int bytesPerLine = 2;
  std::vector<std::uint8_t> headerPalette;  // up to 48 bytes
};

std::vector<std::uint8_t> PcxHeader(const PcxShape& s) {
  std::vector<std::uint8_t> h(128, 0);
  h[0] = 0x0A;
  h[1] = static_cast<std::uint8_t>(s.version);
  h[2] = static_cast<std::uint8_t>(s.encoding);
  h[3] = static_cast<std::uint8_t>(s.bits);
  h[8] = static_cast<std::uint8_t>((s.width - 1) & 0xFF);
  h[9] = static_cast<std::uint8_t>((s.width - 1) >> 8);
  h[10] = static_cast<std::uint8_t>((s.height - 1) & 0xFF);
  h[11] = static_cast<std::uint8_t>((s.height - 1) >> 8);
  h[12] = 150;
  h[14] = 75;
  std::copy_n(s.headerPalette.begin(), std::min<std::size_t>(48, s.headerPalette.size()), h.begin() + 16);
  h[65] = static_cast<std::uint8_t>(s.planes);
  h[66] = static_cast<std::uint8_t>(s.bytesPerLine & 0xFF);
  h[67] = static_cast<std::uint8_t>(s.bytesPerLine >> 8);
  return h;
}

// Run-length codes a whole byte stream at once, so runs freely cross plane and row ends.
std::vector<std::uint8_t> RleStream(const std::vector<std::uint8_t>& raw) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t n = 1;
    while (i + n < raw.size() && raw[i + n] == raw[i] && n < 63) ++n;
    if (n > 1 || raw[i] >= 0xC0) out.push_back(static_cast<std::uint8_t>(0xC0 | n));
    out.push_back(raw[i]);
    i += n;
  }
  return out;
}

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// --- interoperability ----------------------------------------------------------------

struct NetpbmCase {
  const char* options;
  int colors;        // colours in the source picture (0 = many)
  int bitCount;      // what the reader should report: the depth the page is held at
  unsigned palette;  // colorsUsed expected
};

TEST(PcxReader, MatchesNetpbmForEveryPlaneLayout) {
  if (FindTool("ppmtopcx").empty() || FindTool("pcxtoppm").empty())
    GTEST_SKIP() << "netpbm (ppmtopcx, pcxtoppm) not installed";
  const NetpbmCase cases[] = {
      {"-24bit", 0, 24, 0},    // 3 planes x 8 bits, RLE
      {"-8bit", 200, 8, 256},  // 1 x 8 with the palette at the end
      {"", 16, 4, 16},         // 4 planes x 1 bit, header palette
      {"-packed", 16, 4, 16},  // 1 plane x 4 bits
      {"", 4, 4, 4},           // 2 planes x 1 bit
      {"-packed", 4, 4, 4},    // 1 plane x 2 bits (CGA-like)
      {"-planes=3", 6, 4, 8},  // 3 planes x 1 bit
      {"", 2, 1, 2},           // monochrome
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("ppmtopcx ") + c.options + " colours " + std::to_string(c.colors));
    const std::string base = TempDir() + "/netpbm" + std::to_string(++n);
    // Odd widths make bytesPerLine padding and partial last bytes matter.
    WriteTempFile("netpbm" + std::to_string(n) + ".ppm", Ppm(37 + n, 21, c.colors));
    ASSERT_TRUE(Shell("ppmtopcx " + std::string(c.options) + " " + base + ".ppm > " + base + ".pcx"));
    ASSERT_TRUE(Shell("pcxtoppm " + base + ".pcx > " + base + ".out.ppm"));
    auto expected = ReadPnm(base + ".out.ppm");
    auto original = ReadPnm(base + ".ppm");
    auto actual = DecodeWith(kPcxFormat, base + ".pcx");
    ASSERT_TRUE(expected && original);
    ASSERT_TRUE(actual);
    EXPECT_EQ(MaxDifference(*actual, *expected), 0);
    EXPECT_EQ(MaxDifference(*actual, *original), 0);

    auto file = std::make_shared<FileData>();
    file->bytes = testing::ReadFile(base + ".pcx");
    auto reader = kPcxFormat.open(file);
    ASSERT_TRUE(reader);
    const PageInfo info = reader->pageInfo(0);
    EXPECT_EQ(info.bitCount, c.bitCount);
    EXPECT_EQ(info.colorsUsed, c.palette);
    EXPECT_EQ(info.width, 37 + n);
    EXPECT_EQ(info.height, 21);
  }
}

TEST(PcxReader, MatchesImageMagickTrueColourAndPalette) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) not installed";
  const std::string dir = TempDir();
  WriteTempFile("im-many.ppm", Ppm(53, 17, 0));
  WriteTempFile("im-few.ppm", Ppm(31, 9, 40));
  ASSERT_TRUE(Shell("convert-im6.q16 " + dir + "/im-many.ppm " + dir + "/im-many.pcx"));
  ASSERT_TRUE(Shell("convert-im6.q16 " + dir + "/im-few.ppm -type Palette " + dir + "/im-few.pcx"));
  ASSERT_TRUE(Shell("convert-im6.q16 " + dir + "/im-few.ppm -monochrome " + dir + "/im-mono.pcx"));
  for (const char* name : {"im-many.pcx", "im-few.pcx", "im-mono.pcx"}) {
    SCOPED_TRACE(name);
    auto expected = ImageMagickDecode(dir + "/" + name);
    auto actual = DecodeWith(kPcxFormat, dir + "/" + name);
    ASSERT_TRUE(expected);
    ASSERT_TRUE(actual);
    EXPECT_EQ(MaxDifference(*actual, *expected), 0);
  }
}

TEST(DcxReader, ReadsEveryPageImageMagickWrites) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) not installed";
  const std::string dir = TempDir();
  WriteTempFile("dcx-a.ppm", Ppm(40, 30, 0));
  WriteTempFile("dcx-b.ppm", Ppm(17, 45, 12));
  ASSERT_TRUE(Shell("convert-im6.q16 " + dir + "/dcx-a.ppm " + dir + "/dcx-b.ppm " + dir + "/pages.dcx"));
  auto file = std::make_shared<FileData>();
  file->bytes = testing::ReadFile(dir + "/pages.dcx");
  ASSERT_TRUE(kDcxFormat.sniff(file->bytes.data(), file->bytes.size(), file->bytes.size()));
  auto reader = kDcxFormat.open(file);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 2);
  for (int page = 0; page < 2; ++page) {
    SCOPED_TRACE(page);
    auto original = ReadPnm(dir + (page == 0 ? "/dcx-a.ppm" : "/dcx-b.ppm"));
    auto actual = DecodeWith(kDcxFormat, dir + "/pages.dcx", page);
    ASSERT_TRUE(original && actual);
    EXPECT_EQ(MaxDifference(*actual, *original), 0);
    EXPECT_EQ(reader->pageInfo(page).width, original->width);
  }
}

// --- the decoder's own edge cases ----------------------------------------------------

// Two scanlines of 3 RGB pixels, bytesPerLine 4 (one pad byte per plane row). The
// values are chosen so that runs span pad bytes, plane ends and the row end.
std::vector<std::uint8_t> RgbPlaneRows() {
  return {
      // row 0: R, G, B plane rows
      7,
      7,
      7,
      7,
      /**/ 7,
      7,
      0xC5,
      0xC5,
      /**/ 0xC5,
      1,
      2,
      2,
      // row 1
      2,
      2,
      2,
      9,
      /**/ 9,
      9,
      9,
      9,
      /**/ 9,
      0xFF,
      0xFF,
      0xFF,
  };
}

TEST(PcxReader, RunsCrossPlaneAndRowEnds) {
  PcxShape s;
  s.bits = 8;
  s.planes = 3;
  s.width = 3;
  s.height = 2;
  s.bytesPerLine = 4;
  const auto raw = RgbPlaneRows();
  const auto coded = RleStream(raw);
  ASSERT_LT(coded.size(), raw.size());  // the test is about runs, so there must be some
  const RgbImage expected{3, 2, {{7, 7, 0xC5}, {7, 7, 1}, {7, 0xC5, 2}, {2, 9, 9}, {2, 9, 0xFF}, {2, 9, 0xFF}}};
  for (int encoding : {1, 0}) {
    SCOPED_TRACE(encoding ? "RLE" : "uncompressed");
    s.encoding = encoding;
    auto actual = DecodeBytes(kPcxFormat, Concat(PcxHeader(s), encoding ? coded : raw));
    ASSERT_TRUE(actual);
    EXPECT_EQ(actual->pixels, expected.pixels);
  }
}

TEST(PcxReader, EightBitPaletteOrGreyWhenAbsent) {
  PcxShape s;
  s.bits = 8;
  s.width = 3;
  s.height = 1;
  s.bytesPerLine = 4;
  const std::vector<std::uint8_t> raw = {0, 1, 200, 0};
  const auto image = Concat(PcxHeader(s), RleStream(raw));

  auto grey = DecodeBytes(kPcxFormat, image);
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->pixels, (std::vector<testing::Rgb>{{0, 0, 0}, {1, 1, 1}, {200, 200, 200}}));

  std::vector<std::uint8_t> palette(769, 0);
  palette[0] = 0x0C;
  palette[1 + 3 * 1 + 0] = 10;  // entry 1
  palette[1 + 3 * 1 + 2] = 30;
  palette[1 + 3 * 200 + 1] = 99;  // entry 200
  auto colour = DecodeBytes(kPcxFormat, Concat(image, palette));
  ASSERT_TRUE(colour);
  EXPECT_EQ(colour->pixels, (std::vector<testing::Rgb>{{0, 0, 0}, {10, 0, 30}, {0, 99, 0}}));
}

TEST(PcxReader, SixteenColourFilesWithoutPaletteUseTheEgaDefaults) {
  PcxShape s;
  s.version = 3;  // "no palette information"
  s.bits = 4;
  s.planes = 1;
  s.width = 4;
  s.height = 1;
  s.bytesPerLine = 2;
  s.headerPalette.assign(48, 0x33);  // ignored for version 3
  auto image = DecodeBytes(kPcxFormat, Concat(PcxHeader(s), RleStream({0x0F, 0x19})));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (std::vector<testing::Rgb>{{0, 0, 0}, {255, 255, 255}, {0, 0, 0xAA}, {0x55, 0x55, 0xFF}}));
}

TEST(PcxReader, TruncatedDataKeepsTheRowsThatArrived) {
  PcxShape s;
  s.bits = 8;
  s.width = 4;
  s.height = 4;
  s.bytesPerLine = 4;
  s.encoding = 0;
  std::vector<std::uint8_t> raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // two and a half rows
  auto image = DecodeBytes(kPcxFormat, Concat(PcxHeader(s), raw));
  // Uncompressed data must be complete: a short raw file claims more than it holds.
  EXPECT_FALSE(image);

  s.encoding = 1;
  image = DecodeBytes(kPcxFormat, Concat(PcxHeader(s), raw));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(3, 1), (testing::Rgb{8, 8, 8}));
  EXPECT_EQ(image->at(1, 2), (testing::Rgb{10, 10, 10}));
  EXPECT_EQ(image->at(2, 2), (testing::Rgb{0, 0, 0}));
  EXPECT_EQ(image->at(0, 3), (testing::Rgb{0, 0, 0}));
}

TEST(PcxReader, RejectsImpossibleHeaders) {
  PcxShape good;
  good.bits = 8;
  good.planes = 3;
  good.width = 3;
  good.height = 2;
  good.bytesPerLine = 4;
  const auto data = RleStream(RgbPlaneRows());
  ASSERT_TRUE(OpenBytes(kPcxFormat, Concat(PcxHeader(good), data)));

  auto rejects = [&](const char* what, auto change) {
    PcxShape s = good;
    std::vector<std::uint8_t> header = PcxHeader(s);
    change(header);
    const auto bytes = Concat(header, data);
    EXPECT_FALSE(kPcxFormat.sniff(bytes.data(), bytes.size(), bytes.size()) && OpenBytes(kPcxFormat, bytes)) << what;
  };
  rejects("manufacturer byte", [](auto& h) { h[0] = 0x0B; });
  rejects("version 1", [](auto& h) { h[1] = 1; });
  rejects("encoding 2", [](auto& h) { h[2] = 2; });
  rejects("3 bits per pixel", [](auto& h) { h[3] = 3; });
  rejects("2 planes of 8 bits", [](auto& h) { h[65] = 2; });
  rejects("xmax before xmin", [](auto& h) { h[4] = 9; });
  rejects("bytes per line too short", [](auto& h) { h[66] = 2; });
  rejects("more rows than the data can expand to", [](auto& h) {
    h[10] = 0xFF;
    h[11] = 0x7F;
  });
  EXPECT_FALSE(OpenBytes(kPcxFormat, PcxHeader(good)));  // no data at all
}

TEST(DcxReader, BadPagesFailAloneAndEmptyTablesFailTheFile) {
  PcxShape s;
  s.bits = 8;
  s.planes = 3;
  s.width = 3;
  s.height = 2;
  s.bytesPerLine = 4;
  const auto page = Concat(PcxHeader(s), RleStream(RgbPlaneRows()));
  // Table: page 0 good, page 1 points at junk, page 2 past the end; then the 0 end mark.
  std::vector<std::uint8_t> dcx = {0xB1, 0x68, 0xDE, 0x3A};
  const std::uint32_t first = 4 + 4 * 4;
  const std::uint32_t second = first + static_cast<std::uint32_t>(page.size());
  for (std::uint32_t v : {first, second, 0x7FFFFFFFu, 0u}) {
    for (int i = 0; i < 4; ++i) dcx.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  dcx = Concat(dcx, page);
  dcx = Concat(dcx, std::vector<std::uint8_t>(200, 0x55));
  auto reader = OpenBytes(kDcxFormat, dcx);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 2);
  HBITMAP good = reader->decodePage(0);
  ASSERT_TRUE(good);
  auto rgb = BitmapToRgb(good);
  DeleteObject(good);
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->at(2, 1), (testing::Rgb{2, 9, 0xFF}));
  EXPECT_EQ(reader->decodePage(1), nullptr);
  EXPECT_EQ(reader->pageInfo(1).width, 0);

  std::vector<std::uint8_t> none = {0xB1, 0x68, 0xDE, 0x3A, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(OpenBytes(kDcxFormat, none));
  std::vector<std::uint8_t> empty = {0xB1, 0x68, 0xDE, 0x3A, 0, 0, 0, 0};
  EXPECT_FALSE(OpenBytes(kDcxFormat, empty));
}

}  // namespace
}  // namespace lorimer::formats
