// The EMF player: metafiles built record by record land on the expected device pixels,
// keep their state machine straight, and shrug off hostile records quickly.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/gdi/font.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/painter_dc.h"
#include "platform/gdi/player.h"
#include "platform/gdi/player_walk.h"
#include "platform/gdi/shapes.h"
#include "platform/gdi/tests/white_canvas.h"

namespace {

using namespace vel::gdi::emf;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr DWORD kStock = 0x80000000u;

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

// An EMF put together record by record. The reference device has 10 pixels per
// millimetre, so a frame of 0..1000 (0.01 mm) is 100 reference pixels wide.
class EmfBuilder {
 public:
  explicit EmfBuilder(LONG frameRight = 1000, LONG frameBottom = 1000, WORD handles = 16) {
    ENHMETAHEADER h{};
    h.iType = EMR_HEADER;
    h.nSize = 108;
    h.rclBounds = RECTL{0, 0, frameRight / 10 - 1, frameBottom / 10 - 1};
    h.rclFrame = RECTL{0, 0, frameRight, frameBottom};
    h.dSignature = ENHMETA_SIGNATURE;
    h.nVersion = ENHMETA_VERSION;
    h.nHandles = handles;
    h.szlDevice = SIZEL{1000, 1000};
    h.szlMillimeters = SIZEL{100, 100};
    h.szlMicrometers = SIZEL{100000, 100000};
    bytes_.resize(sizeof h);
    std::memcpy(bytes_.data(), &h, sizeof h);
    records_ = 1;
  }
  EmfBuilder& add(DWORD type, std::initializer_list<DWORD> params) {
    std::vector<BYTE> payload(params.size() * 4);
    size_t i = 0;
    for (DWORD p : params) std::memcpy(&payload[4 * i++], &p, 4);
    return raw(type, payload);
  }
  EmfBuilder& raw(DWORD type, std::vector<BYTE> payload) {
    while (payload.size() % 4) payload.push_back(0);
    DWORD size = static_cast<DWORD>(8 + payload.size());
    put(type);
    put(size);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    ++records_;
    return *this;
  }
  // A record with a declared size that need not match what follows.
  EmfBuilder& lying(DWORD type, DWORD declaredSize, std::initializer_list<DWORD> params) {
    put(type);
    put(declaredSize);
    for (DWORD p : params) put(p);
    return *this;
  }
  std::vector<BYTE> finish() {
    add(EMR_EOF, {0, 16, 20});
    std::vector<BYTE> out = bytes_;
    DWORD n = static_cast<DWORD>(out.size());
    std::memcpy(&out[48], &n, 4);
    std::memcpy(&out[52], &records_, 4);
    return out;
  }
  void put(DWORD v) {
    BYTE b[4];
    std::memcpy(b, &v, 4);
    bytes_.insert(bytes_.end(), b, b + 4);
  }

 private:
  std::vector<BYTE> bytes_;
  DWORD records_ = 0;
};

// Payload helpers.
std::vector<BYTE> Words(std::initializer_list<DWORD> w) {
  std::vector<BYTE> out(w.size() * 4);
  size_t i = 0;
  for (DWORD v : w) std::memcpy(&out[4 * i++], &v, 4);
  return out;
}
void Append(std::vector<BYTE>& out, const std::vector<BYTE>& more) { out.insert(out.end(), more.begin(), more.end()); }
void AppendShorts(std::vector<BYTE>& out, std::initializer_list<int> v) {
  for (int s : v) {
    auto x = static_cast<std::int16_t>(s);
    BYTE b[2];
    std::memcpy(b, &x, 2);
    out.insert(out.end(), b, b + 2);
  }
}

// A white 24-bit memory DC that plays EMF bytes.
struct Canvas : vel::gdi::testing::WhiteCanvas {
  Canvas(int w, int h) : WhiteCanvas(w, h) {}
  bool play(const std::vector<BYTE>& emf, RECT dest) {
    return vel::gdi::PlayEnhMetaFileBits(dc, emf.data(), emf.size(), &dest);
  }
};

void ExpectInk(const Canvas& c, LONG l, LONG t, LONG r, LONG b) {
  RECT ink = c.ink();
  EXPECT_EQ(ink.left, l);
  EXPECT_EQ(ink.top, t);
  EXPECT_EQ(ink.right, r);
  EXPECT_EQ(ink.bottom, b);
}

// A red rectangle drawn in MM_ANISOTROPIC with 10 logical units per reference pixel.
std::vector<BYTE> RedRectangle() {
  EmfBuilder e;
  e.add(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .add(EMR_SETWINDOWEXTEX, {1000, 1000})
      .add(EMR_SETVIEWPORTEXTEX, {100, 100})
      .add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kRed, 0})
      .add(EMR_SELECTOBJECT, {1})
      .add(EMR_CREATEPEN, {2, PS_SOLID, 0, 0, kRed})
      .add(EMR_SELECTOBJECT, {2})
      .add(EMR_RECTANGLE, {200, 300, 600, 800});
  return e.finish();
}

