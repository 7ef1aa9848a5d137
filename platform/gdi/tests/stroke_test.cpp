// Wide, geometric and dashed pens on bitmaps; mapping modes; the text state of a DC.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "platform/gdi/gdi.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(200, 30, 60);

// A white bitmap of `bits` per pixel in its own memory DC.
struct Canvas {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  HGDIOBJ old = nullptr;
  int w, h;
  Canvas(int width, int height, int bits = 24) : w(width), h(height) {
    BITMAPINFO256 info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    if (bits == 8) {
      // Gray ramp plus the ink colour at 255.
      for (int i = 0; i < 255; ++i) info.bmiColors[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
      info.bmiColors[254] = RGBQUAD{255, 255, 255, 0};
      info.bmiColors[255] = RGBQUAD{GetBValue(kInk), GetGValue(kInk), GetRValue(kInk), 0};
    }
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, nullptr, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
    HBRUSH b = CreateSolidBrush(kWhite);
    RECT r{0, 0, w, h};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  std::set<std::pair<int, int>> inked() const {
    std::set<std::pair<int, int>> s;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (GetPixel(dc, x, y) == kInk) s.insert({x, y});
    return s;
  }
  void line(HPEN pen, int x0, int y0, int x1, int y1) {
    HGDIOBJ before = SelectObject(dc, pen);
    MoveToEx(dc, x0, y0, nullptr);
    EXPECT_TRUE(LineTo(dc, x1, y1));
    SelectObject(dc, before);
  }
};

HPEN Geometric(int width, DWORD cap = PS_ENDCAP_FLAT, DWORD line = PS_SOLID, std::vector<DWORD> dashes = {}) {
  LOGBRUSH brush{BS_SOLID, kInk, 0};
  return ExtCreatePen(PS_GEOMETRIC | line | cap | PS_JOIN_MITER, static_cast<DWORD>(width), &brush,
                      static_cast<DWORD>(dashes.size()), dashes.empty() ? nullptr : dashes.data());
}

// The pixels GDI gives a flat horizontal line of width w: columns [x0, x1), rows
// starting w/2 above the line.
std::set<std::pair<int, int>> FlatHorizontal(int x0, int x1, int y, int w) {
  std::set<std::pair<int, int>> s;
  for (int x = x0; x < x1; ++x)
    for (int r = 0; r < w; ++r) s.insert({x, y - w / 2 + r});
  return s;
}

TEST(GeometricPens, FlatHorizontalAndVerticalWidthsOneToFour) {
  for (int w = 1; w <= 4; ++w) {
    SCOPED_TRACE(w);
    Canvas c(30, 30);
    HPEN pen = Geometric(w);
    ASSERT_NE(pen, nullptr);
    c.line(pen, 3, 10, 20, 10);
    EXPECT_EQ(c.inked(), FlatHorizontal(3, 20, 10, w));
    DeleteObject(pen);

    Canvas v(30, 30);
    pen = Geometric(w);
    v.line(pen, 12, 4, 12, 25);
    std::set<std::pair<int, int>> expected;
    for (int y = 4; y < 25; ++y)
      for (int r = 0; r < w; ++r) expected.insert({12 - w / 2 + r, y});
    EXPECT_EQ(v.inked(), expected);
    DeleteObject(pen);
  }
}

TEST(GeometricPens, BackwardsLineCoversTheSameRowsAndLeavesItsEndOut) {
  Canvas c(30, 20);
  HPEN pen = Geometric(3);
  c.line(pen, 20, 8, 5, 8);
  auto inked = c.inked();
  // End point (5) excluded, start (20) drawn; rows as for a forward line.
  std::set<std::pair<int, int>> expected = FlatHorizontal(6, 21, 8, 3);
  EXPECT_EQ(inked, expected);
  DeleteObject(pen);
}

TEST(GeometricPens, SquareAndRoundCapsReachPastTheEnds) {
  Canvas sq(40, 20);
  HPEN pen = Geometric(4, PS_ENDCAP_SQUARE);
  sq.line(pen, 10, 10, 30, 10);
  // Half the width further on both sides.
  EXPECT_EQ(sq.inked(), FlatHorizontal(8, 32, 10, 4));
  DeleteObject(pen);

  Canvas rd(40, 20);
  pen = Geometric(5, PS_ENDCAP_ROUND);
  rd.line(pen, 10, 10, 30, 10);
  auto inked = rd.inked();
  EXPECT_TRUE(inked.count({8, 10}));   // the cap beyond the start
  EXPECT_TRUE(inked.count({32, 10}));  // and beyond the end
  EXPECT_FALSE(inked.count({8, 8}));   // rounded: the cap's corner stays white
  EXPECT_FALSE(inked.count({7, 10}));
  DeleteObject(pen);
}

TEST(GeometricPens, UserDashesRestartOnEveryLine) {
  Canvas c(40, 20);
  HPEN pen = Geometric(1, PS_ENDCAP_FLAT, PS_USERSTYLE, {3, 3});
  ASSERT_NE(pen, nullptr);
  c.line(pen, 0, 5, 20, 5);
  c.line(pen, 1, 12, 9, 12);
  std::set<std::pair<int, int>> expected;
  for (int x = 0; x < 20; ++x)
    if (x % 6 < 3) expected.insert({x, 5});
  for (int x = 1; x < 9; ++x)
    if ((x - 1) % 6 < 3) expected.insert({x, 12});
  EXPECT_EQ(c.inked(), expected);
  DeleteObject(pen);
}

TEST(GeometricPens, WideDashesAndOddPatterns) {
  Canvas c(40, 20);
  // Odd count: 4 on, 2 off, 1 on, then 4 off, 2 on, 1 off ...
  HPEN pen = Geometric(2, PS_ENDCAP_FLAT, PS_USERSTYLE, {4, 2, 1});
  c.line(pen, 0, 10, 28, 10);
  std::set<std::pair<int, int>> expected;
  const int runs[] = {4, 2, 1, 4, 2, 1, 4, 2, 1, 4, 2, 1};
  int x = 0;
  bool on = true;
  for (int r : runs) {
    for (int k = 0; k < r && x < 28; ++k, ++x)
      if (on) {
        expected.insert({x, 9});
        expected.insert({x, 10});
      }
    on = !on;
  }
  EXPECT_EQ(c.inked(), expected);
  DeleteObject(pen);
}

TEST(GeometricPens, StockDashStylesScaleWithTheWidth) {
  Canvas c(60, 20);
  HPEN pen = Geometric(2, PS_ENDCAP_FLAT, PS_DASH);
  ASSERT_NE(pen, nullptr);
  c.line(pen, 0, 10, 60, 10);
  auto inked = c.inked();
  // Dashes three widths long, gaps one width.
  for (int x = 0; x < 60; ++x) EXPECT_EQ(inked.count({x, 10}) == 1, x % 8 < 6) << x;
  DeleteObject(pen);
}

TEST(GeometricPens, DiagonalThickLineCoversItsBand) {
  Canvas c(60, 60);
  HPEN pen = Geometric(6);
  c.line(pen, 10, 10, 50, 40);
  auto inked = c.inked();
  const double len = std::hypot(40.0, 30.0);
  // Area of the band within a few percent.
  EXPECT_NEAR(static_cast<double>(inked.size()), len * 6, len * 6 * 0.06);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) {
      const double px = x + 0.5 - 10.5, py = y + 0.5 - 10.5;
      const double along = (px * 40 + py * 30) / len, across = (-px * 30 + py * 40) / len;
      const bool deepInside = along > 1 && along < len - 1 && std::abs(across) < 2;
      const bool farOutside = along < -1 || along > len + 1 || std::abs(across) > 4;
      if (deepInside) {
        EXPECT_TRUE(inked.count({x, y})) << x << "," << y;
      }
      if (farOutside) {
        EXPECT_FALSE(inked.count({x, y})) << x << "," << y;
      }
    }
  DeleteObject(pen);
}

TEST(GeometricPens, DoubleStrokesAndPaletteBitmaps) {
  Canvas c(40, 30, 8);
  HPEN pen = Geometric(2);
  // Two strokes two pixels either side of y = 15, as a double border is drawn.
  c.line(pen, 5, 13, 35, 13);
  c.line(pen, 5, 17, 35, 17);
  std::set<std::pair<int, int>> expected = FlatHorizontal(5, 35, 13, 2);
  auto second = FlatHorizontal(5, 35, 17, 2);
  expected.insert(second.begin(), second.end());
  EXPECT_EQ(c.inked(), expected);
  EXPECT_EQ(GetPixel(c.dc, 20, 15), kWhite);  // the gap between them
  DeleteObject(pen);
}

TEST(GeometricPens, CosmeticPensStayExact) {
  Canvas c(20, 20);
  HPEN thin = CreatePen(PS_SOLID, 1, kInk);
  c.line(thin, 2, 2, 8, 2);
  std::set<std::pair<int, int>> expected = FlatHorizontal(2, 8, 2, 1);
  EXPECT_EQ(c.inked(), expected);
  DeleteObject(thin);
  // A cosmetic dashed pen through ExtCreatePen is one pixel wide.
  LOGBRUSH brush{BS_SOLID, kInk, 0};
  const DWORD dashes[] = {2, 1};
  HPEN dashed = ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &brush, 2, dashes);
  ASSERT_NE(dashed, nullptr);
  Canvas d(20, 20);
  d.line(dashed, 0, 4, 9, 4);
  std::set<std::pair<int, int>> dots = {{0, 4}, {1, 4}, {3, 4}, {4, 4}, {6, 4}, {7, 4}};
  EXPECT_EQ(d.inked(), dots);
  DeleteObject(dashed);
}

