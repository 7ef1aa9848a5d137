#include <gtest/gtest.h>
#include <tiffio.h>

#include <functional>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/text.h"
#include "printlayout/model/BorderLines.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/render/PageRenderer.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::TempFolder;
using testing::WritePicture;

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right and bottom inclusive
  bool empty() const { return right < left; }
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

// Renders page 1 of the project into a white 24-bit bitmap `width` pixels wide.
class RenderTest : public ::testing::Test {
 protected:
  RenderTest() : project(env) {
    project.imagesFont.face = "Arial";
    for (auto& f : project.headerFonts) f.face = "Arial";
    for (auto& f : project.footerFonts) f.face = "Arial";
  }
  ~RenderTest() override {
    if (bitmap) DeleteObject(bitmap);
  }

  void Render(int width = 840) {
    HDC dc = CreateCompatibleDC(nullptr);
    const int sheet = DeviceX(dc, project.pageWidth, 1.0);
    zoom = static_cast<double>(width) / sheet;
    const int height = DeviceY(dc, project.pageHeight, zoom);
    if (bitmap) DeleteObject(bitmap);
    bitmap = CImageInterface::CreateEmptyDIBSection(width, height, 0xFFFFFF, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RenderFonts fonts(project, GetDeviceCaps(dc, LOGPIXELSY), zoom);
    RenderRequest r;
    r.pageIndex = 1;
    r.dc = dc;
    r.content = ContentRect(project, dc, zoom);
    r.zoom = zoom;
    r.fonts = &fonts;
    r.printer = printer;
    content = r.content;
    ASSERT_TRUE(renderPage(project, r));
    SelectObject(dc, old);
    ASSERT_TRUE(vel::gdi::GetBitmapView(bitmap, &view));
  }

  int X(std::int32_t v) const {
    HDC probe = CreateCompatibleDC(nullptr);
    const int d = DeviceX(probe, v, zoom);
    DeleteDC(probe);
    return d;
  }
  int Y(std::int32_t v) const {
    HDC probe = CreateCompatibleDC(nullptr);
    const int d = DeviceY(probe, v, zoom);
    DeleteDC(probe);
    return d;
  }

  COLORREF Pixel(int x, int y) const {
    const BYTE* p = view.row(y) + 3 * x;
    return RGB(p[2], p[1], p[0]);
  }

  Box Find(const std::function<bool(COLORREF)>& match, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) const {
    if (x1 < 0) x1 = view.width;
    if (y1 < 0) y1 = view.height;
    Box b;
    for (int y = std::max(y0, 0); y < std::min(y1, view.height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, view.width); ++x)
        if (match(Pixel(x, y))) {
          b.left = std::min(b.left, x);
          b.right = std::max(b.right, x);
          b.top = std::min(b.top, y);
          b.bottom = std::max(b.bottom, y);
        }
    return b;
  }

  static bool Dark(COLORREF c) { return GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128; }
  static bool Blue(COLORREF c) { return GetBValue(c) > 200 && GetRValue(c) < 60 && GetGValue(c) < 60; }
  static bool ShadowGray(COLORREF c) { return GetRValue(c) == 0x80 && GetGValue(c) == 0x80 && GetBValue(c) == 0x80; }

  ImagePlacement* Place(const std::string& path, int pw, int ph, int x, int y, int w, int h) {
    project.addImage(path, "", pw, ph, 1, 0, 15);
    ImagePlacement* p = project.pages[1]->placements.back().get();
    p->x = x;
    p->y = y;
    p->width = w;
    p->height = h;
    return p;
  }

  testing::FakeEnvironment env;
  Project project;
  HBITMAP bitmap = nullptr;
  vel::gdi::BitmapView view;
  RECT content{};
  double zoom = 1.0;
  bool printer = false;  // pictures through the library's print call
  TempFolder dir;
};

TEST_F(RenderTest, CentreHeaderWithoutSplitsIsCentredBetweenTheMargins) {
  project.marginLeft = 400;  // lopsided margins show which centre is used
  project.marginRight = 100;
  project.headerSplitsSet = 0;
  project.headerTexts[1] = "MMMMMMMM";
  project.headerFonts[1].size = 240;
  Render();
  const int bandBottom = Y(project.marginTop);
  const Box text = Find(Dark, 0, 0, -1, bandBottom);
  ASSERT_FALSE(text.empty());
  const int centre = (text.left + text.right) / 2;
  EXPECT_NEAR(centre, (content.left + content.right) / 2, 3);
  EXPECT_GE(text.top, Y(project.headerDistance) - 1);  // top-aligned at the header distance
}

TEST_F(RenderTest, ThreeLineFooterGrowsUpwardsFromItsBottomLine) {
  project.footerTexts[0] = "first\nsecond\nthird";
  project.footerMultiline = 1;
  project.footerFonts[0].size = 200;
  Render();
  const int bottomLine = Y(project.pageHeight - project.footerDistance);
  const Box text = Find(Dark, 0, Y(project.pageHeight / 2), -1, -1);
  ASSERT_FALSE(text.empty());
  EXPECT_LE(text.bottom, bottomLine);
  EXPECT_GE(text.bottom, bottomLine - Y(60));  // ends near the bottom line
  const int lineHeight = Y(200 * 254 / 720);
  EXPECT_GE(text.height(), 2 * lineHeight);   // three lines stacked upwards
  EXPECT_NEAR((text.left), content.left, 6);  // left cell, left-aligned

  project.footerMultiline = 0;
  project.footerTexts[0] = "single";
  Render();
  const Box one = Find(Dark, 0, Y(project.pageHeight / 2), -1, -1);
  EXPECT_LE(one.bottom, bottomLine);
  EXPECT_LT(one.height(), 2 * lineHeight);
}

TEST_F(RenderTest, PortraitPictureInALandscapeBoxFillsTheHeightAndIsCentred) {
  ASSERT_TRUE(WritePicture(dir / "tall.png", 100, 200, RGB(0, 0, 255), kExportPNG));
  ImagePlacement* p = Place(dir / "tall.png", 100, 200, 300, 300, 1200, 600);
  Render();
  const Box pic = Find(Blue);
  ASSERT_FALSE(pic.empty());
  const int boxLeft = X(p->x), boxRight = X(p->x + p->width);
  EXPECT_NEAR((pic.left + pic.right) / 2, (boxLeft + boxRight) / 2, 2);
  EXPECT_NEAR(pic.width() * 2, pic.height(), 3);
  // Only the comment line (and half a space) is left under the picture.
  const int boxTop = Y(p->y), boxBottom = Y(p->y + p->height);
  EXPECT_NEAR(pic.top, boxTop, 1);
  EXPECT_LT(pic.bottom, boxBottom - Y(20));
  EXPECT_GT(pic.height(), (boxBottom - boxTop) * 3 / 4);
}

TEST_F(RenderTest, EmptyCommentKeepsOneLineUnderThePicture) {
  ASSERT_TRUE(WritePicture(dir / "wide.png", 400, 100, RGB(0, 0, 255), kExportPNG));
  project.imagesFont.size = 200;
  ImagePlacement* p = Place(dir / "wide.png", 400, 100, 300, 300, 800, 400);  // height-bound
  p->comment = "";
  Render();
  const Box pic = Find(Blue);
  ASSERT_FALSE(pic.empty());
  const int boxBottom = Y(p->y + p->height);
  const int line = Y(200 * 254 / 720);
  EXPECT_LE(pic.bottom, boxBottom - line);
  EXPECT_TRUE(Find(Dark).empty());  // the blank draws nothing

  p->comment = "Caption &[Width]";
  Render();
  const Box caption = Find(Dark, 0, pic.bottom + 1);
  ASSERT_FALSE(caption.empty());
  EXPECT_LE(caption.bottom, boxBottom);
  EXPECT_NEAR((caption.left + caption.right) / 2, (pic.left + pic.right) / 2, 4);
}

TEST_F(RenderTest, NegativeShadowShowsOnTheLeft) {
  ASSERT_TRUE(WritePicture(dir / "sq.png", 100, 100, RGB(0, 0, 255), kExportPNG));
  project.shadowDx = -20;
  project.shadowDy = 0;
  ImagePlacement* p = Place(dir / "sq.png", 100, 100, 300, 300, 1000, 1000);
  Render();
  const Box pic = Find(Blue);
  const Box shadow = Find(ShadowGray);
  ASSERT_FALSE(pic.empty());
  ASSERT_FALSE(shadow.empty());
  EXPECT_LT(shadow.left, pic.left);
  EXPECT_NEAR(pic.left - shadow.left, X(20), 1);
  EXPECT_LE(shadow.right, pic.right);
  EXPECT_EQ(shadow.top, pic.top);
  EXPECT_GE(shadow.left, X(p->x) - 1);  // taken from the picture area, inside the box
}

TEST_F(RenderTest, BorderLinesFollowTheirCodes) {
  ASSERT_TRUE(WritePicture(dir / "sq.png", 100, 100, RGB(0, 0, 255), kExportPNG));
  project.borderWidth = 10;  // 1 mm
  project.borderLines = WithBorderCode(0, kEdgeTop, 6);
  ImagePlacement* p = Place(dir / "sq.png", 100, 100, 300, 300, 1000, 1000);
  Render();
  const int top = Y(p->y), left = X(p->x), right = X(p->x + p->width);
  const int pen = std::max(X(10), Y(10));
  // A solid top edge across the box, the pen's width centred on the edge.
  const Box edge = Find(Dark, left - 10, top - 10, right + 10, top + 10);
  ASSERT_FALSE(edge.empty());
  EXPECT_NEAR(edge.left, left, 1);
  EXPECT_NEAR(edge.right, right - 1, 1);
  EXPECT_EQ(edge.height(), pen);
  EXPECT_NEAR(edge.top, top - pen / 2, 1);
  // A dotted left edge: dark and light stretches alternate along it.
  project.borderLines = WithBorderCode(0, kEdgeLeft, 1);
  Render();
  EXPECT_TRUE(Find(Dark, left + pen, top - 10, right + 10, top + 10).empty());
  int changes = 0;
  bool previous = Dark(Pixel(left, top + 20));
  for (int y = top + 20; y < top + 200; ++y) {
    const bool now = Dark(Pixel(left, y));
    if (now != previous) ++changes;
    previous = now;
  }
  EXPECT_GE(changes, 6);
}

TEST_F(RenderTest, MissingPictureStillDrawsItsComment) {
  ImagePlacement* p = Place(dir / "nothing.png", 100, 100, 300, 300, 1000, 1000);
  p->comment = "Lost";
  project.imagesFont.size = 200;
  Render();
  const Box caption = Find(Dark);
  ASSERT_FALSE(caption.empty());
  EXPECT_GT(caption.top, Y(p->y + p->height / 2));
}

// One RGB page per colour, each 40 x 40, written by libtiff itself.
bool WriteTiffPages(const std::string& path, const std::vector<COLORREF>& colours) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  for (const COLORREF c : colours) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 40);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 40);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 40);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    std::vector<unsigned char> row;
    for (int x = 0; x < 40; ++x) row.insert(row.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    for (int y = 0; y < 40; ++y) TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return true;
}

