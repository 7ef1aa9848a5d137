// Names of files the converter writes: taken names, unique names, removal of
// files that may be written, and folders made level by level.
#pragma once

#include <string>

namespace converter {

// A name is taken when a file of that name exists and may be written.
bool IsTaken(const std::string& path);
// The name itself when no file has it; otherwise "<name up to its last .>(n)<ext>"
// with n = 1, 2, 3 ... , the first that no file has. "" when none is free.
std::string MakeUnique(const std::string& path);
// Deletes the file only when it exists and may be written; true when it was deleted.
bool RemoveWritable(const std::string& path);
// Creates the folder and each missing parent, outermost first; true when the
// folder exists and may be written afterwards.
bool MakeFolders(const std::string& folder);

// The part after the last "/", cut before its last "." ("" without a dot).
std::string BaseName(const std::string& path);
// The part before the last "/" ("" without one).
std::string FolderOf(const std::string& path);
// The part after the last "/".
std::string FileNameOf(const std::string& path);

}  // namespace converter
