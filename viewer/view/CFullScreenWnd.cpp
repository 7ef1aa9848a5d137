#include "viewer/view/CFullScreenWnd.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/view/ViewColours.h"
#include "viewer/view/ViewGeometry.h"

namespace orvenna {

CFullScreenWnd::CFullScreenWnd(COrvennaDoc* doc, IViewerHost* host)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), doc_(doc), host_(host) {
  setObjectName(QStringLiteral("Full screeen mode"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::BlankCursor);
  if (QWidget* main = host ? host->MainWindow() : nullptr) setWindowIcon(main->windowIcon());
}

void CFullScreenWnd::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const COLORREF colour = doc_ ? doc_->m_crWorkArea : 0;
  const QColor fill = ToQColor(colour);
  if (!doc_ || !doc_->m_imgCurrent.IsLoaded()) {
    p.fillRect(rect(), fill);
    return;
  }
  CImageInterface& img = doc_->m_imgCurrent;
  const int page = doc_->m_nPage;
  const QRect target = FullScreenRect(QSize(img.GetWidth(0), img.GetHeight(0)), size());
  QRegion background(rect());
  if (!img.IsVectorImage()) background -= target;
  for (const QRect& r : background) p.fillRect(r, fill);
  if (target.isEmpty()) return;
  // The window repaints the same picture whenever it is uncovered; keep it drawn.
  if (!img.IsVectorImage()) {
    if (const QImage* drawn = cache_.Get(img, page, target.size(), colour, 0)) {
      p.drawImage(target.topLeft(), *drawn);
      return;
    }
  }
  vel::gdi::PainterCaps caps;
  caps.width = width();
  caps.height = height();
  const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&p, caps));
  if (!dc) return;
  RECT dest{target.left(), target.top(), target.left() + target.width(), target.top() + target.height()};
  img.DrawImage(dc.get(), &dest, nullptr, page);
}

void CFullScreenWnd::keyReleaseEvent(QKeyEvent* event) {
  if (!event->isAutoRepeat()) End();
}

void CFullScreenWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) End();
}

void CFullScreenWnd::focusOutEvent(QFocusEvent*) { End(); }

void CFullScreenWnd::End() {
  if (ending_) return;
  ending_ = true;
  IViewerHost* host = host_;
  // Posted: the command destroys this window, which must not happen inside its own
  // event handler.
  QTimer::singleShot(0, this, [host] { host->Commands().Execute(ID_END_FULL_SCREEN); });
}

}  // namespace orvenna
