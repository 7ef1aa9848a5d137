// The part of the reference device a metafile draws on: a dry run of the record
// walk that only keeps the box around every drawing operation.
#include <algorithm>
#include <climits>

#include "platform/gdi/player_walk.h"

namespace vel::gdi::emfplay {
namespace {

class ExtentSink final : public Sink {
 public:
  void rectangle(const State&, const RECT& r) override { add(r); }
  void roundRect(const State&, const RECT& r, int, int) override { add(r); }
  void ellipse(const State&, const RECT& r) override { add(r); }
  void arc(const State&, ArcKind, const RECT& r, POINT, POINT) override { add(r); }
  void angleArc(const State&, POINT c, int radius, float, float) override {
    add(RECT{c.x - radius, c.y - radius, c.x + radius, c.y + radius});
  }
  void poly(const State&, const std::vector<POINT>& points, const std::vector<INT>&, bool) override { add(points); }
  void polyBezier(const State&, const std::vector<POINT>& points) override { add(points); }
  void polyBezierTo(const State& s, const std::vector<POINT>& points) override {
    add(s.position);
    add(points);
  }
  void polylineTo(const State& s, const std::vector<POINT>& points) override {
    add(s.position);
    add(points);
  }
  void setPixel(const State&, POINT p, COLORREF) override { add(p); }
  // Text runs right and down from where it is placed, about a character a line high.
  void text(const State&, POINT at, UINT, const std::optional<RECT>& rect, const std::string& utf8,
            int fontHeight) override {
    if (rect) add(*rect);
    const long h = std::min<long>(std::abs(fontHeight), kFar);
    add(at);
    add(POINT{static_cast<LONG>(std::min<long long>(at.x + h * static_cast<long long>(utf8.size()) / 2, kFar)),
              static_cast<LONG>(std::min<long>(at.y + h, kFar))});
  }
  void dib(const State&, int xd, int yd, int wd, int hd, int, int, int, int, const BITMAPINFO*, const BYTE*, size_t,
           UINT, DWORD) override {
    add(RECT{xd, yd, xd + wd, yd + hd});
  }
  void patBlt(const State&, const RECT& r, DWORD) override { add(r); }

  bool any() const { return any_; }
  RECT box() const { return box_; }

 private:
  static constexpr long kFar = static_cast<long>(kMaxDeviceCoordinate);

  void add(POINT p) { add(RECT{p.x, p.y, p.x, p.y}); }
  void add(const std::vector<POINT>& points) {
    for (const POINT& p : points) add(p);
  }
  void add(const RECT& r) {
    const RECT n{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
    if (!any_) {
      box_ = n;
      any_ = true;
      return;
    }
    box_ = RECT{std::min(box_.left, n.left), std::min(box_.top, n.top), std::max(box_.right, n.right),
                std::max(box_.bottom, n.bottom)};
  }

  bool any_ = false;
  RECT box_{};
};

}  // namespace

bool DrawnExtent(const BYTE* data, size_t size, RECT* extent) {
  ExtentSink sink;
  if (!Walk(data, size, nullptr, sink) || !sink.any()) return false;
  if (extent) *extent = sink.box();
  return true;
}

}  // namespace vel::gdi::emfplay
