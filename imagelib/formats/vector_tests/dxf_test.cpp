// ASCII DXF drawings read into enhanced metafiles: entities checked after mapping
// to device pixels, colours, units, extents and frames, splines, a drawing as a
// CAD library writes it, and hostile texts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "imagelib/formats/dxf.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"

namespace lorimer::formats {
namespace {

namespace emf = vel::gdi::emf;

struct Drawn {
  DWORD type = 0;
  std::vector<BYTE> body;
  std::vector<double> x, y;  // device pixels
  COLORREF pen = 0, brush = 0, textColor = 0;
  bool brushNull = true;
  LONG fontHeight = 0, escapement = 0;
  LONG i32(size_t at) const {
    LONG v;
    std::memcpy(&v, body.data() + at, 4);
    return v;
  }
};

// Walks the records keeping the mapping and the selected objects; every drawing
// record comes back with its points in device pixels.
std::vector<Drawn> Play(const std::vector<BYTE>& bytes, double* fontScale = nullptr) {
  std::vector<Drawn> out;
  double ox = 0, oy = 0, wx = 1, wy = 1, vx = 1, vy = 1;
  struct Obj {
    DWORD kind;
    COLORREF color;
    LONG height, escapement;
  };
  std::vector<Obj> table(16, Obj{0, 0, 0, 0});
  Drawn state;
  size_t at = 0;
  while (at + 8 <= bytes.size()) {
    DWORD type, size;
    std::memcpy(&type, &bytes[at], 4);
    std::memcpy(&size, &bytes[at + 4], 4);
    if (size < 8 || size % 4 || at + size > bytes.size()) break;
    Drawn r = state;
    r.type = type;
    r.body.assign(bytes.begin() + at + 8, bytes.begin() + at + size);
    auto dev = [&](LONG lx, LONG ly) {
      r.x.push_back((lx - ox) * vx / wx);
      r.y.push_back((ly - oy) * vy / wy);
    };
    switch (type) {
      case emf::EMR_SETWINDOWORGEX: ox = r.i32(0), oy = r.i32(4); break;
      case emf::EMR_SETWINDOWEXTEX: wx = r.i32(0), wy = r.i32(4); break;
      case emf::EMR_SETVIEWPORTEXTEX: vx = r.i32(0), vy = r.i32(4); break;
      case emf::EMR_SETTEXTCOLOR: state.textColor = static_cast<COLORREF>(r.i32(0)); break;
      case emf::EMR_CREATEPEN: table.at(r.i32(0)) = Obj{1, static_cast<COLORREF>(r.i32(16)), 0, 0}; break;
      case emf::EMR_CREATEBRUSHINDIRECT: table.at(r.i32(0)) = Obj{2, static_cast<COLORREF>(r.i32(8)), 0, 0}; break;
      case emf::EMR_EXTCREATEFONTINDIRECTW: table.at(r.i32(0)) = Obj{3, 0, r.i32(4), r.i32(12)}; break;
      case emf::EMR_SELECTOBJECT: {
        const DWORD h = static_cast<DWORD>(r.i32(0));
        if (h == (emf::kStockObjectFlag | NULL_BRUSH))
          state.brushNull = true;
        else if (h < 16 && table[h].kind == 1)
          state.pen = table[h].color;
        else if (h < 16 && table[h].kind == 2)
          state.brush = table[h].color, state.brushNull = false;
        else if (h < 16 && table[h].kind == 3)
          state.fontHeight = table[h].height, state.escapement = table[h].escapement;
        break;
      }
      case emf::EMR_POLYLINE:
      case emf::EMR_POLYGON: {
        const DWORD n = static_cast<DWORD>(r.i32(16));
        EXPECT_EQ(r.body.size(), 20 + n * 8u);
        for (DWORD i = 0; i < n; ++i) dev(r.i32(20 + i * 8), r.i32(24 + i * 8));
        out.push_back(r);
        break;
      }
      case emf::EMR_EXTTEXTOUTW:
        dev(r.i32(28), r.i32(32));
        out.push_back(r);
        break;
      default: break;
    }
    at += size;
  }
  EXPECT_EQ(at, bytes.size());
  if (fontScale) *fontScale = std::abs(vy / wy);
  return out;
}

std::u16string TextOf(const Drawn& r) {
  const DWORD n = static_cast<DWORD>(r.i32(36)), off = static_cast<DWORD>(r.i32(40)) - 8;
  std::u16string s;
  for (DWORD i = 0; i < n; ++i) s += static_cast<char16_t>(r.body[off + i * 2] | (r.body[off + i * 2 + 1] << 8));
  return s;
}

using Pairs = std::vector<std::pair<int, std::string>>;

std::string Text(const Pairs& pairs, const char* eol = "\n") {
  std::string s;
  for (const auto& [code, value] : pairs) s += std::to_string(code) + eol + value + eol;
  return s;
}

Pairs Section(const char* name, const Pairs& body) {
  Pairs p{{0, "SECTION"}, {2, name}};
  p.insert(p.end(), body.begin(), body.end());
  p.push_back({0, "ENDSEC"});
  return p;
}

Pairs Join(std::initializer_list<Pairs> parts) {
  Pairs all;
  for (const Pairs& p : parts) all.insert(all.end(), p.begin(), p.end());
  all.push_back({0, "EOF"});
  return all;
}

bool Read(const std::string& text, VectorDrawing& d) {
  return ReadDxf(reinterpret_cast<const BYTE*>(text.data()), text.size(), d);
}

constexpr double kPxPerMm = 96 / 25.4;
// The viewport is the frame in whole pixels, so small drawings may be off by its rounding.
constexpr double kHalfPixel = 0.5;

// 100 x 50 mm with the origin at the lower left, so device y = (50 - y) mm.
const Pairs kFrameLine = {{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "100"}, {21, "50"}};

TEST(DxfSniff, RecognisesSectionsNearTheStart) {
  auto is = [](const std::string& s) { return IsDxf(reinterpret_cast<const BYTE*>(s.data()), s.size()); };
  EXPECT_TRUE(is("0\nSECTION\n2\nHEADER\n"));
  EXPECT_TRUE(is("  0\r\nSECTION\r\n  2\r\nENTITIES\r\n"));
  EXPECT_TRUE(is("999\nmade by hand\n0\nSECTION\n2\nENTITIES\n"));
  EXPECT_FALSE(is("AutoCAD Binary DXF\r\n\x1a"));
  EXPECT_FALSE(is("SECTION\n0\nSECTION\n"));  // a value where a code belongs
  EXPECT_FALSE(is("hello world, this is text"));
  EXPECT_FALSE(is(""));
}

TEST(DxfEntities, LineCircleAndPolylinesMapWithYUp) {
  const Pairs ents = {
      kFrameLine[0],     kFrameLine[1], kFrameLine[2], kFrameLine[3],     kFrameLine[4], kFrameLine[5], {0, "CIRCLE"},
      {10, "50"},        {20, "25"},    {40, "10"},    {0, "LWPOLYLINE"}, {90, "4"},     {70, "1"},     {10, "10"},
      {20, "10"},        {10, "20"},    {20, "10"},    {10, "20"},        {20, "20"},    {10, "10"},    {20, "20"},
      {0, "LWPOLYLINE"}, {90, "2"},     {70, "0"},     {10, "0"},         {20, "50"},    {10, "30"},    {20, "50"},
  };
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("ENTITIES", ents)})), d));
  EXPECT_EQ(d.widthHundredthsMm, 10000);
  EXPECT_EQ(d.heightHundredthsMm, 5000);
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(d.emf.size()), d.emf.data());
  ASSERT_NE(m, nullptr);
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(m, sizeof h, &h);
  DeleteEnhMetaFile(m);
  EXPECT_EQ(h.rclFrame.right, 10000);
  EXPECT_EQ(h.rclFrame.bottom, 5000);

  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 4u);
  const Drawn& line = drawn[0];
  EXPECT_EQ(line.type, emf::EMR_POLYLINE);
  EXPECT_NEAR(line.x[0], 0, 0.05);
  EXPECT_NEAR(line.y[0], 50 * kPxPerMm, 0.05);
  EXPECT_NEAR(line.x[1], 100 * kPxPerMm, 0.05);
  EXPECT_NEAR(line.y[1], 0, 0.05);

  const Drawn& circle = drawn[1];
  EXPECT_EQ(circle.type, emf::EMR_POLYGON);
  EXPECT_GE(circle.x.size(), 36u);
  for (size_t i = 0; i < circle.x.size(); ++i)
    EXPECT_NEAR(std::hypot(circle.x[i] - 50 * kPxPerMm, circle.y[i] - 25 * kPxPerMm), 10 * kPxPerMm, 0.05);
  EXPECT_TRUE(circle.brushNull);

  const Drawn& square = drawn[2];
  EXPECT_EQ(square.type, emf::EMR_POLYGON);
  ASSERT_EQ(square.x.size(), 4u);
  EXPECT_NEAR(square.y[0], 40 * kPxPerMm, 0.05);
  EXPECT_NEAR(square.y[2], 30 * kPxPerMm, 0.05);

  const Drawn& open = drawn[3];
  EXPECT_EQ(open.type, emf::EMR_POLYLINE);
  EXPECT_NEAR(open.y[1], 0, 0.05);
  EXPECT_NEAR(open.x[1], 30 * kPxPerMm, 0.05);
}

