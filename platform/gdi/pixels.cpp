// Reading pixels out of bitmaps and packed DIBs, writing them into bitmaps, and
// the stretch engine behind every blit onto a bitmap.
#include <algorithm>
#include <cstring>

#include "platform/gdi/objects.h"

namespace vel::gdi {

void DecodeMasks(const DWORD masks[3], int shifts[3], int widths[3]) {
  for (int i = 0; i < 3; ++i) {
    DWORD m = masks[i];
    int s = 0, w = 0;
    if (m) {
      while (!(m & 1)) {
        m >>= 1;
        ++s;
      }
      while (m & 1) {
        m >>= 1;
        ++w;
      }
    }
    shifts[i] = s;
    widths[i] = w;
  }
}

namespace {
inline DWORD Le16(const BYTE* p) { return static_cast<DWORD>(p[0] | (p[1] << 8)); }
inline DWORD Le32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}
inline Pixel QuadToPixel(const RGBQUAD& q) { return (Pixel(q.rgbRed) << 16) | (Pixel(q.rgbGreen) << 8) | q.rgbBlue; }

void FetchRow(const BitmapView& v, const Pixel* palette, int colorCount, const int shifts[3], const int widths[3],
              int y, int x, int count, Pixel* out) {
  const BYTE* row = v.row(y);
  switch (v.bitsPerPixel) {
    case 1:
      for (int i = 0; i < count; ++i) {
        int xx = x + i;
        int idx = (row[xx >> 3] >> (7 - (xx & 7))) & 1;
        out[i] = idx < colorCount ? palette[idx] : 0;
      }
      break;
    case 4:
      for (int i = 0; i < count; ++i) {
        int xx = x + i;
        int idx = (xx & 1) ? (row[xx >> 1] & 0x0F) : (row[xx >> 1] >> 4);
        out[i] = idx < colorCount ? palette[idx] : 0;
      }
      break;
    case 8:
      for (int i = 0; i < count; ++i) {
        int idx = row[x + i];
        out[i] = idx < colorCount ? palette[idx] : 0;
      }
      break;
    case 16:
      for (int i = 0; i < count; ++i) {
        DWORD w = Le16(row + 2 * (x + i));
        out[i] = (Pixel(ScaleMasked(w, shifts[0], widths[0])) << 16) |
                 (Pixel(ScaleMasked(w, shifts[1], widths[1])) << 8) | ScaleMasked(w, shifts[2], widths[2]);
      }
      break;
    case 24: {
      const BYTE* p = row + 3 * x;
      for (int i = 0; i < count; ++i, p += 3) out[i] = (Pixel(p[2]) << 16) | (Pixel(p[1]) << 8) | p[0];
      break;
    }
    case 32:
      for (int i = 0; i < count; ++i) {
        DWORD w = Le32(row + 4 * (x + i));
        out[i] = (Pixel(ScaleMasked(w, shifts[0], widths[0])) << 16) |
                 (Pixel(ScaleMasked(w, shifts[1], widths[1])) << 8) | ScaleMasked(w, shifts[2], widths[2]);
      }
      break;
    default: std::fill(out, out + count, 0);
  }
}

// The way back from ScaleMasked: a pixel's channels packed into the bit fields
// of a 16 or 32-bit row.
DWORD PackMasked(Pixel p, const int shifts[3], const int widths[3]) {
  DWORD w = 0;
  for (int c = 0; c < 3; ++c) {
    DWORD v = (p >> (16 - 8 * c)) & 0xFF;
    if (widths[c] <= 0) continue;
    w |= (widths[c] >= 8 ? v << (widths[c] - 8) : v >> (8 - widths[c])) << shifts[c];
  }
  return w;
}
}  // namespace

// ---- BitmapSource ------------------------------------------------------------

BitmapSource::BitmapSource(const BitmapView& view) : view_(view) {
  width = view.width;
  height = view.height;
  for (int i = 0; i < view.colorCount && i < 256; ++i) palette_[i] = QuadToPixel(view.colors[i]);
}

