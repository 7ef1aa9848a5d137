// Blits between DCs, DIB transfers to and from bitmaps, and icons.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdi/dc.h"
#include "platform/gdi/owned.h"

namespace vel::gdi {

size_t DibColorTableBytes(const BITMAPINFOHEADER& h) {
  if (h.biBitCount <= 8) {
    size_t n = size_t(1) << h.biBitCount;
    if (h.biClrUsed > 0 && h.biClrUsed < n) n = h.biClrUsed;
    return n * sizeof(RGBQUAD);
  }
  if (h.biCompression == BI_BITFIELDS && h.biSize == 40) return 3 * sizeof(DWORD);
  return static_cast<size_t>(std::min<DWORD>(h.biClrUsed, 256)) * sizeof(RGBQUAD);
}

size_t DibImageBytes(const BITMAPINFOHEADER& h) {
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biBitCount == 0 || h.biBitCount > 32) return 0;
  size_t height = static_cast<size_t>(h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight);
  return ((static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4 * height;
}

int SetDIBitsToDeviceN(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                       UINT lines, const void* bits, size_t bitsSize, const BITMAPINFO* info, UINT usage) {
  DeviceContext* d = Live(dc);
  if (!d || !info || !bits || lines == 0 || width == 0 || height == 0) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biHeight == 0 || h.biHeight == INT32_MIN) return 0;
  long long fullHeight = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  bool rle = h.biCompression == BI_RLE4 || h.biCompression == BI_RLE8;
  // The block holds scan lines [startScan, startScan + lines) of the DIB.
  UINT have = rle ? static_cast<UINT>(fullHeight) : std::min<long long>(lines, fullHeight);
  if (rle) startScan = 0;
  BITMAPINFO256 part{};
  size_t table = std::min(DibColorTableBytes(h), sizeof part.bmiColors);
  std::memcpy(&part.bmiHeader, &h, sizeof h);
  part.bmiHeader.biSize = 40;
  if (h.biCompression == BI_BITFIELDS && h.biSize >= 52) {
    std::memcpy(part.bmiColors, reinterpret_cast<const BYTE*>(info) + 40, 12);
  } else {
    std::memcpy(part.bmiColors, reinterpret_cast<const BYTE*>(info) + h.biSize, table);
  }
  part.bmiHeader.biHeight = h.biHeight < 0 ? -static_cast<LONG>(have) : static_cast<LONG>(have);
  auto src = DibSource::Create(reinterpret_cast<const BITMAPINFO*>(&part), bits, bitsSize, usage);
  if (!src) return 0;
  long long top;
  if (h.biHeight < 0)
    top = static_cast<long long>(ySrc) - startScan;
  else
    top = static_cast<long long>(startScan) + have - ySrc - static_cast<long long>(height);
  if (top < INT32_MIN || top > INT32_MAX) return 0;
  if (!d->drawPixels(xDest, yDest, static_cast<int>(width), static_cast<int>(height), *src, xSrc, static_cast<int>(top),
                     static_cast<int>(width), static_cast<int>(height), SRCCOPY))
    return 0;
  return static_cast<int>(have);
}

int StretchDIBitsN(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                   int srcHeight, const void* bits, size_t bitsSize, const BITMAPINFO* info, UINT usage, DWORD rop) {
  DeviceContext* d = Live(dc);
  if (!d || !info || !bits) return 0;
  auto src = DibSource::Create(info, bits, bitsSize, usage);
  if (!src) return 0;
  long long top = src->topDown() ? ySrc : static_cast<long long>(src->height) - ySrc - srcHeight;
  if (top < INT32_MIN || top > INT32_MAX) return 0;
  if (!d->drawPixels(xDest, yDest, destWidth, destHeight, *src, xSrc, static_cast<int>(top), srcWidth, srcHeight, rop))
    return 0;
  return srcHeight < 0 ? -srcHeight : srcHeight;
}

bool GetIconParts(HICON icon, IconParts* parts) {
  Icon* i = Live(icon);
  if (!i || !parts) return false;
  parts->color = i->color;
  parts->mask = i->mask;
  parts->isIcon = i->isIcon;
  parts->xHotspot = i->xHotspot;
  parts->yHotspot = i->yHotspot;
  return true;
}

namespace {
Bitmap* CopyBitmap(const Bitmap* b) {
  Bitmap* c = NewBitmap(b->width, b->height, b->bitsPerPixel, b->topDown, true);
  if (!c) return nullptr;
  std::memcpy(c->bits, b->bits, b->stride * static_cast<size_t>(b->height));
  c->colors = b->colors;
  std::memcpy(c->masks, b->masks, sizeof c->masks);
  return c;
}

// A source that owns a snapshot of a bitmap, for blits within one bitmap.
class SnapshotSource : public PixelSource {
 public:
  explicit SnapshotSource(const Bitmap* b) : copy_(CopyBitmap(b)), inner_(copy_ ? copy_.get()->view() : BitmapView{}) {
    width = inner_.width;
    height = inner_.height;
  }
  void fetch(int y, int x, int count, Pixel* out, BYTE* painted) const override {
    inner_.fetch(y, x, count, out, painted);
  }
  const BYTE* bgrRow(int y) const override { return inner_.bgrRow(y); }
  bool ok() const { return static_cast<bool>(copy_); }

