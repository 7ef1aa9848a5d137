// The image object: format table, loader chains, pages, drawing, sharing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/formats/tests/test_support.h"
#include "lorimer/Dib.h"
#include "lorimer/ImageInterface.h"
#include "lorimer/LoadFailure.h"

using namespace lorimer::testing;

namespace {

// A small 24-bit BMP file: pixel (x, y) = RGB(x * 10, y * 10, 100).
std::vector<std::uint8_t> MakeBmp(int w, int h) {
  int stride = (w * 3 + 3) & ~3;
  std::vector<std::uint8_t> f(54 + static_cast<size_t>(stride) * h, 0);
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, static_cast<std::uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(w));
  put32(22, static_cast<std::uint32_t>(h));
  f[26] = 1;
  f[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      size_t at = 54 + static_cast<size_t>(h - 1 - y) * stride + 3 * x;
      f[at] = 100;
      f[at + 1] = static_cast<std::uint8_t>(y * 10);
      f[at + 2] = static_cast<std::uint8_t>(x * 10);
    }
  return f;
}

std::string Convert() { return FindTool("convert-im6.q16"); }

HBITMAP WhiteCanvas(int w, int h) { return Common::CreateEmptyDIBSection(w, h, RGB(255, 255, 255), 0); }

COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

TEST(FormatTable, ExtensionsMapAsListed) {
  CImageInterface img;
  EXPECT_EQ(img.GetTypeByExtension("photo.JPG"), FORMAT_JPG);
  EXPECT_EQ(img.GetTypeByExtension("photo.Jpeg"), FORMAT_JPG);
  EXPECT_EQ(img.GetTypeByExtension("photo.jfif"), FORMAT_JPG);
  EXPECT_EQ(img.GetTypeByExtension(".bmp"), FORMAT_UNKNOWN);  // a dot in the first character only
  EXPECT_EQ(img.GetTypeByExtension("archive.tar.gz"), FORMAT_UNKNOWN);
  EXPECT_EQ(img.GetTypeByExtension("a.bmp.TIFF"), FORMAT_TIF);
  EXPECT_EQ(img.GetTypeByExtension("x.Targa"), FORMAT_TGA);
  EXPECT_EQ(img.GetTypeByExtension("x.cur"), FORMAT_ICO);
  EXPECT_EQ(img.GetTypeByExtension("x.dcx"), FORMAT_UNKNOWN);
  EXPECT_EQ(img.GetTypeByExtension("x.ani"), FORMAT_UNKNOWN);
  EXPECT_EQ(img.GetTypeByExtension("noextension"), FORMAT_UNKNOWN);
  EXPECT_EQ(img.GetTypeByExtension("dir.d/file"), FORMAT_UNKNOWN);
  EXPECT_EQ(img.GetTypeByExtension("x."), FORMAT_UNKNOWN);
}

TEST(LoadPath, BmpThroughDibReaderAndEmptyPathKeepsImage) {
  std::string path = WriteTempFile("plain.bmp", MakeBmp(6, 4));
  CImageInterface img;
  ASSERT_TRUE(img.Load(path.c_str(), 0));
  EXPECT_EQ(img.GetFormat(), FORMAT_BMP);
  EXPECT_EQ(img.GetWidth(0), 6);
  EXPECT_EQ(img.GetHeight(0), 4);
  EXPECT_EQ(img.GetColorDepth(), 24);
  EXPECT_STREQ(img.GetSourceInfo().szPath, path.c_str());
  EXPECT_FALSE(img.Load("", 1));
  EXPECT_FALSE(img.Load(nullptr, 1));
  EXPECT_TRUE(img.IsLoaded());
  EXPECT_EQ(img.GetWidth(0), 6);
}

TEST(LoadPath, FailedLoadEmptiesObjectAndKeepsExtensionFormat) {
  std::string path = WriteTempFile("ok.bmp", MakeBmp(2, 2));
  CImageInterface img;
  ASSERT_TRUE(img.Load(path.c_str(), 1));
  std::string bad = WriteTempFile("garbage.png", std::vector<std::uint8_t>(100, 0x5A));
  EXPECT_FALSE(img.Load(bad.c_str(), 1));
  EXPECT_FALSE(img.IsLoaded());
  EXPECT_EQ(img.GetSourceInfo().nFormat, FORMAT_PNG);
  EXPECT_EQ(img.GetFormat(), FORMAT_UNKNOWN);  // queries on an empty object yield 0
  EXPECT_EQ(img.GetWidth(0), 0);
  EXPECT_EQ(img.GetPageCount(), 1);
  EXPECT_FALSE(img.Load((TempDir() + "/missing.jpg").c_str(), 1));
}

