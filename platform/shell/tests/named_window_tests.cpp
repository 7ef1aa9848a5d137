// Named windows: finding them, messages within one process and between
// processes, and sockets left behind by processes that died.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QWidget>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/shell/named_window.h"
#include "platform/ui/tests/qt_test_util.h"
#include "platform/shell/process.h"
#include "platform/shell/shell.h"

namespace {

using vel::shell::FindNamedWindow;
using vel::shell::kNamedActivate;
using vel::shell::kWmClose;
using vel::shell::NamedWindow;
using vel::shell::PostNamedMessage;

struct Received {
  UINT message;
  WPARAM w;
  LPARAM l;
};

using vel::ui::testing::WaitFor;

class StubbornWindow : public QWidget {
 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

std::string SelfPath() {
  char buf[4096];
  const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n);
}

HANDLE StartChild(const std::string& name, const std::string& mode) {
  vel::shell::StartRequest request;
  request.program = SelfPath();
  request.args = {"--named-window-child", name, mode};
  request.hidden = true;
  HANDLE process = nullptr;
  return vel::shell::StartProcess(request, &process) == 0 ? process : nullptr;
}

TEST(NamedWindowTest, MessagesReachTheRightWindowInOrderWithTheirParameters) {
  std::vector<Received> a, b;
  QWidget windowA, windowB;
  NamedWindow namedA(&windowA, "Corbanix settings", [&](UINT m, WPARAM w, LPARAM l) { a.push_back({m, w, l}); });
  NamedWindow namedB(&windowB, "PennockTray", [&](UINT m, WPARAM w, LPARAM l) { b.push_back({m, w, l}); });
  ASSERT_TRUE(namedA.listening());
  ASSERT_TRUE(namedB.listening());
  EXPECT_TRUE(FindNamedWindow("Corbanix settings"));
  EXPECT_TRUE(FindNamedWindow("PennockTray"));
  EXPECT_FALSE(FindNamedWindow("corbanix settings"));  // names are exact

  ASSERT_TRUE(PostNamedMessage("PennockTray", 0x8000 + 100, 0xFFFFFFFFFFFFFFFFull, -2));
  ASSERT_TRUE(PostNamedMessage("PennockTray", kNamedActivate));
  ASSERT_TRUE(WaitFor([&] { return b.size() == 2; }));
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(b[0].message, 0x8064u);
  EXPECT_EQ(b[0].w, WPARAM(0xFFFFFFFFFFFFFFFFull));
  EXPECT_EQ(b[0].l, LPARAM(-2));
  EXPECT_EQ(b[1].message, kNamedActivate);
  // Activation shows a hidden window.
  EXPECT_TRUE(windowB.isVisible());
  EXPECT_FALSE(windowA.isVisible());
}

TEST(NamedWindowTest, CloseClosesTheWindowUnlessItRefuses) {
  QWidget plain;
  StubbornWindow stubborn;
  plain.show();
  stubborn.show();
  int seenPlain = 0, seenStubborn = 0;
  NamedWindow namedPlain(&plain, "plain", [&](UINT m, WPARAM, LPARAM) { seenPlain += m == kWmClose; });
  NamedWindow namedStubborn(&stubborn, "stubborn", [&](UINT m, WPARAM, LPARAM) { seenStubborn += m == kWmClose; });
  ASSERT_TRUE(PostNamedMessage("plain", kWmClose));
  ASSERT_TRUE(PostNamedMessage("stubborn", kWmClose));
  ASSERT_TRUE(WaitFor([&] { return seenPlain == 1 && seenStubborn == 1; }));
  EXPECT_FALSE(plain.isVisible());
  EXPECT_TRUE(stubborn.isVisible());
}

TEST(NamedWindowTest, ATakenNameStaysWithItsFirstWindowAndIsFreedOnDestruction) {
  int first = 0, second = 0;
  auto owner = std::make_unique<NamedWindow>(nullptr, "Only one", [&](UINT, WPARAM, LPARAM) { ++first; });
  ASSERT_TRUE(owner->listening());
  {
    NamedWindow late(nullptr, "Only one", [&](UINT, WPARAM, LPARAM) { ++second; });
    EXPECT_FALSE(late.listening());
  }
  // The refused second window must not have removed the first one's socket.
  ASSERT_TRUE(PostNamedMessage("Only one", 0x400));
  ASSERT_TRUE(WaitFor([&] { return first == 1; }));
  EXPECT_EQ(second, 0);
  owner.reset();
  EXPECT_FALSE(FindNamedWindow("Only one"));
  EXPECT_FALSE(PostNamedMessage("Only one", 0x400));
  NamedWindow again(nullptr, "Only one", nullptr);
  EXPECT_TRUE(again.listening());
}

TEST(NamedWindowTest, AnyTextIsANameAndLongNamesStayApart) {
  const std::string base(300, 'x');
  int one = 0, two = 0;
  NamedWindow a(nullptr, base + "1", [&](UINT, WPARAM, LPARAM) { ++one; });
  NamedWindow b(nullptr, base + "2", [&](UINT, WPARAM, LPARAM) { ++two; });
  NamedWindow odd(nullptr, "../ \"Batch\" /\n\xE4", nullptr);
  ASSERT_TRUE(a.listening());
  ASSERT_TRUE(b.listening());
  EXPECT_TRUE(odd.listening());
  EXPECT_TRUE(FindNamedWindow("../ \"Batch\" /\n\xE4"));
  ASSERT_TRUE(PostNamedMessage(base + "2", 1));
  ASSERT_TRUE(WaitFor([&] { return two == 1; }));
  EXPECT_EQ(one, 0);
  EXPECT_FALSE(FindNamedWindow(""));
}

TEST(NamedWindowTest, GarbageOnTheSocketIsDroppedWithoutHarm) {
  std::vector<Received> got;
  NamedWindow named(nullptr, "robust", [&](UINT m, WPARAM w, LPARAM l) { got.push_back({m, w, l}); });
  ASSERT_TRUE(named.listening());
  const std::string path = vel::shell::NamedWindowSocketPath("robust");
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const char junk[64] = "GET / HTTP/1.0\r\n\r\n this is not a message record at all";
  ASSERT_EQ(::send(fd, junk, sizeof junk, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof junk));
  // A sender that connects and says nothing (FindNamedWindow does that) is harmless too.
  EXPECT_TRUE(FindNamedWindow("robust"));
  ASSERT_TRUE(PostNamedMessage("robust", 0x401, 1, 2));
  ASSERT_TRUE(WaitFor([&] { return !got.empty(); }));
  ::close(fd);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].message, 0x401u);
}

