// Truevision Targa (TGA): colour-mapped, true-colour and grey images, raw or RLE.
//
// Targa has no signature, so the header is judged strictly: only the image types,
// depths and colour-map entry sizes that occur in real files pass, and the file must
// be long enough for everything the header announces before the pixels.
#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "platform/base/bytes.h"
#include "imagelib/formats/page_canvas.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/signatureless.h"

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
  // What a decoded page holds: 15, 16 and 32 bits become 24, grey and indices 8.
  int heldBits() const { return baseType() == kTrueColor ? 24 : 8; }
};

bool ValidEntryBits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// The types and depths real files use; anything else marks a file that is not a Targa.
vel::Expected<void> CheckImageType(const Header& h) {
  const auto depth = [&](const char* what) {
    return vel::Fail("TGA header: " + std::to_string(h.depth) + "-bit " + what + " in an image of type " +
                     std::to_string(h.type));
  };
  const auto unknown = [&] { return vel::Fail("TGA header: image type " + std::to_string(h.type)); };
  switch (h.baseType()) {
    case kMapped:
      if (h.type != kMapped && h.type != kRleMapped) return unknown();
      if (h.mapType != 1 || h.mapLength == 0) return vel::Fail("TGA header: a colour-mapped image without a map");
      if (h.depth != 8) return depth("indices");
      return {};
    case kTrueColor:
      if (h.type != kTrueColor && h.type != kRleTrueColor) return unknown();
      if (h.depth != 15 && h.depth != 16 && h.depth != 24 && h.depth != 32) return depth("pixels");
      return {};
    case kGrey:
      // 16 bits are gray and alpha, a byte each.
      if (h.type != kGrey && h.type != kRleGrey) return unknown();
      if (h.depth != 8 && h.depth != 16) return depth("pixels");
      return {};
    default: return unknown();
  }
}

