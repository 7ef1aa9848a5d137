#include "converter/cli/FileNames.h"

#include "platform/shell/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace converter {

// Write permission as Windows sees it: a file without write bits is read-only,
// also for root.
bool IsTaken(const std::string& path) { return !path.empty() && _access(path.c_str(), 2) == 0; }

namespace {
bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}
}  // namespace

// Any existing file counts here, writable or not: a read-only file of that name
// would make the save fail, and a unique name is meant to be free.
std::string MakeUnique(const std::string& path) {
  if (!Exists(path)) return path;
  const size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  const std::string stem = path.substr(0, dot), extension = path.substr(dot);
  for (int n = 1; n < 1000000; ++n) {
    const std::string candidate = stem + "(" + std::to_string(n) + ")" + extension;
    if (!Exists(candidate)) return candidate;
  }
  return {};
}

bool RemoveWritable(const std::string& path) { return IsTaken(path) && ::unlink(path.c_str()) == 0; }

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  std::string level;
  size_t at = 0;
  while (at != std::string::npos) {
    const size_t next = folder.find('/', at + 1);
    level = folder.substr(0, next);
    at = next;
    if (level.empty() || level == "/") continue;
    struct stat st {};
    if (::stat(level.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return _access(folder.c_str(), 2) == 0;
}

std::string BaseName(const std::string& path) {
  const std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace converter
