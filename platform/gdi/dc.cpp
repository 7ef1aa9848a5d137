// Device contexts: creation, selection, state, fills and lines.
#include "platform/gdi/dc.h"

#include "platform/gdi/font.h"

#include <algorithm>
#include <limits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vel::gdi {

namespace {
// Every memory DC starts with a 1 x 1 monochrome bitmap, as on Windows.
Bitmap* DefaultBitmap() {
  static Bitmap* b = [] {
    Bitmap* bm = NewBitmap(1, 1, 1, true, false);
    bm->colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    bm->stock = true;
    return bm;
  }();
  return b;
}

template <typename T>
void Reselect(T*& slot, T* object) {
  if (slot == object) return;
  if (slot) --slot->selectedCount;
  slot = object;
  if (slot) ++slot->selectedCount;
}

// Reselect that gives back what the slot held, as the Select calls answer.
template <typename T>
T* Exchange(T*& slot, T* object) {
  T* old = slot;
  Reselect(slot, object);
  return old;
}
}  // namespace

void Select(Bitmap*& slot, Bitmap* object) { Reselect(slot, object); }

DeviceContext::DeviceContext() {
  Reselect(brush, static_cast<Brush*>(GetStockObject(WHITE_BRUSH)));
  Reselect(pen, static_cast<Pen*>(GetStockObject(BLACK_PEN)));
  Reselect(palette, static_cast<Palette*>(GetStockObject(DEFAULT_PALETTE)));
  Reselect(font, static_cast<Font*>(GetStockObject(SYSTEM_FONT)));
}

DeviceContext::~DeviceContext() {
  Reselect(bitmap, static_cast<Bitmap*>(nullptr));
  Reselect(brush, static_cast<Brush*>(nullptr));
  Reselect(pen, static_cast<Pen*>(nullptr));
  Reselect(palette, static_cast<Palette*>(nullptr));
  Reselect(font, static_cast<Font*>(nullptr));
  for (State& s : saved) {
    if (s.bitmap) --s.bitmap->selectedCount;
    if (s.brush) --s.brush->selectedCount;
    if (s.pen) --s.pen->selectedCount;
    if (s.palette) --s.palette->selectedCount;
    if (s.font) --s.font->selectedCount;
  }
}

MemoryDC::MemoryDC() { Reselect(bitmap, DefaultBitmap()); }

int DeviceContext::caps(int index) const {
  ScreenMetrics s = GetScreenMetrics();
  switch (index) {
    case HORZRES: return s.width;
    case VERTRES: return s.height;
    case HORZSIZE: return static_cast<int>(std::lround(s.width * 25.4 / s.dpiX));
    case VERTSIZE: return static_cast<int>(std::lround(s.height * 25.4 / s.dpiY));
    case LOGPIXELSX: return s.dpiX;
    case LOGPIXELSY: return s.dpiY;
    case BITSPIXEL: return s.bitsPerPixel;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case SIZEPALETTE: return 0;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DIBTODEV;
    case PHYSICALWIDTH: return s.width;
    case PHYSICALHEIGHT: return s.height;
    case TECHNOLOGY: return DT_RASDISPLAY;
    default: return 0;
  }
}

std::optional<BitmapTarget> DeviceContext::target() const {
  if (!bitmap) return std::nullopt;
  return BitmapTarget(bitmap->view());
}

bool DeviceContext::drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws, int hs,
                               DWORD rop) {
  auto t = target();
  if (!t) return false;
  if (!clip) return StretchPixels(*t, xd, yd, wd, hd, src, xs, ys, ws, hs, stretchMode, rop);
  // The blit engine knows no clip: the pixels of the destination outside the clip
  // are kept aside and put back afterwards.
  const BitmapView& v = t->view();
  long long l = std::max<long long>(0, std::min<long long>(xd, static_cast<long long>(xd) + wd));
  long long r = std::min<long long>(v.width, std::max<long long>(xd, static_cast<long long>(xd) + wd));
  long long top = std::max<long long>(0, std::min<long long>(yd, static_cast<long long>(yd) + hd));
  long long b = std::min<long long>(v.height, std::max<long long>(yd, static_cast<long long>(yd) + hd));
  if (l >= r || top >= b) return true;
  if (l >= clip->left && r <= clip->right && top >= clip->top && b <= clip->bottom)
    return StretchPixels(*t, xd, yd, wd, hd, src, xs, ys, ws, hs, stretchMode, rop);
  const int w = static_cast<int>(r - l), h = static_cast<int>(b - top);
  std::vector<Pixel> keep(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      keep[static_cast<size_t>(y) * w + x] = t->load(static_cast<int>(l) + x, static_cast<int>(top) + y);
  bool ok = StretchPixels(*t, xd, yd, wd, hd, src, xs, ys, ws, hs, stretchMode, rop);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int px = static_cast<int>(l) + x, py = static_cast<int>(top) + y;
      if (clipped(px, py)) t->put(px, py, keep[static_cast<size_t>(y) * w + x]);
    }
  return ok;
}

