// ASCII DXF drawings into an enhanced metafile. The text is read into group pairs,
// then sections, blocks and entities; entities are walked twice through the same
// code, once to measure the extent and once to draw, so both always agree.
#include "imagelib/formats/dxf.h"
#include "imagelib/formats/dxf_parts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

using namespace dxf;

using vector_detail::EmfCanvas;

using vector_detail::kPi;
constexpr int kMaxInsertDepth = 16;
constexpr size_t kMaxVisits = 2000000;  // entities walked per pass, nested inserts included
// Groups read and points made per pass: a block of one huge polyline or spline
// inserted thousands of times must not take minutes to measure.
constexpr size_t kMaxWork = 20000000;
constexpr size_t kMaxInsertCopies = 10000;
constexpr size_t kMaxSplinePoints = 100000;  // control or fit points of one spline
constexpr int kMaxSplineDegree = 10;
// The frame handed on is the drawing at its own size, its longest side held
// between 5 mm and 1 m (0.01 mm units). One metre is about 3800 pixels on a
// 96-dpi screen: larger drawings (site plans in metres) are scaled down to it, and
// tiny ones scaled up to a few dozen pixels instead of vanishing into none.
constexpr double kMaxFrameSide = 100000;
constexpr double kMinFrameSide = 500;

int ClampToInt(double v, int fallback) {
  if (!std::isfinite(v)) return fallback;
  return static_cast<int>(std::clamp(v, -2147483648.0, 2147483647.0));
}
constexpr double kHuge = 1e15;  // coordinates beyond this are not drawings

// One group pair; the value points into the caller's bytes, so the pairs cost a
// fixed few bytes each however long the file is.
struct Group {
  int code;
  std::string_view value;
};

