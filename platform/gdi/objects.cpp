// GDI objects: creation, lookup, deletion; stock objects and system colours.
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "platform/gdi/dc.h"
#include "platform/gdi/font.h"

namespace vel::gdi {
namespace {
std::mutex& LiveMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<const void*>& LiveSet() {
  static auto* s = new std::unordered_set<const void*>;
  return *s;
}
}  // namespace

void Register(const void* object) {
  std::lock_guard lock(LiveMutex());
  LiveSet().insert(object);
}
void Unregister(const void* object) {
  std::lock_guard lock(LiveMutex());
  LiveSet().erase(object);
}
bool IsLive(const void* object) {
  std::lock_guard lock(LiveMutex());
  return LiveSet().count(object) != 0;
}

BitmapView Bitmap::view() const {
  BitmapView v;
  v.width = width;
  v.height = height;
  v.bitsPerPixel = bitsPerPixel;
  v.topDown = topDown;
  v.stride = stride;
  v.bits = bits;
  v.colors = colors.empty() ? nullptr : colors.data();
  v.colorCount = static_cast<int>(colors.size());
  std::memcpy(v.masks, masks, sizeof masks);
  return v;
}

namespace {

constexpr size_t kHuge = size_t(2) << 20;
constexpr size_t kLargePixels = 4 * kHuge;

// The pixel blocks of large bitmaps that were deleted, kept for the next large
// bitmap: a batch of photos then decodes and scales into memory that is already
// mapped, instead of having the kernel clear tens of megabytes of fresh pages for
// every picture. A few blocks at most, and a bounded total.
class PixelCache {
 public:
  // The smallest kept block of at least `bytes`, or null.
  void* take(size_t bytes, size_t* capacity) {
    std::lock_guard lock(mutex_);
    size_t best = blocks_.size();
    for (size_t i = 0; i < blocks_.size(); ++i)
      if (blocks_[i].capacity >= bytes && (best == blocks_.size() || blocks_[i].capacity < blocks_[best].capacity))
        best = i;
    if (best == blocks_.size()) return nullptr;
    const Block b = blocks_[best];
    blocks_.erase(blocks_.begin() + static_cast<long>(best));
    total_ -= b.capacity;
    *capacity = b.capacity;
    return b.pixels;
  }
  // Keeps the block, making room by letting go of the smallest ones; false when
  // it is not kept (the caller frees it).
  bool give(void* pixels, size_t capacity) {
    if (capacity > kMaxBytes) return false;
    std::vector<void*> freed;
    {
      std::lock_guard lock(mutex_);
      while (!blocks_.empty() && (blocks_.size() >= kMaxBlocks || total_ + capacity > kMaxBytes)) {
        auto smallest = std::min_element(blocks_.begin(), blocks_.end(),
                                         [](const Block& a, const Block& b) { return a.capacity < b.capacity; });
        freed.push_back(smallest->pixels);
        total_ -= smallest->capacity;
        blocks_.erase(smallest);
      }
      blocks_.push_back(Block{pixels, capacity});
      total_ += capacity;
    }
    for (void* p : freed) std::free(p);
    return true;
  }

