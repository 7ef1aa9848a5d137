// The converter program end to end, without a display: settings written with
// velreg, a list of fifty pictures of mixed formats in nested folders converted
// to every type the converter writes, single files by switch, and what a run
// leaves in the registry.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "converter/engine/tests/pictures.h"
#include "converter/settings/ConverterSettings.h"
#include "lorimer/ImageInterface.h"
#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/shell.h"

namespace converter {
namespace {

class Program : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  std::string file(const std::string& name) const { return TempPath(name); }
  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) const {
    struct stat st {};
    return stat(file(name).c_str(), &st) == 0;
  }
  // Runs a command with the test's registry; its exit status.
  int run(const std::string& command) const {
    const std::string line =
        "cd '" + dir_ + "' && " + command + " >'" + file("out.txt") + "' 2>'" + file("err.txt") + "'";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int converter(const std::string& parameters) const {
    return run(std::string("'") + CONVERTER_PATH + "' " + parameters);
  }
  int velreg(const std::string& parameters) const { return run(std::string("'") + VELREG_PATH + "' " + parameters); }

  // Every setting at its default, written through velreg's import as an
  // installer would, then single values changed with velreg add.
  void writeSettings() {
    const std::string scratch = file("scratch-registry");
    setenv("VELMARK_REGISTRY_DIR", scratch.c_str(), 1);
    ASSERT_TRUE(ConverterSettings::Defaults().Save());
    ASSERT_EQ(velreg("export \"HKCU\\Software\\Velmark\\CONVERTER\" '" + file("settings.reg") + "' /y"), 0)
        << read("err.txt");
    setenv("VELMARK_REGISTRY_DIR", RegistryDir().c_str(), 1);
    ASSERT_EQ(velreg("import '" + file("settings.reg") + "'"), 0) << read("err.txt");
  }
  void setNumber(const char* name, unsigned value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF,
                  value >> 24);
    ASSERT_EQ(velreg(std::string("add \"HKCU\\Software\\Velmark\\CONVERTER\" /v ") + name + " /t REG_BINARY /d " + hex +
                     " /f"),
              0)
        << read("err.txt");
  }

  void picture(const std::string& name, int w, int h, int pages = 1) const {
    testing::WritePicture(file(name), w, h, pages, RGB(40, 120, 200));
  }
};

TEST_F(Program, FiftyPicturesToEveryTypeTheConverterWrites) {
  writeSettings();
  ASSERT_EQ(mkdir(file("a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(file("a/b").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(file("a/b/c d").c_str(), 0755), 0);
  const char* folders[] = {"", "a/", "a/b/", "a/b/c d/"};
  const char* types[] = {"bmp", "png", "jpg", "gif", "tif", "pcx", "tga"};
  std::vector<std::string> sources;
  for (int i = 0; i < 49; ++i) {
    const std::string name = std::string(folders[i % 4]) + "pic" + std::to_string(i) + "." + types[i % 7];
    picture(name, 24 + i % 5, 16);
    sources.push_back(name);
  }
  // The fiftieth has two pages, and all pages are converted.
  picture("a/b/two.tif", 20, 10, 2);
  sources.push_back("a/b/two.tif");

  const char* targets[] = {"BMP", "GIF", "JPG", "TIF", "TGA", "DCX", "EPS", "FMF", "PCX", "PNG", "WMF", "EMF"};
  const char* extensions[] = {"bmp", "gif", "jpg", "tif", "tga", "dcx", "eps", "fmf", "pcx", "png", "wmf", "emf"};
  setNumber("OPT_OverwriteExisting", 1);  // outputs to a source's own type replace earlier runs' outputs only
  for (int t = 0; t < 12; ++t) {
    std::string list = std::string(targets[t]) + "\n";
    for (const std::string& s : sources) list += file(s) + "\n";
    std::ofstream(file("list.txt")) << list;
    ASSERT_EQ(converter("'" + file("list.txt") + "' /BAT"), 0) << targets[t] << "\n" << read("err.txt");
    for (const std::string& s : sources) {
      const std::string base = s.substr(0, s.rfind('.'));
      const std::string ext = extensions[t];
      const bool own = s.substr(s.rfind('.') + 1) == ext;
      if (s == "a/b/two.tif") {
        EXPECT_TRUE(exists(base + "_p1." + ext) && exists(base + "_p2." + ext)) << s << " to " << ext;
      } else {
        // Converting to a source's own type never replaces the source.
        EXPECT_TRUE(exists(base + (own ? "(1)." : ".") + ext)) << s << " to " << ext;
      }
    }
  }
  // Every folder keeps its own log: 13 files there (12 in the top folder), each
  // converted twelve times, and the list's end.
  const std::string log = read("a/b/Corbanix.log");
  size_t successes = 0;
  for (size_t at = log.find("Success\n"); at != std::string::npos; at = log.find("Success\n", at + 1)) ++successes;
  EXPECT_GE(successes, 13u * 12u);
  EXPECT_EQ(log.find("Error"), std::string::npos);
  EXPECT_NE(read("a/b/c d/Corbanix.log").find("File: pic3.gif\nFrom: " + file("a/b/c d")), std::string::npos);
}

TEST_F(Program, SingleFilesByTheirSwitchAndWhatARunLeaves) {
  writeSettings();
  picture("x.png", 30, 20);
  EXPECT_EQ(converter("x.png /JPEG /HIDE /AUTOCLOSE"), 0) << read("err.txt");
  EXPECT_TRUE(exists("x.jpeg"));
  EXPECT_EQ(converter("'" + file("x.png") + "' /JPE"), 0);
  EXPECT_TRUE(exists("x.jpe"));
  // The progress goes to standard error, one line per step.
  EXPECT_NE(read("err.txt").find("file 1 of 1, page 1: " + file("x.png") + ": Converting ..."), std::string::npos)
      << read("err.txt");
  // A missing file fails the run; its line names it, not the file before it.
  EXPECT_EQ(converter("gone.png /PNG"), 1);
  std::ofstream(file("list.txt")) << "PNG\n" << file("x.png") << "\n" << file("gone.png") << "\n";
  EXPECT_EQ(converter("list.txt /BAT"), 1);
  EXPECT_NE(read("err.txt").find("file 2 of 2, page 1: " + file("gone.png") + ": Error: file is not exist"),
            std::string::npos)
      << read("err.txt");

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmark\\CONVERTER\\COMMAND", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD type = 0, value = 99, size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "SpecialCommand", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 0u);  // the last run gave no flags
  EXPECT_EQ(FindAppPath("Converter.exe"), CONVERTER_PATH);
}

}  // namespace
}  // namespace converter
