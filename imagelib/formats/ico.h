// Icons and cursors: the pieces of the ICO/CUR/ANI reader that the library's icon
// loader and the PNG reader share.
//
// The icon loader builds a real icon (colour bitmap plus AND mask) from one entry of an
// ICO or CUR file, picking the entry that best fits the size it asks for. The page reader
// (kIcoFormat, kAniFormat in reader.h) shows every entry or frame composited on white.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace lorimer::formats {

// What the icon loader built, for the caller's image record.
struct IconLoadInfo {
  int width = 0;  // size of the icon made (the requested size when the entry was scaled)
  int height = 0;
  int entryWidth = 0;  // the chosen entry as the file has it
  int entryHeight = 0;
  int entryBitCount = 0;  // 1, 4, 8, 16, 24, 32; 32 for PNG entries
  bool hasColor = false;  // false only for a 1-bit (monochrome) icon, which has no colour bitmap
  bool isCursor = false;
  int xHotspot = 0;  // cursors only, scaled with the image
  int yHotspot = 0;
};

// Builds an icon (or a cursor for CUR data) from an ICO/CUR file in memory, or from the
// first frame of an animated cursor. The entry chosen is the one of exactly the desired
// size with the most colours; when no entry has that size, the closest one (ties go to
// the larger) is scaled to the desired size. A desired size of 0 keeps the entry's size.
// Null when the data holds no usable entry. The caller releases the icon with DestroyIcon.
HICON LoadIconFromMemory(const std::uint8_t* data, std::size_t size, int desiredWidth, int desiredHeight,
                         IconLoadInfo* info = nullptr);
// Same, reading the file first.
HICON LoadIconFile(const std::string& path, int desiredWidth, int desiredHeight, IconLoadInfo* info = nullptr);

// True when the icon has a colour bitmap (every icon but a monochrome one).
bool IconHasColor(HICON icon);

// ---- shared with the PNG reader -------------------------------------------------

// A decoded picture with straight (not premultiplied) alpha, 4 bytes a pixel R, G, B, A,
// top row first.
struct RgbaImage {
  int width = 0;
  int height = 0;
  bool hasAlpha = false;  // some pixel is not fully opaque
  std::vector<std::uint8_t> pixels;
};

// The PNG reader's page: palettised when nothing is transparent, else 24 bits on white.
HBITMAP DecodePngPage(const std::uint8_t* data, std::size_t size);

// Decodes a whole PNG stream to RGBA (16-bit samples scaled to 8). A truncated stream
// gives the rows that could be decoded; false when nothing could be decoded.
bool DecodePngToRgba(const std::uint8_t* data, std::size_t size, RgbaImage* out);

// Colour channel `c` with alpha `a` (both 16-bit scale) drawn over white, as an 8-bit
// value. The arithmetic is the "over" operator at 16-bit precision, rounded, then cut to
// 8 bits by dropping the fraction, which is how ImageMagick flattens and reduces depth:
// our pictures agree with its to the last bit.
inline std::uint8_t BlendOnWhite16(std::uint32_t c, std::uint32_t a) {
  const double sa = a / 65535.0;
  const double v = sa * c + (1.0 - sa) * 65535.0;
  std::uint32_t q = static_cast<std::uint32_t>(v + 0.5);
  if (q > 65535) q = 65535;
  return static_cast<std::uint8_t>(q / 257);
}
inline std::uint8_t BlendOnWhite8(std::uint8_t c, std::uint8_t a) {
  if (a == 255) return c;
  if (a == 0) return 255;
  return BlendOnWhite16(c * 257u, a * 257u);
}

}  // namespace lorimer::formats
