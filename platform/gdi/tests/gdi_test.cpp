// Pixel-exact behaviour of the bitmap, blit and DIB functions.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace {

// A 24-bit DIB section selected into its own memory DC.
struct Canvas {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  HGDIOBJ old = nullptr;
  Canvas(int w, int h, bool topDown = false, COLORREF fill = RGB(255, 255, 255)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = topDown ? -h : h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
    HBRUSH b = CreateSolidBrush(fill);
    RECT r{0, 0, w, h};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
};

// A 1-row-per-value gray ramp source: pixel (x, y) = RGB(x, y, 0).
void PaintCoordinates(Canvas& c, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(c.dc, x, y, RGB(x, y, 0));
}

TEST(GdiBitmaps, DibSectionOrientationAndObject) {
  for (bool topDown : {false, true}) {
    Canvas c(5, 3, topDown);
    SetPixel(c.dc, 0, 0, RGB(1, 2, 3));
    BITMAP bm{};
    ASSERT_EQ(GetObject(c.bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 5);
    EXPECT_EQ(bm.bmHeight, 3);
    EXPECT_EQ(bm.bmBitsPixel, 24);
    EXPECT_EQ(bm.bmWidthBytes, 16);  // 15 bytes rounded up to a DWORD
    ASSERT_NE(bm.bmBits, nullptr);
    // The top-left pixel is the first stored row for top-down, the last for bottom-up.
    const BYTE* stored = static_cast<const BYTE*>(bm.bmBits) + (topDown ? 0 : 2 * 16);
    EXPECT_EQ(stored[0], 3);
    EXPECT_EQ(stored[1], 2);
    EXPECT_EQ(stored[2], 1);
  }
}

TEST(GdiBitmaps, LargeSectionsStartZeroedToTheirLastByte) {
  // 3001 x 2000 at 24 bits: big enough for the huge-page allocation, with a
  // stride that is not a multiple of anything convenient.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 3001;
  info.bmiHeader.biHeight = 2000;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP big = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(big, nullptr);
  const size_t bytes = static_cast<size_t>((3001 * 3 + 3) / 4 * 4) * 2000;
  const BYTE* p = static_cast<const BYTE*>(bits);
  size_t nonZero = 0;
  for (size_t i = 0; i < bytes; ++i) nonZero += p[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  static_cast<BYTE*>(bits)[bytes - 1] = 7;  // the whole block is ours to write
  EXPECT_TRUE(DeleteObject(big));

  // The memory of deleted large bitmaps is used again: a section made for writing
  // may start with anything, every other section still starts zeroed, smaller ones too.
  for (int round = 0; round < 3; ++round) {
    HBITMAP dirty = vel::gdi::CreateDIBSectionForWriting(&info, &bits);
    ASSERT_NE(dirty, nullptr);
    std::memset(bits, 0x5A, bytes);
    EXPECT_TRUE(DeleteObject(dirty));
    info.bmiHeader.biHeight = 2000 - 300 * round;
    HBITMAP clean = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(clean, nullptr);
    const size_t used = static_cast<size_t>((3001 * 3 + 3) / 4 * 4) * info.bmiHeader.biHeight;
    p = static_cast<const BYTE*>(bits);
    nonZero = 0;
    for (size_t i = 0; i < used; ++i) nonZero += p[i] != 0;
    EXPECT_EQ(nonZero, 0u) << "round " << round;
    EXPECT_TRUE(DeleteObject(clean));
    info.bmiHeader.biHeight = 2000;
  }
}

TEST(GdiBitmaps, RefusesBadSizesAndSelectedDeletes) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = 40;
  info.bmiHeader.biWidth = 0;
  info.bmiHeader.biHeight = 10;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
  info.bmiHeader.biWidth = 100000;
  info.bmiHeader.biHeight = 100000;  // 10^10 pixels
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = 4;
  info.bmiHeader.biBitCount = 7;
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);

  Canvas c(2, 2);
  // Still selected: deleting must fail rather than leave the DC drawing into freed memory.
  EXPECT_FALSE(DeleteObject(c.bitmap));
  EXPECT_EQ(c.at(0, 0), RGB(255, 255, 255));
  // A bitmap lives in one DC at a time.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, c.bitmap), nullptr);
  DeleteDC(other);
}

TEST(GdiFills, FillRectClipsAndPenExcludesEndPoint) {
  Canvas c(10, 10);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{-5, -5, 3, 2};
  EXPECT_TRUE(FillRect(c.dc, &r, red));
  EXPECT_EQ(c.at(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(c.at(2, 1), RGB(255, 0, 0));
  EXPECT_EQ(c.at(3, 1), RGB(255, 255, 255));
  EXPECT_EQ(c.at(2, 2), RGB(255, 255, 255));
  DeleteObject(red);

  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
  HGDIOBJ oldPen = SelectObject(c.dc, pen);
  MoveToEx(c.dc, 1, 5, nullptr);
  LineTo(c.dc, 6, 5);
  for (int x = 1; x < 6; ++x) EXPECT_EQ(c.at(x, 5), RGB(0, 0, 255)) << x;
  EXPECT_EQ(c.at(6, 5), RGB(255, 255, 255));  // end point not drawn
  MoveToEx(c.dc, 0, 0, nullptr);
  LineTo(c.dc, 4, 4);
  EXPECT_EQ(c.at(3, 3), RGB(0, 0, 255));
  EXPECT_EQ(c.at(4, 4), RGB(255, 255, 255));
  SelectObject(c.dc, oldPen);
  DeleteObject(pen);
}

TEST(GdiStretch, EnlargeReplicatesEveryMode) {
  Canvas src(2, 2);
  PaintCoordinates(src, 2, 2);
  for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR}) {
    Canvas dst(4, 4);
    SetStretchBltMode(dst.dc, mode);
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 0, 0, 2, 2, SRCCOPY));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.at(x, y), RGB(x / 2, y / 2, 0)) << mode << " " << x << "," << y;
  }
}

