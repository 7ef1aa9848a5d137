// Pixel operations on small hand-computed pictures, plus cross-checks with ImageMagick.
#include "imagelib/process/pixel_ops.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>
#include <string>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::process {
namespace {

using testing::Rgb;
using testing::RgbImage;

// Owns a bitmap for the length of a test.
struct Owned {
  HBITMAP h = nullptr;
  explicit Owned(HBITMAP b) : h(b) {}
  ~Owned() {
    if (h) DeleteObject(h);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
};

HBITMAP Make(int w, int h, const std::function<Rgb(int, int)>& colour) {
  HBITMAP bmp = formats::NewPageBitmap(w, h, 24);
  vel::gdi::BitmapView view;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &view)) return bmp;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb c = colour(x, y);
      BYTE* p = view.row(y) + 3 * x;
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  return bmp;
}

HBITMAP Gray(int w, int h, const std::function<int(int, int)>& value) {
  return Make(w, h, [&](int x, int y) {
    const auto v = static_cast<std::uint8_t>(value(x, y));
    return Rgb{v, v, v};
  });
}

RgbImage Pixels(HBITMAP bmp) {
  auto rgb = testing::BitmapToRgb(bmp);
  EXPECT_TRUE(rgb.has_value());
  return rgb.value_or(RgbImage{});
}

// Red channel of every pixel, row by row, for compact expectations.
std::vector<int> Reds(HBITMAP bmp) {
  std::vector<int> out;
  for (const Rgb& p : Pixels(bmp).pixels) out.push_back(p.r);
  return out;
}

// 3 x 2 picture whose red channel names the pixel: A B C / D E F.
HBITMAP Letters() {
  return Make(3, 2, [](int x, int y) { return Rgb{static_cast<std::uint8_t>('A' + 3 * y + x), 7, 9}; });
}

std::vector<int> Word(const std::string& s) { return std::vector<int>(s.begin(), s.end()); }

TEST(PixelRotate, QuarterTurnsAreExactMovesClockwise) {
  Owned src(Letters());
  Owned r90(Rotate(src.h, 9000, 0));
  Owned r180(Rotate(src.h, 18000, 0));
  Owned r270(Rotate(src.h, 27000, 0));
  Owned minus90(Rotate(src.h, -9000, 0));
  ASSERT_TRUE(r90.h && r180.h && r270.h && minus90.h);
  EXPECT_EQ(Pixels(r90.h).width, 2);
  EXPECT_EQ(Pixels(r90.h).height, 3);
  EXPECT_EQ(Reds(r90.h), Word("DAEBFC"));
  EXPECT_EQ(Reds(r180.h), Word("FEDCBA"));
  EXPECT_EQ(Reds(r270.h), Word("CFBEAD"));
  EXPECT_EQ(Pixels(minus90.h).pixels, Pixels(r270.h).pixels);
  EXPECT_EQ(Pixels(r90.h).at(0, 0).g, 7);
  EXPECT_EQ(Pixels(r90.h).at(0, 0).b, 9);
}

TEST(PixelRotate, FullTurnsGiveAnEqualNewBitmap) {
  Owned src(Letters());
  for (int angle : {0, 36000, -36000}) {
    Owned r(Rotate(src.h, angle, 0xFF));
    ASSERT_TRUE(r.h);
    EXPECT_NE(r.h, src.h);
    EXPECT_EQ(Pixels(r.h).pixels, Pixels(src.h).pixels) << angle;
    EXPECT_EQ(Pixels(r.h).width, 3);
  }
}

TEST(PixelRotate, FortyFiveDegreesFillsTheCorners) {
  Owned src(Make(10, 10, [](int, int) { return Rgb{200, 0, 0}; }));
  Owned r(Rotate(src.h, 4500, 0x00FF0000));  // fill blue
  ASSERT_TRUE(r.h);
  const RgbImage img = Pixels(r.h);
  EXPECT_EQ(img.width, 15);  // 10 * sqrt(2) = 14.14 rounded up
  EXPECT_EQ(img.height, 15);
  const Rgb blue{0, 0, 255}, red{200, 0, 0};
  EXPECT_EQ(img.at(0, 0), blue);
  EXPECT_EQ(img.at(14, 0), blue);
  EXPECT_EQ(img.at(0, 14), blue);
  EXPECT_EQ(img.at(14, 14), blue);
  EXPECT_EQ(img.at(7, 7), red);
  EXPECT_EQ(img.at(7, 1), red);  // near the top tip the picture is present
}

