// Painter DCs: the same drawing calls through a QPainter land where they land on a
// bitmap, pictures scale and mirror, and the capabilities describe the device.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gdi/painter_dc.h"
#include "platform/gdi/text.h"

namespace {

constexpr int kW = 320, kH = 200;
constexpr COLORREF kWhite = RGB(255, 255, 255);

struct Bounds {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  int count = 0;
};

template <typename Get>
Bounds InkOf(Get get, int x0, int y0, int x1, int y1) {
  Bounds b;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (get(x, y) != kWhite) {
        b.left = std::min(b.left, x);
        b.top = std::min(b.top, y);
        b.right = std::max(b.right, x);
        b.bottom = std::max(b.bottom, y);
        ++b.count;
      }
  return b;
}

COLORREF FromQRgb(QRgb c) { return RGB(qRed(c), qGreen(c), qBlue(c)); }

// The same picture drawn twice: into a memory DC's bitmap and through a painter DC.
struct Pair {
  HBITMAP bitmap = nullptr;
  HDC memory = nullptr;
  HGDIOBJ old = nullptr;
  QImage image{kW, kH, QImage::Format_RGB32};
  QPainter painter;
  HDC painted = nullptr;
  Pair() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kW;
    info.bmiHeader.biHeight = kH;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    memory = CreateCompatibleDC(nullptr);
    old = SelectObject(memory, bitmap);
    HBRUSH b = CreateSolidBrush(kWhite);
    RECT all{0, 0, kW, kH};
    FillRect(memory, &all, b);
    DeleteObject(b);
    image.fill(Qt::white);
    painter.begin(&image);
    vel::gdi::PainterCaps caps;
    caps.width = kW;
    caps.height = kH;
    painted = vel::gdi::CreatePainterDC(&painter, caps);
  }
  ~Pair() {
    if (painter.isActive()) painter.end();
    DeleteDC(painted);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
  }
  template <typename F>
  void both(F f) {
    f(memory);
    f(painted);
  }
  void finish() { painter.end(); }
  Bounds memoryInk(int x0 = 0, int y0 = 0, int x1 = kW, int y1 = kH) {
    return InkOf([&](int x, int y) { return GetPixel(memory, x, y); }, x0, y0, x1, y1);
  }
  Bounds imageInk(int x0 = 0, int y0 = 0, int x1 = kW, int y1 = kH) {
    return InkOf([&](int x, int y) { return FromQRgb(image.pixel(x, y)); }, x0, y0, x1, y1);
  }
};

void ExpectClose(const Bounds& a, const Bounds& b, int tolerance) {
  ASSERT_GT(a.count, 0);
  ASSERT_GT(b.count, 0);
  EXPECT_NEAR(a.left, b.left, tolerance);
  EXPECT_NEAR(a.top, b.top, tolerance);
  EXPECT_NEAR(a.right, b.right, tolerance);
  EXPECT_NEAR(a.bottom, b.bottom, tolerance);
}

TEST(PainterDc, FillsAndThinLinesLandOnTheSamePixels) {
  Pair p;
  p.both([](HDC dc) {
    HBRUSH b = CreateSolidBrush(RGB(0, 0, 200));
    RECT r{10, 20, 60, 45};
    FillRect(dc, &r, b);
    DeleteObject(b);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 100, 30, nullptr);
    LineTo(dc, 150, 30);
    SelectObject(dc, old);
    DeleteObject(pen);
  });
  p.finish();
  for (int y = 0; y < kH; y += 1)
    for (int x = 0; x < 170; ++x) ASSERT_EQ(FromQRgb(p.image.pixel(x, y)), GetPixel(p.memory, x, y)) << x << "," << y;
}

