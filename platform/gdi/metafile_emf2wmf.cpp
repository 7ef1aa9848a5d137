// EMF -> WMF (GetWinMetaFileBits).
//
// The WMF starts with the whole EMF in "WMFC" comment chunks, so a reader of ours
// (or of Windows) rebuilds the EMF exactly. Then come the mapping mode and, for the
// scalable modes and MM_TEXT, a window of the frame's size in pixels, and the EMF's
// records in their WMF form; records WMF cannot express are left out.
//
// Windows replays the EMF onto the reference device to make those records. We copy
// coordinates instead, so the window is measured in the pixels the EMF's coordinates
// are in: the resolution in its own header (the reference DC when that is missing).
// The two are the same whenever the EMF was recorded against the reference device.
// For the fixed-unit modes the coordinates are converted to the mode's unit with y
// pointing up, and the window origin is the frame's corner in that unit. Every
// coordinate is clamped to 16 bits.
#include <cmath>
#include <map>

#include "platform/gdi/metafile_internal.h"
#include "platform/gdi/objects.h"

namespace vel::gdi::meta {
namespace {

using emf::Record;
constexpr size_t kChunkBytes = 8192;
// Where the checksum of the first "WMFC" comment lies in the WMF: after the header,
// the record's size and function, the escape's function and byte count, and the
// comment's identifier, type and version.
constexpr size_t kFirstCommentChecksum = sizeof(METAHEADER) + 6 + 4 + 4 + 4 + 4;
constexpr WORD kBsDibPattern = 5;

enum class Kind { Pen, Brush, Font, Palette };

class Translator {
 public:
  Translator(int mapMode, double sx, double sy) : mapMode_(mapMode), sx_(sx), sy_(sy) {}

  WmfWriter& out() { return out_; }
  void translate(const Record& r);
  WORD objects() const { return static_cast<WORD>(std::min<size_t>(std::max<size_t>(table_.size(), 1), 0xFFFF)); }

 private:
  bool fixed() const { return mapMode_ >= MM_LOMETRIC && mapMode_ <= MM_TWIPS; }
  bool scalable() const { return mapMode_ == MM_ANISOTROPIC || mapMode_ == MM_ISOTROPIC; }
  // EMF coordinates to the WMF's: unchanged except in the fixed-unit modes.
  std::int16_t X(long long x) const { return fixed() ? Scaled(x * sx_) : Clamp16(x); }
  std::int16_t Y(long long y) const { return fixed() ? Scaled(-(y * sy_)) : Clamp16(y); }
  std::int16_t W(long long w) const { return fixed() ? Scaled(w * sx_) : Clamp16(w); }
  std::int16_t H(long long h) const { return fixed() ? Scaled(-(h * sy_)) : Clamp16(h); }
  // Lengths that keep their sign (pen widths, font heights).
  std::int16_t L(long long v) const { return fixed() ? Scaled(v * std::fabs(sy_)) : Clamp16(v); }
  // A scaled coordinate, held within 16 bits before it is rounded (a far value or
  // a broken scale must not reach llround).
  static std::int16_t Scaled(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<std::int16_t>(std::llround(std::clamp(v, -32768.0, 32767.0)));
  }

