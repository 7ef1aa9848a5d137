// WMFInfo: sizes from the placeable box, the EMF frame, the window extent or the
// drawn extent; depth and bitmap flag from the bitmaps held; refusals that leave
// the outputs alone.
#include <gtest/gtest.h>

#include "siblings/marrow/marrow.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;

constexpr int kStretchDib = 0x0F43, kSetWindowExt = 0x020C, kRectangle = 0x041B, kDibBitBlt = 0x0940, kLineTo = 0x0213,
              kMoveTo = 0x0214, kPolygon = 0x0324;

struct Result {
  bool ok = false;
  int width = -1, height = -1, depth = -1;
  unsigned char flag = 7;
};

Result Info(const std::string& path, int verticalDpi = 96, int horizontalDpi = 96) {
  Result r;
  r.ok = WMFInfo(marrow::WidenToSystemString(path), &r.width, &r.height, &r.depth, verticalDpi, horizontalDpi, &r.flag);
  return r;
}

Result InfoOf(const Bytes& file, int verticalDpi = 96, int horizontalDpi = 96) {
  TempDir dir("marrowinfo");
  WriteFile(dir.file("m"), file);
  return Info(dir.file("m"), verticalDpi, horizontalDpi);
}

// META_STRETCHDIB words before the DIB: rop, usage, source and destination boxes.
std::vector<int> StretchWords(int w, int h) { return {0x0020, 0x00CC, 0, h, w, 0, 0, h, w, 0, 0}; }

TEST(WmfInfoPlaceable, BoxScaledByEachAxisResolution) {
  const Bytes wmf = Wmf().record(kRectangle, {10, 10, 0, 0}).finish();
  // 1 x 0.5 inch; horizontal 200 dpi, vertical 100 dpi.
  const Result r = InfoOf(Placeable(0, 0, 1440, 720, 1440, wmf), 100, 200);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 200);
  EXPECT_EQ(r.height, 50);
  EXPECT_EQ(r.depth, 8);
  EXPECT_EQ(r.flag, 0);
}

TEST(WmfInfoPlaceable, BoxWithOffsetAndReversedCorners) {
  const Bytes wmf = Wmf().record(kRectangle, {10, 10, 0, 0}).finish();
  Result r = InfoOf(Placeable(100, 50, 400, 250, 96, wmf));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 300);
  EXPECT_EQ(r.height, 200);
  r = InfoOf(Placeable(400, 250, 100, 50, 96, wmf));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 300);
  EXPECT_EQ(r.height, 200);
}

TEST(WmfInfoPlaceable, ZeroInchFallsBackToTheWindow) {
  const Bytes wmf = Wmf().record(kSetWindowExt, {40, 70}).finish();
  const Result r = InfoOf(Placeable(0, 0, 1000, 1000, 0, wmf));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 70);
  EXPECT_EQ(r.height, 40);
}

TEST(WmfInfoPlain, WindowExtentIsTheSize) {
  const Result r = InfoOf(Wmf().record(kSetWindowExt, {150, 300}).record(kRectangle, {5, 5, 0, 0}).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 300);
  EXPECT_EQ(r.height, 150);
}

TEST(WmfInfoPlain, ZeroHeightWindowIsReportedAsIs) {
  const Result r = InfoOf(Wmf().record(kSetWindowExt, {0, 300}).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 300);
  EXPECT_EQ(r.height, 0);
}

TEST(WmfInfoPlain, NegativeWindowExtentCountsByItsSize) {
  const Result r = InfoOf(Wmf().record(kSetWindowExt, {static_cast<std::uint16_t>(-80), 120}).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 120);
  EXPECT_EQ(r.height, 80);
}

TEST(WmfInfoPlain, DrawnExtentWithoutWindow) {
  // Rectangle (10,20)-(110,70): words bottom, right, top, left.
  Result r = InfoOf(Wmf().record(kRectangle, {70, 110, 20, 10}).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 100);
  EXPECT_EQ(r.height, 50);
  // Lines and a polygon reaching further.
  r = InfoOf(
      Wmf().record(kMoveTo, {0, 0}).record(kLineTo, {30, 40}).record(kPolygon, {3, 5, 5, 90, 5, 5, 60}).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 90);
  EXPECT_EQ(r.height, 60);
}

TEST(WmfInfoPlain, NothingToMeasureIsRefused) {
  Result r = InfoOf(Wmf().finish());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.width, -1);
  EXPECT_EQ(r.height, -1);
  EXPECT_EQ(r.depth, -1);
  EXPECT_EQ(r.flag, 7);
}

TEST(WmfInfoDepth, HighestDibDepthAndFlag) {
  const Bytes wmf = Wmf()
                        .record(kSetWindowExt, {10, 10})
                        .record(kStretchDib, StretchWords(2, 2), PackedDib(2, 2, 8))
                        .record(kStretchDib, StretchWords(2, 2), PackedDib(2, 2, 24))
                        .record(kStretchDib, StretchWords(2, 2), PackedDib(2, 2, 1))
                        .finish();
  const Result r = InfoOf(wmf);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.depth, 24);
  EXPECT_EQ(r.flag, 1);
}

