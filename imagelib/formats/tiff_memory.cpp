#include "imagelib/formats/tiff_memory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace lorimer::formats {

MemoryTiff::MemoryTiff(std::span<const std::uint8_t> bytes, const char* name, tmsize_t maxAllocation)
    : data_(bytes), name_(name ? name : "memory") {
  // "m": libtiff reads through Read() rather than mapping the bytes.
  open("rm", maxAllocation);
}

MemoryTiff::MemoryTiff(std::vector<std::uint8_t>& bytes, const char* mode, std::uint64_t maxSize,
                       tmsize_t maxAllocation)
    : grow_(&bytes), limit_(maxSize), name_("memory") {
  open(mode, maxAllocation);
}

void MemoryTiff::open(const char* mode, tmsize_t maxAllocation) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) {
    error_ = "no memory for libtiff";
    return;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, this);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
  if (maxAllocation > 0) TIFFOpenOptionsSetMaxSingleMemAlloc(options, maxAllocation);
  tif_ = TIFFClientOpenExt(name_.c_str(), mode, this, Read, Write, Seek, Close, Size, Map, Unmap, options);
  TIFFOpenOptionsFree(options);
}

void MemoryTiff::close() {
  if (tif_) TIFFClose(tif_);
  tif_ = nullptr;
}

std::string MemoryTiff::error(const char* fallback) const { return error_.empty() ? fallback : error_; }

tmsize_t MemoryTiff::Read(thandle_t self, void* buffer, tmsize_t size) {
  auto* f = static_cast<MemoryTiff*>(self);
  if (size <= 0 || f->pos_ >= f->size()) return 0;
  const std::size_t n =
      static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(size), f->size() - f->pos_));
  std::memcpy(buffer, f->data() + f->pos_, n);
  f->pos_ += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t MemoryTiff::Write(thandle_t self, void* buffer, tmsize_t size) {
  auto* f = static_cast<MemoryTiff*>(self);
  if (!f->grow_) return 0;
  if (size < 0) return -1;
  const std::uint64_t end = f->pos_ + static_cast<std::uint64_t>(size);
  if (end > f->limit_) return -1;
  if (end > f->grow_->size()) f->grow_->resize(static_cast<std::size_t>(end));
  if (size > 0) std::memcpy(f->grow_->data() + f->pos_, buffer, static_cast<std::size_t>(size));
  f->pos_ = end;
  return size;
}

toff_t MemoryTiff::Seek(thandle_t self, toff_t offset, int whence) {
  auto* f = static_cast<MemoryTiff*>(self);
  std::uint64_t base = 0;
  switch (whence) {
    case SEEK_SET: break;
    case SEEK_CUR: base = f->pos_; break;
    case SEEK_END: base = f->size(); break;
    default: return static_cast<toff_t>(-1);
  }
  const std::uint64_t target = base + offset;
  if (target > f->limit_) return static_cast<toff_t>(-1);
  f->pos_ = target;
  return target;
}

int MemoryTiff::Close(thandle_t) { return 0; }
toff_t MemoryTiff::Size(thandle_t self) { return static_cast<MemoryTiff*>(self)->size(); }
int MemoryTiff::Map(thandle_t, void**, toff_t*) { return 0; }
void MemoryTiff::Unmap(thandle_t, void*, toff_t) {}

// Returning 1 tells libtiff the message is handled: nothing reaches stderr.
int MemoryTiff::OnError(TIFF*, void* self, const char* module, const char* format, va_list args) {
  auto* f = static_cast<MemoryTiff*>(self);
  if (!f || !f->error_.empty()) return 1;
  char message[512];
  std::vsnprintf(message, sizeof message, format, args);
  // Messages about the file as a whole carry its name as their module: leave that out.
  if (module && *module && f->name_ != module)
    f->error_ = std::string(module) + ": " + message;
  else
    f->error_ = message;
  return 1;
}

int MemoryTiff::OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace lorimer::formats
