// CImageProcessor: resampling, rotation, mirroring, colour depth, crop, filters,
// inversion, brightness and contrast of the image in a handle slot.
#include <cmath>
#include <cstring>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/process/harrow_scale.h"
#include "imagelib/process/kest_quantizer.h"
#include "platform/gdi/owned.h"

namespace {

constexpr DWORD kWhite = 0xFFFFFF;

// Selects the page when it is not the current one; false when there is no such page.
bool Select(HIMG* handle, int page) {
  return page == CImageMan::GetSelectedPage(handle) || CImageMan::SelectPage(handle, page);
}

// A new codec image from a DIB section; the section is deleted when that fails.
HIMG Wrap(HBITMAP section) {
  vel::gdi::OwnedBitmap owned(section);
  HIMG image = owned ? CImageMan::InitImageFromHBITMAP(owned.get()) : nullptr;
  if (image) static_cast<void>(owned.release());
  return image;
}

// The page as a 24-bit bitmap: the codec's own bitmap when it already is one
// (copied), else drawn.
vel::gdi::OwnedBitmap Page24(HIMG* handle) {
  HBITMAP own = CImageMan::GetHBITMAP(handle);
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(own, &v)) return {};
  vel::gdi::OwnedBitmap copy(Common::CreateEmptyDIBSection(v.width, v.height, 0xFFFFFFFF, 0));
  if (!copy) return {};
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  const vel::gdi::ScopedSelect select(dc.get(), copy.get());
  SetStretchBltMode(dc.get(), COLORONCOLOR);
  RECT all{0, 0, v.width, v.height};
  if (!CImageMan::DrawHandle(handle, dc.get(), &all, &all)) return {};
  return copy;
}

}  // namespace

void CImageProcessor::Replace(HIMG* handle, HIMG image, int& page) {
  CloseHandle(handle);
  *handle = image;
  page = 0;
}

int CImageProcessor::StretchImage(HIMG* handle, long method, int width, int height, int proportional, int quality,
                                  DWORD background, int& page) {
  if (!IsLoaded(handle) || !Select(handle, page)) return 0;
  int w = GetWidth(handle), h = GetHeight(handle);
  const int pageWidth = w, pageHeight = h;
  if (!StretchedSize(width, height, proportional, &w, &h)) return 0;
  // Drawing a lone 24-bit page one to one into a new 24-bit page gives the very
  // same pixels: the image already is what the call would make (every save of a
  // photo asks for this, and the copy costs as much as encoding it).
  if (method == -1 && w == pageWidth && h == pageHeight && GetPageCount(handle) == 1 && GetColorDepth(handle) == 24 &&
      !IsVectorImage(handle)) {
    page = 0;
    return 1;
  }
  int clonePage = page;
  HIMG clone = CloneHandle(handle, method, w, h, quality, background, clonePage);
  if (!clone) return 0;
  Replace(handle, clone, page);
  return 1;
}

bool CImageProcessor::StretchedSize(int width, int height, int proportional, int* w, int* h) {
  if (proportional) {
    Common::CalculateProportionallyRect(w, h, width, height);
  } else {
    if (width >= 1) *w = width;
    if (height >= 1) *h = height;
  }
  return *w > 0 && *h > 0;
}

int CImageProcessor::StretchImage(HIMG* handle) {
  int page = 0;
  return StretchImage(handle, -1, -1, -1, 1, 3, kWhite, page);
}

HIMG CImageProcessor::CloneHandle(HIMG* handle, long method, int width, int height, int, DWORD background, int& page) {
  if (!IsLoaded(handle) || !Select(handle, page)) return nullptr;
  if (width == -1) width = GetWidth(handle);
  if (height == -1) height = GetHeight(handle);
  if (width <= 0 || height <= 0) return nullptr;

  HIMG result = nullptr;
  if (method != -1 && !IsVectorImage(handle)) {
    try {
      if (GetColorDepth(handle) != 24) {
        // The methods below work on 24-bit pages: the source itself becomes one.
        if (!StretchImage(handle, -1, -1, -1, 0, 3, background == 0 ? kWhite : background, page)) return nullptr;
      }
      switch (method) {
        case 1: result = WinStretch(handle, width, height, BLACKONWHITE, page); break;
        case 2: result = WinStretch(handle, width, height, WHITEONBLACK, page); break;
        case 4: result = HarrowScale(handle, width, height, page); break;
        default: result = fnImgCopy(*handle, width, height, nullptr, static_cast<int>(method)); break;
      }
      page = 0;
    } catch (...) {
      result = nullptr;
    }
  }
  if (result) return result;

  // Draw the page into a new section of the wanted size.
  vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(width, height, background, 0));
  if (!section) return nullptr;
  int drawn;
  {
    const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const vel::gdi::ScopedSelect select(dc.get(), section.get());
    SetStretchBltMode(dc.get(), method == 1 ? BLACKONWHITE : method == 2 ? WHITEONBLACK : COLORONCOLOR);
    RECT dest{0, 0, width, height};
    drawn = DrawHandle(handle, dc.get(), &dest, nullptr);
  }
  HIMG clone = drawn ? Wrap(section.release()) : nullptr;
  if (!clone) return nullptr;
  page = 0;
  return clone;
}

