// The EMF player's drawing side: a sink for the record walk that draws on a DC.
//
// The walker hands over device coordinates and the state to draw with; this side turns
// that state into real pens, brushes and fonts (pen widths and font heights already in
// device pixels), selects them and calls the shape, text and DIB functions. One object
// of each kind is alive at a time; a new one replaces the old once deselected.
#include "platform/gdi/player.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/player_walk.h"
#include "platform/gdi/shapes.h"
#include "platform/gdi/text.h"

namespace vel::gdi {
namespace {

using emfplay::ArcKind;
using emfplay::Object;
using emfplay::PathOp;
using emfplay::State;

constexpr DWORD kPatCopy = 0x00F00021;
constexpr DWORD kPatInvert = 0x005A0049;
constexpr DWORD kDstInvert = 0x00550009;
// Widest pen a picture may ask for, in device pixels.
constexpr double kMaxPenWidth = 1 << 14;

// One GDI object made for the current state, kept while the state asks for the same.
// It holds on to its source so no other object can take the source's address.
template <typename Handle>
struct Made {
  bool valid = false;
  emfplay::ObjectRef source;
  long long key = 0;
  Handle handle = nullptr;  // ours to delete; null for stock objects
};

class DcSink : public emfplay::Sink {
 public:
  DcSink(HDC dc, DeviceContext& d) : dc_(dc), d_(d), originalClip_(d.clip) {}
  ~DcSink() override {
    // The caller restores the DC's objects first; then ours can go.
    release(pen_);
    release(brush_);
    release(font_);
  }
  void dropObjects() {
    SelectObject(dc_, GetStockObject(BLACK_PEN));
    SelectObject(dc_, GetStockObject(WHITE_BRUSH));
    SelectObject(dc_, GetStockObject(SYSTEM_FONT));
  }

