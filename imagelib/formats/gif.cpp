// GIF reader: every frame is a page, composited as a browser shows the animation.
//
// The block structure is walked here (it is simple and lets a broken frame stay broken
// alone); the LZW data of each frame is decoded by giflib, fed a minimal stream of its own.
// Pages have the logical screen's size. The canvas starts transparent, and "restore to
// background" clears to transparent too, as browsers do; transparency is shown as white.
// A single frame that covers the screen and has no transparent colour stays palettised;
// every other page is 24 bits.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "imagelib/formats/reader.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kMaxFrames = 10000;
// Screens above 2^24 pixels need a file big enough to plausibly paint them.
constexpr std::uint64_t kMaxPixelsPerByte = 2048;
// Pixel work (decoding, clearing, restoring) one page may cost before we stop compositing.
constexpr std::uint64_t kWorkBudget = 1ULL << 30;

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;

struct Palette {
  std::vector<RGBQUAD> colors;
  int bits = 0;
};

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  int disposal = 0;
  int transparent = -1;
  Palette palette;  // local table, else the global one
  // The LZW minimum code size byte and the data sub-blocks after it, through the block
  // terminator (or the end of the file).
  std::span<const std::uint8_t> lzw;
};

struct GifLayout {
  int width = 0, height = 0;
  std::vector<Frame> frames;
};

// Skips a chain of data sub-blocks through its terminator; a chain the file cuts short
// ends at the end of the file.
void SkipSubBlocks(vel::ByteReader& in) {
  while (!in.atEnd()) {
    const std::uint8_t length = in.u8();
    if (length == 0) break;
    in.skip(std::min<std::size_t>(length, in.remaining()));
  }
}

// A colour table of 2^bits entries; false when the file ends inside it.
bool ReadColorTable(vel::ByteReader& in, int bits, Palette* out) {
  const std::size_t count = std::size_t{1} << bits;
  vel::ByteReader table = in.take(3 * count);
  if (!in) return false;
  out->bits = bits;
  out->colors.resize(count);
  for (RGBQUAD& c : out->colors) {
    const std::uint8_t red = table.u8(), green = table.u8(), blue = table.u8();
    c = RGBQUAD{blue, green, red, 0};
  }
  return true;
}

// A graphic control extension's disposal and transparent index, for the next frame.
void ReadGraphicControl(vel::ByteReader in, int* disposal, int* transparent) {
  const std::uint8_t size = in.u8();
  const std::uint8_t flags = in.u8();
  in.skip(2);  // delay
  const std::uint8_t index = in.u8();
  if (!in || size < 4) return;
  *disposal = (flags >> 2) & 7;
  *transparent = (flags & 1) ? index : -1;
}

// Finds the frames. A file cut short keeps the frames whose descriptors are complete.
vel::Expected<GifLayout> ParseLayout(std::span<const std::uint8_t> file) {
  vel::ByteReader in(file);
  const std::string signature = in.text(6);
  GifLayout out;
  out.width = in.le16();
  out.height = in.le16();
  const std::uint8_t screenFlags = in.u8();
  in.skip(2);  // background colour and aspect ratio
  if (!in) return vel::Fail("GIF header: " + in.failure());
  if (signature != "GIF87a" && signature != "GIF89a") return vel::Fail("GIF header: no GIF87a/GIF89a signature");
  Palette global;
  if ((screenFlags & 0x80) && !ReadColorTable(in, (screenFlags & 7) + 1, &global)) {
    return vel::Fail("GIF header: the global colour table is cut short");
  }
  int disposal = 0, transparent = -1;
  while (!in.atEnd() && out.frames.size() < kMaxFrames) {
    const std::uint8_t block = in.u8();
    if (block == kTrailer) break;
    if (block == kExtensionIntroducer) {
      if (in.atEnd()) break;
      if (in.u8() == kGraphicControlLabel) ReadGraphicControl(in, &disposal, &transparent);
      SkipSubBlocks(in);
    } else if (block == kImageSeparator) {
      Frame f;
      f.left = in.le16();
      f.top = in.le16();
      f.width = in.le16();
      f.height = in.le16();
      const std::uint8_t flags = in.u8();
      if (!in) break;
      f.interlaced = (flags & 0x40) != 0;
      if (flags & 0x80) {
        if (!ReadColorTable(in, (flags & 7) + 1, &f.palette)) break;
      } else {
        f.palette = global;
      }
      if (in.atEnd()) break;
      const std::size_t start = in.position();
      in.skip(1);  // LZW minimum code size
      SkipSubBlocks(in);
      f.lzw = in.all().subspan(start, in.position() - start);
      f.disposal = disposal;
      f.transparent = transparent;
      disposal = 0;
      transparent = -1;
      out.frames.push_back(std::move(f));
    } else {
      break;  // garbage after the last good block: keep what we found
    }
  }
  if (out.frames.empty()) return vel::Fail("GIF: no frame in the file");
  if (out.width == 0 || out.height == 0) {
    // Some writers leave the screen empty; the frames then define it.
    for (const Frame& f : out.frames) {
      out.width = std::max(out.width, std::min(f.left + f.width, 0xFFFF));
      out.height = std::max(out.height, std::min(f.top + f.height, 0xFFFF));
    }
  }
  // Pages are composited on a 24-bit canvas of the screen's size.
  if (auto size = CheckPictureSize(out.width, out.height, 24, file.size(), kMaxPixelsPerByte); !size) {
    return vel::Fail("GIF header: screen " + size.reason());
  }
  return out;
}

