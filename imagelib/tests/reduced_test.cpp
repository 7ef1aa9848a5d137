// Reduced loads: a picture fitted into a box, decoded no larger than needed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "imagelib/core/Common.h"
#include "imagelib/formats/tests/test_support.h"
#include "imagelib/process/harrow_scale.h"
#include "lorimer/ImageInterface.h"
#include "lorimer/Reduced.h"

namespace {

using lorimer::testing::BitmapToRgb;
using lorimer::testing::RgbImage;
using lorimer::testing::TempDir;

// A w x h picture with gradients, texture and edges, saved as `ext` ("jpg", "png" or "wmf").
std::string Picture(int w, int h, const std::string& ext) {
  HBITMAP bmp = Common::CreateEmptyDIBSection(w, h, 0, 0);
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bmp, &v)) return "";
  for (int y = 0; y < h; ++y) {
    BYTE* p = v.row(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[2] = static_cast<BYTE>(128 + 100 * std::sin(x * 0.02) * std::cos(y * 0.015));
      p[1] = static_cast<BYTE>(x * 220 / w + (x * 7 + y * 13) % 16);
      p[0] = ((x / 100 + y / 80) % 2) ? 210 : 50;
    }
  }
  CImageInterface img;
  if (!img.InitFromHBITMAP(bmp)) return "";
  const std::string path = TempDir() + "/reduced-" + std::to_string(w) + "x" + std::to_string(h) + "." + ext;
  int ok = 0;
  if (ext == "jpg") {
    _SAVEIMAGEINFO::_JPG r{};
    r.depth = 24;
    r.quality = 92;
    ok = img.Save(path.c_str(), &r);
  } else if (ext == "png") {
    _SAVEIMAGEINFO::_PNG r{};
    r.depth = 24;
    ok = img.Save(path.c_str(), &r);
  } else {
    _SAVEIMAGEINFO::_WMF r{};
    ok = img.Save(path.c_str(), &r);
  }
  return ok ? path : "";
}

// The whole page loaded the ordinary way, scaled by the library's scaler to w x h.
std::optional<RgbImage> WholeScaled(const std::string& path, int w, int h) {
  CImageInterface img;
  if (!img.Load(path.c_str(), 1)) return std::nullopt;
  vel::gdi::OwnedBitmap page(img.GetHBITMAP(1, 0));
  vel::gdi::OwnedBitmap scaled(lorimer::process::HarrowScale(page.get(), w, h));
  return BitmapToRgb(scaled.get());
}

double MeanDifference(const RgbImage& a, const RgbImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    sum += std::abs(a.pixels[i].r - b.pixels[i].r) + std::abs(a.pixels[i].g - b.pixels[i].g) +
           std::abs(a.pixels[i].b - b.pixels[i].b);
  return sum / (3.0 * static_cast<double>(a.pixels.size()));
}

TEST(ReducedLoad, FitsIntoTheBoxAndLooksLikeTheWholePictureScaled) {
  const std::string jpeg = Picture(1600, 1200, "jpg"), png = Picture(300, 200, "png");
  const std::string wmf = Picture(400, 300, "wmf");
  ASSERT_FALSE(jpeg.empty() || png.empty() || wmf.empty());
  const std::string notJpeg = TempDir() + "/png-inside.jpg";  // name and content disagree
  ASSERT_TRUE(lorimer::testing::Run("cp '" + png + "' '" + notJpeg + "'"));
  const struct {
    std::string path;
    int boxW, boxH, width, height, fullW, fullH;
    bool compare;  // with the whole picture scaled to the same size
  } cases[] = {
      {jpeg, 400, 400, 400, 300, 1600, 1200, true},      // 1/4 decode is exactly the size
      {jpeg, 300, 1000, 300, 225, 1600, 1200, true},     // 1/4 decode, then scaled
      {jpeg, 401, 301, 401, 301, 1600, 1200, true},      // 1/4 falls a pixel short: 1/2
      {jpeg, 1200, 900, 1200, 900, 1600, 1200, true},    // full decode, scaled
      {jpeg, 5000, 5000, 1600, 1200, 1600, 1200, true},  // never enlarged
      {png, 150, 150, 150, 100, 300, 200, true},
      {png, 900, 900, 300, 200, 300, 200, true},
      {notJpeg, 60, 60, 60, 40, 300, 200, true},
      {wmf, 800, 800, 800, 600, 400, 300, false},  // drawings are drawn at the size asked
  };
  for (const auto& c : cases) {
    int w = -1, h = -1;
    vel::gdi::OwnedBitmap bitmap(lorimer::LoadReducedHBITMAP(c.path.c_str(), 0, c.boxW, c.boxH, &w, &h));
    const std::optional<RgbImage> got = BitmapToRgb(bitmap.get());
    ASSERT_TRUE(got) << c.path << " " << c.boxW;
    EXPECT_EQ(got->width, c.width) << c.path << " " << c.boxW;
    EXPECT_EQ(got->height, c.height) << c.path << " " << c.boxW;
    EXPECT_EQ(w, c.fullW) << c.path;
    EXPECT_EQ(h, c.fullH) << c.path;
    vel::gdi::BitmapView view;
    ASSERT_TRUE(vel::gdi::GetBitmapView(bitmap.get(), &view));
    EXPECT_EQ(view.bitsPerPixel, 24);
    if (c.compare) {
      const std::optional<RgbImage> whole = WholeScaled(c.path, c.width, c.height);
      ASSERT_TRUE(whole && whole->width == got->width && whole->height == got->height);
      // A few levels of decoder rounding; a shifted, cropped or swapped picture is off by tens.
      EXPECT_LT(MeanDifference(*got, *whole), 4.0) << c.path << " " << c.boxW;
    }
  }
  // Squares of 100 x 80 alternate between blue 50 and 210: doubled, at 200 x 160.
  vel::gdi::OwnedBitmap drawn(lorimer::LoadReducedHBITMAP(wmf.c_str(), 0, 800, 800, nullptr, nullptr));
  const std::optional<RgbImage> d = BitmapToRgb(drawn.get());
  ASSERT_TRUE(d);
  EXPECT_LT(d->at(100, 80).b, 90);
  EXPECT_GT(d->at(300, 80).b, 170);
  EXPECT_GT(d->at(100, 240).b, 170);
}

TEST(ReducedLoad, FailsCleanly) {
  const std::string png = Picture(30, 20, "png");
  ASSERT_FALSE(png.empty());
  const struct {
    std::string path;
    int page, boxW, boxH;
  } cases[] = {
      {TempDir() + "/missing.jpg", 0, 100, 100},
      {TempDir() + "/missing.png", 0, 100, 100},
      {png, 1, 100, 100},  // no second page
      {png, -1, 100, 100},
      {png, 0, 0, 100},
      {png, 0, 100, -5},
      {"", 0, 100, 100},
  };
  for (const auto& c : cases) {
    int w = -1, h = -1;
    HBITMAP bitmap = lorimer::LoadReducedHBITMAP(c.path.c_str(), c.page, c.boxW, c.boxH, &w, &h);
    EXPECT_EQ(bitmap, nullptr) << c.path << " page " << c.page << " box " << c.boxW << "x" << c.boxH;
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    if (bitmap) DeleteObject(bitmap);
  }
  EXPECT_EQ(lorimer::LoadReducedHBITMAP(nullptr, 0, 10, 10, nullptr, nullptr), nullptr);
}

}  // namespace
