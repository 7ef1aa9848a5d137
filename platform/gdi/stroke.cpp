// Wide, geometric and dashed pens on bitmaps.
//
// A stroked line is the set of pixels whose centres fall inside the pen's shape: a
// band of the pen's width around the line, cut square at the ends (flat caps), half
// a width further out (square caps) or rounded (round caps). Ranges are half open
// ([start, end) along the line, [-w/2, w/2) across it, the "across" axis pointing
// down or right), which gives the same pixels as GDI for axis-aligned lines: a flat
// horizontal line of width w from (x0, y) to (x1, y) covers columns x0 .. x1-1 and
// rows y - w/2 .. y - w/2 + w - 1. Pixel centres sit on whole offsets from the line's
// start, so the tests are exact for axis-aligned lines and stable for the others.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "platform/gdi/dc.h"

namespace vel::gdi {

namespace {

// Lines beyond this distance from the origin come from bad input; refusing them keeps
// every product below well inside a double's exact range.
constexpr long long kMaxCoordinate = 1 << 24;
// Wider pens than this are not a line any more; they would only cost time.
constexpr int kMaxPenWidth = 1 << 15;
// A dash pattern that would split one line into more pieces than this is drawn solid.
constexpr long long kMaxDashes = 1 << 20;

struct Stroke {
  // Line from (x0 + .5, y0 + .5) along the unit direction (ux, uy); the across axis
  // is (nx, ny). Pixel (px, py) is at X = px - x0, Y = py - y0 from the start.
  int x0, y0;
  double ux, uy, nx, ny;
  double half;  // w / 2
  int cap;
};

// Whether pixel offset (X, Y) lies inside the piece [t0, t1) of the stroke.
bool Inside(const Stroke& s, double t0, double t1, double X, double Y) {
  double t = X * s.ux + Y * s.uy;
  double a = X * s.nx + Y * s.ny;
  if (a < -s.half || a >= s.half) return false;
  switch (s.cap) {
    case PS_ENDCAP_FLAT: return t >= t0 && t < t1;
    case PS_ENDCAP_SQUARE: return t >= t0 - s.half && t < t1 + s.half;
    default: {
      if (t >= t0 && t < t1) return true;
      double d = t < t0 ? t0 - t : t - t1;
      return d * d + a * a <= s.half * s.half;
    }
  }
}

// Fills the piece [t0, t1) of the stroke, row by row: each row of a convex shape is
// one run, estimated from the shape's outline and settled by the exact test.
void FillPiece(BitmapTarget& target, const Stroke& s, double t0, double t1, Pixel color, std::vector<Pixel>& row) {
  const BitmapView& v = target.view();
  double ext = s.cap == PS_ENDCAP_FLAT ? 0 : s.half;
  double ta = t0 - ext, tb = t1 + ext;
  // Corners of the outline, relative to the start pixel.
  double cx[4], cy[4];
  const double as[2] = {-s.half, s.half};
  const double ts[2] = {ta, tb};
  for (int i = 0; i < 4; ++i) {
    cx[i] = ts[i / 2] * s.ux + as[i % 2] * s.nx;
    cy[i] = ts[i / 2] * s.uy + as[i % 2] * s.ny;
  }
  double minY = *std::min_element(cy, cy + 4), maxY = *std::max_element(cy, cy + 4);
  int rowFirst = std::max(0, static_cast<int>(std::floor(s.y0 + minY)) - 1);
  int rowLast = std::min(v.height - 1, static_cast<int>(std::ceil(s.y0 + maxY)) + 1);
  const int edges[4][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}};
  for (int py = rowFirst; py <= rowLast; ++py) {
    double Y = py - s.y0;
    // Where the outline's edges cross this row.
    double lo = 1e300, hi = -1e300;
    for (const auto& e : edges) {
      double ya = cy[e[0]], yb = cy[e[1]];
      double xa = cx[e[0]], xb = cx[e[1]];
      if (Y < std::min(ya, yb) - 1 || Y > std::max(ya, yb) + 1) continue;
      double x;
      if (std::abs(yb - ya) < 1e-12) {
        lo = std::min({lo, xa, xb});
        hi = std::max({hi, xa, xb});
        continue;
      }
      double f = std::clamp((Y - ya) / (yb - ya), 0.0, 1.0);
      x = xa + f * (xb - xa);
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    if (lo > hi) continue;
    long long left = std::max<long long>(0, static_cast<long long>(std::floor(s.x0 + lo)) - 1);
    long long right = std::min<long long>(v.width - 1, static_cast<long long>(std::ceil(s.x0 + hi)) + 1);
    while (left <= right && !Inside(s, t0, t1, static_cast<double>(left - s.x0), Y)) ++left;
    while (right >= left && !Inside(s, t0, t1, static_cast<double>(right - s.x0), Y)) --right;
    if (left > right) continue;
    int n = static_cast<int>(right - left + 1);
    if (static_cast<int>(row.size()) < n) row.assign(static_cast<size_t>(n), color);
    target.store(py, static_cast<int>(left), n, row.data(), nullptr);
  }
}

}  // namespace

std::vector<DWORD> Pen::pattern() const {
  // Geometric pens scale the stock dashes with their width; cosmetic ones use GDI's
  // fixed pixel lengths.
  DWORD w = geometric() ? static_cast<DWORD>(std::max(width, 1)) : 1;
  switch (lineStyle()) {
    case PS_DASH: return geometric() ? std::vector<DWORD>{3 * w, w} : std::vector<DWORD>{18, 6};
    case PS_DOT: return geometric() ? std::vector<DWORD>{w, w} : std::vector<DWORD>{3, 3};
    case PS_USERSTYLE: return dashes;
    default: return {};
  }
}

bool DeviceContext::strokeLine(int x0, int y0, int x1, int y1, const Pen& pen) {
  auto t = target();
  if (!t) return false;
  for (long long c : {x0, y0, x1, y1})
    if (std::llabs(c) > kMaxCoordinate) return false;
  int width = std::clamp(pen.width, 1, kMaxPenWidth);
  // A cosmetic pen is one pixel wide whatever it was made with.
  if (!pen.geometric() && pen.width <= 1) width = 1;
  double dx = x1 - x0, dy = y1 - y0;
  double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0) return true;
  Stroke s;
  s.x0 = x0;
  s.y0 = y0;
  s.ux = dx / length;
  s.uy = dy / length;
  // The across axis points down, or right for vertical lines, whichever way the line runs,
  // so a line drawn backwards covers the same rows.
  s.nx = -s.uy;
  s.ny = s.ux;
  if (s.ny < 0 || (s.ny == 0 && s.nx < 0)) {
    s.nx = -s.nx;
    s.ny = -s.ny;
  }
  s.half = width / 2.0;
  // Cosmetic pens have no caps to speak of: their lines end flat as 1-pixel lines do.
  s.cap = pen.geometric() ? pen.endCap() : (width > 1 ? PS_ENDCAP_ROUND : PS_ENDCAP_FLAT);
  Pixel color = PixelFromColorref(pen.color);
  std::vector<Pixel> row;

