// Vector images: a drawing held as an enhanced metafile with a page size in pixels.
// They draw by playing the drawing into the destination, and give a bitmap of the
// page (rendered over white) to everything that works on pixels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "imagelib/codec/codec_image.h"
#include "imagelib/codec/imageman.h"
#include "imagelib/formats/dxf.h"
#include "imagelib/formats/wpg.h"
#if defined(LORIMER_WITH_PLAYER)
#include "platform/gdi/player.h"
#endif

namespace lorimer::codec {

// Largest side a vector page may have: the rasterizing dialogs allow as much.
constexpr int kMaxVectorSide = 1500000;

std::vector<BYTE> WmfBits(HMETAFILE wmf) {
  std::vector<BYTE> bits;
  const UINT size = GetMetaFileBitsEx(wmf, 0, nullptr);
  if (size == 0) return bits;
  bits.resize(size);
  if (GetMetaFileBitsEx(wmf, size, bits.data()) != size) bits.clear();
  return bits;
}

CodecImage* NewVectorImage(HENHMETAFILE drawing, int width, int height, const char* formatName) {
  if (!drawing || width <= 0 || height <= 0 || width > kMaxVectorSide || height > kMaxVectorSide) return nullptr;
  auto* image = new (std::nothrow) CodecImage;
  if (!image) return nullptr;
  try {
    Page page;
    page.info.width = width;
    page.info.height = height;
    page.info.bitCount = 24;
    page.header = HeaderFor(page.info);
    image->pages.push_back(page);
  } catch (...) {
    delete image;
    return nullptr;
  }
  image->formatName = formatName;
  image->vector = drawing;
  return image;
}

CodecImage* OpenVectorFile(const std::vector<std::uint8_t>& bytes) {
  formats::VectorDrawing drawing;
  const char* name = nullptr;
  if (formats::IsWpg(bytes.data(), bytes.size())) {
    if (!formats::ReadWpg(bytes.data(), bytes.size(), drawing)) return nullptr;
    name = "WPG";
  } else if (formats::IsDxf(bytes.data(), bytes.size())) {
    if (!formats::ReadDxf(bytes.data(), bytes.size(), drawing)) return nullptr;
    name = "DXF";
  } else {
    return nullptr;
  }
  HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(drawing.emf.size()), drawing.emf.data());
  CodecImage* image = NewVectorImage(emf, drawing.widthHundredthsMm, drawing.heightHundredthsMm, name);
  if (!image && emf) DeleteEnhMetaFile(emf);
  return image;
}

HBITMAP RenderVectorPage(CodecImage* image) {
#if defined(LORIMER_WITH_PLAYER)
  if (!image || !image->vector || image->pages.empty()) return nullptr;
  const formats::PageInfo& info = image->pages.front().info;
  HBITMAP bitmap = formats::NewPageBitmap(info.width, info.height, 24);
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bitmap, &v)) {
    DeleteObject(bitmap);
    return nullptr;
  }
  std::memset(v.bits, 0xFF, v.stride * static_cast<size_t>(v.height));
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, info.width, info.height};
  const BOOL played = PlayEnhMetaFile(dc, image->vector, &all);
  SelectObject(dc, old);
  DeleteDC(dc);
  if (!played) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
#else
  (void)image;
  return nullptr;
#endif
}

int DrawVector(CodecImage* image, HDC dc, const RECT& dest, const RECT& src) {
#if defined(LORIMER_WITH_PLAYER)
  if (!image || !image->vector || image->pages.empty()) return 0;
  const formats::PageInfo& info = image->pages.front().info;
  const double sw = src.right - src.left, sh = src.bottom - src.top;
  if (sw == 0 || sh == 0 || dest.right == dest.left || dest.bottom == dest.top) return 0;
  const bool whole = src.left == 0 && src.top == 0 && src.right == info.width && src.bottom == info.height;
  if (whole) return PlayEnhMetaFile(dc, image->vector, &dest) ? 1 : 0;
  // Part of the page: the whole picture is placed so that the part lands on
  // dest, and drawing is clipped to dest.
  const double sx = (dest.right - dest.left) / sw, sy = (dest.bottom - dest.top) / sh;
  auto at = [](double v) { return static_cast<LONG>(std::lround(std::clamp(v, -1e9, 1e9))); };
  RECT full{at(dest.left - src.left * sx), at(dest.top - src.top * sy), at(dest.left + (info.width - src.left) * sx),
            at(dest.top + (info.height - src.top) * sy)};
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, std::min(dest.left, dest.right), std::min(dest.top, dest.bottom),
                    std::max(dest.left, dest.right), std::max(dest.top, dest.bottom));
  const BOOL played = PlayEnhMetaFile(dc, image->vector, &full);
  RestoreDC(dc, saved);
  return played ? 1 : 0;
#else
  (void)image, (void)dc, (void)dest, (void)src;
  return 0;
#endif
}

bool IsVector(CodecImage* image) { return image && image->vector; }

}  // namespace lorimer::codec

using lorimer::codec::CodecImage;

HIMG fnImgFromWMF(HMETAFILE metafile, const RECT* frame) {
  if (!metafile || !frame) return nullptr;
  try {
    const std::vector<BYTE> bits = lorimer::codec::WmfBits(metafile);
    if (bits.empty()) return nullptr;
    HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
    if (!emf) return nullptr;
    HIMG image = lorimer::codec::NewVectorImage(emf, frame->right - frame->left, frame->bottom - frame->top, "");
    if (!image) {
      DeleteEnhMetaFile(emf);
      return nullptr;
    }
    // The image holds the drawing now; the metafile handed in is done with.
    DeleteMetaFile(metafile);
    return image;
  } catch (...) {
    return nullptr;
  }
}

HMETAFILE fnImgGetWMF(HIMG image, const RECT*) {
  if (!lorimer::codec::IsVector(image)) return nullptr;
  try {
    HDC dc = CreateCompatibleDC(nullptr);
    HMETAFILE result = nullptr;
    const UINT size = GetWinMetaFileBits(image->vector, 0, nullptr, MM_ANISOTROPIC, dc);
    if (size > 0) {
      std::vector<BYTE> bits(size);
      if (GetWinMetaFileBits(image->vector, size, bits.data(), MM_ANISOTROPIC, dc) == size)
        result = SetMetaFileBitsEx(size, bits.data());
    }
    DeleteDC(dc);
    return result;
  } catch (...) {
    return nullptr;
  }
}
