// EPS2WMF: the EMF-to-WMF step on pstoedit-style EMFs built here, then whole
// conversions through pstoedit and Ghostscript (skipped when they are missing):
// the box keeps the EPS aspect, the raster route carries one bitmap, failures leave
// no output and no temporary files. Also the tool runner's argument passing and
// time limit.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"
#include "siblings/marrow/marrow.h"
#include "siblings/marrow/marrow_internal.h"
#include "siblings/marrow/run_tool.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;
namespace wmf = vel::gdi::wmf;

// What pstoedit writes for a rectangle from (10,10) to (190,90) pt: its mapping
// records, then a POLYPOLYGON16 in twips with y down from the top of a letter page,
// and a frame that does not describe the picture.
Bytes PstoeditStyleEmf(bool withDrawing = true) {
  Emf e;
  e.record(17, {8}).record(9, {1440, 1440}).record(11, {96, 96});
  if (withDrawing) {
    // bounds, one polygon of 5 points
    Bytes pts;
    for (auto [x, y] : {std::pair{200, 14040}, {3800, 14040}, {3800, 15640}, {200, 15640}, {200, 14040}}) {
      Put16(pts, x);
      Put16(pts, y);
    }
    e.record(91, {200, 14040, 3800, 15640, 1, 5, 5}, pts);
  }
  return e.finish({200, 14040, 3800, 15640}, {6250, 118750, 438750, 488750});
}

struct Wrapped {
  int left, top, right, bottom, inch;
  std::vector<wmf::Record> records;
  Bytes bytes;
};

bool Unwrap(const Bytes& file, Wrapped& w) {
  if (file.size() < 22 || Get32(file, 0) != 0x9AC6CDD7) return false;
  w.bytes = file;
  w.left = GetS16(file, 6), w.top = GetS16(file, 8), w.right = GetS16(file, 10), w.bottom = GetS16(file, 12);
  w.inch = Get16(file, 14);
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= Get16(file, 2 * i);
  if (Get16(file, 20) != sum) return false;
  return wmf::ParseRecords(w.bytes.data() + 22, w.bytes.size() - 22, &w.records);
}

std::vector<int> Params(const wmf::Record& r) {
  std::vector<int> v;
  for (size_t i = 0; i < r.paramCount(); ++i) {
    std::int16_t p = 0;
    r.sparam(i, p);
    v.push_back(p);
  }
  return v;
}

const wmf::Record* First(const Wrapped& w, WORD function) {
  for (const wmf::Record& r : w.records)
    if (r.function == function) return &r;
  return nullptr;
}