std::string_view Trim(std::string_view s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string_view::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Steps over a UTF-8 byte order mark at the start of the text.
void SkipByteOrderMark(vel::ByteReader& in) {
  if (in.peek(0) == 0xEF && in.peek(1) == 0xBB && in.peek(2) == 0xBF) in.skip(3);
}

// The next line of the text (without its LF or CR LF), the reader moving past it;
// false at the end. The view points into the reader's bytes.
bool NextLine(vel::ByteReader& in, std::string_view& line) {
  if (in.atEnd()) return false;
  const auto rest = in.rest();
  const size_t length = static_cast<size_t>(std::find(rest.begin(), rest.end(), '\n') - rest.begin());
  line = std::string_view(reinterpret_cast<const char*>(rest.data()), length);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  in.skip(std::min(length + 1, rest.size()));
  return true;
}

// Splits the text into group pairs, or says which code line is not a number.
vel::Expected<void> ReadGroups(const BYTE* data, size_t size, std::vector<Group>& out) {
  vel::ByteReader in(data, size);
  SkipByteOrderMark(in);
  std::string_view c, value;
  for (size_t line = 1; NextLine(in, c) && NextLine(in, value); line += 2) {
    c = Trim(c);
    if (c.empty() || c.size() > 6) return vel::Fail("DXF: line " + std::to_string(line) + " holds no group code");
    int code = 0;
    size_t k = c.front() == '-' ? 1 : 0;
    if (k == c.size()) return vel::Fail("DXF: line " + std::to_string(line) + " holds no group code");
    for (; k < c.size(); ++k) {
      if (c[k] < '0' || c[k] > '9') return vel::Fail("DXF: line " + std::to_string(line) + " holds no group code");
      code = code * 10 + (c[k] - '0');
    }
    if (c.front() == '-') code = -code;
    out.push_back(Group{code, value});
    // Whatever follows the end (old writers pad with ^Z or NULs) is not ours to read.
    if (code == 0 && Trim(value) == "EOF") break;
  }
  return {};
}

// Layer and block names compare without regard to case, as CAD programs do.
std::string Upper(std::string_view s) {
  std::string u(Trim(s));
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

// A number from a value line; nullopt when it is not one or not a sane size.
// Read without the C locale's say on the decimal point, and without a copy.
std::optional<double> Number(std::string_view s) {
  s = Trim(s).substr(0, 64);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (error != std::errc() || end == s.data() || !std::isfinite(v) || std::abs(v) > kHuge) return std::nullopt;
  return v;
}

// An entity's pairs: a range of the file's groups, not a copy.
struct Entity {
  std::string_view type;
  const Group* first = nullptr;
  const Group* last = nullptr;
  std::vector<Entity> vertices;  // POLYLINE only

  const Group* begin() const { return first; }
  const Group* end() const { return last; }
  const std::string_view* text(int code) const {
    for (const Group& g : *this)
      if (g.code == code) return &g.value;
    return nullptr;
  }
  std::string str(int code) const {
    const std::string_view* s = text(code);
    return s ? std::string(Trim(*s)) : std::string();
  }
  // The first value of `code`; `fallback` when absent. `ok` turns false when the
  // value is present but not a sane number.
  // An integer group: numbers far outside int (or not numbers) are held at the
  // ends of its range, never converted as they are.
  int inum(int code, int fallback, bool& ok) const { return ClampToInt(num(code, fallback, ok), fallback); }

  double num(int code, double fallback, bool& ok) const {
    const std::string_view* s = text(code);
    if (!s) return fallback;
    std::optional<double> v = Number(*s);
    if (!v) ok = false;
    return v.value_or(fallback);
  }
};

struct Block {
  double baseX = 0, baseY = 0;
  std::vector<Entity> entities;
};

struct Layer {
  int color = 7;
  bool visible = true;
};

struct Drawing {
  std::map<std::string, Layer> layers;
  std::map<std::string, Block> blocks;
  std::vector<Entity> entities;
  std::optional<double> extMinX, extMinY, extMaxX, extMaxY;
  int insUnits = 0;
};

// Entities from `groups[i]` up to the pair "0 <end>" (or the section's end);
// POLYLINE collects its VERTEX records up to SEQEND.
void ReadEntities(const std::vector<Group>& groups, size_t& i, const char* end, std::vector<Entity>& out) {
  Entity* polyline = nullptr;
  while (i < groups.size()) {
    const Group& g = groups[i];
    if (g.code != 0) {
      ++i;
      continue;
    }
    const std::string_view type = Trim(g.value);
    if (type == "ENDSEC" || type == end || type == "EOF") return;
    Entity e;
    e.type = type;
    e.first = groups.data() + (++i);
    while (i < groups.size() && groups[i].code != 0) ++i;
    e.last = groups.data() + i;
    if (type == "VERTEX" && polyline) {
      // Frame points of a spline-fit polyline steer the curve but are not on it.
      bool ok = true;
      if (!(e.inum(70, 0, ok) & 16) && polyline->vertices.size() < 1000000) polyline->vertices.push_back(std::move(e));
    } else if (type == "SEQEND") {
      polyline = nullptr;
    } else {
      out.push_back(std::move(e));
      polyline = type == "POLYLINE" ? &out.back() : nullptr;
    }
  }
}

void ReadHeader(const std::vector<Group>& groups, size_t& i, Drawing& d) {
  std::string variable;
  for (; i < groups.size(); ++i) {
    const Group& g = groups[i];
    if (g.code == 0) return;
    if (g.code == 9) {
      variable = Trim(g.value);
      continue;
    }
    std::optional<double> v = Number(g.value);
    if (!v) continue;
    if (variable == "$EXTMIN" && g.code == 10) d.extMinX = v;
    if (variable == "$EXTMIN" && g.code == 20) d.extMinY = v;
    if (variable == "$EXTMAX" && g.code == 10) d.extMaxX = v;
    if (variable == "$EXTMAX" && g.code == 20) d.extMaxY = v;
    if (variable == "$INSUNITS" && g.code == 70) d.insUnits = ClampToInt(*v, 0);
  }
}

void ReadTables(const std::vector<Group>& groups, size_t& i, Drawing& d) {
  std::vector<Entity> records;
  ReadEntities(groups, i, "ENDSEC", records);
  for (const Entity& e : records) {
    if (e.type != "LAYER") continue;
    bool ok = true;
    Layer l;
    const int color = e.inum(62, 7, ok);
    l.color = std::clamp(std::abs(color), 1, 255);
    l.visible = color >= 0 && !(e.inum(70, 0, ok) & 1);
    const std::string_view* name = e.text(2);
    d.layers[Upper(name ? *name : std::string_view())] = l;
  }
}

void ReadBlocks(const std::vector<Group>& groups, size_t& i, Drawing& d) {
  while (i < groups.size()) {
    const Group& g = groups[i];
    if (g.code == 0 && (Trim(g.value) == "ENDSEC" || Trim(g.value) == "EOF")) return;
    if (g.code != 0 || Trim(g.value) != "BLOCK") {
      ++i;
      continue;
    }
    Entity header;
    header.first = groups.data() + (++i);
    while (i < groups.size() && groups[i].code != 0) ++i;
    header.last = groups.data() + i;
    Block b;
    bool ok = true;
    b.baseX = header.num(10, 0, ok);
    b.baseY = header.num(20, 0, ok);
    ReadEntities(groups, i, "ENDBLK", b.entities);
    if (i < groups.size() && Trim(groups[i].value) == "ENDBLK") ++i;
    const std::string_view* name = header.text(2);
    d.blocks[Upper(name ? *name : std::string_view())] = std::move(b);
  }
}

bool ParseDrawing(const std::vector<Group>& groups, Drawing& d) {
  bool sawSection = false;
  for (size_t i = 0; i < groups.size();) {
    if (groups[i].code != 0 || Trim(groups[i].value) != "SECTION") {
      ++i;
      continue;
    }
    sawSection = true;
    ++i;
    if (i >= groups.size() || groups[i].code != 2) continue;
    const std::string_view name = Trim(groups[i].value);
    ++i;
    if (name == "HEADER")
      ReadHeader(groups, i, d);
    else if (name == "TABLES")
      ReadTables(groups, i, d);
    else if (name == "BLOCKS")
      ReadBlocks(groups, i, d);
    else if (name == "ENTITIES")
      ReadEntities(groups, i, "ENDSEC", d.entities);
  }
  return sawSection;
}

// ---- drawing ------------------------------------------------------------------

// x' = a x + c y + e, y' = b x + d y + f
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  void apply(double x, double y, double& ox, double& oy) const {
    ox = a * x + c * y + e;
    oy = b * x + d * y + f;
  }
  Affine then(const Affine& inner) const {  // this * inner
    return Affine{a * inner.a + c * inner.b, b * inner.a + d * inner.b,     a * inner.c + c * inner.d,
                  b * inner.c + d * inner.d, a * inner.e + c * inner.f + e, b * inner.e + d * inner.f + f};
  }
  double scale() const { return std::sqrt(std::abs(a * d - b * c)); }
};

struct Bounds {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool any = false;
  void add(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y) || std::abs(x) > kHuge || std::abs(y) > kHuge) return;
    if (!any) minX = maxX = x, minY = maxY = y, any = true;
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
};