  // WMF stores boxes as bottom, right, top, left.
  Params& box(Params& p, const RECTL& b) const {
    return p.i16(Y(b.bottom)).i16(X(b.right)).i16(Y(b.top)).i16(X(b.left));
  }
  void polyline(const std::vector<POINT>& pts, WORD function) {
    if (pts.empty()) return;
    // A polyline longer than WMF can count is cut into pieces that share their
    // joining point; a polygon that long is dropped.
    const size_t most = 32767;
    if (function == wmf::META_POLYGON && pts.size() > most) return;
    for (size_t start = 0; start + 1 < pts.size() || (start == 0 && pts.size() == 1); start += most - 1) {
      size_t count = std::min(most, pts.size() - start);
      Params p;
      p.i16(static_cast<int>(count));
      vel::ByteWriter points = p.extend(count * 4);
      for (size_t i = 0; i < count; ++i) {
        points.le16(static_cast<WORD>(X(pts[start + i].x)));
        points.le16(static_cast<WORD>(Y(pts[start + i].y)));
      }
      out_.record(function, p);
      if (count == pts.size()) break;
    }
  }
  static void flatten(const std::vector<POINT>& in, std::vector<POINT>& out) {
    // Cubic segments sampled at fixed steps; enough for a picture WMF can hold.
    if (in.empty()) return;
    out.push_back(in[0]);
    for (size_t i = 0; i + 3 < in.size(); i += 3) {
      for (int step = 1; step <= 16; ++step) {
        double t = step / 16.0, u = 1 - t;
        double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        auto mix = [&](LONG POINT::*m) {
          return static_cast<LONG>(
              std::lround(a * (in[i].*m) + b * (in[i + 1].*m) + c * (in[i + 2].*m) + d * (in[i + 3].*m)));
        };
        out.push_back(POINT{mix(&POINT::x), mix(&POINT::y)});
      }
    }
  }

  int create(DWORD handle, Kind kind) {
    release(handle);
    int slot = table_.add();
    if (slot < 0) return -1;
    handles_[handle] = {slot, kind};
    return slot;
  }
  void release(DWORD handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    table_.remove(it->second.first);
    out_.record(wmf::META_DELETEOBJECT, Params().u16(static_cast<WORD>(it->second.first)));
    handles_.erase(it);
  }
  // A stock object has no WMF slot of its own; an equivalent is made and deleted
  // again as soon as another object of its kind is selected.
  void selectStock(DWORD index);
  void selected(Kind kind, int slot) {
    out_.record(wmf::META_SELECTOBJECT, Params().u16(static_cast<WORD>(slot)));
    int& temp = stockTemp_[static_cast<int>(kind)];
    if (temp >= 0 && temp != slot) {
      table_.remove(temp);
      out_.record(wmf::META_DELETEOBJECT, Params().u16(static_cast<WORD>(temp)));
      temp = -1;
    }
  }
  void createBrush(DWORD style, COLORREF color, DWORD hatch) {
    out_.record(wmf::META_CREATEBRUSHINDIRECT,
                Params().u16(static_cast<WORD>(style)).u32(color).u16(static_cast<WORD>(hatch)));
  }
  void createPen(DWORD style, long long width, COLORREF color) {
    WORD line = static_cast<WORD>(style & PS_STYLE_MASK);
    if (line == PS_USERSTYLE) line = PS_DASH;
    if (line > 6) line = PS_DOT;  // PS_ALTERNATE
    WORD flags = static_cast<WORD>(style & (PS_ENDCAP_MASK | PS_JOIN_MASK));
    out_.record(wmf::META_CREATEPENINDIRECT,
                Params().u16(static_cast<WORD>(line | flags)).i16(L(width)).i16(0).u32(color));
  }
  void dib(Params& p, const PackedDib& d) { p.raw(d.info.data(), d.info.size()).raw(d.bits.data(), d.bits.size()); }
  void text(const Record& r, bool wide);

