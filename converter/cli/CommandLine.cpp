#include "converter/cli/CommandLine.h"

#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace converter {
namespace {

constexpr FileType kTypes[kTypeRows + 1] = {
    {"", "", false},          {".bmp", "BMP", true},    {".gif", "GIF", true},  {".jpg", "JPG", true},
    {".jif", "JIF", false},   {".jfif", "JFIF", false}, {".jpe", "JPE", false}, {".jpeg", "JPEG", false},
    {".tif", "TIF", true},    {".tiff", "TIFF", false}, {".tga", "TGA", true},  {".targa", "TARGA", false},
    {".dcx", "DCX", true},    {".dib", "DIB", false},   {".dxf", "DXF", false}, {".eps", "EPS", true},
    {".epsf", "EPSF", false}, {".fmf", "FMF", true},    {".img", "IMG", false}, {".pcx", "PCX", true},
    {".pcd", "PCD", false},   {".fpx", "FPX", false},   {".png", "PNG", true},  {".rle", "RLE", false},
    {".wmf", "WMF", true},    {".emf", "EMF", true},    {".wpg", "WPG", false}, {".ico", "ICO", false},
    {".cur", "CUR", false},   {".ani", "ANI", false},
};

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

const FileType& TypeRow(int row) { return kTypes[row >= 1 && row <= kTypeRows ? row : 0]; }

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        quoted = !quoted;
      } else if ((c == ' ' || c == '\t') && !quoted) {
        break;
      } else {
        arg += c;
      }
    }
    args.push_back(arg);
  }
  return args;
}

bool IsSwitch(const std::string& arg) {
  if (arg.empty()) return false;
  if (arg[0] == '-') return true;
  if (arg[0] != '/') return false;
  // Absolute paths start with "/" here: a word with a second "/", or one that
  // names something on disk, is a path.
  struct stat st {};
  return arg.find('/', 1) == std::string::npos && ::stat(arg.c_str(), &st) != 0;
}

namespace {

// The switches of the command line, blank-separated: what the switch searches look at.
std::string SwitchText(const std::string& text) {
  std::string out;
  for (const std::string& arg : SplitArguments(text))
    if (IsSwitch(arg)) out += arg + " ";
  return out;
}

}  // namespace

int DecodeRunMode(const std::string& commandLine) {
  const std::string text = SwitchText(commandLine);
  int mode = kRunSettings;
  if (Has(text, "/SETTING")) mode = kRunSettings;
  if (Has(text, "/ABOUT")) mode = kRunAbout;
  for (int row = 1; row <= kTypeRows; ++row)
    if (Has(text, std::string("/") + kTypes[row].switchName)) mode = row;
  if (Has(text, "/BAT")) mode = kRunBatch;
  if (Has(text, "/BRAMWELL")) mode = kRunBramwell;
  if (Has(text, "/COPYTOCLIPBOARD")) mode = kRunClipboard;
  if (Has(text, "/SETASWALLPAPER")) mode = kRunWallpaper;
  if (Has(text, "/RENAME")) mode = kRunRename;
  return mode;
}

unsigned DecodeSpecialFlags(const std::string& commandLine) {
  const std::string text = SwitchText(commandLine);
  return (Has(text, "/HIDE") ? kFlagHide : 0) | (Has(text, "/WAITFINISH") ? kFlagWaitFinish : 0) |
         (Has(text, "/AUTOCLOSE") ? kFlagAutoClose : 0);
}

std::string FileArgument(const std::string& commandLine) {
  for (const std::string& arg : SplitArguments(commandLine))
    if (!arg.empty() && !IsSwitch(arg)) return arg;
  return {};
}

int ListTargetRow(const std::string& line) {
  const std::string lower = Lower(line);
  for (int row = 1; row <= kTypeRows; ++row)
    if (kTypes[row].saved && Has(lower, Lower(kTypes[row].switchName))) return row;
  return 0;
}

bool IsListFileLine(const std::string& line) {
  const std::string lower = Lower(line);
  for (int row = 1; row <= kTypeRows; ++row)
    if (Has(lower, kTypes[row].extension)) return true;
  return false;
}

}  // namespace converter
