// Pictures for the page view, kept between paints at about the size they are
// drawn: a 12-megapixel photo drawn 300 pixels wide is decoded once (a JPEG at
// 1/2, 1/4 or 1/8 of its size through the library's reduced decode), kept as
// a screen-sized bitmap, and dropped when its file changes (size or time) or
// when the cache outgrows its budget (least recently drawn first).
//
// Printing and export never use it: they load every picture at full size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/gdi/gdi.h"
#include "printlayout/model/Project.h"

namespace tessaly {

// What the renderer asks for each placement's picture when the request carries
// a source (see RenderRequest::pictures).
class PictureSource {
 public:
  virtual ~PictureSource() = default;
  // Draws the placement's plane into `rect` on `dc`. False when the picture
  // cannot be loaded (the renderer then leaves the area empty).
  virtual bool drawPicture(HDC dc, const RECT& rect, const ImagePlacement& image) = 0;
};

class PictureCache : public PictureSource {
 public:
  static constexpr std::size_t kDefaultBudget = std::size_t(256) << 20;

  explicit PictureCache(std::size_t budgetBytes = kDefaultBudget);
  ~PictureCache() override;
  PictureCache(const PictureCache&) = delete;
  PictureCache& operator=(const PictureCache&) = delete;

  bool drawPicture(HDC dc, const RECT& rect, const ImagePlacement& image) override;

  // Pictures not yet held are then made on two worker threads instead of
  // inside the drawing, newest request first (what is on screen now); the
  // drawing leaves a light placeholder in their place, and `ready` runs on the
  // thread that owns the cache each time pictures arrive, so the caller can
  // draw again. Call from that thread, which must run a Qt event loop.
  void setBackgroundLoading(std::function<void()> ready);
  // Requests still waiting or being made (for tests and the benchmark).
  std::size_t pending() const;

  // Forgets every picture.
  void clear();
  // Bytes of pixels held now, and pictures held (for tests and the benchmark).
  std::size_t bytesHeld() const;
  std::size_t entries() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace tessaly
