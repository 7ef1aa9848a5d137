// The bitmap a reader decodes a page into, with its view, made once for every reader:
// NewPageBitmap's DIB section (which applies the size rule), or why there is none.
#pragma once

#include <string>
#include <vector>

#include "platform/base/expected.h"
#include "platform/gdi/owned.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {

struct PageCanvas {
  vel::gdi::OwnedBitmap bitmap;
  vel::gdi::BitmapView view;
};

inline vel::Expected<PageCanvas> NewPageCanvas(int width, int height, int bitsPerPixel,
                                               const std::vector<RGBQUAD>& palette = {}) {
  PageCanvas page{vel::gdi::OwnedBitmap(NewPageBitmap(width, height, bitsPerPixel, palette)), {}};
  if (!page.bitmap || !vel::gdi::GetBitmapView(page.bitmap.get(), &page.view)) {
    return vel::Fail("no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " page of " +
                     std::to_string(bitsPerPixel) + " bits");
  }
  return page;
}

// The canvas of a single-page format's page `page`; the reason names the format.
inline vel::Expected<PageCanvas> OnlyPageCanvas(const char* format, int page, int width, int height, int bitsPerPixel,
                                                const std::vector<RGBQUAD>& palette = {}) {
  if (page != 0) return vel::Fail(std::string(format) + ": no page " + std::to_string(page));
  auto canvas = NewPageCanvas(width, height, bitsPerPixel, palette);
  if (!canvas) return vel::Fail(std::string(format) + ": " + canvas.reason());
  return canvas;
}

}  // namespace lorimer::formats
