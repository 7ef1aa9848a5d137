// Blocks of data sent to named windows: whole, in order with messages, and
// refused when longer than the limit or when the head lies about its length.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/shell/named_window.h"
#include "platform/ui/tests/qt_test_util.h"

namespace {

using vel::shell::kMaxNamedData;
using vel::shell::NamedWindow;
using vel::shell::SendNamedData;

using vel::ui::testing::WaitFor;

struct Event {
  bool data;
  UINT_PTR id;
  std::string text;
};

TEST(NamedDataTest, BlocksArriveWholeAndInOrderWithMessages) {
  std::vector<Event> seen;
  NamedWindow target(nullptr, "Data target", [&](UINT m, WPARAM, LPARAM) { seen.push_back({false, m, ""}); });
  target.SetDataHandler([&](UINT_PTR id, const std::string& data) { seen.push_back({true, id, data}); });
  ASSERT_TRUE(target.listening());

  const std::string big(kMaxNamedData, 'q');
  const std::string binary("a\0b\n\xff", 5);
  ASSERT_TRUE(SendNamedData("Data target", 0, "/home/u/My Pictures/photo 1.jpg"));
  ASSERT_TRUE(vel::shell::PostNamedMessage("Data target", 0x8001));
  ASSERT_TRUE(SendNamedData("Data target", 7, ""));
  ASSERT_TRUE(SendNamedData("Data target", 9, binary));
  ASSERT_TRUE(SendNamedData("Data target", 1, big));
  ASSERT_TRUE(WaitFor([&] { return seen.size() == 5; }));
  EXPECT_EQ(seen[0].text, "/home/u/My Pictures/photo 1.jpg");
  EXPECT_TRUE(seen[0].data);
  EXPECT_FALSE(seen[1].data);
  EXPECT_EQ(seen[1].id, 0x8001u);
  EXPECT_EQ(seen[2].id, 7u);
  EXPECT_TRUE(seen[2].text.empty());
  EXPECT_EQ(seen[3].text, binary);
  EXPECT_EQ(seen[4].text.size(), big.size());
  EXPECT_EQ(seen[4].text, big);
}

TEST(NamedDataTest, TooLongOrNobodyThereIsRefused) {
  int blocks = 0;
  NamedWindow target(nullptr, "Data limit", nullptr);
  target.SetDataHandler([&](UINT_PTR, const std::string&) { ++blocks; });
  EXPECT_FALSE(SendNamedData("Data limit", 0, std::string(kMaxNamedData + 1, 'x')));
  EXPECT_FALSE(SendNamedData("Nobody listens here", 0, "x"));
  ASSERT_TRUE(SendNamedData("Data limit", 0, "after"));
  ASSERT_TRUE(WaitFor([&] { return blocks == 1; }));
}

// A head claiming more than the limit drops the connection instead of waiting
// for (or allocating) that much; the window keeps serving others.
TEST(NamedDataTest, AHeadPastTheLimitDropsTheConnection) {
  std::vector<std::string> got;
  NamedWindow target(nullptr, "Data liar", nullptr);
  target.SetDataHandler([&](UINT_PTR, const std::string& data) { got.push_back(data); });
  ASSERT_TRUE(target.listening());

  const std::string path = vel::shell::NamedWindowSocketPath("Data liar");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  char head[24] = {};
  const std::uint32_t tag = 0x31445756, length = 0xFFFFFFF0u;
  std::memcpy(head, &tag, 4);
  std::memcpy(head + 4, &length, 4);
  ASSERT_EQ(::send(fd, head, sizeof head, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof head));
  ASSERT_TRUE(SendNamedData("Data liar", 0, "honest"));
  ASSERT_TRUE(WaitFor([&] { return got.size() == 1; }));
  EXPECT_EQ(got[0], "honest");
  // The liar's connection was closed from the other end.
  char byte;
  EXPECT_TRUE(WaitFor([&] { return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0; }));
  ::close(fd);
}

}  // namespace
