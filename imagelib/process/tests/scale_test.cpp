// The scaler: identities, exact box averages, bilinear steps, the mapped
// temporary result for large pictures, and refusal of bad sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "imagelib/formats/tests/test_support.h"
#include "imagelib/process/harrow_scale.h"
#include "platform/gdi/gdi.h"

namespace {

using lorimer::process::HarrowScale;
using lorimer::testing::BitmapToRgb;
using lorimer::testing::Rgb;
using lorimer::testing::RgbImage;

HBITMAP MakeDib(int width, int height, int bits = 24) {
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as most decoded pages are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  void* p = nullptr;
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
}

template <typename F>
HBITMAP Picture(int width, int height, F colour) {
  HBITMAP b = MakeDib(width, height);
  vel::gdi::BitmapView view;
  if (!b || !vel::gdi::GetBitmapView(b, &view)) return nullptr;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Rgb c = colour(x, y);
      BYTE* p = view.row(y) + 3 * x;
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  return b;
}

struct Owned {
  HBITMAP h;
  ~Owned() {
    if (h) DeleteObject(h);
  }
};

Rgb Pattern(int x, int y) {
  return Rgb{static_cast<std::uint8_t>((x * 37 + y * 11) & 0xFF), static_cast<std::uint8_t>((x * 5 + y * 71) & 0xFF),
             static_cast<std::uint8_t>((x ^ y) * 3 & 0xFF)};
}

TEST(HarrowScale, SameSizeKeepsEveryPixelAndGivesTopDown24Bit) {
  Owned src{Picture(37, 21, Pattern)};
  Owned out{HarrowScale(src.h, 37, 21)};
  ASSERT_TRUE(out.h);
  vel::gdi::BitmapView view;
  ASSERT_TRUE(vel::gdi::GetBitmapView(out.h, &view));
  EXPECT_EQ(view.bitsPerPixel, 24);
  EXPECT_TRUE(view.topDown);
  auto a = BitmapToRgb(src.h), b = BitmapToRgb(out.h);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(lorimer::testing::MaxDifference(*a, *b), 0);
}

TEST(HarrowScale, HalvingAveragesTwoByTwoBoxesAndNarrowsTheLastOnes) {
  // 1200 x 1200 is large enough to be shared out between threads.
  for (const int n : {100, 1200}) {
  Owned src{Picture(n, n, Pattern)};
  Owned out{HarrowScale(src.h, n / 2, n / 2)};
  ASSERT_TRUE(out.h);
  auto img = BitmapToRgb(out.h);
  ASSERT_TRUE(img);
  ASSERT_EQ(img->width, n / 2);
  auto expected = [&](int j, int k) {
    // Boxes of 2x2 from (2j, 2k); the last column and row keep one pixel.
    int w = j == n / 2 - 1 ? 1 : 2, h = k == n / 2 - 1 ? 1 : 2;
    int sum[3] = {0, 0, 0};
    for (int y = 2 * k; y < 2 * k + h; ++y)
      for (int x = 2 * j; x < 2 * j + w; ++x) {
        Rgb c = Pattern(x, y);
        sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
      }
    return Rgb{std::uint8_t(sum[0] / (w * h)), std::uint8_t(sum[1] / (w * h)), std::uint8_t(sum[2] / (w * h))};
  };
  for (int k = 0; k < n / 2; ++k)
    for (int j = 0; j < n / 2; ++j) ASSERT_EQ(img->at(j, k), expected(j, k)) << j << "," << k << " of " << n;
  }
}

// The box path written out plainly, one channel at a time, as an oracle for the
// scaler's faster loops: every result must match it exactly.
RgbImage ReferenceBoxShrink(const RgbImage& src, int width, int height) {
  auto boxes = [](int size, int newSize) {
    std::vector<std::tuple<int, int, float>> out;
    float d = static_cast<float>(size) / static_cast<float>(newSize);
    int b = std::max(1, static_cast<int>(std::lround(d)));
    for (int j = 0; j < newSize; ++j) {
      float x = static_cast<float>(j) * d;
      int x0 = std::min(static_cast<int>(std::floor(x)), size - 1);
      out.emplace_back(x0, x0 + b >= size ? size - x0 - 1 : b, x - static_cast<float>(x0));
    }
    return out;
  };
  auto cols = boxes(src.width, width), rows = boxes(src.height, height);
  auto ch = [&](int x, int y, int c) {
    const Rgb& p = src.at(x, y);
    return c == 0 ? p.r : c == 1 ? p.g : p.b;
  };
  RgbImage out;
  out.width = width;
  out.height = height;
  for (int k = 0; k < height; ++k) {
    for (int j = 0; j < width; ++j) {
      auto [x0, bw, fx] = cols[j];
      auto [y0, bh, fy] = rows[k];
      int v[3];
      for (int c = 0; c < 3; ++c) {
        long long sum = 0, n = 0;
        if (bw == 0 && bh == 0) {
          v[c] = ch(x0, y0, c);
          continue;
        }
        if (bw > 0 && bh > 0) {
          for (int y = y0; y < y0 + bh; ++y)
            for (int x = x0; x < x0 + bw; ++x, ++n) {
              float top = (1 - fx) * ch(x, y, c) + fx * ch(x + 1, y, c);
              float bottom = (1 - fx) * ch(x, y + 1, c) + fx * ch(x + 1, y + 1, c);
              sum += std::clamp(static_cast<int>(top * (1 - fy) + bottom * fy), 0, 255);
            }
        } else if (bw == 0) {
          for (int y = y0; y < y0 + bh; ++y, ++n)
            sum += std::clamp(static_cast<int>((1 - fy) * ch(x0, y, c) + fy * ch(x0, y + 1, c)), 0, 255);
        } else {
          for (int x = x0; x < x0 + bw; ++x, ++n)
            sum += std::clamp(static_cast<int>((1 - fx) * ch(x, y0, c) + fx * ch(x + 1, y0, c)), 0, 255);
        }
        v[c] = static_cast<int>(sum / n);
      }
      out.pixels.push_back(Rgb{static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]),
                               static_cast<std::uint8_t>(v[2])});
    }
  }
  return out;
}

