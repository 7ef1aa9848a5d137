// libtiff over bytes in memory, shared by the TIFF reader, the TIFF writer and the fax
// coder, which all hand libtiff a buffer rather than a file.
//
// libtiff's messages are never printed: the first error since clearError() is kept, so a
// failure can say what libtiff found wrong ("LZWDecode: Not enough data at scanline 4").
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lorimer::formats {

class MemoryTiff {
 public:
  // Reads `bytes`, which must outlive this object. `name` is the file's name in libtiff's
  // messages; `maxAllocation` (0: libtiff's default) bounds any one allocation libtiff
  // makes for it.
  MemoryTiff(std::span<const std::uint8_t> bytes, const char* name, tmsize_t maxAllocation = 0);
  // Writes into `bytes` (mode "w" or "wl"), or appends a directory to the TIFF it holds
  // ("a"). `bytes` must outlive this object; it never grows beyond `maxSize`.
  MemoryTiff(std::vector<std::uint8_t>& bytes, const char* mode, std::uint64_t maxSize, tmsize_t maxAllocation = 0);
  ~MemoryTiff() { close(); }
  MemoryTiff(const MemoryTiff&) = delete;
  MemoryTiff& operator=(const MemoryTiff&) = delete;

  // Null when libtiff refused to open the bytes (error() says why).
  TIFF* get() const { return tif_; }
  explicit operator bool() const { return tif_ != nullptr; }
  // Closes the file; a written file is complete in the buffer afterwards.
  void close();

  // libtiff's first error since the last clearError(), or `fallback` when it gave none.
  std::string error(const char* fallback = "libtiff gave no reason") const;
  void clearError() { error_.clear(); }

 private:
  void open(const char* mode, tmsize_t maxAllocation);
  std::size_t size() const { return grow_ ? grow_->size() : data_.size(); }
  const std::uint8_t* data() const { return grow_ ? grow_->data() : data_.data(); }

  static tmsize_t Read(thandle_t self, void* buffer, tmsize_t size);
  static tmsize_t Write(thandle_t self, void* buffer, tmsize_t size);
  static toff_t Seek(thandle_t self, toff_t offset, int whence);
  static int Close(thandle_t);
  static toff_t Size(thandle_t self);
  static int Map(thandle_t, void**, toff_t*);
  static void Unmap(thandle_t, void*, toff_t);
  static int OnError(TIFF*, void* self, const char* module, const char* format, va_list args);
  static int OnWarning(TIFF*, void*, const char*, const char*, va_list);

  std::span<const std::uint8_t> data_;         // what a reader reads
  std::vector<std::uint8_t>* grow_ = nullptr;  // what a writer writes (and reads back)
  std::uint64_t limit_ = UINT64_MAX;
  std::uint64_t pos_ = 0;
  std::string name_;
  std::string error_;
  TIFF* tif_ = nullptr;
};

}  // namespace lorimer::formats
