// The colour quantiser: output depths and palettes, exactness for pictures
// with few colours, the two-colour and gray cases, error diffusion and its
// serpentine order, and refusal of bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "imagelib/formats/tests/test_support.h"
#include "imagelib/process/kest_quantizer.h"
#include "platform/gdi/gdi.h"

namespace {

using lorimer::process::KestReduceColors;
using lorimer::testing::BitmapToRgb;
using lorimer::testing::Rgb;
using lorimer::testing::RgbImage;

struct Owned {
  HBITMAP h;
  ~Owned() {
    if (h) DeleteObject(h);
  }
};

template <typename F>
HBITMAP Picture(int width, int height, F colour, int bits = 24) {
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  void* p = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
  vel::gdi::BitmapView view;
  if (!b || !vel::gdi::GetBitmapView(b, &view)) return nullptr;
  if (bits != 24) return b;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Rgb c = colour(x, y);
      BYTE* q = view.row(y) + 3 * x;
      q[0] = c.b, q[1] = c.g, q[2] = c.r;
    }
  return b;
}

std::uint8_t Byte(double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); }

// Smooth colour fields with texture: thousands of distinct colours.
Rgb PhotoLike(int x, int y) {
  double t = 10 * std::sin(0.4 * x) * std::cos(0.3 * y);
  return Rgb{Byte(60 + 2.5 * y + 30 * std::sin(0.05 * x) + t), Byte(40 + 1.8 * x + 20 * std::cos(0.07 * y) + t),
             Byte(200 - 1.5 * y + 25 * std::sin(0.03 * x * y / 20.0) - t)};
}

std::set<std::uint32_t> Colours(const RgbImage& img) {
  std::set<std::uint32_t> s;
  for (const Rgb& c : img.pixels) s.insert(c.r | c.g << 8 | c.b << 16);
  return s;
}

double Psnr(const RgbImage& a, const RgbImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const Rgb &p = a.pixels[i], &q = b.pixels[i];
    sum += (p.r - q.r) * (p.r - q.r) + (p.g - q.g) * (p.g - q.g) + (p.b - q.b) * (p.b - q.b);
  }
  double mse = sum / (3.0 * a.pixels.size());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

vel::gdi::BitmapView View(HBITMAP h) {
  vel::gdi::BitmapView view;
  EXPECT_TRUE(vel::gdi::GetBitmapView(h, &view));
  return view;
}

TEST(KestReduceColors, DepthAndPaletteSizeFollowTheColourCount) {
  Owned src{Picture(97, 61, PhotoLike)};
  ASSERT_GT(Colours(*BitmapToRgb(src.h)).size(), 1000u);
  struct Case {
    int colours, bits;
    size_t most;
  } cases[] = {{2, 1, 2}, {3, 4, 3}, {16, 4, 16}, {17, 8, 17}, {256, 8, 256}, {1000, 24, 256}, {5000, 24, 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colours);
    Owned out{KestReduceColors(src.h, c.colours, false)};
    ASSERT_TRUE(out.h);
    vel::gdi::BitmapView view = View(out.h);
    EXPECT_EQ(view.bitsPerPixel, c.bits);
    EXPECT_TRUE(view.topDown);
    EXPECT_EQ(view.width, 97);
    EXPECT_EQ(view.height, 61);
    auto img = BitmapToRgb(out.h);
    ASSERT_TRUE(img);
    size_t used = Colours(*img).size();
    EXPECT_LE(used, c.most);
    EXPECT_GE(used, std::min<size_t>(c.most, 3) - 1);
  }
}

