// The EMF walker's drawing records: shapes, paths, text, bitmaps and clipping, each
// checked against its record before the sink sees it.
#include <cstddef>

#include "platform/gdi/player_walker.h"

namespace vel::gdi::emfplay::detail {

// A count and that many points (32- or 16-bit) at the reader's position, all inside
// the record, in device coordinates.
bool Walker::points(vel::ByteReader& in, bool small, std::vector<POINT>& out) {
  const DWORD count = in.le32();
  std::vector<POINT> logical;
  if (!in || count == 0 || !ReadPoints(in, count, small, logical)) return false;
  out.resize(logical.size());
  for (size_t i = 0; i < logical.size(); ++i) {
    out[i] = dev(logical[i].x, logical[i].y);
    trackPath(out[i]);
  }
  return true;
}

bool Walker::polyRecord(const Record& r, bool small) {
  vel::ByteReader in = r.params();
  in.skip(16);  // bounds
  std::vector<POINT> pts;
  if (!points(in, small, pts)) return false;
  DWORD base = small ? r.type - (EMR_POLYBEZIER16 - EMR_POLYBEZIER) : r.type;
  switch (base) {
    case EMR_POLYBEZIER:
      if (pts.size() < 4 || (pts.size() - 1) % 3) return false;
      sink_.polyBezier(st_, pts);
      return true;
    case EMR_POLYGON:
      if (pts.size() < 2) return false;
      sink_.poly(st_, pts, {static_cast<INT>(pts.size())}, true);
      return true;
    case EMR_POLYLINE:
      if (pts.size() < 2) return false;
      sink_.poly(st_, pts, {static_cast<INT>(pts.size())}, false);
      return true;
    case EMR_POLYBEZIERTO:
      if (pts.size() % 3) return false;
      sink_.polyBezierTo(st_, pts);
      st_.position = pts.back();
      return true;
    case EMR_POLYLINETO:
      sink_.polylineTo(st_, pts);
      st_.position = pts.back();
      return true;
    default: return false;
  }
}

bool Walker::polyPolyRecord(const Record& r, bool small, bool closed) {
  vel::ByteReader in = r.params();
  in.skip(16);  // bounds
  const DWORD figures = in.le32(), total = in.le32();
  if (!in || figures == 0) return false;
  const size_t each = small ? 4 : 8;
  // The counts and the points must both fit in what the record holds.
  if (figures > in.remaining() / 4 || total > (in.remaining() - static_cast<size_t>(figures) * 4) / each) return false;
  std::vector<INT> counts(figures);
  size_t sum = 0;
  for (INT& count : counts) {
    const DWORD c = in.le32();
    if (c < 2 || c > total) return false;
    count = static_cast<INT>(c);
    sum += c;
  }
  if (sum != total) return false;
  std::vector<POINT> logical;
  if (!ReadPoints(in, total, small, logical)) return false;
  std::vector<POINT> pts(logical.size());
  for (size_t i = 0; i < logical.size(); ++i) {
    pts[i] = dev(logical[i].x, logical[i].y);
    trackPath(pts[i]);
  }
  sink_.poly(st_, pts, counts, closed);
  return true;
}

bool Walker::text(const Record& r, bool wide) {
  vel::ByteReader in = r.params();
  in.skip(16 + 4 + 4 + 4);  // bounds, graphics mode, x and y scale
  const POINTL ref = ReadPointl(in);
  const DWORD chars = in.le32(), offString = in.le32(), options = in.le32();
  const RECTL rcl = ReadRectl(in);
  if (!in) return false;
  const size_t each = wide ? 2 : 1;
  if (chars > r.size / each) return false;
  vel::ByteReader whole = r.reader();
  vel::ByteReader string = whole.sub(offString, static_cast<size_t>(chars) * each);
  if (!whole) return false;
  std::string utf8;
  if (wide) {
    std::u16string s;
    s.reserve(chars);
    for (DWORD i = 0; i < chars; ++i) s += static_cast<char16_t>(string.le16());
    utf8 = Utf8FromUtf16(s);
  } else {
    const auto bytes = string.rest();
    utf8 = Utf8FromUtf16(Cp1252ToUtf16(bytes.data(), bytes.size()));
  }
  POINT at = (st_.textAlign & 1) ? st_.position : dev(ref.x, ref.y);  // TA_UPDATECP
  std::optional<RECT> rect;
  if ((options & (wmf::ETO_OPAQUE | wmf::ETO_CLIPPED)) && rcl.left < rcl.right && rcl.top < rcl.bottom)
    rect = devRect(rcl);
  // The font's height in device pixels: the logical height along the transformed y axis.
  LONG logical = st_.font && st_.font->kind == Object::Kind::Font ? st_.font->font.lfHeight : 0;
  double h = logical * ScaleY(st_.toDevice);
  int height = static_cast<int>(std::clamp<double>(std::round(h), -16384, 16384));
  if (logical != 0 && height == 0) height = logical < 0 ? -1 : 1;
  sink_.text(st_, at, options, rect, utf8, height);
  return true;
}

bool Walker::bitmapRecord(const Record& r) {
  vel::ByteReader in = r.params();
  in.skip(16);  // bounds
  LONG xd = in.le32s(), yd = in.le32s(), xs = 0, ys = 0, wd = 0, hd = 0, ws = 0, hs = 0;
  DWORD offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0, usage = DIB_RGB_COLORS, rop = SRCCOPY;
  DWORD startScan = 0, scans = 0;
  bool bottomUpSource = false;  // source rectangle measured from the top of the bitmap
  switch (r.type) {
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
      wd = in.le32s();
      hd = in.le32s();
      rop = in.le32();
      xs = in.le32s();
      ys = in.le32s();
      // The source transform of the recorded DC picks the pixels; translations only.
      in.skip(4 * 4);
      const float fdx = in.lef32(), fdy = in.lef32();
      in.skip(4);  // background colour
      usage = in.le32();
      offBmi = in.le32();
      cbBmi = in.le32();
      offBits = in.le32();
      cbBits = in.le32();
      ws = wd;
      hs = hd;
      if (r.type == EMR_STRETCHBLT) {
        ws = in.le32s();
        hs = in.le32s();
      }
      if (!in) return false;
      if (cbBmi == 0) {
        // No source: a pattern or constant blit over the destination.
        POINT a = dev(xd, yd), b = dev(static_cast<double>(xd) + wd, static_cast<double>(yd) + hd);
        sink_.patBlt(st_, Normalized(RECT{a.x, a.y, b.x, b.y}), rop);
        return true;
      }
      if (std::isfinite(fdx) && std::isfinite(fdy) && std::abs(fdx) < 1e9 && std::abs(fdy) < 1e9) {
        xs = static_cast<LONG>(std::lround(xs + fdx));
        ys = static_cast<LONG>(std::lround(ys + fdy));
      }
      bottomUpSource = true;
      break;
    }
    case EMR_STRETCHDIBITS:
    case EMR_SETDIBITSTODEVICE:
      xs = in.le32s();
      ys = in.le32s();
      ws = in.le32s();
      hs = in.le32s();
      offBmi = in.le32();
      cbBmi = in.le32();
      offBits = in.le32();
      cbBits = in.le32();
      usage = in.le32();
      if (r.type == EMR_STRETCHDIBITS) {
        rop = in.le32();
        wd = in.le32s();
        hd = in.le32s();
      } else {
        // The record holds only some scan lines of the bitmap.
        startScan = in.le32();
        scans = in.le32();
        wd = ws;
        hd = hs;
      }
      if (!in) return false;
      break;
    default: return false;
  }
  if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return false;
  PackedDib dib;
  if (!ReadPackedDib(r, offBmi, cbBmi, offBits, cbBits, usage, dib)) return false;
  vel::ByteReader info(dib.info);
  const BITMAPINFOHEADER h = ReadBitmapInfoHeader(info);
  if (h.biCompression == BI_JPEG || h.biCompression == BI_PNG) return false;
  const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  if (h.biWidth <= 0 || height == 0 || static_cast<long long>(h.biWidth) * height > kMaxBitmapPixels) return false;
  if (r.type == EMR_SETDIBITSTODEVICE) {
    // The record holds scan lines startScan .. startScan + scans - 1: they become the
    // whole bitmap, the source rectangle moving with them.
    if (scans == 0 || scans > height || startScan >= height) return false;
    const LONG heightOfScans = h.biHeight < 0 ? -static_cast<LONG>(scans) : static_cast<LONG>(scans);
    vel::ByteWriter(dib.info).patchLe32(offsetof(BITMAPINFOHEADER, biHeight), static_cast<DWORD>(heightOfScans));
    ys -= static_cast<LONG>(startScan);
  } else if (bottomUpSource && h.biHeight > 0) {
    // Blits count source rows from the top; StretchDIBits from the bottom of a
    // bottom-up bitmap.
    ys = static_cast<LONG>(height - ys - hs);
  }
  if (ws == 0 || hs == 0 || wd == 0 || hd == 0) return false;
  POINT a = dev(xd, yd), b = dev(static_cast<double>(xd) + wd, static_cast<double>(yd) + hd);
  const long long w = static_cast<long long>(b.x) - a.x, hh = static_cast<long long>(b.y) - a.y;
  if (w == 0 || hh == 0 || std::llabs(w) > kMaxDeviceCoordinate || std::llabs(hh) > kMaxDeviceCoordinate) return false;
  sink_.dib(st_, a.x, a.y, static_cast<int>(w), static_cast<int>(hh), xs, ys, ws, hs, dib.bitmapInfo(), dib.bits.data(),
            dib.bits.size(), usage, rop);
  return true;
}

