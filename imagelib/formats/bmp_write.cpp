// BMP output: the plainest form every reader takes — a 40-byte info header, BI_RGB,
// bottom-up rows padded to four bytes, 1/4/8 bits with the bitmap's own colour table
// or 24 bits. BMP holds one picture, so an append request simply writes the page.
#include <span>

#include "platform/base/bytes.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {

bool WriteBmp(HBITMAP page, const WriteOptions& /*options*/, const std::vector<std::uint8_t>* /*existing*/,
              std::vector<std::uint8_t>* out) {
  constexpr std::uint32_t kFileHeaderSize = 14;
  constexpr std::uint32_t kInfoHeaderSize = 40;
  vel::gdi::BitmapView view;
  if (!out || !page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (view.width <= 0 || view.height <= 0) return false;

  const std::uint64_t usedBytes = (static_cast<std::uint64_t>(view.width) * bits + 7) / 8;
  const std::uint64_t stride = (static_cast<std::uint64_t>(view.width) * bits + 31) / 32 * 4;
  const std::uint64_t tableEntries = bits == 24 ? 0 : (1u << bits);
  const std::uint64_t offBits = kFileHeaderSize + kInfoHeaderSize + tableEntries * 4;
  const std::uint64_t imageBytes = stride * static_cast<std::uint64_t>(view.height);
  if (offBits + imageBytes > 0xFFFFFFFFu) return false;

  std::vector<std::uint8_t> file;
  file.reserve(static_cast<std::size_t>(offBits + imageBytes));
  vel::ByteWriter w(file);
  w.text("BM");
  w.le32(static_cast<std::uint32_t>(offBits + imageBytes));
  w.le32(0);  // reserved
  w.le32(static_cast<std::uint32_t>(offBits));
  w.le32(kInfoHeaderSize);
  w.le32(static_cast<std::uint32_t>(view.width));
  w.le32(static_cast<std::uint32_t>(view.height));  // positive: bottom-up
  w.le16(1);                                        // planes
  w.le16(static_cast<std::uint16_t>(bits));
  w.le32(BI_RGB);
  w.le32(static_cast<std::uint32_t>(imageBytes));
  // Resolution fields stay 0: the bitmap carries none. The full table is written, so
  // biClrUsed stays 0 too; entries the bitmap lacks are black.
  w.fill(0, 16);
  for (std::uint64_t i = 0; i < tableEntries; ++i) {
    const bool known = i < static_cast<std::uint64_t>(view.colorCount);
    const RGBQUAD c = known ? view.colors[i] : RGBQUAD{0, 0, 0, 0};
    w.u8(c.rgbBlue);
    w.u8(c.rgbGreen);
    w.u8(c.rgbRed);
    w.u8(0);
  }
  for (int y = view.height - 1; y >= 0; --y) {
    w.bytes(std::span<const std::uint8_t>(view.row(y), static_cast<std::size_t>(usedBytes)));
    w.fill(0, static_cast<std::size_t>(stride - usedBytes));
  }
  if (!w) return false;
  *out = std::move(file);
  return true;
}

}  // namespace lorimer::formats
