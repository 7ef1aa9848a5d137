#include <gtest/gtest.h>

#include "printlayout/gui/view/ViewGeometry.h"

namespace tessaly {
namespace {

TEST(ViewGeometryTest, ModesFitTheViewportAndScrollOverAllRows) {
  struct Case {
    ZoomMode mode;
    int across;
    int pageWidth;  // pixels in an 800 x 1000 viewport, A4 portrait
  };
  const Case cases[] = {{ZoomMode::PageWidth, 1, 768},
                        {ZoomMode::WholePage, 1, 684},  // 968 high: the height decides
                        {ZoomMode::TwoPages, 2, 376},
                        {ZoomMode::ThreePages, 3, 245},
                        {ZoomMode::FourPages, 4, 180}};
  for (const Case& c : cases) {
    for (int pages : {1, 5, 8}) {
      SCOPED_TRACE(::testing::Message() << "mode " << int(c.mode) << " pages " << pages);
      const ViewGeometry g(c.mode, 2100, 2970, pages, QSize(800, 1000));
      EXPECT_EQ(g.across(), c.across);
      EXPECT_EQ(g.pagePixelWidth(), c.pageWidth);
      EXPECT_EQ(g.rows(), (pages + c.across - 1) / c.across);
      const QRect last = g.pageRect(pages);
      EXPECT_EQ(BottomOf(last) + ViewGeometry::kGap, g.contentHeight());
      EXPECT_EQ(g.maxScroll(), std::max(0, g.contentHeight() - 1000));
      EXPECT_LE(RightOf(g.pageRect(std::min(pages, c.across))), 800 - ViewGeometry::kGap);
      if (c.mode == ZoomMode::WholePage) {
        EXPECT_LE(BottomOf(g.pageRect(1)), 1000 - ViewGeometry::kGap);
      }
      for (int entry = 1; entry <= pages; ++entry) EXPECT_EQ(g.pageAt(g.pageRect(entry).center()), entry);
      EXPECT_TRUE(g.pageRect(0).isEmpty());
      EXPECT_TRUE(g.pageRect(pages + 1).isEmpty());
    }
  }
}

TEST(ViewGeometryTest, HitTestsPagesGapsAndScroll) {
  ViewGeometry g(ZoomMode::TwoPages, 2100, 2970, 7, QSize(800, 1000));
  const QRect p1 = g.pageRect(1), p2 = g.pageRect(2), p3 = g.pageRect(3);
  EXPECT_EQ(g.pageAt(QPoint(RightOf(p1) + 2, p1.center().y())), -1);  // gap between columns
  EXPECT_EQ(g.pageAt(QPoint(p1.x(), p1.y())), 1);
  EXPECT_EQ(g.pageAt(QPoint(RightOf(p1), p1.y())), -1);
  EXPECT_EQ(g.pageAt(QPoint(p2.center().x(), BottomOf(p2) + 5)), -1);  // gap between rows
  EXPECT_EQ(g.pageAt(QPoint(p2.center().x(), p3.y())), 4);
  EXPECT_EQ(g.nearestPage(QPoint(RightOf(p1) + 3, p1.center().y())), 1);
  EXPECT_EQ(g.firstVisiblePage(), 1);
  // Page 3's row at the top: it moves up by the scroll, and the last row has no second page.
  g.setScrollY(g.scrollForPage(3));
  EXPECT_EQ(g.pageRect(3), p3.translated(0, -(p3.y() - ViewGeometry::kGap)));
  EXPECT_EQ(g.firstVisiblePage(), 3);
  EXPECT_EQ(g.pageAt(g.pageRect(3).center()), 3);
  EXPECT_EQ(g.pageAt(g.pageRect(7).center() + QPoint(g.pagePixelWidth() + ViewGeometry::kGap, 0)), -1);
  g.setScrollY(g.maxScroll());
  EXPECT_EQ(BottomOf(g.pageRect(7)) + ViewGeometry::kGap, 1000);
}

TEST(ViewGeometryTest, PixelsAndTenthsConvertBothWays) {
  const ViewGeometry g(ZoomMode::PageWidth, 2100, 2970, 1, QSize(800, 1000));  // 768 px wide
  EXPECT_EQ(g.toPixels(2100), 768);
  EXPECT_EQ(g.toTenths(768), 2100);
  for (int tenths : {0, 1, 7, 500, 1234, 2099, -333}) {
    EXPECT_LE(std::abs(g.toTenths(g.toPixels(tenths)) - tenths), 2) << tenths;
    EXPECT_EQ(g.toTenths(-g.toPixels(tenths)), -g.toTenths(g.toPixels(tenths)));
  }
  EXPECT_EQ(g.toPixels(1000, 500, 1100, 0), QRect(366, 183, 402, 0));
}

TEST(ViewGeometryTest, HandlesAreTestedFromTheLastBox) {
  const std::vector<QRect> boxes = {QRect(100, 100, 50, 40), QRect(140, 130, 50, 40)};
  struct Case {
    QPoint point;
    int box, handle;
  } cases[] = {{{145, 135}, 1, 0},  // both box 0's corner 2 and box 1's corner 0: the last wins
               {{156, 146}, 0, 2}, {{157, 146}, -1, -1}, {{94, 94}, 0, 0},    {{93, 94}, -1, -1},
               {{125, 100}, 0, 4}, {{150, 120}, 0, 5},   {{125, 140}, 0, 6},  {{100, 120}, 0, 7},
               {{190, 125}, 1, 1}, {{140, 176}, 1, 3},   {{120, 120}, -1, -1}};
  for (const Case& c : cases) {
    const HandleHit hit = HandleAt(boxes, c.point);
    EXPECT_EQ(hit.box, c.box) << c.point.x() << "," << c.point.y();
    EXPECT_EQ(hit.handle, c.handle) << c.point.x() << "," << c.point.y();
  }
}

TEST(ViewGeometryTest, GridCell) {
  const QRect content(100, 100, 300, 400);  // 3 x 4 cells of 100 x 100
  struct Case {
    QPoint point;
    int placements, cell;
  } cases[] = {{{50, 150}, 12, 0}, {{400, 100}, 12, 2}, {{399, 499}, 12, 11}, {{250, 250}, 12, 4}, {{250, 900}, 12, 10},
               {{399, 499}, 5, 4}, {{150, 150}, 0, -1}, {{199, 199}, 12, 0},  {{200, 200}, 12, 4}};
  for (const Case& c : cases)
    EXPECT_EQ(GridCell(content, 3, 4, c.placements, c.point), c.cell) << c.point.x() << "," << c.point.y();
}

TEST(ViewGeometryTest, MoveClampAndAxisLock) {
  const QRect bounds(10, 10, 50, 50);
  struct Case {
    QPoint d, want;
  } cases[] = {
      {{500, 0}, {140, 0}}, {{-30, 0}, {-10, 0}}, {{0, 1000}, {0, 240}}, {{-5, -5}, {-5, -5}}, {{0, -50}, {0, -10}}};
  for (const Case& c : cases) EXPECT_EQ(ClampToPaper(bounds, c.d, 200, 300), c.want);
  EXPECT_EQ(ClampToPaper(QRect(-5, 0, 10, 10), {-3, 0}, 200, 300), QPoint(0, 0));  // already past: no further
  EXPECT_EQ(AxisLocked({100, 100}, {140, 110}), QPoint(140, 100));
  EXPECT_EQ(AxisLocked({100, 100}, {110, 140}), QPoint(100, 140));
  EXPECT_EQ(AxisLocked({100, 100}, {60, 95}), QPoint(60, 100));
}

TEST(ViewGeometryTest, ResizeScale) {
  struct Case {
    int handle, dx, dy, w, h;
    double sx, sy;
  } cases[] = {{2, 100, 0, 100, 50, 1, 1},       {2, 100, 25, 100, 50, 1.5, 1.5}, {0, -50, -10, 100, 50, 1.2, 1.2},
               {5, 30, 99, 100, 50, 1.3, 1},     {4, 99, -25, 100, 50, 1, 1.5},   {7, -20, 7, 100, 50, 1.2, 1},
               {6, 0, -25, 100, 50, 1, 0.5},     {1, 50, -50, 100, 50, 1.5, 1.5}, {3, -10, 100, 100, 50, 1.1, 1.1},
               {2, -300, -100, 100, 50, -1, -1}, {5, 10, 0, 0, 50, 1, 1}};
  for (const Case& c : cases) {
    const Scale s = ResizeScale(c.handle, c.dx, c.dy, c.w, c.h);
    EXPECT_DOUBLE_EQ(s.sx, c.sx) << "handle " << c.handle << " dx " << c.dx;
    EXPECT_DOUBLE_EQ(s.sy, c.sy) << "handle " << c.handle << " dy " << c.dy;
  }
  const QRect bounds(100, 100, 200, 100), box(150, 120, 50, 30);
  EXPECT_EQ(ScaleBox(box, bounds, 2, {2, 2}), QRect(200, 140, 100, 60));     // about the top-left
  EXPECT_EQ(ScaleBox(box, bounds, 0, {0.5, 0.5}), QRect(225, 160, 25, 15));  // about the bottom-right
  EXPECT_EQ(ScaleBox(box, bounds, 7, {-1, 1}), QRect(400, 120, 50, 30));     // flipped over the right edge
  EXPECT_EQ(ScaleBox(box, bounds, 6, {1, 3}), QRect(150, 160, 50, 90));
}

TEST(ViewGeometryTest, StatusTexts) {
  ImagePlacement p;
  p.pixelWidth = 640, p.pixelHeight = 480, p.x = 250, p.y = 105, p.width = 1000, p.height = 755;
  EXPECT_EQ(PixelSizeText(p), "640x480");
  EXPECT_EQ(BoxText(p, 1), "(25.0,10.5),(100.0x75.5)");
  EXPECT_EQ(BoxText(p, 0), "Not arranged");
  p.x = -1;
  EXPECT_EQ(BoxText(p, 2), "Not arranged");
  EXPECT_EQ(PositionText(3, true, 123, 456), "Page 3 [12.3:45.6 mm]");
  EXPECT_EQ(PositionText(0, false, -50, 20), "-5.0:2.0 mm");
}

}  // namespace
}  // namespace tessaly