bool Walker::clipRegion(const Record& r) {
  vel::ByteReader in = r.params();
  const DWORD cb = in.le32(), mode = in.le32();
  if (!in) return false;
  if (mode == RGN_COPY && cb == 0) {
    st_.clip.reset();
    return true;
  }
  // The region data: its header (size, type, count, bytes of rectangles), then the
  // bounding rectangle, which is all that is used.
  vel::ByteReader region = in.take(cb);
  region.skip(16);
  const RECTL bound = ReadRectl(region);
  if (cb < 32 || !in || !region) return false;
  // Region rectangles are in the reference device's pixels: only playback applies.
  POINT a{Clamp(playback_.mapX(bound.left, bound.top)), Clamp(playback_.mapY(bound.left, bound.top))};
  POINT b{Clamp(playback_.mapX(bound.right, bound.bottom)), Clamp(playback_.mapY(bound.right, bound.bottom))};
  RECT box = Normalized(RECT{a.x, a.y, b.x, b.y});
  switch (mode) {
    case RGN_COPY: st_.clip = box; break;
    case RGN_AND: st_.clip = Intersect(st_.clip, box); break;
    case RGN_OR:
      // The union of two rectangles is drawn as the rectangle around them.
      if (st_.clip)
        st_.clip = RECT{std::min(st_.clip->left, box.left), std::min(st_.clip->top, box.top),
                        std::max(st_.clip->right, box.right), std::max(st_.clip->bottom, box.bottom)};
      break;
    default: return false;  // XOR and DIFF cut holes a rectangle cannot hold
  }
  return true;
}

