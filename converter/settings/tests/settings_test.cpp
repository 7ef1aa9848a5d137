// The converter's settings record against the registry: defaults, the storage
// conventions, the load order that stops at the first missing value, the
// thumbnail group read as one block, and saving.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "converter/settings/ConverterSettings.h"
#include "platform/gdi/gdi.h"
#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"

namespace converter {
namespace {

class Settings : public vel::reg::testing::TempRegistry {
 protected:
  HKEY open() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }
  void setNumber(const char* name, int value, DWORD type = REG_BINARY) {
    HKEY key = open();
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
  }
  void remove(const char* name) {
    HKEY key = open();
    EXPECT_EQ(RegDeleteValueA(key, name), ERROR_SUCCESS) << name;
    RegCloseKey(key);
  }
  // Type and bytes of a stored value.
  std::pair<DWORD, std::vector<BYTE>> stored(const char* name) {
    HKEY key = open();
    DWORD type = 0, size = 0;
    RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    return {type, data};
  }
};

TEST_F(Settings, DefaultsAndAMissingKey) {
  ConverterSettings s;
  s.pageNumber = 9;
  EXPECT_FALSE(s.Load());  // no key: every value at its default
  EXPECT_EQ(s.pageNumber, 5);
  EXPECT_EQ(s.cdBpp, 1);
  EXPECT_EQ(s.inetJpegQual, 75);
  EXPECT_EQ(s.optMultipageFileName, "Multipage");
  EXPECT_EQ(s.renTemplates[3], "TP4");
  EXPECT_EQ(s.sizeNewWidth, 2048);
  EXPECT_EQ(s.sizeMultiplier, 1.0f);
  EXPECT_EQ(s.sizeBkColor, 0xFFFFFFu);
  EXPECT_EQ(s.thumbnail.time, 20);
  EXPECT_EQ(s.tiffCompressionMode, 1);
  EXPECT_EQ(s.tiffArtist, LoggedOnUser().substr(0, 255));
  // The thumbnail limits are a fifth of the screen.
  HDC screen = CreateCompatibleDC(nullptr);
  const int w = GetDeviceCaps(screen, HORZRES) / 5, h = GetDeviceCaps(screen, VERTRES) / 5;
  DeleteDC(screen);
  EXPECT_EQ(s.thumbnail.width, w > 0 && h > 0 ? w : 150);
  EXPECT_EQ(s.thumbnail.height, w > 0 && h > 0 ? h : 150);
}

TEST_F(Settings, SavedValuesUseTheStorageConventionsAndLoadBack) {
  ConverterSettings s = ConverterSettings::Defaults();
  s.cdGray = 7;  // a truth value is stored as 0 or 1
  s.inetJpegQual = 90;
  s.optFolderPath = "/home/me/out";
  s.renTemplates[1] = std::string(300, 'x');  // longer than the 260 bytes a string has
  s.sizeMultiplier = 0.5f;
  s.sizeRotAngle = -9000;
  s.thumbnail.sizeMode = 3;
  s.briconBlue = -100;
  s.pageNumber = 2;
  ASSERT_TRUE(s.Save());

  auto [type, bytes] = stored("INET_JPEGQual");
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(bytes, (std::vector<BYTE>{90, 0, 0, 0}));
  std::tie(type, bytes) = stored("CD_Gray");
  EXPECT_EQ(bytes, (std::vector<BYTE>{1, 0, 0, 0}));
  std::tie(type, bytes) = stored("SIZE_Multiplier");
  EXPECT_EQ(bytes, (std::vector<BYTE>{0, 0, 0, 0x3F}));  // 0.5f
  std::tie(type, bytes) = stored("OPT_FolderPath");
  EXPECT_EQ(type, REG_SZ);
  ASSERT_EQ(bytes.size(), 260u);
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data()), "/home/me/out");
  EXPECT_EQ(bytes[259], 0);

  ConverterSettings back;
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.cdGray, 1);
  EXPECT_EQ(back.inetJpegQual, 90);
  EXPECT_EQ(back.optFolderPath, "/home/me/out");
  EXPECT_EQ(back.renTemplates[1], std::string(259, 'x'));
  EXPECT_EQ(back.sizeMultiplier, 0.5f);
  EXPECT_EQ(back.sizeRotAngle, -9000);
  EXPECT_EQ(back.thumbnail.sizeMode, 3);
  EXPECT_EQ(back.briconBlue, -100);
  EXPECT_EQ(back.pageNumber, 2);
}

TEST_F(Settings, LoadStopsAtTheFirstMissingValue) {
  ConverterSettings s = ConverterSettings::Defaults();
  s.inetJpegQual = 40;
  s.optCreateLog = 0;
  s.renAskBefore = 0;
  ASSERT_TRUE(s.Save());
  remove("OPT_CloseAfter");
  setNumber("INET_PNGFilterMode", 3, REG_DWORD);  // read with 4 bytes whatever the type

  ConverterSettings back;
  EXPECT_FALSE(back.Load());
  EXPECT_EQ(back.inetJpegQual, 40);  // before the gap
  EXPECT_EQ(back.inetPngFilterMode, 3);
  EXPECT_EQ(back.optCreateLog, 1);  // after it: the default, although stored
  EXPECT_EQ(back.renAskBefore, 1);

  // A number stored longer than four bytes cannot be read either.
  ASSERT_TRUE(s.Save());
  HKEY key = open();
  const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  RegSetValueExA(key, "CD_Bpp", 0, REG_BINARY, eight, 8);
  RegCloseKey(key);
  EXPECT_FALSE(back.Load());
  EXPECT_EQ(back.inetJpegQual, 75);
}

TEST_F(Settings, TheThumbnailGroupIsOneBlock) {
  ConverterSettings s = ConverterSettings::Defaults();
  s.thumbnail.showThumbnail = 0;
  s.thumbnail.time = 45;
  s.thumbnail.zoomQuality = 7;
  s.tiffCompressionMode = 4;
  s.cropMode = 2;
  s.sizeNewWidth = 1000;
  ASSERT_TRUE(s.Save());
  ConverterSettings back;
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.thumbnail.zoomQuality, 1);  // anything above 0 is "high"
  EXPECT_EQ(back.thumbnail.time, 45);

  // The last value of the group missing: the whole group and everything after it
  // keep their defaults.
  remove("THMB_Time");
  EXPECT_FALSE(back.Load());
  const ConverterSettings defaults = ConverterSettings::Defaults();
  EXPECT_EQ(back.thumbnail.showThumbnail, 1);
  EXPECT_EQ(back.thumbnail.zoomQuality, 0);
  EXPECT_EQ(back.thumbnail.width, defaults.thumbnail.width);
  EXPECT_EQ(back.tiffCompressionMode, 1);
  EXPECT_EQ(back.cropMode, 0);
  EXPECT_EQ(back.sizeNewWidth, 1000);  // the size group before it was read
}

}  // namespace
}  // namespace converter