 private:
  static constexpr size_t kMaxBlocks = 4;
  static constexpr size_t kMaxBytes = size_t(256) << 20;
  struct Block {
    void* pixels;
    size_t capacity;
  };
  std::mutex mutex_;
  std::vector<Block> blocks_;
  size_t total_ = 0;
};

PixelCache& Cache() {
  static auto* cache = new PixelCache;  // outlives every bitmap, even static ones
  return *cache;
}

// Pixel memory of at least `bytes`, released with ReleasePixels. Large pictures (a
// decoded photo is tens of megabytes) ask for huge pages: the kernel then maps them
// in a few faults instead of thousands, which is a good part of the cost of a page.
void* AllocatePixels(size_t bytes, bool zeroFill, size_t* capacity) {
  *capacity = bytes;
  if (bytes < kLargePixels) return zeroFill ? std::calloc(bytes, 1) : std::malloc(bytes);
  const size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
  if (void* kept = Cache().take(rounded, capacity)) {
    if (zeroFill) std::memset(kept, 0, bytes);
    return kept;
  }
  void* p = std::aligned_alloc(kHuge, rounded);
  if (!p) return nullptr;
  *capacity = rounded;
  madvise(p, rounded, MADV_HUGEPAGE);
  if (zeroFill) std::memset(p, 0, rounded);
  return p;
}

void ReleasePixels(void* pixels, size_t capacity) {
  if (pixels && capacity >= kLargePixels && Cache().give(pixels, capacity)) return;
  std::free(pixels);
}

}  // namespace

Bitmap::~Bitmap() { ReleasePixels(bits, capacity); }

Bitmap* NewBitmap(int width, int height, int bitsPerPixel, bool topDown, bool dibSection, bool zeroFill) {
  if (width <= 0 || height <= 0) return nullptr;
  if (static_cast<long long>(width) * height > kMaxBitmapPixels) return nullptr;
  if (!IsDibBitCount(bitsPerPixel)) return nullptr;
  size_t stride = ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
  size_t capacity = 0;
  void* bits = AllocatePixels(stride * static_cast<size_t>(height), zeroFill, &capacity);
  if (!bits) return nullptr;
  auto* b = new (std::nothrow) Bitmap;
  if (!b) {
    ReleasePixels(bits, capacity);
    return nullptr;
  }
  b->capacity = capacity;
  b->width = width;
  b->height = height;
  b->bitsPerPixel = bitsPerPixel;
  b->topDown = topDown;
  b->dibSection = dibSection;
  b->stride = stride;
  b->bits = static_cast<BYTE*>(bits);
  if (bitsPerPixel == 16) {
    b->masks[0] = 0x7C00;
    b->masks[1] = 0x03E0;
    b->masks[2] = 0x001F;
  } else if (bitsPerPixel == 32) {
    b->masks[0] = 0xFF0000;
    b->masks[1] = 0x00FF00;
    b->masks[2] = 0x0000FF;
  }
  Register(b);
  return b;
}

bool GetBitmapView(HBITMAP bitmap, BitmapView* view) {
  Bitmap* b = Live(bitmap);
  if (!b || !view) return false;
  *view = b->view();
  return true;
}

Icon::~Icon() {
  DeleteObject(color);
  DeleteObject(mask);
}

ScreenMetrics DetectScreenMetrics();

namespace {
std::mutex g_screenMutex;
ScreenMetrics& Screen() {
  static ScreenMetrics metrics = DetectScreenMetrics();
  return metrics;
}

// The LOGFONTA Windows reports for its stock system font.
LOGFONTA SystemLogFont() {
  LOGFONTA lf;
  lf.lfHeight = 16;
  lf.lfWidth = 7;
  lf.lfWeight = FW_BOLD;
  std::strcpy(lf.lfFaceName, "System");
  return lf;
}

struct Stock {
  Brush white{RGB(255, 255, 255), false};
  Brush ltgray{RGB(192, 192, 192), false};
  Brush gray{RGB(128, 128, 128), false};
  Brush dkgray{RGB(64, 64, 64), false};
  Brush black{RGB(0, 0, 0), false};
  Brush hollow{0, true};
  Pen whitePen{PS_SOLID, 1, RGB(255, 255, 255)};
  Pen blackPen{PS_SOLID, 1, 0};
  Pen nullPen{PS_NULL, 1, 0};
  Palette defaultPalette;
  Font systemFont{SystemLogFont()};
  Stock() {
    for (GdiObject* o : std::initializer_list<GdiObject*>{&white, &ltgray, &gray, &dkgray, &black, &hollow, &whitePen,
                                                          &blackPen, &nullPen, &defaultPalette, &systemFont}) {
      o->stock = true;
      Register(o);
    }
    // The 20 static colours of the Windows default palette.
    static const BYTE kDefault[20][3] = {{0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},
                                         {0, 0, 128},     {128, 0, 128},   {0, 128, 128},   {192, 192, 192},
                                         {192, 220, 192}, {166, 202, 240}, {255, 251, 240}, {160, 160, 164},
                                         {128, 128, 128}, {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
                                         {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (auto& c : kDefault) defaultPalette.entries.push_back(PALETTEENTRY{c[0], c[1], c[2], 0});
  }
};
Stock& Stocks() {
  static auto* s = new Stock;
  return *s;
}

// Fixed system colours: those of the classic Windows scheme, which the suite's
// layouts were drawn against.
DWORD SysColor(int index) {
  switch (index) {
    case COLOR_SCROLLBAR: return RGB(212, 208, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION: return RGB(10, 36, 106);
    case COLOR_INACTIVECAPTION: return RGB(128, 128, 128);
    case COLOR_MENU: return RGB(212, 208, 200);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(255, 255, 255);
    case COLOR_ACTIVEBORDER: return RGB(212, 208, 200);
    case COLOR_INACTIVEBORDER: return RGB(212, 208, 200);
    case COLOR_APPWORKSPACE: return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_INACTIVECAPTIONTEXT: return RGB(212, 208, 200);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    case COLOR_3DLIGHT: return RGB(212, 208, 200);
    case COLOR_INFOTEXT: return RGB(0, 0, 0);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    default: return 0;
  }
}
}  // namespace

void SetScreenMetrics(const ScreenMetrics& metrics) {
  std::lock_guard lock(g_screenMutex);
  if (metrics.width > 0 && metrics.height > 0 && metrics.dpiX > 0 && metrics.dpiY > 0 && metrics.bitsPerPixel > 0)
    Screen() = metrics;
}

ScreenMetrics GetScreenMetrics() {
  std::lock_guard lock(g_screenMutex);
  return Screen();
}

}  // namespace vel::gdi

using namespace vel::gdi;

BOOL DeleteObject(HGDIOBJ obj) {
  GdiObject* o = Live(obj);
  if (!o) return FALSE;
  if (o->stock) return TRUE;
  // Windows refuses to free an object still selected into a DC; so do we, which
  // keeps the DC from drawing into freed memory.
  if (o->selectedCount > 0) return FALSE;
  Unregister(o);
  delete o;
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ obj) {
  GdiObject* o = Live(obj);
  return o ? static_cast<DWORD>(o->type) : 0;
}

int GetObject(HGDIOBJ obj, int size, void* out) {
  GdiObject* o = Live(obj);
  if (!o) return 0;
  if (o->type == OBJ_BITMAP) {
    auto* b = static_cast<Bitmap*>(o);
    if (!out) return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = b->width;
    bm.bmHeight = b->height;
    bm.bmWidthBytes =
        b->dibSection ? static_cast<LONG>(b->stride) : static_cast<LONG>(((b->width * b->bitsPerPixel + 15) / 16) * 2);
    bm.bmPlanes = 1;
    bm.bmBitsPixel = static_cast<WORD>(b->bitsPerPixel);
    bm.bmBits = b->dibSection ? b->bits : nullptr;
    std::memcpy(out, &bm, sizeof bm);
    return sizeof(BITMAP);
  }
  if (o->type == OBJ_FONT) {
    if (!out) return sizeof(LOGFONTA);
    if (size < static_cast<int>(sizeof(LOGFONTA))) return 0;
    std::memcpy(out, &static_cast<Font*>(o)->logFont, sizeof(LOGFONTA));
    return sizeof(LOGFONTA);
  }
  if (o->type == OBJ_PAL) {
    if (!out || size < 2) return out ? 0 : 2;
    WORD n = static_cast<WORD>(static_cast<Palette*>(o)->entries.size());
    std::memcpy(out, &n, 2);
    return 2;
  }
  return 0;
}

HGDIOBJ GetStockObject(int index) {
  Stock& s = Stocks();
  switch (index) {
    case WHITE_BRUSH: return &s.white;
    case LTGRAY_BRUSH: return &s.ltgray;
    case GRAY_BRUSH: return &s.gray;
    case DKGRAY_BRUSH: return &s.dkgray;
    case BLACK_BRUSH: return &s.black;
    case NULL_BRUSH: return &s.hollow;
    case WHITE_PEN: return &s.whitePen;
    case BLACK_PEN: return &s.blackPen;
    case NULL_PEN: return &s.nullPen;
    case DEFAULT_PALETTE: return &s.defaultPalette;
    case SYSTEM_FONT: return &s.systemFont;
    default: return nullptr;
  }
}

BOOL GdiFlush() { return TRUE; }

namespace vel::gdi {
HBITMAP NewDIBSection(const BITMAPINFO* info, UINT usage, void** bits, bool zeroFill);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  return vel::gdi::NewDIBSection(info, usage, bits, true);
}

HBITMAP vel::gdi::CreateDIBSectionForWriting(const BITMAPINFO* info, void** bits) {
  HBITMAP section = NewDIBSection(info, DIB_RGB_COLORS, bits, false);
  // The bytes that pad each row are nobody's to write: they start zeroed, so
  // whatever copies whole rows (a BMP file) copies the same bytes every time.
  if (Bitmap* b = Live(section)) {
    const size_t used = (static_cast<size_t>(b->width) * b->bitsPerPixel + 7) / 8;
    if (used < b->stride)
      for (int y = 0; y < b->height; ++y) std::memset(b->bits + b->stride * y + used, 0, b->stride - used);
  }
  return section;
}

HBITMAP vel::gdi::NewDIBSection(const BITMAPINFO* info, UINT usage, void** bits, bool zeroFill) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1) return nullptr;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)))
    return nullptr;
  if (h.biHeight == INT32_MIN) return nullptr;
  bool topDown = h.biHeight < 0;
  Bitmap* b = NewBitmap(h.biWidth, topDown ? -h.biHeight : h.biHeight, h.biBitCount, topDown, true, zeroFill);
  if (!b) return nullptr;
  const BYTE* after = reinterpret_cast<const BYTE*>(info) + h.biSize;
  if (h.biBitCount <= 8) {
    size_t n = size_t(1) << h.biBitCount;
    if (h.biClrUsed > 0 && h.biClrUsed < n) n = h.biClrUsed;
    b->colors.resize(size_t(1) << h.biBitCount, RGBQUAD{0, 0, 0, 0});
    if (usage == DIB_RGB_COLORS) {
      std::memcpy(b->colors.data(), after, n * sizeof(RGBQUAD));
    } else {
      // Indices into the default palette.
      const auto& def = static_cast<Palette*>(GetStockObject(DEFAULT_PALETTE))->entries;
      const WORD* idx = reinterpret_cast<const WORD*>(after);
      for (size_t i = 0; i < n; ++i) {
        const PALETTEENTRY& e = def[idx[i] % def.size()];
        b->colors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    }
  } else if (h.biCompression == BI_BITFIELDS) {
    const BYTE* m = h.biSize >= 52 ? reinterpret_cast<const BYTE*>(info) + 40 : after;
    std::memcpy(b->masks, m, sizeof b->masks);
  }
  if (bits) *bits = b->bits;
  return b;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  DeviceContext* d = Live(dc);
  // A memory DC gives bitmaps like the one selected into it; its default is monochrome.
  int bpp = 24;
  if (d && d->isMemory() && d->bitmap && d->bitmap->bitsPerPixel == 1) bpp = 1;
  Bitmap* b = NewBitmap(width, height, bpp, false, false);
  if (b && bpp == 1) b->colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  return b;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  if (planes != 1) return nullptr;
  Bitmap* b = NewBitmap(width, height, static_cast<int>(bitsPerPixel), true, false);
  if (!b) return nullptr;
  if (bitsPerPixel == 1) b->colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  if (bits) {
    size_t srcStride = ((static_cast<size_t>(width) * bitsPerPixel + 15) / 16) * 2;
    for (int y = 0; y < height; ++y)
      std::memcpy(b->bits + b->stride * y, static_cast<const BYTE*>(bits) + srcStride * y, srcStride);
  }
  return b;
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
  DeviceContext* d = Live(dc);
  if (!d || !d->bitmap || !colors) return 0;
  const auto& t = d->bitmap->colors;
  UINT n = 0;
  for (UINT i = start; i < t.size() && n < count; ++i) colors[n++] = t[i];
  return n;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
  DeviceContext* d = Live(dc);
  if (!d || !d->bitmap || !colors) return 0;
  auto& t = d->bitmap->colors;
  UINT n = 0;
  for (UINT i = start; i < t.size() && n < count; ++i) t[i] = colors[n++];
  return n;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new (std::nothrow) Brush(color & 0xFFFFFF, false);
  if (b) Register(b);
  return b;
}