TEST(PixelRotate, SmallAnglesTurnClockwise) {
  // A wide bar: after a clockwise turn its right end sits lower than its left end.
  Owned src(Make(40, 4, [](int, int) { return Rgb{0, 0, 0}; }));
  Owned r(Rotate(src.h, 1000, 0xFFFFFF));
  ASSERT_TRUE(r.h);
  const RgbImage img = Pixels(r.h);
  ASSERT_EQ(img.width, 41);   // 40 cos 10 + 4 sin 10 = 40.09
  ASSERT_EQ(img.height, 11);  // 40 sin 10 + 4 cos 10 = 10.88
  const Rgb black{0, 0, 0}, white{255, 255, 255};
  EXPECT_EQ(img.at(1, 2), black);
  EXPECT_EQ(img.at(1, 9), white);
  EXPECT_EQ(img.at(39, 9), black);
  EXPECT_EQ(img.at(39, 1), white);
}

TEST(PixelMirror, FlagsPickTheAxis) {
  Owned none(Letters()), first(Letters()), second(Letters()), both(Letters());
  EXPECT_TRUE(Mirror(none.h, 0, 0));
  EXPECT_TRUE(Mirror(first.h, 1, 0));
  EXPECT_TRUE(Mirror(second.h, 0, 1));
  EXPECT_TRUE(Mirror(both.h, 1, 1));
  EXPECT_EQ(Reds(none.h), Word("ABCDEF"));
  EXPECT_EQ(Reds(first.h), Word("DEFABC"));   // top to bottom
  EXPECT_EQ(Reds(second.h), Word("CBAFED"));  // left to right
  EXPECT_EQ(Reds(both.h), Word("FEDCBA"));
}

// 5 x 5, background `bg`, centre pixel `centre`; returns the red channel after filtering.
std::vector<int> SpotFiltered(int filter, int bg, int centre) {
  Owned bmp(Gray(5, 5, [&](int x, int y) { return x == 2 && y == 2 ? centre : bg; }));
  EXPECT_TRUE(Filter(bmp.h, filter));
  return Reds(bmp.h);
}

// Values of a 5 x 5 result laid out from a centre, its 4 direct and 4 diagonal neighbours
// and everything else.
std::vector<int> Plus(int centre, int direct, int diagonal, int rest) {
  std::vector<int> v(25, rest);
  v[12] = centre;
  v[7] = v[11] = v[13] = v[17] = direct;
  v[6] = v[8] = v[16] = v[18] = diagonal;
  return v;
}

TEST(PixelFilter, KernelsOnASinglePixel) {
  EXPECT_EQ(SpotFiltered(kFilterBlur, 0, 160), Plus(40, 20, 10, 0));
  EXPECT_EQ(SpotFiltered(kFilterSharpen, 100, 140), Plus(255, 60, 100, 100));
  EXPECT_EQ(SpotFiltered(kFilterAllEdges, 50, 60), Plus(80, 0, 0, 0));
  EXPECT_EQ(SpotFiltered(kFilterAllEdges2, 50, 60), Plus(40, 0, 0, 0));
  EXPECT_EQ(SpotFiltered(kFilterLaplaceSharpen, 50, 60), Plus(140, 40, 40, 50));
  EXPECT_EQ(SpotFiltered(kFilterMedian, 30, 255), Plus(30, 30, 30, 30));
  EXPECT_EQ(SpotFiltered(kFilterEmboss, 50, 50), Plus(128, 128, 128, 128));
}

TEST(PixelFilter, BlurReplicatesTheBorder) {
  Owned bmp(Gray(3, 3, [](int x, int y) { return x == 0 && y == 0 ? 160 : 0; }));
  ASSERT_TRUE(Filter(bmp.h, kFilterBlur));
  // The corner counts with weights 1+2+2+4 for itself, 1+2 for its neighbours.
  EXPECT_EQ(Reds(bmp.h), (std::vector<int>{90, 30, 0, 30, 10, 0, 0, 0, 0}));
}

