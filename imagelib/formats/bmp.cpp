// Windows bitmap reader for the codec (BMP, RLE, DIB files).
#include "imagelib/formats/bmp.h"

#include <algorithm>
#include <cstring>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {

bool ConvertCoreHeader(const std::uint8_t* in, std::size_t size, BITMAPINFO256* out, std::size_t* consumed) {
  if (size < 12 || Le32(in) != 12) return false;
  BITMAPINFOHEADER& h = out->bmiHeader;
  h = BITMAPINFOHEADER{};
  h.biSize = 40;
  h.biWidth = Le16(in + 4);
  h.biHeight = Le16(in + 6);
  h.biPlanes = Le16(in + 8);
  h.biBitCount = Le16(in + 10);
  h.biCompression = BI_RGB;
  size_t used = 12;
  if (h.biBitCount <= 8 && h.biBitCount > 0) {
    size_t n = size_t(1) << h.biBitCount;
    size_t avail = (size - 12) / 3;
    n = std::min(n, avail);
    for (size_t i = 0; i < n; ++i)
      out->bmiColors[i] = RGBQUAD{in[12 + 3 * i], in[13 + 3 * i], in[14 + 3 * i], 0};
    h.biClrUsed = static_cast<DWORD>(n);
    used += 3 * n;
  }
  if (consumed) *consumed = used;
  return true;
}

bool PlausibleBmpSize(const BITMAPINFOHEADER& h, std::size_t bitsSize) {
  constexpr long long kAlwaysFine = 16LL << 20;  // pixels
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  long long pixels = static_cast<long long>(h.biWidth) * height;
  if (pixels > vel::gdi::kMaxBitmapPixels) return false;
  if (pixels <= kAlwaysFine) return true;
  if (h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4)
    return static_cast<long long>(bitsSize) * 1024 >= pixels;
  long long need = static_cast<long long>(vel::gdi::DibImageBytes(h));
  return static_cast<long long>(bitsSize) * 64 >= need;
}

bool ParseBmp(const std::uint8_t* data, std::size_t size, BmpLayout* layout) {
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
  size_t offBits = Le32(data + 10);
  size_t headerSize = Le32(data + 14);
  BITMAPINFO256& info = layout->info;
  info = BITMAPINFO256{};
  if (headerSize == 12) {
    if (!ConvertCoreHeader(data + 14, size - 14, &info, nullptr)) return false;
  } else {
    if (headerSize < 40 || headerSize > 4096 || !InRange(size, 14, headerSize)) return false;
    std::memcpy(&info.bmiHeader, data + 14, 40);
    BITMAPINFOHEADER& h = info.bmiHeader;
    h.biSize = 40;
    const std::uint8_t* after = data + 14 + headerSize;
    size_t left = size - 14 - headerSize;
    if (headerSize == 64 && h.biCompression > BI_BITFIELDS) return false;  // OS/2 2.x Huffman/RLE24
    if (h.biCompression == BI_BITFIELDS) {
      if (headerSize >= 52) {
        std::memcpy(info.bmiColors, data + 14 + 40, 12);
      } else {
        if (left < 12) return false;
        std::memcpy(info.bmiColors, after, 12);
      }
    } else if (h.biBitCount <= 8) {
      size_t n = size_t(1) << h.biBitCount;
      if (h.biClrUsed > 0 && h.biClrUsed < n) n = h.biClrUsed;
      // Short colour tables happen; the missing entries stay black.
      size_t avail = std::min(n, left / 4);
      std::memcpy(info.bmiColors, after, avail * 4);
    }
  }
  const BITMAPINFOHEADER& h = info.bmiHeader;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1) return false;
  switch (h.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
  }
  switch (h.biCompression) {
    case BI_RGB: break;
    case BI_RLE8: if (h.biBitCount != 8 || h.biHeight < 0) return false; break;
    case BI_RLE4: if (h.biBitCount != 4 || h.biHeight < 0) return false; break;
    case BI_BITFIELDS: if (h.biBitCount != 16 && h.biBitCount != 32) return false; break;
    default: return false;
  }
  long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  if (static_cast<long long>(h.biWidth) * height > vel::gdi::kMaxBitmapPixels) return false;
  if (offBits < 14 + 12 || offBits > size) return false;
  layout->bitsOffset = offBits;
  layout->bitsSize = size - offBits;
  if (!PlausibleBmpSize(h, layout->bitsSize)) return false;
  if (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) {
    // Truncated pixel data is still shown: the missing rows decode as zero.
    if (layout->bitsSize == 0) return false;
  }
  return true;
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
  HBITMAP decodePage(int page) override;

 private:
  int heldBits() const {
    const BITMAPINFOHEADER& h = layout_.info.bmiHeader;
    if (h.biBitCount > 8) return 24;
    return h.biCompression == BI_RGB ? h.biBitCount : 8;
  }

  FileDataPtr file_;
  BmpLayout layout_;
};