TEST(EmfToWmf, BoxIsTheBoundingBoxInTwips) {
  const auto out = marrow::EmfToPlaceableWmf(PstoeditStyleEmf(), marrow::BoundingBox{0, 0, 200, 100});
  ASSERT_TRUE(out);
  Wrapped w;
  ASSERT_TRUE(Unwrap(*out, w));
  EXPECT_EQ(w.inch, 1440);
  EXPECT_EQ(w.left, 0);
  EXPECT_EQ(w.right, 4000);
  EXPECT_EQ(w.top, (792 - 100) * 20);
  EXPECT_EQ(w.bottom, 792 * 20);
  // The window in force when drawing starts is the same box, and no viewport record
  // reaches the WMF to fight the placeable box.
  const wmf::Record* org = nullptr;
  const wmf::Record* ext = nullptr;
  size_t viewports = 0;
  for (const wmf::Record& r : w.records) {
    if (r.function == wmf::META_POLYPOLYGON) break;
    if (r.function == wmf::META_SETWINDOWORG) org = &r;
    if (r.function == wmf::META_SETWINDOWEXT) ext = &r;
    viewports += r.function == wmf::META_SETVIEWPORTEXT || r.function == wmf::META_SETVIEWPORTORG;
  }
  ASSERT_TRUE(org && ext);
  EXPECT_EQ(Params(*org), (std::vector<int>{w.top, w.left}));
  EXPECT_EQ(Params(*ext), (std::vector<int>{w.bottom - w.top, w.right - w.left}));
  EXPECT_EQ(viewports, 0u);
  // The drawing keeps its coordinates.
  const wmf::Record* poly = First(w, wmf::META_POLYPOLYGON);
  ASSERT_TRUE(poly);
  const std::vector<int> p = Params(*poly);
  ASSERT_GE(p.size(), 4u);
  EXPECT_EQ(p[2], 200);
  EXPECT_EQ(p[3], 14040);
  // Our metafile layer takes it, and the EMF it carries has the box as frame.
  HMETAFILE hmf = SetMetaFileBitsEx(static_cast<UINT>(out->size() - 22), out->data() + 22);
  ASSERT_NE(hmf, nullptr);
  DeleteMetaFile(hmf);
  HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(out->size() - 22), out->data() + 22, nullptr, nullptr);
  ASSERT_NE(emf, nullptr);
  ENHMETAHEADER h{};
  ASSERT_GT(GetEnhMetaFileHeader(emf, sizeof h, &h), 0u);
  EXPECT_NEAR((h.rclFrame.right - h.rclFrame.left) / 2540.0, 200 / 72.0, 0.001);
  EXPECT_NEAR((h.rclFrame.bottom - h.rclFrame.top) / 2540.0, 100 / 72.0, 0.001);
  // Its bounds are the picture in screen pixels from the origin, reaching one past the
  // last pixel as in the image library's own recordings.
  HDC screen = CreateCompatibleDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  DeleteDC(screen);
  EXPECT_EQ(h.rclBounds.left, 0);
  EXPECT_EQ(h.rclBounds.top, 0);
  EXPECT_NEAR(h.rclBounds.right, 200.0 * dpiX / 72, 1.0);
  EXPECT_NEAR(h.rclBounds.bottom, 100.0 * dpiY / 72, 1.0);
  // Its records map the box in twips onto those pixels.
  bool windowIsBox = false, viewportIsPixels = false;
  vel::gdi::emf::ForEachRecord(emf, [&](const vel::gdi::emf::Record& r) {
    LONG a = 0, b = 0;
    r.i32(8, a);
    r.i32(12, b);
    if (r.type == vel::gdi::emf::EMR_SETWINDOWEXTEX) windowIsBox = a == 4000 && b == 2000;
    if (r.type == vel::gdi::emf::EMR_SETVIEWPORTEXTEX)
      viewportIsPixels = a == h.rclBounds.right && b == h.rclBounds.bottom;
    return true;
  });
  EXPECT_TRUE(windowIsBox);
  EXPECT_TRUE(viewportIsPixels);
  DeleteEnhMetaFile(emf);
}

TEST(EmfToWmf, PenWidthsInPointsBecomeTwips) {
  // pstoedit's pens: a 4-point CREATEPEN and a hairline, next to twips coordinates.
  Emf e;
  e.record(9, {1440, 1440}).record(11, {96, 96});
  e.record(38, {1, 0, 4, 0, 0xFF0000}).record(37, {1});
  e.record(38, {2, 0, 0, 0, 0}).record(37, {2});
  e.record(27, {400, 15440}).record(54, {3600, 14240});
  const auto out =
      marrow::EmfToPlaceableWmf(e.finish({400, 14240, 3600, 15440}, {0, 0, 1, 1}), marrow::BoundingBox{0, 0, 200, 100});
  ASSERT_TRUE(out);
  Wrapped w;
  ASSERT_TRUE(Unwrap(*out, w));
  std::vector<int> widths;
  for (const wmf::Record& r : w.records)
    if (r.function == wmf::META_CREATEPENINDIRECT) widths.push_back(Params(r).at(1));
  ASSERT_GE(widths.size(), 2u);
  EXPECT_EQ(widths[0], 80);
  EXPECT_EQ(widths[1], 0);
}

TEST(EmfToWmf, WithoutBoundingBoxTheDrawnExtentIsTheBox) {
  const auto out = marrow::EmfToPlaceableWmf(PstoeditStyleEmf(), std::nullopt);
  ASSERT_TRUE(out);
  Wrapped w;
  ASSERT_TRUE(Unwrap(*out, w));
  EXPECT_EQ(w.left, 200);
  EXPECT_EQ(w.top, 14040);
  EXPECT_EQ(w.right, 3800);
  EXPECT_EQ(w.bottom, 15640);
}

TEST(EmfToWmf, BoundingBoxAwayFromTheDrawingIsNotTrusted) {
  const auto out = marrow::EmfToPlaceableWmf(PstoeditStyleEmf(), marrow::BoundingBox{400, 0, 500, 50});
  ASSERT_TRUE(out);
  Wrapped w;
  ASSERT_TRUE(Unwrap(*out, w));
  EXPECT_EQ(w.left, 200);
  EXPECT_EQ(w.right, 3800);
}