TEST(PixelFilter, ChannelsAreFilteredApart) {
  Owned bmp(Make(3, 3, [](int x, int y) { return x == 1 && y == 1 ? Rgb{160, 0, 80} : Rgb{0, 0, 0}; }));
  ASSERT_TRUE(Filter(bmp.h, kFilterBlur));
  EXPECT_EQ(Pixels(bmp.h).at(1, 1), (Rgb{40, 0, 20}));
  EXPECT_EQ(Pixels(bmp.h).at(0, 0), (Rgb{10, 0, 5}));
}

TEST(PixelFilter, EdgeDetectorsFollowTheirDirection) {
  auto vertical = [] { return Gray(4, 3, [](int x, int) { return x < 2 ? 0 : 10; }); };
  auto horizontal = [] { return Gray(3, 4, [](int, int y) { return y < 2 ? 0 : 10; }); };
  {
    Owned bmp(vertical());
    ASSERT_TRUE(Filter(bmp.h, kFilterVerticalEdges));
    EXPECT_EQ(Reds(bmp.h), (std::vector<int>{0, 40, 40, 0, 0, 40, 40, 0, 0, 40, 40, 0}));
  }
  {
    Owned bmp(vertical());
    ASSERT_TRUE(Filter(bmp.h, kFilterHorizontalEdges));
    EXPECT_EQ(Reds(bmp.h), std::vector<int>(12, 0));
  }
  {
    Owned bmp(horizontal());
    ASSERT_TRUE(Filter(bmp.h, kFilterHorizontalEdges));
    EXPECT_EQ(Reds(bmp.h), (std::vector<int>{0, 0, 0, 40, 40, 40, 40, 40, 40, 0, 0, 0}));
  }
  {
    Owned bmp(vertical());
    ASSERT_TRUE(Filter(bmp.h, kFilterEmboss));
    EXPECT_EQ(Reds(bmp.h), (std::vector<int>{128, 148, 148, 128, 128, 148, 148, 128, 128, 148, 148, 128}));
  }
}

TEST(PixelFilter, UnknownNumbersAreRefusedAndLeaveThePicture) {
  Owned bmp(Letters());
  for (int f : {-1, 9, 100}) EXPECT_FALSE(Filter(bmp.h, f)) << f;
  EXPECT_EQ(Reds(bmp.h), Word("ABCDEF"));
}

TEST(PixelFilter, BandsOfABigPictureMeetSeamlessly) {
  // Every row alike: any seam between the two halves would show as a differing row.
  Owned bmp(Gray(1100, 1000, [](int x, int) { return (x * 37) % 256; }));
  ASSERT_TRUE(Filter(bmp.h, kFilterSharpen));
  const RgbImage img = Pixels(bmp.h);
  for (int y : {0, 499, 500, 501, 999})
    for (int x = 0; x < img.width; x += 7) ASSERT_EQ(img.at(x, y), img.at(x, 250)) << x << "," << y;
}

TEST(PixelTone, InvertTwiceRestores) {
  Owned bmp(Make(3, 2, [](int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 90), static_cast<std::uint8_t>(y), 255};
  }));
  const RgbImage before = Pixels(bmp.h);
  ASSERT_TRUE(Invert(bmp.h));
  EXPECT_EQ(Pixels(bmp.h).at(2, 1), (Rgb{75, 254, 0}));
  ASSERT_TRUE(Invert(bmp.h));
  EXPECT_EQ(Pixels(bmp.h).pixels, before.pixels);
}

TEST(PixelTone, BrightnessClamps) {
  auto make = [] { return Make(2, 1, [](int x, int) { return x ? Rgb{200, 10, 128} : Rgb{0, 255, 50}; }); };
  Owned up(make()), down(make()), huge(make());
  ASSERT_TRUE(Brightness(up.h, 100));
  ASSERT_TRUE(Brightness(down.h, -60));
  ASSERT_TRUE(Brightness(huge.h, 1000));
  EXPECT_EQ(Pixels(up.h).at(0, 0), (Rgb{100, 255, 150}));
  EXPECT_EQ(Pixels(up.h).at(1, 0), (Rgb{255, 110, 228}));
  EXPECT_EQ(Pixels(down.h).at(1, 0), (Rgb{140, 0, 68}));
  EXPECT_EQ(Pixels(huge.h).at(0, 0), (Rgb{255, 255, 255}));
}

