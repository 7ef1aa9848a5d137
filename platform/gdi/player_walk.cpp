// The record walk of the EMF player: state, mapping, objects and checks.
//
// Coordinates go through three steps, as in GDI: the world transform, the page
// transform (window to viewport: device = (logical - windowOrg) * viewportExt /
// windowExt + viewportOrg, fixed-unit modes measured on the picture's reference
// device) and the playback transform, which maps the frame (0.01 mm, converted to
// reference-device pixels with the header's szlDevice / szlMillimeters) onto the
// destination rectangle.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/player_walker.h"

namespace vel::gdi::emfplay {

Affine Affine::after(const Affine& f) const {
  Affine r;
  r.m11 = f.m11 * m11 + f.m12 * m21;
  r.m12 = f.m11 * m12 + f.m12 * m22;
  r.m21 = f.m21 * m11 + f.m22 * m21;
  r.m22 = f.m21 * m12 + f.m22 * m22;
  r.dx = f.dx * m11 + f.dy * m21 + dx;
  r.dy = f.dx * m12 + f.dy * m22 + dy;
  return r;
}

double ScaleX(const Affine& a) { return std::hypot(a.m11, a.m12); }
double ScaleY(const Affine& a) { return std::hypot(a.m21, a.m22); }

namespace detail {

using namespace vel::gdi::emf;

constexpr DWORD MWT_IDENTITY = 1;
constexpr DWORD MWT_LEFTMULTIPLY = 2;
constexpr DWORD MWT_RIGHTMULTIPLY = 3;
constexpr DWORD MWT_SET = 4;

std::string Utf8FromUtf16(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool Walker::header(const Record& r) {
  if (r.type != EMR_HEADER || r.size < 88) return false;
  const ENHMETAHEADER h = HeaderOf(r);
  if (h.dSignature != ENHMETA_SIGNATURE) return false;
  // A reference device without size gets a 96 dpi screen's.
  double devX = h.szlDevice.cx, devY = h.szlDevice.cy, mmX = h.szlMillimeters.cx, mmY = h.szlMillimeters.cy;
  if (devX <= 0 || devY <= 0 || mmX <= 0 || mmY <= 0) {
    devX = 1024;
    devY = 768;
    mmX = 1024 * 25.4 / 96;
    mmY = 768 * 25.4 / 96;
  }
  refPixelsPerMmX_ = devX / mmX;
  refPixelsPerMmY_ = devY / mmY;
  // The frame in reference pixels; a missing frame falls back on the bounds.
  double fl = h.rclFrame.left / 100.0 * refPixelsPerMmX_, ft = h.rclFrame.top / 100.0 * refPixelsPerMmY_;
  double fr = h.rclFrame.right / 100.0 * refPixelsPerMmX_, fb = h.rclFrame.bottom / 100.0 * refPixelsPerMmY_;
  if (fr - fl <= 0 || fb - ft <= 0) {
    fl = h.rclBounds.left;
    ft = h.rclBounds.top;
    fr = static_cast<double>(h.rclBounds.right) + 1;
    fb = static_cast<double>(h.rclBounds.bottom) + 1;
  }
  if (dest_) {
    if (fr - fl <= 0 || fb - ft <= 0) return false;
    const double sx = (static_cast<double>(dest_->right) - dest_->left) / (fr - fl);
    const double sy = (static_cast<double>(dest_->bottom) - dest_->top) / (fb - ft);
    playback_ = Affine{sx, 0, 0, sy, dest_->left - fl * sx, dest_->top - ft * sy};
  }
  if (!Finite(playback_)) return false;
  objects_.resize(std::max<size_t>(h.nHandles, 1));
  updateTransform();
  return true;
}

void Walker::updateTransform() {
  double sx = st_.viewportExtX / st_.windowExtX, sy = st_.viewportExtY / st_.windowExtY;
  if (st_.mapMode == MM_TEXT) sx = sy = 1;
  if (st_.mapMode == MM_ISOTROPIC) {
    // The smaller scale serves both axes, each keeping its sign.
    double s = std::min(std::abs(sx), std::abs(sy));
    sx = std::copysign(s, sx);
    sy = std::copysign(s, sy);
  }
  Affine page{sx, 0, 0, sy, st_.viewportOrgX - st_.windowOrgX * sx, st_.viewportOrgY - st_.windowOrgY * sy};
  Affine all = playback_.after(page.after(st_.world));
  if (Finite(all)) st_.toDevice = all;
}

void Walker::setMapMode(int mode) {
  // Logical units per millimetre of the fixed modes; y grows upwards in all of them.
  double unitsPerMm = 0;
  switch (mode) {
    case MM_TEXT:
    case MM_ANISOTROPIC: break;
    case MM_ISOTROPIC: unitsPerMm = 10; break;
    case MM_LOMETRIC: unitsPerMm = 10; break;
    case MM_HIMETRIC: unitsPerMm = 100; break;
    case MM_LOENGLISH: unitsPerMm = 100 / 25.4; break;
    case MM_HIENGLISH: unitsPerMm = 1000 / 25.4; break;
    case MM_TWIPS: unitsPerMm = 1440 / 25.4; break;
    default: return;
  }
  st_.mapMode = mode;
  if (mode == MM_TEXT) {
    st_.windowExtX = st_.windowExtY = st_.viewportExtX = st_.viewportExtY = 1;
  } else if (unitsPerMm > 0) {
    st_.windowExtX = unitsPerMm;
    st_.windowExtY = unitsPerMm;
    st_.viewportExtX = refPixelsPerMmX_;
    st_.viewportExtY = -refPixelsPerMmY_;
  }
  updateTransform();
}

RECT Walker::devRect(const RECTL& r) const {
  POINT a = dev(r.left, r.top), b = dev(r.right, r.bottom);
  return Normalized(RECT{a.x, a.y, b.x, b.y});
}

// The device box of a logical box for shapes: with a rotating transform, the box
// around the turned corners (shapes stay upright: an approximation).
bool Walker::devBox(const RECTL& r, RECT& out) const {
  if (st_.toDevice.axisAligned()) {
    POINT a = dev(r.left, r.top), b = dev(r.right, r.bottom);
    // Mirrored axes keep GDI's box convention: the box still excludes its far edges.
    out = Normalized(RECT{a.x, a.y, b.x, b.y});
    return true;
  }
  POINT c[4] = {dev(r.left, r.top), dev(r.right, r.top), dev(r.right, r.bottom), dev(r.left, r.bottom)};
  out = RECT{c[0].x, c[0].y, c[0].x, c[0].y};
  for (const POINT& p : c) {
    out.left = std::min(out.left, p.x);
    out.top = std::min(out.top, p.y);
    out.right = std::max(out.right, p.x);
    out.bottom = std::max(out.bottom, p.y);
  }
  return true;
}

void Walker::trackPath(POINT p) {
  if (!inPath_) return;
  RECT r{p.x, p.y, p.x + 1, p.y + 1};
  if (!pathBox_) {
    pathBox_ = r;
    return;
  }
  pathBox_->left = std::min(pathBox_->left, r.left);
  pathBox_->top = std::min(pathBox_->top, r.top);
  pathBox_->right = std::max(pathBox_->right, r.right);
  pathBox_->bottom = std::max(pathBox_->bottom, r.bottom);
}

bool Walker::putObject(DWORD index, Object&& object) {
  // Slot 0 is the metafile itself; others must exist in the table the header sized.
  if (index == 0 || index >= objects_.size()) return false;
  objects_[index] = std::make_shared<const Object>(std::move(object));
  return true;
}

// A LOGFONTW at the reader's position, its face as UTF-8.
LOGFONTA FontFromLogFontW(vel::ByteReader& in) {
  LOGFONTA lf;
  lf.lfHeight = in.le32s();
  lf.lfWidth = in.le32s();
  lf.lfEscapement = in.le32s();
  lf.lfOrientation = in.le32s();
  lf.lfWeight = in.le32s();
  lf.lfItalic = in.u8();
  lf.lfUnderline = in.u8();
  lf.lfStrikeOut = in.u8();
  lf.lfCharSet = in.u8();
  in.skip(3);  // output and clip precision, quality
  lf.lfPitchAndFamily = in.u8();
  std::u16string face;
  for (size_t i = 0; i < 32; ++i) {
    const WORD c = in.le16();
    if (!in || c == 0) break;
    face += static_cast<char16_t>(c);
  }
  std::string utf8 = Utf8FromUtf16(face);
  if (utf8.size() >= LF_FACESIZE) utf8.resize(LF_FACESIZE - 1);
  std::memcpy(lf.lfFaceName, utf8.data(), utf8.size());
  lf.lfFaceName[utf8.size()] = '\0';
  return lf;
}

bool Walker::createObject(const Record& r) {
  vel::ByteReader in = r.params();
  const DWORD index = in.le32();
  if (!in) return false;
  Object o;
  switch (r.type) {
    case EMR_CREATEPEN: {
      const DWORD style = in.le32();
      const LONG width = in.le32s();
      in.skip(4);  // the width's y, unused
      const DWORD color = in.le32();
      if (!in) return false;
      o.kind = Object::Kind::Pen;
      o.penStyle = style;
      o.penWidth = std::abs(static_cast<double>(width));
      o.color = color & 0xFFFFFF;
      break;
    }
    case EMR_EXTCREATEPEN: {
      in.skip(4 * 4);  // the bitmap of a pattern pen
      const DWORD style = in.le32(), width = in.le32(), brushStyle = in.le32(), color = in.le32();
      in.skip(4);  // hatch
      const DWORD entries = in.le32();
      if (!in || entries > 16 || !in.has(static_cast<size_t>(entries) * 4)) return false;
      o.kind = Object::Kind::ExtPen;
      o.penStyle = style;
      o.penWidth = width;
      o.color = brushStyle == BS_NULL ? 0 : (color & 0xFFFFFF);
      if (brushStyle == BS_NULL) o.penStyle = (style & ~static_cast<DWORD>(PS_STYLE_MASK)) | PS_NULL;
      for (DWORD i = 0; i < entries; ++i) o.dashes.push_back(in.le32());
      break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
      const DWORD style = in.le32(), color = in.le32(), hatch = in.le32();
      if (!in) return false;
      o.kind = Object::Kind::Brush;
      o.brushStyle = style;
      o.color = color & 0xFFFFFF;
      o.hatch = hatch;
      break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      const DWORD usage = in.le32(), offBmi = in.le32(), cbBmi = in.le32(), offBits = in.le32(), cbBits = in.le32();
      if (!in) return false;
      PackedDib dib;
      if (!ReadPackedDib(r, offBmi, cbBmi, offBits, cbBits, usage, dib)) return false;
      o.kind = r.type == EMR_CREATEMONOBRUSH ? Object::Kind::MonoBrush : Object::Kind::PatternBrush;
      o.usage = usage;
      o.dib = dib.info;
      o.dib.insert(o.dib.end(), dib.bits.begin(), dib.bits.end());
      break;
    }
    case EMR_EXTCREATEFONTINDIRECTW:
      // The LOGFONTW: five numbers, eight bytes and a face of 32 characters.
      if (!in.has(92)) return false;
      o.kind = Object::Kind::Font;
      o.font = FontFromLogFontW(in);
      break;
    case EMR_CREATEPALETTE:
      // Palettes take a slot but change nothing on true-colour targets.
      o.kind = Object::Kind::Palette;
      break;
    default: return false;
  }
  return putObject(index, std::move(o));
}

bool Walker::selectObject(DWORD index) {
  ObjectRef o;
  if (index & kStockObjectFlag) {
    const int stock = static_cast<int>(index & ~kStockObjectFlag);
    auto s = std::make_shared<Object>();
    s->kind = Object::Kind::Stock;
    s->stockIndex = stock;
    if (stock >= WHITE_BRUSH && stock <= NULL_BRUSH) {
      st_.brush = s;
    } else if (stock >= WHITE_PEN && stock <= NULL_PEN) {
      st_.pen = s;
    } else if (stock >= 10 && stock <= 17 && stock != DEFAULT_PALETTE) {
      st_.font = s;  // the stock fonts
    }
    return true;
  }
  if (index == 0 || index >= objects_.size() || !objects_[index]) return false;
  o = objects_[index];
  switch (o->kind) {
    case Object::Kind::Pen:
    case Object::Kind::ExtPen: st_.pen = o; break;
    case Object::Kind::Brush:
    case Object::Kind::PatternBrush:
    case Object::Kind::MonoBrush: st_.brush = o; break;
    case Object::Kind::Font: st_.font = o; break;
    default: break;
  }
  return true;
}

std::optional<bool> Walker::mapping(const Record& r) {
  vel::ByteReader in = r.params();
  switch (r.type) {
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX: {
      const LONG a = in.le32s(), b = in.le32s();
      if (!in || a == 0 || b == 0) return false;
      if (st_.mapMode != MM_ISOTROPIC && st_.mapMode != MM_ANISOTROPIC) return true;
      if (r.type == EMR_SETWINDOWEXTEX) {
        st_.windowExtX = a;
        st_.windowExtY = b;
      } else {
        st_.viewportExtX = a;
        st_.viewportExtY = b;
      }
      updateTransform();
      return true;
    }
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX: {
      const POINTL p = ReadPointl(in);
      if (!in) return false;
      if (r.type == EMR_SETWINDOWORGEX) {
        st_.windowOrgX = p.x;
        st_.windowOrgY = p.y;
      } else {
        st_.viewportOrgX = p.x;
        st_.viewportOrgY = p.y;
      }
      updateTransform();
      return true;
    }
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
      const LONG a = in.le32s(), b = in.le32s(), c = in.le32s(), d = in.le32s();
      if (!in || b == 0 || d == 0 || a == 0 || c == 0) return false;
      if (st_.mapMode != MM_ISOTROPIC && st_.mapMode != MM_ANISOTROPIC) return true;
      double& x = r.type == EMR_SCALEWINDOWEXTEX ? st_.windowExtX : st_.viewportExtX;
      double& y = r.type == EMR_SCALEWINDOWEXTEX ? st_.windowExtY : st_.viewportExtY;
      const double nx = x * a / b, ny = y * c / d;
      if (!std::isfinite(nx) || !std::isfinite(ny) || nx == 0 || ny == 0) return false;
      x = nx;
      y = ny;
      updateTransform();
      return true;
    }
    case EMR_SETMAPMODE: {
      const DWORD mode = in.le32();
      if (!in) return false;
      setMapMode(static_cast<int>(mode));
      return true;
    }
    case EMR_SAVEDC:
      if (saved_.size() >= kMaxSavedStates) return false;
      saved_.push_back(st_);
      return true;
    case EMR_RESTOREDC: {
      const LONG a = in.le32s();
      if (!in) return false;
      const long long n = static_cast<long long>(saved_.size());
      const long long target = a < 0 ? n + a + 1 : a;
      if (target < 1 || target > n) return false;
      st_ = saved_[static_cast<size_t>(target - 1)];
      saved_.resize(static_cast<size_t>(target - 1));
      return true;
    }
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
      float f[6];
      for (float& v : f) v = in.lef32();
      const DWORD mode = r.type == EMR_MODIFYWORLDTRANSFORM ? in.le32() : MWT_SET;
      if (!in) return false;
      Affine x{f[0], f[1], f[2], f[3], f[4], f[5]};
      Affine next;
      switch (mode) {
        case MWT_IDENTITY: next = Affine{}; break;
        case MWT_LEFTMULTIPLY: next = st_.world.after(x); break;
        case MWT_RIGHTMULTIPLY: next = x.after(st_.world); break;
        case MWT_SET: next = x; break;
        default: return false;
      }
      if (!Finite(next)) return false;
      st_.world = next;
      updateTransform();
      return true;
    }
    default: return std::nullopt;
  }
}

std::optional<bool> Walker::attributes(const Record& r) {
  vel::ByteReader in = r.params();
  if (r.type == EMR_SETBRUSHORGEX) {
    const POINTL p = ReadPointl(in);
    if (!in) return false;
    st_.brushOrigin = POINT{p.x, p.y};
    return true;
  }
  // The others set one 32-bit value.
  const DWORD u = in.le32();
  switch (r.type) {
    case EMR_SETBKMODE:
      if (!in || (u != TRANSPARENT && u != OPAQUE)) return false;
      st_.bkMode = static_cast<int>(u);
      return true;
    case EMR_SETPOLYFILLMODE:
      if (!in || (u != ALTERNATE && u != WINDING)) return false;
      st_.polyFillMode = static_cast<int>(u);
      return true;
    case EMR_SETROP2:
      if (!in || u < R2_BLACK || u > R2_WHITE) return false;
      st_.rop2 = static_cast<int>(u);
      return true;
    case EMR_SETSTRETCHBLTMODE:
      if (!in || u < BLACKONWHITE || u > HALFTONE) return false;
      st_.stretchMode = static_cast<int>(u);
      return true;
    case EMR_SETTEXTALIGN:
      if (!in) return false;
      st_.textAlign = u;
      return true;
    case EMR_SETTEXTCOLOR:
    case EMR_SETBKCOLOR:
      if (!in) return false;
      (r.type == EMR_SETTEXTCOLOR ? st_.textColor : st_.bkColor) = u & 0xFFFFFF;
      return true;
    case EMR_SETARCDIRECTION:
      if (!in || (u != AD_COUNTERCLOCKWISE && u != AD_CLOCKWISE)) return false;
      st_.arcDirection = static_cast<int>(u);
      return true;
    default: return std::nullopt;
  }
}

std::optional<bool> Walker::objectRecord(const Record& r) {
  switch (r.type) {
    case EMR_SELECTOBJECT:
    case EMR_DELETEOBJECT: {
      vel::ByteReader in = r.params();
      const DWORD u = in.le32();
      if (!in) return false;
      if (r.type == EMR_SELECTOBJECT) return selectObject(u);
      // What is selected stays in use (the state holds its own reference).
      if (u == 0 || u >= objects_.size() || !objects_[u]) return false;
      objects_[u].reset();
      return true;
    }
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_CREATEPALETTE: return createObject(r);
    case EMR_SELECTPALETTE:
    case EMR_SETPALETTEENTRIES:
    case EMR_RESIZEPALETTE:
    case EMR_REALIZEPALETTE: return true;
    default: return std::nullopt;
  }
}

bool Walker::play(const Record& r) {
  switch (r.type) {
    case EMR_HEADER: return true;
    case EMR_EOF: return true;
    case EMR_FLATTENPATH:
    case EMR_WIDENPATH:
    case EMR_SETMITERLIMIT:
    case EMR_SETMAPPERFLAGS:
    case EMR_SETICMMODE:
    case EMR_SETLAYOUT:
    case EMR_GDICOMMENT: return true;
    default: break;
  }
  for (auto handler :
       {&Walker::mapping, &Walker::attributes, &Walker::objectRecord, &Walker::clipping, &Walker::drawing})
    if (std::optional<bool> done = (this->*handler)(r)) return *done;
  return false;
}

}  // namespace detail

bool Walk(const BYTE* data, size_t size, const RECT* dest, Sink& sink, Stats* stats) {
  Stats local;
  Stats& s = stats ? *stats : local;
  s = Stats{};
  if (!data || size < 88 || (dest && (dest->left == dest->right || dest->top == dest->bottom))) return false;
  detail::Walker walker(sink, dest);
  vel::ByteReader in(data, size);
  bool first = true;
  while (!in.atEnd() && s.records < kMaxRecords) {
    const auto next = emf::NextRecord(in);
    if (!next) break;
    const emf::Record& r = *next;
    ++s.records;
    if (first) {
      if (!walker.header(r)) return false;
      first = false;
    } else if (!walker.play(r)) {
      ++s.skipped;
    }
    if (r.type == emf::EMR_EOF) {
      s.ended = true;
      break;
    }
  }
  return !first;
}

}  // namespace vel::gdi::emfplay
