// The list of readers and helpers they share.
#include <cstdint>
#include <cstring>
#include <string>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {

const std::vector<const FormatDescriptor*>& AllFormats() {
  // Signatures first; Targa and GEM IMG have none and come last, so a file that
  // merely has plausible numbers in their header fields cannot shadow another format.
  // Icons, cursors and animated cursors are not among them: the image object loads
  // those through its icon loader at the end of every chain, so an icon gives the same
  // facts whatever it is named.
  static const std::vector<const FormatDescriptor*> all = {&kBmpFormat,  &kJpegFormat, &kPngFormat, &kGifFormat,
                                                           &kTiffFormat, &kDcxFormat,  &kPcxFormat, &kPcdFormat,
                                                           &kFmfFormat,  &kTgaFormat,  &kGemFormat};
  return all;
}

vel::Expected<void> CheckPictureSize(std::int64_t width, std::int64_t height, int bitsPerPixel, std::uint64_t fileBytes,
                                     std::uint64_t maxPixelsPerByte) {
  // Small pictures are always allowed: even a damaged file may give part of one.
  constexpr std::uint64_t kFreePixels = 1ULL << 24;
  constexpr std::uint64_t kMaxBytes = 1ULL << 31;
  if (width <= 0 || height <= 0) {
    return vel::Fail("size " + std::to_string(width) + " x " + std::to_string(height) + " is empty");
  }
  if (bitsPerPixel <= 0 || bitsPerPixel > 64) return vel::Fail(std::to_string(bitsPerPixel) + " bits per pixel");
  const auto w = static_cast<std::uint64_t>(width);
  const auto h = static_cast<std::uint64_t>(height);
  const auto limit = static_cast<std::uint64_t>(vel::gdi::kMaxBitmapPixels);
  if (w > limit || h > limit || w * h > limit) {
    return vel::Fail(std::to_string(width) + " x " + std::to_string(height) + " is more pixels than a page may hold");
  }
  const std::uint64_t pixels = w * h;
  if ((pixels * static_cast<std::uint64_t>(bitsPerPixel) + 7) / 8 > kMaxBytes) {
    return vel::Fail(std::to_string(width) + " x " + std::to_string(height) + " x " + std::to_string(bitsPerPixel) +
                     " bits is more than a page may hold");
  }
  if (pixels > kFreePixels && maxPixelsPerByte > 0 && pixels / maxPixelsPerByte > fileBytes) {
    return vel::Fail(std::to_string(width) + " x " + std::to_string(height) + " pixels cannot come from " +
                     std::to_string(fileBytes) + " bytes");
  }
  return {};
}

HBITMAP NewPageBitmap(int width, int height, int bitsPerPixel, const std::vector<RGBQUAD>& palette) {
  if (!CheckPictureSize(width, height, bitsPerPixel, UINT64_MAX, 0)) return nullptr;
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
