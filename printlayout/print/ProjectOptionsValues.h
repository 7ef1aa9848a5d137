// The values of the project options sheet ("Project options"), read from and
// written to a project without any window, so the sheet's widgets stay thin.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/print/details.h"
#include "platform/print/devmode.h"
#include "printlayout/model/Project.h"

namespace tessaly {

constexpr const char* kOptionsSheetTitle = "Project options";
constexpr const char* kPageSetupTitle = "Page setup";
constexpr const char* kPageMarginsTitle = "Page margins";
constexpr const char* kHeaderFooterTitle = "Header and Footer";
constexpr const char* kImagesLookTitle = "Images Look";

constexpr const char* kPrinterMissingText =
    "There is no printer in your system printer, that was when current project was created. Please select "
    "another one for this project.";
constexpr const char* kNullMarginQuestion = "One or more margin(s) has a null value.\nDo you want leave them?";

// Where the page setup takes a printer's status, type and papers from; tests
// give their own.
using PrinterDetailsSource = std::function<bool(const std::string& name, vel::print::PrinterDetails& out)>;

// "Page setup": the printer and its paper. The paper size is kept as the
// printer reports it, portrait (width <= length as the driver gives it).
struct PageSetupValues {
  std::string printerName;
  std::string paperForm;
  std::uint16_t paperSize = 9;
  std::int32_t paperWidth = 2100;   // 0.1 mm, portrait
  std::int32_t paperLength = 2970;  // 0.1 mm, portrait
  std::int32_t printQuality = 75;
  std::int32_t printYResolution = 75;
  std::int32_t orientation = 1;  // 1 portrait, 2 landscape
  std::int32_t firstPageNumber = 1;
};

// "Page margins": six distances in 0.1 mm.
struct MarginValues {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0, header = 0, footer = 0;
};

// "Header and Footer".
struct HeaderFooterValues {
  std::array<std::string, 3> headerTexts, footerTexts;
  std::array<TextFont, 3> headerFonts, footerFonts;
  bool headerMultiline = true;
  bool footerMultiline = true;
};

// "Images Look"; lengths in 0.1 mm.
struct ImagesLookValues {
  std::uint32_t borderLines = 0;
  Colour borderColour = 0;
  Colour shadowColour = kDefaultShadowColour;
  std::int32_t borderSpaceH = 10, borderSpaceV = 10;
  std::int32_t shadowDx = 0, shadowDy = 0;
  std::int32_t borderWidth = 1;
  TextFont imagesFont;
  std::string defaultComment;
};

struct ProjectOptionsValues {
  PageSetupValues pageSetup;
  MarginValues margins;
  HeaderFooterValues headerFooter;
  ImagesLookValues imagesLook;
};

PageSetupValues ReadPageSetup(const Project& project);
MarginValues ReadMargins(const Project& project);
HeaderFooterValues ReadHeaderFooter(const Project& project);
ImagesLookValues ReadImagesLook(const Project& project);
ProjectOptionsValues ReadOptions(const Project& project);

// Each writes its page's fields; the page is stored exchanged for landscape.
void WritePageSetup(const PageSetupValues& values, Project& project);
void WriteMargins(const MarginValues& values, Project& project);
void WriteHeaderFooter(const HeaderFooterValues& values, Project& project);
// Spaces, offsets and width are kept inside the ranges the renderer relies on.
void WriteImagesLook(const ImagesLookValues& values, Project& project);

// Everything written back, then the printer check (which normalises the
// layout) and the modified flag, as the sheet's OK does.
void ApplyOptions(const ProjectOptionsValues& values, Project& project);

// One of the four page margins is 0: the sheet asks before taking it.
bool HasNullMargin(const MarginValues& values);

// A printer's own paper and resolution, as a newly chosen printer brings them.
// Fields the driver does not report stay as they are; the orientation is taken
// only when asked for.
void ApplyDevMode(const vel::print::DevMode& mode, bool takeOrientation, PageSetupValues& values);

// Choosing a paper by name: standard names set the size and the driver code
// too; other names only the form name. True when the name was a standard one.
bool ApplyPaperName(const std::string& name, PageSetupValues& values);

// The status line: "Default printer; " when it is the default, then "Ready" or
// "Busy or error".
std::string PrinterStatusText(const vel::print::PrinterDetails& details);
// "%d x %d dot(s) per inch", or "%d dot(s) per inch" when both are equal.
std::string ResolutionText(int x, int y);

// Numbers entered with decimals, stored scaled: `decimals` 2 turns centimetres
// into 0.1 mm ("2.3" is 230), 1 millimetres into 0.1 mm. Digits beyond the
// scale are cut off, toward zero. Blanks around, a sign and "." or "," as the
// separator are accepted; anything else (or an empty text) is false.
bool ParseScaled(const std::string& text, int decimals, std::int32_t& out);
// The stored value written back with the fewest decimals: 230 -> "2.3".
std::string FormatScaled(std::int32_t value, int decimals);

}  // namespace tessaly
