// Pieces the page writers share: reading a page's palette and its packed indexes.
#pragma once

#include <cstdint>

#include "platform/gdi/gdi.h"

namespace lorimer::formats {

// True when entry i of the page's colour table is gray level i of a `bits`-deep ramp
// (black to white in equal steps): such a page can be stored as gray levels.
bool IsGrayRamp(const vel::gdi::BitmapView& view, int bits);

// The colour index of pixel x in a row packed MSB first at 1, 4 or 8 bits a pixel.
inline std::uint8_t PixelIndex(const BYTE* row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0f;
    default: return row[x];
  }
}

}  // namespace lorimer::formats
