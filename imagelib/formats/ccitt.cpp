// CCITT fax coding through libtiff, over TIFFs that live only in memory.
//
// Fill order is handled here rather than by libtiff: data is always given to libtiff
// MSB first and reversed byte by byte on the way in or out, so both directions
// behave the same whatever libtiff's own fill-order handling does in a version.
#include "imagelib/formats/ccitt.h"

#include <tiffio.h>

#include <limits>
#include <span>

#include "imagelib/formats/tiff_memory.h"
#include "platform/base/bytes.h"

namespace lorimer::formats::ccitt {
namespace {

// Largest in-memory TIFF we let libtiff write: far above any fax page.
constexpr std::uint64_t kMaxMemoryFile = std::uint64_t{1} << 31;

// TIFF field types of the directory entries we write.
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

void ReverseBits(std::span<std::uint8_t> bytes) {
  for (std::uint8_t& b : bytes) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
  }
}

// A little-endian TIFF with one IFD and one strip: the coded data itself.
std::vector<std::uint8_t> WrapInTiff(const StripFormat& f, std::span<const std::uint8_t> data) {
  struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t value;
  };
  const bool group3 = f.coding == Coding::kGroup3;
  const std::uint32_t options = group3 ? (f.alignedEol ? GROUP3OPT_FILLBITS : 0u) : 0u;
  const Entry entries[] = {
      {TIFFTAG_IMAGEWIDTH, kTypeLong, static_cast<std::uint32_t>(f.width)},
      {TIFFTAG_IMAGELENGTH, kTypeLong, static_cast<std::uint32_t>(f.height)},
      {TIFFTAG_BITSPERSAMPLE, kTypeShort, 1},
      {TIFFTAG_COMPRESSION, kTypeShort, group3 ? std::uint32_t{COMPRESSION_CCITTFAX3} : COMPRESSION_CCITTFAX4},
      {TIFFTAG_PHOTOMETRIC, kTypeShort, PHOTOMETRIC_MINISWHITE},
      {TIFFTAG_FILLORDER, kTypeShort, FILLORDER_MSB2LSB},
      {TIFFTAG_STRIPOFFSETS, kTypeLong, 0},  // where the data lands, filled in below
      {TIFFTAG_SAMPLESPERPIXEL, kTypeShort, 1},
      {TIFFTAG_ROWSPERSTRIP, kTypeLong, static_cast<std::uint32_t>(f.height)},
      {TIFFTAG_STRIPBYTECOUNTS, kTypeLong, static_cast<std::uint32_t>(data.size())},
      {static_cast<std::uint16_t>(group3 ? TIFFTAG_GROUP3OPTIONS : TIFFTAG_GROUP4OPTIONS), kTypeLong, options},
  };
  constexpr std::size_t kCount = sizeof entries / sizeof entries[0];
  constexpr std::uint32_t kDataOffset = 8 + 2 + 12 * kCount + 4;
  std::vector<std::uint8_t> t;
  t.reserve(kDataOffset + data.size());
  vel::ByteWriter out(t);
  out.text("II");
  out.le16(42);
  out.le32(8);
  out.le16(static_cast<std::uint16_t>(kCount));
  for (const Entry& e : entries) {
    out.le16(e.tag);
    out.le16(e.type);
    out.le32(1);
    const std::uint32_t value = e.tag == TIFFTAG_STRIPOFFSETS ? kDataOffset : e.value;
    if (e.type == kTypeShort) {
      out.le16(static_cast<std::uint16_t>(value));
      out.le16(0);
    } else {
      out.le32(value);
    }
  }
  out.le32(0);  // no further directory
  out.bytes(data);
  if (f.lsbFirst) ReverseBits(std::span(t).subspan(kDataOffset));
  return t;
}

}  // namespace

int DecodeStrip(const StripFormat& format, const std::uint8_t* data, std::size_t size,
                const std::function<void(int y, const std::uint8_t* bits)>& row) {
  if (format.width <= 0 || format.height <= 0 || size == 0 || size > std::numeric_limits<std::uint32_t>::max()) {
    return -1;
  }
  const std::vector<std::uint8_t> tiff = WrapInTiff(format, {data, size});
  MemoryTiff file(tiff, "fax page");
  TIFF* tif = file.get();
  if (!tif) return -1;
  const std::size_t rowBytes = (static_cast<std::size_t>(format.width) + 7) / 8;
  if (static_cast<std::uint64_t>(TIFFScanlineSize64(tif)) != rowBytes) return -1;
  std::vector<std::uint8_t> line(rowBytes);
  int y = 0;
  for (; y < format.height; ++y) {
    if (TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0) < 0) break;
    row(y, line.data());
  }
  return y;
}

bool EncodeStrip(const StripFormat& format, const std::vector<std::uint8_t>& rows, std::vector<std::uint8_t>* coded) {
  const std::size_t rowBytes = (static_cast<std::size_t>(format.width) + 7) / 8;
  if (format.width <= 0 || format.height <= 0 || rows.size() != rowBytes * static_cast<std::size_t>(format.height)) {
    return false;
  }
  const bool group3 = format.coding == Coding::kGroup3;
  std::vector<std::uint8_t> tiff;
  {
    MemoryTiff file(tiff, "wl", kMaxMemoryFile);
    TIFF* tif = file.get();
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
    file.close();
    if (!ok) return false;
  }
  // Read the strip back out of the TIFF libtiff made.
  MemoryTiff file(tiff, "fax page");
  TIFF* tif = file.get();
  if (!tif) return false;
  std::uint64_t* offsets = nullptr;
  std::uint64_t* counts = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) || !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) ||
      !offsets || !counts || counts[0] == 0) {
    return false;
  }
  vel::ByteReader in(tiff);
  const auto strip = in.sub(offsets[0], counts[0]).all();
  if (!in) return false;
  coded->assign(strip.begin(), strip.end());
  if (format.lsbFirst) ReverseBits(*coded);
  return true;
}

}  // namespace lorimer::formats::ccitt
