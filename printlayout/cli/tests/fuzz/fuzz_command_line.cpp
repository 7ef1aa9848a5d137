// Switch words and page-range texts as a user or a calling program may write
// them. The input is split at NUL bytes: every piece is one switch word and,
// the same text, a page range for a three-page project.
#include <cstddef>
#include <cstdint>
#include <string>

#include "printlayout/cli/CommandLine.h"
#include "printlayout/print/PageRange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tessaly::NullEnvironment env;
  static tessaly::Project project(env);
  if (project.pages.size() < 4) {
    project.insertPage(99);
    project.insertPage(99);
  }
  tessaly::CommandLineRecord record;
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\0', start);
    if (end == std::string::npos) end = input.size();
    const std::string word = input.substr(start, end - start);
    tessaly::ApplySwitch(word, record);
    tessaly::PageList pages;
    project.firstPageNumber = static_cast<int>(size % 7) - 3;
    if (tessaly::parsePageRange(project, word, pages, false, true, true)) {
      // Every page handed out belongs to the project.
      for (int p : pages)
        if (p < project.firstPageNumber || p > project.lastPageNumber()) __builtin_trap();
    }
    start = end + 1;
  }
  return 0;
}
