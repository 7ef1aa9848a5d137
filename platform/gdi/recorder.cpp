// Recording DCs. Every drawing call becomes the records that redraw it: the
// objects it needs are created, selected, used and deleted again, so a player
// needs no state from one call to the next but the DC's colours and modes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "platform/gdi/recorder.h"
#include "platform/gdi/recorder_device.h"
#include "platform/gdi/text.h"

namespace vel::gdi {

namespace {

constexpr DWORD kStock = emf::kStockObjectFlag;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr int DT_METAFILE = 5;
constexpr long long kFar = 1LL << 30;

LONG Clamp(long long v) { return static_cast<LONG>(std::clamp<long long>(v, -kFar, kFar)); }
LONG Clamp(double v) { return std::isfinite(v) ? Clamp(std::llround(std::clamp(v, -1e12, 1e12))) : 0; }

}  // namespace

RecorderDC* AsRecorder(DeviceContext& dc) { return dynamic_cast<RecorderDC*>(&dc); }

RecorderDC::RecorderDC(HDC reference, const RECT* frame, std::string file) : file_(std::move(file)) {
  HDC ref = reference ? reference : GetDC(nullptr);
  for (int i = 0; i < 128; ++i) caps_[i] = GetDeviceCaps(ref, i);
  if (!reference) ReleaseDC(nullptr, ref);
  caps_[TECHNOLOGY] = DT_METAFILE;
  if (frame) frame_ = RECTL{frame->left, frame->top, frame->right, frame->bottom};
}

void RecorderDC::grow(long long left, long long top, long long right, long long bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (!any_) {
    left_ = left, top_ = top, right_ = right, bottom_ = bottom;
    any_ = true;
    return;
  }
  left_ = std::min(left_, left);
  top_ = std::min(top_, top);
  right_ = std::max(right_, right);
  bottom_ = std::max(bottom_, bottom);
}

meta::Params RecorderDC::boundsOf(long long left, long long top, long long right, long long bottom) const {
  meta::Params p;
  p.i32(Clamp(std::min(left, right))).i32(Clamp(std::min(top, bottom)));
  p.i32(Clamp(std::max(left, right) - 1)).i32(Clamp(std::max(top, bottom) - 1));
  return p;
}

DWORD RecorderDC::newHandle() {
  for (size_t i = 1; i < used_.size(); ++i)
    if (!used_[i]) {
      used_[i] = true;
      return static_cast<DWORD>(i);
    }
  used_.push_back(true);
  return static_cast<DWORD>(used_.size() - 1);
}

void RecorderDC::freeHandle(DWORD handle) {
  if (handle < used_.size()) used_[handle] = false;
}

void RecorderDC::release(DWORD handle) {
  if (handle & kStock) return;
  record(emf::EMR_DELETEOBJECT, meta::Params().u32(handle));
  freeHandle(handle);
}

DWORD RecorderDC::createPen(const Pen* p) {
  if (!p) return kStock | BLACK_PEN;
  if (p->lineStyle() == PS_NULL) return kStock | NULL_PEN;
  const DWORD handle = newHandle();
  if (!p->geometric() && p->dashes.empty()) {
    meta::Params params;
    params.u32(handle).u32(static_cast<DWORD>(p->style)).i32(p->width).i32(0).u32(p->color);
    record(emf::EMR_CREATEPEN, params);
    return handle;
  }
  meta::Params params;
  params.u32(handle).u32(0).u32(0).u32(0).u32(0);  // no brush bitmap
  params.u32(static_cast<DWORD>(p->style)).u32(static_cast<DWORD>(p->width)).u32(BS_SOLID).u32(p->color).u32(0);
  params.u32(static_cast<DWORD>(p->dashes.size()));
  for (DWORD d : p->dashes) params.u32(d);
  record(emf::EMR_EXTCREATEPEN, params);
  return handle;
}

DWORD RecorderDC::createBrush(const Brush* b) {
  if (!b) return kStock | WHITE_BRUSH;
  if (b->hollow) return kStock | NULL_BRUSH;
  const DWORD handle = newHandle();
  meta::Params params;
  // Pattern brushes are recorded in their colour; hatches keep their style.
  const DWORD style = b->hatch >= 0 ? 2u /*BS_HATCHED*/ : static_cast<DWORD>(BS_SOLID);
  params.u32(handle).u32(style).u32(b->color).u32(b->hatch >= 0 ? static_cast<DWORD>(b->hatch) : 0u);
  record(emf::EMR_CREATEBRUSHINDIRECT, params);
  return handle;
}

bool RecorderDC::drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws, int hs,
                            DWORD rop) {
  if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return true;
  // The source rectangle read as it should appear: mirrored extents are undone here.
  const bool flipX = (wd < 0) != (ws < 0), flipY = (hd < 0) != (hs < 0);
  if (ws < 0) xs += ws, ws = -ws;
  if (hs < 0) ys += hs, hs = -hs;
  if (wd < 0) xd += wd, wd = -wd;
  if (hd < 0) yd += hd, hd = -hd;
  if (xs < 0 || ys < 0 || xs + ws > src.width || ys + hs > src.height) return false;
  if (static_cast<long long>(ws) * hs > kMaxBitmapPixels) return false;
  const size_t row = (static_cast<size_t>(ws) * 3 + 3) & ~size_t(3);
  std::vector<BYTE> bits(row * static_cast<size_t>(hs));
  std::vector<Pixel> line(static_cast<size_t>(ws));
  for (int y = 0; y < hs; ++y) {
    src.fetch(ys + y, xs, ws, line.data(), nullptr);
    const int outRow = flipY ? y : hs - 1 - y;  // bottom-up rows
    BYTE* out = bits.data() + row * static_cast<size_t>(outRow);
    for (int x = 0; x < ws; ++x) {
      const Pixel p = line[static_cast<size_t>(flipX ? ws - 1 - x : x)];
      out[3 * x] = static_cast<BYTE>(p & 0xFF);
      out[3 * x + 1] = static_cast<BYTE>((p >> 8) & 0xFF);
      out[3 * x + 2] = static_cast<BYTE>((p >> 16) & 0xFF);
    }
  }
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = ws;
  h.biHeight = hs;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biSizeImage = static_cast<DWORD>(bits.size());
  meta::Params p = boundsOf(xd, yd, static_cast<long long>(xd) + wd, static_cast<long long>(yd) + hd);
  p.i32(xd).i32(yd).i32(0).i32(0).i32(ws).i32(hs);
  p.u32(80).u32(sizeof(h)).u32(80 + sizeof(h)).u32(static_cast<DWORD>(bits.size()));
  p.u32(DIB_RGB_COLORS).u32(rop).i32(wd).i32(hd);
  p.raw(&h, sizeof(h)).raw(bits.data(), bits.size());
  record(emf::EMR_STRETCHDIBITS, p);
  grow(xd, yd, static_cast<long long>(xd) + wd, static_cast<long long>(yd) + hd);
  return true;
}

