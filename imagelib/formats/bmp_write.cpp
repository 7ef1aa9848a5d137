// BMP output: the plainest form every reader takes — a 40-byte info header, BI_RGB,
// bottom-up rows padded to four bytes, 1/4/8 bits with the bitmap's own colour table
// or 24 bits. BMP holds one picture, so an append request simply writes the page.
#include <cstring>

#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, unsigned v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}

}  // namespace

bool WriteBmp(HBITMAP page, const WriteOptions& /*options*/, const std::vector<std::uint8_t>* /*existing*/,
              std::vector<std::uint8_t>* out) {
  vel::gdi::BitmapView view;
  if (!out || !page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (view.width <= 0 || view.height <= 0) return false;

  const std::uint64_t usedBytes = (static_cast<std::uint64_t>(view.width) * bits + 7) / 8;
  const std::uint64_t stride = (static_cast<std::uint64_t>(view.width) * bits + 31) / 32 * 4;
  const std::uint64_t tableEntries = bits == 24 ? 0 : (1u << bits);
  const std::uint64_t offBits = 14 + 40 + tableEntries * 4;
  const std::uint64_t imageBytes = stride * static_cast<std::uint64_t>(view.height);
  if (offBits + imageBytes > 0xFFFFFFFFu) return false;

  std::vector<std::uint8_t> file(static_cast<std::size_t>(offBits + imageBytes), 0);
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<std::uint32_t>(file.size()));
  Put32(file, 10, static_cast<std::uint32_t>(offBits));
  Put32(file, 14, 40);
  Put32(file, 18, static_cast<std::uint32_t>(view.width));
  Put32(file, 22, static_cast<std::uint32_t>(view.height));  // positive: bottom-up
  Put16(file, 26, 1);
  Put16(file, 28, static_cast<unsigned>(bits));
  Put32(file, 30, 0);  // BI_RGB
  Put32(file, 34, static_cast<std::uint32_t>(imageBytes));
  // Resolution fields stay 0: the bitmap carries none. The full table is written, so
  // biClrUsed stays 0 too; entries the bitmap lacks are black.
  for (std::uint64_t i = 0; i < tableEntries && i < static_cast<std::uint64_t>(view.colorCount); ++i) {
    const RGBQUAD& c = view.colors[i];
    const std::size_t at = static_cast<std::size_t>(54 + i * 4);
    file[at] = c.rgbBlue;
    file[at + 1] = c.rgbGreen;
    file[at + 2] = c.rgbRed;
  }
  for (int y = 0; y < view.height; ++y) {
    const std::size_t at = static_cast<std::size_t>(offBits + stride * static_cast<std::uint64_t>(view.height - 1 - y));
    std::memcpy(file.data() + at, view.row(y), static_cast<std::size_t>(usedBytes));
  }
  *out = std::move(file);
  return true;
}

}  // namespace lorimer::formats
