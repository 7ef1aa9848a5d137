// Drawings in the image object: metafiles, DXF/WPG and EPS load as vector images,
// draw by playing, save as metafiles or EPS, and raster pictures survive a trip
// through a metafile pixel for pixel.
#include <dirent.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "imagelib/formats/dxf.h"
#include "imagelib/tests/picture_helpers.h"
#include "lorimer/ImageInterface.h"
#include "lorimer/MetaFile.h"

namespace {

using lorimer::testing::At;
using lorimer::testing::Picture;

// A private temporary folder, made TMPDIR for the test so the library's
// temporary files can be counted.
class VectorImages : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lorimer-vector-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const char* previous = std::getenv("TMPDIR");
    hadTmp_ = previous != nullptr;
    if (previous) savedTmp_ = previous;
    setenv("TMPDIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (hadTmp_)
      setenv("TMPDIR", savedTmp_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    lorimer::testing::Run("rm -rf '" + dir_ + "'");
  }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& text) const { std::ofstream(file(name)) << text; }
  int temporaries() const {
    int n = 0;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d)) n += std::strncmp(e->d_name, "lrmr_", 5) == 0;
      closedir(d);
    }
    return n;
  }
  static bool HaveEpsTools() {
    return !lorimer::HelperPath("epsrender").empty() && !lorimer::HelperPath("epswriter").empty() &&
           std::system("command -v gs >/dev/null && command -v pstoedit >/dev/null") == 0;
  }

  std::string dir_;
  std::string savedTmp_;
  bool hadTmp_ = false;
};

// Every pixel of two bitmaps of the same size agrees.
bool SamePixels(HBITMAP a, HBITMAP b, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (At(a, x, y) != At(b, x, y)) return ADD_FAILURE() << "differs at " << x << "," << y, false;
  return true;
}

constexpr const char* kDxf =
    "  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\n0\n 62\n1\n 10\n0\n 20\n0\n 11\n100\n 21\n50\n"
    "  0\nENDSEC\n  0\nEOF\n";

constexpr const char* kEps =
    "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 100\n"
    "1 0 0 setrgbcolor 0 0 moveto 200 0 lineto 200 100 lineto 0 100 lineto closepath fill\nshowpage\n";

TEST_F(VectorImages, RasterThroughMetafilesComesBackPixelForPixel) {
  HBITMAP original = Picture(40, 30);
  struct Case {
    const char* name;
    int mode;
    FORMAT format;
  };
  for (const Case& c : {Case{"a.emf", 0, FORMAT_EMF}, Case{"a.wmf", 0, FORMAT_WMF}, Case{"b.emf", 1, FORMAT_EMF}}) {
    if (c.mode && lorimer::HelperPath("wmfwrap").empty()) continue;
    CImageInterface image;
    ASSERT_TRUE(image.InitFromHBITMAP(Picture(40, 30)));
    if (c.format == FORMAT_EMF) {
      _SAVEIMAGEINFO::_EMF r{};
      r.mode = c.mode;
      ASSERT_TRUE(image.Save(file(c.name).c_str(), &r)) << c.name;
    } else {
      _SAVEIMAGEINFO::_WMF r{};
      r.mode = c.mode;
      ASSERT_TRUE(image.Save(file(c.name).c_str(), &r)) << c.name;
    }
    CImageInterface back;
    ASSERT_TRUE(back.Load(file(c.name).c_str(), 0)) << c.name;
    EXPECT_EQ(back.GetFormat(), c.format);
    EXPECT_TRUE(back.IsVectorImage());
    ASSERT_EQ(back.GetWidth(0), 40) << c.name;
    ASSERT_EQ(back.GetHeight(0), 30) << c.name;
    HBITMAP pixels = back.GetHBITMAP(1, 0);
    ASSERT_NE(pixels, nullptr);
    EXPECT_TRUE(SamePixels(original, pixels, 40, 30)) << c.name;
    DeleteObject(pixels);
  }
  DeleteObject(original);
  EXPECT_EQ(temporaries(), 0);
}