  void rectangle(const State& s, const RECT& r) override {
    apply(s);
    Rectangle(dc_, r.left, r.top, r.right, r.bottom);
  }
  void roundRect(const State& s, const RECT& r, int w, int h) override {
    apply(s);
    RoundRect(dc_, r.left, r.top, r.right, r.bottom, w, h);
  }
  void ellipse(const State& s, const RECT& r) override {
    apply(s);
    Ellipse(dc_, r.left, r.top, r.right, r.bottom);
  }
  void arc(const State& s, ArcKind kind, const RECT& r, POINT a, POINT b) override {
    apply(s);
    switch (kind) {
      case ArcKind::Arc: Arc(dc_, r.left, r.top, r.right, r.bottom, a.x, a.y, b.x, b.y); break;
      case ArcKind::Chord: Chord(dc_, r.left, r.top, r.right, r.bottom, a.x, a.y, b.x, b.y); break;
      case ArcKind::Pie: Pie(dc_, r.left, r.top, r.right, r.bottom, a.x, a.y, b.x, b.y); break;
      case ArcKind::ArcTo: ArcTo(dc_, r.left, r.top, r.right, r.bottom, a.x, a.y, b.x, b.y); break;
    }
  }
  void angleArc(const State& s, POINT c, int radius, float start, float sweep) override {
    apply(s);
    AngleArc(dc_, c.x, c.y, static_cast<DWORD>(std::max(radius, 0)), start, sweep);
  }
  void poly(const State& s, const std::vector<POINT>& pts, const std::vector<INT>& counts, bool closed) override {
    apply(s);
    if (counts.size() == 1) {
      if (closed)
        Polygon(dc_, pts.data(), counts[0]);
      else
        Polyline(dc_, pts.data(), counts[0]);
    } else if (closed) {
      PolyPolygon(dc_, pts.data(), counts.data(), static_cast<int>(counts.size()));
    } else {
      std::vector<DWORD> c(counts.begin(), counts.end());
      PolyPolyline(dc_, pts.data(), c.data(), static_cast<DWORD>(c.size()));
    }
  }
  void polyBezier(const State& s, const std::vector<POINT>& pts) override {
    apply(s);
    PolyBezier(dc_, pts.data(), static_cast<DWORD>(pts.size()));
  }
  void polyBezierTo(const State& s, const std::vector<POINT>& pts) override {
    apply(s);
    PolyBezierTo(dc_, pts.data(), static_cast<DWORD>(pts.size()));
  }
  void polylineTo(const State& s, const std::vector<POINT>& pts) override {
    apply(s);
    PolylineTo(dc_, pts.data(), static_cast<DWORD>(pts.size()));
  }
  void moveTo(const State&, POINT p) override { MoveToEx(dc_, p.x, p.y, nullptr); }
  void setPixel(const State& s, POINT p, COLORREF c) override {
    apply(s);
    SetPixel(dc_, p.x, p.y, c);
  }
  void path(const State& s, PathOp op) override {
    apply(s);
    switch (op) {
      case PathOp::Begin: BeginPath(dc_); break;
      case PathOp::End: EndPath(dc_); break;
      case PathOp::Close: CloseFigure(dc_); break;
      case PathOp::Fill: FillPath(dc_); break;
      case PathOp::Stroke: StrokePath(dc_); break;
      case PathOp::StrokeAndFill: StrokeAndFillPath(dc_); break;
      case PathOp::Abort: AbortPath(dc_); break;
    }
  }
  void text(const State& s, POINT at, UINT options, const std::optional<RECT>& rect, const std::string& utf8,
            int height) override {
    apply(s);
    applyFont(s, height);
    // Text knows no clip of the DC: a clipped picture clips its text to the clip.
    RECT r{};
    UINT opts = options & (ETO_OPAQUE | ETO_CLIPPED);
    if (rect) r = *rect;
    if (d_.clip) {
      if (!(opts & ETO_CLIPPED)) {
        r = *d_.clip;
      } else {
        r = RECT{std::max(r.left, d_.clip->left), std::max(r.top, d_.clip->top), std::min(r.right, d_.clip->right),
                 std::min(r.bottom, d_.clip->bottom)};
        if (r.left >= r.right || r.top >= r.bottom) return;
      }
      if ((opts & ETO_OPAQUE) && rect) {
        // The opaque box is drawn inside the clip only.
        RECT box{std::max(rect->left, d_.clip->left), std::max(rect->top, d_.clip->top),
                 std::min(rect->right, d_.clip->right), std::min(rect->bottom, d_.clip->bottom)};
        if (box.left < box.right && box.top < box.bottom) FillSolid(box, s.bkColor);
        opts &= ~ETO_OPAQUE;
      }
      opts |= ETO_CLIPPED;
    }
    // TA_UPDATECP is the walker's business; the DC places by the rest of the alignment.
    SetTextAlign(dc_, s.textAlign & ~1u);
    ExtTextOutA(dc_, at.x, at.y, opts, (opts & (ETO_OPAQUE | ETO_CLIPPED)) ? &r : nullptr, utf8.data(),
                static_cast<UINT>(utf8.size()), nullptr);
  }
  void dib(const State& s, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, const BITMAPINFO* info,
           const BYTE* bits, size_t bitsSize, UINT usage, DWORD rop) override {
    apply(s);
    if (rop != SRCCOPY && rop != SRCAND && rop != SRCPAINT && rop != SRCINVERT) rop = SRCCOPY;
    StretchDIBitsN(dc_, xd, yd, wd, hd, xs, ys, ws, hs, bits, bitsSize, info, usage, rop);
  }
  void patBlt(const State& s, const RECT& r, DWORD rop) override {
    State t = s;
    switch (rop) {
      case kPatCopy: t.rop2 = R2_COPYPEN; break;
      case kPatInvert: t.rop2 = R2_XORPEN; break;
      case kDstInvert: t.rop2 = R2_NOT; break;
      case BLACKNESS: t.rop2 = R2_BLACK; break;
      case WHITENESS: t.rop2 = R2_WHITE; break;
      default: return;
    }
    apply(t);
    HGDIOBJ old = SelectObject(dc_, GetStockObject(NULL_PEN));
    // The null pen leaves the right and bottom edges out; the box grows to cover them.
    Rectangle(dc_, r.left, r.top, r.right + 1, r.bottom + 1);
    SelectObject(dc_, old);
  }

 private:
  void FillSolid(const RECT& r, COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc_, &r, b);
    DeleteObject(b);
  }

  template <typename Handle>
  void release(Made<Handle>& m) {
    if (m.handle) DeleteObject(m.handle);
    m = Made<Handle>{};
  }

  template <typename Handle>
  static bool Current(const Made<Handle>& m, const emfplay::ObjectRef& o, long long key) {
    return m.valid && m.source == o && m.key == key;
  }

  // Selects `h` in place of what m held; `ours` says whether we must delete it later.
  template <typename Handle>
  void replace(Made<Handle>& m, const emfplay::ObjectRef& source, long long key, Handle h, bool ours) {
    if (!h) return;
    SelectObject(dc_, h);
    if (m.handle && m.handle != h) DeleteObject(m.handle);
    m.valid = true;
    m.source = source;
    m.key = key;
    m.handle = ours ? h : nullptr;
  }

