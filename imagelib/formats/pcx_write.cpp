// PCX and DCX output. Every page is PCX version 5 with RLE, in the layouts nearly all
// readers take: 1 plane x 1 bit for black-and-white, 4 planes x 1 bit (EGA) with the
// header palette for other 1-bit and for 4-bit pages, 1 plane x 8 bits with the
// 256-colour palette at the end, and 3 planes x 8 bits for true colour. Runs are
// coded per plane line so they cross neither rows nor planes, which keeps older
// decoders that work line by line happy. A DCX is a fixed table of 1024 offsets
// (the last always 0) followed by the PCX pages.
#include <algorithm>
#include <cstring>

#include "platform/base/bytes.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

constexpr std::uint32_t kDcxMagic = 0x3ADE68B1;
constexpr std::size_t kDcxTableEntries = 1024;
constexpr std::size_t kDcxMaxPages = kDcxTableEntries - 1;
constexpr std::size_t kDcxHeaderSize = 4 + 4 * kDcxTableEntries;
constexpr std::size_t kHeaderSize = 128;
constexpr std::uint8_t kVgaPaletteMarker = 0x0C;

// One plane line; a count byte holds at most 63, and a lone byte that looks like a
// count (0xC0 and up) must go out as a run of one.
void EncodeLine(const std::uint8_t* line, std::size_t length, std::vector<std::uint8_t>* out) {
  out->clear();
  std::size_t i = 0;
  while (i < length) {
    const std::uint8_t value = line[i];
    std::size_t run = 1;
    while (i + run < length && run < 63 && line[i + run] == value) ++run;
    if (run > 1 || value >= 0xC0) out->push_back(static_cast<std::uint8_t>(0xC0 | run));
    out->push_back(value);
    i += run;
  }
}

int Luminance(const RGBQUAD& c) { return (c.rgbRed * 299 + c.rgbGreen * 587 + c.rgbBlue * 114) / 1000; }

