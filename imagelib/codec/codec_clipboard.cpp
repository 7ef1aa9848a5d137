// The codec's clipboard: an image goes out as a DIB, a drawing as its
// metafiles plus a DIB of its picture for programs that take only pictures;
// coming back, a DIB is taken first, else a metafile.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imagelib/codec/codec_image.h"
#include "imagelib/codec/codec_api.h"
#include "platform/gdi/owned.h"
#if defined(LORIMER_WITH_CLIPBOARD)
#include "platform/shell/clipboard.h"
#endif

#if defined(LORIMER_WITH_CLIPBOARD)
namespace lorimer::codec {
namespace {

constexpr LONG kHundredthsMmPerInch = 2540;
// A clipboard DIB is another program's data: it must hold the rows its header
// claims (run-length ones at least a byte per 1024 pixels), so a few bytes
// cannot make us allocate and paint gigabytes.
constexpr std::uint64_t kMinRlePixelsPerByte = 1024;

int ScreenDpi() {
  const int dpi = vel::gdi::GetScreenMetrics().dpiX;
  return dpi > 0 ? dpi : 96;
}

HGLOBAL BlockOf(const std::vector<BYTE>& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  void* p = GlobalLock(block);
  if (!p) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

std::vector<BYTE> BytesOf(HANDLE data) {
  auto* block = static_cast<HGLOBAL>(data);
  std::vector<BYTE> bytes;
  const auto* p = static_cast<const BYTE*>(GlobalLock(block));
  if (p) bytes.assign(p, p + GlobalSize(block));
  GlobalUnlock(block);
  return bytes;
}

bool PlausibleDib(const std::vector<BYTE>& dib) {
  BITMAPINFOHEADER h{};
  if (dib.size() < sizeof h) return false;
  std::memcpy(&h, dib.data(), sizeof h);
  if (h.biSize < 40 || h.biSize > 124 || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  if (h.biPlanes != 1 && h.biPlanes != 0) return false;
  const std::uint64_t offset = h.biSize + vel::gdi::DibColorTableBytes(h);
  if (offset >= dib.size()) return false;
  const std::uint64_t height = h.biHeight < 0 ? -static_cast<std::int64_t>(h.biHeight) : h.biHeight;
  const std::uint64_t pixels = static_cast<std::uint64_t>(h.biWidth) * height;
  const std::uint64_t data = dib.size() - offset;
  if (h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4) return data * kMinRlePixelsPerByte >= pixels;
  const std::uint64_t stride = ((static_cast<std::uint64_t>(h.biBitCount) * h.biWidth + 31) / 32) * 4;
  return h.biBitCount > 0 && stride * height <= data;
}

// The picture's size in pixels: its bounds as the library measures metafiles
// (right - left), else its frame at the screen's resolution.
bool PictureSize(HENHMETAFILE emf, int* width, int* height) {
  ENHMETAHEADER h{};
  if (GetEnhMetaFileHeader(emf, sizeof h, &h) == 0) return false;
  std::int64_t w = static_cast<std::int64_t>(h.rclBounds.right) - h.rclBounds.left;
  std::int64_t ht = static_cast<std::int64_t>(h.rclBounds.bottom) - h.rclBounds.top;
  if (w <= 0 || ht <= 0) {
    w = (static_cast<std::int64_t>(h.rclFrame.right) - h.rclFrame.left) * ScreenDpi() / kHundredthsMmPerInch;
    ht = (static_cast<std::int64_t>(h.rclFrame.bottom) - h.rclFrame.top) * ScreenDpi() / kHundredthsMmPerInch;
  }
  if (w <= 0 || ht <= 0 || w > INT32_MAX || ht > INT32_MAX) return false;
  *width = static_cast<int>(w);
  *height = static_cast<int>(ht);
  return true;
}

HIMG VectorFromEmf(HENHMETAFILE emf) {
  vel::gdi::OwnedEnhMetaFile owned(emf);
  int width = 0, height = 0;
  HIMG image = emf && PictureSize(emf, &width, &height) ? NewVectorImage(emf, width, height, "") : nullptr;
  if (image) static_cast<void>(owned.release());
  return image;
}

HIMG FromEnhMetafile(const std::vector<BYTE>& bytes) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return nullptr;
  return VectorFromEmf(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data()));
}

HIMG FromMetafilePict(const std::vector<BYTE>& bytes) {
  if (bytes.size() <= sizeof(ClipboardMetafilePict) || bytes.size() > UINT32_MAX) return nullptr;
  ClipboardMetafilePict head;
  std::memcpy(&head, bytes.data(), sizeof head);
  const BYTE* wmf = bytes.data() + sizeof head;
  const UINT size = static_cast<UINT>(bytes.size() - sizeof head);
  // The size travels with the picture when the sender knew it.
  METAFILEPICT pict{head.mm, head.xExt, head.yExt, nullptr};
  const bool sized = head.xExt > 0 && head.yExt > 0;
  return VectorFromEmf(SetWinMetaFileBits(size, wmf, nullptr, sized ? &pict : nullptr));
}

bool Offer(UINT format, HGLOBAL block) {
  if (!block) return false;
  if (SetClipboardData(format, block)) return true;
  GlobalFree(block);
  return false;
}

// The drawing's metafiles; false when one cannot be made.
bool OfferDrawing(HIMG image) {
  const UINT emfSize = GetEnhMetaFileBits(image->vector, 0, nullptr);
  if (emfSize == 0) return false;
  std::vector<BYTE> emf(emfSize);
  if (GetEnhMetaFileBits(image->vector, emfSize, emf.data()) != emfSize) return false;
  if (!Offer(CF_ENHMETAFILE, BlockOf(emf))) return false;

  const vel::gdi::OwnedMetaFile wmf(fnImgGetWMF(image, nullptr));
  if (!wmf) return false;
  const UINT wmfSize = GetMetaFileBitsEx(wmf.get(), 0, nullptr);
  std::vector<BYTE> pict(sizeof(ClipboardMetafilePict) + wmfSize);
  if (wmfSize == 0 || GetMetaFileBitsEx(wmf.get(), wmfSize, pict.data() + sizeof(ClipboardMetafilePict)) != wmfSize)
    return false;
  const formats::PageInfo& info = image->pages.front().info;
  const ClipboardMetafilePict head{MM_ANISOTROPIC,
                                   static_cast<LONG>(std::int64_t(info.width) * kHundredthsMmPerInch / ScreenDpi()),
                                   static_cast<LONG>(std::int64_t(info.height) * kHundredthsMmPerInch / ScreenDpi())};
  std::memcpy(pict.data(), &head, sizeof head);
  return Offer(CF_METAFILEPICT, BlockOf(pict));
}

}  // namespace
}  // namespace lorimer::codec
#endif

