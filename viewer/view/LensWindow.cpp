#include "viewer/view/LensWindow.h"

#include <QPainter>

namespace orvenna {

CLensWnd::CLensWnd(QWidget* parent, Painter painter) : QFrame(parent), painter_(std::move(painter)) {
  setObjectName(QStringLiteral("Magnify"));
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  // Everything inside the frame is painted each time: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The view keeps the mouse while the lens follows it.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  hide();
}

void CLensWnd::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (painter_) painter_(p, contentsRect());
  drawFrame(&p);
}

}  // namespace orvenna