  HPEN makePen(const Object& o, long long width, double scale) {
    int line = static_cast<int>(o.penStyle & PS_STYLE_MASK);
    // Dash-dot styles are drawn dashed; inside-frame pens as solid ones.
    if (line == 3 || line == 4) line = PS_DASH;
    if (line == 6 || line > PS_USERSTYLE) line = PS_SOLID;
    const bool extended = o.kind == Object::Kind::ExtPen;
    if (extended && (o.penStyle & PS_TYPE_MASK) == PS_GEOMETRIC && line != PS_NULL) {
      LOGBRUSH lb{BS_SOLID, o.color, 0};
      std::vector<DWORD> dashes;
      for (DWORD d : o.dashes)
        dashes.push_back(static_cast<DWORD>(std::clamp<double>(std::round(d * scale), 0, 1 << 20)));
      const bool user = line == PS_USERSTYLE && !dashes.empty();
      const DWORD style = (o.penStyle & (PS_ENDCAP_MASK | PS_JOIN_MASK)) | PS_GEOMETRIC |
                          static_cast<DWORD>(user ? PS_USERSTYLE : (line == PS_USERSTYLE ? PS_SOLID : line));
      if (HPEN h = ExtCreatePen(style, static_cast<DWORD>(std::max<long long>(width, 1)), &lb,
                                user ? static_cast<DWORD>(dashes.size()) : 0, user ? dashes.data() : nullptr))
        return h;
    }
    // Cosmetic pens, and width 0, are one pixel whatever the transform.
    const bool cosmetic = extended && (o.penStyle & PS_TYPE_MASK) != PS_GEOMETRIC;
    return CreatePen(line == PS_USERSTYLE ? PS_SOLID : line,
                     cosmetic ? 1 : static_cast<int>(std::max<long long>(width, 1)), o.color);
  }

  void applyPen(const State& s) {
    const emfplay::ObjectRef& o = s.pen;
    const double scale = std::sqrt(emfplay::ScaleX(s.toDevice) * emfplay::ScaleY(s.toDevice));
    const double w = o ? o->penWidth * scale : 0;
    const long long width = std::clamp<long long>(std::llround(std::isfinite(w) ? w : 0), 0, kMaxPenWidth);
    if (Current(pen_, o, width)) return;
    if (!o) {
      replace<HPEN>(pen_, o, width, static_cast<HPEN>(GetStockObject(BLACK_PEN)), false);
    } else if (o->kind == Object::Kind::Stock) {
      HPEN stock = static_cast<HPEN>(GetStockObject(o->stockIndex));
      replace<HPEN>(pen_, o, width, stock ? stock : static_cast<HPEN>(GetStockObject(BLACK_PEN)), false);
    } else {
      replace<HPEN>(pen_, o, width, makePen(*o, width, scale), true);
    }
  }

  void applyBrush(const State& s) {
    const emfplay::ObjectRef& o = s.brush;
    if (Current(brush_, o, 0)) return;
    HBRUSH h = nullptr;
    bool ours = false;
    if (o && o->kind == Object::Kind::Stock) {
      h = static_cast<HBRUSH>(GetStockObject(o->stockIndex));
    } else if (o && o->kind == Object::Kind::Brush) {
      ours = o->brushStyle != BS_NULL;
      if (o->brushStyle == BS_NULL)
        h = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
      else if (o->brushStyle == BS_HATCHED && o->hatch <= static_cast<DWORD>(HS_DIAGCROSS))
        h = CreateHatchBrush(static_cast<int>(o->hatch), o->color);
      else
        h = CreateSolidBrush(o->color);
    } else if (o) {
      ours = true;
      const bool mono = o->kind == Object::Kind::MonoBrush;
      h = CreateDIBPatternBrushN(o->dib.data(), o->dib.size(), o->usage, mono);
      if (!h && mono) h = CreateDIBPatternBrushN(o->dib.data(), o->dib.size(), o->usage);
    }
    if (!h) {
      h = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
      ours = false;
    }
    replace<HBRUSH>(brush_, o, 0, h, ours);
  }

  void applyFont(const State& s, int height) {
    const emfplay::ObjectRef& o = s.font;
    if (Current(font_, o, height)) return;
    LOGFONTA lf;
    if (o && o->kind == Object::Kind::Font)
      lf = o->font;
    else
      std::strcpy(lf.lfFaceName, "Arial");
    // A height of 0 asks for the default size: 12 points at 96 dpi.
    lf.lfHeight = height != 0 ? height : -16;
    lf.lfWidth = 0;
    replace<HFONT>(font_, o, height, CreateFontIndirectA(&lf), true);
  }