TEST(DxfEntities, BulgedSegmentIsAnArc) {
  // A half circle from (0,0) to (20,0) bulging below the chord (bulge 1 turns left).
  const Pairs ents = {{0, "LWPOLYLINE"}, {90, "2"}, {70, "0"}, {10, "0"}, {20, "0"}, {42, "1"}, {10, "20"}, {20, "0"}};
  const Pairs header = {{9, "$EXTMIN"}, {10, "-10"}, {20, "-20"}, {9, "$EXTMAX"}, {10, "30"}, {20, "20"}};
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("HEADER", header), Section("ENTITIES", ents)})), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  ASSERT_GT(drawn[0].x.size(), 10u);
  double lowest = 0;
  for (size_t i = 0; i < drawn[0].x.size(); ++i) {
    EXPECT_NEAR(std::hypot(drawn[0].x[i] - 20 * kPxPerMm, drawn[0].y[i] - 20 * kPxPerMm), 10 * kPxPerMm, kHalfPixel);
    lowest = std::max(lowest, drawn[0].y[i]);
  }
  EXPECT_NEAR(lowest, 30 * kPxPerMm, kHalfPixel);  // y = -10 in the drawing
}

TEST(DxfEntities, SolidTakesTheThirdAndFourthPointsCrossed) {
  const Pairs ents = {{0, "SOLID"}, {62, "1"}, {10, "0"},  {20, "0"},  {11, "10"},
                      {21, "0"},    {12, "0"}, {22, "10"}, {13, "10"}, {23, "10"}};
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("ENTITIES", ents)})), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  const Drawn& s = drawn[0];
  EXPECT_EQ(s.type, emf::EMR_POLYGON);
  EXPECT_FALSE(s.brushNull);
  EXPECT_EQ(s.brush, RGB(255, 0, 0));
  ASSERT_EQ(s.x.size(), 4u);
  // Order 1-2-4-3 walks round the square instead of crossing it.
  const double e = 10 * kPxPerMm;
  EXPECT_NEAR(s.x[0], 0, kHalfPixel);
  EXPECT_NEAR(s.y[0], e, kHalfPixel);
  EXPECT_NEAR(s.x[1], e, kHalfPixel);
  EXPECT_NEAR(s.y[1], e, kHalfPixel);
  EXPECT_NEAR(s.x[2], e, kHalfPixel);
  EXPECT_NEAR(s.y[2], 0, kHalfPixel);
  EXPECT_NEAR(s.x[3], 0, kHalfPixel);
  EXPECT_NEAR(s.y[3], 0, kHalfPixel);
}