  int mapMode_;
  double sx_, sy_;
  WmfWriter out_;
  wmf::ObjectTable table_;
  std::map<DWORD, std::pair<int, Kind>> handles_;
  int stockTemp_[4] = {-1, -1, -1, -1};
  POINT position_;
  // The EMF's own mapping mode: its window records only mean something while it
  // is scalable.
  int emfMode_ = MM_TEXT;
  std::vector<int> emfSaved_;
};

void Translator::selectStock(DWORD index) {
  static const BYTE kGray[5] = {255, 192, 128, 64, 0};
  int slot = table_.add();
  if (slot < 0) return;
  Kind kind;
  if (index <= 5) {
    kind = Kind::Brush;
    BYTE g = index < 5 ? kGray[index] : 0;
    createBrush(index == 5 ? 1 : BS_SOLID, RGB(g, g, g), 0);  // NULL_BRUSH: BS_NULL
  } else if (index <= 8) {
    kind = Kind::Pen;
    createPen(index == 8 ? PS_NULL : PS_SOLID, 0, index == 6 ? RGB(255, 255, 255) : 0);
  } else {
    table_.remove(slot);  // stock fonts and palettes: the player's defaults serve
    return;
  }
  selected(kind, slot);
  stockTemp_[static_cast<int>(kind)] = slot;
}

void Translator::text(const Record& r, bool wide) {
  vel::ByteReader whole = r.reader();
  vel::ByteReader in = r.params();
  in.skip(16 + 4 + 4 + 4);  // bounds, graphics mode, x and y scale
  const LONG x = in.le32s(), y = in.le32s();
  const DWORD count = in.le32(), offString = in.le32(), options = in.le32();
  const RECTL rect = ReadRectl(in);
  const DWORD offDx = in.le32();
  if (!in || count > 32767) return;
  vel::ByteReader chars = whole.sub(offString, static_cast<size_t>(count) * (wide ? 2 : 1));
  if (!whole) return;
  std::string bytes;
  if (wide) {
    std::u16string s(count, u'\0');
    for (char16_t& c : s) c = chars.le16();
    bytes = Utf16ToCp1252(s);
  } else {
    const auto narrow = chars.rest();
    bytes.assign(narrow.begin(), narrow.end());
  }
  bool hasRect = options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED);
  Params p;
  p.i16(Y(y)).i16(X(x)).i16(static_cast<int>(count));
  p.u16(static_cast<WORD>(options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED)));
  if (hasRect) p.i16(X(rect.left)).i16(Y(rect.top)).i16(X(rect.right)).i16(Y(rect.bottom));
  p.raw(bytes.data(), bytes.size()).pad(2);
  if (offDx && count) {
    // The advances are optional: without (all of) them the text keeps its own.
    vel::ByteReader advances = whole.sub(offDx, static_cast<size_t>(count) * 4);
    if (whole)
      for (DWORD i = 0; i < count; ++i) p.i16(W(advances.le32s()));
  }
  out_.record(wmf::META_EXTTEXTOUT, p);
}