  void apply(const State& s) {
    applyPen(s);
    applyBrush(s);
    SetTextColor(dc_, s.textColor);
    SetBkColor(dc_, s.bkColor);
    SetBkMode(dc_, s.bkMode);
    SetPolyFillMode(dc_, s.polyFillMode);
    SetROP2(dc_, s.rop2);
    SetStretchBltMode(dc_, s.stretchMode);
    SetArcDirection(dc_, s.arcDirection);
    SetBrushOrgEx(dc_, s.brushOrigin.x, s.brushOrigin.y, nullptr);
    d_.clip = originalClip_;
    if (s.clip) IntersectClipRect(dc_, s.clip->left, s.clip->top, s.clip->right, s.clip->bottom);
    // Keep the DC's position where the walker has it (records like AngleArc move it).
    if (d_.pathState != DeviceContext::PathState::Recording) MoveToEx(dc_, s.position.x, s.position.y, nullptr);
  }

  HDC dc_;
  DeviceContext& d_;
  std::optional<RECT> originalClip_;
  Made<HPEN> pen_;
  Made<HBRUSH> brush_;
  Made<HFONT> font_;
};

bool Play(HDC dc, const BYTE* data, size_t size, const RECT* dest) {
  DeviceContext* d = Live(dc);
  if (!d || !data) return false;
  if (dest && (dest->left == dest->right || dest->top == dest->bottom)) return false;
  const int saved = SaveDC(dc);
  if (!saved) return false;
  // A path left open by the caller is not the picture's business.
  const auto pathState = d->pathState;
  const auto pathPoints = d->path;
  d->pathState = DeviceContext::PathState::None;
  bool ok = false;
  {
    DcSink sink(dc, *d);
    try {
      ok = emfplay::Walk(data, size, dest, sink);
    } catch (...) {
      ok = false;
    }
    sink.dropObjects();
    RestoreDC(dc, saved);
  }
  d->pathState = pathState;
  d->path = pathPoints;
  return ok;
}

}  // namespace

bool PlayEnhMetaFileBits(HDC dc, const BYTE* emf, size_t size, const RECT* dest) {
  if (!dest) return false;
  return Play(dc, emf, size, dest);
}

bool PlayWinMetaFile(HDC dc, const BYTE* wmf, size_t size, const RECT* dest) {
  if (!wmf || !dest || size < sizeof(METAHEADER)) return false;
  METAFILEPICT pict{};
  const METAFILEPICT* usePict = nullptr;
  vel::ByteReader in(wmf, size);
  // A placeable header only counts when a whole WMF header could follow it.
  const auto ph = size >= sizeof(METAFILEHEADER_PLACEABLE) + sizeof(METAHEADER) ? wmf::ReadPlaceable(in) : std::nullopt;
  if (ph) {
    const long long w = std::abs(static_cast<long long>(ph->right) - ph->left);
    const long long h = std::abs(static_cast<long long>(ph->bottom) - ph->top);
    if (ph->inch > 0 && w > 0 && h > 0) {
      // The box in 0.01 mm.
      pict = METAFILEPICT{MM_ANISOTROPIC, static_cast<LONG>(w * 2540 / ph->inch),
                          static_cast<LONG>(h * 2540 / ph->inch), nullptr};
      usePict = &pict;
    }
  }
  if (in.remaining() > 0xFFFFFFFFu) return false;
  HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(in.remaining()), in.rest().data(), nullptr, usePict);
  if (!emf) return false;
  BOOL ok = PlayEnhMetaFile(dc, emf, dest);
  DeleteEnhMetaFile(emf);
  return ok != FALSE;
}

}  // namespace vel::gdi

BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* dest) {
  const std::vector<BYTE>* bits = vel::gdi::emf::Bits(metafile);
  if (!bits || !dest) return FALSE;
  return vel::gdi::PlayEnhMetaFileBits(dc, bits->data(), bits->size(), dest) ? TRUE : FALSE;
}

BOOL PlayMetaFile(HDC dc, HMETAFILE metafile) {
  const std::vector<BYTE>* bits = vel::gdi::wmf::Bits(metafile);
  if (!bits || bits->size() > 0xFFFFFFFFu) return FALSE;
  HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(bits->size()), bits->data(), dc, nullptr);
  if (!emf) return FALSE;
  const std::vector<BYTE>* emfBits = vel::gdi::emf::Bits(emf);
  // No destination: the reference device's pixels are the DC's.
  bool ok = emfBits && vel::gdi::Play(dc, emfBits->data(), emfBits->size(), nullptr);
  DeleteEnhMetaFile(emf);
  return ok ? TRUE : FALSE;
}