unsigned IndexAt(const std::uint8_t* row, int x, int bits) {
  if (bits == 8) return row[x];
  if (bits == 4) return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

bool EncodePcxPage(HBITMAP page, std::vector<std::uint8_t>* out) {
  vel::gdi::BitmapView view;
  if (!page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (view.width <= 0 || view.height <= 0 || view.width > 65536 || view.height > 65536) return false;
  auto colour = [&](unsigned i) {
    return static_cast<int>(i) < view.colorCount ? view.colors[i] : RGBQUAD{0, 0, 0, 0};
  };

  // A 1-bit page whose two colours are black and white (either way round) is a true
  // monochrome PCX; any other 1-bit palette needs the EGA form to keep its colours.
  bool mono = false, invert = false;
  if (bits == 1) {
    const RGBQUAD a = colour(0), b = colour(1);
    auto is = [](const RGBQUAD& c, int v) { return c.rgbRed == v && c.rgbGreen == v && c.rgbBlue == v; };
    mono = (is(a, 0) && is(b, 255)) || (is(a, 255) && is(b, 0));
    invert = mono && Luminance(a) > Luminance(b);
  }
  int planes, planeBits;
  if (bits == 24) {
    planes = 3, planeBits = 8;
  } else if (bits == 8) {
    planes = 1, planeBits = 8;
  } else if (mono) {
    planes = 1, planeBits = 1;
  } else {
    planes = 4, planeBits = 1;
  }
  std::size_t bytesPerLine = (static_cast<std::size_t>(view.width) * planeBits + 7) / 8;
  bytesPerLine += bytesPerLine & 1;

  std::vector<std::uint8_t> file;
  vel::ByteWriter w(file);
  w.u8(0x0A);  // ZSoft
  w.u8(5);     // version 3.0 and later, with palettes
  w.u8(1);     // RLE
  w.u8(static_cast<std::uint8_t>(planeBits));
  w.le16(0);  // window: 0, 0 to width - 1, height - 1
  w.le16(0);
  w.le16(static_cast<std::uint16_t>(view.width - 1));
  w.le16(static_cast<std::uint16_t>(view.height - 1));
  w.le16(0);  // no resolution
  w.le16(0);
  for (unsigned i = 0; i < 16; ++i) {
    // The 16-colour header palette; monochrome readers that consult it see black, white.
    RGBQUAD c{0, 0, 0, 0};
    if (planeBits == 1) {
      c = colour(i);
      if (mono) c = i == 0 ? RGBQUAD{0, 0, 0, 0} : RGBQUAD{255, 255, 255, 0};
      if (!mono && bits == 1 && i > 1) c = RGBQUAD{0, 0, 0, 0};
    }
    w.u8(c.rgbRed);
    w.u8(c.rgbGreen);
    w.u8(c.rgbBlue);
  }
  w.u8(0);  // reserved
  w.u8(static_cast<std::uint8_t>(planes));
  w.le16(static_cast<std::uint16_t>(bytesPerLine));
  w.le16(1);  // colour palette
  w.fill(0, kHeaderSize - w.position());

  std::vector<std::uint8_t> line(bytesPerLine), coded;
  for (int y = 0; y < view.height; ++y) {
    const std::uint8_t* row = view.row(y);
    for (int p = 0; p < planes; ++p) {
      std::fill(line.begin(), line.end(), 0);
      if (bits == 24) {
        for (int x = 0; x < view.width; ++x) line[x] = row[x * 3 + (2 - p)];  // planes R, G, B
      } else if (bits == 8) {
        std::memcpy(line.data(), row, static_cast<std::size_t>(view.width));
      } else if (mono) {
        std::memcpy(line.data(), row, (static_cast<std::size_t>(view.width) + 7) / 8);
        if (invert) {
          for (std::uint8_t& b : line) b = static_cast<std::uint8_t>(~b);
        }
      } else {
        for (int x = 0; x < view.width; ++x) {
          if ((IndexAt(row, x, bits) >> p) & 1) line[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
      }
      // Padding bits and bytes stay 0 whatever the source held there.
      if (planeBits == 1 && (view.width & 7)) {
        const std::size_t last = static_cast<std::size_t>(view.width) / 8;
        line[last] &= static_cast<std::uint8_t>(0xFF << (8 - (view.width & 7)));
        std::fill(line.begin() + static_cast<std::ptrdiff_t>(last) + 1, line.end(), 0);
      } else {
        const std::size_t used = (static_cast<std::size_t>(view.width) * planeBits + 7) / 8;
        std::fill(line.begin() + static_cast<std::ptrdiff_t>(used), line.end(), 0);
      }
      EncodeLine(line.data(), line.size(), &coded);
      w.bytes(coded);
    }
  }
  if (bits == 8) {
    w.u8(kVgaPaletteMarker);
    for (unsigned i = 0; i < 256; ++i) {
      const RGBQUAD c = colour(i);
      w.u8(c.rgbRed);
      w.u8(c.rgbGreen);
      w.u8(c.rgbBlue);
    }
  }
  if (!w) return false;
  *out = std::move(file);
  return true;
}

// The pages of an existing DCX, each as its own bytes; false when it is not one.
bool SplitDcx(const std::vector<std::uint8_t>& bytes, std::vector<std::vector<std::uint8_t>>* pages) {
  vel::ByteReader in(bytes);
  if (in.le32() != kDcxMagic) return false;
  std::vector<std::uint32_t> offsets;
  for (std::size_t i = 0; i < kDcxTableEntries; ++i) {
    const std::uint32_t offset = in.le32();
    if (!in) return false;
    if (offset == 0) break;
    if (offset >= bytes.size()) return false;
    offsets.push_back(offset);
  }
  if (offsets.empty() || offsets.size() > kDcxMaxPages) return false;
  // A page runs to the next page start above it, or to the end of the file.
  std::vector<std::uint32_t> starts = offsets;
  std::sort(starts.begin(), starts.end());
  pages->clear();
  for (std::uint32_t offset : offsets) {
    auto next = std::upper_bound(starts.begin(), starts.end(), offset);
    const std::size_t end = next == starts.end() ? bytes.size() : *next;
    const auto page = in.sub(offset, end - offset).all();
    pages->emplace_back(page.begin(), page.end());
  }
  return true;
}

}  // namespace

bool WritePcx(HBITMAP page, const WriteOptions& /*options*/, const std::vector<std::uint8_t>* /*existing*/,
              std::vector<std::uint8_t>* out) {
  return out && EncodePcxPage(page, out);
}

bool WriteDcx(HBITMAP page, const WriteOptions& /*options*/, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out) {
  if (!out) return false;
  std::vector<std::vector<std::uint8_t>> pages;
  if (existing && !SplitDcx(*existing, &pages)) return false;
  if (pages.size() >= kDcxMaxPages) return false;
  std::vector<std::uint8_t> newPage;
  if (!EncodePcxPage(page, &newPage)) return false;
  pages.push_back(std::move(newPage));

  std::uint64_t total = kDcxHeaderSize;
  for (const auto& p : pages) total += p.size();
  if (total > 0xFFFFFFFFu) return false;
  std::vector<std::uint8_t> file;
  file.reserve(static_cast<std::size_t>(total));
  vel::ByteWriter w(file);
  w.le32(kDcxMagic);
  // The offset table, ending in a 0 entry.
  std::uint32_t offset = kDcxHeaderSize;
  for (const auto& p : pages) {
    w.le32(offset);
    offset += static_cast<std::uint32_t>(p.size());
  }
  w.fill(0, kDcxHeaderSize - w.position());
  for (const auto& p : pages) w.bytes(p);
  if (!w) return false;
  *out = std::move(file);
  return true;
}

}  // namespace lorimer::formats