// The plane an entity's own coordinates lie in (its extrusion direction, groups
// 210-230), seen from above: the arbitrary axis rule of the format gives the
// plane's x and y axes. A mirrored entity has the direction (0, 0, -1), whose x
// axis points left.
Affine Ocs(const Entity& e, bool& ok) {
  if (!e.text(210) && !e.text(220) && !e.text(230)) return Affine{};
  double nx = e.num(210, 0, ok), ny = e.num(220, 0, ok), nz = e.num(230, 1, ok);
  const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (!ok || !(len > 1e-12)) return Affine{};
  nx /= len, ny /= len, nz /= len;
  double ax, ay, az;
  if (std::abs(nx) < 1.0 / 64 && std::abs(ny) < 1.0 / 64)
    ax = nz, ay = 0, az = -nx;  // world y x N
  else
    ax = -ny, ay = nx, az = 0;  // world z x N
  const double al = std::sqrt(ax * ax + ay * ay + az * az);
  ax /= al, ay /= al, az /= al;
  const double bx = ny * az - nz * ay, by = nz * ax - nx * az;  // N x Ax
  return Affine{ax, ay, bx, by, 0, 0};
}

// A SPLINE in world coordinates (before `t`): from its control points when their
// knot vector is whole (the exact curve, which passes through any fit points),
// else through its fit points, else from its control points over evenly spaced
// knots clamped to the ends.
Points Spline(const Entity& e, bool& ok) {
  Points ctrl, fit;
  std::vector<double> knots, weights;
  for (const Group& g : e) {
    if (g.code != 10 && g.code != 20 && g.code != 11 && g.code != 21 && g.code != 40 && g.code != 41) continue;
    const std::optional<double> v = Number(g.value);
    if (!v) {
      ok = false;
      return {};
    }
    if (g.code == 10 && ctrl.size() < kMaxSplinePoints) ctrl.emplace_back(*v, 0);
    if (g.code == 20 && !ctrl.empty()) ctrl.back().second = *v;
    if (g.code == 11 && fit.size() < kMaxSplinePoints) fit.emplace_back(*v, 0);
    if (g.code == 21 && !fit.empty()) fit.back().second = *v;
    if (g.code == 40 && knots.size() < kMaxSplinePoints + kMaxSplineDegree + 1) knots.push_back(*v);
    if (g.code == 41 && weights.size() < kMaxSplinePoints) weights.push_back(*v);
  }
  const bool closed = e.inum(70, 0, ok) & 1;
  int degree = std::clamp(e.inum(71, 3, ok), 1, kMaxSplineDegree);
  if (!ok) return {};
  if (std::any_of(weights.begin(), weights.end(), [](double w) { return !(w > 0); })) weights.clear();
  const size_t m = ctrl.size();
  auto whole = [&]() {
    if (m < 2 || static_cast<size_t>(degree) >= m || knots.size() != m + degree + 1) return false;
    for (size_t i = 1; i < knots.size(); ++i)
      if (!(knots[i] >= knots[i - 1])) return false;
    return knots[degree] < knots[m];
  };
  if (whole()) return DeBoor(ctrl, knots, weights, degree);
  if (fit.size() >= 2) return ThroughFitPoints(fit, closed);
  if (m < 2) return {};
  degree = std::min<int>(degree, static_cast<int>(m) - 1);
  knots.assign(m + degree + 1, 0.0);
  const size_t inner = m - degree;  // spans
  for (size_t i = 0; i < knots.size(); ++i)
    knots[i] = static_cast<double>(std::clamp<size_t>(i, degree, m) - degree) / static_cast<double>(inner);
  Points out = DeBoor(ctrl, knots, weights, degree);
  if (closed && !out.empty()) out.push_back(out.front());
  return out;
}

