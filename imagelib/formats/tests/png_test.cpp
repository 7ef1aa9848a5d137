// PNG reading: every colour type and depth netpbm writes, compared pixel for pixel with
// ImageMagick's decode (transparency flattened on white on both sides), plus damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imagelib/formats/ico.h"
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
using testing::ReadFile;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

// Run() sends the command's output to /dev/null; a subshell keeps our own redirections.
constexpr int kW = 37;
constexpr int kH = 23;

using Sample = std::function<unsigned(int x, int y, int channel)>;

// A netpbm file (P5/P6 or P7 with alpha) whose samples come from `sample`.
std::string WriteNetpbm(const std::string& name, int channels, unsigned maxval, const Sample& sample, int w = kW,
                        int h = kH) {
  std::string head;
  if (channels == 1) head = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n" + std::to_string(maxval) + "\n";
  if (channels == 3) head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n" + std::to_string(maxval) + "\n";
  if (channels == 2 || channels == 4) {
    head = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " + std::to_string(channels) +
           "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " + (channels == 2 ? "GRAYSCALE_ALPHA" : "RGB_ALPHA") +
           "\nENDHDR\n";
  }
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        const unsigned v = sample(x, y, c) % (maxval + 1);
        if (maxval > 255) d.push_back(static_cast<std::uint8_t>(v >> 8));
        d.push_back(static_cast<std::uint8_t>(v));
      }
  return WriteTempFile(name, d);
}

// Colours of an n-colour palette picture: distinct, and not gray, so tools keep a palette.
unsigned PaletteSample(int colors, int x, int y, int c) {
  const int i = (x / 2 + y * 3 + (x * y) % 5) % colors;
  const unsigned rgb[3] = {static_cast<unsigned>(40 + i * 53 % 200), static_cast<unsigned>(i * 97 % 256),
                           static_cast<unsigned>(255 - i)};
  return rgb[c];
}
// Many colours (each channel its own mix of x and y), over the whole sample range.
unsigned Smooth(int x, int y, int c, unsigned maxval) {
  const unsigned long v =
      (static_cast<unsigned long>(x) * (31 + c * 14) + static_cast<unsigned long>(y) * (57 + c * 23)) * (c + 1) * 977 +
      c * 3571;
  return static_cast<unsigned>(v % (maxval + 1));
}
unsigned Alpha(int x, int y, unsigned maxval) {
  if (x < 4) return 0;             // fully transparent strip
  if (x >= kW - 4) return maxval;  // opaque strip
  return (x * 31 + y * 17) * (maxval / 255) % (maxval + 1);
}

struct PngCase {
  const char* name;
  int channels;
  unsigned maxval;
  Sample sample;
  std::string tool;  // netpbm command reading the source on stdin
  int colorType;     // what the produced file must be
  int bitDepth;
  int bitmapBits;  // what our reader must hand out, and report beforehand
};

std::vector<PngCase> Cases() {
  auto pal = [](int n) { return [n](int x, int y, int c) { return PaletteSample(n, x, y, c); }; };
  auto smooth = [](unsigned m) { return [m](int x, int y, int c) { return Smooth(x, y, c, m); }; };
  auto withAlpha = [](unsigned m, int colorChannels) {
    return [m, colorChannels](int x, int y, int c) { return c == colorChannels ? Alpha(x, y, m) : Smooth(x, y, c, m); };
  };
  return {
      {"gray1", 1, 1, smooth(1), "pnmtopng", 0, 1, 1},
      {"gray2", 1, 3, smooth(3), "pnmtopng", 0, 2, 4},
      {"gray2i", 1, 3, smooth(3), "pnmtopng -interlace", 0, 2, 4},
      {"gray4", 1, 15, smooth(15), "pnmtopng", 0, 4, 4},
      {"gray8", 1, 255, smooth(255), "pnmtopng", 0, 8, 8},
      {"gray16", 1, 65535, smooth(65535), "pnmtopng", 0, 16, 8},
      {"gray8trns", 1, 255, smooth(255), "pnmtopng -transparent =rgb:07/07/07", 0, 8, 24},
      {"pal1", 3, 255, pal(2), "pnmtopng", 3, 1, 1},
      {"pal2", 3, 255, pal(4), "pnmtopng", 3, 2, 4},
      {"pal4", 3, 255, pal(16), "pnmtopng", 3, 4, 4},
      {"pal4i", 3, 255, pal(16), "pnmtopng -interlace", 3, 4, 4},
      {"pal8", 3, 255, pal(200), "pnmtopng", 3, 8, 8},
      {"pal4trns", 3, 255, pal(16), "pnmtopng -transparent =rgb:28/00/ff", 3, 4, 24},
      {"rgb8", 3, 255, smooth(255), "pnmtopng", 2, 8, 24},
      {"rgb16", 3, 65535, smooth(65535), "pnmtopng", 2, 16, 24},
      {"ga8", 2, 255, withAlpha(255, 1), "pamtopng", 4, 8, 24},
      {"rgba8", 4, 255, withAlpha(255, 3), "pamtopng", 6, 8, 24},
      {"rgba8i", 4, 255, withAlpha(255, 3), "pamtopng -interlace", 6, 8, 24},
      {"rgba16", 4, 65535, withAlpha(65535, 3), "pamtopng", 6, 16, 24},
  };
}

