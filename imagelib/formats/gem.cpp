// GEM raster images (IMG), plain and XIMG, one to eight bit planes.
//
// Each scanline is stored as one compressed row per plane, plane 0 first. A pixel's
// colour index has bit k from plane k. One plane is black on white (1 = black); more
// planes use the GEM desktop's default colours unless an XIMG header supplies RGB.
//
// Decoding stops at the end of the data; rows not reached keep colour index 0, which
// is white for plain files. Opcodes that run past the end of a row are clipped there.
#include <algorithm>
#include <cstring>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kBaseHeaderWords = 8;
constexpr std::size_t kMaxPlainHeaderWords = 59;
constexpr std::size_t kXimgFixedWords = 11;  // 8 base words, "XIMG", colour model
constexpr int kMaxPlanes = 8;
constexpr int kMaxPatternLength = 8;
constexpr int kMaxScanlineRepeat = 255;
// The most one opcode can produce: a pattern run of 255 times 8 bytes.
constexpr std::uint64_t kMaxOpcodeOutput = 255 * kMaxPatternLength;

// Default desktop colours by pixel value for 16 colours: white, the bright colours,
// greys, their dark versions, and black in the last slot.
constexpr std::uint8_t kVdiColors[16][3] = {
    {255, 255, 255}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0}, {0, 0, 255},   {255, 0, 255},
    {0, 255, 255},   {192, 192, 192}, {128, 128, 128}, {128, 0, 0}, {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {0, 0, 0}};

struct Header {
  int planes = 0;
  int patternLength = 0;
  int width = 0;
  int height = 0;
  int xDpi = 0;
  int yDpi = 0;
  std::size_t dataOffset = 0;
  bool ximg = false;
};

int DpiFromMicrons(unsigned microns) { return microns == 0 ? 0 : static_cast<int>((25400 + microns / 2) / microns); }

bool ParseHeader(const std::uint8_t* p, std::size_t length, std::uint64_t fileSize, Header* h) {
  if (length < kBaseHeaderWords * 2) return false;
  const unsigned version = Be16(p);
  const std::size_t headerWords = Be16(p + 2);
  h->planes = Be16(p + 4);
  h->patternLength = Be16(p + 6);
  h->width = Be16(p + 12);
  h->height = Be16(p + 14);
  if (version > 2 || headerWords < kBaseHeaderWords) return false;
  if (h->planes < 1 || h->planes > kMaxPlanes) return false;
  if (h->patternLength < 1 || h->patternLength > kMaxPatternLength) return false;
  if (h->width == 0 || h->height == 0) return false;
  h->xDpi = DpiFromMicrons(Be16(p + 8));
  h->yDpi = DpiFromMicrons(Be16(p + 10));
  h->ximg = headerWords >= kXimgFixedWords && length >= 22 && std::memcmp(p + 16, "XIMG", 4) == 0;
  if (h->ximg) {
    // RGB is the only colour model anyone wrote; the palette must fit the header.
    if (Be16(p + 20) != 0 || headerWords < kXimgFixedWords + 3 * (std::size_t{1} << h->planes)) return false;
  } else if (headerWords > kMaxPlainHeaderWords) {
    return false;
  }
  h->dataOffset = headerWords * 2;
  if (h->dataOffset >= fileSize) return false;
  if (static_cast<long long>(h->width) * h->height > vel::gdi::kMaxBitmapPixels) return false;
  // Every plane row needs an opcode per kMaxOpcodeOutput bytes, and a stored scanline
  // shows at most 255 times: a header asking for more rows than the data can make is bad.
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h->width) + 7) / 8;
  const std::uint64_t perScanline = h->planes * ((rowBytes + kMaxOpcodeOutput - 1) / kMaxOpcodeOutput);
  const std::uint64_t scanlines = (static_cast<std::uint64_t>(h->height) + kMaxScanlineRepeat - 1) / kMaxScanlineRepeat;
  return scanlines * perScanline <= fileSize - h->dataOffset;
}

class GemReader : public ImageReader {
 public:
  GemReader(FileDataPtr file, const Header& header) : file_(std::move(file)), h_(header) { buildPalette(); }

  int pageCount() const override { return 1; }

  PageInfo pageInfo(int page) const override {
    PageInfo info;
    if (page != 0) return info;
    info.width = h_.width;
    info.height = h_.height;
    info.bitCount = dibBits();  // what decodePage holds, not the file's plane count
    info.colorsUsed = static_cast<unsigned>(palette_.size());
    info.xDpi = h_.xDpi;
    info.yDpi = h_.yDpi;
    return info;
  }

