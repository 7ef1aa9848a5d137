#include "printlayout/gui/view/PageView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <unordered_set>

#include "printlayout/render/PictureCache.h"

namespace tessaly {

namespace {

constexpr int kAutoScrollBand = 10;       // pixels at the top and bottom edge
constexpr int kAutoScrollInterval = 100;  // ms
constexpr int kAutoScrollPerDepth = 4;    // pixels per tick for each pixel into the band

// The sizing shape of each handle, in handle order.
constexpr Qt::CursorShape kHandleCursors[kHandleCount] = {Qt::SizeFDiagCursor, Qt::SizeBDiagCursor, Qt::SizeFDiagCursor,
                                                          Qt::SizeBDiagCursor, Qt::SizeVerCursor,   Qt::SizeHorCursor,
                                                          Qt::SizeVerCursor,   Qt::SizeHorCursor};
Qt::CursorShape HandleCursor(int handle) { return kHandleCursors[std::clamp(handle, 0, kHandleCount - 1)]; }

bool Shown(const ImagePlacement& placement) { return placement.x >= 0 && placement.y >= 0; }

QRect Union(const QRect& a, const QRect& b) {
  if (a.isNull()) return b;
  const int l = std::min(a.x(), b.x()), t = std::min(a.y(), b.y());
  return QRect(l, t, std::max(RightOf(a), RightOf(b)) - l, std::max(BottomOf(a), BottomOf(b)) - t);
}

bool Inside(const QRect& inner, const QRect& outer) {
  return inner.x() >= outer.x() && inner.y() >= outer.y() && RightOf(inner) <= RightOf(outer) &&
         BottomOf(inner) <= BottomOf(outer);
}

// Unlinks a placement from its entry; null when it is in none.
std::unique_ptr<ImagePlacement> TakeOut(Project& project, ImagePlacement* placement) {
  const int entry = project.pageOf(placement);
  if (entry < 0) return nullptr;
  auto& list = project.pages[static_cast<size_t>(entry)]->placements;
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == placement; });
  std::unique_ptr<ImagePlacement> owned = std::move(*it);
  list.erase(it);
  return owned;
}

int IndexIn(const ProjectPage& page, const ImagePlacement* placement) {
  for (size_t i = 0; i < page.placements.size(); ++i)
    if (page.placements[i].get() == placement) return static_cast<int>(i);
  return -1;
}

}  // namespace

PageView::PageView(Project& project, QWidget* parent)
    : QAbstractScrollArea(parent), project_(project), pictures_(std::make_unique<PictureCache>()) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  // Always there, so that a page fitted to the width does not make the bar
  // appear and disappear as it changes the width.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  autoScroll_.setInterval(kAutoScrollInterval);
  connect(&autoScroll_, &QTimer::timeout, this, [this] { autoScrollTick(); });
  // Photos are decoded off the GUI thread: a page shows placeholders first and
  // its pictures as they arrive, so scrolling never waits for a decode.
  pictures_->setBackgroundLoading([this] {
    dropPageImages();
    viewport()->update();
  });
  relayout();
}

bool PageView::picturesPending() const { return pictures_->pending() > 0; }

PageView::~PageView() = default;

// ---- zoom and pages --------------------------------------------------------------

void PageView::setZoomMode(ZoomMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  relayout();
  dropPageImages();
  viewport()->update();
  updateCurrentPage();
}

int PageView::currentPage() const {
  if (pressedPage_ >= 1 && pressedPage_ <= project_.pageCount()) return pressedPage_;
  return geometry_.firstVisiblePage();
}

void PageView::goToPage(int pageIndex) {
  if (pageIndex < 1 || pageIndex > project_.pageCount()) return;
  verticalScrollBar()->setValue(geometry_.scrollForPage(pageIndex));
  pressedPage_ = pageIndex;
  updateCurrentPage();
}

void PageView::updateCurrentPage() {
  const int page = currentPage();
  if (page == reportedPage_) return;
  reportedPage_ = page;
  emit currentPageChanged(page);
}

void PageView::relayout() {
  const int scroll = geometry_.scrollY();
  geometry_ = ViewGeometry(mode_, project_.pageWidth, project_.pageHeight, project_.pageCount(), viewport()->size());
  geometry_.setScrollY(std::clamp(scroll, 0, geometry_.maxScroll()));
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, geometry_.maxScroll());
  bar->setPageStep(std::max(viewport()->height(), 1));
  bar->setSingleStep(40);
  geometry_.setScrollY(bar->value());
  if (pressedPage_ > project_.pageCount()) pressedPage_ = -1;
}

void PageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  relayout();
  dropPageImages();
  updateCurrentPage();
}

void PageView::scrollContentsBy(int, int) {
  geometry_.setScrollY(verticalScrollBar()->value());
  if (pressedPage_ >= 1 && !geometry_.isVisible(pressedPage_)) pressedPage_ = -1;
  viewport()->update();
  updateCurrentPage();
}

// ---- selection -------------------------------------------------------------------------

bool PageView::isSelected(const ImagePlacement* placement) const {
  return std::find(selection_.begin(), selection_.end(), placement) != selection_.end();
}

bool PageView::pruneSelection() {
  std::unordered_set<const ImagePlacement*> present;
  for (const auto& page : project_.pages)
    for (const auto& p : page->placements) present.insert(p.get());
  const auto before = selection_.size();
  selection_.erase(
      std::remove_if(selection_.begin(), selection_.end(), [&](ImagePlacement* p) { return !present.count(p); }),
      selection_.end());
  return selection_.size() != before;
}

void PageView::setSelection(const Selection& selection) {
  selection_.clear();
  for (ImagePlacement* p : selection)
    if (p && !isSelected(p)) selection_.push_back(p);
  pruneSelection();
  viewport()->update();
  emit selectionChanged();
}

void PageView::selectAllOnCurrentPage() {
  const int page = currentPage();
  if (page < 1 || page > project_.pageCount()) return;
  Selection all;
  for (const auto& p : project_.pages[static_cast<size_t>(page)]->placements) all.push_back(p.get());
  setSelection(all);
}

void PageView::clearSelection() {
  if (selection_.empty()) return;
  selection_.clear();
  viewport()->update();
  emit selectionChanged();
}

std::vector<ImagePlacement*> PageView::shownSelection() const {
  std::vector<ImagePlacement*> shown;
  for (ImagePlacement* p : selection_)
    if (Shown(*p) && project_.pageOf(p) >= 1) shown.push_back(p);
  return shown;
}

QRect PageView::selectionBoundsPixels() const {
  QRect bounds;
  for (const ImagePlacement* p : shownSelection())
    bounds = Union(bounds, geometry_.toPixels(p->x, p->y, p->width, p->height));
  return bounds;
}

QRect PageView::selectionBoundsTenths() const {
  QRect bounds;
  for (const ImagePlacement* p : shownSelection()) bounds = Union(bounds, QRect(p->x, p->y, p->width, p->height));
  return bounds;
}

// ---- the project changed ------------------------------------------------------------------

void PageView::refresh() {
  if (tracking_ != kIdle) endTracking();
  const bool changed = pruneSelection();
  relayout();
  dropPageImages();
  viewport()->update();
  if (changed) emit selectionChanged();
  updateCurrentPage();
}

void PageView::dropPictureCache() {
  pictures_->clear();
  dropPageImages();
  viewport()->update();
}

void PageView::edited() {
  project_.setModified(true);
  relayout();
  dropPageImages();
  viewport()->update();
  emit projectEdited();
  updateCurrentPage();
}

// ---- hit tests ------------------------------------------------------------------------------

int PageView::pageAt(QPoint viewportPoint) const { return geometry_.pageAt(viewportPoint); }

ImagePlacement* PageView::placementAt(QPoint viewportPoint) const {
  const int entry = pageAt(viewportPoint);
  if (entry < 1 || entry >= static_cast<int>(project_.pages.size())) return nullptr;
  const auto& list = project_.pages[static_cast<size_t>(entry)]->placements;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (Shown(**it) && geometry_.boxOf(entry, **it).contains(viewportPoint)) return it->get();
  return nullptr;
}

QRect PageView::boxOf(const ImagePlacement* placement) const {
  if (!placement || !Shown(*placement)) return {};
  const int entry = project_.pageOf(placement);
  return entry >= 1 ? geometry_.boxOf(entry, *placement) : QRect();
}

// ---- mouse ------------------------------------------------------------------------------------------

bool PageView::setModifiers(Qt::KeyboardModifiers modifiers) {
  const bool shift = modifiers.testFlag(Qt::ShiftModifier);
  const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
  const bool changed = shift != shift_ || ctrl != ctrl_;
  shift_ = shift;
  ctrl_ = ctrl;
  return changed;
}