TEST(LoadPath, FailuresSayWhy) {
  std::vector<std::uint8_t> truncatedBmp = MakeBmp(4, 4);
  truncatedBmp.resize(30);
  std::vector<std::uint8_t> pcx(128 + 16, 0);
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8, pcx[8] = 3, pcx[10] = 3, pcx[65] = 1;  // 4 x 4, bytes per line 0
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* reason;  // the start of what LastLoadFailure says
  } cases[] = {
      {"garbage.png", std::vector<std::uint8_t>(100, 0x5A), "no reader recognises the file"},
      {"empty.bmp", {}, "the file is empty"},
      {"short.bmp", truncatedBmp, "BMP"},
      {"lines.pcx", pcx, "PCX header: bytes per line 0"},
  };
  CImageInterface img;
  for (const auto& c : cases) {
    const std::string path = WriteTempFile(c.name, c.bytes);
    EXPECT_FALSE(img.Load(path.c_str(), 1)) << c.name;
    EXPECT_EQ(lorimer::LastLoadFailure().rfind(c.reason, 0), 0u) << c.name << ": " << lorimer::LastLoadFailure();
  }
  EXPECT_FALSE(img.Load((TempDir() + "/missing.jpg").c_str(), 1));
  EXPECT_EQ(lorimer::LastLoadFailure(), "No such file or directory");
  ASSERT_TRUE(img.Load(WriteTempFile("fine.bmp", MakeBmp(2, 2)).c_str(), 1));
  EXPECT_EQ(lorimer::LastLoadFailure(), "");
}

TEST(LoadPath, VeryLongPathFailsCleanly) {
  std::string path = TempDir() + "/" + std::string(5000, 'a') + ".bmp";
  CImageInterface img;
  EXPECT_FALSE(img.Load(path.c_str(), 1));
  EXPECT_FALSE(img.IsLoaded());
  EXPECT_FALSE(img.LoadByCIcon((std::string(4100, 'b') + ".ico").c_str()));
}

TEST(LoadPath, ContentDecidesWhenTheExtensionLies) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string pcx = TempDir() + "/real.pcx";
  ASSERT_TRUE(lorimer::testing::Run(tool + " -size 8x5 gradient:red-blue '" + pcx + "'"));
  std::string asBmp = TempDir() + "/fake.bmp";
  ASSERT_TRUE(lorimer::testing::Run("cp '" + pcx + "' '" + asBmp + "'"));
  CImageInterface img;
  ASSERT_TRUE(img.Load(asBmp.c_str(), 1));  // the BMP reader says no, the codec reads PCX
  EXPECT_EQ(img.GetFormat(), FORMAT_BMP);
  EXPECT_EQ(img.GetWidth(0), 8);

  std::string png = TempDir() + "/real.png";
  ASSERT_TRUE(lorimer::testing::Run(tool + " -size 7x3 xc:orange '" + png + "'"));
  std::string asJpg = TempDir() + "/fake.jpg";
  ASSERT_TRUE(lorimer::testing::Run("cp '" + png + "' '" + asJpg + "'"));
  ASSERT_TRUE(img.Load(asJpg.c_str(), 1));
  EXPECT_EQ(img.GetFormat(), FORMAT_JPG);
  EXPECT_EQ(img.GetWidth(0), 7);
  EXPECT_EQ(img.GetSourceInfo().bGray, 0u);
}

