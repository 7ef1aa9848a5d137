// Targa reading: netpbm and ImageMagick files compared with those tools' own decodes,
// hand-made files for origins, 16-bit pixels, offset colour maps, RLE packets that
// span scanlines, alpha, truncation and the strict header checks.
#include <gtest/gtest.h>

#include <tuple>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::DecodeBytes;
using testing::DecodeWith;
using testing::FindTool;
using testing::MaxDifference;
using testing::OpenBytes;
using testing::ReadPnm;
using testing::Rgb;
using testing::RgbImage;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

std::vector<std::uint8_t> Pnm(int w, int h, int colors, bool grey = false) {
  std::string head = std::string(grey ? "P5" : "P6") + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (grey) {
        d.push_back(static_cast<std::uint8_t>((x * 11 + y * 29) & 0xFF));
      } else if (colors == 0) {
        d.insert(d.end(), {static_cast<std::uint8_t>(x * 255 / w), static_cast<std::uint8_t>(y * 255 / h),
                           static_cast<std::uint8_t>((x * 5 + y * 9) & 0xFF)});
      } else {
        // Long flat stretches, so RLE writers produce repeat packets.
        const int c = (x / 4 + y / 3) % colors;
        d.insert(d.end(), {static_cast<std::uint8_t>(c * 67), static_cast<std::uint8_t>(255 - c * 31),
                           static_cast<std::uint8_t>(c * 13)});
      }
    }
  }
  return d;
}

struct TgaShape {
  int type = 2;
  int mapType = 0;
  int mapFirst = 0;
  int mapLength = 0;
  int mapBits = 0;
  int width = 1;
  int height = 1;
  int depth = 24;
  int descriptor = 0;
  int idLength = 0;
};

std::vector<std::uint8_t> TgaHeader(const TgaShape& s) {
  auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
  auto hi = [](int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); };
  std::vector<std::uint8_t> h = {lo(s.idLength),
                                 lo(s.mapType),
                                 lo(s.type),
                                 lo(s.mapFirst),
                                 hi(s.mapFirst),
                                 lo(s.mapLength),
                                 hi(s.mapLength),
                                 lo(s.mapBits),
                                 0,
                                 0,
                                 0,
                                 0,
                                 lo(s.width),
                                 hi(s.width),
                                 lo(s.height),
                                 hi(s.height),
                                 lo(s.depth),
                                 lo(s.descriptor)};
  h.insert(h.end(), static_cast<std::size_t>(s.idLength), 'x');
  return h;
}

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// --- interoperability ----------------------------------------------------------------

TEST(TgaReader, MatchesNetpbmForEveryTypeItWrites) {
  if (FindTool("pamtotga").empty() || FindTool("tgatoppm").empty())
    GTEST_SKIP() << "netpbm (pamtotga, tgatoppm) not installed";
  struct Case {
    const char* options;
    int colors;
    bool grey;
    int bitCount;
  } const cases[] = {
      {"-rgb -norle", 0, false, 24},  // type 2
      {"-rgb", 0, false, 24},         // type 10
      {"-cmap -norle", 9, false, 8},  // type 1
      {"-cmap", 9, false, 8},         // type 9
      {"-mono -norle", 0, true, 8},   // type 3
      {"-mono", 0, true, 8},          // type 11
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pamtotga ") + c.options);
    const std::string name = "pamtotga" + std::to_string(++n);
    const std::string base = TempDir() + "/" + name;
    WriteTempFile(name + ".pnm", Pnm(45 + n, 23, c.colors, c.grey));
    ASSERT_TRUE(Shell("pamtotga " + std::string(c.options) + " " + base + ".pnm > " + base + ".tga"));
    ASSERT_TRUE(Shell("tgatoppm " + base + ".tga > " + base + ".out.ppm"));
    auto expected = ReadPnm(base + ".out.ppm");
    auto original = ReadPnm(base + ".pnm");
    auto actual = DecodeWith(kTgaFormat, base + ".tga");
    ASSERT_TRUE(expected && original);
    ASSERT_TRUE(actual);
    EXPECT_EQ(MaxDifference(*actual, *expected), 0);
    EXPECT_EQ(MaxDifference(*actual, *original), 0);
    auto reader = OpenBytes(kTgaFormat, testing::ReadFile(base + ".tga"));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->pageInfo(0).bitCount, c.bitCount);
  }
}