struct Walk {
  explicit Walk(const Drawing& drawing) : d(drawing) {}

  const Drawing& d;
  EmfCanvas* canvas = nullptr;  // null: measuring only
  Bounds* bounds = nullptr;
  double originX = 0, originY = 0, k = 1;  // logical = (world - origin) * k
  double pixel = 0;                        // one device pixel in world units (drawing only)
  bool paperSpace = false;                 // also draw what is laid out on paper
  size_t visits = 0, work = 0;
  std::vector<const Block*> stack;

  POINTL logical(double x, double y) const {
    auto clamp = [](double v) { return static_cast<LONG>(std::clamp(std::isfinite(v) ? v : 0.0, -1.0e9, 1.0e9)); };
    return POINTL{clamp(std::round((x - originX) * k)), clamp(std::round((y - originY) * k))};
  }

  // World points (already transformed) drawn as one figure.
  void figure(const Points& pts, bool closed, bool filled, COLORREF color) {
    work += pts.size();
    if (pts.empty()) return;
    if (!canvas) {
      for (const auto& p : pts) bounds->add(p.first, p.second);
      return;
    }
    std::vector<POINTL> l;
    l.reserve(pts.size());
    for (const auto& p : pts) l.push_back(logical(p.first, p.second));
    canvas->setPen(color, 0);
    canvas->setBrush(color, filled);
    if (closed)
      canvas->polygon(l);
    else
      canvas->polyline(l);
  }

  static void Arc(Points& out, const Affine& t, double cx, double cy, double rx, double ry, double rot, double a0,
                  double sweep) {
    const int steps = std::clamp(ClampToInt(std::abs(sweep) / (kPi / 36), 144) + 1, 2, 144);
    const double cr = std::cos(rot), sr = std::sin(rot);
    for (int i = 0; i <= steps; ++i) {
      const double a = a0 + sweep * i / steps, ex = rx * std::cos(a), ey = ry * std::sin(a);
      double x, y;
      t.apply(cx + ex * cr - ey * sr, cy + ex * sr + ey * cr, x, y);
      out.emplace_back(x, y);
    }
  }

