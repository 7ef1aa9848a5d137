// GEM IMG reading: pbmtogem files against gemtopnm, and hand-coded files for colour
// planes, XIMG palettes, every opcode, clipping, truncation and header checks.
#include <gtest/gtest.h>

#include <array>

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

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

void Put16(std::vector<std::uint8_t>& v, int x) {
  v.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
  v.push_back(static_cast<std::uint8_t>(x & 0xFF));
}

struct GemShape {
  int version = 1;
  int headerWords = 8;
  int planes = 1;
  int patternLength = 1;
  int microns = 85;  // about 300 dpi
  int width = 8;
  int height = 1;
};

std::vector<std::uint8_t> GemHeader(const GemShape& s) {
  std::vector<std::uint8_t> h;
  for (int v : {s.version, s.headerWords, s.planes, s.patternLength, s.microns, s.microns, s.width, s.height})
    Put16(h, v);
  return h;
}

// An XIMG header with the given palette (per mille R, G, B per colour).
std::vector<std::uint8_t> XimgHeader(GemShape s, const std::vector<std::array<int, 3>>& palette) {
  s.headerWords = 11 + 3 * static_cast<int>(palette.size());
  std::vector<std::uint8_t> h = GemHeader(s);
  h.insert(h.end(), {'X', 'I', 'M', 'G'});
  Put16(h, 0);
  for (const auto& c : palette) {
    for (int v : c) Put16(h, v);
  }
  return h;
}

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A bilevel picture with solid rows, patterns, noise and blank stretches, so the
// writer uses scanline repeats, pattern runs, solid runs and literals.
std::vector<std::uint8_t> Pbm(int w, int h) {
  const std::string head = "P4\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  const int rowBytes = (w + 7) / 8;
  for (int y = 0; y < h; ++y) {
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (int x = 0; x < w; ++x) {
      const bool black = y < 5 || (y >= 10 && y < 14 && x % 2 == 0) || (y >= 20 && y < 30 && (x * y) % 7 < 3) ||
                         (y >= 35 && x > w - 11);
      if (black) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    d.insert(d.end(), row.begin(), row.end());
  }
  return d;
}

TEST(GemReader, MatchesNetpbmOnPbmtogemFiles) {
  if (FindTool("pbmtogem").empty() || FindTool("gemtopnm").empty())
    GTEST_SKIP() << "netpbm (pbmtogem, gemtopnm) not installed";
  for (int width : {61, 64, 250}) {
    SCOPED_TRACE(width);
    const std::string name = "gem" + std::to_string(width);
    const std::string base = TempDir() + "/" + name;
    WriteTempFile(name + ".pbm", Pbm(width, 40));
    ASSERT_TRUE(Shell("pbmtogem " + base + ".pbm > " + base + ".img"));
    ASSERT_TRUE(Shell("gemtopnm " + base + ".img > " + base + ".out.pnm"));
    auto expected = ReadPnm(base + ".out.pnm");
    auto original = ReadPnm(base + ".pbm");
    auto actual = DecodeWith(kGemFormat, base + ".img");
    ASSERT_TRUE(expected && original);
    ASSERT_TRUE(actual);
    EXPECT_EQ(MaxDifference(*actual, *expected), 0);
    EXPECT_EQ(MaxDifference(*actual, *original), 0);
  }
}

TEST(GemReader, HeaderValuesBecomePageInfo) {
  GemShape s;
  s.microns = 254;  // 100 dpi
  s.width = 10;
  s.height = 3;
  auto reader = OpenBytes(kGemFormat, Concat(GemHeader(s), {0x80, 2, 0xAA, 0x55}));
  ASSERT_TRUE(reader);
  const PageInfo info = reader->pageInfo(0);
  EXPECT_EQ(info.width, 10);
  EXPECT_EQ(info.height, 3);
  EXPECT_EQ(info.bitCount, 1);
  EXPECT_EQ(info.colorsUsed, 2u);
  EXPECT_EQ(info.xDpi, 100);
  EXPECT_EQ(info.yDpi, 100);
}

TEST(GemReader, OpcodesRepeatsClippingAndTheEndOfData) {
  GemShape s;
  s.width = 16;  // 2 bytes per row
  s.height = 7;
  s.patternLength = 2;
  const std::vector<std::uint8_t> data = {
      0x00, 0x00, 0xFF, 0x03, 0x80, 0x02, 0xF0, 0x0F,  // rows 0-2: literal, shown three times
      0x00, 0x05, 0xC3, 0x3C,                          // row 3: pattern run, clipped to one copy
      0x85,                                            // row 4: five bytes of 0xFF, clipped to two
      0x01, 0x81,                                      // row 5: one 0x00, one 0xFF
      0x80, 0x01,                                      // row 6: a literal cut short by the end of data
  };
  auto image = DecodeBytes(kGemFormat, Concat(GemHeader(s), data));
  ASSERT_TRUE(image);
  auto rowOf = [&](int y) {
    std::string bits;
    for (int x = 0; x < 16; ++x) bits += image->at(x, y) == kBlack ? '#' : image->at(x, y) == kWhite ? '.' : '?';
    return bits;
  };
  EXPECT_EQ(rowOf(0), "####........####");
  EXPECT_EQ(rowOf(1), "####........####");
  EXPECT_EQ(rowOf(2), "####........####");
  EXPECT_EQ(rowOf(3), "##....##..####..");
  EXPECT_EQ(rowOf(4), "################");
  EXPECT_EQ(rowOf(5), "........########");
  EXPECT_EQ(rowOf(6), "................");  // not in the file: stays white
}

TEST(GemReader, PlanesCombineIntoTheDefaultColours) {
  GemShape s;
  s.planes = 4;
  s.width = 8;
  s.height = 1;
  // Pixel x has bit k set when plane k's byte has bit (7 - x) set.
  const std::vector<std::uint8_t> data = {
      0x80, 1, 0b01010000,  // plane 0
      0x80, 1, 0b00110000,  // plane 1
      0x80, 1, 0b00001000,  // plane 2
      0x80, 1, 0b00010100,  // plane 3
  };
  auto image = DecodeBytes(kGemFormat, Concat(GemHeader(s), data));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(0, 0), kWhite);                // 0
  EXPECT_EQ(image->at(1, 0), (Rgb{255, 0, 0}));      // 1 red
  EXPECT_EQ(image->at(2, 0), (Rgb{0, 255, 0}));      // 2 green
  EXPECT_EQ(image->at(3, 0), (Rgb{128, 128, 0}));    // 1+2+8 = 11 dark yellow
  EXPECT_EQ(image->at(4, 0), (Rgb{0, 0, 255}));      // 4 blue
  EXPECT_EQ(image->at(5, 0), (Rgb{128, 128, 128}));  // 8 dark grey
  EXPECT_EQ(image->at(7, 0), kWhite);
}

