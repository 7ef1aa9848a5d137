#include "printlayout/cli/CommandLine.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "printlayout/file/Colours.h"
#include "printlayout/file/Fields.h"
#include "printlayout/file/ProjectFile.h"

namespace tessaly {

namespace {

bool StartsWith(const std::string& word, const char* prefix) { return word.rfind(prefix, 0) == 0; }

std::vector<std::string> Split(const std::string& value, char separator, size_t limit) {
  return SplitFields(value, separator, limit).fields;
}

bool Exists(const std::string& path, bool* folder = nullptr) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (folder) *folder = S_ISDIR(st.st_mode);
  return true;
}

bool IsKnownSwitch(const std::string& w) {
  // These values are texts and paths and may hold slashes of their own.
  for (const char* prefix : {"B:", "C:", "S:", "M:", "H:", "F:", "def:", "N:"})
    if (StartsWith(w, prefix)) return true;
  if (w == "p" || w == "ps" || w == "nosplash") return true;
  // The grid switch holds numbers only: with a further "/" the word names a
  // path, such as /Albums/beach.jpg.
  return StartsWith(w, "A") && w.find('/') == std::string::npos;
}

}  // namespace

void ApplySwitch(const std::string& word, CommandLineRecord& r) {
  if (StartsWith(word, "B:")) {
    const auto f = Split(word.substr(2), ',', 5);
    r.borderCount = static_cast<int>(f.size());
    if (f.size() > 0) r.borderLines = ParseHex(f[0]);
    if (f.size() > 1) {
      const Colour c = ParseColour(f[1]);
      r.borderColour = c == kMissingColour ? 0 : c;
    }
    if (f.size() > 2) r.borderWidth = std::clamp(ParseDecimal(f[2]), 1, 10);
    if (f.size() > 3) r.borderSpaceH = std::clamp(ParseDecimal(f[3]), 1, 50);
    if (f.size() > 4) r.borderSpaceV = std::clamp(ParseDecimal(f[4]), 1, 50);
  } else if (StartsWith(word, "C:")) {
    r.defaultComment = word.substr(2);
    if (r.defaultComment.empty()) r.defaultComment = " ";
  } else if (StartsWith(word, "S:")) {
    const auto f = Split(word.substr(2), ',', 3);
    r.shadowCount = static_cast<int>(f.size());
    if (f.size() > 0) r.shadowDx = std::clamp(ParseDecimal(f[0]), -50, 50);
    if (f.size() > 1) r.shadowDy = std::clamp(ParseDecimal(f[1]), -50, 50);
    if (f.size() > 2) {
      const Colour c = ParseColour(f[2]);
      r.shadowColour = c == kMissingColour ? kDefaultShadowColour : c;
    }
  } else if (StartsWith(word, "M:")) {
    const auto f = Split(word.substr(2), ',', 9);
    r.marginCount = static_cast<int>(f.size());
    r.margins.fill(kNotGiven);
    for (size_t i = 0; i < f.size(); ++i)
      if (!f[i].empty()) r.margins[i] = std::max(ParseDecimal(f[i]), 0);
  } else if (StartsWith(word, "A")) {
    r.arrangeOn = true;
    const auto f = Split(word.size() > 2 ? word.substr(2) : std::string(), ',', 4);
    r.arrangeCount = static_cast<int>(f.size());
    if (f.size() > 0) r.arrange[0] = std::max(ParseDecimal(f[0]), 1);
    if (f.size() > 1) r.arrange[1] = std::max(ParseDecimal(f[1]), 1);
    if (f.size() > 2) r.arrange[2] = std::clamp(ParseDecimal(f[2]), 1, 50);
    if (f.size() > 3) r.arrange[3] = std::clamp(ParseDecimal(f[3]), 1, 50);
  } else if (StartsWith(word, "H:")) {
    const auto f = Split(word.substr(2), ';', 3);
    r.headerCount = static_cast<int>(f.size());
    for (size_t i = 0; i < f.size(); ++i) r.headerTexts[i] = f[i];
  } else if (StartsWith(word, "F:")) {
    const auto f = Split(word.substr(2), ';', 3);
    r.footerCount = static_cast<int>(f.size());
    for (size_t i = 0; i < f.size(); ++i) r.footerTexts[i] = f[i];
  } else if (StartsWith(word, "def:")) {
    if (!r.settingsFile.empty()) r.badCommandLine = true;
    r.settingsFile = word.substr(4);
  } else if (word == "p") {
    r.printMode = true;
  } else if (word == "ps") {
    r.pageSetupMode = true;
  } else if (word == "nosplash") {
    r.showSplash = false;
  } else if (StartsWith(word, "N:")) {
    r.windowTitle = word.substr(2);
  }
  // Any other switch is ignored.
}