  // Vertices with bulges (tan of a quarter of the included angle) as line strips.
  static Points Bulged(const std::vector<std::array<double, 3>>& v, bool closed, const Affine& t) {
    Points out;
    const size_t n = v.size();
    for (size_t i = 0; i < n; ++i) {
      double x, y;
      t.apply(v[i][0], v[i][1], x, y);
      out.emplace_back(x, y);
      const bool last = i + 1 == n;
      if (last && !closed) break;
      const auto& p = v[i];
      const auto& q = v[last ? 0 : i + 1];
      const double bulge = p[2];
      const double chord = std::hypot(q[0] - p[0], q[1] - p[1]);
      if (bulge == 0 || chord == 0 || std::abs(bulge) > 1e6) continue;
      const double theta = 4 * std::atan(bulge), r = chord / (2 * std::sin(std::abs(theta) / 2));
      const double mx = (p[0] + q[0]) / 2, my = (p[1] + q[1]) / 2;
      const double h = std::sqrt(std::max(0.0, r * r - chord * chord / 4)) * (std::abs(theta) > kPi ? -1 : 1);
      const double nx = -(q[1] - p[1]) / chord, ny = (q[0] - p[0]) / chord;
      const double sign = bulge > 0 ? 1 : -1;
      const double cx = mx + nx * h * sign, cy = my + ny * h * sign;
      const double a0 = std::atan2(p[1] - cy, p[0] - cx);
      Points arc;
      Arc(arc, t, cx, cy, r, r, 0, a0, theta);
      if (arc.size() > 2) out.insert(out.end(), arc.begin() + 1, arc.end() - 1);
    }
    return out;
  }

  COLORREF color(const Entity& e, COLORREF byBlock, const Layer& layer) const {
    bool ok = true;
    if (const std::string_view* tc = e.text(420)) {
      if (std::optional<double> v = Number(*tc)) {
        const long rgb = ClampToInt(*v, 0);
        return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
      }
    }
    const int index = e.inum(62, 256, ok);
    if (index == 0) return byBlock;
    if (index == 256 || index < 0 || index > 256) return AciColor(layer.color);
    return AciColor(index);
  }

  void text(const Entity& e, const Affine& t, COLORREF c, bool& ok) {
    double x, y;
    t.apply(e.num(10, 0, ok), e.num(20, 0, ok), x, y);
    const double height = e.num(40, 2.5, ok) * t.scale();
    double angle = e.num(50, 0, ok);
    std::vector<std::u16string> lines;
    if (e.type == "MTEXT") {
      std::string all;
      for (const Group& g : e)
        if (g.code == 3) all += g.value;
      if (const std::string_view* s = e.text(1)) all += *s;
      lines = MTextLines(PlainText(all));
      if (e.text(11) && !e.text(50)) angle = std::atan2(e.num(21, 0, ok), e.num(11, 1, ok)) * 180 / kPi;
    } else {
      const std::string_view* s = e.text(1);
      lines.push_back(PlainText(s ? std::string(*s) : std::string()));
    }
    if (!ok || !std::isfinite(height) || height <= 0 || !std::isfinite(angle)) return;
    // The baseline's direction as the transform (insert, mirrored plane) turns it.
    const double local = std::fmod(angle, 360.0) * kPi / 180;
    const double rad =
        std::atan2(t.b * std::cos(local) + t.d * std::sin(local), t.a * std::cos(local) + t.c * std::sin(local));
    angle = rad * 180 / kPi;
    const double step = height * 1.66;
    // MTEXT hangs from its insertion point (attachment 1-3) unless attached lower.
    double drop = 0;
    if (e.type == "MTEXT") {
      const int attach = e.inum(71, 1, ok);
      const double block = step * (lines.size() - 1) + height;
      drop = attach >= 7 ? height - block : attach >= 4 ? height - block / 2 : height;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
      const double down = drop + step * i;
      const double lx = x + down * std::sin(rad), ly = y - down * std::cos(rad);
      if (!canvas) {
        const double w = height * 0.6 * lines[i].size();
        bounds->add(lx, ly);
        bounds->add(lx + w * std::cos(rad) - height * std::sin(rad), ly + w * std::sin(rad) + height * std::cos(rad));
        continue;
      }
      if (lines[i].empty()) continue;
      canvas->setTextColor(c);
      canvas->setFont(static_cast<LONG>(std::clamp(height * k, 1.0, 1e8)),
                      static_cast<LONG>(ClampToInt(std::round(angle * 10), 0)));
      canvas->text(logical(lx, ly), lines[i]);
    }
  }

  // The entities of the block `name` through `local` (which already places the
  // block's base point), unless that block is being drawn already.
  void block(const std::string_view* name, const Affine& t, const Affine& local, COLORREF c, int depth) {
    auto it = d.blocks.find(Upper(name ? *name : std::string_view()));
    if (it == d.blocks.end() || depth >= kMaxInsertDepth) return;
    const Block& b = it->second;
    // A block that inserts itself, directly or through others, would never end.
    if (std::find(stack.begin(), stack.end(), &b) != stack.end()) return;
    stack.push_back(&b);
    Affine placed = local;
    placed.e -= local.a * b.baseX + local.c * b.baseY;
    placed.f -= local.b * b.baseX + local.d * b.baseY;
    entities(b.entities, t.then(placed), c, depth + 1);
    stack.pop_back();
  }

