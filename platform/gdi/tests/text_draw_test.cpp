// Drawing text on memory DCs: alignment, measuring, wrapping, clipping, background,
// prefixes and colours, on bitmaps of several depths. Runs without a display.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/text.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive pixel bounds
  int count = 0;
  bool empty() const { return count == 0; }
};

// A bitmap of `bits` per pixel, filled white, with a font selected.
struct Page {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  HGDIOBJ oldBitmap = nullptr, oldFont = nullptr;
  HFONT font = nullptr;
  int w, h;
  Page(int width, int height, int bits = 24, LONG fontHeight = -20, const char* face = "Arial", bool topDown = false)
      : w(width), h(height) {
    BITMAPINFO256 info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = topDown ? -h : h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    if (bits == 8) {
      for (int i = 0; i < 256; ++i) info.bmiColors[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
      // A few colours besides the grays.
      info.bmiColors[1] = RGBQUAD{0, 0, 255, 0};  // red
      info.bmiColors[2] = RGBQUAD{255, 0, 0, 0};  // blue
    }
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, nullptr, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    oldBitmap = SelectObject(dc, bitmap);
    fill(kWhite);
    LOGFONTA lf;
    lf.lfHeight = fontHeight;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    font = CreateFontIndirectA(&lf);
    oldFont = SelectObject(dc, font);
  }
  ~Page() {
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
    DeleteObject(font);
    DeleteObject(bitmap);
  }
  void fill(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT r{0, 0, w, h};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  // Bounds of the pixels that differ from `background`.
  Box ink(COLORREF background = kWhite) const {
    Box b;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (GetPixel(dc, x, y) != background) {
          b.left = std::min(b.left, x);
          b.right = std::max(b.right, x);
          b.top = std::min(b.top, y);
          b.bottom = std::max(b.bottom, y);
          ++b.count;
        }
    return b;
  }
  std::vector<COLORREF> snapshot() const {
    std::vector<COLORREF> v;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) v.push_back(GetPixel(dc, x, y));
    return v;
  }
};

int Draw(Page& p, const std::string& text, RECT r, UINT format) {  // r by value: callers keep theirs
  return DrawTextA(p.dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}

SIZE Extent(Page& p, const std::string& text) {
  SIZE s{};
  EXPECT_TRUE(GetTextExtentPoint32A(p.dc, text.c_str(), static_cast<int>(text.size()), &s));
  return s;
}

TEST(DrawText, CalcRectAgreesWithTheExtent) {
  Page p(50, 50);
  TEXTMETRICA tm;
  ASSERT_TRUE(GetTextMetricsA(p.dc, &tm));
  const SIZE s = Extent(p, "Holiday 2024");
  EXPECT_GT(s.cx, 60);
  EXPECT_EQ(s.cy, tm.tmHeight);
  RECT r{10, 20, 11, 21};
  int height = DrawTextA(p.dc, "Holiday 2024", -1, &r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(height, tm.tmHeight);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, s.cx);
  EXPECT_EQ(r.bottom - r.top, tm.tmHeight);
  // Several lines: the widest sets the width, each adds a line height.
  RECT m{0, 0, 1, 1};
  const SIZE longest = Extent(p, "a much longer line");
  EXPECT_EQ(Draw(p, "short\na much longer line\r\nmid", m, DT_CALCRECT), 3 * tm.tmHeight);
  m = RECT{0, 0, 1, 1};
  DrawTextA(p.dc, "short\na much longer line\r\nmid", -1, &m, DT_CALCRECT);
  EXPECT_EQ(m.right, longest.cx);
  EXPECT_EQ(m.bottom, 3 * tm.tmHeight);
  // Measuring draws nothing.
  EXPECT_TRUE(p.ink().empty());
  // Prefixes take no room; "&&" is one ampersand.
  RECT q{0, 0, 1, 1};
  DrawTextA(p.dc, "&Save", -1, &q, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(q.right, Extent(p, "Save").cx);
  RECT amp{0, 0, 1, 1};
  DrawTextA(p.dc, "A&&B", -1, &amp, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(amp.right, Extent(p, "A&B").cx);
  DrawTextA(p.dc, "A&&B", -1, &amp, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(amp.right, Extent(p, "A&&B").cx);
}

TEST(DrawText, WordWrapMakesMoreLinesForANarrowerRect) {
  Page p(50, 50);
  TEXTMETRICA tm;
  GetTextMetricsA(p.dc, &tm);
  const std::string text = "the quick brown fox jumps over the lazy dog";
  const LONG full = Extent(p, text).cx;
  int previous = 0;
  for (LONG width : {full + 5, full / 2, full / 4}) {
    RECT r{0, 0, width, 1};
    int h = Draw(p, text, r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(h % tm.tmHeight, 0);
    EXPECT_GT(h, previous) << width;
    previous = h;
    RECT c{0, 0, width, 1};
    DrawTextA(p.dc, text.c_str(), -1, &c, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(c.right, width);  // the width stays
    EXPECT_EQ(c.bottom, h);
  }
  EXPECT_EQ(previous / tm.tmHeight >= 4, true);
  // One word wider than the rectangle is broken where it must be.
  const std::string word = "Supercalifragilistic";
  const LONG wordWidth = Extent(p, word).cx;
  RECT r{0, 0, wordWidth / 3, 1};
  int h = Draw(p, word, r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GE(h, 3 * tm.tmHeight);
  EXPECT_LE(h, 5 * tm.tmHeight);
  // Even a rectangle narrower than one letter ends.
  RECT tiny{0, 0, 1, 1};
  EXPECT_EQ(Draw(p, "abc", tiny, DT_CALCRECT | DT_WORDBREAK), 3 * tm.tmHeight);
  // Single-line text does not wrap.
  RECT one{0, 0, 10, 1};
  EXPECT_EQ(Draw(p, text, one, DT_CALCRECT | DT_WORDBREAK | DT_SINGLELINE), tm.tmHeight);
}

TEST(DrawText, AlignmentPlacesTheInk) {
  const std::string text = "Centre";
  Page left(300, 100), centre(300, 100), right(300, 100);
  RECT r{20, 10, 280, 90};
  Draw(left, text, r, DT_SINGLELINE | DT_LEFT | DT_TOP);
  Draw(centre, text, r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  Draw(right, text, r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  Box a = left.ink(), b = centre.ink(), c = right.ink();
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  ASSERT_FALSE(c.empty());
  const int inkWidth = a.right - a.left;
  EXPECT_NEAR(a.left, 20, 3);
  EXPECT_NEAR((b.left + b.right) / 2.0, 150, 3);
  EXPECT_NEAR(c.right, 279, 3);
  EXPECT_NEAR(b.right - b.left, inkWidth, 1);
  EXPECT_NEAR(c.right - c.left, inkWidth, 1);
  // Vertically: top, middle, bottom of the rectangle.
  TEXTMETRICA tm;
  GetTextMetricsA(left.dc, &tm);
  EXPECT_GE(a.top, 10);
  EXPECT_LT(a.bottom, 10 + tm.tmHeight);
  EXPECT_NEAR((b.top + b.bottom) / 2.0, 50, tm.tmHeight / 3.0);
  EXPECT_LE(c.bottom, 89);
  EXPECT_GT(c.top, 90 - tm.tmHeight);
  // Without DT_SINGLELINE the vertical flags change nothing.
  Page multi(300, 100);
  Draw(multi, text, r, DT_CENTER | DT_VCENTER | DT_BOTTOM);
  EXPECT_EQ(multi.ink().top, Box(a).top);
}

TEST(DrawText, ClippingLeavesEverythingOutsideAlone) {
  Page p(200, 80);
  // A pattern that must survive: a stripe of colour around the rectangle.
  HBRUSH b = CreateSolidBrush(RGB(0, 128, 0));
  RECT stripe{0, 0, 200, 80};
  FillRect(p.dc, &stripe, b);
  DeleteObject(b);
  const auto before = p.snapshot();
  RECT r{30, 20, 70, 35};  // far too small for the text
  SetBkMode(p.dc, OPAQUE);
  SetBkColor(p.dc, RGB(255, 255, 0));
  Draw(p, "A line far wider than its box", r, DT_SINGLELINE);
  const auto after = p.snapshot();
  int changedInside = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 200; ++x) {
      const bool inside = x >= 30 && x < 70 && y >= 20 && y < 35;
      const bool changed = before[y * 200 + x] != after[y * 200 + x];
      if (!inside) {
        EXPECT_FALSE(changed) << x << "," << y;
      }
      changedInside += changed;
    }
  EXPECT_GT(changedInside, 100);
  // DT_NOCLIP lets it run on.
  Draw(p, "A line far wider than its box", RECT{30, 50, 70, 65}, DT_SINGLELINE | DT_NOCLIP);
  Box ink = p.ink(RGB(0, 128, 0));
  EXPECT_GT(ink.right, 100);
}

TEST(DrawText, OpaqueFillsTheCellTransparentDoesNot) {
  Page opaque(200, 60), clear(200, 60);
  for (Page* p : {&opaque, &clear}) {
    SetBkColor(p->dc, RGB(0, 0, 255));
    SetTextColor(p->dc, RGB(0, 0, 0));
  }
  SetBkMode(opaque.dc, OPAQUE);
  SetBkMode(clear.dc, TRANSPARENT);
  RECT r{10, 10, 190, 50};
  Draw(opaque, "Mixed", r, DT_SINGLELINE);
  Draw(clear, "Mixed", r, DT_SINGLELINE);
  TEXTMETRICA tm;
  GetTextMetricsA(opaque.dc, &tm);
  const LONG width = Extent(opaque, "Mixed").cx;
  // The whole cell (extent x line height) takes the background; only that.
  EXPECT_EQ(GetPixel(opaque.dc, 10, 10), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(opaque.dc, 10 + width - 1, 10 + tm.tmHeight - 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(opaque.dc, 10 + width + 1, 10), kWhite);
  EXPECT_EQ(GetPixel(opaque.dc, 10, 10 + tm.tmHeight), kWhite);
  EXPECT_EQ(GetPixel(clear.dc, 10, 10), kWhite);
  int blue = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) blue += GetPixel(clear.dc, x, y) == RGB(0, 0, 255);
  EXPECT_EQ(blue, 0);
}

TEST(DrawText, PrefixUnderlinesItsLetter) {
  Page with(200, 60), without(200, 60);
  RECT r{10, 10, 190, 50};
  Draw(with, "&Oven", r, DT_SINGLELINE);
  Draw(without, "Oven", r, DT_SINGLELINE);
  // Same letters (none reaching below the baseline); the prefixed one has a line
  // under the "O" only.
  Box a = with.ink(), b = without.ink();
  EXPECT_GT(a.bottom, b.bottom);
  EXPECT_EQ(a.right, b.right);
  const LONG oWidth = Extent(with, "O").cx;
  int underlineRow = a.bottom;
  int inked = 0;
  for (int x = 0; x < 200; ++x)
    if (GetPixel(with.dc, x, underlineRow) != kWhite) {
      EXPECT_LT(x, 10 + oWidth + 2) << x;
      ++inked;
    }
  EXPECT_GE(inked, oWidth - 3);
  // With DT_NOPREFIX the ampersand is shown.
  Page shown(200, 60);
  Draw(shown, "&Oven", r, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_GT(shown.ink().right, b.right + 5);
}

TEST(DrawText, InkHasTheTextColourOnEveryDepth) {
  for (int bits : {24, 8, 32, 16, 4, 1}) {
    SCOPED_TRACE(bits);
    // Colours each depth can hold exactly.
    COLORREF colour = RGB(200, 20, 40);
    if (bits == 8) colour = RGB(255, 0, 0);
    if (bits == 16) colour = RGB(255, 0, 255);
    if (bits <= 4) colour = RGB(0, 0, 0);
    Page p(200, 60, bits, -30);
    SetTextColor(p.dc, colour);
    SetBkMode(p.dc, TRANSPARENT);
    Draw(p, "Heavy", RECT{5, 5, 195, 55}, DT_SINGLELINE);
    int exact = 0, total = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 200; ++x) {
        COLORREF c = GetPixel(p.dc, x, y);
        if (c == kWhite) continue;
        ++total;
        exact += c == colour;
      }
    EXPECT_GT(total, 50);
    // Stems are solid colour; only edges are blended.
    EXPECT_GT(exact, total / 4);
  }
}

TEST(DrawText, BottomUpAndTopDownBitmapsGetTheSamePicture) {
  Page up(160, 50, 24, -20, "Tahoma", false), down(160, 50, 24, -20, "Tahoma", true);
  RECT r{5, 5, 155, 45};
  for (Page* p : {&up, &down}) {
    SetTextColor(p->dc, RGB(10, 60, 160));
    Draw(*p, "Orientation", r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
  EXPECT_EQ(up.snapshot(), down.snapshot());
  EXPECT_FALSE(up.ink().empty());
}

TEST(TextOut, AlignmentAndOpaqueRectangle) {
  Page p(300, 100);
  TEXTMETRICA tm;
  GetTextMetricsA(p.dc, &tm);
  SetBkMode(p.dc, TRANSPARENT);
  ASSERT_TRUE(TextOutA(p.dc, 150, 50, "Mid", 3));
  Box left = p.ink();
  p.fill(kWhite);
  SetTextAlign(p.dc, TA_CENTER | TA_BASELINE);
  ASSERT_TRUE(TextOutA(p.dc, 150, 50, "Mid", 3));
  Box centred = p.ink();
  EXPECT_NEAR((centred.left + centred.right) / 2.0, 150, 2);
  EXPECT_LE(centred.bottom, 50);  // no descenders in "Mid"
  EXPECT_GE(centred.bottom, 48);
  EXPECT_NEAR(left.top - 50, centred.top - (50 - tm.tmAscent), 1);
  p.fill(kWhite);
  SetTextAlign(p.dc, TA_RIGHT | TA_TOP);
  TextOutA(p.dc, 150, 50, "Mid", 3);
  EXPECT_NEAR(p.ink().right, 149, 2);
  // ETO_OPAQUE fills its rectangle; ETO_CLIPPED keeps the text inside it.
  p.fill(kWhite);
  SetTextAlign(p.dc, TA_LEFT | TA_TOP);
  SetBkColor(p.dc, RGB(0, 255, 0));
  RECT box{100, 40, 130, 70};
  ASSERT_TRUE(ExtTextOutA(p.dc, 105, 45, ETO_OPAQUE | ETO_CLIPPED, &box, "Clipped text", 12, nullptr));
  EXPECT_EQ(GetPixel(p.dc, 100, 40), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(p.dc, 129, 69), RGB(0, 255, 0));
  Box all = p.ink();
  EXPECT_EQ(all.left, 100);
  EXPECT_EQ(all.right, 129);
  EXPECT_EQ(all.top, 40);
  EXPECT_EQ(all.bottom, 69);
}

TEST(TextBadInput, CleanFailures) {
  Page p(50, 50);
  RECT r{0, 0, 50, 50};
  EXPECT_EQ(DrawTextA(nullptr, "x", 1, &r, 0), 0);
  EXPECT_EQ(DrawTextA(p.dc, "x", 1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextA(p.dc, nullptr, 3, &r, 0), 0);
  EXPECT_FALSE(TextOutA(p.dc, 0, 0, "x", -5));
  SIZE s;
  EXPECT_FALSE(GetTextExtentPoint32A(p.dc, "x", -1, &s));
  EXPECT_FALSE(GetTextExtentPoint32A(p.dc, "x", 1, nullptr));
  EXPECT_FALSE(GetTextMetricsA(p.dc, nullptr));
  // Empty text: nothing drawn, CALCRECT gives an empty width.
  RECT e{5, 5, 40, 40};
  EXPECT_EQ(DrawTextA(p.dc, "", 0, &e, DT_CALCRECT), 0);
  EXPECT_EQ(e.right, 5);
  // Invalid UTF-8 is read as Windows-1252, not refused; a lone 0xE9 is "é".
  EXPECT_EQ(Extent(p, "caf\xE9").cx, Extent(p, "caf\xC3\xA9").cx);
  // Rectangles upside down or far away draw nothing and do not fail.
  RECT flipped{40, 40, 10, 10};
  Draw(p, "text", flipped, 0);
  RECT far{-2000000000, -2000000000, -1999999000, -1999999000};
  Draw(p, "text", far, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  RECT wide{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  Draw(p, "text", wide, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  EXPECT_TRUE(p.ink().empty());
  // A screen DC measures but has nothing to draw on.
  HDC screen = GetDC(nullptr);
  RECT sr{0, 0, 100, 100};
  EXPECT_GT(DrawTextA(screen, "abc", 3, &sr, 0), 0);
  ReleaseDC(nullptr, screen);
}

TEST(TextSpeed, LargePageStaysFast) {
  Page p(2480, 3508, 24, -60);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    RECT r{100, 100 + i * 150, 2380, 240 + i * 150};
    Draw(p, "Page header with some words " + std::to_string(i), r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("20 DrawTextA calls on a 2480 x 3508 24-bit page: %.1f ms\n", ms);
  // Generous: copying whole pages would take seconds.
  EXPECT_LT(ms, 3000);
}

}  // namespace
