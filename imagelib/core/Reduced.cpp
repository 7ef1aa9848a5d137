// Pictures loaded no larger than they will be shown: a JPEG through the decoder's
// DCT scaling, everything else loaded whole; then the library's own scaler.
#include "lorimer/Reduced.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/formats/jpeg_decode.h"
#include "imagelib/process/harrow_scale.h"
#include "platform/base/file.h"
#include "platform/gdi/owned.h"

namespace lorimer {

namespace {

constexpr DWORD kWhite = 0xFFFFFF;

struct Size {
  int width = 0;
  int height = 0;
};

// w x h fitted into the box, aspect kept, sides rounded to nearest and at least 1.
// A raster picture that already fits keeps its size.
Size Fitted(int w, int h, int maxWidth, int maxHeight, bool enlarge) {
  if (!enlarge && w <= maxWidth && h <= maxHeight) return {w, h};
  const std::int64_t W = w, H = h, mw = maxWidth, mh = maxHeight;
  Size s;
  if (mw * H <= mh * W) {
    s.width = maxWidth;
    s.height = static_cast<int>((H * mw + W / 2) / W);
  } else {
    s.width = static_cast<int>((W * mh + H / 2) / H);
    s.height = maxHeight;
  }
  if (s.width < 1) s.width = 1;
  if (s.height < 1) s.height = 1;
  return s;
}

// The largest DCT reduction whose sides (libjpeg rounds them up) still reach the target.
int ShrinkReaching(int w, int h, const Size& target) {
  for (const std::int64_t shrink : {8, 4, 2}) {
    if ((w + shrink - 1) / shrink >= target.width && (h + shrink - 1) / shrink >= target.height)
      return static_cast<int>(shrink);
  }
  return 1;
}

// The 24-bit bitmap at the target size; takes `source` (24-bit) over.
HBITMAP ScaledTo(vel::gdi::OwnedBitmap source, const Size& target) {
  vel::gdi::BitmapView view;
  if (!source || !vel::gdi::GetBitmapView(source.get(), &view) || view.bitsPerPixel != 24) return nullptr;
  if (view.width == target.width && view.height == target.height) return source.release();
  return process::HarrowScale(source.get(), target.width, target.height);
}

HBITMAP ReducedJpeg(const char* path, int maxWidth, int maxHeight, int* width, int* height) {
  if (std::strlen(path) >= kMaxImagePath) return nullptr;
  std::vector<std::uint8_t> data;
  if (!vel::ReadWholeFile(path, data, (std::uint64_t(1) << 31) - 1) || data.size() < 4) return nullptr;
  formats::JpegInfo info;
  if (!formats::ReadJpegHeader(data.data(), data.size(), &info) || info.width <= 0 || info.height <= 0) return nullptr;
  const Size target = Fitted(info.width, info.height, maxWidth, maxHeight, false);
  vel::gdi::OwnedBitmap decoded(formats::DecodeJpegToDib(data.data(), data.size(), false, &info,
                                                         ShrinkReaching(info.width, info.height, target)));
  HBITMAP result = ScaledTo(std::move(decoded), target);
  if (result) {
    *width = info.width;
    *height = info.height;
  }
  return result;
}

HBITMAP ReducedAnyFile(const char* path, int page, int maxWidth, int maxHeight, int* width, int* height) {
  CImageInterface image;
  if (!image.Load(path, 1) || page >= image.GetPageCount()) return nullptr;
  const int w = image.GetWidth(page), h = image.GetHeight(page);
  if (w <= 0 || h <= 0) return nullptr;
  HBITMAP result = nullptr;
  if (image.IsVectorImage()) {
    // A drawing has no pixels of its own: it is played at the size it is shown.
    const Size target = Fitted(w, h, maxWidth, maxHeight, true);
    if (static_cast<long long>(target.width) * target.height > vel::gdi::kMaxBitmapPixels) return nullptr;
    vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(target.width, target.height, kWhite, 0));
    if (!section) return nullptr;
    int drawn;
    {
      const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
      const vel::gdi::ScopedSelect select(dc.get(), section.get());
      RECT dest{0, 0, target.width, target.height};
      drawn = image.DrawImage(dc.get(), &dest, nullptr, page);
    }
    if (drawn) result = section.release();
  } else {
    // A 24-bit copy of the page (transparent parts over white), then scaled.
    result = ScaledTo(vel::gdi::OwnedBitmap(image.GetHBITMAP(1, page)), Fitted(w, h, maxWidth, maxHeight, false));
  }
  if (result) {
    *width = w;
    *height = h;
  }
  return result;
}

}  // namespace

HBITMAP LoadReducedHBITMAP(const char* path, int page, int maxWidth, int maxHeight, int* width, int* height) {
  int w = 0, h = 0;
  HBITMAP result = nullptr;
  if (path && *path && page >= 0 && maxWidth > 0 && maxHeight > 0) {
    try {
      // As on the load path, a JPEG the JPEG decoder refuses is tried by the others.
      if (page == 0 && CImageLoader::GetTypeByExtension(path) == FORMAT_JPG)
        result = ReducedJpeg(path, maxWidth, maxHeight, &w, &h);
      if (!result) result = ReducedAnyFile(path, page, maxWidth, maxHeight, &w, &h);
    } catch (...) {
      result = nullptr;
    }
  }
  if (!result) w = h = 0;
  if (width) *width = w;
  if (height) *height = h;
  return result;
}

}  // namespace lorimer
