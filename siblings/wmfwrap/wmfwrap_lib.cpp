// BMP -> placeable WMF. The BMP comes from another process or from Ghostscript, so
// every size in it is checked against the bytes present before anything is copied.
#include "siblings/wmfwrap/wmfwrap_lib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/base/file.h"

namespace wmfwrap {
namespace {

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t kMetaSetMapMode = 0x0103, kMetaSetWindowOrg = 0x020B, kMetaSetWindowExt = 0x020C;
constexpr std::uint16_t kMetaStretchDib = 0x0F43, kMetaEof = 0x0000;
constexpr std::uint16_t kMmAnisotropic = 8;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}

// One WMF record: size in words, function, parameter words, optional raw bytes
// (padded to a whole word).
std::uint32_t Record(std::vector<std::uint8_t>& out, std::uint16_t function, std::initializer_list<std::uint16_t> words,
                     const std::vector<std::uint8_t>* raw = nullptr) {
  const std::size_t rawBytes = raw ? raw->size() : 0;
  const std::uint32_t size = static_cast<std::uint32_t>(3 + words.size() + (rawBytes + 1) / 2);
  Put32(out, size);
  Put16(out, function);
  for (std::uint16_t w : words) Put16(out, w);
  if (raw) {
    out.insert(out.end(), raw->begin(), raw->end());
    if (rawBytes % 2) out.push_back(0);
  }
  return size;
}

}  // namespace

bool ParseBmp(const std::uint8_t* data, std::size_t size, Dib& out) {
  if (!data || size < 14 + 40 || data[0] != 'B' || data[1] != 'M') return false;
  const std::uint64_t offBits = U32(data + 10);
  const std::uint8_t* h = data + 14;
  const std::uint64_t headerSize = U32(h);
  // Only the Windows headers (40 bytes and the later, longer ones); OS/2 core
  // headers and anything that runs past the file are refused.
  if (headerSize < 40 || headerSize > 1024 || 14 + headerSize > size) return false;
  const std::int64_t width = I32(h + 4), rawHeight = I32(h + 8);
  const std::uint16_t planes = U16(h + 12), bits = U16(h + 14);
  const std::uint32_t compression = U32(h + 16), sizeImage = U32(h + 20);
  const std::int32_t xPelsPerMeter = I32(h + 24);
  const std::uint64_t clrUsed = U32(h + 32);
  const std::int64_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || planes != 1) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

  bool rle = false;
  std::uint64_t masks = 0;
  switch (compression) {
    case kBiRgb: break;
    case kBiBitfields:
      if (bits != 16 && bits != 32) return false;
      if (headerSize == 40) masks = 12;  // later headers hold the masks themselves
      break;
    case kBiRle8:
    case kBiRle4:
      // Compressed rows are bottom-up by definition and need their stored size.
      if (bits != (compression == kBiRle8 ? 8 : 4) || rawHeight < 0 || sizeImage == 0) return false;
      rle = true;
      break;
    default: return false;
  }
  std::uint64_t entries = clrUsed;
  if (bits <= 8) {
    if (entries == 0) entries = 1ull << bits;
    if (entries > (1ull << bits)) return false;
  } else if (entries > 256) {
    return false;
  }
  const std::uint64_t headerEnd = 14 + headerSize + masks + entries * 4;
  if (headerEnd > size || offBits < headerEnd || offBits > size) return false;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  const std::uint64_t bitsBytes = rle ? sizeImage : stride * static_cast<std::uint64_t>(height);
  if (bitsBytes == 0 || bitsBytes > size - offBits) return false;

  Dib dib;
  dib.packed.reserve(headerEnd - 14 + bitsBytes);
  dib.packed.assign(data + 14, data + headerEnd);
  dib.packed.insert(dib.packed.end(), data + offBits, data + offBits + bitsBytes);
  dib.width = static_cast<long>(width);
  dib.height = static_cast<long>(height);
  dib.bitCount = bits;
  if (xPelsPerMeter > 0) {
    const long dpi = std::lround(xPelsPerMeter * 0.0254);
    dib.dpi = dpi < 1 ? 1 : (dpi > 65535 ? 65535 : static_cast<int>(dpi));
  }
  out = std::move(dib);
  return true;
}

std::uint16_t PlaceableChecksum(const std::uint8_t* header22) {
  std::uint16_t sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= U16(header22 + 2 * i);
  return sum;
}

std::vector<std::uint8_t> BuildPlaceableWmf(const Dib& dib) {
  const auto w = static_cast<std::uint16_t>(dib.width), hgt = static_cast<std::uint16_t>(dib.height);
  const auto inch = static_cast<std::uint16_t>(dib.dpi > 0 ? dib.dpi : kDefaultInch);

  std::vector<std::uint8_t> out;
  out.reserve(22 + 18 + 64 + dib.packed.size());
  // Placeable header: the box is the bitmap in its own pixels, the inch its resolution,
  // so a reader sizes the picture as the bitmap was meant to be printed.
  Put32(out, kPlaceableKey);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, w);
  Put16(out, hgt);
  Put16(out, inch);
  Put32(out, 0);
  Put16(out, PlaceableChecksum(out.data()));

  const std::size_t headerAt = out.size();
  out.resize(out.size() + 18);
  std::uint32_t maxRecord = 0;
  auto keep = [&](std::uint32_t words) { maxRecord = words > maxRecord ? words : maxRecord; };
  keep(Record(out, kMetaSetMapMode, {kMmAnisotropic}));
  keep(Record(out, kMetaSetWindowOrg, {0, 0}));      // y, x
  keep(Record(out, kMetaSetWindowExt, {hgt, w}));    // height, width
  keep(Record(out, kMetaStretchDib,
              {static_cast<std::uint16_t>(kSrcCopy & 0xFFFF), static_cast<std::uint16_t>(kSrcCopy >> 16),
               0 /* DIB_RGB_COLORS */, hgt, w, 0, 0, hgt, w, 0, 0},
              &dib.packed));
  keep(Record(out, kMetaEof, {}));

  std::vector<std::uint8_t> header;
  Put16(header, 1);        // memory metafile, as Windows writes to disk too
  Put16(header, 9);        // header words
  Put16(header, 0x0300);
  Put32(header, static_cast<std::uint32_t>((out.size() - headerAt) / 2));
  Put16(header, 0);        // no objects
  Put32(header, maxRecord);
  Put16(header, 0);
  std::memcpy(out.data() + headerAt, header.data(), header.size());
  return out;
}

bool BmpToPlaceableWmf(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
  Dib dib;
  if (!ParseBmp(data, size, dib)) return false;
  out = BuildPlaceableWmf(dib);
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t limit) {
  return vel::ReadWholeFile(path.c_str(), out, limit);
}

bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path.empty()) return false;
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  // mkstemp makes the file private; a picture is an ordinary document.
  if (ok) ok = ::fchmod(fd, 0644) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace wmfwrap
