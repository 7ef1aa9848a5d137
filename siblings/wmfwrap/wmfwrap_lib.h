// Wrapping a raster picture into a Windows metafile: a BMP file becomes a placeable
// WMF that draws the bitmap with one META_STRETCHDIB record. Used by the wmfwrap
// program and by Marrow when an EPS file can only be rasterised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wmfwrap {

// Pictures wider or taller than this cannot be addressed by WMF's 16-bit coordinates.
constexpr long kMaxSide = 32767;
// Units per inch of the placeable box when the bitmap states no resolution.
constexpr int kDefaultInch = 96;

// A BMP file (BITMAPFILEHEADER + BITMAPINFOHEADER or later header, colour table,
// bits) checked and turned into a packed DIB (header, table, bits without the gap
// that bfOffBits may leave).
struct Dib {
  std::vector<std::uint8_t> packed;
  long width = 0;
  long height = 0;    // absolute value; the packed header keeps the sign
  int bitCount = 0;
  int dpi = 0;        // from biXPelsPerMeter, 0 when not stated
};

// False (and `out` untouched) for anything that is not a complete, sane BMP file.
bool ParseBmp(const std::uint8_t* data, std::size_t size, Dib& out);

// The whole placeable WMF file: placeable header (box 0,0,w,h; inch = the DIB's
// resolution or 96), METAHEADER, SETMAPMODE(MM_ANISOTROPIC), SETWINDOWORG(0,0),
// SETWINDOWEXT(w,h), META_STRETCHDIB (SRCCOPY, whole bitmap onto the window) and
// META_EOF.
std::vector<std::uint8_t> BuildPlaceableWmf(const Dib& dib);

// BMP bytes to WMF bytes; false when the BMP is refused.
bool BmpToPlaceableWmf(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

// Reads a whole file of at most `limit` bytes; false when missing, unreadable or larger.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t limit);

// Writes `bytes` under a temporary name next to `path` and renames it over `path`
// only when everything was written; on failure nothing is left behind.
bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The placeable header's checksum: XOR of its first ten 16-bit words.
std::uint16_t PlaceableChecksum(const std::uint8_t* header22);

}  // namespace wmfwrap
