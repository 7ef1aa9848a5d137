// WPG 1 and 2 drawings read into enhanced metafiles: hand-built files, checked
// record by record after mapping to device pixels, and hostile files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imagelib/formats/wpg.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"

namespace lorimer::formats {
namespace {

namespace emf = vel::gdi::emf;

// ---- a small EMF reader for the checks ------------------------------------------

struct Drawn {
  DWORD type = 0;
  std::vector<BYTE> body;    // the record after type and size
  std::vector<double> x, y;  // its points in device pixels (shapes only)
  COLORREF pen = 0, brush = 0, textColor = 0;
  bool penNull = false, brushNull = true;
  LONG fontHeight = 0;
  LONG i32(size_t at) const {
    LONG v;
    std::memcpy(&v, body.data() + at, 4);
    return v;
  }
};

// Walks the records, keeping the mapping, the selected pen, brush and font, and
// returns every drawing record with its points on the device.
std::vector<Drawn> Play(const std::vector<BYTE>& bytes) {
  std::vector<Drawn> out;
  double ox = 0, oy = 0, wx = 1, wy = 1, vx = 1, vy = 1;
  struct Obj {
    DWORD kind;
    COLORREF color;
    bool null;
    LONG height;
  };
  std::vector<Obj> table(16, Obj{0, 0, false, 0});
  Drawn state;
  size_t at = 0;
  while (at + 8 <= bytes.size()) {
    DWORD type, size;
    std::memcpy(&type, &bytes[at], 4);
    std::memcpy(&size, &bytes[at + 4], 4);
    EXPECT_GE(size, 8u);
    EXPECT_EQ(size % 4, 0u);
    if (size < 8 || at + size > bytes.size()) break;
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
      case emf::EMR_CREATEPEN:
        table.at(r.i32(0)) = Obj{1, static_cast<COLORREF>(r.i32(16)), r.i32(4) == PS_NULL, 0};
        break;
      case emf::EMR_CREATEBRUSHINDIRECT:
        table.at(r.i32(0)) = Obj{2, static_cast<COLORREF>(r.i32(8)), r.i32(4) == 1, 0};
        break;
      case emf::EMR_EXTCREATEFONTINDIRECTW: table.at(r.i32(0)) = Obj{3, 0, false, r.i32(4)}; break;
      case emf::EMR_SELECTOBJECT: {
        const DWORD h = static_cast<DWORD>(r.i32(0));
        if (h == (emf::kStockObjectFlag | NULL_BRUSH))
          state.brushNull = true;
        else if (h < table.size() && table[h].kind == 1)
          state.pen = table[h].color, state.penNull = table[h].null;
        else if (h < table.size() && table[h].kind == 2)
          state.brush = table[h].color, state.brushNull = table[h].null;
        else if (h < table.size() && table[h].kind == 3)
          state.fontHeight = table[h].height;
        break;
      }
      case emf::EMR_POLYLINE:
      case emf::EMR_POLYGON:
      case emf::EMR_POLYBEZIER: {
        const DWORD n = static_cast<DWORD>(r.i32(16));
        EXPECT_EQ(r.body.size(), 20 + n * 8u);
        for (DWORD i = 0; i < n; ++i) dev(r.i32(20 + i * 8), r.i32(24 + i * 8));
        out.push_back(r);
        break;
      }
      case emf::EMR_RECTANGLE:
      case emf::EMR_ELLIPSE:
      case emf::EMR_ROUNDRECT:
      case emf::EMR_ARC:
        dev(r.i32(0), r.i32(4));
        dev(r.i32(8), r.i32(12));
        out.push_back(r);
        break;
      case emf::EMR_EXTTEXTOUTW:
        dev(r.i32(28), r.i32(32));
        out.push_back(r);
        break;
      case emf::EMR_STRETCHDIBITS:
        dev(r.i32(16), r.i32(20));
        dev(r.i32(16) + r.i32(64), r.i32(20) + r.i32(68));
        out.push_back(r);
        break;
      default: break;
    }
    at += size;
  }
  EXPECT_EQ(at, bytes.size());
  return out;
}

std::u16string TextOf(const Drawn& r) {
  const DWORD n = static_cast<DWORD>(r.i32(36)), off = static_cast<DWORD>(r.i32(40)) - 8;
  std::u16string s;
  for (DWORD i = 0; i < n; ++i) s += static_cast<char16_t>(r.body[off + i * 2] | (r.body[off + i * 2 + 1] << 8));
  return s;
}

// The header as the metafile layer reads it back; fails the test when refused.
ENHMETAHEADER Header(const VectorDrawing& d) {
  ENHMETAHEADER h{};
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(d.emf.size()), d.emf.data());
  EXPECT_NE(m, nullptr);
  if (m) {
    EXPECT_EQ(GetEnhMetaFileHeader(m, sizeof h, &h), sizeof h);
    DeleteEnhMetaFile(m);
  }
  return h;
}