 private:
  OwnedBitmap copy_;
  BitmapSource inner_;
};

bool HasAlpha(const Bitmap* b) {
  if (b->bitsPerPixel != 32) return false;
  for (int y = 0; y < b->height; ++y) {
    const BYTE* row = b->bits + b->stride * y;
    for (int x = 0; x < b->width; ++x)
      if (row[4 * x + 3]) return true;
  }
  return false;
}
}  // namespace

}  // namespace vel::gdi

using namespace vel::gdi;

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth, int srcHeight,
                DWORD rop) {
  DeviceContext* d = Live(dst);
  if (!d) return FALSE;
  if (rop == BLACKNESS || rop == WHITENESS) {
    RECT r{std::min(x, x + width), std::min(y, y + height), std::max(x, x + width), std::max(y, y + height)};
    return d->fillRect(r, rop == BLACKNESS ? 0 : 0xFFFFFF) ? TRUE : FALSE;
  }
  DeviceContext* s = Live(src);
  if (!s) return FALSE;
  if (s->bitmap && s->bitmap == d->bitmap) {
    SnapshotSource snap(s->bitmap);
    if (!snap.ok()) return FALSE;
    return d->drawPixels(x, y, width, height, snap, xSrc, ySrc, srcWidth, srcHeight, rop) ? TRUE : FALSE;
  }
  auto pixels = s->pixels();
  if (!pixels) return FALSE;
  return d->drawPixels(x, y, width, height, *pixels, xSrc, ySrc, srcWidth, srcHeight, rop) ? TRUE : FALSE;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop) {
  return StretchBlt(dst, x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  return SetDIBitsToDeviceN(dc, xDest, yDest, width, height, xSrc, ySrc, startScan, lines, bits, SIZE_MAX, info, usage);
}

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  return StretchDIBitsN(dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits, SIZE_MAX, info,
                        usage, rop);
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  Bitmap* b = Live(bitmap);
  if (!Live(dc) || !b || !info || info->bmiHeader.biSize < 40) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!bits && h.biBitCount == 0) {
    // Report the bitmap's own format.
    h.biWidth = b->width;
    h.biHeight = b->height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(b->bitsPerPixel);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(DibImageBytes(h));
    h.biClrUsed = 0;
    return 1;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  bool topDown = h.biHeight < 0;
  h.biWidth = b->width;
  h.biHeight = topDown ? -b->height : b->height;
  h.biPlanes = 1;
  if (h.biCompression != BI_BITFIELDS) h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(DibImageBytes(h));
  RGBQUAD* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(info) + h.biSize);
  // The colour table: the bitmap's own when depths agree, else a grey ramp (for
  // 1 bit: black and white), which is what conversions below map onto.
  std::vector<RGBQUAD> colors;
  if (bpp <= 8) {
    size_t n = size_t(1) << bpp;
    if (b->bitsPerPixel == bpp && !b->colors.empty()) {
      colors = b->colors;
      colors.resize(n, RGBQUAD{0, 0, 0, 0});
    } else {
      for (size_t i = 0; i < n; ++i) {
        BYTE v = static_cast<BYTE>(i * 255 / (n - 1));
        colors.push_back(RGBQUAD{v, v, v, 0});
      }
    }
    if (usage == DIB_RGB_COLORS) std::memcpy(table, colors.data(), n * sizeof(RGBQUAD));
    h.biClrUsed = 0;
  } else if (h.biCompression == BI_BITFIELDS) {
    DWORD* m = reinterpret_cast<DWORD*>(table);
    if (bpp == 16) {
      m[0] = 0x7C00;
      m[1] = 0x03E0;
      m[2] = 0x001F;
    } else {
      m[0] = 0xFF0000;
      m[1] = 0x00FF00;
      m[2] = 0x0000FF;
    }
  }
  if (!bits) return 1;
  if (start >= static_cast<UINT>(b->height)) return 0;
  UINT count = std::min<UINT>(lines, static_cast<UINT>(b->height) - start);
  // Build a view over the caller's buffer and copy through the engine.
  BitmapView out;
  out.width = b->width;
  out.height = static_cast<int>(count);
  out.bitsPerPixel = bpp;
  out.topDown = topDown;
  out.stride = ((static_cast<size_t>(b->width) * bpp + 31) / 32) * 4;
  out.bits = static_cast<BYTE*>(bits);
  out.colors = colors.empty() ? nullptr : colors.data();
  out.colorCount = static_cast<int>(colors.size());
  if (bpp == 16) {
    out.masks[0] = 0x7C00;
    out.masks[1] = 0x03E0;
    out.masks[2] = 0x001F;
  } else if (bpp == 32) {
    out.masks[0] = 0xFF0000;
    out.masks[1] = 0x00FF00;
    out.masks[2] = 0x0000FF;
  }
  // Scan lines count from the bottom: scan `start` is row height-1-start from the top.
  int firstTopRow = b->height - static_cast<int>(start) - static_cast<int>(count);
  if (b->bitsPerPixel == bpp && bpp <= 8) {
    BitmapView in = b->view();
    size_t bytes = std::min(out.stride, in.stride);
    for (UINT r = 0; r < count; ++r)
      std::memcpy(out.row(static_cast<int>(r)), in.row(firstTopRow + static_cast<int>(r)), bytes);
    return static_cast<int>(count);
  }
  BitmapTarget target(out);
  BitmapSource source(b->view());
  StretchPixels(target, 0, 0, b->width, static_cast<int>(count), source, 0, firstTopRow, b->width,
                static_cast<int>(count), COLORONCOLOR, SRCCOPY);
  return static_cast<int>(count);
}

int SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  Bitmap* b = Live(bitmap);
  if (!b || !bits || !info || lines == 0) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth != b->width) return 0;
  auto src = DibSource::Create(info, bits, SIZE_MAX, usage);
  if (!src) return 0;
  UINT count = std::min<UINT>(lines, static_cast<UINT>(std::min(src->height, b->height)));
  if (start >= static_cast<UINT>(b->height)) return 0;
  count = std::min<UINT>(count, static_cast<UINT>(b->height) - start);
  BitmapView v = b->view();
  int dstTop = b->height - static_cast<int>(start) - static_cast<int>(count);
  int srcTop =
      src->topDown() ? static_cast<int>(start) : src->height - static_cast<int>(start) - static_cast<int>(count);
  BitmapTarget target(v);
  StretchPixels(target, 0, dstTop, b->width, static_cast<int>(count), *src, 0, srcTop, b->width,
                static_cast<int>(count), COLORONCOLOR, SRCCOPY);
  return static_cast<int>(count);
}

HICON CreateIconFromBitmaps(HBITMAP color, HBITMAP mask, BOOL isIcon, int xHotspot, int yHotspot) {
  Bitmap* m = Live(mask);
  Bitmap* c = Live(color);
  if (!m || (color && !c)) return nullptr;
  auto* icon = new (std::nothrow) Icon;
  if (!icon) return nullptr;
  icon->mask = CopyBitmap(m);
  icon->color = c ? CopyBitmap(c) : nullptr;
  if (!icon->mask || (c && !icon->color)) {
    delete icon;
    return nullptr;
  }
  icon->isIcon = isIcon != 0;
  icon->xHotspot = xHotspot;
  icon->yHotspot = yHotspot;
  Register(icon);
  return icon;
}

