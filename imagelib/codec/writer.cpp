// The codec's write operation. Every writer builds the whole file in memory; this file
// decides whether the target may be written, hands appending writers the existing bytes,
// and puts the result in place so that a failure never leaves a damaged or partial file.
#include "imagelib/codec/writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/file.h"

namespace lorimer::codec {
namespace {

using formats::WriteOptions;

// Tells our blocks from stray pointers handed back to fnImgXOptBlkDel / fnImgXWriteImage.
constexpr std::uint32_t kBlockTag = 0x4f50544b;  // "OPTK"

struct OptionBlock {
  std::uint32_t tag = kBlockTag;
  WriteOptions options;
};

// An existing file we read to append to; anything bigger is not a file we wrote.
constexpr std::uint64_t kMaxExistingFile = std::uint64_t{1} << 31;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// ON/OFF (and the usual spellings of yes and no); anything else leaves `*flag` alone.
void SetFlag(const std::string& value, bool* flag) {
  const std::string v = Upper(value);
  if (v == "ON" || v == "YES" || v == "TRUE" || v == "1")
    *flag = true;
  else if (v == "OFF" || v == "NO" || v == "FALSE" || v == "0")
    *flag = false;
}

// A decimal integer in [lo, hi]; anything else leaves `*number` alone.
void SetNumber(const std::string& value, long lo, long hi, int* number) {
  if (value.empty()) return;
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < lo || n > hi) return;
  *number = static_cast<int>(n);
}

void Apply(const std::string& key, const std::string& value, WriteOptions* o) {
  if (key == "OVERWRITE")
    SetFlag(value, &o->overwrite);
  else if (key == "APPEND")
    SetFlag(value, &o->append);
  else if (key == "GIF_INTERLACE")
    SetFlag(value, &o->interlace);
  else if (key == "COMPRESS")
    SetFlag(value, &o->compress);
  else if (key == "LOSSY_QUALITY") {
    // Out-of-range qualities are pulled into range rather than dropped.
    int q = o->quality;
    SetNumber(value, INT_MIN, INT_MAX, &q);
    o->quality = std::clamp(q, 1, 100);
  } else if (key == "TIFF_COMPRESS")
    o->tiffCompress = Upper(value);
  else if (key == "TIFF_FILLORDER") {
    // Records carry 0 for "not set": that is the usual most-significant-bit-first order.
    int f = 1;
    SetNumber(value, 0, 2, &f);
    o->fillOrder = f == 2 ? 2 : 1;
  } else if (key == "TIFF_ROWSPERSTRIP")
    SetNumber(value, 0, INT_MAX, &o->rowsPerStrip);
  else if (key == "TIFF_NEWSUBFILETYPE")
    SetNumber(value, 0, INT_MAX, &o->newSubfileType);
  else if (key == "TIFF_ARTIST")
    o->artist = value;
  else if (key == "TIFF_COPYRIGHT")
    o->copyright = value;
  else if (key == "PNG_FILTER")
    o->pngFilter = Upper(value);
  else if (key == "PNG_COMPRESS")
    o->pngMaxCompress = Upper(value) == "MAXIMUM";
}

formats::WriteFunction WriterFor(const char* format, bool* canAppend) {
  const std::string name = Upper(format);
  *canAppend = name == "GIF" || name == "DCX" || name == "TIF" || name == "TIFF" || name == "FMF";
  if (name == "BMP") return formats::WriteBmp;
  if (name == "PCX") return formats::WritePcx;
  if (name == "DCX") return formats::WriteDcx;
  if (name == "FMF") return formats::WriteFmfPage;
  if (name == "JPG" || name == "JPEG") return formats::WriteJpegFile;
  if (name == "GIF") return formats::WriteGif;
  if (name == "PNG") return formats::WritePng;
  if (name == "TIF" || name == "TIFF") return formats::WriteTiff;
  return nullptr;
}

int Write(const char* path, const char* format, HIMG image, const void* block) {
  if (!path || !format || !image) return 0;
  const size_t length = ::strnlen(path, kMaxImagePath);
  if (length == 0 || length >= kMaxImagePath) return 0;
  const WriteOptions defaults;
  const WriteOptions* options = block ? OptionsOfBlock(block) : &defaults;
  if (!options) return 0;
  bool canAppend = false;
  const formats::WriteFunction writer = WriterFor(format, &canAppend);
  if (!writer) return 0;
  HBITMAP page = fnImgGetHBitmap(image);
  if (!page) return 0;

  const std::string target(path, length);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return 0;  // unknown whether it exists: do not risk replacing it
  if (exists && !S_ISREG(st.st_mode)) return 0;
  const bool appending = exists && options->append && canAppend;
  if (exists && !appending && !options->overwrite) return 0;
  std::vector<std::uint8_t> existing;
  if (appending && !vel::ReadWholeFile(target.c_str(), existing, kMaxExistingFile)) return 0;

  std::vector<std::uint8_t> bytes;
  // An empty file has no pages to keep: appending to it starts a new file.
  const bool keep = appending && !existing.empty();
  if (!writer(page, *options, keep ? &existing : nullptr, &bytes) || bytes.empty()) return 0;
  // Written next to the target and renamed over it: a failure leaves the old file whole,
  // and a replaced file keeps its permissions.
  return vel::ReplaceFileContents(target, bytes, "lorimer") ? 1 : 0;
}

}  // namespace

formats::WriteOptions ParseWriteOptions(const char* text) {
  WriteOptions options;
  if (!text) return options;
  const std::string all(text);
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find_first_of("\r\n", start);
    if (end == std::string::npos) end = all.size();
    const std::string entry = all.substr(start, end - start);
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) Apply(Upper(Trim(entry.substr(0, eq))), Trim(entry.substr(eq + 1)), &options);
    start = end + 1;
  }
  return options;
}

const formats::WriteOptions* OptionsOfBlock(const void* block) {
  const auto* b = static_cast<const OptionBlock*>(block);
  if (!b || b->tag != kBlockTag) return nullptr;
  return &b->options;
}

}  // namespace lorimer::codec

void* fnImgXOptBlkCreate(const char* text) {
  try {
    auto* block = new lorimer::codec::OptionBlock;
    block->options = lorimer::codec::ParseWriteOptions(text);
    return block;
  } catch (...) {
    return nullptr;
  }
}

int fnImgXOptBlkDel(void* block) {
  auto* b = static_cast<lorimer::codec::OptionBlock*>(block);
  if (!b || b->tag != lorimer::codec::kBlockTag) return 0;
  delete b;
  return 1;
}

int fnImgXWriteImage(const char* path, const char* format, HIMG image, void* block, void*, int) {
  try {
    return lorimer::codec::Write(path, format, image, block);
  } catch (...) {
    return 0;
  }
}