void PageView::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  lastPoint_ = point;
  if (event->button() == Qt::RightButton) {
    if (tracking_ != kIdle) return;
    setFocus(Qt::MouseFocusReason);
    pruneSelection();
    if (ImagePlacement* p = placementAt(point); p && !isSelected(p)) setSelection({p});
    emit contextMenuWanted(viewport()->mapToGlobal(point));
    return;
  }
  if (event->button() != Qt::LeftButton || tracking_ != kIdle) return;
  setFocus(Qt::MouseFocusReason);
  setModifiers(event->modifiers());
  pressLeft(point);
}

void PageView::pressLeft(QPoint point) {
  if (pruneSelection()) emit selectionChanged();
  const int page = pageAt(point);
  if (page >= 1) pressedPage_ = page;
  updateCurrentPage();
  pressContent_ = currentContent_ = toContent(point);
  pressPage_ = targetPage_ = page;
  displacement_ = QPoint();
  outlines_.clear();
  cellOutline_ = QRect();

  // A handle of the selection, tested from the last selected to the first.
  if (!project_.autoArrange) {
    std::vector<QRect> boxes;
    for (const ImagePlacement* p : shownSelection()) boxes.push_back(boxOf(p));
    const HandleHit hit = HandleAt(boxes, point);
    if (hit.handle >= 0) {
      bounds_ = selectionBoundsPixels();
      handle_ = hit.handle;
      tracking_ = kResizing;
      viewport()->setCursor(HandleCursor(handle_));
      return;
    }
  }

  if (ImagePlacement* placement = placementAt(point)) {
    if (shift_) {
      const auto it = std::find(selection_.begin(), selection_.end(), placement);
      if (it != selection_.end())
        selection_.erase(it);
      else
        selection_.push_back(placement);
      viewport()->update();
      emit selectionChanged();
      return;
    }
    if (!isSelected(placement)) setSelection({placement});
    if (project_.autoArrange) {
      swap_ = ctrl_ && selection_.size() == 1;
      gridCell_ = GridCell(geometry_.contentBox(page, project_), project_.arrangeColumns, project_.arrangeRows,
                           static_cast<int>(project_.pages[static_cast<size_t>(page)]->placements.size()), point);
    } else {
      bounds_ = selectionBoundsPixels();
    }
    tracking_ = kMoving;
    viewport()->setCursor(Qt::SizeAllCursor);
    viewport()->update();
    return;
  }

  if (page >= 1) {
    if (!shift_) clearSelection();
    tracking_ = kRubberBand;
    viewport()->update();
    return;
  }
  clearSelection();
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  lastPoint_ = point;
  setModifiers(event->modifiers());
  emitPointerInfo(point);
  if (tracking_ == kIdle) {
    updateHoverCursor(point);
    return;
  }
  track(point);
  updateAutoScroll(point);
}

void PageView::track(QPoint point) {
  switch (tracking_) {
    case kMoving: trackMove(point); break;
    case kDraggingToInspector: trackDragOut(point); break;
    case kResizing: {
      currentContent_ = toContent(point);
      const QPoint d = currentContent_ - pressContent_;
      const Scale scale = ResizeScale(handle_, d.x(), d.y(), bounds_.width(), bounds_.height());
      outlines_.clear();
      for (const ImagePlacement* p : shownSelection()) {
        const QRect box = ScaleBox(geometry_.toPixels(p->x, p->y, p->width, p->height), bounds_, handle_, scale);
        const QRect page = geometry_.pageRect(project_.pageOf(p));
        outlines_.push_back(box.translated(toContent(page.topLeft())));
      }
      break;
    }
    case kRubberBand: currentContent_ = toContent(point); break;
    case kIdle: return;
  }
  viewport()->update();
}

