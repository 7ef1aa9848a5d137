// Windows bitmap reader for the codec (BMP, RLE, DIB files).
#include "imagelib/formats/bmp.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "imagelib/formats/page_canvas.h"
#include "imagelib/formats/reader.h"
#include "platform/base/bytes.h"
#include "platform/gdi/metafile_records.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // OS/2 1.x
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMasksInHeaderSize = 52;  // an info header that holds the three masks
constexpr std::uint32_t kOs2HeaderSize = 64;      // OS/2 2.x
constexpr std::uint32_t kMaxHeaderSize = 4096;
constexpr std::size_t kMaskBytes = 12;

// How much picture PlausibleBmpSize lets a huge file have for its bytes of data.
constexpr long long kAlwaysFinePixels = 16LL << 20;
constexpr long long kRlePixelsPerByte = 1024;
constexpr long long kRawDataShare = 64;  // raw data may be cut to 1/64 of the picture

std::span<std::uint8_t> TableBytes(RGBQUAD* colors, std::size_t count) {
  return {reinterpret_cast<std::uint8_t*>(colors), count * sizeof(RGBQUAD)};
}

bool Rle(const BITMAPINFOHEADER& h) { return h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4; }

// The most pixels a byte of data may stand for under PlausibleBmpSize, rounded up so
// that the shared size rule never refuses what that test lets through.
std::uint64_t PixelsPerDataByte(const BITMAPINFOHEADER& h) {
  if (Rle(h)) return kRlePixelsPerByte;
  const std::uint64_t bits = h.biBitCount;
  return (kRawDataShare * 8 + bits - 1) / bits;
}

// The info header and the masks or colour table after it; the core form is widened.
vel::Expected<BITMAPINFO256> ReadBitmapInfo(vel::ByteReader& in, std::uint32_t headerSize) {
  BITMAPINFO256 info{};
  const std::size_t start = in.position();
  if (headerSize == kCoreHeaderSize) {
    const auto core = in.rest();
    if (!ConvertCoreHeader(core.data(), core.size(), &info, nullptr)) return vel::Fail("BMP header: bad core header");
    return info;
  }
  if (headerSize < kInfoHeaderSize || headerSize > kMaxHeaderSize) {
    return vel::Fail("BMP header: info header of " + std::to_string(headerSize) + " bytes");
  }
  vel::ByteReader header = in.take(headerSize);
  if (!in) return vel::Fail("BMP header: info header " + in.failure());
  info.bmiHeader = vel::gdi::ReadBitmapInfoHeader(header);
  BITMAPINFOHEADER& h = info.bmiHeader;
  h.biSize = kInfoHeaderSize;
  if (headerSize == kOs2HeaderSize && h.biCompression > BI_BITFIELDS) {
    return vel::Fail("BMP header: OS/2 compression " + std::to_string(h.biCompression) + " is not supported");
  }
  if (h.biCompression == BI_BITFIELDS) {
    // Longer headers hold the masks themselves; a 40-byte one is followed by them.
    vel::ByteReader& masks = headerSize >= kMasksInHeaderSize ? header : in;
    if (!masks.read(TableBytes(info.bmiColors, kMaskBytes / sizeof(RGBQUAD)))) {
      return vel::Fail("BMP header: bit field masks missing at offset " + std::to_string(start + headerSize));
    }
  } else if (h.biBitCount <= 8) {
    std::size_t n = std::size_t{1} << h.biBitCount;
    if (h.biClrUsed > 0 && h.biClrUsed < n) n = h.biClrUsed;
    // Short colour tables happen; the missing entries stay black.
    in.read(TableBytes(info.bmiColors, std::min(n, in.remaining() / sizeof(RGBQUAD))));
  }
  return info;
}

vel::Expected<void> CheckHeader(const BITMAPINFOHEADER& h) {
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) {
    return vel::Fail("BMP header: size " + std::to_string(h.biWidth) + " x " + std::to_string(h.biHeight));
  }
  if (h.biPlanes != 1) return vel::Fail("BMP header: " + std::to_string(h.biPlanes) + " planes");
  if (!vel::gdi::IsDibBitCount(h.biBitCount))
    return vel::Fail("BMP header: " + std::to_string(h.biBitCount) + " bits per pixel");
  bool fits = true;
  switch (h.biCompression) {
    case BI_RGB: break;
    case BI_RLE8: fits = h.biBitCount == 8 && h.biHeight > 0; break;
    case BI_RLE4: fits = h.biBitCount == 4 && h.biHeight > 0; break;
    case BI_BITFIELDS: fits = h.biBitCount == 16 || h.biBitCount == 32; break;
    default: return vel::Fail("BMP header: compression " + std::to_string(h.biCompression));
  }
  if (!fits) {
    return vel::Fail("BMP header: compression " + std::to_string(h.biCompression) + " does not fit " +
                     std::to_string(h.biBitCount) + " bits per pixel" + (h.biHeight < 0 ? ", top-down" : ""));
  }
  return {};
}

}  // namespace

