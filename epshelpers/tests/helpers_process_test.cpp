// epsrender and wmfprobe run as the image library runs them: two arguments (or one
// pre-quoted line), output judged by the file left behind, exit code always 0.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/gdi/gdi.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;

constexpr int kSetWindowExt = 0x020C, kRectangle = 0x041B, kStretchDib = 0x0F43;

std::string ReadText(const std::string& path) {
  const Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

struct ScreenDpi {
  int x = 0, y = 0;
  ScreenDpi() {
    HDC dc = CreateCompatibleDC(nullptr);
    x = GetDeviceCaps(dc, LOGPIXELSX);
    y = GetDeviceCaps(dc, LOGPIXELSY);
    DeleteDC(dc);
  }
};

TEST(WmfProbe, PlaceableMetafileGivesFourNumbers) {
  TempDir dir;
  // Two inches by one inch, with a 24-bit bitmap inside.
  const Bytes wmf = Wmf()
                        .record(kSetWindowExt, {2, 3})
                        .record(kStretchDib, {0x0020, 0x00CC, 0, 2, 3, 0, 0, 2, 3, 0, 0}, PackedDib(3, 2, 24))
                        .finish();
  WriteFile(dir.file("pic.wmf"), Placeable(0, 0, 2880, 1440, 1440, wmf));
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("pic.wmf"), dir.file("info.txt")}), 0);
  const ScreenDpi dpi;
  ASSERT_GT(dpi.x, 0);
  const std::string expected = std::to_string(2 * dpi.x) + " " + std::to_string(dpi.y) + " 24 1";  // no line end
  EXPECT_EQ(ReadText(dir.file("info.txt")), expected);
}

TEST(WmfProbe, VectorOnlyMetafileHasDepthEightAndNoFlag) {
  TempDir dir("probe dir");
  WriteFile(dir.file("vec tor.wmf"), Wmf().record(kSetWindowExt, {50, 70}).record(kRectangle, {5, 5, 0, 0}).finish());
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("vec tor.wmf"), dir.file("in fo.txt")}), 0);
  int w = 0, h = 0, d = 0, f = -1;
  FILE* in = std::fopen(dir.file("in fo.txt").c_str(), "r");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(std::fscanf(in, "%d %d %d %d", &w, &h, &d, &f), 4);
  std::fclose(in);
  EXPECT_EQ(w, 70);
  EXPECT_EQ(h, 50);
  EXPECT_EQ(d, 8);
  EXPECT_EQ(f, 0);
}

TEST(WmfProbe, ZeroHeightWritesNothing) {
  TempDir dir;
  WriteFile(dir.file("flat.wmf"), Wmf().record(kSetWindowExt, {0, 300}).record(kRectangle, {5, 5, 0, 0}).finish());
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("flat.wmf"), dir.file("info.txt")}), 0);
  EXPECT_FALSE(Exists(dir.file("info.txt")));
  // Zero width likewise.
  WriteFile(dir.file("thin.wmf"), Wmf().record(kSetWindowExt, {300, 0}).finish());
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("thin.wmf"), dir.file("info.txt")}), 0);
  EXPECT_FALSE(Exists(dir.file("info.txt")));
}

TEST(WmfProbe, UnreadableInputWritesNothing) {
  TempDir dir;
  WriteText(dir.file("text.wmf"), "not a metafile, just some words");
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("text.wmf"), dir.file("a.txt")}), 0);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("missing.wmf"), dir.file("b.txt")}), 0);
  EXPECT_EQ(dir.entries(), 1u);
}

TEST(WmfProbe, BadCommandLinesEndWithZeroAndNoOutput) {
  TempDir dir;
  WriteFile(dir.file("m.wmf"), Wmf().record(kSetWindowExt, {10, 10}).finish());
  EXPECT_EQ(RunProgram({WMFPROBE_PATH}), 0);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, ""}), 0);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("m.wmf")}), 0);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("m.wmf") + " " + dir.file("o.txt")}), 0);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, "", dir.file("o.txt")}), 0);
  // An output path of exactly 260 characters is too long for the buffer.
  const std::string longName = dir.file(std::string(260 - dir.path().size() - 1, 'o'));
  ASSERT_EQ(longName.size(), 260u);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("m.wmf"), longName}), 0);
  EXPECT_EQ(dir.entries(), 1u);
  // 259 characters still work.
  const std::string justFits = longName.substr(0, 259);
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir.file("m.wmf"), justFits}), 0);
  EXPECT_EQ(ReadText(justFits), "10 10 8 0");
}

