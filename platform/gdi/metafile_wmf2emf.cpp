// WMF -> EMF (SetWinMetaFileBits).
//
// A WMF that we (or Windows) wrote from an EMF carries that EMF in "WMFC" comment
// chunks; it comes back byte for byte. Any other WMF is translated record by record
// into the EMF records that do the same thing.
//
// The picture's size, which becomes the EMF frame, is chosen like this:
// - `pict` with MM_ANISOTROPIC or MM_ISOTROPIC and positive extents: those extents
//   (0.01 mm) are the frame;
// - otherwise, when the WMF sets a window extent, one logical unit is one pixel of
//   the reference device, shrunk (keeping the proportions) to fit that device's
//   screen, so a WMF in twips does not turn into a picture metres wide;
// - otherwise (a WMF drawn in plain MM_TEXT) the frame is what the records draw.
// When the picture has a size, the EMF starts with SetMapMode(MM_ANISOTROPIC) and a
// viewport of that size in reference pixels, so the WMF's window fills the frame,
// just as a placeable WMF fills its box when played. The bounds are what the
// drawing records reach, through the window/viewport mapping, in reference pixels.
#include <cmath>

#include "platform/gdi/metafile_internal.h"
#include "platform/gdi/objects.h"

namespace vel::gdi::meta {

// The EMF carried in "WMFC" comments, or false when there is none or it is damaged.
bool ExtractEmbeddedEmf(const std::vector<wmf::Record>& records, size_t wmfSize, std::vector<BYTE>& out) {
  out.clear();
  DWORD chunks = 0, expected = 0, total = 0, seen = 0;
  for (const wmf::Record& r : records) {
    WORD function = 0, count = 0;
    if (r.function != wmf::META_ESCAPE || !r.param(0, function) || function != wmf::MFCOMMENT) continue;
    if (!r.param(1, count) || count < 34 || !r.has(10, count)) continue;
    ByteView c{r.data + 10, count};
    DWORD id, type, version, flags, numChunks, chunkSize, remaining, emfSize;
    c.u32(0, id);
    c.u32(4, type);
    c.u32(8, version);
    c.u32(14, flags);
    c.u32(18, numChunks);
    c.u32(22, chunkSize);
    c.u32(26, remaining);
    c.u32(30, emfSize);
    if (id != wmf::kWmfcId || type != 1) continue;
    if (seen == 0) {
      // The EMF cannot be larger than the WMF that carries it.
      if (emfSize == 0 || emfSize > wmfSize || numChunks == 0) return false;
      chunks = numChunks;
      total = emfSize;
      out.reserve(emfSize);
    }
    if (emfSize != total || numChunks != chunks || chunkSize > count - 34u) return false;
    if (static_cast<size_t>(chunkSize) > total - out.size()) return false;
    if (remaining != total - out.size() - chunkSize) return false;
    out.insert(out.end(), c.data + 34, c.data + 34 + chunkSize);
    ++seen;
    ++expected;
    if (out.size() == total) break;
  }
  if (seen == 0 || out.size() != total || expected != chunks) return false;
  return emf::ParseRecords(out.data(), out.size(), nullptr);
}

namespace {

using wmf::Record;

struct Mapping {
  int mode = MM_TEXT;
  POINT windowOrg, viewportOrg;
  SIZE windowExt{1, 1}, viewportExt{1, 1};
};

enum class Kind { Pen, Brush, Font, Palette, Region, Other };

class Translator {
 public:
  Translator(const DeviceSize& device) : device_(device) {}

  void preamble(int width, int height) {
    out_.record(emf::EMR_SETMAPMODE, Params().u32(MM_ANISOTROPIC));
    out_.record(emf::EMR_SETVIEWPORTORGEX, Params().i32(0).i32(0));
    out_.record(emf::EMR_SETVIEWPORTEXTEX, Params().i32(width).i32(height));
    map_.mode = MM_ANISOTROPIC;
    map_.viewportExt = SIZE{width, height};
  }

  void translate(const Record& r);

  bool drew() const { return drew_; }
  RECTL bounds() const { return drew_ ? all_ : RECTL{0, 0, -1, -1}; }
  size_t size() const { return out_.size(); }
  std::vector<BYTE> finish(const RECTL& frame) {
    SIZEL dev{device_.horzRes, device_.vertRes}, mm{device_.horzSize, device_.vertSize};
    return out_.finish(bounds(), frame, static_cast<WORD>(std::min<size_t>(table_.size() + 1, 0xFFFF)), dev, mm);
  }

