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
#include <span>
#include <string>

#include "platform/base/bytes.h"
#include "imagelib/formats/page_canvas.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/signatureless.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kBaseHeaderWords = 8;
constexpr std::size_t kMaxPlainHeaderWords = 59;
constexpr std::size_t kXimgFixedWords = 11;  // 8 base words, "XIMG", colour model
constexpr std::size_t kXimgPaletteOffset = 2 * kXimgFixedWords;
constexpr int kMaxPlanes = 8;
constexpr int kMaxPatternLength = 8;
constexpr int kMaxScanlineRepeat = 255;
// The most one opcode can produce: a pattern run of 255 times 8 bytes.
constexpr std::uint64_t kMaxOpcodeOutput = 255 * kMaxPatternLength;
// So no picture can take more than this many pixels per byte of data: an opcode for
// kMaxOpcodeOutput bytes of one plane, its scanline shown kMaxScanlineRepeat times.
constexpr std::uint64_t kMaxPixelsPerByte = kMaxOpcodeOutput * 8 * kMaxScanlineRepeat;

// Default desktop colours by pixel value for 16 colours: white, the bright colours,
// greys, their dark versions, and black in the last slot.
constexpr std::uint8_t kVdiColors[16][3] = {{255, 255, 255}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {192, 192, 192},
                                            {128, 128, 128}, {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
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

  // Plane counts land in the 1, 4 or 8-bit layouts a DIB offers.
  int heldBits() const { return planes == 1 ? 1 : planes <= 4 ? 4 : 8; }
};

int DpiFromMicrons(unsigned microns) { return microns == 0 ? 0 : static_cast<int>((25400 + microns / 2) / microns); }

vel::Expected<Header> ParseHeader(vel::ByteReader in, std::uint64_t fileSize) {
  Header h;
  const unsigned version = in.be16();
  const std::size_t headerWords = in.be16();
  h.planes = in.be16();
  h.patternLength = in.be16();
  const unsigned xMicrons = in.be16(), yMicrons = in.be16();
  h.width = in.be16();
  h.height = in.be16();
  if (!in) return vel::Fail("GEM header: " + in.failure());
  if (version > 2) return vel::Fail("GEM header: version " + std::to_string(version));
  if (headerWords < kBaseHeaderWords) return vel::Fail("GEM header: " + std::to_string(headerWords) + " header words");
  if (h.planes < 1 || h.planes > kMaxPlanes) return vel::Fail("GEM header: " + std::to_string(h.planes) + " planes");
  if (h.patternLength < 1 || h.patternLength > kMaxPatternLength) {
    return vel::Fail("GEM header: pattern length " + std::to_string(h.patternLength));
  }
  if (h.width == 0 || h.height == 0) {
    return vel::Fail("GEM header: size " + std::to_string(h.width) + " x " + std::to_string(h.height));
  }
  h.xDpi = DpiFromMicrons(xMicrons);
  h.yDpi = DpiFromMicrons(yMicrons);
  if (headerWords >= kXimgFixedWords && in.has(6)) {
    const auto tag = in.bytes(4);
    const unsigned colourModel = in.be16();
    h.ximg = std::memcmp(tag.data(), "XIMG", 4) == 0;
    // RGB is the only colour model anyone wrote; the palette must fit the header.
    if (h.ximg && colourModel != 0) return vel::Fail("GEM header: XIMG colour model " + std::to_string(colourModel));
    if (h.ximg && headerWords < kXimgFixedWords + 3 * (std::size_t{1} << h.planes)) {
      return vel::Fail("GEM header: XIMG header of " + std::to_string(headerWords) + " words has no room for " +
                       std::to_string(1 << h.planes) + " colours");
    }
  }
  if (!h.ximg && headerWords > kMaxPlainHeaderWords) {
    return vel::Fail("GEM header: " + std::to_string(headerWords) + " header words");
  }
  h.dataOffset = headerWords * 2;
  if (h.dataOffset >= fileSize) {
    return vel::Fail("GEM header: the data would start at " + std::to_string(h.dataOffset) + ", past the end of " +
                     std::to_string(fileSize) + " bytes");
  }
  if (auto size = CheckPictureSize(h.width, h.height, h.heldBits(), fileSize, kMaxPixelsPerByte); !size) {
    return vel::Fail("GEM header: " + size.reason());
  }
  // Every plane row needs an opcode per kMaxOpcodeOutput bytes, and a stored scanline
  // shows at most 255 times: a header asking for more rows than the data can make is bad.
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.width) + 7) / 8;
  const std::uint64_t perScanline = h.planes * ((rowBytes + kMaxOpcodeOutput - 1) / kMaxOpcodeOutput);
  const std::uint64_t scanlines = (static_cast<std::uint64_t>(h.height) + kMaxScanlineRepeat - 1) / kMaxScanlineRepeat;
  if (scanlines * perScanline > fileSize - h.dataOffset) {
    return vel::Fail("GEM header: " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                     " pixels cannot come from " + std::to_string(fileSize - h.dataOffset) + " bytes");
  }
  return h;
}

