// Windows bitmap files: header parsing shared by the codec's reader and CDib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/base/expected.h"
#include "platform/gdi/gdi.h"

namespace lorimer::formats {

struct BmpLayout {
  BITMAPINFO256 info{};   // normalised to a 40-byte header (+ masks or colour table)
  size_t bitsOffset = 0;  // where the pixel data starts in the file
  size_t bitsSize = 0;    // bytes of pixel data present in the file
};

// Parses a BMP file held in memory. Accepts the OS/2 12- and 64-byte headers and the
// 40/52/56/108/124-byte Windows headers; anything malformed fails with the reason.
vel::Expected<BmpLayout> ParseBmp(std::span<const std::uint8_t> file);

// Whether `bitsSize` bytes of pixel data can plausibly stand for the picture the
// header describes. Small pictures always pass (a cut-off file still shows its
// rows); a huge one must come with a reasonable share of its data, so that a few
// bytes cannot make us allocate and paint gigabytes.
bool PlausibleBmpSize(const BITMAPINFOHEADER& header, std::size_t bitsSize);

// Converts an OS/2 1.x core header (12 bytes, RGB triples) that starts `in` to the
// 40-byte form with RGBQUAD colours in `out`. False when `in` holds no core header.
bool ConvertCoreHeader(const std::uint8_t* in, std::size_t size, BITMAPINFO256* out, std::size_t* consumed);

}  // namespace lorimer::formats
