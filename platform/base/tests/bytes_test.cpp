#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/bytes.h"
#include "platform/base/expected.h"
#include "platform/base/file.h"
#include "platform/base/owned.h"

namespace {

const std::vector<std::uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF, 0xFE};

TEST(ByteReader, ReadsInBothOrdersAndStopsAtTheEnd) {
  vel::ByteReader in(kBytes);
  EXPECT_EQ(in.le16(), 0x0201);
  EXPECT_EQ(in.be16(), 0x0304);
  EXPECT_EQ(in.le32(), 0x08070605u);
  EXPECT_EQ(in.le16s(), -257);  // 0xFEFF
  EXPECT_TRUE(in.atEnd());
  EXPECT_TRUE(in.ok());
  EXPECT_EQ(in.u8(), 0);  // past the end: nothing read, the reader fails and stays failed
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(in.failure(), "needs 1 bytes at offset 10 of 10");
  EXPECT_FALSE(in.seek(0));
  EXPECT_EQ(in.position(), 10u);
}

TEST(ByteReader, EveryReadThatDoesNotFitFailsWithoutMoving) {
  struct Case {
    const char* what;
    bool (*read)(vel::ByteReader&);
  } cases[] = {
      {"le32 at 8", [](vel::ByteReader& in) { return in.seek(8) && (in.le32(), in.ok()); }},
      {"be32 at 7", [](vel::ByteReader& in) { return in.seek(7) && (in.be32(), in.ok()); }},
      {"le64 at 3", [](vel::ByteReader& in) { return in.seek(3) && (in.le64(), in.ok()); }},
      {"bytes 11", [](vel::ByteReader& in) { return !in.bytes(11).empty(); }},
      {"huge skip", [](vel::ByteReader& in) { return in.skip(~0ull); }},
      {"seek past end", [](vel::ByteReader& in) { return in.seek(11); }},
      {"sub overflowing", [](vel::ByteReader& in) { return in.sub(4, ~0ull - 2).ok(); }},
      {"take past end", [](vel::ByteReader& in) { return in.skip(6) && in.take(5).ok(); }},
  };
  for (const Case& c : cases) {
    vel::ByteReader in(kBytes);
    EXPECT_FALSE(c.read(in)) << c.what;
    EXPECT_FALSE(in.ok()) << c.what;
    EXPECT_FALSE(in.failure().empty()) << c.what;
  }
}

TEST(ByteReader, NestedReadersSeeOnlyTheirRange) {
  vel::ByteReader in(kBytes);
  ASSERT_TRUE(in.skip(2));
  vel::ByteReader part = in.take(4);
  EXPECT_EQ(in.position(), 6u);
  EXPECT_EQ(part.size(), 4u);
  EXPECT_EQ(part.be32(), 0x03040506u);
  EXPECT_EQ(part.u8(), 0);
  EXPECT_FALSE(part.ok());
  EXPECT_TRUE(in.ok());  // the part failing does not fail the whole
  EXPECT_EQ(in.text(2), std::string("\x07\x08"));
  EXPECT_EQ(vel::ByteReader(std::vector<std::uint8_t>{'a', 0, 'b'}).text(3), "a");
}

TEST(ByteWriter, AppendsPatchesAndRefusesWhatWasNotWritten) {
  std::vector<std::uint8_t> out;
  vel::ByteWriter w(out);
  w.le16(0x0201);
  w.be32(0x03040506);
  w.align(4);
  w.patchLe16(0, 0xBBAA);
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0xAA, 0xBB, 3, 4, 5, 6, 0, 0}));
  w.patchLe32(6, 1);  // would reach byte 10 of 8
  EXPECT_FALSE(w.ok());

  std::uint8_t fixed[3] = {};
  vel::ByteWriter f{std::span<std::uint8_t>(fixed)};
  f.le16(0x1234);
  EXPECT_TRUE(f.ok());
  f.le16(0x5678);  // one byte of room left: nothing written
  EXPECT_FALSE(f.ok());
  EXPECT_EQ(fixed[2], 0);
}

TEST(Expected, CarriesAValueOrAReason) {
  auto half = [](int v) -> vel::Expected<int> {
    if (v % 2) return vel::Fail("odd: " + std::to_string(v));
    return v / 2;
  };
  ASSERT_TRUE(half(8));
  EXPECT_EQ(*half(8), 4);
  EXPECT_EQ(half(7).reason(), "odd: 7");
}

TEST(Owned, ReleasesOnceAndMovesOwnership) {
  static int released = 0;
  struct Count {
    void operator()(int*) const { ++released; }
  };
  int a = 0, b = 0;
  {
    vel::Owned<int*, Count> first(&a);
    vel::Owned<int*, Count> second(std::move(first));
    EXPECT_FALSE(first);
    second.reset(&b);
    EXPECT_EQ(released, 1);
    vel::Owned<int*, Count> third(&a);
    EXPECT_EQ(third.release(), &a);
  }
  EXPECT_EQ(released, 2);  // &b by second; third gave its handle away
}

TEST(ReplaceFileContents, KeepsPermissionsAndLeavesNoTemporary) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("bytes_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string target = (dir / "a.bin").string();
  ASSERT_TRUE(vel::ReplaceFileContents(target, std::string("first")));
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_TRUE(vel::ReplaceFileContents(target, std::string("second!")));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_size, 7);
  EXPECT_FALSE(vel::ReplaceFileContents((dir / "no-such-folder" / "b.bin").string(), std::string("x")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
