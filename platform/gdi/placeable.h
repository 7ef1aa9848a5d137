// Placeable WMF files made here: the header's checksum, and a raster picture (a BMP
// file) wrapped into a placeable WMF that draws the bitmap with one META_STRETCHDIB
// record. The wmfwrap helper is nothing more than this; Marrow wraps the pages
// Ghostscript can only rasterise the same way, and writes its vector WMFs' headers
// with the same checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/metafile.h"

namespace vel::gdi::wmf {

// The placeable header's checksum: XOR of the ten 16-bit words before it, as the
// header is stored (the checksum field itself is not read).
WORD PlaceableChecksum(const METAFILEHEADER_PLACEABLE& header);

// Pictures wider or taller than this cannot be addressed by WMF's 16-bit coordinates.
constexpr long kMaxBmpSide = 32767;
// Units per inch of the placeable box when the bitmap states no resolution.
constexpr int kDefaultBmpInch = 96;

// A BMP file (BITMAPFILEHEADER + BITMAPINFOHEADER or later header, colour table,
// bits) checked and turned into a packed DIB (header, table, bits without the gap
// that bfOffBits may leave).
struct BmpDib {
  std::vector<std::uint8_t> packed;
  long width = 0;
  long height = 0;  // absolute value; the packed header keeps the sign
  int bitCount = 0;
  int dpi = 0;  // from biXPelsPerMeter, 0 when not stated
};

// False (and `out` untouched) for anything that is not a complete, sane BMP file:
// the file comes from another process, so every size in it is checked against the
// bytes present before anything is copied.
bool ParseBmp(const std::uint8_t* data, std::size_t size, BmpDib& out);

// The whole placeable WMF file: placeable header (box 0,0,w,h; inch = the DIB's
// resolution or kDefaultBmpInch), METAHEADER, SETMAPMODE(MM_ANISOTROPIC),
// SETWINDOWORG(0,0), SETWINDOWEXT(w,h), META_STRETCHDIB (SRCCOPY, whole bitmap onto
// the window) and META_EOF.
std::vector<std::uint8_t> BuildPlaceableWmf(const BmpDib& dib);

// BMP bytes to WMF bytes; false (and `out` untouched) when the BMP is refused.
bool BmpToPlaceableWmf(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace vel::gdi::wmf