HIMG CImageProcessor::WinStretch(HIMG* handle, int width, int height, int stretchMode, int& page) {
  if (!IsLoaded(handle) || !Select(handle, page)) return nullptr;
  HBITMAP source = GetHBITMAP(handle);
  vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(width, height, 0xFFFFFFFF, 0));
  if (!source || !section) return nullptr;
  BITMAP bm{};
  GetObject(source, sizeof bm, &bm);
  {
    const vel::gdi::OwnedDC from(CreateCompatibleDC(nullptr));
    const vel::gdi::OwnedDC to(CreateCompatibleDC(nullptr));
    const vel::gdi::ScopedSelect fromSelect(from.get(), source);
    const vel::gdi::ScopedSelect toSelect(to.get(), section.get());
    SetStretchBltMode(to.get(), stretchMode);
    POINT origin{};
    GetBrushOrgEx(to.get(), &origin);
    SetBrushOrgEx(to.get(), origin.x, origin.y, nullptr);
    // A failed blit is ignored.
    StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
  }
  HIMG image = Wrap(section.release());
  if (image) page = 0;
  return image;
}

HIMG CImageProcessor::HarrowScale(HIMG* handle, int width, int height, int& page) {
  if (!IsLoaded(handle) || !Select(handle, page)) return nullptr;
  HIMG image = Wrap(lorimer::process::HarrowScale(GetHBITMAP(handle), width, height));
  if (image) page = 0;
  return image;
}

int CImageProcessor::Rotate(HIMG* handle, float degrees, DWORD background, int& page) {
  if (degrees == 0.0f || degrees == 360.0f || degrees == -360.0f) return 1;
  if (!IsLoaded(handle) || std::fabs(degrees) > 360.0f) return 0;
  if (degrees < 0) degrees += 360.0f;
  int clonePage = page;
  HIMG clone = CloneHandle(handle, -1, -1, -1, 3, kWhite, clonePage);
  if (!clone) return 0;
  HIMG rotated = nullptr;
  try {
    rotated = fnImgRotate(clone, static_cast<int>(degrees * 100.0f), background);
  } catch (...) {
    rotated = nullptr;
  }
  CloseHandle(&clone);
  if (!rotated) return 0;
  Replace(handle, rotated, page);
  return 1;
}

template <typename Operation>
int CImageProcessor::OnClone(HIMG* handle, int& page, Operation operation) {
  if (!IsLoaded(handle)) return 0;
  int clonePage = page;
  HIMG clone = CloneHandle(handle, -1, -1, -1, 3, kWhite, clonePage);
  if (!clone) return 0;
  int result = 0;
  try {
    result = operation(clone);
  } catch (...) {
    result = 0;
  }
  if (result != 1 || !clone) {
    CloseHandle(&clone);
    return 0;
  }
  Replace(handle, clone, page);
  return 1;
}

int CImageProcessor::Mirror(HIMG* handle, int first, int second, int& page) {
  return OnClone(handle, page, [&](HIMG clone) { return fnImgMirror(clone, first, second) ? 1 : 0; });
}

int CImageProcessor::FilterHandle(HIMG* handle, int filter, int& page) {
  return OnClone(handle, page, [&](HIMG clone) { return fnImgFilter(clone, filter); });
}

int CImageProcessor::InvertHandle(HIMG* handle, int& page) {
  return OnClone(handle, page, [&](HIMG clone) { return fnImgInvert(clone); });
}

int CImageProcessor::SetBrightness(HIMG* handle, int level, int& page) {
  return OnClone(handle, page, [&](HIMG clone) { return fnImgBrightness(clone, level); });
}

int CImageProcessor::SetContrast(HIMG* handle, int level, int second, int third, int& page) {
  return OnClone(handle, page, [&](HIMG clone) { return fnImgContrast(clone, level, second, third); });
}

int CImageProcessor::ChangeColorDepth(HIMG* handle, int bits, unsigned flags, int& page) {
  return ChangeColorDepthFast(handle, bits, flags, page);
}

int CImageProcessor::ChangeColorDepthFast(HIMG* handle, int bits, unsigned flags, int& page) {
  if (flags == static_cast<unsigned>(-1)) flags = 0x24;
  int gray = (flags & 8) ? 1 : 0;
  HIMG result = nullptr;
  int workPage = page;
  switch (bits) {
    case 1: result = KestReduceColors(handle, workPage, 2, gray); break;
    case 4: result = KestReduceColors(handle, workPage, 16, gray); break;
    case 8: result = KestReduceColors(handle, workPage, 256, gray); break;
    case 24: return 1;  // nothing to do, image or not
    default: result = CloneHandle(handle, -1, -1, -1, 3, kWhite, workPage); break;
  }
  if (!result) return 0;
  Replace(handle, result, page);
  return 1;
}

