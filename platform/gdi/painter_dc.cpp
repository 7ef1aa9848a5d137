// Device contexts that draw through a QPainter.
//
// GDI draws shapes aliased, so the painter's antialiasing is off for everything but
// text; coordinates are device pixels, with a pixel's centre at +0.5 as in Qt's
// aliased rasteriser, so fills and lines land on the same pixels as on a bitmap.
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/gdi/painter_device.h"

namespace vel::gdi {

namespace {

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Shapes aliased as GDI draws them; text keeps its antialiasing.
void PrepareForShapes(QPainter* p) {
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setBrush(Qt::NoBrush);
}

}  // namespace

PainterDC::PainterDC(QPainter* p, const PainterCaps& c) : painter(p), painterCaps(c) {}

int PainterDC::caps(int index) const {
  const PainterCaps& c = painterCaps;
  auto mm = [](int pixels, int dpi) { return dpi > 0 ? static_cast<int>(std::lround(pixels * 25.4 / dpi)) : 0; };
  switch (index) {
    case TECHNOLOGY: return c.technology;
    case HORZRES: return c.width;
    case VERTRES: return c.height;
    case HORZSIZE: return mm(c.width, c.dpiX);
    case VERTSIZE: return mm(c.height, c.dpiY);
    case LOGPIXELSX: return c.dpiX;
    case LOGPIXELSY: return c.dpiY;
    case BITSPIXEL: return 24;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case SIZEPALETTE: return 0;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DIBTODEV;
    case PHYSICALWIDTH: return c.physicalWidth > 0 ? c.physicalWidth : c.width;
    case PHYSICALHEIGHT: return c.physicalHeight > 0 ? c.physicalHeight : c.height;
    case PHYSICALOFFSETX: return c.offsetX;
    case PHYSICALOFFSETY: return c.offsetY;
    default: return 0;
  }
}

bool PainterDC::drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws, int hs,
                           DWORD rop) {
  if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return false;
  if (!painter) return true;
  // Mirroring: an extent of the other sign on one side turns the picture over.
  const bool flipX = (wd < 0) != (ws < 0), flipY = (hd < 0) != (hs < 0);
  double dl = std::min<double>(xd, static_cast<double>(xd) + wd),
         dt = std::min<double>(yd, static_cast<double>(yd) + hd);
  double dw = std::abs(static_cast<double>(wd)), dh = std::abs(static_cast<double>(hd));
  long long sl = std::min<long long>(xs, static_cast<long long>(xs) + ws);
  long long st = std::min<long long>(ys, static_cast<long long>(ys) + hs);
  long long sw = std::llabs(static_cast<long long>(ws)), sh = std::llabs(static_cast<long long>(hs));
  // Only the part of the source rectangle that exists is drawn, onto its share of the
  // destination.
  long long cl = std::max<long long>(sl, 0), ct = std::max<long long>(st, 0);
  long long cr = std::min<long long>(sl + sw, src.width), cb = std::min<long long>(st + sh, src.height);
  if (cl >= cr || ct >= cb) return true;
  if ((cr - cl) * (cb - ct) > kMaxBitmapPixels) return false;
  const double kx = dw / sw, ky = dh / sh;
  double fl = flipX ? (sl + sw - cr) : (cl - sl), ft = flipY ? (st + sh - cb) : (ct - st);
  QRectF target(dl + fl * kx, dt + ft * ky, (cr - cl) * kx, (cb - ct) * ky);

  const int w = static_cast<int>(cr - cl), h = static_cast<int>(cb - ct);
  QImage image(w, h, src.hasHoles() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) return false;
  std::vector<Pixel> row(static_cast<size_t>(w));
  std::vector<BYTE> painted(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    src.fetch(static_cast<int>(ct) + y, static_cast<int>(cl), w, row.data(), painted.data());
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x)
      out[x] = painted[static_cast<size_t>(x)] ? (0xFF000000u | row[static_cast<size_t>(x)]) : 0u;
  }
  if (flipX || flipY) image = image.mirrored(flipX, flipY);

  painter->save();
  PrepareForShapes(painter);
  // On a screen, a picture enlarged two times or more shows its pixels as crisp
  // blocks, as people expect of a magnifier or a zoomed view; reductions, small
  // enlargements and everything printed are smoothed.
  const bool crisp = painterCaps.technology == DT_RASDISPLAY && kx >= 2 && ky >= 2;
  painter->setRenderHint(QPainter::SmoothPixmapTransform, !crisp);
  // Raster operations other than a copy, as near as a painter gets.
  switch (rop) {
    case SRCAND: painter->setCompositionMode(QPainter::CompositionMode_Multiply); break;
    case SRCPAINT: painter->setCompositionMode(QPainter::CompositionMode_Lighten); break;
    case SRCINVERT: painter->setCompositionMode(QPainter::CompositionMode_Difference); break;
    default: break;
  }
  painter->drawImage(target, image);
  painter->restore();
  return true;
}

