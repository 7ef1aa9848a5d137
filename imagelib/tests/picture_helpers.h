// Pictures and pixel probes shared by the image object's end-to-end tests.
#pragma once

#include <string>

#include "imagelib/core/Common.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::testing {

inline std::string Im() { return FindTool("convert-im6.q16"); }

// A w x h picture: left half red, right half blue, a green top row.
inline HBITMAP Picture(int w, int h) {
  HBITMAP bmp = Common::CreateEmptyDIBSection(w, h, RGB(255, 0, 0), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255)), green = CreateSolidBrush(RGB(0, 255, 0));
  RECT right{w / 2, 0, w, h}, top{0, 0, w, 1};
  FillRect(dc, &right, blue);
  FillRect(dc, &top, green);
  DeleteObject(blue);
  DeleteObject(green);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bmp;
}

inline COLORREF At(HBITMAP bmp, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

// Pages of 10 x 10 red, 20 x 15 green and 30 x 5 blue (ImageMagick writes it).
inline std::string ThreePageTiff() {
  std::string tif = TempDir() + "/three-pages.tif";
  Run(Im() + " -size 10x10 xc:red -size 20x15 xc:green -size 30x5 xc:blue '" + tif + "'");
  return tif;
}

}  // namespace lorimer::testing
