// The tray program as a process: one instance only, WM_CLOSE from the
// converter's settings ends it, and without a notification area it says so.
#include <cstdio>

#include "platform/shell/named_window.h"
#include "tray/CMainFrame.h"
#include "tray/tests/tray_fixture.h"

namespace pennock::testing {
namespace {

class ProgramTest : public TrayTest {
 protected:
  // Offscreen has no notification area; the switch lets the program run anyway.
  pid_t StartTray(const std::string& errFile = "/dev/null") {
    return Spawn({PENNOCK_PATH}, {"QT_QPA_PLATFORM=offscreen", "VELMARK_TRAY_OPTIONAL=1"}, errFile);
  }
  bool WaitForWindow(bool present, int ms = 10000) {
    for (int waited = 0; waited < ms; waited += 20) {
      if (vel::shell::FindNamedWindow(kWindowName) == present) return true;
      usleep(20000);
    }
    return false;
  }
};

TEST_F(ProgramTest, SecondStartEndsAtOnceAndWmCloseEndsTheFirst) {
  const pid_t first = StartTray();
  ASSERT_GT(first, 0);
  ASSERT_TRUE(WaitForWindow(true));
  const auto before = std::chrono::steady_clock::now();
  const pid_t second = StartTray();
  EXPECT_EQ(WaitExit(second, 5000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(WaitExit(first, 200), -1);  // the first runs on
  EXPECT_TRUE(vel::shell::FindNamedWindow(kWindowName));
  // What the converter's settings sheet sends when the icon is turned off.
  ASSERT_TRUE(vel::shell::PostNamedMessage(kWindowName, vel::shell::kWmClose));
  EXPECT_EQ(WaitExit(first, 5000), 0);
  EXPECT_FALSE(vel::shell::FindNamedWindow(kWindowName));
  // Started, it made itself findable for the converter's settings.
  EXPECT_EQ(FindAppPath("Pennock.exe"), PENNOCK_PATH);
}

TEST_F(ProgramTest, WithoutANotificationAreaItSaysSoAndEnds) {
  const std::string err = TempPath("err.txt");
  const pid_t tray = Spawn({PENNOCK_PATH}, {"QT_QPA_PLATFORM=offscreen"}, err);
  ASSERT_GT(tray, 0);
  EXPECT_EQ(WaitExit(tray, 10000), 1);
  EXPECT_EQ(ReadFile(err), "pennock: no system tray to show the icon in\n");
  EXPECT_FALSE(vel::shell::FindNamedWindow(kWindowName));
}

}  // namespace
}  // namespace pennock::testing
