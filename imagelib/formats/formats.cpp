// The list of readers and helpers they share.
#include <cstring>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {

const std::vector<const FormatDescriptor*>& AllFormats() {
  // Signatures first; Targa and GEM IMG have none and come last, so a file that
  // merely has plausible numbers in their header fields cannot shadow another format.
  // Icons, cursors and animated cursors are not among them: the image object loads
  // those through its icon loader at the end of every chain, so an icon gives the same
  // facts whatever it is named.
  static const std::vector<const FormatDescriptor*> all = {
      &kBmpFormat, &kJpegFormat, &kPngFormat, &kGifFormat, &kTiffFormat, &kDcxFormat, &kPcxFormat,
      &kPcdFormat, &kFmfFormat,  &kTgaFormat,  &kGemFormat};
  return all;
}

HBITMAP NewPageBitmap(int width, int height, int bitsPerPixel, const std::vector<RGBQUAD>& palette) {
  if (width <= 0 || height <= 0) return nullptr;
  if (static_cast<long long>(width) * height > vel::gdi::kMaxBitmapPixels) return nullptr;
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) return nullptr;
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  info.bmiHeader.biCompression = BI_RGB;
  if (bitsPerPixel <= 8) {
    size_t n = std::min<size_t>(palette.size(), size_t(1) << bitsPerPixel);
    if (n) std::memcpy(info.bmiColors, palette.data(), n * sizeof(RGBQUAD));
  }
  return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, nullptr, nullptr, 0);
}

}  // namespace lorimer::formats
