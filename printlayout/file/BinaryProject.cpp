// The binary project file, versions 200 and 201.

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "printlayout/file/ArchiveString.h"
#include "printlayout/file/ProjectFile.h"

namespace tessaly {

namespace {

constexpr char kMagic200[4] = {'K', 'X', '2', '0'};
constexpr char kMagic201[4] = {'K', 'X', '2', '1'};

// Smallest placement record: two empty strings (one length byte each) and
// eight i32. A count of placements beyond what the rest of the file can hold
// this way cannot be genuine.
constexpr std::size_t kMinPlacementBytes = 2 + 8 * 4;
// Smallest entry: its image count.
constexpr std::size_t kMinEntryBytes = 4;

bool ReadClamped(ArchiveReader& in, std::int32_t& field, std::int32_t low, std::int32_t high) {
  std::int32_t v;
  if (!in.readI32(v)) return false;
  field = std::clamp(v, low, high);
  return true;
}

bool ReadAtLeast(ArchiveReader& in, std::int32_t& field, std::int32_t low) {
  return ReadClamped(in, field, low, std::numeric_limits<std::int32_t>::max());
}

bool ReadColour(ArchiveReader& in, Colour& field, Colour replacement) {
  Colour c;
  if (!in.readU32(c)) return false;
  field = c == kMissingColour ? replacement : c;
  return true;
}

bool ReadFont(ArchiveReader& in, TextFont& font) {
  font = TextFont{};
  if (!in.readString(font.face) || !in.readI32(font.size) || !in.readI32(font.bold) || !in.readI32(font.italic) ||
      !in.readU32(font.colour)) {
    return false;
  }
  if (font.size < kMinFontSize) font.size = kMinFontSize;
  if (font.colour == kMissingColour) font.colour = 0;
  if (font.face.empty()) font.face = "Arial";
  return true;
}

void WriteFont(ArchiveWriter& out, const TextFont& font, bool& ok) {
  ok &= out.writeString(font.face);
  out.writeI32(font.size);
  out.writeI32(font.bold);
  out.writeI32(font.italic);
  out.writeU32(font.colour);
}

// Items 2-26, each with its reading rule, straight into the project so that a
// file error leaves what was read so far.
bool ReadSettings(ArchiveReader& in, Project& p, int version) {
  if (!in.readString(p.name)) return false;
  if (!in.readU32(p.borderLines)) return false;
  if (!ReadAtLeast(in, p.borderWidth, 1)) return false;
  if (!ReadColour(in, p.borderColour, 0)) return false;
  if (!ReadClamped(in, p.borderSpaceH, 1, 50)) return false;
  if (!ReadClamped(in, p.borderSpaceV, 1, 50)) return false;
  if (!ReadClamped(in, p.shadowDx, -50, 50)) return false;
  if (!ReadClamped(in, p.shadowDy, -50, 50)) return false;
  if (!ReadColour(in, p.shadowColour, kDefaultShadowColour)) return false;
  if (!ReadFont(in, p.imagesFont)) return false;
  if (!in.readString(p.defaultComment)) return false;
  for (std::int32_t* margin : {&p.marginLeft, &p.marginTop, &p.marginRight, &p.marginBottom}) {
    if (!ReadClamped(in, *margin, 0, 1000)) return false;
  }
  if (!ReadClamped(in, p.headerDistance, 0, 1000)) return false;
  if (!ReadClamped(in, p.footerDistance, 0, 1000)) return false;
  if (!in.readString(p.printerName) || !in.readString(p.printerName2) || !in.readString(p.paperForm)) {
    return false;
  }
  // Version 200 had no paper size; such a file keeps the default.
  if (version >= kProjectVersion201 && !in.readU16(p.paperSize)) return false;
  if (!ReadAtLeast(in, p.pageWidth, 100)) return false;
  if (!ReadAtLeast(in, p.pageHeight, 100)) return false;
  if (!ReadClamped(in, p.orientation, 1, 2)) return false;
  if (!ReadAtLeast(in, p.printQuality, 0)) return false;
  if (!ReadAtLeast(in, p.printYResolution, 0)) return false;
  if (!in.readI32(p.firstPageNumber)) return false;
  std::uint32_t autoArrange;
  if (!in.readU32(autoArrange)) return false;
  p.autoArrange = static_cast<std::int32_t>(autoArrange);
  if (!in.readI32(p.arrangeColumns) || !in.readI32(p.arrangeRows)) return false;
  if (!ReadClamped(in, p.arrangeSpacingH, 5, 500)) return false;
  if (!ReadClamped(in, p.arrangeSpacingV, 5, 500)) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if (!in.readString(p.headerTexts[i]) || !ReadFont(in, p.headerFonts[i])) return false;
    if (!in.readString(p.footerTexts[i]) || !ReadFont(in, p.footerFonts[i])) return false;
  }
  if (!in.readI32(p.headerSplit1) || !in.readI32(p.headerSplit2) || !in.readI32(p.headerSplitsSet) ||
      !in.readI32(p.headerMultiline)) {
    return false;
  }
  if (!in.readI32(p.footerSplit1) || !in.readI32(p.footerSplit2) || !in.readI32(p.footerSplitsSet) ||
      !in.readI32(p.footerMultiline)) {
    return false;
  }
  return true;
}

// A placement is added to its page only when its whole record was read.
bool ReadPlacement(ArchiveReader& in, ImagePlacement& pl) {
  if (!in.readString(pl.path) || !in.readString(pl.comment)) return false;
  if (!in.readI32(pl.pixelWidth) || !in.readI32(pl.pixelHeight) || !in.readI32(pl.x) || !in.readI32(pl.y) ||
      !in.readI32(pl.width) || !in.readI32(pl.height) || !in.readI32(pl.plane) || !in.readI32(pl.format)) {
    return false;
  }
  pl.width = std::max(pl.width, 0);
  pl.height = std::max(pl.height, 0);
  pl.plane = std::max(pl.plane, 0);
  pl.format = std::max(pl.format, 0);
  pl.laidOut = 1;
  pl.updateThumbSize();
  return true;
}

// Items 27 and 28: the stored entries replace the project's pages.
vel::Expected<void> ReadEntries(ArchiveReader& in, Project& p) {
  std::uint32_t entryCount;
  if (!in.readU32(entryCount)) return vel::Fail("project entry count: " + in.failure());
  if (entryCount > in.remaining() / kMinEntryBytes) {
    return vel::Fail("project: entry count " + std::to_string(entryCount) + " does not fit in the " +
                     std::to_string(in.remaining()) + " bytes left");
  }
  p.pages.clear();
  for (std::uint32_t e = 0; e < entryCount; ++e) {
    ProjectPage& page = p.appendPage();
    const auto entryIndex = static_cast<std::int32_t>(p.pages.size() - 1);
    const auto entry = [e] { return "project entry " + std::to_string(e); };
    std::uint32_t imageCount;
    if (!in.readU32(imageCount)) return vel::Fail(entry() + ": " + in.failure());
    if (imageCount > in.remaining() / kMinPlacementBytes) {
      return vel::Fail(entry() + ": image count " + std::to_string(imageCount) + " does not fit in the " +
                       std::to_string(in.remaining()) + " bytes left");
    }
    for (std::uint32_t i = 0; i < imageCount; ++i) {
      auto pl = std::make_unique<ImagePlacement>();
      if (!ReadPlacement(in, *pl)) return vel::Fail(entry() + ", image " + std::to_string(i) + ": " + in.failure());
      pl->pageIndex = entryIndex;
      page.placements.push_back(std::move(pl));
    }
  }
  return {};
}

}  // namespace

