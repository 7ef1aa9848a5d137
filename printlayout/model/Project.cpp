#include "printlayout/model/Project.h"

#include <algorithm>

#include "lorimer/ImageInterface.h"
#include "printlayout/model/Arithmetic.h"

namespace tessaly {

void ImagePlacement::updateThumbSize() {
  const std::int64_t longest = std::max(pixelWidth, pixelHeight);
  if (longest <= 0) {
    // Nothing to scale from: keep the inspector's standard cell.
    thumbWidth = thumbHeight = 128;
    return;
  }
  thumbWidth = static_cast<std::int32_t>(static_cast<std::int64_t>(std::max(pixelWidth, 0)) * 128 / longest);
  thumbHeight = static_cast<std::int32_t>(static_cast<std::int64_t>(std::max(pixelHeight, 0)) * 128 / longest);
}

Project::Project(Environment& environment) : environment_(&environment) { resetToDefaults(); }

void Project::resetFields() {
  // Everything but the environment goes back to the member defaults.
  Environment* environment = environment_;
  pages.clear();
  name = "Untitled";
  path.clear();
  borderLines = 0;
  borderWidth = 1;
  borderColour = 0;
  borderSpaceH = borderSpaceV = 10;
  shadowDx = environment->settings.shadowImagesCX;
  shadowDy = environment->settings.shadowImagesCY;
  shadowColour = kDefaultShadowColour;
  imagesFont = TextFont{};
  defaultComment = "&[Image]";
  pageWidth = kDefaultPageWidth;
  pageHeight = kDefaultPageHeight;
  orientation = 1;
  marginLeft = marginTop = marginRight = marginBottom = 200;
  headerDistance = footerDistance = 100;
  printerName.clear();
  printerName2.clear();
  paperForm.clear();
  paperSize = kDefaultPaperSize;
  printQuality = printYResolution = kDefaultPrintQuality;
  firstPageNumber = 1;
  headerFonts.fill(TextFont{});
  footerFonts.fill(TextFont{});
  headerTexts.fill(std::string());
  footerTexts.fill(std::string());
  headerSplit1 = headerSplit2 = footerSplit1 = footerSplit2 = 0;
  headerSplitsSet = footerSplitsSet = 1;
  headerMultiline = footerMultiline = 1;
  arrangeSpacingH = arrangeSpacingV = 30;
  arrangeColumns = 3;
  arrangeRows = 4;
  autoArrange = 1;
  windowTitle = "PrintPreview";
  modified = 0;
  fileVersion = 0;
}

void Project::resetToDefaults() {
  resetFields();
  queryDefaultPrinter();
  computeDefaultSplits();
  appendPage();
  appendPage();
}

void Project::computeDefaultSplits() {
  const std::int32_t t = (pageWidth - marginLeft - marginRight) / 3;
  headerSplit1 = footerSplit1 = ((marginLeft + t) / 10) * 10;
  headerSplit2 = footerSplit2 = ((pageWidth - t - marginRight) / 10) * 10;
}

void Project::queryDefaultPrinter() {
  pageWidth = kDefaultPageWidth;
  pageHeight = kDefaultPageHeight;
  orientation = 1;
  paperSize = kDefaultPaperSize;
  printQuality = printYResolution = kDefaultPrintQuality;

  const std::string device = environment_->defaultPrinter();
  if (device.empty()) return;
  vel::print::DevMode mode;
  if (!environment_->printerDevMode(device, mode)) return;

  // A driver that reports nonsense sizes must not break the page invariants.
  pageHeight = (mode.fields & DM_PAPERLENGTH) && mode.paperLength >= 100 ? mode.paperLength : kDefaultPageHeight;
  pageWidth = (mode.fields & DM_PAPERWIDTH) && mode.paperWidth >= 100 ? mode.paperWidth : kDefaultPageWidth;
  printerName = printerName2 = mode.deviceName.empty() ? device : mode.deviceName;
  if (mode.fields & DM_FORMNAME) paperForm = mode.formName;
  if (mode.fields & DM_PAPERSIZE) paperSize = static_cast<std::uint16_t>(mode.paperSize);
  if (mode.fields & DM_PRINTQUALITY) printQuality = std::max(mode.printQuality, 0);
  if (mode.fields & DM_YRESOLUTION) printYResolution = std::max(mode.yResolution, 0);
  if (mode.fields & DM_ORIENTATION) orientation = mode.orientation == DMORIENT_PORTRAIT ? 1 : 2;
  if (orientation != 1) std::swap(pageWidth, pageHeight);
}

void Project::checkPrinter() {
  const std::vector<std::string> installed = environment_->installedPrinters();
  if (std::find(installed.begin(), installed.end(), printerName) == installed.end()) queryDefaultPrinter();
  normalizeLayout();
}

void Project::normalizeLayout() {
  if (pageWidth - marginLeft - marginRight < 0) {
    const std::int32_t s = 2 * (marginLeft + marginRight);
    if (s > 0) {
      marginLeft = MulDiv(marginLeft, pageWidth, s);
      marginRight = MulDiv(marginRight, pageWidth, s);
    }
  }
  const std::int32_t t = (pageWidth - marginLeft - marginRight) / 3;
  // Positions that were never set, or no longer leave each cell 10 mm, go back
  // to the thirds of the content width.
  // Compared in 64 bits: stored positions are taken as they are, any value at all.
  auto fixSplits = [&](std::int32_t set, std::int32_t& split1, std::int32_t& split2) {
    const std::int64_t s1 = split1, s2 = split2;
    const bool keep = set && s1 >= std::int64_t{marginLeft} + 100 &&
                      s2 <= std::int64_t{pageWidth} - marginRight - 100 && s1 <= s2 - 100;
    if (!keep) {
      split1 = marginLeft + t;
      split2 = marginLeft + 2 * t;
    }
  };
  fixSplits(headerSplitsSet, headerSplit1, headerSplit2);
  fixSplits(footerSplitsSet, footerSplit1, footerSplit2);
  headerSplitsSet = footerSplitsSet = 1;
  if (pageHeight - marginTop - marginBottom < 0) {
    const std::int32_t s = 2 * (marginTop + marginBottom);
    if (s > 0) {
      marginTop = MulDiv(marginTop, pageHeight, s);
      marginBottom = MulDiv(marginBottom, pageHeight, s);
    }
  }
}

ProjectPage& Project::appendPage() {
  pages.push_back(std::make_unique<ProjectPage>());
  return *pages.back();
}

void Project::renumber() {
  for (size_t i = 0; i < pages.size(); ++i)
    for (auto& placement : pages[i]->placements) placement->pageIndex = static_cast<std::int32_t>(i);
}

int Project::pageOf(const ImagePlacement* placement) const {
  for (size_t i = 0; i < pages.size(); ++i)
    for (const auto& p : pages[i]->placements)
      if (p.get() == placement) return static_cast<int>(i);
  return -1;
}

int Project::addImage(const std::string& imagePath, const std::string& comment, std::int32_t pixelWidth,
                      std::int32_t pixelHeight, int pageIndex, std::int32_t plane, std::int32_t format) {
  if (pageIndex < 0 || pageIndex >= static_cast<int>(pages.size())) pageIndex = 0;
  auto placement = std::make_unique<ImagePlacement>();
  placement->path = imagePath;
  placement->comment = comment;
  placement->pixelWidth = pixelWidth;
  placement->pixelHeight = pixelHeight;
  placement->width = placement->height = 0;
  placement->x = placement->y = -1;
  placement->plane = std::max(plane, 0);
  placement->format = std::max(format, 0);
  placement->pageIndex = pageIndex;
  placement->updateThumbSize();
  auto& list = pages[static_cast<size_t>(pageIndex)]->placements;
  list.push_back(std::move(placement));
  setModified(true);
  return static_cast<int>(list.size()) - 1;
}

int Project::addImageFile(const std::string& imagePath, int pageIndex) {
  CImageInterface image;
  if (!image.Load(imagePath.c_str(), 0)) return 0;
  const int planes = image.GetPageCount();
  const std::int32_t format = static_cast<std::int32_t>(image.GetFormat());
  for (int p = 0; p < planes; ++p)
    addImage(imagePath, defaultComment, image.GetWidth(p), image.GetHeight(p), pageIndex, p, format);
  image.CloseHandle();
  return std::max(planes, 0);
}

int Project::insertPage(int index) {
  const int count = static_cast<int>(pages.size());
  int used = count;
  if (index > 0 && index < count) {
    pages.insert(pages.begin() + index, std::make_unique<ProjectPage>());
    used = index;
  } else {
    appendPage();
  }
  renumber();
  setModified(true);
  return used;
}

void Project::deletePage(int index) {
  if (index < 1 || index >= static_cast<int>(pages.size())) return;
  auto& area = pages[0]->placements;
  for (auto& placement : pages[static_cast<size_t>(index)]->placements) area.push_back(std::move(placement));
  pages.erase(pages.begin() + index);
  // The not-arranged area alone is not a project: keep one printable page.
  if (pages.size() < 2) appendPage();
  renumber();
  setModified(true);
}

void Project::deleteEmptyPages() {
  const size_t before = pages.size();
  pages.erase(std::remove_if(pages.begin() + 1, pages.end(), [](const auto& page) { return page->placements.empty(); }),
              pages.end());
  if (pages.size() != before) setModified(true);
  if (pages.size() < 2) appendPage();
  renumber();
}

void Project::movePlacement(ImagePlacement* placement, int pageIndex) {
  const int from = pageOf(placement);
  if (from < 0 || pageIndex < 0 || pageIndex >= static_cast<int>(pages.size()) || from == pageIndex) return;
  auto& source = pages[static_cast<size_t>(from)]->placements;
  auto it = std::find_if(source.begin(), source.end(), [&](const auto& p) { return p.get() == placement; });
  std::unique_ptr<ImagePlacement> owned = std::move(*it);
  source.erase(it);
  owned->pageIndex = pageIndex;
  pages[static_cast<size_t>(pageIndex)]->placements.push_back(std::move(owned));
  setModified(true);
}

void Project::removeFromProject(ImagePlacement* placement) {
  const int from = pageOf(placement);
  if (from < 0) return;
  auto& list = pages[static_cast<size_t>(from)]->placements;
  list.erase(std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == placement; }));
  setModified(true);
}

int Project::totalImages() const {
  int total = 0;
  for (const auto& page : pages) total += static_cast<int>(page->placements.size());
  return total;
}

}  // namespace tessaly