// ---- building files ----------------------------------------------------------------

struct Bytes {
  std::vector<BYTE> b;
  Bytes& u8(int v) {
    b.push_back(static_cast<BYTE>(v));
    return *this;
  }
  Bytes& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
  Bytes& u32(long v) { return u16(static_cast<int>(v & 0xFFFF)).u16(static_cast<int>((v >> 16) & 0xFFFF)); }
  Bytes& add(const Bytes& o) {
    b.insert(b.end(), o.b.begin(), o.b.end());
    return *this;
  }
};

Bytes FileHeader(int major) {
  Bytes h;
  h.u8(0xFF).u8('W').u8('P').u8('C').u32(16).u8(1).u8(0x16).u8(major).u8(0).u16(0).u16(0);
  return h;
}

// A WPG1 record: type and a length that takes the long form when asked.
Bytes Rec1(int type, const Bytes& body, bool longLength = false) {
  Bytes r;
  r.u8(type);
  if (longLength || body.b.size() >= 0xFF)
    r.u8(0xFF).u16(static_cast<int>(body.b.size()));
  else
    r.u8(static_cast<int>(body.b.size()));
  return r.add(body);
}

Bytes Rec2(int type, const Bytes& body) {
  Bytes r;
  r.u8(0x01).u8(type).u8(0);
  if (body.b.size() >= 0xFF)
    r.u8(0xFF).u16(static_cast<int>(body.b.size()));
  else
    r.u8(static_cast<int>(body.b.size()));
  return r.add(body);
}

constexpr double kPxPerInch = 96;

// 4 x 3 inches: a red filled rectangle 1 inch in from the lower left, 1 x 0.5 inch,
// outlined in palette blue; then a line across the page in default-palette green.
Bytes Wpg1RectAndLine() {
  Bytes f = FileHeader(1);
  f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(4800).u16(3600)));
  f.add(Rec1(0x0E, Bytes().u16(20).u16(1).u8(255).u8(0).u8(0), true));
  f.add(Rec1(0x01, Bytes().u8(1).u8(20)));
  f.add(Rec1(0x02, Bytes().u8(1).u8(1).u16(12)));
  f.add(Rec1(0x07, Bytes().u16(1200).u16(1200).u16(1200).u16(600)));
  f.add(Rec1(0x02, Bytes().u8(1).u8(2).u16(0)));
  f.add(Rec1(0x05, Bytes().u16(0).u16(0).u16(4800).u16(3600)));
  f.add(Rec1(0x10, Bytes()));
  return f;
}

TEST(WpgSniff, AcceptsBothVersionsAndRefusesOthers) {
  const Bytes one = FileHeader(1), two = FileHeader(2);
  EXPECT_TRUE(IsWpg(one.b.data(), one.b.size()));
  EXPECT_TRUE(IsWpg(two.b.data(), two.b.size()));
  Bytes three = FileHeader(3), other = FileHeader(1);
  other.b[9] = 0x15;  // a WordPerfect document, not graphics
  EXPECT_FALSE(IsWpg(three.b.data(), three.b.size()));
  EXPECT_FALSE(IsWpg(other.b.data(), other.b.size()));
  EXPECT_FALSE(IsWpg(one.b.data(), 15));
  EXPECT_FALSE(IsWpg(nullptr, 0));
}