TEST(DxfText, TextAndMTextWithFormatting) {
  Pairs ents = kFrameLine;
  const Pairs text = {{0, "TEXT"}, {10, "10"}, {20, "20"}, {40, "5"}, {1, "Hello %%d"}, {50, "90"}};
  const Pairs mtext = {{0, "MTEXT"}, {10, "50"}, {20, "40"},
                       {40, "4"},    {71, "1"},  {1, "{\\fArial|b1;Big}\\Pline\\~two \\S1^2;"}};
  ents.insert(ents.end(), text.begin(), text.end());
  ents.insert(ents.end(), mtext.begin(), mtext.end());
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("ENTITIES", ents)})), d));
  double scale = 0;
  const std::vector<Drawn> drawn = Play(d.emf, &scale);
  ASSERT_EQ(drawn.size(), 4u);
  const Drawn& t = drawn[1];
  EXPECT_EQ(t.type, emf::EMR_EXTTEXTOUTW);
  EXPECT_EQ(TextOf(t), u"Hello \u00B0");
  EXPECT_NEAR(t.x[0], 10 * kPxPerMm, 0.05);
  EXPECT_NEAR(t.y[0], 30 * kPxPerMm, 0.05);
  EXPECT_NEAR(std::abs(t.fontHeight) * scale, 5 * kPxPerMm, 0.05);
  EXPECT_EQ(t.escapement, 900);
  EXPECT_EQ(t.textColor, RGB(0, 0, 0));
  EXPECT_EQ(TextOf(drawn[2]), u"Big");
  EXPECT_EQ(TextOf(drawn[3]), u"line two 1/2");
  // Hanging from the top-left: the first baseline one text height down, the next lower.
  EXPECT_NEAR(drawn[2].y[0], (50 - 40 + 4) * kPxPerMm, 0.05);
  EXPECT_GT(drawn[3].y[0], drawn[2].y[0]);
}