TEST_F(VectorImages, DxfIsHeldAtItsScreenSizeAndDrawsItsLine) {
  write("d.dxf", kDxf);
  lorimer::formats::VectorDrawing drawing;
  ASSERT_TRUE(lorimer::formats::ReadDxf(reinterpret_cast<const BYTE*>(kDxf), std::strlen(kDxf), drawing));
  HDC screen = CreateCompatibleDC(nullptr);
  const int width =
      drawing.widthHundredthsMm * GetDeviceCaps(screen, HORZRES) / (GetDeviceCaps(screen, HORZSIZE) * 100);
  const int height =
      drawing.heightHundredthsMm * GetDeviceCaps(screen, VERTRES) / (GetDeviceCaps(screen, VERTSIZE) * 100);
  DeleteDC(screen);

  CImageInterface image;
  ASSERT_TRUE(image.Load(file("d.dxf").c_str(), 0));
  EXPECT_EQ(image.GetFormat(), FORMAT_DXF);
  EXPECT_TRUE(image.IsVectorImage());
  EXPECT_EQ(image.GetWidth(0), width);
  EXPECT_EQ(image.GetHeight(0), height);
  EXPECT_EQ(image.GetSourceInfo().nWidth, width);

  // Drawn twice as large: the red diagonal runs from bottom left to top right.
  HBITMAP canvas = Common::CreateEmptyDIBSection(2 * width, 2 * height, RGB(255, 255, 255), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  RECT dest{0, 0, 2 * width, 2 * height}, src{0, 0, width, height};
  EXPECT_TRUE(image.DrawImage(dc, &dest, &src, 0));
  // A drawing is played whole: the source keeps its last row and column.
  EXPECT_EQ(src.right, width);
  EXPECT_EQ(src.bottom, height);
  SelectObject(dc, old);
  DeleteDC(dc);
  int red = 0;
  for (int d = -2; d <= 2; ++d) red += At(canvas, width + d, height + d * height / width) == RGB(255, 0, 0);
  EXPECT_GT(red, 0);
  EXPECT_EQ(At(canvas, width / 4, height / 4), RGB(255, 255, 255));
  DeleteObject(canvas);
}

TEST_F(VectorImages, CopiesHandOversAndTheUnknownChain) {
  write("d.dxf", kDxf);
  CImageInterface a;
  ASSERT_TRUE(a.Load(file("d.dxf").c_str(), 0));
  const int w = a.GetWidth(0);

  // InitFromImage: this object takes the drawing, the source gets a drawing of its own.
  CImageInterface b;
  b.InitFromImage(&a, 0);
  EXPECT_TRUE(b.IsVectorImage());
  EXPECT_TRUE(a.IsVectorImage());
  EXPECT_EQ(a.GetWidth(0), w);
  b.CloseHandle();
  HBITMAP still = a.GetHBITMAP(1, 0);
  EXPECT_NE(still, nullptr);
  DeleteObject(still);

  // A metafile of the drawing becomes a new image in any frame.
  HMETAFILE wmf = a.GetHWMF();
  ASSERT_NE(wmf, nullptr);
  CImageInterface c;
  RECT frame{0, 0, 50, 20};
  ASSERT_TRUE(c.InitImageFromHWMF(wmf, &frame));
  EXPECT_EQ(c.GetWidth(0), 50);
  EXPECT_EQ(c.GetHeight(0), 20);
  EXPECT_EQ(c.GetFormat(), FORMAT_UNKNOWN);
  EXPECT_STREQ(c.GetSourceInfo().szPath, "");
  EXPECT_TRUE(c.IsVectorImage());

  // A raster image has no metafile.
  CImageInterface raster;
  ASSERT_TRUE(raster.InitFromHBITMAP(Picture(8, 8)));
  EXPECT_EQ(raster.GetHWMF(), nullptr);
  EXPECT_FALSE(raster.IsVectorImage());

  // A metafile under a name that says nothing is found by the unknown-format chain.
  _SAVEIMAGEINFO::_EMF r{};
  ASSERT_TRUE(raster.Save(file("picture.dat").c_str(), &r));
  CImageInterface unknown;
  ASSERT_TRUE(unknown.Load(file("picture.dat").c_str(), 0));
  EXPECT_EQ(unknown.GetFormat(), FORMAT_UNKNOWN);
  EXPECT_TRUE(unknown.IsVectorImage());
  EXPECT_EQ(unknown.GetWidth(0), 8);
}

TEST_F(VectorImages, DrawingsStayDrawingsUnlessRotated) {
  write("d.dxf", kDxf);
  CImageInterface image;
  ASSERT_TRUE(image.Load(file("d.dxf").c_str(), 0));
  const int w = image.GetWidth(0), h = image.GetHeight(0);
  _SAVEIMAGEINFO::_WMF r{};
  r.width = 2 * w;
  r.height = 2 * h;
  ASSERT_TRUE(image.Save(file("big.wmf").c_str(), &r));
  EXPECT_TRUE(image.IsVectorImage());
  EXPECT_EQ(image.GetWidth(0), 2 * w);
  // The file holds the drawing itself, not a picture of it: a few hundred bytes.
  struct stat st {};
  ASSERT_EQ(stat(file("big.wmf").c_str(), &st), 0);
  EXPECT_LT(st.st_size, 4096);

  _SAVEIMAGEINFO::_EMF turned{};
  turned.angle = 90;
  ASSERT_TRUE(image.Save(file("turned.emf").c_str(), &turned));
  EXPECT_FALSE(image.IsVectorImage());
  EXPECT_EQ(image.GetWidth(0), 2 * h);
  EXPECT_EQ(image.GetHeight(0), 2 * w);
}

// A drawing saved as a metafile or EPS, at its own size or a new one, loads again at
// exactly that size, whatever its proportions.
TEST_F(VectorImages, SavedDrawingsComeBackAtTheSizeAsked) {
  write("d.dxf", kDxf);
  CImageInterface source;
  ASSERT_TRUE(source.Load(file("d.dxf").c_str(), 0));
  const int w = source.GetWidth(0), h = source.GetHeight(0);
  const bool eps = HaveEpsTools();
  const struct { int width, height; } sizes[] = {{0, 0}, {2 * w, 2 * h}, {w + 40, h / 2}};
  for (const char* ext : {"wmf", "emf", "eps"}) {
    if (std::string(ext) == "eps" && !eps) continue;
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::string(ext) + " " + std::to_string(size.width) + "x" + std::to_string(size.height));
      CImageInterface image;
      image.InitFromImage(&source, 0);
      const std::string out = file("saved." + std::string(ext));
      _SAVEIMAGEINFO::_WMF wmf{};
      _SAVEIMAGEINFO::_EMF emf{};
      _SAVEIMAGEINFO::_EPS ps{};
      wmf.width = emf.width = ps.width = size.width;
      wmf.height = emf.height = ps.height = size.height;
      const std::string e = ext;
      const int saved = e == "wmf"   ? image.Save(out.c_str(), &wmf)
                        : e == "emf" ? image.Save(out.c_str(), &emf)
                                     : image.Save(out.c_str(), &ps);
      ASSERT_TRUE(saved);
      CImageInterface back;
      ASSERT_TRUE(back.Load(out.c_str(), 0));
      EXPECT_TRUE(back.IsVectorImage());
      EXPECT_EQ(back.GetWidth(0), size.width ? size.width : w);
      EXPECT_EQ(back.GetHeight(0), size.height ? size.height : h);
    }
  }
}

