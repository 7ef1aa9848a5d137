// Shapes, brushes, clipping and paths: where the pixels land on memory DCs of several
// depths, and that a painter DC draws the same picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <functional>

#include "platform/gdi/painter_dc.h"
#include "platform/gdi/shapes.h"
#include "platform/gdi/tests/white_canvas.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

using Canvas = vel::gdi::testing::WhiteCanvas;

// Selects a pen and brush for the life of a scope.
struct Tools {
  HDC dc;
  HPEN pen;
  HBRUSH brush;
  HGDIOBJ oldPen, oldBrush;
  Tools(HDC dc, HPEN pen, HBRUSH brush) : dc(dc), pen(pen), brush(brush) {
    oldPen = SelectObject(dc, pen);
    oldBrush = SelectObject(dc, brush);
  }
  ~Tools() {
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
  }
};

// ---- rectangles -----------------------------------------------------------------

class RectangleDepths : public ::testing::TestWithParam<int> {};

TEST_P(RectangleDepths, OutlineAndInteriorCoverTheHalfOpenBox) {
  Canvas c(40, 30, GetParam());
  Tools t(c.dc, CreatePen(PS_SOLID, 1, kBlue), CreateSolidBrush(kRed));
  ASSERT_TRUE(Rectangle(c.dc, 5, 4, 25, 20));
  RECT ink = c.ink();
  EXPECT_EQ(ink.left, 5);
  EXPECT_EQ(ink.top, 4);
  EXPECT_EQ(ink.right, 24);  // right and bottom edges excluded
  EXPECT_EQ(ink.bottom, 19);
  // The outline is one pixel of the pen all around, the rest the brush.
  for (int x = 5; x < 25; ++x) {
    EXPECT_EQ(c.at(x, 4), kBlue) << x;
    EXPECT_EQ(c.at(x, 19), kBlue) << x;
  }
  for (int y = 4; y < 20; ++y) {
    EXPECT_EQ(c.at(5, y), kBlue) << y;
    EXPECT_EQ(c.at(24, y), kBlue) << y;
  }
  EXPECT_EQ(c.count(kRed), 18 * 14);
}

INSTANTIATE_TEST_SUITE_P(Depths, RectangleDepths, ::testing::Values(4, 8, 24, 32));

TEST(Rectangle, NullPenFillsOnePixelLessAndNullBrushLeavesTheInside) {
  {
    Canvas c(30, 30);
    Tools t(c.dc, CreatePen(PS_NULL, 1, 0), CreateSolidBrush(kRed));
    ASSERT_TRUE(Rectangle(c.dc, 2, 3, 12, 10));
    EXPECT_EQ(c.count(kRed), 9 * 6);
    EXPECT_EQ(c.ink().right, 10);
    EXPECT_EQ(c.ink().bottom, 8);
  }
  {
    Canvas c(30, 30);
    ASSERT_TRUE(SelectObject(c.dc, GetStockObject(NULL_BRUSH)));
    ASSERT_TRUE(Rectangle(c.dc, 2, 3, 12, 10));  // stock black pen
    EXPECT_EQ(c.count(kBlack), 2 * 10 + 2 * 5);
    EXPECT_EQ(c.at(6, 6), kWhite);
  }
  {
    // Corners given the other way round draw the same rectangle.
    Canvas a(30, 30), b(30, 30);
    Rectangle(a.dc, 2, 3, 12, 10);
    Rectangle(b.dc, 12, 10, 2, 3);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 30; ++x) ASSERT_EQ(a.at(x, y), b.at(x, y)) << x << "," << y;
  }
}

TEST(Rectangle, WidePenStraddlesTheEdge) {
  Canvas c(60, 60);
  Tools t(c.dc, CreatePen(PS_SOLID, 5, kBlue), CreateSolidBrush(kRed));
  ASSERT_TRUE(Rectangle(c.dc, 10, 10, 50, 50));
  // Half the pen lies outside the box, half inside.
  EXPECT_EQ(c.at(8, 30), kBlue);
  EXPECT_EQ(c.at(6, 30), kWhite);
  EXPECT_EQ(c.at(12, 30), kBlue);
  EXPECT_EQ(c.at(14, 30), kRed);
  EXPECT_EQ(c.at(30, 30), kRed);
}

// ---- curves -------------------------------------------------------------------------

