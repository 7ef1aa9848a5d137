// epswriter: metafiles become EPS files whose bounding box has the picture's size,
// that Ghostscript renders with the picture's colours in place, and that Marrow
// reads back; the preview form carries a readable TIFF; bad input leaves nothing.
#include "siblings/epswriter/epswriter_lib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "siblings/marrow/marrow.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;

constexpr int kSetWindowExt = 0x020C, kSetWindowOrg = 0x020B, kCreateBrush = 0x02FC, kSelectObject = 0x012D,
              kRectangle = 0x041B, kCreatePen = 0x02FA;

// A red rectangle over the right half of a 200 x 100 window, no outline.
Bytes HalfRedWmf() {
  return Wmf()
      .record(kSetWindowOrg, {0, 0})
      .record(kSetWindowExt, {100, 200})
      .record(kCreatePen, {5 /* PS_NULL */, 0, 0, 0, 0})
      .record(kSelectObject, {0})
      .record(kCreateBrush, {0 /* BS_SOLID */, 0x00FF, 0x0000, 0})  // COLORREF 0x000000FF: red
      .record(kSelectObject, {1})
      .record(kRectangle, {100, 200, 0, 100})  // bottom, right, top, left
      .finish();
}

bool HaveGs() { return OnPath("gs"); }

std::string PostScriptOf(const Bytes& eps) {
  if (eps.size() >= 30 && Get32(eps, 0) == 0xC6D3D0C5u) {
    const size_t off = Get32(eps, 4), len = Get32(eps, 8);
    if (off + len <= eps.size())
      return std::string(eps.begin() + static_cast<long>(off), eps.begin() + static_cast<long>(off + len));
  }
  return std::string(eps.begin(), eps.end());
}

bool BoundingBox(const std::string& ps, double box[4]) {
  std::istringstream in(ps);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("%%BoundingBox:", 0) == 0 &&
        std::sscanf(line.c_str() + 14, "%lf %lf %lf %lf", &box[0], &box[1], &box[2], &box[3]) == 4)
      return true;
  return false;
}

class EpsWriter : public ::testing::Test {
 protected:
  std::vector<std::string> Env() const { return {"TMPDIR=" + tmp_.path()}; }
  TempDir tmp_{"epswriter tmp"};
  TempDir dir_{"eps writer"};
};

TEST_F(EpsWriter, PictureSizeFromEachKindOfMetafile) {
  const Bytes wmf = HalfRedWmf();
  WriteFile(dir_.file("plain.wmf"), wmf);
  WriteFile(dir_.file("placeable.wmf"), Placeable(0, 0, 2880, 720, 1440, wmf));
  double w = 0, h = 0;
  ASSERT_TRUE(epswriter::PictureSizePoints(dir_.file("plain.wmf"), w, h));
  EXPECT_DOUBLE_EQ(w, 150);  // 200 screen pixels
  EXPECT_DOUBLE_EQ(h, 75);
  ASSERT_TRUE(epswriter::PictureSizePoints(dir_.file("placeable.wmf"), w, h));
  EXPECT_DOUBLE_EQ(w, 144);  // two inches
  EXPECT_DOUBLE_EQ(h, 36);
  WriteText(dir_.file("text.wmf"), "no metafile here at all, sorry");
  EXPECT_FALSE(epswriter::PictureSizePoints(dir_.file("text.wmf"), w, h));
}

TEST_F(EpsWriter, TiffAndDosWrapperLayout) {
  const Bytes tiff = epswriter::RgbTiff(2, 1, {1, 2, 3, 4, 5, 6});
  ASSERT_GE(tiff.size(), 8u);
  EXPECT_EQ(tiff[0], 'I');
  EXPECT_EQ(Get16(tiff, 2), 42);
  const size_t ifd = Get32(tiff, 4);
  const int entries = Get16(tiff, ifd);
  size_t stripAt = 0, stripBytes = 0;
  for (int i = 0; i < entries; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    if (Get16(tiff, e) == 273) stripAt = Get32(tiff, e + 8);
    if (Get16(tiff, e) == 279) stripBytes = Get32(tiff, e + 8);
  }
  ASSERT_EQ(stripBytes, 6u);
  ASSERT_LE(stripAt + stripBytes, tiff.size());
  EXPECT_EQ(Bytes(tiff.begin() + static_cast<long>(stripAt), tiff.begin() + static_cast<long>(stripAt + 6)),
            (Bytes{1, 2, 3, 4, 5, 6}));

  const Bytes ps = {'%', '!', 'P', 'S'};
  const Bytes dos = epswriter::DosEps(ps, tiff);
  EXPECT_EQ(Get32(dos, 0), 0xC6D3D0C5u);
  EXPECT_EQ(Get32(dos, 4), 30u);
  EXPECT_EQ(Get32(dos, 8), 4u);
  EXPECT_EQ(Get32(dos, 20), 34u);
  EXPECT_EQ(Get32(dos, 24), tiff.size());
  EXPECT_EQ(dos.size(), 30 + ps.size() + tiff.size());
}

