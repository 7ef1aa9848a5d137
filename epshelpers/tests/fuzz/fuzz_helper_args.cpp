// The helpers' command-line split on arbitrary text: never a crash, paths always
// shorter than the buffer, and both paths found inside the line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "epshelpers/helper_args.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto paths = epshelpers::SplitHelperCommandLine(line);
  if (paths) {
    if (paths->input.size() >= epshelpers::kPathBuffer || paths->output.size() >= epshelpers::kPathBuffer) std::abort();
    if (line.find(paths->input) == std::string_view::npos || line.find(paths->output) == std::string_view::npos)
      std::abort();
  }
  const std::string text(line);  // argv entries end with a NUL
  const char* argv[] = {"helper", text.c_str(), text.c_str()};
  (void)epshelpers::SplitHelperCommandLine(epshelpers::JoinArguments(3, argv));
  return 0;
}
