// The clipboard without a display: the per-user file, the Win32 calling
// pattern around it, and damaged clipboard files.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/shell/clipboard.h"
#include "platform/shell/process.h"
#include "platform/shell/shell.h"

namespace {

using vel::shell::ClipboardItem;

HGLOBAL Block(const std::vector<BYTE>& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

std::vector<BYTE> Contents(HANDLE data) {
  auto* block = static_cast<HGLOBAL>(data);
  const BYTE* p = static_cast<const BYTE*>(GlobalLock(block));
  std::vector<BYTE> bytes(p, p + GlobalSize(block));
  GlobalUnlock(block);
  return bytes;
}

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velclip-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("VELMARK_CLIPBOARD_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    CloseClipboard();  // in case a failed test left it open
    unsetenv("VELMARK_CLIPBOARD_DIR");
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  void Put(const std::vector<std::pair<UINT, std::vector<BYTE>>>& items) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    for (const auto& [format, bytes] : items) {
      HGLOBAL block = Block(bytes);
      ASSERT_EQ(SetClipboardData(format, block), block);
    }
    ASSERT_TRUE(CloseClipboard());
  }
  std::vector<BYTE> Get(UINT format) {
    std::vector<BYTE> bytes;
    if (!OpenClipboard(nullptr)) return bytes;
    if (HANDLE data = GetClipboardData(format)) bytes = Contents(data);
    CloseClipboard();
    return bytes;
  }
  void WriteFile(const std::vector<BYTE>& bytes) {
    std::ofstream out(dir_ + "/clipboard", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
    return names;
  }
  std::string dir_;
};

TEST_F(ClipboardTest, WhatIsSetComesBackByFormatAndNothingElseIsOffered) {
  const std::vector<BYTE> dib = {40, 0, 0, 0, 1, 2, 3, 4, 5};
  const std::vector<BYTE> emf = {1, 0, 0, 0, 9, 9};
  Put({{CF_DIB, dib}, {CF_ENHMETAFILE, emf}});
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT));
  EXPECT_FALSE(IsClipboardFormatAvailable(2));  // CF_BITMAP is no format of ours
  EXPECT_EQ(Get(CF_DIB), dib);
  EXPECT_EQ(Get(CF_ENHMETAFILE), emf);
  EXPECT_TRUE(Get(CF_METAFILEPICT).empty());
  // The write left only the clipboard file: no temporary names behind.
  EXPECT_EQ(Files(), std::vector<std::string>{"clipboard"});
}

TEST_F(ClipboardTest, EmptyingReplacesTheWholeClipboardAndAFormatSetTwiceKeepsTheLaterData) {
  Put({{CF_DIB, {1, 2, 3}}, {CF_ENHMETAFILE, {4}}});
  Put({{CF_METAFILEPICT, {7}}, {CF_METAFILEPICT, {8, 9}}});
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
  EXPECT_EQ(Get(CF_METAFILEPICT), (std::vector<BYTE>{8, 9}));
  Put({});
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT));
}

TEST_F(ClipboardTest, OpeningAndClosingWithoutEmptyingChangesNothing) {
  Put({{CF_DIB, {5, 6}}});
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(CloseClipboard());
  EXPECT_EQ(Get(CF_DIB), (std::vector<BYTE>{5, 6}));
}

TEST_F(ClipboardTest, CallsOutOfOrderFail) {
  HGLOBAL block = Block({1});
  EXPECT_EQ(SetClipboardData(CF_DIB, block), nullptr);  // not open
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);
  EXPECT_FALSE(CloseClipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));                 // already open
  EXPECT_EQ(SetClipboardData(CF_DIB, block), nullptr);  // not emptied: not ours to change
  ASSERT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(2, block), nullptr);
  EXPECT_EQ(SetClipboardData(CF_DIB, nullptr), nullptr);
  EXPECT_TRUE(CloseClipboard());
  GlobalFree(block);
}

