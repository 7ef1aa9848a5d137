// Vector images: a drawing held as an enhanced metafile with a page size in pixels.
// They draw by playing the drawing into the destination, and give a bitmap of the
// page (rendered over white) to everything that works on pixels.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "imagelib/codec/codec_image.h"
#include "imagelib/codec/codec_api.h"
#include "imagelib/core/load_failure.h"
#include "imagelib/formats/dxf.h"
#include "imagelib/formats/wpg.h"
#include "platform/base/bytes.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/owned.h"
#if defined(LORIMER_WITH_PLAYER)
#include "platform/gdi/player.h"
#endif

namespace lorimer::codec {

using lorimer::FailureRank;
using lorimer::NoteLoadFailure;

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
  const char* name = nullptr;
  vel::Expected<formats::VectorDrawing> drawing = vel::Fail("");
  if (formats::IsWpg(bytes.data(), bytes.size())) {
    drawing = formats::DecodeWpg(bytes.data(), bytes.size());
    name = "WPG";
  } else if (formats::IsDxf(bytes.data(), bytes.size())) {
    drawing = formats::DecodeDxf(bytes.data(), bytes.size());
    name = "DXF";
  } else {
    return nullptr;
  }
  if (!drawing) {
    NoteLoadFailure(drawing.reason(), FailureRank::kRecognised);
    return nullptr;
  }
  vel::gdi::OwnedEnhMetaFile emf(SetEnhMetaFileBits(static_cast<UINT>(drawing->emf.size()), drawing->emf.data()));
  CodecImage* image = NewVectorImage(emf.get(), drawing->widthHundredthsMm, drawing->heightHundredthsMm, name);
  if (image) (void)emf.release();  // the image holds the drawing now
  return image;
}

HBITMAP RenderVectorPage(CodecImage* image) {
#if defined(LORIMER_WITH_PLAYER)
  if (!image || !image->vector || image->pages.empty()) return nullptr;
  const formats::PageInfo& info = image->pages.front().info;
  vel::gdi::OwnedBitmap bitmap(formats::NewPageBitmap(info.width, info.height, 24));
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bitmap.get(), &v)) return nullptr;
  std::memset(v.bits, 0xFF, v.stride * static_cast<size_t>(v.height));
  BOOL played = FALSE;
  {
    vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    vel::gdi::ScopedSelect page(dc.get(), bitmap.get());
    RECT all{0, 0, info.width, info.height};
    played = PlayEnhMetaFile(dc.get(), image->vector, &all);
  }
  return played ? bitmap.release() : nullptr;
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

namespace {

constexpr double kHundredthsMmPerPixel = 2540.0 / 96;

// A header field's value as the nearest 32-bit whole number.
LONG Long(double v) { return static_cast<LONG>(std::lround(std::clamp(v, -2147483647.0, 2147483647.0))); }

}  // namespace