int fnImgToClipboard(HIMG image) {
#if defined(LORIMER_WITH_CLIPBOARD)
  using namespace lorimer::codec;
  if (!image || image->pages.empty()) return 0;
  try {
    if (!OpenClipboard(nullptr)) return 0;
    bool ok = EmptyClipboard() != FALSE;
    if (ok && IsVector(image)) {
      ok = OfferDrawing(image);
      // The picture is for programs that take no metafiles; a drawing that
      // cannot be rendered still goes out as its metafiles.
      if (ok) Offer(CF_DIB, fnImgGetDIB(image, 0));
    } else if (ok) {
      ok = Offer(CF_DIB, fnImgGetDIB(image, 0));
    }
    if (!ok) EmptyClipboard();  // publish nothing rather than half an image
    const bool closed = CloseClipboard() != FALSE;
    return ok && closed ? 1 : 0;
  } catch (...) {
    CloseClipboard();
    return 0;
  }
#else
  (void)image;
  return 0;
#endif
}

HIMG fnImgFromClipboard() {
#if defined(LORIMER_WITH_CLIPBOARD)
  using namespace lorimer::codec;
  try {
    if (!OpenClipboard(nullptr)) return nullptr;
    HIMG image = nullptr;
    if (HANDLE dib = GetClipboardData(CF_DIB)) {
      if (PlausibleDib(BytesOf(dib))) image = fnImgFromDIB(static_cast<HGLOBAL>(dib));
    } else if (HANDLE emf = GetClipboardData(CF_ENHMETAFILE)) {
      image = FromEnhMetafile(BytesOf(emf));
    } else if (HANDLE pict = GetClipboardData(CF_METAFILEPICT)) {
      image = FromMetafilePict(BytesOf(pict));
    }
    CloseClipboard();
    return image;
  } catch (...) {
    CloseClipboard();
    return nullptr;
  }
#else
  return nullptr;
#endif
}