TEST_F(EpsWriter, PlaceableWmfBecomesEpsWithItsBox) {
  if (!HaveGs()) GTEST_SKIP() << "gs is not installed; EPS writing not tested";
  WriteFile(dir_.file("in put.wmf"), Placeable(0, 0, 200, 100, 72, HalfRedWmf()));  // 200 x 100 pt
  EXPECT_EQ(RunProgram({EPSWRITER_PATH, dir_.file("in put.wmf"), dir_.file("out put.eps"), "0", "0", "0"}, Env()), 0);
  const Bytes eps = ReadFile(dir_.file("out put.eps"));
  const std::string ps = PostScriptOf(eps);
  ASSERT_EQ(ps.rfind("%!PS-Adobe", 0), 0u);
  double box[4];
  ASSERT_TRUE(BoundingBox(ps, box));
  // The box is the whole picture, its blank left half included.
  EXPECT_EQ(box[0], 0);
  EXPECT_EQ(box[1], 0);
  EXPECT_EQ(box[2], 200);
  EXPECT_EQ(box[3], 100);
  EXPECT_EQ(tmp_.entries(), 0u);

  // Ghostscript renders the left half white and the right half red.
  ASSERT_EQ(RunProgram({"/usr/bin/env", "gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop", "-sDEVICE=bmp16m",
                        "-r72", "-sOutputFile=" + dir_.file("check.bmp"), dir_.file("out put.eps")}),
            0);
  const Bytes bmp = ReadFile(dir_.file("check.bmp"));
  ASSERT_GT(bmp.size(), 54u);
  const size_t bits = Get32(bmp, 10), width = Get32(bmp, 18), height = Get32(bmp, 22);
  ASSERT_EQ(width, 200u);
  ASSERT_EQ(height, 100u);
  const size_t stride = (width * 3 + 3) / 4 * 4;
  for (auto [x, y] : {std::pair<size_t, size_t>{width * 3 / 4, height / 2}, {105, 5}, {width - 5, height - 5}}) {
    const size_t at = bits + y * stride + x * 3;  // blue, green, red
    EXPECT_EQ(bmp.at(at + 2), 255) << x << "," << y;
    EXPECT_LT(bmp.at(at + 1), 10) << x << "," << y;
    EXPECT_LT(bmp.at(at), 10) << x << "," << y;
  }
  for (auto [x, y] : {std::pair<size_t, size_t>{width / 4, height / 2}, {5, 5}, {95, height - 5}}) {
    const size_t at = bits + y * stride + x * 3;
    EXPECT_EQ(bmp.at(at) + bmp.at(at + 1) + bmp.at(at + 2), 3 * 255) << x << "," << y;
  }

  // Marrow reads it back.
  if (OnPath("pstoedit")) {
    ASSERT_TRUE(EPS2WMF(marrow::WidenToSystemString(dir_.file("out put.eps")),
                        marrow::WidenToSystemString(dir_.file("back.wmf"))));
    int w = 0, h = 0, d = 0;
    unsigned char f = 0;
    ASSERT_TRUE(WMFInfo(marrow::WidenToSystemString(dir_.file("back.wmf")), &w, &h, &d, 72, 72, &f));
    EXPECT_NEAR(w, box[2] - box[0], 2);
    EXPECT_NEAR(h, box[3] - box[1], 2);
  }
}

TEST_F(EpsWriter, PreviewMakesADosEpsWithTiff) {
  if (!HaveGs()) GTEST_SKIP() << "gs is not installed; EPS writing not tested";
  WriteFile(dir_.file("a.wmf"), Placeable(0, 0, 200, 100, 72, HalfRedWmf()));
  // The whole line as one argument, as a Windows-style command line.
  const std::string line = "\"" + dir_.file("a.wmf") + "\" \"" + dir_.file("a.eps") + "\" 1 0 0";
  EXPECT_EQ(RunProgram({EPSWRITER_PATH, line}, Env()), 0);
  const Bytes eps = ReadFile(dir_.file("a.eps"));
  ASSERT_GE(eps.size(), 30u);
  ASSERT_EQ(Get32(eps, 0), 0xC6D3D0C5u);
  const size_t tiffAt = Get32(eps, 20), tiffLen = Get32(eps, 24);
  ASSERT_GT(tiffLen, 8u);
  ASSERT_EQ(tiffAt + tiffLen, eps.size());
  const Bytes tiff(eps.begin() + static_cast<long>(tiffAt), eps.end());
  // The preview: 200 x 100 at 72 dpi, red on the right, white on the left.
  const size_t ifd = Get32(tiff, 4);
  size_t width = 0, stripAt = 0;
  for (int i = 0; i < Get16(tiff, ifd); ++i) {
    const size_t e = ifd + 2 + 12 * i;
    if (Get16(tiff, e) == 256) width = Get32(tiff, e + 8);
    if (Get16(tiff, e) == 273) stripAt = Get32(tiff, e + 8);
  }
  ASSERT_EQ(width, 200u);
  const size_t row = 50 * width * 3;
  EXPECT_EQ(tiff.at(stripAt + row + 150 * 3), 255);  // red
  EXPECT_EQ(tiff.at(stripAt + row + 150 * 3 + 1), 0);
  EXPECT_EQ(tiff.at(stripAt + row + 50 * 3 + 1), 255);  // white
  EXPECT_EQ(PostScriptOf(eps).rfind("%!PS-Adobe", 0), 0u);
}

TEST_F(EpsWriter, BadInputLeavesNothingAndExitsZero) {
  WriteText(dir_.file("bad.wmf"), "this is no metafile at all, only text");
  EXPECT_EQ(RunProgram({EPSWRITER_PATH, dir_.file("bad.wmf"), dir_.file("bad.eps"), "0", "0", "0"}, Env()), 0);
  EXPECT_EQ(RunProgram({EPSWRITER_PATH, dir_.file("missing.wmf"), dir_.file("m.eps"), "1", "0", "0"}, Env()), 0);
  EXPECT_EQ(RunProgram({EPSWRITER_PATH}, Env()), 0);
  EXPECT_EQ(RunProgram({EPSWRITER_PATH, dir_.file("bad.wmf")}, Env()), 0);
  EXPECT_EQ(dir_.entries(), 1u);
  EXPECT_EQ(tmp_.entries(), 0u);
}

}  // namespace
