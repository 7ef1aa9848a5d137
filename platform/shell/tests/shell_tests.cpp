// Temporary names, the program's own path, App Paths, command-line splitting
// and the small file functions.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/base/file.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/shell.h"

namespace {

using vel::reg::testing::TempRegistry;

class ShellTest : public TempRegistry {
 protected:
  static bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  static off_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
  }
  void SetAppPath(const char* name, DWORD type, const std::string& value) {
    HKEY key = nullptr;
    std::string sub = std::string(kAppPathsKey) + "\\" + name;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

TEST_F(ShellTest, WholeFilesAreReadUpToTheirLimit) {
  const std::string path = TempPath("ten.bin");
  std::ofstream(path, std::ios::binary) << "0123456789";
  std::vector<std::uint8_t> out = {42};
  ASSERT_TRUE(vel::ReadWholeFile(path.c_str(), out, 10));
  EXPECT_EQ(std::string(out.begin(), out.end()), "0123456789");
  // Too large, a folder, nothing there: refused, and what was held stays.
  out = {42};
  EXPECT_FALSE(vel::ReadWholeFile(path.c_str(), out, 9));
  EXPECT_FALSE(vel::ReadWholeFile(dir_.c_str(), out, 1 << 20));
  EXPECT_FALSE(vel::ReadWholeFile(TempPath("missing").c_str(), out, 1 << 20));
  EXPECT_FALSE(vel::ReadWholeFile(nullptr, out, 1 << 20));
  EXPECT_EQ(out, std::vector<std::uint8_t>{42});
  // An empty file is read as empty.
  std::ofstream(TempPath("empty.bin"));
  ASSERT_TRUE(vel::ReadWholeFile(TempPath("empty.bin").c_str(), out, 10));
  EXPECT_TRUE(out.empty());
}

TEST_F(ShellTest, TempFileNameCreatesFileAndKeepsWholePrefix) {
  char name[MAX_PATH];
  UINT number = GetTempFileNameA(dir_.c_str(), "lrmr_", 0, name);
  ASSERT_NE(number, 0u);
  char expected[MAX_PATH];
  std::snprintf(expected, sizeof expected, "%s/lrmr_%X.tmp", dir_.c_str(), number);
  EXPECT_STREQ(name, expected);
  EXPECT_TRUE(IsFile(name));
  EXPECT_EQ(FileSize(name), 0);
  EXPECT_LE(number, 0xFFFFu);

  // A trailing "/" on the folder makes no double slash.
  std::string withSlash = dir_ + "/";
  ASSERT_NE(GetTempFileNameA(withSlash.c_str(), "p", 0, name), 0u);
  EXPECT_EQ(std::string(name).find("//"), std::string::npos);
  EXPECT_EQ(std::string(name).rfind(dir_ + "/p", 0), 0u);
}

TEST_F(ShellTest, TempFileNamesAreUniqueAcrossProcesses) {
  constexpr int kChildren = 4;
  constexpr int kEach = 100;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      char name[MAX_PATH];
      int failures = 0;
      for (int i = 0; i < kEach; ++i)
        if (GetTempFileNameA(dir_.c_str(), "x", 0, name) == 0) ++failures;
      _exit(failures);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Every call made its own file: no two callers were handed the same name.
  int files = 0;
  DIR* dir = opendir(dir_.c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* entry = readdir(dir)) files += entry->d_name[0] == 'x';
  closedir(dir);
  EXPECT_EQ(files, kChildren * kEach);
}

TEST_F(ShellTest, TempFileNameNeverTakesAnExistingFile) {
  // Every number but one is taken: the only free one must be found, and once
  // it is gone too the call fails instead of reusing a file.
  constexpr UINT kFree = 0x1234;
  // 65535 files: on a memory file system when there is one, to stay quick.
  char pattern[] = "/dev/shm/velshell-test-XXXXXX";
  std::string folder = access("/dev/shm", W_OK) == 0 && mkdtemp(pattern) ? pattern : dir_;
  for (UINT n = 1; n <= 0xFFFF; ++n) {
    if (n == kFree) continue;
    char name[MAX_PATH];
    ASSERT_EQ(GetTempFileNameA(folder.c_str(), "e", n, name), n);
    int fd = open(name, O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  char name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA(folder.c_str(), "e", 0, name), kFree);
  EXPECT_EQ(std::string(name), folder + "/e1234.tmp");
  EXPECT_EQ(GetTempFileNameA(folder.c_str(), "e", 0, name), 0u);
  if (folder != dir_) nftw(folder.c_str(), vel::reg::testing::RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

TEST_F(ShellTest, TempFileNameWithNumberOnlyFormsTheName) {
  char name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA(dir_.c_str(), "abc", 0x1A2B, name), 0x1A2Bu);
  EXPECT_EQ(std::string(name), dir_ + "/abc1A2B.tmp");
  EXPECT_FALSE(IsFile(name));
  // Only the low 16 bits name the file; the number itself comes back.
  EXPECT_EQ(GetTempFileNameA(dir_.c_str(), "abc", 0x51A2B, name), 0x51A2Bu);
  EXPECT_EQ(std::string(name), dir_ + "/abc1A2B.tmp");
}

TEST_F(ShellTest, TempFileNameRefusesNamesBeyondMaxPath) {
  // "<dir>" + "/p1.tmp": fits with 259 characters, not with 260.
  std::string base = dir_ + "/";
  std::string fits = base + std::string(259 - base.size() - 7, 'd');
  std::string tooLong = fits + "d";
  char name[MAX_PATH + 8];
  std::memset(name, 'Q', sizeof name);
  EXPECT_EQ(GetTempFileNameA(fits.c_str(), "p", 1, name), 1u);
  EXPECT_EQ(std::strlen(name), 259u);
  std::memset(name, 'Q', sizeof name);
  EXPECT_EQ(GetTempFileNameA(tooLong.c_str(), "p", 1, name), 0u);
  EXPECT_EQ(name[0], 'Q') << "nothing written on failure";

  std::string longDir = dir_ + "/" + std::string(240, 'l');
  ASSERT_EQ(mkdir(longDir.c_str(), 0700), 0);
  EXPECT_EQ(GetTempFileNameA(longDir.c_str(), "a_long_prefix_", 0, name), 0u);
  EXPECT_EQ(GetTempFileNameA((dir_ + "/missing").c_str(), "p", 0, name), 0u);
  EXPECT_EQ(GetTempFileNameA(nullptr, "p", 0, name), 0u);
}

TEST_F(ShellTest, TempPathFollowsTmpdirWithTrailingSlash) {
  char buf[MAX_PATH];
  setenv("TMPDIR", "/var/tmp/velmark", 1);
  EXPECT_EQ(GetTempPathA(sizeof buf, buf), 17u);
  EXPECT_STREQ(buf, "/var/tmp/velmark/");
  setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(GetTempPathA(sizeof buf, buf), 9u);
  EXPECT_STREQ(buf, "/var/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempPathA(sizeof buf, buf), 5u);
  EXPECT_STREQ(buf, "/tmp/");
  // Too small: the size needed with the NUL, buffer untouched.
  std::memset(buf, 'Q', sizeof buf);
  EXPECT_EQ(GetTempPathA(5, buf), 6u);
  EXPECT_EQ(buf[0], 'Q');
  EXPECT_EQ(GetTempPathA(0, nullptr), 6u);
}

TEST_F(ShellTest, ModuleFileNameIsThisProgram) {
  char expected[4096];
  ssize_t n = readlink("/proc/self/exe", expected, sizeof expected - 1);
  ASSERT_GT(n, 0);
  expected[n] = 0;
  char buf[4096];
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), static_cast<DWORD>(n));
  EXPECT_STREQ(buf, expected);
  EXPECT_EQ(ModuleDirectory(), std::string(expected, std::strrchr(expected, '/')));

  // Truncated as Windows does: size-1 characters, a NUL, and size returned.
  char small[6];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 6u);
  EXPECT_EQ(std::string(small), std::string(expected, 5));
  int dummy = 0;
  EXPECT_EQ(GetModuleFileNameA(&dummy, buf, sizeof buf), 0u);
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, 0), 0u);
}

