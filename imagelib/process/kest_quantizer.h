// The library's own colour quantiser: an octree reduced by weight, then
// serpentine Floyd-Steinberg error diffusion onto the palette it yields.
#pragma once

#include "platform/gdi/gdi.h"

namespace lorimer::process {

// Reduces a 24-bit (or 32-bit) bitmap to at most `colours` colours, always with
// error diffusion. The result is a new top-down DIB section of 1 bit for fewer
// than 3 colours, 4 bits up to 16, 8 bits up to 256 (each with its palette as
// colour table) and 24 bits above 256 (still at most 256 distinct colours).
// Asking for exactly 2 colours gives pure black and white. With `gray` every
// pixel is first turned into its luminance. Null for any other source depth,
// colours below 1, a picture beyond vel::gdi::kMaxBitmapPixels, or lack of memory.
HBITMAP KestReduceColors(HBITMAP source, int colours, bool gray);

}  // namespace lorimer::process