TEST(LoadPath, GrayJpegReportsEightBitsOverTwentyFourBitPixels) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string path = TempDir() + "/gray.jpg";
  ASSERT_TRUE(lorimer::testing::Run(tool + " -size 16x16 gradient:black-white -colorspace Gray -type Grayscale '" +
                                    path + "'"));
  CImageInterface img;
  ASSERT_TRUE(img.Load(path.c_str(), 0));
  EXPECT_EQ(img.GetColorDepth(), 8);
  EXPECT_EQ(img.GetSourceInfo().bGray, 1u);
  BITMAP bm{};
  ASSERT_TRUE(GetObject(img.GetHBITMAP(0, 0), sizeof bm, &bm));
  EXPECT_EQ(bm.bmBitsPixel, 24);
  EXPECT_EQ(img.GetCompressionType(), 0);
}

TEST(LoadPath, IconsGiveTheSameFactsWhateverTheirName) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string ico = TempDir() + "/app.ico";
  ASSERT_TRUE(lorimer::testing::Run(tool + " -size 32x32 xc:red -define icon:auto-resize=16,48 '" + ico + "'"));
  // Every chain ends at the icon loader: the icon at the system size, drawn once.
  for (const char* name : {"app.ico", "app.ani", "app.data"}) {
    SCOPED_TRACE(name);
    std::string path = TempDir() + "/named-" + name;
    ASSERT_TRUE(lorimer::testing::Run("cp '" + ico + "' '" + path + "'"));
    CImageInterface img;
    ASSERT_TRUE(img.Load(path.c_str(), 0));
    EXPECT_EQ(img.GetFormat(), FORMAT_ICO);
    EXPECT_EQ(img.GetWidth(0), 32);
    EXPECT_EQ(img.GetHeight(0), 32);
    EXPECT_EQ(img.GetColorDepth(), 4);
    EXPECT_EQ(img.GetPageCount(), 1);
    EXPECT_STREQ(img.GetSourceInfo().szPath, path.c_str());
  }
}

// A GEM IMG of 8 x 1 pixels in three planes, pixel x showing colour x.
std::vector<std::uint8_t> ThreePlaneGem() {
  std::vector<std::uint8_t> f = {0, 1, 0, 8, 0, 3, 0, 2, 0, 85, 0, 85, 0, 8, 0, 1};
  for (std::uint8_t plane : {0x55, 0x33, 0x0F}) f.insert(f.end(), {0x80, 0x01, plane});
  return f;
}

// A PCX of 4 x 1 pixels at 2 bits in one plane (the CGA layout).
std::vector<std::uint8_t> TwoBitPcx() {
  std::vector<std::uint8_t> f(128, 0);
  f[0] = 0x0A;
  f[1] = 5;
  f[3] = 2;   // bits per pixel
  f[8] = 3;   // xmax
  f[65] = 1;  // planes
  f[66] = 2;  // bytes per line
  f.insert(f.end(), {0x1B, 0x00});
  return f;
}

// What the image reports as its depth is what it holds, for every way a file can be
// deeper or shallower than the 1, 4, 8 and 24-bit pages the codec keeps.
TEST(LoadPath, ColourDepthIsThatOfTheHeldPage) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const std::string grad = " -size 64x8 gradient:red-blue ", rose = " rose: ";
  const struct {
    const char* name;
    std::string make;  // ImageMagick arguments; empty for the files written by hand
    int depth;
  } cases[] = {
      {"colours32.gif", rose + "-colors 32", 8},
      {"colours4.gif", rose + "-colors 4", 4},
      {"colours2.gif", rose + "-colors 2", 1},
      {"colours4.png", grad + "-colors 4 -define png:bit-depth=2 -define png:color-type=3", 4},
      {"rgb16.png", grad + "-depth 16", 24},
      {"gray16.png", grad + "-colorspace gray -depth 16", 8},
      {"rgb16.tif", grad + "-depth 16", 24},
      {"gray2.tif", grad + "-colorspace gray -depth 2", 4},
      {"planes3.img", "", 4},
      {"bits2.pcx", "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = TempDir() + "/depth-" + c.name;
    if (std::string(c.name) == "planes3.img") {
      path = WriteTempFile(std::string("depth-") + c.name, ThreePlaneGem());
    } else if (std::string(c.name) == "bits2.pcx") {
      path = WriteTempFile(std::string("depth-") + c.name, TwoBitPcx());
    } else {
      ASSERT_TRUE(lorimer::testing::Run(tool + c.make + " '" + path + "'"));
    }
    CImageInterface img;
    ASSERT_TRUE(img.Load(path.c_str(), 0));
    EXPECT_EQ(img.GetColorDepth(), c.depth);
    BITMAP bm{};
    ASSERT_TRUE(GetObject(img.GetHBITMAP(0, 0), sizeof bm, &bm));
    EXPECT_EQ(bm.bmBitsPixel, c.depth);
  }
}

