// Placing and sizing image boxes: the grid arrangement, alignment, even
// distribution, same size, fit to content, synchronised sizes and the shadow
// presets. Coordinates are 0.1 mm from the paper's top-left corner.
// Alignment and distribution refer to the paper edges; the grid uses the margins.
#pragma once

#include <cstdint>
#include <vector>

#include "printlayout/model/Project.h"

namespace tessaly {

using Selection = std::vector<ImagePlacement*>;

// ---- grid arrangement -------------------------------------------------------
enum ArrangeMode : int {
  kArrangeGivenPages = 0,   // images that do not fit go to the not-arranged area
  kArrangeInsertPages = 1,  // further pages are used or inserted for the overflow
  kArrangeAllPages = 2,     // every image again from page 1; empty pages deleted
};

// Cell size of the grid: (content extent - gaps) / count, truncated.
std::int32_t ArrangeCellWidth(const Project& project, int columns, std::int32_t spacingH);
std::int32_t ArrangeCellHeight(const Project& project, int rows, std::int32_t spacingV);

void arrange(Project& project, int fromPage, int toPage, int columns, int rows, std::int32_t spacingH,
             std::int32_t spacingV, int mode);

// The auto-arrange rule, run by the window after every change that refreshes
// the project views (images added or removed, pages inserted, empty pages
// deleted, options applied, a shadow preset chosen, the mode switched on):
// all pages in mode 2 with the project's grid. Does nothing when the mode is off.
void applyAutoArrange(Project& project);
// At start-up: pages 1 to 1 in mode 2, unless the mode is off or the program
// only sets up a page.
void applyStartupArrange(Project& project, bool pageSetupMode);

// What OK of the "Arrange" dialog does with its fields.
struct ArrangeDialogFields {
  int fromPage = 1;
  int toPage = 1;
  bool allPages = false;
  bool insertPages = false;
  int columns = 3;     // spin 1 ... 15
  int rows = 4;        // spin 1 ... 15
  int spacingHmm = 3;  // spin 1 ... 50 mm
  int spacingVmm = 3;  // spin 1 ... 50 mm
};
ArrangeDialogFields ArrangeDialogDefaults(const Project& project);
void applyArrangeDialog(Project& project, const ArrangeDialogFields& fields);

// ---- alignment ----------------------------------------------------------------
constexpr std::uint32_t kAlignLeft = 0x01;
constexpr std::uint32_t kAlignHCenter = 0x02;
constexpr std::uint32_t kAlignRight = 0x04;
constexpr std::uint32_t kAlignTop = 0x10;
constexpr std::uint32_t kAlignVCenter = 0x20;
constexpr std::uint32_t kAlignBottom = 0x40;
// References: 0 the selection's first image, 1 the page edge, 2 the page centre.
constexpr std::uint32_t kAlignToImage = 0;
constexpr std::uint32_t kAlignToPageEdge = 1;
constexpr std::uint32_t kAlignToPageCenter = 2;
constexpr std::uint32_t AlignHorizontalReference(std::uint32_t ref) { return (ref & 3u) << 8; }
constexpr std::uint32_t AlignVerticalReference(std::uint32_t ref) { return (ref & 3u) << 12; }

void align(Project& project, const Selection& selection, std::uint32_t flags);

// The "Align" page: one of Left/Center/Right, one of Top/Center/Bottom (0 for
// none) and "Align to" "Page edge" or "Page center" (neither: the selection).
struct AlignDialogFields {
  std::uint32_t horizontal = 0;  // kAlignLeft, kAlignHCenter, kAlignRight or 0
  std::uint32_t vertical = 0;    // kAlignTop, kAlignVCenter, kAlignBottom or 0
  bool pageEdge = false;
  bool pageCenter = false;
};
std::uint32_t AlignDialogFlags(const AlignDialogFields& fields);

// ---- distribution ---------------------------------------------------------------
constexpr std::uint32_t kDistributeLeft = 0x1u << 16;
constexpr std::uint32_t kDistributeHCenter = 0x2u << 16;
constexpr std::uint32_t kDistributeHSpacing = 0x4u << 16;
constexpr std::uint32_t kDistributeRight = 0x8u << 16;
constexpr std::uint32_t kDistributeTop = 0x10u << 16;
constexpr std::uint32_t kDistributeVCenter = 0x20u << 16;
constexpr std::uint32_t kDistributeVSpacing = 0x40u << 16;
constexpr std::uint32_t kDistributeBottom = 0x80u << 16;
constexpr std::uint32_t kDistributePageExtent = 0x1u << 24;
// "Space Every" "Across" and "Down": equal spacing across the selection extent.
constexpr std::uint32_t kSpaceAcross = kDistributeHSpacing;
constexpr std::uint32_t kSpaceDown = kDistributeVSpacing;

void distribute(Project& project, const Selection& selection, std::uint32_t flags);

struct DistributeDialogFields {
  std::uint32_t horizontal = 0;  // one of kDistributeLeft/HCenter/HSpacing/Right or 0
  std::uint32_t vertical = 0;    // one of kDistributeTop/VCenter/VSpacing/Bottom or 0
  bool pageExtent = false;       // "Page Extent" rather than "Selection Extent"
};
std::uint32_t DistributeDialogFlags(const DistributeDialogFields& fields);

// ---- sizes --------------------------------------------------------------------------
// The last image of the selection is the reference.
void makeSameSize(Project& project, const Selection& selection, bool width, bool height);
void sizeToContent(Project& project, const Selection& selection);

// "Multiple Size": bits 4-7 the width, bits 0-3 the height, bit 8 the margins.
constexpr std::uint32_t kSyncWidthNarrowest = 0x10;
constexpr std::uint32_t kSyncWidthOriginal = 0x20;
constexpr std::uint32_t kSyncWidthSame = 0x40;
constexpr std::uint32_t kSyncWidthWidest = 0x80;
constexpr std::uint32_t kSyncHeightLowest = 0x01;
constexpr std::uint32_t kSyncHeightOriginal = 0x02;
constexpr std::uint32_t kSyncHeightSame = 0x04;
constexpr std::uint32_t kSyncHeightHighest = 0x08;
constexpr std::uint32_t kSyncUsePageMargins = 0x100;

void synchronizeSize(Project& project, const Selection& selection, std::uint32_t flags);

// ---- shadow ---------------------------------------------------------------------------
struct ShadowPreset {
  const char* menuText;
  std::int32_t offset;  // both offsets, 0.1 mm
};
constexpr ShadowPreset kShadowPresets[] = {
    {"None Shadow", 0}, {"0.5 mm", 5}, {"1.0 mm", 10}, {"1.5 mm", 15}, {"2.0 mm", 20},
};
constexpr const char* kShadowOtherMenuText = "Other...";

// Sets both offsets and makes them the stored default for new projects.
void setShadow(Project& project, std::int32_t dx, std::int32_t dy);
// The preset whose offsets equal the project's, or -1 (then nothing is checked).
int CheckedShadowPreset(const Project& project);

}  // namespace tessaly