TEST(GeometricPens, RefusesBadStyles) {
  LOGBRUSH brush{BS_SOLID, kInk, 0};
  const DWORD seventeen[17] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const DWORD zeros[2] = {0, 0};
  const DWORD ok[2] = {3, 3};
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 2, &brush, 17, seventeen), nullptr);
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 2, &brush, 0, nullptr), nullptr);
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 2, &brush, 2, nullptr), nullptr);
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 2, &brush, 2, zeros), nullptr);
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 2, &brush, 2, ok), nullptr);  // styles only for user styles
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 2, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_SOLID, 3, &brush, 0, nullptr), nullptr);  // cosmetic is 1 wide
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | 0x0300, 2, &brush, 0, nullptr), nullptr);   // unknown cap
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | 0x00F00000, 2, &brush, 0, nullptr), nullptr);
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 0x7FFFFFFF, &brush, 0, nullptr), nullptr);
  LOGBRUSH hatched{2, kInk, 0};
  EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 2, &hatched, 0, nullptr), nullptr);
  HPEN p = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 2, &brush, 2, ok);
  EXPECT_NE(p, nullptr);
  DeleteObject(p);
}

TEST(GeometricPens, FarAwayAndNullLinesAreHarmless) {
  Canvas c(20, 20);
  HPEN pen = Geometric(3);
  HGDIOBJ before = SelectObject(c.dc, pen);
  MoveToEx(c.dc, -2000000000, 5, nullptr);
  EXPECT_FALSE(LineTo(c.dc, 2000000000, 5));  // refused, not looped over
  MoveToEx(c.dc, 5, 5, nullptr);
  EXPECT_TRUE(LineTo(c.dc, 5, 5));  // zero length: nothing
  MoveToEx(c.dc, -100, 10, nullptr);
  EXPECT_TRUE(LineTo(c.dc, 100, 10));  // clipped to the bitmap
  SelectObject(c.dc, before);
  EXPECT_EQ(c.inked(), FlatHorizontal(0, 20, 10, 3));
  DeleteObject(pen);
  HPEN none = ExtCreatePen(PS_GEOMETRIC | PS_NULL, 4, nullptr, 0, nullptr);
  EXPECT_EQ(none, nullptr);  // no brush
  LOGBRUSH brush{BS_SOLID, kInk, 0};
  none = ExtCreatePen(PS_GEOMETRIC | PS_NULL, 4, &brush, 0, nullptr);
  Canvas n(20, 20);
  n.line(none, 0, 5, 20, 5);
  EXPECT_TRUE(n.inked().empty());
  DeleteObject(none);
}