// ---- mapping and scaling ----------------------------------------------------------

TEST(PlayEnhMetaFile, AnisotropicRectangleScalesWithTheDestination) {
  const std::vector<BYTE> emf = RedRectangle();
  {
    Canvas c(120, 120);
    ASSERT_TRUE(c.play(emf, RECT{0, 0, 100, 100}));
    ExpectInk(c, 20, 30, 59, 79);
    EXPECT_EQ(c.count(kRed), 40 * 50);
  }
  {
    Canvas c(240, 240);
    ASSERT_TRUE(c.play(emf, RECT{10, 20, 210, 120}));  // twice as wide, as tall
    ExpectInk(c, 50, 50, 129, 99);
    EXPECT_EQ(c.count(kRed), 80 * 50);
  }
  {
    // A mirrored destination turns the picture over.
    Canvas c(120, 120);
    ASSERT_TRUE(c.play(emf, RECT{100, 0, 0, 100}));
    ExpectInk(c, 40, 30, 79, 79);
  }
}

TEST(PlayEnhMetaFile, FixedUnitModesMeasureOnTheReferenceDevice) {
  // MM_LOMETRIC: 0.1 mm per unit, y up. 10 px/mm makes one unit one pixel.
  EmfBuilder e;
  e.add(EMR_SETMAPMODE, {MM_LOMETRIC})
      .add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .add(EMR_RECTANGLE, {10, static_cast<DWORD>(-10), 30, static_cast<DWORD>(-40)});
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  ExpectInk(c, 10, 10, 29, 39);
  // MM_HIMETRIC: 0.01 mm per unit: ten units per pixel.
  EmfBuilder h;
  h.add(EMR_SETMAPMODE, {MM_HIMETRIC})
      .add(EMR_SETWINDOWEXTEX, {5, 5})  // ignored in fixed modes
      .add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .add(EMR_RECTANGLE, {100, static_cast<DWORD>(-100), 500, static_cast<DWORD>(-300)});
  Canvas d(100, 100);
  ASSERT_TRUE(d.play(h.finish(), RECT{0, 0, 100, 100}));
  ExpectInk(d, 10, 10, 49, 29);
}

TEST(PlayEnhMetaFile, IsotropicKeepsOneScaleAndOriginsShift) {
  EmfBuilder e;
  e.add(EMR_SETMAPMODE, {MM_ISOTROPIC})
      .add(EMR_SETWINDOWEXTEX, {100, 100})
      .add(EMR_SETVIEWPORTEXTEX, {50, 100})  // the smaller scale (1/2) serves both axes
      .add(EMR_SETWINDOWORGEX, {20, 20})
      .add(EMR_SETVIEWPORTORGEX, {5, 5})
      .add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .add(EMR_RECTANGLE, {20, 20, 60, 80});
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  ExpectInk(c, 5, 5, 24, 34);
}