TEST(Wpg1, RectangleAndLineMapOntoTheFrame) {
  const Bytes f = Wpg1RectAndLine();
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  EXPECT_EQ(d.widthHundredthsMm, 10160);  // 4 inches
  EXPECT_EQ(d.heightHundredthsMm, 7620);
  const ENHMETAHEADER h = Header(d);
  EXPECT_EQ(h.rclFrame.right - h.rclFrame.left, 10160);
  EXPECT_EQ(h.rclFrame.bottom - h.rclFrame.top, 7620);
  EXPECT_EQ(h.rclBounds.right - h.rclBounds.left + 1, 4 * kPxPerInch);
  EXPECT_EQ(h.nBytes, d.emf.size());

  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 2u);
  const Drawn& rect = drawn[0];
  EXPECT_EQ(rect.type, emf::EMR_RECTANGLE);
  // y up in the file: the top edge is 1.5 inches above the bottom of a 3-inch page.
  EXPECT_NEAR(rect.x[0], 1 * kPxPerInch, 0.01);
  EXPECT_NEAR(rect.y[0], 1.5 * kPxPerInch, 0.01);
  EXPECT_NEAR(rect.x[1], 2 * kPxPerInch, 0.01);
  EXPECT_NEAR(rect.y[1], 2 * kPxPerInch, 0.01);
  EXPECT_FALSE(rect.brushNull);
  EXPECT_EQ(rect.brush, RGB(255, 0, 0));
  EXPECT_EQ(rect.pen, RGB(0, 0, 170));  // EGA blue from the default colours
  EXPECT_FALSE(rect.penNull);

  const Drawn& line = drawn[1];
  EXPECT_EQ(line.type, emf::EMR_POLYLINE);
  ASSERT_EQ(line.x.size(), 2u);
  EXPECT_NEAR(line.x[0], 0, 0.01);
  EXPECT_NEAR(line.y[0], 3 * kPxPerInch, 0.01);
  EXPECT_NEAR(line.x[1], 4 * kPxPerInch, 0.01);
  EXPECT_NEAR(line.y[1], 0, 0.01);
  EXPECT_EQ(line.pen, RGB(0, 170, 0));
}

TEST(Wpg1, HollowFillAndInvisibleLine) {
  Bytes f = FileHeader(1);
  f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(1200).u16(1200)));
  f.add(Rec1(0x01, Bytes().u8(0).u8(4)));
  f.add(Rec1(0x02, Bytes().u8(0).u8(4).u16(1)));
  f.add(Rec1(0x08, Bytes().u16(3).u16(0).u16(0).u16(1200).u16(0).u16(600).u16(1200)));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].type, emf::EMR_POLYGON);
  EXPECT_TRUE(drawn[0].brushNull);
  EXPECT_TRUE(drawn[0].penNull);
  ASSERT_EQ(drawn[0].y.size(), 3u);
  EXPECT_NEAR(drawn[0].y[2], 0, 0.01);  // the apex at the top of the page
}

TEST(Wpg1, EllipseCurveAndText) {
  Bytes f = FileHeader(1);
  f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(2400).u16(2400)));
  f.add(Rec1(0x09, Bytes().u16(1200).u16(1200).u16(600).u16(300).u16(0).u16(0).u16(0).u16(0)));
  // A quarter arc from 0 to 90 degrees: drawn as a polyline ending straight above the centre.
  f.add(Rec1(0x09, Bytes().u16(1200).u16(1200).u16(600).u16(600).u16(0).u16(0).u16(90).u16(0)));
  f.add(Rec1(0x13, Bytes().u32(0).u16(4).u16(0).u16(0).u16(0).u16(1200).u16(2400).u16(1200).u16(2400).u16(0)));
  f.add(Rec1(0x0D, Bytes().u16(0).u16(360)));
  f.add(Rec1(0x0C, Bytes().u16(2).u16(100).u16(200).u8('H').u8('i')));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 4u);
  EXPECT_EQ(drawn[0].type, emf::EMR_ELLIPSE);
  EXPECT_NEAR(drawn[0].x[0], 0.5 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].y[0], 0.75 * kPxPerInch, 0.01);
  EXPECT_EQ(drawn[1].type, emf::EMR_POLYLINE);
  EXPECT_NEAR(drawn[1].x.front(), 1.5 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[1].y.front(), 1.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[1].x.back(), 1.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[1].y.back(), 0.5 * kPxPerInch, 0.01);
  EXPECT_EQ(drawn[2].type, emf::EMR_POLYBEZIER);
  EXPECT_EQ(drawn[2].x.size(), 4u);
  EXPECT_EQ(drawn[3].type, emf::EMR_EXTTEXTOUTW);
  EXPECT_EQ(TextOf(drawn[3]), u"Hi");
  EXPECT_EQ(std::abs(drawn[3].fontHeight), 360);  // 0.3 inch in file units
  EXPECT_NEAR(drawn[3].y[0], (2400 - 200) / 1200.0 * kPxPerInch, 0.01);
}