TEST(DxfBlocks, InsertPlacesScalesAndRotates) {
  const Pairs blocks = {{0, "BLOCK"}, {2, "B"},  {10, "1"},  {20, "0"}, {0, "LINE"},  {62, "0"},
                        {10, "1"},    {20, "0"}, {11, "11"}, {21, "0"}, {0, "ENDBLK"}};
  Pairs ents = kFrameLine;
  const Pairs ins = {{0, "INSERT"}, {2, "B"}, {62, "5"}, {10, "20"}, {20, "10"}, {41, "2"}, {42, "2"}, {50, "90"}};
  ents.insert(ents.end(), ins.begin(), ins.end());
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("BLOCKS", blocks), Section("ENTITIES", ents)})), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 2u);
  const Drawn& l = drawn[1];
  // The base point (1,0) lands on (20,10); the 10-unit line doubles and turns to point up.
  EXPECT_NEAR(l.x[0], 20 * kPxPerMm, 0.05);
  EXPECT_NEAR(l.y[0], 40 * kPxPerMm, 0.05);
  EXPECT_NEAR(l.x[1], 20 * kPxPerMm, 0.05);
  EXPECT_NEAR(l.y[1], 20 * kPxPerMm, 0.05);
  EXPECT_EQ(l.pen, RGB(0, 0, 255));  // BYBLOCK takes the insert's blue
}

TEST(DxfColours, ByLayerExplicitAndDefault) {
  const Pairs tables = {{0, "TABLE"}, {2, "LAYER"}, {0, "LAYER"},  {2, "Walls"}, {70, "0"},
                        {62, "1"},    {0, "LAYER"}, {2, "Hidden"}, {62, "-3"},   {0, "ENDTAB"}};
  const Pairs ents = {{0, "LINE"},    {8, "Walls"}, {62, "256"}, {10, "0"}, {20, "0"},   {11, "10"},  {21, "10"},
                      {0, "LINE"},    {8, "Walls"}, {10, "0"},   {20, "0"}, {11, "10"},  {21, "5"},   {0, "LINE"},
                      {8, "Walls"},   {62, "3"},    {10, "0"},   {20, "0"}, {11, "5"},   {21, "10"},  {0, "LINE"},
                      {8, "Nowhere"}, {10, "0"},    {20, "0"},   {11, "1"}, {21, "1"},   {0, "LINE"}, {8, "Hidden"},
                      {10, "0"},      {20, "0"},    {11, "2"},   {21, "2"}, {0, "LINE"}, {62, "8"},   {420, "1193046"},
                      {10, "0"},      {20, "0"},    {11, "3"},   {21, "3"}};
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("TABLES", tables), Section("ENTITIES", ents)})), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 5u);  // the layer that is off draws nothing
  EXPECT_EQ(drawn[0].pen, RGB(255, 0, 0));
  EXPECT_EQ(drawn[1].pen, RGB(255, 0, 0));
  EXPECT_EQ(drawn[2].pen, RGB(0, 255, 0));
  EXPECT_EQ(drawn[3].pen, RGB(0, 0, 0));
  EXPECT_EQ(drawn[4].pen, RGB(0x12, 0x34, 0x56));  // true colour wins over the index
}

TEST(DxfUnits, CrLfInchesAndHeaderExtent) {
  const std::string lf = Text(Join({Section("ENTITIES", kFrameLine)}));
  const std::string crlf = Text(Join({Section("ENTITIES", kFrameLine)}), "\r\n");
  VectorDrawing a, b;
  ASSERT_TRUE(Read(lf, a));
  ASSERT_TRUE(Read(crlf, b));
  EXPECT_EQ(a.emf, b.emf);

  const Pairs inches = {{9, "$INSUNITS"}, {70, "1"}};
  const Pairs inchLine = {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "5"}};
  VectorDrawing in;
  ASSERT_TRUE(Read(Text(Join({Section("HEADER", inches), Section("ENTITIES", inchLine)})), in));
  EXPECT_EQ(in.widthHundredthsMm, 25400);
  EXPECT_EQ(in.heightHundredthsMm, 12700);

  const Pairs ext = {{9, "$EXTMIN"}, {10, "-100"}, {20, "-50"}, {30, "0"}, {9, "$EXTMAX"}, {10, "100"}, {20, "50"}};
  VectorDrawing e;
  ASSERT_TRUE(Read(Text(Join({Section("HEADER", ext), Section("ENTITIES", kFrameLine)})), e));
  EXPECT_EQ(e.widthHundredthsMm, 20000);
  EXPECT_EQ(e.heightHundredthsMm, 10000);
  const std::vector<Drawn> drawn = Play(e.emf);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_NEAR(drawn[0].x[0], 100 * kPxPerMm, 0.05);
  EXPECT_NEAR(drawn[0].y[0], 50 * kPxPerMm, 0.05);

  // Unset extents (AutoCAD writes 1e20 / -1e20) give way to the entities' own.
  const Pairs unset = {{9, "$EXTMIN"}, {10, "1e20"}, {20, "1e20"}, {9, "$EXTMAX"}, {10, "-1e20"}, {20, "-1e20"}};
  VectorDrawing u;
  ASSERT_TRUE(Read(Text(Join({Section("HEADER", unset), Section("ENTITIES", kFrameLine)})), u));
  EXPECT_EQ(u.widthHundredthsMm, 10000);
}

