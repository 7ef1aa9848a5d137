// Windows bitmap files: header parsing shared by the codec's reader and CDib.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi/gdi.h"

namespace lorimer::formats {

struct BmpLayout {
  BITMAPINFO256 info{};      // normalised to a 40-byte header (+ masks or colour table)
  size_t bitsOffset = 0;     // where the pixel data starts in the file
  size_t bitsSize = 0;       // bytes of pixel data present in the file
};

// Parses a BMP file held in memory. Accepts the OS/2 12- and 64-byte headers and the
// 40/52/56/108/124-byte Windows headers; false for anything malformed.
bool ParseBmp(const std::uint8_t* data, std::size_t size, BmpLayout* layout);

// Converts an OS/2 1.x core header (12 bytes, RGB triples) that starts `in` to the
// 40-byte form with RGBQUAD colours in `out`. False when `in` holds no core header.
bool ConvertCoreHeader(const std::uint8_t* in, std::size_t size, BITMAPINFO256* out, std::size_t* consumed);

}  // namespace lorimer::formats
