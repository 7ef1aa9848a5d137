// Drawing of the page view: each page rendered once into an image kept while
// it stays on screen, so that scrolling and drag feedback only blit, then the
// selection, the outlines of a move or resize, the grid cell and the band.
#include <QPainter>
#include <QPaintEvent>

#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "printlayout/gui/view/PageView.h"
#include "printlayout/render/PageRenderer.h"
#include "printlayout/render/PictureCache.h"

namespace tessaly {

namespace {

constexpr int kScreenDpi = 96;
constexpr int kPaperShadow = 3;

}  // namespace

// ---- painting ----------------------------------------------------------------------------------

void PageView::dropPageImages() { pageImages_.clear(); }

const QImage& PageView::pageImage(int entry) {
  auto it = pageImages_.find(entry);
  if (it != pageImages_.end()) return it->second;
  const int w = geometry_.pagePixelWidth(), h = geometry_.pagePixelHeight();
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    vel::gdi::PainterCaps caps;
    caps.width = w;
    caps.height = h;
    caps.dpiX = caps.dpiY = kScreenDpi;
    caps.technology = DT_RASDISPLAY;
    const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&painter, caps));
    if (dc) {
      // The DC's 0.1-mm mapping gives 96-dpi pixels; the zoom stretches the
      // sheet to the width the view gives the page.
      const int sheet = DeviceX(dc.get(), project_.pageWidth, 1.0);
      const double zoom = sheet > 0 ? static_cast<double>(w) / sheet : 1.0;
      const RenderFonts fonts(project_, kScreenDpi, zoom);
      RenderRequest request;
      request.pageIndex = entry;
      request.dc = dc.get();
      request.content = ContentRect(project_, dc.get(), zoom);
      request.zoom = zoom;
      request.fonts = &fonts;
      request.pictures = pictures_.get();
      renderPage(project_, request);
    }
  }
  return pageImages_.emplace(entry, std::move(image)).first->second;
}

void PageView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), palette().color(QPalette::Dark));
  const QRect visible(QPoint(0, 0), viewport()->size());
  std::map<int, QImage> kept;
  for (int entry = std::max(geometry_.firstVisiblePage(), 1); entry <= geometry_.pageCount(); ++entry) {
    const QRect page = geometry_.pageRect(entry);
    if (page.top() >= visible.height()) break;
    if (!page.intersects(visible)) continue;
    painter.fillRect(page.translated(kPaperShadow, kPaperShadow), QColor(0, 0, 0, 90));
    if (page.intersects(event->rect())) painter.drawImage(page.topLeft(), pageImage(entry));
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(page.adjusted(-1, -1, 0, 0));
    if (auto it = pageImages_.find(entry); it != pageImages_.end()) kept.insert(*it);
  }
  // Only the pages on screen stay cached.
  pageImages_.swap(kept);
  paintFeedback(painter);
}

void PageView::paintFeedback(QPainter& painter) {
  const QColor highlight = palette().color(QPalette::Highlight);
  const bool handles = !project_.autoArrange;
  for (const ImagePlacement* p : selection_) {
    const QRect box = boxOf(p);
    if (box.isNull()) continue;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(highlight, handles ? 1 : 2));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (!handles) continue;
    for (int h = 0; h < kHandleCount; ++h) {
      painter.setPen(QColor(30, 30, 30));
      painter.setBrush(Qt::white);
      painter.drawRect(HandleRect(box, h).adjusted(0, 0, -1, -1));
    }
  }
  painter.setBrush(Qt::NoBrush);
  for (const QRect& outline : outlines_) {
    const QRect r = outline.translated(0, -geometry_.scrollY()).adjusted(0, 0, -1, -1);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(r);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(r);
  }
  if (!cellOutline_.isNull()) {
    painter.setPen(QPen(highlight, 3));
    painter.drawRect(cellOutline_.translated(0, -geometry_.scrollY()).adjusted(1, 1, -2, -2));
  }
  if (tracking_ == kRubberBand) {
    const QRect band = QRect(toViewport(pressContent_), toViewport(currentContent_)).normalized();
    QColor fill = highlight;
    fill.setAlpha(50);
    painter.setPen(QPen(highlight, 1));
    painter.setBrush(fill);
    painter.drawRect(band);
  }
}

}  // namespace tessaly
