#include "imagelib/formats/write_util.h"

namespace lorimer::formats {

bool IsGrayRamp(const vel::gdi::BitmapView& view, int bits) {
  const int n = 1 << bits;
  if (!view.colors || view.colorCount < n) return false;
  for (int i = 0; i < n; ++i) {
    const int level = i * 255 / (n - 1);
    const RGBQUAD& c = view.colors[i];
    if (c.rgbRed != level || c.rgbGreen != level || c.rgbBlue != level) return false;
  }
  return true;
}

}  // namespace lorimer::formats
