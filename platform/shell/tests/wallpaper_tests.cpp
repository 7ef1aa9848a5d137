// The wallpaper: which calls each desktop gets, the override command, and the
// time limit on the tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/shell/tool_run.h"
#include "platform/shell/wallpaper.h"

namespace {

using vel::shell::Desktop;
using vel::shell::ToolCall;
using Args = std::vector<std::string>;

class WallpaperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velwall-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    saved_ = {Get("VELMARK_WALLPAPER_COMMAND"), Get("XDG_CURRENT_DESKTOP"), Get("DESKTOP_SESSION")};
    unsetenv("VELMARK_WALLPAPER_COMMAND");
    unsetenv("XDG_CURRENT_DESKTOP");
    unsetenv("DESKTOP_SESSION");
  }
  void TearDown() override {
    Restore("VELMARK_WALLPAPER_COMMAND", saved_[0]);
    Restore("XDG_CURRENT_DESKTOP", saved_[1]);
    Restore("DESKTOP_SESSION", saved_[2]);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  static std::string Get(const char* n) { return std::getenv(n) ? std::getenv(n) : std::string("\x01"); }
  static void Restore(const char* n, const std::string& v) {
    if (v == "\x01")
      unsetenv(n);
    else
      setenv(n, v.c_str(), 1);
  }
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
    return path;
  }
  std::string Read(const std::string& name) {
    std::stringstream s;
    s << std::ifstream(dir_ + "/" + name).rdbuf();
    return s.str();
  }
  std::string dir_;
  std::vector<std::string> saved_;
};

TEST_F(WallpaperTest, DesktopsAreRecognisedFromTheSessionList) {
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Other);
  setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Gnome);
  setenv("XDG_CURRENT_DESKTOP", "Budgie:GNOME", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Gnome);
  setenv("XDG_CURRENT_DESKTOP", "X-Cinnamon", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Cinnamon);
  setenv("XDG_CURRENT_DESKTOP", "MATE", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Mate);
  setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Plasma);
  setenv("XDG_CURRENT_DESKTOP", "XFCE", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Xfce);
  setenv("XDG_CURRENT_DESKTOP", "GNOMEISH", 1);  // a whole entry must match
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Other);
  setenv("VELMARK_WALLPAPER_COMMAND", "/bin/true", 1);
  EXPECT_EQ(vel::shell::DetectDesktop(), Desktop::Override);
}

TEST_F(WallpaperTest, GnomeSetsBothPicturesAsUrisAndTheLayout) {
  const auto tiled = vel::shell::WallpaperCalls(Desktop::Gnome, "/tmp/Corbanix Images/a%b.bmp", true);
  ASSERT_EQ(tiled.size(), 3u);
  const std::string uri = "file:///tmp/Corbanix%20Images/a%25b.bmp";
  EXPECT_EQ(tiled[0].argv, (Args{"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri}));
  EXPECT_EQ(tiled[1].argv, (Args{"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri}));
  EXPECT_EQ(tiled[2].argv, (Args{"gsettings", "set", "org.gnome.desktop.background", "picture-options", "wallpaper"}));
  const auto centred = vel::shell::WallpaperCalls(Desktop::Gnome, "/x.bmp", false);
  EXPECT_EQ(centred[2].argv.back(), "centered");
  // Cinnamon takes a URI, MATE a plain path, each under its own schema.
  const auto cinnamon = vel::shell::WallpaperCalls(Desktop::Cinnamon, "/a b.bmp", true);
  ASSERT_EQ(cinnamon.size(), 2u);
  EXPECT_EQ(cinnamon[0].argv,
            (Args{"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", "file:///a%20b.bmp"}));
  EXPECT_EQ(cinnamon[1].argv.back(), "wallpaper");
  const auto mate = vel::shell::WallpaperCalls(Desktop::Mate, "/a b.bmp", false);
  ASSERT_EQ(mate.size(), 2u);
  EXPECT_EQ(mate[0].argv, (Args{"gsettings", "set", "org.mate.background", "picture-filename", "/a b.bmp"}));
  EXPECT_EQ(mate[1].argv.back(), "centered");
  const auto older = vel::shell::WallpaperCalls(Desktop::Gnome, "/x.bmp", false, "", false);
  ASSERT_EQ(older.size(), 2u);
  EXPECT_EQ(older[1].argv[3], "picture-options");
}

TEST_F(WallpaperTest, XfceSetsEveryBackdropAndOthersUseTheirTool) {
  const std::string list =
      "/backdrop/screen0/monitorVGA-1/workspace0/color-style\n"
      "/backdrop/screen0/monitorVGA-1/workspace0/last-image\n"
      "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n";
  const auto calls = vel::shell::WallpaperCalls(Desktop::Xfce, "/w.bmp", true, list);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].argv,
            (Args{"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop/screen0/monitorVGA-1/workspace0/last-image",
                  "-n", "-t", "string", "-s", "/w.bmp"}));
  EXPECT_EQ(calls[1].argv[4], "/backdrop/screen0/monitorVGA-1/workspace0/image-style");
  EXPECT_EQ(calls[1].argv.back(), "2");
  EXPECT_EQ(calls[2].argv[4], "/backdrop/screen0/monitorHDMI-1/workspace1/last-image");
  EXPECT_TRUE(vel::shell::WallpaperCalls(Desktop::Xfce, "/w.bmp", true, "").empty());

  EXPECT_EQ(vel::shell::WallpaperCalls(Desktop::Plasma, "/w.bmp", false)[0].argv,
            (Args{"plasma-apply-wallpaperimage", "/w.bmp"}));
  EXPECT_EQ(vel::shell::WallpaperCalls(Desktop::Other, "/w.bmp", true)[0].argv, (Args{"feh", "--bg-tile", "/w.bmp"}));
  EXPECT_EQ(vel::shell::WallpaperCalls(Desktop::Other, "/w.bmp", false)[0].argv,
            (Args{"feh", "--bg-center", "/w.bmp"}));
}

TEST_F(WallpaperTest, TheOverrideCommandGetsThePathAsItsOneArgumentAndDecides) {
  const std::string ok = Script("ok.sh", "printf '%s|' \"$#\" \"$@\" > \"$(dirname \"$0\")/args\"\n");
  setenv("VELMARK_WALLPAPER_COMMAND", ok.c_str(), 1);
  char path[] = "/tmp/my pictures/$HOME 'x'.bmp";
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 1, path, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE), TRUE);
  // No shell came between: the text arrives as it was, as one argument.
  EXPECT_EQ(Read("args"), std::string("1|") + path + "|");

  setenv("VELMARK_WALLPAPER_COMMAND", Script("fail.sh", "exit 3\n").c_str(), 1);
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path, 3), FALSE);
  setenv("VELMARK_WALLPAPER_COMMAND", (dir_ + "/missing").c_str(), 1);
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path, 3), FALSE);
  setenv("VELMARK_WALLPAPER_COMMAND", ok.c_str(), 1);
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, nullptr, 3), FALSE);
  char empty[] = "";
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, empty, 3), FALSE);
  EXPECT_EQ(SystemParametersInfoA(21, 0, path, 3), FALSE);  // only the wallpaper is ours
}