void BitmapSource::fetch(int y, int x, int count, Pixel* out, BYTE* painted) const {
  int shifts[3], widths[3];
  DecodeMasks(view_.masks, shifts, widths);
  FetchRow(view_, palette_, std::min(view_.colorCount, 256), shifts, widths, y, x, count, out);
  if (painted) std::fill(painted, painted + count, 1);
}

const BYTE* BitmapSource::bgrRow(int y) const { return view_.bitsPerPixel == 24 ? view_.row(y) : nullptr; }

// ---- DibSource -----------------------------------------------------------------

namespace {
// Expands RLE4/RLE8 data into one byte per pixel (top row first) and a mask of
// the pixels it set; pixels skipped by deltas or an early end stay unpainted.
void ExpandRle(const BYTE* data, size_t size, int width, int height, bool rle4, std::vector<BYTE>& out,
               std::vector<BYTE>& painted) {
  out.assign(static_cast<size_t>(width) * height, 0);
  painted.assign(out.size(), 0);
  int x = 0, y = 0;  // y counts from the bottom row
  size_t i = 0;
  auto put = [&](int value) {
    if (x < width && y < height) {
      size_t at = static_cast<size_t>(height - 1 - y) * width + x;
      out[at] = static_cast<BYTE>(value);
      painted[at] = 1;
    }
    ++x;
  };
  while (i + 1 < size && y < height) {
    BYTE count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count && x < width; ++k) put(rle4 ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (i + 1 >= size) break;
      x += data[i];
      y += data[i + 1];
      i += 2;
    } else {  // absolute run of `value` pixels
      size_t bytes = rle4 ? (value + 1u) / 2 : value;
      if (i + bytes > size) bytes = size - i;
      for (int k = 0; k < value; ++k) {
        size_t at = rle4 ? i + k / 2 : i + k;
        if (at >= i + bytes) break;
        put(rle4 ? ((k & 1) ? (data[at] & 0x0F) : (data[at] >> 4)) : data[at]);
      }
      i += (bytes + 1) & ~size_t(1);
    }
  }
}
}  // namespace

std::unique_ptr<DibSource> DibSource::Create(const BITMAPINFO* info, const void* bits, size_t bitsSize, UINT usage) {
  if (!info || !bits) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < 40 || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return nullptr;
  int width = h.biWidth;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (static_cast<long long>(width) * height > kMaxBitmapPixels) return nullptr;
  int bpp = h.biBitCount;
  auto src = std::unique_ptr<DibSource>(new DibSource);
  src->width = width;
  src->height = height;
  src->topDown_ = h.biHeight < 0;
  const BYTE* after = reinterpret_cast<const BYTE*>(info) + h.biSize;

  bool rle = h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4;
  if (rle) {
    if ((h.biCompression == BI_RLE8 && bpp != 8) || (h.biCompression == BI_RLE4 && bpp != 4) || src->topDown_)
      return nullptr;
  } else if (h.biCompression == BI_BITFIELDS) {
    if (bpp != 16 && bpp != 32) return nullptr;
  } else if (h.biCompression != BI_RGB) {
    return nullptr;
  }
  if (!IsDibBitCount(bpp)) return nullptr;

  if (bpp <= 8) {
    int n = 1 << bpp;
    if (h.biClrUsed > 0 && h.biClrUsed < static_cast<DWORD>(n)) n = static_cast<int>(h.biClrUsed);
    src->colorCount_ = n;
    if (usage == DIB_PAL_COLORS) {
      const auto& def = static_cast<Palette*>(GetStockObject(DEFAULT_PALETTE))->entries;
      const WORD* idx = reinterpret_cast<const WORD*>(after);
      for (int i = 0; i < n; ++i) {
        const PALETTEENTRY& e = def[idx[i] % def.size()];
        src->palette_[i] = (Pixel(e.peRed) << 16) | (Pixel(e.peGreen) << 8) | e.peBlue;
      }
    } else {
      const RGBQUAD* q = reinterpret_cast<const RGBQUAD*>(after);
      for (int i = 0; i < n; ++i) src->palette_[i] = QuadToPixel(q[i]);
    }
  }

  BitmapView& v = src->view_;
  v.width = width;
  v.height = height;
  v.bitsPerPixel = bpp;
  v.topDown = src->topDown_;
  if (rle) {
    size_t size = bitsSize;
    if (h.biSizeImage > 0 && h.biSizeImage < size) size = h.biSizeImage;
    ExpandRle(static_cast<const BYTE*>(bits), size, width, height, h.biCompression == BI_RLE4, src->expanded_,
              src->paintedMask_);
    v.bitsPerPixel = 8;
    v.topDown = true;
    v.stride = static_cast<size_t>(width);
    v.bits = src->expanded_.data();
    src->topDown_ = false;
  } else {
    v.stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    if (bitsSize != SIZE_MAX && v.stride * height > bitsSize) return nullptr;
    v.bits = const_cast<BYTE*>(static_cast<const BYTE*>(bits));
  }
  if (bpp == 16 || bpp == 32) {
    if (h.biCompression == BI_BITFIELDS) {
      const BYTE* m = h.biSize >= 52 ? reinterpret_cast<const BYTE*>(info) + 40 : after;
      std::memcpy(v.masks, m, sizeof v.masks);
    } else if (bpp == 16) {
      v.masks[0] = 0x7C00;
      v.masks[1] = 0x03E0;
      v.masks[2] = 0x001F;
    } else {
      v.masks[0] = 0xFF0000;
      v.masks[1] = 0x00FF00;
      v.masks[2] = 0x0000FF;
    }
    DecodeMasks(v.masks, src->shifts_, src->widths_);
  }
  return src;
}

