// The program printed headless to the built-in PDF printer, the PDF rendered
// back with poppler's pdftoppm, and the pictures and texts looked for where the
// layout puts them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/gdi.h"
#include "printlayout/cli/Startup.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::BinDir;
using testing::FileExists;
using testing::HaveTool;
using testing::ReadText;
using testing::TempFolder;
using testing::WritePicture;

struct Raster {
  HBITMAP bitmap = nullptr;
  vel::gdi::BitmapView view;
  ~Raster() {
    if (bitmap) DeleteObject(bitmap);
  }
  bool Load(const std::string& path) {
    CImageInterface image;
    if (!image.Load(path.c_str(), 1)) return false;
    bitmap = image.GetHBITMAP(1, 0);
    return bitmap && vel::gdi::GetBitmapView(bitmap, &view) && view.bitsPerPixel == 24;
  }
  COLORREF At(int x, int y) const {
    const BYTE* p = view.row(y) + 3 * x;
    return RGB(p[2], p[1], p[0]);
  }
  // Share of the pixels of a region that match.
  double Share(int x0, int y0, int x1, int y1, const std::function<bool(COLORREF)>& match) const {
    int hits = 0, all = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x, ++all) hits += match(At(x, y)) ? 1 : 0;
    return all ? static_cast<double>(hits) / all : 0;
  }
};

bool Near(COLORREF c, COLORREF want) {
  return std::abs(GetRValue(c) - GetRValue(want)) < 40 && std::abs(GetGValue(c) - GetGValue(want)) < 40 &&
         std::abs(GetBValue(c) - GetBValue(want)) < 40;
}
bool Dark(COLORREF c) { return GetRValue(c) < 110 && GetGValue(c) < 110 && GetBValue(c) < 110; }

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

constexpr COLORREF kColours[5] = {RGB(220, 20, 20), RGB(20, 170, 20), RGB(20, 20, 220), RGB(230, 200, 0),
                                  RGB(160, 0, 160)};