// RGBA with every alpha level from clear to opaque across the picture.
std::vector<std::uint8_t> PamWithAlpha(int w, int h) {
  const std::string head = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                           "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      d.insert(d.end(),
               {static_cast<std::uint8_t>(x * 255 / w), static_cast<std::uint8_t>(40 + y),
                static_cast<std::uint8_t>(200 - x), static_cast<std::uint8_t>((x + 3 * y) * 255 / (w + 3 * h))});
    }
  }
  return d;
}

// ImageMagick 6 keeps Targa rows in stored order and only records the origin, so its
// decode needs -auto-orient to show bottom-left files the right way up.
std::optional<RgbImage> ImageMagickUpright(const std::string& path) {
  const std::string out = path + ".upright.ppm";
  if (!Shell("convert-im6.q16 " + path +
             " -auto-orient -background white -alpha remove -alpha off -depth 8 ppm:" + out)) {
    return std::nullopt;
  }
  return ReadPnm(out);
}

TEST(TgaReader, MatchesImageMagickIncludingAlphaOnWhite) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) not installed";
  const std::string dir = TempDir();
  WriteTempFile("im-tga.ppm", Pnm(61, 33, 0));
  WriteTempFile("im-tga-few.ppm", Pnm(29, 15, 7));
  WriteTempFile("im-tga-alpha.pam", PamWithAlpha(50, 20));
  struct Case {
    const char* name;
    const char* arguments;
    int tolerance;  // alpha blending may round the other way
  } const cases[] = {
      {"im-raw.tga", "im-tga.ppm", 0},
      {"im-rle.tga", "im-tga.ppm -compress RLE", 0},
      {"im-mapped.tga", "im-tga-few.ppm -type Palette", 0},
      {"im-mapped-rle.tga", "im-tga-few.ppm -type Palette -compress RLE", 0},
      {"im-grey.tga", "im-tga.ppm -colorspace Gray", 0},
      {"im-alpha.tga", "im-tga-alpha.pam", 1},
      {"im-alpha-rle.tga", "im-tga-alpha.pam -compress RLE", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Shell("cd " + dir + " && convert-im6.q16 " + c.arguments + " " + c.name));
    auto expected = ImageMagickUpright(dir + "/" + c.name);
    auto actual = DecodeWith(kTgaFormat, dir + "/" + c.name);
    ASSERT_TRUE(expected);
    ASSERT_TRUE(actual);
    EXPECT_GE(MaxDifference(*actual, *expected), 0);  // same size
    EXPECT_LE(MaxDifference(*actual, *expected), c.tolerance);
    if (FindTool("tgatoppm").empty() || c.tolerance > 0) continue;
    const std::string netpbm = dir + "/" + c.name + ".netpbm.ppm";
    ASSERT_TRUE(Shell("tgatoppm " + dir + "/" + c.name + " > " + netpbm));
    auto other = ReadPnm(netpbm);
    ASSERT_TRUE(other);
    EXPECT_EQ(MaxDifference(*actual, *other), 0);
  }
}

// --- hand-made files -----------------------------------------------------------------

TEST(TgaReader, RlePacketsRunOnAcrossScanlines) {
  TgaShape s;
  s.type = 10;
  s.width = 3;
  s.height = 2;
  // Bottom-left origin: the first stored row is the bottom one. A repeat packet of 4
  // fills that row and the first pixel of the top row; a raw packet of 2 ends it.
  const std::vector<std::uint8_t> data = {0x83, 10, 20, 30, /**/ 0x01, 1, 2, 3, 4, 5, 6};
  auto image = DecodeBytes(kTgaFormat, Concat(TgaHeader(s), data));
  ASSERT_TRUE(image);
  const Rgb run{30, 20, 10};
  EXPECT_EQ(image->pixels, (std::vector<Rgb>{run, {3, 2, 1}, {6, 5, 4}, run, run, run}));
}

