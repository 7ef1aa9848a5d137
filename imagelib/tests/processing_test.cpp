// The image object's processing, save and thumbnail operations, end to end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/formats/tests/test_support.h"
#include "imagelib/tests/picture_helpers.h"
#include "lorimer/ImageInterface.h"

using namespace lorimer::testing;

namespace {

int BitsOf(CImageInterface& img) {
  BITMAP bm{};
  GetObject(img.GetHBITMAP(0, 0), sizeof bm, &bm);
  return bm.bmBitsPixel;
}

TEST(Processing, RotateAnglesAndPages) {
  if (Im().empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  CImageInterface img;
  ASSERT_TRUE(img.Load(ThreePageTiff().c_str(), 0));
  int page = 2;
  EXPECT_EQ(img.Rotate(360.0f, 0, page), 1);
  EXPECT_EQ(img.Rotate(-360.0f, 0, page), 1);
  EXPECT_EQ(img.GetPageCount(), 3);  // untouched
  EXPECT_EQ(page, 2);
  EXPECT_EQ(img.Rotate(361.0f, 0, page), 0);
  ASSERT_EQ(img.Rotate(90.0f, 0, page), 1);
  EXPECT_EQ(page, 0);
  EXPECT_EQ(img.GetPageCount(), 1);
  EXPECT_EQ(img.GetWidth(0), 5);  // page 2 was 30 x 5
  EXPECT_EQ(img.GetHeight(0), 30);
  EXPECT_EQ(img.GetFormat(), FORMAT_UNKNOWN);

  CImageInterface a, b;
  ASSERT_TRUE(a.InitFromHBITMAP(Picture(6, 4)));
  ASSERT_TRUE(b.InitFromHBITMAP(Picture(6, 4)));
  int pa = 0, pb = 0;
  ASSERT_TRUE(a.Rotate(-90.0f, 0, pa));
  ASSERT_TRUE(b.Rotate(270.0f, 0, pb));
  ASSERT_EQ(a.GetWidth(0), 4);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(a.GetHBITMAP(0, 0), x, y), At(b.GetHBITMAP(0, 0), x, y));
}

TEST(Processing, ColourDepthAndGray) {
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(16, 8)));
  ASSERT_TRUE(img.SetColorDepth(8, 0));
  EXPECT_EQ(img.GetColorDepth(), 8);
  EXPECT_TRUE(img.SetColorDepth(24, 0));  // does nothing
  EXPECT_EQ(BitsOf(img), 8);
  EXPECT_TRUE(img.SetColorDepth(16, 0));  // any other depth renders 24 bits
  EXPECT_EQ(BitsOf(img), 24);
  EXPECT_EQ(img.GetColorDepth(), 24);

  ASSERT_TRUE(img.SetGrayScale(0));
  EXPECT_EQ(BitsOf(img), 8);
  vel::gdi::BitmapView v;
  ASSERT_TRUE(vel::gdi::GetBitmapView(img.GetHBITMAP(0, 0), &v));
  for (int i = 0; i < v.colorCount; ++i) {
    EXPECT_EQ(v.colors[i].rgbRed, v.colors[i].rgbGreen);
    EXPECT_EQ(v.colors[i].rgbGreen, v.colors[i].rgbBlue);
  }
  // A 1-bit image stays black and white.
  ASSERT_TRUE(img.SetColorDepth(1, 0));
  ASSERT_TRUE(img.SetGrayScale(0));
  ASSERT_TRUE(vel::gdi::GetBitmapView(img.GetHBITMAP(0, 0), &v));
  EXPECT_EQ(v.bitsPerPixel, 1);
  for (int i = 0; i < v.colorCount; ++i) {
    int c = v.colors[i].rgbRed;
    EXPECT_TRUE(c == 0 || c == 255) << c;
  }
}

TEST(Processing, CropClampsAndProportionalFit) {
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(40, 40)));
  RECT r{-10, -10, 50, 50};
  HBITMAP crop = img.CropImage(r);
  ASSERT_NE(crop, nullptr);
  BITMAP bm{};
  GetObject(crop, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 40);
  EXPECT_EQ(bm.bmHeight, 40);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 41);
  EXPECT_EQ(r.bottom, 41);
  EXPECT_EQ(At(crop, 39, 39), RGB(0, 0, 255));
  DeleteObject(crop);
  RECT empty{5, 5, 5, 9};
  EXPECT_EQ(img.CropImage(empty), nullptr);
  int w = 100, h = 50;
  EXPECT_EQ(CImageInterface::CalculateProportionallyRect(&w, &h, 300, 300), 1);
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 150);
  CImageInterface none;
  EXPECT_EQ(none.CropImage(r), nullptr);
}

TEST(Processing, FiltersAndToneChangesReplaceTheImage) {
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(8, 8)));
  int page = 0;
  ASSERT_TRUE(img.InvertImage(0));
  EXPECT_EQ(At(img.GetHBITMAP(0, 0), 0, 5), RGB(0, 255, 255));
  ASSERT_TRUE(img.SetBrightness(-255, page));
  EXPECT_EQ(At(img.GetHBITMAP(0, 0), 0, 5), RGB(0, 0, 0));
  for (int f : {0, 1, 2, 3, 4, 5, 6, 7, 8}) EXPECT_TRUE(img.FilterImage(f, page)) << f;
  EXPECT_FALSE(img.FilterImage(42, page));
  EXPECT_TRUE(img.SetContrast(50, 4, page, -1));
  EXPECT_TRUE(img.Mirror(1, 0, page));
}

}  // namespace