HPEN CreatePen(int style, int width, COLORREF color) {
  auto* p = new (std::nothrow) Pen(style, width, color & 0xFFFFFF);
  if (p) Register(p);
  return p;
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (!font) return nullptr;
  auto* f = new (std::nothrow) Font(*font);
  if (!f) return nullptr;
  // The face name is a fixed array that callers may have filled to the brim;
  // keep it a terminated string so nobody reads past it.
  f->logFont.lfFaceName[LF_FACESIZE - 1] = '\0';
  Register(f);
  return f;
}

DWORD GetSysColor(int index) { return SysColor(index); }

HBRUSH GetSysColorBrush(int index) {
  // One brush per colour index, kept for the life of the process like Windows' own.
  static Brush* brushes[32] = {};
  static std::mutex m;
  if (index < 0 || index >= 32) return nullptr;
  std::lock_guard lock(m);
  if (!brushes[index]) {
    brushes[index] = new Brush(SysColor(index), false);
    brushes[index]->stock = true;
    Register(brushes[index]);
  }
  return brushes[index];
}

int GetSystemMetrics(int index) {
  ScreenMetrics s = GetScreenMetrics();
  switch (index) {
    case 0: return s.width;   // SM_CXSCREEN
    case 1: return s.height;  // SM_CYSCREEN
    case SM_CXICON:
    case SM_CYICON: return s.dpiX >= 144 ? 48 : 32;
    default: return 0;
  }
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palNumEntries == 0) return nullptr;
  auto* p = new (std::nothrow) Palette;
  if (!p) return nullptr;
  p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  Register(p);
  return p;
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
  Palette* p = Live(palette);
  if (!p) return 0;
  if (!entries) return static_cast<UINT>(p->entries.size());
  UINT n = 0;
  for (UINT i = start; i < p->entries.size() && n < count; ++i) entries[n++] = p->entries[i];
  return n;
}

