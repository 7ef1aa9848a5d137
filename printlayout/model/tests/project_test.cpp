#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "lorimer/ImageInterface.h"
#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"
#include "printlayout/model/Arithmetic.h"
#include "printlayout/model/BorderLines.h"
#include "printlayout/model/Project.h"
#include "printlayout/model/tests/FakeEnvironment.h"

namespace tessaly {
namespace {

using testing::FakeEnvironment;

std::vector<int> PageIndexes(const Project& project) {
  std::vector<int> out;
  for (size_t i = 0; i < project.pages.size(); ++i)
    for (const auto& p : project.pages[i]->placements) {
      EXPECT_EQ(p->pageIndex, static_cast<int>(i)) << p->path;
      out.push_back(p->pageIndex);
    }
  return out;
}

TEST(ProjectDefaults, FreshProjectWithoutPrinterHasTheFixedA4Layout) {
  NullEnvironment env;
  Project project(env);
  EXPECT_EQ(project.pages.size(), 2u);
  EXPECT_EQ(project.pageCount(), 1);
  EXPECT_EQ(project.name, "Untitled");
  EXPECT_EQ(project.autoArrange, 1);
  EXPECT_EQ(project.arrangeColumns, 3);
  EXPECT_EQ(project.arrangeRows, 4);
  EXPECT_EQ(project.arrangeSpacingH, 30);
  EXPECT_EQ(project.arrangeSpacingV, 30);
  EXPECT_EQ(project.pageWidth, 2100);
  EXPECT_EQ(project.pageHeight, 2970);
  EXPECT_EQ(project.orientation, 1);
  EXPECT_EQ(project.paperSize, 9);
  EXPECT_EQ(project.printQuality, 75);
  EXPECT_EQ(project.printYResolution, 75);
  EXPECT_EQ(project.marginLeft, 200);
  EXPECT_EQ(project.marginBottom, 200);
  EXPECT_EQ(project.headerDistance, 100);
  EXPECT_EQ(project.footerDistance, 100);
  EXPECT_EQ(project.headerSplit1, 760);
  EXPECT_EQ(project.headerSplit2, 1330);
  EXPECT_EQ(project.footerSplit1, 760);
  EXPECT_EQ(project.footerSplit2, 1330);
  EXPECT_EQ(project.imagesFont.face, "Tahoma");
  EXPECT_EQ(project.imagesFont.size, 90);
  EXPECT_EQ(project.defaultComment, "&[Image]");
  EXPECT_EQ(project.windowTitle, "PrintPreview");
  EXPECT_EQ(project.shadowColour, 0x808080u);
  EXPECT_EQ(project.modified, 0);
}

TEST(ProjectDefaults, ShadowComesFromTheStoredDefaults) {
  NullEnvironment env;
  env.settings.shadowImagesCX = 15;
  env.settings.shadowImagesCY = -5;
  Project project(env);
  EXPECT_EQ(project.shadowDx, 15);
  EXPECT_EQ(project.shadowDy, -5);
}

TEST(ProjectDefaults, ResetDiscardsPagesAndEdits) {
  NullEnvironment env;
  Project project(env);
  project.addImage("a.png", "", 10, 10, 1, 0, FORMAT_PNG);
  project.insertPage(5);
  project.name = "Holiday";
  project.marginLeft = 0;
  project.resetToDefaults();
  EXPECT_EQ(project.pages.size(), 2u);
  EXPECT_EQ(project.totalImages(), 0);
  EXPECT_EQ(project.name, "Untitled");
  EXPECT_EQ(project.marginLeft, 200);
  EXPECT_EQ(project.modified, 0);
}

TEST(DefaultPrinter, LandscapeLetterPrinterSwapsThePageAndMovesTheSplits) {
  FakeEnvironment env;
  env.addPrinter("Office", 2159, 2794, DMORIENT_LANDSCAPE, 1, "Letter", 600, 300);
  env.defaultName = "Office";
  Project project(env);
  EXPECT_EQ(project.printerName, "Office");
  EXPECT_EQ(project.printerName2, "Office");
  EXPECT_EQ(project.paperForm, "Letter");
  EXPECT_EQ(project.paperSize, 1);
  EXPECT_EQ(project.orientation, 2);
  EXPECT_EQ(project.pageWidth, 2794);
  EXPECT_EQ(project.pageHeight, 2159);
  EXPECT_EQ(project.printQuality, 600);
  EXPECT_EQ(project.printYResolution, 300);
  // Thirds of 2794 - 400 = 2394 (798 each), rounded down to whole millimetres.
  EXPECT_EQ(project.headerSplit1, 990);
  EXPECT_EQ(project.headerSplit2, 1790);
}

TEST(DefaultPrinter, MissingFieldsFallBackOneByOne) {
  FakeEnvironment env;
  env.addPrinter("Sparse", 1000, 1500, DMORIENT_PORTRAIT, 11, "A5", 300, 300);
  env.modes["Sparse"].fields = DM_PAPERWIDTH | DM_PRINTQUALITY;
  env.defaultName = "Sparse";
  Project project(env);
  EXPECT_EQ(project.pageWidth, 1000);
  EXPECT_EQ(project.pageHeight, 2970);  // length not present
  EXPECT_EQ(project.paperSize, 9);
  EXPECT_EQ(project.paperForm, "");
  EXPECT_EQ(project.printQuality, 300);
  EXPECT_EQ(project.printYResolution, 75);
  EXPECT_EQ(project.orientation, 1);
}

TEST(DefaultPrinter, UnreadableDefaultPrinterGivesTheFixedDefaults) {
  FakeEnvironment env;
  env.defaultName = "Ghost";  // listed as default but its device mode cannot be read
  Project project(env);
  EXPECT_EQ(project.pageWidth, 2100);
  EXPECT_EQ(project.pageHeight, 2970);
  EXPECT_EQ(project.printerName, "");
}

TEST(PrinterCheck, KeepsAnInstalledPrinterAndReplacesAMissingOne) {
  FakeEnvironment env;
  env.addPrinter("Office", 2100, 2970, DMORIENT_PORTRAIT, 9, "A4", 300, 300);
  env.addPrinter("Photo", 1020, 1520, DMORIENT_PORTRAIT, 256, "10x15", 1200, 1200);
  env.defaultName = "Office";
  Project project(env);
  project.printerName = "Photo";
  project.pageWidth = 1020;
  project.checkPrinter();
  EXPECT_EQ(project.printerName, "Photo");
  EXPECT_EQ(project.pageWidth, 1020);  // installed: nothing is asked again

  project.printerName = "photo";  // names compare exactly
  project.checkPrinter();
  EXPECT_EQ(project.printerName, "Office");
  EXPECT_EQ(project.pageWidth, 2100);
}

TEST(Normalize, WideSideMarginsShareHalfThePageAndUnsetSplitsAreRecomputed) {
  NullEnvironment env;
  Project project(env);
  project.marginLeft = project.marginRight = 1500;
  project.headerSplitsSet = project.footerSplitsSet = 0;
  project.normalizeLayout();
  EXPECT_EQ(project.marginLeft, 525);
  EXPECT_EQ(project.marginRight, 525);
  // Thirds of the remaining 1050.
  EXPECT_EQ(project.headerSplit1, 875);
  EXPECT_EQ(project.headerSplit2, 1225);
  EXPECT_EQ(project.footerSplit1, 875);
  EXPECT_EQ(project.footerSplit2, 1225);
  EXPECT_EQ(project.headerSplitsSet, 1);
  EXPECT_EQ(project.footerSplitsSet, 1);
}

TEST(Normalize, SideMarginsKeepTheirRatioWithRounding) {
  NullEnvironment env;
  Project project(env);
  project.marginLeft = 1100;
  project.marginRight = 1101;  // s = 4402: 1100 * 2100 / 4402 = 524.76, 1101 * 2100 / 4402 = 525.24
  project.normalizeLayout();
  EXPECT_EQ(project.marginLeft, 525);
  EXPECT_EQ(project.marginRight, 525);
}

TEST(Normalize, ValidSplitsAreKeptAndCrampedOnesReset) {
  NullEnvironment env;
  Project project(env);
  project.headerSplit1 = 300;   // exactly marginLeft + 100
  project.headerSplit2 = 1800;  // exactly pageWidth - marginRight - 100
  project.footerSplit1 = 900;
  project.footerSplit2 = 950;  // cells closer than 10 mm
  project.normalizeLayout();
  EXPECT_EQ(project.headerSplit1, 300);
  EXPECT_EQ(project.headerSplit2, 1800);
  EXPECT_EQ(project.footerSplit1, 200 + 566);
  EXPECT_EQ(project.footerSplit2, 200 + 2 * 566);

  project.headerSplit1 = 299;
  project.normalizeLayout();
  EXPECT_EQ(project.headerSplit1, 766);
  EXPECT_EQ(project.headerSplit2, 1332);
}

TEST(Normalize, TopAndBottomMarginsScaleIntoHalfTheHeightEachInItsOwnField) {
  NullEnvironment env;
  Project project(env);
  project.marginTop = 3000;
  project.marginBottom = 1000;  // s = 8000
  project.normalizeLayout();
  EXPECT_EQ(project.marginTop, 1114);    // 3000 * 2970 / 8000 = 1113.75
  EXPECT_EQ(project.marginBottom, 371);  // 1000 * 2970 / 8000 = 371.25
  EXPECT_EQ(project.marginLeft, 200);
}

TEST(Pages, InsertPageInsideOrAppendAndRenumber) {
  NullEnvironment env;
  Project project(env);
  project.addImage("p1.png", "", 1, 1, 1, 0, 0);
  EXPECT_EQ(project.insertPage(1), 1);  // before the old page 1
  EXPECT_EQ(project.pages.size(), 3u);
  EXPECT_EQ(project.pages[2]->placements.size(), 1u);
  EXPECT_EQ(project.pages[2]->placements[0]->pageIndex, 2);
  EXPECT_EQ(project.insertPage(0), 3);   // index 0 never: appended
  EXPECT_EQ(project.insertPage(99), 4);  // past the end: appended
  EXPECT_EQ(project.insertPage(-1), 5);
  EXPECT_EQ(project.pages.size(), 6u);
  EXPECT_EQ(project.modified, 1);
  PageIndexes(project);
}

TEST(Pages, DeletePageMovesItsImagesToTheEndOfTheNotArrangedArea) {
  NullEnvironment env;
  Project project(env);
  project.insertPage(2);
  project.addImage("loose.png", "", 1, 1, 0, 0, 0);
  project.addImage("a.png", "", 1, 1, 1, 0, 0);
  project.addImage("b.png", "", 1, 1, 1, 0, 0);
  project.addImage("c.png", "", 1, 1, 2, 0, 0);
  project.deletePage(1);
  ASSERT_EQ(project.pages.size(), 2u);
  ASSERT_EQ(project.pages[0]->placements.size(), 3u);
  EXPECT_EQ(project.pages[0]->placements[1]->path, "a.png");
  EXPECT_EQ(project.pages[0]->placements[2]->path, "b.png");
  EXPECT_EQ(project.pages[1]->placements[0]->path, "c.png");
  PageIndexes(project);

  project.deletePage(0);  // the not-arranged area is not a page
  project.deletePage(2);  // out of range
  EXPECT_EQ(project.pages.size(), 2u);

  // Deleting the only printable page keeps the project whole.
  project.deletePage(1);
  EXPECT_EQ(project.pages.size(), 2u);
  EXPECT_EQ(project.pages[0]->placements.size(), 4u);
  EXPECT_TRUE(project.pages[1]->placements.empty());
  PageIndexes(project);
}

TEST(Pages, DeleteEmptyPages) {
  NullEnvironment env;
  Project project(env);
  for (int i = 0; i < 3; ++i) project.insertPage(99);
  project.deleteEmptyPages();
  EXPECT_EQ(project.pages.size(), 2u);  // the area and one empty page

  project.insertPage(99);
  project.insertPage(99);
  project.addImage("x.png", "", 1, 1, 3, 0, 0);
  project.addImage("loose.png", "", 1, 1, 0, 0, 0);
  project.deleteEmptyPages();
  ASSERT_EQ(project.pages.size(), 2u);
  EXPECT_EQ(project.pages[1]->placements[0]->path, "x.png");
  EXPECT_EQ(project.pages[0]->placements[0]->path, "loose.png");
  PageIndexes(project);
}

TEST(Pages, NumbersFollowTheFirstPageNumber) {
  NullEnvironment env;
  Project project(env);
  project.firstPageNumber = 5;
  project.insertPage(99);
  project.insertPage(99);
  EXPECT_EQ(project.pageCount(), 3);
  EXPECT_EQ(project.pageNumber(1), 5);
  EXPECT_EQ(project.lastPageNumber(), 7);
}

TEST(Placements, AddImageFillsEveryFieldAndTheThumbnail) {
  NullEnvironment env;
  Project project(env);
  EXPECT_EQ(project.addImage("/photos/a.jpg", "c", 640, 480, 1, 2, FORMAT_JPG), 0);
  EXPECT_EQ(project.addImage("/photos/b.jpg", "c", 300, 1200, 1, 0, FORMAT_JPG), 1);
  const ImagePlacement& a = *project.pages[1]->placements[0];
  EXPECT_EQ(a.path, "/photos/a.jpg");
  EXPECT_EQ(a.comment, "c");
  EXPECT_EQ(a.x, -1);
  EXPECT_EQ(a.y, -1);
  EXPECT_EQ(a.width, 0);
  EXPECT_EQ(a.plane, 2);
  EXPECT_EQ(a.format, FORMAT_JPG);
  EXPECT_EQ(a.pageIndex, 1);
  EXPECT_EQ(a.thumbWidth, 128);
  EXPECT_EQ(a.thumbHeight, 96);
  EXPECT_EQ(a.laidOut, 0);
  const ImagePlacement& b = *project.pages[1]->placements[1];
  EXPECT_EQ(b.thumbWidth, 32);
  EXPECT_EQ(b.thumbHeight, 128);
  EXPECT_EQ(project.modified, 1);
  EXPECT_EQ(project.totalImages(), 2);

  // A page that does not exist puts the image with the not-arranged ones.
  project.addImage("c.jpg", "", 0, 0, 7, 0, 0);
  EXPECT_EQ(project.pages[0]->placements.size(), 1u);
  EXPECT_EQ(project.pages[0]->placements[0]->pageIndex, 0);
}

TEST(Placements, MoveAndRemove) {
  NullEnvironment env;
  Project project(env);
  project.addImage("a.png", "", 1, 1, 0, 0, 0);
  project.addImage("b.png", "", 1, 1, 1, 0, 0);
  ImagePlacement* a = project.pages[0]->placements[0].get();
  project.setModified(false);
  project.movePlacement(a, 0);  // already there
  EXPECT_EQ(project.modified, 0);
  project.movePlacement(a, 1);
  ASSERT_EQ(project.pages[1]->placements.size(), 2u);
  EXPECT_EQ(project.pages[1]->placements[1].get(), a);  // appended at the end
  EXPECT_EQ(a->pageIndex, 1);
  EXPECT_EQ(project.modified, 1);
  project.movePlacement(a, 5);  // no such page
  EXPECT_EQ(a->pageIndex, 1);

  project.removeFromProject(a);
  EXPECT_EQ(project.totalImages(), 1);
  EXPECT_EQ(project.pages[1]->placements[0]->path, "b.png");
}

// Writes a TIFF with one page per size.
void WriteTiffPages(const std::string& path, const std::vector<std::pair<int, int>>& sizes) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  for (auto [w, h] : sizes) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    std::vector<unsigned char> row(static_cast<size_t>(w), 0x80);
    for (int y = 0; y < h; ++y) TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

TEST(Placements, AddImageFileGivesOnePlacementPerPage) {
  char dir[] = "/tmp/tessaly-model-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string tif = std::string(dir) + "/three.tif";
  WriteTiffPages(tif, {{10, 10}, {20, 15}, {30, 5}});
  NullEnvironment env;
  Project project(env);
  project.defaultComment = "Plane &[Plane]";
  EXPECT_EQ(project.addImageFile(tif, 0), 3);
  ASSERT_EQ(project.pages[0]->placements.size(), 3u);
  for (int p = 0; p < 3; ++p) {
    const ImagePlacement& placement = *project.pages[0]->placements[static_cast<size_t>(p)];
    EXPECT_EQ(placement.path, tif);
    EXPECT_EQ(placement.plane, p);
    EXPECT_EQ(placement.format, FORMAT_TIF);
    EXPECT_EQ(placement.comment, "Plane &[Plane]");
  }
  EXPECT_EQ(project.pages[0]->placements[1]->pixelWidth, 20);
  EXPECT_EQ(project.pages[0]->placements[1]->pixelHeight, 15);
  EXPECT_EQ(project.pages[0]->placements[2]->pixelWidth, 30);

  // Something that is no picture adds nothing, without a word.
  const std::string junk = std::string(dir) + "/notes.jpg";
  std::ofstream(junk) << "not a picture";
  project.setModified(false);
  EXPECT_EQ(project.addImageFile(junk, 1), 0);
  EXPECT_EQ(project.addImageFile(std::string(dir) + "/missing.png", 1), 0);
  EXPECT_EQ(project.totalImages(), 3);
  EXPECT_EQ(project.modified, 0);
  EXPECT_TRUE(env.messages.empty());
  std::remove(tif.c_str());
  std::remove(junk.c_str());
  rmdir(dir);
}

TEST(Fonts, DeviceFontHeightWeightAndFace) {
  TextFont font;
  font.size = 90;
  LOGFONTA lf = ToLogFont(font, 300, 1.0);
  EXPECT_EQ(lf.lfHeight, -37);  // 300 * 90 / 720 = 37.5, truncated
  EXPECT_EQ(lf.lfWeight, 400);
  EXPECT_EQ(lf.lfItalic, 0);
  EXPECT_STREQ(lf.lfFaceName, "Tahoma");
  EXPECT_EQ(lf.lfQuality, PROOF_QUALITY);

  font.bold = 1;
  font.italic = 1;
  lf = ToLogFont(font, 96, 0.5);
  EXPECT_EQ(lf.lfHeight, -6);  // 96 * 90 * 0.5 / 720 = 6
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_EQ(lf.lfItalic, 1);

  lf = ToLogFont(font, 96, 0.01);  // would be 0.12: never below 1
  EXPECT_EQ(lf.lfHeight, -1);

  font.face = std::string(40, 'F');
  lf = ToLogFont(font, 96, 1.0);
  EXPECT_EQ(std::string(lf.lfFaceName), std::string(31, 'F'));
}

TEST(BorderLineStyles, WidthFactorsDoubleLineAndDashes) {
  const int factors[16] = {0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 1, 0, 0};
  for (int code = 0; code < 16; ++code) EXPECT_EQ(BorderStyle(code).widthFactor, factors[code]) << code;
  EXPECT_TRUE(BorderStyle(13).doubleLine);
  EXPECT_FALSE(BorderStyle(12).doubleLine);
  const BorderLineStyle& dashDot = BorderStyle(3);
  ASSERT_EQ(dashDot.dashCount, 8);
  EXPECT_EQ(std::vector<int>(dashDot.dashes, dashDot.dashes + 8), (std::vector<int>{3, 3, 9, 3, 3, 3, 3, 3}));
  EXPECT_EQ(std::vector<int>(BorderStyle(8).dashes, BorderStyle(8).dashes + 4), (std::vector<int>{10, 4, 5, 4}));
  for (int solid : {6, 11, 12, 13}) EXPECT_EQ(BorderStyle(solid).dashCount, 0) << solid;
  EXPECT_EQ(BorderStyle(-1).widthFactor, 0);
  EXPECT_EQ(BorderStyle(99).widthFactor, 0);
}

TEST(BorderLineStyles, NibblesPerEdge) {
  std::uint32_t lines = 0;
  lines = WithBorderCode(lines, kEdgeTop, 1);
  lines = WithBorderCode(lines, kEdgeRightComment, 13);
  lines = WithBorderCode(lines, kEdgeLeft, 12);
  EXPECT_EQ(lines, 0x0D00C001u);
  EXPECT_EQ(BorderCode(lines, kEdgeLeft), 12);
  EXPECT_TRUE(BorderDrawn(lines, kEdgeTop));
  EXPECT_FALSE(BorderDrawn(lines, kEdgeUnderImage));
  EXPECT_FALSE(BorderDrawn(0xE0u, kEdgeUnderImage));  // code 14 draws nothing
  lines = WithBorderCode(lines, kEdgeTop, 0);
  EXPECT_EQ(lines, 0x0D00C000u);
}

TEST(Arithmetic, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(7, 3, -2), -11);                   // -10.5
  EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000);  // the product needs 64 bits
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
  EXPECT_EQ(MulDiv(0x40000000, 8, 1), -1);
}

