// WordPerfect Graphics, versions 1 and 2, drawn into an enhanced metafile. Both
// versions keep y pointing up; the picture is flipped here so the metafile's
// window is the plain extent of the drawing in its own units.
#include "imagelib/formats/wpg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/gdi/metafile_records.h"

namespace lorimer::formats {

using vel::gdi::ByteView;
using vel::gdi::meta::Params;
namespace emf = vel::gdi::emf;


namespace {

using vector_detail::EmfCanvas;
using Palette = std::array<COLORREF, 256>;

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxBitmapPixels = 16u << 20;

// The picture's colours until a colour map replaces them: the 16 EGA colours,
// a grey ramp, then a 6x6x6 colour cube and a few more greys.
Palette DefaultWpgPalette() {
  static const BYTE ega[16][3] = {{0, 0, 0},       {0, 0, 170},     {0, 170, 0},    {0, 170, 170},
                                  {170, 0, 0},     {170, 0, 170},   {170, 85, 0},   {170, 170, 170},
                                  {85, 85, 85},    {85, 85, 255},   {85, 255, 85},  {85, 255, 255},
                                  {255, 85, 85},   {255, 85, 255},  {255, 255, 85}, {255, 255, 255}};
  Palette p{};
  for (int i = 0; i < 16; ++i) p[i] = RGB(ega[i][0], ega[i][1], ega[i][2]);
  for (int i = 0; i < 16; ++i) p[16 + i] = RGB(i * 17, i * 17, i * 17);
  for (int i = 0; i < 216; ++i) p[32 + i] = RGB((i / 36) * 51, ((i / 6) % 6) * 51, (i % 6) * 51);
  for (int i = 0; i < 8; ++i) p[248 + i] = RGB(32 + i * 24, 32 + i * 24, 32 + i * 24);
  return p;
}

// The variable-length numbers both versions use for record lengths.
bool Varint(const ByteView& v, size_t& pos, size_t& value) {
  BYTE b;
  if (!v.u8(pos, b)) return false;
  ++pos;
  if (b != 0xFF) {
    value = b;
    return true;
  }
  WORD w;
  if (!v.u16(pos, w)) return false;
  pos += 2;
  if (w < 0x8000) {
    value = w;
    return true;
  }
  WORD lo;
  if (!v.u16(pos, lo)) return false;
  pos += 2;
  value = (static_cast<size_t>(w & 0x7FFF) << 16) | lo;
  return true;
}

WORD U16(const ByteView& r, size_t at) {
  WORD v = 0;
  r.u16(at, v);
  return v;
}
int S16(const ByteView& r, size_t at) {
  std::int16_t v = 0;
  r.i16(at, v);
  return v;
}
BYTE U8(const ByteView& r, size_t at) {
  BYTE v = 0;
  r.u8(at, v);
  return v;
}

// An 8-bit top-down DIB header with `palette` (size entries) for w x h pixels.
std::vector<BYTE> IndexedDibInfo(int w, int h, const COLORREF* palette, int entries) {
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
  BITMAPINFOHEADER bh{};
  bh.biSize = sizeof bh;
  bh.biWidth = w;
  bh.biHeight = -h;
  bh.biPlanes = 1;
  bh.biBitCount = 8;
  bh.biClrUsed = 256;
  std::memcpy(info.data(), &bh, sizeof bh);
  for (int i = 0; i < 256; ++i) {
    const COLORREF c = i < entries ? palette[i] : 0;
    BYTE* q = info.data() + sizeof bh + i * 4;
    q[0] = static_cast<BYTE>(c >> 16);
    q[1] = static_cast<BYTE>(c >> 8);
    q[2] = static_cast<BYTE>(c);
  }
  return info;
}

// Packed rows of `depth`-bit indices (MSB first) widened to 8-bit DIB rows.
std::vector<BYTE> WidenToBytes(const std::vector<BYTE>& packed, int w, int h, int depth) {
  const size_t stride = (static_cast<size_t>(w) * depth + 7) / 8;
  const size_t dibStride = (static_cast<size_t>(w) + 3) & ~size_t(3);
  std::vector<BYTE> out(dibStride * h, 0);
  const int mask = (1 << depth) - 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t bit = static_cast<size_t>(x) * depth;
      const BYTE b = packed[y * stride + bit / 8];
      out[y * dibStride + x] = static_cast<BYTE>((b >> (8 - depth - bit % 8)) & mask);
    }
  return out;
}

// ---- WPG 1 ----------------------------------------------------------------------

// Run-length rows: see the notes on opcodes beside each branch.
void DecodeWpg1Rle(const ByteView& r, size_t pos, size_t stride, std::vector<BYTE>& out) {
  const size_t total = out.size();
  size_t o = 0;
  while (o < total && pos < r.size) {
    const BYTE b = U8(r, pos++);
    if (b & 0x80) {
      size_t n = b & 0x7F;
      BYTE value = 0xFF;  // n = 0: a count of 0xFF bytes follows
      if (n > 0) value = U8(r, pos++);
      else n = U8(r, pos++);
      for (; n && o < total; --n) out[o++] = value;
    } else if (b > 0) {
      for (size_t n = b; n && o < total && pos < r.size; --n) out[o++] = U8(r, pos++);
    } else {
      // Repeat the row above, only meaningful at the start of a row.
      size_t n = U8(r, pos++);
      if (o % stride || o < stride) continue;
      for (; n && o + stride <= total; --n, o += stride) std::memcpy(&out[o], &out[o - stride], stride);
    }
  }
}

struct Wpg1 {
  EmfCanvas* canvas = nullptr;
  int height = 0;
  Palette palette = DefaultWpgPalette();
  int lineStyle = 1, lineColor = 0, lineWidth = 1;
  int fillStyle = 0, fillColor = 0;
  int textHeight = 240;  // 1/5 inch