// pstoedit writes its EMF header in its own logical units (twips of a letter page):
// opened directly, the picture is what its records draw, at the size Ghostscript
// inks the same EPS at 96 dpi.
TEST_F(VectorImages, ForeignEmfOpensAtTheSizeItDraws) {
  if (!HaveEpsTools()) GTEST_SKIP() << "Ghostscript or pstoedit is missing";
  write("d.eps",
        "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 100\n%%EndComments\n"
        "1 0 0 setrgbcolor 10 10 180 80 rectfill showpage\n");
  ASSERT_TRUE(lorimer::testing::Run("pstoedit -q -f emf '" + file("d.eps") + "' '" + file("d.emf") + "'"));
  ASSERT_TRUE(lorimer::testing::Run("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -r96 -sDEVICE=ppmraw -sOutputFile='" +
                                    file("gs.ppm") + "' '" + file("d.eps") + "'"));
  auto gs = lorimer::testing::ReadPnm(file("gs.ppm"));
  ASSERT_TRUE(gs.has_value());
  int left = gs->width, right = -1, top = gs->height, bottom = -1;  // Ghostscript's inked box
  for (int y = 0; y < gs->height; ++y)
    for (int x = 0; x < gs->width; ++x)
      if (gs->at(x, y).g < 128)
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
  ASSERT_GT(right, left);
  CImageInterface image;
  ASSERT_TRUE(image.Load(file("d.emf").c_str(), 0));
  EXPECT_NEAR(image.GetWidth(0), right - left + 1, 3);
  EXPECT_NEAR(image.GetHeight(0), bottom - top + 1, 3);
  HBITMAP pixels = image.GetHBITMAP(1, 0);
  EXPECT_EQ(At(pixels, image.GetWidth(0) / 2, image.GetHeight(0) / 2), RGB(255, 0, 0));
  DeleteObject(pixels);
}