TEST(Ellipse, AreaIsPiRSquaredAndStaysInItsBox) {
  Canvas c(120, 120);
  Tools t(c.dc, CreatePen(PS_SOLID, 1, kRed), CreateSolidBrush(kRed));
  ASSERT_TRUE(Ellipse(c.dc, 10, 10, 110, 90));  // 100 x 80
  const double area = M_PI * 50 * 40;
  EXPECT_NEAR(c.count(kRed), area, area * 0.03);
  RECT ink = c.ink();
  EXPECT_EQ(ink.left, 10);
  EXPECT_EQ(ink.top, 10);
  EXPECT_EQ(ink.right, 109);
  EXPECT_EQ(ink.bottom, 89);
  // The centre is filled, the box's corners are not.
  EXPECT_EQ(c.at(60, 50), kRed);
  EXPECT_EQ(c.at(12, 12), kWhite);
}

TEST(Arcs, PieAndChordFollowTheCounterClockwiseDirection) {
  // Start on the right (3 o'clock), end at the top (12 o'clock): counter-clockwise that
  // is the top-right quarter; clockwise the other three quarters.
  auto quarter = [](int direction, bool pie, int* topRight, int* bottomLeft) {
    Canvas c(100, 100);
    Tools t(c.dc, CreatePen(PS_SOLID, 1, kRed), CreateSolidBrush(kRed));
    SetArcDirection(c.dc, direction);
    if (pie)
      Pie(c.dc, 10, 10, 90, 90, 90, 50, 50, 10);
    else
      Chord(c.dc, 10, 10, 90, 90, 90, 50, 50, 10);
    *topRight = c.at(65, 35) == kRed;
    *bottomLeft = c.at(30, 70) == kRed;
    return c.count(kRed);
  };
  int tr, bl;
  int pie = quarter(AD_COUNTERCLOCKWISE, true, &tr, &bl);
  EXPECT_TRUE(tr);
  EXPECT_FALSE(bl);
  EXPECT_NEAR(pie, M_PI * 40 * 40 / 4, 120);
  int pieCw = quarter(AD_CLOCKWISE, true, &tr, &bl);
  EXPECT_FALSE(tr);
  EXPECT_TRUE(bl);
  EXPECT_NEAR(pieCw, M_PI * 40 * 40 * 3 / 4, 200);
  // The chord cuts the corner triangle off the pie.
  int chord = quarter(AD_COUNTERCLOCKWISE, false, &tr, &bl);
  EXPECT_NEAR(chord, M_PI * 40 * 40 / 4 - 40 * 40 / 2, 100);
}

TEST(Arcs, ArcDrawsOnlyItsCurveAndArcToMovesThePosition) {
  Canvas c(100, 100);
  ASSERT_TRUE(Arc(c.dc, 10, 10, 90, 90, 90, 50, 50, 10));
  RECT ink = c.ink();
  // The top-right quarter of the circle only.
  EXPECT_GE(ink.left, 48);
  EXPECT_LE(ink.bottom, 52);
  EXPECT_EQ(c.at(65, 35), kWhite);
  MoveToEx(c.dc, 5, 95, nullptr);
  ASSERT_TRUE(ArcTo(c.dc, 10, 10, 90, 90, 10, 50, 50, 90));
  POINT p;
  MoveToEx(c.dc, 0, 0, &p);
  // Left to bottom, counter-clockwise: ends at the bottom of the circle.
  EXPECT_NEAR(p.x, 50, 1);
  EXPECT_NEAR(p.y, 89, 1);
}

TEST(Bezier, CurveStaysInsideItsControlHullAndChecksCounts) {
  Canvas c(100, 100);
  POINT pts[4] = {{10, 80}, {30, 10}, {70, 10}, {90, 80}};
  ASSERT_TRUE(PolyBezier(c.dc, pts, 4));
  RECT ink = c.ink();
  EXPECT_EQ(ink.left, 10);
  EXPECT_GE(ink.top, 25);  // the curve's top is at y = 27.5
  EXPECT_LE(ink.top, 30);
  EXPECT_EQ(c.at(50, 10), kWhite);
  EXPECT_FALSE(PolyBezier(c.dc, pts, 3));
  EXPECT_FALSE(PolyBezierTo(c.dc, pts, 2));
  MoveToEx(c.dc, 10, 90, nullptr);
  ASSERT_TRUE(PolyBezierTo(c.dc, pts + 1, 3));
  POINT p;
  MoveToEx(c.dc, 0, 0, &p);
  EXPECT_EQ(p.x, 90);
  EXPECT_EQ(p.y, 80);
}

