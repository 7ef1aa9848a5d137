// The tray program on a virtual screen with a real notification area: the icon
// shows, a right click opens the menu (pictures of it go to VELMARK_SHOTS), and
// "Remove icon from the tray" chosen with the keyboard ends the program.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/shell/tests/tray_run_value.h"
#include "tray/tests/tray_fixture.h"

namespace pennock::testing {
namespace {

std::string Which(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// The first display number with neither a socket nor a lock file.
int FreeDisplay() {
  for (int n = 90; n < 200; ++n) {
    const std::string n_ = std::to_string(n);
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + n_) && !std::filesystem::exists("/tmp/.X" + n_ + "-lock"))
      return n;
  }
  return -1;
}

class ScreenTest : public TrayTest {
 protected:
  // Runs an outside tool against the virtual screen; its output, trimmed.
  std::string Tool(const std::string& command) {
    const std::string out = TempPath("tool.txt");
    const std::string line = "DISPLAY=" + display_ + " " + command + " > '" + out + "' 2>/dev/null";
    if (std::system(line.c_str()) != 0) return {};
    std::string text = ReadFile(out);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }
  // Polls `command` until it prints something.
  std::string WaitTool(const std::string& command, int ms = 10000) {
    for (int waited = 0; waited < ms; waited += 100) {
      const std::string text = Tool(command);
      if (!text.empty()) return text;
      usleep(100000);
    }
    return {};
  }
  std::string display_;
};

TEST_F(ScreenTest, IconMenuOnARealTray) {
  const std::string xvfb = Which("Xvfb");
  std::string host = Which("stalonetray");
  std::vector<std::string> hostArgs{"--geometry", "4x1+0+0", "--icon-size", "24"};
  if (host.empty()) {
    host = Which("wmdocker");
    hostArgs = {"-iconsize", "24"};
  }
  if (xvfb.empty() || host.empty() || Which("xdotool").empty())
    GTEST_SKIP() << "needs Xvfb, a tray host (stalonetray or wmdocker) and xdotool";
  const int number = FreeDisplay();
  ASSERT_GE(number, 0);
  display_ = ":" + std::to_string(number);
  ASSERT_GT(Spawn({xvfb, display_, "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"}), 0);
  for (int waited = 0; waited < 10000 && !std::filesystem::exists("/tmp/.X11-unix/X" + display_.substr(1));
       waited += 50)
    usleep(50000);
  hostArgs.insert(hostArgs.begin(), host);
  ASSERT_GT(Spawn(hostArgs, {"DISPLAY=" + display_}), 0);

  const char* asked = std::getenv("VELMARK_SHOTS");
  const std::string shots = asked && *asked ? asked : TempPath("shots");
  const std::string menuShot = shots + "/pennock-menu.png";
  std::filesystem::remove(menuShot);
  const pid_t tray = Spawn({PENNOCK_PATH}, {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "VELMARK_SHOTS=" + shots},
                           TempPath("tray-err.txt"));
  ASSERT_GT(tray, 0);
  // The icon is a small window of ours that the tray host has taken in. wmdocker
  // leaves its own window for a window manager to map; there is none here.
  ASSERT_FALSE(WaitTool("xdotool search --classname pennock").empty()) << ReadFile(TempPath("tray-err.txt"));
  Tool("xdotool search --name '^Docker$' windowmap");
  const std::string icon = WaitTool("xdotool search --onlyvisible --classname pennock");
  ASSERT_FALSE(icon.empty()) << "the icon did not show";
  const std::string first = icon.substr(0, icon.find('\n'));
  ASSERT_EQ(WaitExit(tray, 0), -1);

  Tool("xdotool mousemove --window " + first + " 6 6 click 3");
  for (int waited = 0; waited < 10000 && !std::filesystem::exists(menuShot); waited += 100) usleep(100000);
  ASSERT_TRUE(std::filesystem::exists(menuShot)) << "the menu did not open";
  usleep(200000);
  if (!Which("import-im6.q16").empty()) Tool("import-im6.q16 -window root '" + shots + "/pennock-screen.png'");

  Tool("xdotool key Up Return");
  EXPECT_EQ(WaitExit(tray, 10000), 0) << ReadFile(TempPath("tray-err.txt"));
  EXPECT_EQ(vel::shell::testing::TrayRunValue().second, std::string(260, '\0'));
}

}  // namespace
}  // namespace pennock::testing
