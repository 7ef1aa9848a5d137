#include "printlayout/gui/PageWindow.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>

#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "printlayout/render/PageRenderer.h"

namespace tessaly {

namespace {

constexpr int kScreenDpi = 96;

// Pixels of a length in 0.1 mm on a 96-dpi screen.
double ScreenPixels(std::int32_t tenthsMm) { return tenthsMm * kScreenDpi / 254.0; }

// Draws one page at the width of the widget.
void PaintPage(Project& project, int pageIndex, QPainter& painter, int width, int height) {
  painter.fillRect(0, 0, width, height, Qt::white);
  vel::gdi::PainterCaps caps;
  caps.width = width;
  caps.height = height;
  caps.dpiX = caps.dpiY = kScreenDpi;
  caps.technology = DT_RASDISPLAY;
  const vel::gdi::OwnedDC painterDC(vel::gdi::CreatePainterDC(&painter, caps));
  if (!painterDC) return;
  const HDC dc = painterDC.get();
  // The DC's 0.1-mm mapping gives screen pixels at 96 dpi; the zoom fits the sheet
  // to the width.
  const int sheet = DeviceX(dc, project.pageWidth, 1.0);
  const double zoom = sheet > 0 ? static_cast<double>(width) / sheet : 1.0;
  const RenderFonts fonts(project, kScreenDpi, zoom);
  RenderRequest request;
  request.pageIndex = pageIndex;
  request.dc = dc;
  request.content = ContentRect(project, dc, zoom);
  request.zoom = zoom;
  request.fonts = &fonts;
  renderPage(project, request);
}

class PageWidget : public QWidget {
 public:
  PageWidget(Project& project, int pageIndex) : project_(project), pageIndex_(pageIndex) {
    setMinimumHeight(100);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
  int heightForWidth(int width) const override {
    return static_cast<int>(width * static_cast<double>(project_.pageHeight) / std::max(project_.pageWidth, 1));
  }
  bool hasHeightForWidth() const override { return true; }
  QSize sizeHint() const override {
    const int w = static_cast<int>(ScreenPixels(project_.pageWidth));
    return QSize(w, heightForWidth(w));
  }

 protected:
  void resizeEvent(QResizeEvent*) override { setFixedHeight(heightForWidth(width())); }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    PaintPage(project_, pageIndex_, painter, width(), height());
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, width() - 1, height() - 1);
  }

 private:
  Project& project_;
  int pageIndex_;
};

}  // namespace

QImage RenderPageImage(Project& project, int pageIndex, int width) {
  const int height = static_cast<int>(width * static_cast<double>(project.pageHeight) / std::max(project.pageWidth, 1));
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  QPainter painter(&image);
  PaintPage(project, pageIndex, painter, image.width(), image.height());
  return image;
}

PageWindow::PageWindow(Project& project, QWidget* parent) : QMainWindow(parent), project_(project) {
  setWindowTitle(QString::fromStdString(project.windowTitle));
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  auto* inner = new QWidget(scroll);
  pagesLayout_ = new QVBoxLayout(inner);
  pagesLayout_->setSpacing(12);
  scroll->setWidget(inner);
  setCentralWidget(scroll);
  resize(700, 900);
  refresh();
}

void PageWindow::refresh() {
  while (QLayoutItem* item = pagesLayout_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  for (int i = 1; i < static_cast<int>(project_.pages.size()); ++i)
    pagesLayout_->addWidget(new PageWidget(project_, i));
  pagesLayout_->addStretch(1);
  char status[96];
  std::snprintf(status, sizeof(status), "%d Image(s) and %d Page(s)", project_.totalImages(), project_.pageCount());
  statusBar()->showMessage(status);
}

int PageWindow::pageWidgetCount() const { return pagesLayout_->count() - 1; }

}  // namespace tessaly