namespace vel::gdi {
namespace {

// Tiles larger than this are not patterns; they come from bad input.
constexpr int kMaxPatternSide = 1024;

Brush* NewPatternBrush(int width, int height, bool mono, std::vector<DWORD> pixels) {
  auto* b = new (std::nothrow) Brush(pixels.empty() ? 0 : pixels[0] & 0xFFFFFF, false);
  if (!b) return nullptr;
  b->patternWidth = width;
  b->patternHeight = height;
  b->patternMono = mono;
  b->pattern = std::move(pixels);
  // FillRect and other solid users see the tile's first pixel.
  if (!mono) b->color = ColorrefFromPixel(b->pattern[0]);
  Register(b);
  return b;
}

}  // namespace
}  // namespace vel::gdi

HBRUSH CreateHatchBrush(int style, COLORREF color) {
  if (style < HS_HORIZONTAL || style > HS_DIAGCROSS) return nullptr;
  auto* b = new (std::nothrow) Brush(color & 0xFFFFFF, false);
  if (!b) return nullptr;
  b->hatch = style;
  Register(b);
  return b;
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
  Bitmap* bm = Live(bitmap);
  if (!bm || bm->width > kMaxPatternSide || bm->height > kMaxPatternSide) return nullptr;
  const BitmapView v = bm->view();
  const bool mono = v.bitsPerPixel == 1;
  std::vector<DWORD> pixels(static_cast<size_t>(v.width) * v.height);
  for (int y = 0; y < v.height; ++y) {
    if (mono) {
      const BYTE* row = v.row(y);
      for (int x = 0; x < v.width; ++x) pixels[static_cast<size_t>(y) * v.width + x] = (row[x / 8] >> (7 - x % 8)) & 1;
    } else {
      BitmapSource(v).fetch(y, 0, v.width, reinterpret_cast<Pixel*>(&pixels[static_cast<size_t>(y) * v.width]),
                            nullptr);
    }
  }
  return NewPatternBrush(v.width, v.height, mono, std::move(pixels));
}