bool HaveTools() {
  return !FindTool("convert-im6.q16").empty() && !FindTool("pnmtopng").empty() && !FindTool("pamtopng").empty();
}

std::string MakePng(const PngCase& c) {
  const std::string src = WriteNetpbm(std::string(c.name) + (c.channels == 2 || c.channels == 4 ? ".pam" : ".pnm"),
                                      c.channels, c.maxval, c.sample);
  const std::string out = TempDir() + "/" + c.name + ".png";
  if (!Shell(c.tool + " < '" + src + "' > '" + out + "'")) return "";
  return out;
}

TEST(PngReader, EveryColourTypeAndDepthMatchesImageMagick) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) or netpbm (pnmtopng, pamtopng) is not installed";
  for (const PngCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = MakePng(c);
    ASSERT_FALSE(path.empty());
    const auto bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 33u);
    // The tool must have made what this case is about, or the case tests nothing.
    ASSERT_EQ(bytes[25], c.colorType);
    ASSERT_EQ(bytes[24], c.bitDepth);
    ASSERT_EQ(bytes[28] == 1, std::string(c.tool).find("-interlace") != std::string::npos);

    auto reader = OpenBytes(kPngFormat, bytes);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->pageCount(), 1);
    const PageInfo info = reader->pageInfo(0);
    EXPECT_EQ(info.width, kW);
    EXPECT_EQ(info.height, kH);
    EXPECT_EQ(info.bitCount, c.bitmapBits);
    HBITMAP bitmap = reader->decodePage(0);
    ASSERT_TRUE(bitmap);
    vel::gdi::BitmapView view;
    ASSERT_TRUE(vel::gdi::GetBitmapView(bitmap, &view));
    EXPECT_EQ(view.bitsPerPixel, c.bitmapBits);
    auto ours = BitmapToRgb(bitmap);
    DeleteObject(bitmap);
    auto theirs = ImageMagickDecode(path);
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(MaxDifference(*ours, *theirs), 0);
  }
}

TEST(PngReader, PaletteSizeAndResolutionAreReported) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) or netpbm (pnmtopng) is not installed";
  const std::string src =
      WriteNetpbm("dpi.ppm", 3, 255, [](int x, int y, int c) { return PaletteSample(11, x, y, c); });
  const std::string out = TempDir() + "/dpi.png";
  ASSERT_TRUE(testing::Run("convert-im6.q16 '" + src + "' -units PixelsPerInch -density 300 '" + out + "'"));
  const auto bytes = ReadFile(out);
  auto reader = OpenBytes(kPngFormat, bytes);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageInfo(0).xDpi, 300);
  EXPECT_EQ(reader->pageInfo(0).yDpi, 300);
  // The palette as the file has it (the tool may add an entry of its own).
  std::size_t plte = 8;
  while (plte + 8 < bytes.size() && std::memcmp(&bytes[plte + 4], "PLTE", 4) != 0) plte += 12 + Be32(&bytes[plte]);
  ASSERT_LT(plte + 8, bytes.size());
  EXPECT_EQ(reader->pageInfo(0).colorsUsed, Be32(&bytes[plte]) / 3);
  EXPECT_GE(reader->pageInfo(0).colorsUsed, 11u);
}

