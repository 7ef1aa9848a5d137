// The wallpaper job end to end: the bitmap written for each layout, the
// registry values of both desktop modes, and the system call through a
// recording wallpaper command.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "converter/wallpaper/Wallpaper.h"
#include "imagelib/core/Common.h"
#include "platform/gdi/gdi.h"
#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"

namespace {

using vel::reg::testing::TempRegistry;

struct BmpHead {
  int width = 0, height = 0, bits = 0;
};

class WallpaperJob : public TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("TMPDIR", TempPath("tmp").c_str(), 1);
    ::mkdir(TempPath("tmp").c_str(), 0755);
    const std::string script = TempPath("record.sh");
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << TempPath("argument")
                          << "\"\nexit ${WALL_EXIT:-0}\n";
    ::chmod(script.c_str(), 0755);
    setenv("VELMARK_WALLPAPER_COMMAND", script.c_str(), 1);
    vel::gdi::SetScreenMetrics({});
  }
  void TearDown() override {
    unsetenv("VELMARK_WALLPAPER_COMMAND");
    unsetenv("WALL_EXIT");
    unsetenv("TMPDIR");
    vel::gdi::SetScreenMetrics({});
    TempRegistry::TearDown();
  }
  static void SetLayout(DWORD layout) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Velmark\\CONVERTER\\WALLPAPER", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Layout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&layout), sizeof layout);
    RegCloseKey(key);
  }
  static void Screen(int width, int height) {
    vel::gdi::ScreenMetrics m;
    m.width = width;
    m.height = height;
    vel::gdi::SetScreenMetrics(m);
  }
  // Runs the job on a fresh w x h picture.
  bool Run(int w, int h) {
    CImageInterface image;
    if (!image.InitFromHBITMAP(Common::CreateEmptyDIBSection(w, h, RGB(10, 20, 30), 0))) return false;
    return converter::SetImageAsWallpaper(image, converter::ConverterSettings::Defaults());
  }
  std::string Bitmap() const { return converter::WallpaperFolder() + "/Corbanix background.bmp"; }
  BmpHead Head() const {
    std::ifstream in(Bitmap(), std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), {});
    BmpHead head;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return head;
    std::memcpy(&head.width, b.data() + 18, 4);
    std::memcpy(&head.height, b.data() + 22, 4);
    WORD bits;
    std::memcpy(&bits, b.data() + 28, 2);
    head.bits = bits;
    return head;
  }
  std::string Argument() const {
    std::stringstream s;
    s << std::ifstream(TempPath("argument")).rdbuf();
    return s.str();
  }
  // The raw bytes of a value, "<missing>" when it cannot be read.
  static std::string Value(HKEY root, const char* subKey, const char* name, DWORD* type = nullptr) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char data[1024];
    DWORD size = sizeof data;
    const LONG rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data, size) : "<missing>";
  }
  static std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }
};

TEST_F(WallpaperJob, TheFolderIsTheTemporaryFolderWithCorbanixImages) {
  EXPECT_EQ(converter::WallpaperFolder(), TempPath("tmp") + "/Corbanix Images");
}

TEST_F(WallpaperJob, CenterAndTileKeepTheImagesOwnSize) {
  ASSERT_TRUE(Run(40, 30));  // no layout stored: "Center"
  BmpHead h = Head();
  EXPECT_EQ(h.width, 40);
  EXPECT_EQ(h.height, 30);
  EXPECT_EQ(h.bits, 24);
  EXPECT_EQ(Argument(), Bitmap());
  EXPECT_EQ(Value(HKEY_CURRENT_USER, "Control Panel\\desktop", "TileWallpaper"),
            std::string("0") + std::string(15, '\0'));

  SetLayout(1);
  ASSERT_TRUE(Run(41, 31));
  h = Head();
  EXPECT_EQ(h.width, 41);
  EXPECT_EQ(h.height, 31);
  DWORD type = 0;
  EXPECT_EQ(Value(HKEY_CURRENT_USER, "Control Panel\\desktop", "TileWallpaper", &type),
            std::string("1") + std::string(15, '\0'));
  EXPECT_EQ(type, REG_SZ);
}

TEST_F(WallpaperJob, StretchTakesTheScreenSizeUpTo2000) {
  SetLayout(3);
  Screen(1024, 768);
  ASSERT_TRUE(Run(40, 30 * 2));
  BmpHead h = Head();
  EXPECT_EQ(h.width, 1024);
  EXPECT_EQ(h.height, 768);
  EXPECT_EQ(h.bits, 24);
  Screen(2560, 1600);
  ASSERT_TRUE(Run(40, 30));
  h = Head();
  EXPECT_EQ(h.width, 2000);
  EXPECT_EQ(h.height, 1600);
}

