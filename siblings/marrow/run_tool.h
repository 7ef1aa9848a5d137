// Running the outside converters (pstoedit, Ghostscript) for Marrow, through the
// shell layer's tool runner: no shell, no terminal output, and a time limit after
// which the whole process group is killed (pstoedit starts Ghostscript itself,
// which must not outlive it).
#pragma once

#include <string>
#include <vector>

namespace marrow {

struct ToolRun {
  std::vector<std::string> argv;  // argv[0] is looked up on $PATH
  std::string tmpDir;             // the child's $TMPDIR (and TMP, TEMP) when not empty
  int timeoutSeconds = 60;
};

// True when the tool ran and exited with status 0 within the time limit.
bool RunTool(const ToolRun& run);

// Whether a program of that name is on $PATH and executable.
bool ToolAvailable(const std::string& name);

}  // namespace marrow
