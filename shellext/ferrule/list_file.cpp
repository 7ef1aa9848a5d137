// List files for the converter and for plug-ins: one path per line, after an
// optional first line that names the job.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/shell/shell.h"
#include "shellext/ferrule/CFerruleATL.h"
#include "shellext/ferrule/recognition.h"

namespace ferrule {
namespace {

using FolderId = std::pair<dev_t, ino_t>;

std::string Join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Every image below `folder`. Entries go in name order so the same folder
// always gives the same list; a folder reached a second time through a link
// is not walked again, so a link loop ends. The walk never changes the
// process's current folder, which belongs to the file manager.
void ListFolder(FILE* out, const std::string& folder, std::set<FolderId>* seen) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !seen->insert({st.st_dev, st.st_ino}).second) return;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = Join(folder, name);
    struct stat entry {};
    if (stat(path.c_str(), &entry) != 0) continue;
    if (S_ISDIR(entry.st_mode)) {
      ListFolder(out, path, seen);
    } else if (Recognise(path.c_str())) {
      std::fprintf(out, "%s\n", path.c_str());
    }
  }
}

}  // namespace

std::string WriteListFile(const char* firstLine, const std::vector<gen::TString>& images,
                          const std::vector<gen::TString>& folders) {
  char dir[MAX_PATH + 1] = {};
  char name[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof dir, dir);
  if (length == 0 || length >= sizeof dir || GetTempFileNameA(dir, "Bat", 0, name) == 0) return {};
  FILE* out = std::fopen(name, "w");
  if (!out) return {};
  if (firstLine) std::fprintf(out, "%s\n", firstLine);
  for (const gen::TString& image : images) std::fprintf(out, "%s\n", image.c_str());
  for (const gen::TString& folder : folders) {
    std::set<FolderId> seen;
    ListFolder(out, folder.c_str(), &seen);
  }
  const bool written = std::fclose(out) == 0;
  return written ? std::string(name) : std::string();
}

}  // namespace ferrule
