// The helpers' command-line split on arbitrary text: never a crash, paths always
// shorter than the buffer, and both paths found inside the line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/shell/helper_args.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto paths = vel::shell::SplitHelperCommandLine(line);
  if (paths) {
    if (paths->input.size() >= vel::shell::kPathBuffer || paths->output.size() >= vel::shell::kPathBuffer) std::abort();
    if (line.find(paths->input) == std::string_view::npos || line.find(paths->output) == std::string_view::npos)
      std::abort();
  }
  const std::string text(line);  // argv entries end with a NUL
  const char* argv[] = {"helper", text.c_str(), text.c_str()};
  (void)vel::shell::SplitHelperCommandLine(vel::shell::JoinArguments(3, argv));
  return 0;
}