TEST_F(ShellTest, AppPathsLookupReadsTheRegisteredPath) {
  SetAppPath("tessaly", REG_SZ, "/opt/velmark/bin/tessaly");
  SetAppPath("quoted", REG_SZ, "\"/opt/with space/quoted\"");
  setenv("VELMARK_TEST_ROOT", "/srv/vm", 1);
  SetAppPath("expanded", REG_EXPAND_SZ, "%VELMARK_TEST_ROOT%/bin/x %NOT_SET_ANYWHERE%");
  {
    HKEY key = nullptr;
    std::string sub = std::string(kAppPathsKey) + "\\number";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD v = 5;
    RegSetValueExA(key, nullptr, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
    RegCloseKey(key);
  }
  EXPECT_EQ(FindAppPath("tessaly"), "/opt/velmark/bin/tessaly");
  EXPECT_EQ(FindAppPath("TESSALY"), "/opt/velmark/bin/tessaly");
  EXPECT_EQ(FindAppPath("quoted"), "/opt/with space/quoted");
  EXPECT_EQ(FindAppPath("expanded"), "/srv/vm/bin/x %NOT_SET_ANYWHERE%");
  EXPECT_EQ(FindAppPath("number"), "");
  EXPECT_EQ(FindAppPath("absent"), "");
  EXPECT_EQ(FindAppPath(""), "");
  EXPECT_EQ(FindAppPath(nullptr), "");
  EXPECT_EQ(FindAppPath("tessaly\\sub"), "");
  unsetenv("VELMARK_TEST_ROOT");
}

TEST(CommandLine, SplitsLikeWindows) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b\tc", {"a", "b", "c"}},
      {"  lead   trail  ", {"lead", "trail"}},
      {"\"C:\\Program Files\\x.exe\" -a", {"C:\\Program Files\\x.exe", "-a"}},
      {"\"/tmp/my dir/file name.txt\" second", {"/tmp/my dir/file name.txt", "second"}},
      {"\"\"", {""}},
      {"a \"\" b", {"a", "", "b"}},
      {"a\"b c\"d", {"ab cd"}},
      {"a\\\"b", {"a\"b"}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"a\\\\\\\"b", {"a\\\"b"}},
      {"\\\\server\\share\\", {"\\\\server\\share\\"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"\"unterminated arg", {"unterminated arg"}},
  };
  for (const auto& c : cases) EXPECT_EQ(vel::SplitCommandLine(c.line), c.args) << c.line;
  EXPECT_TRUE(vel::SplitCommandLine(nullptr).empty());
}

TEST_F(ShellTest, AccessAndDeleteFile) {
  std::string file = TempPath("file.txt");
  std::ofstream(file) << "x";
  EXPECT_EQ(_access(file.c_str(), 0), 0);
  EXPECT_EQ(_access(file.c_str(), 4), 0);
  EXPECT_EQ(_access(file.c_str(), 6), 0);
  EXPECT_EQ(_access(TempPath("missing").c_str(), 0), -1);
  errno = 0;
  EXPECT_EQ(_access(file.c_str(), 1), -1) << "execute is not a mode _access knows";
  EXPECT_EQ(errno, EINVAL);
  if (geteuid() != 0) {  // root may write anything
    chmod(file.c_str(), 0444);
    EXPECT_EQ(_access(file.c_str(), 2), -1);
    EXPECT_EQ(_access(file.c_str(), 4), 0);
  }
  EXPECT_TRUE(DeleteFileA(file.c_str()));
  EXPECT_EQ(_access(file.c_str(), 0), -1);
  EXPECT_FALSE(DeleteFileA(file.c_str()));
  EXPECT_FALSE(DeleteFileA(dir_.c_str())) << "folders are not files";
  EXPECT_FALSE(DeleteFileA(nullptr));
}

}  // namespace