TEST(PrintToPdf, FiveImagesOnATwoByTwoGridMakeTwoPages) {
  if (!HaveTool("pdftoppm") || !HaveTool("pdfinfo")) GTEST_SKIP() << "poppler-utils is not installed";
  TempFolder dir;
  const char* names[5] = {"a.jpg", "b.png", "c.tif", "d.bmp", "e.gif"};
  const int types[5] = {kExportJPEG, kExportPNG, kExportTIFF, kExportBMP, kExportGIF};
  std::string args;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(WritePicture(dir / names[i], 300, 200, kColours[i], types[i])) << names[i];
    args += " '" + (dir / names[i]) + "'";
  }
  const std::string pdfDir = dir / "pdf";
  const std::string env =
      "VELMARK_PDF_DIR='" + pdfDir + "' VELMARK_REGISTRY_DIR='" + (dir / "reg") + "' DISPLAY= WAYLAND_DISPLAY= ";
  const std::string run = env + "'" + BinDir() +
                          "/tessaly' /p /A:2,2 '/H:&[Project];Page &[Page] of &[Pages];&[Date]'" + args + " >'" +
                          (dir / "out.txt") + "' 2>'" + (dir / "err.txt") + "'";
  ASSERT_EQ(Shell(run), 0) << ReadText(dir / "err.txt");
  const std::string pdf = pdfDir + "/Untitled.pdf";
  ASSERT_TRUE(FileExists(pdf)) << ReadText(dir / "err.txt");
  EXPECT_EQ(ReadText(dir / "out.txt"), pdf + "\n");  // headless, the program says where the file is
  ASSERT_EQ(Shell("pdfinfo '" + pdf + "' | grep -q '^Pages: *2$'"), 0);
  ASSERT_EQ(Shell("pdfinfo '" + pdf + "' | grep -q 'Page size: *595.* x 842'"), 0);  // A4

  // 50 dpi: the sheet is 413 x 585 pixels, the margins 39 pixels.
  ASSERT_EQ(Shell("pdftoppm -r 50 -png '" + pdf + "' '" + (dir / "page") + "'"), 0);
  Raster first, second;
  ASSERT_TRUE(first.Load(dir / "page-1.png"));
  ASSERT_TRUE(second.Load(dir / "page-2.png"));
  const int w = first.view.width, h = first.view.height;
  EXPECT_NEAR(w, 413, 1);
  EXPECT_NEAR(h, 585, 1);
  const int margin = 39;
  const int midX = w / 2, midY = h / 2;
  // Each picture sits in its own quadrant of the content, nothing outside the margins.
  const int quadrants[4][4] = {{margin, margin, midX, midY},
                               {midX, margin, w - margin, midY},
                               {margin, midY, midX, h - margin},
                               {midX, midY, w - margin, h - margin}};
  for (int i = 0; i < 4; ++i) {
    const auto& q = quadrants[i];
    const auto isColour = [i](COLORREF c) { return Near(c, kColours[i]); };
    EXPECT_GT(first.Share(q[0], q[1], q[2], q[3], isColour), 0.15) << "picture " << i;
    for (int j = 0; j < 4; ++j)
      if (j != i) {
        EXPECT_LT(first.Share(q[0], q[1], q[2], q[3], [j](COLORREF c) { return Near(c, kColours[j]); }), 0.01);
      }
  }
  for (int i = 0; i < 5; ++i) {
    const auto isColour = [i](COLORREF c) { return Near(c, kColours[i]); };
    EXPECT_LT(first.Share(0, 0, w, margin - 2, isColour), 0.001);
    EXPECT_LT(first.Share(0, 0, margin - 2, h, isColour), 0.001);
  }
  // The fifth picture alone on page 2, in the first cell.
  EXPECT_GT(second.Share(margin, margin, midX, midY, [](COLORREF c) { return Near(c, kColours[4]); }), 0.15);
  EXPECT_LT(second.Share(midX, margin, w, h, [](COLORREF c) { return !Near(c, RGB(255, 255, 255)) && !Dark(c); }),
            0.01);
  // The three header texts, 10 mm from the top: one starts at the left margin,
  // one is centred, one ends at the right margin.
  const int headerTop = 18, headerBottom = margin - 1;
  const auto ink = [&](int x0, int x1) {
    int l = w, r = -1;
    for (int y = headerTop; y < headerBottom; ++y)
      for (int x = x0; x < x1; ++x)
        if (Dark(first.At(x, y))) {
          l = std::min(l, x);
          r = std::max(r, x);
        }
    return std::make_pair(l, r);
  };
  const auto [leftStart, leftEnd] = ink(0, w / 3);
  const auto [centreStart, centreEnd] = ink(w / 3, 2 * w / 3);
  const auto [rightStart, rightEnd] = ink(2 * w / 3, w);
  EXPECT_NEAR(leftStart, margin, 2);
  EXPECT_GT(leftEnd, leftStart + 5);
  EXPECT_NEAR((centreStart + centreEnd) / 2, midX, 3);
  EXPECT_GT(centreEnd, centreStart + 10);
  EXPECT_NEAR(rightEnd, w - margin, 2);
  EXPECT_GT(rightEnd, rightStart + 10);
  EXPECT_LT(first.Share(0, 0, w, headerTop - 3, Dark), 0.001);
}

