// TIFF writing through libtiff over a memory buffer. A new page is written as the last
// directory; appending opens the existing bytes in libtiff's append mode, which leaves
// every existing byte where it is and links our directory at the end of the chain.
#include <algorithm>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "imagelib/formats/tiff_memory.h"
#include "imagelib/formats/write_util.h"
#include "imagelib/formats/writer.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

// Appending never grows a file beyond this; larger results come from a damaged chain.
constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 32;
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{256} << 20;

// One unsigned field of 2, 4 or 8 bytes in the file's byte order.
std::uint64_t ReadField(vel::ByteReader& in, bool little, int size) {
  switch (size) {
    case 2: return little ? in.le16() : in.be16();
    case 4: return little ? in.le32() : in.be32();
    default: {
      if (little) return in.le64();
      const std::uint64_t high = in.be32();
      return high << 32 | in.be32();
    }
  }
}

// libtiff's append mode follows the existing directory chain to its end without
// checking it, so a chain that loops or leaves the file is refused here first.
bool DirectoryChainEnds(const std::vector<std::uint8_t>& bytes) {
  vel::ByteReader in(bytes);
  if (bytes.size() < 8) return false;
  const std::uint8_t order = in.u8();
  if (in.u8() != order || (order != 'I' && order != 'M')) return false;
  const bool little = order == 'I';
  const std::uint64_t version = ReadField(in, little, 2);
  const bool big = version == 43;
  // BigTIFF names its offset size (8) and a reserved word before the first offset.
  if (big && (ReadField(in, little, 2) != 8 || !in.skip(2))) return false;
  if (version != 42 && !big) return false;
  const int offsetSize = big ? 8 : 4;
  const int countSize = big ? 8 : 2;
  const int entrySize = big ? 20 : 12;
  std::uint64_t offset = ReadField(in, little, offsetSize);
  if (!in) return false;
  std::vector<std::uint64_t> seen;
  while (offset != 0) {
    if (seen.size() >= 65536 || std::find(seen.begin(), seen.end(), offset) != seen.end()) return false;
    seen.push_back(offset);
    in.seek(offset);
    const std::uint64_t count = ReadField(in, little, countSize);
    if (!in || count > (bytes.size() - offset) / entrySize) return false;
    in.skip(count * entrySize);
    offset = ReadField(in, little, offsetSize);
    if (!in) return false;
  }
  return !seen.empty();
}

int Luminance(const RGBQUAD& c) { return c.rgbRed * 299 + c.rgbGreen * 587 + c.rgbBlue * 114; }

// 0 when the name is unknown; COMPRESSION_NONE when no compression is asked for.
int CompressionOf(const WriteOptions& options) {
  const std::string& name = options.tiffCompress;
  if (name.empty()) return options.compress ? COMPRESSION_LZW : COMPRESSION_NONE;
  if (name == "LZW") return COMPRESSION_LZW;
  if (name == "PACKBITS") return COMPRESSION_PACKBITS;
  if (name == "MODCCITT") return COMPRESSION_CCITTRLE;
  if (name == "GROUP3") return COMPRESSION_CCITTFAX3;
  if (name == "GROUP4") return COMPRESSION_CCITTFAX4;
  if (name == "NONE") return COMPRESSION_NONE;
  return 0;
}

}  // namespace