// The DIB in a STRETCHDIBITS record: its 8-bit pixel rows and palette.
struct Dib {
  LONG width = 0, height = 0;
  WORD bits = 0;
  std::vector<BYTE> pixels;  // rows top first, `width` bytes each (8-bit DIBs)
  std::vector<COLORREF> palette;
};
Dib DibOf(const Drawn& r) {
  Dib d;
  const size_t bmi = static_cast<size_t>(r.i32(40)) - 8, bitsAt = static_cast<size_t>(r.i32(48)) - 8;
  BITMAPINFOHEADER h;
  std::memcpy(&h, &r.body[bmi], sizeof h);
  d.width = h.biWidth;
  d.height = std::abs(h.biHeight);
  d.bits = h.biBitCount;
  if (h.biBitCount != 8) return d;
  EXPECT_LT(h.biHeight, 0);  // top-down
  for (DWORD i = 0; i < (h.biClrUsed ? h.biClrUsed : 256); ++i) {
    const BYTE* q = &r.body[bmi + sizeof h + i * 4];
    d.palette.push_back(RGB(q[2], q[1], q[0]));
  }
  const size_t stride = (static_cast<size_t>(d.width) + 3) & ~size_t(3);
  for (LONG y = 0; y < d.height; ++y)
    for (LONG x = 0; x < d.width; ++x) d.pixels.push_back(r.body[bitsAt + y * stride + x]);
  return d;
}

TEST(Wpg1, RunLengthBitmapBecomesAnIndexedDib) {
  // 8 x 4 one-bit pixels: a literal row, a run, a repeat of that row, a run of 0xFF.
  Bytes rle;
  rle.u8(0x01).u8(0xF0);  // 1 literal byte
  rle.u8(0x81).u8(0x0F);  // one byte 0x0F
  rle.u8(0x00).u8(0x01);  // row above once more
  rle.u8(0x80).u8(0x01);  // one byte of 0xFF
  Bytes body;
  body.u16(0).u16(1200).u16(600).u16(2400).u16(1200);  // rotation, placement
  body.u16(8).u16(4).u16(1).u16(75).u16(75).add(rle);
  Bytes f = FileHeader(1);
  f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(2400).u16(2400)));
  f.add(Rec1(0x14, body));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  ASSERT_EQ(drawn[0].type, emf::EMR_STRETCHDIBITS);
  EXPECT_NEAR(drawn[0].x[0], 1.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].y[0], 1.0 * kPxPerInch, 0.01);  // top at y = 1200 of 2400
  EXPECT_NEAR(drawn[0].x[1], 2.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].y[1], 1.5 * kPxPerInch, 0.01);
  const Dib dib = DibOf(drawn[0]);
  ASSERT_EQ(dib.bits, 8);
  ASSERT_EQ(dib.width, 8);
  ASSERT_EQ(dib.height, 4);
  const std::vector<BYTE> expected = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
                                      0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_EQ(dib.pixels, expected);
  EXPECT_EQ(dib.palette.at(0), RGB(0, 0, 0));
  EXPECT_EQ(dib.palette.at(1), RGB(255, 255, 255));
}

TEST(Wpg1, EightBitBitmapUsesTheColourMap) {
  Bytes f = FileHeader(1);
  f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(1200).u16(1200)));
  f.add(Rec1(0x0E, Bytes().u16(7).u16(1).u8(1).u8(2).u8(3)));
  Bytes body;
  body.u16(2).u16(1).u16(8).u16(1200).u16(1200).u8(0x02).u8(7).u8(9);
  f.add(Rec1(0x0B, body));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  const Dib dib = DibOf(drawn[0]);
  EXPECT_EQ(dib.pixels, (std::vector<BYTE>{7, 9}));
  EXPECT_EQ(dib.palette.at(7), RGB(1, 2, 3));
  // Untouched entries keep the default colours (9 is EGA light blue).
  EXPECT_EQ(dib.palette.at(9), RGB(85, 85, 255));
}