void Translator::translate(const Record& r) {
  vel::ByteReader in = r.params();
  auto usageOf = [](DWORD usage) -> UINT { return usage == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS; };

  if (const OneValueRecord* simple = OneValueRecordOfType(r.type)) {
    const DWORD v = in.le32();
    if (!in) return;
    out_.record(simple->function, simple->twoWords ? Params().u32(v) : Params().u16(static_cast<WORD>(v)));
    return;
  }
  switch (r.type) {
    case emf::EMR_SAVEDC:
      emfSaved_.push_back(emfMode_);
      out_.record(wmf::META_SAVEDC, Params());
      return;
    case emf::EMR_RESTOREDC: {
      const LONG level = in.le32s();
      if (!in) return;
      if (level < 0 && static_cast<size_t>(-static_cast<long long>(level)) <= emfSaved_.size()) {
        emfMode_ = emfSaved_[emfSaved_.size() + level];
        emfSaved_.resize(emfSaved_.size() + level);
      }
      out_.record(wmf::META_RESTOREDC, Params().i16(Clamp16(level)));
      return;
    }
    case emf::EMR_SETMAPMODE: {
      const DWORD mode = in.le32();
      if (in) emfMode_ = static_cast<int>(mode);
      return;
    }
    case emf::EMR_SETWINDOWEXTEX:
    case emf::EMR_SETWINDOWORGEX: {
      const LONG cx = in.le32s(), cy = in.le32s();
      if (!in || !scalable() || (emfMode_ != MM_ANISOTROPIC && emfMode_ != MM_ISOTROPIC)) return;
      bool ext = r.type == emf::EMR_SETWINDOWEXTEX;
      if (ext && (cx == 0 || cy == 0)) return;
      out_.record(ext ? wmf::META_SETWINDOWEXT : wmf::META_SETWINDOWORG, Params().i16(Clamp16(cy)).i16(Clamp16(cx)));
      return;
    }
    case emf::EMR_REALIZEPALETTE: out_.record(wmf::META_REALIZEPALETTE, Params()); return;

    case emf::EMR_CREATEPEN: {
      const DWORD handle = in.le32(), style = in.le32();
      const LONG width = in.le32s();
      in.skip(4);  // the width's y, unused
      const DWORD color = in.le32();
      if (!in || create(handle, Kind::Pen) < 0) return;
      createPen(style, width, color);
      return;
    }
    case emf::EMR_EXTCREATEPEN: {
      const DWORD handle = in.le32();
      in.skip(4 * 4);  // the bitmap of a pattern pen, not carried over
      const DWORD style = in.le32(), width = in.le32();
      in.skip(4);  // brush style
      const DWORD color = in.le32();
      if (!in || create(handle, Kind::Pen) < 0) return;
      // A cosmetic pen is one pixel whatever its width field says.
      createPen(style, (style & PS_TYPE_MASK) == PS_GEOMETRIC ? width : 0, color);
      return;
    }
    case emf::EMR_CREATEBRUSHINDIRECT: {
      const DWORD handle = in.le32(), style = in.le32(), color = in.le32(), hatch = in.le32();
      if (!in) return;
      if (create(handle, Kind::Brush) >= 0) createBrush(style, color, hatch);
      return;
    }
    case emf::EMR_CREATEDIBPATTERNBRUSHPT:
    case emf::EMR_CREATEMONOBRUSH: {
      const DWORD handle = in.le32();
      const UINT usage = usageOf(in.le32());
      const DWORD offBmi = in.le32(), cbBmi = in.le32(), offBits = in.le32(), cbBits = in.le32();
      PackedDib d;
      if (!in || !ReadPackedDib(r, offBmi, cbBmi, offBits, cbBits, usage, d)) return;
      if (create(handle, Kind::Brush) < 0) return;
      Params p;
      p.u16(kBsDibPattern).u16(static_cast<WORD>(usage));
      dib(p, d);
      out_.record(wmf::META_DIBCREATEPATTERNBRUSH, p);
      return;
    }
    case emf::EMR_EXTCREATEFONTINDIRECTW: {
      const DWORD handle = in.le32();
      const LONG height = in.le32s(), width = in.le32s(), escapement = in.le32s(), orientation = in.le32s();
      const LONG weight = in.le32s();
      const auto flags = in.bytes(8);  // italic, underline, strike-out, charset, precisions, quality, pitch
      std::u16string face;
      bool ended = false;
      for (size_t i = 0; i < 32; ++i) {
        const WORD c = in.le16();
        ended = ended || c == 0;
        if (!ended) face.push_back(c);
      }
      if (!in || create(handle, Kind::Font) < 0) return;
      Params p;
      p.i16(L(height)).i16(L(width)).i16(Clamp16(escapement)).i16(Clamp16(orientation)).i16(Clamp16(weight));
      p.raw(flags.data(), flags.size());
      std::string narrow = Utf16ToCp1252(face);
      narrow.resize(32, '\0');
      narrow[31] = '\0';
      p.raw(narrow.data(), 32);
      out_.record(wmf::META_CREATEFONTINDIRECT, p);
      return;
    }
    case emf::EMR_CREATEPALETTE: {
      const DWORD handle = in.le32();
      in.skip(2);  // version
      const WORD count = in.le16();
      const auto entries = in.bytes(static_cast<size_t>(count) * 4);
      if (!in || create(handle, Kind::Palette) < 0) return;
      out_.record(wmf::META_CREATEPALETTE, Params().u16(0x0300).u16(count).raw(entries.data(), entries.size()));
      return;
    }
    case emf::EMR_SELECTOBJECT: {
      const DWORD h = in.le32();
      if (!in) return;
      if (h & emf::kStockObjectFlag) {
        selectStock(h & ~emf::kStockObjectFlag);
        return;
      }
      auto it = handles_.find(h);
      if (it == handles_.end() || it->second.second == Kind::Palette) return;
      selected(it->second.second, it->second.first);
      return;
    }
    case emf::EMR_SELECTPALETTE: {
      auto it = handles_.find(in.le32());
      if (in && it != handles_.end() && it->second.second == Kind::Palette)
        out_.record(wmf::META_SELECTPALETTE, Params().u16(static_cast<WORD>(it->second.first)));
      return;
    }
    case emf::EMR_DELETEOBJECT: {
      const DWORD h = in.le32();
      if (in) release(h);
      return;
    }

    case emf::EMR_MOVETOEX:
    case emf::EMR_LINETO: {
      const POINTL to = ReadPointl(in);
      if (!in) return;
      position_ = POINT{to.x, to.y};
      out_.record(r.type == emf::EMR_MOVETOEX ? wmf::META_MOVETO : wmf::META_LINETO,
                  Params().i16(Y(position_.y)).i16(X(position_.x)));
      return;
    }
    case emf::EMR_POLYLINE:
    case emf::EMR_POLYLINE16:
    case emf::EMR_POLYGON:
    case emf::EMR_POLYGON16:
    case emf::EMR_POLYLINETO:
    case emf::EMR_POLYLINETO16:
    case emf::EMR_POLYBEZIER:
    case emf::EMR_POLYBEZIER16:
    case emf::EMR_POLYBEZIERTO:
    case emf::EMR_POLYBEZIERTO16: {
      bool small = r.type == emf::EMR_POLYLINE16 || r.type == emf::EMR_POLYGON16 || r.type == emf::EMR_POLYLINETO16 ||
                   r.type == emf::EMR_POLYBEZIER16 || r.type == emf::EMR_POLYBEZIERTO16;
      in.skip(16);  // bounds
      const DWORD count = in.le32();
      std::vector<POINT> pts;
      if (!in || !ReadPoints(in, count, small, pts) || pts.empty()) return;
      bool to = r.type == emf::EMR_POLYLINETO || r.type == emf::EMR_POLYLINETO16 || r.type == emf::EMR_POLYBEZIERTO ||
                r.type == emf::EMR_POLYBEZIERTO16;
      if (to) pts.insert(pts.begin(), position_);
      bool bezier = r.type == emf::EMR_POLYBEZIER || r.type == emf::EMR_POLYBEZIER16 ||
                    r.type == emf::EMR_POLYBEZIERTO || r.type == emf::EMR_POLYBEZIERTO16;
      if (bezier) {
        std::vector<POINT> flat;
        flatten(pts, flat);
        pts.swap(flat);
      }
      bool polygon = r.type == emf::EMR_POLYGON || r.type == emf::EMR_POLYGON16;
      polyline(pts, polygon ? wmf::META_POLYGON : wmf::META_POLYLINE);
      if (to) {
        position_ = pts.back();
        out_.record(wmf::META_MOVETO, Params().i16(Y(position_.y)).i16(X(position_.x)));
      }
      return;
    }
    case emf::EMR_POLYPOLYLINE:
    case emf::EMR_POLYPOLYLINE16:
    case emf::EMR_POLYPOLYGON:
    case emf::EMR_POLYPOLYGON16: {
      bool small = r.type == emf::EMR_POLYPOLYLINE16 || r.type == emf::EMR_POLYPOLYGON16;
      in.skip(16);  // bounds
      const DWORD polys = in.le32(), total = in.le32();
      if (!in || polys == 0 || polys > in.remaining() / 4) return;
      std::vector<DWORD> counts(polys);
      unsigned long long sum = 0;
      for (DWORD& c : counts) sum += c = in.le32();
      std::vector<POINT> pts;
      if (sum != total || !ReadPoints(in, total, small, pts)) return;
      if (r.type == emf::EMR_POLYPOLYLINE || r.type == emf::EMR_POLYPOLYLINE16) {
        size_t at = 0;
        for (DWORD c : counts) {
          polyline(std::vector<POINT>(pts.begin() + at, pts.begin() + at + c), wmf::META_POLYLINE);
          at += c;
        }
        return;
      }
      if (polys > 32767 || total > 32767) return;
      Params p;
      p.u16(static_cast<WORD>(polys));
      for (DWORD c : counts) p.u16(static_cast<WORD>(c));
      vel::ByteWriter points = p.extend(pts.size() * 4);
      for (const POINT& q : pts) {
        points.le16(static_cast<WORD>(X(q.x)));
        points.le16(static_cast<WORD>(Y(q.y)));
      }
      out_.record(wmf::META_POLYPOLYGON, p);
      return;
    }
    case emf::EMR_RECTANGLE:
    case emf::EMR_ELLIPSE: {
      const RECTL b = ReadRectl(in);
      if (!in) return;
      Params p;
      out_.record(r.type == emf::EMR_RECTANGLE ? wmf::META_RECTANGLE : wmf::META_ELLIPSE, box(p, b));
      return;
    }
    case emf::EMR_ROUNDRECT: {
      const RECTL b = ReadRectl(in);
      const LONG cornerWidth = in.le32s(), cornerHeight = in.le32s();
      if (!in) return;
      Params p;
      p.i16(L(cornerHeight)).i16(L(cornerWidth));
      out_.record(wmf::META_ROUNDRECT, box(p, b));
      return;
    }
    case emf::EMR_ARC:
    case emf::EMR_CHORD:
    case emf::EMR_PIE: {
      const RECTL b = ReadRectl(in);
      const POINTL start = ReadPointl(in), end = ReadPointl(in);
      if (!in) return;
      Params p;
      p.i16(Y(end.y)).i16(X(end.x)).i16(Y(start.y)).i16(X(start.x));
      WORD f = r.type == emf::EMR_ARC ? wmf::META_ARC : r.type == emf::EMR_CHORD ? wmf::META_CHORD : wmf::META_PIE;
      out_.record(f, box(p, b));
      return;
    }
    case emf::EMR_SETPIXELV: {
      const POINTL at = ReadPointl(in);
      const DWORD color = in.le32();
      if (in) out_.record(wmf::META_SETPIXEL, Params().u32(color).i16(Y(at.y)).i16(X(at.x)));
      return;
    }
    case emf::EMR_EXTTEXTOUTW:
    case emf::EMR_EXTTEXTOUTA: text(r, r.type == emf::EMR_EXTTEXTOUTW); return;

    case emf::EMR_INTERSECTCLIPRECT:
    case emf::EMR_EXCLUDECLIPRECT: {
      const RECTL b = ReadRectl(in);
      if (!in) return;
      Params p;
      out_.record(r.type == emf::EMR_INTERSECTCLIPRECT ? wmf::META_INTERSECTCLIPRECT : wmf::META_EXCLUDECLIPRECT,
                  box(p, b));
      return;
    }
    case emf::EMR_OFFSETCLIPRGN: {
      const POINTL offset = ReadPointl(in);
      if (in) out_.record(wmf::META_OFFSETCLIPRGN, Params().i16(H(offset.y)).i16(W(offset.x)));
      return;
    }
    case emf::EMR_EXTSELECTCLIPRGN: {
      // Only "no clip region" has a WMF form: selecting an empty slot.
      const DWORD regionBytes = in.le32(), mode = in.le32();
      if (in && regionBytes == 0 && mode == 5) {
        int slot = table_.add();
        if (slot < 0) return;
        table_.remove(slot);
        out_.record(wmf::META_SELECTCLIPREGION, Params().u16(static_cast<WORD>(slot)));
      }
      return;
    }

    case emf::EMR_BITBLT:
    case emf::EMR_STRETCHBLT: {
      const bool stretch = r.type == emf::EMR_STRETCHBLT;
      in.skip(16);  // bounds
      const LONG xd = in.le32s(), yd = in.le32s(), wd = in.le32s(), hd = in.le32s();
      const DWORD rop = in.le32();
      const LONG xs = in.le32s(), ys = in.le32s();
      in.skip(24 + 4);  // the source's transform and background colour
      const UINT usage = usageOf(in.le32());
      const DWORD offBmi = in.le32(), cbBmi = in.le32(), offBits = in.le32(), cbBits = in.le32();
      const LONG ws = stretch ? in.le32s() : 0, hs = stretch ? in.le32s() : 0;
      if (!in) return;
      if (cbBmi == 0) {
        out_.record(wmf::META_PATBLT, Params().u32(rop).i16(H(hd)).i16(W(wd)).i16(Y(yd)).i16(X(xd)));
        return;
      }
      PackedDib d;
      if (!ReadPackedDib(r, offBmi, cbBmi, offBits, cbBits, usage, d)) return;
      Params p;
      p.u32(rop);
      if (stretch) p.i16(Clamp16(hs)).i16(Clamp16(ws));
      p.i16(Clamp16(ys)).i16(Clamp16(xs)).i16(H(hd)).i16(W(wd)).i16(Y(yd)).i16(X(xd));
      dib(p, d);
      out_.record(stretch ? wmf::META_DIBSTRETCHBLT : wmf::META_DIBBITBLT, p);
      return;
    }
    case emf::EMR_STRETCHDIBITS:
    case emf::EMR_SETDIBITSTODEVICE: {
      const bool stretch = r.type == emf::EMR_STRETCHDIBITS;
      in.skip(16);  // bounds
      const LONG xd = in.le32s(), yd = in.le32s(), xs = in.le32s(), ys = in.le32s(), ws = in.le32s(), hs = in.le32s();
      const DWORD offBmi = in.le32(), cbBmi = in.le32(), offBits = in.le32(), cbBits = in.le32();
      const UINT usage = usageOf(in.le32());
      // StretchDIBits: the raster operation and the destination's size; SetDIBitsToDevice:
      // the first scan line and how many the record holds.
      const DWORD ropOrStart = in.le32(), wdOrScans = in.le32();
      const LONG hd = stretch ? in.le32s() : 0;
      PackedDib d;
      if (!in || !ReadPackedDib(r, offBmi, cbBmi, offBits, cbBits, usage, d)) return;
      Params p;
      if (stretch) {
        p.u32(ropOrStart).u16(static_cast<WORD>(usage)).i16(Clamp16(hs)).i16(Clamp16(ws));
        p.i16(Clamp16(ys)).i16(Clamp16(xs)).i16(H(hd)).i16(W(static_cast<LONG>(wdOrScans))).i16(Y(yd)).i16(X(xd));
      } else {
        p.u16(static_cast<WORD>(usage)).u16(static_cast<WORD>(std::min<DWORD>(wdOrScans, 0xFFFF)));
        p.u16(static_cast<WORD>(std::min<DWORD>(ropOrStart, 0xFFFF))).i16(Clamp16(ys)).i16(Clamp16(xs));
        p.i16(Clamp16(hs)).i16(Clamp16(ws)).i16(Y(yd)).i16(X(xd));
      }
      dib(p, d);
      out_.record(stretch ? wmf::META_STRETCHDIB : wmf::META_SETDIBTODEV, p);
      return;
    }
    default:
      // Paths, world transforms, regions, gradients, alpha blends and comments have
      // no WMF form.
      return;
  }
}

