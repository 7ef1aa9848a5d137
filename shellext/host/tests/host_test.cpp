// ferrule-menu without a window: the listing, invoking an item, the refusals, and
// the App Paths entries it makes for the programs beside it.
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>

#include "platform/com/com.h"
#include "platform/shell/shell.h"
#include "shellext/host/tests/host_fixture.h"

namespace ferrule_host::testing {
namespace {

// The test handler's menu as the listing shows it.
constexpr const char* kListing =
    "0\t&Open sesame\n"
    "-\n"
    "+\t&More\n"
    "  1\tInner && outer\n"
    "  +\tDeeper\n"
    "    2\tDeepest\n"
    "3\t[thumbnail 40x30]\n"
    "4\t[thumbnail 126x96]\n"
    "5\tGrayed\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  return text;
}

class HostCli : public HostFixture {
 protected:
  int Run(const std::string& args) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(FERRULE_MENU_PATH) + " " + args +
                                " > " + TempPath("out") + " 2> " + TempPath("err");
    const int status = std::system(command.c_str());
    out_ = ReadText(TempPath("out"));
    err_ = ReadText(TempPath("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string out_, err_;
};

TEST_F(HostCli, ListsInvokesAndRefuses) {
  const struct {
    const char* name;
    const char* args;  // {file} and {folder} stand for the selection
    bool empty, unregister;
    int exit;
    const char* out;  // exact standard output, or null
    const char* err;  // part of standard error, or null
    const char* log;  // part of the handler's record, or null
  } cases[] = {
      {"one file", "--print {file}", false, false, 0, kListing, nullptr, "query 1 4"},
      {"a handler of files and folders serves once", "--print {file} {folder}", false, false, 0, kListing, nullptr,
       nullptr},
      {"owner-drawn item", "--invoke 4 {file}", false, false, 0, "", nullptr, "invoke 4 1 {file}"},
      {"item of a nested submenu", "--invoke 2 {folder} {file}", false, false, 0, "", nullptr, "invoke 2 2 {folder}"},
      {"no such item", "--invoke 9 {file}", false, false, 1, "", "the menu has no item 9", nullptr},
      {"not a number", "--invoke x {file}", false, false, 1, "", "not a command ID: x", nullptr},
      {"handler adds nothing", "--print {file}", true, false, 1, "", "add no items", nullptr},
      {"no handler", "--print {file}", false, true, 1, "", "no context-menu handler is registered", nullptr},
      {"missing file", "--print {file}.gone", false, false, 1, "", "cannot find", nullptr},
      {"no display for the popup", "{file}", false, false, 1, "", "no display", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(TempPath("handler.log").c_str());
    if (c.empty) setenv("VELMARK_TEST_HANDLER_EMPTY", "1", 1);
    if (c.unregister) {
      ASSERT_EQ(handler_.unregisterServer(), S_OK);
    }
    auto fill = [&](const char* text) { return Replace(Replace(text, "{file}", file_), "{folder}", folder_); };
    EXPECT_EQ(Run(fill(c.args)), c.exit) << err_;
    if (c.out) {
      EXPECT_EQ(out_, c.out);
    }
    if (c.err) {
      EXPECT_NE(err_.find(c.err), std::string::npos) << err_;
    }
    if (c.log) {
      EXPECT_NE(HandlerLog().find(fill(c.log)), std::string::npos) << HandlerLog();
    }
    if (c.exit != 0) {
      EXPECT_EQ(HandlerLog().find("invoke"), std::string::npos) << HandlerLog();
    }
    unsetenv("VELMARK_TEST_HANDLER_EMPTY");
    if (c.unregister) {
      ASSERT_EQ(handler_.registerServer(), S_OK);
    }
  }
}

TEST_F(HostCli, RegistersTheProgramsBesideIt) {
  ASSERT_EQ(Run("--print " + file_), 0);
  const std::string bin = std::string(FERRULE_MENU_PATH).substr(0, std::string(FERRULE_MENU_PATH).rfind('/'));
  EXPECT_EQ(FindAppPath("Wicklow"), bin + "/wicklow");
}

TEST_F(HostCli, RegistersTheExtensionBesideItOnlyAtTheFirstStart) {
  ASSERT_EQ(handler_.unregisterServer(), S_OK);
  ASSERT_TRUE(vel::com::ContextMenuHandlers("*").empty());
  Run("--print " + file_);
  EXPECT_FALSE(vel::com::ContextMenuHandlers("*").empty()) << "the extension beside the host was not registered";
  EXPECT_FALSE(vel::com::ContextMenuHandlers("Folder").empty());
  // Taken away afterwards, it stays away.
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "*");
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "Folder");
  EXPECT_EQ(Run("--print " + file_), 1);
  EXPECT_NE(err_.find("no context-menu handler is registered"), std::string::npos) << err_;
  ASSERT_EQ(handler_.registerServer(), S_OK);
}

TEST_F(HostFixture, SiblingAppPathsReplaceOnlyDeadEntries) {
  const std::string dir = TempPath("bin");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  auto program = [&](const std::string& name) {
    const std::string path = dir + "/" + name;
    std::fclose(std::fopen(path.c_str(), "w"));
    chmod(path.c_str(), 0755);
    return path;
  };
  const std::string here = program("prog"), elsewhere = program("installed");
  const struct {
    const char* name;
    std::string before;  // "" for no entry
    bool present;
    bool result;
    std::string after;
  } cases[] = {
      {"missing entry", "", true, true, here},
      {"entry of a removed file", dir + "/removed", true, true, here},
      {"entry of a live program", elsewhere, true, true, elsewhere},
      {"program not beside us", "", false, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kAppPathsKey);
    if (!c.before.empty()) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kAppPathsKey) + "\\Probe").c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(c.before.c_str()),
                     static_cast<DWORD>(c.before.size() + 1));
      RegCloseKey(key);
    }
    EXPECT_EQ(vel::shell::RegisterSiblingAppPath("Probe", dir, c.present ? "prog" : "absent"), c.result);
    EXPECT_EQ(FindAppPath("Probe"), c.after);
  }
}

}  // namespace
}  // namespace ferrule_host::testing