HBRUSH vel::gdi::CreateDIBPatternBrushN(const void* packedDib, size_t size, UINT usage, bool mono) {
  // A pattern tile is small; a block beyond 64 MiB is not one (and (size + 3)
  // below must not wrap).
  if (!packedDib || size < sizeof(BITMAPINFOHEADER) || size > (64u << 20)) return nullptr;
  // A copy on aligned storage: records put the DIB wherever they like.
  std::vector<DWORD> buffer((size + 3) / 4);
  std::memcpy(buffer.data(), packedDib, size);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(buffer.data());
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size) return nullptr;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return nullptr;
  const int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (width > kMaxPatternSide || height > kMaxPatternSide) return nullptr;
  size_t table = DibColorTableBytes(h);
  if (usage == DIB_PAL_COLORS && h.biBitCount <= 8) table /= 2;
  if (table > size - h.biSize) return nullptr;
  const size_t offBits = h.biSize + table;
  const BYTE* bits = reinterpret_cast<const BYTE*>(buffer.data()) + offBits;
  const size_t bitsSize = size - offBits;
  std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
  if (mono) {
    if (h.biBitCount != 1 || h.biCompression != BI_RGB) return nullptr;
    const size_t stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    if (stride * height > bitsSize) return nullptr;
    for (int y = 0; y < height; ++y) {
      const BYTE* row = bits + stride * static_cast<size_t>(h.biHeight < 0 ? y : height - 1 - y);
      for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = (row[x / 8] >> (7 - x % 8)) & 1;
    }
    return NewPatternBrush(width, height, true, std::move(pixels));
  }
  auto source = DibSource::Create(info, bits, bitsSize, usage);
  if (!source || source->width != width || source->height != height) return nullptr;
  for (int y = 0; y < height; ++y)
    source->fetch(y, 0, width, reinterpret_cast<Pixel*>(&pixels[static_cast<size_t>(y) * width]), nullptr);
  return NewPatternBrush(width, height, false, std::move(pixels));
}

HBRUSH CreateDIBPatternBrushPt(const void* packedDib, UINT usage) {
  if (!packedDib) return nullptr;
  // The Win32 form trusts the header for the size, as Windows does.
  const auto* h = static_cast<const BITMAPINFOHEADER*>(packedDib);
  if (h->biSize < sizeof(BITMAPINFOHEADER)) return nullptr;
  size_t table = DibColorTableBytes(*h);
  if (usage == DIB_PAL_COLORS && h->biBitCount <= 8) table /= 2;
  size_t image = h->biSizeImage ? h->biSizeImage : DibImageBytes(*h);
  if (image == 0) return nullptr;
  return vel::gdi::CreateDIBPatternBrushN(packedDib, h->biSize + table + image, usage);
}