void DibSource::fetch(int y, int x, int count, Pixel* out, BYTE* painted) const {
  FetchRow(view_, palette_, colorCount_, shifts_, widths_, y, x, count, out);
  if (painted) {
    if (paintedMask_.empty())
      std::fill(painted, painted + count, 1);
    else
      std::memcpy(painted, paintedMask_.data() + static_cast<size_t>(y) * width + x, count);
  }
}

const BYTE* DibSource::bgrRow(int y) const { return view_.bitsPerPixel == 24 ? view_.row(y) : nullptr; }

// ---- BitmapTarget -----------------------------------------------------------------

BitmapTarget::BitmapTarget(const BitmapView& view) : view_(view) {
  for (int i = 0; i < view.colorCount && i < 256; ++i) palette_[i] = QuadToPixel(view.colors[i]);
}

BYTE BitmapTarget::nearest(Pixel p) const {
  int n = std::min(view_.colorCount, 256);
  int best = 0;
  long bestDist = -1;
  for (int i = 0; i < n; ++i) {
    long dr = long((p >> 16) & 0xFF) - long((palette_[i] >> 16) & 0xFF);
    long dg = long((p >> 8) & 0xFF) - long((palette_[i] >> 8) & 0xFF);
    long db = long(p & 0xFF) - long(palette_[i] & 0xFF);
    long d = dr * dr + dg * dg + db * db;
    if (bestDist < 0 || d < bestDist) {
      bestDist = d;
      best = i;
      if (d == 0) break;
    }
  }
  return static_cast<BYTE>(best);
}

void BitmapTarget::put(int x, int y, Pixel p) { store(y, x, 1, &p, nullptr); }

Pixel BitmapTarget::load(int x, int y) const {
  Pixel p = 0;
  int shifts[3], widths[3];
  DecodeMasks(view_.masks, shifts, widths);
  FetchRow(view_, palette_, std::min(view_.colorCount, 256), shifts, widths, y, x, 1, &p);
  return p;
}

