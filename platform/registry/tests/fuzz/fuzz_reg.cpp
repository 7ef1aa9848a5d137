// The .reg text parser: headers, sections, escapes, hex lists, continuation lines.
// Only parsing runs here; applying would write to the fuzzing machine's registry.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<vel::reg::RegFileOp> ops;
  vel::reg::RegFileError error;
  vel::reg::ParseRegFile(text, &ops, &error);
  return 0;
}