bool DeviceContext::addToPath(const PathPoint* points, size_t count) {
  if (pathState != PathState::Recording || path.size() + count > kMaxPathPoints) return false;
  path.insert(path.end(), points, points + count);
  return true;
}

bool DeviceContext::fillRect(const RECT& rect, COLORREF color) {
  auto t = target();
  if (!t) return false;
  const BitmapView& v = t->view();
  int l = std::max<LONG>(rect.left, 0), r = std::min<LONG>(rect.right, v.width);
  int top = std::max<LONG>(rect.top, 0), b = std::min<LONG>(rect.bottom, v.height);
  if (clip) {
    l = std::max<LONG>(l, clip->left);
    r = std::min<LONG>(r, clip->right);
    top = std::max<LONG>(top, clip->top);
    b = std::min<LONG>(b, clip->bottom);
  }
  if (l >= r || top >= b) return true;
  if (v.bitsPerPixel == 24) {
    // Whole rows of one colour: build one row, copy it (or memset a gray).
    size_t bytes = 3 * static_cast<size_t>(r - l);
    BYTE bgr[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
    bool gray = bgr[0] == bgr[1] && bgr[1] == bgr[2];
    std::vector<BYTE> pattern;
    if (!gray) {
      pattern.resize(bytes);
      for (size_t i = 0; i < bytes; i += 3) std::memcpy(&pattern[i], bgr, 3);
    }
    for (int y = top; y < b; ++y) {
      BYTE* dst = v.row(y) + 3 * static_cast<size_t>(l);
      if (gray)
        std::memset(dst, bgr[0], bytes);
      else
        std::memcpy(dst, pattern.data(), bytes);
    }
    return true;
  }
  std::vector<Pixel> row(static_cast<size_t>(r - l), PixelFromColorref(color));
  for (int y = top; y < b; ++y) t->store(y, l, r - l, row.data(), nullptr);
  return true;
}

bool DeviceContext::drawLine(int x0, int y0, int x1, int y1, COLORREF color) {
  auto t = target();
  if (!t) return false;
  const BitmapView& v = t->view();
  Pixel p = PixelFromColorref(color);
  // Bresenham; like Windows the end point itself is not drawn.
  int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  while (!(x == x1 && y == y1)) {
    if (x >= 0 && y >= 0 && x < v.width && y < v.height && !clipped(x, y)) t->put(x, y, p);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  return true;
}

bool DeviceContext::setPixel(int x, int y, COLORREF color) {
  auto t = target();
  if (!t) return false;
  const BitmapView& v = t->view();
  if (x < 0 || y < 0 || x >= v.width || y >= v.height || clipped(x, y)) return false;
  t->put(x, y, PixelFromColorref(color));
  return true;
}

std::optional<COLORREF> DeviceContext::getPixel(int x, int y) const {
  auto t = target();
  if (!t) return std::nullopt;
  const BitmapView& v = t->view();
  if (x < 0 || y < 0 || x >= v.width || y >= v.height) return std::nullopt;
  return ColorrefFromPixel(t->load(x, y));
}

std::unique_ptr<PixelSource> DeviceContext::pixels() const {
  if (!bitmap) return nullptr;
  return std::make_unique<BitmapSource>(bitmap->view());
}

bool DrawingDevice::drawLine(int x0, int y0, int x1, int y1, COLORREF color) {
  return strokeLine(x0, y0, x1, y1, Pen(PS_SOLID, 1, color));
}

bool DrawingDevice::setPixel(int x, int y, COLORREF color) {
  if (x == std::numeric_limits<int>::max() || y == std::numeric_limits<int>::max()) return false;
  return fillRect(RECT{x, y, x + 1, y + 1}, color);
}

}  // namespace vel::gdi

using namespace vel::gdi;

HDC CreateCompatibleDC(HDC) {
  auto* dc = new (std::nothrow) MemoryDC;
  if (dc) Register(dc);
  return dc;
}

BOOL DeleteDC(HDC dc) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  Unregister(d);
  delete d;
  return TRUE;
}

HDC GetDC(void* window) {
  if (window) return nullptr;  // windows have their own DCs in the UI layer
  auto* dc = new (std::nothrow) ScreenDC;
  if (dc) Register(dc);
  return dc;
}

int ReleaseDC(void*, HDC dc) { return DeleteDC(dc) ? 1 : 0; }

HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj) {
  DeviceContext* d = Live(dc);
  GdiObject* o = Live(obj);
  if (!d || !o) return nullptr;
  switch (o->type) {
    case OBJ_BITMAP: {
      auto* b = static_cast<Bitmap*>(o);
      // Only memory DCs take bitmaps, and a bitmap lives in one DC at a time.
      if (!d->isMemory()) return nullptr;
      if (b->selectedCount > 0 && d->bitmap != b) return nullptr;
      Bitmap* old = d->bitmap;
      Select(d->bitmap, b);
      return old;
    }
    case OBJ_BRUSH: return Exchange(d->brush, static_cast<Brush*>(o));
    case OBJ_PEN: return Exchange(d->pen, static_cast<Pen*>(o));
    case OBJ_FONT: return Exchange(d->font, static_cast<Font*>(o));
    default: return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
  DeviceContext* d = Live(dc);
  if (!d) return nullptr;
  switch (type) {
    case OBJ_BITMAP: return d->bitmap;
    case OBJ_BRUSH: return d->brush;
    case OBJ_PEN: return d->pen;
    case OBJ_PAL: return d->palette;
    case OBJ_FONT: return d->font;
    default: return nullptr;
  }
}

int GetDeviceCaps(HDC dc, int index) {
  DeviceContext* d = Live(dc);
  return d ? d->caps(index) : 0;
}

int SetStretchBltMode(HDC dc, int mode) {
  return ExchangeAttribute(dc, &DeviceContext::stretchMode, mode, mode >= BLACKONWHITE && mode <= HALFTONE, 0);
}

int GetStretchBltMode(HDC dc) { return ReadAttribute(dc, &DeviceContext::stretchMode, 0); }

BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* previous) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  if (previous) *previous = d->brushOrigin;
  d->brushOrigin = POINT{x, y};
  return TRUE;
}

BOOL GetBrushOrgEx(HDC dc, POINT* origin) {
  DeviceContext* d = Live(dc);
  if (!d || !origin) return FALSE;
  *origin = d->brushOrigin;
  return TRUE;
}

int SaveDC(HDC dc) {
  DeviceContext* d = Live(dc);
  if (!d) return 0;
  DeviceContext::State s{d->bitmap,      d->brush,        d->pen,     d->palette,      d->font,    d->stretchMode,
                         d->brushOrigin, d->position,     d->mapMode, d->textColor,    d->bkColor, d->bkMode,
                         d->textAlign,   d->polyFillMode, d->rop2,    d->arcDirection, d->clip};
  for (GdiObject* o : std::initializer_list<GdiObject*>{s.bitmap, s.brush, s.pen, s.palette, s.font})
    if (o) ++o->selectedCount;
  d->saved.push_back(s);
  return static_cast<int>(d->saved.size());
}

BOOL RestoreDC(HDC dc, int savedIndex) {
  DeviceContext* d = Live(dc);
  if (!d || d->saved.empty()) return FALSE;
  int n = static_cast<int>(d->saved.size());
  int target = savedIndex < 0 ? n + savedIndex + 1 : savedIndex;
  if (target < 1 || target > n) return FALSE;
  while (static_cast<int>(d->saved.size()) > target) {
    DeviceContext::State& s = d->saved.back();
    for (GdiObject* o : std::initializer_list<GdiObject*>{s.bitmap, s.brush, s.pen, s.palette, s.font})
      if (o) --o->selectedCount;
    d->saved.pop_back();
  }
  DeviceContext::State s = d->saved.back();
  d->saved.pop_back();
  // The saved references move back into the live slots.
  auto swapIn = [](auto*& slot, auto* obj) {
    if (slot) --slot->selectedCount;
    slot = obj;
  };
  swapIn(d->bitmap, s.bitmap);
  swapIn(d->brush, s.brush);
  swapIn(d->pen, s.pen);
  swapIn(d->palette, s.palette);
  swapIn(d->font, s.font);
  d->stretchMode = s.stretchMode;
  d->brushOrigin = s.brushOrigin;
  d->position = s.position;
  d->mapMode = s.mapMode;
  d->textColor = s.textColor;
  d->bkColor = s.bkColor;
  d->bkMode = s.bkMode;
  d->textAlign = s.textAlign;
  d->polyFillMode = s.polyFillMode;
  d->rop2 = s.rop2;
  d->arcDirection = s.arcDirection;
  d->clip = s.clip;
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  DeviceContext* d = Live(dc);
  Brush* b = Live(brush);
  if (!d || !rect || !b) return 0;
  if (b->hollow) return 1;
  return d->fillRect(*rect, b->color) ? 1 : 0;
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  if (previous) *previous = d->position;
  d->position = POINT{x, y};
  // In a path a move starts a new figure at the next line.
  d->pathFigureOpen = false;
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
  if (d->pathState == DeviceContext::PathState::Recording) {
    DeviceContext::PathPoint pts[2] = {{double(d->position.x), double(d->position.y), PT_MOVETO},
                                       {double(x), double(y), PT_LINETO}};
    bool ok = d->pathFigureOpen ? d->addToPath(pts + 1, 1) : d->addToPath(pts, 2);
    d->pathFigureOpen = ok || d->pathFigureOpen;
    d->position = POINT{x, y};
    return ok ? TRUE : FALSE;
  }
  bool ok = true;
  const Pen* p = d->pen;
  if (p && p->lineStyle() != PS_NULL) {
    if (p->stroked())
      ok = d->strokeLine(d->position.x, d->position.y, x, y, *p);
    else
      ok = d->drawLine(d->position.x, d->position.y, x, y, p->color);
  }
  d->position = POINT{x, y};
  return ok ? TRUE : FALSE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  DeviceContext* d = Live(dc);
  if (!d || !d->setPixel(x, y, color)) return CLR_INVALID;
  auto c = d->getPixel(x, y);
  return c ? *c : color;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  DeviceContext* d = Live(dc);
  if (!d) return CLR_INVALID;
  auto c = d->getPixel(x, y);
  return c ? *c : CLR_INVALID;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  DeviceContext* d = Live(dc);
  Palette* p = Live(palette);
  if (!d || !p) return nullptr;
  return Exchange(d->palette, p);
}