int DetectBinaryMagic(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 4) return kProjectVersionUnknown;
  if (std::memcmp(data, kMagic201, 4) == 0) return kProjectVersion201;
  if (std::memcmp(data, kMagic200, 4) == 0) return kProjectVersion200;
  return kProjectVersionUnknown;
}

vel::Expected<void> ParseBinaryProject(Project& project, const std::uint8_t* data, std::size_t size,
                                       bool settingsOnly) {
  const int version = DetectBinaryMagic(data, size);
  if (version == kProjectVersionUnknown) return vel::Fail("project: no KX20 or KX21 magic");
  ArchiveReader in(data, size);
  in.skip(sizeof kMagic201);
  if (!ReadSettings(in, project, version)) return vel::Fail("project settings: " + in.failure());
  project.checkPrinter();
  if (settingsOnly) {
    project.environment().settings.shadowImagesCX = project.shadowDx;
    project.environment().settings.shadowImagesCY = project.shadowDy;
    project.setModified(false);
    return {};
  }
  auto entries = ReadEntries(in, project);
  // The page list never holds fewer than two entries, not even after a
  // truncated file: the rest of the program relies on it.
  while (project.pages.size() < 2) project.appendPage();
  if (!entries) return entries;
  project.setModified(false);
  return {};
}