 private:
  // Logical to reference-device pixels under the current mapping.
  POINT toDevice(long long x, long long y) const {
    double dx, dy;
    const Mapping& m = map_;
    switch (m.mode) {
      case MM_ANISOTROPIC:
      case MM_ISOTROPIC: {
        double sx = static_cast<double>(m.viewportExt.cx) / (m.windowExt.cx ? m.windowExt.cx : 1);
        double sy = static_cast<double>(m.viewportExt.cy) / (m.windowExt.cy ? m.windowExt.cy : 1);
        if (m.mode == MM_ISOTROPIC) {
          // Windows shrinks one viewport extent to keep units square.
          double s = std::min(std::fabs(sx), std::fabs(sy));
          sx = std::copysign(s, sx);
          sy = std::copysign(s, sy);
        }
        dx = (x - m.windowOrg.x) * sx + m.viewportOrg.x;
        dy = (y - m.windowOrg.y) * sy + m.viewportOrg.y;
        break;
      }
      case MM_LOMETRIC: case MM_HIMETRIC: case MM_LOENGLISH: case MM_HIENGLISH: case MM_TWIPS: {
        static const double kUnitsPerMm[] = {10.0, 100.0, 100 / 25.4, 1000 / 25.4, 1440 / 25.4};
        double perMm = kUnitsPerMm[m.mode - MM_LOMETRIC];
        double sx = device_.horzRes / (device_.horzSize * perMm);
        double sy = device_.vertRes / (device_.vertSize * perMm);
        dx = (x - m.windowOrg.x) * sx + m.viewportOrg.x;
        dy = -(y - m.windowOrg.y) * sy + m.viewportOrg.y;
        break;
      }
      default:
        dx = static_cast<double>(x - m.windowOrg.x + m.viewportOrg.x);
        dy = static_cast<double>(y - m.windowOrg.y + m.viewportOrg.y);
    }
    auto clamp = [](double v) { return static_cast<LONG>(std::clamp(std::floor(v + 0.5), -1e9, 1e9)); };
    return POINT{clamp(dx), clamp(dy)};
  }

  // Widens the record's bounds and the whole picture's by a logical point.
  void reach(long long x, long long y) {
    POINT d = toDevice(x, y);
    if (!recordDrew_) {
      rec_ = RECTL{d.x, d.y, d.x, d.y};
      recordDrew_ = true;
    } else {
      rec_.left = std::min(rec_.left, d.x);
      rec_.top = std::min(rec_.top, d.y);
      rec_.right = std::max(rec_.right, d.x);
      rec_.bottom = std::max(rec_.bottom, d.y);
    }
    if (!drew_) {
      all_ = rec_;
      drew_ = true;
    }
    all_.left = std::min(all_.left, d.x);
    all_.top = std::min(all_.top, d.y);
    all_.right = std::max(all_.right, d.x);
    all_.bottom = std::max(all_.bottom, d.y);
  }
  void reachBox(const RECTL& box) {
    reach(box.left, box.top);
    reach(box.right, box.bottom);
  }
  RECTL recordBounds() const { return recordDrew_ ? rec_ : RECTL{0, 0, -1, -1}; }

  int newObject(Kind kind) {
    int slot = table_.add();
    if (slot < 0) return -1;
    if (kinds_.size() <= static_cast<size_t>(slot)) kinds_.resize(slot + 1, Kind::Other);
    kinds_[slot] = kind;
    return slot;
  }
  static DWORD handleOf(int slot) { return static_cast<DWORD>(slot) + 1; }

  void setMapMode(int mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    // Fixed modes and MM_TEXT reset the extents; the scalable modes keep them.
    if (mode != MM_ANISOTROPIC && mode != MM_ISOTROPIC) map_.windowExt = map_.viewportExt = SIZE{1, 1};
    map_.mode = mode;
    out_.record(emf::EMR_SETMAPMODE, Params().u32(static_cast<DWORD>(mode)));
  }
  void setWindowOrg(LONG x, LONG y) {
    map_.windowOrg = POINT{x, y};
    out_.record(emf::EMR_SETWINDOWORGEX, Params().i32(x).i32(y));
  }
  void setViewportOrg(LONG x, LONG y) {
    map_.viewportOrg = POINT{x, y};
    out_.record(emf::EMR_SETVIEWPORTORGEX, Params().i32(x).i32(y));
  }
  bool scalable() const { return map_.mode == MM_ANISOTROPIC || map_.mode == MM_ISOTROPIC; }