TEST(PlayEnhMetaFile, SaveAndRestoreBringBackTheMapping) {
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .add(EMR_SAVEDC, {})
      .add(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .add(EMR_SETWINDOWEXTEX, {1, 1})
      .add(EMR_SETVIEWPORTEXTEX, {4, 4})
      .add(EMR_SAVEDC, {})
      .add(EMR_SCALEVIEWPORTEXTEX, {1, 2, 1, 2})     // now 2x
      .add(EMR_RECTANGLE, {1, 1, 5, 5})              // 2..10
      .add(EMR_RESTOREDC, {static_cast<DWORD>(-2)})  // back past both saves: MM_TEXT, black brush
      .add(EMR_RECTANGLE, {50, 50, 60, 60})
      .add(EMR_RESTOREDC, {static_cast<DWORD>(-1)});  // nothing left to restore: skipped
  Canvas c(100, 100);
  vel::gdi::emfplay::Stats stats;
  std::vector<BYTE> emf = e.finish();
  ASSERT_TRUE(c.play(emf, RECT{0, 0, 100, 100}));
  ExpectInk(c, 2, 2, 59, 59);
  EXPECT_EQ(c.at(9, 9), RGB(0, 0, 0));
  EXPECT_EQ(c.at(10, 10), kWhite);
  EXPECT_EQ(c.at(50, 50), RGB(0, 0, 0));
  vel::gdi::emfplay::Sink none;
  RECT dest{0, 0, 100, 100};
  ASSERT_TRUE(vel::gdi::emfplay::Walk(emf.data(), emf.size(), &dest, none, &stats));
  EXPECT_EQ(stats.skipped, 1u);
  EXPECT_TRUE(stats.ended);
}

TEST(PlayEnhMetaFile, WorldTransformMovesAndScalesShapesAndPens) {
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | NULL_BRUSH})
      .add(EMR_CREATEPEN, {1, PS_SOLID, 3, 0, kBlue})
      .add(EMR_SELECTOBJECT, {1})
      .add(EMR_SETWORLDTRANSFORM, {FloatBits(2), 0, 0, FloatBits(2), FloatBits(10), FloatBits(10)})
      .add(EMR_MOVETOEX, {5, 20})
      .add(EMR_LINETO, {30, 20});  // device (20,50) to (70,50), 6 pixels wide
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  RECT ink = c.ink();
  EXPECT_NEAR(ink.left, 20, 3);
  EXPECT_NEAR(ink.right, 70, 3);
  EXPECT_NEAR(ink.bottom - ink.top + 1, 6, 1);
  EXPECT_EQ(c.at(45, 50), kBlue);
  // MODIFYWORLDTRANSFORM with identity resets it.
  EmfBuilder m;
  m.add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .add(EMR_SETWORLDTRANSFORM, {FloatBits(2), 0, 0, FloatBits(2), FloatBits(10), FloatBits(10)})
      .add(EMR_MODIFYWORLDTRANSFORM, {0, 0, 0, 0, 0, 0, 1})
      .add(EMR_RECTANGLE, {0, 0, 10, 10});
  Canvas d(100, 100);
  ASSERT_TRUE(d.play(m.finish(), RECT{0, 0, 100, 100}));
  ExpectInk(d, 0, 0, 9, 9);
}

// ---- shapes and text ----------------------------------------------------------------

TEST(PlayEnhMetaFile, Polygon16AndPolyline16) {
  std::vector<BYTE> poly = Words({0, 0, 0, 0, 4});  // bounds, count
  AppendShorts(poly, {10, 10, 50, 10, 50, 40, 10, 40});
  std::vector<BYTE> line = Words({0, 0, 0, 0, 3});
  AppendShorts(line, {60, 10, 90, 10, 90, 50});
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kRed, 0})
      .add(EMR_SELECTOBJECT, {1})
      .raw(EMR_POLYGON16, poly)
      .add(EMR_SELECTOBJECT, {kStock | BLACK_PEN})
      .raw(EMR_POLYLINE16, line);
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.count(kRed), 40 * 30);
  EXPECT_EQ(c.at(10, 10), kRed);
  EXPECT_EQ(c.at(50, 25), kWhite);
  EXPECT_EQ(c.count(RGB(0, 0, 0)), 30 + 40);
  EXPECT_EQ(c.at(75, 10), RGB(0, 0, 0));
  EXPECT_EQ(c.at(90, 30), RGB(0, 0, 0));
}

TEST(PlayEnhMetaFile, PolyPolygonAndPathsFill) {
  std::vector<BYTE> pp = Words({0, 0, 0, 0, 2, 8, 4, 4});
  Append(pp, Words({0, 0, 40, 0, 40, 40, 0, 40, 10, 10, 30, 10, 30, 30, 10, 30}));
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .raw(EMR_POLYPOLYGON, pp)
      .add(EMR_BEGINPATH, {})
      .add(EMR_MOVETOEX, {50, 50})
      .add(EMR_LINETO, {90, 50})
      .add(EMR_LINETO, {90, 90})
      .add(EMR_LINETO, {50, 90})
      .add(EMR_CLOSEFIGURE, {})
      .add(EMR_ENDPATH, {})
      .add(EMR_FILLPATH, {0, 0, 0, 0});
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.at(20, 20), kWhite);  // the hole
  EXPECT_EQ(c.at(5, 5), RGB(0, 0, 0));
  EXPECT_EQ(c.at(70, 70), RGB(0, 0, 0));
  EXPECT_EQ(c.count(RGB(0, 0, 0)), 40 * 40 - 20 * 20 + 40 * 40);
}