bool ConvertCoreHeader(const std::uint8_t* in, std::size_t size, BITMAPINFO256* out, std::size_t* consumed) {
  vel::ByteReader core(in, size);
  const std::uint32_t headerSize = core.le32();
  const std::uint16_t width = core.le16();
  const std::uint16_t height = core.le16();
  const std::uint16_t planes = core.le16();
  const std::uint16_t bitCount = core.le16();
  if (!core || headerSize != kCoreHeaderSize) return false;
  BITMAPINFOHEADER& h = out->bmiHeader;
  h = BITMAPINFOHEADER{};
  h.biSize = kInfoHeaderSize;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = planes;
  h.biBitCount = bitCount;
  h.biCompression = BI_RGB;
  std::size_t used = kCoreHeaderSize;
  if (bitCount <= 8 && bitCount > 0) {
    // A short table keeps the colours it has.
    const std::size_t n = std::min(std::size_t{1} << bitCount, core.remaining() / 3);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t blue = core.u8(), green = core.u8(), red = core.u8();
      out->bmiColors[i] = RGBQUAD{blue, green, red, 0};
    }
    h.biClrUsed = static_cast<DWORD>(n);
    used += 3 * n;
  }
  if (consumed) *consumed = used;
  return true;
}

bool PlausibleBmpSize(const BITMAPINFOHEADER& h, std::size_t bitsSize) {
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  long long pixels = static_cast<long long>(h.biWidth) * height;
  if (pixels > vel::gdi::kMaxBitmapPixels) return false;
  if (pixels <= kAlwaysFinePixels) return true;
  // A depth we cannot draw (0 announces embedded JPEG or PNG data) has no row
  // size to weigh the data against: a big picture of it is not believed.
  if (!vel::gdi::IsDibBitCount(h.biBitCount)) return false;
  if (Rle(h)) return static_cast<long long>(bitsSize) * kRlePixelsPerByte >= pixels;
  long long need = static_cast<long long>(vel::gdi::DibImageBytes(h));
  return static_cast<long long>(bitsSize) * kRawDataShare >= need;
}

vel::Expected<BmpLayout> ParseBmp(std::span<const std::uint8_t> file) {
  vel::ByteReader in(file);
  const std::uint8_t b = in.u8(), m = in.u8();
  in.skip(8);  // the file size and reserved words, which writers fill in carelessly
  const std::uint32_t offBits = in.le32();
  const std::uint32_t headerSize = in.le32();
  if (!in) return vel::Fail("BMP header: " + in.failure());
  if (b != 'B' || m != 'M') return vel::Fail("BMP header: no BM signature");
  if (file.size() < kFileHeaderSize + kCoreHeaderSize) {
    return vel::Fail("BMP header: " + std::to_string(file.size()) + " bytes are too few for a bitmap");
  }
  in.seek(kFileHeaderSize);
  auto info = ReadBitmapInfo(in, headerSize);
  if (!info) return vel::Fail(info.error());
  BmpLayout layout;
  layout.info = *info;
  const BITMAPINFOHEADER& h = layout.info.bmiHeader;
  if (auto valid = CheckHeader(h); !valid) return vel::Fail(valid.error());
  if (offBits < kFileHeaderSize + kCoreHeaderSize || offBits > file.size()) {
    return vel::Fail("BMP header: pixel data offset " + std::to_string(offBits) + " outside the file of " +
                     std::to_string(file.size()) + " bytes");
  }
  layout.bitsOffset = offBits;
  layout.bitsSize = file.size() - offBits;
  const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  if (auto size = CheckPictureSize(h.biWidth, height, h.biBitCount, layout.bitsSize, PixelsPerDataByte(h)); !size) {
    return vel::Fail("BMP header: " + size.reason());
  }
  if (!PlausibleBmpSize(h, layout.bitsSize)) {
    return vel::Fail("BMP header: " + std::to_string(h.biWidth) + " x " + std::to_string(height) +
                     " pixels cannot come from " + std::to_string(layout.bitsSize) + " bytes of pixel data");
  }
  if ((h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) && layout.bitsSize == 0) {
    // Truncated pixel data is still shown (the missing rows decode as zero), but some must be there.
    return vel::Fail("BMP header: no pixel data");
  }
  return layout;
}

