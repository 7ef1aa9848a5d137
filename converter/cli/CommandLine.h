// The converter's command-line contract: the file-type table every part of the
// converter indexes, the run mode and special flags decoded from the raw text,
// the file argument, and the two line tests of a list file.
#pragma once

#include <string>
#include <vector>

namespace converter {

struct FileType {
  const char* extension;   // with its dot, lower case
  const char* switchName;  // upper case, without the "/"
  bool saved;              // the converter can write this type
};

// Rows 1 to 29; index 0 is unused so that a run mode of 1..29 is the row number.
inline constexpr int kTypeRows = 29;
const FileType& TypeRow(int row);

// The rows by their switch names. A row is a run mode and a conversion target,
// both plain ints, so the names convert to int.
namespace ConverterType {
enum Row : int {
  Bmp = 1,
  Gif = 2,
  Jpg = 3,
  Jif = 4,
  Jfif = 5,
  Jpe = 6,
  Jpeg = 7,
  Tif = 8,
  Tiff = 9,
  Tga = 10,
  Targa = 11,
  Dcx = 12,
  Dib = 13,
  Dxf = 14,
  Eps = 15,
  Epsf = 16,
  Fmf = 17,
  Img = 18,
  Pcx = 19,
  Pcd = 20,
  Fpx = 21,
  Png = 22,
  Rle = 23,
  Wmf = 24,
  Emf = 25,
  Wpg = 26,
  Ico = 27,
  Cur = 28,
  Ani = 29,
};
}  // namespace ConverterType
static_assert(ConverterType::Ani == kTypeRows);

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