// ExtTextOutW with the string after the fixed part of the record.
std::vector<BYTE> TextRecord(LONG x, LONG y, const std::u16string& s) {
  std::vector<BYTE> p = Words({0, 0, 0, 0, 1, FloatBits(1), FloatBits(1)});  // bounds, mode, scales
  Append(p, Words({static_cast<DWORD>(x), static_cast<DWORD>(y), static_cast<DWORD>(s.size()), 76, 0, 0, 0, 0, 0, 0}));
  for (char16_t ch : s) AppendShorts(p, {ch});
  return p;
}

std::vector<BYTE> FontRecord(DWORD index, LONG height) {
  std::vector<BYTE> p = Words({index, static_cast<DWORD>(height), 0, 0, 0, FW_NORMAL, 0, 0});
  const char16_t face[] = u"Arial";
  for (char16_t ch : face) AppendShorts(p, {ch});
  p.resize(12 - 8 + 92, 0);  // LOGFONTW is 92 bytes
  return p;
}

TEST(PlayEnhMetaFile, TextDrawsDarkPixelsWhereItIsPlacedAndScales) {
  auto picture = [] {
    EmfBuilder e;
    e.raw(EMR_EXTCREATEFONTINDIRECTW, FontRecord(1, -20))
        .add(EMR_SELECTOBJECT, {1})
        .add(EMR_SETBKMODE, {TRANSPARENT})
        .add(EMR_SETTEXTCOLOR, {0})
        .raw(EMR_EXTTEXTOUTW, TextRecord(10, 40, u"HH"));
    return e.finish();
  };
  Canvas c(200, 200);
  ASSERT_TRUE(c.play(picture(), RECT{0, 0, 100, 100}));
  RECT ink = c.ink();
  ASSERT_GE(ink.right, 0) << "no text drawn";
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.left, 14);
  EXPECT_GE(ink.top, 40);
  EXPECT_LE(ink.bottom, 62);
  const LONG height = ink.bottom - ink.top + 1;
  EXPECT_NEAR(height, 15, 3);  // a capital's height at a 20-pixel em
  // At twice the size the letters are twice as tall, from twice as far.
  Canvas d(200, 200);
  ASSERT_TRUE(d.play(picture(), RECT{0, 0, 200, 200}));
  RECT big = d.ink();
  EXPECT_GE(big.left, 20);
  EXPECT_GE(big.top, 80);
  EXPECT_NEAR(big.bottom - big.top + 1, 2 * height, 3);
}

// ---- bitmaps ----------------------------------------------------------------------------

TEST(PlayEnhMetaFile, StretchDibitsScalesATwoByTwoBitmap) {
  // Bottom-up 24-bit rows: bottom row blue, green; top row red, white.
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = 2;
  h.biHeight = 2;
  h.biPlanes = 1;
  h.biBitCount = 24;
  const BYTE bits[16] = {255, 0, 0,   0,   255, 0,   0, 0,   // blue, green, pad
                         0,   0, 255, 255, 255, 255, 0, 0};  // red, white, pad
  std::vector<BYTE> p = Words({0, 0, 0, 0, 10, 10, 0, 0, 2, 2, 80, 40, 120, 16, DIB_RGB_COLORS, SRCCOPY, 40, 40});
  std::vector<BYTE> hb(sizeof h);
  std::memcpy(hb.data(), &h, sizeof h);
  Append(p, hb);
  p.insert(p.end(), bits, bits + 16);
  EmfBuilder e;
  e.raw(EMR_STRETCHDIBITS, p);
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.at(15, 15), kRed);
  EXPECT_EQ(c.at(35, 15), kWhite);
  EXPECT_EQ(c.at(15, 35), kBlue);
  EXPECT_EQ(c.at(35, 35), RGB(0, 255, 0));
  EXPECT_EQ(c.at(10, 49), kBlue);
  EXPECT_EQ(c.at(9, 10), kWhite);
  EXPECT_EQ(c.at(50, 40), kWhite);
  // Scaled by the playback too.
  Canvas d(200, 200);
  ASSERT_TRUE(d.play(e.finish(), RECT{0, 0, 200, 200}));
  EXPECT_EQ(d.at(59, 59), kRed);
  EXPECT_EQ(d.at(19, 50), kWhite);
  EXPECT_EQ(d.at(99, 99), RGB(0, 255, 0));
  EXPECT_EQ(d.at(100, 100), kWhite);
}