namespace {

class BmpReader : public ImageReader {
 public:
  BmpReader(FileDataPtr file, const BmpLayout& layout) : file_(std::move(file)), layout_(layout) {}
  int pageCount() const override { return 1; }
  PageInfo pageInfo(int) const override {
    const BITMAPINFOHEADER& h = layout_.info.bmiHeader;
    PageInfo p;
    p.width = h.biWidth;
    p.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    p.bitCount = heldBits();  // 16 and 32 bits are held as 24, RLE as 8
    p.colorsUsed = p.bitCount <= 8 ? h.biClrUsed : 0;
    p.compression = h.biCompression;
    p.xDpi = static_cast<int>(h.biXPelsPerMeter * 254LL / 10000);
    p.yDpi = static_cast<int>(h.biYPelsPerMeter * 254LL / 10000);
    if (p.xDpi < 0) p.xDpi = 0;
    if (p.yDpi < 0) p.yDpi = 0;
    return p;
  }
  Decoded decode(int page) override;

 private:
  int heldBits() const {
    const BITMAPINFOHEADER& h = layout_.info.bmiHeader;
    if (h.biBitCount > 8) return 24;
    return h.biCompression == BI_RGB ? h.biBitCount : 8;
  }

  FileDataPtr file_;
  BmpLayout layout_;
};

Decoded BmpReader::decode(int page) {
  if (page != 0) return vel::Fail("BMP: no page " + std::to_string(page));
  const BITMAPINFOHEADER& h = layout_.info.bmiHeader;
  int width = h.biWidth;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const auto bits = std::span<const std::uint8_t>(file_->bytes).subspan(layout_.bitsOffset, layout_.bitsSize);
  bool indexed = h.biBitCount <= 8;
  std::vector<RGBQUAD> palette;
  if (indexed) palette.assign(layout_.info.bmiColors, layout_.info.bmiColors + (1 << h.biBitCount));
  int outBits = heldBits();
  if (outBits == 8 && palette.size() < 256) palette.resize(256, RGBQUAD{0, 0, 0, 0});
  auto canvas = NewPageCanvas(width, height, outBits, palette);
  if (!canvas) return vel::Fail("BMP: " + canvas.reason());
  const vel::gdi::BitmapView& v = canvas->view;
  vel::gdi::OwnedBitmap& bmp = canvas->bitmap;

  if (indexed && h.biCompression == BI_RGB) {
    // Keep the indices as they are; rows missing at the end of a short file stay 0.
    size_t stride = ((static_cast<size_t>(width) * h.biBitCount + 31) / 32) * 4;
    for (int r = 0; r < height; ++r) {
      size_t at = static_cast<size_t>(h.biHeight < 0 ? r : height - 1 - r) * stride;
      if (at >= bits.size()) continue;
      const auto row = bits.subspan(at, std::min(stride, bits.size() - at));
      std::memcpy(v.row(r), row.data(), row.size());
    }
    return std::move(bmp);
  }
  // Everything else goes through the DIB transfer, which knows RLE and bit fields.
  // A cut-off file gives the rows it has (the first stored ones); the rest stay 0.
  UINT lines = static_cast<UINT>(height);
  if (!Rle(h)) {
    size_t stride = ((static_cast<size_t>(width) * h.biBitCount + 31) / 32) * 4;
    lines = static_cast<UINT>(std::min<size_t>(height, bits.size() / stride));
    if (lines == 0) return vel::Fail("BMP: not one whole row of pixel data");
  }
  vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  int done = 0;
  {
    vel::gdi::ScopedSelect select(dc.get(), bmp.get());
    // Bottom-up rows fill from the bottom, top-down rows from the top.
    int yDest = h.biHeight < 0 ? 0 : height - static_cast<int>(lines);
    done = vel::gdi::SetDIBitsToDeviceN(dc.get(), 0, yDest, width, lines, 0, 0, 0, lines, bits.data(), bits.size(),
                                        reinterpret_cast<const BITMAPINFO*>(&layout_.info), DIB_RGB_COLORS);
  }
  if (done <= 0) return vel::Fail("BMP: the pixel data could not be decoded");
  return std::move(bmp);
}

bool Sniff(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  vel::ByteReader in(head, length);
  return length >= kFileHeaderSize + kCoreHeaderSize && in.u8() == 'B' && in.u8() == 'M';
}

Opened Open(FileDataPtr file) {
  if (!file) return vel::Fail("BMP: no file");
  auto layout = ParseBmp(file->bytes);
  if (!layout) return vel::Fail(layout.error());
  return std::make_unique<BmpReader>(std::move(file), *layout);
}

}  // namespace

const FormatDescriptor kBmpFormat{"BMP", Sniff, Open};

}  // namespace lorimer::formats
