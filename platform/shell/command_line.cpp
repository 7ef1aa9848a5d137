// Windows command-line splitting, so parameters written for the suite's
// programs (quoted paths with spaces) arrive as the same arguments here.
#include "platform/shell/shell.h"

namespace vel {

std::vector<std::string> SplitCommandLine(const char* commandLine) {
  std::vector<std::string> args;
  if (!commandLine) return args;
  std::string current;
  bool inQuotes = false;
  bool started = false;  // "" makes an (empty) argument too
  for (const char* p = commandLine; *p;) {
    if (*p == '\\') {
      size_t slashes = 0;
      while (*p == '\\') {
        ++slashes;
        ++p;
      }
      if (*p == '"') {
        // 2n backslashes + quote: n backslashes, the quote still toggles;
        // 2n+1: n backslashes and a literal quote.
        current.append(slashes / 2, '\\');
        if (slashes % 2) {
          current += '"';
          ++p;
        }
      } else {
        current.append(slashes, '\\');
      }
      started = true;
    } else if (*p == '"') {
      if (inQuotes && p[1] == '"') {
        current += '"';  // "" inside quotes is one quote, and the quotes go on
        p += 2;
      } else {
        inQuotes = !inQuotes;
        ++p;
      }
      started = true;
    } else if ((*p == ' ' || *p == '\t') && !inQuotes) {
      if (started) args.push_back(std::move(current));
      current.clear();
      started = false;
      ++p;
    } else {
      current += *p++;
      started = true;
    }
  }
  if (started) args.push_back(std::move(current));
  return args;
}

}  // namespace vel