// ---- frames -----------------------------------------------------------------------

// A point: device pixels, or drawing units where a test says so.
struct Spot {
  double x, y;
};

TEST(DxfFrames, DegenerateHugeAndTinyDrawingsGetSaneFrames) {
  struct Case {
    const char* name;
    Pairs header, entities;
    int width, height;  // frame, 0.01 mm
    Spot first, last;   // ends of the first figure, device pixels
  };
  const double mm = kPxPerMm;
  const Case cases[] = {
      {"long line",
       {},
       {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "1000"}, {21, "100"}},
       100000,
       10000,
       {0, 100 * mm},
       {1000 * mm, 0}},
      // Zero height: a 5 mm strip with the line along its middle.
      {"horizontal line",
       {},
       {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "1000"}, {21, "0"}},
       100000,
       500,
       {0, 2.5 * mm},
       {1000 * mm, 2.5 * mm}},
      // Nothing but a point: a 5 mm square with a one-pixel dot in the middle.
      {"lone point",
       {},
       {{0, "POINT"}, {10, "5"}, {20, "5"}},
       500,
       500,
       {2.5 * mm, 2.5 * mm},
       {2.5 * mm + 1, 2.5 * mm}},
      // A kilometre by half a kilometre: the longest side comes down to one metre.
      {"huge",
       {},
       {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "1e6"}, {21, "5e5"}},
       100000,
       50000,
       {0, 500 * mm},
       {1000 * mm, 0}},
      // A circle of 2 microns is shown 5 mm across, not as nothing.
      {"tiny",
       {},
       {{0, "CIRCLE"}, {10, "0"}, {20, "0"}, {40, "0.001"}},
       500,
       500,
       {5 * mm, 2.5 * mm},
       {5 * mm, 2.5 * mm}},
      // A header extent that misses part of the drawing, or dwarfs it, gives way.
      {"stale header",
       {{9, "$EXTMIN"}, {10, "0"}, {20, "0"}, {9, "$EXTMAX"}, {10, "10"}, {20, "10"}},
       {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "100"}, {21, "50"}},
       10000,
       5000,
       {0, 50 * mm},
       {100 * mm, 0}},
      {"header far too large",
       {{9, "$EXTMIN"}, {10, "-1e5"}, {20, "-1e5"}, {9, "$EXTMAX"}, {10, "1e5"}, {20, "1e5"}},
       {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "100"}, {21, "50"}},
       10000,
       5000,
       {0, 50 * mm},
       {100 * mm, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VectorDrawing d;
    ASSERT_TRUE(Read(Text(Join({Section("HEADER", c.header), Section("ENTITIES", c.entities)})), d));
    EXPECT_EQ(d.widthHundredthsMm, c.width);
    EXPECT_EQ(d.heightHundredthsMm, c.height);
    const std::vector<Drawn> drawn = Play(d.emf);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NEAR(drawn[0].x.front(), c.first.x, kHalfPixel);
    EXPECT_NEAR(drawn[0].y.front(), c.first.y, kHalfPixel);
    EXPECT_NEAR(drawn[0].x.back(), c.last.x, kHalfPixel);
    EXPECT_NEAR(drawn[0].y.back(), c.last.y, kHalfPixel);
  }
}

// ---- splines ----------------------------------------------------------------------

// The smallest distance from (x, y) to the figure's points, in device pixels.
double Nearest(const Drawn& r, double x, double y) {
  double best = 1e300;
  for (size_t i = 0; i < r.x.size(); ++i) best = std::min(best, std::hypot(r.x[i] - x, r.y[i] - y));
  return best;
}