TEST(LoadPath, GrayScaleOfAPaletteGifIsGray) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string path = TempDir() + "/colours32-gray.gif";
  ASSERT_TRUE(lorimer::testing::Run(tool + " rose: -colors 32 '" + path + "'"));
  CImageInterface img;
  ASSERT_TRUE(img.Load(path.c_str(), 0));
  ASSERT_TRUE(img.SetGrayScale(0));
  EXPECT_EQ(img.GetColorDepth(), 8);
  HBITMAP held = img.GetHBITMAP(0, 0);
  for (int x = 0; x < 70; x += 9) {
    COLORREF c = PixelOf(held, x, 23);
    EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << "x " << x;
  }
}

TEST(Pages, WidthOfMissingPageLeavesSelectionAlone) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string tif = TempDir() + "/three.tif";
  ASSERT_TRUE(
      lorimer::testing::Run(tool + " -size 10x10 xc:red -size 20x15 xc:green -size 30x5 xc:blue '" + tif + "'"));
  CImageInterface img;
  ASSERT_TRUE(img.Load(tif.c_str(), 0));
  EXPECT_EQ(img.GetPageCount(), 3);
  EXPECT_EQ(img.GetSourceInfo().nPageCount, 3u);
  EXPECT_EQ(img.GetWidth(5), 0);
  EXPECT_EQ(img.GetWidth(-1), 0);
  EXPECT_EQ(img.GetWidth(0), 10);  // still on page 0
  EXPECT_EQ(img.GetWidth(2), 30);
  EXPECT_EQ(img.GetHeight(2), 5);
  // Page 2 stays selected: the codec's own bitmap is now that page.
  BITMAP bm{};
  ASSERT_TRUE(GetObject(img.GetHBITMAP(0, 0), sizeof bm, &bm));
  EXPECT_EQ(bm.bmWidth, 30);
  // Drawing a page selects it too.
  HBITMAP canvas = WhiteCanvas(20, 15);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  EXPECT_TRUE(img.DrawImage(dc, 0, 0, 0, 0, 1));
  SelectObject(dc, old);
  DeleteDC(dc);
  EXPECT_EQ(PixelOf(canvas, 19, 14), RGB(0, 128, 0));
  DeleteObject(canvas);
}

TEST(Pages, FlashPixNamedFileTakesItsLastPage) {
  std::string tool = Convert();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  // No FlashPix decoder: a file of another kind under that name still loads, and
  // the picture becomes the last page, drawn into one page.
  std::string tif = TempDir() + "/levels.tif";
  ASSERT_TRUE(
      lorimer::testing::Run(tool + " -size 10x8 xc:red -size 40x30 -colors 16 xc:blue -type Palette '" + tif + "'"));
  std::string fpx = TempDir() + "/levels.fpx";
  ASSERT_TRUE(lorimer::testing::Run("cp '" + tif + "' '" + fpx + "'"));
  CImageInterface img;
  ASSERT_TRUE(img.Load(fpx.c_str(), 0));
  EXPECT_EQ(img.GetFormat(), FORMAT_FPX);
  EXPECT_EQ(img.GetPageCount(), 1);
  EXPECT_EQ(img.GetWidth(0), 40);
  EXPECT_EQ(img.GetHeight(0), 30);
  EXPECT_EQ(PixelOf(img.GetHBITMAP(0, 0), 39, 29), RGB(0, 0, 255));
}