// ---- polygons --------------------------------------------------------------------------

// A five-pointed star drawn in one stroke: its centre is enclosed twice.
const POINT kStar[5] = {{50, 5}, {78, 92}, {5, 37}, {95, 37}, {22, 92}};

TEST(Polygon, FillModesDifferOnASelfIntersectingStar) {
  Canvas alt(100, 100), wind(100, 100);
  for (Canvas* c : {&alt, &wind}) {
    SelectObject(c->dc, GetStockObject(NULL_PEN));
    SelectObject(c->dc, GetStockObject(BLACK_BRUSH));
  }
  EXPECT_EQ(SetPolyFillMode(alt.dc, ALTERNATE), ALTERNATE);
  EXPECT_EQ(SetPolyFillMode(wind.dc, WINDING), ALTERNATE);
  ASSERT_TRUE(Polygon(alt.dc, kStar, 5));
  ASSERT_TRUE(Polygon(wind.dc, kStar, 5));
  EXPECT_EQ(alt.at(50, 55), kWhite);  // the pentagon in the middle
  EXPECT_EQ(wind.at(50, 55), kBlack);
  EXPECT_EQ(alt.at(50, 20), kBlack);  // a point of the star
  EXPECT_EQ(wind.at(50, 20), kBlack);
  EXPECT_GT(wind.count(kBlack), alt.count(kBlack) + 500);
  SelectObject(alt.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(wind.dc, GetStockObject(WHITE_BRUSH));
}

TEST(Polygon, NullPenSquareCoversItsHalfOpenArea) {
  Canvas c(30, 30);
  Tools t(c.dc, CreatePen(PS_NULL, 1, 0), CreateSolidBrush(kRed));
  POINT sq[4] = {{5, 5}, {15, 5}, {15, 12}, {5, 12}};
  ASSERT_TRUE(Polygon(c.dc, sq, 4));
  EXPECT_EQ(c.count(kRed), 10 * 7);
  EXPECT_EQ(c.ink().left, 5);
  EXPECT_EQ(c.ink().right, 14);
  EXPECT_FALSE(Polygon(c.dc, sq, 1));
  EXPECT_FALSE(Polygon(c.dc, nullptr, 4));
}

TEST(Polygon, PolyPolygonHolesAndPolylineOutline) {
  Canvas c(60, 60);
  Tools t(c.dc, CreatePen(PS_NULL, 1, 0), CreateSolidBrush(kRed));
  POINT pts[8] = {{0, 0}, {50, 0}, {50, 50}, {0, 50}, {10, 10}, {40, 10}, {40, 40}, {10, 40}};
  INT counts[2] = {4, 4};
  ASSERT_TRUE(PolyPolygon(c.dc, pts, counts, 2));
  EXPECT_EQ(c.at(25, 25), kWhite);  // the inner square is a hole under ALTERNATE
  EXPECT_EQ(c.at(5, 5), kRed);
  EXPECT_EQ(c.count(kRed), 50 * 50 - 30 * 30);
  INT bad[2] = {4, 1};
  EXPECT_FALSE(PolyPolygon(c.dc, pts, bad, 2));

  Canvas l(60, 60);
  POINT line[3] = {{5, 5}, {30, 5}, {30, 20}};
  ASSERT_TRUE(Polyline(l.dc, line, 3));
  EXPECT_EQ(l.at(5, 5), kBlack);
  EXPECT_EQ(l.at(29, 5), kBlack);
  EXPECT_EQ(l.at(30, 12), kBlack);
  EXPECT_EQ(l.at(20, 12), kWhite);      // not filled
  EXPECT_EQ(l.count(kBlack), 25 + 15);  // the last point is left out
}

// ---- brushes -----------------------------------------------------------------------

TEST(Brushes, HatchLinesAlternateWithBackgroundOrShowThrough) {
  Canvas opaque(32, 32), clear(32, 32);
  RECT all{0, 0, 32, 32};
  HBRUSH blue = CreateSolidBrush(kBlue);
  FillRect(clear.dc, &all, blue);
  DeleteObject(blue);
  for (Canvas* c : {&opaque, &clear}) {
    SelectObject(c->dc, GetStockObject(NULL_PEN));
    SetBkColor(c->dc, kWhite);
  }
  SetBkMode(opaque.dc, OPAQUE);
  SetBkMode(clear.dc, TRANSPARENT);
  HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, kRed);
  ASSERT_NE(hatch, nullptr);
  SelectObject(opaque.dc, hatch);
  SelectObject(clear.dc, hatch);
  Rectangle(opaque.dc, 0, 0, 33, 33);
  Rectangle(clear.dc, 0, 0, 33, 33);
  // One row in eight is a line, the others background (or what was there).
  int lineRows = 0;
  for (int y = 0; y < 32; ++y) {
    bool line = opaque.at(5, y) == kRed;
    lineRows += line;
    for (int x = 0; x < 32; ++x) {
      ASSERT_EQ(opaque.at(x, y), line ? kRed : kWhite) << x << "," << y;
      ASSERT_EQ(clear.at(x, y), line ? kRed : kBlue) << x << "," << y;
    }
  }
  EXPECT_EQ(lineRows, 4);
  SelectObject(opaque.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(clear.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(hatch);
  EXPECT_EQ(CreateHatchBrush(6, kRed), nullptr);
  EXPECT_EQ(CreateHatchBrush(-1, kRed), nullptr);
}

TEST(Brushes, DiagonalCrossHatchMarksBothDiagonals) {
  Canvas c(16, 16);
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, kBlack);
  SelectObject(c.dc, hatch);
  Rectangle(c.dc, 0, 0, 17, 17);
  // Each 8 x 8 tile holds two diagonals of 8 pixels.
  EXPECT_EQ(c.count(kBlack), 4 * 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(c.at(i, i), kBlack);
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(hatch);
}

TEST(Brushes, PatternBrushesTileFromTheBrushOrigin) {
  // A 2 x 2 checker as a packed 24-bit DIB: red, blue / blue, red.
  struct {
    BITMAPINFOHEADER h;
    BYTE bits[2][8];
  } dib{};
  dib.h.biSize = sizeof(BITMAPINFOHEADER);
  dib.h.biWidth = 2;
  dib.h.biHeight = -2;
  dib.h.biPlanes = 1;
  dib.h.biBitCount = 24;
  const BYTE red[3] = {0, 0, 255}, blue[3] = {255, 0, 0};
  std::memcpy(&dib.bits[0][0], red, 3);
  std::memcpy(&dib.bits[0][3], blue, 3);
  std::memcpy(&dib.bits[1][0], blue, 3);
  std::memcpy(&dib.bits[1][3], red, 3);
  HBRUSH checker = CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
  ASSERT_NE(checker, nullptr);
  Canvas c(10, 10);
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  SelectObject(c.dc, checker);
  Rectangle(c.dc, 0, 0, 11, 11);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(c.at(x, y), (x + y) % 2 ? kBlue : kRed) << x << "," << y;
  SetBrushOrgEx(c.dc, 1, 0, nullptr);
  Rectangle(c.dc, 0, 0, 11, 11);
  EXPECT_EQ(c.at(0, 0), kBlue);
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(checker);
  // A DIB that claims more bits than the block holds is refused.
  EXPECT_EQ(vel::gdi::CreateDIBPatternBrushN(&dib, sizeof dib - 4, DIB_RGB_COLORS), nullptr);
  EXPECT_EQ(vel::gdi::CreateDIBPatternBrushN(&dib, 20, DIB_RGB_COLORS), nullptr);

  // A monochrome bitmap takes the text colour for 0 and the background colour for 1.
  const BYTE rows[4] = {0x40, 0, 0x80, 0};  // 01 / 10, rows of whole words
  HBITMAP mono = CreateBitmap(2, 2, 1, 1, rows);
  HBRUSH monoBrush = CreatePatternBrush(mono);
  ASSERT_NE(monoBrush, nullptr);
  Canvas m(4, 4);
  SetTextColor(m.dc, kRed);
  SetBkColor(m.dc, kBlue);
  SelectObject(m.dc, GetStockObject(NULL_PEN));
  SelectObject(m.dc, monoBrush);
  Rectangle(m.dc, 0, 0, 5, 5);
  EXPECT_EQ(m.at(0, 0), kRed);
  EXPECT_EQ(m.at(1, 0), kBlue);
  EXPECT_EQ(m.at(0, 1), kBlue);
  EXPECT_EQ(m.at(1, 1), kRed);
  SelectObject(m.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(monoBrush);
  DeleteObject(mono);
}

TEST(Brushes, MixModesInvertXorAndSkip) {
  Canvas c(20, 20);
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(SetROP2(c.dc, R2_NOT), R2_COPYPEN);
  Rectangle(c.dc, 0, 0, 11, 21);  // white turns black
  EXPECT_EQ(c.at(5, 5), kBlack);
  Rectangle(c.dc, 5, 0, 16, 21);  // black turns white again, white black
  EXPECT_EQ(c.at(7, 5), kWhite);
  EXPECT_EQ(c.at(12, 5), kBlack);
  HBRUSH red = CreateSolidBrush(kRed);
  SelectObject(c.dc, red);
  SetROP2(c.dc, R2_XORPEN);
  Rectangle(c.dc, 0, 0, 3, 3);    // black ^ red = red
  Rectangle(c.dc, 17, 0, 20, 3);  // white ^ red = cyan
  EXPECT_EQ(c.at(1, 1), kRed);
  EXPECT_EQ(c.at(18, 1), RGB(0, 255, 255));
  SetROP2(c.dc, R2_NOP);
  Rectangle(c.dc, 0, 0, 21, 21);
  EXPECT_EQ(c.at(18, 1), RGB(0, 255, 255));
  EXPECT_EQ(SetROP2(c.dc, 0), 0);
  EXPECT_EQ(SetROP2(c.dc, 17), 0);
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(red);
}

// ---- clipping ----------------------------------------------------------------------------

TEST(Clipping, IntersectConfinesShapesFillsAndBlitsUntilReset) {
  Canvas c(50, 50);
  Tools t(c.dc, CreatePen(PS_SOLID, 1, kRed), CreateSolidBrush(kRed));
  EXPECT_EQ(IntersectClipRect(c.dc, 10, 10, 30, 30), SIMPLEREGION);
  EXPECT_EQ(IntersectClipRect(c.dc, 20, 0, 40, 25), SIMPLEREGION);  // now 20..30 x 10..25
  RECT box;
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.bottom, 25);
  Ellipse(c.dc, 0, 0, 50, 50);
  RECT ink = c.ink();
  EXPECT_EQ(ink.left, 20);
  EXPECT_EQ(ink.top, 10);
  EXPECT_EQ(ink.right, 29);
  EXPECT_EQ(ink.bottom, 24);
  EXPECT_EQ(c.count(kRed), 10 * 15);
  // FillRect and blits keep to it too.
  RECT all{0, 0, 50, 50};
  HBRUSH blue = CreateSolidBrush(kBlue);
  FillRect(c.dc, &all, blue);
  EXPECT_EQ(c.count(kBlue), 10 * 15);
  EXPECT_EQ(c.at(5, 5), kWhite);
  Canvas src(50, 50);
  BitBlt(c.dc, 0, 0, 50, 50, src.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(c.count(kWhite), 50 * 50);
  // SaveDC keeps the clip, a null region removes it.
  int saved = SaveDC(c.dc);
  EXPECT_EQ(SelectClipRgn(c.dc, nullptr), SIMPLEREGION);
  FillRect(c.dc, &all, blue);
  EXPECT_EQ(c.count(kBlue), 50 * 50);
  RestoreDC(c.dc, saved);
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.right, 30);
  DeleteObject(blue);
  // Disjoint rectangles leave nothing to draw on.
  EXPECT_EQ(IntersectClipRect(c.dc, 0, 0, 5, 5), NULLREGION);
}

TEST(Clipping, ExcludeCutsWholeSidesOnly) {
  Canvas c(40, 40);
  IntersectClipRect(c.dc, 0, 0, 40, 40);
  EXPECT_EQ(ExcludeClipRect(c.dc, -5, -5, 45, 10), SIMPLEREGION);  // the top band
  RECT box;
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.top, 10);
  ExcludeClipRect(c.dc, 30, -5, 45, 45);  // the right band
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.right, 30);
  // A hole in the middle would make a region that is no rectangle: kept as it was.
  ExcludeClipRect(c.dc, 10, 20, 20, 30);
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 30);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.bottom, 40);
}

