// A page drawn once at the size it is shown. Drawing a large photo reduced makes the
// library read every source pixel, which is far too slow to do on every repaint while
// the user scrolls; the reduced page is kept and repaints copy from it.
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>

#include "platform/base/wintypes.h"

class CImageInterface;

namespace orvenna {

class CPageCache {
 public:
  // The page `page` of `image` drawn at `size` on `background`; `generation` changes
  // whenever the picture may have changed. Null when the size is out of reach (the
  // caller then draws directly).
  const QImage* Get(CImageInterface& image, int page, QSize size, COLORREF background, std::uint64_t generation);
  void Clear();

 private:
  QImage image_;
  int page_ = -1;
  COLORREF background_ = 0;
  std::uint64_t generation_ = 0;
};

// Whether a reduced page is cheaper to keep than to draw afresh on every repaint:
// when the source pixels a repaint would read are many more than it shows.
bool WorthCaching(QSize shown, double scale, QSize client);

}  // namespace orvenna
