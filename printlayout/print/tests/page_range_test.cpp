#include <gtest/gtest.h>

#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/print/PageRange.h"

namespace tessaly {
namespace {

class PageRangeTest : public ::testing::Test {
 protected:
  PageRangeTest() : project(env) {
    project.insertPage(99);
    project.insertPage(99);  // pages 1 to 3
  }
  PageList Parse(const std::string& text, bool odd = true, bool even = true) {
    PageList pages{99};
    ok = parsePageRange(project, text, pages, false, odd, even);
    return pages;
  }

  testing::FakeEnvironment env;
  Project project;
  bool ok = false;
};

TEST_F(PageRangeTest, RangesInBothDirectionsAndOpenEnds) {
  EXPECT_EQ(Parse("3-1"), (PageList{3, 2, 1}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse("-2"), (PageList{1, 2}));
  EXPECT_EQ(Parse("2-,1"), (PageList{2, 3, 1}));
  EXPECT_EQ(Parse(" 1 , 3 - 2 "), (PageList{1, 3, 2}));
  EXPECT_EQ(Parse("-,2"), (PageList{1, 2, 3, 2}));
  EXPECT_EQ(Parse("+2"), (PageList{2}));
}

TEST_F(PageRangeTest, EmptyTextIsEveryPage) {
  EXPECT_EQ(Parse(""), (PageList{1, 2, 3}));
  EXPECT_EQ(Parse("   "), (PageList{1, 2, 3}));
  project.firstPageNumber = 10;
  project.deletePage(3);
  EXPECT_EQ(Parse(""), (PageList{10, 11}));
  EXPECT_EQ(PageEntry(project, 10), 1);
  EXPECT_EQ(PageEntry(project, 11), 2);
}

TEST_F(PageRangeTest, AfterALeadingDashTheEndMayBeSigned) {
  EXPECT_EQ(Parse("--2"), (PageList{1}));  // from the first page down to -2
}

TEST_F(PageRangeTest, RepetitionsAreKept) { EXPECT_EQ(Parse("2,2,1-2"), (PageList{2, 2, 1, 2})); }

TEST_F(PageRangeTest, PagesOutsideTheProjectAreSkipped) {
  EXPECT_EQ(Parse("0-5"), (PageList{1, 2, 3}));
  EXPECT_EQ(Parse("5,1"), (PageList{1}));
  Parse("5");
  EXPECT_FALSE(ok);                                       // nothing selected
  EXPECT_EQ(Parse("0-2000000000"), (PageList{1, 2, 3}));  // far ends cost nothing
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse("99999999999999999999-2"), (PageList{3, 2}));
}

TEST_F(PageRangeTest, MalformedTextsAreInvalid) {
  for (const char* bad : {"1 2", "1-", "1,", ",1", "a", "1-x", "1;2", "1-2-3", "-2-3", "-"}) {
    PageList pages{42};
    EXPECT_FALSE(parsePageRange(project, bad, pages, false, true, true)) << bad;
  }
}

TEST_F(PageRangeTest, OddAndEvenFilters) {
  EXPECT_EQ(Parse("", true, false), (PageList{1, 3}));
  EXPECT_EQ(Parse("", false, true), (PageList{2}));
  Parse("2", true, false);
  EXPECT_FALSE(ok);  // only an even page was asked for
}

TEST_F(PageRangeTest, CheckOnlyLeavesNoPages) {
  PageList pages{7};
  EXPECT_TRUE(parsePageRange(project, "1-3", pages, true, true, true));
  EXPECT_TRUE(pages.empty());
  EXPECT_FALSE(parsePageRange(project, "9", pages, true, true, true));
}

}  // namespace
}  // namespace tessaly