void PageView::trackMove(QPoint point) {
  // Out of the view and over the inspector's tree: the images go there as a drag.
  if (!viewport()->rect().contains(point) && overDropWidget(viewport()->mapToGlobal(point))) {
    outlines_.clear();
    cellOutline_ = QRect();
    tracking_ = kDraggingToInspector;
    viewport()->setCursor(Qt::DragMoveCursor);
    dropTarget_->dragEnter(selection_);
    dropTarget_->dragMove(viewport()->mapToGlobal(point));
    return;
  }
  if (project_.autoArrange) {
    if (warnAutoArrange_ && toContent(point) != pressContent_) {
      askAutoArrangeWarning();
      return;
    }
    currentContent_ = toContent(point);
    targetPage_ = pageAt(point);
    cellOutline_ = QRect();
    gridCell_ = -1;
    if (targetPage_ >= 1) {
      const ProjectPage& page = *project_.pages[static_cast<size_t>(targetPage_)];
      gridCell_ = GridCell(geometry_.contentBox(targetPage_, project_), project_.arrangeColumns, project_.arrangeRows,
                           static_cast<int>(page.placements.size()), point);
      if (gridCell_ >= 0)
        cellOutline_ = geometry_.boxOf(targetPage_, *page.placements[static_cast<size_t>(gridCell_)])
                           .translated(0, geometry_.scrollY());
    }
    return;
  }
  QPoint current = toContent(point);
  if (ctrl_) current = AxisLocked(pressContent_, current);
  currentContent_ = current;
  targetPage_ = pageAt(toViewport(current));
  outlines_.clear();
  if (targetPage_ < 1 || pressPage_ < 1) return;
  const QPoint target = toContent(geometry_.pageRect(targetPage_).topLeft());
  const QPoint origin = toContent(geometry_.pageRect(pressPage_).topLeft());
  // Relative to the page corners, so that a move to another page keeps the
  // position on the paper.
  const QPoint d = (current - target) - (pressContent_ - origin);
  displacement_ = ClampToPaper(bounds_, d, geometry_.pagePixelWidth(), geometry_.pagePixelHeight());
  for (const ImagePlacement* p : shownSelection())
    outlines_.push_back(geometry_.toPixels(p->x, p->y, p->width, p->height).translated(target + displacement_));
}

void PageView::trackDragOut(QPoint point) {
  const QPoint global = viewport()->mapToGlobal(point);
  if (!viewport()->rect().contains(point) && overDropWidget(global)) {
    dropTarget_->dragMove(global);
    return;
  }
  // Back in the view (or off the tree): the drag ends and the move goes on.
  if (dropTarget_) dropTarget_->dragLeave();
  tracking_ = kMoving;
  viewport()->setCursor(Qt::SizeAllCursor);
  trackMove(point);
}

bool PageView::overDropWidget(QPoint global) const {
  if (!dropTarget_) return false;
  QWidget* widget = dropTarget_->dropWidget();
  return widget && widget->isVisible() && widget->rect().contains(widget->mapFromGlobal(global));
}

void PageView::askAutoArrangeWarning() {
  // The warning ends this mouse action whatever the answer; the move starts
  // with the next one.
  endTracking();
  if (!askAutoArrange_) return;
  const AutoArrangeAnswer answer = askAutoArrange_();
  if (answer.dontAskMore) warnAutoArrange_ = false;
  if (answer.turnOff && project_.autoArrange) {
    project_.autoArrange = 0;
    edited();
  }
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || tracking_ == kIdle) return;
  const QPoint point = event->position().toPoint();
  lastPoint_ = point;
  setModifiers(event->modifiers());
  autoScroll_.stop();
  // The release point counts as the last move (unless it would raise the
  // auto-arrange warning, which belongs to a move).
  if (!(tracking_ == kMoving && project_.autoArrange && warnAutoArrange_)) track(point);
  finishTracking(point);
}

void PageView::finishTracking(QPoint point) {
  const Tracking state = tracking_;
  const bool autoArrange = project_.autoArrange != 0;
  // Whatever ran during the drag, the selection holds only placements that
  // are still in the project.
  if (pruneSelection()) emit selectionChanged();
  switch (state) {
    case kMoving:
      if (autoArrange)
        finishGridMove();
      else
        finishMove();
      break;
    case kResizing: finishResize(); break;
    case kRubberBand: finishRubberBand(); break;
    case kDraggingToInspector: finishDrop(viewport()->mapToGlobal(point)); break;
    case kIdle: break;
  }
  endTracking();
  updateHoverCursor(point);
}

void PageView::endTracking() {
  tracking_ = kIdle;
  autoScroll_.stop();
  outlines_.clear();
  cellOutline_ = QRect();
  handle_ = -1;
  gridCell_ = -1;
  swap_ = false;
  viewport()->unsetCursor();
  viewport()->update();
}

void PageView::finishMove() {
  if (selection_.empty()) return;
  if (targetPage_ < 1) {
    bool moved = false;
    for (ImagePlacement* p : Selection(selection_)) {
      if (project_.pageOf(p) == 0) continue;
      project_.movePlacement(p, 0);
      moved = true;
    }
    if (moved) edited();
    return;
  }
  if (currentContent_ == pressContent_ && targetPage_ == pressPage_) return;
  const std::vector<ImagePlacement*> moving = shownSelection();
  if (moving.empty()) return;
  // The displacement in 0.1 mm, limited again on the paper itself so that a
  // box stopped at the edge ends exactly on it.
  const QPoint d(geometry_.toTenths(displacement_.x()), geometry_.toTenths(displacement_.y()));
  const QPoint dt = ClampToPaper(selectionBoundsTenths(), d, project_.pageWidth, project_.pageHeight);
  for (ImagePlacement* p : moving) {
    if (project_.pageOf(p) != targetPage_) project_.movePlacement(p, targetPage_);
    p->x += dt.x();
    p->y += dt.y();
    p->laidOut = 1;
  }
  edited();
}