TEST(DxfSplines, FitPointsAndControlPointForms) {
  // Drawn on a 40 x 20 mm frame held by a border line; y up, so device y = (20 - y) mm.
  const Pairs border = {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "40"}, {21, "20"}};
  const Pairs bezier = {{10, "0"}, {20, "0"}, {10, "0"}, {20, "20"}, {10, "40"}, {20, "20"}, {10, "40"}, {20, "0"}};
  const Pairs knots = {{40, "0"}, {40, "0"}, {40, "0"}, {40, "0"}, {40, "1"}, {40, "1"}, {40, "1"}, {40, "1"}};
  auto spline = [&](const Pairs& groups) {
    Pairs p = border;
    p.insert(p.end(), {{0, "SPLINE"}, {100, "AcDbSpline"}, {70, "8"}, {71, "3"}});
    p.insert(p.end(), groups.begin(), groups.end());
    return p;
  };
  Pairs withKnots = knots;
  withKnots.insert(withKnots.end(), bezier.begin(), bezier.end());
  const Pairs fit = {{11, "0"}, {21, "0"}, {11, "10"}, {21, "15"}, {11, "30"}, {21, "5"}, {11, "40"}, {21, "20"}};
  struct Case {
    const char* name;
    Pairs entities;
    std::vector<Spot> on;  // drawing points the curve passes through
  };
  // The cubic Bezier (0,0) (0,20) (40,20) (40,0) passes (20,15) at its middle.
  const Case cases[] = {
      {"fit points", spline(fit), {{0, 0}, {10, 15}, {30, 5}, {40, 20}}},
      {"control points and knots", spline(withKnots), {{0, 0}, {20, 15}, {40, 0}}},
      {"control points alone", spline(bezier), {{0, 0}, {20, 15}, {40, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VectorDrawing d;
    ASSERT_TRUE(Read(Text(Join({Section("ENTITIES", c.entities)})), d));
    EXPECT_EQ(d.widthHundredthsMm, 4000);
    EXPECT_EQ(d.heightHundredthsMm, 2000);
    const std::vector<Drawn> drawn = Play(d.emf);
    ASSERT_EQ(drawn.size(), 2u);
    ASSERT_GT(drawn[1].x.size(), 16u);
    for (const Spot& s : c.on)
      EXPECT_LT(Nearest(drawn[1], s.x * kPxPerMm, (20 - s.y) * kPxPerMm), 1.0) << s.x << "," << s.y;
  }
}

// ---- drawings as CAD programs write them ------------------------------------------

// python3-ezdxf writes files the way AutoCAD does: every section, handles, owners,
// subclass markers, right-aligned group codes, classes and objects.
std::string PythonWithEzdxf() {
  for (const char* python : {"python3", "/usr/bin/python3"})
    if (std::system((std::string(python) + " -c 'import ezdxf' >/dev/null 2>&1").c_str()) == 0) return python;
  return "";
}

TEST(DxfInterop, DrawingWrittenByACadLibrary) {
  const std::string python = PythonWithEzdxf();
  if (python.empty()) GTEST_SKIP() << "python3-ezdxf is not installed (Debian package python3-ezdxf)";
  char dir[] = "/tmp/dxf-interop-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string script = std::string(dir) + "/write.py", path = std::string(dir) + "/drawing.dxf";
  // A 200 x 100 m site (ezdxf's default unit is the metre) framed by a border.
  std::ofstream(script) << R"(import sys, ezdxf
doc = ezdxf.new("R2018", setup=True)
msp = doc.modelspace()
msp.add_lwpolyline([(0, 0), (200, 0), (200, 100), (0, 100)], close=True)
msp.add_line((20, 10), (180, 10), dxfattribs={"color": 1})
msp.add_circle((40, 50), 10, dxfattribs={"color": 2})
msp.add_arc((80, 50), 10, 0, 180, dxfattribs={"color": 3})
msp.add_solid([(130, 40), (150, 40), (130, 60), (150, 60)], dxfattribs={"color": 5})
msp.add_point((160, 50), dxfattribs={"color": 6})
msp.add_text("Hello", dxfattribs={"height": 5, "insert": (20, 80)})
msp.add_mtext("{\\fArial|b1;Big}\\Pline two", dxfattribs={"char_height": 4, "insert": (100, 90)})
msp.add_spline([(20, 20), (40, 30), (60, 20), (80, 30)], dxfattribs={"true_color": 0x102030})
msp.add_open_spline([(100, 20), (100, 30), (130, 30), (130, 20)], degree=3, dxfattribs={"true_color": 0x112233})
mark = doc.blocks.new("Mark")
mark.add_line((0, 0), (5, 0), dxfattribs={"color": 0})
msp.add_blockref("MARK", (170, 20), dxfattribs={"xscale": 2, "yscale": 2, "rotation": 90, "true_color": 0x123456})
msp.add_circle((-150, 50), 5, dxfattribs={"true_color": 0x204060, "extrusion": (0, 0, -1)})
doc.layout("Layout1").add_line((0, 0), (500, 500), dxfattribs={"true_color": 0xABCDEF})
doc.saveas(sys.argv[1])
)";
  ASSERT_EQ(std::system((python + " " + script + " " + path).c_str()), 0);
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  ASSERT_NE(text.find("OBJECTS"), std::string::npos);

  VectorDrawing d;
  ASSERT_TRUE(Read(text, d));
  // 200 m held to one metre: 5 mm of frame per drawing metre.
  EXPECT_EQ(d.widthHundredthsMm, 100000);
  EXPECT_EQ(d.heightHundredthsMm, 50000);
  const double unit = 5 * kPxPerMm;
  auto x = [&](double v) { return v * unit; };
  auto y = [&](double v) { return (100 - v) * unit; };
  const std::vector<Drawn> drawn = Play(d.emf);
  auto find = [&](COLORREF pen) -> const Drawn* {
    for (const Drawn& r : drawn)
      if (r.type != emf::EMR_EXTTEXTOUTW && r.pen == pen) return &r;
    return nullptr;
  };

  const Drawn* line = find(RGB(255, 0, 0));
  ASSERT_NE(line, nullptr);
  EXPECT_NEAR(line->x.front(), x(20), kHalfPixel);
  EXPECT_NEAR(line->y.front(), y(10), kHalfPixel);
  EXPECT_NEAR(line->x.back(), x(180), kHalfPixel);
  const Drawn* circle = find(RGB(255, 255, 0));
  ASSERT_NE(circle, nullptr);
  for (size_t i = 0; i < circle->x.size(); ++i)
    EXPECT_NEAR(std::hypot(circle->x[i] - x(40), circle->y[i] - y(50)), 10 * unit, kHalfPixel);
  const Drawn* point = find(RGB(255, 0, 255));
  ASSERT_NE(point, nullptr);
  EXPECT_NEAR(point->x.front(), x(160), kHalfPixel);
  EXPECT_NEAR(point->y.front(), y(50), kHalfPixel);
  const Drawn* solid = find(RGB(0, 0, 255));
  ASSERT_NE(solid, nullptr);
  EXPECT_FALSE(solid->brushNull);
  EXPECT_EQ(solid->x.size(), 4u);

  const Drawn* fit = find(RGB(0x10, 0x20, 0x30));
  ASSERT_NE(fit, nullptr);
  for (Spot s : {Spot{20, 20}, Spot{40, 30}, Spot{60, 20}, Spot{80, 30}}) EXPECT_LT(Nearest(*fit, x(s.x), y(s.y)), 1.0);
  const Drawn* control = find(RGB(0x11, 0x22, 0x33));
  ASSERT_NE(control, nullptr);
  EXPECT_LT(Nearest(*control, x(115), y(27.5)), 1.0);

  // The block's 5 m line, doubled and turned upright at (170, 20), in the insert's colour.
  const Drawn* mark = find(RGB(0x12, 0x34, 0x56));
  ASSERT_NE(mark, nullptr);
  EXPECT_NEAR(mark->x.back(), x(170), kHalfPixel);
  EXPECT_NEAR(mark->y.back(), y(30), kHalfPixel);
  // Seen from below, x runs the other way: the circle stands at (150, 50).
  const Drawn* mirrored = find(RGB(0x20, 0x40, 0x60));
  ASSERT_NE(mirrored, nullptr);
  const auto [left, right] = std::minmax_element(mirrored->x.begin(), mirrored->x.end());
  EXPECT_NEAR((*left + *right) / 2, x(150), kHalfPixel);
  // Paper space (the layout sheet) is not part of the model.
  EXPECT_EQ(find(RGB(0xAB, 0xCD, 0xEF)), nullptr);

  std::vector<std::u16string> texts;
  for (const Drawn& r : drawn)
    if (r.type == emf::EMR_EXTTEXTOUTW) texts.push_back(TextOf(r));
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"Hello", u"Big", u"line two"}));
}