// Each placement of a multi-page file shows its own plane, on the screen and
// through the print call alike.
TEST_F(RenderTest, EveryPlaneOfAMultiPageFileShowsItsOwnPage) {
  const std::vector<COLORREF> colours = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
  ASSERT_TRUE(WriteTiffPages(dir / "three.tif", colours));
  for (int plane = 0; plane < 3; ++plane) {
    Place(dir / "three.tif", 40, 40, 200 + 600 * plane, 300, 500, 500);
    project.pages[1]->placements.back()->plane = plane;
  }
  for (const bool viaPrinter : {false, true}) {
    printer = viaPrinter;
    Render();
    for (int plane = 0; plane < 3; ++plane) {
      const ImagePlacement& p = *project.pages[1]->placements[static_cast<size_t>(plane)];
      const Box box{X(p.x), Y(p.y), X(p.x + p.width) - 1, Y(p.y + p.height) - 1};
      for (int other = 0; other < 3; ++other) {
        const COLORREF want = colours[static_cast<size_t>(other)];
        const Box found =
            Find([want](COLORREF c) { return c == want; }, box.left, box.top, box.right + 1, box.bottom + 1);
        if (other == plane) {
          EXPECT_GT(found.width(), box.width() / 2) << "plane " << plane << (viaPrinter ? " printed" : " drawn");
        } else {
          EXPECT_TRUE(found.empty()) << "plane " << plane << " shows page " << other
                                     << (viaPrinter ? " printed" : " drawn");
        }
      }
    }
  }
}

TEST_F(RenderTest, CancelStopsBeforeThePicture) {
  struct Cancel : RenderProgress {
    void step() override { ++steps; }
    bool cancelled() override { return true; }
    int steps = 0;
  } cancel;
  ASSERT_TRUE(WritePicture(dir / "sq.png", 100, 100, RGB(0, 0, 255), kExportPNG));
  Place(dir / "sq.png", 100, 100, 300, 300, 1000, 1000);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CImageInterface::CreateEmptyDIBSection(200, 280, 0xFFFFFF, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  const RenderFonts fonts(project, 96, 0.25);
  RenderRequest r;
  r.dc = dc;
  r.zoom = 0.25;
  r.fonts = &fonts;
  r.progress = &cancel;
  EXPECT_FALSE(renderPage(project, r));
  EXPECT_EQ(cancel.steps, 0);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

}  // namespace
}  // namespace tessaly