TEST(Drawing, SmallerSourceLosesLastRowAndColumn) {
  // 100 x 100: the last column and row are red, the rest blue.
  HBITMAP bmp = Common::CreateEmptyDIBSection(100, 100, RGB(0, 0, 255), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT col{99, 0, 100, 100}, row{0, 99, 100, 100};
  FillRect(dc, &col, red);
  FillRect(dc, &row, red);
  DeleteObject(red);
  SelectObject(dc, old);
  DeleteDC(dc);
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(bmp));

  HBITMAP canvas = WhiteCanvas(200, 200);
  dc = CreateCompatibleDC(nullptr);
  old = SelectObject(dc, canvas);
  RECT dest{0, 0, 200, 200};
  RECT src{0, 0, 100, 100};
  SetStretchBltMode(dc, BLACKONWHITE);
  ASSERT_TRUE(img.DrawImage(dc, &dest, &src, 0));
  EXPECT_EQ(src.right, 99);
  EXPECT_EQ(src.bottom, 99);
  EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);  // restored
  // The red edge of the source is never sampled.
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(GetPixel(dc, 199, i), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, i, 199), RGB(0, 0, 255));
  }
  // The same with the default source (0, 0, 99, 99).
  ASSERT_TRUE(img.DrawImage(dc, 0, 0, 200, 200, 0));
  EXPECT_EQ(GetPixel(dc, 199, 199), RGB(0, 0, 255));
  // Same size: nothing is lost.
  ASSERT_TRUE(img.DrawImage(dc, 0, 0, 0, 0, 0));
  EXPECT_EQ(GetPixel(dc, 99, 99), RGB(255, 0, 0));
  // FX leaves COLORONCOLOR behind; print passes the codec's result through.
  SetStretchBltMode(dc, BLACKONWHITE);
  EXPECT_EQ(img.DrawImageFX(dc, nullptr, nullptr, 0, 0, 0, 0, nullptr, 0, 0, nullptr), 1);
  EXPECT_EQ(GetStretchBltMode(dc), COLORONCOLOR);
  EXPECT_EQ(img.PrintImage(dc, nullptr, nullptr, 0), 1);
  EXPECT_EQ(img.DrawImage(nullptr, 0, 0, 0, 0, 0), 0);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(canvas);
}

TEST(Lifecycle, BitmapsCopiesAndInitFromImage) {
  std::string path = WriteTempFile("life.bmp", MakeBmp(5, 3));
  CImageInterface a;
  ASSERT_TRUE(a.Load(path.c_str(), 1));
  {
    CImageInterface b(a);  // shares the image
    CImageInterface c;
    c = b;
    EXPECT_EQ(c.GetWidth(0), 5);
  }
  // The shared image outlived the copies.
  EXPECT_EQ(a.GetWidth(0), 5);
  HBITMAP copy = a.GetHBITMAP(1, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, a.GetHBITMAP(0, 0));
  EXPECT_EQ(PixelOf(copy, 4, 2), RGB(40, 20, 100));

  // A bitmap handed over becomes the image; the record is refreshed, the path kept.
  CImageInterface d;
  ASSERT_TRUE(d.InitFromHBITMAP(copy));
  EXPECT_EQ(d.GetFormat(), FORMAT_UNKNOWN);
  EXPECT_EQ(d.GetWidth(0), 5);
  EXPECT_EQ(d.GetColorDepth(), 24);
  EXPECT_FALSE(d.InitFromHBITMAP(nullptr));
  EXPECT_FALSE(d.IsLoaded());

  CImageInterface e;
  e.InitFromImage(&a, 0);
  ASSERT_TRUE(e.IsLoaded());
  ASSERT_TRUE(a.IsLoaded());
  EXPECT_EQ(e.GetWidth(0), 5);
  EXPECT_EQ(a.GetWidth(0), 5);
  EXPECT_NE(a.GetHBITMAP(0, 0), e.GetHBITMAP(0, 0));
  CImageInterface empty;
  e.InitFromImage(&empty, 0);
  EXPECT_TRUE(e.IsLoaded());
}