class SettingsStore : public vel::reg::testing::TempRegistry {};

TEST_F(SettingsStore, RoundTripAndMissingValuesKeepDefaults) {
  TessalySettings fresh;
  EXPECT_FALSE(fresh.load());  // no key yet
  EXPECT_EQ(fresh.shadowImagesCX, 0);

  TessalySettings stored;
  stored.lastDirForAddImages = "/home/me/Pictures";
  stored.shadowImagesCX = -20;
  stored.shadowImagesCY = 15;
  ASSERT_TRUE(stored.save());
  TessalySettings read;
  ASSERT_TRUE(read.load());
  EXPECT_EQ(read.lastDirForAddImages, "/home/me/Pictures");
  EXPECT_EQ(read.shadowImagesCX, -20);
  EXPECT_EQ(read.shadowImagesCY, 15);

  // A value of the wrong type is ignored, not misread.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmark\\Tessaly\\Settings", 0, KEY_WRITE, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "ShadowImagesCX", 0, REG_SZ, reinterpret_cast<const BYTE*>("12"), 3), ERROR_SUCCESS);
  RegCloseKey(key);
  TessalySettings mixed;
  ASSERT_TRUE(mixed.load());
  EXPECT_EQ(mixed.shadowImagesCX, 0);
  EXPECT_EQ(mixed.shadowImagesCY, 15);
}

}  // namespace
}  // namespace tessaly
