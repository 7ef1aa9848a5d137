// Recording DCs: what is drawn into one and played back lands where drawing it
// directly does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/player.h"
#include "platform/gdi/recorder.h"
#include "platform/gdi/shapes.h"
#include "platform/gdi/text.h"

namespace {

constexpr int kW = 160, kH = 120;

HBITMAP WhitePage(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all{0, 0, w, h};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, &all, white);
  DeleteObject(white);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bmp;
}

// Everything a page of the suite draws: a fill, a picture, shapes, a dashed line, text.
void DrawScene(HDC dc) {
  RECT fill{4, 4, 40, 30};
  HBRUSH red = CreateSolidBrush(RGB(220, 0, 0));
  FillRect(dc, &fill, red);
  DeleteObject(red);

  const BYTE pixels[2 * 2 * 4] = {255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0};  // BGRA, bottom-up
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 2;
  bi.bmiHeader.biHeight = 2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  StretchDIBits(dc, 50, 4, 40, 40, 0, 0, 2, 2, pixels, &bi, DIB_RGB_COLORS, SRCCOPY);

  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 200));
  HGDIOBJ oldBrush = SelectObject(dc, blue);
  Rectangle(dc, 100, 4, 150, 40);
  Ellipse(dc, 4, 50, 60, 90);
  SelectObject(dc, oldBrush);
  DeleteObject(blue);

  // A solid geometric line: the player strokes lines as paths, whose dashes Qt
  // places by its own rules (see the design notes), so dashes are not compared here.
  const LOGBRUSH lb{BS_SOLID, RGB(0, 120, 0), 0};
  HPEN dashed = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, 3, &lb, 0, nullptr);
  HGDIOBJ oldPen = SelectObject(dc, dashed);
  MoveToEx(dc, 70, 60, nullptr);
  LineTo(dc, 150, 60);
  SelectObject(dc, oldPen);
  DeleteObject(dashed);

  LOGFONTA lf{};
  lf.lfHeight = -16;
  std::snprintf(lf.lfFaceName, sizeof(lf.lfFaceName), "Arial");
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, 70, 80, "Velmark", 7);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}

COLORREF At(HBITMAP bmp, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  const COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

int Differences(HBITMAP a, HBITMAP b) {
  int n = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const COLORREF p = At(a, x, y), q = At(b, x, y);
      if (std::abs(GetRValue(p) - GetRValue(q)) > 40 || std::abs(GetGValue(p) - GetGValue(q)) > 40 ||
          std::abs(GetBValue(p) - GetBValue(q)) > 40) {
        ++n;
      }
    }
  return n;
}

TEST(Recorder, PlayedBackLikeDrawnDirectly) {
  HBITMAP direct = WhitePage(kW, kH);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, direct);
  DrawScene(dc);
  SelectObject(dc, old);
  DeleteDC(dc);

  HDC recorder = CreateEnhMetaFileA(nullptr, nullptr, nullptr, "test");
  ASSERT_NE(recorder, nullptr);
  EXPECT_EQ(GetDeviceCaps(recorder, TECHNOLOGY), 5);  // a metafile
  DrawScene(recorder);
  HENHMETAFILE emf = CloseEnhMetaFile(recorder);
  ASSERT_NE(emf, nullptr);
  ENHMETAHEADER header{};
  ASSERT_GT(GetEnhMetaFileHeader(emf, sizeof(header), &header), 0u);
  // The bounds hold everything drawn, from the fill's corner on.
  EXPECT_NEAR(header.rclBounds.left, 4, 1);  // a pen's half width may reach past the fill
  EXPECT_NEAR(header.rclBounds.top, 4, 1);
  EXPECT_GE(header.rclBounds.right, 149);

  HBITMAP played = WhitePage(kW, kH);
  dc = CreateCompatibleDC(nullptr);
  old = SelectObject(dc, played);
  const RECT dest{header.rclBounds.left, header.rclBounds.top, header.rclBounds.right + 1, header.rclBounds.bottom + 1};
  ASSERT_TRUE(PlayEnhMetaFile(dc, emf, &dest));
  SelectObject(dc, old);
  DeleteDC(dc);

  EXPECT_EQ(At(played, 20, 15), RGB(220, 0, 0));
  EXPECT_EQ(At(played, 55, 9), At(direct, 55, 9));  // the picture's quadrants
  EXPECT_EQ(At(played, 85, 40), At(direct, 85, 40));
  EXPECT_EQ(At(played, 125, 20), RGB(0, 0, 200));
  EXPECT_EQ(At(played, 30, 70), RGB(0, 0, 200));
  // The frame is kept in 0.01 mm and mapped back onto the destination, so edges
  // may move by a pixel; the text is measured again at the played size.
  EXPECT_LT(Differences(direct, played), kW * kH / 25);
  DeleteObject(direct);
  DeleteObject(played);
  DeleteEnhMetaFile(emf);
}

TEST(Recorder, FrameFileAndHandles) {
  char dir[] = "/tmp/recorder-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/drawing.emf";
  const RECT frame{0, 0, 5000, 2500};  // 50 x 25 mm
  HDC recorder = CreateEnhMetaFileA(nullptr, path.c_str(), &frame, "Velmark Lorimer");
  ASSERT_NE(recorder, nullptr);
  RECT r{0, 0, 10, 10};
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  FillRect(recorder, &r, brush);
  DeleteObject(brush);
  HENHMETAFILE emf = CloseEnhMetaFile(recorder);
  ASSERT_NE(emf, nullptr);
  ENHMETAHEADER header{};
  GetEnhMetaFileHeader(emf, sizeof(header), &header);
  EXPECT_EQ(header.rclFrame.right, 5000);
  EXPECT_EQ(header.rclFrame.bottom, 2500);
  HENHMETAFILE again = GetEnhMetaFileA(path.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetEnhMetaFileBits(again, 0, nullptr), GetEnhMetaFileBits(emf, 0, nullptr));
  DeleteEnhMetaFile(again);
  DeleteEnhMetaFile(emf);
  std::remove(path.c_str());
  rmdir(dir);

  // The DC is gone once closed; other DCs are not recorders.
  EXPECT_EQ(CloseEnhMetaFile(recorder), nullptr);
  HDC memory = CreateCompatibleDC(nullptr);
  EXPECT_EQ(CloseEnhMetaFile(memory), nullptr);
  DeleteDC(memory);
}

TEST(Recorder, EmptyRecordingIsAValidMetafile) {
  HDC recorder = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
  HENHMETAFILE emf = CloseEnhMetaFile(recorder);
  ASSERT_NE(emf, nullptr);
  HBITMAP page = WhitePage(20, 20);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, page);
  RECT dest{0, 0, 20, 20};
  EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &dest));
  SelectObject(dc, old);
  DeleteDC(dc);
  EXPECT_EQ(At(page, 10, 10), RGB(255, 255, 255));
  DeleteObject(page);
  DeleteEnhMetaFile(emf);
}

}  // namespace