TEST_F(WallpaperJob, FitKeepsTheProportionsWithinTheScreen) {
  SetLayout(2);
  Screen(2560, 1600);
  ASSERT_TRUE(Run(400, 300));  // into 2000 x 1600
  BmpHead h = Head();
  EXPECT_EQ(h.width, 2000);
  EXPECT_EQ(h.height, 1500);
  Screen(1024, 768);
  ASSERT_TRUE(Run(100, 200));
  h = Head();
  EXPECT_EQ(h.width, 384);
  EXPECT_EQ(h.height, 768);
}

TEST_F(WallpaperJob, LayoutsOutOfRangeAreClamped) {
  SetLayout(77);  // stretch
  Screen(800, 600);
  ASSERT_TRUE(Run(10, 10));
  EXPECT_EQ(Head().width, 800);
  EXPECT_EQ(Head().height, 600);
  EXPECT_EQ(converter::ReadWallpaperLayout(), 3);
}

TEST_F(WallpaperJob, TheClassicDesktopGetsPictureStyleAndTile) {
  ASSERT_TRUE(Run(8, 8));
  const char* key = "Control Panel\\desktop";
  DWORD type = 0;
  EXPECT_EQ(Value(HKEY_CURRENT_USER, key, "Wallpaper", &type), Sz(Bitmap()));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Value(HKEY_CURRENT_USER, key, "WallpaperStyle"), Sz("0"));
  EXPECT_EQ(Value(HKEY_USERS, ".DEFAULT\\SOFTWARE\\Microsoft\\Internet Explorer\\Desktop\\General", "Wallpaper"),
            "<missing>");
}

TEST_F(WallpaperJob, WebViewModePutsThePictureUnderTheActiveDesktop) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, ".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", 0, nullptr,
                            0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  BYTE state[28] = {};
  state[4] = 0x63;
  RegSetValueExA(key, "ShellState", 0, REG_BINARY, state, sizeof state);
  RegCloseKey(key);
  const char* general = ".DEFAULT\\SOFTWARE\\Microsoft\\Internet Explorer\\Desktop\\General";
  ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, general, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);

  SetLayout(1);
  ASSERT_TRUE(Run(8, 8));
  EXPECT_EQ(Value(HKEY_USERS, general, "Wallpaper"), Sz(Bitmap()));
  EXPECT_EQ(Value(HKEY_USERS, general, "BackupWallpaper"), Sz(Bitmap()));
  EXPECT_EQ(Value(HKEY_USERS, general, "WallpaperStyle"), Sz("0"));
  EXPECT_EQ(Value(HKEY_USERS, general, "TileWallpaper"), std::string("1") + std::string(15, '\0'));
  // The classic key gets only the tile flag.
  EXPECT_EQ(Value(HKEY_CURRENT_USER, "Control Panel\\desktop", "Wallpaper"), "<missing>");
  EXPECT_EQ(Value(HKEY_CURRENT_USER, "Control Panel\\desktop", "TileWallpaper"),
            std::string("1") + std::string(15, '\0'));

  // Any other mark at byte 4 is the classic desktop.
  state[4] = 0x62;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", 0, KEY_WRITE, &key),
      ERROR_SUCCESS);
  RegSetValueExA(key, "ShellState", 0, REG_BINARY, state, sizeof state);
  RegCloseKey(key);
  ASSERT_TRUE(Run(8, 8));
  EXPECT_EQ(Value(HKEY_CURRENT_USER, "Control Panel\\desktop", "Wallpaper"), Sz(Bitmap()));
}

TEST_F(WallpaperJob, FailuresAreReported) {
  CImageInterface none;
  EXPECT_FALSE(converter::SetImageAsWallpaper(none, converter::ConverterSettings::Defaults()));
  EXPECT_EQ(Argument(), "");  // the system was not asked

  setenv("WALL_EXIT", "1", 1);  // the desktop refused
  EXPECT_FALSE(Run(8, 8));
  EXPECT_EQ(Argument(), Bitmap());
  unsetenv("WALL_EXIT");

  // The wallpaper folder cannot be made: a file stands where it should be.
  std::ofstream(TempPath("blocker")) << "x";
  setenv("TMPDIR", TempPath("blocker").c_str(), 1);
  EXPECT_FALSE(Run(8, 8));
}

}  // namespace
