#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>

#include "lorimer/ImageInterface.h"
#include "printlayout/macros/Macros.h"

namespace tessaly {
namespace {

class MacrosTest : public ::testing::Test {
 protected:
  MacrosTest() : project(env) {
    project.insertPage(99);
    project.insertPage(99);  // three printable pages
    project.name = "Holiday";
    project.addImage("/home/me/Pictures/beach.jpg", "", 640, 480, 2, 1, 12);
    image = project.pages[2]->placements[0].get();
  }
  std::string Expand(const std::string& text, const ProjectPage* page, ImagePlacement* img) {
    return expandMacros(project, text, page, img);
  }

  NullEnvironment env;
  Project project;
  ImagePlacement* image = nullptr;
};

TEST_F(MacrosTest, PageOfPages) {
  EXPECT_EQ(Expand("Page &[Page] of &[Pages]", project.pages[2].get(), nullptr), "Page 2 of 3");
  project.firstPageNumber = 10;
  EXPECT_EQ(Expand("Page &[Page] of &[Pages]", project.pages[1].get(), nullptr), "Page 10 of 12");
  EXPECT_EQ(Expand("&[Page]", nullptr, image), "11");  // from the image's page
  EXPECT_EQ(Expand("&[Page]", nullptr, nullptr), "");
  ProjectPage stray;  // a page that is not in the project has no number
  EXPECT_EQ(Expand("[&[Page]]", &stray, image), "[]");
}

TEST_F(MacrosTest, NotArrangedImageIsOnPageZero) {
  project.addImage("loose.png", "", 1, 1, 0, 0, 0);
  EXPECT_EQ(Expand("&[Page]", nullptr, project.pages[0]->placements[0].get()), "0");
}

TEST_F(MacrosTest, ImageValues) {
  EXPECT_EQ(Expand("&[Image]", project.pages[2].get(), image), "beach.jpg");
  EXPECT_EQ(Expand("&[Size] &[Width] &[Height]", nullptr, image), "640x480 640 480");
  EXPECT_EQ(Expand("&[Type] plane &[Plane]", nullptr, image), "JPG plane 2");
  // Projects saved on another system keep that system's separators.
  const std::pair<const char*, const char*> names[] = {{"beach.jpg", "beach.jpg"},
                                                       {"/photos/", ""},
                                                       {"C:\\Photos\\beach.jpg", "beach.jpg"},
                                                       {"C:\\Photos\\", ""},
                                                       {"C:\\Photos/2024\\dunes.png", "dunes.png"}};
  for (const auto& [path, name] : names) {
    image->path = path;
    EXPECT_EQ(Expand("<&[Image]>", nullptr, image), std::string("<") + name + ">") << path;
  }
  image->plane = 0;
  EXPECT_EQ(Expand("&[Plane]", nullptr, image), "1");
  // Without an image these are empty.
  EXPECT_EQ(Expand("&[Image]&[Size]&[Width]&[Height]&[Type]&[Plane]", project.pages[1].get(), nullptr), "");
}

TEST_F(MacrosTest, UnknownFormatCodesAreResetInTheImage) {
  image->format = 25;
  EXPECT_EQ(macroValue(project, "Type", nullptr, image), "Unknown");
  EXPECT_EQ(image->format, FORMAT_UNKNOWN);
  image->format = -3;
  EXPECT_EQ(macroValue(project, "Type", nullptr, image), "Unknown");
  EXPECT_EQ(image->format, FORMAT_UNKNOWN);
  image->format = FORMAT_EMF;
  EXPECT_EQ(macroValue(project, "Type", nullptr, image), "EMF");
  EXPECT_STREQ(FormatName(FORMAT_TIF), "TIF");
  EXPECT_STREQ(FormatName(FORMAT_DXF), "DXF");
}

TEST_F(MacrosTest, ProjectNameAndUnknownNames) {
  EXPECT_EQ(Expand("&[Project]", nullptr, nullptr), "Holiday");
  EXPECT_EQ(Expand("a &[Foo] b", nullptr, nullptr), "a Foo b");
  EXPECT_EQ(Expand("&[page]", nullptr, image), "page");  // names are case-sensitive
  EXPECT_EQ(Expand("x&[]y", nullptr, nullptr), "xy");
}

TEST_F(MacrosTest, UnfinishedMacrosKeepTheirTail) {
  EXPECT_EQ(Expand("Total &[", nullptr, nullptr), "Total &[");
  EXPECT_EQ(Expand("Total &[Pages", nullptr, nullptr), "Total &[Pages");
  EXPECT_EQ(Expand("&[Pages] and &[Page", project.pages[1].get(), nullptr), "3 and &[Page");
  EXPECT_EQ(Expand("&[", nullptr, nullptr), "&[");
  EXPECT_EQ(Expand("&", nullptr, nullptr), "&");
  EXPECT_EQ(Expand("", nullptr, nullptr), "");
}

TEST_F(MacrosTest, FirstClosingBracketEndsTheName) {
  EXPECT_EQ(Expand("&[Pages]]", nullptr, nullptr), "3]");
  EXPECT_EQ(Expand("&[Pa]ges]", nullptr, nullptr), "Pages]");
  // No nesting, and values are not expanded again.
  EXPECT_EQ(Expand("&[&[Pages]]", nullptr, nullptr), "&[Pages]");
  project.name = "&[Pages]";
  EXPECT_EQ(Expand("&[Project]", nullptr, nullptr), "&[Pages]");
}

TEST_F(MacrosTest, DateAndTimeStrings) {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 7;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 3;
  EXPECT_EQ(MacroDate(when), "03/07/26");
  EXPECT_EQ(MacroTime(when), "09:05:03");
  when.tm_year = 100;  // 2000
  EXPECT_EQ(MacroDate(when), "03/07/00");
  EXPECT_TRUE(
      std::regex_match(Expand("&[Date] &[Time]", nullptr, nullptr), std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)")));
}

TEST(MacroMenu, EveryMacroHasItsMenuText) {
  EXPECT_EQ(std::size(kMacroMenu), 11u);
  EXPECT_STREQ(kMacroMenu[0].macro, "&[Page]");
  EXPECT_STREQ(kMacroMenu[0].menuText, "&Page number");
  EXPECT_STREQ(kMacroMenu[10].menuText, "Project &name");
  NullEnvironment env;
  Project project(env);
  project.addImage("x.png", "", 1, 1, 1, 0, 15);
  // Every macro the menu inserts is one the expander knows (none comes back as its own name).
  for (const auto& item : kMacroMenu) {
    const std::string macro = item.macro;
    const std::string name = macro.substr(2, macro.size() - 3);
    EXPECT_NE(expandMacros(project, macro, project.pages[1].get(), project.pages[1]->placements[0].get()), name)
        << macro;
  }
}

}  // namespace
}  // namespace tessaly