bool ReadBinaryProject(Project& project, const std::uint8_t* data, std::size_t size, bool settingsOnly) {
  return ParseBinaryProject(project, data, size, settingsOnly).has_value();
}

bool WriteBinaryProject(const Project& p, ArchiveWriter& out) {
  bool ok = true;
  out.writeBytes(kMagic201, sizeof kMagic201);
  ok &= out.writeString(p.name);
  out.writeU32(p.borderLines);
  out.writeI32(p.borderWidth);
  out.writeU32(p.borderColour);
  out.writeI32(p.borderSpaceH);
  out.writeI32(p.borderSpaceV);
  out.writeI32(p.shadowDx);
  out.writeI32(p.shadowDy);
  out.writeU32(p.shadowColour);
  WriteFont(out, p.imagesFont, ok);
  ok &= out.writeString(p.defaultComment);
  out.writeI32(p.marginLeft);
  out.writeI32(p.marginTop);
  out.writeI32(p.marginRight);
  out.writeI32(p.marginBottom);
  out.writeI32(p.headerDistance);
  out.writeI32(p.footerDistance);
  ok &= out.writeString(p.printerName);
  ok &= out.writeString(p.printerName2);
  ok &= out.writeString(p.paperForm);
  out.writeU16(p.paperSize);
  out.writeI32(p.pageWidth);
  out.writeI32(p.pageHeight);
  out.writeI32(p.orientation);
  out.writeI32(p.printQuality);
  out.writeI32(p.printYResolution);
  out.writeI32(p.firstPageNumber);
  out.writeU32(p.autoArrange != 0 ? 1 : 0);
  out.writeI32(p.arrangeColumns);
  out.writeI32(p.arrangeRows);
  out.writeI32(p.arrangeSpacingH);
  out.writeI32(p.arrangeSpacingV);
  for (std::size_t i = 0; i < 3; ++i) {
    ok &= out.writeString(p.headerTexts[i]);
    WriteFont(out, p.headerFonts[i], ok);
    ok &= out.writeString(p.footerTexts[i]);
    WriteFont(out, p.footerFonts[i], ok);
  }
  out.writeI32(p.headerSplit1);
  out.writeI32(p.headerSplit2);
  out.writeI32(p.headerSplitsSet);
  out.writeI32(p.headerMultiline);
  out.writeI32(p.footerSplit1);
  out.writeI32(p.footerSplit2);
  out.writeI32(p.footerSplitsSet);
  out.writeI32(p.footerMultiline);
  out.writeU32(static_cast<std::uint32_t>(p.pages.size()));
  for (const auto& page : p.pages) {
    out.writeU32(static_cast<std::uint32_t>(page->placements.size()));
    for (const auto& pl : page->placements) {
      ok &= out.writeString(pl->path);
      ok &= out.writeString(pl->comment);
      for (std::int32_t v :
           {pl->pixelWidth, pl->pixelHeight, pl->x, pl->y, pl->width, pl->height, pl->plane, pl->format}) {
        out.writeI32(v);
      }
    }
  }
  return ok;
}

}  // namespace tessaly
