#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printlayout/layout/Layout.h"
#include "printlayout/model/BorderLines.h"
#include "printlayout/model/tests/FakeEnvironment.h"

namespace tessaly {
namespace {

using testing::FakeEnvironment;

// A project on the fixed A4 page with `count` images in the not-arranged area.
class LayoutTest : public ::testing::Test {
 protected:
  LayoutTest() : project(env) {}
  void AddLoose(int count) {
    for (int i = 0; i < count; ++i) project.addImage("img" + std::to_string(i) + ".png", "", 100, 100, 0, 0, 15);
  }
  ImagePlacement* Box(int page, int index, int x, int y, int w, int h) {
    while (static_cast<int>(project.pages.size()) <= page) project.insertPage(99);
    auto& list = project.pages[static_cast<size_t>(page)]->placements;
    while (static_cast<int>(list.size()) <= index) project.addImage("box.png", "", 100, 100, page, 0, 15);
    ImagePlacement* p = list[static_cast<size_t>(index)].get();
    p->x = x;
    p->y = y;
    p->width = w;
    p->height = h;
    return p;
  }
  std::vector<std::string> Paths(int page) const {
    std::vector<std::string> out;
    for (const auto& p : project.pages[static_cast<size_t>(page)]->placements) out.push_back(p->path);
    return out;
  }
  void ExpectIndexesConsistent() const {
    for (size_t i = 0; i < project.pages.size(); ++i)
      for (const auto& p : project.pages[i]->placements) EXPECT_EQ(p->pageIndex, static_cast<int>(i)) << p->path;
  }

