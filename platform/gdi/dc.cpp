// Device contexts: creation, selection, state, fills and lines.
#include "platform/gdi/dc.h"

#include "platform/gdi/font.h"

#include <algorithm>
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
  if (!bitmap || bitmap == DefaultBitmap()) {
    if (!bitmap) return std::nullopt;
  }
  return BitmapTarget(bitmap->view());
}

bool DeviceContext::drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws,
                               int hs, DWORD rop) {
  auto t = target();
  if (!t) return false;
  return StretchPixels(*t, xd, yd, wd, hd, src, xs, ys, ws, hs, stretchMode, rop);
}

bool DeviceContext::fillRect(const RECT& rect, COLORREF color) {
  auto t = target();
  if (!t) return false;
  const BitmapView& v = t->view();
  int l = std::max<LONG>(rect.left, 0), r = std::min<LONG>(rect.right, v.width);
  int top = std::max<LONG>(rect.top, 0), b = std::min<LONG>(rect.bottom, v.height);
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
    if (x >= 0 && y >= 0 && x < v.width && y < v.height) t->put(x, y, p);
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
  if (x < 0 || y < 0 || x >= v.width || y >= v.height) return false;
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
    case OBJ_BRUSH: {
      Brush* old = d->brush;
      if (old) --old->selectedCount;
      d->brush = static_cast<Brush*>(o);
      ++d->brush->selectedCount;
      return old;
    }
    case OBJ_PEN: {
      Pen* old = d->pen;
      if (old) --old->selectedCount;
      d->pen = static_cast<Pen*>(o);
      ++d->pen->selectedCount;
      return old;
    }
    case OBJ_FONT: {
      Font* old = d->font;
      Reselect(d->font, static_cast<Font*>(o));
      return old;
    }
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
  DeviceContext* d = Live(dc);
  if (!d || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  int old = d->stretchMode;
  d->stretchMode = mode;
  return old;
}

int GetStretchBltMode(HDC dc) {
  DeviceContext* d = Live(dc);
  return d ? d->stretchMode : 0;
}

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
  DeviceContext::State s{d->bitmap,      d->brush,     d->pen,       d->palette, d->font,
                         d->stretchMode, d->brushOrigin, d->position, d->mapMode, d->textColor,
                         d->bkColor,     d->bkMode,      d->textAlign};
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
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  DeviceContext* d = Live(dc);
  if (!d) return FALSE;
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
  Palette* old = d->palette;
  if (old) --old->selectedCount;
  d->palette = p;
  ++p->selectedCount;
  return old;
}

// Our displays are true colour: realising a palette maps nothing.
UINT RealizePalette(HDC dc) { return Live(dc) ? 0 : GDI_ERROR; }