bool WriteTiff(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
               std::vector<std::uint8_t>* out) {
  vel::gdi::BitmapView view;
  if (!out || !page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (bits != 24 && (!view.colors || view.colorCount <= 0)) return false;
  if (view.width <= 0 || view.height <= 0) return false;
  const int compression = CompressionOf(options);
  if (compression == 0) return false;
  const bool ccitt = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                     compression == COMPRESSION_CCITTFAX4;
  // The fax codings only describe bilevel pages.
  if (ccitt && bits != 1) return false;
  if (options.fillOrder != 1 && options.fillOrder != 2) return false;

  // How the page's indexes are told: gray levels, white-is-zero, or a colour map.
  int photometric = PHOTOMETRIC_RGB;
  bool invert = false;
  if (bits == 1) {
    const RGBQUAD c0 = view.colors[0];
    const RGBQUAD c1 = view.colorCount > 1 ? view.colors[1] : RGBQUAD{};
    const bool blackWhite = IsGrayRamp(view, 1);
    const bool whiteBlack = c0.rgbRed == 255 && c0.rgbGreen == 255 && c0.rgbBlue == 255 && c1.rgbRed == 0 &&
                            c1.rgbGreen == 0 && c1.rgbBlue == 0 && view.colorCount > 1;
    if (blackWhite)
      photometric = PHOTOMETRIC_MINISBLACK;
    else if (whiteBlack)
      photometric = PHOTOMETRIC_MINISWHITE;
    else if (!ccitt)
      photometric = PHOTOMETRIC_PALETTE;
    else {
      // Fax pages have no colours: the lighter entry becomes white.
      photometric = PHOTOMETRIC_MINISWHITE;
      invert = Luminance(c0) < Luminance(c1);
    }
  } else if (bits != 24) {
    photometric = IsGrayRamp(view, bits) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
  }

  if (existing && !DirectoryChainEnds(*existing)) return false;
  std::vector<std::uint8_t> bytes;
  if (existing) bytes = *existing;
  MemoryTiff file(bytes, existing ? "a" : "w", kMaxFileSize, kMaxLibraryAllocation);
  TIFF* tif = file.get();
  if (!tif) return false;

  const std::uint32_t height = static_cast<std::uint32_t>(view.height);
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(view.width)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bits == 24 ? 8 : bits)) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(bits == 24 ? 3 : 1)) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, static_cast<std::uint16_t>(photometric)) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(compression)) &&
            TIFFSetField(tif, TIFFTAG_FILLORDER,
                         static_cast<std::uint16_t>(options.fillOrder == 2 ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB)) &&
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, static_cast<std::uint32_t>(options.newSubfileType)) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (ok && photometric == PHOTOMETRIC_PALETTE) {
    const int n = 1 << bits;
    std::vector<std::uint16_t> r(n), g(n), b(n);
    for (int i = 0; i < n && i < view.colorCount; ++i) {
      r[i] = static_cast<std::uint16_t>(view.colors[i].rgbRed * 257);
      g[i] = static_cast<std::uint16_t>(view.colors[i].rgbGreen * 257);
      b[i] = static_cast<std::uint16_t>(view.colors[i].rgbBlue * 257);
    }
    ok = TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  }
  if (ok && !options.artist.empty()) ok = TIFFSetField(tif, TIFFTAG_ARTIST, options.artist.c_str());
  if (ok && !options.copyright.empty()) ok = TIFFSetField(tif, TIFFTAG_COPYRIGHT, options.copyright.c_str());
  std::uint32_t rows =
      options.rowsPerStrip > 0 ? static_cast<std::uint32_t>(options.rowsPerStrip) : TIFFDefaultStripSize(tif, 0);
  rows = std::clamp<std::uint32_t>(rows, 1, height);
  if (ok) ok = TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
  if (!ok) return false;

  const size_t rowBytes =
      bits == 24 ? static_cast<size_t>(view.width) * 3 : (static_cast<size_t>(view.width) * bits + 7) / 8;
  std::vector<std::uint8_t> line(rowBytes);
  for (int y = 0; y < view.height; ++y) {
    const BYTE* src = view.row(y);
    if (bits == 24) {
      for (int x = 0; x < view.width; ++x) {
        line[x * 3] = src[x * 3 + 2];
        line[x * 3 + 1] = src[x * 3 + 1];
        line[x * 3 + 2] = src[x * 3];
      }
    } else {
      std::memcpy(line.data(), src, rowBytes);
      if (invert)
        for (auto& v : line) v = static_cast<std::uint8_t>(~v);
    }
    if (TIFFWriteScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0) < 0) return false;
  }
  if (!TIFFWriteDirectory(tif)) return false;
  file.close();
  *out = std::move(bytes);
  return true;
}

}  // namespace lorimer::formats
