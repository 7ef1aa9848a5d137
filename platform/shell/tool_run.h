// Running outside command-line tools (Ghostscript, pstoedit, gsettings, ...):
// no shell, so any path is one argument whatever characters it holds; standard
// input and error from and to /dev/null; a time limit after which the tool's whole
// process group is killed (a tool that starts helpers must not leave them behind).
#pragma once

#include <string>
#include <vector>

namespace vel::shell {

struct ToolRun {
  std::vector<std::string> argv;  // argv[0] is looked up on $PATH unless it holds a "/"
  std::string tmpDir;             // the tool's $TMPDIR (and TMP, TEMP) when not empty
  int timeoutMs = 60000;
  std::string* output = nullptr;  // standard output (at most 1 MiB) when given, else /dev/null
};

// True when the tool ran and exited with status 0 within the time limit.
bool RunTool(const ToolRun& run);

// Whether a program of that name is on $PATH (or, holding a "/", exists) and is executable.
bool OnPath(const std::string& program);

}  // namespace vel::shell
