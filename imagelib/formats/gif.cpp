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

#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kMaxFrames = 10000;
// Screens above kFreePixels need a file big enough to plausibly paint them.
constexpr std::uint64_t kFreePixels = 1ULL << 24;
constexpr std::uint64_t kMaxPixelsPerByte = 2048;
// Pixel work (decoding, clearing, restoring) one page may cost before we stop compositing.
constexpr std::uint64_t kWorkBudget = 1ULL << 30;

struct Palette {
  std::vector<RGBQUAD> colors;
  int bits = 0;
};

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  int disposal = 0;
  int transparent = -1;
  Palette palette;          // local table, else the global one
  std::size_t data = 0;     // LZW minimum code size byte
  std::size_t dataEnd = 0;  // after the block terminator (or the end of the file)
};

struct GifLayout {
  int width = 0, height = 0;
  std::vector<Frame> frames;
};

std::size_t SkipSubBlocks(const std::uint8_t* d, std::size_t n, std::size_t pos) {
  while (pos < n) {
    const std::size_t len = d[pos];
    pos += 1 + len;
    if (len == 0) break;
  }
  return std::min(pos, n);
}

bool ReadColorTable(const std::uint8_t* d, std::size_t n, std::size_t* pos, int bits, Palette* out) {
  const std::size_t count = std::size_t{1} << bits;
  if (!InRange(n, *pos, 3 * count)) return false;
  out->bits = bits;
  out->colors.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* c = d + *pos + 3 * i;
    out->colors[i] = RGBQUAD{c[2], c[1], c[0], 0};
  }
  *pos += 3 * count;
  return true;
}

// Finds the frames. A file cut short keeps the frames whose descriptors are complete.
bool ParseLayout(const std::uint8_t* d, std::size_t n, GifLayout* out) {
  if (n < 13 || (std::memcmp(d, "GIF87a", 6) != 0 && std::memcmp(d, "GIF89a", 6) != 0)) return false;
  out->width = Le16(d + 6);
  out->height = Le16(d + 8);
  std::size_t pos = 13;
  Palette global;
  if ((d[10] & 0x80) && !ReadColorTable(d, n, &pos, (d[10] & 7) + 1, &global)) return false;
  int disposal = 0, transparent = -1;
  while (pos < n && out->frames.size() < kMaxFrames) {
    const std::uint8_t block = d[pos];
    if (block == 0x3B) break;
    if (block == 0x21) {
      if (pos + 1 >= n) break;
      const std::uint8_t label = d[pos + 1];
      pos += 2;
      if (label == 0xF9 && pos + 5 <= n && d[pos] >= 4) {
        disposal = (d[pos + 1] >> 2) & 7;
        transparent = (d[pos + 1] & 1) ? d[pos + 4] : -1;
      }
      pos = SkipSubBlocks(d, n, pos);
    } else if (block == 0x2C) {
      if (pos + 10 > n) break;
      Frame f;
      f.left = Le16(d + pos + 1);
      f.top = Le16(d + pos + 3);
      f.width = Le16(d + pos + 5);
      f.height = Le16(d + pos + 7);
      const std::uint8_t flags = d[pos + 9];
      f.interlaced = (flags & 0x40) != 0;
      pos += 10;
      if (flags & 0x80) {
        if (!ReadColorTable(d, n, &pos, (flags & 7) + 1, &f.palette)) break;
      } else {
        f.palette = global;
      }
      if (pos >= n) break;
      f.data = pos;
      pos = SkipSubBlocks(d, n, pos + 1);
      f.dataEnd = pos;
      f.disposal = disposal;
      f.transparent = transparent;
      disposal = 0;
      transparent = -1;
      out->frames.push_back(std::move(f));
    } else {
      break;  // garbage after the last good block: keep what we found
    }
  }
  if (out->frames.empty()) return false;
  if (out->width == 0 || out->height == 0) {
    // Some writers leave the screen empty; the frames then define it.
    for (const Frame& f : out->frames) {
      out->width = std::max(out->width, std::min(f.left + f.width, 0xFFFF));
      out->height = std::max(out->height, std::min(f.top + f.height, 0xFFFF));
    }
  }
  if (out->width == 0 || out->height == 0) return false;
  const std::uint64_t pixels = std::uint64_t(out->width) * out->height;
  if (pixels > static_cast<std::uint64_t>(vel::gdi::kMaxBitmapPixels)) return false;
  return pixels <= kFreePixels || pixels / kMaxPixelsPerByte <= n;
}

// giflib reads a synthetic stream: a header and descriptor of our making, then the
// frame's LZW data straight from the file.
struct LzwStream {
  std::uint8_t prefix[24];
  std::size_t prefixLength = 0;
  const std::uint8_t* data = nullptr;
  std::size_t dataLength = 0;
  std::size_t pos = 0;
};