// ---- paths ----------------------------------------------------------------------------------

TEST(Paths, FilledPathCoversWhatAPolygonWithoutPenDoes) {
  Canvas poly(100, 100), path(100, 100);
  for (Canvas* c : {&poly, &path}) {
    SelectObject(c->dc, GetStockObject(BLACK_BRUSH));
    SetPolyFillMode(c->dc, WINDING);
  }
  SelectObject(poly.dc, GetStockObject(NULL_PEN));
  Polygon(poly.dc, kStar, 5);
  // Recording draws nothing; the path is drawn once, then gone.
  ASSERT_TRUE(BeginPath(path.dc));
  MoveToEx(path.dc, kStar[0].x, kStar[0].y, nullptr);
  for (int i = 1; i < 5; ++i) LineTo(path.dc, kStar[i].x, kStar[i].y);
  ASSERT_TRUE(CloseFigure(path.dc));
  EXPECT_EQ(path.count(kWhite), 100 * 100);
  EXPECT_FALSE(FillPath(path.dc));  // not ended yet
  ASSERT_TRUE(EndPath(path.dc));
  ASSERT_TRUE(FillPath(path.dc));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(poly.at(x, y), path.at(x, y)) << x << "," << y;
  EXPECT_FALSE(FillPath(path.dc));
  for (Canvas* c : {&poly, &path}) SelectObject(c->dc, GetStockObject(WHITE_BRUSH));
}