  void insert(const Entity& e, const Affine& t, COLORREF c, int depth, bool& ok) {
    const double sx = e.num(41, 1, ok), sy = e.num(42, 1, ok), rot = e.num(50, 0, ok) * kPi / 180;
    const double px = e.num(10, 0, ok), py = e.num(20, 0, ok);
    const int cols = std::max(1, e.inum(70, 1, ok)), rows = std::max(1, e.inum(71, 1, ok));
    const double dx = e.num(44, 0, ok), dy = e.num(45, 0, ok);
    if (!ok || static_cast<size_t>(cols) * rows > kMaxInsertCopies) return;
    for (int r = 0; r < rows; ++r)
      for (int col = 0; col < cols; ++col) {
        const double ox = col * dx, oy = r * dy;
        // place * rotate * (scale, offset for the array cell)
        const Affine local{std::cos(rot) * sx,
                           std::sin(rot) * sx,
                           -std::sin(rot) * sy,
                           std::cos(rot) * sy,
                           px + std::cos(rot) * ox - std::sin(rot) * oy,
                           py + std::sin(rot) * ox + std::cos(rot) * oy};
        block(e.text(2), t, local, c, depth);
        if (++visits > kMaxVisits || work > kMaxWork) return;
      }
  }

  void entity(const Entity& e, const Affine& world, COLORREF byBlock, int depth) {
    static const Layer kDefaultLayer;
    auto li = d.layers.find(Upper(e.str(8)));
    const Layer& layer = li == d.layers.end() ? kDefaultLayer : li->second;
    if (!layer.visible) return;
    bool ok = true;
    // Hidden entities, and paper-space ones (title blocks, viewports) unless the
    // drawing has nothing else.
    if (e.inum(60, 0, ok) == 1 || (!paperSpace && e.inum(67, 0, ok) == 1)) return;
    const COLORREF c = color(e, byBlock, layer);
    const std::string_view type = e.type;
    // Entities whose coordinates are in their own plane; the others use world
    // coordinates throughout.
    const bool planar = type == "CIRCLE" || type == "ARC" || type == "LWPOLYLINE" || type == "SOLID" ||
                        type == "TRACE" || type == "TEXT" || type == "ATTRIB" || type == "INSERT" ||
                        (type == "POLYLINE" && !(e.inum(70, 0, ok) & 8));
    const Affine t = planar ? world.then(Ocs(e, ok)) : world;
    Points pts;
    auto point = [&](int cx, int cy) {
      double x, y;
      t.apply(e.num(cx, 0, ok), e.num(cy, 0, ok), x, y);
      pts.emplace_back(x, y);
    };
    if (type == "LINE") {
      point(10, 20);
      point(11, 21);
      if (ok) figure(pts, false, false, c);
    } else if (type == "POINT") {
      point(10, 20);
      // One device pixel long: a dot (measuring takes the point alone).
      if (ok && canvas) pts.emplace_back(pts.back().first + pixel, pts.back().second);
      if (ok) figure(pts, false, false, c);
    } else if (type == "CIRCLE" || type == "ARC") {
      const double cx = e.num(10, 0, ok), cy = e.num(20, 0, ok), r = e.num(40, 0, ok);
      double a0 = 0, sweep = 2 * kPi;
      if (type == "ARC") {
        a0 = e.num(50, 0, ok) * kPi / 180;
        sweep = std::fmod(e.num(51, 360, ok) * kPi / 180 - a0, 2 * kPi);
        if (sweep <= 0) sweep += 2 * kPi;
      }
      if (!ok || r <= 0) return;
      Arc(pts, t, cx, cy, r, r, 0, a0, sweep);
      figure(pts, type == "CIRCLE", false, c);
    } else if (type == "ELLIPSE") {
      const double cx = e.num(10, 0, ok), cy = e.num(20, 0, ok), mx = e.num(11, 1, ok), my = e.num(21, 0, ok);
      const double ratio = e.num(40, 1, ok), p0 = e.num(41, 0, ok), p1 = e.num(42, 2 * kPi, ok);
      double sweep = p1 - p0;
      while (sweep <= 0 && std::isfinite(sweep) && sweep > -100) sweep += 2 * kPi;
      if (!ok || !(sweep > 0) || sweep > 2 * kPi + 1e-9) sweep = 2 * kPi;
      const double major = std::hypot(mx, my);
      if (!ok || major == 0) return;
      // Seen from below (extrusion down) the parameter runs clockwise.
      const double minor = major * ratio * (e.num(230, 1, ok) < 0 ? -1 : 1);
      Arc(pts, t, cx, cy, major, minor, std::atan2(my, mx), p0, sweep);
      figure(pts, std::abs(sweep - 2 * kPi) < 1e-9, false, c);
    } else if (type == "SOLID" || type == "TRACE" || type == "3DFACE") {
      point(10, 20);
      point(11, 21);
      if (e.text(13)) point(13, 23);
      point(12, 22);
      if (type == "3DFACE") std::swap(pts[2], pts.back());  // faces go round in order
      if (ok) figure(pts, true, type != "3DFACE", c);
    } else if (type == "LWPOLYLINE" || type == "POLYLINE") {
      std::vector<std::array<double, 3>> v;
      if (type == "LWPOLYLINE") {
        for (const Group& g : e) {
          std::optional<double> n = Number(g.value);
          if (!n && (g.code == 10 || g.code == 20 || g.code == 42)) return;
          if (g.code == 10 && v.size() < 1000000) v.push_back({*n, 0, 0});
          if (g.code == 20 && !v.empty()) v.back()[1] = *n;
          if (g.code == 42 && !v.empty()) v.back()[2] = *n;
        }
      } else {
        // Meshes (flags 16, 64) are not outlines.
        if (e.inum(70, 0, ok) & (16 | 64)) return;
        for (const Entity& vx : e.vertices) v.push_back({vx.num(10, 0, ok), vx.num(20, 0, ok), vx.num(42, 0, ok)});
      }
      const bool closed = e.inum(70, 0, ok) & 1;
      if (!ok || v.empty()) return;
      figure(Bulged(v, closed, t), closed && v.size() > 2, false, c);
    } else if (type == "SPLINE") {
      for (const auto& p : Spline(e, ok)) {
        double x, y;
        t.apply(p.first, p.second, x, y);
        pts.emplace_back(x, y);
      }
      if (ok && pts.size() >= 2) figure(pts, false, false, c);
    } else if (type == "TEXT" || type == "MTEXT" || (type == "ATTRIB" && !(e.inum(70, 0, ok) & 1))) {
      text(e, t, c, ok);
    } else if (type == "INSERT") {
      insert(e, t, c, depth, ok);
    } else if (type == "DIMENSION") {
      // Its lines, arrows and text are a block drawn where they stand.
      block(e.text(2), t, Affine{}, c, depth);
    }
  }