int ReadStream(GifFileType* gif, GifByteType* out, int length) {
  auto* s = static_cast<LzwStream*>(gif->UserData);
  int done = 0;
  while (done < length) {
    const std::size_t total = s->prefixLength + s->dataLength;
    if (s->pos >= total) break;
    if (s->pos < s->prefixLength) {
      out[done++] = s->prefix[s->pos++];
    } else {
      const std::size_t chunk = std::min<std::size_t>(length - done, total - s->pos);
      std::memcpy(out + done, s->data + (s->pos - s->prefixLength), chunk);
      done += static_cast<int>(chunk);
      s->pos += chunk;
    }
  }
  return done;
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
void DecodeFrame(const std::uint8_t* d, const Frame& f, std::vector<GifByteType>& line, Sink&& sink) {
  if (f.width == 0 || f.height == 0) return;
  LzwStream s;
  std::memcpy(s.prefix, "GIF89a", 6);
  s.prefix[6] = static_cast<std::uint8_t>(f.width);
  s.prefix[7] = static_cast<std::uint8_t>(f.width >> 8);
  s.prefix[8] = static_cast<std::uint8_t>(f.height);
  s.prefix[9] = static_cast<std::uint8_t>(f.height >> 8);
  s.prefix[10] = s.prefix[11] = s.prefix[12] = 0;
  s.prefix[13] = 0x2C;
  std::memset(s.prefix + 14, 0, 4);
  std::memcpy(s.prefix + 18, s.prefix + 6, 4);
  s.prefix[22] = 0;
  s.prefixLength = 23;
  s.data = d + f.data;
  s.dataLength = f.dataEnd - f.data;
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
  Compositor(const std::uint8_t* d, const GifLayout& layout) : d_(d), layout_(layout) {}

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
      if (save) std::memcpy(s, c, rowBytes); else std::memcpy(c, s, rowBytes);
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
    DecodeFrame(d_, f, line_, [&](int y, const GifByteType* idx) {
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

  const std::uint8_t* d_;
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
  return f.transparent < 0 && f.left == 0 && f.top == 0 && f.width >= layout.width &&
         f.height >= layout.height && !f.palette.colors.empty();
}

class GifReader final : public ImageReader {
 public:
  GifReader(FileDataPtr file, GifLayout layout)
      : file_(std::move(file)), layout_(std::move(layout)), compositor_(file_->bytes.data(), layout_) {}

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
  HBITMAP decodePage(int page) override {
    if (page < 0 || page >= pageCount()) return nullptr;
    if (Palettisable(layout_)) return DecodeIndexed();
    if (!compositor_.Advance(page)) return nullptr;
    HBITMAP bitmap = NewPageBitmap(layout_.width, layout_.height, 24);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    const std::uint8_t* c = compositor_.canvas().data();
    const std::size_t rowBytes = std::size_t(layout_.width) * 3;
    for (int y = 0; y < layout_.height; ++y) std::memcpy(view.row(y), c + rowBytes * y, rowBytes);
    return bitmap;
  }

 private:
  HBITMAP DecodeIndexed() {
    const Frame& f = layout_.frames[0];
    const int bits = IndexedBits(f.palette.bits);
    HBITMAP bitmap = NewPageBitmap(layout_.width, layout_.height, bits, f.palette.colors);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    std::vector<GifByteType> line;
    const int width = layout_.width;
    const unsigned limit = (1u << bits) - 1;
    DecodeFrame(file_->bytes.data(), f, line, [&](int y, const GifByteType* idx) {
      if (y < 0 || y >= layout_.height) return;
      BYTE* row = view.row(y);
      for (int x = 0; x < width; ++x) {
        const unsigned v = std::min<unsigned>(idx[x], limit);
        if (bits == 8) row[x] = static_cast<BYTE>(v);
        else if (bits == 4) row[x >> 1] = static_cast<BYTE>(row[x >> 1] | ((x & 1) ? v : v << 4));
        else row[x >> 3] = static_cast<BYTE>(row[x >> 3] | (v << (7 - (x & 7))));
      }
    });
    return bitmap;
  }

  FileDataPtr file_;
  GifLayout layout_;
  Compositor compositor_;
};

bool SniffGif(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  return length >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

std::unique_ptr<ImageReader> OpenGif(FileDataPtr file) {
  if (!file) return nullptr;
  GifLayout layout;
  if (!ParseLayout(file->bytes.data(), file->bytes.size(), &layout)) return nullptr;
  return std::make_unique<GifReader>(std::move(file), std::move(layout));
}

}  // namespace

const FormatDescriptor kGifFormat = {"GIF", SniffGif, OpenGif};

}  // namespace lorimer::formats