  POINTL pt(int x, int y) const { return POINTL{x, height - y}; }
  void stroke() { canvas->setPen(palette[lineColor], lineWidth, lineStyle != 0); }
  void fill() { canvas->setBrush(palette[fillColor], fillStyle != 0); }

  std::vector<POINTL> points(const ByteView& r, size_t at, size_t count) const {
    std::vector<POINTL> pts;
    count = std::min(count, (r.size - std::min(r.size, at)) / 4);
    pts.reserve(count);
    for (size_t i = 0; i < count; ++i) pts.push_back(pt(S16(r, at + i * 4), S16(r, at + i * 4 + 2)));
    return pts;
  }

  void ellipse(const ByteView& r) {
    const int cx = S16(r, 0), cy = S16(r, 2), rx = S16(r, 4), ry = S16(r, 6);
    const int rot = S16(r, 8), a0 = S16(r, 10), a1 = S16(r, 12);
    stroke();
    fill();
    const bool full = a0 == a1 || (a0 == 0 && a1 == 360);
    if (full && rot % 360 == 0) {
      const POINTL c = pt(cx, cy);
      canvas->ellipse(RECTL{c.x - rx, c.y - ry, c.x + rx, c.y + ry});
      return;
    }
    // Rotated ellipses and arcs become a polyline through points every ~6 degrees.
    double start = a0, sweep = full ? 360 : a1 - a0;
    if (sweep <= 0) sweep += 360;
    const int steps = std::max(2, static_cast<int>(sweep / 6));
    const double cr = std::cos(rot * vector_detail::kPi / 180), sr = std::sin(rot * vector_detail::kPi / 180);
    std::vector<POINTL> pts;
    for (int i = 0; i <= steps; ++i) {
      const double a = (start + sweep * i / steps) * vector_detail::kPi / 180;
      const double ex = rx * std::cos(a), ey = ry * std::sin(a);
      pts.push_back(pt(static_cast<int>(std::lround(cx + ex * cr - ey * sr)),
                       static_cast<int>(std::lround(cy + ex * sr + ey * cr))));
    }
    if (full) canvas->polygon(pts);
    else canvas->polyline(pts);
  }

  void text(POINTL at, const std::string& chars, int h, int rotation) {
    canvas->setTextColor(palette[lineColor]);
    canvas->setFont(h > 0 ? h : textHeight, rotation * 10);
    canvas->text(at, vector_detail::DecodeText(chars));
  }

  static std::string Chars(const ByteView& r, size_t at, size_t n) {
    const BYTE* p;
    n = std::min(n, r.size - std::min(r.size, at));
    if (!n || !r.bytes(at, n, p)) return {};
    std::string s(reinterpret_cast<const char*>(p), n);
    s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
    return s;
  }