TEST(WmfInfoDepth, OnlyAMonochromeBitmap) {
  const Result r = InfoOf(
      Wmf().record(kSetWindowExt, {10, 10}).record(kStretchDib, StretchWords(4, 4), PackedDib(4, 4, 1)).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.depth, 1);
  EXPECT_EQ(r.flag, 1);
}

TEST(WmfInfoDepth, BlitWithoutBitmapIsNoBitmap) {
  // META_DIBBITBLT in its 12-word form: raster operation only, no source bitmap.
  const Result r =
      InfoOf(Wmf().record(kSetWindowExt, {10, 10}).record(kDibBitBlt, {0x0021, 0x00F0, 0, 0, 0, 5, 5, 0, 0}).finish());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.depth, 8);
  EXPECT_EQ(r.flag, 0);
}

TEST(EmfInfo, FrameAtTheResolution) {
  // One inch by half an inch.
  const Bytes emf = Emf().record(43 /* EMR_RECTANGLE */, {0, 0, 10, 10}).finish({0, 0, 95, 47}, {0, 0, 2540, 1270});
  Result r = InfoOf(emf);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 96);
  EXPECT_EQ(r.height, 48);
  EXPECT_EQ(r.depth, 8);
  EXPECT_EQ(r.flag, 0);
  r = InfoOf(emf, 300, 150);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 150);
  EXPECT_EQ(r.height, 150);
}

TEST(EmfInfo, StretchDibitsBitmapDepth) {
  const Bytes dib = PackedDib(2, 2, 24);
  const long long header = 40, bits = static_cast<long long>(dib.size()) - header;
  // EMR_STRETCHDIBITS: bounds, dest x/y, src x/y/cx/cy, offBmi, cbBmi, offBits, cbBits,
  // usage, rop, dest cx/cy; the DIB follows at offset 80.
  const Bytes emf =
      Emf()
          .record(81, {0, 0, 1, 1, 0, 0, 0, 0, 2, 2, 80, header, 80 + header, bits, 0, 0xCC0020, 2, 2}, dib)
          .finish({0, 0, 1, 1}, {0, 0, 100, 100});
  const Result r = InfoOf(emf);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.depth, 24);
  EXPECT_EQ(r.flag, 1);
}

TEST(EmfInfo, NoFrameUsesTheBounds) {
  const Result r = InfoOf(Emf().finish({10, 20, 109, 69}, {0, 0, 0, 0}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 100);
  EXPECT_EQ(r.height, 50);
}

TEST(MetafileRefusals, NotAMetafileLeavesTheOutputsAlone) {
  const Bytes wmf = Wmf().record(kSetWindowExt, {10, 10}).finish();
  Bytes badType = wmf;
  badType[0] = 3;
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!', '!', '!', '!', '!'}},
      {"empty", Bytes()},
      {"three bytes", Bytes{1, 0, 9}},
      {"wmf without its end", Bytes(wmf.begin(), wmf.end() - 6)},
      {"type 3 header", badType},
      {"placeable key only", Placeable(0, 0, 10, 10, 96, {})},
      {"placeable cut short",
       [&] {
         Bytes p = Placeable(0, 0, 10, 10, 96, wmf);
         p.resize(20);
         return p;
       }()},
      {"emf cut short",
       [] {
         Bytes e = Emf().finish({0, 0, 1, 1}, {0, 0, 10, 10});
         e.resize(e.size() - 8);
         return e;
       }()},
  };
  for (const auto& [what, bytes] : cases) {
    const Result r = InfoOf(bytes);
    EXPECT_FALSE(r.ok) << what;
    EXPECT_EQ(r.width, -1) << what;
    EXPECT_EQ(r.flag, 7) << what;
  }
  EXPECT_FALSE(Info("/nonexistent/folder/file.wmf").ok);
  EXPECT_FALSE(Info("").ok);
  TempDir dir;
  EXPECT_FALSE(Info(dir.path()).ok);  // a folder
}

TEST(MetafileInfoPaths, NullOutputsAreAllowed) {
  TempDir dir;
  WriteFile(dir.file("m.wmf"), Wmf().record(kSetWindowExt, {10, 20}).finish());
  EXPECT_TRUE(WMFInfo(marrow::WidenToSystemString(dir.file("m.wmf")), nullptr, nullptr, nullptr, 96, 96, nullptr));
}

TEST(MetafileInfoPaths, BytesAboveAsciiTravelAsSystemStrings) {
  TempDir dir;
  const std::string name = dir.file("caf\xE9 \xC3\xBC.wmf");
  WriteFile(name, Wmf().record(kSetWindowExt, {10, 20}).finish());
  const std::u16string wide = marrow::WidenToSystemString(name);
  ASSERT_EQ(wide.size(), name.size());
  EXPECT_EQ(wide[wide.size() - 8], u'\u00E9');  // one unit per byte, no decoding
  EXPECT_EQ(marrow::NarrowSystemString(wide), name);
  const Result r = Info(name);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 20);
  // A system string ends at its terminator.
  EXPECT_EQ(marrow::NarrowSystemString(std::u16string(u"ab\0cd", 5)), "ab");
}

}  // namespace