TEST(PainterDc, GeometricPensMatchTheBitmapRasteriser) {
  Pair p;
  p.both([](HDC dc) {
    for (int w : {1, 2, 3, 4, 7}) {
      LOGBRUSH brush{BS_SOLID, RGB(0, 90, 0), 0};
      HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER, static_cast<DWORD>(w), &brush, 0, nullptr);
      HGDIOBJ old = SelectObject(dc, pen);
      MoveToEx(dc, 10, 10 + 20 * w, nullptr);
      LineTo(dc, 110, 10 + 20 * w);
      MoveToEx(dc, 140 + 12 * w, 10, nullptr);
      LineTo(dc, 140 + 12 * w, 100);
      // Backwards: from right to left and upwards.
      MoveToEx(dc, 310, 120 + 12 * w, nullptr);
      LineTo(dc, 220, 120 + 12 * w);
      MoveToEx(dc, 10 + 12 * w, 190, nullptr);
      LineTo(dc, 10 + 12 * w, 130);
      SelectObject(dc, old);
      DeleteObject(pen);
    }
  });
  p.finish();
  // Axis-aligned flat lines: exactly the same pixels.
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(FromQRgb(p.image.pixel(x, y)), GetPixel(p.memory, x, y)) << x << "," << y;
}

TEST(PainterDc, DashedAndDiagonalLinesLandWithinAPixel) {
  Pair p;
  p.both([](HDC dc) {
    LOGBRUSH brush{BS_SOLID, RGB(0, 0, 0), 0};
    const DWORD dashes[] = {12, 6};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 3, &brush, 2, dashes);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 10, 50, nullptr);
    LineTo(dc, 300, 50);
    SelectObject(dc, old);
    DeleteObject(pen);
    pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE, 5, &brush, 0, nullptr);
    old = SelectObject(dc, pen);
    MoveToEx(dc, 30, 90, nullptr);
    LineTo(dc, 200, 180);
    SelectObject(dc, old);
    DeleteObject(pen);
  });
  p.finish();
  // Dashes start and stop at the same columns.
  for (int x = 10; x < 300; ++x) {
    const bool memoryInked = GetPixel(p.memory, x, 50) != kWhite;
    const bool imageInked = FromQRgb(p.image.pixel(x, 50)) != kWhite;
    if (memoryInked != imageInked) {
      // Only at a dash's edge.
      EXPECT_TRUE((GetPixel(p.memory, x - 1, 50) != kWhite) != (GetPixel(p.memory, x + 1, 50) != kWhite)) << x;
    }
  }
  ExpectClose(p.memoryInk(0, 80, kW, kH), p.imageInk(0, 80, kW, kH), 1);
  const Bounds a = p.memoryInk(0, 80, kW, kH), b = p.imageInk(0, 80, kW, kH);
  EXPECT_NEAR(a.count, b.count, a.count / 20);
}

TEST(PainterDc, TextLandsWhereItDoesOnABitmap) {
  Pair p;
  LOGFONTA lf;
  lf.lfHeight = -24;
  std::strcpy(lf.lfFaceName, "Tahoma");
  HFONT font = CreateFontIndirectA(&lf);
  p.both([&](HDC dc) {
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(20, 20, 120));
    RECT r{10, 10, 310, 60};
    DrawTextA(dc, "Centred &heading", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RECT w{10, 70, 120, 190};
    DrawTextA(dc, "words that wrap inside a narrow box", -1, &w, DT_WORDBREAK | DT_RIGHT);
    SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
    TextOutA(dc, 300, 150, "Right", 5);
    SelectObject(dc, old);
  });
  p.finish();
  ExpectClose(p.memoryInk(0, 0, kW, 65), p.imageInk(0, 0, kW, 65), 2);
  ExpectClose(p.memoryInk(0, 65, 130, kH), p.imageInk(0, 65, 130, kH), 2);
  ExpectClose(p.memoryInk(200, 100, kW, kH), p.imageInk(200, 100, kW, kH), 2);
  // Clipping holds on the painter too: nothing right of the wrapped box.
  EXPECT_LT(p.imageInk(0, 65, 200, kH).right, 120);
  DeleteObject(font);
}

// An 8 x 8 top-down DIB of four 4 x 4 quadrants: red, green on top; blue, yellow
// below. Smooth scaling blends only near the quadrants' borders.
struct Quad {
  BITMAPINFO info{};
  BYTE bits[8 * 24] = {};
  Quad() {
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 8;
    info.bmiHeader.biHeight = -8;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const BYTE colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}};  // blue, green, red bytes
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) std::memcpy(bits + y * 24 + x * 3, colours[(y / 4) * 2 + x / 4], 3);
  }
};