  void createObject(const Record& r);
  void text(const Record& r, LONG x, LONG y, WORD options, const RECTL* rect, const BYTE* chars, size_t count,
            const std::vector<LONG>& dx);
  void dibBlt(const Record& r, size_t dibOffset, LONG xd, LONG yd, LONG wd, LONG hd, LONG xs, LONG ys, LONG ws,
              LONG hs, DWORD rop, UINT usage);
  void patBlt(LONG x, LONG y, LONG w, LONG h, DWORD rop);

  DeviceSize device_;
  EmfWriter out_;
  wmf::ObjectTable table_;
  std::vector<Kind> kinds_;
  Mapping map_;
  std::vector<Mapping> saved_;
  POINT position_;
  bool drew_ = false;
  RECTL all_{};
  bool recordDrew_ = false;
  RECTL rec_{};
};

void Translator::createObject(const Record& r) {
  auto s16 = [&](size_t i) {
    std::int16_t v = 0;
    r.sparam(i, v);
    return static_cast<LONG>(v);
  };
  auto u16 = [&](size_t i) {
    WORD v = 0;
    r.param(i, v);
    return v;
  };
  auto u32 = [&](size_t i) { return static_cast<DWORD>(u16(i)) | (static_cast<DWORD>(u16(i + 1)) << 16); };
  switch (r.function) {
    case wmf::META_CREATEPENINDIRECT: {
      int slot = newObject(r.paramCount() >= 5 ? Kind::Pen : Kind::Other);
      if (slot < 0 || kinds_[slot] != Kind::Pen) return;
      Params p;
      p.u32(handleOf(slot)).u32(u16(0)).i32(s16(1)).i32(s16(2)).u32(u32(3));
      out_.record(emf::EMR_CREATEPEN, p);
      return;
    }
    case wmf::META_CREATEBRUSHINDIRECT: {
      int slot = newObject(r.paramCount() >= 3 ? Kind::Brush : Kind::Other);
      if (slot < 0 || kinds_[slot] != Kind::Brush) return;
      Params p;
      p.u32(handleOf(slot)).u32(u16(0)).u32(u32(1)).u32(u16(3));
      out_.record(emf::EMR_CREATEBRUSHINDIRECT, p);
      return;
    }
    case wmf::META_DIBCREATEPATTERNBRUSH: {
      PackedDib dib;
      UINT usage = u16(1) == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
      bool ok = r.size > 10 && ReadPackedDib(ByteView{r.data + 10, r.size - 10}, usage, dib);
      int slot = newObject(ok ? Kind::Brush : Kind::Other);
      if (slot < 0 || !ok) return;
      DWORD cbBmi = static_cast<DWORD>(dib.info.size()), offBmi = 32;
      DWORD offBits = offBmi + ((cbBmi + 3) & ~3u);
      Params p;
      p.u32(handleOf(slot)).u32(usage).u32(offBmi).u32(cbBmi).u32(offBits).u32(static_cast<DWORD>(dib.bits.size()));
      p.raw(dib.info.data(), dib.info.size()).pad(4).raw(dib.bits.data(), dib.bits.size());
      out_.record(emf::EMR_CREATEDIBPATTERNBRUSHPT, p);
      return;
    }
    case wmf::META_CREATEFONTINDIRECT: {
      int slot = newObject(r.paramCount() >= 9 ? Kind::Font : Kind::Other);
      if (slot < 0 || kinds_[slot] != Kind::Font) return;
      Params p;
      p.u32(handleOf(slot));
      for (size_t i = 0; i < 5; ++i) p.i32(s16(i));
      for (size_t i = 0; i < 8; ++i) {
        BYTE b = 0;
        r.u8(16 + i, b);
        p.raw(&b, 1);
      }
      // The face name runs to its NUL or the end of the record, at most 31 bytes.
      size_t length = 0;
      BYTE b;
      while (length < 31 && r.u8(24 + length, b) && b) ++length;
      std::u16string face = Cp1252ToUtf16(r.data + std::min<size_t>(24, r.size), length);
      for (size_t i = 0; i < 32; ++i) p.u16(i < face.size() ? face[i] : 0);
      out_.record(emf::EMR_EXTCREATEFONTINDIRECTW, p);
      return;
    }
    case wmf::META_CREATEPALETTE: {
      WORD count = u16(1);
      bool ok = r.paramCount() >= 2 && r.has(10, static_cast<size_t>(count) * 4);
      int slot = newObject(ok ? Kind::Palette : Kind::Other);
      if (slot < 0 || !ok) return;
      Params p;
      p.u32(handleOf(slot)).u16(0x0300).u16(count).raw(r.data + 10, static_cast<size_t>(count) * 4);
      out_.record(emf::EMR_CREATEPALETTE, p);
      return;
    }
    case wmf::META_CREATEREGION:
      // EMF has no region objects; the slot is taken so later numbers stay right.
      newObject(Kind::Region);
      return;
    default:  // META_CREATEPATTERNBRUSH: a device-dependent bitmap we do not carry over
      newObject(Kind::Other);
  }
}

void Translator::text(const Record&, LONG x, LONG y, WORD options, const RECTL* rect, const BYTE* chars,
                      size_t count, const std::vector<LONG>& dx) {
  reach(x, y);
  if (rect) reachBox(*rect);
  std::u16string wide = Cp1252ToUtf16(chars, count);
  DWORD n = static_cast<DWORD>(wide.size());
  DWORD stringBytes = (n * 2 + 3) & ~3u;
  DWORD offDx = dx.size() == n && n ? 76 + stringBytes : 0;
  Params p;
  p.rect(recordBounds()).u32(1).f32(0).f32(0);
  p.i32(x).i32(y).u32(n).u32(76).u32(options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED));
  p.rect(rect ? *rect : RECTL{0, 0, -1, -1}).u32(offDx);
  for (char16_t c : wide) p.u16(c);
  p.pad(4);
  if (offDx)
    for (LONG d : dx) p.i32(d);
  out_.record(emf::EMR_EXTTEXTOUTW, p);
}

void Translator::dibBlt(const Record& r, size_t dibOffset, LONG xd, LONG yd, LONG wd, LONG hd, LONG xs, LONG ys,
                        LONG ws, LONG hs, DWORD rop, UINT usage) {
  PackedDib dib;
  if (r.size <= dibOffset || !ReadPackedDib(ByteView{r.data + dibOffset, r.size - dibOffset}, usage, dib)) return;
  reach(xd, yd);
  reach(static_cast<long long>(xd) + wd, static_cast<long long>(yd) + hd);
  DWORD cbBmi = static_cast<DWORD>(dib.info.size()), offBmi = 80;
  DWORD offBits = offBmi + ((cbBmi + 3) & ~3u);
  Params p;
  p.rect(recordBounds()).i32(xd).i32(yd).i32(xs).i32(ys).i32(ws).i32(hs);
  p.u32(offBmi).u32(cbBmi).u32(offBits).u32(static_cast<DWORD>(dib.bits.size())).u32(usage).u32(rop);
  p.i32(wd).i32(hd);
  p.raw(dib.info.data(), dib.info.size()).pad(4).raw(dib.bits.data(), dib.bits.size());
  out_.record(emf::EMR_STRETCHDIBITS, p);
}

void Translator::patBlt(LONG x, LONG y, LONG w, LONG h, DWORD rop) {
  reach(x, y);
  reach(static_cast<long long>(x) + w, static_cast<long long>(y) + h);
  Params p;
  p.rect(recordBounds()).i32(x).i32(y).i32(w).i32(h).u32(rop).i32(0).i32(0);
  p.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0);  // identity source transform
  p.u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
  out_.record(emf::EMR_BITBLT, p);
}

