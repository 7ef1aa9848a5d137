#include "printlayout/macros/Macros.h"

#include <cstdio>

#include "lorimer/ImageInterface.h"

namespace tessaly {

namespace {

constexpr const char* kFormatNames[] = {"Unknown", "BMP", "PCX", "DCX", "TIF", "DXF", "GIF", "EPS", "FPX",
                                        "WMF",     "TGA", "IMG", "JPG", "WPG", "PCD", "PNG", "FMF", "EMF"};
constexpr int kFormatCount = static_cast<int>(sizeof(kFormatNames) / sizeof(kFormatNames[0]));
static_assert(kFormatCount == FORMAT_EMF + 1, "one name for each FORMAT up to EMF");

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

// The file name of an image path: after the last separator, else the whole
// path. Projects made on Windows hold backslashes, so both separators count.
std::string BareName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

const char* FormatName(int format) {
  return format >= 0 && format < kFormatCount ? kFormatNames[format] : kFormatNames[FORMAT_UNKNOWN];
}

std::string MacroDate(const std::tm& when) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02d/%02d/%02d", (when.tm_mon + 1) % 100, when.tm_mday % 100,
                ((when.tm_year % 100) + 100) % 100);
  return text;
}

std::string MacroTime(const std::tm& when) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d", when.tm_hour % 100, when.tm_min % 100, when.tm_sec % 100);
  return text;
}

std::string macroValue(const Project& project, const std::string& name, const ProjectPage* page,
                       ImagePlacement* image) {
  if (name == "Page") {
    if (page) {
      for (size_t i = 0; i < project.pages.size(); ++i)
        if (project.pages[i].get() == page) return std::to_string(project.firstPageNumber + static_cast<int>(i) - 1);
      return {};
    }
    if (image) return std::to_string(project.firstPageNumber + image->pageIndex - 1);
    return {};
  }
  if (name == "Pages") return std::to_string(project.lastPageNumber());
  if (name == "Date") return MacroDate(LocalNow());
  if (name == "Time") return MacroTime(LocalNow());
  if (name == "Project") return project.name;
  if (name == "Image" || name == "Size" || name == "Width" || name == "Height" || name == "Type" || name == "Plane") {
    if (!image) return {};
    if (name == "Image") return BareName(image->path);
    if (name == "Size") return std::to_string(image->pixelWidth) + "x" + std::to_string(image->pixelHeight);
    if (name == "Width") return std::to_string(image->pixelWidth);
    if (name == "Height") return std::to_string(image->pixelHeight);
    if (name == "Plane") return std::to_string(static_cast<long long>(image->plane) + 1);
    if (image->format < 0 || image->format >= kFormatCount) image->format = FORMAT_UNKNOWN;
    return FormatName(image->format);
  }
  // Not a macro we know: the name stands for itself.
  return name;
}

std::string expandMacros(const Project& project, const std::string& text, const ProjectPage* page,
                         ImagePlacement* image) {
  const size_t n = text.size();
  std::string out;
  size_t start = 0;
  size_t p = text.find("&[");
  while (p != std::string::npos) {
    if (p > start) out.append(text, start, p - start);
    start = p;
    if (p + 2 >= n) break;  // "&[" ends the text
    const size_t close = text.find(']', p + 2);
    if (close == std::string::npos) break;
    out += macroValue(project, text.substr(p + 2, close - p - 2), page, image);
    start = close + 1;
    p = text.find("&[", start);
  }
  if (start < n) out.append(text, start, std::string::npos);
  return out;
}

}  // namespace tessaly