TEST(PainterDc, PicturesScaleAndMirror) {
  Pair p;
  Quad q;
  p.both([&](HDC dc) {
    StretchDIBits(dc, 10, 10, 80, 60, 0, 0, 8, 8, q.bits, &q.info, DIB_RGB_COLORS, SRCCOPY);
    // Mirrored left-right and upside down.
    StretchDIBits(dc, 200, 130, -80, -60, 0, 0, 8, 8, q.bits, &q.info, DIB_RGB_COLORS, SRCCOPY);
  });
  p.finish();
  auto at = [&](int x, int y) { return FromQRgb(p.image.pixel(x, y)); };
  EXPECT_EQ(at(30, 25), RGB(255, 0, 0));
  EXPECT_EQ(at(70, 25), RGB(0, 255, 0));
  EXPECT_EQ(at(30, 55), RGB(0, 0, 255));
  EXPECT_EQ(at(70, 55), RGB(255, 255, 0));
  EXPECT_EQ(at(9, 25), kWhite);
  EXPECT_EQ(at(90, 25), kWhite);
  // The mirrored copy covers 120..199 x 70..129 with the quadrants swapped both ways.
  EXPECT_EQ(at(140, 85), RGB(255, 255, 0));
  EXPECT_EQ(at(180, 85), RGB(0, 0, 255));
  EXPECT_EQ(at(140, 115), RGB(0, 255, 0));
  EXPECT_EQ(at(180, 115), RGB(255, 0, 0));
  EXPECT_EQ(at(119, 100), kWhite);
  EXPECT_EQ(at(200, 100), kWhite);
  // Same places as the bitmap's own stretch.
  for (auto [x, y] : {std::pair{30, 25}, {70, 55}, {140, 85}, {180, 115}})
    EXPECT_EQ(at(x, y), GetPixel(p.memory, x, y));
}

TEST(PainterDc, CapsPainterSwapAndRefusals) {
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  vel::gdi::PainterCaps caps;
  caps.width = 2480;
  caps.height = 3508;
  caps.dpiX = caps.dpiY = 300;
  caps.physicalWidth = 2550;
  caps.physicalHeight = 3600;
  caps.offsetX = 35;
  caps.offsetY = 46;
  caps.technology = DT_RASPRINTER;
  HDC dc = vel::gdi::CreatePainterDC(nullptr, caps);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2480);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 3508);
  EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 210);
  EXPECT_EQ(GetDeviceCaps(dc, VERTSIZE), 297);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 2550);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), 3600);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 35);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), 46);
  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 24);
  EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
  // LOMETRIC uses these caps: 2480 px over 2100 units.
  SetMapMode(dc, MM_LOMETRIC);
  POINT pt{2100, -2970};
  LPtoDP(dc, &pt, 1);
  EXPECT_EQ(pt.x, 2480);
  EXPECT_EQ(pt.y, 3508);
  // No painter yet: drawing succeeds and goes nowhere.
  HBRUSH b = CreateSolidBrush(RGB(0, 0, 0));
  RECT r{0, 0, 50, 50};
  EXPECT_EQ(vel::gdi::PainterOf(dc), nullptr);
  EXPECT_EQ(FillRect(dc, &r, b), 1);
  QPainter painter(&image);
  vel::gdi::SetPainter(dc, &painter);
  EXPECT_EQ(vel::gdi::PainterOf(dc), &painter);
  FillRect(dc, &r, b);
  painter.end();
  EXPECT_EQ(image.pixel(10, 10), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(50, 50), qRgb(255, 255, 255));
  // Bitmaps do not go into painter DCs; pixels cannot be read back.
  vel::gdi::SetPainter(dc, nullptr);
  HBITMAP bm = CreateCompatibleBitmap(nullptr, 4, 4);
  EXPECT_EQ(SelectObject(dc, bm), nullptr);
  EXPECT_EQ(GetPixel(dc, 1, 1), CLR_INVALID);
  HDC memory = CreateCompatibleDC(nullptr);
  EXPECT_EQ(vel::gdi::PainterOf(memory), nullptr);
  DeleteDC(memory);
  DeleteObject(bm);
  DeleteObject(b);
  EXPECT_TRUE(DeleteDC(dc));
}

}  // namespace