vel::Expected<Header> ParseHeader(vel::ByteReader in, std::uint64_t fileSize) {
  Header h;
  h.idLength = in.u8();
  h.mapType = in.u8();
  h.type = in.u8();
  h.mapFirst = in.le16();
  h.mapLength = in.le16();
  h.mapEntryBits = in.u8();
  in.skip(4);  // x and y origin
  h.width = in.le16();
  h.height = in.le16();
  h.depth = in.u8();
  const std::uint8_t descriptor = in.u8();
  if (!in) return vel::Fail("TGA header: " + in.failure());
  if (fileSize < kHeaderSize) return vel::Fail("TGA header: file of " + std::to_string(fileSize) + " bytes");
  h.alphaBits = descriptor & 0x0F;
  h.rightToLeft = (descriptor & 0x10) != 0;
  h.topDown = (descriptor & 0x20) != 0;
  if (h.mapType > 1) return vel::Fail("TGA header: colour map type " + std::to_string(h.mapType));
  if (h.width == 0 || h.height == 0) {
    return vel::Fail("TGA header: size " + std::to_string(h.width) + " x " + std::to_string(h.height));
  }
  if (h.alphaBits > 8) return vel::Fail("TGA header: " + std::to_string(h.alphaBits) + " alpha bits");
  if (auto type = CheckImageType(h); !type) return vel::Fail(type.error());
  // A map that is present must have an entry size Targa defines, even when the
  // pixels do not use it: anything else marks a file that is not a Targa.
  std::uint64_t mapBytes = 0;
  if (h.mapType == 1 && h.mapLength > 0) {
    if (!ValidEntryBits(h.mapEntryBits)) {
      return vel::Fail("TGA header: colour map entries of " + std::to_string(h.mapEntryBits) + " bits");
    }
    mapBytes = static_cast<std::uint64_t>(h.mapLength) * ((h.mapEntryBits + 7) / 8);
  }
  h.mapOffset = kHeaderSize + h.idLength;
  h.pixelOffset = h.mapOffset + mapBytes;
  if (h.pixelOffset >= fileSize) {
    return vel::Fail("TGA header: pixels would start at " + std::to_string(h.pixelOffset) + ", past the end of " +
                     std::to_string(fileSize) + " bytes");
  }
  if (auto size = CheckPictureSize(h.width, h.height, h.heldBits(), fileSize, kMaxExpansion); !size) {
    return vel::Fail("TGA header: " + size.reason());
  }
  const std::uint64_t available = fileSize - h.pixelOffset;
  const std::uint64_t pixels = static_cast<std::uint64_t>(h.width) * h.height;
  const bool fits = h.rle() ? pixels <= available * kMaxExpansion
                            : available >= static_cast<std::uint64_t>(h.bytesPerPixel()) &&
                                  pixels <= available / h.bytesPerPixel() * kMaxExpansion;
  if (!fits) {
    return vel::Fail("TGA header: " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                     " pixels cannot come from " + std::to_string(available) + " bytes");
  }
  return h;
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
      const unsigned v = p[0] | (p[1] << 8);
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
    default: break;
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

// Pixels in file order, raw or RLE; RLE packets run on across scanlines.
class PixelSource {
 public:
  PixelSource(std::span<const std::uint8_t> data, bool rle, int bpp) : data_(data), rle_(rle), bpp_(bpp) {}

  // Fills up to `count` pixels; returns how many were in the file.
  int read(std::uint8_t* out, int count) {
    const std::size_t n = static_cast<std::size_t>(bpp_);
    const std::size_t size = data_.size();
    if (!rle_) {
      const std::size_t whole = std::min<std::size_t>(count, (size - pos_) / n);
      if (whole > 0) std::memcpy(out, &data_[pos_], whole * n);
      pos_ += whole * n;
      return static_cast<int>(whole);
    }
    int got = 0;
    while (got < count) {
      if (left_ == 0) {
        if (pos_ >= size) break;
        const std::uint8_t head = data_[pos_++];
        left_ = (head & 0x7F) + 1;
        repeat_ = (head & 0x80) != 0;
        if (repeat_) {
          if (size - pos_ < n) {
            left_ = 0;
            pos_ = size;
            break;
          }
          std::memcpy(value_, &data_[pos_], n);
          pos_ += n;
        }
      }
      if (repeat_) {
        const int k = std::min(left_, count - got);
        for (int i = 0; i < k; ++i) std::memcpy(out + (got + i) * n, value_, n);
        got += k;
        left_ -= k;
      } else {
        const int k = static_cast<int>(std::min<std::size_t>(std::min(left_, count - got), (size - pos_) / n));
        if (k == 0) {
          left_ = 0;
          pos_ = size;
          break;
        }
        std::memcpy(out + got * n, &data_[pos_], k * n);
        pos_ += k * n;
        got += k;
        left_ -= k;
      }
    }
    return got;
  }

 private:
  std::span<const std::uint8_t> data_;
  bool rle_;
  int bpp_;
  std::size_t pos_ = 0;
  int left_ = 0;         // pixels left in the current packet
  bool repeat_ = false;  // current packet repeats one pixel
  std::uint8_t value_[4] = {0, 0, 0, 0};
};

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
    if (page != 0) return {};
    unsigned colors = 0;
    if (h_.baseType() == kMapped) colors = static_cast<unsigned>(std::min(h_.mapLength, 256));
    if (h_.baseType() == kGrey) colors = 256;
    return {.width = h_.width, .height = h_.height, .bitCount = h_.heldBits(), .colorsUsed = colors};
  }

  Decoded decode(int page) override {
    auto canvas = OnlyPageCanvas("TGA", page, h_.width, h_.height, h_.heldBits(), palette_);
    if (!canvas) return vel::Fail(canvas.error());
    const vel::gdi::BitmapView& view = canvas->view;
    const int bpp = h_.bytesPerPixel();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(h_.width) * bpp);
    PixelSource source = pixels();
    for (int r = 0; r < h_.height; ++r) {
      const int got = source.read(row.data(), h_.width);
      if (got == 0) {
        if (r == 0) return vel::Fail("TGA: the data holds no whole pixel");
        break;  // truncated: rows not in the file keep the zero fill
      }
      storeRow(row.data(), got, view.row(h_.topDown ? r : h_.height - 1 - r));
      if (got < h_.width) break;
    }
    return std::move(canvas->bitmap);
  }

 private:
  PixelSource pixels() const {
    return PixelSource(std::span<const std::uint8_t>(file_->bytes).subspan(h_.pixelOffset), h_.rle(),
                       h_.bytesPerPixel());
  }

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

  // The alpha type the extension area gives (0..4), or -1 when the file has none.
  int extensionAlphaType() const {
    vel::ByteReader file(file_->bytes);
    if (file.size() < kFooterSize) return -1;
    vel::ByteReader footer = file.sub(file.size() - kFooterSize, kFooterSize);
    const std::uint32_t extension = footer.le32();
    footer.skip(4);  // developer directory
    const auto signature = footer.bytes(sizeof kFooterSignature);
    if (!footer || std::memcmp(signature.data(), kFooterSignature, sizeof kFooterSignature) != 0) return -1;
    if (extension == 0) return -1;
    vel::ByteReader area = file.sub(extension, kExtensionSize);
    if (!file || area.le16() < kExtensionSize) return -1;
    area.seek(kExtensionAlphaType);
    return area.u8();
  }

  // 32-bit files often carry junk in the fourth byte. We use it when the header says
  // the pixels have alpha bits, unless the extension area says the alpha is not
  // meaningful, and never when every pixel would come out fully transparent.
  AlphaUse chooseAlpha() const {
    const bool hasAlpha = h_.depth == 32 || (h_.baseType() == kGrey && h_.depth == 16);
    if (!hasAlpha || h_.alphaBits == 0) return AlphaUse::kIgnore;
    AlphaUse use = AlphaUse::kStraight;
    const int type = extensionAlphaType();
    if (type == 0 || type == 1 || type == 2) return AlphaUse::kIgnore;
    if (type == 4) use = AlphaUse::kPremultiplied;
    return allAlphaZero() ? AlphaUse::kIgnore : use;
  }

  bool allAlphaZero() const {
    const int bpp = h_.bytesPerPixel();  // alpha is the last byte of a pixel
    PixelSource source = pixels();
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
    // The header check put the whole map inside the file.
    vel::ByteReader map = vel::ByteReader(file_->bytes).sub(h_.mapOffset, h_.pixelOffset - h_.mapOffset);
    const bool useAlpha = h_.mapEntryBits == 32 && h_.alphaBits > 0;
    for (int v = h_.mapFirst; v < 256 && v - h_.mapFirst < h_.mapLength; ++v) {
      const auto entry = map.sub(static_cast<std::size_t>(v - h_.mapFirst) * entryBytes, entryBytes).all();
      Bgra c = ReadColor(entry.data(), h_.mapEntryBits);
      if (useAlpha) c = Bgra{OverWhite(c.b, c.a, false), OverWhite(c.g, c.a, false), OverWhite(c.r, c.a, false), 255};
      palette_[v] = RGBQUAD{c.b, c.g, c.r, 0};
    }
  }

  FileDataPtr file_;
  Header h_;
  AlphaUse alpha_ = AlphaUse::kIgnore;
  std::vector<RGBQUAD> palette_;
};

}  // namespace

const FormatDescriptor kTgaFormat = {"TGA", SniffByHeader<ParseHeader>, OpenByHeader<ParseHeader, TgaReader>};

}  // namespace lorimer::formats
