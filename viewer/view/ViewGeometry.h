// The arithmetic of the image view, kept apart from the widgets so it can be checked
// on its own: the zoom ladder, where and how large the page is drawn, what a drag in
// hand mode scrolls to, where the lens sits and what it magnifies, the full-screen
// placement and the size an image window takes when it first shows.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

#include "platform/base/wintypes.h"

namespace orvenna {

inline constexpr double kFitZoom = -1.0;

// --- Zoom ladder.
// The ladder index of the scale shown: the scale itself, else (and in fit mode) the
// scale before fit, else 100 %.
int LadderPosition(double zoom, double zoomBeforeFit);
// The scale one ladder step up or down; unchanged at the ends of the ladder.
double ZoomInValue(double zoom, double zoomBeforeFit);
double ZoomOutValue(double zoom, double zoomBeforeFit);
// Fit mode on (remembering the scale) or back to the remembered scale.
void ToggleFit(double& zoom, double& zoomBeforeFit);

// --- Drawing.
struct DrawInput {
  QSize image;        // w x h of the page shown
  double zoom = 1.0;  // kFitZoom: fit within the client area
  QSize client;       // cw x ch
  QPoint scroll;      // sx, sy
  // The image window's outer size and the frame allowance measured at the first
  // display; an empty outer size leaves the offsets alone.
  QSize childOuter;
  QSize allowance;
};

struct DrawGeometry {
  QSize display;     // dw x dh: the scroll size
  int a = 0, b = 0;  // offsets of a picture smaller than the client area
  double scale = 0;  // effective scale; 0 when nothing can be drawn
  RECT dest{};       // in view coordinates (scroll position included)
  RECT src{};        // in image pixels
  // Where the picture lies in the client area before scrolling, for the background.
  QRect imageRect() const { return QRect(a, b, display.width(), display.height()); }
};

DrawGeometry ComputeDrawGeometry(const DrawInput& in);

// --- Hand mode.
// The scroll position a drag moves to, or none when it does not move. In a direction
// in which the picture (page 0 at `zoom`) is not larger than the client area the
// anchor follows the cursor, so the drag does not move that way.
std::optional<QPoint> HandScrollTarget(QPoint& anchor, QPoint cursor, QSize image0, double zoom, QSize client);

// --- Lens.
// The lens window around `centre`: its size is the lens size rounded down to even.
QRect LensWindowRect(QPoint centre, int lensCX, int lensCY);
// The image pixels the lens shows: `magnification` times what the view shows around
// the lens centre (client coordinates).
RECT LensSourceRect(const DrawGeometry& view, QPoint scroll, QPoint centre, QSize lensClient, double magnification);

// --- Full screen.
// The page whole, reduced (never enlarged) to the screen by page 0's size, centred.
QRect FullScreenRect(QSize image0, QSize screen);

// --- First display.
// The image window's size for a picture of `image` (page 0) in the main window's
// work area; none keeps the window's own size. `allowance` is the window's outer size
// minus the view's; `scrollBar` the thickness of a scroll bar, added where one is
// bound to appear so it does not hide a strip of the picture.
std::optional<QSize> InitialChildSize(QSize image, QSize workArea, QSize allowance, int scrollBar);
// The size after the page bar was added below the view.
QSize PageBarChildSize(QSize image, QSize pageBar, QSize allowance);

}  // namespace orvenna