bool PainterDC::fillRect(const RECT& rect, COLORREF color) {
  if (!painter) return true;
  if (rect.left >= rect.right || rect.top >= rect.bottom) return true;
  painter->save();
  PrepareForShapes(painter);
  painter->fillRect(QRectF(rect.left, rect.top, static_cast<double>(rect.right) - rect.left,
                           static_cast<double>(rect.bottom) - rect.top),
                    ToQColor(color));
  painter->restore();
  return true;
}

bool PainterDC::drawLine(int x0, int y0, int x1, int y1, COLORREF color) {
  if (!painter) return true;
  if (x0 == x1 && y0 == y1) return true;
  painter->save();
  PrepareForShapes(painter);
  // A one-pixel line whose last pixel is left out, as GDI's.
  QPen pen(ToQColor(color), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  pen.setCosmetic(true);
  painter->setPen(pen);
  // Qt's aliased one-pixel lines already fill the pixels right of and below whole
  // coordinates, and a flat cap leaves the last one out.
  painter->drawLine(QPointF(x0, y0), QPointF(x1, y1));
  painter->restore();
  return true;
}

bool PainterDC::strokeLine(int x0, int y0, int x1, int y1, const Pen& pen) {
  if (!painter) return true;
  if (x0 == x1 && y0 == y1) return true;
  const int width = pen.geometric() ? std::max(pen.width, 1) : std::max(1, pen.width);
  Qt::PenCapStyle cap = Qt::RoundCap;
  if (pen.geometric()) {
    if (pen.endCap() == PS_ENDCAP_FLAT)
      cap = Qt::FlatCap;
    else if (pen.endCap() == PS_ENDCAP_SQUARE)
      cap = Qt::SquareCap;
  } else if (width == 1) {
    cap = Qt::FlatCap;
  }
  Qt::PenJoinStyle join = Qt::RoundJoin;
  if (pen.join() == PS_JOIN_MITER)
    join = Qt::MiterJoin;
  else if (pen.join() == PS_JOIN_BEVEL)
    join = Qt::BevelJoin;
  QPen qpen(ToQColor(pen.color), width, Qt::SolidLine, cap, join);
  const std::vector<DWORD> dashes = pen.pattern();
  if (!dashes.empty()) {
    // Qt counts dashes in pen widths and wants an even number of entries.
    QVector<qreal> pattern;
    for (DWORD d : dashes) pattern.push_back(static_cast<qreal>(d) / width);
    if (pattern.size() % 2) pattern += QVector<qreal>(pattern);
    bool any = std::any_of(pattern.begin(), pattern.end(), [](qreal v) { return v > 0; });
    if (any) qpen.setDashPattern(pattern);
    qpen.setDashOffset(0);
  }
  painter->save();
  PrepareForShapes(painter);
  painter->setPen(qpen);
  // Centred like the bitmap rasteriser: pixel centres of the first point, the band
  // half a pixel up for even widths.
  const double shift = (width % 2) ? 0.5 : 0.0;
  const bool horizontal = y0 == y1, vertical = x0 == x1;
  QPointF a(x0 + (vertical ? shift : 0.0), y0 + (horizontal ? shift : 0.0));
  QPointF b(x1 + (vertical ? shift : 0.0), y1 + (horizontal ? shift : 0.0));
  // Lines drawn right to left (or upwards) cover their start pixel and not their end
  // one, as on bitmaps: the whole span moves one pixel along.
  if (horizontal && x1 < x0) {
    a.rx() += 1;
    b.rx() += 1;
  }
  if (vertical && y1 < y0) {
    a.ry() += 1;
    b.ry() += 1;
  }
  if (!horizontal && !vertical) {
    a += QPointF(0.5, 0.5);
    b += QPointF(0.5, 0.5);
  }
  painter->drawLine(a, b);
  painter->restore();
  return true;
}

}  // namespace vel::gdi

using namespace vel::gdi;

namespace vel::gdi {

HDC CreatePainterDC(QPainter* painter, const PainterCaps& caps) {
  auto* dc = new (std::nothrow) PainterDC(painter, caps);
  if (dc) Register(dc);
  return dc;
}

QPainter* PainterOf(HDC dc) {
  auto* p = dynamic_cast<PainterDC*>(Live(dc));
  return p ? p->painter : nullptr;
}

void SetPainter(HDC dc, QPainter* painter) {
  if (auto* p = dynamic_cast<PainterDC*>(Live(dc))) p->painter = painter;
}

void SetPainterCaps(HDC dc, const PainterCaps& caps) {
  if (auto* p = dynamic_cast<PainterDC*>(Live(dc))) p->painterCaps = caps;
}

}  // namespace vel::gdi
