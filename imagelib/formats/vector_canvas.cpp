// The shared drawing target of the vector readers: one drawing recorded into an
// enhanced metafile in MM_ANISOTROPIC.
#include "imagelib/formats/vector_canvas.h"

#include <algorithm>
#include <cmath>

#include "platform/gdi/metafile_records.h"

namespace lorimer::formats {

using vel::gdi::meta::Params;
namespace emf = vel::gdi::emf;

namespace vector_detail {

namespace {
// The reference device written into the header: 1920 x 1080 pixels on 508 x 286 mm
// is the 96 dpi the bounds are measured in.
constexpr SIZEL kRefPixels{1920, 1080};
constexpr SIZEL kRefMillimetres{508, 286};
constexpr int kMaxFrame = 1000000;  // 10 m

}  // namespace

void SaneFrame(double w, double h, int& outW, int& outH) {
  if (!std::isfinite(w) || w < 1) w = 1;
  if (!std::isfinite(h) || h < 1) h = 1;
  const double big = std::max(w, h);
  if (big > kMaxFrame) {
    w = w * kMaxFrame / big;
    h = h * kMaxFrame / big;
  }
  outW = std::max(1, static_cast<int>(std::lround(w)));
  outH = std::max(1, static_cast<int>(std::lround(h)));
}

EmfCanvas::EmfCanvas(POINTL windowOrg, SIZEL windowExt, int frameWidth, int frameHeight)
    : org_(windowOrg), ext_(windowExt), frameW_(std::max(1, frameWidth)), frameH_(std::max(1, frameHeight)) {
  if (ext_.cx == 0) ext_.cx = 1;
  if (ext_.cy == 0) ext_.cy = 1;
  pxW_ = std::max<LONG>(1, std::lround(frameW_ / 2540.0 * kDevicePpi));
  pxH_ = std::max<LONG>(1, std::lround(frameH_ / 2540.0 * kDevicePpi));
  w_.record(emf::EMR_SETMAPMODE, Params().u32(MM_ANISOTROPIC));
  w_.record(emf::EMR_SETWINDOWORGEX, Params().i32(org_.x).i32(org_.y));
  w_.record(emf::EMR_SETWINDOWEXTEX, Params().i32(ext_.cx).i32(ext_.cy));
  w_.record(emf::EMR_SETVIEWPORTORGEX, Params().i32(0).i32(0));
  w_.record(emf::EMR_SETVIEWPORTEXTEX, Params().i32(pxW_).i32(pxH_));
  w_.record(emf::EMR_SETBKMODE, Params().u32(TRANSPARENT));
  w_.record(emf::EMR_SETTEXTALIGN, Params().u32(TA_BASELINE));
  // Shapes are hollow until a file asks for a fill.
  select(emf::kStockObjectFlag | NULL_BRUSH);
}

bool EmfCanvas::room(size_t bytes) {
  if (full_) return false;
  if (drawn_ + 1 >= kMaxEmfRecords || w_.size() + bytes + 64 > kMaxEmfBytes) {
    full_ = true;
    return false;
  }
  return true;
}

void EmfCanvas::select(DWORD handle) {
  if (room(16)) w_.record(emf::EMR_SELECTOBJECT, Params().u32(handle));
}

void EmfCanvas::setPen(COLORREF color, LONG width, bool visible) {
  width = std::max<LONG>(0, width);
  if (penMade_ && visible == penVisible_ && (!visible || (color == pen_ && width == penWidth_))) return;
  penMade_ = true;
  penVisible_ = visible;
  pen_ = color;
  penWidth_ = width;
  if (!room(64)) return;
  const int slot = penSlot_ == 1 ? 2 : 1;
  w_.record(emf::EMR_CREATEPEN, Params().u32(slot).u32(visible ? PS_SOLID : PS_NULL).i32(width).i32(0).u32(color));
  w_.record(emf::EMR_SELECTOBJECT, Params().u32(slot));
  if (penSlot_) w_.record(emf::EMR_DELETEOBJECT, Params().u32(penSlot_));
  penSlot_ = slot;
}

void EmfCanvas::setBrush(COLORREF color, bool visible) {
  if (brushMade_ && visible == brushVisible_ && (!visible || color == brush_)) return;
  brushMade_ = true;
  brushVisible_ = visible;
  brush_ = color;
  if (!room(64)) return;
  if (!visible) {
    select(emf::kStockObjectFlag | NULL_BRUSH);
    if (brushSlot_) w_.record(emf::EMR_DELETEOBJECT, Params().u32(brushSlot_));
    brushSlot_ = 0;
    return;
  }
  const int slot = brushSlot_ == 3 ? 4 : 3;
  w_.record(emf::EMR_CREATEBRUSHINDIRECT, Params().u32(slot).u32(BS_SOLID).u32(color).u32(0));
  w_.record(emf::EMR_SELECTOBJECT, Params().u32(slot));
  if (brushSlot_) w_.record(emf::EMR_DELETEOBJECT, Params().u32(brushSlot_));
  brushSlot_ = slot;
}

void EmfCanvas::setTextColor(COLORREF color) {
  if (color == textColor_ || !room(16)) return;
  textColor_ = color;
  w_.record(emf::EMR_SETTEXTCOLOR, Params().u32(color));
}

void EmfCanvas::setFont(LONG height, LONG escapement) {
  height = std::max<LONG>(1, std::abs(height));
  if (fontMade_ && height == fontHeight_ && escapement == fontEscapement_) return;
  if (!room(128)) return;
  fontMade_ = true;
  fontHeight_ = height;
  fontEscapement_ = escapement;
  const int slot = fontSlot_ == 5 ? 6 : 5;
  Params p;
  // A negative height asks for the character height rather than the cell.
  p.u32(slot).i32(-height).i32(0).i32(escapement).i32(escapement).i32(400);
  p.u16(0).u16(0).u16(0).u16(0);  // italic, underline, strike-out, charset; precisions, quality, pitch
  const char16_t face[] = u"Arial";
  for (int i = 0; i < 32; ++i) p.u16(i < 5 ? face[i] : 0);
  w_.record(emf::EMR_EXTCREATEFONTINDIRECTW, p);
  w_.record(emf::EMR_SELECTOBJECT, Params().u32(slot));
  if (fontSlot_) w_.record(emf::EMR_DELETEOBJECT, Params().u32(fontSlot_));
  fontSlot_ = slot;
}

RECTL EmfCanvas::bounds(const POINTL* p, size_t n) const {
  RECTL r{0, 0, -1, -1};
  for (size_t i = 0; i < n; ++i) {
    const LONG x = ClampLong((static_cast<double>(p[i].x) - org_.x) * pxW_ / ext_.cx);
    const LONG y = ClampLong((static_cast<double>(p[i].y) - org_.y) * pxH_ / ext_.cy);
    if (i == 0) r = RECTL{x, y, x, y};
    r.left = std::min(r.left, x);
    r.right = std::max(r.right, x);
    r.top = std::min(r.top, y);
    r.bottom = std::max(r.bottom, y);
  }
  return r;
}

bool EmfCanvas::poly(DWORD type, const std::vector<POINTL>& pts) {
  if (pts.size() < 2 || !room(28 + pts.size() * 8)) return false;
  Params p;
  p.rect(bounds(pts.data(), pts.size())).u32(static_cast<DWORD>(pts.size()));
  vel::ByteWriter points = p.extend(pts.size() * 8);
  for (const POINTL& q : pts) {
    points.le32(static_cast<DWORD>(q.x));
    points.le32(static_cast<DWORD>(q.y));
  }
  w_.record(type, p);
  ++drawn_;
  return true;
}

bool EmfCanvas::polyline(const std::vector<POINTL>& pts) { return poly(emf::EMR_POLYLINE, pts); }
bool EmfCanvas::polygon(const std::vector<POINTL>& pts) { return poly(emf::EMR_POLYGON, pts); }
bool EmfCanvas::polyBezier(const std::vector<POINTL>& pts) {
  if (pts.size() < 4 || (pts.size() - 1) % 3) return false;
  return poly(emf::EMR_POLYBEZIER, pts);
}

bool EmfCanvas::boxRecord(DWORD type, const RECTL& box, const Params& extra) {
  if (!room(64)) return false;
  Params p;
  p.rect(box).raw(extra.bytes().data(), extra.size());
  w_.record(type, p);
  ++drawn_;
  return true;
}

bool EmfCanvas::rectangle(const RECTL& box) { return boxRecord(emf::EMR_RECTANGLE, box, Params()); }
bool EmfCanvas::ellipse(const RECTL& box) { return boxRecord(emf::EMR_ELLIPSE, box, Params()); }
bool EmfCanvas::roundRect(const RECTL& box, SIZEL c) {
  return boxRecord(emf::EMR_ROUNDRECT, box, Params().i32(c.cx).i32(c.cy));
}
bool EmfCanvas::arc(const RECTL& box, POINTL s, POINTL e) {
  return boxRecord(emf::EMR_ARC, box, Params().i32(s.x).i32(s.y).i32(e.x).i32(e.y));
}

bool EmfCanvas::text(POINTL at, const std::u16string& chars) {
  if (chars.empty() || chars.size() > 65536 || !room(96 + chars.size() * 2)) return false;
  Params p;
  // Bounds unknown without the font's metrics: the reference point stands in.
  p.rect(bounds(&at, 1)).u32(1).f32(1).f32(1);  // GM_COMPATIBLE, no scaling
  p.i32(at.x).i32(at.y).u32(static_cast<DWORD>(chars.size())).u32(76).u32(0);
  p.rect(RECTL{}).u32(0);  // no clip rectangle, no advance widths
  for (char16_t c : chars) p.u16(c);
  w_.record(emf::EMR_EXTTEXTOUTW, p);
  ++drawn_;
  return true;
}

bool EmfCanvas::dib(LONG x, LONG y, LONG w, LONG h, const std::vector<BYTE>& info, const std::vector<BYTE>& bits) {
  if (info.size() < sizeof(BITMAPINFOHEADER) || w == 0 || h == 0 || !room(80 + info.size() + bits.size())) return false;
  vel::ByteReader header(info);
  const BITMAPINFOHEADER bh = vel::gdi::ReadBitmapInfoHeader(header);
  const POINTL corners[2] = {{x, y}, {x + w, y + h}};
  Params p;
  p.rect(bounds(corners, 2)).i32(x).i32(y).i32(0).i32(0).i32(bh.biWidth).i32(std::abs(bh.biHeight));
  p.u32(80).u32(static_cast<DWORD>(info.size())).u32(static_cast<DWORD>(80 + info.size()));
  p.u32(static_cast<DWORD>(bits.size())).u32(DIB_RGB_COLORS).u32(SRCCOPY).i32(w).i32(h);
  p.raw(info.data(), info.size()).raw(bits.data(), bits.size());
  w_.record(emf::EMR_STRETCHDIBITS, p);
  ++drawn_;
  return true;
}

std::vector<BYTE> EmfCanvas::finish() {
  const RECTL boundsPx{0, 0, pxW_ - 1, pxH_ - 1};
  const RECTL frame{0, 0, frameW_, frameH_};
  return w_.finish(boundsPx, frame, 7, kRefPixels, kRefMillimetres);
}

bool Give(vel::Expected<VectorDrawing> drawing, VectorDrawing& out) {
  if (!drawing) return false;
  out = std::move(*drawing);
  return true;
}

std::u16string DecodeText(const std::string& s) {
  std::u16string out;
  bool utf8 = true;
  for (size_t i = 0; i < s.size() && utf8;) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
    if (n == 9) {
      utf8 = false;
      break;
    }
    for (size_t k = 1; k <= n; ++k)
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) utf8 = false;
    i += n + 1;
  }
  if (!utf8) {
    for (char c : s) out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
  }
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t n;
    if (c < 0x80)
      cp = c, n = 1;
    else if ((c & 0xE0) == 0xC0)
      cp = c & 0x1F, n = 2;
    else if ((c & 0xF0) == 0xE0)
      cp = c & 0x0F, n = 3;
    else
      cp = c & 0x07, n = 4;
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace vector_detail

}  // namespace lorimer::formats
