// PC Paintbrush images (PCX) and the multi-page fax container around them (DCX).
//
// A PCX holds one picture as `planes` rows of `bytesPerLine` bytes per scanline,
// RLE-packed as one continuous stream: a run may start in one plane row (or
// scanline) and finish in the next, so the decoder keeps its run state across
// rows instead of restarting per row.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kVgaPaletteSize = 769;  // 0x0C marker + 256 RGB triples
constexpr std::uint8_t kVgaPaletteMarker = 0x0C;
constexpr std::uint32_t kDcxMagic = 0x3ADE68B1;
constexpr int kDcxMaxPages = 1023;
// One RLE pair (2 bytes) yields at most 63 bytes; we take a byte count of 63 per input
// byte as the ceiling, so a header asking for more than that is not a real file.
constexpr std::uint64_t kMaxRleExpansion = 63;

// How the bytes of one scanline turn into pixels.
enum class Layout {
  kPacked,  // one plane, 1/2/4/8 bits per pixel
  kPlanar,  // 2..4 planes of 1 bit, plane k gives bit k of the colour index
  kRgb,     // 3 (RGB) or 4 (RGBA, alpha unused) planes of 8 bits
};

struct Header {
  int version = 0;
  bool rle = false;
  int bitsPerPixel = 0;
  int planes = 0;
  int width = 0;
  int height = 0;
  int bytesPerLine = 0;
  int xDpi = 0;
  int yDpi = 0;
  Layout layout = Layout::kPacked;
  std::array<std::uint8_t, 48> egaPalette{};
};

// The palette PC Paintbrush falls back to when a 16-colour file carries none.
constexpr std::uint8_t kDefaultEga[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF}};
// CGA palette 1 (high intensity), the usual choice of 4-colour files without one.
constexpr std::uint8_t kDefaultCga[4][3] = {
    {0x00, 0x00, 0x00}, {0x55, 0xFF, 0xFF}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0xFF}};

RGBQUAD Quad(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return RGBQUAD{b, g, r, 0}; }

bool ClassifyDepth(int bits, int planes, Layout* layout) {
  if (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
    *layout = Layout::kPacked;
    return true;
  }
  if (bits == 1 && planes >= 2 && planes <= 4) {
    *layout = Layout::kPlanar;
    return true;
  }
  if (bits == 8 && (planes == 3 || planes == 4)) {
    *layout = Layout::kRgb;
    return true;
  }
  return false;
}

// Checks every header field that can be judged without the rest of the file.
bool ParseHeader(const std::uint8_t* p, std::size_t length, Header* h) {
  if (length < kHeaderSize || p[0] != 0x0A) return false;
  const int version = p[1];
  if (version != 0 && version != 2 && version != 3 && version != 4 && version != 5) return false;
  if (p[2] > 1) return false;
  h->version = version;
  h->rle = p[2] == 1;
  h->bitsPerPixel = p[3];
  h->planes = p[65];
  if (!ClassifyDepth(h->bitsPerPixel, h->planes, &h->layout)) return false;
  const int xmin = Le16(p + 4), ymin = Le16(p + 6), xmax = Le16(p + 8), ymax = Le16(p + 10);
  if (xmax < xmin || ymax < ymin) return false;
  h->width = xmax - xmin + 1;
  h->height = ymax - ymin + 1;
  h->xDpi = Le16(p + 12);
  h->yDpi = Le16(p + 14);
  std::memcpy(h->egaPalette.data(), p + 16, h->egaPalette.size());
  h->bytesPerLine = Le16(p + 66);
  const std::uint64_t rowBits = static_cast<std::uint64_t>(h->width) *
                                (h->layout == Layout::kPacked ? h->bitsPerPixel : h->layout == Layout::kPlanar ? 1 : 8);
  if (h->bytesPerLine == 0 || static_cast<std::uint64_t>(h->bytesPerLine) * 8 < rowBits) return false;
  return static_cast<long long>(h->width) * h->height <= vel::gdi::kMaxBitmapPixels;
}

// Reads the decompressed scanline bytes, carrying runs over row boundaries.
class ByteStream {
 public:
  ByteStream(const std::uint8_t* data, std::size_t size, bool rle) : data_(data), size_(size), rle_(rle) {}

  // Fills up to `count` bytes; returns how many were available.
  std::size_t read(std::uint8_t* out, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
      if (runLeft_ > 0) {
        const std::size_t n = std::min<std::size_t>(runLeft_, count - got);
        std::memset(out + got, runValue_, n);
        runLeft_ -= static_cast<int>(n);
        got += n;
        continue;
      }
      if (pos_ >= size_) break;
      const std::uint8_t b = data_[pos_++];
      if (rle_ && b >= 0xC0) {
        if (pos_ >= size_) break;
        runLeft_ = b & 0x3F;
        runValue_ = data_[pos_++];
      } else {
        out[got++] = b;
      }
    }
    return got;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool rle_;
  std::size_t pos_ = 0;
  int runLeft_ = 0;
  std::uint8_t runValue_ = 0;
};