// The same layout exported at 300 dpi looks like the printed PDF rendered at
// 300 dpi: block averages over the whole sheet agree.
TEST(PrintToPdf, ExportAt300DpiLooksLikeThePdf) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "poppler-utils is not installed";
  TempFolder dir;
  const char* names[3] = {"a.jpg", "b.png", "c.bmp"};
  const int types[3] = {kExportJPEG, kExportPNG, kExportBMP};
  std::vector<std::string> words = {"/p", "/A:2,2", "/H:&[Project];Page &[Page];x", "/F:;&[Pages];"};
  std::string args;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WritePicture(dir / names[i], 300, 200, kColours[i], types[i]));
    words.push_back(dir / names[i]);
  }
  for (const auto& w : words) args += " '" + w + "'";
  const std::string run = "VELMARK_PDF_DIR='" + (dir / "pdf") + "' VELMARK_REGISTRY_DIR='" + (dir / "reg") +
                          "' DISPLAY= WAYLAND_DISPLAY= '" + BinDir() + "/tessaly'" + args + " >/dev/null 2>&1";
  ASSERT_EQ(Shell(run), 0);
  ASSERT_EQ(Shell("pdftoppm -r 300 -png '" + (dir / "pdf/Untitled.pdf") + "' '" + (dir / "printed") + "'"), 0);

  // The same command line in this process, exported instead of printed.
  testing::FakeEnvironment env;
  Project project(env);
  PrepareStartup(project, words, "/usr/bin/tessaly");
  ExportResult result;
  ASSERT_TRUE(
      exportPages(project, {1}, dir.path(), "exported", kExportPNG, 300, kDepth24, false, false, nullptr, &result));
  ASSERT_EQ(result.written, 1);

  Raster printed, exported;
  ASSERT_TRUE(printed.Load(dir / "printed-1.png"));
  ASSERT_TRUE(exported.Load(dir / "exported.png"));
  // Qt stores A4 as 595 x 842 points, so poppler may add a row.
  ASSERT_NEAR(printed.view.width, 2480, 1);
  ASSERT_NEAR(printed.view.height, 3508, 1);
  ASSERT_EQ(exported.view.width, 2480);
  ASSERT_EQ(exported.view.height, 3508);
  // 40-pixel blocks (3.4 mm): the pictures, texts and white space match block by
  // block. The export measures the sheet through the screen's 0.1-mm mapping,
  // whose vertical scale (whole millimetres of screen height) is off by about
  // 0.1 %: positions low on the sheet may lie up to 6 pixels higher.
  const auto average = [](const Raster& r, int bx, int by, int c) {
    long sum = 0;
    for (int y = by; y < by + 40; ++y)
      for (int x = bx; x < bx + 40; ++x) {
        const COLORREF p = r.At(x, y);
        sum += c == 0 ? GetRValue(p) : c == 1 ? GetGValue(p) : GetBValue(p);
      }
    return sum / 1600;
  };
  int differing = 0, blocks = 0;
  for (int by = 8; by + 48 <= 3508; by += 40)
    for (int bx = 0; bx + 40 <= 2480; bx += 40, ++blocks) {
      long best = 1 << 20;
      for (int shift = -6; shift <= 6; shift += 2) {
        long worst = 0;
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::labs(average(printed, bx, by, c) - average(exported, bx, by + shift, c)));
        best = std::min(best, worst);
      }
      if (best > 24) ++differing;
    }
  EXPECT_LT(differing, blocks / 200) << differing << " of " << blocks << " blocks differ";
}

TEST(PrintToPdf, PageSetupWithoutAProjectSaysSo) {
  TempFolder dir;
  const std::string run = "VELMARK_REGISTRY_DIR='" + (dir / "reg") + "' DISPLAY= WAYLAND_DISPLAY= '" + BinDir() +
                          "/tessaly' /ps 2>'" + (dir / "err.txt") + "'";
  EXPECT_EQ(Shell(run), 0);
  EXPECT_EQ(ReadText(dir / "err.txt"), "Tessaly: Can't run Setup Page because undefined file settings\n");
}

TEST(PrintToPdf, PreviewNameStartsTheSameProgram) {
  EXPECT_TRUE(FileExists(BinDir() + "/_preview"));
  TempFolder dir;
  const std::string run = "VELMARK_REGISTRY_DIR='" + (dir / "reg") + "' DISPLAY= WAYLAND_DISPLAY= '" + BinDir() +
                          "/_preview' /ps 2>'" + (dir / "err.txt") + "'";
  EXPECT_EQ(Shell(run), 0);
  EXPECT_NE(ReadText(dir / "err.txt").find("Can't run Setup Page"), std::string::npos);
}

}  // namespace
}  // namespace tessaly