// A save whose file could not be written fails, also when something of that name is
// already there: the viewer would otherwise call a lost edit saved.
TEST_F(VectorImages, AFailedDrawingSaveIsNotReportedAsSaved) {
  CImageInterface image;
  ASSERT_TRUE(image.InitFromHBITMAP(Picture(40, 30)));
  ASSERT_EQ(::mkdir(file("taken.wmf").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(file("taken.emf").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(file("taken.eps").c_str(), 0755), 0);
  _SAVEIMAGEINFO::_WMF wmf{};
  _SAVEIMAGEINFO::_EMF emf{};
  EXPECT_FALSE(image.Save(file("taken.wmf").c_str(), &wmf));
  EXPECT_FALSE(image.Save(file("taken.emf").c_str(), &emf));
  if (HaveEpsTools()) {
    _SAVEIMAGEINFO::_EPS eps{};
    EXPECT_FALSE(image.Save(file("taken.eps").c_str(), &eps));
  }
  EXPECT_EQ(temporaries(), 0);
}

TEST_F(VectorImages, EpsLoadsSavesAndLeavesNoTemporaries) {
  if (!HaveEpsTools()) GTEST_SKIP() << "the EPS helpers, Ghostscript or pstoedit are missing";
  write("box.eps", kEps);
  CImageInterface image;
  ASSERT_TRUE(image.Load(file("box.eps").c_str(), 0));
  EXPECT_EQ(image.GetFormat(), FORMAT_EPS);
  EXPECT_TRUE(image.IsVectorImage());
  EXPECT_NEAR(static_cast<double>(image.GetWidth(0)) / image.GetHeight(0), 2.0, 0.03);
  EXPECT_STREQ(image.GetSourceInfo().szPath, file("box.eps").c_str());
  HBITMAP pixels = image.GetHBITMAP(1, 0);
  EXPECT_EQ(At(pixels, image.GetWidth(0) / 2, image.GetHeight(0) / 2), RGB(255, 0, 0));
  DeleteObject(pixels);

  _SAVEIMAGEINFO::_EPS r{};
  r.preview = 0;
  ASSERT_TRUE(image.Save(file("again.eps").c_str(), &r));
  std::ifstream in(file("again.eps"), std::ios::binary);
  char head[4] = {};
  in.read(head, 4);
  // The helper always gets the preview flag: a DOS EPS with a preview section.
  EXPECT_EQ(std::string(head, 4), "\xC5\xD0\xD3\xC6");
  CImageInterface back;
  ASSERT_TRUE(back.Load(file("again.eps").c_str(), 0));
  EXPECT_NEAR(static_cast<double>(back.GetWidth(0)) / back.GetHeight(0), 2.0, 0.03);

  // PostScript the helper cannot turn into a picture: nothing loads, nothing is left.
  write("broken.ps", "%!PS\n/nosuchoperator 12 def nosuchoperator\n");
  CImageInterface broken;
  EXPECT_FALSE(broken.Load(file("broken.ps").c_str(), 0));
  EXPECT_EQ(broken.GetSourceInfo().nFormat, FORMAT_EPS);
  EXPECT_EQ(temporaries(), 0);
}

TEST_F(VectorImages, HelpersAreFoundNextToTheProgramInAFolderWithSpaces) {
  if (!HaveEpsTools() || lorimer::HelperPath("wmfprobe").empty()) GTEST_SKIP() << "the EPS helpers are missing";
  const std::string tool = LORIMER_TOOL;
  const std::string bin = tool.substr(0, tool.rfind('/'));
  const std::string there = file("program folder");
  ASSERT_EQ(mkdir(there.c_str(), 0755), 0);
  for (const char* name : {"lorimer", "epsrender", "wmfprobe"})
    ASSERT_TRUE(lorimer::testing::Run("cp '" + bin + "/" + name + "' '" + there + "/'")) << name;
  write("a box.eps", kEps);
  const std::string out = file("info.txt");
  // The copies find the libraries where the build put them.
  const std::string command =
      "LD_LIBRARY_PATH='" + bin + "' '" + there + "/lorimer' info '" + file("a box.eps") + "' > '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out);
  const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(line.find("format=7 "), std::string::npos) << line;
  EXPECT_NE(line.find("vector=1"), std::string::npos) << line;
}

}  // namespace