bool RecorderDC::fillRect(const RECT& r, COLORREF color) {
  if (r.right <= r.left || r.bottom <= r.top) return true;
  Brush solid(color, false);
  const DWORD brushHandle = createBrush(&solid);
  select(brushHandle);
  meta::Params p = boundsOf(r.left, r.top, r.right, r.bottom);
  p.i32(r.left).i32(r.top).i32(r.right - r.left).i32(r.bottom - r.top).u32(PATCOPY).i32(0).i32(0);
  p.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
  record(emf::EMR_BITBLT, p);
  select(kStock | WHITE_BRUSH);
  release(brushHandle);
  grow(r.left, r.top, r.right, r.bottom);
  return true;
}

bool RecorderDC::strokeLine(int x0, int y0, int x1, int y1, const Pen& pen) {
  const DWORD handle = createPen(&pen);
  select(handle);
  record(emf::EMR_MOVETOEX, meta::Params().i32(x0).i32(y0));
  record(emf::EMR_LINETO, meta::Params().i32(x1).i32(y1));
  select(kStock | BLACK_PEN);
  release(handle);
  const long long half = std::max(pen.width, 1) / 2 + 1;
  grow(std::min(x0, x1) - half, std::min(y0, y1) - half, std::max(x0, x1) + half, std::max(y0, y1) + half);
  return true;
}