  void entities(const std::vector<Entity>& list, const Affine& t, COLORREF byBlock, int depth) {
    for (const Entity& e : list) {
      if (++visits > kMaxVisits || work > kMaxWork || (canvas && canvas->full())) return;
      work += static_cast<size_t>(e.end() - e.begin()) + e.vertices.size();
      entity(e, t, byBlock, depth);
    }
  }
};

double MillimetresPerUnit(int insUnits) {
  switch (insUnits) {
    case 1: return 25.4;       // inches
    case 2: return 304.8;      // feet
    case 3: return 1609344.0;  // miles
    case 5: return 10.0;       // centimetres
    case 6: return 1000.0;     // metres
    case 7: return 1000000.0;  // kilometres
    case 8: return 25.4e-6;    // microinches
    case 9: return 0.0254;     // mils
    case 10: return 914.4;     // yards
    case 13: return 0.001;     // microns
    case 14: return 100.0;     // decimetres
    default: return 1.0;       // millimetres, or unitless
  }
}

// The part of the drawing to frame: the header's extent ($EXTMIN/$EXTMAX) when it
// holds everything drawn with a margin of at most ten times its size (a drawing
// laid out on a larger sheet), else what is drawn. Writers leave the header unset
// (1e20 / -1e20), stale or far too large often enough that it is only a hint.
Bounds ChooseExtent(const Drawing& d, const Bounds& measured) {
  if (!(d.extMinX && d.extMinY && d.extMaxX && d.extMaxY)) return measured;
  const Bounds header{*d.extMinX, *d.extMinY, *d.extMaxX, *d.extMaxY, true};
  const double mw = measured.maxX - measured.minX, mh = measured.maxY - measured.minY;
  const double hw = header.maxX - header.minX, hh = header.maxY - header.minY;
  const double slack = 1e-6 * std::max(hw, hh);
  const bool holds = measured.minX >= header.minX - slack && measured.maxX <= header.maxX + slack &&
                     measured.minY >= header.minY - slack && measured.maxY <= header.maxY + slack;
  if (hw > 0 && hh > 0 && holds && std::max(hw, hh) <= 10 * std::max(mw, mh)) return header;
  return measured;
}

}  // namespace

