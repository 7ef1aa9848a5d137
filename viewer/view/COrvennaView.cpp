#include "viewer/view/COrvennaView.h"

#include <QContextMenuEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTimerEvent>

#include <algorithm>
#include <cstdint>

#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/view/LensWindow.h"
#include "viewer/view/PageCache.h"
#include "viewer/view/ViewColours.h"
#include "viewer/view/ViewCursors.h"
#include "viewer/view/ViewGeometry.h"

namespace orvenna {

namespace {

constexpr int kCursorTimerMs = 100;

// The status-bar text for the picture under the mouse.
std::string StatusText(COrvennaDoc* doc) {
  if (!doc || !doc->m_imgCurrent.IsLoaded()) return "Ready";
  CImageInterface& img = doc->m_imgCurrent;
  const int pages = img.GetPageCount();
  QString text =
      pages < 2 ? QString::asprintf("Width = %d pixel; height = %d pixel; color depth = %d bpp", img.GetWidth(0),
                                    img.GetHeight(0), img.GetColorDepth())
                : QString::asprintf("Page %d of %d; width = %d pixel; height = %d pixel; color depth = %d bpp",
                                    doc->m_nPage + 1, pages, img.GetWidth(0), img.GetHeight(0), img.GetColorDepth());
  return text.toStdString();
}

// Draws part of a page through the library onto a painter.
void DrawThroughDC(QPainter& painter, QSize device, CImageInterface& img, RECT dest, RECT src, int page) {
  vel::gdi::PainterCaps caps;
  caps.width = device.width();
  caps.height = device.height();
  const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&painter, caps));
  if (dc) img.DrawImage(dc.get(), &dest, &src, page);
}

RECT Offset(RECT r, int dx, int dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

}  // namespace

struct COrvennaView::Impl {
  Impl(COrvennaView* view, COrvennaDoc* document, IViewerHost* viewerHost) : q(view), doc(document), host(viewerHost) {}

  COrvennaView* q;
  QPointer<COrvennaDoc> doc;
  IViewerHost* host;
  QPointer<QWidget> mainWindow;  // tells whether the host still stands at destruction
  QPointer<QMdiSubWindow> child;
  QSize allowance;
  bool allowanceMeasured = false;
  bool drag = false;
  QPoint anchor;      // hand mode: the grabbed point in document coordinates
  QPoint lensCentre;  // lens mode: in client coordinates
  CLensWnd* lens = nullptr;
  int timer = 0;
  ViewCursor cursor = ViewCursor::Arrow;
  QSize scrollSize;
  CPageCache cache;
  std::uint64_t generation = 1;  // bumped whenever the document says it changed

  bool HasImage() const { return doc && doc->m_imgCurrent.IsLoaded(); }
  bool HandMode() const { return host->Settings().m_bHandMode != 0; }
  QPoint Scroll() const { return QPoint(q->horizontalScrollBar()->value(), q->verticalScrollBar()->value()); }

  QSize PageSize(int page) const { return QSize(doc->m_imgCurrent.GetWidth(page), doc->m_imgCurrent.GetHeight(page)); }

  // Where the page shown lies; `frameRule` applies the image window's allowance.
  DrawGeometry Geometry(bool frameRule) const {
    if (!HasImage()) return {};
    DrawInput in;
    in.image = PageSize(doc->m_nPage);
    in.zoom = doc->m_dZoom;
    in.client = q->viewport()->size();
    in.scroll = Scroll();
    if (frameRule && child && allowanceMeasured) {
      in.childOuter = child->size();
      in.allowance = allowance;
    }
    return ComputeDrawGeometry(in);
  }

  void SetScrollSize(QSize size) {
    scrollSize = size;
    UpdateScrollBars();
  }

  void UpdateScrollBars() {
    const QSize client = q->viewport()->size();
    QScrollBar* h = q->horizontalScrollBar();
    QScrollBar* v = q->verticalScrollBar();
    h->setRange(0, std::max(0, scrollSize.width() - client.width()));
    v->setRange(0, std::max(0, scrollSize.height() - client.height()));
    h->setPageStep(std::max(1, client.width()));
    v->setPageStep(std::max(1, client.height()));
    h->setSingleStep(std::max(1, client.width() / 10));
    v->setSingleStep(std::max(1, client.height() / 10));
  }

