// BMP -> placeable WMF, and the placeable header's checksum.
#include "platform/gdi/placeable.h"

#include <array>
#include <cmath>
#include <initializer_list>
#include <span>

#include "platform/base/bytes.h"
#include "platform/gdi/metafile_records.h"

namespace vel::gdi::wmf {
namespace {

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;
constexpr std::size_t kMetaHeaderBytes = 18;

// One WMF record: size in words, function, parameter words, optional raw bytes
// (padded to a whole word).
std::uint32_t WriteRecord(vel::ByteWriter& out, std::uint16_t function, std::initializer_list<std::uint16_t> words,
                          const std::vector<std::uint8_t>* raw = nullptr) {
  const std::size_t rawBytes = raw ? raw->size() : 0;
  const std::uint32_t size = static_cast<std::uint32_t>(3 + words.size() + (rawBytes + 1) / 2);
  out.le32(size);
  out.le16(function);
  for (std::uint16_t w : words) out.le16(w);
  if (raw) {
    out.bytes(*raw);
    out.align(2);
  }
  return size;
}

}  // namespace

WORD PlaceableChecksum(const METAFILEHEADER_PLACEABLE& header) {
  std::array<std::uint8_t, sizeof(METAFILEHEADER_PLACEABLE)> stored{};
  vel::ByteWriter out{std::span(stored)};
  WritePlaceable(out, header);
  vel::ByteReader words{std::span(stored).first(sizeof stored - sizeof header.checksum)};
  WORD sum = 0;
  while (!words.atEnd()) sum ^= words.le16();
  return sum;
}

bool ParseBmp(const std::uint8_t* data, std::size_t size, BmpDib& out) {
  if (!data || size < 14 + 40) return false;
  vel::ByteReader in(data, size);
  // BITMAPFILEHEADER: "BM", file size, two reserved words, where the bits start.
  const std::uint8_t b = in.u8(), m = in.u8();
  in.skip(4 + 2 + 2);
  const std::uint64_t offBits = in.le32();
  // The BITMAPINFOHEADER (or a later, longer one).
  const std::uint64_t headerSize = in.le32();
  const std::int64_t width = in.le32s(), rawHeight = in.le32s();
  const std::uint16_t planes = in.le16(), bits = in.le16();
  const std::uint32_t compression = in.le32(), sizeImage = in.le32();
  const std::int32_t xPelsPerMeter = in.le32s();
  in.skip(4);  // vertical resolution
  const std::uint64_t clrUsed = in.le32();
  if (b != 'B' || m != 'M') return false;
  // Only the Windows headers (40 bytes and the later, longer ones); OS/2 core
  // headers and anything that runs past the file are refused.
  if (headerSize < 40 || headerSize > 1024 || 14 + headerSize > size) return false;
  const std::int64_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > kMaxBmpSide || height > kMaxBmpSide || planes != 1) return false;
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

  const auto header = in.sub(14, headerEnd - 14).all(), pixels = in.sub(offBits, bitsBytes).all();
  BmpDib dib;
  dib.packed.reserve(header.size() + pixels.size());
  dib.packed.assign(header.begin(), header.end());
  dib.packed.insert(dib.packed.end(), pixels.begin(), pixels.end());
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

std::vector<std::uint8_t> BuildPlaceableWmf(const BmpDib& dib) {
  const auto w = static_cast<std::uint16_t>(dib.width), hgt = static_cast<std::uint16_t>(dib.height);

  std::vector<std::uint8_t> out;
  out.reserve(sizeof(METAFILEHEADER_PLACEABLE) + kMetaHeaderBytes + 64 + dib.packed.size());
  vel::ByteWriter file(out);
  // Placeable header: the box is the bitmap in its own pixels, the inch its resolution,
  // so a reader sizes the picture as the bitmap was meant to be printed.
  METAFILEHEADER_PLACEABLE placeable{};
  placeable.key = kPlaceableKey;
  placeable.right = static_cast<std::int16_t>(w);
  placeable.bottom = static_cast<std::int16_t>(hgt);
  placeable.inch = static_cast<WORD>(dib.dpi > 0 ? dib.dpi : kDefaultBmpInch);
  placeable.checksum = PlaceableChecksum(placeable);
  WritePlaceable(file, placeable);

  const std::size_t headerAt = out.size();
  file.fill(0, kMetaHeaderBytes);
  std::uint32_t maxRecord = 0;
  auto keep = [&](std::uint32_t words) { maxRecord = words > maxRecord ? words : maxRecord; };
  keep(WriteRecord(file, META_SETMAPMODE, {MM_ANISOTROPIC}));
  keep(WriteRecord(file, META_SETWINDOWORG, {0, 0}));    // y, x
  keep(WriteRecord(file, META_SETWINDOWEXT, {hgt, w}));  // height, width
  keep(WriteRecord(file, META_STRETCHDIB,
                   {static_cast<std::uint16_t>(SRCCOPY & 0xFFFF), static_cast<std::uint16_t>(SRCCOPY >> 16),
                    static_cast<std::uint16_t>(DIB_RGB_COLORS), hgt, w, 0, 0, hgt, w, 0, 0},
                   &dib.packed));
  keep(WriteRecord(file, META_EOF, {}));

  vel::ByteWriter header{std::span(out).subspan(headerAt, kMetaHeaderBytes)};
  header.le16(1);  // memory metafile, as Windows writes to disk too
  header.le16(9);  // header words
  header.le16(0x0300);
  header.le32(static_cast<std::uint32_t>((out.size() - headerAt) / 2));
  header.le16(0);  // no objects
  header.le32(maxRecord);
  header.le16(0);
  return out;
}

bool BmpToPlaceableWmf(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
  BmpDib dib;
  if (!ParseBmp(data, size, dib)) return false;
  out = BuildPlaceableWmf(dib);
  return true;
}

}  // namespace vel::gdi::wmf