std::optional<bool> Walker::clipping(const Record& r) {
  vel::ByteReader in = r.params();
  switch (r.type) {
    case EMR_OFFSETCLIPRGN: {
      const POINTL p = ReadPointl(in);
      if (!in) return false;
      if (st_.clip) {
        // Offsets are logical units.
        const double dx = p.x * st_.toDevice.m11 + p.y * st_.toDevice.m21;
        const double dy = p.x * st_.toDevice.m12 + p.y * st_.toDevice.m22;
        st_.clip = RECT{Clamp(st_.clip->left + dx), Clamp(st_.clip->top + dy), Clamp(st_.clip->right + dx),
                        Clamp(st_.clip->bottom + dy)};
      }
      return true;
    }
    case EMR_EXCLUDECLIPRECT:
    case EMR_INTERSECTCLIPRECT: {
      const RECTL box = ReadRectl(in);
      if (!in) return false;
      RECT dr = devRect(box);
      if (r.type == EMR_INTERSECTCLIPRECT) {
        st_.clip = Intersect(st_.clip, dr);
      } else if (st_.clip) {
        // Only cuts that take a whole side off keep the clip a rectangle.
        RECT& cr = *st_.clip;
        const bool spansX = dr.left <= cr.left && dr.right >= cr.right;
        const bool spansY = dr.top <= cr.top && dr.bottom >= cr.bottom;
        if (spansX && dr.top <= cr.top && dr.bottom > cr.top)
          cr.top = std::min(dr.bottom, cr.bottom);
        else if (spansX && dr.bottom >= cr.bottom && dr.top < cr.bottom)
          cr.bottom = std::max(dr.top, cr.top);
        else if (spansY && dr.left <= cr.left && dr.right > cr.left)
          cr.left = std::min(dr.right, cr.right);
        else if (spansY && dr.right >= cr.right && dr.left < cr.right)
          cr.right = std::max(dr.left, cr.left);
      }
      return true;
    }
    case EMR_SELECTCLIPPATH: {
      // The clip becomes the box around the path.
      const DWORD u = in.le32();
      if (!in) return false;
      inPath_ = false;
      if (pathBox_) {
        if (u == RGN_COPY)
          st_.clip = *pathBox_;
        else if (u == RGN_AND)
          st_.clip = Intersect(st_.clip, *pathBox_);
      }
      pathBox_.reset();
      sink_.path(st_, PathOp::Abort);
      return true;
    }
    case EMR_EXTSELECTCLIPRGN: return clipRegion(r);
    default: return std::nullopt;
  }
}