// ---- WPG 2 -------------------------------------------------------------------------

Bytes Wpg2Start(int w, int h) {
  Bytes s;
  s.u16(1200).u16(1200).u8(0).u16(0).u16(0).u16(w).u16(h).u16(0).u16(0).u16(w).u16(h);
  return s;
}

TEST(Wpg2, RectangleAndLineWithColours) {
  Bytes f = FileHeader(2);
  f.add(Rec2(0x01, Wpg2Start(2400, 1200)));
  f.add(Rec2(0x31, Bytes().u8(0).u8(255).u8(0).u8(0).u8(0)));
  f.add(Rec2(0x25, Bytes().u8(0).u8(0).u8(255).u8(0)));
  f.add(Rec2(0x18, Bytes().u16(0xA000).u16(240).u16(240).u16(1200).u16(960).u16(0).u16(0)));
  f.add(Rec2(0x25, Bytes().u8(0).u8(128).u8(0).u8(0)));
  f.add(Rec2(0x15, Bytes().u16(0x8000).u16(2).u16(0).u16(0).u16(2400).u16(1200)));
  f.add(Rec2(0x02, Bytes()));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  EXPECT_EQ(d.widthHundredthsMm, 5080);
  EXPECT_EQ(d.heightHundredthsMm, 2540);
  EXPECT_EQ(Header(d).rclFrame.right, 5080);
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].type, emf::EMR_RECTANGLE);
  EXPECT_NEAR(drawn[0].x[0], 0.2 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].y[0], 0.2 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].x[1], 1.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].y[1], 0.8 * kPxPerInch, 0.01);
  EXPECT_EQ(drawn[0].brush, RGB(255, 0, 0));
  EXPECT_FALSE(drawn[0].brushNull);
  EXPECT_EQ(drawn[0].pen, RGB(0, 0, 255));
  EXPECT_EQ(drawn[1].type, emf::EMR_POLYLINE);
  EXPECT_NEAR(drawn[1].y[0], 1.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[1].x[1], 2.0 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[1].y[1], 0, 0.01);
  EXPECT_EQ(drawn[1].pen, RGB(0, 128, 0));
}

TEST(Wpg2, TranslatedClosedPolylineIsAPolygon) {
  Bytes f = FileHeader(2);
  f.add(Rec2(0x01, Wpg2Start(1200, 1200)));
  // Translate by (600, 0): fraction u16 then integer s32 for x, then y.
  Bytes obj;
  obj.u16(0x4000 | 0x2000 | 0x02).u16(0).u32(600).u16(0).u32(0);
  obj.u16(3).u16(0).u16(0).u16(100).u16(0).u16(0).u16(100);
  f.add(Rec2(0x15, obj));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].type, emf::EMR_POLYGON);
  EXPECT_NEAR(drawn[0].x[0], 0.5 * kPxPerInch, 0.01);
  EXPECT_FALSE(drawn[0].brushNull);
}

TEST(Wpg2, RunLengthBitmapWithPalette) {
  Bytes f = FileHeader(2);
  f.add(Rec2(0x01, Wpg2Start(1200, 1200)));
  f.add(Rec2(0x0C, Bytes().u16(5).u16(1).u8(10).u8(20).u8(30).u8(0)));
  f.add(Rec2(0x1B, Bytes().u16(0).u16(0).u16(0).u16(600).u16(600).u16(75).u16(75)));
  Bytes data;
  data.u16(8).u16(2).u8(4).u8(1);
  data.u8(0x83).u8(5);        // four samples of 5
  data.u8(0x01).u8(7).u8(8);  // two literal samples
  data.u8(0x7F).u8(1);        // two zero samples
  data.u8(0xFE).u8(0);        // the row above once
  f.add(Rec2(0x0E, data));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(f.b.data(), f.b.size(), d));
  const std::vector<Drawn> drawn = Play(d.emf);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_NEAR(drawn[0].y[0], 0.5 * kPxPerInch, 0.01);
  EXPECT_NEAR(drawn[0].x[1], 0.5 * kPxPerInch, 0.01);
  const Dib dib = DibOf(drawn[0]);
  const std::vector<BYTE> row = {5, 5, 5, 5, 7, 8, 0, 0};
  std::vector<BYTE> both = row;
  both.insert(both.end(), row.begin(), row.end());
  EXPECT_EQ(dib.pixels, both);
  EXPECT_EQ(dib.palette.at(5), RGB(10, 20, 30));
}