void Translator::translate(const Record& r) {
  recordDrew_ = false;
  const size_t n = r.paramCount();
  auto s = [&](size_t i) {
    std::int16_t v = 0;
    r.sparam(i, v);
    return static_cast<LONG>(v);
  };
  auto u = [&](size_t i) {
    WORD v = 0;
    r.param(i, v);
    return v;
  };
  auto u32 = [&](size_t i) { return static_cast<DWORD>(u(i)) | (static_cast<DWORD>(u(i + 1)) << 16); };
  auto oneDword = [&](DWORD type, DWORD v) { out_.record(type, Params().u32(v)); };
  // Box records store bottom, right, top, left from parameter `i` on.
  auto box = [&](size_t i) { return RECTL{s(i + 3), s(i + 2), s(i + 1), s(i)}; };

  switch (r.function) {
    case wmf::META_SAVEDC:
      saved_.push_back(map_);
      out_.record(emf::EMR_SAVEDC, Params());
      return;
    case wmf::META_RESTOREDC: {
      if (n < 1) return;
      LONG level = s(0);
      // Negative: relative to the current level; positive: an absolute level.
      size_t depth = saved_.size();
      size_t keep = level < 0 ? (static_cast<size_t>(-level) <= depth ? depth + level : SIZE_MAX)
                              : (level >= 1 && static_cast<size_t>(level) <= depth ? level - 1 : SIZE_MAX);
      if (keep == SIZE_MAX) return;
      map_ = saved_[keep];
      saved_.resize(keep);
      out_.record(emf::EMR_RESTOREDC, Params().i32(level));
      return;
    }
    case wmf::META_SETMAPMODE:
      if (n >= 1) setMapMode(u(0));
      return;
    case wmf::META_SETWINDOWORG:
      if (n >= 2) setWindowOrg(s(1), s(0));
      return;
    case wmf::META_OFFSETWINDOWORG:
      if (n >= 2) setWindowOrg(map_.windowOrg.x + s(1), map_.windowOrg.y + s(0));
      return;
    case wmf::META_SETVIEWPORTORG:
      if (n >= 2) setViewportOrg(s(1), s(0));
      return;
    case wmf::META_OFFSETVIEWPORTORG:
      if (n >= 2) setViewportOrg(map_.viewportOrg.x + s(1), map_.viewportOrg.y + s(0));
      return;
    case wmf::META_SETWINDOWEXT:
    case wmf::META_SETVIEWPORTEXT: {
      if (n < 2 || s(0) == 0 || s(1) == 0) return;
      bool window = r.function == wmf::META_SETWINDOWEXT;
      // Only the scalable modes take extents; elsewhere Windows ignores the call.
      if (!scalable()) return;
      (window ? map_.windowExt : map_.viewportExt) = SIZE{s(1), s(0)};
      out_.record(window ? emf::EMR_SETWINDOWEXTEX : emf::EMR_SETVIEWPORTEXTEX, Params().i32(s(1)).i32(s(0)));
      return;
    }
    case wmf::META_SCALEWINDOWEXT:
    case wmf::META_SCALEVIEWPORTEXT: {
      if (n < 4 || !scalable() || s(0) == 0 || s(2) == 0) return;
      bool window = r.function == wmf::META_SCALEWINDOWEXT;
      SIZE& ext = window ? map_.windowExt : map_.viewportExt;
      LONG cx = static_cast<LONG>(static_cast<long long>(ext.cx) * s(3) / s(2));
      LONG cy = static_cast<LONG>(static_cast<long long>(ext.cy) * s(1) / s(0));
      if (cx == 0 || cy == 0) return;
      ext = SIZE{cx, cy};
      out_.record(window ? emf::EMR_SCALEWINDOWEXTEX : emf::EMR_SCALEVIEWPORTEXTEX,
                  Params().i32(s(3)).i32(s(2)).i32(s(1)).i32(s(0)));
      return;
    }
    case wmf::META_SETBKMODE: if (n >= 1) oneDword(emf::EMR_SETBKMODE, u(0)); return;
    case wmf::META_SETROP2: if (n >= 1) oneDword(emf::EMR_SETROP2, u(0)); return;
    case wmf::META_SETPOLYFILLMODE: if (n >= 1) oneDword(emf::EMR_SETPOLYFILLMODE, u(0)); return;
    case wmf::META_SETSTRETCHBLTMODE: if (n >= 1) oneDword(emf::EMR_SETSTRETCHBLTMODE, u(0)); return;
    case wmf::META_SETTEXTALIGN: if (n >= 1) oneDword(emf::EMR_SETTEXTALIGN, u(0)); return;
    case wmf::META_SETBKCOLOR: if (n >= 2) oneDword(emf::EMR_SETBKCOLOR, u32(0)); return;
    case wmf::META_SETTEXTCOLOR: if (n >= 2) oneDword(emf::EMR_SETTEXTCOLOR, u32(0)); return;
    case wmf::META_SETMAPPERFLAGS: if (n >= 2) oneDword(emf::EMR_SETMAPPERFLAGS, u32(0)); return;
    case wmf::META_SETLAYOUT: if (n >= 1) oneDword(emf::EMR_SETLAYOUT, u(0)); return;
    case wmf::META_REALIZEPALETTE: out_.record(emf::EMR_REALIZEPALETTE, Params()); return;

    case wmf::META_CREATEPENINDIRECT: case wmf::META_CREATEBRUSHINDIRECT: case wmf::META_DIBCREATEPATTERNBRUSH:
    case wmf::META_CREATEFONTINDIRECT: case wmf::META_CREATEPALETTE: case wmf::META_CREATEREGION:
    case wmf::META_CREATEPATTERNBRUSH:
      createObject(r);
      return;
    case wmf::META_SELECTOBJECT:
    case wmf::META_SELECTPALETTE: {
      int slot = static_cast<int>(u(0));
      if (n < 1 || !table_.used(slot)) return;
      Kind k = kinds_[slot];
      if (k == Kind::Palette)
        oneDword(emf::EMR_SELECTPALETTE, handleOf(slot));
      else if (k == Kind::Pen || k == Kind::Brush || k == Kind::Font)
        oneDword(emf::EMR_SELECTOBJECT, handleOf(slot));
      return;
    }
    case wmf::META_DELETEOBJECT: {
      int slot = static_cast<int>(u(0));
      if (n < 1 || !table_.used(slot)) return;
      Kind k = kinds_[slot];
      table_.remove(slot);
      if (k != Kind::Region && k != Kind::Other) oneDword(emf::EMR_DELETEOBJECT, handleOf(slot));
      return;
    }

    case wmf::META_MOVETO:
      if (n < 2) return;
      position_ = POINT{s(1), s(0)};
      out_.record(emf::EMR_MOVETOEX, Params().i32(s(1)).i32(s(0)));
      return;
    case wmf::META_LINETO:
      if (n < 2) return;
      reach(position_.x, position_.y);
      reach(s(1), s(0));
      position_ = POINT{s(1), s(0)};
      out_.record(emf::EMR_LINETO, Params().i32(s(1)).i32(s(0)));
      return;
    case wmf::META_POLYLINE:
    case wmf::META_POLYGON: {
      std::vector<POINT> pts;
      if (n < 1 || s(0) <= 0 || !r.points16(8, static_cast<DWORD>(s(0)), pts)) return;
      for (const POINT& p : pts) reach(p.x, p.y);
      Params p;
      p.rect(recordBounds()).u32(static_cast<DWORD>(pts.size()));
      for (const POINT& q : pts) p.i16(q.x).i16(q.y);
      out_.record(r.function == wmf::META_POLYLINE ? emf::EMR_POLYLINE16 : emf::EMR_POLYGON16, p);
      return;
    }
    case wmf::META_POLYPOLYGON: {
      if (n < 1 || s(0) <= 0 || static_cast<size_t>(s(0)) >= n) return;
      size_t polys = static_cast<size_t>(s(0));
      std::vector<DWORD> counts(polys);
      DWORD total = 0;
      for (size_t i = 0; i < polys; ++i) {
        counts[i] = u(1 + i);
        total += counts[i];
      }
      std::vector<POINT> pts;
      if (!r.points16(8 + polys * 2, total, pts)) return;
      for (const POINT& p : pts) reach(p.x, p.y);
      Params p;
      p.rect(recordBounds()).u32(static_cast<DWORD>(polys)).u32(total);
      for (DWORD c : counts) p.u32(c);
      for (const POINT& q : pts) p.i16(q.x).i16(q.y);
      out_.record(emf::EMR_POLYPOLYGON16, p);
      return;
    }
    case wmf::META_RECTANGLE:
    case wmf::META_ELLIPSE: {
      if (n < 4) return;
      RECTL b = box(0);
      reachBox(b);
      out_.record(r.function == wmf::META_RECTANGLE ? emf::EMR_RECTANGLE : emf::EMR_ELLIPSE, Params().rect(b));
      return;
    }
    case wmf::META_ROUNDRECT: {
      if (n < 6) return;
      RECTL b = box(2);
      reachBox(b);
      out_.record(emf::EMR_ROUNDRECT, Params().rect(b).i32(s(1)).i32(s(0)));
      return;
    }
    case wmf::META_ARC:
    case wmf::META_PIE:
    case wmf::META_CHORD: {
      if (n < 8) return;
      RECTL b = box(4);
      reachBox(b);
      DWORD type = r.function == wmf::META_ARC   ? emf::EMR_ARC
                   : r.function == wmf::META_PIE ? emf::EMR_PIE
                                                 : emf::EMR_CHORD;
      out_.record(type, Params().rect(b).i32(s(3)).i32(s(2)).i32(s(1)).i32(s(0)));
      return;
    }
    case wmf::META_SETPIXEL:
      if (n < 4) return;
      reach(s(3), s(2));
      out_.record(emf::EMR_SETPIXELV, Params().i32(s(3)).i32(s(2)).u32(u32(0)));
      return;
    case wmf::META_TEXTOUT: {
      if (n < 1 || s(0) < 0) return;
      size_t count = static_cast<size_t>(s(0));
      size_t padded = (count + 1) & ~size_t(1);
      const BYTE* chars;
      std::int16_t x, y;
      if (!r.bytes(8, count, chars) || !r.i16(8 + padded, y) || !r.i16(10 + padded, x)) return;
      text(r, x, y, 0, nullptr, chars, count, {});
      return;
    }
    case wmf::META_EXTTEXTOUT: {
      if (n < 4 || s(2) < 0) return;
      size_t count = static_cast<size_t>(s(2));
      WORD options = u(3);
      size_t at = 14;
      RECTL rect;
      bool hasRect = options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED);
      if (hasRect) {
        std::int16_t l, t, rr, b;
        if (!r.i16(14, l) || !r.i16(16, t) || !r.i16(18, rr) || !r.i16(20, b)) return;
        rect = RECTL{l, t, rr, b};
        at = 22;
      }
      const BYTE* chars;
      if (!r.bytes(at, count, chars)) return;
      size_t dxAt = at + ((count + 1) & ~size_t(1));
      std::vector<LONG> dx;
      if (count && r.has(dxAt, count * 2)) {
        for (size_t i = 0; i < count; ++i) {
          std::int16_t d;
          r.i16(dxAt + i * 2, d);
          dx.push_back(d);
        }
      }
      text(r, s(1), s(0), options, hasRect ? &rect : nullptr, chars, count, dx);
      return;
    }
    case wmf::META_PATBLT:
      if (n >= 6) patBlt(s(5), s(4), s(3), s(2), u32(0));
      return;
    case wmf::META_DIBBITBLT:
    case wmf::META_BITBLT:
      if (r.size == 2 * ((r.function >> 8) + 3u)) {  // the form without a bitmap
        if (n >= 9) patBlt(s(8), s(7), s(6), s(5), u32(0));
      } else if (r.function == wmf::META_DIBBITBLT && n >= 8) {
        dibBlt(r, 22, s(7), s(6), s(5), s(4), s(3), s(2), s(5), s(4), u32(0), DIB_RGB_COLORS);
      }
      return;
    case wmf::META_DIBSTRETCHBLT:
    case wmf::META_STRETCHBLT:
      if (r.size == 2 * ((r.function >> 8) + 3u)) {
        if (n >= 11) patBlt(s(10), s(9), s(8), s(7), u32(0));
      } else if (r.function == wmf::META_DIBSTRETCHBLT && n >= 10) {
        dibBlt(r, 26, s(9), s(8), s(7), s(6), s(5), s(4), s(3), s(2), u32(0), DIB_RGB_COLORS);
      }
      return;
    case wmf::META_STRETCHDIB:
      if (n >= 11)
        dibBlt(r, 28, s(10), s(9), s(8), s(7), s(6), s(5), s(4), s(3), u32(0),
               u(2) == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS);
      return;
    case wmf::META_SETDIBTODEV: {
      if (n < 9) return;
      UINT usage = u(0) == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
      PackedDib dib;
      if (r.size <= 24 || !ReadPackedDib(ByteView{r.data + 24, r.size - 24}, usage, dib)) return;
      LONG xd = s(8), yd = s(7), w = s(6), h = s(5);
      reach(xd, yd);
      reach(static_cast<long long>(xd) + w, static_cast<long long>(yd) + h);
      DWORD cbBmi = static_cast<DWORD>(dib.info.size()), offBmi = 76;
      DWORD offBits = offBmi + ((cbBmi + 3) & ~3u);
      Params p;
      p.rect(recordBounds()).i32(xd).i32(yd).i32(s(4)).i32(s(3)).i32(w).i32(h);
      p.u32(offBmi).u32(cbBmi).u32(offBits).u32(static_cast<DWORD>(dib.bits.size())).u32(usage);
      p.u32(u(2)).u32(u(1));
      p.raw(dib.info.data(), dib.info.size()).pad(4).raw(dib.bits.data(), dib.bits.size());
      out_.record(emf::EMR_SETDIBITSTODEVICE, p);
      return;
    }

    case wmf::META_INTERSECTCLIPRECT:
    case wmf::META_EXCLUDECLIPRECT:
      if (n >= 4)
        out_.record(r.function == wmf::META_INTERSECTCLIPRECT ? emf::EMR_INTERSECTCLIPRECT : emf::EMR_EXCLUDECLIPRECT,
                    Params().rect(box(0)));
      return;
    case wmf::META_OFFSETCLIPRGN:
      if (n >= 2) out_.record(emf::EMR_OFFSETCLIPRGN, Params().i32(s(1)).i32(s(0)));
      return;
    case wmf::META_SELECTCLIPREGION:
      // An empty slot is a null region: the clip is removed. Real regions are not
      // carried over (EMF keeps no region objects).
      if (n >= 1 && !table_.used(u(0))) out_.record(emf::EMR_EXTSELECTCLIPRGN, Params().u32(0).u32(5));
      return;
    default:
      // Escapes, palette animation, regions, flood fills and the like are dropped.
      return;
  }
}

}  // namespace
}  // namespace vel::gdi::meta