  // Bitmap rows at `data`, placed on the logical rectangle.
  void bitmap(const ByteView& r, size_t header, size_t data, LONG x, LONG y, LONG w, LONG h) {
    const int pw = U16(r, header), ph = U16(r, header + 2), depth = U16(r, header + 4);
    if (pw <= 0 || ph <= 0 || (depth != 1 && depth != 2 && depth != 4 && depth != 8)) return;
    if (static_cast<size_t>(pw) * ph > kMaxBitmapPixels || data >= r.size) return;
    const size_t stride = (static_cast<size_t>(pw) * depth + 7) / 8;
    std::vector<BYTE> packed(stride * ph, 0);
    DecodeWpg1Rle(r, data, stride, packed);
    const COLORREF mono[2] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    const std::vector<BYTE> info = IndexedDibInfo(pw, ph, depth == 1 ? mono : palette.data(), depth == 1 ? 2 : 256);
    if (w == 0 || h == 0) {
      const int hres = U16(r, header + 6), vres = U16(r, header + 8);
      w = hres > 0 ? static_cast<LONG>(static_cast<long long>(pw) * 1200 / hres) : pw;
      h = vres > 0 ? static_cast<LONG>(static_cast<long long>(ph) * 1200 / vres) : ph;
    }
    canvas->dib(x, y, w, h, info, WidenToBytes(packed, pw, ph, depth));
  }

