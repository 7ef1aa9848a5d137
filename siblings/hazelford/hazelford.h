// Hazelford: the picture library the suite calls for Targa output and for building
// palettes. Plain C entry points, so it can be loaded and bound by name.
//
// Error codes kept for GetLastPicLibError (per thread; a successful SaveTGA resets
// the code to kHzlNoError):
//   0  kHzlNoError        no failure
//   1  kHzlBadArgument    null path or block, or an empty path
//   2  kHzlBadDib         the packed DIB is malformed: too short, not "BM", header
//                         size, offsets, colour table or bits outside the block
//   3  kHzlUnsupported    a bit count other than 8 or 24, compression, planes != 1
//   4  kHzlTooLarge       width or height beyond Targa's 65535
//   5  kHzlCreateFailed   the temporary file next to the target could not be made
//   6  kHzlWriteFailed    writing or flushing the temporary file failed
//   7  kHzlRenameFailed   the finished file could not replace the target
#pragma once

#include "platform/base/memory.h"
#include "platform/gdi/gdi.h"

enum : int {
  kHzlNoError = 0,
  kHzlBadArgument = 1,
  kHzlBadDib = 2,
  kHzlUnsupported = 3,
  kHzlTooLarge = 4,
  kHzlCreateFailed = 5,
  kHzlWriteFailed = 6,
  kHzlRenameFailed = 7,
};

// Histogram cells for MedianCut and Popularity: 32 x 32 x 32 counts, one per colour
// reduced to five bits a channel, at index (r5 << 10) | (g5 << 5) | b5.
constexpr int kHzlHistogramCells = 32 * 32 * 32;

extern "C" {

// Writes the packed DIB (BITMAPFILEHEADER, BITMAPINFOHEADER, colour table, bits;
// bottom-up or top-down rows padded to four bytes) as a Targa file: 24 bits as
// uncompressed true colour (type 2), 8 bits as uncompressed colour-mapped (type 1)
// with 24-bit map entries; bottom-left origin. The file is written under a temporary
// name and renamed over `path`, so a failure leaves an existing file untouched.
// Non-zero on success. The block is only read.
int SaveTGA(const char* path, HGLOBAL packedDib);

// The code of the last failure on this thread (above); 0 when none.
int GetLastPicLibError();

// Heckbert's median cut over the histogram: boxes of cells are split at the median
// of their longest side until `colours` boxes exist or none can be split; each
// palette entry is its box's count-weighted mean colour. Fills palette[0..n) and
// returns n (at most `colours`, at most 256, at most the non-empty cells; 0 on bad
// arguments or an empty histogram).
int MedianCut(WORD* histogram, RGBQUAD* palette, int colours);

// The `colours` most frequent non-empty cells (ties to the lower index), each as
// its cell's colour. Returns how many entries were made.
// A cell stands for the colour whose channels are its five bits widened to eight
// as (v << 3) | (v >> 2), so 0 and 31 give exactly 0 and 255.
int Popularity(WORD* histogram, RGBQUAD* palette, int colours);

}  // extern "C"