inline void PutNibble(BYTE* row, int x, unsigned value) {
  row[x >> 1] = static_cast<BYTE>(row[x >> 1] | ((x & 1) ? (value & 0x0F) : ((value & 0x0F) << 4)));
}

// One PCX picture inside the file's bytes (the whole file for PCX, a slice for DCX).
class PcxPage {
 public:
  static std::optional<PcxPage> Open(const FileData& file, std::size_t offset, std::size_t length) {
    if (!InRange(file.bytes.size(), offset, length)) return std::nullopt;
    PcxPage page;
    const std::uint8_t* p = file.bytes.data() + offset;
    if (!ParseHeader(p, length, &page.header_)) return std::nullopt;
    page.dataOffset_ = offset + kHeaderSize;
    page.dataLength_ = length - kHeaderSize;
    page.buildPalette(p, length);
    const Header& h = page.header_;
    const std::uint64_t needed = static_cast<std::uint64_t>(h.height) * h.planes * h.bytesPerLine;
    const std::uint64_t ceiling = h.rle ? page.dataLength_ * kMaxRleExpansion : page.dataLength_;
    if (page.dataLength_ == 0 || needed > ceiling) return std::nullopt;
    return page;
  }

  PageInfo info() const {
    PageInfo info;
    info.width = header_.width;
    info.height = header_.height;
    info.bitCount = dibBits();  // what decode() holds, not the file's bits per pixel
    info.colorsUsed = static_cast<unsigned>(palette_.size());
    info.xDpi = header_.xDpi;
    info.yDpi = header_.yDpi;
    return info;
  }

  HBITMAP decode(const FileData& file) const {
    const Header& h = header_;
    HBITMAP bitmap = NewPageBitmap(h.width, h.height, dibBits(), palette_);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    ByteStream stream(file.bytes.data() + dataOffset_, dataLength_, h.rle);
    const std::size_t lineSize = static_cast<std::size_t>(h.planes) * h.bytesPerLine;
    std::vector<std::uint8_t> line(lineSize);
    for (int y = 0; y < h.height; ++y) {
      std::fill(line.begin(), line.end(), 0);
      const std::size_t got = stream.read(line.data(), lineSize);
      if (got == 0) {
        if (y == 0) {
          DeleteObject(bitmap);
          return nullptr;
        }
        break;  // truncated: the rows below keep the zero fill
      }
      convertLine(line.data(), view.row(y));
      if (got < lineSize) break;
    }
    return bitmap;
  }

 private:
  int dibBits() const {
    const Header& h = header_;
    if (h.layout == Layout::kRgb) return 24;
    const int bits = h.bitsPerPixel * h.planes;
    return bits == 1 ? 1 : bits <= 4 ? 4 : 8;
  }

  void buildPalette(const std::uint8_t* p, std::size_t length) {
    const Header& h = header_;
    if (h.layout == Layout::kRgb) return;
    const int bits = h.bitsPerPixel * h.planes;
    if (bits == 1) {
      // Monochrome files are black and white unless the header gives two distinct
      // colours; many writers leave that part of the header zeroed.
      const auto& e = h.egaPalette;
      const bool distinct = !std::equal(e.begin(), e.begin() + 3, e.begin() + 3);
      palette_ = distinct ? std::vector<RGBQUAD>{Quad(e[0], e[1], e[2]), Quad(e[3], e[4], e[5])}
                          : std::vector<RGBQUAD>{Quad(0, 0, 0), Quad(255, 255, 255)};
      return;
    }
    if (bits == 8) {
      const bool hasVga = length >= kHeaderSize + kVgaPaletteSize && p[length - kVgaPaletteSize] == kVgaPaletteMarker;
      palette_.resize(256);
      for (int i = 0; i < 256; ++i) {
        if (hasVga) {
          const std::uint8_t* c = p + length - kVgaPaletteSize + 1 + 3 * i;
          palette_[i] = Quad(c[0], c[1], c[2]);
        } else {
          palette_[i] = Quad(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i));
        }
      }
      if (hasVga) dataLength_ -= kVgaPaletteSize;
      return;
    }
    // 2 to 4 bits: the colours live in the header, unless the writer left it empty
    // (or version 3 says there is none), when the display adapter's defaults apply.
    const int count = 1 << bits;
    const bool empty = std::all_of(h.egaPalette.begin(), h.egaPalette.end(), [](std::uint8_t v) { return v == 0; });
    const bool useDefault = empty || h.version == 3;
    palette_.resize(count);
    for (int i = 0; i < count; ++i) {
      if (!useDefault) {
        palette_[i] = Quad(h.egaPalette[3 * i], h.egaPalette[3 * i + 1], h.egaPalette[3 * i + 2]);
      } else if (bits == 2) {
        palette_[i] = Quad(kDefaultCga[i][0], kDefaultCga[i][1], kDefaultCga[i][2]);
      } else {
        palette_[i] = Quad(kDefaultEga[i][0], kDefaultEga[i][1], kDefaultEga[i][2]);
      }
    }
  }

  void convertLine(const std::uint8_t* line, BYTE* out) const {
    const Header& h = header_;
    const int w = h.width;
    const std::size_t bpl = static_cast<std::size_t>(h.bytesPerLine);
    switch (h.layout) {
      case Layout::kPacked:
        if (h.bitsPerPixel == 2) {
          for (int x = 0; x < w; ++x) PutNibble(out, x, (line[x >> 2] >> (6 - 2 * (x & 3))) & 3);
        } else {
          std::memcpy(out, line, (static_cast<std::size_t>(w) * h.bitsPerPixel + 7) / 8);
        }
        break;
      case Layout::kPlanar:
        for (int x = 0; x < w; ++x) {
          unsigned v = 0;
          for (int k = 0; k < h.planes; ++k) v |= ((line[k * bpl + (x >> 3)] >> (7 - (x & 7))) & 1u) << k;
          PutNibble(out, x, v);
        }
        break;
      case Layout::kRgb:
        for (int x = 0; x < w; ++x) {
          out[3 * x] = line[2 * bpl + x];
          out[3 * x + 1] = line[bpl + x];
          out[3 * x + 2] = line[x];
        }
        break;
    }
  }

  Header header_;
  std::size_t dataOffset_ = 0;
  std::size_t dataLength_ = 0;
  std::vector<RGBQUAD> palette_;
};