std::optional<bool> Walker::drawing(const Record& r) {
  vel::ByteReader in = r.params();
  switch (r.type) {
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO: return polyRecord(r, false);
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: return polyRecord(r, true);
    case EMR_POLYPOLYLINE: return polyPolyRecord(r, false, false);
    case EMR_POLYPOLYGON: return polyPolyRecord(r, false, true);
    case EMR_POLYPOLYLINE16: return polyPolyRecord(r, true, false);
    case EMR_POLYPOLYGON16: return polyPolyRecord(r, true, true);
    case EMR_SETPIXELV: {
      const POINTL p = ReadPointl(in);
      const DWORD color = in.le32();
      if (!in) return false;
      sink_.setPixel(st_, dev(p.x, p.y), color & 0xFFFFFF);
      return true;
    }
    case EMR_MOVETOEX: {
      const POINTL p = ReadPointl(in);
      if (!in) return false;
      st_.position = dev(p.x, p.y);
      trackPath(st_.position);
      sink_.moveTo(st_, st_.position);
      return true;
    }
    case EMR_LINETO: {
      const POINTL p = ReadPointl(in);
      if (!in) return false;
      POINT to = dev(p.x, p.y);
      trackPath(to);
      sink_.polylineTo(st_, {to});
      st_.position = to;
      return true;
    }
    case EMR_ANGLEARC: {
      const POINTL p = ReadPointl(in);
      const DWORD radius = in.le32();
      const float start = in.lef32(), sweep = in.lef32();
      if (!in) return false;
      if (!std::isfinite(start) || !std::isfinite(sweep) || radius > (1u << 30)) return false;
      const double rd = radius * std::sqrt(ScaleX(st_.toDevice) * ScaleY(st_.toDevice));
      if (rd > kMaxDeviceCoordinate) return false;
      POINT centre = dev(p.x, p.y);
      trackPath(POINT{Clamp(centre.x - rd), Clamp(centre.y - rd)});
      trackPath(POINT{Clamp(centre.x + rd), Clamp(centre.y + rd)});
      // A mirrored y axis turns counter-clockwise sweeps clockwise on the device.
      const bool flip = (st_.toDevice.m11 * st_.toDevice.m22 - st_.toDevice.m12 * st_.toDevice.m21) < 0;
      sink_.angleArc(st_, centre, static_cast<int>(std::lround(rd)), flip ? -start : start, flip ? -sweep : sweep);
      const double end = (start + sweep) * M_PI / 180.0;
      st_.position = dev(p.x + radius * std::cos(end), p.y - radius * std::sin(end) * (flip ? -1 : 1));
      return true;
    }
    case EMR_ELLIPSE:
    case EMR_RECTANGLE: {
      const RECTL box = ReadRectl(in);
      if (!in) return false;
      RECT dr;
      if (!devBox(box, dr)) return false;
      trackPath(dr);
      if (r.type == EMR_RECTANGLE && !st_.toDevice.axisAligned()) {
        std::vector<POINT> corners = {dev(box.left, box.top), dev(box.right, box.top), dev(box.right, box.bottom),
                                      dev(box.left, box.bottom)};
        sink_.poly(st_, corners, {4}, true);
      } else if (r.type == EMR_RECTANGLE) {
        sink_.rectangle(st_, dr);
      } else {
        sink_.ellipse(st_, dr);
      }
      return true;
    }
    case EMR_ROUNDRECT: {
      const RECTL box = ReadRectl(in);
      const LONG a = in.le32s(), b = in.le32s();
      if (!in) return false;
      RECT dr;
      if (!devBox(box, dr)) return false;
      trackPath(dr);
      sink_.roundRect(st_, dr, Clamp(std::abs(a * ScaleX(st_.toDevice))), Clamp(std::abs(b * ScaleY(st_.toDevice))));
      return true;
    }
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_ARCTO: {
      const RECTL box = ReadRectl(in);
      const POINTL s = ReadPointl(in), e = ReadPointl(in);
      if (!in) return false;
      RECT dr;
      if (!devBox(box, dr)) return false;
      trackPath(dr);
      // A mirrored transform reverses the turning sense, so start and end swap.
      const Affine& t = st_.toDevice;
      const bool flip = (t.m11 * t.m22 - t.m12 * t.m21) < 0;
      POINT ds = dev(s.x, s.y), de = dev(e.x, e.y);
      if (flip) std::swap(ds, de);
      const ArcKind kind = r.type == EMR_ARC     ? ArcKind::Arc
                           : r.type == EMR_CHORD ? ArcKind::Chord
                           : r.type == EMR_PIE   ? ArcKind::Pie
                                                 : ArcKind::ArcTo;
      if (kind == ArcKind::ArcTo && flip) {
        // ArcTo's line must reach the arc's true start: keep the points in order and
        // turn the other way instead.
        std::swap(ds, de);
        State turned = st_;
        turned.arcDirection = st_.arcDirection == AD_CLOCKWISE ? AD_COUNTERCLOCKWISE : AD_CLOCKWISE;
        sink_.arc(turned, kind, dr, ds, de);
      } else {
        sink_.arc(st_, kind, dr, ds, de);
      }
      if (kind == ArcKind::ArcTo) {
        // The position ends on the arc, on the ray through the end point.
        const double cx = (dr.left + dr.right - 1) / 2.0, cy = (dr.top + dr.bottom - 1) / 2.0;
        const double rx = (dr.right - dr.left - 1) / 2.0, ry = (dr.bottom - dr.top - 1) / 2.0;
        POINT ee = dev(e.x, e.y);
        const double ang = std::atan2((ee.y - cy) / std::max(ry, 1e-9), (ee.x - cx) / std::max(rx, 1e-9));
        st_.position = POINT{Clamp(cx + rx * std::cos(ang)), Clamp(cy + ry * std::sin(ang))};
      }
      return true;
    }
    case EMR_BEGINPATH:
      inPath_ = true;
      pathBox_.reset();
      sink_.path(st_, PathOp::Begin);
      return true;
    case EMR_ENDPATH:
      inPath_ = false;
      sink_.path(st_, PathOp::End);
      return true;
    case EMR_CLOSEFIGURE: sink_.path(st_, PathOp::Close); return true;
    case EMR_FILLPATH: sink_.path(st_, PathOp::Fill); return true;
    case EMR_STROKEPATH: sink_.path(st_, PathOp::Stroke); return true;
    case EMR_STROKEANDFILLPATH: sink_.path(st_, PathOp::StrokeAndFill); return true;
    case EMR_ABORTPATH:
      inPath_ = false;
      pathBox_.reset();
      sink_.path(st_, PathOp::Abort);
      return true;
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_STRETCHDIBITS:
    case EMR_SETDIBITSTODEVICE: return bitmapRecord(r);
    case EMR_EXTTEXTOUTA: return text(r, false);
    case EMR_EXTTEXTOUTW: return text(r, true);
    default: return std::nullopt;
  }
}

}  // namespace vel::gdi::emfplay::detail