bool RecorderDC::setPixel(int x, int y, COLORREF color) {
  record(emf::EMR_SETPIXELV, meta::Params().i32(x).i32(y).u32(color));
  grow(x, y, static_cast<long long>(x) + 1, static_cast<long long>(y) + 1);
  return true;
}

bool RecorderDC::recordShape(const QPainterPath& shape, bool closed) {
  if (shape.isEmpty()) return true;
  const DWORD penHandle = createPen(pen);
  const DWORD brushHandle = closed ? createBrush(brush) : (kStock | NULL_BRUSH);
  select(penHandle);
  select(brushHandle);
  record(emf::EMR_SETPOLYFILLMODE, meta::Params().u32(static_cast<DWORD>(polyFillMode)));
  record(emf::EMR_BEGINPATH, meta::Params());
  std::vector<POINTL> lines;
  auto flushLines = [&] {
    if (lines.empty()) return;
    meta::Params p = boundsOf(0, 0, 0, 0);
    p.u32(static_cast<DWORD>(lines.size()));
    for (const POINTL& q : lines) p.i32(q.x).i32(q.y);
    record(emf::EMR_POLYLINETO, p);
    lines.clear();
  };
  bool figure = false;
  for (int i = 0; i < shape.elementCount(); ++i) {
    const QPainterPath::Element e = shape.elementAt(i);
    if (e.type == QPainterPath::MoveToElement) {
      flushLines();
      if (figure && closed) record(emf::EMR_CLOSEFIGURE, meta::Params());
      record(emf::EMR_MOVETOEX, meta::Params().i32(Clamp(e.x)).i32(Clamp(e.y)));
      figure = true;
    } else if (e.type == QPainterPath::LineToElement) {
      lines.push_back(POINTL{Clamp(e.x), Clamp(e.y)});
    } else if (e.type == QPainterPath::CurveToElement && i + 2 < shape.elementCount()) {
      flushLines();
      meta::Params p = boundsOf(0, 0, 0, 0);
      p.u32(3);
      for (int k = 0; k < 3; ++k) p.i32(Clamp(shape.elementAt(i + k).x)).i32(Clamp(shape.elementAt(i + k).y));
      record(emf::EMR_POLYBEZIERTO, p);
      i += 2;
    }
  }
  flushLines();
  if (figure && closed) record(emf::EMR_CLOSEFIGURE, meta::Params());
  record(emf::EMR_ENDPATH, meta::Params());
  const QRectF box = shape.boundingRect();
  const meta::Params where =
      boundsOf(Clamp(box.left()), Clamp(box.top()), Clamp(box.right()) + 1, Clamp(box.bottom()) + 1);
  record(closed ? emf::EMR_STROKEANDFILLPATH : emf::EMR_STROKEPATH, where);
  select(kStock | BLACK_PEN);
  select(kStock | WHITE_BRUSH);
  release(penHandle);
  release(brushHandle);
  const long long half = pen ? std::max(pen->width, 1) / 2 + 1 : 1;
  grow(Clamp(box.left()) - half, Clamp(box.top()) - half, Clamp(box.right()) + half + 1,
       Clamp(box.bottom()) + half + 1);
  return true;
}

