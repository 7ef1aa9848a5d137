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

// A 2 x 1 packed DIB with bit fields: red then blue, in the given layout.
HGLOBAL BitFieldDib(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  BITMAPINFOHEADER h = Common::GetEmptyBMPInfoHeader(2, 1, bits, 1, 0).bmiHeader;
  h.biCompression = BI_BITFIELDS;
  const std::uint32_t masks[3] = {red, green, blue};
  const std::uint32_t row32[2] = {red, blue};
  const std::uint16_t row16[2] = {static_cast<std::uint16_t>(red), static_cast<std::uint16_t>(blue)};
  HGLOBAL block = GlobalAlloc(GHND, sizeof h + sizeof masks + 8);
  auto* p = static_cast<BYTE*>(GlobalLock(block));
  std::memcpy(p, &h, sizeof h);
  std::memcpy(p + sizeof h, masks, sizeof masks);
  if (bits == 32)
    std::memcpy(p + sizeof h + sizeof masks, row32, sizeof row32);
  else
    std::memcpy(p + sizeof h + sizeof masks, row16, sizeof row16);
  GlobalUnlock(block);
  return block;
}

TEST(Processing, EdgesOfTheArithmetic) {
  // Bit-field DIBs become bitmaps like any other.
  for (int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    HGLOBAL dib = bits == 16 ? BitFieldDib(16, 0xF800, 0x07E0, 0x001F) : BitFieldDib(32, 0xFF0000, 0xFF00, 0xFF);
    HBITMAP bitmap = CImageInterface::DIBToDDB(dib);
    GlobalFree(dib);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(At(bitmap, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(At(bitmap, 1, 0), RGB(0, 0, 255));
    DeleteObject(bitmap);
  }
  // 24 bits asks for nothing, so it succeeds even without an image.
  HIMG nothing = nullptr;
  int page = 0;
  EXPECT_EQ(CImageProcessor::ChangeColorDepthFast(&nothing, 24, static_cast<unsigned>(-1), page), 1);
  // A box with a side of 0 leaves no room for a proportional fit.
  int w = 100, h = 50;
  CImageInterface::CalculateProportionallyRect(&w, &h, 0, 300);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(40, 20)));
  EXPECT_EQ(img.StretchImage(-1, 80, 0, 1, 3, 0xFFFFFF, page), 0);
  EXPECT_EQ(img.GetWidth(0), 40);
  EXPECT_EQ(img.StretchImage(-1, 80, 80, 1, 3, 0xFFFFFF, page), 1);
  EXPECT_EQ(img.GetWidth(0), 80);
  EXPECT_EQ(img.GetHeight(0), 40);
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
