// The converter's command-line contract: the file-type table every part of the
// converter indexes, the run mode and special flags decoded from the raw text,
// the file argument, and the two line tests of a list file.
#pragma once

#include <string>
#include <vector>

namespace converter {

struct FileType {
  const char* extension;  // with its dot, lower case
  const char* switchName;  // upper case, without the "/"
  bool saved;              // the converter can write this type
};

// Rows 1 to 29; index 0 is unused so that a run mode of 1..29 is the row number.
inline constexpr int kTypeRows = 29;
const FileType& TypeRow(int row);

// Run modes besides the type rows.
inline constexpr int kRunSettings = 0;
inline constexpr int kRunBatch = 100;
inline constexpr int kRunBramwell = 102;
inline constexpr int kRunClipboard = 103;
inline constexpr int kRunWallpaper = 105;
inline constexpr int kRunRename = 106;
inline constexpr int kRunAbout = 200;

// Special flags: recorded, nothing more.
inline constexpr unsigned kFlagHide = 1;
inline constexpr unsigned kFlagWaitFinish = 2;
inline constexpr unsigned kFlagAutoClose = 4;

// Blanks separate arguments, double quotes group them.
std::vector<std::string> SplitArguments(const std::string& commandLine);
// An argument beginning with "-", or with "/" when it is not a path: absolute
// paths start with "/" here, so a word with a second "/" or one naming something
// on disk is a path, not a switch.
bool IsSwitch(const std::string& argument);

// Case-sensitive searches for each switch in the switches of the command line, in
// the fixed order; every hit overwrites the earlier result (so "/JPEG" is row 7,
// not 6). Paths are not searched: "/home/me/PNG/a.bmp" holds no switch.
int DecodeRunMode(const std::string& commandLine);
unsigned DecodeSpecialFlags(const std::string& commandLine);
// The first argument that is not a switch; "" when there is none.
std::string FileArgument(const std::string& commandLine);

// List files: the row of the first saved type whose switch name the line contains
// (ignoring case, rows in table order), or 0.
int ListTargetRow(const std::string& line);
// A file line is converted when it contains any row's extension, ignoring case.
bool IsListFileLine(const std::string& line);

}  // namespace converter
