// What "Add Corbanix icon to system tray" does to the tray program on Apply.
#include <QCheckBox>

#include <filesystem>

#include "converter/sheet/TrayStartup.h"
#include "converter/sheet/tests/sheet_fixture.h"
#include "platform/shell/shell.h"
#include "platform/shell/tests/tray_run_value.h"
#include "platform/shell/tray_startup.h"

namespace converter::testing {
namespace {

using vel::shell::SetTrayStartup;
using vel::shell::TrayAutostartPath;

class Tray : public SheetTest {
 protected:
  static std::pair<DWORD, std::string> RunValue() { return vel::shell::testing::TrayRunValue(); }
  // A stand-in tray program that notes that it ran, registered in App Paths.
  std::string InstallTray(const std::string& name = "pennock") {
    const std::string program = TempPath(name);
    WriteFile(program, "#!/bin/sh\necho started > '" + TempPath("tray-ran") + "'\n");
    chmod(program.c_str(), 0755);
    HKEY key = nullptr;
    const std::string appPath = std::string(kAppPathsKey) + "\\Pennock.exe";
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, appPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(program.c_str()),
                   static_cast<DWORD>(program.size() + 1));
    RegCloseKey(key);
    return program;
  }
  // Opens the sheet at "Miscellaneous", sets the tray box and applies.
  int ApplyWithIcon(bool on) {
    int closed = 0;
    CSettings sheet;
    sheet.SetTrayCloser([&closed] { ++closed; });
    sheet.SetActivePage(CSettings::kOptionsPage);
    auto* box = Find<QCheckBox>(sheet, "optShowPennock");
    box->setChecked(on);
    EXPECT_TRUE(sheet.Apply());
    return closed;
  }
};

TEST_F(Tray, TurningTheIconOffBlanksTheRunValueAndClosesTheTray) {
  const std::string program = InstallTray();
  ASSERT_TRUE(SetTrayStartup(program));
  EXPECT_EQ(ApplyWithIcon(false), 1);
  EXPECT_EQ(RunValue().second, std::string(260, '\0'));
  EXPECT_NE(ReadFile(TrayAutostartPath()).find("Hidden=true"), std::string::npos);
  EXPECT_EQ(Stored().optShowPennock, 0);
  EXPECT_EQ(WaitForFile(TempPath("tray-ran"), 300), "");  // nothing was started
}

TEST_F(Tray, TurningTheIconOnStartsTheTrayAndRegistersIt) {
  Store([](ConverterSettings& s) { s.optShowPennock = 0; });
  const std::string program = InstallTray();
  EXPECT_EQ(ApplyWithIcon(true), 0);
  EXPECT_EQ(WaitForFile(TempPath("tray-ran")), "started\n");
  auto [type, data] = RunValue();
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(data.c_str()), program);
  EXPECT_NE(ReadFile(TrayAutostartPath()).find("Exec=\"" + program + "\""), std::string::npos);
}

TEST_F(Tray, WithoutAnInstalledTrayNothingIsRegistered) {
  EXPECT_EQ(ApplyWithIcon(true), 0);
  EXPECT_EQ(RunValue().first, 0u);
  EXPECT_FALSE(std::filesystem::exists(TrayAutostartPath()));
}

TEST_F(Tray, OnlyAShownMiscellaneousPageLooksAfterTheTray) {
  Store([](ConverterSettings& s) {
    s.optShowPennock = 0;
    s.pageNumber = 0;
  });
  int closed = 0;
  CSettings sheet;
  sheet.SetTrayCloser([&closed] { ++closed; });
  ASSERT_TRUE(sheet.Apply());
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(RunValue().first, 0u);
  sheet.SetActivePage(CSettings::kOptionsPage);
  sheet.SetActivePage(0);
  ASSERT_TRUE(sheet.Apply());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(RunValue().second, std::string(260, '\0'));
}

TEST_F(Tray, NoCloserSetIsNoFailure) {
  CSettings sheet;
  sheet.SetActivePage(CSettings::kOptionsPage);
  Find<QCheckBox>(sheet, "optShowPennock")->setChecked(false);
  EXPECT_TRUE(sheet.Apply());
  EXPECT_EQ(RunValue().second, std::string(260, '\0'));
}

}  // namespace
}  // namespace converter::testing
