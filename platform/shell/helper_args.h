// The two-path command line of the helper programs the image library starts
// (epsrender, wmfprobe, wmfwrap): "<input>" "<output>".
//
// The image library formats it as one Windows-style text and starts the helper
// through ShellExecuteExA, which on Linux splits that text into separate arguments
// (the quotes are gone by then). So a helper first puts the text back together,
// quoting every argument, and then takes it apart by the helpers' own fixed rule.
// Both ways of starting a helper therefore work: two plain arguments, or one
// argument that already holds the whole quoted text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vel::shell {

// Each path is taken into a buffer of this many characters, terminator included:
// a path of kPathBuffer characters or more makes the whole command line void.
constexpr std::size_t kPathBuffer = 260;

struct HelperPaths {
  std::string input;
  std::string output;
};

// The command line from argv: a single argument is used as it is (it may be the
// whole quoted text); two or more are each wrapped in double quotes and joined
// with single spaces. No arguments give "".
std::string JoinArguments(int argc, const char* const* argv);

// The split: an empty line gives nothing. The separator is the first occurrence of
// quote-space-quote. The first path runs from the second character up to the
// separator; the second is everything after the separator except the last
// character (the closing quote). No separator, or a path of kPathBuffer characters
// or more, gives nothing. Either path may come out empty; callers check.
std::optional<HelperPaths> SplitHelperCommandLine(std::string_view line);

}  // namespace vel::shell
