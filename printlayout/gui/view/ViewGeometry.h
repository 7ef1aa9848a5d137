// The pixel geometry of the page view, free of widgets: where each printable
// page lies for a zoom mode and viewport size, the conversion between view
// pixels and 0.1 mm on the paper, and the hit tests and sums of the mouse work
// (handles, grid cells, move clamping, resize scaling).
//
// Rectangles are QRects whose right and bottom edges are x + width and
// y + height (exclusive), as the boxes on the paper are.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

#include "printlayout/gui/GuiTypes.h"
#include "printlayout/model/Project.h"

namespace tessaly {

// Far edges of a rectangle, exclusive (QRect's right() is inclusive).
inline int RightOf(const QRect& r) { return r.x() + r.width(); }
inline int BottomOf(const QRect& r) { return r.y() + r.height(); }

class ViewGeometry {
 public:
  static constexpr int kGap = 16;  // between pages and around them

  ViewGeometry() = default;
  // Lays out `pageCount` printable pages of paper pageWidth x pageHeight
  // (0.1 mm) for the mode in a viewport of the given size.
  ViewGeometry(ZoomMode mode, std::int32_t pageWidth, std::int32_t pageHeight, int pageCount, QSize viewport);

  int across() const { return across_; }
  int pageCount() const { return pageCount_; }
  int rows() const { return pageCount_ <= 0 ? 0 : (pageCount_ + across_ - 1) / across_; }
  int pagePixelWidth() const { return pageW_; }
  int pagePixelHeight() const { return pageH_; }
  QSize viewport() const { return viewport_; }
  // Height of all page rows with their gaps, and the scroll range over it.
  int contentHeight() const { return kGap + rows() * (pageH_ + kGap); }
  int maxScroll() const { return contentHeight() > viewport_.height() ? contentHeight() - viewport_.height() : 0; }

  int scrollY() const { return scrollY_; }
  void setScrollY(int y) { scrollY_ = y; }

  // Page entry (1 ... pageCount) in viewport pixels at the current scroll;
  // empty for an entry that is not a printable page.
  QRect pageRect(int entry) const;
  // The entry whose paper holds the point, or -1 (the gaps are no page).
  int pageAt(QPoint point) const;
  // The entry nearest to the point (for positions off the pages), or -1.
  int nearestPage(QPoint point) const;
  // Scroll position that puts the entry's row at the top.
  int scrollForPage(int entry) const;
  // First entry of the topmost row that is visible, or -1 without pages.
  int firstVisiblePage() const;
  // Whether any part of the entry's paper shows in the viewport.
  bool isVisible(int entry) const;

  // 0.1 mm <-> view pixels at the current zoom, rounded to nearest.
  int toPixels(std::int64_t tenths) const;
  int toTenths(std::int64_t pixels) const;
  // A box on the paper (0.1 mm) relative to the paper's corner, in pixels.
  QRect toPixels(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) const;
  // A placement's box in viewport pixels on its entry.
  QRect boxOf(int entry, const ImagePlacement& placement) const;
  // The paper less the four margins of the project, in viewport pixels.
  QRect contentBox(int entry, const Project& project) const;

 private:
  int across_ = 1;
  int pageCount_ = 0;
  std::int32_t paperW_ = 1;
  std::int32_t paperH_ = 1;
  int pageW_ = 1;
  int pageH_ = 1;
  int left_ = kGap;  // x of the first column
  QSize viewport_;
  int scrollY_ = 0;
};

// ---- handles ---------------------------------------------------------------------
constexpr int kHandleSize = 13;
constexpr int kHandleCount = 8;
// 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left, 4 top middle,
// 5 right middle, 6 bottom middle, 7 left middle.
QPoint HandlePoint(const QRect& box, int handle);
// The 13 x 13 square centred on the handle's point.
QRect HandleRect(const QRect& box, int handle);

struct HandleHit {
  int box = -1;  // index into the boxes given
  int handle = -1;
};
// The handle under the point, testing the boxes from the last to the first.
HandleHit HandleAt(const std::vector<QRect>& boxes, QPoint point);

// ---- moving ------------------------------------------------------------------------
// With Ctrl the move keeps to one axis: the smaller distance from the press
// point is dropped.
QPoint AxisLocked(QPoint press, QPoint current);
// Limits a displacement so that `bounds` (relative to the page corner) stays on
// a page of pageW x pageH in the direction it moves.
QPoint ClampToPaper(const QRect& bounds, QPoint displacement, int pageW, int pageH);

// ---- auto-arrange grid ----------------------------------------------------------------
// Index into the page's placement list under the point, or -1 when the page has
// no placements. `content` is the page less its margins.
int GridCell(const QRect& content, int columns, int rows, int placements, QPoint point);

// ---- resizing ---------------------------------------------------------------------------
struct Scale {
  double sx = 1.0;
  double sy = 1.0;
};
// Factors for dragging `handle` of a w x h selection by (dx, dy); corner
// handles scale uniformly by the factor of smaller magnitude.
Scale ResizeScale(int handle, int dx, int dy, int w, int h);
// A box scaled about the edges of `bounds` opposite the handle (any unit),
// rounded to nearest and normalised to a non-negative size.
QRect ScaleBox(const QRect& box, const QRect& bounds, int handle, Scale scale);

// ---- status texts ---------------------------------------------------------------------------
// "%dx%d" of the placement.
QString PixelSizeText(const ImagePlacement& placement);
// "(%.1f,%.1f),(%.1fx%.1f)" in mm, or "Not arranged" for one in entry 0 or
// with a negative position.
QString BoxText(const ImagePlacement& placement, int entry);
// "Page %d [%.1f:%.1f mm]" with the page number on a page, "%.1f:%.1f mm"
// off the pages.
QString PositionText(int pageNumber, bool onPage, std::int32_t xTenths, std::int32_t yTenths);

}  // namespace tessaly