TEST(GemReader, XimgPaletteInPerMille) {
  GemShape s;
  s.planes = 2;
  s.width = 4;
  s.height = 2;
  const std::vector<std::array<int, 3>> palette = {{1000, 1000, 1000}, {1000, 0, 0}, {0, 500, 0}, {0, 0, 1000}};
  const std::vector<std::uint8_t> data = {
      0x80, 1,    0b01010000, /**/ 0x80, 1,    0b00110000,  // row 0: values 0, 1, 2, 3
      0x00, 0x00, 0xFF,       0x01,      0x01, /**/ 0x81,   // row 1: a repeat count of 1, plane 0 empty, plane 1 set
  };
  auto image = DecodeBytes(kGemFormat, Concat(XimgHeader(s, palette), data));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(0, 0), kWhite);
  EXPECT_EQ(image->at(1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(image->at(2, 0), (Rgb{0, 128, 0}));
  EXPECT_EQ(image->at(3, 0), (Rgb{0, 0, 255}));
  EXPECT_EQ(image->at(2, 1), (Rgb{0, 128, 0}));
  auto reader = OpenBytes(kGemFormat, Concat(XimgHeader(s, palette), data));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageInfo(0).colorsUsed, 4u);
  EXPECT_EQ(reader->pageInfo(0).bitCount, 4);  // two planes are held at 4 bits
}

TEST(GemReader, RejectsHeadersThatAreNotGem) {
  const std::vector<std::uint8_t> data = {0x80, 1, 0xFF};
  ASSERT_TRUE(OpenBytes(kGemFormat, Concat(GemHeader(GemShape{}), data)));
  auto rejects = [&](const char* what, auto change) {
    GemShape s;
    change(s);
    EXPECT_FALSE(OpenBytes(kGemFormat, Concat(GemHeader(s), data))) << what;
  };
  rejects("version 3", [](GemShape& s) { s.version = 3; });
  rejects("header of 7 words", [](GemShape& s) { s.headerWords = 7; });
  rejects("header of 60 words without XIMG", [](GemShape& s) { s.headerWords = 60; });
  rejects("header past the end of the file", [](GemShape& s) { s.headerWords = 10; });
  rejects("no planes", [](GemShape& s) { s.planes = 0; });
  rejects("9 planes", [](GemShape& s) { s.planes = 9; });
  rejects("no pattern length", [](GemShape& s) { s.patternLength = 0; });
  rejects("pattern length 9", [](GemShape& s) { s.patternLength = 9; });
  rejects("zero width", [](GemShape& s) { s.width = 0; });
  rejects("zero height", [](GemShape& s) { s.height = 0; });
  rejects("more rows than three bytes can make", [](GemShape& s) { s.height = 60000; });
  // An XIMG header too short for its palette.
  GemShape x;
  x.planes = 2;
  auto ximg = XimgHeader(x, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  ximg[3] = 11 + 3 * 2;
  EXPECT_FALSE(OpenBytes(kGemFormat, Concat(ximg, data)));
}

}  // namespace
}  // namespace lorimer::formats