TEST(HarrowScale, ShrinkingMatchesThePlainBoxFormulaExactly) {
  unsigned seed = 7;
  auto noise = [&](int, int) {
    seed = seed * 1103515245u + 12345u;
    return Rgb{static_cast<std::uint8_t>(seed >> 16), static_cast<std::uint8_t>(seed >> 8),
               static_cast<std::uint8_t>(seed >> 24)};
  };
  Owned src{Picture(97, 61, noise)};
  auto srcRgb = BitmapToRgb(src.h);
  ASSERT_TRUE(srcRgb.has_value());
  for (auto [w, h] : {std::pair{48, 30}, std::pair{33, 61}, std::pair{97, 20}, std::pair{7, 5}, std::pair{1, 1}}) {
    Owned out{HarrowScale(src.h, w, h)};
    auto ours = BitmapToRgb(out.h);
    ASSERT_TRUE(ours.has_value()) << w << "x" << h;
    RgbImage want = ReferenceBoxShrink(*srcRgb, w, h);
    EXPECT_EQ(lorimer::testing::MaxDifference(*ours, want), 0) << w << "x" << h;
  }
}

TEST(HarrowScale, EnlargingATwoPixelGradientStepsByAQuarter) {
  // 2x2 to 4x4: steps are 1/4 because 2 - 1 is not above 1.
  Owned src{Picture(2, 2, [](int x, int y) {
    return Rgb{std::uint8_t(x * 255), std::uint8_t(y * 200), std::uint8_t(100)};
  })};
  Owned out{HarrowScale(src.h, 4, 4)};
  ASSERT_TRUE(out.h);
  auto img = BitmapToRgb(out.h);
  ASSERT_TRUE(img);
  const std::uint8_t reds[4] = {0, 63, 127, 191};
  const std::uint8_t greens[4] = {0, 50, 100, 150};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(img->at(x, y), (Rgb{reds[x], greens[y], 100})) << x << "," << y;
}