  // The scroll size follows the displayed size whenever both sides are positive.
  void UpdateScrollSize() {
    const DrawGeometry g = Geometry(true);
    if (g.display.width() > 0 && g.display.height() > 0 && g.display != scrollSize) SetScrollSize(g.display);
  }

  void SetCursor(ViewCursor kind) {
    if (cursor == kind) return;
    cursor = kind;
    if (kind == ViewCursor::Arrow)
      q->viewport()->unsetCursor();
    else
      q->viewport()->setCursor(MakeViewCursor(kind));
  }

  void PaintView(QPainter& p) {
    const QRect client = q->viewport()->rect();
    const COLORREF colour = doc ? doc->m_crWorkArea : 0;
    if (!HasImage()) {
      p.fillRect(client, ToQColor(colour));
      return;
    }
    CImageInterface& img = doc->m_imgCurrent;
    const bool vector = img.IsVectorImage() != 0;
    const DrawGeometry g = Geometry(true);
    // A raster picture covers its own rectangle, so only the rest is filled: no
    // flicker of the work-area colour through the picture.
    QRegion background(client);
    if (!vector) background -= g.imageRect();
    for (const QRect& r : background) p.fillRect(r, ToQColor(colour));
    if (g.scale <= 0) return;
    const QPoint s = Scroll();
    if (!vector && WorthCaching(g.display, g.scale, client.size())) {
      if (const QImage* page = cache.Get(img, doc->m_nPage, g.display, colour, generation)) {
        p.drawImage(QPoint(g.a, g.b), *page, QRect(s.x(), s.y(), client.width() - 2 * g.a, client.height() - 2 * g.b));
        return;
      }
    }
    cache.Clear();
    DrawThroughDC(p, client.size(), img, Offset(g.dest, -s.x(), -s.y()), g.src, doc->m_nPage);
  }

  void PaintLens(QPainter& p, const QRect& client) {
    const COLORREF colour = doc ? doc->m_crWorkArea : 0;
    // The work-area colour shows wherever the magnified rectangle leaves the picture;
    // the picture then covers its own part.
    p.fillRect(client, ToQColor(colour));
    if (!HasImage()) return;
    const DrawGeometry g = Geometry(false);
    if (g.scale <= 0) return;
    const RECT src = LensSourceRect(g, Scroll(), lensCentre, client.size(), host->Settings().m_dLensMagnification);
    if (src.right <= src.left || src.bottom <= src.top) return;
    const RECT dest{client.left(), client.top(), client.left() + client.width(), client.top() + client.height()};
    DrawThroughDC(p, lens->size(), doc->m_imgCurrent, dest, src, doc->m_nPage);
  }

  void PlaceLens(QPoint centre) {
    lensCentre = centre;
    const CViewerSettings& s = host->Settings();
    lens->setGeometry(LensWindowRect(centre, s.m_nLensCX, s.m_nLensCY));
    lens->update();
  }

  // Keeps the cursor in step with the mode, and drops the lens once the mouse left.
  void CursorUpkeep() {
    const QPoint pos = q->viewport()->mapFromGlobal(QCursor::pos());
    if (q->viewport()->rect().contains(pos)) {
      if ((q->hasFocus() || q->viewport()->hasFocus()) && !drag)
        SetCursor(HandMode() ? ViewCursor::Hand : ViewCursor::Lens);
    } else {
      lens->hide();
      drag = false;
      SetCursor(ViewCursor::Arrow);
    }
  }
};

COrvennaView::COrvennaView(COrvennaDoc* doc, IViewerHost* host, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), host_(host), d_(new Impl(this, doc, host)) {
  d_->mainWindow = host ? host->MainWindow() : nullptr;
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  // Every pixel of the client area is painted: no system background first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  d_->lens = new CLensWnd(viewport(), [this](QPainter& p, const QRect& r) { d_->PaintLens(p, r); });
  if (doc) {
    connect(doc, &COrvennaDoc::ViewsChanged, this, [this] {
      ++d_->generation;
      d_->UpdateScrollSize();
      viewport()->update();
      if (d_->lens->isVisible()) d_->lens->update();
    });
  }
  if (d_->HasImage()) d_->SetScrollSize(d_->PageSize(0));
  d_->timer = startTimer(kCursorTimerMs);
}