TEST(PlayEnhMetaFile, BlitsWithoutSourceFillWithTheBrushOrAConstant) {
  auto blit = [](LONG x, LONG y, LONG w, LONG h, DWORD rop) {
    std::vector<BYTE> p = Words({0,
                                 0,
                                 0,
                                 0,
                                 static_cast<DWORD>(x),
                                 static_cast<DWORD>(y),
                                 static_cast<DWORD>(w),
                                 static_cast<DWORD>(h),
                                 rop,
                                 0,
                                 0,
                                 FloatBits(1),
                                 0,
                                 0,
                                 FloatBits(1),
                                 0,
                                 0,
                                 0,
                                 DIB_RGB_COLORS,
                                 0,
                                 0,
                                 0,
                                 0});
    return p;
  };
  EmfBuilder e;
  e.add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kRed, 0})
      .add(EMR_SELECTOBJECT, {1})
      .raw(EMR_BITBLT, blit(0, 0, 10, 10, 0x00F00021))  // PATCOPY
      .raw(EMR_BITBLT, blit(20, 0, 10, 10, BLACKNESS))
      .raw(EMR_BITBLT, blit(5, 0, 10, 5, 0x00550009));  // DSTINVERT over red and white
  Canvas c(40, 20);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.count(kRed), 100 - 25);
  EXPECT_EQ(c.count(RGB(0, 255, 255)), 25);    // inverted red
  EXPECT_EQ(c.count(RGB(0, 0, 0)), 100 + 25);  // the black blit and inverted white
  EXPECT_EQ(c.at(12, 2), RGB(0, 0, 0));
  EXPECT_EQ(c.at(12, 7), kWhite);
}

// ---- objects and state ------------------------------------------------------------------

TEST(PlayEnhMetaFile, ObjectTableSelectionAndDeletion) {
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | NULL_PEN})
      .add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kRed, 0})
      .add(EMR_CREATEBRUSHINDIRECT, {2, BS_SOLID, kBlue, 0})
      .add(EMR_SELECTOBJECT, {2})
      .add(EMR_DELETEOBJECT, {1})
      .add(EMR_SELECTOBJECT, {1})  // deleted: skipped, blue stays
      .add(EMR_RECTANGLE, {0, 0, 11, 11})
      .add(EMR_DELETEOBJECT, {2})  // selected: still draws until replaced
      .add(EMR_RECTANGLE, {20, 0, 31, 11})
      .add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, RGB(0, 255, 0), 0})  // slot 1 reused
      .add(EMR_SELECTOBJECT, {1})
      .add(EMR_RECTANGLE, {40, 0, 51, 11})
      .add(EMR_SELECTOBJECT, {kStock | WHITE_BRUSH})
      .add(EMR_RECTANGLE, {40, 0, 46, 6})
      .add(EMR_CREATEBRUSHINDIRECT, {16, BS_SOLID, kRed, 0})  // past the table: skipped
      .add(EMR_SELECTOBJECT, {16})
      .add(EMR_CREATEBRUSHINDIRECT, {0, BS_SOLID, kRed, 0});  // slot 0 is the metafile
  std::vector<BYTE> emf = e.finish();
  Canvas c(100, 20);
  ASSERT_TRUE(c.play(emf, RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.count(kBlue), 2 * 100);
  EXPECT_EQ(c.count(RGB(0, 255, 0)), 100 - 25);
  EXPECT_EQ(c.count(kRed), 0);
  vel::gdi::emfplay::Sink none;
  vel::gdi::emfplay::Stats stats;
  RECT dest{0, 0, 100, 100};
  ASSERT_TRUE(vel::gdi::emfplay::Walk(emf.data(), emf.size(), &dest, none, &stats));
  EXPECT_EQ(stats.skipped, 4u);
}