TEST(Lifecycle, ImagesFromPackedDibs) {
  // A 2 x 1 packed DIB with a 108-byte header and 32-bit bit fields (masks in the header).
  HGLOBAL block = GlobalAlloc(GHND, 108 + 8);
  auto* p = static_cast<BYTE*>(GlobalLock(block));
  BITMAPINFOHEADER h{108, 2, 1, 1, 32, BI_BITFIELDS, 8, 0, 0, 0, 0};
  std::memcpy(p, &h, 40);
  const DWORD masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
  std::memcpy(p + 40, masks, 12);
  const BYTE pixels[8] = {0x30, 0x20, 0x10, 0, 0xFF, 0xFF, 0xFF, 0};
  std::memcpy(p + 108, pixels, 8);
  GlobalUnlock(block);
  HIMG image = CImageMan::InitImageFromHDIB(block);
  GlobalFree(block);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CImageMan::GetWidth(&image), 2);
  EXPECT_EQ(PixelOf(CImageMan::GetHBITMAP(&image), 0, 0), RGB(0x10, 0x20, 0x30));
  EXPECT_EQ(PixelOf(CImageMan::GetHBITMAP(&image), 1, 0), RGB(255, 255, 255));
  // And back out as a packed DIB.
  HGLOBAL out = CImageMan::GetHDIB(&image);
  ASSERT_NE(out, nullptr);
  BITMAPINFOHEADER back;
  std::memcpy(&back, GlobalLock(out), 40);
  GlobalUnlock(out);
  EXPECT_EQ(back.biWidth, 2);
  EXPECT_EQ(back.biHeight, 1);
  EXPECT_EQ(back.biBitCount, 24);
  GlobalFree(out);
  CImageMan::CloseHandle(&image);
  EXPECT_EQ(image, nullptr);
  // A block too short for its header is refused.
  HGLOBAL tiny = GlobalAlloc(GHND, 10);
  EXPECT_EQ(CImageMan::InitImageFromHDIB(tiny), nullptr);
  GlobalFree(tiny);
}

TEST(Lifecycle, RemoveFileRefusesReadOnlyFiles) {
  std::string path = WriteTempFile("keep.txt", {1, 2, 3});
  ASSERT_TRUE(lorimer::testing::Run("chmod a-w '" + path + "'"));
  EXPECT_EQ(CImageInterface::RemoveFileEx(path.c_str()), 0);
  EXPECT_FALSE(ReadFile(path).empty());
  ASSERT_TRUE(lorimer::testing::Run("chmod u+w '" + path + "'"));
  EXPECT_EQ(CImageInterface::RemoveFileEx(path.c_str()), 1);
  EXPECT_TRUE(ReadFile(path).empty());
  EXPECT_EQ(CImageInterface::RemoveFileEx(path.c_str()), 0);
}

TEST(Statics, MakersPagesOpenInTheBrowser) {
  // Stand in for the desktop's opener: record what it was asked to open.
  std::string log = TempDir() + "/opened.txt";
  std::string opener = TempDir() + "/opener.sh";
  std::string body = "#!/bin/sh\necho \"$1\" >> '" + log + "'\n";
  WriteTempFile("opener.sh", std::vector<std::uint8_t>(body.begin(), body.end()));
  ASSERT_TRUE(lorimer::testing::Run("chmod +x '" + opener + "'"));
  setenv("VELMARK_OPEN_COMMAND", opener.c_str(), 1);
  CImageInterface::OpenVelmarkPage();
  CImageInterface::GetSupport(nullptr);
  CImageInterface::GetUpdate(nullptr);
  unsetenv("VELMARK_OPEN_COMMAND");
  std::string text;
  for (int i = 0; i < 100; ++i) {
    auto bytes = ReadFile(log);
    text.assign(bytes.begin(), bytes.end());
    if (std::count(text.begin(), text.end(), '\n') == 3) break;
    usleep(50000);
  }
  EXPECT_NE(text.find(std::string(lorimer::pages::kHome) + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string(lorimer::pages::kSupport) + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string(lorimer::pages::kUpdate) + "\n"), std::string::npos) << text;
}

TEST(Filters, DialogStringsAreWellFormed) {
  for (const char* f : {CImageInterface::GetOpenAllFilesFilter(), CImageInterface::GetOpenRasterFilesFilter(),
                        CImageInterface::GetOpenVectorFilesFilter(), CImageInterface::GetSaveFilter(),
                        CImageInterface::GetSaveInetFilter()}) {
    std::string s(f);
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s.substr(s.size() - 2), "||");
    // Descriptions and patterns alternate: an even number of fields before the end.
    size_t bars = std::count(s.begin(), s.end() - 2, '|');
    EXPECT_EQ(bars % 2, 1u) << s;
  }
}

}  // namespace