void PageView::finishGridMove() {
  if (targetPage_ < 1 || targetPage_ >= static_cast<int>(project_.pages.size()) || gridCell_ < 0) return;
  if (selection_.empty()) return;
  auto& target = project_.pages[static_cast<size_t>(targetPage_)]->placements;
  if (gridCell_ >= static_cast<int>(target.size())) return;
  if (swap_ && selection_.size() == 1) {
    ImagePlacement* moved = selection_.front();
    ImagePlacement* other = target[static_cast<size_t>(gridCell_)].get();
    const int from = project_.pageOf(moved);
    if (other == moved || from < 0) return;
    auto& source = project_.pages[static_cast<size_t>(from)]->placements;
    std::swap(source[static_cast<size_t>(IndexIn(*project_.pages[static_cast<size_t>(from)], moved))],
              target[static_cast<size_t>(gridCell_)]);
  } else {
    if (selection_.size() == 1) {
      // Dropped on its own cell or the one after it: the order stays as it is.
      const ImagePlacement* moved = selection_.front();
      const int index = IndexIn(*project_.pages[static_cast<size_t>(targetPage_)], moved);
      if (index >= 0 && (index == gridCell_ || index == gridCell_ - 1)) return;
    }
    int before = 0;
    for (const ImagePlacement* p : selection_) {
      const int index = IndexIn(*project_.pages[static_cast<size_t>(targetPage_)], p);
      if (index >= 0 && index < gridCell_) ++before;
    }
    std::vector<std::unique_ptr<ImagePlacement>> taken;
    for (ImagePlacement* p : selection_)
      if (auto owned = TakeOut(project_, p)) taken.push_back(std::move(owned));
    auto at = static_cast<size_t>(std::clamp(gridCell_ - before, 0, static_cast<int>(target.size())));
    for (auto& owned : taken) target.insert(target.begin() + static_cast<std::ptrdiff_t>(at++), std::move(owned));
  }
  project_.renumber();
  applyAutoArrange(project_);
  edited();
}

void PageView::finishResize() {
  if (currentContent_ == pressContent_) return;
  const std::vector<ImagePlacement*> sized = shownSelection();
  if (sized.empty()) return;
  const QPoint d = currentContent_ - pressContent_;
  const Scale scale = ResizeScale(handle_, d.x(), d.y(), bounds_.width(), bounds_.height());
  // Scaled on the paper itself: the same factors, without the pixel rounding.
  const QRect bounds = selectionBoundsTenths();
  for (ImagePlacement* p : sized) {
    const QRect box = ScaleBox(QRect(p->x, p->y, p->width, p->height), bounds, handle_, scale);
    p->x = box.x();
    p->y = box.y();
    p->width = box.width();
    p->height = box.height();
    p->laidOut = 1;
  }
  edited();
}

void PageView::finishRubberBand() {
  const QRect band = QRect(toViewport(pressContent_), toViewport(currentContent_)).normalized();
  bool changed = false;
  for (int entry = 1; entry <= geometry_.pageCount(); ++entry) {
    if (!geometry_.pageRect(entry).intersects(band)) continue;
    for (const auto& p : project_.pages[static_cast<size_t>(entry)]->placements) {
      if (!Shown(*p) || isSelected(p.get()) || !Inside(geometry_.boxOf(entry, *p), band)) continue;
      selection_.push_back(p.get());
      changed = true;
    }
  }
  if (changed) emit selectionChanged();
}

void PageView::finishDrop(QPoint global) {
  const Selection images = selection_;
  selection_.clear();
  emit selectionChanged();
  if (!dropTarget_) return;
  // The inspector may remove or move the images; they are not touched here after.
  const bool changed = dropTarget_->drop(images, global);
  refresh();
  if (changed) {
    project_.setModified(true);
    emit projectEdited();
  }
}

// ---- auto-scroll ---------------------------------------------------------------------------------------