TEST(TgaReader, SixteenBitPixelsFromTheTopRight) {
  TgaShape s;
  s.type = 2;
  s.depth = 16;
  s.width = 2;
  s.height = 2;
  s.descriptor = 0x30;  // top-to-bottom, right-to-left
  auto px = [](int r, int g, int b, int a) {
    const int v = (a << 15) | (r << 10) | (g << 5) | b;
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
  };
  std::vector<std::uint8_t> data;
  for (const auto& p : {px(31, 0, 0, 0), px(0, 31, 0, 1), px(0, 0, 31, 0), px(1, 16, 3, 1)}) data = Concat(data, p);
  auto image = DecodeBytes(kTgaFormat, Concat(TgaHeader(s), data));
  ASSERT_TRUE(image);
  // Stored order: top row right to left, then the bottom row right to left. The
  // attribute bit does not make pixels transparent; 5-bit values scale to 0..255.
  EXPECT_EQ(image->at(1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(image->at(0, 0), (Rgb{0, 255, 0}));
  EXPECT_EQ(image->at(1, 1), (Rgb{0, 0, 255}));
  EXPECT_EQ(image->at(0, 1), (Rgb{8, 132, 25}));
  auto reader = OpenBytes(kTgaFormat, Concat(TgaHeader(s), data));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageInfo(0).bitCount, 24);  // held as 24 bits
  EXPECT_EQ(reader->pageInfo(0).colorsUsed, 0u);
}

TEST(TgaReader, ColourMapThatStartsPastZero) {
  TgaShape s;
  s.type = 1;
  s.mapType = 1;
  s.mapFirst = 5;
  s.mapLength = 3;
  s.mapBits = 24;
  s.width = 4;
  s.height = 1;
  s.depth = 8;
  s.idLength = 3;
  const std::vector<std::uint8_t> map = {1, 2, 3, /**/ 4, 5, 6, /**/ 7, 8, 9};  // B, G, R
  const std::vector<std::uint8_t> pixels = {5, 7, 6, 2};                        // 2 is below the map
  auto image = DecodeBytes(kTgaFormat, Concat(Concat(TgaHeader(s), map), pixels));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (std::vector<Rgb>{{3, 2, 1}, {9, 8, 7}, {6, 5, 4}, {0, 0, 0}}));

  // The same with 15-bit map entries.
  s.mapBits = 15;
  const std::vector<std::uint8_t> map15 = {0x1F, 0x00, /**/ 0xE0, 0x03, /**/ 0x00, 0x7C};  // blue, green, red
  image = DecodeBytes(kTgaFormat, Concat(Concat(TgaHeader(s), map15), pixels));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (std::vector<Rgb>{{0, 0, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 0}}));
}

TEST(TgaReader, AlphaIsCompositedOnWhiteOnlyWhenItMeansSomething) {
  TgaShape s;
  s.type = 2;
  s.depth = 32;
  s.width = 3;
  s.height = 1;
  s.descriptor = 0x28;  // top-down, 8 alpha bits
  const std::vector<std::uint8_t> data = {0, 0, 200, 0, /**/ 0, 0, 200, 255, /**/ 0, 0, 200, 128};
  auto image = DecodeBytes(kTgaFormat, Concat(TgaHeader(s), data));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (std::vector<Rgb>{{255, 255, 255}, {200, 0, 0}, {227, 127, 127}}));

  // No alpha bits in the descriptor: the fourth byte is padding.
  s.descriptor = 0x20;
  image = DecodeBytes(kTgaFormat, Concat(TgaHeader(s), data));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(0, 0), (Rgb{200, 0, 0}));

  // Every alpha zero: a writer that never filled it in.
  s.descriptor = 0x28;
  image = DecodeBytes(kTgaFormat, Concat(TgaHeader(s), {0, 0, 200, 0, 0, 90, 0, 0, 9, 0, 0, 0}));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, (std::vector<Rgb>{{200, 0, 0}, {0, 90, 0}, {0, 0, 9}}));

  // The extension area says "no alpha".
  std::vector<std::uint8_t> file = Concat(TgaHeader(s), data);
  const std::uint32_t extension = static_cast<std::uint32_t>(file.size());
  std::vector<std::uint8_t> area(495, 0);
  area[0] = 495 & 0xFF;
  area[1] = 495 >> 8;
  area[494] = 0;
  file = Concat(file, area);
  file =
      Concat(file, {static_cast<std::uint8_t>(extension), static_cast<std::uint8_t>(extension >> 8), 0, 0, 0, 0, 0, 0});
  const std::string signature = "TRUEVISION-XFILE.";
  file.insert(file.end(), signature.begin(), signature.end());
  file.push_back(0);
  image = DecodeBytes(kTgaFormat, file);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(0, 0), (Rgb{200, 0, 0}));
}

