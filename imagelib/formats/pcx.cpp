// PC Paintbrush images (PCX) and the multi-page fax container around them (DCX).
//
// A PCX holds one picture as `planes` rows of `bytesPerLine` bytes per scanline,
// RLE-packed as one continuous stream: a run may start in one plane row (or
// scanline) and finish in the next, so the decoder keeps its run state across
// rows instead of restarting per row.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>

#include "platform/base/bytes.h"
#include "imagelib/formats/page_canvas.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::uint8_t kManufacturer = 0x0A;  // ZSoft
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

bool KnownVersion(int version) { return version == 0 || (version >= 2 && version <= 5); }

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

const char* LayoutName(Layout layout) {
  switch (layout) {
    case Layout::kPacked: return "packed";
    case Layout::kPlanar: return "planar";
    case Layout::kRgb: return "RGB";
  }
  return "";
}

// The bits a pixel takes on a scanline, over all planes.
int PixelBits(const Header& h) { return h.bitsPerPixel * h.planes; }

// Whether the first bytes are the ones every PCX starts with: the ZSoft mark, a version
// PC Paintbrush wrote and an encoding. The rest of the header is judged on opening,
// which says what is wrong with it.
bool HasSignature(vel::ByteReader in) {
  const std::uint8_t manufacturer = in.u8(), version = in.u8(), encoding = in.u8();
  return in && manufacturer == kManufacturer && KnownVersion(version) && encoding <= 1;
}

// Checks every header field, and the size of the picture against the page's bytes.
vel::Expected<Header> ParseHeader(vel::ByteReader page) {
  vel::ByteReader in = page.take(kHeaderSize);
  if (!page) return vel::Fail("PCX header: " + page.failure());
  Header h;
  const std::uint8_t manufacturer = in.u8();
  h.version = in.u8();
  const std::uint8_t encoding = in.u8();
  h.bitsPerPixel = in.u8();
  const int xmin = in.le16(), ymin = in.le16(), xmax = in.le16(), ymax = in.le16();
  h.xDpi = in.le16();
  h.yDpi = in.le16();
  in.read(h.egaPalette);
  in.skip(1);  // reserved
  h.planes = in.u8();
  h.bytesPerLine = in.le16();
  if (manufacturer != kManufacturer) return vel::Fail("PCX header: no 0x0A signature");
  if (!KnownVersion(h.version)) return vel::Fail("PCX header: version " + std::to_string(h.version));
  if (encoding > 1) return vel::Fail("PCX header: encoding " + std::to_string(encoding));
  h.rle = encoding == 1;
  if (!ClassifyDepth(h.bitsPerPixel, h.planes, &h.layout)) {
    return vel::Fail("PCX header: " + std::to_string(h.planes) + " planes of " + std::to_string(h.bitsPerPixel) +
                     " bits");
  }
  if (xmax < xmin || ymax < ymin) {
    return vel::Fail("PCX header: window " + std::to_string(xmin) + "," + std::to_string(ymin) + " to " +
                     std::to_string(xmax) + "," + std::to_string(ymax));
  }
  h.width = xmax - xmin + 1;
  h.height = ymax - ymin + 1;
  const std::uint64_t rowBits = static_cast<std::uint64_t>(h.width) * (h.layout == Layout::kPacked   ? h.bitsPerPixel
                                                                       : h.layout == Layout::kPlanar ? 1
                                                                                                     : 8);
  if (h.bytesPerLine == 0) return vel::Fail("PCX header: bytes per line 0");
  if (static_cast<std::uint64_t>(h.bytesPerLine) * 8 < rowBits) {
    return vel::Fail("PCX header: bytes per line " + std::to_string(h.bytesPerLine) + " too few for " +
                     std::to_string(h.width) + " " + LayoutName(h.layout) + " pixels");
  }
  // The best a run can do is kMaxRleExpansion bytes for one byte of data.
  const std::uint64_t pixelsPerByte = 8 * (h.rle ? kMaxRleExpansion : 1);
  const std::uint64_t bits = static_cast<std::uint64_t>(PixelBits(h));
  if (auto size = CheckPictureSize(h.width, h.height, PixelBits(h), page.size(), (pixelsPerByte + bits - 1) / bits);
      !size) {
    return vel::Fail("PCX header: " + size.reason());
  }
  return h;
}

