#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "lorimer/ImageInterface.h"
#include "platform/ui/progress.h"
#include "printlayout/export/ExportPages.h"
#include "printlayout/export/ExportTypes.h"
#include "printlayout/export/OverwriteDialog.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::FileExists;
using testing::ReadText;
using testing::TempFolder;
using testing::WritePicture;

struct Size {
  int width = 0, height = 0, depth = 0;
  bool operator==(const Size&) const = default;
};

Size SizeOf(const std::string& path) {
  CImageInterface image;
  if (!image.Load(path.c_str(), 0)) return {};
  return {image.GetWidth(0), image.GetHeight(0), image.GetColorDepth()};
}

class ExportTest : public ::testing::Test {
 protected:
  ExportTest() : project(env) {
    project.name = "Holiday";
    project.insertPage(99);  // pages 1 and 2
    vel::ui::SetProgressObserver([this](const std::string& line) { progress.push_back(line); });
  }
  ~ExportTest() override {
    vel::ui::SetProgressObserver(nullptr);
    SetOverwriteObserver(nullptr);
  }
  bool Export(const PageList& pages, int type, int dpi, int depth, bool gray = false, bool crop = false) {
    return exportPages(project, pages, dir.path(), "&[Project]-&[Page]", type, dpi, depth, gray, crop, nullptr,
                       &result);
  }

  testing::FakeEnvironment env;
  Project project;
  TempFolder dir;
  ExportResult result;
  std::vector<std::string> progress;
};

TEST_F(ExportTest, NamesFromTheTemplateAndA4PixelSizes) {
  ASSERT_TRUE(Export({1, 2}, kExportJPEG, 96, kDepth24));
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(SizeOf(dir / "Holiday-1.jpg"), (Size{794, 1123, 24}));
  EXPECT_EQ(SizeOf(dir / "Holiday-2.jpg"), (Size{794, 1123, 24}));
  EXPECT_EQ(ExportPixels(2100, 300), 2480);
  EXPECT_EQ(ExportPixels(2970, 300), 3508);
  EXPECT_EQ(ExportPixels(2970, 72), 842);
  // The progress names the pages.
  EXPECT_NE(std::find(progress.begin(), progress.end(), "Export: Page 2 of 2"), progress.end());
}

TEST_F(ExportTest, ThreeHundredDpiPagesInEveryCommonType) {
  project.deletePage(2);
  ASSERT_TRUE(WritePicture(dir / "red.png", 60, 40, RGB(255, 0, 0), kExportPNG));
  project.addImage(dir / "red.png", "&[Image]", 60, 40, 1, 0, 15);
  ImagePlacement& p = *project.pages[1]->placements[0];
  p.x = p.y = 200;
  p.width = 1700;
  p.height = 1200;
  const std::pair<int, int> types[] = {
      {kExportPNG, kDepth24}, {kExportTIFF, kDepth24}, {kExportBMP, kDepth8}, {kExportJPEG, kDepth24}};
  for (auto [type, depth] : types) {
    ASSERT_TRUE(Export({1}, type, 300, depth)) << kTypeNames[type];
    const std::string path = (dir / "Holiday-1") + kTypeExtensions[type];
    EXPECT_EQ(SizeOf(path), (Size{2480, 3508, kDepthBits[depth]})) << path;
  }
  // The picture lands where the layout puts it: 200 + 850 tenths of a mm is the
  // box's centre, 20 + 85 mm = 1240 pixels at 300 dpi.
  CImageInterface page;
  ASSERT_TRUE(page.Load((dir / "Holiday-1.png").c_str(), 1));
  HBITMAP bmp = page.GetHBITMAP(1, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  EXPECT_EQ(GetPixel(dc, 1240, 1000), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1240, 100), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bmp);
}

TEST_F(ExportTest, GrayAndPaletteDepths) {
  ASSERT_TRUE(Export({1}, kExportPNG, 72, kDepth1, true));
  EXPECT_EQ(SizeOf(dir / "Holiday-1.png").depth, 1);
  ASSERT_TRUE(Export({2}, kExportGIF, 72, kDepth8));
  EXPECT_EQ(SizeOf(dir / "Holiday-2.gif").depth, 8);
}

