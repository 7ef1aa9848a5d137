// Truevision Targa (TGA): colour-mapped, true-colour and grey images, raw or RLE.
//
// Targa has no signature, so the header is judged strictly: only the image types,
// depths and colour-map entry sizes that occur in real files pass, and the file must
// be long enough for everything the header announces before the pixels.
#include <algorithm>
#include <cstring>
#include <optional>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::size_t kFooterSize = 26;
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";
constexpr std::size_t kExtensionSize = 495;
constexpr std::size_t kExtensionAlphaType = 494;
// An RLE packet of two or more bytes yields at most 128 pixels; larger claims are
// impossible for the file. Raw files that are cut short get the same allowance, so a
// truncated file still opens (and decodes as far as it goes) without letting a few
// bytes request a huge bitmap.
constexpr std::uint64_t kMaxExpansion = 128;

enum ImageType : int {
  kMapped = 1,
  kTrueColor = 2,
  kGrey = 3,
  kRleMapped = 9,
  kRleTrueColor = 10,
  kRleGrey = 11,
};

struct Header {
  int idLength = 0;
  int mapType = 0;
  int type = 0;
  int mapFirst = 0;
  int mapLength = 0;
  int mapEntryBits = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  int alphaBits = 0;
  bool rightToLeft = false;
  bool topDown = false;
  std::size_t mapOffset = 0;
  std::size_t pixelOffset = 0;

  bool rle() const { return type >= 9; }
  int baseType() const { return rle() ? type - 8 : type; }
  int bytesPerPixel() const { return (depth + 7) / 8; }
};

bool ValidEntryBits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

bool ParseHeader(const std::uint8_t* p, std::size_t length, std::uint64_t fileSize, Header* h) {
  if (length < kHeaderSize || fileSize < kHeaderSize) return false;
  h->idLength = p[0];
  h->mapType = p[1];
  h->type = p[2];
  h->mapFirst = Le16(p + 3);
  h->mapLength = Le16(p + 5);
  h->mapEntryBits = p[7];
  h->width = Le16(p + 12);
  h->height = Le16(p + 14);
  h->depth = p[16];
  h->alphaBits = p[17] & 0x0F;
  h->rightToLeft = (p[17] & 0x10) != 0;
  h->topDown = (p[17] & 0x20) != 0;
  if (h->mapType > 1 || h->width == 0 || h->height == 0 || h->alphaBits > 8) return false;
  switch (h->baseType()) {
    case kMapped:
      if (h->type != kMapped && h->type != kRleMapped) return false;
      if (h->mapType != 1 || h->mapLength == 0 || h->depth != 8) return false;
      break;
    case kTrueColor:
      if (h->type != kTrueColor && h->type != kRleTrueColor) return false;
      if (h->depth != 15 && h->depth != 16 && h->depth != 24 && h->depth != 32) return false;
      break;
    case kGrey:
      // 16 bits are gray and alpha, a byte each.
      if (h->type != kGrey && h->type != kRleGrey) return false;
      if (h->depth != 8 && h->depth != 16) return false;
      break;
    default:
      return false;
  }
  // A map that is present must have an entry size Targa defines, even when the
  // pixels do not use it: anything else marks a file that is not a Targa.
  std::uint64_t mapBytes = 0;
  if (h->mapType == 1 && h->mapLength > 0) {
    if (!ValidEntryBits(h->mapEntryBits)) return false;
    mapBytes = static_cast<std::uint64_t>(h->mapLength) * ((h->mapEntryBits + 7) / 8);
  }
  h->mapOffset = kHeaderSize + h->idLength;
  h->pixelOffset = h->mapOffset + mapBytes;
  if (h->pixelOffset >= fileSize) return false;
  const std::uint64_t available = fileSize - h->pixelOffset;
  const std::uint64_t pixels = static_cast<std::uint64_t>(h->width) * h->height;
  if (static_cast<long long>(pixels) > vel::gdi::kMaxBitmapPixels) return false;
  if (h->rle()) return pixels <= available * kMaxExpansion;
  return available >= static_cast<std::uint64_t>(h->bytesPerPixel()) &&
         pixels <= available / h->bytesPerPixel() * kMaxExpansion;
}

std::uint8_t Scale5(unsigned v) { return static_cast<std::uint8_t>((v * 255 + 15) / 31); }

// A pixel of any depth as B, G, R, A.
struct Bgra {
  std::uint8_t b = 0, g = 0, r = 0, a = 255;
};

