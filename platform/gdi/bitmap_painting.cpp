#include "platform/gdi/bitmap_painting.h"

#include <QImage>

#include <vector>

namespace vel::gdi {

bool PaintBitmapArea(const BitmapView& view, const QRect& area, const std::function<void(QPainter&)>& paint) {
  if (area.isEmpty()) return true;
  const int w = area.width(), h = area.height();
  QImage image(w, h, QImage::Format_RGB32);
  if (image.isNull()) return false;
  BitmapSource source(view);
  std::vector<Pixel> before(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    Pixel* row = &before[static_cast<size_t>(y) * w];
    source.fetch(area.top() + y, area.left(), w, row, nullptr);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) out[x] = 0xFF000000u | row[x];
  }
  {
    QPainter painter(&image);
    if (!painter.isActive()) return false;
    painter.translate(-area.left(), -area.top());
    paint(painter);
  }
  BitmapTarget target(view);
  std::vector<Pixel> after(static_cast<size_t>(w));
  std::vector<BYTE> changed(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    const Pixel* old = &before[static_cast<size_t>(y) * w];
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    bool any = false;
    for (int x = 0; x < w; ++x) {
      after[x] = in[x] & 0xFFFFFFu;
      changed[x] = after[x] != old[x];
      any = any || changed[x];
    }
    if (any) target.store(area.top() + y, area.left(), w, after.data(), changed.data());
  }
  return true;
}

}  // namespace vel::gdi
