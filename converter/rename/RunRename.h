// The converter's "/RENAME" job.
#pragma once

#include <string>

namespace converter {

// Runs the rename job for the list; with a display in the dialog, else headless.
// Returns 0 when every listed file was renamed or copied, 1 otherwise (also when
// the list cannot be read, a file was skipped or the window was closed early).
int RunRename(const std::string& listPath);

// The job without a window: nobody can be asked, so every file is renamed as
// after "Rename all", with one line per file on standard error:
// "rename n of m: SOURCE -> NEW: outcome". Returns as RunRename does.
int RunRenameHeadless(const std::string& listPath);

}  // namespace converter