bool RecorderDC::recordText(const QString& text, int left, int top, const std::optional<QRect>& clip,
                            const std::optional<QRect>& fill) {
  const LOGFONTA lf = font ? font->logFont : static_cast<Font*>(GetStockObject(SYSTEM_FONT))->logFont;
  const DWORD fontHandle = newHandle();
  meta::Params f;
  f.u32(fontHandle).i32(lf.lfHeight).i32(lf.lfWidth).i32(lf.lfEscapement).i32(lf.lfOrientation).i32(lf.lfWeight);
  f.raw(&lf.lfItalic, 8);
  for (int i = 0; i < LF_FACESIZE; ++i) f.u16(static_cast<WORD>(static_cast<unsigned char>(lf.lfFaceName[i])));
  record(emf::EMR_EXTCREATEFONTINDIRECTW, f);
  select(fontHandle);
  record(emf::EMR_SETTEXTCOLOR, meta::Params().u32(textColor));
  record(emf::EMR_SETBKCOLOR, meta::Params().u32(bkColor));
  record(emf::EMR_SETBKMODE, meta::Params().u32(static_cast<DWORD>(bkMode)));
  record(emf::EMR_SETTEXTALIGN, meta::Params().u32(TA_TOP | TA_LEFT));
  const std::u16string chars(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
  const long long height = std::abs(static_cast<long long>(lf.lfHeight)) + 1;
  const long long right = left + height * static_cast<long long>(chars.size());
  QRect rcl = clip ? *clip : (fill ? *fill : QRect());
  UINT options = 0;
  if (clip) options |= ETO_CLIPPED;
  if (fill) options |= ETO_OPAQUE;
  const DWORD offString = 8 + 76;
  const DWORD stringBytes = static_cast<DWORD>((chars.size() * 2 + 3) & ~size_t(3));
  meta::Params t = boundsOf(left, top, right, top + height);
  t.u32(1).f32(0).f32(0);  // GM_COMPATIBLE, no scales
  t.i32(left).i32(top).u32(static_cast<DWORD>(chars.size())).u32(offString).u32(options);
  t.i32(rcl.left()).i32(rcl.top()).i32(rcl.right() + 1).i32(rcl.bottom() + 1).u32(0);
  for (char16_t c : chars) t.u16(static_cast<WORD>(c));
  while (t.size() + 8 < offString + stringBytes) t.u16(0);
  record(emf::EMR_EXTTEXTOUTW, t);
  select(kStock | SYSTEM_FONT);
  release(fontHandle);
  grow(left, top, right, top + height);
  return true;
}

HENHMETAFILE RecorderDC::finish() {
  const long long l = any_ ? left_ : 0, t = any_ ? top_ : 0, r = any_ ? right_ : 1, b = any_ ? bottom_ : 1;
  const RECTL bounds{Clamp(l), Clamp(t), Clamp(r - 1), Clamp(b - 1)};
  const long long hs = caps_[HORZSIZE], vs = caps_[VERTSIZE];
  const long long hr = std::max(caps_[HORZRES], 1), vr = std::max(caps_[VERTRES], 1);
  const RECTL frame = frame_ ? *frame_
                             : RECTL{Clamp(l * hs * 100 / hr), Clamp(t * vs * 100 / vr), Clamp(r * hs * 100 / hr),
                                     Clamp(b * vs * 100 / vr)};
  const std::vector<BYTE> bytes =
      writer_.finish(bounds, frame, static_cast<WORD>(std::min<size_t>(used_.size(), 0xFFFF)),
                     SIZEL{caps_[HORZRES], caps_[VERTRES]}, SIZEL{caps_[HORZSIZE], caps_[VERTSIZE]});
  HENHMETAFILE memory = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  if (!memory || file_.empty()) return memory;
  HENHMETAFILE onDisk = CopyEnhMetaFileA(memory, file_.c_str());
  DeleteEnhMetaFile(memory);
  return onDisk;
}

}  // namespace vel::gdi

using namespace vel::gdi;

HDC CreateEnhMetaFileA(HDC reference, LPCSTR file, const RECT* frame, LPCSTR) {
  if (reference && !Live(reference)) return nullptr;
  auto* dc = new (std::nothrow) RecorderDC(reference, frame, file ? file : "");
  if (dc) Register(dc);
  return dc;
}

HENHMETAFILE CloseEnhMetaFile(HDC dc) {
  DeviceContext* d = Live(dc);
  auto* recorder = d ? AsRecorder(*d) : nullptr;
  if (!recorder) return nullptr;
  HENHMETAFILE result = recorder->finish();
  DeleteDC(dc);
  return result;
}
