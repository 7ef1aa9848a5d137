#include "printlayout/model/TextFont.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaly {

LOGFONTA ToLogFont(const TextFont& font, int dpiY, double zoom) {
  LOGFONTA lf;
  const double height = std::trunc(static_cast<double>(dpiY) * font.size * zoom / 720.0);
  // Clamp before converting: a corrupt size or zoom must not overflow the field.
  lf.lfHeight = -static_cast<LONG>(std::clamp(height, 1.0, 1.0e6));
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic ? 1 : 0;
  lf.lfUnderline = 0;
  lf.lfStrikeOut = 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = PROOF_QUALITY;
  const size_t n = std::min(font.face.size(), static_cast<size_t>(LF_FACESIZE - 1));
  std::memcpy(lf.lfFaceName, font.face.data(), n);
  lf.lfFaceName[n] = '\0';
  return lf;
}

}  // namespace tessaly
