#include "printlayout/gui/view/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tessaly {

namespace {

// a * b / c rounded to nearest (halves away from zero); 0 for c <= 0.
std::int64_t MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c <= 0) return 0;
  const std::int64_t n = a * b;
  return n >= 0 ? (n + c / 2) / c : -((-n + c / 2) / c);
}

int ClampInt(std::int64_t v) {
  constexpr std::int64_t kLimit = 1 << 30;  // far beyond any screen; keeps sums in range
  return static_cast<int>(std::clamp<std::int64_t>(v, -kLimit, kLimit));
}

// Floor division, for rows and columns left of or above the first.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

ViewGeometry::ViewGeometry(ZoomMode mode, std::int32_t pageWidth, std::int32_t pageHeight, int pageCount,
                           QSize viewport)
    : across_(PagesAcross(mode)),
      pageCount_(std::max(pageCount, 0)),
      paperW_(std::max<std::int32_t>(pageWidth, 1)),
      paperH_(std::max<std::int32_t>(pageHeight, 1)),
      viewport_(viewport) {
  const int w = viewport.width();
  const int h = viewport.height();
  int pixels = 0;
  switch (mode) {
    case ZoomMode::PageWidth: pixels = w - 2 * kGap; break;
    case ZoomMode::WholePage:
      pixels = std::min<std::int64_t>(w - 2 * kGap, MulDivRound(h - 2 * kGap, paperW_, paperH_));
      break;
    default: pixels = (w - (across_ + 1) * kGap) / across_; break;
  }
  // A page stays visible in a tiny window, and a freak paper shape cannot make
  // the rows overflow.
  constexpr int kMinPage = 8;
  constexpr int kMaxPage = 100000;
  pageW_ = std::clamp(pixels, kMinPage, kMaxPage);
  pageH_ = static_cast<int>(std::clamp<std::int64_t>(MulDivRound(pageW_, paperH_, paperW_), 1, kMaxPage));
  const int rowWidth = across_ * pageW_ + (across_ - 1) * kGap;
  left_ = std::max(kGap, (w - rowWidth) / 2);
}

QRect ViewGeometry::pageRect(int entry) const {
  if (entry < 1 || entry > pageCount_) return {};
  const int i = entry - 1;
  const int row = i / across_;
  const int col = i % across_;
  return QRect(left_ + col * (pageW_ + kGap), kGap + row * (pageH_ + kGap) - scrollY_, pageW_, pageH_);
}

int ViewGeometry::pageAt(QPoint point) const {
  if (pageCount_ <= 0) return -1;
  const int col = FloorDiv(point.x() - left_, pageW_ + kGap);
  const int row = FloorDiv(point.y() + scrollY_ - kGap, pageH_ + kGap);
  if (col < 0 || col >= across_ || row < 0) return -1;
  const int entry = row * across_ + col + 1;
  return entry <= pageCount_ && pageRect(entry).contains(point) ? entry : -1;
}

int ViewGeometry::nearestPage(QPoint point) const {
  if (pageCount_ <= 0) return -1;
  const int col = std::clamp(FloorDiv(point.x() - left_ + kGap / 2, pageW_ + kGap), 0, across_ - 1);
  const int row = std::clamp(FloorDiv(point.y() + scrollY_ - kGap / 2, pageH_ + kGap), 0, rows() - 1);
  return std::min(row * across_ + col + 1, pageCount_);
}

int ViewGeometry::scrollForPage(int entry) const {
  if (entry < 1 || entry > pageCount_) return scrollY_;
  return std::clamp(((entry - 1) / across_) * (pageH_ + kGap), 0, maxScroll());
}

int ViewGeometry::firstVisiblePage() const {
  if (pageCount_ <= 0) return -1;
  // The first row whose bottom edge lies below the top of the viewport.
  const int above = scrollY_ - kGap - pageH_;
  const int row = above < 0 ? 0 : above / (pageH_ + kGap) + 1;
  return std::min(row * across_ + 1, pageCount_);
}

bool ViewGeometry::isVisible(int entry) const { return pageRect(entry).intersects(QRect(QPoint(0, 0), viewport_)); }

int ViewGeometry::toPixels(std::int64_t tenths) const { return ClampInt(MulDivRound(tenths, pageW_, paperW_)); }

int ViewGeometry::toTenths(std::int64_t pixels) const { return ClampInt(MulDivRound(pixels, paperW_, pageW_)); }

QRect ViewGeometry::toPixels(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) const {
  const int left = toPixels(x);
  const int top = toPixels(y);
  return QRect(left, top, toPixels(std::int64_t(x) + w) - left, toPixels(std::int64_t(y) + h) - top);
}

QRect ViewGeometry::boxOf(int entry, const ImagePlacement& placement) const {
  const QRect page = pageRect(entry);
  if (page.isEmpty()) return {};
  return toPixels(placement.x, placement.y, placement.width, placement.height).translated(page.topLeft());
}

QRect ViewGeometry::contentBox(int entry, const Project& project) const {
  const QRect page = pageRect(entry);
  if (page.isEmpty()) return {};
  const int left = toPixels(project.marginLeft);
  const int top = toPixels(project.marginTop);
  const int right = toPixels(std::int64_t(project.pageWidth) - project.marginRight);
  const int bottom = toPixels(std::int64_t(project.pageHeight) - project.marginBottom);
  return QRect(left, top, right - left, bottom - top).translated(page.topLeft());
}