TEST(PngReader, StraightAlphaForIcons) {
  if (!HaveTools()) GTEST_SKIP() << "netpbm (pamtopng) is not installed";
  const PngCase c = Cases()[16];
  ASSERT_STREQ(c.name, "rgba8");
  const auto bytes = ReadFile(MakePng(c));
  RgbaImage rgba;
  ASSERT_TRUE(DecodePngToRgba(bytes.data(), bytes.size(), &rgba));
  ASSERT_EQ(rgba.width, kW);
  EXPECT_TRUE(rgba.hasAlpha);
  for (int y : {0, 5, kH - 1}) {
    for (int x : {0, 3, 10, 20, kW - 1}) {
      const std::uint8_t* p = &rgba.pixels[(static_cast<std::size_t>(y) * kW + x) * 4];
      EXPECT_EQ(p[0], Smooth(x, y, 0, 255));
      EXPECT_EQ(p[2], Smooth(x, y, 2, 255));
      EXPECT_EQ(p[3], Alpha(x, y, 255));
    }
  }
}

// ---- damaged files ----------------------------------------------------------------

std::vector<std::uint8_t> BigRgbPng() {
  const std::string src = WriteNetpbm(
      "big.ppm", 3, 255, [](int x, int y, int c) { return Smooth(x * 3, y * 5, c, 255); }, 120, 90);
  const std::string out = TempDir() + "/big.png";
  if (!Shell("pnmtopng < '" + src + "' > '" + out + "'")) return {};
  return ReadFile(out);
}

TEST(PngReader, TruncatedFileKeepsTheRowsBeforeTheCut) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) or netpbm (pnmtopng) is not installed";
  auto bytes = BigRgbPng();
  ASSERT_FALSE(bytes.empty());
  const std::string full = WriteTempFile("full.png", bytes);
  auto theirs = ImageMagickDecode(full);
  ASSERT_TRUE(theirs);
  bytes.resize(bytes.size() * 6 / 10);
  auto reader = OpenBytes(kPngFormat, bytes);
  ASSERT_TRUE(reader);
  HBITMAP bitmap = reader->decodePage(0);
  ASSERT_TRUE(bitmap);
  auto ours = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  ASSERT_TRUE(ours);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < ours->width; ++x) ASSERT_EQ(ours->at(x, y), theirs->at(x, y)) << x << "," << y;
}

TEST(PngReader, DamagedOrImplausibleFilesAreRefused) {
  if (!HaveTools()) GTEST_SKIP() << "netpbm (pnmtopng) is not installed";
  const auto good = BigRgbPng();
  ASSERT_FALSE(good.empty());
  ASSERT_TRUE(OpenBytes(kPngFormat, good));

  // A flipped bit inside the image data: the chunk's CRC no longer matches.
  std::size_t idat = 8;
  while (idat + 8 < good.size() && std::memcmp(&good[idat + 4], "IDAT", 4) != 0) idat += 12 + Be32(&good[idat]);
  ASSERT_LT(idat + 20, good.size());
  auto flipped = good;
  flipped[idat + 8 + 10] ^= 0x10;
  EXPECT_FALSE(OpenBytes(kPngFormat, flipped));

  // 30000 x 30000 pixels claimed by a file with a few hundred bytes of data.
  auto huge = good;
  const std::uint8_t dims[8] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};
  std::memcpy(&huge[16], dims, 8);
  EXPECT_FALSE(OpenBytes(kPngFormat, huge));

  // Nothing after the header.
  std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 33);
  auto reader = OpenBytes(kPngFormat, headerOnly);
  if (reader) {
    EXPECT_EQ(reader->decodePage(0), nullptr);
  }

  // A header without a valid colour type / depth combination.
  auto badDepth = good;
  badDepth[24] = 3;
  EXPECT_FALSE(OpenBytes(kPngFormat, badDepth));
}

}  // namespace
}  // namespace lorimer::formats