TEST(PlayEnhMetaFile, ClippingConfinesAndResets) {
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH})
      .add(EMR_INTERSECTCLIPRECT, {10, 10, 30, 30})
      .add(EMR_ELLIPSE, {static_cast<DWORD>(-50), static_cast<DWORD>(-50), 150, 150})
      .add(EMR_EXTSELECTCLIPRGN, {0, 5})  // RGN_COPY of nothing: no clip
      .add(EMR_RECTANGLE, {60, 60, 70, 70});
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.count(RGB(0, 0, 0)), 20 * 20 + 10 * 10);
  EXPECT_EQ(c.at(9, 20), kWhite);
  EXPECT_EQ(c.at(65, 65), RGB(0, 0, 0));
}

TEST(PlayEnhMetaFile, TheDcStateIsGivenBack) {
  Canvas c(100, 100);
  HPEN pen = CreatePen(PS_SOLID, 1, kBlue);
  SelectObject(c.dc, pen);
  SetTextColor(c.dc, kBlue);
  SetROP2(c.dc, R2_COPYPEN);
  IntersectClipRect(c.dc, 0, 0, 50, 50);
  EmfBuilder e;
  e.add(EMR_SETTEXTCOLOR, {kRed})
      .add(EMR_SETROP2, {R2_NOT})
      .add(EMR_CREATEPEN, {1, PS_SOLID, 0, 0, kRed})
      .add(EMR_SELECTOBJECT, {1})
      .add(EMR_INTERSECTCLIPRECT, {0, 0, 20, 20})
      .add(EMR_SAVEDC, {})
      .add(EMR_SAVEDC, {})
      .add(EMR_RECTANGLE, {60, 60, 90, 90});  // outside the caller's clip
  ASSERT_TRUE(c.play(e.finish(), RECT{0, 0, 100, 100}));
  EXPECT_EQ(c.count(kWhite), 100 * 100);
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), pen);
  EXPECT_EQ(GetTextColor(c.dc), kBlue);
  EXPECT_EQ(GetROP2(c.dc), R2_COPYPEN);
  RECT box;
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.right, 50);
  EXPECT_EQ(box.bottom, 50);
  SelectObject(c.dc, GetStockObject(BLACK_PEN));
  EXPECT_TRUE(DeleteObject(pen));
}

TEST(PlayEnhMetaFile, HandlesFromTheMetafileLibraryPlayLikeTheirBytes) {
  const std::vector<BYTE> emf = RedRectangle();
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data());
  ASSERT_NE(h, nullptr);
  Canvas a(120, 120), b(120, 120);
  RECT dest{0, 0, 100, 100};
  ASSERT_TRUE(PlayEnhMetaFile(a.dc, h, &dest));
  ASSERT_TRUE(b.play(emf, dest));
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(a.at(x, y), b.at(x, y));
  EXPECT_FALSE(PlayEnhMetaFile(a.dc, h, nullptr));
  DeleteEnhMetaFile(h);
  EXPECT_FALSE(PlayEnhMetaFile(a.dc, h, &dest));
  EXPECT_FALSE(PlayEnhMetaFile(nullptr, h, &dest));
}

TEST(PlayEnhMetaFile, PainterDcShowsThePicturesOfABitmap) {
  std::vector<BYTE> pp = Words({0, 0, 0, 0, 2, 8, 4, 4});
  Append(pp, Words({0, 0, 40, 0, 40, 40, 0, 40, 10, 10, 30, 10, 30, 30, 10, 30}));
  EmfBuilder e;
  e.add(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, kRed, 0})
      .add(EMR_SELECTOBJECT, {1})
      .raw(EMR_POLYPOLYGON, pp)
      .add(EMR_CREATEPEN, {2, PS_SOLID, 3, 0, kBlue})
      .add(EMR_SELECTOBJECT, {2})
      .add(EMR_ELLIPSE, {50, 10, 90, 60})
      .add(EMR_MOVETOEX, {5, 80})
      .add(EMR_LINETO, {95, 90});
  const std::vector<BYTE> emf = e.finish();
  const RECT dest{0, 0, 200, 200};
  Canvas bitmap(200, 200);
  ASSERT_TRUE(bitmap.play(emf, dest));
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    vel::gdi::PainterCaps caps;
    caps.width = caps.height = 200;
    HDC dc = vel::gdi::CreatePainterDC(&painter, caps);
    ASSERT_TRUE(vel::gdi::PlayEnhMetaFileBits(dc, emf.data(), emf.size(), &dest));
    DeleteDC(dc);
  }
  int same = 0, inked = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      QRgb q = image.pixel(x, y);
      COLORREF pc = RGB(qRed(q), qGreen(q), qBlue(q));
      COLORREF bc = bitmap.at(x, y);
      if (pc == kWhite && bc == kWhite) continue;
      ++inked;
      same += pc == bc;
    }
  EXPECT_GT(inked, 6000);
  EXPECT_GT(same, inked * 95 / 100);
}