void BitmapTarget::store(int y, int x, int count, const Pixel* in, const BYTE* painted) {
  BYTE* row = view_.row(y);
  switch (view_.bitsPerPixel) {
    case 24: {
      BYTE* p = row + 3 * x;
      for (int i = 0; i < count; ++i, p += 3) {
        if (painted && !painted[i]) continue;
        p[0] = in[i] & 0xFF;
        p[1] = (in[i] >> 8) & 0xFF;
        p[2] = (in[i] >> 16) & 0xFF;
      }
      break;
    }
    case 32: {
      int shifts[3], widths[3];
      DecodeMasks(view_.masks, shifts, widths);
      for (int i = 0; i < count; ++i) {
        if (painted && !painted[i]) continue;
        const DWORD w = PackMasked(in[i], shifts, widths);
        BYTE* p = row + 4 * (x + i);
        p[0] = w & 0xFF;
        p[1] = (w >> 8) & 0xFF;
        p[2] = (w >> 16) & 0xFF;
        p[3] = (w >> 24) & 0xFF;
      }
      break;
    }
    case 16: {
      int shifts[3], widths[3];
      DecodeMasks(view_.masks, shifts, widths);
      for (int i = 0; i < count; ++i) {
        if (painted && !painted[i]) continue;
        const DWORD w = PackMasked(in[i], shifts, widths);
        BYTE* p = row + 2 * (x + i);
        p[0] = w & 0xFF;
        p[1] = (w >> 8) & 0xFF;
      }
      break;
    }
    case 8:
    case 4:
    case 1: {
      Pixel last = 0;
      BYTE lastIdx = nearest(0);
      for (int i = 0; i < count; ++i) {
        if (painted && !painted[i]) continue;
        if (in[i] != last) {
          last = in[i];
          lastIdx = nearest(last);
        }
        int xx = x + i;
        if (view_.bitsPerPixel == 8) {
          row[xx] = lastIdx;
        } else if (view_.bitsPerPixel == 4) {
          BYTE& b = row[xx >> 1];
          b = (xx & 1) ? static_cast<BYTE>((b & 0xF0) | lastIdx) : static_cast<BYTE>((b & 0x0F) | (lastIdx << 4));
        } else {
          BYTE bit = static_cast<BYTE>(0x80 >> (xx & 7));
          if (lastIdx)
            row[xx >> 3] |= bit;
          else
            row[xx >> 3] &= static_cast<BYTE>(~bit);
        }
      }
      break;
    }
    default: break;
  }
}

// ---- the stretch engine ---------------------------------------------------------

namespace {
// Source position for destination index d when D destination pixels show S source
// pixels: the source pixel under the centre of the destination pixel.
inline int CentreOf(long long d, long long S, long long D) { return static_cast<int>(((2 * d + 1) * S) / (2 * D)); }

struct Axis {
  // For each visible destination index: first and one-past-last source index that
  // it covers (relative to the source rectangle), already mirrored when needed.
  std::vector<int> first, last;
  int visibleStart = 0, visibleEnd = 0;  // destination range after clipping, absolute
};

bool BuildAxis(int pos, int extent, int limit, int srcPos, int srcExtent, int srcLimit, bool combine, Axis& a) {
  bool flip = (extent < 0) != (srcExtent < 0);
  if (extent < 0) {
    pos += extent;
    extent = -extent;
  }
  if (srcExtent < 0) {
    srcPos += srcExtent;
    srcExtent = -srcExtent;
  }
  a.visibleStart = std::max(pos, 0);
  a.visibleEnd = std::min(pos + extent, limit);
  if (a.visibleStart >= a.visibleEnd) return false;
  int n = a.visibleEnd - a.visibleStart;
  a.first.resize(n);
  a.last.resize(n);
  for (int i = 0; i < n; ++i) {
    long long d = a.visibleStart + i - pos;
    int f, l;
    if (combine && srcExtent > extent) {
      f = static_cast<int>(d * srcExtent / extent);
      l = static_cast<int>((d + 1) * srcExtent / extent);
    } else {
      f = CentreOf(d, srcExtent, extent);
      l = f + 1;
    }
    if (flip) {
      int nf = srcExtent - l, nl = srcExtent - f;
      f = nf;
      l = nl;
    }
    f += srcPos;
    l += srcPos;
    // Parts of the span outside the source are simply not there.
    f = std::max(f, 0);
    l = std::min(l, srcLimit);
    a.first[i] = f;
    a.last[i] = l;
  }
  return true;
}
}  // namespace

