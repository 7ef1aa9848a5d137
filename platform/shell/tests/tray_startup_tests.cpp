// The tray program's start at logon: the Run value and its autostart mirror.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/tests/tray_run_value.h"
#include "platform/shell/tray_startup.h"

namespace vel::shell {
namespace {

using testing::TrayRunValue;

class TrayStartupTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("XDG_CONFIG_HOME", TempPath("config").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    TempRegistry::TearDown();
  }
  static std::string Entry() {
    std::ifstream in(TrayAutostartPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(TrayStartupTest, AutostartEntryQuotesThePath) {
  EXPECT_EQ(TrayAutostartPath(), TempPath("config") + "/autostart/pennock.desktop");
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
  setenv("HOME", TempPath("home").c_str(), 1);
  EXPECT_EQ(TrayAutostartPath(), TempPath("home") + "/.config/autostart/pennock.desktop");
  setenv("HOME", savedHome.c_str(), 1);
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

TEST_F(TrayStartupTest, WritesTheRunValueAndItsMirror) {
  ASSERT_TRUE(SetTrayStartup("/opt/velmark/pennock"));
  auto [type, data] = TrayRunValue();
  EXPECT_EQ(type, REG_SZ);
  ASSERT_EQ(data.size(), 260u);
  EXPECT_EQ(std::string(data.c_str()), "/opt/velmark/pennock");
  EXPECT_NE(Entry().find("Exec=\"/opt/velmark/pennock\""), std::string::npos);

  // A path longer than the usual 260 bytes is kept whole.
  const std::string longPath = "/opt/" + std::string(300, 'p');
  ASSERT_TRUE(SetTrayStartup(longPath));
  data = TrayRunValue().second;
  EXPECT_EQ(data.size(), longPath.size() + 1);
  EXPECT_EQ(std::string(data.c_str()), longPath);

  // A path no desktop entry can hold still goes to the Run value, and the old
  // entry is left as it was.
  EXPECT_FALSE(SetTrayStartup("/opt/two\nlines"));
  EXPECT_EQ(std::string(TrayRunValue().second.c_str()), "/opt/two\nlines");
  EXPECT_NE(Entry().find(std::string(300, 'p')), std::string::npos);

  ASSERT_TRUE(SetTrayStartup(""));
  EXPECT_EQ(TrayRunValue(), std::make_pair(DWORD{REG_SZ}, std::string(260, '\0')));
  EXPECT_NE(Entry().find("Hidden=true"), std::string::npos);
  // No temporary file is left beside the entry.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TempPath("config") + "/autostart")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace vel::shell