// Reads the decompressed scanline bytes, carrying runs over row boundaries.
class ByteStream {
 public:
  ByteStream(std::span<const std::uint8_t> data, bool rle) : data_(data), rle_(rle) {}

  // Fills up to `count` bytes; returns how many were available.
  std::size_t read(std::uint8_t* out, std::size_t count) {
    std::size_t got = 0;
    const std::size_t size = data_.size();
    while (got < count) {
      if (runLeft_ > 0) {
        const std::size_t n = std::min<std::size_t>(runLeft_, count - got);
        std::memset(out + got, runValue_, n);
        runLeft_ -= static_cast<int>(n);
        got += n;
        continue;
      }
      if (pos_ >= size) break;
      const std::uint8_t b = data_[pos_++];
      if (rle_ && b >= 0xC0) {
        if (pos_ >= size) break;
        runLeft_ = b & 0x3F;
        runValue_ = data_[pos_++];
      } else {
        out[got++] = b;
      }
    }
    return got;
  }

 private:
  std::span<const std::uint8_t> data_;
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
  static vel::Expected<PcxPage> Open(vel::ByteReader bytes) {
    PcxPage page;
    auto header = ParseHeader(bytes);
    if (!header) return vel::Fail(header.error());
    page.header_ = *header;
    const Header& h = page.header_;
    bytes.skip(kHeaderSize);
    page.data_ = bytes.rest();
    page.buildPalette(bytes);
    const std::uint64_t needed = static_cast<std::uint64_t>(h.height) * h.planes * h.bytesPerLine;
    const std::uint64_t ceiling = h.rle ? page.data_.size() * kMaxRleExpansion : page.data_.size();
    if (page.data_.empty()) return vel::Fail("PCX: no pixel data");
    if (needed > ceiling) {
      return vel::Fail("PCX header: " + std::to_string(needed) + " bytes of scanlines cannot come from " +
                       std::to_string(page.data_.size()) + " bytes of data");
    }
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

  Decoded decode() const {
    const Header& h = header_;
    auto canvas = NewPageCanvas(h.width, h.height, dibBits(), palette_);
    if (!canvas) return vel::Fail(canvas.error());
    const vel::gdi::BitmapView& view = canvas->view;
    ByteStream stream(data_, h.rle);
    const std::size_t lineSize = static_cast<std::size_t>(h.planes) * h.bytesPerLine;
    std::vector<std::uint8_t> line(lineSize);
    for (int y = 0; y < h.height; ++y) {
      std::fill(line.begin(), line.end(), 0);
      const std::size_t got = stream.read(line.data(), lineSize);
      if (got == 0) {
        if (y == 0) return vel::Fail("the data holds no scanline");
        break;  // truncated: the rows below keep the zero fill
      }
      convertLine(line.data(), view.row(y));
      if (got < lineSize) break;
    }
    return std::move(canvas->bitmap);
  }

 private:
  int dibBits() const {
    const Header& h = header_;
    if (h.layout == Layout::kRgb) return 24;
    const int bits = PixelBits(h);
    return bits == 1 ? 1 : bits <= 4 ? 4 : 8;
  }

  // `page` is the whole page; an 8-bit palette at its end is taken off the data.
  void buildPalette(const vel::ByteReader& page) {
    const Header& h = header_;
    if (h.layout == Layout::kRgb) return;
    const int bits = PixelBits(h);
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
      vel::ByteReader vga;
      if (page.size() >= kHeaderSize + kVgaPaletteSize) {
        vga = vel::ByteReader(page.all().last(kVgaPaletteSize));
        if (vga.u8() != kVgaPaletteMarker) vga = vel::ByteReader();
      }
      const bool hasVga = vga.size() > 0;
      palette_.resize(256);
      for (int i = 0; i < 256; ++i) {
        if (hasVga) {
          const std::uint8_t r = vga.u8(), g = vga.u8(), b = vga.u8();
          palette_[i] = Quad(r, g, b);
        } else {
          palette_[i] = Quad(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i));
        }
      }
      if (hasVga) data_ = data_.first(data_.size() - kVgaPaletteSize);
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
  std::span<const std::uint8_t> data_;  // the RLE or raw scanlines, within the reader's file
  std::vector<RGBQUAD> palette_;
};

class PcxReader : public ImageReader {
 public:
  PcxReader(FileDataPtr file, PcxPage page) : file_(std::move(file)), page_(std::move(page)) {}
  int pageCount() const override { return 1; }
  PageInfo pageInfo(int page) const override { return page == 0 ? page_.info() : PageInfo{}; }
  Decoded decode(int page) override {
    if (page != 0) return vel::Fail("PCX: no page " + std::to_string(page));
    auto bitmap = page_.decode();
    if (!bitmap) return vel::Fail("PCX: " + bitmap.reason());
    return bitmap;
  }

