// CCITT fax coding through libtiff, over TIFFs that live only in memory.
//
// Fill order is handled here rather than by libtiff: data is always given to libtiff
// MSB first and reversed byte by byte on the way in or out, so both directions
// behave the same whatever libtiff's own fill-order handling does in a version.
#include "imagelib/formats/ccitt.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>

namespace lorimer::formats::ccitt {
namespace {

// Largest in-memory TIFF we let libtiff write: far above any fax page.
constexpr std::uint64_t kMaxMemoryFile = std::uint64_t{1} << 31;

struct MemoryFile {
  std::vector<std::uint8_t>* bytes;
  std::uint64_t pos = 0;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* f = static_cast<MemoryFile*>(handle);
  if (size <= 0 || f->pos >= f->bytes->size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(size), f->bytes->size() - f->pos);
  std::memcpy(buffer, f->bytes->data() + f->pos, n);
  f->pos += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* f = static_cast<MemoryFile*>(handle);
  if (size < 0 || f->pos + static_cast<std::uint64_t>(size) > kMaxMemoryFile) return -1;
  const std::uint64_t end = f->pos + static_cast<std::uint64_t>(size);
  if (end > f->bytes->size()) f->bytes->resize(end);
  std::memcpy(f->bytes->data() + f->pos, buffer, static_cast<std::size_t>(size));
  f->pos = end;
  return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = f->pos;
  if (whence == SEEK_END) base = f->bytes->size();
  if (offset > kMaxMemoryFile || base + offset > kMaxMemoryFile) return static_cast<toff_t>(-1);
  f->pos = base + offset;
  return f->pos;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes->size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// Corrupt pages are expected input; libtiff's complaints about them go nowhere.
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class Options {
 public:
  Options() : options_(TIFFOpenOptionsAlloc()) {
    if (!options_) return;
    TIFFOpenOptionsSetErrorHandlerExtR(options_, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options_, Quiet, nullptr);
  }
  ~Options() {
    if (options_) TIFFOpenOptionsFree(options_);
  }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  TIFFOpenOptions* get() const { return options_; }

 private:
  TIFFOpenOptions* options_;
};

TIFF* OpenMemory(MemoryFile* file, const char* mode, const Options& options) {
  if (!options.get()) return nullptr;
  return TIFFClientOpenExt("fax page", mode, file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                           UnmapProc, options.get());
}

void ReverseBits(std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t b = p[i];
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    p[i] = b;
  }
}

void Put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, static_cast<std::uint16_t>(x));
  Put16(v, static_cast<std::uint16_t>(x >> 16));
}

// A little-endian TIFF with one IFD and one strip: the coded data itself.
std::vector<std::uint8_t> WrapInTiff(const StripFormat& f, const std::uint8_t* data, std::size_t size) {
  struct Entry {
    std::uint16_t tag;
    std::uint16_t type;  // 3 SHORT, 4 LONG
    std::uint32_t value;
  };
  const bool group3 = f.coding == Coding::kGroup3;
  const std::uint32_t options = group3 ? (f.alignedEol ? GROUP3OPT_FILLBITS : 0u) : 0u;
  const Entry entries[] = {
      {TIFFTAG_IMAGEWIDTH, 4, static_cast<std::uint32_t>(f.width)},
      {TIFFTAG_IMAGELENGTH, 4, static_cast<std::uint32_t>(f.height)},
      {TIFFTAG_BITSPERSAMPLE, 3, 1},
      {TIFFTAG_COMPRESSION, 3, group3 ? 3u : 4u},  // CCITT T.4 / T.6,
      {TIFFTAG_PHOTOMETRIC, 3, PHOTOMETRIC_MINISWHITE},
      {TIFFTAG_FILLORDER, 3, FILLORDER_MSB2LSB},
      {TIFFTAG_STRIPOFFSETS, 4, 0},  // patched below
      {TIFFTAG_SAMPLESPERPIXEL, 3, 1},
      {TIFFTAG_ROWSPERSTRIP, 4, static_cast<std::uint32_t>(f.height)},
      {TIFFTAG_STRIPBYTECOUNTS, 4, static_cast<std::uint32_t>(size)},
      {static_cast<std::uint16_t>(group3 ? TIFFTAG_GROUP3OPTIONS : TIFFTAG_GROUP4OPTIONS), 4, options},
  };
  constexpr std::size_t count = sizeof entries / sizeof entries[0];
  const std::uint32_t dataOffset = 8 + 2 + 12 * count + 4;
  std::vector<std::uint8_t> t;
  t.reserve(dataOffset + size);
  t.insert(t.end(), {'I', 'I', 42, 0});
  Put32(t, 8);
  Put16(t, count);
  for (const Entry& e : entries) {
    Put16(t, e.tag);
    Put16(t, e.type);
    Put32(t, 1);
    const std::uint32_t value = e.tag == TIFFTAG_STRIPOFFSETS ? dataOffset : e.value;
    if (e.type == 3) {
      Put16(t, static_cast<std::uint16_t>(value));
      Put16(t, 0);
    } else {
      Put32(t, value);
    }
  }
  Put32(t, 0);
  t.insert(t.end(), data, data + size);
  if (f.lsbFirst) ReverseBits(t.data() + dataOffset, size);
  return t;
}

}  // namespace