TEST(PixelTone, ContrastAroundMidGrayPerChannel) {
  auto make = [] {
    return Make(3, 1, [](int x, int) {
      const std::uint8_t v[3] = {200, 100, 129};
      return Rgb{v[x], v[x], v[x]};
    });
  };
  Owned doubled(make()), flat(make()), half(make()), redOnly(make()), all(make());
  ASSERT_TRUE(Contrast(doubled.h, 100, 7));
  ASSERT_TRUE(Contrast(flat.h, -100, -1));
  ASSERT_TRUE(Contrast(half.h, 50, 7));
  ASSERT_TRUE(Contrast(redOnly.h, 100, 4));
  ASSERT_TRUE(Contrast(all.h, 300, -1));  // clamped to 100
  EXPECT_EQ(Reds(doubled.h), (std::vector<int>{255, 72, 130}));
  EXPECT_EQ(Reds(flat.h), (std::vector<int>{128, 128, 128}));
  EXPECT_EQ(Reds(half.h), (std::vector<int>{236, 86, 130}));  // 129.5 rounds up
  EXPECT_EQ(Pixels(redOnly.h).at(1, 0), (Rgb{72, 100, 100}));
  EXPECT_EQ(Pixels(all.h).pixels, Pixels(doubled.h).pixels);
  Owned greenOnly(make()), blueOnly(make());
  ASSERT_TRUE(Contrast(greenOnly.h, 100, 2));
  ASSERT_TRUE(Contrast(blueOnly.h, 100, 1));
  EXPECT_EQ(Pixels(greenOnly.h).at(1, 0), (Rgb{100, 72, 100}));
  EXPECT_EQ(Pixels(blueOnly.h).at(1, 0), (Rgb{100, 100, 72}));
}

TEST(PixelResample, SameSizeIsIdentityForBothMethods) {
  Owned src(Make(7, 5, [](int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 31 + y), static_cast<std::uint8_t>(y * 50),
               static_cast<std::uint8_t>(x ^ y)};
  }));
  for (int method : {kResampleNearest, kResampleGood, 1, 5}) {
    Owned copy(CopyResample(src.h, 7, 5, method));
    ASSERT_TRUE(copy.h);
    EXPECT_EQ(Pixels(copy.h).pixels, Pixels(src.h).pixels) << method;
  }
}

TEST(PixelResample, HalvingPicksOrAverages) {
  const int row0[4] = {0, 100, 200, 50};
  Owned src(Gray(4, 2, [&](int x, int y) { return y == 0 ? row0[x] : 8; }));
  Owned nearest(CopyResample(src.h, 2, 1, kResampleNearest));
  Owned area(CopyResample(src.h, 2, 1, kResampleGood));
  ASSERT_TRUE(nearest.h && area.h);
  EXPECT_EQ(Reds(nearest.h), (std::vector<int>{8, 8}));
  EXPECT_EQ(Reds(area.h), (std::vector<int>{29, 67}));  // (0+100+8+8)/4, (200+50+8+8)/4 = 66.5 rounds up
}

TEST(PixelResample, EnlargingIsBilinear) {
  Owned src(Gray(2, 1, [](int x, int) { return x ? 255 : 0; }));
  Owned big(CopyResample(src.h, 4, 3, kResampleGood));
  ASSERT_TRUE(big.h);
  for (int y = 0; y < 3; ++y) {
    const RgbImage img = Pixels(big.h);
    EXPECT_EQ(img.at(0, y).r, 0);
    EXPECT_EQ(img.at(1, y).r, 64);
    EXPECT_EQ(img.at(2, y).r, 191);
    EXPECT_EQ(img.at(3, y).r, 255);
  }
}

TEST(PixelResample, BandsOfABigPictureMeetSeamlessly) {
  Owned src(Gray(1200, 1000, [](int x, int) { return (x * 53) % 256; }));
  Owned big(CopyResample(src.h, 1300, 1100, kResampleGood));
  Owned small(CopyResample(src.h, 700, 900, kResampleGood));
  ASSERT_TRUE(big.h && small.h);
  for (const Owned* o : {&big, &small}) {
    const RgbImage img = Pixels(o->h);
    for (int y : {0, img.height / 2 - 1, img.height / 2, img.height - 1})
      for (int x = 0; x < img.width; x += 5) ASSERT_EQ(img.at(x, y), img.at(x, 100)) << x << "," << y;
  }
}

