// The library's own scaler: bilinear when enlarging, box averaging when shrinking.
#pragma once

#include "platform/gdi/gdi.h"

namespace lorimer::process {

// A new top-down 24-bit DIB section of width x height made from `source`, which
// must be a 24-bit bitmap; null for any other depth, a size not above 0 or one
// beyond vel::gdi::kMaxBitmapPixels, or when memory (or the temporary file that
// holds large results) cannot be had. The source is left untouched. Safe to call
// from several threads at once; each thread keeps its own result buffer (and at
// most one mapped temporary file, whose name is gone from the folder at once)
// from call to call, grown as needed.
HBITMAP HarrowScale(HBITMAP source, int width, int height);

// Results of this many bytes (4 per pixel) and more are kept in a mapped
// temporary file rather than on the heap.
inline constexpr size_t kHarrowMappedBytes = 0x400000;

namespace detail {
// The inner loops come in two builds: AVX2, taken when the processor has it, and
// plain. Tests switch AVX2 off to check that both give the same pixels.
void AllowAvx2(bool allow);
// Whether calls made now run the AVX2 loops.
bool Avx2InUse();
}  // namespace detail

}  // namespace lorimer::process