// ---- hostile texts -------------------------------------------------------------------

void ExpectClean(const std::string& text) {
  VectorDrawing d;
  if (!Read(text, d)) return;
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(d.emf.size()), d.emf.data());
  ASSERT_NE(m, nullptr);
  DeleteEnhMetaFile(m);
  EXPECT_GT(d.widthHundredthsMm, 0);
  EXPECT_LE(d.widthHundredthsMm, 1000000);
  EXPECT_LE(d.heightHundredthsMm, 1000000);
}

TEST(DxfHostile, MalformedPairsAndNumbers) {
  VectorDrawing d;
  // A dangling code line at the end is ignored, and so is padding after the end.
  EXPECT_TRUE(Read(Text(Join({Section("ENTITIES", kFrameLine)})) + "0\n", d));
  EXPECT_TRUE(Read(Text(Join({Section("ENTITIES", kFrameLine)}), "\r\n") + "\x1a\r\n\r\n", d));
  // A code line that is no number ends the reading.
  EXPECT_FALSE(Read("0\nSECTION\n2\nENTITIES\nxx\nLINE\n", d));
  // Numbers too large to be a drawing are not drawn; no entity left means no picture.
  const Pairs huge = {{0, "LINE"},   {10, "1e300"}, {20, "0"}, {11, "1"},    {21, "nan"},
                      {0, "CIRCLE"}, {10, "0"},     {20, "0"}, {40, "1e400"}};
  EXPECT_FALSE(Read(Text(Join({Section("ENTITIES", huge)})), d));
  // A lone point still gets a small area.
  ASSERT_TRUE(Read(Text(Join({Section("ENTITIES", {{0, "POINT"}, {10, "5"}, {20, "5"}})})), d));
  EXPECT_EQ(Play(d.emf).size(), 1u);
  // Every truncation of a full drawing is clean.
  const Pairs blocks = {{0, "BLOCK"}, {2, "B"}, {0, "CIRCLE"}, {10, "0"}, {20, "0"}, {40, "1"}, {0, "ENDBLK"}};
  Pairs ents = kFrameLine;
  ents.insert(ents.end(), {{0, "INSERT"}, {2, "B"}, {10, "5"}, {20, "5"}, {0, "TEXT"}, {1, "x"}, {40, "2"}});
  const std::string full = Text(Join({Section("BLOCKS", blocks), Section("ENTITIES", ents)}), "\r\n");
  for (size_t n = 0; n <= full.size(); ++n) ExpectClean(full.substr(0, n));
}

