#include "viewer/view/PageCache.h"

#include <QPainter>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "viewer/view/ViewColours.h"

namespace orvenna {

namespace {

// A kept page of more than this many pixels (256 MB at 4 bytes) is not worth its memory.
constexpr qint64 kMaxCachedPixels = 64LL * 1024 * 1024;
// Below this many source pixels per repaint the library draws fast enough by itself.
constexpr double kDirectSourcePixels = 1.5 * 1024 * 1024;

}  // namespace

const QImage* CPageCache::Get(CImageInterface& image, int page, QSize size, COLORREF background,
                              std::uint64_t generation) {
  if (size.isEmpty() || static_cast<qint64>(size.width()) * size.height() > kMaxCachedPixels) return nullptr;
  if (!image_.isNull() && image_.size() == size && page_ == page && background_ == background &&
      generation_ == generation)
    return &image_;
  Clear();
  QImage drawn(size, QImage::Format_RGB32);
  if (drawn.isNull()) return nullptr;
  drawn.fill(ToQColor(background));
  {
    QPainter painter(&drawn);
    vel::gdi::PainterCaps caps;
    caps.width = size.width();
    caps.height = size.height();
    const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&painter, caps));
    if (!dc) return nullptr;
    // The library's own scaler averages the pixels each shown pixel covers, in one
    // pass and far quicker than a painter's smooth transform of the whole photo.
    int tw = 0, th = 0;
    const vel::gdi::OwnedBitmap reduced(image.CreateThumbnailHBITMAPEx(size.width(), size.height(), QUALITY_HIGH, 0,
                                                                       background, 0, 24, &tw, &th, page));
    if (reduced && tw > 0 && th > 0) {
      const vel::gdi::OwnedDC memory(CreateCompatibleDC(nullptr));
      const vel::gdi::ScopedSelect select(memory.get(), reduced.get());
      if (!StretchBlt(dc.get(), 0, 0, size.width(), size.height(), memory.get(), 0, 0, tw, th, SRCCOPY)) return nullptr;
    } else {
      RECT dest{0, 0, size.width(), size.height()};
      RECT src{0, 0, image.GetWidth(page), image.GetHeight(page)};
      if (!image.DrawImage(dc.get(), &dest, &src, page)) return nullptr;
    }
  }
  image_ = std::move(drawn);
  page_ = page;
  background_ = background;
  generation_ = generation;
  return &image_;
}

void CPageCache::Clear() {
  image_ = QImage();
  page_ = -1;
}

bool WorthCaching(QSize shown, double scale, QSize client) {
  if (scale <= 0 || scale >= 1) return false;
  const double visible =
      static_cast<double>(std::min(shown.width(), client.width())) * std::min(shown.height(), client.height());
  return visible / (scale * scale) > kDirectSourcePixels;
}

}  // namespace orvenna
