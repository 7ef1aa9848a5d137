// Pictures loaded no larger than they will be shown.
//
// A program that shows many large photos small (a page of a print layout on the
// screen) wants each at about its shown size, and fast: a JPEG is decoded at 1/2,
// 1/4 or 1/8 of its size by the JPEG library's DCT scaling, which costs a
// fraction of a full decode, and only then scaled with the library's own scaler.
#pragma once

#include "lorimer/ImageInterface.h"

namespace lorimer {

// A new 24-bit DIB section, owned by the caller, of page `page` of the file fitted
// into maxWidth x maxHeight with its aspect kept. A raster picture is never
// enlarged: one that already fits comes back at its own size. A drawing (WMF, EMF,
// DXF, WPG, EPS) is drawn at the fitted size over white, enlarged or not.
// A JPEG is decoded at the largest reduction whose sides still reach the fitted
// size; every other file, and a JPEG the JPEG decoder refuses, is loaded whole.
// `width` and `height` (optional) receive the page's own pixel size. Null, with
// both outputs 0, when the file or the page does not load or a size is not above 0.
LORIMER_API HBITMAP LoadReducedHBITMAP(const char* path, int page, int maxWidth, int maxHeight, int* width,
                                       int* height);

}  // namespace lorimer