TEST(Paths, StrokeAbortAndShapesInPaths) {
  Canvas c(60, 60);
  BeginPath(c.dc);
  Rectangle(c.dc, 10, 10, 30, 30);
  Ellipse(c.dc, 35, 35, 55, 55);
  EndPath(c.dc);
  RECT box;
  ASSERT_TRUE(vel::gdi::PathBounds(c.dc, &box));
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.right, 54);
  EXPECT_EQ(box.bottom, 54);
  EXPECT_EQ(c.count(kWhite), 60 * 60);
  ASSERT_TRUE(StrokePath(c.dc));
  EXPECT_EQ(c.at(10, 20), kBlack);
  EXPECT_EQ(c.at(29, 20), kBlack);
  EXPECT_EQ(c.at(20, 20), kWhite);  // stroked only
  EXPECT_EQ(c.at(44, 35), kBlack);
  EXPECT_FALSE(vel::gdi::PathBounds(c.dc, &box));

  Canvas a(30, 30);
  BeginPath(a.dc);
  Rectangle(a.dc, 5, 5, 20, 20);
  AbortPath(a.dc);
  EXPECT_FALSE(EndPath(a.dc));
  EXPECT_FALSE(StrokeAndFillPath(a.dc));
  Rectangle(a.dc, 5, 5, 20, 20);  // after the abort, shapes draw again
  EXPECT_EQ(a.at(5, 5), kBlack);
}