BOOL DestroyIcon(HICON icon) {
  Icon* i = Live(icon);
  if (!i) return FALSE;
  Unregister(i);
  delete i;
  return TRUE;
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT, HBRUSH flickerFree, UINT flags) {
  DeviceContext* d = Live(dc);
  Icon* i = Live(icon);
  if (!d || !i) return FALSE;
  Bitmap* mask = i->mask;
  Bitmap* color = i->color;
  int iw = mask->width;
  int ih = color ? color->height : mask->height / 2;
  if (ih <= 0) return FALSE;
  if (width == 0) width = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : iw;
  if (height == 0) height = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : ih;
  if (flags & DI_COMPAT) flags &= ~DI_COMPAT;
  if (!(flags & DI_NORMAL)) return FALSE;
  if (Brush* b = Live(flickerFree)) d->fillRect(RECT{x, y, x + width, y + height}, b->color);

  BitmapSource maskSrc(mask->view());
  if (color && (flags & DI_IMAGE) == DI_IMAGE && (flags & DI_MASK) && HasAlpha(color)) {
    // Colour with alpha: blend over what is there; the mask is not used.
    BitmapView cv = color->view();
    for (int dy = 0; dy < height; ++dy) {
      int sy = static_cast<int>(((2LL * dy + 1) * ih) / (2LL * height));
      const BYTE* row = cv.row(sy);
      for (int dx = 0; dx < width; ++dx) {
        int sx = static_cast<int>(((2LL * dx + 1) * iw) / (2LL * width));
        const BYTE* p = row + 4 * sx;
        unsigned a = p[3];
        if (a == 0) continue;
        auto under = d->getPixel(x + dx, y + dy);
        if (!under) continue;
        auto blend = [a](unsigned s, unsigned u) { return static_cast<BYTE>((s * a + u * (255 - a) + 127) / 255); };
        d->setPixel(
            x + dx, y + dy,
            RGB(blend(p[2], GetRValue(*under)), blend(p[1], GetGValue(*under)), blend(p[0], GetBValue(*under))));
      }
    }
    return TRUE;
  }
  int saved = d->stretchMode;
  d->stretchMode = COLORONCOLOR;
  bool ok = true;
  if (flags & DI_MASK) ok = d->drawPixels(x, y, width, height, maskSrc, 0, 0, iw, ih, SRCAND) && ok;
  if (flags & DI_IMAGE) {
    if (color) {
      BitmapSource colorSrc(color->view());
      ok = d->drawPixels(x, y, width, height, colorSrc, 0, 0, iw, ih, (flags & DI_MASK) ? SRCINVERT : SRCCOPY) && ok;
    } else {
      ok = d->drawPixels(x, y, width, height, maskSrc, 0, ih, iw, ih, (flags & DI_MASK) ? SRCINVERT : SRCCOPY) && ok;
    }
  }
  d->stretchMode = saved;
  return ok ? TRUE : FALSE;
}