TEST(NamedWindowTest, AHandlerMayDestroyItsOwnNamedWindow) {
  QWidget window;
  int handled = 0;
  std::unique_ptr<NamedWindow> named;
  named = std::make_unique<NamedWindow>(&window, "short lived", [&](UINT, WPARAM, LPARAM) {
    ++handled;
    named.reset();
  });
  ASSERT_TRUE(named->listening());
  ASSERT_TRUE(PostNamedMessage("short lived", kNamedActivate));
  ASSERT_TRUE(PostNamedMessage("short lived", kWmClose));
  ASSERT_TRUE(WaitFor([&] { return handled > 0; }));
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(named, nullptr);
  EXPECT_FALSE(FindNamedWindow("short lived"));
}

TEST(NamedWindowTest, AnotherProcessFindsItsWindowAndClosesIt) {
  const std::string name = "child window";
  HANDLE child = StartChild(name, "close");
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(WaitFor([&] { return FindNamedWindow(name); }, 10000));
  EXPECT_TRUE(PostNamedMessage(name, kWmClose, 5, -6));
  ASSERT_EQ(WaitForSingleObject(child, 15000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(child);
  EXPECT_FALSE(FindNamedWindow(name));
}

TEST(NamedWindowTest, TheSocketOfADeadProcessIsNoWindow) {
  const std::string name = "doomed window";
  HANDLE child = StartChild(name, "die");
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(WaitFor([&] { return FindNamedWindow(name); }, 10000));
  ASSERT_TRUE(PostNamedMessage(name, 0x8001));
  ASSERT_EQ(WaitForSingleObject(child, 15000), WAIT_OBJECT_0);
  CloseHandle(child);
  struct stat st {};
  ASSERT_EQ(::stat(vel::shell::NamedWindowSocketPath(name).c_str(), &st), 0) << "the socket should be left behind";
  EXPECT_FALSE(FindNamedWindow(name));
  EXPECT_FALSE(PostNamedMessage(name, kNamedActivate));
  int got = 0;
  NamedWindow successor(nullptr, name, [&](UINT, WPARAM, LPARAM) { ++got; });
  ASSERT_TRUE(successor.listening());
  ASSERT_TRUE(PostNamedMessage(name, 1));
  EXPECT_TRUE(WaitFor([&] { return got == 1; }));
}

}  // namespace