// Desktop tools stood in for by scripts on $PATH that log their arguments.
class DesktopToolsTest : public WallpaperTest {
 protected:
  void SetUp() override {
    WallpaperTest::SetUp();
    path_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (dir_ + ":" + path_).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    WallpaperTest::TearDown();
  }
  void Tool(const std::string& name, const std::string& answer, int code = 0) {
    Script(name, "echo \"" + name + " $*\" >> \"" + dir_ + "/log\"\nprintf '" + answer + "'\nexit " +
                     std::to_string(code) + "\n");
  }
  std::string path_;
};

TEST_F(DesktopToolsTest, GnomeGetsItsThreeKeysAndOlderGnomeNoDarkPicture) {
  setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
  Tool("gsettings", "picture-options\\npicture-uri\\npicture-uri-dark\\n");
  char path[] = "/tmp/w p.bmp";
  ASSERT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 1, path, 3), TRUE);
  EXPECT_EQ(Read("log"),
            "gsettings list-keys org.gnome.desktop.background\n"
            "gsettings set org.gnome.desktop.background picture-uri file:///tmp/w%20p.bmp\n"
            "gsettings set org.gnome.desktop.background picture-uri-dark file:///tmp/w%20p.bmp\n"
            "gsettings set org.gnome.desktop.background picture-options wallpaper\n");
  std::remove((dir_ + "/log").c_str());
  Tool("gsettings", "picture-options\\npicture-uri\\n");
  ASSERT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path, 3), TRUE);
  EXPECT_EQ(Read("log").find("picture-uri-dark"), std::string::npos);
  Tool("gsettings", "", 1);  // the settings daemon refuses
  EXPECT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path, 3), FALSE);
}

TEST_F(DesktopToolsTest, XfceListsItsBackdropsFirstAndOtherDesktopsUseFeh) {
  setenv("XDG_CURRENT_DESKTOP", "XFCE", 1);
  Tool("xfconf-query", "/backdrop/screen0/monitor1/workspace0/last-image\\n");
  char path[] = "/w.bmp";
  ASSERT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path, 3), TRUE);
  EXPECT_EQ(Read("log"),
            "xfconf-query -c xfce4-desktop -l\n"
            "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitor1/workspace0/last-image -n -t string -s /w.bmp\n"
            "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitor1/workspace0/image-style -n -t int -s 1\n");
  std::remove((dir_ + "/log").c_str());
  setenv("XDG_CURRENT_DESKTOP", "LXQt", 1);
  Tool("feh", "");
  ASSERT_EQ(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 1, path, 3), TRUE);
  EXPECT_EQ(Read("log"), "feh --bg-tile /w.bmp\n");
}

TEST_F(WallpaperTest, ToolsAreTimedAndTheirOutputIsKept) {
  std::string out;
  EXPECT_TRUE(vel::shell::RunTool({{"sh", "-c", "echo one; echo two"}, "", 5000, &out}));
  EXPECT_EQ(out, "one\ntwo\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(vel::shell::RunTool({{"sleep", "30"}, "", 300}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // A tool that closes its output but keeps running is still bounded.
  EXPECT_FALSE(vel::shell::RunTool({{"sh", "-c", "exec >&-; sleep 30"}, "", 300}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(vel::shell::RunTool({{}, "", 1000}));
}

}  // namespace
