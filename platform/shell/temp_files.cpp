// Temporary names and the two small file functions.
#include <fcntl.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/shell/shell.h"

namespace {

std::string TempFileName(const std::string& base, UINT number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", number);
  return base + digits + ".tmp";
}

// Where to start counting: differs between processes and from one call to the
// next, so concurrent callers rarely collide on their first try.
UINT StartNumber() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  UINT n = static_cast<UINT>(tv.tv_usec ^ (tv.tv_sec << 4) ^ (getpid() << 8)) & 0xFFFF;
  return n ? n : 1;
}

}  // namespace

DWORD GetTempPathA(DWORD size, LPSTR buf) {
  const char* env = std::getenv("TMPDIR");
  std::string path = env && *env ? env : "/tmp";
  if (path.back() != '/') path += '/';
  if (!buf || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
  std::memcpy(buf, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out) {
  if (!dir || !*dir || !out) return 0;
  std::string base = dir;
  if (base.back() != '/') base += '/';
  if (prefix) base += prefix;

  if (unique != 0) {
    std::string name = TempFileName(base, unique & 0xFFFF);  // Windows uses the low 16 bits for the name
    if (name.size() >= MAX_PATH) return 0;
    std::memcpy(out, name.c_str(), name.size() + 1);
    return unique;
  }
  UINT number = StartNumber();
  for (int tries = 0; tries < 0xFFFF; ++tries) {
    std::string name = TempFileName(base, number);
    if (name.size() >= MAX_PATH) return 0;
    int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      std::memcpy(out, name.c_str(), name.size() + 1);
      return number;
    }
    if (errno != EEXIST) return 0;
    number = number % 0xFFFF + 1;  // 1 .. 0xFFFF, never 0
  }
  return 0;
}

int _access(const char* path, int mode) {
  if (!path || (mode & ~6) != 0) {
    errno = EINVAL;
    return -1;
  }
  int how = F_OK;
  if (mode & 2) how |= W_OK;
  if (mode & 4) how |= R_OK;
  if (access(path, how) != 0) return -1;
  if (mode & 2) {
    // Root may write anything; a file with no write bit at all is read-only all the
    // same, the way the read-only attribute is on Windows.
    struct stat st {};
    if (stat(path, &st) != 0) return -1;
    if (!S_ISDIR(st.st_mode) && (st.st_mode & 0222) == 0) {
      errno = EACCES;
      return -1;
    }
  }
  return 0;
}

BOOL DeleteFileA(LPCSTR path) {
  if (!path || !*path) return FALSE;
  return unlink(path) == 0 ? TRUE : FALSE;
}