// Gray with alpha, a byte each: held as 8-bit gray, alpha drawn over white as for
// 32-bit pixels, raw (type 3) and run-length (type 11) alike.
TEST(TgaReader, SixteenBitGrayIsGrayOverWhite) {
  const std::vector<std::uint8_t> raw = {200, 0, /**/ 200, 255, /**/ 200, 128};
  const std::vector<std::uint8_t> rle = {0x02, 200, 0, 200, 255, 200, 128};  // one raw packet of three
  for (const auto& [type, data, descriptor, expected] :
       {std::tuple{3, raw, 0x28, std::vector<std::uint8_t>{255, 200, 227}},
        std::tuple{11, rle, 0x28, std::vector<std::uint8_t>{255, 200, 227}},
        std::tuple{3, raw, 0x20, std::vector<std::uint8_t>{200, 200, 200}}}) {  // no alpha bits: padding
    SCOPED_TRACE(type * 1000 + descriptor);
    TgaShape s;
    s.type = type;
    s.depth = 16;
    s.width = 3;
    s.descriptor = descriptor;
    auto reader = OpenBytes(kTgaFormat, Concat(TgaHeader(s), data));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->pageInfo(0).bitCount, 8);
    HBITMAP page = reader->decodePage(0);
    BITMAP bm{};
    ASSERT_TRUE(GetObject(page, sizeof bm, &bm));
    EXPECT_EQ(bm.bmBitsPixel, 8);
    auto image = BitmapToRgb(page);
    DeleteObject(page);
    ASSERT_TRUE(image);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(image->at(x, 0), (Rgb{expected[x], expected[x], expected[x]})) << x;
  }
}

TEST(TgaReader, TruncatedRawFileFillsTheMissingRowsWithZero) {
  TgaShape s;
  s.type = 3;
  s.depth = 8;
  s.width = 4;
  s.height = 3;  // bottom-left origin
  auto image = DecodeBytes(kTgaFormat, Concat(TgaHeader(s), {10, 11, 12, 13, 20, 21}));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(3, 2), (Rgb{13, 13, 13}));
  EXPECT_EQ(image->at(1, 1), (Rgb{21, 21, 21}));
  EXPECT_EQ(image->at(2, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(image->at(0, 0), (Rgb{0, 0, 0}));
}

TEST(TgaReader, RejectsHeadersThatDoNotAddUp) {
  TgaShape good;
  good.type = 2;
  good.width = 2;
  good.height = 2;
  const std::vector<std::uint8_t> pixels(12, 0x40);
  ASSERT_TRUE(OpenBytes(kTgaFormat, Concat(TgaHeader(good), pixels)));

  auto rejects = [&](const char* what, auto change) {
    TgaShape s = good;
    change(s);
    EXPECT_FALSE(OpenBytes(kTgaFormat, Concat(TgaHeader(s), pixels))) << what;
  };
  rejects("unknown type 4", [](TgaShape& s) { s.type = 4; });
  rejects("no image (type 0)", [](TgaShape& s) { s.type = 0; });
  rejects("depth 8 for true colour", [](TgaShape& s) { s.depth = 8; });
  rejects("depth 24 for grey", [](TgaShape& s) { s.type = 3; });
  rejects("mapped without a map", [](TgaShape& s) {
    s.type = 1;
    s.depth = 8;
  });
  rejects("map entry size 8", [](TgaShape& s) {
    s.mapType = 1;
    s.mapLength = 2;
    s.mapBits = 8;
  });
  rejects("map longer than the file", [](TgaShape& s) {
    s.mapType = 1;
    s.mapLength = 200;
    s.mapBits = 24;
  });
  rejects("colour map type 2", [](TgaShape& s) { s.mapType = 2; });
  rejects("zero width", [](TgaShape& s) { s.width = 0; });
  rejects("more pixels than the data could hold", [](TgaShape& s) {
    s.width = 65535;
    s.height = 65535;
  });
  rejects("RLE claiming more than 128 pixels per byte", [](TgaShape& s) {
    s.type = 10;
    s.width = 1000;
    s.height = 10;
  });
  EXPECT_FALSE(OpenBytes(kTgaFormat, TgaHeader(good)));                   // header only
  EXPECT_FALSE(OpenBytes(kTgaFormat, std::vector<std::uint8_t>(10, 0)));  // shorter than a header
}

}  // namespace
}  // namespace lorimer::formats