  FakeEnvironment env;
  Project project;
};

TEST_F(LayoutTest, A4GridCellsAndPositions) {
  EXPECT_EQ(ArrangeCellWidth(project, 3, 30), 546);
  EXPECT_EQ(ArrangeCellHeight(project, 4, 30), 620);
  for (int i = 0; i < 5; ++i) project.addImage("img" + std::to_string(i) + ".png", "", 100, 100, 1, 0, 15);
  AddLoose(1);  // the not-arranged area is not part of pages 1 to 1
  arrange(project, 1, 1, 3, 4, 30, 30, kArrangeGivenPages);
  ASSERT_EQ(project.pages[0]->placements.size(), 1u);
  const auto& page = project.pages[1]->placements;
  ASSERT_EQ(page.size(), 5u);
  EXPECT_EQ(page[0]->x, 200);
  EXPECT_EQ(page[0]->y, 200);
  EXPECT_EQ(page[1]->x, 776);  // 200 + 546 + 30
  EXPECT_EQ(page[2]->x, 1352);
  EXPECT_EQ(page[3]->x, 200);
  EXPECT_EQ(page[3]->y, 850);  // 200 + 620 + 30
  for (const auto& p : page) {
    EXPECT_EQ(p->width, 546);
    EXPECT_EQ(p->height, 620);
    EXPECT_EQ(p->laidOut, 1);
  }
  // The images keep the order they were collected in.
  EXPECT_EQ(Paths(1), (std::vector<std::string>{"img0.png", "img1.png", "img2.png", "img3.png", "img4.png"}));
  ExpectIndexesConsistent();
}

TEST_F(LayoutTest, GivenPagesModeSendsTheOverflowBackToTheArea) {
  for (int i = 0; i < 13; ++i) project.addImage("p" + std::to_string(i) + ".png", "", 1, 1, 1, 0, 0);
  arrange(project, 1, 1, 3, 4, 30, 30, kArrangeGivenPages);
  EXPECT_EQ(project.pages.size(), 2u);
  EXPECT_EQ(project.pages[1]->placements.size(), 12u);
  ASSERT_EQ(project.pages[0]->placements.size(), 1u);
  const ImagePlacement& left = *project.pages[0]->placements[0];
  EXPECT_EQ(left.path, "p12.png");
  EXPECT_EQ(left.width, 0);
  EXPECT_EQ(left.height, 0);
  EXPECT_EQ(left.x, -1);
  EXPECT_EQ(left.y, -1);
  EXPECT_EQ(left.laidOut, 1);
  ExpectIndexesConsistent();
}

TEST_F(LayoutTest, InsertModeReusesAnEmptyFollowingPage) {
  project.insertPage(99);  // page 2, empty
  for (int i = 0; i < 14; ++i) project.addImage("p" + std::to_string(i) + ".png", "", 1, 1, 1, 0, 0);
  arrange(project, 1, 1, 3, 4, 30, 30, kArrangeInsertPages);
  ASSERT_EQ(project.pages.size(), 3u);
  EXPECT_EQ(project.pages[1]->placements.size(), 12u);
  EXPECT_EQ(Paths(2), (std::vector<std::string>{"p12.png", "p13.png"}));
  EXPECT_EQ(project.pages[2]->placements[1]->x, 776);
  ExpectIndexesConsistent();
}

TEST_F(LayoutTest, InsertModeInsertsBeforeAPageThatHoldsImages) {
  project.insertPage(99);
  project.addImage("keep.png", "", 1, 1, 2, 0, 0);
  for (int i = 0; i < 13; ++i) project.addImage("p" + std::to_string(i) + ".png", "", 1, 1, 1, 0, 0);
  arrange(project, 1, 1, 3, 4, 30, 30, kArrangeInsertPages);
  ASSERT_EQ(project.pages.size(), 4u);
  EXPECT_EQ(Paths(2), (std::vector<std::string>{"p12.png"}));
  EXPECT_EQ(Paths(3), (std::vector<std::string>{"keep.png"}));
  ExpectIndexesConsistent();
}

TEST_F(LayoutTest, InsertModeFillsTheWholeRangeBeforeLookingFurther) {
  project.insertPage(99);
  project.insertPage(99);  // pages 1 to 3
  for (int i = 0; i < 2; ++i) project.addImage("a" + std::to_string(i), "", 1, 1, 1, 0, 0);
  for (int i = 0; i < 2; ++i) project.addImage("b" + std::to_string(i), "", 1, 1, 2, 0, 0);
  project.addImage("c", "", 1, 1, 3, 0, 0);
  arrange(project, 1, 2, 1, 1, 30, 30, kArrangeInsertPages);  // one image per page
  ASSERT_EQ(project.pages.size(), 6u);
  EXPECT_EQ(Paths(1), (std::vector<std::string>{"a0"}));
  EXPECT_EQ(Paths(2), (std::vector<std::string>{"a1"}));
  EXPECT_EQ(Paths(3), (std::vector<std::string>{"b0"}));  // inserted before the page holding "c"
  EXPECT_EQ(Paths(4), (std::vector<std::string>{"b1"}));
  EXPECT_EQ(Paths(5), (std::vector<std::string>{"c"}));
  // A one-cell grid fills the content area.
  EXPECT_EQ(project.pages[1]->placements[0]->width, 1700);
  EXPECT_EQ(project.pages[1]->placements[0]->height, 2570);
  ExpectIndexesConsistent();
}

TEST_F(LayoutTest, AllPagesModeLaysOutLooseImagesAndDropsEmptyPages) {
  for (int i = 0; i < 3; ++i) project.insertPage(99);
  AddLoose(14);
  arrange(project, 3, 3, 3, 4, 30, 30, kArrangeAllPages);  // from and to are ignored
  ASSERT_EQ(project.pages.size(), 3u);
  EXPECT_TRUE(project.pages[0]->placements.empty());
  EXPECT_EQ(project.pages[1]->placements.size(), 12u);
  EXPECT_EQ(project.pages[2]->placements.size(), 2u);
  ExpectIndexesConsistent();
}

TEST_F(LayoutTest, AllPagesModeCollectsPagesFirstThenTheArea) {
  project.insertPage(99);
  project.addImage("loose", "", 1, 1, 0, 0, 0);
  project.addImage("second", "", 1, 1, 2, 0, 0);
  project.addImage("first", "", 1, 1, 1, 0, 0);
  arrange(project, 1, 1, 3, 4, 30, 30, kArrangeAllPages);
  ASSERT_EQ(project.pages.size(), 2u);
  EXPECT_EQ(Paths(1), (std::vector<std::string>{"first", "second", "loose"}));
}

TEST_F(LayoutTest, AllPagesModeWithoutImagesLeavesOneEmptyPage) {
  for (int i = 0; i < 3; ++i) project.insertPage(99);
  arrange(project, 1, 1, 3, 4, 30, 30, kArrangeAllPages);
  EXPECT_EQ(project.pages.size(), 2u);
}

TEST_F(LayoutTest, RangesOutsideTheProjectAndEmptyGridsAreSafe) {
  AddLoose(2);
  project.addImage("on1", "", 1, 1, 1, 0, 0);
  arrange(project, -5, 50, 0, -3, 30, 30, kArrangeGivenPages);  // pages clamp to 1 ... last, grid to 1 x 1
  EXPECT_EQ(Paths(1), (std::vector<std::string>{"on1"}));
  EXPECT_EQ(project.pages[0]->placements.size(), 2u);
  arrange(project, 3, 2, 3, 4, 30, 30, kArrangeInsertPages);  // empty range: nothing moves
  EXPECT_EQ(Paths(1), (std::vector<std::string>{"on1"}));
}

TEST_F(LayoutTest, AutoArrangeRunsOnlyWhenTheModeIsOn) {
  AddLoose(4);
  project.autoArrange = 0;
  applyAutoArrange(project);
  EXPECT_EQ(project.pages[0]->placements.size(), 4u);
  project.autoArrange = 1;
  project.arrangeColumns = 2;
  project.arrangeRows = 1;
  applyAutoArrange(project);
  ASSERT_EQ(project.pages.size(), 3u);
  EXPECT_EQ(project.pages[2]->placements.size(), 2u);

  // At start-up with page setup nothing moves.
  project.addImage("late", "", 1, 1, 0, 0, 0);
  applyStartupArrange(project, true);
  EXPECT_EQ(project.pages[0]->placements.size(), 1u);
  applyStartupArrange(project, false);
  EXPECT_TRUE(project.pages[0]->placements.empty());
  EXPECT_EQ(project.pages.size(), 4u);
}

TEST_F(LayoutTest, ArrangeDialogChoosesTheModeAndStoresTheGrid) {
  for (int i = 0; i < 3; ++i) project.insertPage(99);
  for (int i = 0; i < 5; ++i) project.addImage("p" + std::to_string(i), "", 1, 1, 2, 0, 0);
  ArrangeDialogFields fields = ArrangeDialogDefaults(project);
  EXPECT_EQ(fields.toPage, 4);
  EXPECT_EQ(fields.spacingHmm, 3);
  fields.fromPage = fields.toPage = 2;
  fields.columns = 2;
  fields.rows = 2;
  fields.spacingHmm = 99;  // beyond the spin range
  applyArrangeDialog(project, fields);
  EXPECT_EQ(project.arrangeColumns, 2);
  EXPECT_EQ(project.arrangeSpacingH, 500);
  EXPECT_EQ(project.arrangeSpacingV, 30);
  EXPECT_EQ(project.pages[2]->placements.size(), 4u);  // mode 0: the fifth goes back
  EXPECT_EQ(project.pages[0]->placements.size(), 1u);

  fields.insertPages = true;
  fields.allPages = true;
  applyArrangeDialog(project, fields);  // mode 2 over every page
  EXPECT_EQ(project.pages.size(), 3u);
  EXPECT_EQ(project.pages[1]->placements.size(), 4u);
  EXPECT_EQ(project.pages[2]->placements.size(), 1u);
}

TEST_F(LayoutTest, AlignToTheFirstImage) {
  ImagePlacement* ref = Box(1, 0, 300, 400, 500, 200);
  ImagePlacement* other = Box(1, 1, 1000, 900, 100, 300);
  align(project, {ref, other}, kAlignLeft | kAlignTop);
  EXPECT_EQ(other->x, 300);
  EXPECT_EQ(other->y, 400);
  align(project, {ref, other}, kAlignRight | kAlignBottom);
  EXPECT_EQ(ref->x, 300);  // the reference stays
  EXPECT_EQ(other->x, 700);
  EXPECT_EQ(other->y, 300);  // bottom 600
  align(project, {ref, other}, kAlignHCenter | kAlignVCenter);
  EXPECT_EQ(other->x, 500);  // centre 550
  EXPECT_EQ(other->y, 350);  // centre 500
  EXPECT_EQ(other->laidOut, 1);
}

TEST_F(LayoutTest, AlignmentKeepsImagesOnThePaper) {
  // Right-aligning a 500-wide image to one whose right edge is 300: the target
  // rises to the width.
  ImagePlacement* ref = Box(1, 0, 100, 100, 200, 100);
  ImagePlacement* wide = Box(1, 1, 900, 900, 500, 100);
  align(project, {ref, wide}, kAlignRight);
  EXPECT_EQ(wide->x, 0);
  EXPECT_EQ(ref->x, 300);

  // Left to a reference near the right edge: the target drops so the widest fits.
  ref->x = 1900;
  align(project, {ref, wide}, kAlignLeft);
  EXPECT_EQ(wide->x, 1600);
  EXPECT_EQ(ref->x, 1600);

  // Centre near the left edge.
  ref->x = -50;
  ref->width = 100;  // centre 0
  align(project, {ref, wide}, kAlignHCenter);
  EXPECT_EQ(wide->x, 0);  // target raised to 250
  EXPECT_EQ(ref->x, 200);
}

TEST_F(LayoutTest, AlignToThePage) {
  ImagePlacement* a = Box(1, 0, 300, 400, 500, 200);
  ImagePlacement* b = Box(1, 1, 1000, 900, 100, 300);
  align(project, {a, b}, kAlignRight | AlignHorizontalReference(kAlignToPageEdge));
  EXPECT_EQ(a->x, 1600);
  EXPECT_EQ(b->x, 2000);
  align(project, {a, b}, kAlignLeft | AlignHorizontalReference(kAlignToPageCenter));
  EXPECT_EQ(a->x, 1050);
  EXPECT_EQ(b->x, 1050);
  align(project, {a, b}, kAlignBottom | AlignVerticalReference(kAlignToPageEdge));
  EXPECT_EQ(a->y, 2770);
  EXPECT_EQ(b->y, 2670);
  align(project, {a, b}, kAlignVCenter | AlignVerticalReference(kAlignToPageCenter));
  EXPECT_EQ(a->y, 1385);  // 1485 - 100
  EXPECT_EQ(b->y, 1335);
  EXPECT_EQ(a->x, 1050);           // the horizontal part was not asked for
  align(project, {}, kAlignLeft);  // nothing selected: nothing happens
}

TEST_F(LayoutTest, AlignDialogFlags) {
  EXPECT_EQ(AlignDialogFlags({kAlignLeft, 0, false, false}), kAlignLeft);
  EXPECT_EQ(AlignDialogFlags({kAlignRight, kAlignTop, true, false}), 0x1114u);
  EXPECT_EQ(AlignDialogFlags({0, kAlignBottom, false, true}), 0x2040u);
}

TEST_F(LayoutTest, DistributeLeftEdgesAndCentres) {
  ImagePlacement* a = Box(1, 0, 100, 0, 100, 10);
  ImagePlacement* c = Box(1, 1, 1100, 0, 300, 10);
  ImagePlacement* b = Box(1, 2, 200, 0, 50, 10);
  ImagePlacement* d = Box(1, 3, 700, 0, 10, 10);
  distribute(project, {a, c, b, d}, kDistributeLeft);
  // Keys 100 ... 1100 in thirds: 433.3 -> 433, 766.7 -> 767.
  EXPECT_EQ(a->x, 100);
  EXPECT_EQ(b->x, 433);
  EXPECT_EQ(d->x, 767);
  EXPECT_EQ(c->x, 1100);
  EXPECT_EQ(b->laidOut, 1);

  distribute(project, {a, b}, kDistributeHCenter);  // two images: nothing moves
  EXPECT_EQ(a->x, 100);
  EXPECT_EQ(b->x, 433);

  distribute(project, {a, b, c}, kDistributeRight | kDistributePageExtent);
  EXPECT_EQ(a->x, 0);           // first by right edge: 100 ... moved to the paper edge
  EXPECT_EQ(c->x, 2100 - 300);  // last: ends on the paper edge
  EXPECT_EQ(b->x, 1050);        // right edge halfway between 100 and 2100
}

TEST_F(LayoutTest, DistributeVerticalCentresWithPageExtent) {
  ImagePlacement* a = Box(1, 0, 0, 500, 10, 100);
  ImagePlacement* b = Box(1, 1, 0, 900, 10, 200);
  ImagePlacement* c = Box(1, 2, 0, 2000, 10, 300);
  distribute(project, {c, a, b}, kDistributeVCenter | kDistributePageExtent);
  EXPECT_EQ(a->y, 0);
  EXPECT_EQ(c->y, 2670);
  // Centres 50 and 2820: the middle one's centre goes to 1435.
  EXPECT_EQ(b->y, 1335);
}

TEST_F(LayoutTest, DistributeEqualSpacing) {
  ImagePlacement* a = Box(1, 0, 100, 0, 100, 10);  // leftmost
  ImagePlacement* m1 = Box(1, 1, 900, 0, 200, 10);
  ImagePlacement* z = Box(1, 2, 1500, 0, 100, 10);  // right edge 1600
  ImagePlacement* m2 = Box(1, 3, 300, 0, 100, 10);
  distribute(project, {m1, z, a, m2}, kSpaceAcross);
  // Free space 1500 - 300 - 200 = 1000 in three gaps of 333.
  EXPECT_EQ(a->x, 100);
  EXPECT_EQ(m2->x, 533);  // sorted by centre: m2 first
  EXPECT_EQ(m1->x, 966);
  EXPECT_EQ(z->x, 1500);

  ImagePlacement* p = Box(2, 0, 500, 0, 100, 10);
  ImagePlacement* q = Box(2, 1, 800, 0, 100, 10);
  distribute(project, {p, q}, kSpaceAcross);  // two images stay
  EXPECT_EQ(p->x, 500);
  EXPECT_EQ(q->x, 800);
  distribute(project, {p, q}, kSpaceAcross | kDistributePageExtent);  // unless sent to the edges
  EXPECT_EQ(p->x, 0);
  EXPECT_EQ(q->x, 2000);
}

TEST_F(LayoutTest, DistributeDialogFlags) {
  EXPECT_EQ(DistributeDialogFlags({kDistributeHSpacing, kDistributeBottom, true}), 0x01840000u);
  EXPECT_EQ(DistributeDialogFlags({0, kDistributeTop, false}), 0x00100000u);
}

TEST_F(LayoutTest, MakeSameSizeTakesTheLastSelectedAndStaysOnThePaper) {
  ImagePlacement* a = Box(1, 0, 1900, 100, 100, 100);
  ImagePlacement* b = Box(1, 1, 100, 2800, 300, 100);
  ImagePlacement* ref = Box(1, 2, 500, 500, 400, 250);
  makeSameSize(project, {a, b, ref}, true, false);
  EXPECT_EQ(a->width, 400);
  EXPECT_EQ(b->width, 400);
  EXPECT_EQ(a->height, 100);
  EXPECT_EQ(a->x, 1700);  // moved left to end on the edge
  EXPECT_EQ(b->x, 100);
  makeSameSize(project, {a, b, ref}, false, true);
  EXPECT_EQ(b->height, 250);
  EXPECT_EQ(b->y, 2720);
  EXPECT_EQ(ref->width, 400);
  makeSameSize(project, {a}, true, true);  // one image: nothing to match
  EXPECT_EQ(a->width, 400);
}

TEST_F(LayoutTest, SizeToContentWithoutBordersOrShadow) {
  env.fontHeight = 30;
  project.borderLines = 0;
  project.borderSpaceV = 10;
  project.shadowDx = project.shadowDy = 0;
  ImagePlacement* p = Box(1, 0, 200, 200, 546, 620);
  p->pixelWidth = 400;
  p->pixelHeight = 300;
  sizeToContent(project, {p});
  // Picture room 546 x (620 - 30 - 5 - 5) = 546 x 580; width-bound: 546 x 410 (409.5).
  EXPECT_EQ(p->width, 546);
  EXPECT_EQ(p->x, 200);
  EXPECT_EQ(p->height, 620 - 170);
  EXPECT_EQ(p->y, 200 + 85);
  EXPECT_EQ(p->laidOut, 1);
}

TEST_F(LayoutTest, SizeToContentWithBordersAndShadow) {
  env.fontHeight = 40;
  project.borderLines = WithBorderCode(WithBorderCode(WithBorderCode(0, kEdgeLeft, 1), kEdgeRight, 1), kEdgeTop, 6);
  project.borderLines = WithBorderCode(WithBorderCode(project.borderLines, kEdgeUnderImage, 2), kEdgeUnderComment, 3);
  project.borderSpaceH = 20;
  project.borderSpaceV = 10;
  project.shadowDx = 15;
  project.shadowDy = -10;
  ImagePlacement* p = Box(1, 0, 100, 100, 1000, 1000);
  p->pixelWidth = 100;
  p->pixelHeight = 400;
  sizeToContent(project, {p});
  // left 120, right 1080, top 110, bottom 1100 - 10 - 40 - 10 - 10 = 1030;
  // shadow: right 1065, top 120 -> room 945 x 910, height-bound: 228 (227.5) x 910;
  // plus shadow 243 x 920; slack 960 - 243 = 717 and 920 - 920 = 0.
  EXPECT_EQ(p->width, 1000 - 717);
  EXPECT_EQ(p->x, 100 + 358);
  EXPECT_EQ(p->height, 1000);
  EXPECT_EQ(p->y, 100);
}

TEST_F(LayoutTest, SizeToContentSkipsImagesWithoutPixels) {
  ImagePlacement* p = Box(1, 0, 100, 100, 500, 500);
  p->pixelWidth = 0;
  sizeToContent(project, {p});
  EXPECT_EQ(p->width, 500);
  EXPECT_EQ(p->x, 100);
}

TEST_F(LayoutTest, SynchronizeSizeChoices) {
  ImagePlacement* a = Box(1, 0, 100, 100, 300, 400);
  ImagePlacement* b = Box(1, 1, 600, 100, 500, 200);
  ImagePlacement* c = Box(1, 2, 1200, 100, 400, 300);
  synchronizeSize(project, {a, b, c}, kSyncWidthNarrowest | kSyncHeightHighest);
  for (auto* p : {a, b, c}) {
    EXPECT_EQ(p->width, 300);
    EXPECT_EQ(p->height, 400);
    EXPECT_EQ(p->laidOut, 1);
  }
  b->width = 800;
  synchronizeSize(project, {a, b, c}, kSyncWidthWidest);
  EXPECT_EQ(c->width, 800);
  EXPECT_EQ(c->height, 400);  // no height choice: unchanged
  EXPECT_EQ(c->x, 1200);
  c->height = 100;
  synchronizeSize(project, {a, b, c}, kSyncHeightSame | kSyncWidthSame);
  EXPECT_EQ(a->height, 100);
  EXPECT_EQ(a->width, 800);
}

TEST_F(LayoutTest, SynchronizeSizeOriginalIsThePictureAt300Dpi) {
  ImagePlacement* p = Box(1, 0, -1, -1, 10, 10);
  p->pixelWidth = 600;   // 508 in 0.1 mm
  p->pixelHeight = 301;  // 254.85 -> 255
  synchronizeSize(project, {p}, kSyncWidthOriginal | kSyncHeightOriginal);
  EXPECT_EQ(p->width, 508);
  EXPECT_EQ(p->height, 255);
  EXPECT_EQ(p->x, 200);  // not yet arranged: starts at the margins
  EXPECT_EQ(p->y, 200);
}

TEST_F(LayoutTest, SynchronizeSizeMovesAndShrinksIntoTheArea) {
  ImagePlacement* p = Box(1, 0, 1800, 2800, 400, 300);
  synchronizeSize(project, {p}, kSyncUsePageMargins);
  EXPECT_EQ(p->x, 1500);  // right edge on 1900
  EXPECT_EQ(p->y, 2470);  // bottom edge on 2770

  p->pixelWidth = 6000;  // 5080 x 2540 at 300 dpi: larger than the paper
  p->pixelHeight = 3000;
  synchronizeSize(project, {p}, kSyncWidthOriginal | kSyncHeightOriginal);
  EXPECT_EQ(p->x, 0);
  EXPECT_LE(p->x + p->width, 2100);
  EXPECT_LE(p->y + p->height, 2970);
  EXPECT_EQ(p->width, 2100);
  EXPECT_NEAR(static_cast<double>(p->width) / p->height, 2.0, 0.01);  // aspect kept
}

TEST_F(LayoutTest, ShadowPresetsBecomeTheStoredDefault) {
  setShadow(project, 15, 15);
  EXPECT_EQ(project.shadowDx, 15);
  EXPECT_EQ(project.shadowDy, 15);
  EXPECT_EQ(env.settings.shadowImagesCX, 15);
  EXPECT_EQ(env.settings.shadowImagesCY, 15);
  EXPECT_EQ(CheckedShadowPreset(project), 3);
  EXPECT_STREQ(kShadowPresets[3].menuText, "1.5 mm");
  setShadow(project, 0, 0);
  EXPECT_EQ(CheckedShadowPreset(project), 0);
  project.shadowDx = 7;
  EXPECT_EQ(CheckedShadowPreset(project), -1);
  // A new project starts with the stored shadow.
  setShadow(project, 20, 20);
  project.resetToDefaults();
  EXPECT_EQ(project.shadowDx, 20);
}

}  // namespace
}  // namespace tessaly
