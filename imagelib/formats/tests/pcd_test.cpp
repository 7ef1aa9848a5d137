// Photo CD reading: ImageMagick's image packs (lossy YCC, so compared within a
// tolerance) and hand-made packs for the colour conversion, chroma upsampling and
// the orientation turns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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
using testing::Rgb;
using testing::RgbImage;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

constexpr std::size_t kBase = 0x30000;
constexpr int kW = 768;
constexpr int kH = 512;

// ImageMagick spreads the whole YCC range (up to about 1.35 times reference white)
// linearly over 0..255, and its writer does the inverse; we show reference white as
// 255 and clamp the highlights above it. So its values are ours scaled by about
// 255/345. We compare on that scale, over pixels that our decode does not clamp.
constexpr double kImageMagickScale = 255.0 / 345.0;

struct Agreement {
  int pixels = 0;
  int worst = 0;
  double mean = 0;
};

Agreement Compare(const RgbImage& ours, const RgbImage& theirs) {
  Agreement a;
  double sum = 0;
  for (std::size_t i = 0; i < ours.pixels.size(); ++i) {
    const Rgb& o = ours.pixels[i];
    const Rgb& t = theirs.pixels[i];
    if (o.r == 255 || o.g == 255 || o.b == 255) continue;
    ++a.pixels;
    for (auto [mine, other] : {std::pair{o.r, t.r}, std::pair{o.g, t.g}, std::pair{o.b, t.b}}) {
      const int d = std::abs(static_cast<int>(std::lround(mine * kImageMagickScale)) - other);
      a.worst = std::max(a.worst, d);
      sum += d;
    }
  }
  a.mean = a.pixels ? sum / (3.0 * a.pixels) : 0;
  return a;
}

// Smooth colour fields (what photographs are made of), kept below the level that we
// would clamp, with a dark patch in the top left corner that shows which way the
// picture is turned.
std::vector<std::uint8_t> Photo(int w, int h) {
  const std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (x < 64 && y < 64) {
        d.insert(d.end(), {20, 20, 20});
      } else {
        d.insert(d.end(), {static_cast<std::uint8_t>(40 + x * 130 / w), static_cast<std::uint8_t>(60 + y * 110 / h),
                           static_cast<std::uint8_t>(170 - (x + y) * 120 / (w + h))});
      }
    }
  }
  return d;
}

TEST(PcdReader, MatchesImageMagickOnItsToneScale) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) not installed";
  // A landscape picture is stored as is; a portrait one is turned and flagged.
  for (const auto& [w, h] : {std::pair{kW, kH}, std::pair{kH, kW}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const std::string name = "photo" + std::to_string(w);
    WriteTempFile(name + ".ppm", Photo(w, h));
    const std::string base = TempDir() + "/" + name;
    ASSERT_TRUE(Shell("convert-im6.q16 " + base + ".ppm " + base + ".pcd"));
    auto expected = ImageMagickDecode(base + ".pcd", -1);  // a scene number would pick a resolution
    auto actual = DecodeWith(kPcdFormat, base + ".pcd");
    ASSERT_TRUE(expected);
    ASSERT_TRUE(actual);
    ASSERT_EQ(actual->width, w);
    ASSERT_EQ(actual->height, h);
    ASSERT_EQ(expected->width, w);
    // ImageMagick's writer and reader do not invert each other exactly, so its own
    // decode is the reference rather than the picture we gave it.
    const Agreement a = Compare(*actual, *expected);
    EXPECT_GT(a.pixels, w * h / 2);
    EXPECT_LE(a.worst, 2);
    EXPECT_LT(a.mean, 0.5);
    // The dark corner is where it was drawn.
    EXPECT_LT(actual->at(5, 5).r, 40);
    EXPECT_GT(actual->at(w - 5, h - 5).r, 100);
  }
}