TEST(DxfHostile, SelfAndMutualInsertsEnd) {
  const Pairs blocks = {{0, "BLOCK"},  {2, "A"}, {0, "LINE"},   {10, "0"}, {20, "0"},     {11, "1"}, {21, "1"},
                        {0, "INSERT"}, {2, "A"}, {10, "1"},     {20, "1"}, {0, "INSERT"}, {2, "B"},  {0, "ENDBLK"},
                        {0, "BLOCK"},  {2, "B"}, {0, "INSERT"}, {2, "A"},  {10, "2"},     {20, "0"}, {0, "ENDBLK"}};
  const Pairs ents = {{0, "INSERT"}, {2, "A"}, {0, "INSERT"}, {2, "B"}};
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("BLOCKS", blocks), Section("ENTITIES", ents)})), d));
  // A once from the top, A once more through B: the cycles add nothing.
  EXPECT_EQ(Play(d.emf).size(), 2u);
}

TEST(DxfHostile, FanOutOfNestedInsertsIsBounded) {
  // Twelve levels of ten inserts each: 10^12 lines if nothing stopped it.
  Pairs blocks;
  for (int level = 0; level < 12; ++level) {
    blocks.push_back({0, "BLOCK"});
    blocks.push_back({2, "L" + std::to_string(level)});
    if (level == 11) {
      blocks.insert(blocks.end(), {{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}});
    } else {
      for (int i = 0; i < 10; ++i)
        blocks.insert(blocks.end(), {{0, "INSERT"}, {2, "L" + std::to_string(level + 1)}, {10, std::to_string(i)}});
    }
    blocks.push_back({0, "ENDBLK"});
  }
  const Pairs ents = {{0, "INSERT"}, {2, "L0"}};
  const auto start = std::chrono::steady_clock::now();
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("BLOCKS", blocks), Section("ENTITIES", ents)})), d));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_LE(d.emf.size(), vector_detail::kMaxEmfBytes);
  const size_t lines = Play(d.emf).size();
  EXPECT_GT(lines, 1000u);
  EXPECT_LE(lines, vector_detail::kMaxEmfRecords);
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(d.emf.size()), d.emf.data());
  EXPECT_NE(m, nullptr);
  if (m) DeleteEnhMetaFile(m);
}

TEST(DxfHostile, HugeMultipleInsertIsRefused) {
  const Pairs blocks = {{0, "BLOCK"}, {2, "B"}, {0, "LINE"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}, {0, "ENDBLK"}};
  const Pairs ents = {{0, "INSERT"}, {2, "B"}, {70, "100000"}, {71, "100000"}, {44, "2"}, {45, "2"},
                      {0, "INSERT"}, {2, "B"}, {70, "3"},      {71, "2"},      {44, "2"}, {45, "2"}};
  VectorDrawing d;
  ASSERT_TRUE(Read(Text(Join({Section("BLOCKS", blocks), Section("ENTITIES", ents)})), d));
  EXPECT_EQ(Play(d.emf).size(), 6u);
}

TEST(DxfHostile, IntegerGroupsFarOutOfRangeAreHeld) {
  // Colour, flags, array counts and units of a trillion: held, not converted as they are.
  const std::string text =
      "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n1e15\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
      "0\nLINE\n8\n0\n62\n1888888888888\n10\n0\n20\n0\n11\n100\n21\n50\n"
      "0\nLWPOLYLINE\n70\n-9e99\n90\n2\n10\n0\n20\n0\n10\n5\n20\n5\n"
      "0\nTEXT\n10\n1\n20\n1\n40\n2\n50\n1e300\n1\nx\n0\nENDSEC\n0\nEOF\n";
  VectorDrawing d;
  ASSERT_TRUE(ReadDxf(reinterpret_cast<const BYTE*>(text.data()), text.size(), d));
  EXPECT_FALSE(d.emf.empty());
}

}  // namespace
}  // namespace lorimer::formats
