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
    if (r.function != wmf::META_ESCAPE) continue;
    vel::ByteReader in = r.params();
    const WORD function = in.le16(), count = in.le16();
    if (!in || function != wmf::MFCOMMENT || count < 34) continue;
    vel::ByteReader c = in.take(count);
    if (!in) continue;
    // The comment: identifier, type, version, checksum, flags, then the chunk's place
    // in the whole EMF and its bytes.
    const DWORD id = c.le32(), type = c.le32();
    c.skip(4 + 2 + 4);
    const DWORD numChunks = c.le32(), chunkSize = c.le32(), remaining = c.le32(), emfSize = c.le32();
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
    const auto chunk = c.bytes(chunkSize);
    out.insert(out.end(), chunk.begin(), chunk.end());
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

// WMF points (16-bit already) as the x, y pairs of an EMF ...16 record.
void WritePoints16(Params& p, const std::vector<POINT>& pts) {
  vel::ByteWriter points = p.extend(pts.size() * 4);
  for (const POINT& q : pts) {
    points.le16(static_cast<WORD>(static_cast<std::int16_t>(q.x)));
    points.le16(static_cast<WORD>(static_cast<std::int16_t>(q.y)));
  }
}

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
      case MM_LOMETRIC:
      case MM_HIMETRIC:
      case MM_LOENGLISH:
      case MM_HIENGLISH:
      case MM_TWIPS: {
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
  void text(LONG x, LONG y, WORD options, const RECTL* rect, std::span<const BYTE> chars, const std::vector<LONG>& dx);
  // A DIB record's bitmap (the bytes after its parameter words) stretched onto the box.
  void dibBlt(std::span<const BYTE> dibBlock, LONG xd, LONG yd, LONG wd, LONG hd, LONG xs, LONG ys, LONG ws, LONG hs,
              DWORD rop, UINT usage);
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
  vel::ByteReader in = r.params();
  switch (r.function) {
    case wmf::META_CREATEPENINDIRECT: {
      const WORD style = in.le16();
      const LONG widthX = in.le16s(), widthY = in.le16s();
      const DWORD color = in.le32();
      int slot = newObject(in ? Kind::Pen : Kind::Other);
      if (slot < 0 || kinds_[slot] != Kind::Pen) return;
      Params p;
      p.u32(handleOf(slot)).u32(style).i32(widthX).i32(widthY).u32(color);
      out_.record(emf::EMR_CREATEPEN, p);
      return;
    }
    case wmf::META_CREATEBRUSHINDIRECT: {
      const WORD style = in.le16();
      const DWORD color = in.le32();
      const bool whole = in.ok();
      const WORD hatch = in.le16();  // a record without it gets 0
      int slot = newObject(whole ? Kind::Brush : Kind::Other);
      if (slot < 0 || kinds_[slot] != Kind::Brush) return;
      Params p;
      p.u32(handleOf(slot)).u32(style).u32(color).u32(hatch);
      out_.record(emf::EMR_CREATEBRUSHINDIRECT, p);
      return;
    }
    case wmf::META_DIBCREATEPATTERNBRUSH: {
      PackedDib dib;
      in.le16();  // style
      const UINT usage = in.le16() == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
      const bool ok = in && ReadPackedDib(in.rest(), usage, dib);
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
      // Height, width, escapement, orientation and weight; then italic, underline,
      // strike-out, charset, precisions, quality and pitch as bytes; then the face.
      LONG numbers[5];
      for (LONG& v : numbers) v = in.le16s();
      const auto flags = in.bytes(8);
      int slot = newObject(in ? Kind::Font : Kind::Other);
      if (slot < 0 || kinds_[slot] != Kind::Font) return;
      Params p;
      p.u32(handleOf(slot));
      for (LONG v : numbers) p.i32(v);
      p.raw(flags.data(), flags.size());
      // The face name runs to its NUL or the end of the record, at most 31 bytes.
      const auto rest = in.rest();
      const auto face8 = rest.first(std::min<size_t>(rest.size(), 31));
      const size_t length = static_cast<size_t>(std::find(face8.begin(), face8.end(), 0) - face8.begin());
      const std::u16string face = Cp1252ToUtf16(face8.data(), length);
      for (size_t i = 0; i < 32; ++i) p.u16(i < face.size() ? face[i] : 0);
      out_.record(emf::EMR_EXTCREATEFONTINDIRECTW, p);
      return;
    }
    case wmf::META_CREATEPALETTE: {
      in.le16();  // version
      const WORD count = in.le16();
      const auto entries = in.bytes(static_cast<size_t>(count) * 4);
      int slot = newObject(in ? Kind::Palette : Kind::Other);
      if (slot < 0 || !in) return;
      Params p;
      p.u32(handleOf(slot)).u16(0x0300).u16(count).raw(entries.data(), entries.size());
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

void Translator::text(LONG x, LONG y, WORD options, const RECTL* rect, std::span<const BYTE> chars,
                      const std::vector<LONG>& dx) {
  reach(x, y);
  if (rect) reachBox(*rect);
  std::u16string wide = Cp1252ToUtf16(chars.data(), chars.size());
  DWORD n = static_cast<DWORD>(wide.size());
  DWORD stringBytes = (n * 2 + 3) & ~3u;
  DWORD offDx = dx.size() == n && n ? 76 + stringBytes : 0;
  Params p;
  p.rect(recordBounds()).u32(1).f32(0).f32(0);
  p.i32(x).i32(y).u32(n).u32(76).u32(options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED));
  p.rect(rect ? *rect : RECTL{0, 0, -1, -1}).u32(offDx);
  vel::ByteWriter chars16 = p.extend(wide.size() * 2);
  for (char16_t c : wide) chars16.le16(c);
  p.pad(4);
  if (offDx)
    for (LONG d : dx) p.i32(d);
  out_.record(emf::EMR_EXTTEXTOUTW, p);
}

void Translator::dibBlt(std::span<const BYTE> dibBlock, LONG xd, LONG yd, LONG wd, LONG hd, LONG xs, LONG ys, LONG ws,
                        LONG hs, DWORD rop, UINT usage) {
  PackedDib dib;
  if (!ReadPackedDib(dibBlock, usage, dib)) return;
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
  vel::ByteReader in = r.params();
  auto word = [&] { return in.le16(); };
  auto s16 = [&] { return static_cast<LONG>(in.le16s()); };
  auto oneDword = [&](DWORD type, DWORD v) { out_.record(type, Params().u32(v)); };
  // Boxes are stored as bottom, right, top, left.
  auto box = [&] {
    const LONG bottom = s16(), right = s16(), top = s16(), left = s16();
    return RECTL{left, top, right, bottom};
  };
  // The blits also come without a bitmap: then the record is its parameter words only.
  const bool withoutBitmap = r.size == 2 * ((r.function >> 8) + 3u);

  if (const OneValueRecord* simple = OneValueRecordOf(r.function)) {
    const DWORD v = simple->twoWords ? in.le32() : word();
    if (in) oneDword(simple->type, v);
    return;
  }
  switch (r.function) {
    case wmf::META_SAVEDC:
      saved_.push_back(map_);
      out_.record(emf::EMR_SAVEDC, Params());
      return;
    case wmf::META_RESTOREDC: {
      const LONG level = s16();
      if (!in) return;
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
    case wmf::META_SETMAPMODE: {
      const WORD mode = word();
      if (in) setMapMode(mode);
      return;
    }
    case wmf::META_SETWINDOWORG:
    case wmf::META_OFFSETWINDOWORG:
    case wmf::META_SETVIEWPORTORG:
    case wmf::META_OFFSETVIEWPORTORG: {
      const LONG y = s16(), x = s16();
      if (!in) return;
      if (r.function == wmf::META_SETWINDOWORG)
        setWindowOrg(x, y);
      else if (r.function == wmf::META_OFFSETWINDOWORG)
        setWindowOrg(map_.windowOrg.x + x, map_.windowOrg.y + y);
      else if (r.function == wmf::META_SETVIEWPORTORG)
        setViewportOrg(x, y);
      else
        setViewportOrg(map_.viewportOrg.x + x, map_.viewportOrg.y + y);
      return;
    }
    case wmf::META_SETWINDOWEXT:
    case wmf::META_SETVIEWPORTEXT: {
      const LONG cy = s16(), cx = s16();
      if (!in || cy == 0 || cx == 0) return;
      bool window = r.function == wmf::META_SETWINDOWEXT;
      // Only the scalable modes take extents; elsewhere Windows ignores the call.
      if (!scalable()) return;
      (window ? map_.windowExt : map_.viewportExt) = SIZE{cx, cy};
      out_.record(window ? emf::EMR_SETWINDOWEXTEX : emf::EMR_SETVIEWPORTEXTEX, Params().i32(cx).i32(cy));
      return;
    }
    case wmf::META_SCALEWINDOWEXT:
    case wmf::META_SCALEVIEWPORTEXT: {
      const LONG yDenom = s16(), yNum = s16(), xDenom = s16(), xNum = s16();
      if (!in || !scalable() || yDenom == 0 || xDenom == 0) return;
      bool window = r.function == wmf::META_SCALEWINDOWEXT;
      SIZE& ext = window ? map_.windowExt : map_.viewportExt;
      LONG cx = static_cast<LONG>(static_cast<long long>(ext.cx) * xNum / xDenom);
      LONG cy = static_cast<LONG>(static_cast<long long>(ext.cy) * yNum / yDenom);
      if (cx == 0 || cy == 0) return;
      ext = SIZE{cx, cy};
      out_.record(window ? emf::EMR_SCALEWINDOWEXTEX : emf::EMR_SCALEVIEWPORTEXTEX,
                  Params().i32(xNum).i32(xDenom).i32(yNum).i32(yDenom));
      return;
    }
    case wmf::META_REALIZEPALETTE: out_.record(emf::EMR_REALIZEPALETTE, Params()); return;

    case wmf::META_CREATEPENINDIRECT:
    case wmf::META_CREATEBRUSHINDIRECT:
    case wmf::META_DIBCREATEPATTERNBRUSH:
    case wmf::META_CREATEFONTINDIRECT:
    case wmf::META_CREATEPALETTE:
    case wmf::META_CREATEREGION:
    case wmf::META_CREATEPATTERNBRUSH: createObject(r); return;
    case wmf::META_SELECTOBJECT:
    case wmf::META_SELECTPALETTE: {
      const int slot = word();
      if (!in || !table_.used(slot)) return;
      Kind k = kinds_[slot];
      if (k == Kind::Palette)
        oneDword(emf::EMR_SELECTPALETTE, handleOf(slot));
      else if (k == Kind::Pen || k == Kind::Brush || k == Kind::Font)
        oneDword(emf::EMR_SELECTOBJECT, handleOf(slot));
      return;
    }
    case wmf::META_DELETEOBJECT: {
      const int slot = word();
      if (!in || !table_.used(slot)) return;
      Kind k = kinds_[slot];
      table_.remove(slot);
      if (k != Kind::Region && k != Kind::Other) oneDword(emf::EMR_DELETEOBJECT, handleOf(slot));
      return;
    }

    case wmf::META_MOVETO: {
      const LONG y = s16(), x = s16();
      if (!in) return;
      position_ = POINT{x, y};
      out_.record(emf::EMR_MOVETOEX, Params().i32(x).i32(y));
      return;
    }
    case wmf::META_LINETO: {
      const LONG y = s16(), x = s16();
      if (!in) return;
      reach(position_.x, position_.y);
      reach(x, y);
      position_ = POINT{x, y};
      out_.record(emf::EMR_LINETO, Params().i32(x).i32(y));
      return;
    }
    case wmf::META_POLYLINE:
    case wmf::META_POLYGON: {
      const LONG count = s16();
      std::vector<POINT> pts;
      if (!in || count <= 0 || !ReadPoints(in, static_cast<DWORD>(count), true, pts)) return;
      for (const POINT& p : pts) reach(p.x, p.y);
      Params p;
      p.rect(recordBounds()).u32(static_cast<DWORD>(pts.size()));
      WritePoints16(p, pts);
      out_.record(r.function == wmf::META_POLYLINE ? emf::EMR_POLYLINE16 : emf::EMR_POLYGON16, p);
      return;
    }
    case wmf::META_POLYPOLYGON: {
      const LONG polygons = s16();
      // Every polygon's count must be there.
      if (!in || polygons <= 0 || static_cast<size_t>(polygons) > in.remaining() / 2) return;
      const size_t polys = static_cast<size_t>(polygons);
      std::vector<DWORD> counts(polys);
      DWORD total = 0;
      for (DWORD& c : counts) total += c = word();
      std::vector<POINT> pts;
      if (!ReadPoints(in, total, true, pts)) return;
      for (const POINT& p : pts) reach(p.x, p.y);
      Params p;
      p.rect(recordBounds()).u32(static_cast<DWORD>(polys)).u32(total);
      for (DWORD c : counts) p.u32(c);
      WritePoints16(p, pts);
      out_.record(emf::EMR_POLYPOLYGON16, p);
      return;
    }
    case wmf::META_RECTANGLE:
    case wmf::META_ELLIPSE: {
      const RECTL b = box();
      if (!in) return;
      reachBox(b);
      out_.record(r.function == wmf::META_RECTANGLE ? emf::EMR_RECTANGLE : emf::EMR_ELLIPSE, Params().rect(b));
      return;
    }
    case wmf::META_ROUNDRECT: {
      const LONG height = s16(), width = s16();
      const RECTL b = box();
      if (!in) return;
      reachBox(b);
      out_.record(emf::EMR_ROUNDRECT, Params().rect(b).i32(width).i32(height));
      return;
    }
    case wmf::META_ARC:
    case wmf::META_PIE:
    case wmf::META_CHORD: {
      const LONG yEnd = s16(), xEnd = s16(), yStart = s16(), xStart = s16();
      const RECTL b = box();
      if (!in) return;
      reachBox(b);
      DWORD type = r.function == wmf::META_ARC   ? emf::EMR_ARC
                   : r.function == wmf::META_PIE ? emf::EMR_PIE
                                                 : emf::EMR_CHORD;
      out_.record(type, Params().rect(b).i32(xStart).i32(yStart).i32(xEnd).i32(yEnd));
      return;
    }
    case wmf::META_SETPIXEL: {
      const DWORD color = in.le32();
      const LONG y = s16(), x = s16();
      if (!in) return;
      reach(x, y);
      out_.record(emf::EMR_SETPIXELV, Params().i32(x).i32(y).u32(color));
      return;
    }
    case wmf::META_TEXTOUT: {
      const LONG count = s16();
      if (!in || count < 0) return;
      const auto chars = in.bytes(static_cast<size_t>(count));
      in.skip(static_cast<size_t>(count) & 1);  // the string is padded to a whole word
      const LONG y = s16(), x = s16();
      if (!in) return;
      text(x, y, 0, nullptr, chars, {});
      return;
    }
    case wmf::META_EXTTEXTOUT: {
      const LONG y = s16(), x = s16(), count = s16();
      const WORD options = word();
      if (!in || count < 0) return;
      RECTL rect;
      const bool hasRect = options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED);
      if (hasRect) {
        const LONG left = s16(), top = s16(), right = s16(), bottom = s16();
        rect = RECTL{left, top, right, bottom};
      }
      const auto chars = in.bytes(static_cast<size_t>(count));
      if (!in) return;
      // The advances are optional: a record without (all of) them draws plain text.
      std::vector<LONG> dx;
      if (count && in.skip(static_cast<size_t>(count) & 1) && in.has(static_cast<size_t>(count) * 2))
        for (LONG i = 0; i < count; ++i) dx.push_back(s16());
      text(x, y, options, hasRect ? &rect : nullptr, chars, dx);
      return;
    }
    case wmf::META_PATBLT: {
      const DWORD rop = in.le32();
      const LONG h = s16(), w = s16(), y = s16(), x = s16();
      if (in) patBlt(x, y, w, h, rop);
      return;
    }
    case wmf::META_DIBBITBLT:
    case wmf::META_BITBLT: {
      const DWORD rop = in.le32();
      if (withoutBitmap) {
        in.skip(3 * 2);  // source y, x and a reserved word
        const LONG h = s16(), w = s16(), y = s16(), x = s16();
        if (in) patBlt(x, y, w, h, rop);
      } else if (r.function == wmf::META_DIBBITBLT) {
        const LONG ys = s16(), xs = s16(), h = s16(), w = s16(), yd = s16(), xd = s16();
        if (in) dibBlt(in.rest(), xd, yd, w, h, xs, ys, w, h, rop, DIB_RGB_COLORS);
      }
      return;
    }
    case wmf::META_DIBSTRETCHBLT:
    case wmf::META_STRETCHBLT: {
      const DWORD rop = in.le32();
      if (withoutBitmap) {
        in.skip(5 * 2);  // the source box and a reserved word
        const LONG h = s16(), w = s16(), y = s16(), x = s16();
        if (in) patBlt(x, y, w, h, rop);
      } else if (r.function == wmf::META_DIBSTRETCHBLT) {
        const LONG hs = s16(), ws = s16(), ys = s16(), xs = s16();
        const LONG hd = s16(), wd = s16(), yd = s16(), xd = s16();
        if (in) dibBlt(in.rest(), xd, yd, wd, hd, xs, ys, ws, hs, rop, DIB_RGB_COLORS);
      }
      return;
    }
    case wmf::META_STRETCHDIB: {
      const DWORD rop = in.le32();
      const UINT usage = word() == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
      const LONG hs = s16(), ws = s16(), ys = s16(), xs = s16();
      const LONG hd = s16(), wd = s16(), yd = s16(), xd = s16();
      if (in) dibBlt(in.rest(), xd, yd, wd, hd, xs, ys, ws, hs, rop, usage);
      return;
    }
    case wmf::META_SETDIBTODEV: {
      const UINT usage = word() == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
      const WORD scans = word(), startScan = word();
      const LONG ys = s16(), xs = s16(), h = s16(), w = s16(), yd = s16(), xd = s16();
      PackedDib dib;
      if (!in || !ReadPackedDib(in.rest(), usage, dib)) return;
      reach(xd, yd);
      reach(static_cast<long long>(xd) + w, static_cast<long long>(yd) + h);
      DWORD cbBmi = static_cast<DWORD>(dib.info.size()), offBmi = 76;
      DWORD offBits = offBmi + ((cbBmi + 3) & ~3u);
      Params p;
      p.rect(recordBounds()).i32(xd).i32(yd).i32(xs).i32(ys).i32(w).i32(h);
      p.u32(offBmi).u32(cbBmi).u32(offBits).u32(static_cast<DWORD>(dib.bits.size())).u32(usage);
      p.u32(startScan).u32(scans);
      p.raw(dib.info.data(), dib.info.size()).pad(4).raw(dib.bits.data(), dib.bits.size());
      out_.record(emf::EMR_SETDIBITSTODEVICE, p);
      return;
    }

    case wmf::META_INTERSECTCLIPRECT:
    case wmf::META_EXCLUDECLIPRECT: {
      const RECTL b = box();
      if (in)
        out_.record(r.function == wmf::META_INTERSECTCLIPRECT ? emf::EMR_INTERSECTCLIPRECT : emf::EMR_EXCLUDECLIPRECT,
                    Params().rect(b));
      return;
    }
    case wmf::META_OFFSETCLIPRGN: {
      const LONG y = s16(), x = s16();
      if (in) out_.record(emf::EMR_OFFSETCLIPRGN, Params().i32(x).i32(y));
      return;
    }
    case wmf::META_SELECTCLIPREGION: {
      // An empty slot is a null region: the clip is removed. Real regions are not
      // carried over (EMF keeps no region objects).
      const WORD slot = word();
      if (in && !table_.used(slot)) out_.record(emf::EMR_EXTSELECTCLIPRGN, Params().u32(0).u32(5));
      return;
    }
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
      if (r.function != wmf::META_SETWINDOWEXT) continue;
      vel::ByteReader in = r.params();
      const LONG h = in.le16s(), w = in.le16s();
      if (in && h && w) {
        windowExt = SIZE{std::abs(w), std::abs(h)};
        break;
      }
    }
    bool fromPict =
        pict && (pict->mm == MM_ANISOTROPIC || pict->mm == MM_ISOTROPIC) && pict->xExt > 0 && pict->yExt > 0;
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