TEST(EmfToWmf, RefusesWhatCannotBecomeAWmf) {
  // Nothing drawn.
  EXPECT_FALSE(marrow::EmfToPlaceableWmf(PstoeditStyleEmf(false), marrow::BoundingBox{0, 0, 200, 100}));
  // A box beyond 16-bit coordinates (y far below the page).
  EXPECT_FALSE(marrow::EmfToPlaceableWmf(PstoeditStyleEmf(), marrow::BoundingBox{0, -2000, 200, 700}));
  // Not an EMF.
  Bytes broken = PstoeditStyleEmf();
  broken.resize(broken.size() - 4);
  EXPECT_FALSE(marrow::EmfToPlaceableWmf(broken, std::nullopt));
  EXPECT_FALSE(marrow::EmfToPlaceableWmf({}, std::nullopt));
}

// ---- whole conversions ----------------------------------------------------------

bool HaveTools() {
  if (OnPath("pstoedit") && OnPath("gs")) return true;
  return false;
}
#define REQUIRE_TOOLS() \
  if (!HaveTools()) GTEST_SKIP() << "pstoedit or gs is not installed; EPS conversion not tested"

// Points TMPDIR at a folder of the test's own, so left-over temporaries show.
class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    if (old) saved_ = old, hadTmp_ = true;
    setenv("TMPDIR", tmp_.path().c_str(), 1);
  }
  void TearDown() override {
    if (hadTmp_)
      setenv("TMPDIR", saved_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  bool Convert(const std::string& in, const std::string& out) {
    return EPS2WMF(marrow::WidenToSystemString(in), marrow::WidenToSystemString(out));
  }
  TempDir tmp_{"marrowtmp"};
  TempDir files_{"marrow files"};

 private:
  std::string saved_;
  bool hadTmp_ = false;
};

TEST_F(Conversion, SmallEpsKeepsItsAspect) {
  REQUIRE_TOOLS();
  WriteText(files_.file("pic.eps"), SmallEps(0, 0, 200, 100));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Convert(files_.file("pic.eps"), files_.file("pic.wmf")));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("conversion_seconds", std::to_string(seconds));
  const Bytes out = ReadFile(files_.file("pic.wmf"));
  EXPECT_GT(out.size(), 140u);
  Wrapped w;
  ASSERT_TRUE(Unwrap(out, w));
  EXPECT_NEAR(double(w.right - w.left) / (w.bottom - w.top), 2.0, 0.01);
  EXPECT_EQ(tmp_.entries(), 0u);
  int width = 0, height = 0, depth = 0;
  unsigned char flag = 9;
  ASSERT_TRUE(WMFInfo(marrow::WidenToSystemString(files_.file("pic.wmf")), &width, &height, &depth, 72, 72, &flag));
  EXPECT_EQ(width, 200);  // at 72 dpi one pixel per point
  EXPECT_EQ(height, 100);
  EXPECT_EQ(flag, 0);
}

TEST_F(Conversion, OffsetBoundingBoxInPathsWithSpaces) {
  REQUIRE_TOOLS();
  WriteText(files_.file("my picture.eps"), SmallEps(50, 60, 110, 240));  // 60 x 180
  ASSERT_TRUE(Convert(files_.file("my picture.eps"), files_.file("out put.wmf")));
  Wrapped w;
  ASSERT_TRUE(Unwrap(ReadFile(files_.file("out put.wmf")), w));
  EXPECT_EQ(w.right - w.left, 60 * 20);
  EXPECT_EQ(w.bottom - w.top, 180 * 20);
}

TEST_F(Conversion, UnplaceablePageIsRasterised) {
  REQUIRE_TOOLS();
  // So far from the page origin that twips leave 16 bits: Ghostscript renders it.
  WriteText(files_.file("far.eps"), SmallEps(0, 3000, 100, 3050));
  ASSERT_TRUE(Convert(files_.file("far.eps"), files_.file("far.wmf")));
  Wrapped w;
  ASSERT_TRUE(Unwrap(ReadFile(files_.file("far.wmf")), w));
  // Rendered at the screen's resolution: the bitmap is the box's size on screen.
  HDC screen = CreateCompatibleDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  DeleteDC(screen);
  EXPECT_EQ(w.inch, dpi);
  EXPECT_NEAR(w.right - w.left, 100.0 * dpi / 72, 2);
  EXPECT_NEAR(double(w.right - w.left) / (w.bottom - w.top), 2.0, 0.05);
  size_t dibs = 0;
  for (const wmf::Record& r : w.records) dibs += r.function == wmf::META_STRETCHDIB;
  EXPECT_EQ(dibs, 1u);
  int width = 0, height = 0, depth = 0;
  unsigned char flag = 0;
  ASSERT_TRUE(WMFInfo(marrow::WidenToSystemString(files_.file("far.wmf")), &width, &height, &depth, 150, 150, &flag));
  EXPECT_EQ(depth, 24);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(tmp_.entries(), 0u);
}