// A pack with flat luma and neutral chroma, ready for patches to be painted in.
std::vector<std::uint8_t> Pack(int orientation) {
  std::vector<std::uint8_t> f(kBase + kW * kH * 3 / 2 + 0x800, 0);
  std::memcpy(f.data() + 0x800, "PCD_IPI", 7);
  f[0xE02] = static_cast<std::uint8_t>(orientation);
  for (int pair = 0; pair < kH / 2; ++pair) {
    std::uint8_t* p = f.data() + kBase + static_cast<std::size_t>(pair) * kW * 3;
    std::memset(p, 100, 2 * kW);
    std::memset(p + 2 * kW, 156, kW / 2);
    std::memset(p + 2 * kW + kW / 2, 137, kW / 2);
  }
  return f;
}

std::uint8_t& Luma(std::vector<std::uint8_t>& f, int x, int y) {
  return f[kBase + static_cast<std::size_t>(y / 2) * kW * 3 + (y % 2) * kW + x];
}
std::uint8_t& Chroma(std::vector<std::uint8_t>& f, int channel, int cx, int cy) {
  return f[kBase + static_cast<std::size_t>(cy) * kW * 3 + 2 * kW + channel * (kW / 2) + cx];
}

TEST(PcdReader, ConvertsYccWithClampingAndAveragedChroma) {
  auto f = Pack(0);
  // Neutral chroma: grey at 1.3584 * Y.
  Luma(f, 0, 0) = 0;
  Luma(f, 1, 0) = 255;
  // Chroma sample (10, 10) strongly red; its right-hand neighbour stays neutral.
  Chroma(f, 1, 10, 10) = 255;
  auto image = DecodeBytes(kPcdFormat, f);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(100, 100), (Rgb{135, 135, 135}));
  EXPECT_EQ(image->at(0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(image->at(1, 0), (Rgb{255, 255, 255}));  // 346 clamped
  // On the sample: C2 - 137 = 118 adds 1.82 * 118 red and takes 0.93 * 118 green.
  const Rgb onSample = image->at(20, 20);
  EXPECT_EQ(onSample.r, 255);
  EXPECT_EQ(onSample.g, 26);
  EXPECT_EQ(onSample.b, 135);
  // Halfway to the neutral neighbour, chroma is the average (C2 = 196).
  const Rgb between = image->at(21, 20);
  EXPECT_EQ(between.r, 243);
  EXPECT_EQ(between.g, 81);
  EXPECT_EQ(between.b, 135);
  EXPECT_EQ(image->at(23, 20), (Rgb{135, 135, 135}));
}

TEST(PcdReader, OrientationTurnsThePictureUpright) {
  // A bright mark at the top left of the stored picture.
  struct Case {
    int orientation;
    int width, height;
    int x, y;  // where the mark must end up
  } const cases[] = {
      {0, kW, kH, 0, 0},
      {1, kH, kW, 0, kW - 1},       // turned anticlockwise: bottom left
      {2, kW, kH, kW - 1, kH - 1},  // half turn: bottom right
      {3, kH, kW, kH - 1, 0},       // turned clockwise: top right
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    auto f = Pack(c.orientation | 0x04);  // the resolution bits beside it do not matter
    Luma(f, 0, 0) = 255;
    auto image = DecodeBytes(kPcdFormat, f);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->at(c.x, c.y), (Rgb{255, 255, 255}));
    int marks = 0;
    for (const Rgb& p : image->pixels) marks += p.r == 255;
    EXPECT_EQ(marks, 1);
  }
}

TEST(PcdReader, RejectsShortFilesAndOtherSignatures) {
  auto f = Pack(0);
  ASSERT_TRUE(DecodeBytes(kPcdFormat, f));
  auto shortPack = f;
  shortPack.resize(kBase + kW * kH * 3 / 2 - 1);
  EXPECT_FALSE(DecodeBytes(kPcdFormat, shortPack));
  auto file = std::make_shared<FileData>();
  file->bytes = shortPack;
  EXPECT_FALSE(kPcdFormat.open(file));
  auto overview = f;
  overview[0x800 + 6] = 'X';  // "PCD_IPX"
  EXPECT_FALSE(DecodeBytes(kPcdFormat, overview));
}

}  // namespace
}  // namespace lorimer::formats