// The whole EMF in MFCOMMENT escapes of at most kChunkBytes each.
void WriteComments(WmfWriter& out, const std::vector<BYTE>& emf) {
  DWORD chunks = static_cast<DWORD>((emf.size() + kChunkBytes - 1) / kChunkBytes);
  for (DWORD i = 0; i < chunks; ++i) {
    size_t at = static_cast<size_t>(i) * kChunkBytes;
    size_t n = std::min(kChunkBytes, emf.size() - at);
    Params p;
    p.u16(wmf::MFCOMMENT).u16(static_cast<WORD>(34 + n));
    p.u32(wmf::kWmfcId).u32(1).u32(0x00010000).u16(0).u32(0).u32(chunks).u32(static_cast<DWORD>(n));
    p.u32(static_cast<DWORD>(emf.size() - at - n)).u32(static_cast<DWORD>(emf.size()));
    const auto chunk = std::span(emf).subspan(at, n);
    p.raw(chunk.data(), chunk.size());
    out.record(wmf::META_ESCAPE, p);
  }
}

}  // namespace
}  // namespace vel::gdi::meta

using namespace vel::gdi;

UINT GetWinMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE out, INT mapMode, HDC refDC) {
  const std::vector<BYTE>* bits = emf::Bits(metafile);
  if (!bits || mapMode < MM_TEXT || mapMode > MM_ANISOTROPIC) return 0;
  std::vector<emf::Record> records;
  ENHMETAHEADER header;
  if (!emf::ParseRecords(bits->data(), bits->size(), &records) || !emf::ReadHeader(metafile, header)) return 0;
  try {
    // The resolution the EMF's coordinates are in.
    meta::DeviceSize dev = meta::ReferenceDevice(refDC);
    if (header.szlDevice.cx > 0 && header.szlDevice.cy > 0 && header.szlMillimeters.cx > 0 &&
        header.szlMillimeters.cy > 0)
      dev = meta::DeviceSize{header.szlDevice.cx, header.szlDevice.cy, header.szlMillimeters.cx,
                             header.szlMillimeters.cy};
    const RECTL& f = header.rclFrame;
    auto px = [](long long v, int res, int mm) {
      return static_cast<long long>(std::llround(v * static_cast<double>(res) / (mm * 100.0)));
    };

    meta::WmfWriter w;
    meta::WriteComments(w, *bits);
    w.record(wmf::META_SETMAPMODE, meta::Params().u16(static_cast<WORD>(mapMode)));
    double sx = 1, sy = 1;  // pixels to the fixed mode's unit
    if (mapMode >= MM_LOMETRIC && mapMode <= MM_TWIPS) {
      static const double kUnitsPerMm[] = {10.0, 100.0, 100 / 25.4, 1000 / 25.4, 1440 / 25.4};
      double perMm = kUnitsPerMm[mapMode - MM_LOMETRIC];
      sx = dev.horzSize * perMm / dev.horzRes;
      sy = dev.vertSize * perMm / dev.vertRes;
      w.record(wmf::META_SETWINDOWORG, meta::Params()
                                           .i16(meta::Clamp16(-std::llround(f.top * perMm / 100)))
                                           .i16(meta::Clamp16(std::llround(f.left * perMm / 100))));
    } else {
      long long left = px(f.left, dev.horzRes, dev.horzSize), top = px(f.top, dev.vertRes, dev.vertSize);
      long long right = px(f.right, dev.horzRes, dev.horzSize), bottom = px(f.bottom, dev.vertRes, dev.vertSize);
      w.record(wmf::META_SETWINDOWORG, meta::Params().i16(meta::Clamp16(top)).i16(meta::Clamp16(left)));
      long long cx = right - left, cy = bottom - top;
      if (cx != 0 && cy != 0)
        w.record(wmf::META_SETWINDOWEXT, meta::Params().i16(meta::Clamp16(cy)).i16(meta::Clamp16(cx)));
    }

    meta::Translator t(mapMode, sx, sy);
    std::swap(t.out(), w);
    const size_t cap = bits->size() * 16 + 65536;
    for (const emf::Record& r : records) {
      if (r.type == emf::EMR_EOF) break;
      t.translate(r);
      if (t.out().size() > cap) return 0;
    }
    std::vector<BYTE> result = t.out().finish(t.objects());
    if (result.size() > UINT32_MAX) return 0;
    // The first comment's checksum makes the words of the whole WMF sum to zero.
    WORD sum = 0;
    for (size_t i = 0; i + 1 < result.size(); i += 2) sum = static_cast<WORD>(sum + (result[i] | (result[i + 1] << 8)));
    vel::ByteWriter(result).patchLe16(meta::kFirstCommentChecksum, static_cast<WORD>(0 - sum));
    if (!out) return static_cast<UINT>(result.size());
    if (size < result.size()) return 0;
    std::memcpy(out, result.data(), result.size());
    return static_cast<UINT>(result.size());
  } catch (...) {
    return 0;
  }
}
