// JPEG decoding straight into a DIB section.
//
// The library's JPEG loader and the JPEG page reader both go through here: the decoder
// writes each scanline directly into the rows of one 24-bit DIB section, so a large photo
// is never held twice.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi/gdi.h"

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

// Parses the headers only. False when the data is not a JPEG stream libjpeg can decode
// (unknown component layout, empty or absurd dimensions).
bool ReadJpegHeader(const std::uint8_t* data, std::size_t size, JpegInfo* info);

// Decodes into a new 24-bit DIB section (B, G, R), bottom-up storage unless `topDown`.
// Gray pictures come out as equal B, G, R; CMYK and YCCK ones are converted to RGB
// (Adobe's inverted CMYK recognised by its APP14 marker). A stream that breaks off
// decodes partly; a stream libjpeg rejects gives null. `info` (optional) receives the
// header facts.
HBITMAP DecodeJpegToDib(const std::uint8_t* data, std::size_t size, bool topDown, JpegInfo* info = nullptr);

}  // namespace lorimer::formats
