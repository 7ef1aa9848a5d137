// The scaler: identities, exact box averages, both blends against their formulas
// written out plainly (with the AVX2 and the plain loops), bilinear steps, the
// mapped temporary result for large pictures and the buffers each thread keeps,
// and refusal of bad sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "imagelib/formats/tests/test_support.h"
#include "imagelib/process/harrow_scale.h"
#include "platform/gdi/gdi.h"

namespace {

using lorimer::process::HarrowScale;
using lorimer::testing::BitmapToRgb;
using lorimer::testing::MaxDifference;
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
  EXPECT_EQ(MaxDifference(*a, *b), 0);
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

// Channel c of a pixel: 0 red, 1 green, 2 blue.
int Channel(const RgbImage& image, int x, int y, int c) {
  const Rgb& p = image.at(x, y);
  return c == 0 ? p.r : c == 1 ? p.g : p.b;
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
  auto ch = [&](int x, int y, int c) { return Channel(src, x, y, c); };
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
      out.pixels.push_back(
          Rgb{static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]), static_cast<std::uint8_t>(v[2])});
    }
  }
  return out;
}

// The bilinear path written out plainly, likewise. The right and lower
// neighbours stay inside the picture (a source one pixel wide blends with itself).
RgbImage ReferenceBilinear(const RgbImage& src, int width, int height) {
  auto taps = [](int size, int newSize) {
    std::vector<std::tuple<int, int, float>> out;
    float s =
        size - 1 > 1 ? static_cast<float>(size - 1) / static_cast<float>(newSize) : 1.0f / static_cast<float>(newSize);
    for (int j = 0; j < newSize; ++j) {
      float x = static_cast<float>(j) * s;
      int x0 = std::min(static_cast<int>(std::floor(x)), size - 1);
      out.emplace_back(x0, std::min(x0 + 1, size - 1), x - static_cast<float>(x0));
    }
    return out;
  };
  auto cols = taps(src.width, width), rows = taps(src.height, height);
  auto ch = [&](int x, int y, int c) { return Channel(src, x, y, c); };
  RgbImage out;
  out.width = width;
  out.height = height;
  for (int k = 0; k < height; ++k) {
    for (int j = 0; j < width; ++j) {
      auto [x0, x1, fx] = cols[j];
      auto [y0, y1, fy] = rows[k];
      std::uint8_t v[3];
      for (int c = 0; c < 3; ++c) {
        float top = (1 - fx) * ch(x0, y0, c) + fx * ch(x1, y0, c);
        float bottom = (1 - fx) * ch(x0, y1, c) + fx * ch(x1, y1, c);
        v[c] = static_cast<std::uint8_t>(static_cast<int>(top * (1 - fy) + bottom * fy));
      }
      out.pixels.push_back(Rgb{v[0], v[1], v[2]});
    }
  }
  return out;
}

// What every call must give: a copy, the bilinear blend when larger both ways,
// else the box average.
RgbImage Reference(const RgbImage& src, int width, int height) {
  if (width == src.width && height == src.height) return src;
  if (width > src.width && height > src.height) return ReferenceBilinear(src, width, height);
  return ReferenceBoxShrink(src, width, height);
}

HBITMAP Noise(int width, int height, unsigned seed) {
  return Picture(width, height, [&](int, int) {
    seed = seed * 1103515245u + 12345u;
    return Rgb{static_cast<std::uint8_t>(seed >> 16), static_cast<std::uint8_t>(seed >> 8),
               static_cast<std::uint8_t>(seed >> 24)};
  });
}

struct ScaleCase {
  int sourceWidth, sourceHeight, width, height;
};

// Edge sizes 1, 2 and 3, widths that are no multiple of 8, enlarging, shrinking,
// one axis each way, boxes of 1, 2 (overlapping at 1.5), 3 (at 2.5) and 20 x 19
// pixels (averages whose quotient estimate can overshoot), boxes wider than the
// source stretch the row loops take at once or than they take at all (summed
// pixel by pixel in 64 bits), and pictures large enough to be shared out between
// threads.
const ScaleCase kNoiseCases[] = {
    {1, 1, 1, 1},       {1, 1, 3, 3},        {1, 1, 1, 7},      {1, 1, 7, 1},           {1, 5, 3, 9},
    {1, 5, 1, 2},       {1, 5, 4, 2},        {5, 1, 9, 3},      {5, 1, 2, 1},           {2, 2, 4, 4},
    {2, 2, 3, 5},       {2, 2, 1, 1},        {2, 2, 2, 5},      {2, 3, 1, 2},           {3, 3, 8, 8},
    {3, 3, 17, 9},      {3, 3, 2, 2},        {3, 3, 1, 3},      {97, 61, 48, 30},       {97, 61, 33, 61},
    {97, 61, 97, 20},   {97, 61, 7, 5},      {97, 61, 1, 1},    {97, 61, 200, 150},     {97, 61, 98, 62},
    {97, 61, 250, 40},  {97, 61, 13, 400},   {97, 61, 96, 60},  {97, 61, 33, 17},       {96, 64, 64, 43},
    {100, 100, 40, 40}, {1000, 570, 50, 30}, {64, 48, 1024, 9}, {64, 48, 8, 768},       {640, 3, 17, 1},
    {5000, 2, 1, 1},    {9000, 7, 3, 2},     {70000, 2, 1, 1},  {1200, 1000, 613, 301}, {500, 400, 1100, 1000},
};

