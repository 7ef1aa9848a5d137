// Small stand-ins for the framework's file classes: CFile over a descriptor and
// CMemFile over a growing memory block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/memory.h"
#include "platform/base/wintypes.h"

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareDenyNone = 0x0040,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeBinary = 0x8000,
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile() = default;
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  virtual BOOL Open(const char* path, UINT flags);
  // Bytes actually read (0 at the end or on error).
  virtual UINT Read(void* buffer, UINT count);
  // False when not everything could be written.
  virtual BOOL Write(const void* buffer, UINT count);
  virtual unsigned long long GetLength() const;
  virtual unsigned long long GetPosition() const;
  virtual long long Seek(long long offset, UINT from);
  virtual void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// A file in memory that grows in steps of `growBy` bytes.
class CMemFile : public CFile {
 public:
  explicit CMemFile(UINT growBy = 1024) : growBy_(growBy ? growBy : 1024) {}
  // Reads from (and writes over) an existing buffer without owning it.
  CMemFile(const BYTE* buffer, size_t size) : external_(buffer), size_(size) {}
  BOOL Open(const char*, UINT) override { return FALSE; }
  UINT Read(void* buffer, UINT count) override;
  BOOL Write(const void* buffer, UINT count) override;
  unsigned long long GetLength() const override { return size_; }
  unsigned long long GetPosition() const override { return pos_; }
  long long Seek(long long offset, UINT from) override;
  void Close() override {}
  const BYTE* Data() const { return external_ ? external_ : data_.data(); }

 private:
  std::vector<BYTE> data_;
  const BYTE* external_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  UINT growBy_ = 1024;
};

namespace vel {
// Reads a regular file of at most `limit` bytes whole. On success `out` holds its
// bytes (a file that shrank while being read gives what was there); on failure
// (missing, not a regular file, larger than the limit, no memory) `out` is left alone.
bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& out, std::uint64_t limit);

// Writes all of [data, data + size) to a descriptor, retrying short and interrupted
// writes. False on any error.
bool WriteAll(int fd, const void* data, size_t size);

// Puts new contents in place of a file (or creates it) so that the old contents stay
// whole until the new ones are complete: the bytes go to a uniquely named temporary file
// in the target's folder (".<prefix>-XXXXXXXXXXXX.tmp"), are flushed to disk, and the
// temporary is renamed over the target. A replaced file keeps its permission bits; a new
// one gets 0666 under the umask. On failure the target is untouched and no temporary is
// left behind. The folder is reached through its own descriptor, so a target near the
// path limit still has room for the temporary name.
bool ReplaceFileContents(const std::string& target, const void* data, size_t size, const char* prefix = "velmark");
inline bool ReplaceFileContents(const std::string& target, const std::vector<std::uint8_t>& bytes,
                                const char* prefix = "velmark") {
  return ReplaceFileContents(target, bytes.data(), bytes.size(), prefix);
}
inline bool ReplaceFileContents(const std::string& target, const std::string& bytes, const char* prefix = "velmark") {
  return ReplaceFileContents(target, bytes.data(), bytes.size(), prefix);
}
}  // namespace vel
