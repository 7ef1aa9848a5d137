// The legacy text form of the project file (version 100), a profile file.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "printlayout/file/Colours.h"
#include "printlayout/file/Fields.h"
#include "printlayout/file/ProfileFile.h"
#include "printlayout/file/ProjectFile.h"

namespace tessaly {

namespace {

constexpr const char* kCommon = "Common";

// The fields of a list key: those given when there are at most `count` of
// them; none when the key is missing, empty or holds too many, so that every
// field keeps its default.
class ListKey {
 public:
  ListKey(const ProfileFile& profile, const char* section, const std::string& key, std::size_t count,
          std::size_t limit = ProfileFile::kValueLimit) {
    if (auto value = profile.value(section, key, limit)) {
      FieldList list = SplitFields(*value, ',', count);
      if (!list.tooMany(count)) fields_ = std::move(list.fields);
    }
  }

  bool has(std::size_t i) const { return i < fields_.size(); }
  std::string text(std::size_t i, const char* fallback) const { return has(i) ? fields_[i] : fallback; }
  std::int32_t number(std::size_t i, std::int32_t fallback) const {
    return has(i) ? ParseDecimal(fields_[i]) : fallback;
  }
  std::int32_t clamped(std::size_t i, std::int32_t fallback, std::int32_t low, std::int32_t high) const {
    return std::clamp(number(i, fallback), low, high);
  }
  std::int32_t atLeast(std::size_t i, std::int32_t fallback, std::int32_t low) const {
    return std::max(number(i, fallback), low);
  }
  Colour colour(std::size_t i, Colour fallback) const {
    if (!has(i)) return fallback;
    const Colour c = ParseColour(fields_[i]);
    return c == kMissingColour ? fallback : c;
  }