using namespace vel::gdi;

namespace vel::gdi {

bool EmbeddedEmf(const BYTE* wmfBits, size_t size, std::vector<BYTE>* emf) {
  std::vector<wmf::Record> records;
  std::vector<BYTE> out;
  if (!wmfBits || !wmf::ParseRecords(wmfBits, size, &records)) return false;
  try {
    if (!meta::ExtractEmbeddedEmf(records, size, out)) return false;
  } catch (...) {
    return false;
  }
  if (emf) *emf = std::move(out);
  return true;
}

}  // namespace vel::gdi

HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* wmfBits, HDC refDC, const METAFILEPICT* pict) {
  if (!wmfBits || size == 0) return nullptr;
  std::vector<wmf::Record> records;
  if (!wmf::ParseRecords(wmfBits, size, &records)) return nullptr;
  try {
    std::vector<BYTE> embedded;
    if (meta::ExtractEmbeddedEmf(records, size, embedded)) return meta::NewEnhMetaFile(std::move(embedded));

    meta::DeviceSize dev = meta::ReferenceDevice(refDC);
    // The first window extent the WMF sets tells the size of its picture.
    SIZE windowExt{0, 0};
    for (const wmf::Record& r : records) {
      std::int16_t h, w;
      if (r.function == wmf::META_SETWINDOWEXT && r.sparam(0, h) && r.sparam(1, w) && h && w) {
        windowExt = SIZE{std::abs(w), std::abs(h)};
        break;
      }
    }
    bool fromPict = pict && (pict->mm == MM_ANISOTROPIC || pict->mm == MM_ISOTROPIC) && pict->xExt > 0 &&
                    pict->yExt > 0;
    long long pw = 0, ph = 0;  // picture in reference pixels
    RECTL frame{};
    if (fromPict) {
      pw = std::max(1LL, static_cast<long long>(pict->xExt) * dev.horzRes / (dev.horzSize * 100LL));
      ph = std::max(1LL, static_cast<long long>(pict->yExt) * dev.vertRes / (dev.vertSize * 100LL));
      frame = RECTL{0, 0, pict->xExt, pict->yExt};
    } else if (windowExt.cx > 0) {
      pw = windowExt.cx;
      ph = windowExt.cy;
      double shrink = std::min({1.0, static_cast<double>(dev.horzRes) / pw, static_cast<double>(dev.vertRes) / ph});
      pw = std::max(1LL, std::llround(pw * shrink));
      ph = std::max(1LL, std::llround(ph * shrink));
      frame = RECTL{0, 0, static_cast<LONG>(pw * dev.horzSize * 100 / dev.horzRes),
                    static_cast<LONG>(ph * dev.vertSize * 100 / dev.vertRes)};
    }

    // A picture beyond a billion pixels comes from nonsense extents; keep the
    // viewport numbers well inside 32 bits.
    pw = std::min(pw, 1LL << 30);
    ph = std::min(ph, 1LL << 30);
    meta::Translator t(dev);
    if (pw > 0 && windowExt.cx > 0) t.preamble(static_cast<int>(pw), static_cast<int>(ph));
    // Translated records are at most a few times larger than their source (a DIB
    // is copied once, points widen from 16 to 32 bits in the header fields only).
    const size_t cap = static_cast<size_t>(size) * 8 + 4096;
    for (const wmf::Record& r : records) {
      if (r.function == wmf::META_EOF) break;
      t.translate(r);
      if (t.size() > cap) return nullptr;
    }
    if (pw <= 0) {
      RECTL b = t.bounds();
      if (t.drew())
        frame = RECTL{static_cast<LONG>(b.left * 100LL * dev.horzSize / dev.horzRes),
                      static_cast<LONG>(b.top * 100LL * dev.vertSize / dev.vertRes),
                      static_cast<LONG>((b.right + 1) * 100LL * dev.horzSize / dev.horzRes),
                      static_cast<LONG>((b.bottom + 1) * 100LL * dev.vertSize / dev.vertRes)};
    }
    std::vector<BYTE> bits = t.finish(frame);
    if (!emf::ParseRecords(bits.data(), bits.size(), nullptr)) return nullptr;
    return meta::NewEnhMetaFile(std::move(bits));
  } catch (...) {
    return nullptr;
  }
}