  void record(BYTE type, const ByteView& r) {
    switch (type) {
      case 0x01: fillStyle = U8(r, 0); fillColor = U8(r, 1); break;
      case 0x02: lineStyle = U8(r, 0); lineColor = U8(r, 1); lineWidth = U16(r, 2); break;
      case 0x05: stroke(); canvas->polyline({pt(S16(r, 0), S16(r, 2)), pt(S16(r, 4), S16(r, 6))}); break;
      case 0x06: stroke(); canvas->polyline(points(r, 2, U16(r, 0))); break;
      case 0x08: stroke(); fill(); canvas->polygon(points(r, 2, U16(r, 0))); break;
      case 0x07: {
        const POINTL a = pt(S16(r, 0), S16(r, 2));
        stroke();
        fill();
        canvas->rectangle(RECTL{a.x, a.y - S16(r, 6), a.x + S16(r, 4), a.y});
        break;
      }
      case 0x09: ellipse(r); break;
      case 0x0E: {
        const size_t start = U16(r, 0), count = U16(r, 2);
        for (size_t i = 0; i < count && start + i < 256 && r.has(4 + i * 3, 3); ++i)
          palette[start + i] = RGB(U8(r, 4 + i * 3), U8(r, 5 + i * 3), U8(r, 6 + i * 3));
        break;
      }
      case 0x13: {
        std::vector<POINTL> pts = points(r, 6, U16(r, 4));
        if (pts.size() >= 4) {
          pts.resize(1 + (pts.size() - 1) / 3 * 3);
          stroke();
          canvas->polyBezier(pts);
        }
        break;
      }
      case 0x0C: text(pt(S16(r, 2), S16(r, 4)), Chars(r, 6, U16(r, 0)), 0, 0); break;
      case 0x0D:
        if (U16(r, 2) > 0) textHeight = U16(r, 2);
        break;
      case 0x18: {
        const int y1 = S16(r, 10), y2 = S16(r, 14);
        text(pt(S16(r, 8), y1), Chars(r, 21, U16(r, 6)), std::abs(y2 - y1), S16(r, 4));
        break;
      }
      case 0x0B: bitmap(r, 0, 10, 0, 0, 0, 0); break;
      case 0x14: {
        const int x1 = S16(r, 2), y1 = S16(r, 4), x2 = S16(r, 6), y2 = S16(r, 8);
        const POINTL tl = pt(std::min(x1, x2), std::max(y1, y2));
        if (x1 != x2 && y1 != y2) bitmap(r, 10, 20, tl.x, tl.y, std::abs(x2 - x1), std::abs(y2 - y1));
        break;
      }
      default: break;  // attributes and records without a drawing of their own
    }
  }
};

bool ReadWpg1(const ByteView& v, size_t pos, VectorDrawing& out) {
  std::optional<EmfCanvas> canvas;
  Wpg1 st;
  while (pos < v.size) {
    BYTE type;
    size_t length;
    if (!v.u8(pos, type)) break;
    ++pos;
    if (!Varint(v, pos, length) || !v.has(pos, length)) break;
    const ByteView r{v.data + pos, length};
    pos += length;
    if (type == 0x10) break;
    if (type == 0x0F) {
      if (canvas) continue;
      const int w = U16(r, 2), h = U16(r, 4);
      if (w <= 0 || h <= 0) return false;
      int fw, fh;
      vector_detail::SaneFrame(w * 2540.0 / 1200, h * 2540.0 / 1200, fw, fh);
      canvas.emplace(POINTL{0, 0}, SIZEL{w, h}, fw, fh);
      st.canvas = &*canvas;
      st.height = h;
      continue;
    }
    if (!canvas) continue;
    st.record(type, r);
    if (canvas->full()) break;
  }
  if (!canvas) return false;
  out.widthHundredthsMm = canvas->frameWidth();
  out.heightHundredthsMm = canvas->frameHeight();
  out.emf = canvas->finish();
  return true;
}

// ---- WPG 2 ----------------------------------------------------------------------

// Decodes WPG2 run-length data into `out` (rows of `stride` bytes).
void DecodeWpg2Rle(const ByteView& r, size_t pos, size_t stride, std::vector<BYTE>& out) {
  const size_t total = out.size();
  size_t o = 0, sample = 1;
  std::array<BYTE, 8> last{};
  bool xorNext = false;
  size_t xorRow = 0;
  auto put = [&](BYTE b) {
    if (o < total) out[o++] = b;
  };
  auto finishRows = [&] {
    if (xorNext && o >= (xorRow + 1) * stride) {
      for (size_t i = 0; i < stride && xorRow > 0; ++i) out[xorRow * stride + i] ^= out[(xorRow - 1) * stride + i];
      xorNext = false;
    }
  };
  while (o < total && pos < r.size) {
    const BYTE b = U8(r, pos++);
    if (b == 0x7D) {
      sample = std::clamp<size_t>(U8(r, pos++), 1, 8);
    } else if (b == 0x7E) {
      xorNext = true;
      xorRow = o / stride;
    } else if (b == 0x7F || b == 0xFF) {
      const size_t n = (U8(r, pos++) + 1) * sample;
      for (size_t i = 0; i < n; ++i) put(b == 0x7F ? 0x00 : 0xFF);
      last.fill(b == 0x7F ? 0x00 : 0xFF);
    } else if (b == 0xFD) {
      const size_t n = U8(r, pos++) + 1;
      for (size_t i = 0; i < n && o < total; ++i)
        for (size_t k = 0; k < sample; ++k) put(last[k]);
    } else if (b == 0xFE) {
      size_t n = U8(r, pos++) + 1;
      if (o % stride || o < stride) continue;
      for (; n && o + stride <= total; --n, o += stride) std::memcpy(&out[o], &out[o - stride], stride);
    } else if (b & 0x80) {
      for (size_t k = 0; k < sample; ++k) last[k] = U8(r, pos++);
      for (size_t i = 0; i < static_cast<size_t>((b & 0x7F) + 1u) && o < total; ++i)
        for (size_t k = 0; k < sample; ++k) put(last[k]);
    } else {
      const size_t n = ((b & 0x7F) + 1u) * sample;
      for (size_t i = 0; i < n && pos < r.size; ++i) put(U8(r, pos++));
    }
    finishRows();
  }
  finishRows();
}

struct Matrix {
  double m00 = 1, m01 = 0, m10 = 0, m11 = 1, tx = 0, ty = 0;
};

struct Wpg2 {
  EmfCanvas* canvas = nullptr;
  bool wide = false;  // 16.16 fixed coordinates
  double x0 = 0, y1 = 0;
  int ppi = 1200;
  std::array<COLORREF, 256> palette = DefaultWpgPalette();
  COLORREF pen = RGB(0, 0, 0), brush = RGB(255, 255, 255);
  LONG penWidth = 0;
  Matrix m;
  WORD flags = 0;
  bool bitmapPending = false;
  RECTL bitmapRect{};
  bool textPending = false;
  POINTL textAt{};

