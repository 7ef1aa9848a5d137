// The objects behind GDI handles. Callers treat handles as opaque; the classes
// are visible only so that HBITMAP, HBRUSH ... convert to HGDIOBJ as on Windows.
// Included by gdi.h only, after the structures and constants it uses.
#pragma once

#include <atomic>
#include <vector>

namespace vel::gdi {

struct BitmapView;
class DeviceContext;

class GdiObject {
 public:
  explicit GdiObject(int type) : type(type) {}
  virtual ~GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  const int type;  // OBJ_BITMAP, OBJ_BRUSH, ...
  bool stock = false;
  // DCs that have it selected. Stock objects and every memory DC's first bitmap
  // are shared by DCs that threads make and drop at the same time.
  std::atomic<int> selectedCount{0};
};

class Bitmap : public GdiObject {
 public:
  Bitmap() : GdiObject(OBJ_BITMAP) {}
  ~Bitmap() override;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  bool topDown = false;
  bool dibSection = false;
  size_t stride = 0;
  BYTE* bits = nullptr;
  size_t capacity = 0;  // bytes the pixel block holds (at least stride * height)
  std::vector<RGBQUAD> colors;
  DWORD masks[3] = {0, 0, 0};
  BitmapView view() const;
};

class Brush : public GdiObject {
 public:
  Brush(COLORREF color, bool hollow) : GdiObject(OBJ_BRUSH), color(color), hollow(hollow) {}
  COLORREF color;
  bool hollow;
  int hatch = -1;  // HS_* for hatched brushes, else -1
  // Pattern brushes: the tile's pixels as 0x00RRGGBB, top row first. A monochrome tile
  // keeps 0 and 1 instead, coloured by the DC's text and background colours when drawn.
  int patternWidth = 0;
  int patternHeight = 0;
  bool patternMono = false;
  std::vector<DWORD> pattern;
};

class Pen : public GdiObject {
 public:
  Pen(int style, int width, COLORREF color) : GdiObject(OBJ_PEN), style(style), width(width), color(color) {}
  int style;  // full style word: line style | end cap | join | type
  int width;
  COLORREF color;
  // Drawn/skipped lengths in device pixels for PS_USERSTYLE (ExtCreatePen).
  std::vector<DWORD> dashes;
  int lineStyle() const { return style & PS_STYLE_MASK; }
  int endCap() const { return style & PS_ENDCAP_MASK; }
  int join() const { return style & PS_JOIN_MASK; }
  bool geometric() const { return (style & PS_TYPE_MASK) == PS_GEOMETRIC; }
  // Lines of this pen go through DeviceContext::strokeLine rather than the 1-pixel
  // solid drawLine: geometric, wider than a pixel, or dashed.
  bool stroked() const {
    int s = lineStyle();
    return geometric() || width > 1 || s == PS_DASH || s == PS_DOT || s == PS_USERSTYLE;
  }
  // Drawn/skipped lengths in device pixels along the line; empty for a solid line.
  std::vector<DWORD> pattern() const;
};

// A logical font; its class is in font.h, next to the LOGFONTA it holds.
class Font;

class Palette : public GdiObject {
 public:
  Palette() : GdiObject(OBJ_PAL) {}
  std::vector<PALETTEENTRY> entries;
};

class Icon {
 public:
  ~Icon();
  Bitmap* color = nullptr;
  Bitmap* mask = nullptr;
  bool isIcon = true;
  int xHotspot = 0;
  int yHotspot = 0;
};

}  // namespace vel::gdi
