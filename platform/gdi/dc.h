// Device contexts. A DC has one interface and several back ends: the memory DC
// below draws into its selected bitmap with our own exact code; the screen DC only
// answers questions; painter, printer and metafile back ends derive from it.
#pragma once

#include <optional>
#include <vector>

#include "platform/gdi/objects.h"

namespace vel::gdi {

class DeviceContext {
 public:
  DeviceContext();
  virtual ~DeviceContext();
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  virtual bool isMemory() const { return false; }
  virtual int caps(int index) const;

  // Drawing primitives. The defaults draw into the selected bitmap when there is one.
  virtual bool drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws, int hs,
                          DWORD rop);
  virtual bool fillRect(const RECT& rect, COLORREF color);
  virtual bool drawLine(int x0, int y0, int x1, int y1, COLORREF color);
  // A line of a wide or geometric pen: the pen's width, end caps and dash pattern
  // (which starts afresh at (x0, y0)). The end point is excluded as with drawLine.
  virtual bool strokeLine(int x0, int y0, int x1, int y1, const Pen& pen);
  virtual bool setPixel(int x, int y, COLORREF color);
  virtual std::optional<COLORREF> getPixel(int x, int y) const;
  // Source pixels of this DC for blits from it; null when it has none.
  virtual std::unique_ptr<PixelSource> pixels() const;

  Bitmap* bitmap = nullptr;
  Brush* brush = nullptr;
  Pen* pen = nullptr;
  Palette* palette = nullptr;
  Font* font = nullptr;
  int stretchMode = BLACKONWHITE;
  POINT brushOrigin;
  POINT position;
  int mapMode = MM_TEXT;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  UINT textAlign = TA_LEFT | TA_TOP;
  int polyFillMode = ALTERNATE;
  int rop2 = R2_COPYPEN;
  int arcDirection = AD_COUNTERCLOCKWISE;
  std::optional<RECT> clip;  // device pixels; none: no clipping

  // The path between BeginPath and EndPath, in device coordinates, with GDI's point
  // types (PT_MOVETO, PT_LINETO, PT_BEZIERTO, | PT_CLOSEFIGURE).
  struct PathPoint {
    double x;
    double y;
    BYTE type;
  };
  enum class PathState { None, Recording, Closed };
  std::vector<PathPoint> path;
  PathState pathState = PathState::None;
  bool pathFigureOpen = false;  // a LineTo continues the last figure
  // Adds points to the path being recorded; false (nothing added) when none is, or
  // when the path would grow past what any real drawing needs.
  bool addToPath(const PathPoint* points, size_t count);
  // Whether a device pixel lies inside the clip.
  bool clipped(int x, int y) const {
    return clip && (x < clip->left || x >= clip->right || y < clip->top || y >= clip->bottom);
  }

  struct State {
    Bitmap* bitmap;
    Brush* brush;
    Pen* pen;
    Palette* palette;
    Font* font;
    int stretchMode;
    POINT brushOrigin;
    POINT position;
    int mapMode;
    COLORREF textColor;
    COLORREF bkColor;
    int bkMode;
    UINT textAlign;
    int polyFillMode;
    int rop2;
    int arcDirection;
    std::optional<RECT> clip;
  };
  std::vector<State> saved;

 protected:
  std::optional<BitmapTarget> target() const;
};

class MemoryDC : public DeviceContext {
 public:
  MemoryDC();
  bool isMemory() const override { return true; }
};

class ScreenDC : public DeviceContext {
 public:
  bool drawPixels(int, int, int, int, const PixelSource&, int, int, int, int, DWORD) override { return true; }
  bool fillRect(const RECT&, COLORREF) override { return true; }
  bool drawLine(int, int, int, int, COLORREF) override { return true; }
  bool strokeLine(int, int, int, int, const Pen&) override { return true; }
};

// A device that draws itself (a painter's device, a metafile recorder): nothing goes
// through a selected bitmap, and what it shows cannot be read back. A plain line is a
// one-pixel solid pen and a pixel a one-pixel fill, unless the device knows better.
class DrawingDevice : public DeviceContext {
 public:
  bool drawLine(int x0, int y0, int x1, int y1, COLORREF color) override;
  bool setPixel(int x, int y, COLORREF color) override;
  std::optional<COLORREF> getPixel(int, int) const override { return std::nullopt; }
  std::unique_ptr<PixelSource> pixels() const override { return nullptr; }
};

// One attribute of a live DC: set when `valid` (answering the value it had) and
// read; a stale handle or a refused value answers `failure`.
template <typename T>
T ExchangeAttribute(HDC dc, T DeviceContext::*field, T value, bool valid, T failure) {
  DeviceContext* d = Live(dc);
  if (!d || !valid) return failure;
  T old = d->*field;
  d->*field = value;
  return old;
}
template <typename T>
T ReadAttribute(HDC dc, T DeviceContext::*field, T failure) {
  DeviceContext* d = Live(dc);
  return d ? d->*field : failure;
}

// Selecting and deselecting keeps the objects' counts right (see DeleteObject).
void Select(Bitmap*& slot, Bitmap* object);

constexpr BYTE PT_CLOSEFIGURE = 0x01;
constexpr BYTE PT_LINETO = 0x02;
constexpr BYTE PT_BEZIERTO = 0x04;
constexpr BYTE PT_MOVETO = 0x06;
// Points one path may hold; more come from bad input.
constexpr size_t kMaxPathPoints = size_t(1) << 20;

}  // namespace vel::gdi