  bool coord(const ByteView& r, size_t& at, double& v) const {
    if (wide) {
      LONG x;
      if (!r.i32(at, x)) return false;
      at += 4;
      v = x / 65536.0;
    } else {
      std::int16_t x;
      if (!r.i16(at, x)) return false;
      at += 2;
      v = x;
    }
    return true;
  }
  bool point(const ByteView& r, size_t& at, POINTL& p, bool transform = true) const {
    double x, y;
    if (!coord(r, at, x) || !coord(r, at, y)) return false;
    if (transform) {
      const double tx = m.m00 * x + m.m10 * y + m.tx, ty = m.m01 * x + m.m11 * y + m.ty;
      x = tx;
      y = ty;
    }
    p = POINTL{vector_detail::ClampLong(x - x0), vector_detail::ClampLong(y1 - y)};
    return true;
  }

  static COLORREF Rgba(const ByteView& r, size_t at) { return RGB(U8(r, at), U8(r, at + 1), U8(r, at + 2)); }
  static COLORREF Rgba16(const ByteView& r, size_t at) {
    return RGB(U16(r, at) >> 8, U16(r, at + 2) >> 8, U16(r, at + 4) >> 8);
  }

  // The flags and transformation every object record starts with; false when short.
  bool characterization(const ByteView& r, size_t& at) {
    m = Matrix{};
    if (!r.u16(at, flags)) return false;
    at += 2;
    if (flags & 0x80) at += 4;  // lock flags
    if (flags & 0x20) {
      const WORD id = U16(r, at);
      at += (id & 0x8000) ? 4 : 2;
    }
    LONG a = 0, b = 0;
    if (flags & 0x10) at += 4;  // the angle is implied by the matrix
    if (flags & 0x18) {
      if (!r.i32(at, a) || !r.i32(at + 4, b)) return false;
      m.m00 = a / 65536.0;
      m.m11 = b / 65536.0;
      at += 8;
    }
    if (flags & 0x14) {
      if (!r.i32(at, a) || !r.i32(at + 4, b)) return false;
      m.m10 = a / 65536.0;
      m.m01 = b / 65536.0;
      at += 8;
    }
    if (flags & 0x02) {
      LONG ix, iy;
      if (!r.i32(at + 2, ix) || !r.i32(at + 8, iy)) return false;
      m.tx = ix + U16(r, at) / 65536.0;
      m.ty = iy + U16(r, at + 6) / 65536.0;
      at += 12;
    }
    if (flags & 0x01) at += 8;  // taper
    return r.has(at, 0);
  }

  void style(bool closedShape) {
    const bool framed = flags & 0x8000, filled = closedShape && (flags & 0x2000);
    // Objects that claim neither a frame nor a fill are still drawn, as outlines.
    canvas->setPen(pen, penWidth, framed || !filled);
    canvas->setBrush(brush, filled);
  }

  std::vector<POINTL> points(const ByteView& r, size_t at, size_t count) const {
    std::vector<POINTL> pts;
    const size_t each = wide ? 8 : 4;
    count = std::min(count, (r.size - std::min(r.size, at)) / each);
    pts.reserve(count);
    POINTL p;
    for (size_t i = 0; i < count && point(r, at, p); ++i) pts.push_back(p);
    return pts;
  }