TEST(WmfProbe, OnePreQuotedArgumentWorks) {
  TempDir dir("pre quoted");
  WriteFile(dir.file("m m.wmf"), Wmf().record(kSetWindowExt, {20, 40}).finish());
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, "\"" + dir.file("m m.wmf") + "\" \"" + dir.file("o o.txt") + "\""}), 0);
  EXPECT_EQ(ReadText(dir.file("o o.txt")), "40 20 8 0");
}

bool HaveTools() { return OnPath("pstoedit") && OnPath("gs"); }

class EpsRender : public ::testing::Test {
 protected:
  std::vector<std::string> Env() const { return {"TMPDIR=" + tmp_.path()}; }
  TempDir tmp_{"epsrender tmp"};
  TempDir dir_{"eps render"};
};

TEST_F(EpsRender, SmallEpsBecomesAWmfWithItsAspect) {
  if (!HaveTools()) GTEST_SKIP() << "pstoedit or gs is not installed; EPS conversion not tested";
  WriteText(dir_.file("my pic.eps"), SmallEps(0, 0, 200, 100));
  EXPECT_EQ(RunProgram({EPSRENDER_PATH, dir_.file("my pic.eps"), dir_.file("my pic.wmf")}, Env()), 0);
  const Bytes wmf = ReadFile(dir_.file("my pic.wmf"));
  ASSERT_GT(wmf.size(), 140u);
  ASSERT_EQ(Get32(wmf, 0), 0x9AC6CDD7u);
  const int w = GetS16(wmf, 10) - GetS16(wmf, 6), h = GetS16(wmf, 12) - GetS16(wmf, 8);
  ASSERT_GT(h, 0);
  EXPECT_NEAR(double(w) / h, 2.0, 0.01);
  EXPECT_EQ(tmp_.entries(), 0u);

  // The probe on that result, as the library runs the two in turn.
  EXPECT_EQ(RunProgram({WMFPROBE_PATH, dir_.file("my pic.wmf"), dir_.file("probe.txt")}), 0);
  int pw = 0, ph = 0, pd = 0, pf = -1;
  FILE* in = std::fopen(dir_.file("probe.txt").c_str(), "r");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(std::fscanf(in, "%d %d %d %d", &pw, &ph, &pd, &pf), 4);
  std::fclose(in);
  EXPECT_NEAR(double(pw) / ph, 2.0, 0.02);
  const ScreenDpi dpi;
  EXPECT_NEAR(pw, 200.0 * dpi.x / 72, 1.0);
}

TEST_F(EpsRender, GarbageLeavesNoOutputAndNoTemporaries) {
  if (!HaveTools()) GTEST_SKIP() << "pstoedit or gs is not installed; EPS conversion not tested";
  WriteText(dir_.file("bad.ps"), "%!PS\n/undefined-thing-here dup exec garbage } {\n");
  EXPECT_EQ(RunProgram({EPSRENDER_PATH, dir_.file("bad.ps"), dir_.file("bad.wmf")}, Env()), 0);
  EXPECT_FALSE(Exists(dir_.file("bad.wmf")));
  EXPECT_EQ(tmp_.entries(), 0u);
  EXPECT_EQ(dir_.entries(), 1u);
}

TEST_F(EpsRender, BadCommandLinesEndWithZero) {
  WriteText(dir_.file("a.eps"), SmallEps(0, 0, 20, 10));
  EXPECT_EQ(RunProgram({EPSRENDER_PATH}, Env()), 0);
  EXPECT_EQ(RunProgram({EPSRENDER_PATH, dir_.file("a.eps")}, Env()), 0);
  const std::string longName = dir_.file(std::string(260 - dir_.path().size() - 1, 'e'));
  EXPECT_EQ(RunProgram({EPSRENDER_PATH, dir_.file("a.eps"), longName}, Env()), 0);
  EXPECT_EQ(RunProgram({EPSRENDER_PATH, dir_.file("missing.eps"), dir_.file("b.wmf")}, Env()), 0);
  EXPECT_EQ(dir_.entries(), 1u);
  EXPECT_EQ(tmp_.entries(), 0u);
}

}  // namespace
