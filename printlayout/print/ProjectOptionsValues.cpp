// Field-to-project logic of the project options sheet.
#include "printlayout/print/ProjectOptionsValues.h"

#include <QPageSize>
#include <QSizeF>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tessaly {
namespace {

constexpr const char* kDefaultPrinterPrefix = "Default printer; ";
constexpr const char* kReadyText = "Ready";
constexpr const char* kBusyText = "Busy or error";
constexpr const char* kResolutionXYFormat = "%d x %d dot(s) per inch";
constexpr const char* kResolutionFormat = "%d dot(s) per inch";

// The renderer's ranges for the image look; the project files clamp the same way.
constexpr std::int32_t kMinBorderSpace = 1, kMaxBorderSpace = 50;
constexpr std::int32_t kMaxShadowOffset = 50;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

PageSetupValues ReadPageSetup(const Project& project) {
  PageSetupValues v;
  v.printerName = project.printerName;
  v.paperForm = project.paperForm;
  v.paperSize = project.paperSize;
  v.orientation = project.orientation == 2 ? 2 : 1;
  // The project keeps the page as it lies; the paper is described upright.
  v.paperWidth = v.orientation == 2 ? project.pageHeight : project.pageWidth;
  v.paperLength = v.orientation == 2 ? project.pageWidth : project.pageHeight;
  v.printQuality = project.printQuality;
  v.printYResolution = project.printYResolution;
  v.firstPageNumber = project.firstPageNumber;
  return v;
}

MarginValues ReadMargins(const Project& project) {
  return {project.marginLeft,   project.marginTop,      project.marginRight,
          project.marginBottom, project.headerDistance, project.footerDistance};
}

HeaderFooterValues ReadHeaderFooter(const Project& project) {
  HeaderFooterValues v;
  v.headerTexts = project.headerTexts;
  v.footerTexts = project.footerTexts;
  v.headerFonts = project.headerFonts;
  v.footerFonts = project.footerFonts;
  v.headerMultiline = project.headerMultiline != 0;
  v.footerMultiline = project.footerMultiline != 0;
  return v;
}

ImagesLookValues ReadImagesLook(const Project& project) {
  ImagesLookValues v;
  v.borderLines = project.borderLines;
  v.borderColour = project.borderColour;
  v.shadowColour = project.shadowColour;
  v.borderSpaceH = project.borderSpaceH;
  v.borderSpaceV = project.borderSpaceV;
  v.shadowDx = project.shadowDx;
  v.shadowDy = project.shadowDy;
  v.borderWidth = project.borderWidth;
  v.imagesFont = project.imagesFont;
  v.defaultComment = project.defaultComment;
  return v;
}

ProjectOptionsValues ReadOptions(const Project& project) {
  return {ReadPageSetup(project), ReadMargins(project), ReadHeaderFooter(project), ReadImagesLook(project)};
}

void WritePageSetup(const PageSetupValues& v, Project& project) {
  project.printerName = v.printerName;
  project.printerName2 = v.printerName;
  project.paperForm = v.paperForm;
  project.paperSize = v.paperSize;
  project.printQuality = std::max(v.printQuality, 0);
  project.printYResolution = std::max(v.printYResolution, 0);
  project.firstPageNumber = v.firstPageNumber;
  project.orientation = v.orientation == 2 ? 2 : 1;
  const std::int32_t width = std::max(v.paperWidth, 100);
  const std::int32_t length = std::max(v.paperLength, 100);
  project.pageWidth = project.orientation == 2 ? length : width;
  project.pageHeight = project.orientation == 2 ? width : length;
}

void WriteMargins(const MarginValues& v, Project& project) {
  auto clamp = [](std::int32_t d) { return std::clamp<std::int32_t>(d, 0, 1000); };
  project.marginLeft = clamp(v.left);
  project.marginTop = clamp(v.top);
  project.marginRight = clamp(v.right);
  project.marginBottom = clamp(v.bottom);
  project.headerDistance = clamp(v.header);
  project.footerDistance = clamp(v.footer);
}

void WriteHeaderFooter(const HeaderFooterValues& v, Project& project) {
  project.headerTexts = v.headerTexts;
  project.footerTexts = v.footerTexts;
  project.headerFonts = v.headerFonts;
  project.footerFonts = v.footerFonts;
  project.headerMultiline = v.headerMultiline ? 1 : 0;
  project.footerMultiline = v.footerMultiline ? 1 : 0;
}

void WriteImagesLook(const ImagesLookValues& v, Project& project) {
  project.borderLines = v.borderLines;
  project.borderColour = v.borderColour;
  project.shadowColour = v.shadowColour;
  project.borderSpaceH = std::clamp(v.borderSpaceH, kMinBorderSpace, kMaxBorderSpace);
  project.borderSpaceV = std::clamp(v.borderSpaceV, kMinBorderSpace, kMaxBorderSpace);
  project.shadowDx = std::clamp(v.shadowDx, -kMaxShadowOffset, kMaxShadowOffset);
  project.shadowDy = std::clamp(v.shadowDy, -kMaxShadowOffset, kMaxShadowOffset);
  project.borderWidth = std::max(v.borderWidth, 1);
  project.imagesFont = v.imagesFont;
  project.defaultComment = v.defaultComment;
}

void ApplyOptions(const ProjectOptionsValues& values, Project& project) {
  WritePageSetup(values.pageSetup, project);
  WriteMargins(values.margins, project);
  WriteHeaderFooter(values.headerFooter, project);
  WriteImagesLook(values.imagesLook, project);
  project.checkPrinter();
  project.setModified(true);
}

bool HasNullMargin(const MarginValues& v) { return v.left == 0 || v.top == 0 || v.right == 0 || v.bottom == 0; }

void ApplyDevMode(const vel::print::DevMode& mode, bool takeOrientation, PageSetupValues& v) {
  if ((mode.fields & DM_PAPERWIDTH) && mode.paperWidth >= 100) v.paperWidth = mode.paperWidth;
  if ((mode.fields & DM_PAPERLENGTH) && mode.paperLength >= 100) v.paperLength = mode.paperLength;
  if (mode.fields & DM_PAPERSIZE) v.paperSize = static_cast<std::uint16_t>(mode.paperSize);
  if (mode.fields & DM_FORMNAME) v.paperForm = mode.formName;
  if (mode.fields & DM_PRINTQUALITY) v.printQuality = std::max(mode.printQuality, 0);
  if (mode.fields & DM_YRESOLUTION) v.printYResolution = std::max(mode.yResolution, 0);
  if (takeOrientation && (mode.fields & DM_ORIENTATION)) v.orientation = mode.orientation == DMORIENT_LANDSCAPE ? 2 : 1;
}

bool ApplyPaperName(const std::string& name, PageSetupValues& v) {
  v.paperForm = name;
  const QString wanted = QString::fromStdString(name).trimmed();
  if (wanted.isEmpty()) return false;
  for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
    const auto pageId = static_cast<QPageSize::PageSizeId>(id);
    if (pageId == QPageSize::Custom) continue;
    if (QPageSize::key(pageId).compare(wanted, Qt::CaseInsensitive) != 0 &&
        QPageSize::name(pageId).compare(wanted, Qt::CaseInsensitive) != 0)
      continue;
    const QSizeF mm = QPageSize::size(pageId, QPageSize::Millimeter);
    v.paperWidth = static_cast<std::int32_t>(std::lround(std::min(mm.width(), mm.height()) * 10.0));
    v.paperLength = static_cast<std::int32_t>(std::lround(std::max(mm.width(), mm.height()) * 10.0));
    const int code = QPageSize::windowsId(pageId);
    v.paperSize = static_cast<std::uint16_t>(code > 0 ? code : DMPAPER_USER);
    return true;
  }
  return false;
}