  std::vector<DWORD> dashes = pen.pattern();
  long long period = 0;
  for (DWORD d : dashes) period += d;
  if (dashes.empty() || period == 0 || length / static_cast<double>(period) * dashes.size() > kMaxDashes) {
    FillPiece(*t, s, 0, length, color, row);
    return true;
  }
  // The pattern starts afresh at the line's first point; an odd-length pattern
  // continues with its first entry skipped on the next round, as GDI repeats it.
  double pos = 0;
  size_t i = 0;
  bool on = true;
  while (pos < length) {
    double next = std::min(length, pos + dashes[i % dashes.size()]);
    if (on && next > pos) FillPiece(*t, s, pos, next, color, row);
    pos = next;
    ++i;
    on = !on;
  }
  return true;
}

}  // namespace vel::gdi

using namespace vel::gdi;

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles) {
  if (!brush || brush->lbStyle != BS_SOLID) return nullptr;
  const DWORD type = style & PS_TYPE_MASK;
  const DWORD line = style & PS_STYLE_MASK;
  const DWORD cap = style & PS_ENDCAP_MASK;
  const DWORD join = style & PS_JOIN_MASK;
  if (style & ~static_cast<DWORD>(PS_TYPE_MASK | PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK)) return nullptr;
  if (type != PS_COSMETIC && type != PS_GEOMETRIC) return nullptr;
  if (line != PS_SOLID && line != PS_DASH && line != PS_DOT && line != PS_NULL && line != PS_USERSTYLE) return nullptr;
  if (cap != PS_ENDCAP_ROUND && cap != PS_ENDCAP_SQUARE && cap != PS_ENDCAP_FLAT) return nullptr;
  if (join != PS_JOIN_ROUND && join != PS_JOIN_BEVEL && join != PS_JOIN_MITER) return nullptr;
  // Cosmetic pens are one pixel wide and take no caps or joins.
  if (type == PS_COSMETIC && (width != 1 || cap != 0 || join != 0)) return nullptr;
  if (width > static_cast<DWORD>(kMaxPenWidth)) return nullptr;
  std::vector<DWORD> dashes;
  if (line == PS_USERSTYLE) {
    if (!styles || styleCount == 0 || styleCount > 16) return nullptr;
    dashes.assign(styles, styles + styleCount);
    long long total = 0;
    for (DWORD d : dashes) {
      if (d > static_cast<DWORD>(kMaxCoordinate)) return nullptr;
      total += d;
    }
    if (total == 0) return nullptr;
  } else if (styleCount != 0 || styles) {
    return nullptr;
  }
  auto* p = new (std::nothrow)
      Pen(static_cast<int>(style), width == 0 ? 1 : static_cast<int>(width), brush->lbColor & 0xFFFFFF);
  if (!p) return nullptr;
  p->dashes = std::move(dashes);
  Register(p);
  return p;
}
