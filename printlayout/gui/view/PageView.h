// The page view of the print-layout window: the printable pages drawn by the
// page renderer at the zoom of the mode, the selection with its handles, and
// the mouse and keyboard work on it (select, move within and between pages and
// to the not-arranged area, resize, rubber band, grid reordering in
// auto-arrange mode, auto-scroll).
//
// Everything the user does is written back into the project's placements; the
// view then emits projectEdited() and the window refreshes the other views.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "printlayout/gui/GuiTypes.h"
#include "printlayout/gui/view/ViewGeometry.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/model/Project.h"

class QPainter;

namespace tessaly {

class PictureCache;

class PageView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Tracking states, as numbered in the interaction rules.
  enum Tracking { kIdle = 0, kMoving = 1, kResizing = 2, kDraggingToInspector = 4, kRubberBand = 5 };

  explicit PageView(Project& project, QWidget* parent = nullptr);
  ~PageView() override;

  // ---- zoom and pages ------------------------------------------------------
  ZoomMode zoomMode() const { return mode_; }
  void setZoomMode(ZoomMode mode);
  // The page entry (1 ... n-1) at the top of the view, or the one made current.
  int currentPage() const;
  // Scrolls so that the page entry is at the top and makes it current.
  void goToPage(int pageIndex);
  // Where the pages are, in view pixels, at the current size and scroll.
  const ViewGeometry& geometry() const { return geometry_; }

  // ---- selection --------------------------------------------------------------
  const Selection& selection() const { return selection_; }
  void setSelection(const Selection& selection);
  // Every placement of the current page.
  void selectAllOnCurrentPage();
  void clearSelection();

  // ---- the project changed elsewhere ----------------------------------------
  // Re-lays the pages out and repaints; drops from the selection every
  // placement that is no longer in the project. Call after any change the view
  // did not make itself.
  void refresh();
  // Forgets cached pictures (their files may have changed).
  void dropPictureCache();
  // Whether pictures of the pages on show are still being made.
  bool picturesPending() const;

  // ---- collaborators ----------------------------------------------------------
  // The project inspector, for dragging images onto its tree (may be null).
  void setDropTarget(ImageDropTarget* target) { dropTarget_ = target; }
  // Asks the auto-arrange warning; the window shows the "Warning" dialog, tests
  // answer directly. Without a function the move simply does not start.
  void setAutoArrangeQuestion(std::function<AutoArrangeAnswer()> ask) { askAutoArrange_ = std::move(ask); }
  // Whether the warning may still be shown (cleared by "Do not ask me later").
  bool autoArrangeWarningAllowed() const { return warnAutoArrange_; }
  void setAutoArrangeWarningAllowed(bool allowed) { warnAutoArrange_ = allowed; }

  // ---- state, for the window and tests -----------------------------------------
  Tracking tracking() const { return tracking_; }
  // The page entry under a point of the viewport, or -1.
  int pageAt(QPoint viewportPoint) const;
  // The topmost placement under a point of the viewport, or null.
  ImagePlacement* placementAt(QPoint viewportPoint) const;
  // A placement's box in viewport pixels (empty for one not on a shown page).
  QRect boxOf(const ImagePlacement* placement) const;

 signals:
  void selectionChanged();
  // The view changed the project (moved, resized, removed, reordered); it has
  // already set the modified flag and run any auto-arrangement the change needs.
  void projectEdited();
  // The page at the top of the view changed.
  void currentPageChanged(int pageIndex);
  // Status texts for the pointer: the pixel size "%dx%d" of the placement
  // under it (or empty), its box "(%.1f,%.1f),(%.1fx%.1f)" in mm or
  // "Not arranged" (or empty), and "Page %d [%.1f:%.1f mm]" or "%.1f:%.1f mm".
  void pointerInfo(const QString& pixelSize, const QString& box, const QString& position);
  // Escape in full-screen mode.
  void leaveFullScreenRequested();
  // Right button: the window shows the page view's context menu at `global`.
  void contextMenuWanted(QPoint global);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 public:
  // Whether the view is in full-screen mode (Escape leaves it); set by the window.
  void setFullScreenMode(bool on) { fullScreen_ = on; }

 private:
  // Implementation state; the helper that builds this file may add members.
  Project& project_;
  ZoomMode mode_ = ZoomMode::WholePage;
  ViewGeometry geometry_;
  Selection selection_;
  Tracking tracking_ = kIdle;
  ImageDropTarget* dropTarget_ = nullptr;
  std::function<AutoArrangeAnswer()> askAutoArrange_;
  bool warnAutoArrange_ = true;
  bool fullScreen_ = false;
  std::unique_ptr<PictureCache> pictures_;
  QTimer autoScroll_;

  // ---- layout and drawing ----
  void relayout();
  void dropPageImages();
  const QImage& pageImage(int entry);
  void paintFeedback(QPainter& painter);
  // After the view changed the project: modified flag, page images, repaint, signal.
  void edited();

  // ---- selection helpers ----
  bool isSelected(const ImagePlacement* placement) const;
  // Drops placements that left the project; true when the selection changed.
  bool pruneSelection();
  // Selected placements drawn on a printable page, and their boxes relative to
  // each one's page corner, in pixels or 0.1 mm.
  std::vector<ImagePlacement*> shownSelection() const;
  QRect selectionBoundsPixels() const;
  QRect selectionBoundsTenths() const;

  // ---- tracking ----
  void pressLeft(QPoint point);
  void track(QPoint point);
  void trackMove(QPoint point);
  void trackDragOut(QPoint point);
  void finishTracking(QPoint point);
  void finishMove();
  void finishGridMove();
  void finishResize();
  void finishRubberBand();
  void finishDrop(QPoint global);
  void endTracking();
  void askAutoArrangeWarning();
  bool overDropWidget(QPoint global) const;
  void updateAutoScroll(QPoint point);
  void autoScrollTick();
  bool setModifiers(Qt::KeyboardModifiers modifiers);
  void deleteSelection(bool shift);
  void updateHoverCursor(QPoint point);
  void emitPointerInfo(QPoint point);
  void updateCurrentPage();
  // Viewport point <-> the same point on the scrolled content.
  QPoint toContent(QPoint point) const { return point + QPoint(0, geometry_.scrollY()); }
  QPoint toViewport(QPoint point) const { return point - QPoint(0, geometry_.scrollY()); }

  std::map<int, QImage> pageImages_;
  QPoint pressContent_;    // press point on the scrolled content
  QPoint currentContent_;  // current point (axis-locked while Ctrl is held)
  QPoint lastPoint_;       // last pointer position in the viewport
  int pressPage_ = -1;
  int targetPage_ = -1;
  QRect bounds_;         // selection bounds relative to its page corner, pixels
  QPoint displacement_;  // clamped move, pixels
  int handle_ = -1;
  bool shift_ = false;
  bool ctrl_ = false;
  int gridCell_ = -1;
  bool swap_ = false;
  int autoScrollStep_ = 0;
  int pressedPage_ = -1;         // the page last pressed on
  int reportedPage_ = -1;        // last currentPageChanged value
  std::vector<QRect> outlines_;  // feedback boxes, content coordinates
  QRect cellOutline_;            // grid cell under the pointer, content coordinates
};

}  // namespace tessaly