 private:
  std::vector<std::string> fields_;
};

TextFont ReadFontKey(const ProfileFile& profile, const std::string& key) {
  const ListKey k(profile, kCommon, key, 5);
  TextFont font;
  font.face = k.text(0, "Arial");
  if (font.face.empty()) font.face = "Arial";
  font.size = k.atLeast(1, 90, kMinFontSize);
  font.bold = k.number(2, 0);
  font.italic = k.number(3, 0);
  font.colour = k.colour(4, 0);
  return font;
}

void ReadCommon(Project& p, const ProfileFile& profile) {
  // Plain text keys: their values are taken whole, commas included, so a name
  // or a header text with a comma survives.
  p.name = profile.get(kCommon, "ProjectName", "Untitled");

  const ListKey borders(profile, kCommon, "Boders", 5);
  p.borderLines = borders.has(0) ? ParseHex(borders.text(0, "")) : 0;
  p.borderWidth = borders.atLeast(1, 1, 1);
  p.borderColour = borders.colour(2, 0);
  p.borderSpaceH = borders.clamped(3, 1, 1, 50);
  p.borderSpaceV = borders.clamped(4, 1, 1, 50);

  const ListKey shadow(profile, kCommon, "Shadow", 3);
  p.shadowDx = shadow.clamped(0, 0, -50, 50);
  p.shadowDy = shadow.clamped(1, 0, -50, 50);
  p.shadowColour = shadow.colour(2, kDefaultShadowColour);

  p.imagesFont = ReadFontKey(profile, "ImagesFont");

  const ListKey margins(profile, kCommon, "Margings", 6);
  p.marginLeft = margins.clamped(0, 200, 0, 1000);
  p.marginTop = margins.clamped(1, 200, 0, 1000);
  p.marginRight = margins.clamped(2, 200, 0, 1000);
  p.marginBottom = margins.clamped(3, 200, 0, 1000);
  p.headerDistance = margins.clamped(4, 100, 0, 1000);
  p.footerDistance = margins.clamped(5, 100, 0, 1000);

  // The legacy form has no paper size: paperSize keeps what it holds.
  const ListKey printer(profile, kCommon, "Printer", 8);
  p.printerName = printer.text(0, "");
  p.printerName2 = printer.text(1, "");
  p.paperForm = printer.text(2, "A4");
  p.pageWidth = printer.atLeast(3, kDefaultPageWidth, 100);
  p.pageHeight = printer.atLeast(4, kDefaultPageHeight, 100);
  p.orientation = printer.clamped(5, 1, 1, 2);
  p.printQuality = printer.atLeast(6, 0, 0);
  p.printYResolution = printer.atLeast(7, 0, 0);

  p.firstPageNumber = ParseDecimal(profile.get(kCommon, "FirstPageNumber", "1"));

  const ListKey arrange(profile, kCommon, "AutoArrange", 5);
  p.autoArrange = arrange.number(0, 0) != 0 ? 1 : 0;
  p.arrangeColumns = arrange.atLeast(1, 3, 1);
  p.arrangeRows = arrange.atLeast(2, 4, 1);
  p.arrangeSpacingH = arrange.clamped(3, 30, 5, 500);
  p.arrangeSpacingV = arrange.clamped(4, 30, 5, 500);

  for (std::size_t i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i + 1);
    p.headerTexts[i] = profile.get(kCommon, "Header" + n, "");
    p.headerFonts[i] = ReadFontKey(profile, "HeaderFont" + n);
    p.footerTexts[i] = profile.get(kCommon, "Footer" + n, "");
    p.footerFonts[i] = ReadFontKey(profile, "FooterFont" + n);
  }
}

std::unique_ptr<ImagePlacement> ReadImage(const ProfileFile& profile, const std::string& section, std::int64_t index) {
  const std::string prefix = "Image" + std::to_string(index);
  auto pl = std::make_unique<ImagePlacement>();
  pl->path = profile.get(section, prefix + "_Path", "", ProfileFile::kLongValueLimit);
  pl->comment = profile.get(section, prefix + "_Comment", "", ProfileFile::kLongValueLimit);
  const ListKey size(profile, section.c_str(), prefix + "_Size", 7);
  pl->pixelWidth = size.number(0, pl->pixelWidth);
  pl->pixelHeight = size.number(1, pl->pixelHeight);
  pl->x = size.number(2, pl->x);
  pl->y = size.number(3, pl->y);
  pl->width = size.atLeast(4, pl->width, 0);
  pl->height = size.atLeast(5, pl->height, 0);
  pl->plane = size.atLeast(6, pl->plane, 0);
  pl->laidOut = 1;
  pl->updateThumbSize();
  return pl;
}

// Sections Page0 ... Page<n>; they replace the project's pages.
//
// The counts come from the file and are not trusted: Pages is held to the
// number of bytes of the file (every page of a file the program wrote has a
// section of its own, far longer than one byte), and an entry's Images to the
// number of keys its section holds (every image written has at least its
// path key). So a count of two billion costs at most as much work and memory
// as the file is long, while every genuine file reads whole.
void ReadPages(Project& p, const ProfileFile& profile) {
  std::int64_t pages = ParseDecimal(profile.get(kCommon, "Pages", "0"));
  pages = std::min<std::int64_t>(pages, static_cast<std::int64_t>(std::min<std::size_t>(
                                            profile.byteSize(), std::numeric_limits<std::int32_t>::max())));
  p.pages.clear();
  for (std::int64_t entry = 0; entry <= pages; ++entry) {
    const std::string section = "Page" + std::to_string(entry);
    ProjectPage& page = p.appendPage();
    const auto entryIndex = static_cast<std::int32_t>(p.pages.size() - 1);
    std::int64_t images = ParseDecimal(profile.get(section, "Images", "0"));
    images = std::min<std::int64_t>(images, static_cast<std::int64_t>(profile.keyCount(section)));
    for (std::int64_t j = 0; j < images; ++j) {
      auto pl = ReadImage(profile, section, j);
      pl->pageIndex = entryIndex;
      page.placements.push_back(std::move(pl));
    }
  }
}

}  // namespace

void ReadLegacyProject(Project& project, const ProfileFile& profile, bool settingsOnly) {
  ReadCommon(project, profile);
  project.checkPrinter();
  if (settingsOnly) return;
  ReadPages(project, profile);
  while (project.pages.size() < 2) project.appendPage();
  project.setModified(false);
}

}  // namespace tessaly
