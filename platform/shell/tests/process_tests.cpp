// Starting programs and documents, waiting for them, and their exit codes.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/shell.h"

namespace {

using vel::reg::testing::TempRegistry;
using Clock = std::chrono::steady_clock;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Our children that have ended but were never reaped.
int ZombieChildren() {
  int zombies = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::string stat = Slurp(std::string("/proc/") + entry->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() && state == 'Z')
      ++zombies;
  }
  closedir(proc);
  return zombies;
}

bool NoZombiesWithin(std::chrono::milliseconds limit) {
  auto end = Clock::now() + limit;
  while (ZombieChildren() != 0) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class ProcessTest : public TempRegistry {
 protected:
  // A shell script that records its arguments (one per line) and its folder.
  std::string WriteRecorder(const std::string& path, const std::string& output, int exitCode = 0) {
    std::ofstream script(path);
    script << "#!/bin/sh\n"
           << "pwd > '" << output << "'\n"
           << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << output << "'; done\n"
           << "exit " << exitCode << "\n";
    script.close();
    chmod(path.c_str(), 0755);
    return path;
  }
  HANDLE Start(const char* file, const char* params, int show = SW_HIDE, const char* dir = nullptr,
               const char* verb = "open") {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = params;
    info.lpDirectory = dir;
    info.nShow = show;
    EXPECT_TRUE(ShellExecuteExA(&info)) << file << " gave " << info.hInstApp;
    EXPECT_GT(info.hInstApp, 32);
    return info.hProcess;
  }
  DWORD ExitCodeAfterWait(HANDLE process) {
    EXPECT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
    DWORD code = 12345;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_TRUE(CloseHandle(process));
    return code;
  }
};

TEST_F(ProcessTest, WaitsWithAndWithoutTimeOutAndReportsExitCode) {
  // Long enough that a busy machine still finds it running during the waits.
  HANDLE process = Start("/bin/sh", "-c \"sleep 1.5; exit 3\"");
  ASSERT_NE(process, nullptr);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_TIMEOUT);
  auto before = Clock::now();
  EXPECT_EQ(WaitForSingleObject(process, 100), WAIT_TIMEOUT);
  auto waited = Clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(90));
  EXPECT_LT(waited, std::chrono::milliseconds(1000)) << "a timed wait must not last until the process ends";
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "an ended process stays signalled";
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 3u);
  EXPECT_TRUE(CloseHandle(process));

  EXPECT_FALSE(CloseHandle(process)) << "closing twice";
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_FAILED);
  EXPECT_FALSE(GetExitCodeProcess(process, &code));
  int notAHandle = 0;
  EXPECT_EQ(WaitForSingleObject(&notAHandle, INFINITE), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(nullptr));
}

TEST_F(ProcessTest, ExitBySignalIsReportedAsShellsDo) {
  HANDLE process = Start("/bin/sh", "-c \"kill -9 $$\"");
  EXPECT_EQ(ExitCodeAfterWait(process), 128u + 9u);
}

TEST_F(ProcessTest, HiddenProcessReadsNothingFromStandardInput) {
  HANDLE process = Start("/bin/sh", "-c \"if read line; then exit 5; else exit 7; fi\"", SW_HIDE);
  EXPECT_EQ(ExitCodeAfterWait(process), 7u);
}

TEST_F(ProcessTest, ParametersAreSplitAsWindowsCommandLines) {
  std::string folder = TempPath("my dir");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::string output = TempPath("args.txt");
  std::string script = WriteRecorder(folder + "/my prog.sh", output, 4);
  HANDLE process =
      Start(script.c_str(), "\"first arg\" second \"C:\\Program Files\\x\" \\\"q\\\"", SW_HIDE, folder.c_str());
  EXPECT_EQ(ExitCodeAfterWait(process), 4u);
  EXPECT_EQ(Slurp(output), folder + "\nfirst arg\nsecond\nC:\\Program Files\\x\n\"q\"\n");
}