// giflib reads a synthetic stream: a header and descriptor of our making, then the
// frame's LZW data straight from the file.
struct LzwStream {
  explicit LzwStream(std::span<const std::uint8_t> lzw) : rest(lzw) {}
  std::uint8_t prefix[23] = {};
  std::size_t pos = 0;   // in the prefix
  vel::ByteReader rest;  // after the prefix
};

int ReadStream(GifFileType* gif, GifByteType* out, int length) {
  auto* s = static_cast<LzwStream*>(gif->UserData);
  if (length <= 0) return 0;
  auto wanted = static_cast<std::size_t>(length);
  std::size_t done = 0;
  if (s->pos < sizeof s->prefix) {
    done = std::min(wanted, sizeof s->prefix - s->pos);
    std::memcpy(out, s->prefix + s->pos, done);
    s->pos += done;
  }
  const auto part = s->rest.bytes(std::min(wanted - done, s->rest.remaining()));
  if (!part.empty()) std::memcpy(out + done, part.data(), part.size());
  return static_cast<int>(done + part.size());
}

// Row of the picture that the i-th row in the stream belongs to.
int StreamRowToPictureRow(int i, int height, bool interlaced) {
  if (!interlaced) return i;
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int rows = height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
    if (i < rows) return kStart[pass] + i * kStep[pass];
    i -= rows;
  }
  return -1;
}

// Decodes one frame's indexes, handing each finished row to `sink(pictureRow, indexes)`.
// Stops at the first error; rows before it stay delivered.
template <typename Sink>
void DecodeFrame(const Frame& f, std::vector<GifByteType>& line, Sink&& sink) {
  if (f.width == 0 || f.height == 0) return;
  // A screen of exactly the frame's size with the frame at 0, 0 and no tables.
  LzwStream s(f.lzw);
  vel::ByteWriter header{std::span(s.prefix)};
  header.text("GIF89a");
  header.le16(static_cast<std::uint16_t>(f.width));
  header.le16(static_cast<std::uint16_t>(f.height));
  header.fill(0, 3);  // no global table, background, aspect
  header.u8(kImageSeparator);
  header.le16(0);
  header.le16(0);
  header.le16(static_cast<std::uint16_t>(f.width));
  header.le16(static_cast<std::uint16_t>(f.height));
  header.u8(0);  // no local table, not interlaced: rows come in stream order
  int error = 0;
  GifFileType* gif = DGifOpen(&s, ReadStream, &error);
  if (!gif) return;
  GifRecordType type;
  if (DGifGetRecordType(gif, &type) == GIF_OK && type == IMAGE_DESC_RECORD_TYPE && DGifGetImageDesc(gif) == GIF_OK) {
    line.resize(f.width);
    for (int i = 0; i < f.height; ++i) {
      // giflib reports an error on the last row when the block terminator is missing,
      // after it has decoded the row; that row is still good.
      const bool ok = DGifGetLine(gif, line.data(), f.width) == GIF_OK;
      if (!ok && i + 1 < f.height) break;
      sink(StreamRowToPictureRow(i, f.height, f.interlaced), line.data());
      if (!ok) break;
    }
  }
  DGifCloseFile(gif, &error);
}

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::uint64_t area() const { return std::uint64_t(right - left) * (bottom - top); }
};

