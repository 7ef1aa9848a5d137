// The drawing target the vector readers share: records one drawing into an
// enhanced metafile, and the result they hand on.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/expected.h"
#include "platform/gdi/metafile_internal.h"

namespace lorimer::formats {

// An enhanced metafile (EMF bytes) and the size of the drawing in 0.01 mm.
struct VectorDrawing {
  std::vector<BYTE> emf;
  int widthHundredthsMm = 0;
  int heightHundredthsMm = 0;
};

namespace vector_detail {

constexpr double kPi = 3.14159265358979323846;

// A coordinate as a 32-bit value: not-a-number is 0, far values are held.
inline LONG ClampLong(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<LONG>(std::clamp(std::llround(std::clamp(v, -2e9, 2e9)), -2000000000LL, 2000000000LL));
}

// Upper bounds on what one drawing may produce, so a hostile file can make a
// drawing no bigger than this however it is built.
constexpr size_t kMaxEmfBytes = 64u << 20;
constexpr size_t kMaxEmfRecords = 1000000;

// Pixels per inch of the reference device the bounds are measured on.
constexpr int kDevicePpi = 96;

// Records one drawing into an EMF in MM_ANISOTROPIC: the window is the drawing's
// extent in its own (logical) units, the viewport the frame in 96-dpi pixels.
// Pens, brushes and the font are created only when they change. Every drawing call
// answers false once the size limits are reached and records nothing more.
class EmfCanvas {
 public:
  // windowExt may be negative (a y axis pointing up); frame is in 0.01 mm.
  EmfCanvas(POINTL windowOrg, SIZEL windowExt, int frameWidth, int frameHeight);

  void setPen(COLORREF color, LONG width, bool visible = true);
  void setBrush(COLORREF color, bool visible);
  void setTextColor(COLORREF color);
  // Character height (not cell) and escapement in tenths of a degree, both in
  // logical units / the logical direction.
  void setFont(LONG height, LONG escapement);

  bool polyline(const std::vector<POINTL>& points);
  bool polygon(const std::vector<POINTL>& points);
  bool polyBezier(const std::vector<POINTL>& points);  // 1 + 3n points
  bool rectangle(const RECTL& box);
  bool roundRect(const RECTL& box, SIZEL corner);
  bool ellipse(const RECTL& box);
  bool arc(const RECTL& box, POINTL start, POINTL end);
  bool text(POINTL at, const std::u16string& chars);
  // An 8- or 24-bit DIB (`info` = header and colour table, `bits` its rows)
  // stretched onto the logical rectangle at (x, y) of size (w, h).
  bool dib(LONG x, LONG y, LONG w, LONG h, const std::vector<BYTE>& info, const std::vector<BYTE>& bits);

  bool full() const { return full_; }
  size_t drawn() const { return drawn_; }
  std::vector<BYTE> finish();
  int frameWidth() const { return frameW_; }
  int frameHeight() const { return frameH_; }

 private:
  bool room(size_t bytes);
  RECTL bounds(const POINTL* p, size_t n) const;
  bool poly(DWORD type, const std::vector<POINTL>& points);
  bool boxRecord(DWORD type, const RECTL& box, const vel::gdi::meta::Params& extra);
  void select(DWORD handle);

  vel::gdi::meta::EmfWriter w_;
  POINTL org_;
  SIZEL ext_;
  int frameW_, frameH_;
  LONG pxW_, pxH_;
  bool full_ = false;
  size_t drawn_ = 0;
  // Handle slots: pens alternate between 1 and 2, brushes between 3 and 4, fonts 5 and 6.
  int penSlot_ = 0, brushSlot_ = 0, fontSlot_ = 0;
  COLORREF pen_ = 0, brush_ = 0, textColor_ = 0;
  LONG penWidth_ = -1, fontHeight_ = 0, fontEscapement_ = 0;
  bool penVisible_ = true, brushVisible_ = false, penMade_ = false, brushMade_ = false, fontMade_ = false;
};

// The old bool readers' shape: false (and `out` untouched) when there is no drawing.
bool Give(vel::Expected<VectorDrawing> drawing, VectorDrawing& out);

// Frame size clamped to something a page can hold (at most 10 m a side, at least
// 0.01 mm), keeping the aspect ratio.
void SaneFrame(double widthHundredthsMm, double heightHundredthsMm, int& w, int& h);

// UTF-16 from bytes that are UTF-8 when valid as such, else Windows-1252/Latin-1.
std::u16string DecodeText(const std::string& bytes);

}  // namespace vector_detail
}  // namespace lorimer::formats