// ---- hostile files -------------------------------------------------------------------

// Every outcome must be either a refusal or a metafile the metafile layer accepts.
void ExpectCleanOutcome(const std::vector<BYTE>& bytes) {
  VectorDrawing d;
  if (!ReadWpg(bytes.data(), bytes.size(), d)) {
    EXPECT_TRUE(d.emf.empty());
    return;
  }
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(d.emf.size()), d.emf.data());
  ASSERT_NE(m, nullptr);
  DeleteEnhMetaFile(m);
  EXPECT_GT(d.widthHundredthsMm, 0);
  EXPECT_GT(d.heightHundredthsMm, 0);
}

TEST(WpgHostile, EveryTruncationIsClean) {
  for (const Bytes& f : {Wpg1RectAndLine()}) {
    for (size_t n = 0; n <= f.b.size(); ++n) {
      std::vector<BYTE> cut(f.b.begin(), f.b.begin() + n);
      ExpectCleanOutcome(cut);
      VectorDrawing d;
      // Without the start record there is no picture to size.
      if (n < 16 + 8) EXPECT_FALSE(ReadWpg(cut.data(), cut.size(), d)) << n;
    }
  }
}

TEST(WpgHostile, GarbageAfterAValidHeaderIsClean) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 400; ++round) {
    Bytes f = FileHeader(1 + round % 2);
    if (round % 2 == 0)
      f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(1200).u16(1200)));
    else
      f.add(Rec2(0x01, Wpg2Start(1200, 1200)));
    const size_t n = rng() % 300;
    for (size_t i = 0; i < n; ++i) f.u8(static_cast<int>(rng() & 0xFF));
    ExpectCleanOutcome(f.b);
  }
}

TEST(WpgHostile, LyingLengthsAndCounts) {
  // A record claiming more bytes than the file holds ends the reading.
  Bytes f = FileHeader(1);
  f.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(1200).u16(1200)));
  f.u8(0x06).u8(0xFF).u16(0xFFFF).u16(0xFFFF).u16(0xFFFF);
  ExpectCleanOutcome(f.b);
  // Point counts beyond the record, colour maps past 256, giant bitmaps.
  Bytes g = FileHeader(1);
  g.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(1200).u16(1200)));
  g.add(Rec1(0x06, Bytes().u16(65535).u16(1).u16(2)));
  g.add(Rec1(0x0E, Bytes().u16(250).u16(100).u8(1).u8(2).u8(3)));
  g.add(Rec1(0x0B, Bytes().u16(65535).u16(65535).u16(8).u16(1).u16(1).u8(0x80).u8(0xFF)));
  g.add(Rec1(0x0B, Bytes().u16(100).u16(100).u16(3).u16(1).u16(1)));
  VectorDrawing d;
  ASSERT_TRUE(ReadWpg(g.b.data(), g.b.size(), d));
  EXPECT_TRUE(Play(d.emf).empty());  // nothing drawable: a one-point polyline, no valid bitmap
  // Encrypted files and a first record outside the file are refused.
  Bytes e = Wpg1RectAndLine();
  e.b[12] = 1;
  EXPECT_FALSE(ReadWpg(e.b.data(), e.b.size(), d));
  Bytes o = Wpg1RectAndLine();
  o.b[4] = 0xF0;
  EXPECT_FALSE(ReadWpg(o.b.data(), o.b.size(), d));
  // A zero-sized page is not a picture.
  Bytes z = FileHeader(1);
  z.add(Rec1(0x0F, Bytes().u8(1).u8(0).u16(0).u16(1200)));
  EXPECT_FALSE(ReadWpg(z.b.data(), z.b.size(), d));
}

TEST(WpgHostile, Wpg2StartWithEmptyImageIsRefused) {
  Bytes f = FileHeader(2);
  f.add(Rec2(0x01, Wpg2Start(0, 0)));
  VectorDrawing d;
  EXPECT_FALSE(ReadWpg(f.b.data(), f.b.size(), d));
}

}  // namespace
}  // namespace lorimer::formats