bool StretchPixels(BitmapTarget& dst, int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws,
                   int hs, int mode, DWORD rop) {
  if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return false;
  const BitmapView& dv = dst.view();
  bool combine = mode == BLACKONWHITE || mode == WHITEONBLACK;
  Axis ax, ay;
  if (!BuildAxis(xd, wd, dv.width, xs, ws, src.width, combine, ax)) return true;
  if (!BuildAxis(yd, hd, dv.height, ys, hs, src.height, combine, ay)) return true;

  int nx = ax.visibleEnd - ax.visibleStart;
  // Fast path: same size, no mirroring, plain copy between 24-bit rows.
  bool sameSize = wd == ws && hd == hs && wd > 0 && hd > 0;
  if (sameSize && rop == SRCCOPY && !src.hasHoles() && dst.bgrRow(0)) {
    int sx0 = ax.first[0];
    bool inside = ax.last[nx - 1] - sx0 == nx && ax.first[nx - 1] == sx0 + nx - 1;
    if (inside && src.bgrRow(0)) {
      for (int i = 0; i < static_cast<int>(ay.first.size()); ++i) {
        if (ay.first[i] >= ay.last[i]) continue;
        std::memcpy(dst.bgrRow(ay.visibleStart + i) + 3 * ax.visibleStart, src.bgrRow(ay.first[i]) + 3 * sx0,
                    3 * static_cast<size_t>(nx));
      }
      return true;
    }
  }

  // Columns of the source that any visible destination pixel reads.
  int minCol = src.width, maxCol = 0;
  for (int i = 0; i < nx; ++i) {
    if (ax.first[i] < ax.last[i]) {
      minCol = std::min(minCol, ax.first[i]);
      maxCol = std::max(maxCol, ax.last[i]);
    }
  }
  if (minCol >= maxCol) return true;
  int span = maxCol - minCol;
  std::vector<Pixel> srow(span), acc(nx), out(nx);
  std::vector<BYTE> spaint(span), opaint(nx);
  Pixel identity = mode == BLACKONWHITE ? 0xFFFFFF : 0;

  for (int j = 0; j < static_cast<int>(ay.first.size()); ++j) {
    int y = ay.visibleStart + j;
    if (ay.first[j] >= ay.last[j]) continue;
    bool first = true;
    std::fill(opaint.begin(), opaint.end(), 0);
    for (int sy = ay.first[j]; sy < ay.last[j]; ++sy) {
      src.fetch(sy, minCol, span, srow.data(), spaint.data());
      for (int i = 0; i < nx; ++i) {
        int f = ax.first[i], l = ax.last[i];
        if (f >= l) continue;
        Pixel v = first ? identity : acc[i];
        if (!combine) {
          if (spaint[f - minCol]) {
            v = srow[f - minCol];
            opaint[i] = 1;
          }
        } else {
          for (int c = f; c < l; ++c) {
            if (!spaint[c - minCol]) continue;
            if (!opaint[i])
              v = srow[c - minCol];
            else
              v = mode == BLACKONWHITE ? (v & srow[c - minCol]) : (v | srow[c - minCol]);
            opaint[i] = 1;
          }
        }
        acc[i] = v;
      }
      first = false;
      if (!combine) break;
    }
    if (rop != SRCCOPY) {
      for (int i = 0; i < nx; ++i) {
        if (!opaint[i]) continue;
        Pixel d = dst.load(ax.visibleStart + i, y);
        switch (rop) {
          case SRCAND: acc[i] &= d; break;
          case SRCPAINT: acc[i] |= d; break;
          case SRCINVERT: acc[i] ^= d; break;
          default: break;
        }
      }
    }
    dst.store(y, ax.visibleStart, nx, acc.data(), opaint.data());
  }
  return true;
}

}  // namespace vel::gdi