TEST_F(Conversion, DosEpsBinaryIsUnwrapped) {
  REQUIRE_TOOLS();
  const std::string ps = SmallEps(0, 0, 300, 100);
  Bytes file;
  Put32(file, 0xC6D3D0C5);
  Put32(file, 30);
  Put32(file, static_cast<long long>(ps.size()));
  for (int i = 0; i < 4; ++i) Put32(file, 0);
  Put16(file, 0xFFFF);
  file.insert(file.end(), ps.begin(), ps.end());
  file.insert(file.end(), 16, 0x55);  // a preview would follow
  WriteFile(files_.file("dos.eps"), file);
  ASSERT_TRUE(Convert(files_.file("dos.eps"), files_.file("dos.wmf")));
  Wrapped w;
  ASSERT_TRUE(Unwrap(ReadFile(files_.file("dos.wmf")), w));
  EXPECT_NEAR(double(w.right - w.left) / (w.bottom - w.top), 3.0, 0.01);
}

TEST_F(Conversion, GarbageLeavesNoOutputAndNoTemporaries) {
  REQUIRE_TOOLS();
  WriteText(files_.file("bad.ps"), "%!PS-Adobe-3.0\nthis is not postscript at all {\n");
  EXPECT_FALSE(Convert(files_.file("bad.ps"), files_.file("bad.wmf")));
  EXPECT_FALSE(Exists(files_.file("bad.wmf")));
  EXPECT_EQ(tmp_.entries(), 0u);
  EXPECT_EQ(files_.entries(), 1u);
}

TEST_F(Conversion, FailureKeepsAnExistingOutput) {
  WriteText(files_.file("bad.ps"), "\x01\x02 binary, not PostScript");
  WriteText(files_.file("old.wmf"), "old contents");
  EXPECT_FALSE(Convert(files_.file("bad.ps"), files_.file("old.wmf")));
  EXPECT_EQ(ReadFile(files_.file("old.wmf")), (Bytes{'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', 's'}));
  EXPECT_FALSE(Convert(files_.file("missing.eps"), files_.file("x.wmf")));
  EXPECT_FALSE(Convert("", files_.file("x.wmf")));
  EXPECT_FALSE(Exists(files_.file("x.wmf")));
  EXPECT_EQ(tmp_.entries(), 0u);
}

TEST_F(Conversion, UnwritableOutputFailsCleanly) {
  REQUIRE_TOOLS();
  WriteText(files_.file("pic.eps"), SmallEps(0, 0, 20, 10));
  EXPECT_FALSE(Convert(files_.file("pic.eps"), files_.file("no such folder/pic.wmf")));
  EXPECT_EQ(tmp_.entries(), 0u);
}

// ---- the tool runner --------------------------------------------------------------

TEST(RunTool, ArgumentsArriveWhole) {
  const std::string odd = "a b \"c\" 'd' $HOME %1 -x";
  EXPECT_TRUE(marrow::RunTool({{"sh", "-c", "test \"$1\" = \"$2\"", "sh", odd, odd}, "", 10}));
  EXPECT_FALSE(marrow::RunTool({{"sh", "-c", "test \"$1\" = \"$2\"", "sh", odd, odd + " "}, "", 10}));
}

TEST(RunTool, TemporaryFolderIsHandedOn) {
  EXPECT_TRUE(marrow::RunTool(
      {{"sh", "-c", "test \"$TMPDIR\" = /some/where && test \"$TMP\" = /some/where"}, "/some/where", 10}));
}

TEST(RunTool, FailuresAreFalse) {
  EXPECT_FALSE(marrow::RunTool({{"sh", "-c", "exit 3"}, "", 10}));
  EXPECT_FALSE(marrow::RunTool({{"no-such-tool-here-xyz"}, "", 10}));
  EXPECT_FALSE(marrow::RunTool({{}, "", 10}));
  EXPECT_TRUE(marrow::ToolAvailable("sh"));
  EXPECT_FALSE(marrow::ToolAvailable("no-such-tool-here-xyz"));
}

TEST(RunTool, TimeLimitKillsTheWholeGroup) {
  TempDir dir;
  const std::string marker = dir.file("late");
  const auto start = std::chrono::steady_clock::now();
  // The child starts a grandchild that would write the marker after the limit.
  EXPECT_FALSE(marrow::RunTool({{"sh", "-c", "(sleep 3; touch \"$1\") & sleep 30", "sh", marker}, "", 1}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ::sleep(4);
  EXPECT_FALSE(Exists(marker));
}

}  // namespace