class PcxReader : public ImageReader {
 public:
  PcxReader(FileDataPtr file, PcxPage page) : file_(std::move(file)), page_(std::move(page)) {}
  int pageCount() const override { return 1; }
  PageInfo pageInfo(int page) const override { return page == 0 ? page_.info() : PageInfo{}; }
  HBITMAP decodePage(int page) override { return page == 0 ? page_.decode(*file_) : nullptr; }

 private:
  FileDataPtr file_;
  PcxPage page_;
};

bool SniffPcx(const std::uint8_t* head, std::size_t length, std::uint64_t /*fileSize*/) {
  Header h;
  return ParseHeader(head, length, &h);
}

std::unique_ptr<ImageReader> OpenPcx(FileDataPtr file) {
  if (!file) return nullptr;
  auto page = PcxPage::Open(*file, 0, file->bytes.size());
  if (!page) return nullptr;
  return std::make_unique<PcxReader>(std::move(file), std::move(*page));
}

// DCX ---------------------------------------------------------------------------

class DcxReader : public ImageReader {
 public:
  DcxReader(FileDataPtr file, std::vector<std::optional<PcxPage>> pages)
      : file_(std::move(file)), pages_(std::move(pages)) {}
  int pageCount() const override { return static_cast<int>(pages_.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount() || !pages_[page]) return PageInfo{};
    return pages_[page]->info();
  }
  HBITMAP decodePage(int page) override {
    if (page < 0 || page >= pageCount() || !pages_[page]) return nullptr;
    return pages_[page]->decode(*file_);
  }

 private:
  FileDataPtr file_;
  std::vector<std::optional<PcxPage>> pages_;
};

bool SniffDcx(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  return length >= 8 && fileSize >= 8 && Le32(head) == kDcxMagic;
}

std::unique_ptr<ImageReader> OpenDcx(FileDataPtr file) {
  if (!file) return nullptr;
  const auto& bytes = file->bytes;
  if (bytes.size() < 8 || Le32(bytes.data()) != kDcxMagic) return nullptr;
  std::vector<std::uint32_t> offsets;
  for (int i = 0; i < kDcxMaxPages; ++i) {
    const std::size_t at = 4 + 4 * static_cast<std::size_t>(i);
    if (!InRange(bytes.size(), at, 4)) break;
    const std::uint32_t offset = Le32(bytes.data() + at);
    if (offset == 0) break;
    // Offsets past the end cannot be pages; the rest of the table still counts.
    if (offset < bytes.size()) offsets.push_back(offset);
  }
  if (offsets.empty()) return nullptr;
  // A page runs to the nearest offset after its own, else to the end of the file.
  std::vector<std::uint32_t> sorted = offsets;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::optional<PcxPage>> pages;
  pages.reserve(offsets.size());
  for (std::uint32_t offset : offsets) {
    auto next = std::upper_bound(sorted.begin(), sorted.end(), offset);
    const std::size_t end = next == sorted.end() ? bytes.size() : *next;
    pages.push_back(PcxPage::Open(*file, offset, end - offset));
  }
  return std::make_unique<DcxReader>(std::move(file), std::move(pages));
}

}  // namespace

const FormatDescriptor kPcxFormat = {"PCX", SniffPcx, OpenPcx};
const FormatDescriptor kDcxFormat = {"DCX", SniffDcx, OpenDcx};

}  // namespace lorimer::formats