  HBITMAP decodePage(int page) override {
    if (page != 0) return nullptr;
    HBITMAP bitmap = NewPageBitmap(h_.width, h_.height, dibBits(), palette_);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(h_.width) + 7) / 8;
    std::vector<std::uint8_t> scanline(rowBytes * h_.planes);
    pos_ = h_.dataOffset;
    int y = 0;
    while (y < h_.height && pos_ < file_->bytes.size()) {
      std::fill(scanline.begin(), scanline.end(), 0);
      int repeat = 1;
      for (int k = 0; k < h_.planes; ++k) decodeRow(scanline.data() + k * rowBytes, rowBytes, k == 0 ? &repeat : nullptr);
      for (int i = 0; i < repeat && y < h_.height; ++i, ++y) storeScanline(scanline.data(), rowBytes, view.row(y));
    }
    return bitmap;
  }

 private:
  // Plane counts land in the 1, 4 or 8-bit layouts a DIB offers.
  int dibBits() const { return h_.planes == 1 ? 1 : h_.planes <= 4 ? 4 : 8; }

  // Decodes one plane row. `repeat` receives the count of a scanline repeat met at
  // the very start of the row (only the first plane of a scanline may carry one).
  void decodeRow(std::uint8_t* out, std::size_t rowBytes, int* repeat) {
    const auto& d = file_->bytes;
    const std::size_t end = d.size();
    std::size_t x = 0;
    auto put = [&](std::uint8_t v) {
      if (x < rowBytes) out[x++] = v;
    };
    while (x < rowBytes && pos_ < end) {
      const std::uint8_t op = d[pos_++];
      if (op == 0x00) {
        if (pos_ >= end) return;
        const int count = d[pos_++];
        if (count == 0) {
          if (pos_ < end && d[pos_] == 0xFF) {
            if (end - pos_ < 2) {
              pos_ = end;
              return;
            }
            const int times = d[pos_ + 1];
            pos_ += 2;
            // A repeat count of 0 makes no sense; we show the scanline once.
            if (repeat && x == 0) *repeat = std::max(times, 1);
            continue;
          }
          // A pattern run of length zero: skip its pattern.
          pos_ += std::min<std::size_t>(h_.patternLength, end - pos_);
          continue;
        }
        if (end - pos_ < static_cast<std::size_t>(h_.patternLength)) {
          pos_ = end;
          return;
        }
        const std::uint8_t* pattern = d.data() + pos_;
        pos_ += h_.patternLength;
        for (int i = 0; i < count && x < rowBytes; ++i) {
          for (int j = 0; j < h_.patternLength; ++j) put(pattern[j]);
        }
      } else if (op == 0x80) {
        if (pos_ >= end) return;
        const std::size_t wanted = d[pos_++];
        const std::size_t count = std::min<std::size_t>(wanted, end - pos_);
        for (std::size_t i = 0; i < count; ++i) put(d[pos_ + i]);
        pos_ += count;
      } else {
        const std::uint8_t v = (op & 0x80) ? 0xFF : 0x00;
        const std::size_t count = std::min<std::size_t>(op & 0x7F, rowBytes - x);
        std::memset(out + x, v, count);
        x += count;
      }
    }
  }

  void storeScanline(const std::uint8_t* planes, std::size_t rowBytes, BYTE* out) const {
    if (h_.planes == 1) {
      std::memcpy(out, planes, rowBytes);
      return;
    }
    for (int x = 0; x < h_.width; ++x) {
      unsigned v = 0;
      const std::size_t byte = static_cast<std::size_t>(x) >> 3;
      const int shift = 7 - (x & 7);
      for (int k = 0; k < h_.planes; ++k) v |= ((planes[k * rowBytes + byte] >> shift) & 1u) << k;
      if (h_.planes <= 4) {
        out[x >> 1] = static_cast<BYTE>(out[x >> 1] | ((x & 1) ? v : v << 4));
      } else {
        out[x] = static_cast<BYTE>(v);
      }
    }
  }

  void buildPalette() {
    const int count = 1 << h_.planes;
    palette_.resize(count);
    const std::uint8_t* p = file_->bytes.data();
    for (int i = 0; i < count; ++i) {
      std::uint8_t rgb[3];
      if (h_.ximg) {
        // XIMG stores per mille intensities, indexed by pixel value.
        for (int c = 0; c < 3; ++c) {
          const unsigned v = std::min<unsigned>(Be16(p + 22 + 6 * i + 2 * c), 1000);
          rgb[c] = static_cast<std::uint8_t>((v * 255 + 500) / 1000);
        }
      } else {
        defaultColor(i, count, rgb);
      }
      palette_[i] = RGBQUAD{rgb[2], rgb[1], rgb[0], 0};
    }
  }

  // The desktop shows pixel value 0 as white and the highest value as black; values
  // between take the bright colours in order (4 planes: all 16 defaults). Beyond 16
  // colours there is no standard, so the rest get a grey ramp.
  static void defaultColor(int value, int count, std::uint8_t rgb[3]) {
    const std::uint8_t* c;
    if (count == 16) {
      c = kVdiColors[value];
    } else if (value == 0) {
      c = kVdiColors[0];
    } else if (value == count - 1) {
      c = kVdiColors[15];
    } else if (value < 15) {
      c = kVdiColors[value];
    } else {
      const auto g = static_cast<std::uint8_t>(255 - value * 255 / (count - 1));
      rgb[0] = rgb[1] = rgb[2] = g;
      return;
    }
    std::memcpy(rgb, c, 3);
  }

  FileDataPtr file_;
  Header h_;
  std::vector<RGBQUAD> palette_;
  std::size_t pos_ = 0;
};

bool SniffGem(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  Header h;
  return ParseHeader(head, length, fileSize, &h);
}

std::unique_ptr<ImageReader> OpenGem(FileDataPtr file) {
  if (!file) return nullptr;
  Header h;
  if (!ParseHeader(file->bytes.data(), file->bytes.size(), file->bytes.size(), &h)) return nullptr;
  return std::make_unique<GemReader>(std::move(file), h);
}

}  // namespace

const FormatDescriptor kGemFormat = {"GEM", SniffGem, OpenGem};

}  // namespace lorimer::formats