// Our displays are true colour: realising a palette maps nothing.
UINT RealizePalette(HDC dc) { return Live(dc) ? 0 : GDI_ERROR; }

int SetPolyFillMode(HDC dc, int mode) {
  return ExchangeAttribute(dc, &DeviceContext::polyFillMode, mode, mode == ALTERNATE || mode == WINDING, 0);
}

int GetPolyFillMode(HDC dc) { return ReadAttribute(dc, &DeviceContext::polyFillMode, 0); }

int SetROP2(HDC dc, int mode) {
  return ExchangeAttribute(dc, &DeviceContext::rop2, mode, mode >= R2_BLACK && mode <= R2_WHITE, 0);
}

int GetROP2(HDC dc) { return ReadAttribute(dc, &DeviceContext::rop2, 0); }

int SetArcDirection(HDC dc, int direction) {
  return ExchangeAttribute(dc, &DeviceContext::arcDirection, direction,
                           direction == AD_COUNTERCLOCKWISE || direction == AD_CLOCKWISE, 0);
}

int GetArcDirection(HDC dc) { return ReadAttribute(dc, &DeviceContext::arcDirection, 0); }

namespace {
int RegionKind(const std::optional<RECT>& clip) {
  return clip && (clip->left >= clip->right || clip->top >= clip->bottom) ? NULLREGION : SIMPLEREGION;
}
RECT Ordered(int left, int top, int right, int bottom) {
  return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}
}  // namespace

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  DeviceContext* d = Live(dc);
  if (!d) return 0;
  RECT r = Ordered(left, top, right, bottom);
  if (d->clip) {
    r.left = std::max(r.left, d->clip->left);
    r.top = std::max(r.top, d->clip->top);
    r.right = std::min(r.right, d->clip->right);
    r.bottom = std::min(r.bottom, d->clip->bottom);
    if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
  }
  d->clip = r;
  return RegionKind(d->clip);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
  DeviceContext* d = Live(dc);
  if (!d) return 0;
  RECT e = Ordered(left, top, right, bottom);
  if (e.left >= e.right || e.top >= e.bottom) return RegionKind(d->clip);
  if (!d->clip) {
    // Without a clip the area is the whole device; cutting a side off needs its size.
    RECT box;
    GetClipBox(dc, &box);
    d->clip = box;
  }
  RECT& c = *d->clip;
  const bool spansX = e.left <= c.left && e.right >= c.right;
  const bool spansY = e.top <= c.top && e.bottom >= c.bottom;
  if (spansX && spansY) {
    c = RECT{0, 0, 0, 0};
  } else if (spansX && e.top <= c.top && e.bottom > c.top) {
    c.top = e.bottom;
  } else if (spansX && e.bottom >= c.bottom && e.top < c.bottom) {
    c.bottom = e.top;
  } else if (spansY && e.left <= c.left && e.right > c.left) {
    c.left = e.right;
  } else if (spansY && e.right >= c.right && e.left < c.right) {
    c.right = e.left;
  }
  return RegionKind(d->clip);
}

int SelectClipRgn(HDC dc, HRGN region) {
  DeviceContext* d = Live(dc);
  if (!d || region) return 0;
  d->clip.reset();
  return SIMPLEREGION;
}

int GetClipBox(HDC dc, RECT* rect) {
  DeviceContext* d = Live(dc);
  if (!d || !rect) return 0;
  if (d->clip) {
    *rect = *d->clip;
    return RegionKind(d->clip);
  }
  if (d->bitmap)
    *rect = RECT{0, 0, d->bitmap->width, d->bitmap->height};
  else
    *rect = RECT{0, 0, d->caps(HORZRES), d->caps(VERTRES)};
  return SIMPLEREGION;
}
