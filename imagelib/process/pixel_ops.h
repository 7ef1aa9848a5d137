// Pixel operations of the codec on 24-bit DIB sections: resampled copy, rotation,
// mirroring, 3x3 filters, inversion, brightness and contrast. The codec clones a page to
// 24 bits before it calls any of these, so anything else is refused (null or false),
// never touched. docs/pixel-operations.md lists the method codes and the kernels.
#pragma once

#include "platform/gdi/gdi.h"

namespace lorimer::process {

// Resample codes of CopyResample.
constexpr int kResampleNearest = 0;  // fast: one source pixel per destination pixel
constexpr int kResampleGood = 3;     // per axis: area average when shrinking, bilinear when enlarging

// A new 24-bit DIB section of width x height holding `src` resampled; any method other
// than kResampleNearest behaves as kResampleGood. Null on bad input or sizes.
HBITMAP CopyResample(HBITMAP src, int width, int height, int method);

// A new 24-bit DIB section holding `src` rotated clockwise by hundredthsOfDegree / 100
// degrees (negative turns counter-clockwise, so -9000 equals 27000). The result is the
// bounding box of the turned picture; areas it does not cover get `fill` (0x00BBGGRR).
// Multiples of 90 degrees are exact pixel moves; other angles sample bilinearly.
HBITMAP Rotate(HBITMAP src, int hundredthsOfDegree, COLORREF fill);

// In place: `first` non-zero flips top to bottom ("mirror vertically"), `second`
// non-zero flips left to right ("mirror horizontally").
bool Mirror(HBITMAP bmp, int first, int second);

// Filter numbers of Filter.
enum FilterKind {
  kFilterSharpen = 0,
  kFilterBlur = 1,
  kFilterEmboss = 2,
  kFilterAllEdges = 3,
  kFilterAllEdges2 = 4,
  kFilterVerticalEdges = 5,
  kFilterHorizontalEdges = 6,
  kFilterMedian = 7,
  kFilterLaplaceSharpen = 8,
};

// In place 3x3 filter; borders replicate the edge pixels. False for unknown numbers.
bool Filter(HBITMAP bmp, int filter);

// In place: every channel v becomes 255 - v.
bool Invert(HBITMAP bmp);

// In place: `level` (clamped to -255..255) added to every channel, results clamped.
bool Brightness(HBITMAP bmp, int level);

// In place: v' = 128 + (v - 128) * (100 + level) / 100, rounded and clamped, for the
// channels in channelMask (4 red, 2 green, 1 blue; -1 all). level is clamped to -100..100.
bool Contrast(HBITMAP bmp, int level, int channelMask);

}  // namespace lorimer::process