QPoint HandlePoint(const QRect& box, int handle) {
  const int l = box.x(), t = box.y(), r = RightOf(box), b = BottomOf(box);
  const int cx = (l + r) / 2, cy = (t + b) / 2;
  switch (handle) {
    case 0: return {l, t};
    case 1: return {r, t};
    case 2: return {r, b};
    case 3: return {l, b};
    case 4: return {cx, t};
    case 5: return {r, cy};
    case 6: return {cx, b};
    default: return {l, cy};
  }
}

QRect HandleRect(const QRect& box, int handle) {
  const QPoint p = HandlePoint(box, handle);
  return QRect(p.x() - kHandleSize / 2, p.y() - kHandleSize / 2, kHandleSize, kHandleSize);
}

HandleHit HandleAt(const std::vector<QRect>& boxes, QPoint point) {
  for (int i = static_cast<int>(boxes.size()) - 1; i >= 0; --i)
    for (int h = 0; h < kHandleCount; ++h)
      if (HandleRect(boxes[static_cast<size_t>(i)], h).contains(point)) return {i, h};
  return {};
}

QPoint AxisLocked(QPoint press, QPoint current) {
  const int dx = std::abs(current.x() - press.x());
  const int dy = std::abs(current.y() - press.y());
  return dy < dx ? QPoint(current.x(), press.y()) : QPoint(press.x(), current.y());
}

QPoint ClampToPaper(const QRect& bounds, QPoint d, int pageW, int pageH) {
  int dx = d.x(), dy = d.y();
  if (dx < 0 && bounds.x() + dx < 0) dx = std::min(0, -bounds.x());
  if (dx > 0 && RightOf(bounds) + dx > pageW) dx = std::max(0, pageW - RightOf(bounds));
  if (dy < 0 && bounds.y() + dy < 0) dy = std::min(0, -bounds.y());
  if (dy > 0 && BottomOf(bounds) + dy > pageH) dy = std::max(0, pageH - BottomOf(bounds));
  return {dx, dy};
}

int GridCell(const QRect& content, int columns, int rows, int placements, QPoint point) {
  if (placements <= 0) return -1;
  columns = std::max(columns, 1);
  rows = std::max(rows, 1);
  const auto index = [](int v, int lo, int extent, int count) {
    if (v < lo) return 0;
    if (v >= lo + extent) return count - 1;
    const int cell = extent / count;
    return cell > 0 ? std::min((v - lo) / cell, count - 1) : 0;
  };
  const int column = index(point.x(), content.x(), content.width(), columns);
  const int row = index(point.y(), content.y(), content.height(), rows);
  const int cell = column + columns * row;
  return cell < placements ? cell : placements - 1;
}

Scale ResizeScale(int handle, int dx, int dy, int w, int h) {
  if (handle == 0) dx = -dx, dy = -dy;
  if (handle == 1 || handle == 4) dy = -dy;
  if (handle == 3 || handle == 7) dx = -dx;
  Scale s;
  s.sx = w != 0 ? static_cast<double>(w + dx) / w : 1.0;
  s.sy = h != 0 ? static_cast<double>(h + dy) / h : 1.0;
  if (handle >= 0 && handle <= 3) {
    const double m = std::min(std::abs(s.sx), std::abs(s.sy));
    s.sx = std::copysign(m, s.sx);
    s.sy = std::copysign(m, s.sy);
  }
  if (handle == 4 || handle == 6) s.sx = 1.0;
  if (handle == 5 || handle == 7) s.sy = 1.0;
  return s;
}

QRect ScaleBox(const QRect& box, const QRect& bounds, int handle, Scale scale) {
  const bool aboutRight = handle == 0 || handle == 3 || handle == 4 || handle == 7;
  const bool aboutBottom = handle == 0 || handle == 1 || handle == 4 || handle == 7;
  const double ax = aboutRight ? RightOf(bounds) : bounds.x();
  const double ay = aboutBottom ? BottomOf(bounds) : bounds.y();
  const auto scaled = [](double v, double anchor, double f) {
    return ClampInt(static_cast<std::int64_t>(std::llround(anchor + (v - anchor) * f)));
  };
  int l = scaled(box.x(), ax, scale.sx), r = scaled(RightOf(box), ax, scale.sx);
  int t = scaled(box.y(), ay, scale.sy), b = scaled(BottomOf(box), ay, scale.sy);
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  return QRect(l, t, r - l, b - t);
}

QString PixelSizeText(const ImagePlacement& placement) {
  return QString::asprintf("%dx%d", placement.pixelWidth, placement.pixelHeight);
}

QString BoxText(const ImagePlacement& placement, int entry) {
  if (entry <= 0 || placement.x < 0 || placement.y < 0) return QStringLiteral("Not arranged");
  return QString::asprintf("(%.1f,%.1f),(%.1fx%.1f)", placement.x / 10.0, placement.y / 10.0, placement.width / 10.0,
                           placement.height / 10.0);
}

QString PositionText(int pageNumber, bool onPage, std::int32_t xTenths, std::int32_t yTenths) {
  if (onPage) return QString::asprintf("Page %d [%.1f:%.1f mm]", pageNumber, xTenths / 10.0, yTenths / 10.0);
  return QString::asprintf("%.1f:%.1f mm", xTenths / 10.0, yTenths / 10.0);
}

}  // namespace tessaly
