#include "viewer/view/ViewCursors.h"

#include <QPainter>
#include <QPixmap>

namespace orvenna {

namespace {

// A magnifying glass with its hot spot in the middle of the glass; pressed, the
// glass is tinted so the user sees the lens is active.
QCursor Magnifier(bool pressed) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(19.5, 19.5), QPointF(28.5, 28.5));
  p.setPen(QPen(Qt::white, 4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(pressed ? QColor(120, 170, 255, 170) : QColor(255, 255, 255, 110));
  p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
  p.setPen(QPen(Qt::black, 1.5));
  p.drawLine(QPointF(8, 12), QPointF(16, 12));
  p.drawLine(QPointF(12, 8), QPointF(12, 16));
  p.end();
  return QCursor(pixmap, 12, 12);
}

}  // namespace

QCursor MakeViewCursor(ViewCursor kind) {
  switch (kind) {
    case ViewCursor::Hand: return QCursor(Qt::OpenHandCursor);
    case ViewCursor::HandClosed: return QCursor(Qt::ClosedHandCursor);
    case ViewCursor::Lens: return Magnifier(false);
    case ViewCursor::LensPressed: return Magnifier(true);
    case ViewCursor::Arrow: break;
  }
  return QCursor(Qt::ArrowCursor);
}

}  // namespace orvenna
