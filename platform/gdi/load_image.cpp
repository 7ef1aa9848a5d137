// LoadImageA for bitmap files: an uncompressed BMP read through the checked
// reader into a DIB section. Every size is checked against what the file holds
// before anything is allocated.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr WORD kBmpMagic = 0x4D42;  // "BM"
constexpr size_t kFileHeaderBytes = 14;
constexpr DWORD kInfoHeaderBytes = 40;
// The later headers (V4 108, V5 124) begin with the same 40 bytes.
constexpr DWORD kLargestInfoHeader = 124;
// A file bigger than the largest picture we allocate, with its table, is not one of ours.
constexpr std::uint64_t kMaxFileBytes = (static_cast<std::uint64_t>(vel::gdi::kMaxBitmapPixels) * 4) + (1 << 20);

struct BmpLayout {
  BITMAPINFO256 info{};  // biSize 40, biCompression BI_RGB, colour table filled in
  int width = 0;
  int height = 0;  // positive
  bool topDown = false;
  size_t stride = 0;
  vel::ByteReader pixels;  // exactly stride * height bytes
};

bool ReadHeaders(vel::ByteReader& in, BmpLayout* out) {
  const WORD magic = in.le16();
  in.skip(8);  // bfSize (often wrong in the wild) and the reserved words
  const DWORD offBits = in.le32();
  BITMAPINFOHEADER& h = out->info.bmiHeader;
  const DWORD headerBytes = in.le32();
  h.biWidth = in.le32s();
  h.biHeight = in.le32s();
  h.biPlanes = in.le16();
  h.biBitCount = in.le16();
  h.biCompression = in.le32();
  in.skip(12);  // biSizeImage, resolution
  h.biClrUsed = in.le32();
  in.skip(4);  // biClrImportant
  if (!in || magic != kBmpMagic || headerBytes < kInfoHeaderBytes || headerBytes > kLargestInfoHeader) return false;
  if (!in.skip(headerBytes - kInfoHeaderBytes)) return false;
  const int bits = h.biBitCount;
  if (h.biPlanes != 1 || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
    return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  out->width = h.biWidth;
  out->topDown = h.biHeight < 0;
  out->height = out->topDown ? -h.biHeight : h.biHeight;
  if (static_cast<long long>(out->width) * out->height > vel::gdi::kMaxBitmapPixels) return false;

  // The colour table: 2^bits entries unless biClrUsed names fewer; true-colour
  // files may carry an optional table that nothing needs.
  DWORD colors = 0;
  if (bits <= 8) colors = (h.biClrUsed > 0 && h.biClrUsed < (1u << bits)) ? h.biClrUsed : (1u << bits);
  for (DWORD i = 0; i < colors; ++i) {
    RGBQUAD& c = out->info.bmiColors[i];
    c.rgbBlue = in.u8();
    c.rgbGreen = in.u8();
    c.rgbRed = in.u8();
    in.skip(1);
  }
  if (!in) return false;
  h.biSize = kInfoHeaderBytes;
  h.biClrUsed = colors;
  h.biSizeImage = 0;
  h.biClrImportant = 0;

  // Rows start at bfOffBits when the file says where; some writers leave it 0.
  const std::uint64_t headersEnd = kFileHeaderBytes + headerBytes;
  const std::uint64_t start = offBits ? offBits : in.position();
  out->stride = ((static_cast<size_t>(out->width) * bits + 31) / 32) * 4;
  const std::uint64_t need = static_cast<std::uint64_t>(out->stride) * static_cast<std::uint64_t>(out->height);
  if (start < headersEnd || start > in.size() || need > in.size() - start) return false;
  out->pixels = in.sub(start, need);
  return static_cast<bool>(in);
}

HBITMAP MakeSection(const BmpLayout& bmp) {
  void* bits = nullptr;
  HBITMAP section =
      CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&bmp.info), DIB_RGB_COLORS, &bits, nullptr, 0);
  vel::gdi::BitmapView view;
  if (!section || !vel::gdi::GetBitmapView(section, &view) || view.height != bmp.height) {
    if (section) DeleteObject(section);
    return nullptr;
  }
  const auto rows = bmp.pixels.all();
  const size_t copy = std::min(bmp.stride, view.stride);
  for (int r = 0; r < bmp.height; ++r) {
    // Rows are stored bottom-up unless the height was negative.
    const int y = bmp.topDown ? r : bmp.height - 1 - r;
    std::memcpy(view.row(y), rows.data() + bmp.stride * static_cast<size_t>(r), copy);
  }
  return section;
}

// A copy of `source` at width x height (COLORONCOLOR), as LoadImage does for a
// requested size; 24 bits, or 32 when the file had 32.
HBITMAP Stretched(HBITMAP source, const BmpLayout& bmp, int width, int height) {
  if (static_cast<long long>(width) * height > vel::gdi::kMaxBitmapPixels) return nullptr;
  const int bits = bmp.info.bmiHeader.biBitCount == 32 ? 32 : 24;
  BITMAPINFO256 info{};
  info.bmiHeader = vel::gdi::TopDownHeader(width, height, bits);
  void* pixels = nullptr;
  HBITMAP target =
      CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
  HDC from = CreateCompatibleDC(nullptr);
  HDC to = CreateCompatibleDC(nullptr);
  bool ok = target && from && to;
  if (ok) {
    HGDIOBJ oldFrom = SelectObject(from, source);
    HGDIOBJ oldTo = SelectObject(to, target);
    SetStretchBltMode(to, COLORONCOLOR);
    ok = StretchBlt(to, 0, 0, width, height, from, 0, 0, bmp.width, bmp.height, SRCCOPY) != FALSE;
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
  }
  if (from) DeleteDC(from);
  if (to) DeleteDC(to);
  if (!ok && target) {
    DeleteObject(target);
    target = nullptr;
  }
  return target;
}

}  // namespace

HANDLE LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
  // Programs here carry no resources: bitmaps always come from files.
  if (!name || type != IMAGE_BITMAP || !(flags & LR_LOADFROMFILE) || cx < 0 || cy < 0) return nullptr;
  std::vector<std::uint8_t> file;
  if (!vel::ReadWholeFile(name, file, kMaxFileBytes)) return nullptr;
  vel::ByteReader in(file);
  BmpLayout bmp;
  if (!ReadHeaders(in, &bmp)) return nullptr;
  HBITMAP bitmap = MakeSection(bmp);
  const int width = cx ? cx : bmp.width;
  const int height = cy ? cy : bmp.height;
  if (bitmap && (width != bmp.width || height != bmp.height)) {
    HBITMAP sized = Stretched(bitmap, bmp, width, height);
    DeleteObject(bitmap);
    bitmap = sized;
  }
  return bitmap;
}