// ---- hostile input --------------------------------------------------------------------------

TEST(PlayEnhMetaFile, HostileRecordsAreSkippedQuickly) {
  const auto start = std::chrono::steady_clock::now();
  EmfBuilder e;
  e.add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH});
  // Counts far beyond what the records hold.
  e.add(EMR_POLYGON, {0, 0, 0, 0, 0x7FFFFFFF, 1, 1, 5, 5});
  e.add(EMR_POLYPOLYGON16, {0, 0, 0, 0, 0x40000000, 0x40000000, 3});
  e.add(EMR_POLYPOLYGON, {0, 0, 0, 0, 1, 3, 0xFFFFFFFF, 0, 0, 1, 1, 2, 2});
  e.add(EMR_EXTTEXTOUTW, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 0});
  // Offsets past the record's end.
  e.add(EMR_STRETCHDIBITS, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0xFFFFFFF0u, 40, 80, 16, 0, SRCCOPY, 40, 40});
  // A giant bitmap whose bits are not there.
  {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = 100000;
    h.biHeight = 100000;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::vector<BYTE> p = Words({0, 0, 0, 0, 0, 0, 0, 0, 100000, 100000, 80, 40, 120, 16, 0, SRCCOPY, 1000, 1000});
    std::vector<BYTE> hb(sizeof h);
    std::memcpy(hb.data(), &h, sizeof h);
    Append(p, hb);
    Append(p, Words({0, 0, 0, 0}));
    e.raw(EMR_STRETCHDIBITS, p);
  }
  // Mapping that would divide by zero or overflow.
  e.add(EMR_SETMAPMODE, {MM_ANISOTROPIC});
  e.add(EMR_SETWINDOWEXTEX, {0, 0});
  e.add(EMR_SCALEVIEWPORTEXTEX, {1, 0, 1, 0});
  e.add(EMR_SETWORLDTRANSFORM, {FloatBits(1e30f), 0, 0, FloatBits(1e30f), 0, 0});
  e.add(EMR_SETMAPMODE, {MM_TEXT});
  // A flood of saves, then an ordinary shape that must still draw where it belongs.
  for (int i = 0; i < 20000; ++i) e.add(EMR_SAVEDC, {});
  e.add(EMR_RESTOREDC, {static_cast<DWORD>(INT32_MIN)});
  e.add(EMR_RECTANGLE, {10, 10, 20, 20});
  // Shapes reaching beyond any device are left out.
  e.add(EMR_ELLIPSE, {0x80000000u, 0x80000000u, 0x7FFFFFFF, 0x7FFFFFFF});
  e.add(EMR_RECTANGLE, {0x80000001u, 0, 0x7FFFFFFF, 5});
  std::vector<BYTE> emf = e.finish();
  Canvas c(100, 100);
  ASSERT_TRUE(c.play(emf, RECT{0, 0, 100, 100}));
  ExpectInk(c, 10, 10, 19, 19);
  EXPECT_EQ(c.count(RGB(0, 0, 0)), 100);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);

  // A record whose size runs past the end stops the walk; what came before is drawn.
  EmfBuilder t;
  t.add(EMR_SELECTOBJECT, {kStock | BLACK_BRUSH}).add(EMR_RECTANGLE, {0, 0, 10, 10});
  t.lying(EMR_RECTANGLE, 0x7FFFFFF0, {50, 50, 60, 60});
  std::vector<BYTE> cut = t.finish();
  Canvas d(100, 100);
  ASSERT_TRUE(d.play(cut, RECT{0, 0, 100, 100}));
  EXPECT_EQ(d.at(5, 5), RGB(0, 0, 0));
  EXPECT_EQ(d.at(55, 55), kWhite);
  // Sizes that are not multiples of four, or too small, stop it the same way.
  for (DWORD bad : {0u, 4u, 13u}) {
    EmfBuilder b;
    b.lying(EMR_SAVEDC, bad, {});
    std::vector<BYTE> bytes = b.finish();
    vel::gdi::emfplay::Sink none;
    vel::gdi::emfplay::Stats stats;
    RECT dest{0, 0, 10, 10};
    ASSERT_TRUE(vel::gdi::emfplay::Walk(bytes.data(), bytes.size(), &dest, none, &stats));
    EXPECT_FALSE(stats.ended) << bad;
  }
}