void PageView::updateAutoScroll(QPoint point) {
  autoScrollStep_ = 0;
  const int h = viewport()->height();
  const bool scrolling = tracking_ == kMoving || tracking_ == kResizing || tracking_ == kRubberBand;
  if (scrolling && point.x() >= 0 && point.x() < viewport()->width()) {
    if (point.y() >= 0 && point.y() < kAutoScrollBand)
      autoScrollStep_ = -(kAutoScrollBand - point.y()) * kAutoScrollPerDepth;
    else if (point.y() < h && point.y() >= h - kAutoScrollBand)
      autoScrollStep_ = (point.y() - (h - kAutoScrollBand) + 1) * kAutoScrollPerDepth;
  }
  if (autoScrollStep_ == 0)
    autoScroll_.stop();
  else if (!autoScroll_.isActive())
    autoScroll_.start();
}

void PageView::autoScrollTick() {
  if (tracking_ == kIdle || autoScrollStep_ == 0) {
    autoScroll_.stop();
    return;
  }
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + autoScrollStep_);
  track(lastPoint_);
}

// ---- keys ------------------------------------------------------------------------------------------------

void PageView::keyPressEvent(QKeyEvent* event) {
  Qt::KeyboardModifiers modifiers = event->modifiers();
  // The modifier key itself counts as held while it is pressed.
  if (event->key() == Qt::Key_Shift) modifiers |= Qt::ShiftModifier;
  if (event->key() == Qt::Key_Control) modifiers |= Qt::ControlModifier;
  if (tracking_ != kIdle) {
    if (setModifiers(modifiers)) track(lastPoint_);
    return;
  }
  setModifiers(modifiers);
  QScrollBar* bar = verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_Escape:
      if (fullScreen_) emit leaveFullScreenRequested();
      break;
    case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Home: bar->setValue(bar->minimum()); break;
    case Qt::Key_End: bar->setValue(bar->maximum()); break;
    case Qt::Key_Delete: deleteSelection(shift_); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
  }
  event->accept();
}

void PageView::keyReleaseEvent(QKeyEvent* event) {
  Qt::KeyboardModifiers modifiers = event->modifiers();
  if (event->key() == Qt::Key_Shift) modifiers &= ~Qt::KeyboardModifiers(Qt::ShiftModifier);
  if (event->key() == Qt::Key_Control) modifiers &= ~Qt::KeyboardModifiers(Qt::ControlModifier);
  if (setModifiers(modifiers) && tracking_ != kIdle) track(lastPoint_);
  QAbstractScrollArea::keyReleaseEvent(event);
}

void PageView::deleteSelection(bool shift) {
  pruneSelection();
  if (selection_.empty()) return;
  const Selection images = selection_;
  selection_.clear();
  if (!project_.autoArrange && !shift) {
    for (ImagePlacement* p : images) project_.movePlacement(p, 0);
  } else {
    for (ImagePlacement* p : images) project_.removeFromProject(p);
    applyAutoArrange(project_);
  }
  emit selectionChanged();
  edited();
}

void PageView::contextMenuEvent(QContextMenuEvent* event) {
  // The mouse asks on the right press; this is the keyboard's menu key.
  if (event->reason() != QContextMenuEvent::Mouse) emit contextMenuWanted(event->globalPos());
  event->accept();
}

// ---- pointer feedback ---------------------------------------------------------------------------------------

void PageView::updateHoverCursor(QPoint point) {
  if (!project_.autoArrange) {
    std::vector<QRect> boxes;
    for (const ImagePlacement* p : shownSelection()) boxes.push_back(boxOf(p));
    const HandleHit hit = HandleAt(boxes, point);
    if (hit.handle >= 0) {
      viewport()->setCursor(HandleCursor(hit.handle));
      return;
    }
  }
  viewport()->unsetCursor();
}

void PageView::emitPointerInfo(QPoint point) {
  QString pixelSize, box, position;
  if (const ImagePlacement* p = placementAt(point)) {
    pixelSize = PixelSizeText(*p);
    box = BoxText(*p, project_.pageOf(p));
  }
  const int page = pageAt(point);
  const int nearest = page >= 1 ? page : geometry_.nearestPage(point);
  const QPoint corner = nearest >= 1 ? geometry_.pageRect(nearest).topLeft() : QPoint();
  const QPoint rel = point - corner;
  position = PositionText(page >= 1 ? project_.pageNumber(page) : 0, page >= 1, geometry_.toTenths(rel.x()),
                          geometry_.toTenths(rel.y()));
  emit pointerInfo(pixelSize, box, position);
}

}  // namespace tessaly
