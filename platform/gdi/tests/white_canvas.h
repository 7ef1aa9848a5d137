// A memory DC on a white, top-down DIB section of the given depth, with the
// pixel probes the drawing tests share.
#pragma once

#include <algorithm>

#include "platform/gdi/gdi.h"

namespace vel::gdi::testing {

struct WhiteCanvas {
  static constexpr COLORREF kWhite = RGB(255, 255, 255);
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  int width, height;
  // Palette depths get black, white, red and blue first, the rest gray.
  WhiteCanvas(int w, int h, int bpp = 24) : width(w), height(h) {
    BITMAPINFO256 info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bpp);
    if (bpp <= 8)
      for (int i = 0; i < (1 << bpp); ++i) {
        static const RGBQUAD first[4] = {{0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
        info.bmiColors[i] = i < 4 ? first[i] : RGBQUAD{128, 128, 128, 0};
      }
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~WhiteCanvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  WhiteCanvas(const WhiteCanvas&) = delete;
  WhiteCanvas& operator=(const WhiteCanvas&) = delete;

  COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
  int count(COLORREF c) const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += at(x, y) == c;
    return n;
  }
  // Bounds of the pixels that are not white: left, top, right, bottom inclusive.
  RECT ink() const {
    RECT r{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (at(x, y) != kWhite) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x);
          r.bottom = std::max<LONG>(r.bottom, y);
        }
    return r;
  }
};

}  // namespace vel::gdi::testing