COrvennaView::~COrvennaView() {
  // The status line tells what is left, unless the main window itself is going (it is
  // hidden before its children are destroyed).
  if (host_ && d_->mainWindow && d_->mainWindow->isVisible()) host_->SetStatusText(StatusText(d_->doc));
  if (d_->timer) killTimer(d_->timer);
  delete d_->lens;
  delete d_;
}

// The view's size inside its own border: what the picture may fill when no scroll
// bar is needed, so the border counts as part of the window's frame.
QSize COrvennaView::InnerSize() const {
  const int border = 2 * frameWidth();
  return size() - QSize(border, border);
}

void COrvennaView::OnInitialUpdate(QMdiSubWindow* child, const QSize& workArea) {
  if (!d_->HasImage()) return;
  const QSize image = d_->PageSize(0);
  d_->SetScrollSize(image);
  if (!child) return;
  d_->child = child;
  d_->allowance = child->size() - InnerSize();
  d_->allowanceMeasured = true;
  if (child->isMaximized()) return;
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  if (auto wanted = InitialChildSize(image, workArea, d_->allowance, bar)) child->resize(*wanted);
  KeepInside(child, workArea);
}

// A window the area placed beside others must not reach past the area's edge, where
// nobody sees its scroll bars.
void COrvennaView::KeepInside(QMdiSubWindow* child, const QSize& area) {
  QPoint at = child->pos();
  at.setX(std::max(0, std::min(at.x(), area.width() - child->width())));
  at.setY(std::max(0, std::min(at.y(), area.height() - child->height())));
  if (at != child->pos()) child->move(at);
}

void COrvennaView::FitToPageBar(QMdiSubWindow* child, const QSize& pageBar) {
  if (!child || !d_->HasImage()) return;
  if (!d_->allowanceMeasured) {
    // Measured with the bar already in the window: the bar is not part of the frame.
    d_->allowance = child->size() - InnerSize() - QSize(0, pageBar.height());
    d_->allowanceMeasured = true;
    d_->child = child;
  }
  if (child->isMaximized()) return;
  QSize wanted = PageBarChildSize(d_->PageSize(0), pageBar, d_->allowance);
  // A big picture would make a window larger than the area holding it.
  QMdiArea* area = child->mdiArea();
  if (area) wanted = wanted.boundedTo(area->viewport()->size());
  child->resize(wanted);
  if (area) KeepInside(child, area->viewport()->size());
}

void COrvennaView::paintEvent(QPaintEvent*) {
  d_->UpdateScrollSize();
  QPainter painter(viewport());
  d_->PaintView(painter);
}

void COrvennaView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  d_->UpdateScrollBars();
  d_->UpdateScrollSize();
}

void COrvennaView::scrollContentsBy(int, int) { viewport()->update(); }

void COrvennaView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  d_->drag = true;
  if (d_->HandMode()) {
    d_->SetCursor(ViewCursor::HandClosed);
    d_->anchor = pos + d_->Scroll();
  } else {
    d_->SetCursor(ViewCursor::LensPressed);
    d_->PlaceLens(pos);
    d_->lens->show();
    d_->lens->raise();
  }
}

void COrvennaView::mouseMoveEvent(QMouseEvent* event) {
  host_->SetStatusText(StatusText(d_->doc));
  if (!d_->drag || !d_->HasImage()) return;
  const QPoint pos = event->position().toPoint();
  if (d_->HandMode()) {
    const auto target = HandScrollTarget(d_->anchor, pos, d_->PageSize(0), d_->doc->m_dZoom, viewport()->size());
    if (target) {
      horizontalScrollBar()->setValue(target->x());
      verticalScrollBar()->setValue(target->y());
    }
  } else {
    d_->PlaceLens(pos);
  }
}

void COrvennaView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
  d_->lens->hide();
  d_->drag = false;
  d_->SetCursor(d_->HandMode() ? ViewCursor::Hand : ViewCursor::Lens);
}

void COrvennaView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseDoubleClickEvent(event);
  host_->Commands().Execute(ID_FULL_SCREEN);
}

void COrvennaView::contextMenuEvent(QContextMenuEvent* event) {
  if (d_->doc && d_->doc->m_pActivePopup) return;
  host_->ShowPopupMenu(IDR_MENU_CONTEXT, event->globalPos());
}

void COrvennaView::timerEvent(QTimerEvent* event) {
  if (event->timerId() == d_->timer)
    d_->CursorUpkeep();
  else
    QAbstractScrollArea::timerEvent(event);
}

}  // namespace orvenna
