// EPS2WMF results played back by our metafile player: the filled rectangle of the
// EPS lands where the bounding box says, in its colour, both from the WMF records
// and from the EMF the WMF carries, and for the rasterised route too.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/gdi/gdi.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/player.h"
#include "siblings/marrow/marrow.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;

struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  Canvas(int w, int h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
};

// The colour SmallEps fills with: 0.2 0.4 0.8 setrgbcolor.
void ExpectFill(COLORREF c) {
  EXPECT_NEAR(GetRValue(c), 51, 4);
  EXPECT_NEAR(GetGValue(c), 102, 4);
  EXPECT_NEAR(GetBValue(c), 204, 4);
}

// SmallEps leaves a 10-point margin around the rectangle; on a 200 x 100 canvas for
// a 100 x 50 point box that is 20 pixels.
void ExpectPicture(HDC dc) {
  ExpectFill(GetPixel(dc, 100, 50));
  ExpectFill(GetPixel(dc, 25, 25));
  ExpectFill(GetPixel(dc, 175, 75));
  for (auto [x, y] : {std::pair{5, 5}, {195, 5}, {5, 95}, {195, 95}, {100, 8}, {100, 92}, {8, 50}, {192, 50}})
    EXPECT_EQ(GetPixel(dc, x, y), RGB(255, 255, 255)) << x << "," << y;
}

class Rendered : public ::testing::TestWithParam<int> {};

TEST_P(Rendered, RectangleLandsInPlace) {
  if (!OnPath("pstoedit") || !OnPath("gs")) GTEST_SKIP() << "pstoedit or gs is not installed";
  TempDir dir;
  const int lly = GetParam();  // 0: vector route; far up the page: raster route
  WriteText(dir.file("p.eps"), SmallEps(0, lly, 100, lly + 50));
  ASSERT_TRUE(EPS2WMF(marrow::WidenToSystemString(dir.file("p.eps")), marrow::WidenToSystemString(dir.file("p.wmf"))));
  const Bytes wmf = ReadFile(dir.file("p.wmf"));
  const RECT dest{0, 0, 200, 100};
  {
    Canvas canvas(200, 100);
    ASSERT_TRUE(vel::gdi::PlayWinMetaFile(canvas.dc, wmf.data(), wmf.size(), &dest));
    ExpectPicture(canvas.dc);
  }
  {
    HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(wmf.size() - 22), wmf.data() + 22, nullptr, nullptr);
    ASSERT_NE(emf, nullptr);
    Canvas canvas(200, 100);
    ASSERT_TRUE(PlayEnhMetaFile(canvas.dc, emf, &dest));
    ExpectPicture(canvas.dc);
    DeleteEnhMetaFile(emf);
  }
}

INSTANTIATE_TEST_SUITE_P(VectorAndRaster, Rendered, ::testing::Values(0, 3000));

}  // namespace
