#include "platform/base/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