TEST(PixelOps, BadInputIsRefused) {
  Owned eight(formats::NewPageBitmap(4, 4, 8));
  Owned good(Letters());
  ASSERT_TRUE(eight.h);
  for (HBITMAP bad : {static_cast<HBITMAP>(nullptr), eight.h}) {
    EXPECT_EQ(CopyResample(bad, 2, 2, 3), nullptr);
    EXPECT_EQ(Rotate(bad, 9000, 0), nullptr);
    EXPECT_EQ(Rotate(bad, 4500, 0), nullptr);
    EXPECT_FALSE(Mirror(bad, 1, 1));
    EXPECT_FALSE(Filter(bad, 1));
    EXPECT_FALSE(Invert(bad));
    EXPECT_FALSE(Brightness(bad, 10));
    EXPECT_FALSE(Contrast(bad, 10, 7));
  }
  EXPECT_EQ(CopyResample(good.h, 0, 2, 3), nullptr);
  EXPECT_EQ(CopyResample(good.h, 2, -1, 0), nullptr);
  EXPECT_EQ(CopyResample(good.h, 100000, 100000, 3), nullptr);
  EXPECT_EQ(CopyResample(good.h, 1 << 30, 1 << 30, 0), nullptr);
}

// ---- Cross-checks with ImageMagick -------------------------------------------------------

bool WritePpm(const std::string& path, const RgbImage& img) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", img.width, img.height);
  for (const Rgb& p : img.pixels) {
    const unsigned char b[3] = {p.r, p.g, p.b};
    std::fwrite(b, 1, 3, f);
  }
  return std::fclose(f) == 0;
}

HBITMAP Noise(int w, int h) {
  unsigned state = 12345;
  return Make(w, h, [&](int, int) {
    auto next = [&] {
      state = state * 1103515245u + 12345u;
      return static_cast<std::uint8_t>(state >> 16);
    };
    const std::uint8_t r = next(), g = next(), b = next();
    return Rgb{r, g, b};
  });
}

// Runs ImageMagick on our input picture; nullopt (after a skip message) when missing.
std::optional<RgbImage> Magick(HBITMAP src, const std::string& operation, const std::string& name) {
  const std::string tool = testing::FindTool("convert-im6.q16");
  if (tool.empty()) return std::nullopt;
  const std::string in = testing::TempDir() + "/" + name + "_in.ppm";
  const std::string out = testing::TempDir() + "/" + name + "_out.ppm";
  if (!WritePpm(in, Pixels(src))) return std::nullopt;
  if (!testing::Run(tool + " " + in + " " + operation + " " + out)) return std::nullopt;
  return testing::ReadPnm(out);
}

TEST(PixelInterop, BlurMatchesImageMagickConvolution) {
  Owned src(Noise(23, 17));
  auto expected = Magick(src.h,
                         "-virtual-pixel edge -morphology Convolve '3x3: 0.0625,0.125,0.0625 "
                         "0.125,0.25,0.125 0.0625,0.125,0.0625'",
                         "blur");
  if (!expected) GTEST_SKIP() << "convert-im6.q16 (ImageMagick) is missing or failed";
  ASSERT_TRUE(Filter(src.h, kFilterBlur));
  EXPECT_LE(testing::MaxDifference(Pixels(src.h), *expected), 1);
}

TEST(PixelInterop, ResampleMatchesImageMagick) {
  Owned src(Noise(24, 16));
  auto halved = Magick(src.h, "-filter Box -resize 12x8!", "half");
  auto doubled = Magick(src.h, "-filter Triangle -resize 48x32!", "double");
  if (!halved || !doubled) GTEST_SKIP() << "convert-im6.q16 (ImageMagick) is missing or failed";
  Owned small(CopyResample(src.h, 12, 8, kResampleGood));
  Owned big(CopyResample(src.h, 48, 32, kResampleGood));
  ASSERT_TRUE(small.h && big.h);
  EXPECT_LE(testing::MaxDifference(Pixels(small.h), *halved), 1);
  EXPECT_LE(testing::MaxDifference(Pixels(big.h), *doubled), 1);
}

}  // namespace
}  // namespace lorimer::process