TEST_F(ClipboardTest, DamagedClipboardFilesOfferNothing) {
  std::vector<BYTE> good;
  ASSERT_TRUE(vel::shell::EncodeClipboardItems({{CF_DIB, {1, 2, 3, 4}}}, &good));
  std::vector<ClipboardItem> items;
  ASSERT_TRUE(vel::shell::DecodeClipboardItems(good, &items));
  ASSERT_EQ(items.size(), 1u);

  std::vector<std::vector<BYTE>> bad;
  bad.push_back({});
  bad.push_back({'V', 'C', 'L'});
  bad.push_back(std::vector<BYTE>(good.begin(), good.end() - 1));  // cut short
  auto trailing = good;
  trailing.push_back(0);
  bad.push_back(trailing);
  auto wrongTag = good;
  wrongTag[0] = 'X';
  bad.push_back(wrongTag);
  auto manyItems = good;
  manyItems[4] = 0xFF, manyItems[5] = 0xFF, manyItems[6] = 0xFF, manyItems[7] = 0xFF;
  bad.push_back(manyItems);
  auto hugeSize = good;
  std::memset(hugeSize.data() + 12, 0xFF, 8);  // the item's byte count
  bad.push_back(hugeSize);
  for (const auto& bytes : bad) {
    EXPECT_FALSE(vel::shell::DecodeClipboardItems(bytes, &items));
    EXPECT_TRUE(items.empty());
    WriteFile(bytes);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
    EXPECT_TRUE(Get(CF_DIB).empty());
  }
  // A damaged clipboard is replaced by the next copy.
  Put({{CF_DIB, {9}}});
  EXPECT_EQ(Get(CF_DIB), std::vector<BYTE>{9});
}

TEST_F(ClipboardTest, NoClipboardFileMeansAnEmptyClipboard) {
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);
  EXPECT_TRUE(CloseClipboard());
}

// --- the system clipboard, on a virtual display ---------------------------------

std::string SelfPath() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

// Runs this test program as a clipboard child; its exit code, or -1.
int RunChild(const std::vector<std::string>& args) {
  vel::shell::StartRequest request;
  request.program = SelfPath();
  request.args = args;
  request.args.insert(request.args.begin(), "--clipboard-child");
  request.hidden = true;
  HANDLE process = nullptr;
  if (vel::shell::StartProcess(request, &process) != 0) return -1;
  DWORD code = 0;
  const bool ended = WaitForSingleObject(process, 20000) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return ended ? static_cast<int>(code) : -1;
}

// Our clipboard helpers serving the display.
int HelpersOn(const std::string& display) {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    const std::string base = std::string("/proc/") + e->d_name;
    std::ifstream comm(base + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name != "velclipboard") continue;
    std::ifstream env(base + "/environ", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(env)), {});
    if (all.find(std::string("DISPLAY=") + display + '\0') != std::string::npos) ++count;
  }
  closedir(proc);
  return count;
}

TEST(SystemClipboard, ACopyOutlivesItsProgramUntilAnotherProgramTakesTheClipboard) {
  if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  // A display number no server uses yet, so we never talk to someone else's.
  int number = 50 + getpid() % 400;
  while (::access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0 ||
         ::access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0)
    ++number;
  const std::string display = ":" + std::to_string(number);
  pid_t xvfb = fork();
  ASSERT_GE(xvfb, 0);
  if (xvfb == 0) {
    execl("/usr/bin/Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
  for (int i = 0; i < 200 && ::access(socket.c_str(), F_OK) != 0; ++i) usleep(25000);
  const std::string oldDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", display.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);

  if (::access(socket.c_str(), F_OK) == 0 && waitpid(xvfb, nullptr, WNOHANG) == 0) {
    EXPECT_EQ(RunChild({"read"}), 254);  // nothing yet
    ASSERT_EQ(RunChild({"copy", "33"}), 0);
    // The program that copied has ended; its data is still there.
    EXPECT_EQ(RunChild({"read"}), 33);
    EXPECT_EQ(RunChild({"read"}), 33);
    EXPECT_EQ(HelpersOn(display), 1);
    ASSERT_EQ(RunChild({"copy", "66"}), 0);
    EXPECT_EQ(RunChild({"read"}), 66);
    // The first helper lost the clipboard and went away.
    for (int i = 0; i < 100 && HelpersOn(display) != 1; ++i) usleep(20000);
    EXPECT_EQ(HelpersOn(display), 1);
  } else {
    ADD_FAILURE() << "Xvfb did not start";
  }

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (oldDisplay.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", oldDisplay.c_str(), 1);
  kill(xvfb, SIGTERM);
  waitpid(xvfb, nullptr, 0);
  // Without their display the helpers end by themselves.
  for (int i = 0; i < 100 && HelpersOn(display) != 0; ++i) usleep(20000);
  EXPECT_EQ(HelpersOn(display), 0);
}

}  // namespace