 private:
  FileDataPtr file_;  // keeps the page's bytes alive
  PcxPage page_;
};

bool SniffPcx(const std::uint8_t* head, std::size_t length, std::uint64_t /*fileSize*/) {
  return HasSignature(vel::ByteReader(head, length));
}

Opened OpenPcx(FileDataPtr file) {
  if (!file) return vel::Fail("PCX: no file");
  auto page = PcxPage::Open(vel::ByteReader(file->bytes));
  if (!page) return vel::Fail(page.error());
  return std::make_unique<PcxReader>(std::move(file), std::move(*page));
}

// DCX ---------------------------------------------------------------------------

std::string DcxPageName(int page) { return "DCX page " + std::to_string(page) + ": "; }

class DcxReader : public ImageReader {
 public:
  DcxReader(FileDataPtr file, std::vector<vel::Expected<PcxPage>> pages)
      : file_(std::move(file)), pages_(std::move(pages)) {}
  int pageCount() const override { return static_cast<int>(pages_.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount() || !pages_[page]) return PageInfo{};
    return pages_[page]->info();
  }
  Decoded decode(int page) override {
    if (page < 0 || page >= pageCount()) return vel::Fail("DCX: no page " + std::to_string(page));
    // A page that did not open fails alone; the others still show.
    if (!pages_[page]) return vel::Fail(DcxPageName(page) + pages_[page].reason());
    auto bitmap = pages_[page]->decode();
    if (!bitmap) return vel::Fail(DcxPageName(page) + bitmap.reason());
    return bitmap;
  }

 private:
  FileDataPtr file_;  // keeps the pages' bytes alive
  std::vector<vel::Expected<PcxPage>> pages_;
};

bool SniffDcx(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  vel::ByteReader in(head, length);
  return length >= 8 && fileSize >= 8 && in.le32() == kDcxMagic;
}

Opened OpenDcx(FileDataPtr file) {
  if (!file) return vel::Fail("DCX: no file");
  vel::ByteReader in(file->bytes);
  const std::uint32_t magic = in.le32();
  if (!in) return vel::Fail("DCX header: " + in.failure());
  if (magic != kDcxMagic) return vel::Fail("DCX header: no DCX signature");
  std::vector<std::uint32_t> offsets;
  for (int i = 0; i < kDcxMaxPages && in.has(4); ++i) {
    const std::uint32_t offset = in.le32();
    if (offset == 0) break;
    // Offsets past the end cannot be pages; the rest of the table still counts.
    if (offset < in.size()) offsets.push_back(offset);
  }
  if (offsets.empty()) return vel::Fail("DCX header: no page offsets in the table");
  // A page runs to the nearest offset after its own, else to the end of the file.
  std::vector<std::uint32_t> sorted = offsets;
  std::sort(sorted.begin(), sorted.end());
  std::vector<vel::Expected<PcxPage>> pages;
  pages.reserve(offsets.size());
  for (std::uint32_t offset : offsets) {
    auto next = std::upper_bound(sorted.begin(), sorted.end(), offset);
    const std::size_t end = next == sorted.end() ? in.size() : *next;
    pages.push_back(PcxPage::Open(in.sub(offset, end - offset)));
  }
  return std::make_unique<DcxReader>(std::move(file), std::move(pages));
}

}  // namespace

const FormatDescriptor kPcxFormat = {"PCX", SniffPcx, OpenPcx};
const FormatDescriptor kDcxFormat = {"DCX", SniffDcx, OpenDcx};

}  // namespace lorimer::formats