TEST(HarrowScale, EnlargingWiderPicturesUsesSourceWidthMinusOne) {
  // 5 wide to 8 wide: step 4/8, so column j samples x = j/2 and never passes the last pixel.
  Owned src{Picture(5, 3, [](int x, int) { return Rgb{std::uint8_t(x * 60), 0, 0}; })};
  Owned out{HarrowScale(src.h, 8, 6)};
  auto img = BitmapToRgb(out.h);
  ASSERT_TRUE(img);
  for (int j = 0; j < 8; ++j) EXPECT_EQ(img->at(j, 5).r, j * 30) << j;
}

TEST(HarrowScale, RefusesBadSizesAndOtherDepths) {
  Owned src{Picture(8, 8, Pattern)};
  EXPECT_EQ(HarrowScale(src.h, 0, 8), nullptr);
  EXPECT_EQ(HarrowScale(src.h, 8, -1), nullptr);
  EXPECT_EQ(HarrowScale(src.h, 1 << 16, 1 << 14), nullptr);  // beyond kMaxBitmapPixels
  EXPECT_EQ(HarrowScale(nullptr, 4, 4), nullptr);
  Owned eight{MakeDib(8, 8, 8)};
  ASSERT_TRUE(eight.h);
  EXPECT_EQ(HarrowScale(eight.h, 4, 4), nullptr);
  // Extreme shapes still work: one pixel wide in and out.
  Owned line{HarrowScale(src.h, 1, 300)};
  EXPECT_TRUE(line.h);
  Owned dot{HarrowScale(src.h, 1, 1)};
  EXPECT_TRUE(dot.h);
  // A single pixel enlarged blends with itself (there is no right or lower
  // neighbour); single-precision weights truncated may lose one.
  Owned single{Picture(1, 1, [](int, int) { return Rgb{9, 99, 199}; })};
  Owned grown{HarrowScale(single.h, 3, 3)};
  auto img = BitmapToRgb(grown.h);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->at(0, 0), (Rgb{9, 99, 199}));
  for (const Rgb& c : img->pixels) {
    EXPECT_NEAR(c.r, 9, 1);
    EXPECT_NEAR(c.g, 99, 1);
    EXPECT_NEAR(c.b, 199, 1);
  }
}

class ScaleTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    saved_ = old ? old : "";
    had_ = old != nullptr;
    dir_ = lorimer::testing::TempDir() + "/harrow";
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (had_)
      setenv("TMPDIR", saved_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  std::string dir_, saved_;
  bool had_ = false;
};

TEST_F(ScaleTempDir, LargeResultsGoThroughAMappedFileThatIsRemoved) {
  // 1100 x 1000 x 4 bytes is above 4 MiB. Two ramps, so every result pixel can
  // be checked against the line it was interpolated from.
  Owned src{Picture(550, 500, [](int x, int y) {
    return Rgb{std::uint8_t(x * 255 / 549), std::uint8_t(y * 255 / 499), 7};
  })};
  setenv("TMPDIR", dir_.c_str(), 1);
  Owned out{HarrowScale(src.h, 1100, 1000)};
  ASSERT_TRUE(out.h);
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
  auto img = BitmapToRgb(out.h);
  ASSERT_TRUE(img);
  ASSERT_EQ(img->width, 1100);
  ASSERT_EQ(img->height, 1000);
  int worst = 0;
  for (int y = 0; y < 1000; ++y)
    for (int x = 0; x < 1100; ++x) {
      const Rgb& c = img->at(x, y);
      double wantR = x * (549.0 / 1100) * 255 / 549, wantG = y * (499.0 / 1000) * 255 / 499;
      worst = std::max({worst, int(std::abs(c.r - wantR)), int(std::abs(c.g - wantG)), std::abs(c.b - 7)});
    }
  EXPECT_LE(worst, 2);

  // Without a usable temporary folder the large result cannot be made, the small one still can.
  setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
  EXPECT_EQ(HarrowScale(src.h, 1100, 1000), nullptr);
  Owned small{HarrowScale(src.h, 1000, 1000)};  // exactly 4 000 000 bytes: still on the heap
  EXPECT_TRUE(small.h);
}

}  // namespace
