// The helpers' command line: putting argv back together and the fixed split rule,
// including the 260-character buffer limit and lines without a separator.
#include "platform/shell/helper_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vel::shell::HelperPaths;
using vel::shell::JoinArguments;
using vel::shell::kPathBuffer;
using vel::shell::SplitHelperCommandLine;

std::string Quoted(const std::string& a, const std::string& b) { return "\"" + a + "\" \"" + b + "\""; }

TEST(HelperSplit, TwoQuotedPaths) {
  const auto p = SplitHelperCommandLine(Quoted("/tmp/in.eps", "/tmp/out.wmf"));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "/tmp/in.eps");
  EXPECT_EQ(p->output, "/tmp/out.wmf");
}

TEST(HelperSplit, PathsWithSpacesKeepThem) {
  const auto p = SplitHelperCommandLine(Quoted("/home/a b/my picture.eps", "/tmp/x y/out file.wmf"));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "/home/a b/my picture.eps");
  EXPECT_EQ(p->output, "/tmp/x y/out file.wmf");
}

TEST(HelperSplit, EmptyLineGivesNothing) { EXPECT_FALSE(SplitHelperCommandLine("")); }

TEST(HelperSplit, NoSeparatorGivesNothing) {
  for (const char* line : {"\"a\"\"b\"", "\"a b\"", "a b", "\"a\"  \"b\"", "\"a\" b", "\"only one path\""})
    EXPECT_FALSE(SplitHelperCommandLine(line)) << line;
}

TEST(HelperSplit, FirstSeparatorDecides) {
  // A third quoted part stays in the second path: the split is positional, not a parser.
  const auto p = SplitHelperCommandLine("\"a\" \"b\" \"c\"");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "a");
  EXPECT_EQ(p->output, "b\" \"c");
}

TEST(HelperSplit, LastCharacterIsDroppedWhateverItIs) {
  const auto p = SplitHelperCommandLine("\"in\" \"outX");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->output, "out");
  // The first character is skipped whatever it is as well.
  const auto q = SplitHelperCommandLine("Xin\" \"out\"");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->input, "in");
}

TEST(HelperSplit, EmptyPathsComeOutEmpty) {
  auto p = SplitHelperCommandLine("\"\" \"out\"");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "");
  EXPECT_EQ(p->output, "out");
  p = SplitHelperCommandLine("\"in\" \"");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "in");
  EXPECT_EQ(p->output, "");
  // Separator at the very start: nothing before it to be a first path.
  p = SplitHelperCommandLine("\" \"out\"");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "");
  EXPECT_EQ(p->output, "out");
}

TEST(HelperSplit, PathLimitIsTwoHundredFiftyNineCharacters) {
  const std::string ok(kPathBuffer - 1, 'a'), tooLong(kPathBuffer, 'a');
  ASSERT_EQ(ok.size(), 259u);
  auto p = SplitHelperCommandLine(Quoted(ok, ok));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, ok);
  EXPECT_EQ(p->output, ok);
  EXPECT_FALSE(SplitHelperCommandLine(Quoted(tooLong, "b")));
  EXPECT_FALSE(SplitHelperCommandLine(Quoted("a", tooLong)));
  EXPECT_FALSE(SplitHelperCommandLine(Quoted(tooLong + "aaaa", tooLong)));
}

TEST(HelperJoin, QuotesEveryArgument) {
  const char* argv[] = {"epsrender", "/a b/c.eps", "/d/e f.wmf"};
  EXPECT_EQ(JoinArguments(3, argv), "\"/a b/c.eps\" \"/d/e f.wmf\"");
  const char* three[] = {"wmfprobe", "a", "b", "c"};
  EXPECT_EQ(JoinArguments(4, three), "\"a\" \"b\" \"c\"");
}

TEST(HelperJoin, SingleArgumentIsTakenAsTheWholeLine) {
  const char* argv[] = {"epsrender", "\"/a b/c.eps\" \"/d/e.wmf\""};
  const std::string line = JoinArguments(2, argv);
  EXPECT_EQ(line, argv[1]);
  const auto p = SplitHelperCommandLine(line);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->input, "/a b/c.eps");
  EXPECT_EQ(p->output, "/d/e.wmf");
}

TEST(HelperJoin, NoArgumentsGiveAnEmptyLine) {
  const char* argv[] = {"epsrender"};
  EXPECT_EQ(JoinArguments(1, argv), "");
  EXPECT_EQ(JoinArguments(0, nullptr), "");
  EXPECT_FALSE(SplitHelperCommandLine(JoinArguments(1, argv)));
}

TEST(HelperJoin, SeparateArgumentsRoundTripThroughTheSplit) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/tmp/in.eps", "/tmp/out.wmf"},
      {"/tmp/with space/in put.eps", "/tmp/with space/out put.wmf"},
      {"/tmp/it's/ü.eps", "relative/o.wmf"},
      {std::string(259, 'x'), "y"},
  };
  for (const auto& [in, out] : cases) {
    const char* argv[] = {"helper", in.c_str(), out.c_str()};
    const auto p = SplitHelperCommandLine(JoinArguments(3, argv));
    ASSERT_TRUE(p) << in;
    EXPECT_EQ(p->input, in);
    EXPECT_EQ(p->output, out);
  }
  const std::string tooLong(260, 'x');
  const char* argv[] = {"helper", tooLong.c_str(), "y"};
  EXPECT_FALSE(SplitHelperCommandLine(JoinArguments(3, argv)));
}

}  // namespace