TEST_F(ExportTest, EpsPagesThroughTheHelpers) {
  if (std::system("command -v gs >/dev/null && command -v pstoedit >/dev/null") != 0)
    GTEST_SKIP() << "Ghostscript or pstoedit is missing";
  ASSERT_TRUE(Export({1}, kExportEPS, 72, kDepth8, true));
  EXPECT_EQ(result.written, 1);
  const std::string path = dir / "Holiday-1.eps";
  // Always written with a preview: a DOS EPS binary header.
  const std::string head = ReadText(path).substr(0, 4);
  EXPECT_EQ(head, "\xC5\xD0\xD3\xC6");
  CImageInterface eps;
  ASSERT_TRUE(eps.Load(path.c_str(), 0));
  EXPECT_EQ(eps.GetFormat(), FORMAT_EPS);
  EXPECT_TRUE(eps.IsVectorImage());
  // An A4 sheet: the proportions survive the trip through PostScript.
  EXPECT_NEAR(static_cast<double>(eps.GetHeight(0)) / eps.GetWidth(0), 2970.0 / 2100.0, 0.01);
}

TEST_F(ExportTest, OverwriteAllStopsAskingAndSkipAllStopsWriting) {
  std::vector<std::string> questions;
  ASSERT_TRUE(Export({1, 2}, kExportBMP, 72, kDepth24));
  SetOverwriteObserver([&](const std::string& text) {
    questions.push_back(text);
    return OverwriteAnswer::OverwriteAll;
  });
  ASSERT_TRUE(Export({1, 2}, kExportBMP, 72, kDepth24));
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], OverwriteQuestion(dir / "Holiday-1.bmp"));
  EXPECT_EQ(result.written, 2);

  // Skip All ends the export at once, even for pages whose files do not exist.
  std::remove((dir / "Holiday-2.bmp").c_str());
  questions.clear();
  SetOverwriteObserver([&](const std::string& text) {
    questions.push_back(text);
    return OverwriteAnswer::SkipAll;
  });
  EXPECT_FALSE(Export({1, 2}, kExportBMP, 72, kDepth24));
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(result.written, 0);
  EXPECT_FALSE(FileExists(dir / "Holiday-2.bmp"));

  // Skip leaves that page out and goes on.
  SetOverwriteObserver([](const std::string&) { return OverwriteAnswer::Skip; });
  const std::string before = ReadText(dir / "Holiday-1.bmp");
  ASSERT_TRUE(Export({1, 2}, kExportBMP, 96, kDepth24));
  EXPECT_EQ(result.skipped, 1);
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(ReadText(dir / "Holiday-1.bmp"), before);
  EXPECT_EQ(SizeOf(dir / "Holiday-2.bmp").width, 794);
}

TEST_F(ExportTest, CropKeepsTheContentOnly) {
  ASSERT_TRUE(Export({1}, kExportBMP, 96, kDepth24, false, true));
  const Size cropped = SizeOf(dir / "Holiday-1.bmp");
  // The sheet less its two 20 mm margins on each axis: about 643 x 972 pixels at 96 dpi.
  EXPECT_NEAR(cropped.width, 643, 3);
  EXPECT_NEAR(cropped.height, 972, 4);
}

TEST_F(ExportTest, FailedSavesAreCountedNotReported) {
  ASSERT_TRUE(
      exportPages(project, {1}, dir / "no/such/folder", "x", kExportPNG, 72, kDepth24, false, false, nullptr, &result));
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.written, 0);
  // A name with a forbidden character fails silently as well.
  ASSERT_TRUE(exportPages(project, {1}, dir.path(), "a/b", kExportPNG, 72, kDepth24, false, false, nullptr, &result));
  EXPECT_EQ(result.failed, 1);
}

}  // namespace
}  // namespace tessaly
