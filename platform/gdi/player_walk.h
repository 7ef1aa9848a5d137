// The record walk behind PlayEnhMetaFile, without any drawing (library velgdi).
//
// The walker reads an EMF's records one by one, checks each against its own size,
// keeps the playback state GDI keeps (mapping mode, window and viewport, world
// transform, saved states, the object table, colours and modes, the clip rectangle,
// the current position) and hands every drawing operation to a sink in device
// coordinates of the target, with the state that applies. The player's sink draws on a
// device context; a sink that does nothing makes a dry run, which is what the fuzz
// target exercises. Records that do not check out are skipped; a record whose size is
// broken ends the walk, since nothing after it can be found.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/font.h"
#include "platform/gdi/metafile.h"

namespace vel::gdi::emfplay {

// x' = x * m11 + y * m21 + dx, y' = x * m12 + y * m22 + dy (GDI's XFORM).
struct Affine {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  double mapX(double x, double y) const { return x * m11 + y * m21 + dx; }
  double mapY(double x, double y) const { return x * m12 + y * m22 + dy; }
  // this applied after `first`
  Affine after(const Affine& first) const;
  bool axisAligned() const { return m12 == 0 && m21 == 0; }
};

// A logical object of the metafile's object table.
struct Object {
  enum class Kind { Pen, ExtPen, Brush, PatternBrush, MonoBrush, Font, Palette, Stock };
  Kind kind = Kind::Stock;
  // Pens: style word, width in logical units (0: one pixel), colour, user dashes.
  DWORD penStyle = 0;
  double penWidth = 0;
  COLORREF color = 0;
  std::vector<DWORD> dashes;
  // Brushes: BS_* style and hatch; pattern brushes keep their packed DIB.
  UINT brushStyle = BS_SOLID;
  DWORD hatch = 0;
  std::vector<BYTE> dib;
  UINT usage = DIB_RGB_COLORS;
  // Fonts: the face as UTF-8, height in logical units.
  LOGFONTA font;
  // Stock objects: the GetStockObject index.
  int stockIndex = 0;
};
using ObjectRef = std::shared_ptr<const Object>;

// The playback state of the device context.
struct State {
  int mapMode = MM_TEXT;
  double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
  double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
  Affine world;
  ObjectRef pen, brush, font;  // null: the DC's defaults (black pen, white brush, system font)
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  UINT textAlign = 0;
  int polyFillMode = ALTERNATE;
  int rop2 = R2_COPYPEN;
  int stretchMode = BLACKONWHITE;
  int arcDirection = AD_COUNTERCLOCKWISE;
  POINT brushOrigin;
  std::optional<RECT> clip;  // target device pixels; none: the target's own clip
  POINT position;            // target device pixels
  // Logical units to target device pixels; kept up to date by the walker.
  Affine toDevice;
};

enum class PathOp { Begin, End, Close, Fill, Stroke, StrokeAndFill, Abort };
enum class ArcKind { Arc, Chord, Pie, ArcTo };

// What the walker asks of whatever draws. Every coordinate is in target device pixels;
// `state` is the state the operation draws with (pens scaled by `penScale`, the length of
// a logical unit in device pixels).
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void rectangle(const State&, const RECT&) {}
  virtual void roundRect(const State&, const RECT&, int /*cornerWidth*/, int /*cornerHeight*/) {}
  virtual void ellipse(const State&, const RECT&) {}
  virtual void arc(const State&, ArcKind, const RECT&, POINT /*start*/, POINT /*end*/) {}
  virtual void angleArc(const State&, POINT /*centre*/, int /*radius*/, float /*start*/, float /*sweep*/) {}
  // Polygons (closed) or polylines; `counts` splits the points into figures.
  virtual void poly(const State&, const std::vector<POINT>&, const std::vector<INT>& /*counts*/, bool /*closed*/) {}
  virtual void polyBezier(const State&, const std::vector<POINT>&) {}
  // From the current position (already in state.position before the call).
  virtual void polyBezierTo(const State&, const std::vector<POINT>&) {}
  virtual void polylineTo(const State&, const std::vector<POINT>&) {}
  virtual void moveTo(const State&, POINT) {}
  virtual void setPixel(const State&, POINT, COLORREF) {}
  virtual void path(const State&, PathOp) {}
  // UTF-8 text at `at`, placed by state.textAlign; `rect` for ETO_OPAQUE / ETO_CLIPPED.
  virtual void text(const State&, POINT /*at*/, UINT /*options*/, const std::optional<RECT>& /*rect*/,
                    const std::string& /*utf8*/, int /*fontHeight*/) {}
  // A DIB (header + colour table in `info`, `bits` bounded) stretched onto the
  // destination; the source rectangle is in StretchDIBits' terms.
  virtual void dib(const State&, int /*xd*/, int /*yd*/, int /*wd*/, int /*hd*/, int /*xs*/, int /*ys*/, int /*ws*/,
                   int /*hs*/, const BITMAPINFO*, const BYTE* /*bits*/, size_t /*bitsSize*/, UINT /*usage*/,
                   DWORD /*rop*/) {}
  // A blit without source: PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS.
  virtual void patBlt(const State&, const RECT&, DWORD /*rop*/) {}
};

struct Stats {
  size_t records = 0;  // looked at
  size_t skipped = 0;  // unknown, unsupported or failing their checks
  bool ended = false;  // EMR_EOF reached
};

// Limits that keep hostile files finite.
constexpr size_t kMaxSavedStates = 1024;
constexpr size_t kMaxRecords = size_t(1) << 24;
constexpr double kMaxDeviceCoordinate = 1 << 26;

// Plays the EMF bytes `data` onto `sink`, the picture's frame mapped onto `*dest`
// (target device pixels); a null dest plays the reference device's pixels 1:1 onto the
// target's. False when the bytes do not start with an EMF header or dest is empty.
// `stats` (optional) tells what happened.
bool Walk(const BYTE* data, size_t size, const RECT* dest, Sink& sink, Stats* stats = nullptr);

// The box around everything the EMF draws, in its reference device's pixels (the
// records' own mapping applied, the header's bounds and frame not consulted). False
// when the bytes are no EMF or nothing is drawn.
bool DrawnExtent(const BYTE* data, size_t size, RECT* extent);

// The length in device pixels of one logical unit along x and along y under a transform.
double ScaleX(const Affine& a);
double ScaleY(const Affine& a);

}  // namespace vel::gdi::emfplay
