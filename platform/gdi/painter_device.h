// The device context class behind painter DCs. Private to the platform layer: the
// text code draws straight onto its painter and printer DCs derive from it.
#pragma once

#include "platform/gdi/dc.h"
#include "platform/gdi/painter_dc.h"

namespace vel::gdi {

class PainterDC : public DrawingDevice {
 public:
  PainterDC(QPainter* painter, const PainterCaps& caps);
  int caps(int index) const override;
  bool drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws, int hs,
                  DWORD rop) override;
  bool fillRect(const RECT& rect, COLORREF color) override;
  bool drawLine(int x0, int y0, int x1, int y1, COLORREF color) override;
  bool strokeLine(int x0, int y0, int x1, int y1, const Pen& pen) override;

  QPainter* painter = nullptr;
  PainterCaps painterCaps;
};

}  // namespace vel::gdi
