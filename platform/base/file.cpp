#include "platform/base/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

CFile::~CFile() { CFile::Close(); }

BOOL CFile::Open(const char* path, UINT flags) {
  Close();
  if (!path || !*path) return FALSE;
  int mode = (flags & modeReadWrite) ? O_RDWR : (flags & modeWrite) ? O_WRONLY : O_RDONLY;
  if (flags & modeCreate) {
    mode |= O_CREAT;
    if (!(flags & modeNoTruncate)) mode |= O_TRUNC;
  }
  fd_ = ::open(path, mode | O_CLOEXEC, 0666);
  if (fd_ < 0) return FALSE;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    Close();
    return FALSE;
  }
  return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
  if (fd_ < 0 || !buffer) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<UINT>(done);
}

BOOL CFile::Write(const void* buffer, UINT count) {
  if (fd_ < 0 || (!buffer && count)) return FALSE;
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return FALSE;
    done += static_cast<size_t>(n);
  }
  return TRUE;
}

unsigned long long CFile::GetLength() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return static_cast<unsigned long long>(st.st_size);
}

unsigned long long CFile::GetPosition() const {
  if (fd_ < 0) return 0;
  off_t p = ::lseek(fd_, 0, SEEK_CUR);
  return p < 0 ? 0 : static_cast<unsigned long long>(p);
}

long long CFile::Seek(long long offset, UINT from) {
  if (fd_ < 0) return -1;
  int whence = from == end ? SEEK_END : from == current ? SEEK_CUR : SEEK_SET;
  return ::lseek(fd_, static_cast<off_t>(offset), whence);
}

void CFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

UINT CMemFile::Read(void* buffer, UINT count) {
  if (!buffer || pos_ >= size_) return 0;
  size_t n = std::min<size_t>(count, size_ - pos_);
  std::memcpy(buffer, Data() + pos_, n);
  pos_ += n;
  return static_cast<UINT>(n);
}

BOOL CMemFile::Write(const void* buffer, UINT count) {
  if (external_ || (!buffer && count)) return FALSE;
  size_t need = pos_ + count;
  if (need > data_.size()) {
    size_t grown = ((need + growBy_ - 1) / growBy_) * growBy_;
    try {
      data_.resize(grown);
    } catch (...) {
      return FALSE;
    }
  }
  if (count) std::memcpy(data_.data() + pos_, buffer, count);
  pos_ = need;
  if (pos_ > size_) size_ = pos_;
  return TRUE;
}

long long CMemFile::Seek(long long offset, UINT from) {
  long long base = from == end ? static_cast<long long>(size_) : from == current ? static_cast<long long>(pos_) : 0;
  long long p = base + offset;
  if (p < 0) return -1;
  pos_ = static_cast<size_t>(p);
  return p;
}

namespace vel {

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& out, std::uint64_t limit) {
  if (!path) return false;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
            static_cast<std::uint64_t>(st.st_size) <= limit;
  std::vector<std::uint8_t> bytes;
  if (ok) {
    try {
      bytes.resize(static_cast<size_t>(st.st_size));
    } catch (...) {
      ok = false;
    }
  }
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok) return false;
  bytes.resize(done);
  out = std::move(bytes);
  return true;
}

}  // namespace vel

namespace vel {

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

int CreateTemporary(int dirFd, mode_t mode, const char* prefix, std::string* name) {
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned long long tag = (static_cast<unsigned long long>(device()) << 20) ^ ::getpid() ^
                                   (static_cast<unsigned long long>(counter++) << 40);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, ".%.24s-%012llx.tmp", prefix, tag & 0xffffffffffffULL);
    const int fd = ::openat(dirFd, buffer, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      *name = buffer;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

bool ReplaceFileContents(const std::string& target, const void* data, size_t size, const char* prefix) {
  if (!data && size) return false;
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) return false;
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return false;
  std::string temp;
  const int fd = CreateTemporary(dirFd, exists ? 0600 : 0666, prefix && *prefix ? prefix : "velmark", &temp);
  if (fd < 0) {
    ::close(dirFd);
    return false;
  }
  bool ok = (!exists || ::fchmod(fd, old.st_mode & 07777) == 0) && WriteAll(fd, data, size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::renameat(dirFd, temp.c_str(), dirFd, base.c_str()) == 0;
  if (!ok) ::unlinkat(dirFd, temp.c_str(), 0);
  // Make the rename itself durable; a failure here no longer undoes the write.
  if (ok) ::fsync(dirFd);
  ::close(dirFd);
  return ok;
}

}  // namespace vel