// ---- painter DCs ------------------------------------------------------------------------------

TEST(PainterDC, ShapesLandWhereTheyLandOnABitmap) {
  constexpr int kW = 120, kH = 100;
  auto draw = [](HDC dc) {
    HPEN pen = CreatePen(PS_SOLID, 1, kBlue);
    HBRUSH brush = CreateSolidBrush(kRed);
    HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
    Rectangle(dc, 5, 5, 40, 30);
    Ellipse(dc, 50, 10, 110, 60);
    Polygon(dc, kStar, 5);
    POINT line[3] = {{5, 90}, {60, 70}, {110, 95}};
    Polyline(dc, line, 3);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    DeleteObject(brush);
  };
  Canvas bitmap(kW, kH);
  draw(bitmap.dc);
  QImage image(kW, kH, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    vel::gdi::PainterCaps caps;
    caps.width = kW;
    caps.height = kH;
    HDC dc = vel::gdi::CreatePainterDC(&painter, caps);
    draw(dc);
    DeleteDC(dc);
  }
  // Every pixel the painter drew differently has a matching pixel on the bitmap within
  // one pixel.
  int differing = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      QRgb q = image.pixel(x, y);
      COLORREF pc = RGB(qRed(q), qGreen(q), qBlue(q));
      if (pc == bitmap.at(x, y)) continue;
      ++differing;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy)
        for (int dx = -1; dx <= 1 && !near; ++dx) near = bitmap.at(x + dx, y + dy) == pc;
      EXPECT_TRUE(near) << x << "," << y;
    }
  EXPECT_LT(differing, 60);
}

TEST(Shapes, RefuseBadHandlesAndFarAwayShapes) {
  EXPECT_FALSE(Rectangle(nullptr, 0, 0, 10, 10));
  Canvas c(10, 10);
  EXPECT_FALSE(Ellipse(c.dc, -2000000000, -2000000000, 2000000000, 2000000000));
  EXPECT_EQ(c.count(kWhite), 100);
  EXPECT_FALSE(AngleArc(c.dc, 5, 5, 0xFFFFFFFFu, 0, 90));
  EXPECT_FALSE(AngleArc(c.dc, 5, 5, 3, NAN, 90));
}

}  // namespace