TEST(PlayEnhMetaFile, RefusesWhatIsNoMetafile) {
  Canvas c(10, 10);
  std::vector<BYTE> emf = RedRectangle();
  EXPECT_FALSE(c.play(emf, RECT{0, 0, 0, 10}));  // empty destination
  std::vector<BYTE> bad = emf;
  bad[40] ^= 0xFF;  // signature
  EXPECT_FALSE(c.play(bad, RECT{0, 0, 10, 10}));
  EXPECT_FALSE(c.play(std::vector<BYTE>(emf.begin(), emf.begin() + 60), RECT{0, 0, 10, 10}));
  EXPECT_FALSE(vel::gdi::PlayEnhMetaFileBits(c.dc, nullptr, 0, nullptr));
  EXPECT_EQ(c.count(kWhite), 100);
}

// ---- WMF ------------------------------------------------------------------------------------

// A placeable WMF: a 1-inch box at 1000 units per inch, window 0..1000, a red
// rectangle over its left half.
std::vector<BYTE> PlaceableWmf() {
  std::vector<BYTE> out;
  auto w16 = [&](int v) { AppendShorts(out, {v}); };
  auto w32 = [&](DWORD v) { Append(out, Words({v})); };
  w32(kPlaceableKey);
  w16(0);
  for (int v : {0, 0, 1000, 1000}) w16(v);
  w16(1000);
  w32(0);
  WORD sum = 0;
  for (size_t i = 0; i < 20; i += 2) sum ^= static_cast<WORD>(out[i] | (out[i + 1] << 8));
  w16(sum);
  const size_t header = out.size();
  for (int v : {1, 9, 0x0300}) w16(v);
  w32(0);  // size, patched below
  w16(1);
  w32(7);
  w16(0);
  auto record = [&](WORD function, std::initializer_list<int> params) {
    w32(static_cast<DWORD>(3 + params.size()));
    w16(function);
    for (int p : params) w16(p);
  };
  record(0x020B, {0, 0});             // SETWINDOWORG y, x
  record(0x020C, {1000, 1000});       // SETWINDOWEXT h, w
  record(0x02FC, {0, 0x00FF, 0, 0});  // CREATEBRUSHINDIRECT solid red
  record(0x012D, {0});                // SELECTOBJECT
  record(0x041B, {1000, 500, 0, 0});  // RECTANGLE bottom, right, top, left
  record(0x0000, {});
  DWORD words = static_cast<DWORD>((out.size() - header) / 2);
  std::memcpy(&out[header + 6], &words, 4);
  return out;
}

TEST(PlayMetaFile, PlaysAtTheDeviceOrigin) {
  std::vector<BYTE> wmf = PlaceableWmf();
  HMETAFILE h = SetMetaFileBitsEx(static_cast<UINT>(wmf.size() - 22), wmf.data() + 22);
  ASSERT_NE(h, nullptr);
  Canvas c(600, 1100);
  ASSERT_TRUE(PlayMetaFile(c.dc, h));
  // One window unit on one device pixel: the left half of the 1000-unit window.
  ExpectInk(c, 0, 0, 499, 999);
  EXPECT_EQ(c.at(250, 500), kRed);
  DeleteMetaFile(h);
  EXPECT_FALSE(PlayMetaFile(c.dc, h));
}

TEST(PlayWinMetaFile, PlaceableBoxFillsTheDestination) {
  std::vector<BYTE> wmf = PlaceableWmf();
  Canvas c(120, 120);
  RECT dest{10, 10, 110, 110};
  ASSERT_TRUE(vel::gdi::PlayWinMetaFile(c.dc, wmf.data(), wmf.size(), &dest));
  RECT ink = c.ink();
  EXPECT_NEAR(ink.left, 10, 1);
  EXPECT_NEAR(ink.top, 10, 1);
  EXPECT_NEAR(ink.right, 59, 1);
  EXPECT_NEAR(ink.bottom, 109, 1);
  EXPECT_FALSE(vel::gdi::PlayWinMetaFile(c.dc, wmf.data(), 30, &dest));
}

}  // namespace