TEST(GdiStretch, ShrinkModesCombineOrDelete) {
  // A black line on white every other column, shrunk to half width.
  Canvas src(4, 1);
  SetPixel(src.dc, 1, 0, RGB(0, 0, 0));
  SetPixel(src.dc, 3, 0, RGB(0, 0, 0));
  Canvas andDst(2, 1), orDst(2, 1), delDst(2, 1);
  SetStretchBltMode(andDst.dc, BLACKONWHITE);
  SetStretchBltMode(orDst.dc, WHITEONBLACK);
  SetStretchBltMode(delDst.dc, COLORONCOLOR);
  StretchBlt(andDst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
  StretchBlt(orDst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
  StretchBlt(delDst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
  // AND keeps the black lines, OR keeps the white, delete keeps the centre pixel (1 and 3).
  EXPECT_EQ(andDst.at(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(andDst.at(1, 0), RGB(0, 0, 0));
  EXPECT_EQ(orDst.at(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(orDst.at(1, 0), RGB(255, 255, 255));
  EXPECT_EQ(delDst.at(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(delDst.at(1, 0), RGB(0, 0, 0));
  // Colours combine bitwise, as Windows does for colour bitmaps.
  Canvas mix(2, 1);
  SetPixel(mix.dc, 0, 0, RGB(0xF0, 0x0F, 0x33));
  SetPixel(mix.dc, 1, 0, RGB(0x3C, 0xFF, 0x11));
  Canvas one(1, 1);
  SetStretchBltMode(one.dc, BLACKONWHITE);
  StretchBlt(one.dc, 0, 0, 1, 1, mix.dc, 0, 0, 2, 1, SRCCOPY);
  EXPECT_EQ(one.at(0, 0), RGB(0x30, 0x0F, 0x11));
  SetStretchBltMode(one.dc, WHITEONBLACK);
  StretchBlt(one.dc, 0, 0, 1, 1, mix.dc, 0, 0, 2, 1, SRCCOPY);
  EXPECT_EQ(one.at(0, 0), RGB(0xFC, 0xFF, 0x33));
}

TEST(GdiStretch, MirrorClipAndOverlap) {
  Canvas src(3, 1);
  PaintCoordinates(src, 3, 1);
  Canvas dst(3, 1);
  SetStretchBltMode(dst.dc, COLORONCOLOR);
  // A negative source width mirrors.
  StretchBlt(dst.dc, 0, 0, 3, 1, src.dc, 3, 0, -3, 1, SRCCOPY);
  EXPECT_EQ(dst.at(0, 0), RGB(2, 0, 0));
  EXPECT_EQ(dst.at(2, 0), RGB(0, 0, 0));
  // Destination partly outside: only the visible part changes, mapping kept.
  Canvas clip(3, 1, false, RGB(9, 9, 9));
  StretchBlt(clip.dc, -1, 0, 3, 1, src.dc, 0, 0, 3, 1, SRCCOPY);
  EXPECT_EQ(clip.at(0, 0), RGB(1, 0, 0));
  EXPECT_EQ(clip.at(1, 0), RGB(2, 0, 0));
  EXPECT_EQ(clip.at(2, 0), RGB(9, 9, 9));
  // Overlapping copy within one bitmap reads the source as it was.
  Canvas self(4, 1);
  PaintCoordinates(self, 4, 1);
  BitBlt(self.dc, 1, 0, 3, 1, self.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(self.at(1, 0), RGB(0, 0, 0));
  EXPECT_EQ(self.at(2, 0), RGB(1, 0, 0));
  EXPECT_EQ(self.at(3, 0), RGB(2, 0, 0));
}

// Packed 8-bit DIB of w x h with a gray palette and pixel value = x + 10 * y.
std::vector<BYTE> GrayDib(int w, int h, bool topDown, BITMAPINFO256* info) {
  *info = BITMAPINFO256{};
  info->bmiHeader.biSize = 40;
  info->bmiHeader.biWidth = w;
  info->bmiHeader.biHeight = topDown ? -h : h;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 8;
  for (int i = 0; i < 256; ++i) info->bmiColors[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  int stride = (w + 3) & ~3;
  std::vector<BYTE> bits(static_cast<size_t>(stride) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bits[static_cast<size_t>(topDown ? y : h - 1 - y) * stride + x] = BYTE(x + 10 * y);
  return bits;
}

TEST(GdiDibTransfer, SetDIBitsToDeviceSourceFromBottom) {
  for (bool topDown : {false, true}) {
    BITMAPINFO256 info;
    auto bits = GrayDib(4, 3, topDown, &info);
    Canvas c(4, 3);
    // The whole DIB.
    EXPECT_EQ(SetDIBitsToDevice(c.dc, 0, 0, 4, 3, 0, 0, 0, 3, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                DIB_RGB_COLORS),
              3);
    EXPECT_EQ(c.at(3, 2), RGB(23, 23, 23));
    // A 2 x 1 part whose top-left is (1, 1): for bottom-up DIBs y counts from the bottom.
    Canvas part(2, 1);
    int ySrc = topDown ? 1 : 3 - 2;
    SetDIBitsToDevice(part.dc, 0, 0, 2, 1, 1, ySrc, 0, 3, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
    EXPECT_EQ(part.at(0, 0), RGB(11, 11, 11)) << topDown;
    EXPECT_EQ(part.at(1, 0), RGB(12, 12, 12)) << topDown;
  }
}

TEST(GdiDibTransfer, StretchDIBitsAndBitFields) {
  BITMAPINFO256 info;
  auto bits = GrayDib(2, 2, false, &info);
  Canvas c(4, 4);
  SetStretchBltMode(c.dc, COLORONCOLOR);
  EXPECT_GT(StretchDIBits(c.dc, 0, 0, 4, 4, 0, 0, 2, 2, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  EXPECT_EQ(c.at(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(c.at(3, 3), RGB(11, 11, 11));

  // 16-bit 5-6-5 through bit fields: pure red, green, blue, white.
  struct {
    BITMAPINFOHEADER h;
    DWORD masks[3];
  } bf{};
  bf.h.biSize = 40;
  bf.h.biWidth = 4;
  bf.h.biHeight = -1;
  bf.h.biPlanes = 1;
  bf.h.biBitCount = 16;
  bf.h.biCompression = BI_BITFIELDS;
  bf.masks[0] = 0xF800;
  bf.masks[1] = 0x07E0;
  bf.masks[2] = 0x001F;
  WORD px[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
  Canvas d(4, 1);
  SetDIBitsToDevice(d.dc, 0, 0, 4, 1, 0, 0, 0, 1, px, reinterpret_cast<BITMAPINFO*>(&bf), DIB_RGB_COLORS);
  EXPECT_EQ(d.at(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(d.at(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(d.at(2, 0), RGB(0, 0, 255));
  EXPECT_EQ(d.at(3, 0), RGB(255, 255, 255));
}

TEST(GdiDibTransfer, Rle8DeltasLeaveDestinationAlone) {
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = 40;
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = 2;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 8;
  info.bmiHeader.biCompression = BI_RLE8;
  info.bmiColors[1] = RGBQUAD{0, 0, 255, 0};  // red
  info.bmiColors[2] = RGBQUAD{255, 0, 0, 0};  // blue
  // Bottom row: two red pixels; a delta of (+1, +1) moves to x = 3 on the top row, one blue pixel there.
  const BYTE rle[] = {2, 1, 0, 2, 1, 1, 1, 2, 0, 1};
  info.bmiHeader.biSizeImage = sizeof rle;
  Canvas c(4, 2, false, RGB(7, 7, 7));
  SetDIBitsToDevice(c.dc, 0, 0, 4, 2, 0, 0, 0, 2, rle, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  EXPECT_EQ(c.at(0, 1), RGB(255, 0, 0));
  EXPECT_EQ(c.at(1, 1), RGB(255, 0, 0));
  EXPECT_EQ(c.at(2, 1), RGB(7, 7, 7));  // skipped by the delta
  EXPECT_EQ(c.at(3, 0), RGB(0, 0, 255));
  EXPECT_EQ(c.at(0, 0), RGB(7, 7, 7));
}

TEST(GdiDibTransfer, GetDIBitsRoundTripAndHeaderQuery) {
  Canvas c(3, 2);
  SetPixel(c.dc, 2, 0, RGB(10, 20, 30));
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = 40;
  EXPECT_EQ(GetDIBits(c.dc, c.bitmap, 0, 2, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 1);
  EXPECT_EQ(info.bmiHeader.biBitCount, 24);
  EXPECT_EQ(info.bmiHeader.biSizeImage, 24u);
  std::vector<BYTE> bits(info.bmiHeader.biSizeImage);
  EXPECT_EQ(GetDIBits(c.dc, c.bitmap, 0, 2, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 2);
  // Bottom-up: the top row is stored second.
  EXPECT_EQ(bits[12 + 6], 30);
  EXPECT_EQ(bits[12 + 7], 20);
  EXPECT_EQ(bits[12 + 8], 10);
  // And back into a fresh bitmap.
  Canvas d(3, 2, true);
  EXPECT_EQ(SetDIBits(d.dc, d.bitmap, 0, 2, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 2);
  EXPECT_EQ(d.at(2, 0), RGB(10, 20, 30));
}

TEST(GdiIcons, DrawIconExMasksAndAlpha) {
  // 2 x 1 icon: left pixel opaque red, right pixel transparent.
  BITMAPINFO256 ci{};
  ci.bmiHeader = BITMAPINFOHEADER{40, 2, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* cbits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&ci), DIB_RGB_COLORS, &cbits, nullptr, 0);
  BYTE* cp = static_cast<BYTE*>(cbits);
  cp[2] = 255;  // red at x = 0; x = 1 stays black (XOR with the background keeps it)
  BITMAPINFO256 mi{};
  mi.bmiHeader = BITMAPINFOHEADER{40, 2, 1, 1, 1, BI_RGB, 0, 0, 0, 0, 0};
  mi.bmiColors[1] = RGBQUAD{255, 255, 255, 0};
  void* mbits = nullptr;
  HBITMAP mask = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&mi), DIB_RGB_COLORS, &mbits, nullptr, 0);
  static_cast<BYTE*>(mbits)[0] = 0x40;  // x = 1 transparent
  HICON icon = CreateIconFromBitmaps(color, mask, TRUE, 0, 0);
  ASSERT_NE(icon, nullptr);
  DeleteObject(color);
  DeleteObject(mask);
  Canvas c(2, 1, false, RGB(0, 128, 0));
  EXPECT_TRUE(DrawIconEx(c.dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(c.at(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(c.at(1, 0), RGB(0, 128, 0));
  DestroyIcon(icon);
}

TEST(GdiCaps, ScreenDefaultsConsistent) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  for (HDC dc : {screen, mem}) {
    int hres = GetDeviceCaps(dc, HORZRES), hsize = GetDeviceCaps(dc, HORZSIZE);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ASSERT_GT(hsize, 0);
    // The physical size agrees with resolution and dpi to within a millimetre.
    EXPECT_NEAR(hres * 25.4 / dpi, hsize, 1.0);
    EXPECT_GE(GetDeviceCaps(dc, BITSPIXEL), 24);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetDeviceCaps(nullptr, HORZRES), 0);
}

}  // namespace

namespace {

// Run in a child process with a display: writes what the screen DC reports.
TEST(GdiCaps, ReportScreenForParent) {
  const char* out = std::getenv("VELMARK_GDI_CAPS_OUT");
  if (!out) GTEST_SKIP() << "only run by RealDisplayAnswers";
  HDC screen = GetDC(nullptr);
  FILE* f = std::fopen(out, "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "%d %d %d %d %d %d\n", GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES),
               GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, HORZSIZE), GetDeviceCaps(screen, VERTSIZE),
               GetDeviceCaps(screen, BITSPIXEL));
  std::fclose(f);
  ReleaseDC(nullptr, screen);
}

TEST(GdiCaps, RealDisplayAnswers) {
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
  // A private display of known size and resolution; Xvfb picks a free number and
  // writes it to the file behind descriptor 3 once it is ready.
  std::string numberFile = "/tmp/gdi-display-" + std::to_string(getpid()) + ".txt";
  std::remove(numberFile.c_str());
  std::string start = "Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 120 -nolisten tcp -noreset 3>'" + numberFile +
                      "' >/dev/null 2>&1 & echo $!";
  FILE* p = popen(start.c_str(), "r");
  ASSERT_NE(p, nullptr);
  int pid = 0;
  ASSERT_EQ(std::fscanf(p, "%d", &pid), 1);
  pclose(p);
  int number = -1;
  for (int i = 0; i < 300 && number < 0; ++i) {
    if (FILE* n = std::fopen(numberFile.c_str(), "r")) {
      if (std::fscanf(n, "%d", &number) != 1) number = -1;
      std::fclose(n);
    }
    if (number < 0) usleep(50000);
  }
  std::remove(numberFile.c_str());
  if (number < 0) kill(pid, SIGTERM);
  ASSERT_GE(number, 0) << "Xvfb did not start";
  std::string display = ":" + std::to_string(number);
  std::string out = "/tmp/gdi-caps-" + std::to_string(getpid()) + ".txt";
  std::string child = "DISPLAY=" + display + " VELMARK_GDI_CAPS_OUT=" + out + " /proc/" + std::to_string(getpid()) +
                      "/exe --gtest_filter=GdiCaps.ReportScreenForParent >/dev/null 2>&1";
  int rc = std::system(child.c_str());
  kill(pid, SIGTERM);
  ASSERT_EQ(rc, 0);
  FILE* f = std::fopen(out.c_str(), "r");
  ASSERT_NE(f, nullptr);
  int w = 0, h = 0, dpi = 0, wmm = 0, hmm = 0, bits = 0;
  ASSERT_EQ(std::fscanf(f, "%d %d %d %d %d %d", &w, &h, &dpi, &wmm, &hmm, &bits), 6);
  std::fclose(f);
  std::remove(out.c_str());
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1024);
  EXPECT_EQ(dpi, 120);
  EXPECT_NEAR(wmm, 1280 * 25.4 / 120, 1.0);
  EXPECT_NEAR(hmm, 1024 * 25.4 / 120, 1.0);
  EXPECT_EQ(bits, 24);
}

}  // namespace