Bgra ReadColor(const std::uint8_t* p, int bits) {
  Bgra c;
  switch (bits) {
    case 15:
    case 16: {
      // The top bit of 16-bit pixels is an attribute bit that writers rarely fill in
      // meaningfully; we take these pixels as opaque.
      const unsigned v = Le16(p);
      c.b = Scale5(v & 0x1F);
      c.g = Scale5((v >> 5) & 0x1F);
      c.r = Scale5((v >> 10) & 0x1F);
      break;
    }
    case 24:
      c.b = p[0];
      c.g = p[1];
      c.r = p[2];
      break;
    case 32:
      c.b = p[0];
      c.g = p[1];
      c.r = p[2];
      c.a = p[3];
      break;
    default:
      break;
  }
  return c;
}

std::uint8_t OverWhite(std::uint8_t c, std::uint8_t a, bool premultiplied) {
  const unsigned background = 255u * (255u - a);
  const unsigned value = premultiplied ? c * 255u + background : c * a + background;
  return static_cast<std::uint8_t>(std::min(255u, (value + 127) / 255));
}

// How the alpha channel of 32-bit data is to be taken.
enum class AlphaUse { kIgnore, kStraight, kPremultiplied };

class TgaReader : public ImageReader {
 public:
  TgaReader(FileDataPtr file, const Header& header) : file_(std::move(file)), h_(header) {
    alpha_ = chooseAlpha();
    if (h_.baseType() == kMapped) buildMapPalette();
    if (h_.baseType() == kGrey) {
      palette_.resize(256);
      for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        palette_[i] = RGBQUAD{v, v, v, 0};
      }
    }
  }

  int pageCount() const override { return 1; }

  PageInfo pageInfo(int page) const override {
    PageInfo info;
    if (page != 0) return info;
    info.width = h_.width;
    info.height = h_.height;
    info.bitCount = heldBits();  // what decodePage holds: 15, 16 and 32 bits become 24
    info.colorsUsed = h_.baseType() == kMapped ? static_cast<unsigned>(std::min(h_.mapLength, 256))
                      : h_.baseType() == kGrey ? 256u
                                               : 0u;
    return info;
  }

  HBITMAP decodePage(int page) override {
    if (page != 0) return nullptr;
    HBITMAP bitmap = NewPageBitmap(h_.width, h_.height, heldBits(), palette_);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    const int bpp = h_.bytesPerPixel();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(h_.width) * bpp);
    Source source{file_->bytes.data() + h_.pixelOffset, file_->bytes.size() - h_.pixelOffset, h_.rle(), bpp};
    for (int r = 0; r < h_.height; ++r) {
      const int got = source.read(row.data(), h_.width);
      if (got == 0) {
        if (r == 0) {
          DeleteObject(bitmap);
          return nullptr;
        }
        break;  // truncated: rows not in the file keep the zero fill
      }
      storeRow(row.data(), got, view.row(h_.topDown ? r : h_.height - 1 - r));
      if (got < h_.width) break;
    }
    return bitmap;
  }

 private:
  int heldBits() const { return h_.baseType() == kTrueColor ? 24 : 8; }

  // Pixels in file order, raw or RLE; RLE packets run on across scanlines.
  struct Source {
    const std::uint8_t* data;
    std::size_t size;
    bool rle;
    int bpp;
    std::size_t pos = 0;
    int left = 0;         // pixels left in the current packet
    bool repeat = false;  // current packet repeats one pixel
    std::uint8_t value[4] = {0, 0, 0, 0};

    // Fills up to `count` pixels; returns how many were in the file.
    int read(std::uint8_t* out, int count) {
      const std::size_t n = static_cast<std::size_t>(bpp);
      if (!rle) {
        const std::size_t whole = std::min<std::size_t>(count, (size - pos) / n);
        std::memcpy(out, data + pos, whole * n);
        pos += whole * n;
        return static_cast<int>(whole);
      }
      int got = 0;
      while (got < count) {
        if (left == 0) {
          if (pos >= size) break;
          const std::uint8_t head = data[pos++];
          left = (head & 0x7F) + 1;
          repeat = (head & 0x80) != 0;
          if (repeat) {
            if (size - pos < n) {
              left = 0;
              pos = size;
              break;
            }
            std::memcpy(value, data + pos, n);
            pos += n;
          }
        }
        if (repeat) {
          const int k = std::min(left, count - got);
          for (int i = 0; i < k; ++i) std::memcpy(out + (got + i) * n, value, n);
          got += k;
          left -= k;
        } else {
          const int k = static_cast<int>(std::min<std::size_t>(std::min(left, count - got), (size - pos) / n));
          if (k == 0) {
            left = 0;
            pos = size;
            break;
          }
          std::memcpy(out + got * n, data + pos, k * n);
          pos += k * n;
          got += k;
          left -= k;
        }
      }
      return got;
    }
  };

  void storeRow(const std::uint8_t* pixels, int count, BYTE* out) const {
    const int bpp = h_.bytesPerPixel();
    for (int i = 0; i < count; ++i) {
      const int x = h_.rightToLeft ? h_.width - 1 - i : i;
      const std::uint8_t* p = pixels + static_cast<std::size_t>(i) * bpp;
      if (h_.baseType() != kTrueColor) {
        const bool alpha = h_.depth == 16 && alpha_ != AlphaUse::kIgnore;
        out[x] = alpha ? OverWhite(p[0], p[1], alpha_ == AlphaUse::kPremultiplied) : p[0];
        continue;
      }
      Bgra c = ReadColor(p, h_.depth);
      if (h_.depth == 32 && alpha_ != AlphaUse::kIgnore) {
        const bool pre = alpha_ == AlphaUse::kPremultiplied;
        c = Bgra{OverWhite(c.b, c.a, pre), OverWhite(c.g, c.a, pre), OverWhite(c.r, c.a, pre), 255};
      }
      out[3 * x] = c.b;
      out[3 * x + 1] = c.g;
      out[3 * x + 2] = c.r;
    }
  }

  // 32-bit files often carry junk in the fourth byte. We use it when the header says
  // the pixels have alpha bits, unless the extension area says the alpha is not
  // meaningful, and never when every pixel would come out fully transparent.
  AlphaUse chooseAlpha() const {
    const bool hasAlpha = h_.depth == 32 || (h_.baseType() == kGrey && h_.depth == 16);
    if (!hasAlpha || h_.alphaBits == 0) return AlphaUse::kIgnore;
    const auto& bytes = file_->bytes;
    AlphaUse use = AlphaUse::kStraight;
    if (bytes.size() >= kFooterSize &&
        std::memcmp(bytes.data() + bytes.size() - kFooterSize + 8, kFooterSignature, sizeof kFooterSignature) == 0) {
      const std::uint32_t extension = Le32(bytes.data() + bytes.size() - kFooterSize);
      if (extension != 0 && InRange(bytes.size(), extension, kExtensionSize) &&
          Le16(bytes.data() + extension) >= kExtensionSize) {
        const int type = bytes[extension + kExtensionAlphaType];
        if (type == 0 || type == 1 || type == 2) return AlphaUse::kIgnore;
        if (type == 4) use = AlphaUse::kPremultiplied;
      }
    }
    return allAlphaZero() ? AlphaUse::kIgnore : use;
  }

  bool allAlphaZero() const {
    const int bpp = h_.bytesPerPixel();  // alpha is the last byte of a pixel
    Source source{file_->bytes.data() + h_.pixelOffset, file_->bytes.size() - h_.pixelOffset, h_.rle(), bpp};
    std::vector<std::uint8_t> row(static_cast<std::size_t>(h_.width) * bpp);
    for (int r = 0; r < h_.height; ++r) {
      const int got = source.read(row.data(), h_.width);
      for (int i = 0; i < got; ++i) {
        if (row[static_cast<std::size_t>(i) * bpp + bpp - 1] != 0) return false;
      }
      if (got < h_.width) break;
    }
    return true;
  }

  // Pixel value v shows map entry v - first; values outside the map stay black.
  void buildMapPalette() {
    palette_.assign(256, RGBQUAD{0, 0, 0, 0});
    const int entryBytes = (h_.mapEntryBits + 7) / 8;
    const std::uint8_t* map = file_->bytes.data() + h_.mapOffset;
    const bool useAlpha = h_.mapEntryBits == 32 && h_.alphaBits > 0;
    for (int v = h_.mapFirst; v < 256 && v - h_.mapFirst < h_.mapLength; ++v) {
      Bgra c = ReadColor(map + static_cast<std::size_t>(v - h_.mapFirst) * entryBytes, h_.mapEntryBits);
      if (useAlpha) c = Bgra{OverWhite(c.b, c.a, false), OverWhite(c.g, c.a, false), OverWhite(c.r, c.a, false), 255};
      palette_[v] = RGBQUAD{c.b, c.g, c.r, 0};
    }
  }

  FileDataPtr file_;
  Header h_;
  AlphaUse alpha_ = AlphaUse::kIgnore;
  std::vector<RGBQUAD> palette_;
};

bool SniffTga(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  Header h;
  return ParseHeader(head, length, fileSize, &h);
}

std::unique_ptr<ImageReader> OpenTga(FileDataPtr file) {
  if (!file) return nullptr;
  Header h;
  if (!ParseHeader(file->bytes.data(), file->bytes.size(), file->bytes.size(), &h)) return nullptr;
  return std::make_unique<TgaReader>(std::move(file), h);
}

}  // namespace

const FormatDescriptor kTgaFormat = {"TGA", SniffTga, OpenTga};

}  // namespace lorimer::formats