// ---- mapping modes ----------------------------------------------------------------

TEST(MappingModes, LometricBothWaysWithRoundingAndUpwardY) {
  vel::gdi::ScreenMetrics saved = vel::gdi::GetScreenMetrics();
  vel::gdi::ScreenMetrics m;
  m.width = 1000;
  m.height = 800;
  m.dpiX = 100;
  m.dpiY = 100;
  vel::gdi::SetScreenMetrics(m);
  HDC dc = CreateCompatibleDC(nullptr);
  // HORZSIZE = round(1000 * 25.4 / 100) = 254 mm, so 1000 px per 2540 units.
  ASSERT_EQ(GetDeviceCaps(dc, HORZSIZE), 254);
  ASSERT_EQ(GetDeviceCaps(dc, VERTSIZE), 203);  // 800 * 0.254 = 203.2
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  EXPECT_EQ(SetMapMode(dc, MM_LOMETRIC), MM_TEXT);
  EXPECT_EQ(GetMapMode(dc), MM_LOMETRIC);
  POINT p[4] = {{254, 100}, {127, -300}, {-254, 0}, {1, 1}};
  ASSERT_TRUE(LPtoDP(dc, p, 4));
  EXPECT_EQ(p[0].x, 100);
  EXPECT_EQ(p[0].y, -39);  // -round(100 * 800 / 2030) = -round(39.41)
  EXPECT_EQ(p[1].x, 50);
  EXPECT_EQ(p[1].y, 118);  // -round(-300 * 0.39409) = 118
  EXPECT_EQ(p[2].x, -100);
  EXPECT_EQ(p[3].x, 0);  // 0.39 rounds down
  POINT d[2] = {{100, -39}, {50, 118}};
  ASSERT_TRUE(DPtoLP(dc, d, 2));
  EXPECT_EQ(d[0].x, 254);
  EXPECT_EQ(d[0].y, 99);  // 39 * 2030 / 800 = 98.96
  EXPECT_EQ(d[1].x, 127);
  EXPECT_EQ(d[1].y, -299);  // -118 * 2.5375 = -299.4
  // In MM_TEXT nothing moves.
  EXPECT_EQ(SetMapMode(dc, MM_TEXT), MM_LOMETRIC);
  POINT same{12, -34};
  ASSERT_TRUE(LPtoDP(dc, &same, 1));
  EXPECT_EQ(same.x, 12);
  EXPECT_EQ(same.y, -34);
  // Unsupported modes and bad arguments fail.
  EXPECT_EQ(SetMapMode(dc, 7), 0);
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  EXPECT_FALSE(LPtoDP(dc, nullptr, 1));
  EXPECT_FALSE(LPtoDP(nullptr, &same, 1));
  SetMapMode(dc, MM_LOMETRIC);
  POINT huge{2000000000, 0};
  EXPECT_FALSE(DPtoLP(dc, &huge, 1));  // the answer would not fit
  DeleteDC(dc);
  vel::gdi::SetScreenMetrics(saved);
}

TEST(DcState, TextStateAndMappingModeAreSavedAndRestored) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetTextAlign(dc), TA_LEFT | TA_TOP);
  int level = SaveDC(dc);
  ASSERT_GT(level, 0);
  EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
  EXPECT_EQ(SetBkColor(dc, RGB(4, 5, 6)), RGB(255, 255, 255));
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetTextAlign(dc, TA_RIGHT | TA_BASELINE), TA_LEFT | TA_TOP);
  EXPECT_EQ(SetMapMode(dc, MM_LOMETRIC), MM_TEXT);
  EXPECT_EQ(SetBkMode(dc, 3), 0);  // not a mode
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  SaveDC(dc);
  SetTextColor(dc, RGB(9, 9, 9));
  ASSERT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  ASSERT_TRUE(RestoreDC(dc, level));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetTextAlign(dc), TA_LEFT | TA_TOP);
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  DeleteDC(dc);
  EXPECT_EQ(GetTextColor(dc), CLR_INVALID);
  EXPECT_EQ(SetBkMode(dc, OPAQUE), 0);
}

}  // namespace
