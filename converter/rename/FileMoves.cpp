#include "converter/rename/FileMoves.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/base/file.h"

namespace converter {

bool MoveNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A file system without the no-replace flag: the name was free a moment ago,
  // so a plain rename is as close as we can get.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

bool CopyContents(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!vel::WriteAll(out, buffer.data(), static_cast<size_t>(n))) return false;
  }
}

}  // namespace

bool CopyNoReplace(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  const size_t slash = to.rfind('/');
  std::string temp = (slash == std::string::npos ? std::string() : to.substr(0, slash + 1)) + ".Corbanix-rename-XXXXXX";
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = CopyContents(in, out);
  ::close(in);
  // Keep what the user set on the original; set-id bits do not travel with a copy.
  ok = ok && ::fchmod(out, st.st_mode & 0777) == 0;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ok = ok && ::futimens(out, times) == 0;
  ok = (::close(out) == 0) && ok;
  ok = ok && MoveNoReplace(temp, to);
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace converter
