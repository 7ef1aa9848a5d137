#include "platform/ui/bitmap_image.h"

#include <vector>

namespace vel::ui {

QImage ImageFromBitmap(HBITMAP bitmap) {
  BITMAP bm{};
  if (!bitmap || !GetObject(bitmap, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0 ||
      static_cast<long long>(bm.bmWidth) * bm.bmHeight > vel::gdi::kMaxBitmapPixels)
    return {};
  QImage image(bm.bmWidth, bm.bmHeight, QImage::Format_RGB32);
  if (image.isNull()) return {};
  BITMAPINFO256 info{};
  info.bmiHeader = vel::gdi::TopDownHeader(bm.bmWidth, bm.bmHeight, 32);
  std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidth) * 4 * bm.bmHeight);
  HDC dc = CreateCompatibleDC(nullptr);
  const int lines = GetDIBits(dc, bitmap, 0, static_cast<UINT>(bm.bmHeight), bits.data(),
                              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteDC(dc);
  if (lines <= 0) return {};
  // 32-bit DIB rows are blue, green, red, unused: Format_RGB32 on a little-endian machine.
  for (int y = 0; y < bm.bmHeight; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    const BYTE* in = bits.data() + static_cast<size_t>(y) * bm.bmWidth * 4;
    for (int x = 0; x < bm.bmWidth; ++x, in += 4) row[x] = qRgb(in[2], in[1], in[0]);
  }
  return image;
}

}  // namespace vel::ui
