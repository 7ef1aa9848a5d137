// AutoCAD drawings in ASCII DXF, handed on as enhanced metafiles.
#pragma once

#include <cstddef>

#include "imagelib/formats/wpg.h"

namespace lorimer::formats {

// True when the text starts like an ASCII DXF: group code and value lines (LF or
// CR LF) with a "0" / "SECTION" pair among the first few.
bool IsDxf(const BYTE* data, size_t size);
// False (and `out` untouched) when the text is not a readable drawing or has
// nothing drawable. Drawing units are millimetres unless $INSUNITS names another
// unit; the frame is the drawing at that size with its longest side held between
// 5 mm and 1 m, and at least 5 mm across the other way (a point, a straight line).
// y points up in the drawing and is flipped by the metafile's window.
bool ReadDxf(const BYTE* data, size_t size, VectorDrawing& out);
// The same drawing, or why there is none ("DXF: line 7 holds no group code").
vel::Expected<VectorDrawing> DecodeDxf(const BYTE* data, size_t size);

}  // namespace lorimer::formats