TEST_F(ProcessTest, BareNamesAreFoundInFolderAppPathsAndPath) {
  std::string output = TempPath("out.txt");
  std::string bin = TempPath("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  WriteRecorder(bin + "/registered-tool", output, 9);
  {
    HKEY key = nullptr;
    std::string sub = std::string(kAppPathsKey) + "\\mytool";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::string path = bin + "/registered-tool";
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
  }
  EXPECT_EQ(ExitCodeAfterWait(Start("mytool", "via-app-paths")), 9u);
  EXPECT_NE(Slurp(output).find("via-app-paths"), std::string::npos);

  // A name in lpDirectory wins.
  WriteRecorder(bin + "/local-tool", output, 6);
  EXPECT_EQ(ExitCodeAfterWait(Start("local-tool", nullptr, SW_HIDE, bin.c_str())), 6u);
  // And $PATH is searched last.
  EXPECT_EQ(ExitCodeAfterWait(Start("sh", "-c \"exit 4\"")), 4u);
}

TEST_F(ProcessTest, DocumentsAndUrlsGoToTheOpener) {
  std::string output = TempPath("opened.txt");
  std::string opener = WriteRecorder(TempPath("opener"), output);
  setenv("VELMARK_OPEN_COMMAND", opener.c_str(), 1);

  const char* url = "https://example.com/a b?x=1&y=\"2\"";
  EXPECT_EQ(ExitCodeAfterWait(Start(url, "ignored")), 0u);
  EXPECT_EQ(Slurp(output).substr(Slurp(output).find('\n') + 1), std::string(url) + "\n");

  std::string document = TempPath("picture.tga");
  std::ofstream(document) << "not a program";
  chmod(document.c_str(), 0755);  // even with the execute bit it is no program
  EXPECT_EQ(ExitCodeAfterWait(Start("picture.tga", nullptr, SW_HIDE, dir_.c_str())), 0u);
  EXPECT_NE(Slurp(output).find(document + "\n"), std::string::npos);

  // "edit" sends even a program to the opener.
  std::string script = WriteRecorder(TempPath("tool.sh"), TempPath("unused.txt"));
  EXPECT_EQ(ExitCodeAfterWait(Start(script.c_str(), nullptr, SW_HIDE, nullptr, "edit")), 0u);
  EXPECT_NE(Slurp(output).find(script + "\n"), std::string::npos);

  // ShellExecuteA reports success as a value above 32 and leaves no handle.
  HINSTANCE result = ShellExecuteA(nullptr, nullptr, "mailto:someone@example.com", nullptr, nullptr, SW_SHOWNORMAL);
  EXPECT_GT(result, 32);
  auto end = Clock::now() + std::chrono::seconds(5);
  while (Slurp(output).find("mailto:") == std::string::npos && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(Slurp(output).find("mailto:someone@example.com\n"), std::string::npos);

  setenv("VELMARK_OPEN_COMMAND", TempPath("no-such-opener").c_str(), 1);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOW), SE_ERR_NOASSOC);
  unsetenv("VELMARK_OPEN_COMMAND");
}

TEST_F(ProcessTest, HelpFilesOpenTheirGuidePage) {
  const std::string guide = TempPath("guide");
  mkdir(guide.c_str(), 0755);
  setenv("VELMARK_HELP_DIR", guide.c_str(), 1);
  std::ofstream(guide + "/converter.html") << "<html></html>";
  // The running program's own page wins over the page of the help name.
  struct Case {
    const char* helpFile;
    bool ownPage;
    std::string page;
  } cases[] = {
      {"/opt/x/CONVERTER.hlp", false, guide + "/converter.html"},
      {"Converter.HLP", false, guide + "/converter.html"},
      {"/opt/x/Nowhere.hlp", false, ""},
      {"/opt/x/converter.html", false, ""},
      {"/opt/x/CONVERTER.hlp", true, guide + "/shell_tests.html"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.helpFile);
    if (c.ownPage) std::ofstream(guide + "/shell_tests.html") << "<html></html>";
    char resolved[PATH_MAX];
    const std::string expected = c.page.empty() || !realpath(c.page.c_str(), resolved) ? c.page : resolved;
    EXPECT_EQ(HelpGuidePage(c.helpFile), expected);
  }
  unlink((guide + "/shell_tests.html").c_str());

  // Opening a help file that does not exist opens its page instead.
  const std::string output = TempPath("opened.txt");
  setenv("VELMARK_OPEN_COMMAND", WriteRecorder(TempPath("opener"), output).c_str(), 1);
  EXPECT_EQ(ExitCodeAfterWait(Start((dir_ + "/CONVERTER.hlp").c_str(), nullptr)), 0u);
  EXPECT_NE(Slurp(output).find("/converter.html\n"), std::string::npos) << Slurp(output);
  // Without a page, a missing help file is still "not found".
  EXPECT_EQ(ShellExecuteA(nullptr, "open", (dir_ + "/Nowhere.hlp").c_str(), nullptr, nullptr, SW_SHOW), SE_ERR_FNF);
  unsetenv("VELMARK_OPEN_COMMAND");
  unsetenv("VELMARK_HELP_DIR");
}

TEST_F(ProcessTest, FailuresComeBackAsSmallNumbers) {
  EXPECT_EQ(ShellExecuteA(nullptr, "open", TempPath("missing").c_str(), nullptr, nullptr, SW_SHOW), SE_ERR_FNF);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", "no-such-program-anywhere", nullptr, nullptr, SW_SHOW), SE_ERR_FNF);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOW), SE_ERR_FNF);
  EXPECT_EQ(ShellExecuteA(nullptr, "print", "/bin/sh", nullptr, nullptr, SW_SHOW), SE_ERR_NOASSOC);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", "/bin/sh", nullptr, TempPath("nowhere").c_str(), SW_SHOW), SE_ERR_PNF);

  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info - 1;
  info.lpFile = "/bin/true";
  EXPECT_FALSE(ShellExecuteExA(&info));
  EXPECT_FALSE(ShellExecuteExA(nullptr));
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  std::string missing = TempPath("missing");
  info.lpFile = missing.c_str();
  EXPECT_FALSE(ShellExecuteExA(&info));
  EXPECT_EQ(info.hInstApp, SE_ERR_FNF);
  EXPECT_EQ(info.hProcess, nullptr);
}

TEST_F(ProcessTest, ProcessesAreReapedWithoutAWait) {
  ASSERT_EQ(ZombieChildren(), 0);
  // Started without a handle at all.
  for (int i = 0; i < 5; ++i) ASSERT_GT(ShellExecuteA(nullptr, "open", "/bin/true", nullptr, nullptr, SW_HIDE), 32);
  // And with a handle closed before the process ended.
  HANDLE process = Start("/bin/sh", "-c \"sleep 0.2\"");
  EXPECT_TRUE(CloseHandle(process));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(NoZombiesWithin(std::chrono::seconds(5)));
}

}  // namespace