class GemReader : public ImageReader {
 public:
  GemReader(FileDataPtr file, const Header& header)
      : file_(std::move(file)), h_(header), data_(std::span<const std::uint8_t>(file_->bytes).subspan(h_.dataOffset)) {
    buildPalette();
  }

  int pageCount() const override { return 1; }

  PageInfo pageInfo(int page) const override {
    if (page != 0) return {};
    // The bits are what decode holds, not the file's plane count.
    return {.width = h_.width,
            .height = h_.height,
            .bitCount = h_.heldBits(),
            .colorsUsed = static_cast<unsigned>(palette_.size()),
            .xDpi = h_.xDpi,
            .yDpi = h_.yDpi};
  }

  Decoded decode(int page) override {
    auto canvas = OnlyPageCanvas("GEM", page, h_.width, h_.height, h_.heldBits(), palette_);
    if (!canvas) return vel::Fail(canvas.error());
    const vel::gdi::BitmapView& view = canvas->view;
    const std::size_t rowBytes = (static_cast<std::size_t>(h_.width) + 7) / 8;
    std::vector<std::uint8_t> scanline(rowBytes * h_.planes);
    pos_ = 0;
    int y = 0;
    while (y < h_.height && pos_ < data_.size()) {
      std::fill(scanline.begin(), scanline.end(), 0);
      int repeat = 1;
      for (int k = 0; k < h_.planes; ++k) decodeRow(&scanline[k * rowBytes], rowBytes, k == 0 ? &repeat : nullptr);
      for (int i = 0; i < repeat && y < h_.height; ++i, ++y) storeScanline(scanline.data(), rowBytes, view.row(y));
    }
    return std::move(canvas->bitmap);
  }

 private:
  // Decodes one plane row. `repeat` receives the count of a scanline repeat met at
  // the very start of the row (only the first plane of a scanline may carry one).
  void decodeRow(std::uint8_t* out, std::size_t rowBytes, int* repeat) {
    const auto d = data_;
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
        const auto pattern = d.subspan(pos_, h_.patternLength);
        pos_ += h_.patternLength;
        for (int i = 0; i < count && x < rowBytes; ++i) {
          for (const std::uint8_t b : pattern) put(b);
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
    // The header check made room for the XIMG colours before the data.
    vel::ByteReader ximg;
    if (h_.ximg) ximg = vel::ByteReader(file_->bytes).sub(kXimgPaletteOffset, 6 * count);
    for (int i = 0; i < count; ++i) {
      std::uint8_t rgb[3];
      if (h_.ximg) {
        // XIMG stores per mille intensities, indexed by pixel value.
        for (int c = 0; c < 3; ++c) {
          const unsigned v = std::min<unsigned>(ximg.be16(), 1000);
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
  std::span<const std::uint8_t> data_;  // the compressed scanlines, to the end of the file
  std::vector<RGBQUAD> palette_;
  std::size_t pos_ = 0;  // within data_ while decoding
};

}  // namespace

const FormatDescriptor kGemFormat = {"GEM", SniffByHeader<ParseHeader>, OpenByHeader<ParseHeader, GemReader>};

}  // namespace lorimer::formats
