#include "viewer/view/ViewGeometry.h"

#include <algorithm>
#include <cmath>

#include "lorimer/ImageInterface.h"
#include "viewer/core/ViewerSettings.h"

namespace orvenna {

namespace {

constexpr int kLadderDefault = 10;  // 100 %

int LadderIndexOf(double value) {
  for (size_t i = 0; i < kZoomLadder.size(); ++i)
    if (kZoomLadder[i] == value) return static_cast<int>(i);
  return -1;
}

// Half the room left beside a picture, or 0 when it fills the direction.
int CentreOffset(int client, int display) { return display < client ? (client - display) / 2 : 0; }

LONG Truncate(double v) {
  // Values far outside any picture are clamped so the conversion stays defined.
  return static_cast<LONG>(std::clamp(v, -2.0e9, 2.0e9));
}

}  // namespace

int LadderPosition(double zoom, double zoomBeforeFit) {
  int index = zoom != kFitZoom ? LadderIndexOf(zoom) : -1;
  if (index < 0) index = LadderIndexOf(zoomBeforeFit);
  return index < 0 ? kLadderDefault : index;
}

double ZoomInValue(double zoom, double zoomBeforeFit) {
  const int next = LadderPosition(zoom, zoomBeforeFit) + 1;
  return next < static_cast<int>(kZoomLadder.size()) ? kZoomLadder[static_cast<size_t>(next)] : zoom;
}

double ZoomOutValue(double zoom, double zoomBeforeFit) {
  const int previous = LadderPosition(zoom, zoomBeforeFit) - 1;
  return previous >= 0 ? kZoomLadder[static_cast<size_t>(previous)] : zoom;
}

void ToggleFit(double& zoom, double& zoomBeforeFit) {
  if (zoom != kFitZoom) {
    zoomBeforeFit = zoom;
    zoom = kFitZoom;
  } else {
    zoom = zoomBeforeFit;
  }
}

DrawGeometry ComputeDrawGeometry(const DrawInput& in) {
  DrawGeometry g;
  const int w = in.image.width(), h = in.image.height();
  const int cw = in.client.width(), ch = in.client.height();
  if (w <= 0 || h <= 0) return g;
  if (in.zoom >= 0) {
    g.display = QSize(static_cast<int>(w * in.zoom), static_cast<int>(h * in.zoom));
    g.a = CentreOffset(cw, g.display.width());
    g.b = CentreOffset(ch, g.display.height());
    if (!in.childOuter.isEmpty()) {
      if (in.childOuter.width() - in.allowance.width() < cw) g.a = 0;
      if (in.childOuter.height() - in.allowance.height() < ch) g.b = 0;
    }
    g.scale = in.zoom;
  } else {
    int dw = w, dh = h;
    if (QSize(w, h) != in.client) CImageInterface::CalculateProportionallyRect(&dw, &dh, cw, ch);
    g.display = QSize(dw, dh);
    g.a = CentreOffset(cw, dw);
    g.b = CentreOffset(ch, dh);
    g.scale = static_cast<double>(dw) / w;
  }
  // A picture that shrinks to nothing has no pixels to show.
  if (g.scale <= 0) {
    g.scale = 0;
    return g;
  }
  const int sx = in.scroll.x(), sy = in.scroll.y(), a = g.a, b = g.b;
  g.dest = RECT{sx + a, sy + b, sx + cw - a, sy + ch - b};
  g.src = RECT{Truncate(sx / g.scale), Truncate(sy / g.scale), Truncate((sx + cw - 2 * a) / g.scale),
               Truncate((sy + ch - 2 * b) / g.scale)};
  return g;
}

std::optional<QPoint> HandScrollTarget(QPoint& anchor, QPoint cursor, QSize image0, double zoom, QSize client) {
  if (zoom < 0) return std::nullopt;
  if (image0.width() * zoom <= client.width()) anchor.setX(cursor.x());
  if (image0.height() * zoom <= client.height()) anchor.setY(cursor.y());
  if (cursor == anchor) return std::nullopt;
  return anchor - cursor;
}

QRect LensWindowRect(QPoint centre, int lensCX, int lensCY) {
  const int hx = std::max(lensCX, 0) / 2, hy = std::max(lensCY, 0) / 2;
  return QRect(centre.x() - hx, centre.y() - hy, 2 * hx, 2 * hy);
}

RECT LensSourceRect(const DrawGeometry& view, QPoint scroll, QPoint centre, QSize lensClient, double magnification) {
  if (view.scale <= 0 || magnification <= 0) return RECT{};
  const double s = view.scale;
  const double halfW = lensClient.width() / magnification / 2, halfH = lensClient.height() / magnification / 2;
  const double x = scroll.x() + centre.x() - view.a, y = scroll.y() + centre.y() - view.b;
  return RECT{Truncate((x - halfW) / s), Truncate((y - halfH) / s), Truncate((x + halfW) / s),
              Truncate((y + halfH) / s)};
}

QRect FullScreenRect(QSize image0, QSize screen) {
  if (image0.isEmpty() || screen.isEmpty()) return QRect();
  const double factor = std::max({static_cast<double>(image0.width()) / screen.width(),
                                  static_cast<double>(image0.height()) / screen.height(), 1.0});
  const int w = static_cast<int>(image0.width() / factor), h = static_cast<int>(image0.height() / factor);
  return QRect((screen.width() - w) / 2, (screen.height() - h) / 2, w, h);
}

std::optional<QSize> InitialChildSize(QSize image, QSize workArea, QSize allowance, int scrollBar) {
  const int aw = allowance.width(), ah = allowance.height();
  const bool fitsW = image.width() + aw <= workArea.width();
  const bool fitsH = image.height() + ah <= workArea.height();
  if (fitsW && fitsH) return QSize(image.width() + aw, image.height() + ah);
  if (!fitsW && fitsH)
    return QSize(workArea.width() - aw, std::min(image.height() + ah + 3 + scrollBar, workArea.height()));
  if (fitsW && !fitsH)
    return QSize(std::min(image.width() + aw + 3 + scrollBar, workArea.width()), workArea.height() - ah);
  return std::nullopt;
}

QSize PageBarChildSize(QSize image, QSize pageBar, QSize allowance) {
  return QSize(std::max(pageBar.width(), image.width() + 4) + allowance.width(),
               allowance.height() + image.height() + pageBar.height() + 3);
}

}  // namespace orvenna
