#include "platform/shell/helper_args.h"

namespace vel::shell {

std::string JoinArguments(int argc, const char* const* argv) {
  if (argc < 2 || !argv) return {};
  if (argc == 2) return argv[1] ? std::string(argv[1]) : std::string();
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += '"';
    if (argv[i]) line += argv[i];
    line += '"';
  }
  return line;
}

std::optional<HelperPaths> SplitHelperCommandLine(std::string_view line) {
  if (line.empty()) return std::nullopt;
  const std::size_t sep = line.find("\" \"");
  if (sep == std::string_view::npos) return std::nullopt;
  HelperPaths paths;
  // A separator at the very start leaves no room for a first path; the opening
  // quote it would skip is the separator's own.
  if (sep >= 1) paths.input.assign(line.substr(1, sep - 1));
  const std::size_t rest = sep + 3;
  if (line.size() > rest) paths.output.assign(line.substr(rest, line.size() - rest - 1));
  if (paths.input.size() >= kPathBuffer || paths.output.size() >= kPathBuffer) return std::nullopt;
  return paths;
}

}  // namespace vel::shell
