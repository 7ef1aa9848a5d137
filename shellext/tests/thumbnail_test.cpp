#include <signal.h>

#include <chrono>
#include <cstring>
#include <string>

#include "shellext/tests/ferrule_test_support.h"

namespace ferrule::testing {
namespace {

using ThumbnailTest = FerruleTest;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

TEST_F(ThumbnailTest, ExamineHandsTheRequestOverAndReadsTheAnswer) {
  RegisterWorker();
  SetThumbValues(1, 1, 1);
  SetValue(HKEY_CURRENT_USER, std::string(kConverterKey) + "\\Sinchro", "Error", REG_BINARY, "\x07\0\0\0", 4);
  const std::string image = Touch("a.png");
  CThumbnail launcher;
  ExamineResult result;
  ASSERT_TRUE(launcher.Examine(image.c_str(), &result));
  EXPECT_EQ(result.width, 120);
  EXPECT_EQ(result.height, 90);
  EXPECT_EQ(result.bitsPerPixel, 24);
  EXPECT_EQ(result.pages, 1);
  EXPECT_EQ(result.sizeText, "1.00 KB");
  EXPECT_EQ(result.imgFileName, "a.png");
  BITMAP info{};
  ASSERT_EQ(GetObject(result.bitmap, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, 120);
  DeleteObject(result.bitmap);

  // The request went out as whole 260-byte texts, the old numbers kept.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSinchroKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  char text[300] = {};
  DWORD size = sizeof text, type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "FileName", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 260u);
  EXPECT_EQ(image, text);
  DWORD error = 0;
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "Error", nullptr, &type, reinterpret_cast<BYTE*>(&error), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(error, 7u);
  RegCloseKey(key);

  ExamineResult again;
  EXPECT_FALSE(launcher.Examine(image.c_str(), &again));  // one worker per launcher
  EXPECT_FALSE(CThumbnail().Examine("", &again));
}

TEST_F(ThumbnailTest, SlowOrSilentWorkersTimeOutAndAreEndedOnRelease) {
  SetThumbValues(1, 1, 1);
  const std::string image = Touch("a.png");
  const std::string pidFile = TempPath("worker.pid");
  const struct {
    const char* name;
    std::string before;
  } cases[] = {{"slow", "echo $$ > " + pidFile + "; sleep 7"}, {"silent", "echo $$ > " + pidFile + "; exec sleep 60"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegisterWorker(c.before);
    pid_t pid = 0;
    {
      CThumbnail launcher;
      ExamineResult result;
      const auto start = Clock::now();
      EXPECT_FALSE(launcher.Examine(image.c_str(), &result));
      EXPECT_GE(Seconds(start), kThumbTimeMin - 0.2);
      EXPECT_LT(Seconds(start), kThumbTimeMin + 1.5);
      pid = std::stoi(Read(pidFile));
      ASSERT_EQ(kill(pid, 0), 0);  // still running
    }
    EXPECT_NE(kill(pid, 0), 0);  // ended and reaped
    SinchroRecord cleared;
    std::strcpy(cleared.fileName, "untouched");
    ReadSinchro(&cleared);
    EXPECT_STREQ(cleared.fileName, "");
    EXPECT_EQ(cleared.width, 0u);
  }
}

TEST_F(ThumbnailTest, ItemIsMeasuredAndDrawnInsideItsFrame) {
  const std::string bmp = WriteBmp("t.bmp", 120, 90, RGB(10, 200, 30));
  HBITMAP thumb =
      static_cast<HBITMAP>(LoadImageA(0, bmp.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  ASSERT_NE(thumb, nullptr);
  UINT width = 0, height = 0;
  ASSERT_TRUE(MeasureThumbnail(thumb, &width, &height));
  EXPECT_EQ(width, 126u);
  EXPECT_EQ(height, 96u);
  EXPECT_FALSE(MeasureThumbnail(nullptr, &width, &height));

  // An item 20 pixels larger than the frame: the frame sits centred, 10 in.
  HBITMAP canvas = CreateCompatibleBitmap(nullptr, 146, 116);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, canvas);
  const RECT item{0, 0, 146, 116};
  const COLORREF green = RGB(10, 200, 30);
  for (bool selected : {false, true}) {
    SCOPED_TRACE(selected);
    DrawThumbnail(thumb, dc, item, selected);
    const COLORREF outer = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    const struct {
      int x, y;
      COLORREF color;
    } pixels[] = {
        {0, 0, outer},
        {10, 10, outer},
        {145, 115, outer},
        {11, 11, GetSysColor(COLOR_BTNFACE)},
        {12, 12, GetSysColor(COLOR_BTNHIGHLIGHT)},
        {12, 50, GetSysColor(COLOR_BTNHIGHLIGHT)},
        {133, 50, GetSysColor(COLOR_3DDKSHADOW)},
        {60, 103, GetSysColor(COLOR_3DDKSHADOW)},
        {13, 13, green},
        {132, 102, green},
        {134, 104, GetSysColor(COLOR_BTNFACE)},
    };
    for (const auto& p : pixels) EXPECT_EQ(GetPixel(dc, p.x, p.y), p.color) << p.x << "," << p.y;
  }
  DeleteDC(dc);
  DeleteObject(canvas);
  DeleteObject(thumb);
}

TEST_F(ThumbnailTest, MenuMessagesOnlyForTheThumbnailItem) {
  RegisterWorker();
  SetThumbValues(1, 1, 1);
  IContextMenu3* ext = Extension({Touch("a.png")});
  HMENU menu = CreatePopupMenu();
  ASSERT_EQ(ext->QueryContextMenu(menu, 0, 500, 600, CMF_EXPLORE), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 23));
  MEASUREITEMSTRUCT measure{ODT_MENU, 0, 520, 1, 1, 0};
  LRESULT handled = FALSE;
  EXPECT_EQ(ext->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &handled), S_OK);
  EXPECT_TRUE(handled);
  EXPECT_EQ(measure.itemWidth, 126u);
  EXPECT_EQ(measure.itemHeight, 96u);
  MEASUREITEMSTRUCT other{ODT_MENU, 0, 521, 1, 1, 0};
  EXPECT_EQ(ext->HandleMenuMsg(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&other)), S_FALSE);
  EXPECT_EQ(other.itemWidth, 1u);
  ext->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&other), &handled);
  EXPECT_FALSE(handled);
  ext->Release();
  DestroyMenu(menu);
}

}  // namespace
}  // namespace ferrule::testing
