// Moving and copying a file onto a name that must be free: the rename job has
// already picked a name nobody uses, and a file that appears under it in the
// meantime (another program, another rename) must never be overwritten.
#pragma once

#include <string>

namespace converter {

// Renames from to to, failing when to exists (atomically where the file system
// supports it).
bool MoveNoReplace(const std::string& from, const std::string& to);
// Copies the regular file from to to, keeping its permission bits and times.
// The copy is written under a hidden temporary name beside to and moved onto to
// only when complete and only when to is still free, so a failed copy leaves
// nothing behind and never a partial file under the new name.
bool CopyNoReplace(const std::string& from, const std::string& to);

}  // namespace converter
