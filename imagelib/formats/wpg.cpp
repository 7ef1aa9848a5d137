// WordPerfect Graphics, versions 1 and 2, drawn into an enhanced metafile. Both
// versions keep y pointing up; the picture is flipped here so the metafile's
// window is the plain extent of the drawing in its own units.
//
// Every record is read through a reader over its own bytes. A field the record is
// too short to hold reads as 0, as the files' writers expect of short records; a
// record whose length runs past the file ends the drawing there.
#include "imagelib/formats/wpg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "platform/gdi/metafile_records.h"

namespace lorimer::formats {

namespace emf = vel::gdi::emf;

namespace {

using vector_detail::EmfCanvas;
using Palette = std::array<COLORREF, 256>;

constexpr size_t kHeaderSize = 16;
constexpr BYTE kWpgFileType = 0x16;
constexpr size_t kMaxBitmapPixels = 16u << 20;

// The 16-byte header both versions share.
struct Header {
  BYTE marker = 0;  // 0xFF
  std::string id;   // "WPC"
  DWORD firstRecord = 0;
  BYTE product = 0, fileType = 0, major = 0, minor = 0;
  WORD encryption = 0;
};

Header ReadHeader(vel::ByteReader& in) {
  Header h;
  h.marker = in.u8();
  const auto id = in.bytes(3);
  h.id.assign(id.begin(), id.end());
  h.firstRecord = in.le32();
  h.product = in.u8();
  h.fileType = in.u8();
  h.major = in.u8();
  h.minor = in.u8();
  h.encryption = in.le16();
  in.skip(2);  // reserved
  return h;
}

// The picture's colours until a colour map replaces them: the 16 EGA colours,
// a grey ramp, then a 6x6x6 colour cube and a few more greys.
Palette DefaultWpgPalette() {
  static const BYTE ega[16][3] = {{0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                                  {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                                  {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                                  {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};
  Palette p{};
  for (int i = 0; i < 16; ++i) p[i] = RGB(ega[i][0], ega[i][1], ega[i][2]);
  for (int i = 0; i < 16; ++i) p[16 + i] = RGB(i * 17, i * 17, i * 17);
  for (int i = 0; i < 216; ++i) p[32 + i] = RGB((i / 36) * 51, ((i / 6) % 6) * 51, (i % 6) * 51);
  for (int i = 0; i < 8; ++i) p[248 + i] = RGB(32 + i * 24, 32 + i * 24, 32 + i * 24);
  return p;
}

// The variable-length numbers both versions use for record lengths: a byte, or
// 0xFF and a word, or 0xFF and two words when the first has its top bit set.
size_t Varint(vel::ByteReader& in) {
  const BYTE b = in.u8();
  if (b != 0xFF) return b;
  const WORD w = in.le16();
  if (w < 0x8000) return w;
  return (static_cast<size_t>(w & 0x7FFF) << 16) | in.le16();
}

// The next record's bytes, or why there is none ("WPG: record at 300 runs past the end").
vel::Expected<vel::ByteReader> RecordBytes(vel::ByteReader& in, size_t at) {
  const size_t length = Varint(in);
  vel::ByteReader r = in.take(length);
  if (!in) return vel::Fail("WPG: record at " + std::to_string(at) + " runs past the end");
  return r;
}

// A byte of run-length data; past the end of the record, 0.
BYTE At(std::span<const BYTE> data, size_t i) { return i < data.size() ? data[i] : 0; }

// The header of a top-down DIB of w x h pixels.
BITMAPINFOHEADER TopDownHeader(int w, int h, WORD bits, DWORD colours) {
  BITMAPINFOHEADER bh{};
  bh.biSize = sizeof bh;
  bh.biWidth = w;
  bh.biHeight = -h;
  bh.biPlanes = 1;
  bh.biBitCount = bits;
  bh.biClrUsed = colours;
  return bh;
}

// An 8-bit top-down DIB header with `palette` (size entries) for w x h pixels.
std::vector<BYTE> IndexedDibInfo(int w, int h, const COLORREF* palette, int entries) {
  std::vector<BYTE> info;
  vel::ByteWriter out(info);
  vel::gdi::WriteBitmapInfoHeader(out, TopDownHeader(w, h, 8, 256));
  for (int i = 0; i < 256; ++i) {
    const COLORREF c = i < entries ? palette[i] : 0;
    out.u8(static_cast<BYTE>(c >> 16));
    out.u8(static_cast<BYTE>(c >> 8));
    out.u8(static_cast<BYTE>(c));
    out.u8(0);
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

// Repeats the row above `o` up to n times (only at the start of a row below the first).
void RepeatRows(std::vector<BYTE>& out, size_t& o, size_t stride, size_t n) {
  if (o % stride || o < stride) return;
  for (; n && o + stride <= out.size(); --n, o += stride) std::memcpy(&out[o], &out[o - stride], stride);
}

// The drawing a canvas holds, or the reason the walk found none.
vel::Expected<VectorDrawing> Finish(std::optional<EmfCanvas>& canvas, const std::string& reason) {
  if (!canvas) return vel::Fail(reason);
  VectorDrawing out;
  out.widthHundredthsMm = canvas->frameWidth();
  out.heightHundredthsMm = canvas->frameHeight();
  out.emf = canvas->finish();
  return out;
}

// ---- WPG 1 ----------------------------------------------------------------------

// Run-length rows: see the notes on opcodes beside each branch.
void DecodeWpg1Rle(std::span<const BYTE> data, size_t stride, std::vector<BYTE>& out) {
  const size_t total = out.size();
  size_t o = 0, pos = 0;
  while (o < total && pos < data.size()) {
    const BYTE b = At(data, pos++);
    if (b & 0x80) {
      size_t n = b & 0x7F;
      BYTE value = 0xFF;  // n = 0: a count of 0xFF bytes follows
      if (n > 0)
        value = At(data, pos++);
      else
        n = At(data, pos++);
      for (; n && o < total; --n) out[o++] = value;
    } else if (b > 0) {
      for (size_t n = b; n && o < total && pos < data.size(); --n) out[o++] = At(data, pos++);
    } else {
      // Repeat the row above, only meaningful at the start of a row.
      RepeatRows(out, o, stride, At(data, pos++));
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
  // A point stored as x, y.
  POINTL pt(vel::ByteReader& r) const {
    const int x = r.le16s(), y = r.le16s();
    return pt(x, y);
  }
  void stroke() { canvas->setPen(palette[lineColor], lineWidth, lineStyle != 0); }
  void fill() { canvas->setBrush(palette[fillColor], fillStyle != 0); }

  // A count, then as many of those points as the record holds.
  std::vector<POINTL> points(vel::ByteReader& r) const {
    const size_t wanted = r.le16();
    const size_t count = std::min<size_t>(wanted, r.ok() ? r.remaining() / 4 : 0);
    std::vector<POINTL> pts;
    pts.reserve(count);
    for (size_t i = 0; i < count; ++i) pts.push_back(pt(r));
    return pts;
  }

  void ellipse(vel::ByteReader& r) {
    const int cx = r.le16s(), cy = r.le16s(), rx = r.le16s(), ry = r.le16s();
    const int rot = r.le16s(), a0 = r.le16s(), a1 = r.le16s();
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
    if (full)
      canvas->polygon(pts);
    else
      canvas->polyline(pts);
  }

  void text(POINTL at, const std::string& chars, int h, int rotation) {
    canvas->setTextColor(palette[lineColor]);
    canvas->setFont(h > 0 ? h : textHeight, rotation * 10);
    canvas->text(at, vector_detail::DecodeText(chars));
  }

  // Up to n characters (as many as the record holds), ending at a NUL.
  static std::string Chars(vel::ByteReader& r, size_t n) {
    const auto rest = r.ok() ? r.rest() : std::span<const BYTE>();
    const auto chars = rest.first(std::min(n, rest.size()));
    return std::string(chars.begin(), std::find(chars.begin(), chars.end(), 0));
  }

  // A bitmap: its header (width, height, depth, resolutions) at the reader, its
  // rows after it, placed on the logical rectangle.
  void bitmap(vel::ByteReader& r, LONG x, LONG y, LONG w, LONG h) {
    const int pw = r.le16(), ph = r.le16(), depth = r.le16(), hres = r.le16(), vres = r.le16();
    if (pw <= 0 || ph <= 0 || (depth != 1 && depth != 2 && depth != 4 && depth != 8)) return;
    if (static_cast<size_t>(pw) * ph > kMaxBitmapPixels || !r || r.atEnd()) return;
    const size_t stride = (static_cast<size_t>(pw) * depth + 7) / 8;
    std::vector<BYTE> packed(stride * ph, 0);
    DecodeWpg1Rle(r.rest(), stride, packed);
    const COLORREF mono[2] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    const std::vector<BYTE> info = IndexedDibInfo(pw, ph, depth == 1 ? mono : palette.data(), depth == 1 ? 2 : 256);
    if (w == 0 || h == 0) {
      w = hres > 0 ? static_cast<LONG>(static_cast<long long>(pw) * 1200 / hres) : pw;
      h = vres > 0 ? static_cast<LONG>(static_cast<long long>(ph) * 1200 / vres) : ph;
    }
    canvas->dib(x, y, w, h, info, WidenToBytes(packed, pw, ph, depth));
  }

  void record(BYTE type, vel::ByteReader& r) {
    switch (type) {
      case 0x01:
        fillStyle = r.u8();
        fillColor = r.u8();
        break;
      case 0x02:
        lineStyle = r.u8();
        lineColor = r.u8();
        lineWidth = r.le16();
        break;
      case 0x05: {
        const POINTL a = pt(r), b = pt(r);
        stroke();
        canvas->polyline({a, b});
        break;
      }
      case 0x06:
        stroke();
        canvas->polyline(points(r));
        break;
      case 0x08:
        stroke();
        fill();
        canvas->polygon(points(r));
        break;
      case 0x07: {
        const POINTL a = pt(r);
        const int w = r.le16s(), h = r.le16s();
        stroke();
        fill();
        canvas->rectangle(RECTL{a.x, a.y - h, a.x + w, a.y});
        break;
      }
      case 0x09: ellipse(r); break;
      case 0x0E: {
        const size_t start = r.le16(), count = r.le16();
        for (size_t i = 0; i < count && start + i < 256 && r.ok() && r.has(3); ++i) {
          const BYTE red = r.u8(), green = r.u8(), blue = r.u8();
          palette[start + i] = RGB(red, green, blue);
        }
        break;
      }
      case 0x13: {
        r.skip(4);
        std::vector<POINTL> pts = points(r);
        if (pts.size() >= 4) {
          pts.resize(1 + (pts.size() - 1) / 3 * 3);
          stroke();
          canvas->polyBezier(pts);
        }
        break;
      }
      case 0x0C: {
        const size_t length = r.le16();
        const POINTL at = pt(r);
        text(at, Chars(r, length), 0, 0);
        break;
      }
      case 0x0D: {
        r.skip(2);
        const int h = r.le16();
        if (h > 0) textHeight = h;
        break;
      }
      case 0x18: {
        r.skip(4);
        const int rotation = r.le16s();
        const size_t length = r.le16();
        const int x1 = r.le16s(), y1 = r.le16s();
        r.skip(2);  // x2
        const int y2 = r.le16s();
        r.skip(5);
        text(pt(x1, y1), Chars(r, length), std::abs(y2 - y1), rotation);
        break;
      }
      case 0x0B: bitmap(r, 0, 0, 0, 0); break;
      case 0x14: {
        r.skip(2);
        const int x1 = r.le16s(), y1 = r.le16s(), x2 = r.le16s(), y2 = r.le16s();
        const POINTL tl = pt(std::min(x1, x2), std::max(y1, y2));
        if (x1 != x2 && y1 != y2) bitmap(r, tl.x, tl.y, std::abs(x2 - x1), std::abs(y2 - y1));
        break;
      }
      default: break;  // attributes and records without a drawing of their own
    }
  }
};

vel::Expected<VectorDrawing> ReadWpg1(vel::ByteReader& in) {
  std::optional<EmfCanvas> canvas;
  Wpg1 st;
  std::string stopped = "WPG 1: no start record";
  while (!in.atEnd()) {
    const size_t at = in.position();
    const BYTE type = in.u8();
    auto r = RecordBytes(in, at);
    if (!r) {
      stopped = r.reason();
      break;
    }
    if (type == 0x10) break;
    if (type == 0x0F) {
      if (canvas) continue;
      r->skip(2);  // version
      const int w = r->le16(), h = r->le16();
      if (w <= 0 || h <= 0)
        return vel::Fail("WPG 1 start: picture of " + std::to_string(w) + " x " + std::to_string(h));
      int fw, fh;
      vector_detail::SaneFrame(w * 2540.0 / 1200, h * 2540.0 / 1200, fw, fh);
      canvas.emplace(POINTL{0, 0}, SIZEL{w, h}, fw, fh);
      st.canvas = &*canvas;
      st.height = h;
      continue;
    }
    if (!canvas) continue;
    st.record(type, *r);
    if (canvas->full()) break;
  }
  return Finish(canvas, stopped);
}

// ---- WPG 2 ----------------------------------------------------------------------

// Decodes WPG2 run-length data into `out` (rows of `stride` bytes).
void DecodeWpg2Rle(std::span<const BYTE> data, size_t stride, std::vector<BYTE>& out) {
  const size_t total = out.size();
  size_t o = 0, pos = 0, sample = 1;
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
  while (o < total && pos < data.size()) {
    const BYTE b = At(data, pos++);
    if (b == 0x7D) {
      sample = std::clamp<size_t>(At(data, pos++), 1, 8);
    } else if (b == 0x7E) {
      xorNext = true;
      xorRow = o / stride;
    } else if (b == 0x7F || b == 0xFF) {
      const size_t n = (At(data, pos++) + 1) * sample;
      for (size_t i = 0; i < n; ++i) put(b == 0x7F ? 0x00 : 0xFF);
      last.fill(b == 0x7F ? 0x00 : 0xFF);
    } else if (b == 0xFD) {
      const size_t n = At(data, pos++) + 1;
      for (size_t i = 0; i < n && o < total; ++i)
        for (size_t k = 0; k < sample; ++k) put(last[k]);
    } else if (b == 0xFE) {
      RepeatRows(out, o, stride, At(data, pos++) + 1);
    } else if (b & 0x80) {
      for (size_t k = 0; k < sample; ++k) last[k] = At(data, pos++);
      for (size_t i = 0; i < static_cast<size_t>((b & 0x7F) + 1u) && o < total; ++i)
        for (size_t k = 0; k < sample; ++k) put(last[k]);
    } else {
      const size_t n = ((b & 0x7F) + 1u) * sample;
      for (size_t i = 0; i < n && pos < data.size(); ++i) put(At(data, pos++));
    }
    finishRows();
  }
  finishRows();
}

struct Matrix {
  double m00 = 1, m01 = 0, m10 = 0, m11 = 1, tx = 0, ty = 0;
};

// A colour as red, green, blue bytes (and a byte of alpha), or as 16-bit channels.
COLORREF Rgba(vel::ByteReader& r) {
  const BYTE red = r.u8(), green = r.u8(), blue = r.u8();
  r.skip(1);
  return RGB(red, green, blue);
}
COLORREF Rgba16(vel::ByteReader& r) {
  const WORD red = r.le16(), green = r.le16(), blue = r.le16();
  r.skip(2);
  return RGB(red >> 8, green >> 8, blue >> 8);
}

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

  // A coordinate; false (v untouched) when the record holds no more.
  bool coord(vel::ByteReader& r, double& v) const {
    const double x = wide ? r.le32s() / 65536.0 : r.le16s();
    if (!r) return false;
    v = x;
    return true;
  }
  bool point(vel::ByteReader& r, POINTL& p, bool transform = true) const {
    double x, y;
    if (!coord(r, x) || !coord(r, y)) return false;
    if (transform) {
      const double tx = m.m00 * x + m.m10 * y + m.tx, ty = m.m01 * x + m.m11 * y + m.ty;
      x = tx;
      y = ty;
    }
    p = POINTL{vector_detail::ClampLong(x - x0), vector_detail::ClampLong(y1 - y)};
    return true;
  }

  // The flags and transformation every object record starts with; false when short.
  bool characterization(vel::ByteReader& r) {
    m = Matrix{};
    flags = r.le16();
    if (!r) return false;
    if (flags & 0x80) r.skip(4);  // lock flags
    if (flags & 0x20) {
      const WORD id = r.le16();
      if (id & 0x8000) r.skip(2);
    }
    if (flags & 0x10) r.skip(4);  // the angle is implied by the matrix
    if (flags & 0x18) {
      const LONG a = r.le32s(), b = r.le32s();
      m.m00 = a / 65536.0;
      m.m11 = b / 65536.0;
    }
    if (flags & 0x14) {
      const LONG a = r.le32s(), b = r.le32s();
      m.m10 = a / 65536.0;
      m.m01 = b / 65536.0;
    }
    if (flags & 0x02) {
      const WORD fractionX = r.le16();
      const LONG ix = r.le32s();
      const WORD fractionY = r.le16();
      const LONG iy = r.le32s();
      m.tx = ix + fractionX / 65536.0;
      m.ty = iy + fractionY / 65536.0;
    }
    if (flags & 0x01) r.skip(8);  // taper
    return r.ok();
  }

  void style(bool closedShape) {
    const bool framed = flags & 0x8000, filled = closedShape && (flags & 0x2000);
    // Objects that claim neither a frame nor a fill are still drawn, as outlines.
    canvas->setPen(pen, penWidth, framed || !filled);
    canvas->setBrush(brush, filled);
  }

  // As many of `count` points as the record holds.
  std::vector<POINTL> points(vel::ByteReader& r, size_t count) const {
    std::vector<POINTL> pts;
    const size_t each = wide ? 8 : 4;
    count = std::min(count, r.ok() ? r.remaining() / each : 0);
    pts.reserve(count);
    POINTL p;
    for (size_t i = 0; i < count && point(r, p); ++i) pts.push_back(p);
    return pts;
  }

  void object(BYTE type, vel::ByteReader& r) {
    if (!characterization(r)) return;
    const bool closed = flags & 0x4000;
    switch (type) {
      case 0x15:
      case 0x16: {
        const size_t count = r.le16();
        const std::vector<POINTL> pts = points(r, count);
        style(closed);
        if (closed)
          canvas->polygon(pts);
        else
          canvas->polyline(pts);
        break;
      }
      case 0x17: {
        const size_t count = r.le16();
        const std::vector<POINTL> t = points(r, count * 3);
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
        if (!point(r, a) || !point(r, b)) break;
        coord(r, rx);
        coord(r, ry);
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
        if (!point(r, c) || !coord(r, rx) || !coord(r, ry) || !coord(r, sx) || !coord(r, sy) || !coord(r, ex) ||
            !coord(r, ey))
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
        if (!point(r, a) || !point(r, b)) break;
        bitmapRect = RECTL{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        bitmapPending = bitmapRect.right > bitmapRect.left && bitmapRect.bottom > bitmapRect.top;
        break;
      }
      case 0x1C:
        // Text line: flags, then the reference point; the characters follow in a
        // text-data child record.
        r.skip(2);
        textPending = point(r, textAt);
        break;
      default: break;
    }
  }

  void bitmapData(vel::ByteReader& r) {
    if (!bitmapPending) return;
    bitmapPending = false;
    const int w = r.le16(), h = r.le16(), format = r.u8(), compression = r.u8();
    if (w <= 0 || h <= 0 || static_cast<size_t>(w) * h > kMaxBitmapPixels || compression > 1) return;
    int bits;
    switch (format) {
      case 1: bits = 1; break;
      case 2: bits = 2; break;
      case 3: bits = 4; break;
      case 4:
      case 12: bits = 8; break;
      case 8: bits = 24; break;
      default: return;
    }
    const size_t stride = (static_cast<size_t>(w) * bits + 7) / 8;
    std::vector<BYTE> packed(stride * h, 0);
    const auto rows = r.ok() ? r.rest() : std::span<const BYTE>();
    if (compression == 1) {
      DecodeWpg2Rle(rows, stride, packed);
    } else {
      const size_t n = std::min(packed.size(), rows.size());
      if (n) std::memcpy(packed.data(), rows.data(), n);
    }
    const RECTL& d = bitmapRect;
    if (bits == 24) {
      std::vector<BYTE> info;
      vel::ByteWriter header(info);
      vel::gdi::WriteBitmapInfoHeader(header, TopDownHeader(w, h, 24, 0));
      const size_t dibStride = (stride + 3) & ~size_t(3);
      std::vector<BYTE> dibRows(dibStride * h, 0);
      // Samples are stored B, G, R: the DIB order already.
      for (int y = 0; y < h; ++y) std::memcpy(&dibRows[y * dibStride], &packed[y * stride], stride);
      canvas->dib(d.left, d.top, d.right - d.left, d.bottom - d.top, info, dibRows);
      return;
    }
    std::array<COLORREF, 256> colours = palette;
    if (bits == 1) colours[0] = RGB(0, 0, 0), colours[1] = RGB(255, 255, 255);
    if (format == 12)
      for (int i = 0; i < 256; ++i) colours[i] = RGB(i, i, i);
    canvas->dib(d.left, d.top, d.right - d.left, d.bottom - d.top, IndexedDibInfo(w, h, colours.data(), 256),
                WidenToBytes(packed, w, h, bits));
  }

  void record(BYTE type, vel::ByteReader& r) {
    switch (type) {
      case 0x0C:
      case 0x0D: {
        const size_t start = r.le16(), count = r.le16(), each = type == 0x0C ? 4 : 8;
        for (size_t i = 0; i < count && start + i < 256 && r.ok() && r.has(each); ++i)
          palette[start + i] = type == 0x0C ? Rgba(r) : Rgba16(r);
        break;
      }
      case 0x25: pen = Rgba(r); break;
      case 0x26: pen = Rgba16(r); break;
      case 0x2B: penWidth = r.le16(); break;
      case 0x31:
      case 0x32: {
        // Gradients keep their first colour.
        r.skip(r.u8() == 0 ? 0 : 2);
        brush = type == 0x31 ? Rgba(r) : Rgba16(r);
        break;
      }
      case 0x0E: bitmapData(r); break;
      case 0x0F:
        if (textPending) {
          textPending = false;
          const size_t length = r.le16();
          const auto rest = r.ok() ? r.rest() : std::span<const BYTE>();
          const auto chars = rest.first(std::min(length, rest.size()));
          if (!chars.empty()) {
            canvas->setTextColor(pen);
            canvas->setFont(ppi / 6, 0);  // 12 point
            canvas->text(textAt, vector_detail::DecodeText(std::string(chars.begin(), chars.end())));
          }
        }
        break;
      case 0x15:
      case 0x16:
      case 0x17:
      case 0x18:
      case 0x19:
      case 0x1B:
      case 0x1C: object(type, r); break;
      default: break;
    }
  }
};

vel::Expected<VectorDrawing> ReadWpg2(vel::ByteReader& in) {
  std::optional<EmfCanvas> canvas;
  Wpg2 st;
  std::string stopped = "WPG 2: no start record";
  while (!in.atEnd()) {
    const size_t at = in.position();
    in.u8();  // record class
    const BYTE type = in.u8();
    Varint(in);  // extension
    auto r = RecordBytes(in, at);
    if (!r) {
      stopped = r.reason();
      break;
    }
    if (type == 0x02) break;
    if (type == 0x01) {
      if (canvas) continue;
      const int ppiX = r->le16(), ppiY = r->le16();
      st.wide = r->u8() == 1;
      double c[8];
      for (double& x : c)
        if (!st.coord(*r, x)) return vel::Fail("WPG 2 start: the record ends inside its rectangles");
      // The image rectangle, else the viewport, is the picture.
      double ix1 = c[4], iy1 = c[5], ix2 = c[6], iy2 = c[7];
      if (ix1 == ix2 || iy1 == iy2) ix1 = c[0], iy1 = c[1], ix2 = c[2], iy2 = c[3];
      const double w = std::abs(ix2 - ix1), h = std::abs(iy2 - iy1);
      if (w < 1 || h < 1 || w > 2e9 || h > 2e9) return vel::Fail("WPG 2 start: no picture in the rectangles");
      st.x0 = std::min(ix1, ix2);
      st.y1 = std::max(iy1, iy2);
      st.ppi = ppiY ? ppiY : 1200;
      int fw, fh;
      vector_detail::SaneFrame(w * 2540 / (ppiX ? ppiX : 1200), h * 2540 / st.ppi, fw, fh);
      canvas.emplace(POINTL{0, 0}, SIZEL{vector_detail::ClampLong(w), vector_detail::ClampLong(h)}, fw, fh);
      st.canvas = &*canvas;
      continue;
    }
    if (!canvas) continue;
    st.record(type, *r);
    if (canvas->full()) break;
  }
  return Finish(canvas, stopped);
}

}  // namespace

bool IsWpg(const BYTE* data, size_t size) {
  if (!data || size < kHeaderSize) return false;
  vel::ByteReader in(data, size);
  const Header h = ReadHeader(in);
  return h.marker == 0xFF && h.id == "WPC" && h.fileType == kWpgFileType && (h.major == 1 || h.major == 2);
}

vel::Expected<VectorDrawing> DecodeWpg(const BYTE* data, size_t size) {
  if (!IsWpg(data, size)) return vel::Fail("WPG header: not a WordPerfect graphic");
  vel::ByteReader in(data, size);
  const Header h = ReadHeader(in);
  if (h.encryption != 0) return vel::Fail("WPG header: the file is encrypted");
  if (h.firstRecord < kHeaderSize || !in.seek(h.firstRecord))
    return vel::Fail("WPG header: the first record at " + std::to_string(h.firstRecord) + " is outside the file");
  try {
    return h.major == 1 ? ReadWpg1(in) : ReadWpg2(in);
  } catch (...) {
    return vel::Fail("WPG: not enough memory for the drawing");
  }
}

bool ReadWpg(const BYTE* data, size_t size, VectorDrawing& out) {
  return vector_detail::Give(DecodeWpg(data, size), out);
}

}  // namespace lorimer::formats
