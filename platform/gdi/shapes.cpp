// Shapes, curves and paths, drawn through QPainter.
//
// Every shape is first built as a QPainterPath in "pixel" coordinates, where the
// integer point (x, y) is the centre of device pixel (x, y). Qt's aliased rasteriser
// puts pixel centres at +0.5: wide pens are stroked along the path shifted by half a
// pixel, 1-pixel pens a little less (see StrokeLine), so both land on the pixels GDI
// names. The interior is filled
// along the same shifted path under a visible pen, which then covers the boundary; under
// the null pen the unshifted path is filled, which covers the pixels whose centres
// lie inside, right and bottom edges left out, as GDI's fills do.
#include "platform/gdi/shapes.h"
#include "platform/gdi/bitmap_painting.h"
#include "platform/gdi/recorder_device.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/gdi/painter_device.h"

namespace vel::gdi {
namespace {

// Shapes reaching further than this from the origin come from bad input; no device is
// near that large and the rasteriser's fixed-point arithmetic would overflow.
constexpr double kFarAway = 1 << 24;
constexpr int kMaxPenWidth = 1 << 15;

using PathPoint = DeviceContext::PathPoint;

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

bool Reasonable(const QRectF& r) {
  return std::isfinite(r.left()) && std::isfinite(r.right()) && std::isfinite(r.top()) && std::isfinite(r.bottom()) &&
         std::abs(r.left()) < kFarAway && std::abs(r.right()) < kFarAway && std::abs(r.top()) < kFarAway &&
         std::abs(r.bottom()) < kFarAway;
}

// ---- pens and brushes ---------------------------------------------------------------

std::optional<QPen> PenFor(const DeviceContext& dc) {
  const Pen* pen = dc.pen;
  if (!pen || pen->lineStyle() == PS_NULL) return std::nullopt;
  const int width = std::clamp(pen->width, 1, kMaxPenWidth);
  Qt::PenCapStyle cap = Qt::RoundCap;
  Qt::PenJoinStyle join = Qt::RoundJoin;
  if (pen->geometric()) {
    if (pen->endCap() == PS_ENDCAP_FLAT)
      cap = Qt::FlatCap;
    else if (pen->endCap() == PS_ENDCAP_SQUARE)
      cap = Qt::SquareCap;
    if (pen->join() == PS_JOIN_MITER)
      join = Qt::MiterJoin;
    else if (pen->join() == PS_JOIN_BEVEL)
      join = Qt::BevelJoin;
  } else if (width == 1) {
    // A 1-pixel line leaves its last pixel out, as GDI's.
    cap = Qt::FlatCap;
    join = Qt::MiterJoin;
  }
  QPen qpen(ToQColor(pen->color), width, Qt::SolidLine, cap, join);
  if (width == 1 && !pen->geometric()) qpen.setCosmetic(true);
  const std::vector<DWORD> dashes = pen->pattern();
  if (!dashes.empty()) {
    // Qt counts dashes in pen widths and wants an even number of entries.
    QVector<qreal> pattern;
    for (DWORD d : dashes) pattern.push_back(static_cast<qreal>(d) / width);
    if (pattern.size() % 2) pattern += QVector<qreal>(pattern);
    if (std::any_of(pattern.begin(), pattern.end(), [](qreal v) { return v > 0; })) qpen.setDashPattern(pattern);
  }
  return qpen;
}

// GDI's 8 x 8 hatch tiles.
bool HatchBit(int style, int x, int y) {
  const bool h = y == 7, v = x == 7, f = x == y, b = x + y == 7;
  switch (style) {
    case HS_HORIZONTAL: return h;
    case HS_VERTICAL: return v;
    case HS_FDIAGONAL: return f;
    case HS_BDIAGONAL: return b;
    case HS_CROSS: return h || v;
    case HS_DIAGCROSS: return f || b;
    default: return false;
  }
}

std::optional<QBrush> BrushFor(const DeviceContext& dc) {
  const Brush* brush = dc.brush;
  if (!brush || brush->hollow) return std::nullopt;
  QBrush out;
  const bool opaque = dc.bkMode == OPAQUE;
  if (brush->hatch >= 0) {
    QImage tile(8, 8, QImage::Format_ARGB32);
    const QRgb line = 0xFF000000u | ToQColor(brush->color).rgb();
    const QRgb gap = opaque ? (0xFF000000u | ToQColor(dc.bkColor).rgb()) : 0u;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) tile.setPixel(x, y, HatchBit(brush->hatch, x, y) ? line : gap);
    out = QBrush(tile);
  } else if (brush->patternWidth > 0 && brush->patternHeight > 0 &&
             brush->pattern.size() == static_cast<size_t>(brush->patternWidth) * brush->patternHeight) {
    QImage tile(brush->patternWidth, brush->patternHeight, QImage::Format_RGB32);
    if (tile.isNull()) return std::nullopt;
    const QRgb zero = ToQColor(dc.textColor).rgb(), one = ToQColor(dc.bkColor).rgb();
    for (int y = 0; y < brush->patternHeight; ++y) {
      auto* row = reinterpret_cast<QRgb*>(tile.scanLine(y));
      for (int x = 0; x < brush->patternWidth; ++x) {
        DWORD p = brush->pattern[static_cast<size_t>(y) * brush->patternWidth + x];
        row[x] = brush->patternMono ? (p ? one : zero) : (0xFF000000u | p);
      }
    }
    out = QBrush(tile);
  } else {
    return QBrush(ToQColor(brush->color));
  }
  // Tiles start at the brush origin in device pixels.
  out.setTransform(QTransform::fromTranslate(dc.brushOrigin.x, dc.brushOrigin.y));
  return out;
}

// ---- painting -------------------------------------------------------------------------

struct Job {
  QPainterPath fill;  // already in painting coordinates
  QPainterPath stroke;
  bool doFill = false;
  bool doStroke = false;
  std::optional<QPen> pen;
  std::optional<QBrush> brush;
};

// The mix mode as a composition mode; colours that replace the pen's are set apart.
QPainter::CompositionMode MixMode(int rop2) {
  switch (rop2) {
    case R2_BLACK: return QPainter::RasterOp_ClearDestination;
    case R2_WHITE: return QPainter::RasterOp_SetDestination;
    case R2_NOTMERGEPEN: return QPainter::RasterOp_NotSourceAndNotDestination;
    case R2_MASKNOTPEN: return QPainter::RasterOp_NotSourceAndDestination;
    case R2_NOTCOPYPEN: return QPainter::RasterOp_NotSource;
    case R2_MASKPENNOT: return QPainter::RasterOp_SourceAndNotDestination;
    case R2_NOT: return QPainter::RasterOp_NotDestination;
    case R2_XORPEN: return QPainter::RasterOp_SourceXorDestination;
    case R2_NOTMASKPEN: return QPainter::RasterOp_NotSourceOrNotDestination;
    case R2_MASKPEN: return QPainter::RasterOp_SourceAndDestination;
    case R2_NOTXORPEN: return QPainter::RasterOp_NotSourceXorDestination;
    case R2_MERGENOTPEN: return QPainter::RasterOp_NotSourceOrDestination;
    case R2_MERGEPENNOT: return QPainter::RasterOp_SourceOrNotDestination;
    case R2_MERGEPEN: return QPainter::RasterOp_SourceOrDestination;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

void Paint(QPainter* p, const DeviceContext& dc, const Job& job) {
  p->setRenderHint(QPainter::Antialiasing, false);
  if (dc.clip) {
    const RECT& c = *dc.clip;
    p->setClipRect(QRectF(c.left, c.top, static_cast<double>(c.right) - c.left, static_cast<double>(c.bottom) - c.top),
                   p->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  }
  p->setCompositionMode(MixMode(dc.rop2));
  if (job.doFill && job.brush) p->fillPath(job.fill, *job.brush);
  if (job.doStroke && job.pen) p->strokePath(job.stroke, *job.pen);
}

QRect Touched(const Job& job) {
  QRectF r;
  if (job.doFill && job.brush) r |= job.fill.boundingRect();
  if (job.doStroke && job.pen) {
    const double m = job.pen->widthF() + 2;
    r |= job.stroke.boundingRect().adjusted(-m, -m, m, m);
  }
  if (r.isNull()) return QRect();
  return QRect(QPoint(static_cast<int>(std::floor(r.left())) - 1, static_cast<int>(std::floor(r.top())) - 1),
               QPoint(static_cast<int>(std::ceil(r.right())) + 1, static_cast<int>(std::ceil(r.bottom())) + 1));
}

// Paints onto the bitmap of a memory DC through a copy of the touched rectangle; only
// pixels the painting changed are written back.
bool PaintOnBitmap(DeviceContext& dc, const Job& job) {
  const BitmapView view = dc.bitmap->view();
  QRect area = Touched(job) & QRect(0, 0, view.width, view.height);
  if (dc.clip) {
    const RECT& c = *dc.clip;
    area &= QRect(QPoint(c.left, c.top), QPoint(c.right - 1, c.bottom - 1));
  }
  return PaintBitmapArea(view, area, [&](QPainter& painter) { Paint(&painter, dc, job); });
}

bool Render(DeviceContext& dc, const Job& job) {
  if (dc.rop2 == R2_NOP) return true;
  if (auto* pdc = dynamic_cast<PainterDC*>(&dc)) {
    if (!pdc->painter) return true;
    pdc->painter->save();
    Paint(pdc->painter, dc, job);
    pdc->painter->restore();
    return true;
  }
  // A DC without a bitmap (the screen DC) has nothing to draw on.
  if (!dc.isMemory() || !dc.bitmap) return true;
  return PaintOnBitmap(dc, job);
}

// ---- paths ------------------------------------------------------------------------------

// Adds a shape to the path being recorded; closed shapes close each of their figures.
bool Record(DeviceContext& dc, const QPainterPath& shape, bool closed, bool continueFigure) {
  std::vector<PathPoint> pts;
  pts.reserve(static_cast<size_t>(shape.elementCount()));
  for (int i = 0; i < shape.elementCount(); ++i) {
    const QPainterPath::Element e = shape.elementAt(i);
    BYTE type = PT_LINETO;
    if (e.type == QPainterPath::MoveToElement) {
      if (closed && !pts.empty()) pts.back().type |= PT_CLOSEFIGURE;
      type = PT_MOVETO;
    } else if (e.type != QPainterPath::LineToElement) {
      type = PT_BEZIERTO;
    }
    pts.push_back(PathPoint{e.x, e.y, type});
  }
  if (closed && !pts.empty()) pts.back().type |= PT_CLOSEFIGURE;
  // A continuing figure drops its leading move when the previous figure is still open.
  size_t first = 0;
  if (continueFigure && dc.pathFigureOpen && !pts.empty() && pts[0].type == PT_MOVETO) first = 1;
  if (!dc.addToPath(pts.data() + first, pts.size() - first)) return false;
  dc.pathFigureOpen = !closed;
  return true;
}

QPainterPath FromPathPoints(const std::vector<PathPoint>& pts) {
  QPainterPath out;
  for (size_t i = 0; i < pts.size(); ++i) {
    const PathPoint& p = pts[i];
    const BYTE kind = p.type & ~PT_CLOSEFIGURE;
    BYTE closeType = p.type;
    if (kind == PT_MOVETO) {
      out.moveTo(p.x, p.y);
    } else if (kind == PT_BEZIERTO && i + 2 < pts.size() && (pts[i + 1].type & ~PT_CLOSEFIGURE) == PT_BEZIERTO &&
               (pts[i + 2].type & ~PT_CLOSEFIGURE) == PT_BEZIERTO) {
      out.cubicTo(p.x, p.y, pts[i + 1].x, pts[i + 1].y, pts[i + 2].x, pts[i + 2].y);
      closeType = pts[i + 2].type;
      i += 2;
    } else {
      out.lineTo(p.x, p.y);
    }
    if (closeType & PT_CLOSEFIGURE) out.closeSubpath();
  }
  return out;
}

Qt::FillRule FillRuleOf(const DeviceContext& dc) {
  return dc.polyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
}

// Where a pen runs for a shape in pixel coordinates. Qt's aliased cosmetic lines round
// their end points to whole pixels (x.5 goes right), yet fill curves by pixel centres:
// a little less than half a pixel keeps both on the pixels GDI names. Wider pens are
// centred on the pixel centres.
constexpr double kThinShift = 0.375;
QPainterPath StrokeLine(const QPainterPath& shape, const std::optional<QPen>& pen) {
  return pen && pen->isCosmetic() ? shape.translated(kThinShift, kThinShift) : shape.translated(0.5, 0.5);
}

// Draws a shape given in pixel coordinates, or records it in the path.
BOOL DrawShape(DeviceContext& dc, QPainterPath shape, bool closed, bool continueFigure = false) {
  if (shape.isEmpty() || !Reasonable(shape.boundingRect())) return FALSE;
  if (dc.pathState == DeviceContext::PathState::Recording)
    return Record(dc, shape, closed, continueFigure) ? TRUE : FALSE;
  if (RecorderDC* recorder = AsRecorder(dc)) return recorder->recordShape(shape, closed) ? TRUE : FALSE;
  shape.setFillRule(FillRuleOf(dc));
  Job job;
  job.pen = PenFor(dc);
  job.brush = closed ? BrushFor(dc) : std::nullopt;
  const QPainterPath shifted = shape.translated(0.5, 0.5);
  job.doStroke = job.pen.has_value();
  job.stroke = StrokeLine(shape, job.pen);
  job.doFill = closed && job.brush.has_value();
  job.fill = job.pen ? shifted : shape;
  try {
    return Render(dc, job) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

// The box of a bounding-box shape in pixel coordinates: its last column and row are
// right - 1 and bottom - 1.
QRectF Box(int left, int top, int right, int bottom) {
  const double l = std::min(left, right), r = std::max(left, right);
  const double t = std::min(top, bottom), b = std::max(top, bottom);
  return QRectF(l, t, std::max(0.0, r - 1 - l), std::max(0.0, b - 1 - t));
}

// The angle (degrees, counter-clockwise on the screen) at which the ray from the box's
// centre through (x, y) meets the ellipse, as the parameter Qt's arcs take.
double ArcAngle(const QRectF& box, int x, int y) {
  const double rx = std::max(box.width() / 2, 1e-9), ry = std::max(box.height() / 2, 1e-9);
  const QPointF c = box.center();
  return std::atan2(-(y - c.y()) / ry, (x - c.x()) / rx) * 180.0 / M_PI;
}

double Sweep(double from, double to, int direction) {
  double s = std::fmod(to - from, 360.0);
  if (direction == AD_CLOCKWISE) {
    if (s >= 0) s -= 360.0;
  } else if (s <= 0) {
    s += 360.0;
  }
  return s;
}

enum class ArcKind { Arc, Chord, Pie, ArcTo };

BOOL ArcShape(HDC dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye, ArcKind kind) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  const QRectF box = Box(left, top, right, bottom);
  if (!Reasonable(box)) return FALSE;
  const double a0 = ArcAngle(box, xs, ys), a1 = ArcAngle(box, xe, ye);
  const double sweep = Sweep(a0, a1, d->arcDirection);
  QPainterPath path;
  switch (kind) {
    case ArcKind::Pie:
      path.moveTo(box.center());
      path.arcTo(box, a0, sweep);
      path.closeSubpath();
      break;
    case ArcKind::ArcTo:
      path.moveTo(d->position.x, d->position.y);
      path.arcTo(box, a0, sweep);
      break;
    default:
      path.arcMoveTo(box, a0);
      path.arcTo(box, a0, sweep);
      if (kind == ArcKind::Chord) path.closeSubpath();
      break;
  }
  const QPointF end = path.currentPosition();
  BOOL ok = DrawShape(*d, path, kind == ArcKind::Chord || kind == ArcKind::Pie, kind == ArcKind::ArcTo);
  if (ok && kind == ArcKind::ArcTo)
    d->position = POINT{static_cast<LONG>(std::lround(end.x())), static_cast<LONG>(std::lround(end.y()))};
  return ok;
}

bool PointsPath(QPainterPath& path, const POINT* points, size_t count) {
  if (!points || count > kMaxPathPoints) return false;
  path.moveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < count; ++i) path.lineTo(points[i].x, points[i].y);
  return true;
}

// Beziers from `first` (already the path's current point) through count points.
bool BezierPath(QPainterPath& path, const POINT* points, size_t count) {
  if (count % 3 != 0 || count > kMaxPathPoints) return false;
  for (size_t i = 0; i + 2 < count; i += 3)
    path.cubicTo(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, points[i + 2].x, points[i + 2].y);
  return true;
}

BOOL DrawClosedPath(DeviceContext& d, bool fill, bool stroke) {
  if (d.pathState != DeviceContext::PathState::Closed) return FALSE;
  QPainterPath shape = FromPathPoints(d.path);
  d.path.clear();
  d.pathState = DeviceContext::PathState::None;
  if (shape.isEmpty()) return TRUE;
  if (!Reasonable(shape.boundingRect())) return FALSE;
  shape.setFillRule(FillRuleOf(d));
  Job job;
  job.pen = stroke ? PenFor(d) : std::nullopt;
  job.brush = fill ? BrushFor(d) : std::nullopt;
  job.doStroke = job.pen.has_value();
  job.stroke = StrokeLine(shape, job.pen);
  job.doFill = job.brush.has_value();
  job.fill = job.pen ? shape.translated(0.5, 0.5) : shape;
  try {
    return Render(d, job) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

bool PathBounds(HDC dc, RECT* box) {
  DeviceContext* d = Live(dc);
  if (!d || !box || d->pathState != DeviceContext::PathState::Closed || d->path.empty()) return false;
  double l = 1e300, t = 1e300, r = -1e300, b = -1e300;
  for (const PathPoint& p : d->path) {
    l = std::min(l, p.x);
    t = std::min(t, p.y);
    r = std::max(r, p.x);
    b = std::max(b, p.y);
  }
  if (!Reasonable(QRectF(QPointF(l, t), QPointF(r, b)))) return false;
  *box = RECT{static_cast<LONG>(std::floor(l)), static_cast<LONG>(std::floor(t)), static_cast<LONG>(std::ceil(r)),
              static_cast<LONG>(std::ceil(b))};
  return true;
}

}  // namespace vel::gdi

using namespace vel::gdi;

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  QPainterPath path;
  path.addRect(Box(left, top, right, bottom));
  return DrawShape(*d, path, true);
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  QPainterPath path;
  path.addEllipse(Box(left, top, right, bottom));
  return DrawShape(*d, path, true);
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  const QRectF box = Box(left, top, right, bottom);
  QPainterPath path;
  path.addRoundedRect(box, std::min(std::abs(width) / 2.0, box.width() / 2),
                      std::min(std::abs(height) / 2.0, box.height() / 2));
  return DrawShape(*d, path, true);
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  DeviceContext* d = Live(dc);
  if (!d || count < 2) return FALSE;
  QPainterPath path;
  if (!PointsPath(path, points, static_cast<size_t>(count))) return FALSE;
  path.closeSubpath();
  return DrawShape(*d, path, true);
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
  DeviceContext* d = Live(dc);
  if (!d || count < 2) return FALSE;
  QPainterPath path;
  if (!PointsPath(path, points, static_cast<size_t>(count))) return FALSE;
  return DrawShape(*d, path, false);
}

BOOL PolyPolygon(HDC dc, const POINT* points, const INT* counts, int polygons) {
  DeviceContext* d = Live(dc);
  if (!d || !points || !counts || polygons <= 0) return FALSE;
  QPainterPath path;
  size_t at = 0;
  for (int i = 0; i < polygons; ++i) {
    if (counts[i] < 2 || at + static_cast<size_t>(counts[i]) > kMaxPathPoints) return FALSE;
    PointsPath(path, points + at, static_cast<size_t>(counts[i]));
    path.closeSubpath();
    at += static_cast<size_t>(counts[i]);
  }
  return DrawShape(*d, path, true);
}

BOOL PolyPolyline(HDC dc, const POINT* points, const DWORD* counts, DWORD polylines) {
  DeviceContext* d = Live(dc);
  if (!d || !points || !counts || polylines == 0) return FALSE;
  QPainterPath path;
  size_t at = 0;
  for (DWORD i = 0; i < polylines; ++i) {
    if (counts[i] < 2 || at + counts[i] > kMaxPathPoints) return FALSE;
    PointsPath(path, points + at, counts[i]);
    at += counts[i];
  }
  return DrawShape(*d, path, false);
}

BOOL PolyBezier(HDC dc, const POINT* points, DWORD count) {
  DeviceContext* d = Live(dc);
  if (!d || !points || count < 4 || (count - 1) % 3 != 0) return FALSE;
  QPainterPath path;
  path.moveTo(points[0].x, points[0].y);
  if (!BezierPath(path, points + 1, count - 1)) return FALSE;
  return DrawShape(*d, path, false);
}

BOOL PolyBezierTo(HDC dc, const POINT* points, DWORD count) {
  DeviceContext* d = Live(dc);
  if (!d || !points || count == 0 || count % 3 != 0) return FALSE;
  QPainterPath path;
  path.moveTo(d->position.x, d->position.y);
  if (!BezierPath(path, points, count)) return FALSE;
  BOOL ok = DrawShape(*d, path, false, true);
  if (ok) d->position = points[count - 1];
  return ok;
}

BOOL PolylineTo(HDC dc, const POINT* points, DWORD count) {
  DeviceContext* d = Live(dc);
  if (!d || !points || count == 0 || count > kMaxPathPoints) return FALSE;
  QPainterPath path;
  path.moveTo(d->position.x, d->position.y);
  for (DWORD i = 0; i < count; ++i) path.lineTo(points[i].x, points[i].y);
  BOOL ok = DrawShape(*d, path, false, true);
  if (ok) d->position = points[count - 1];
  return ok;
}

BOOL Arc(HDC dc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcShape(dc, l, t, r, b, xs, ys, xe, ye, ArcKind::Arc);
}
BOOL Chord(HDC dc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcShape(dc, l, t, r, b, xs, ys, xe, ye, ArcKind::Chord);
}
BOOL Pie(HDC dc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcShape(dc, l, t, r, b, xs, ys, xe, ye, ArcKind::Pie);
}
BOOL ArcTo(HDC dc, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  return ArcShape(dc, l, t, r, b, xs, ys, xe, ye, ArcKind::ArcTo);
}

BOOL AngleArc(HDC dc, int x, int y, DWORD radius, float startAngle, float sweepAngle) {
  DeviceContext* d = Live(dc);
  if (!d || !std::isfinite(startAngle) || !std::isfinite(sweepAngle) || radius > kFarAway) return FALSE;
  const double r = radius;
  const QRectF box(x - r, y - r, 2 * r, 2 * r);
  QPainterPath path;
  path.moveTo(d->position.x, d->position.y);
  // More than a full turn draws the circle once.
  path.arcTo(box, std::fmod(startAngle, 360.0f), std::clamp<double>(sweepAngle, -360.0, 360.0));
  const QPointF end = path.currentPosition();
  BOOL ok = DrawShape(*d, path, false, true);
  if (ok) d->position = POINT{static_cast<LONG>(std::lround(end.x())), static_cast<LONG>(std::lround(end.y()))};
  return ok;
}

BOOL BeginPath(HDC dc) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  d->path.clear();
  d->pathState = DeviceContext::PathState::Recording;
  d->pathFigureOpen = false;
  return TRUE;
}

BOOL EndPath(HDC dc) {
  DeviceContext* d = Live(dc);
  if (!d || d->pathState != DeviceContext::PathState::Recording) return FALSE;
  d->pathState = DeviceContext::PathState::Closed;
  return TRUE;
}

BOOL AbortPath(HDC dc) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  d->path.clear();
  d->pathState = DeviceContext::PathState::None;
  d->pathFigureOpen = false;
  return TRUE;
}

BOOL CloseFigure(HDC dc) {
  DeviceContext* d = Live(dc);
  if (!d || d->pathState != DeviceContext::PathState::Recording) return FALSE;
  if (!d->path.empty()) d->path.back().type |= PT_CLOSEFIGURE;
  d->pathFigureOpen = false;
  return TRUE;
}

BOOL FillPath(HDC dc) {
  DeviceContext* d = Live(dc);
  return d ? DrawClosedPath(*d, true, false) : FALSE;
}

BOOL StrokePath(HDC dc) {
  DeviceContext* d = Live(dc);
  return d ? DrawClosedPath(*d, false, true) : FALSE;
}

BOOL StrokeAndFillPath(HDC dc) {
  DeviceContext* d = Live(dc);
  return d ? DrawClosedPath(*d, true, true) : FALSE;
}
