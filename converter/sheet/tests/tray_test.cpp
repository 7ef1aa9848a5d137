// The tray program's start at logon: the Run value, its autostart mirror, and
// what "Add Corbanix icon to system tray" does on Apply.
#include <QCheckBox>

#include <filesystem>

#include "converter/sheet/TrayStartup.h"
#include "converter/sheet/tests/sheet_fixture.h"
#include "platform/shell/shell.h"

namespace converter::testing {
namespace {

class Tray : public SheetTest {
 protected:
  // The Run value's type and bytes; type 0 when there is none.
  static std::pair<DWORD, std::string> RunValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {0, {}};
    DWORD type = 0, size = 0;
    std::string data;
    if (RegQueryValueExA(key, kTrayRunValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      data.resize(size);
      RegQueryValueExA(key, kTrayRunValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    } else {
      type = 0;
    }
    RegCloseKey(key);
    return {type, data};
  }
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

TEST_F(Tray, AutostartEntryQuotesThePath) {
  EXPECT_EQ(TrayAutostartPath(), TempPath("config") + "/autostart/pennock.desktop");
  const std::string plain = TrayAutostartEntry("/opt/velmark/pennock");
  EXPECT_NE(plain.find("\nExec=\"/opt/velmark/pennock\"\n"), std::string::npos) << plain;
  EXPECT_EQ(plain.find("Hidden"), std::string::npos);
  EXPECT_EQ(plain.rfind("[Desktop Entry]\n", 0), 0u);
  // Quotes, backquotes, dollars and backslashes are escaped inside the quotes, then
  // backslashes and percent signs once more for the file.
  const std::string odd = TrayAutostartEntry("/opt/my \"tray\"/$HOME`x`\\100%");
  EXPECT_NE(odd.find("\nExec=\"/opt/my \\\\\"tray\\\\\"/\\\\$HOME\\\\`x\\\\`\\\\\\\\100%%\"\n"), std::string::npos)
      << odd;
  EXPECT_NE(TrayAutostartEntry("").find("\nHidden=true\n"), std::string::npos);
  EXPECT_EQ(TrayAutostartEntry("").find("Exec="), std::string::npos);
  EXPECT_EQ(TrayAutostartEntry("/a\nb"), "");
  EXPECT_EQ(TrayAutostartEntry("/a\rb"), "");
}

TEST_F(Tray, SetTrayStartupWritesTheRunValueAndItsMirror) {
  ASSERT_TRUE(SetTrayStartup("/opt/velmark/pennock"));
  auto [type, data] = RunValue();
  EXPECT_EQ(type, REG_SZ);
  ASSERT_EQ(data.size(), 260u);
  EXPECT_EQ(std::string(data.c_str()), "/opt/velmark/pennock");
  EXPECT_NE(ReadFile(TrayAutostartPath()).find("Exec=\"/opt/velmark/pennock\""), std::string::npos);

  // A path longer than the usual 260 bytes is kept whole.
  const std::string longPath = "/opt/" + std::string(300, 'p');
  ASSERT_TRUE(SetTrayStartup(longPath));
  data = RunValue().second;
  EXPECT_EQ(data.size(), longPath.size() + 1);
  EXPECT_EQ(std::string(data.c_str()), longPath);

  // A path no desktop entry can hold still goes to the Run value, and the old
  // entry is left as it was.
  EXPECT_FALSE(SetTrayStartup("/opt/two\nlines"));
  EXPECT_EQ(std::string(RunValue().second.c_str()), "/opt/two\nlines");
  EXPECT_NE(ReadFile(TrayAutostartPath()).find(std::string(300, 'p')), std::string::npos);

  ASSERT_TRUE(SetTrayStartup(""));
  data = RunValue().second;
  EXPECT_EQ(data, std::string(260, '\0'));
  EXPECT_NE(ReadFile(TrayAutostartPath()).find("Hidden=true"), std::string::npos);
  // No temporary file is left beside the entry.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TempPath("config") + "/autostart")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

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