TEST(KestReduceColors, TwoColoursArePureBlackAndWhiteEvenForTwoReds) {
  Owned src{Picture(13, 9, [](int x, int y) { return (x + y) % 3 ? Rgb{200, 30, 30} : Rgb{120, 10, 10}; })};
  Owned out{KestReduceColors(src.h, 2, false)};
  ASSERT_TRUE(out.h);
  vel::gdi::BitmapView view = View(out.h);
  ASSERT_EQ(view.bitsPerPixel, 1);
  const RGBQUAD* t = view.colors;
  std::set<std::uint32_t> table = {std::uint32_t(t[0].rgbRed | t[0].rgbGreen << 8 | t[0].rgbBlue << 16),
                                   std::uint32_t(t[1].rgbRed | t[1].rgbGreen << 8 | t[1].rgbBlue << 16)};
  EXPECT_EQ(table, (std::set<std::uint32_t>{0, 0xFFFFFF}));
  // Black and white, exactly, keep their places through the 1-bit packing.
  Owned bw{Picture(13, 5, [](int x, int y) { return (x * y) % 4 == 1 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; })};
  Owned bwOut{KestReduceColors(bw.h, 2, false)};
  EXPECT_EQ(lorimer::testing::MaxDifference(*BitmapToRgb(bw.h), *BitmapToRgb(bwOut.h)), 0);
}

TEST(KestReduceColors, FewerColoursThanAskedStayExactAtEveryDepth) {
  const Rgb ten[10] = {{0, 0, 0},     {255, 255, 255}, {200, 16, 40}, {16, 200, 90},  {30, 60, 220},
                       {250, 220, 0}, {128, 128, 128}, {90, 40, 150}, {10, 140, 140}, {240, 120, 180}};
  Owned src{Picture(23, 17, [&](int x, int y) { return ten[(x * 3 + y * 7 + x * y) % 10]; })};
  auto in = BitmapToRgb(src.h);
  for (int colours : {256, 16}) {
    SCOPED_TRACE(colours);
    Owned out{KestReduceColors(src.h, colours, false)};
    ASSERT_TRUE(out.h);
    EXPECT_EQ(View(out.h).bitsPerPixel, colours == 16 ? 4 : 8);
    EXPECT_EQ(lorimer::testing::MaxDifference(*in, *BitmapToRgb(out.h)), 0);
  }
}

TEST(KestReduceColors, GrayGivesOnlyGrays) {
  Owned src{Picture(80, 60, PhotoLike)};
  for (int colours : {256, 16}) {
    SCOPED_TRACE(colours);
    Owned out{KestReduceColors(src.h, colours, true)};
    ASSERT_TRUE(out.h);
    vel::gdi::BitmapView view = View(out.h);
    for (int i = 0; i < view.colorCount; ++i) {
      const RGBQUAD& c = view.colors[i];
      EXPECT_TRUE(c.rgbRed == c.rgbGreen && c.rgbGreen == c.rgbBlue) << i;
    }
    auto img = BitmapToRgb(out.h);
    size_t grays = 0;
    for (const Rgb& c : img->pixels) grays += c.r == c.g && c.g == c.b;
    EXPECT_EQ(grays, img->pixels.size());
    // The tree is shallow for a many-coloured picture, so few gray levels remain;
    // dithering still mixes more than one.
    EXPECT_GE(Colours(*img).size(), 2u);
  }
}

TEST(KestReduceColors, DiffusionKeepsLocalMeans) {
  // A gray ramp in black and white: without diffusion each half would be one
  // flat colour; with it every block keeps the ramp's mean there.
  const int w = 256, h = 96;
  Owned src{Picture(w, h, [](int x, int) { return Rgb{Byte(x), Byte(x), Byte(x)}; })};
  Owned out{KestReduceColors(src.h, 2, false)};
  ASSERT_TRUE(out.h);
  auto a = BitmapToRgb(src.h), b = BitmapToRgb(out.h);
  // The first rows are where the error starts from nothing; they are left out.
  for (int by = 16; by + 16 <= h; by += 16) {
    for (int bx = 0; bx + 16 <= w; bx += 16) {
      double diff = 0;
      for (int y = by; y < by + 16; ++y)
        for (int x = bx; x < bx + 16; ++x) diff += a->at(x, y).r - b->at(x, y).r;
      EXPECT_LE(std::abs(diff / 256), 5.0) << bx << "," << by;
    }
  }
}

