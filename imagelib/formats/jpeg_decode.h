// JPEG decoding straight into a DIB section.
//
// The library's JPEG loader and the JPEG page reader both go through here: the decoder
// writes each scanline directly into the rows of one 24-bit DIB section, so a large photo
// is never held twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/base/expected.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/owned.h"

namespace lorimer::formats {

struct JpegInfo {
  int width = 0;
  int height = 0;
  int components = 0;  // 1 gray, 3 colour, 4 CMYK/YCCK
  int bitCount = 0;    // 8, 24 or 32: what the file holds per pixel
  int xDpi = 0;        // 0 when the file does not say
  int yDpi = 0;
  bool progressive = false;
};

// Parses the headers only. Fails when the data is not a JPEG stream libjpeg can decode
// (unknown component layout, empty or absurd dimensions), saying why.
vel::Expected<JpegInfo> ReadJpegInfo(std::span<const std::uint8_t> data);
// The same as true or false.
bool ReadJpegHeader(const std::uint8_t* data, std::size_t size, JpegInfo* info);

// Decodes into a new 24-bit DIB section (B, G, R), bottom-up storage unless `topDown`.
// Gray pictures come out as equal B, G, R; CMYK and YCCK ones are converted to RGB
// (Adobe's inverted CMYK recognised by its APP14 marker). A stream that breaks off
// decodes partly; a stream libjpeg rejects fails with libjpeg's message ("JPEG:
// Unsupported JPEG data precision 12"). `info` (optional) receives the header facts.
// `shrink` 2, 4 or 8 decodes at that fraction of the size (libjpeg's DCT scaling: each
// side becomes side / shrink rounded up) at a fraction of the cost; `info` still gives
// the file's own size. Any other value decodes at full size.
vel::Expected<vel::gdi::OwnedBitmap> DecodeJpeg(std::span<const std::uint8_t> data, bool topDown,
                                                JpegInfo* info = nullptr, int shrink = 1);
// The same, as a bitmap owned by the caller or null.
HBITMAP DecodeJpegToDib(const std::uint8_t* data, std::size_t size, bool topDown, JpegInfo* info = nullptr,
                        int shrink = 1);

// The largest shrink (1, 2, 4 or 8) at which a width x height picture still decodes to
// at least twice `targetWidth` x `targetHeight` on both sides, so that the resample to the
// target that follows still averages over two or more decoded pixels per side and its
// result looks like one made from the full picture.
int JpegShrinkFor(int width, int height, int targetWidth, int targetHeight);

}  // namespace lorimer::formats
