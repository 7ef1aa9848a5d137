// Start-up of the print-layout program: settings, command line, the project,
// and one of the three run modes (print and exit, page setup and exit, the window).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "printlayout/cli/CommandLine.h"
#include "printlayout/model/Project.h"

namespace tessaly {

constexpr const char* kSetupWithoutFile = "Can't run Setup Page because undefined file settings";
// The framework's message when a print job cannot be started.
constexpr const char* kPrintJobFailed = "Could not start print job.";

enum class RunMode { Interactive, PrintAndExit, PageSetupAndExit };

// The help file: the program's path with everything from its last "." (in the
// file name) replaced by ".hlp".
std::string HelpFilePath(const std::string& programPath);

// Everything start-up decides before a window or a printer is touched.
struct Startup {
  CommandLineRecord record;
  RunMode mode = RunMode::Interactive;
  std::string helpFile;
  int imagesAdded = 0;
};

// The start-up work, in this order: stored settings (read by the caller into the
// environment), the command line, the project, the help file and the start-up
// arrangement; the command line also decides how the program runs.
Startup PrepareStartup(Project& project, const std::vector<std::string>& words, const std::string& programPath);

// The two modes that end without a window; each returns the exit status.
// Prints every printable page on the project's printer without a dialog.
int PrintAndExit(Project& project);
// The options sheet for the project's file, saved on OK.
int PageSetupAndExit(Project& project);

}  // namespace tessaly
