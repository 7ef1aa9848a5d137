// Marrow's pieces that the tests reach without running pstoedit.
#pragma once

#include <optional>
#include <vector>

#include "platform/gdi/metafile.h"

namespace marrow {

// An EPS bounding box in PostScript points (y up).
struct BoundingBox {
  double llx = 0, lly = 0, urx = 0, ury = 0;
};

// pstoedit's EMF (page in twips, y down from the top of a letter page) to the whole
// placeable WMF file: box = the bounding box in twips when it overlaps what was
// drawn, else the drawn extent; inch 1440. Nullopt for an EMF that is invalid,
// draws nothing, or whose box leaves 16-bit coordinates.
std::optional<std::vector<BYTE>> EmfToPlaceableWmf(const std::vector<BYTE>& emf,
                                                   const std::optional<BoundingBox>& bbox);

}  // namespace marrow