HIMG CImageProcessor::KestReduceColors(HIMG* handle, int& page, int colours, int gray) {
  if (!IsLoaded(handle) || !Select(handle, page)) return nullptr;
  // The quantiser reads 24-bit pixels; other pages are drawn into a 24-bit copy first.
  HBITMAP own = GetHBITMAP(handle);
  const bool redraw = GetColorDepth(handle) != 24 || !own;
  const vel::gdi::OwnedBitmap copy = redraw ? Page24(handle) : vel::gdi::OwnedBitmap();
  HIMG image = Wrap(lorimer::process::KestReduceColors(redraw ? copy.get() : own, colours, gray != 0));
  if (image) page = 0;
  return image;
}

HBITMAP CImageProcessor::CropImage(HIMG* handle, RECT& rect, int& page) {
  if (!IsLoaded(handle) || rect.left >= rect.right || rect.top >= rect.bottom) return nullptr;
  if (!Select(handle, page)) return nullptr;
  int width = GetWidth(handle), height = GetHeight(handle);
  rect.left = std::max<LONG>(rect.left, 0);
  rect.top = std::max<LONG>(rect.top, 0);
  rect.right = std::min<LONG>(rect.right, width);
  rect.bottom = std::min<LONG>(rect.bottom, height);
  if (rect.left >= rect.right || rect.top >= rect.bottom) return nullptr;
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(w, h, 0xFFFFFFFF, 0));
  if (!section) return nullptr;
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  const vel::gdi::ScopedSelect select(dc.get(), section.get());
  SetStretchBltMode(dc.get(), COLORONCOLOR);
  RECT dest{0, 0, w, h};
  // Our codec's source rectangles end before right and bottom, so the clamped
  // rectangle is drawn as it is, one to one. Callers have always seen the
  // rectangle grown by one pixel to the right and bottom; they still do.
  RECT source = rect;
  rect.right += 1;
  rect.bottom += 1;
  if (!DrawHandle(handle, dc.get(), &dest, &source)) return nullptr;
  return section.release();
}

HGLOBAL CImageProcessor::DDBToDIB(HBITMAP bitmap, DWORD compression, HPALETTE) {
  // Bit-field output cannot be asked for, and we write no compressed DIBs: the
  // rows come out as they are and the header says so.
  if (compression == BI_BITFIELDS) return nullptr;
  BITMAP bm{};
  if (!GetObject(bitmap, sizeof bm, &bm)) return nullptr;
  BITMAPINFO256 info{};
  BITMAPINFOHEADER& h = info.bmiHeader;
  h.biSize = sizeof h;
  h.biWidth = bm.bmWidth;
  h.biHeight = bm.bmHeight;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bm.bmPlanes * bm.bmBitsPixel);
  h.biCompression = BI_RGB;
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), nullptr, reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  size_t table = vel::gdi::DibColorTableBytes(h);
  size_t image = h.biSizeImage ? h.biSizeImage : vel::gdi::DibImageBytes(h);
  HGLOBAL block = GlobalAlloc(GHND, sizeof h + table + image);
  auto* out = static_cast<BYTE*>(GlobalLock(block));
  int rows = 0;
  if (out) {
    std::memcpy(out, &h, sizeof h);
    rows = GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), out + sizeof h + table,
                     reinterpret_cast<BITMAPINFO*>(out), DIB_RGB_COLORS);
    GlobalUnlock(block);
  }
  if (rows <= 0) {
    GlobalFree(block);
    return nullptr;
  }
  return block;
}

HBITMAP CImageProcessor::DIBToDDB(HGLOBAL packedDib) {
  const auto* data = static_cast<const BYTE*>(GlobalLock(packedDib));
  size_t size = GlobalSize(packedDib);
  HBITMAP bitmap = nullptr;
  BITMAPINFOHEADER h{};
  if (data && size >= sizeof h) {
    std::memcpy(&h, data, sizeof h);
    size_t offset = h.biSize >= 40 && h.biSize <= 124 ? h.biSize + vel::gdi::DibColorTableBytes(h) : SIZE_MAX;
    long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    // Plain rows, or 16 and 32-bit rows whose channels the three masks describe.
    const bool layout =
        h.biCompression == BI_RGB || (h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32));
    if (offset < size && h.biWidth > 0 && height > 0 && layout && vel::gdi::DibImageBytes(h) <= size - offset) {
      vel::gdi::OwnedBitmap made(CreateCompatibleBitmap(nullptr, h.biWidth, static_cast<int>(height)));
      if (made && SetDIBits(nullptr, made.get(), 0, static_cast<UINT>(height), data + offset,
                            reinterpret_cast<const BITMAPINFO*>(data), DIB_RGB_COLORS) > 0)
        bitmap = made.release();
    }
  }
  if (data) GlobalUnlock(packedDib);
  return bitmap;
}