// The scaler's inner loops have an AVX2 build and a plain one: both are checked
// (the plain one alone where the processor has no AVX2).
std::vector<bool> LoopBuilds() {
  lorimer::process::detail::AllowAvx2(true);
  if (lorimer::process::detail::Avx2InUse()) return {true, false};
  std::printf("No AVX2 on this processor: only the plain loops are checked.\n");
  return {false};
}

struct UsingAvx2 {
  explicit UsingAvx2(bool allow) { lorimer::process::detail::AllowAvx2(allow); }
  ~UsingAvx2() { lorimer::process::detail::AllowAvx2(true); }
};

TEST(HarrowScale, MatchesThePlainFormulaOnNoiseForEverySizeAndPath) {
  const std::vector<bool> builds = LoopBuilds();
  unsigned seed = 7;
  for (const ScaleCase& c : kNoiseCases) {
    Owned src{Noise(c.sourceWidth, c.sourceHeight, seed++)};
    auto srcRgb = BitmapToRgb(src.h);
    ASSERT_TRUE(srcRgb.has_value());
    const RgbImage want = Reference(*srcRgb, c.width, c.height);
    for (bool avx2 : builds) {
      UsingAvx2 build(avx2);
      Owned out{HarrowScale(src.h, c.width, c.height)};
      auto ours = BitmapToRgb(out.h);
      ASSERT_TRUE(ours.has_value()) << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width << "x" << c.height;
      EXPECT_EQ(MaxDifference(*ours, want), 0) << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width << "x"
                                               << c.height << (avx2 ? " AVX2" : " plain");
    }
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

// Temporary files of `dir` named "mem..." that this process holds open.
int OpenMemFiles(const std::string& dir) {
  const std::string prefix = std::filesystem::canonical(dir).string() + "/mem";
  int n = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
    if (!error && target.rfind(prefix, 0) == 0) ++n;
  }
  return n;
}

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

  // A thread that never made a large result cannot without a usable temporary
  // folder; the small one still can.
  setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
  std::thread([&] {
    EXPECT_EQ(HarrowScale(src.h, 1100, 1000), nullptr);
    Owned small{HarrowScale(src.h, 1000, 1000)};  // exactly 4 000 000 bytes: still on the heap
    EXPECT_TRUE(small.h);
  }).join();
}

TEST_F(ScaleTempDir, EachThreadKeepsOneMappedFileFromCallToCallAndLetsItGoAtItsEnd) {
  // Two threads at once keep their own buffers and get their pixels right. Later
  // large results of a thread, larger ones too, reuse its first mapping, so they
  // need no temporary folder any more; the file goes when the thread ends.
  // (This thread may hold one of its own from earlier tests.)
  const int held = OpenMemFiles(dir_);
  Owned a{Noise(500, 400, 21)}, b{Noise(700, 300, 22)};
  auto aRgb = BitmapToRgb(a.h), bRgb = BitmapToRgb(b.h);
  ASSERT_TRUE(aRgb && bRgb);
  struct Call {
    HBITMAP src;
    RgbImage want;
    int width, height;
  };
  auto call = [&](HBITMAP src, const RgbImage& rgb, int width, int height) {
    return Call{src, Reference(rgb, width, height), width, height};
  };
  const Call large = call(a.h, *aRgb, 1100, 1000), small = call(a.h, *aRgb, 250, 150),
             otherLarge = call(b.h, *bRgb, 1200, 900), otherSmall = call(b.h, *bRgb, 699, 299),
             larger = call(a.h, *aRgb, 1150, 1000);
  auto scale = [&](std::vector<const Call*> calls) {
    for (const Call* c : calls) {
      Owned out{HarrowScale(c->src, c->width, c->height)};
      auto ours = BitmapToRgb(out.h);
      ASSERT_TRUE(ours.has_value()) << c->width << "x" << c->height;
      EXPECT_EQ(MaxDifference(*ours, c->want), 0) << c->width << "x" << c->height;
      EXPECT_LE(OpenMemFiles(dir_), held + 2);
    }
  };
  setenv("TMPDIR", dir_.c_str(), 1);
  std::thread one(scale, std::vector<const Call*>{&large, &small, &large});
  std::thread two(scale, std::vector<const Call*>{&otherLarge, &otherSmall});
  one.join();
  two.join();
  EXPECT_EQ(OpenMemFiles(dir_), held);
  std::thread([&] {
    scale({&large});
    setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
    scale({&large, &larger, &small});
    EXPECT_EQ(OpenMemFiles(dir_), held + 1);
  }).join();
  EXPECT_EQ(OpenMemFiles(dir_), held);
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

}  // namespace
