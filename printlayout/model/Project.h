// The print-layout project: pages of placed images plus the page geometry,
// printer choice, header and footer, borders, shadow and the auto-arrange grid.
//
// Lengths on the paper are whole numbers in 0.1 mm; colours are 0x00BBGGRR.
// Page entry 0 is the not-arranged area; entries 1 ... n-1 are printable pages;
// the list never holds fewer than two entries.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "printlayout/model/Environment.h"
#include "printlayout/model/TextFont.h"

namespace tessaly {

struct ImagePlacement {
  std::string path;
  std::string comment;
  std::int32_t pixelWidth = 128;
  std::int32_t pixelHeight = 128;
  std::int32_t width = 0;  // box on the paper, 0.1 mm
  std::int32_t height = 0;
  std::int32_t x = -1;  // -1 while not arranged
  std::int32_t y = -1;
  std::int32_t plane = 0;   // page of a multi-page file, 0-based
  std::int32_t format = 0;  // the image library's FORMAT
  std::int32_t pageIndex = 0;
  std::uint32_t viewState = 0;
  std::int32_t thumbWidth = 128;
  std::int32_t thumbHeight = 128;
  std::int32_t laidOut = 0;
  std::uint32_t viewState2[4] = {};

  // Inspector thumbnail size: the pixel size scaled into 128 x 128.
  void updateThumbSize();
};

struct ProjectPage {
  std::uint32_t viewState = 0;
  std::vector<std::unique_ptr<ImagePlacement>> placements;
  std::uint32_t viewState2 = 0;
};

// Fixed page defaults, used when no printer can be asked.
constexpr std::int32_t kDefaultPageWidth = 2100;
constexpr std::int32_t kDefaultPageHeight = 2970;
constexpr std::uint16_t kDefaultPaperSize = 9;
constexpr std::int32_t kDefaultPrintQuality = 75;
constexpr Colour kDefaultShadowColour = 0x808080;

class Project {
 public:
  explicit Project(Environment& environment);
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  Environment& environment() const { return *environment_; }

  // ---- fields, in the order the file stores them --------------------------
  std::vector<std::unique_ptr<ProjectPage>> pages;
  std::string name = "Untitled";
  std::string path;
  std::uint32_t borderLines = 0;
  std::int32_t borderWidth = 1;
  Colour borderColour = 0;
  std::int32_t borderSpaceH = 10;
  std::int32_t borderSpaceV = 10;
  std::int32_t shadowDx = 0;
  std::int32_t shadowDy = 0;
  Colour shadowColour = kDefaultShadowColour;
  TextFont imagesFont;
  std::string defaultComment = "&[Image]";
  std::int32_t pageWidth = kDefaultPageWidth;
  std::int32_t pageHeight = kDefaultPageHeight;
  std::int32_t orientation = 1;
  std::int32_t marginLeft = 200;
  std::int32_t marginTop = 200;
  std::int32_t marginRight = 200;
  std::int32_t marginBottom = 200;
  std::int32_t headerDistance = 100;
  std::int32_t footerDistance = 100;
  std::string printerName;
  std::string printerName2;
  std::string paperForm;
  std::uint16_t paperSize = kDefaultPaperSize;
  std::int32_t printQuality = kDefaultPrintQuality;
  std::int32_t printYResolution = kDefaultPrintQuality;
  std::int32_t firstPageNumber = 1;
  std::array<TextFont, 3> headerFonts;
  std::array<std::string, 3> headerTexts;
  std::int32_t headerSplit1 = 0;
  std::int32_t headerSplit2 = 0;
  std::int32_t headerSplitsSet = 1;
  std::int32_t headerMultiline = 1;
  std::array<TextFont, 3> footerFonts;
  std::array<std::string, 3> footerTexts;
  std::int32_t footerSplit1 = 0;
  std::int32_t footerSplit2 = 0;
  std::int32_t footerSplitsSet = 1;
  std::int32_t footerMultiline = 1;
  std::int32_t arrangeSpacingH = 30;
  std::int32_t arrangeSpacingV = 30;
  std::int32_t arrangeColumns = 3;
  std::int32_t arrangeRows = 4;
  std::int32_t autoArrange = 1;
  std::string windowTitle = "PrintPreview";
  std::int32_t modified = 0;
  std::int32_t fileVersion = 0;

  // ---- operations ----------------------------------------------------------
  // Every field back to its default, the default printer asked again, the
  // header and footer positions computed; two empty entries.
  void resetToDefaults();
  // Appends a placement to the entry at pageIndex (entry 0 when out of range);
  // returns its position in that entry.
  int addImage(const std::string& path, const std::string& comment, std::int32_t pixelWidth, std::int32_t pixelHeight,
               int pageIndex, std::int32_t plane, std::int32_t format);
  // One placement per page of the file; a file that cannot be loaded adds
  // nothing. Returns the number of placements added.
  int addImageFile(const std::string& path, int pageIndex);
  int insertPage(int index);
  void deletePage(int index);
  void deleteEmptyPages();
  void movePlacement(ImagePlacement* placement, int pageIndex);
  void removeFromProject(ImagePlacement* placement);
  int pageCount() const { return static_cast<int>(pages.size()) - 1; }
  int pageNumber(int index) const { return firstPageNumber + index - 1; }
  int lastPageNumber() const { return firstPageNumber + static_cast<int>(pages.size()) - 2; }
  int totalImages() const;
  void normalizeLayout();
  void setModified(bool flag) { modified = flag ? 1 : 0; }

  // The printer fields from the system's default printer (fixed defaults when
  // it cannot be asked); swaps the page for landscape.
  void queryDefaultPrinter();
  // After settings were read or changed: a printer that is not installed is
  // replaced by the default printer; then the layout is normalised.
  void checkPrinter();
  // Header and footer positions at the thirds of the content width, rounded
  // down to whole millimetres.
  void computeDefaultSplits();

  // Makes every placement's pageIndex its entry's position.
  void renumber();
  // Entry holding `placement`, or -1.
  int pageOf(const ImagePlacement* placement) const;
  // Appends an empty entry at the end.
  ProjectPage& appendPage();

 private:
  void resetFields();
  Environment* environment_;
};

}  // namespace tessaly