int DecodeStrip(const StripFormat& format, const std::uint8_t* data, std::size_t size,
                const std::function<void(int y, const std::uint8_t* bits)>& row) {
  if (format.width <= 0 || format.height <= 0 || size == 0 || size > std::numeric_limits<std::uint32_t>::max()) {
    return -1;
  }
  std::vector<std::uint8_t> tiff = WrapInTiff(format, data, size);
  MemoryFile file{&tiff};
  Options options;
  TIFF* tif = OpenMemory(&file, "rm", options);
  if (!tif) return -1;
  const std::size_t rowBytes = (static_cast<std::size_t>(format.width) + 7) / 8;
  if (static_cast<std::uint64_t>(TIFFScanlineSize64(tif)) != rowBytes) {
    TIFFClose(tif);
    return -1;
  }
  std::vector<std::uint8_t> line(rowBytes);
  int y = 0;
  for (; y < format.height; ++y) {
    if (TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0) < 0) break;
    row(y, line.data());
  }
  TIFFClose(tif);
  return y;
}

bool EncodeStrip(const StripFormat& format, const std::vector<std::uint8_t>& rows, std::vector<std::uint8_t>* coded) {
  const std::size_t rowBytes = (static_cast<std::size_t>(format.width) + 7) / 8;
  if (format.width <= 0 || format.height <= 0 || rows.size() != rowBytes * static_cast<std::size_t>(format.height)) {
    return false;
  }
  const bool group3 = format.coding == Coding::kGroup3;
  std::vector<std::uint8_t> tiff;
  Options options;
  {
    MemoryFile file{&tiff};
    TIFF* tif = OpenMemory(&file, "wl", options);
    if (!tif) return false;
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(format.width)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(format.height)) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, group3 ? COMPRESSION_CCITTFAX3 : COMPRESSION_CCITTFAX4) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
              TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(format.height));
    if (ok && group3) {
      ok = TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, format.alignedEol ? GROUP3OPT_FILLBITS : 0u);
    }
    std::vector<std::uint8_t> copy = rows;  // libtiff may code in place
    ok = ok && TIFFWriteEncodedStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())) >= 0;
    TIFFClose(tif);
    if (!ok) return false;
  }
  MemoryFile file{&tiff};
  TIFF* tif = OpenMemory(&file, "rm", options);
  if (!tif) return false;
  std::uint64_t* offsets = nullptr;
  std::uint64_t* counts = nullptr;
  bool ok = TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) &&
            offsets && counts && counts[0] > 0 && offsets[0] <= tiff.size() && counts[0] <= tiff.size() - offsets[0];
  if (ok) {
    coded->assign(tiff.begin() + static_cast<std::ptrdiff_t>(offsets[0]),
                  tiff.begin() + static_cast<std::ptrdiff_t>(offsets[0] + counts[0]));
    if (format.lsbFirst) ReverseBits(coded->data(), coded->size());
  }
  TIFFClose(tif);
  return ok;
}

}  // namespace lorimer::formats::ccitt
