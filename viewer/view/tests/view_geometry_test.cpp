// The view's arithmetic: ladder, drawing rectangles, hand drag, lens, full screen and
// the first size of an image window.
#include <gtest/gtest.h>

#include "viewer/view/ViewGeometry.h"

namespace orvenna {
namespace {

TEST(ViewGeometry, ZoomLadder) {
  struct Case {
    double zoom, before;
    int position;
    double in, out;
  };
  const Case cases[] = {
      {1.0, 1.0, 10, 1.5, 0.9},        // 100 %
      {kFitZoom, 2.0, 12, 3.0, 1.5},   // Zoom In from fit after 200 % gives 300 %
      {4.0, 1.0, 14, 4.0, 3.0},        // the top step stays
      {0.05, 1.0, 0, 0.1, 0.05},       // the bottom step stays
      {0.33, 0.2, 2, 0.3, 0.1},        // off the ladder: the scale before fit
      {kFitZoom, 0.77, 10, 1.5, 0.9},  // neither on it: 100 %
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.zoom << " / " << c.before);
    EXPECT_EQ(LadderPosition(c.zoom, c.before), c.position);
    EXPECT_EQ(ZoomInValue(c.zoom, c.before), c.in);
    EXPECT_EQ(ZoomOutValue(c.zoom, c.before), c.out);
  }
}

TEST(ViewGeometry, FitToggleReturnsToTheScaleBefore) {
  double zoom = 2.0, before = 1.0;
  ToggleFit(zoom, before);
  EXPECT_EQ(zoom, kFitZoom);
  EXPECT_EQ(before, 2.0);
  ToggleFit(zoom, before);
  EXPECT_EQ(zoom, 2.0);
}

TEST(ViewGeometry, DrawingRectangles) {
  struct Case {
    const char* name;
    DrawInput in;
    QSize display;
    int a, b;
    double scale;
    RECT dest, src;
  };
  const Case cases[] = {
      {"small image at 100 % is centred",
       {QSize(100, 80), 1.0, QSize(500, 400), {}, {}, {}},
       QSize(100, 80),
       200,
       160,
       1.0,
       RECT{200, 160, 300, 240},
       RECT{0, 0, 100, 80}},
      {"fit enlarges a small image",
       {QSize(100, 80), kFitZoom, QSize(500, 400), {}, {}, {}},
       QSize(500, 400),
       0,
       0,
       5.0,
       RECT{0, 0, 500, 400},
       RECT{0, 0, 100, 80}},
      {"fit of a wide image is centred vertically",
       {QSize(4000, 1000), kFitZoom, QSize(500, 400), {}, {}, {}},
       QSize(500, 125),
       0,
       137,
       0.125,
       RECT{0, 137, 500, 263},
       RECT{0, 0, 4000, 1008}},
      {"scrolled at 200 %",
       {QSize(1000, 800), 2.0, QSize(500, 400), QPoint(300, 100), {}, {}},
       QSize(2000, 1600),
       0,
       0,
       2.0,
       RECT{300, 100, 800, 500},
       RECT{150, 50, 400, 250}},
      {"image as large as the client in fit mode keeps its size",
       {QSize(500, 400), kFitZoom, QSize(500, 400), {}, {}, {}},
       QSize(500, 400),
       0,
       0,
       1.0,
       RECT{0, 0, 500, 400},
       RECT{0, 0, 500, 400}},
      {"the frame allowance rule drops the offsets",
       {QSize(100, 80), 1.0, QSize(500, 400), {}, QSize(520, 410), QSize(30, 10)},
       QSize(100, 80),
       0,
       160,
       1.0,
       RECT{0, 160, 500, 240},
       RECT{0, 0, 500, 80}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DrawGeometry g = ComputeDrawGeometry(c.in);
    EXPECT_EQ(g.display, c.display);
    EXPECT_EQ(g.a, c.a);
    EXPECT_EQ(g.b, c.b);
    EXPECT_DOUBLE_EQ(g.scale, c.scale);
    EXPECT_EQ(QRect(g.dest.left, g.dest.top, g.dest.right - g.dest.left, g.dest.bottom - g.dest.top),
              QRect(c.dest.left, c.dest.top, c.dest.right - c.dest.left, c.dest.bottom - c.dest.top));
    EXPECT_EQ(QRect(g.src.left, g.src.top, g.src.right - g.src.left, g.src.bottom - g.src.top),
              QRect(c.src.left, c.src.top, c.src.right - c.src.left, c.src.bottom - c.src.top));
  }
}

TEST(ViewGeometry, PictureThatFitsToNothingIsNotDrawn) {
  const DrawGeometry g = ComputeDrawGeometry({QSize(1, 30000), kFitZoom, QSize(500, 400), {}, {}, {}});
  EXPECT_EQ(g.scale, 0.0);
  EXPECT_TRUE(ComputeDrawGeometry({QSize(), 1.0, QSize(500, 400), {}, {}, {}}).scale == 0.0);
}

TEST(ViewGeometry, HandDrag) {
  struct Case {
    const char* name;
    QSize image;
    double zoom;
    QPoint anchor, cursor;
    std::optional<QPoint> target;
  };
  const Case cases[] = {
      {"narrow image moves only vertically", QSize(100, 2000), 1.0, QPoint(250, 300), QPoint(280, 250), QPoint(0, 50)},
      {"large image follows both ways", QSize(2000, 2000), 1.0, QPoint(400, 300), QPoint(350, 280), QPoint(50, 20)},
      {"fit mode never moves", QSize(2000, 2000), kFitZoom, QPoint(400, 300), QPoint(350, 280), std::nullopt},
      {"small image does not move", QSize(100, 80), 1.0, QPoint(10, 10), QPoint(40, 40), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QPoint anchor = c.anchor;
    EXPECT_EQ(HandScrollTarget(anchor, c.cursor, c.image, c.zoom, QSize(500, 400)), c.target);
  }
}

TEST(ViewGeometry, Lens) {
  EXPECT_EQ(LensWindowRect(QPoint(200, 100), 151, 101), QRect(125, 50, 150, 100));
  EXPECT_EQ(LensWindowRect(QPoint(0, 0), 150, 100), QRect(-75, -50, 150, 100));
  // At 100 % with a centred picture, a 2x lens of 148 x 98 shows 74 x 49 pixels
  // around the point under the cursor.
  const DrawGeometry view = ComputeDrawGeometry({QSize(100, 80), 1.0, QSize(500, 400), {}, {}, {}});
  const RECT src = LensSourceRect(view, QPoint(), QPoint(250, 200), QSize(148, 98), 2.0);
  EXPECT_EQ(QRect(src.left, src.top, src.right - src.left, src.bottom - src.top), QRect(13, 15, 74, 49));
  // At 50 % the same lens reaches twice as many source pixels.
  const DrawGeometry half = ComputeDrawGeometry({QSize(2000, 2000), 0.5, QSize(500, 400), {}, {}, {}});
  const RECT wide = LensSourceRect(half, QPoint(100, 0), QPoint(100, 100), QSize(100, 100), 2.0);
  EXPECT_EQ(QRect(wide.left, wide.top, wide.right - wide.left, wide.bottom - wide.top), QRect(350, 150, 100, 100));
}

TEST(ViewGeometry, FullScreenPlacement) {
  EXPECT_EQ(FullScreenRect(QSize(640, 480), QSize(1024, 768)), QRect(192, 144, 640, 480));
  EXPECT_EQ(FullScreenRect(QSize(4096, 1000), QSize(1024, 768)), QRect(0, 259, 1024, 250));
  EXPECT_EQ(FullScreenRect(QSize(1000, 3072), QSize(1024, 768)), QRect(387, 0, 250, 768));
  EXPECT_TRUE(FullScreenRect(QSize(), QSize(1024, 768)).isEmpty());
}

TEST(ViewGeometry, FirstDisplaySize) {
  const QSize area(1000, 700), allowance(10, 30);
  struct Case {
    QSize image;
    std::optional<QSize> child;
  };
  const Case cases[] = {
      {QSize(300, 200), QSize(310, 230)},                 // fits: the window hugs the picture
      {QSize(2000, 200), QSize(990, 200 + 30 + 3 + 15)},  // too wide
      {QSize(300, 2000), QSize(300 + 10 + 3 + 15, 670)},  // too high
      {QSize(2000, 2000), std::nullopt},                  // neither: default size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.image.width() << "x" << c.image.height());
    EXPECT_EQ(InitialChildSize(c.image, area, allowance, 15), c.child);
  }
  EXPECT_EQ(PageBarChildSize(QSize(300, 200), QSize(120, 28), allowance), QSize(314, 261));
  EXPECT_EQ(PageBarChildSize(QSize(50, 200), QSize(120, 28), allowance), QSize(130, 261));
}

}  // namespace
}  // namespace orvenna