Rect Clip(const Frame& f, int width, int height) {
  Rect r{std::min(f.left, width), std::min(f.top, height), std::min(f.left + f.width, width),
         std::min(f.top + f.height, height)};
  return r;
}

// Composites frames onto an RGB canvas, remembering what the last frame's disposal asks
// for, so that pages asked for in order cost one frame each.
class Compositor {
 public:
  explicit Compositor(const GifLayout& layout) : layout_(layout) {}

  // The canvas after drawing frame `page`; false when nothing could be drawn.
  bool Advance(int page) {
    if (next_ == 0 || page < next_ - 1) Reset();
    std::uint64_t work = 0;
    while (next_ <= page) {
      if (work > kWorkBudget) return next_ > 0;
      DrawNext(&work);
    }
    return true;
  }
  const std::vector<std::uint8_t>& canvas() const { return canvas_; }

 private:
  void Reset() {
    canvas_.assign(std::size_t(layout_.width) * layout_.height * 3, 0xFF);
    next_ = 0;
    pendingDisposal_ = 0;
    saved_.clear();
  }

  std::uint8_t* At(int x, int y) { return canvas_.data() + (std::size_t(y) * layout_.width + x) * 3; }
  void Fill(const Rect& r) {
    if (r.area() == 0) return;
    for (int y = r.top; y < r.bottom; ++y) std::memset(At(r.left, y), 0xFF, std::size_t(r.right - r.left) * 3);
  }
  void CopyRect(const Rect& r, bool save) {
    if (r.area() == 0) return;
    const std::size_t rowBytes = std::size_t(r.right - r.left) * 3;
    if (save) saved_.resize(rowBytes * (r.bottom - r.top));
    for (int y = r.top; y < r.bottom; ++y) {
      std::uint8_t* c = At(r.left, y);
      std::uint8_t* s = &saved_[rowBytes * (y - r.top)];
      if (save)
        std::memcpy(s, c, rowBytes);
      else
        std::memcpy(c, s, rowBytes);
    }
  }

  void DrawNext(std::uint64_t* work) {
    const Frame& f = layout_.frames[next_++];
    if (pendingDisposal_ == 2) {
      Fill(pendingRect_);
    } else if (pendingDisposal_ == 3 && !saved_.empty()) {
      CopyRect(pendingRect_, false);
    }
    *work += pendingRect_.area();
    const Rect r = Clip(f, layout_.width, layout_.height);
    pendingDisposal_ = f.disposal;
    pendingRect_ = r;
    saved_.clear();
    if (f.disposal == 3) CopyRect(r, true);
    *work += r.area() + std::uint64_t(f.width) * f.height;
    if (r.area() == 0) return;  // nothing of it shows (its data still counts for nothing)
    DecodeFrame(f, line_, [&](int y, const GifByteType* idx) {
      const int cy = f.top + y;
      if (y < 0 || cy >= r.bottom) return;
      std::uint8_t* out = At(r.left, cy);
      for (int x = 0; x < r.right - r.left; ++x, out += 3) {
        const int i = idx[x];
        if (i == f.transparent) continue;
        if (i < static_cast<int>(f.palette.colors.size())) {
          const RGBQUAD& c = f.palette.colors[i];
          out[0] = c.rgbBlue;
          out[1] = c.rgbGreen;
          out[2] = c.rgbRed;
        } else {
          out[0] = out[1] = out[2] = 0;
        }
      }
    });
  }

  const GifLayout& layout_;
  std::vector<std::uint8_t> canvas_;  // B, G, R per pixel, top row first
  std::vector<std::uint8_t> saved_;   // what "restore previous" puts back
  std::vector<GifByteType> line_;
  int next_ = 0;
  int pendingDisposal_ = 0;
  Rect pendingRect_;
};

// Palette sizes of 2 to 256 colours land in the 1, 4 or 8-bit layouts a DIB offers.
int IndexedBits(int paletteBits) { return paletteBits == 1 ? 1 : paletteBits <= 4 ? 4 : 8; }