TEST(KestReduceColors, SixteenColoursOfAGradientStayClose) {
  const int w = 256, h = 128;
  Owned src{Picture(w, h, [](int x, int y) { return Rgb{Byte(x), Byte(y * 2), Byte(255 - x / 2)}; })};
  Owned out{KestReduceColors(src.h, 16, false)};
  ASSERT_TRUE(out.h);
  EXPECT_GT(Psnr(*BitmapToRgb(src.h), *BitmapToRgb(out.h)), 20.0);
}

TEST(KestReduceColors, PhotoAt256ColoursIsClose) {
  Owned src{Picture(320, 240, PhotoLike)};
  Owned out{KestReduceColors(src.h, 256, false)};
  ASSERT_TRUE(out.h);
  EXPECT_GT(Psnr(*BitmapToRgb(src.h), *BitmapToRgb(out.h)), 32.0);
}

TEST(KestReduceColors, EvenRowsRunRightToLeftOddRowsLeftToRight) {
  // Two columns of gray 100 over black and white rows; the palette becomes black
  // and white. Worked by hand: row 0 starts at the right (black, passing +100 to
  // its left neighbour, which becomes white); row 1 starts at the left with the
  // errors row 0 left below it and so comes out the other way round.
  Owned src{Picture(2, 4, [](int, int y) {
    return y < 2 ? Rgb{100, 100, 100} : y == 2 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
  })};
  Owned out{KestReduceColors(src.h, 2, false)};
  ASSERT_TRUE(out.h);
  auto img = BitmapToRgb(out.h);
  const Rgb white{255, 255, 255}, black{0, 0, 0};
  EXPECT_EQ(img->at(0, 0), white);
  EXPECT_EQ(img->at(1, 0), black);
  EXPECT_EQ(img->at(0, 1), black);
  EXPECT_EQ(img->at(1, 1), white);
}

TEST(KestReduceColors, TreeOverItsNodeBudgetFoldsItsDeepestLevel) {
  // Asking for many colours makes the tree six levels deep; a picture with a
  // pixel in every one of the 64x64x64 cells then outgrows the node budget.
  Owned src{Picture(512, 512, [](int x, int y) {
    int i = y * 512 + x;
    return Rgb{std::uint8_t((i >> 12) * 4 + 1), std::uint8_t(((i >> 6) & 63) * 4 + 2), std::uint8_t((i & 63) * 4 + 1)};
  })};
  Owned out{KestReduceColors(src.h, 5000, false)};
  ASSERT_TRUE(out.h);
  EXPECT_EQ(View(out.h).bitsPerPixel, 24);
  auto img = BitmapToRgb(out.h);
  EXPECT_LE(Colours(*img).size(), 256u);
  EXPECT_GT(Psnr(*BitmapToRgb(src.h), *img), 15.0);
}

TEST(KestReduceColors, RefusesBadInputAndHandlesTinyPictures) {
  Owned src{Picture(5, 5, PhotoLike)};
  EXPECT_EQ(KestReduceColors(src.h, 0, false), nullptr);
  EXPECT_EQ(KestReduceColors(src.h, -5, true), nullptr);
  EXPECT_EQ(KestReduceColors(nullptr, 256, false), nullptr);
  Owned eight{Picture(5, 5, PhotoLike, 8)};
  EXPECT_EQ(KestReduceColors(eight.h, 256, false), nullptr);
  Owned one{Picture(1, 1, [](int, int) { return Rgb{90, 10, 10}; })};
  for (int colours : {1, 2, 16, 256, 5000}) {
    SCOPED_TRACE(colours);
    Owned out{KestReduceColors(one.h, colours, false)};
    ASSERT_TRUE(out.h);
    Rgb expected = colours == 2 ? Rgb{0, 0, 0} : Rgb{90, 10, 10};
    EXPECT_EQ(BitmapToRgb(out.h)->at(0, 0), expected);
  }
}

}  // namespace