CommandLineRecord ParseCommandLine(const std::vector<std::string>& words,
                                   const std::function<int(const std::string&)>& projectVersion) {
  CommandLineRecord r;
  for (const std::string& word : words) {
    if (word.empty()) continue;
    // "-" always starts a switch. "/" starts one only when the rest reads as a
    // switch we know and no such path exists: "/home/me/a.jpg" is a file, and so
    // is "/gone.png", which is then reported missing.
    const bool isSwitch = word[0] == '-' || (word[0] == '/' && IsKnownSwitch(word.substr(1)) && !Exists(word));
    if (isSwitch) {
      ApplySwitch(word.substr(1), r);
      continue;
    }
    std::string path = word;
    const bool listFile = path[0] == '@';
    if (listFile) path.erase(0, 1);
    bool folder = false;
    if (!Exists(path, &folder)) {
      r.badCommandLine = true;
      continue;
    }
    if (folder) {
      if (listFile) {
        r.badCommandLine = true;
      } else {
        r.images.push_back(path);
      }
      continue;
    }
    if (projectVersion(path) > 0) {
      if (!r.projectFile.empty()) r.badCommandLine = true;
      r.projectFile = path;
      continue;
    }
    r.images.push_back(listFile ? "@" + path : path);
  }
  return r;
}

std::vector<std::string> ExpandImageArgument(const std::string& argument) {
  std::vector<std::string> files;
  if (!argument.empty() && argument[0] == '@') {
    std::ifstream in(argument.substr(1), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      if (!line.empty()) files.push_back(line);
    }
    return files;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(argument, ec)) {
    // Symbolic links to folders are not followed, so a link loop cannot make
    // the walk endless.
    std::filesystem::recursive_directory_iterator it(argument,
                                                     std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_regular_file(ec)) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  files.push_back(argument);
  return files;
}

int FillProject(Project& project, const CommandLineRecord& r) {
  project.resetToDefaults();
  // Only the binary forms store header and footer positions.
  const auto storesPositions = [&] { return project.fileVersion >= kProjectVersion200; };
  bool storedPositions = false;
  if (!r.projectFile.empty()) {
    loadProject(project, r.projectFile);
    project.path = r.projectFile;
    storedPositions = storesPositions();
  }
  // A binary settings file that cannot be opened changes nothing.
  if (!r.settingsFile.empty() && loadProjectSettings(project, r.settingsFile) && storesPositions())
    storedPositions = true;

  if (r.borderCount > 0) project.borderLines = r.borderLines;
  if (r.borderCount > 1) project.borderColour = r.borderColour;
  if (r.borderCount > 2) project.borderWidth = r.borderWidth;
  if (r.borderCount > 3) project.borderSpaceH = r.borderSpaceH;
  if (r.borderCount > 4) project.borderSpaceV = r.borderSpaceV;

  if (r.shadowCount > 0) project.shadowDx = r.shadowDx;
  if (r.shadowCount > 1) project.shadowDy = r.shadowDy;
  if (r.shadowCount > 2) project.shadowColour = r.shadowColour;

  // Positions nobody chose are left to the normalising, which puts them at the
  // thirds; positions read from a file stay as stored.
  if (!storedPositions) project.headerSplitsSet = project.footerSplitsSet = 0;

  const auto given = [&](int field) {
    return r.marginCount > field && r.margins[static_cast<size_t>(field)] != kNotGiven;
  };
  const auto mm = [&](int field) { return r.margins[static_cast<size_t>(field)]; };
  // Millimetres from the command line become 0.1 mm; values are held so that
  // the products stay in range.
  const auto tenths = [](std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v * 10, 0, 1 << 30));
  };
  if (given(0)) project.marginLeft = tenths(mm(0));
  if (given(1)) project.marginTop = tenths(mm(1));
  if (given(2)) project.marginRight = tenths(mm(2));
  if (given(3)) project.marginBottom = tenths(mm(3));
  if (given(4)) project.headerDistance = tenths(mm(4));
  if (given(5)) project.footerDistance = tenths(mm(5));
  if (given(6)) {
    const std::int64_t left = given(0) ? mm(0) : project.marginLeft / 10;
    project.headerSplit1 = project.footerSplit1 = tenths(left + mm(6));
    project.headerSplitsSet = project.footerSplitsSet = 1;
  }
  if (given(7)) {
    const std::int64_t right = given(2) ? mm(2) : project.marginRight / 10;
    project.headerSplit2 = project.footerSplit2 = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(project.pageWidth - (mm(7) + right) * 10, INT32_MIN, INT32_MAX));
  }
  if (given(8)) project.headerMultiline = project.footerMultiline = mm(8);

  for (int i = 0; i < r.headerCount && i < 3; ++i)
    project.headerTexts[static_cast<size_t>(i)] = r.headerTexts[static_cast<size_t>(i)];
  for (int i = 0; i < r.footerCount && i < 3; ++i)
    project.footerTexts[static_cast<size_t>(i)] = r.footerTexts[static_cast<size_t>(i)];

  if (r.arrangeOn) {
    project.autoArrange = 1;
    if (r.arrangeCount > 0) project.arrangeColumns = r.arrange[0];
    if (r.arrangeCount > 1) project.arrangeRows = r.arrange[1];
    if (r.arrangeCount > 2) project.arrangeSpacingH = r.arrange[2] * 10;
    if (r.arrangeCount > 3) project.arrangeSpacingV = r.arrange[3] * 10;
  }
  if (r.printMode && r.projectFile.empty()) project.autoArrange = 1;
  if (!r.windowTitle.empty()) project.windowTitle = r.windowTitle;
  if (!r.defaultComment.empty()) project.defaultComment = r.defaultComment;

  int added = 0;
  for (const std::string& argument : r.images)
    for (const std::string& file : ExpandImageArgument(argument)) added += project.addImageFile(file, 0);
  return added;
}

}  // namespace tessaly