bool Palettisable(const GifLayout& layout) {
  if (layout.frames.size() != 1) return false;
  const Frame& f = layout.frames[0];
  return f.transparent < 0 && f.left == 0 && f.top == 0 && f.width >= layout.width && f.height >= layout.height &&
         !f.palette.colors.empty();
}

class GifReader final : public ImageReader {
 public:
  GifReader(FileDataPtr file, GifLayout layout)
      : file_(std::move(file)), layout_(std::move(layout)), compositor_(layout_) {}

  int pageCount() const override { return static_cast<int>(layout_.frames.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount()) return {};
    const Frame& f = layout_.frames[page];
    PageInfo info;
    info.width = layout_.width;
    info.height = layout_.height;
    // What decodePage holds: one full, opaque frame keeps its palette (widened to
    // 1, 4 or 8 bits), anything else is composited into 24 bits.
    const bool indexed = Palettisable(layout_);
    info.bitCount = indexed ? IndexedBits(f.palette.bits) : 24;
    info.colorsUsed = indexed ? static_cast<unsigned>(f.palette.colors.size()) : 0;
    return info;
  }
  Decoded decode(int page) override {
    if (page < 0 || page >= pageCount()) {
      return vel::Fail("GIF: no page " + std::to_string(page + 1) + " in " + std::to_string(pageCount()));
    }
    if (Palettisable(layout_)) return DecodeIndexed();
    if (!compositor_.Advance(page)) return vel::Fail(FramePrefix(page) + "nothing of it could be drawn");
    vel::gdi::OwnedBitmap bitmap(NewPageBitmap(layout_.width, layout_.height, 24));
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap.get(), &view)) return vel::Fail(FramePrefix(page) + NoMemory());
    const std::uint8_t* c = compositor_.canvas().data();
    const std::size_t rowBytes = std::size_t(layout_.width) * 3;
    for (int y = 0; y < layout_.height; ++y) std::memcpy(view.row(y), c + rowBytes * y, rowBytes);
    return bitmap;
  }

 private:
  // Reasons name the frame as people count them, from 1.
  static std::string FramePrefix(int page) { return "GIF frame " + std::to_string(page + 1) + ": "; }
  std::string NoMemory() const {
    return "no memory for a " + std::to_string(layout_.width) + " x " + std::to_string(layout_.height) + " page";
  }

  Decoded DecodeIndexed() {
    const Frame& f = layout_.frames[0];
    const int bits = IndexedBits(f.palette.bits);
    vel::gdi::OwnedBitmap bitmap(NewPageBitmap(layout_.width, layout_.height, bits, f.palette.colors));
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap.get(), &view)) return vel::Fail(FramePrefix(0) + NoMemory());
    std::vector<GifByteType> line;
    const int width = layout_.width;
    const unsigned limit = (1u << bits) - 1;
    DecodeFrame(f, line, [&](int y, const GifByteType* idx) {
      if (y < 0 || y >= layout_.height) return;
      BYTE* row = view.row(y);
      for (int x = 0; x < width; ++x) {
        const unsigned v = std::min<unsigned>(idx[x], limit);
        if (bits == 8)
          row[x] = static_cast<BYTE>(v);
        else if (bits == 4)
          row[x >> 1] = static_cast<BYTE>(row[x >> 1] | ((x & 1) ? v : v << 4));
        else
          row[x >> 3] = static_cast<BYTE>(row[x >> 3] | (v << (7 - (x & 7))));
      }
    });
    return bitmap;
  }

  FileDataPtr file_;
  GifLayout layout_;
  Compositor compositor_;
};

bool SniffGif(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  vel::ByteReader in(head, length);
  const std::string signature = in.text(6);
  return in && (signature == "GIF87a" || signature == "GIF89a");
}

Opened OpenGif(FileDataPtr file) {
  if (!file) return vel::Fail("GIF: no file");
  auto layout = ParseLayout(file->bytes);
  if (!layout) return vel::Fail(layout.error());
  return std::make_unique<GifReader>(std::move(file), std::move(*layout));
}

}  // namespace

const FormatDescriptor kGifFormat = {"GIF", SniffGif, OpenGif};

}  // namespace lorimer::formats
