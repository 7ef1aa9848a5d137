// The objects behind GDI handles. Private to the platform layer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/gdi.h"

namespace vel::gdi {

// Pixels travel through the blit engine as 0x00RRGGBB words.
using Pixel = std::uint32_t;
inline Pixel PixelFromColorref(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
inline COLORREF ColorrefFromPixel(Pixel p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// Something whose rows can be read as pixels: a bitmap or a DIB in memory.
class PixelSource {
 public:
  virtual ~PixelSource() = default;
  int width = 0;
  int height = 0;
  // Reads `count` pixels of row y (from the top) starting at column x (all in range).
  // `painted`, when not null, receives 0 for pixels the source leaves untouched (RLE skips).
  virtual void fetch(int y, int x, int count, Pixel* out, BYTE* painted) const = 0;
  virtual bool hasHoles() const { return false; }
  // For the fast path: 24-bit rows that can be copied as they are.
  virtual const BYTE* bgrRow(int /*y*/) const { return nullptr; }
};

class BitmapSource : public PixelSource {
 public:
  explicit BitmapSource(const BitmapView& view);
  void fetch(int y, int x, int count, Pixel* out, BYTE* painted) const override;
  const BYTE* bgrRow(int y) const override;

 private:
  BitmapView view_;
  Pixel palette_[256] = {};
};

// A packed DIB (header, colour table, bits) as found in files and clipboard blocks.
class DibSource : public PixelSource {
 public:
  // bitsSize bounds every read from `bits`; SIZE_MAX trusts the header (Win32 callers).
  static std::unique_ptr<DibSource> Create(const BITMAPINFO* info, const void* bits, size_t bitsSize,
                                           UINT usage = DIB_RGB_COLORS);
  void fetch(int y, int x, int count, Pixel* out, BYTE* painted) const override;
  bool hasHoles() const override { return !paintedMask_.empty(); }
  const BYTE* bgrRow(int y) const override;
  bool topDown() const { return topDown_; }

 private:
  BitmapView view_;  // rows of the raw bits (or of the RLE expansion)
  Pixel palette_[256] = {};
  int colorCount_ = 0;
  std::vector<BYTE> expanded_;     // RLE decoded to one byte per pixel, top row first
  std::vector<BYTE> paintedMask_;  // per pixel, for RLE
  bool topDown_ = false;
  int shifts_[3] = {0, 0, 0};
  int widths_[3] = {0, 0, 0};
  bool bitfields_ = false;
};

// Writes pixels into a bitmap, converting to its format.
class BitmapTarget {
 public:
  explicit BitmapTarget(const BitmapView& view);
  void store(int y, int x, int count, const Pixel* in, const BYTE* painted);
  Pixel load(int x, int y) const;
  void put(int x, int y, Pixel p);
  BYTE* bgrRow(int y) const { return view_.bitsPerPixel == 24 ? view_.row(y) : nullptr; }
  const BitmapView& view() const { return view_; }

 private:
  BYTE nearest(Pixel p) const;
  BitmapView view_;
  Pixel palette_[256] = {};
};

void DecodeMasks(const DWORD masks[3], int shifts[3], int widths[3]);
inline BYTE ScaleMasked(DWORD v, int shift, int width) {
  if (width <= 0) return 0;
  DWORD x = (v >> shift) & ((width >= 32) ? 0xFFFFFFFFu : ((1u << width) - 1));
  if (width >= 8) return static_cast<BYTE>(x >> (width - 8));
  // replicate the high bits to fill 8 bits exactly (31 -> 255 for 5 bits)
  DWORD out = 0;
  int filled = 0;
  while (filled < 8) {
    out = (out << width) | x;
    filled += width;
  }
  return static_cast<BYTE>(out >> (filled - 8));
}

// The pixel-exact stretch engine used by every blit onto a bitmap.
// dst/src rectangles may have negative extents (mirroring); `rop` is SRCCOPY,
// SRCAND, SRCPAINT or SRCINVERT.
bool StretchPixels(BitmapTarget& dst, int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws,
                   int hs, int mode, DWORD rop);

// Live-handle checks, so a stale or foreign handle gives a failure and not a crash.
void Register(const void* object);
void Unregister(const void* object);
bool IsLive(const void* object);

template <typename T>
T* Live(T* object) {
  return object && IsLive(object) ? object : nullptr;
}

// `zeroFill` false leaves the pixels as the memory had them: only for callers that
// write every row before anything reads them.
Bitmap* NewBitmap(int width, int height, int bitsPerPixel, bool topDown, bool dibSection, bool zeroFill = true);

}  // namespace vel::gdi