// The drawing as a picture of width x height pixels. The library takes a metafile's
// size from its header's bounds and its proportions from its frame, so the bounds
// become (0, 0, width, height) and the frame that size on a 96 dpi screen. The records
// stay as they are: the reference device's physical size is changed with the frame,
// so the frame still covers the same device pixels and the drawing fills it as
// before. Device pixels and millimetres are whole numbers, so both are given in a
// finer unit to keep that ratio exact.
HENHMETAFILE ResizedDrawing(HENHMETAFILE drawing, int width, int height) {
  const UINT size = GetEnhMetaFileBits(drawing, 0, nullptr);
  ENHMETAHEADER h{};
  if (size < 88 || width <= 0 || height <= 0 || !GetEnhMetaFileHeader(drawing, sizeof h, &h)) return nullptr;
  std::vector<BYTE> b(size);
  if (GetEnhMetaFileBits(drawing, size, b.data()) != size) return nullptr;
  const double deviceX = h.szlDevice.cx, deviceY = h.szlDevice.cy;
  const double mmX = h.szlMillimeters.cx, mmY = h.szlMillimeters.cy;
  const double frameW = h.rclFrame.right - static_cast<double>(h.rclFrame.left);
  const double frameH = h.rclFrame.bottom - static_cast<double>(h.rclFrame.top);
  if (deviceX <= 0 || deviceY <= 0 || mmX <= 0 || mmY <= 0 || frameW <= 0 || frameH <= 0) return nullptr;
  // The frame in the reference device's pixels, which the records are drawn in.
  const double pixelsW = frameW * deviceX / (mmX * 100), pixelsH = frameH * deviceY / (mmY * 100);
  const double newW = std::round(width * kHundredthsMmPerPixel), newH = std::round(height * kHundredthsMmPerPixel);
  const double newMmX = newW / 100 * deviceX / pixelsW, newMmY = newH / 100 * deviceY / pixelsH;
  const double fine = std::floor(std::min(1000.0, 1e9 / std::max({deviceX, deviceY, newMmX, newMmY, 1.0})));
  if (fine < 1) return nullptr;
  vel::ByteWriter out(b);
  vel::gdi::PatchRectl(out, offsetof(ENHMETAHEADER, rclBounds), RECTL{0, 0, width, height});
  vel::gdi::PatchRectl(out, offsetof(ENHMETAHEADER, rclFrame), RECTL{0, 0, Long(newW), Long(newH)});
  vel::gdi::PatchSizel(out, offsetof(ENHMETAHEADER, szlDevice), SIZEL{Long(deviceX * fine), Long(deviceY * fine)});
  vel::gdi::PatchSizel(out, offsetof(ENHMETAHEADER, szlMillimeters), SIZEL{Long(newMmX * fine), Long(newMmY * fine)});
  if (h.nSize >= sizeof(ENHMETAHEADER) && size >= sizeof(ENHMETAHEADER))
    vel::gdi::PatchSizel(out, offsetof(ENHMETAHEADER, szlMicrometers), SIZEL{Long(newMmX * 1000), Long(newMmY * 1000)});
  return SetEnhMetaFileBits(size, b.data());
}

}  // namespace lorimer::codec

using lorimer::codec::CodecImage;

HIMG fnImgFromWMF(HMETAFILE metafile, const RECT* frame) {
  if (!metafile || !frame) return nullptr;
  try {
    const std::vector<BYTE> bits = lorimer::codec::WmfBits(metafile);
    if (bits.empty()) return nullptr;
    vel::gdi::OwnedEnhMetaFile emf(SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr));
    if (!emf) return nullptr;
    HIMG image = lorimer::codec::NewVectorImage(emf.get(), frame->right - frame->left, frame->bottom - frame->top, "");
    if (!image) return nullptr;
    (void)emf.release();
    // The image holds the drawing now; the metafile handed in is done with.
    DeleteMetaFile(metafile);
    return image;
  } catch (...) {
    return nullptr;
  }
}

HMETAFILE fnImgGetWMF(HIMG image, const RECT* frame) {
  if (!lorimer::codec::IsVector(image)) return nullptr;
  try {
    // The metafile given out is the picture at the frame's size (the page's size for
    // the library), so a drawing resized for a save comes back at that size.
    vel::gdi::OwnedEnhMetaFile sized;
    if (frame && frame->right - frame->left > 0 && frame->bottom - frame->top > 0)
      sized.reset(
          lorimer::codec::ResizedDrawing(image->vector, frame->right - frame->left, frame->bottom - frame->top));
    HENHMETAFILE drawing = sized ? sized.get() : image->vector;
    vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const UINT size = GetWinMetaFileBits(drawing, 0, nullptr, MM_ANISOTROPIC, dc.get());
    if (size == 0) return nullptr;
    std::vector<BYTE> bits(size);
    if (GetWinMetaFileBits(drawing, size, bits.data(), MM_ANISOTROPIC, dc.get()) != size) return nullptr;
    return SetMetaFileBitsEx(size, bits.data());
  } catch (...) {
    return nullptr;
  }
}