  void object(BYTE type, const ByteView& r) {
    size_t at = 0;
    if (!characterization(r, at)) return;
    const bool closed = flags & 0x4000;
    switch (type) {
      case 0x15:
      case 0x16: {
        const std::vector<POINTL> pts = points(r, at + 2, U16(r, at));
        style(closed);
        if (closed) canvas->polygon(pts);
        else canvas->polyline(pts);
        break;
      }
      case 0x17: {
        const std::vector<POINTL> t = points(r, at + 2, static_cast<size_t>(U16(r, at)) * 3);
        const size_t n = t.size() / 3;
        if (n < 2) break;
        std::vector<POINTL> pts{t[1]};
        for (size_t i = 1; i < n + (closed ? 1 : 0); ++i) {
          const size_t k = i % n;
          pts.insert(pts.end(), {t[(i - 1) * 3 + 2], t[k * 3], t[k * 3 + 1]});
        }
        style(closed);
        canvas->polyBezier(pts);
        break;
      }
      case 0x18: {
        POINTL a, b;
        double rx = 0, ry = 0;
        if (!point(r, at, a) || !point(r, at, b)) break;
        coord(r, at, rx);
        coord(r, at, ry);
        const RECTL box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        style(true);
        if (rx > 0 && ry > 0) {
          canvas->roundRect(box, SIZEL{vector_detail::ClampLong(rx * 2), vector_detail::ClampLong(ry * 2)});
        } else {
          canvas->rectangle(box);
        }
        break;
      }
      case 0x19: {
        POINTL c;
        double rx, ry, sx, sy, ex, ey;
        if (!point(r, at, c) || !coord(r, at, rx) || !coord(r, at, ry) || !coord(r, at, sx) || !coord(r, at, sy) ||
            !coord(r, at, ex) || !coord(r, at, ey))
          break;
        const LONG lrx = vector_detail::ClampLong(std::abs(rx)), lry = vector_detail::ClampLong(std::abs(ry));
        const RECTL box{c.x - lrx, c.y - lry, c.x + lrx, c.y + lry};
        if (sx == ex && sy == ey) {
          style(true);
          canvas->ellipse(box);
        } else {
          // The file turns counter-clockwise with y up; flipped, that is clockwise, so
          // the ends swap for the metafile's counter-clockwise arcs.
          style(false);
          canvas->arc(box, POINTL{c.x + vector_detail::ClampLong(ex), c.y - vector_detail::ClampLong(ey)},
                      POINTL{c.x + vector_detail::ClampLong(sx), c.y - vector_detail::ClampLong(sy)});
        }
        break;
      }
      case 0x1B: {
        POINTL a, b;
        if (!point(r, at, a) || !point(r, at, b)) break;
        bitmapRect = RECTL{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        bitmapPending = bitmapRect.right > bitmapRect.left && bitmapRect.bottom > bitmapRect.top;
        break;
      }
      case 0x1C:
        // Text line: flags, then the reference point; the characters follow in a
        // text-data child record.
        at += 2;
        textPending = point(r, at, textAt);
        break;
      default: break;
    }
  }

  void bitmapData(const ByteView& r) {
    if (!bitmapPending) return;
    bitmapPending = false;
    const int w = U16(r, 0), h = U16(r, 2), format = U8(r, 4), compression = U8(r, 5);
    if (w <= 0 || h <= 0 || static_cast<size_t>(w) * h > kMaxBitmapPixels || compression > 1) return;
    int bits;
    switch (format) {
      case 1: bits = 1; break;
      case 2: bits = 2; break;
      case 3: bits = 4; break;
      case 4: case 12: bits = 8; break;
      case 8: bits = 24; break;
      default: return;
    }
    const size_t stride = (static_cast<size_t>(w) * bits + 7) / 8;
    std::vector<BYTE> packed(stride * h, 0);
    if (compression == 1) {
      DecodeWpg2Rle(r, 6, stride, packed);
    } else {
      const BYTE* p;
      const size_t n = std::min(packed.size(), r.size - std::min<size_t>(r.size, 6));
      if (n && r.bytes(6, n, p)) std::memcpy(packed.data(), p, n);
    }
    const RECTL& d = bitmapRect;
    if (bits == 24) {
      std::vector<BYTE> info(sizeof(BITMAPINFOHEADER), 0);
      BITMAPINFOHEADER bh{};
      bh.biSize = sizeof bh;
      bh.biWidth = w;
      bh.biHeight = -h;
      bh.biPlanes = 1;
      bh.biBitCount = 24;
      std::memcpy(info.data(), &bh, sizeof bh);
      const size_t dibStride = (stride + 3) & ~size_t(3);
      std::vector<BYTE> rows(dibStride * h, 0);
      // Samples are stored B, G, R: the DIB order already.
      for (int y = 0; y < h; ++y) std::memcpy(&rows[y * dibStride], &packed[y * stride], stride);
      canvas->dib(d.left, d.top, d.right - d.left, d.bottom - d.top, info, rows);
      return;
    }
    std::array<COLORREF, 256> colours = palette;
    if (bits == 1) colours[0] = RGB(0, 0, 0), colours[1] = RGB(255, 255, 255);
    if (format == 12)
      for (int i = 0; i < 256; ++i) colours[i] = RGB(i, i, i);
    canvas->dib(d.left, d.top, d.right - d.left, d.bottom - d.top, IndexedDibInfo(w, h, colours.data(), 256),
                WidenToBytes(packed, w, h, bits));
  }

  void record(BYTE type, const ByteView& r) {
    switch (type) {
      case 0x0C:
      case 0x0D: {
        const size_t start = U16(r, 0), count = U16(r, 2), each = type == 0x0C ? 4 : 8;
        for (size_t i = 0; i < count && start + i < 256 && r.has(4 + i * each, each); ++i)
          palette[start + i] = type == 0x0C ? Rgba(r, 4 + i * 4) : Rgba16(r, 4 + i * 8);
        break;
      }
      case 0x25: pen = Rgba(r, 0); break;
      case 0x26: pen = Rgba16(r, 0); break;
      case 0x2B: penWidth = U16(r, 0); break;
      case 0x31:
      case 0x32: {
        // Gradients keep their first colour.
        const size_t at = U8(r, 0) == 0 ? 1 : 3;
        brush = type == 0x31 ? Rgba(r, at) : Rgba16(r, at);
        break;
      }
      case 0x0E: bitmapData(r); break;
      case 0x0F:
        if (textPending) {
          textPending = false;
          const size_t n = std::min<size_t>(U16(r, 0), r.size - std::min<size_t>(r.size, 2));
          const BYTE* p;
          if (n && r.bytes(2, n, p)) {
            canvas->setTextColor(pen);
            canvas->setFont(ppi / 6, 0);  // 12 point
            canvas->text(textAt, vector_detail::DecodeText(std::string(reinterpret_cast<const char*>(p), n)));
          }
        }
        break;
      case 0x15: case 0x16: case 0x17: case 0x18: case 0x19: case 0x1B: case 0x1C: object(type, r); break;
      default: break;
    }
  }
};

bool ReadWpg2(const ByteView& v, size_t pos, VectorDrawing& out) {
  std::optional<EmfCanvas> canvas;
  Wpg2 st;
  while (pos < v.size) {
    BYTE cls, type;
    size_t extension, length;
    if (!v.u8(pos, cls) || !v.u8(pos + 1, type)) break;
    pos += 2;
    if (!Varint(v, pos, extension) || !Varint(v, pos, length) || !v.has(pos, length)) break;
    const ByteView r{v.data + pos, length};
    pos += length;
    if (type == 0x02) break;
    if (type == 0x01) {
      if (canvas) continue;
      const int ppiX = U16(r, 0) ? U16(r, 0) : 1200, ppiY = U16(r, 2) ? U16(r, 2) : 1200;
      st.wide = U8(r, 4) == 1;
      size_t at = 5;
      double c[8];
      for (double& x : c)
        if (!st.coord(r, at, x)) return false;
      // The image rectangle, else the viewport, is the picture.
      double ix1 = c[4], iy1 = c[5], ix2 = c[6], iy2 = c[7];
      if (ix1 == ix2 || iy1 == iy2) ix1 = c[0], iy1 = c[1], ix2 = c[2], iy2 = c[3];
      const double w = std::abs(ix2 - ix1), h = std::abs(iy2 - iy1);
      if (w < 1 || h < 1 || w > 2e9 || h > 2e9) return false;
      st.x0 = std::min(ix1, ix2);
      st.y1 = std::max(iy1, iy2);
      st.ppi = ppiY;
      int fw, fh;
      vector_detail::SaneFrame(w * 2540 / ppiX, h * 2540 / ppiY, fw, fh);
      canvas.emplace(POINTL{0, 0}, SIZEL{vector_detail::ClampLong(w), vector_detail::ClampLong(h)}, fw, fh);
      st.canvas = &*canvas;
      continue;
    }
    if (!canvas) continue;
    st.record(type, r);
    if (canvas->full()) break;
  }
  if (!canvas) return false;
  out.widthHundredthsMm = canvas->frameWidth();
  out.heightHundredthsMm = canvas->frameHeight();
  out.emf = canvas->finish();
  return true;
}

}  // namespace

bool IsWpg(const BYTE* data, size_t size) {
  if (!data || size < kHeaderSize) return false;
  return data[0] == 0xFF && data[1] == 'W' && data[2] == 'P' && data[3] == 'C' && data[9] == 0x16 &&
         (data[10] == 1 || data[10] == 2);
}

bool ReadWpg(const BYTE* data, size_t size, VectorDrawing& out) {
  if (!IsWpg(data, size)) return false;
  const ByteView v{data, size};
  DWORD first = 0;
  WORD key = 0;
  v.u32(4, first);
  v.u16(12, key);
  if (key != 0 || first < kHeaderSize || first > size) return false;  // encrypted or misplaced
  try {
    VectorDrawing d;
    if (!(data[10] == 1 ? ReadWpg1(v, first, d) : ReadWpg2(v, first, d))) return false;
    out = std::move(d);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace lorimer::formats