std::string PrinterStatusText(const vel::print::PrinterDetails& details) {
  std::string text = details.isDefault ? kDefaultPrinterPrefix : "";
  text += details.status == 0 ? kReadyText : kBusyText;
  return text;
}

std::string ResolutionText(int x, int y) {
  char buf[64];
  if (x == y)
    std::snprintf(buf, sizeof buf, kResolutionFormat, x);
  else
    std::snprintf(buf, sizeof buf, kResolutionXYFormat, x, y);
  return buf;
}

bool ParseScaled(const std::string& text, int decimals, std::int32_t& out) {
  size_t i = 0, n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  while (n > i && IsBlank(text[n - 1])) --n;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Whole units and the fraction are read as digits, so "2.3" is exactly 230
  // and never 229.99999.
  long long value = 0;
  int digits = 0, fractionDigits = 0;
  bool separator = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (c == '.' || c == ',') {
      if (separator) return false;
      separator = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    ++digits;
    if (separator) {
      if (fractionDigits == decimals) continue;  // cut off, not rounded
      ++fractionDigits;
    }
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  if (digits == 0) return false;
  for (; fractionDigits < decimals; ++fractionDigits) {
    value *= 10;
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  out = static_cast<std::int32_t>(negative ? -value : value);
  return true;
}

std::string FormatScaled(std::int32_t value, int decimals) {
  long long scale = 1;
  for (int d = 0; d < decimals; ++d) scale *= 10;
  const long long v = value;
  const long long magnitude = v < 0 ? -v : v;
  std::string text = (v < 0 ? "-" : "") + std::to_string(magnitude / scale);
  std::string fraction = std::to_string(magnitude % scale + scale).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return text;
}

}  // namespace tessaly