HBITMAP BmpReader::decodePage(int page) {
  if (page != 0) return nullptr;
  const BITMAPINFOHEADER& h = layout_.info.bmiHeader;
  int width = h.biWidth;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const std::uint8_t* bits = file_->bytes.data() + layout_.bitsOffset;
  bool indexed = h.biBitCount <= 8;
  std::vector<RGBQUAD> palette;
  if (indexed) palette.assign(layout_.info.bmiColors, layout_.info.bmiColors + (1 << h.biBitCount));
  int outBits = heldBits();
  if (outBits == 8 && palette.size() < 256) palette.resize(256, RGBQUAD{0, 0, 0, 0});
  HBITMAP bmp = NewPageBitmap(width, height, outBits, palette);
  if (!bmp) return nullptr;
  vel::gdi::BitmapView v;
  vel::gdi::GetBitmapView(bmp, &v);

  if (indexed && h.biCompression == BI_RGB) {
    // Keep the indices as they are; rows missing at the end of a short file stay 0.
    size_t stride = ((static_cast<size_t>(width) * h.biBitCount + 31) / 32) * 4;
    for (int r = 0; r < height; ++r) {
      size_t at = static_cast<size_t>(h.biHeight < 0 ? r : height - 1 - r) * stride;
      if (at >= layout_.bitsSize) continue;
      std::memcpy(v.row(r), bits + at, std::min(stride, layout_.bitsSize - at));
    }
    return bmp;
  }
  // Everything else goes through the DIB transfer, which knows RLE and bit fields.
  // A cut-off file gives the rows it has (the first stored ones); the rest stay 0.
  UINT lines = static_cast<UINT>(height);
  if (h.biCompression != BI_RLE8 && h.biCompression != BI_RLE4) {
    size_t stride = ((static_cast<size_t>(width) * h.biBitCount + 31) / 32) * 4;
    lines = static_cast<UINT>(std::min<size_t>(height, layout_.bitsSize / stride));
    if (lines == 0) {
      DeleteObject(bmp);
      return nullptr;
    }
  }
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  // Bottom-up rows fill from the bottom, top-down rows from the top.
  int yDest = h.biHeight < 0 ? 0 : height - static_cast<int>(lines);
  int done = vel::gdi::SetDIBitsToDeviceN(dc, 0, yDest, width, lines, 0, 0, 0, lines, bits, layout_.bitsSize,
                                          reinterpret_cast<const BITMAPINFO*>(&layout_.info), DIB_RGB_COLORS);
  SelectObject(dc, old);
  DeleteDC(dc);
  if (done <= 0) {
    DeleteObject(bmp);
    return nullptr;
  }
  return bmp;
}

bool Sniff(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  return length >= 26 && head[0] == 'B' && head[1] == 'M';
}

std::unique_ptr<ImageReader> Open(FileDataPtr file) {
  BmpLayout layout;
  if (!ParseBmp(file->bytes.data(), file->bytes.size(), &layout)) return nullptr;
  return std::make_unique<BmpReader>(std::move(file), layout);
}

}  // namespace

const FormatDescriptor kBmpFormat{"BMP", Sniff, Open};

}  // namespace lorimer::formats
