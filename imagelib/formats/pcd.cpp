// Kodak Photo CD image packs (PCD): the Base image, 768 x 512, shown upright.
//
// An image pack stores the same photograph at several sizes. The Base size is kept
// uncompressed as YCC 4:2:0 at a fixed place, which is all we read; the larger sizes
// are Huffman-coded refinements that a screen-sized view does not need.
#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "platform/base/bytes.h"
#include "imagelib/formats/page_canvas.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kIpiOffset = 0x800;
constexpr char kIpiSignature[] = "PCD_IPI";
constexpr std::size_t kOrientationOffset = 0xE02;
constexpr std::size_t kBaseOffset = 0x30000;
constexpr int kBaseWidth = 768;
constexpr int kBaseHeight = 512;
constexpr std::size_t kBaseBytes = kBaseWidth * kBaseHeight * 3 / 2;

// The YCC to RGB factors in 16.16 fixed point, as photo software commonly applies
// them; results beyond 0..255 are clamped.
constexpr int kLuma = 89024;
constexpr int kRedFromC2 = 119374;
constexpr int kGreenFromC1 = 28198;
constexpr int kGreenFromC2 = 60761;
constexpr int kBlueFromC1 = 145352;
constexpr int kC1Offset = 156;
constexpr int kC2Offset = 137;

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

bool HasSignature(vel::ByteReader in) {
  in.seek(kIpiOffset);
  const auto signature = in.bytes(sizeof kIpiSignature - 1);
  return in && std::memcmp(signature.data(), kIpiSignature, signature.size()) == 0;
}

class PcdReader : public ImageReader {
 public:
  explicit PcdReader(FileDataPtr file) : file_(std::move(file)) {
    // Bits 0-1: 0 upright, 1 turn 90 degrees anticlockwise, 2 turn 180, 3 turn 90 clockwise.
    // A file too short to hold the byte is upright.
    vel::ByteReader in(file_->bytes);
    in.seek(kOrientationOffset);
    orientation_ = in.u8() & 3;
  }

  int pageCount() const override { return 1; }

  PageInfo pageInfo(int page) const override {
    PageInfo info;
    if (page != 0) return info;
    const bool quarterTurn = orientation_ == 1 || orientation_ == 3;
    info.width = quarterTurn ? kBaseHeight : kBaseWidth;
    info.height = quarterTurn ? kBaseWidth : kBaseHeight;
    info.bitCount = 24;
    return info;
  }

  Decoded decode(int page) override {
    if (page != 0) return vel::Fail("PCD: no page " + std::to_string(page));
    const PageInfo info = pageInfo(0);
    auto canvas = NewPageCanvas(info.width, info.height, 24);
    if (!canvas) return vel::Fail("PCD: " + canvas.reason());
    const vel::gdi::BitmapView& view = canvas->view;
    const Planes planes = splitPlanes();
    for (int y = 0; y < kBaseHeight; ++y) {
      for (int x = 0; x < kBaseWidth; ++x) {
        const int luma = kLuma * planes.luma[static_cast<std::size_t>(y) * kBaseWidth + x];
        const int c1 = chroma(planes.c1, x, y) - kC1Offset;
        const int c2 = chroma(planes.c2, x, y) - kC2Offset;
        int dx = x, dy = y;
        place(x, y, &dx, &dy);
        BYTE* out = view.row(dy) + 3 * static_cast<std::size_t>(dx);
        out[0] = Clamp((luma + kBlueFromC1 * c1) >> 16);
        out[1] = Clamp((luma - kGreenFromC1 * c1 - kGreenFromC2 * c2) >> 16);
        out[2] = Clamp((luma + kRedFromC2 * c2) >> 16);
      }
    }
    return std::move(canvas->bitmap);
  }

 private:
  // Per pair of rows the Base image holds two luma rows, then one row of each chroma
  // channel at half width.
  struct Planes {
    std::vector<std::uint8_t> luma, c1, c2;
  };

  // Opening made sure the file holds the whole Base image.
  Planes splitPlanes() const {
    vel::ByteReader base = vel::ByteReader(file_->bytes).sub(kBaseOffset, kBaseBytes);
    const std::size_t w = kBaseWidth, cw = kBaseWidth / 2;
    Planes planes;
    planes.luma.resize(w * kBaseHeight);
    planes.c1.resize(cw * (kBaseHeight / 2));
    planes.c2.resize(cw * (kBaseHeight / 2));
    for (std::size_t pair = 0; pair < kBaseHeight / 2; ++pair) {
      base.read(std::span(planes.luma).subspan(2 * pair * w, 2 * w));
      base.read(std::span(planes.c1).subspan(pair * cw, cw));
      base.read(std::span(planes.c2).subspan(pair * cw, cw));
    }
    return planes;
  }

  // Chroma at full resolution: samples sit on even pixels, pixels between take the
  // rounded average of their neighbours.
  static int chroma(const std::vector<std::uint8_t>& plane, int x, int y) {
    constexpr int cw = kBaseWidth / 2, ch = kBaseHeight / 2;
    const int x0 = x / 2, y0 = y / 2;
    const int x1 = (x & 1) ? std::min(x0 + 1, cw - 1) : x0;
    const int y1 = (y & 1) ? std::min(y0 + 1, ch - 1) : y0;
    auto at = [&](int cx, int cy) { return static_cast<int>(plane[static_cast<std::size_t>(cy) * cw + cx]); };
    return (at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4;
  }

  void place(int x, int y, int* dx, int* dy) const {
    switch (orientation_) {
      case 1:  // anticlockwise: the top right corner goes to the top left
        *dx = y;
        *dy = kBaseWidth - 1 - x;
        break;
      case 2:
        *dx = kBaseWidth - 1 - x;
        *dy = kBaseHeight - 1 - y;
        break;
      case 3:  // clockwise: the top left corner goes to the top right
        *dx = kBaseHeight - 1 - y;
        *dy = x;
        break;
      default:
        *dx = x;
        *dy = y;
        break;
    }
  }

  FileDataPtr file_;
  int orientation_ = 0;
};

bool SniffPcd(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  return HasSignature(vel::ByteReader(head, length)) && fileSize >= kBaseOffset + kBaseBytes;
}

Opened OpenPcd(FileDataPtr file) {
  if (!file) return vel::Fail("PCD: no file");
  if (!HasSignature(vel::ByteReader(file->bytes))) return vel::Fail("PCD: no PCD_IPI signature");
  if (file->bytes.size() < kBaseOffset + kBaseBytes) {
    return vel::Fail("PCD: the file ends at " + std::to_string(file->bytes.size()) +
                     " bytes, before the end of the Base image");
  }
  return std::make_unique<PcdReader>(std::move(file));
}

}  // namespace

const FormatDescriptor kPcdFormat = {"PCD", SniffPcd, OpenPcd};

}  // namespace lorimer::formats