bool IsDxf(const BYTE* data, size_t size) {
  if (!data || size < 10) return false;
  // A leading "999" comment group may come first; the first section starts within
  // a handful of lines.
  vel::ByteReader in(data, std::min<size_t>(size, 1024));
  SkipByteOrderMark(in);
  std::string_view l, previous;
  for (int line = 0; line < 12 && NextLine(in, l); ++line) {
    l = Trim(l);
    if (l == "SECTION" && previous == "0" && line % 2 == 1) return true;
    previous = l;
  }
  return false;
}

vel::Expected<VectorDrawing> DecodeDxf(const BYTE* data, size_t size) {
  if (!IsDxf(data, size)) return vel::Fail("DXF: not an ASCII drawing");
  try {
    std::vector<Group> groups;
    Drawing d;
    if (auto read = ReadGroups(data, size, groups); !read) return vel::Fail(read.error());
    if (!ParseDrawing(groups, d)) return vel::Fail("DXF: no section");

    // Model space first; paper space only for a drawing that has nothing else.
    Bounds measured;
    bool paperSpace = false;
    for (bool paper : {false, true}) {
      Walk measure(d);
      measure.bounds = &measured;
      measure.paperSpace = paperSpace = paper;
      measure.entities(d.entities, Affine{}, RGB(0, 0, 0), 0);
      if (measured.any) break;
    }
    if (!measured.any) return vel::Fail("DXF: nothing drawable");

    Bounds extent = ChooseExtent(d, measured);
    double w = extent.maxX - extent.minX, h = extent.maxY - extent.minY;
    // 0.01 mm per drawing unit, then the longest side brought within the limits.
    double scale = MillimetresPerUnit(d.insUnits) * 100;
    const double longest = std::max(w, h) * scale;
    if (longest > kMaxFrameSide)
      scale *= kMaxFrameSide / longest;
    else if (longest > 0 && longest < kMinFrameSide)
      scale *= kMinFrameSide / longest;
    // A point, or a line along one axis, still gets a small frame around it.
    const double least = kMinFrameSide / scale;
    const double cx = (extent.minX + extent.maxX) / 2, cy = (extent.minY + extent.maxY) / 2;
    w = std::max(w, least), h = std::max(h, least);
    if (!std::isfinite(w) || !std::isfinite(h) || !(w > 0) || !(h > 0))
      return vel::Fail("DXF: the drawing has no size");
    const int fw = ClampToInt(std::round(std::clamp(w * scale, kMinFrameSide, kMaxFrameSide)), 1);
    const int fh = ClampToInt(std::round(std::clamp(h * scale, kMinFrameSide, kMaxFrameSide)), 1);

    // Logical units: a power of ten that spreads the larger side over 10^5..10^6.
    const double k = std::pow(10.0, std::floor(std::log10(1e6 / std::max(w, h))));
    const LONG lw = std::max<LONG>(1, std::lround(w * k)), lh = std::max<LONG>(1, std::lround(h * k));
    EmfCanvas canvas(POINTL{0, lh}, SIZEL{lw, -lh}, fw, fh);
    Walk draw(d);
    draw.canvas = &canvas;
    draw.originX = cx - w / 2;
    draw.originY = cy - h / 2;
    draw.k = k;
    draw.pixel = w / std::max(1.0, fw / 2540.0 * vector_detail::kDevicePpi);
    draw.paperSpace = paperSpace;
    draw.entities(d.entities, Affine{}, RGB(0, 0, 0), 0);

    VectorDrawing out;
    out.widthHundredthsMm = canvas.frameWidth();
    out.heightHundredthsMm = canvas.frameHeight();
    out.emf = canvas.finish();
    return out;
  } catch (...) {
    return vel::Fail("DXF: not enough memory for the drawing");
  }
}

bool ReadDxf(const BYTE* data, size_t size, VectorDrawing& out) {
  return vector_detail::Give(DecodeDxf(data, size), out);
}

}  // namespace lorimer::formats
