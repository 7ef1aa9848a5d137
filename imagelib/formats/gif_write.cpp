// GIF writing through giflib: one 1/4/8-bit palette page per frame, GIF89a. Appending
// decodes the existing file's frames and writes them again unchanged before ours.
//
// 24-bit pages are refused: the save path always reduces a page to 1..8 bits before it
// reaches this writer, and a quantiser of our own here would silently change colours.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

#include "imagelib/formats/write_util.h"
#include "imagelib/formats/writer.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

// The existing file, handed to giflib as it asks for bytes.
int ReadBytes(GifFileType* gif, GifByteType* data, int length) {
  auto* in = static_cast<vel::ByteReader*>(gif->UserData);
  if (length <= 0) return 0;
  const auto part = in->bytes(std::min<std::size_t>(static_cast<std::size_t>(length), in->remaining()));
  std::copy(part.begin(), part.end(), data);
  return static_cast<int>(part.size());
}

int WriteBytes(GifFileType* gif, const GifByteType* data, int length) {
  vel::ByteWriter out(*static_cast<std::vector<std::uint8_t>*>(gif->UserData));
  out.bytes({data, static_cast<std::size_t>(length)});
  return length;
}

struct DecoderCloser {
  void operator()(GifFileType* gif) const {
    int err = 0;
    DGifCloseFile(gif, &err);
  }
};
struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// Closes the encoder exactly once; EGifCloseFile frees the handle even when it fails.
class Encoder {
 public:
  explicit Encoder(std::vector<std::uint8_t>* out) {
    int err = 0;
    gif_ = EGifOpen(out, WriteBytes, &err);
  }
  ~Encoder() { Close(); }
  GifFileType* get() const { return gif_; }
  bool Close() {
    if (!gif_) return false;
    int err = 0;
    const bool ok = EGifCloseFile(gif_, &err) == GIF_OK;
    gif_ = nullptr;
    return ok;
  }

 private:
  GifFileType* gif_ = nullptr;
};

bool PutExtensions(GifFileType* gif, const ExtensionBlock* blocks, int count) {
  for (int i = 0; i < count; ++i) {
    const ExtensionBlock& b = blocks[i];
    if (b.Function != CONTINUE_EXT_FUNC_CODE && EGifPutExtensionLeader(gif, b.Function) != GIF_OK) return false;
    if (EGifPutExtensionBlock(gif, b.ByteCount, b.Bytes) != GIF_OK) return false;
    if ((i + 1 == count || blocks[i + 1].Function != CONTINUE_EXT_FUNC_CODE) && EGifPutExtensionTrailer(gif) != GIF_OK)
      return false;
  }
  return true;
}

// Writes one frame's raster (rows top first); interlaced frames go out in GIF pass order.
bool PutFrame(GifFileType* gif, int left, int top, int width, int height, bool interlace, const ColorMapObject* map,
              const std::vector<GifPixelType*>& rows) {
  if (EGifPutImageDesc(gif, left, top, width, height, interlace, map) != GIF_OK) return false;
  if (interlace) {
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < height; y += kStep[pass])
        if (EGifPutLine(gif, rows[static_cast<size_t>(y)], width) != GIF_OK) return false;
  } else {
    for (int y = 0; y < height; ++y)
      if (EGifPutLine(gif, rows[static_cast<size_t>(y)], width) != GIF_OK) return false;
  }
  return true;
}

// Skips a chain of data sub-blocks through its terminator, adding up their lengths;
// false when the file ends first.
bool SkipSubBlocks(vel::ByteReader& in, std::uint64_t* bytes) {
  for (;;) {
    const std::uint8_t length = in.u8();
    if (!in) return false;
    if (length == 0) return true;
    *bytes += length;
    if (!in.skip(length)) return false;
  }
}

// Bytes of a colour table the flags byte announces (none when its top bit is clear).
std::uint64_t ColorTableBytes(std::uint8_t flags) { return (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0; }

// Walks the existing file's blocks before giflib allocates anything: each frame must fit
// the bitmap limit and be paintable by the LZW data that follows it. One 12-bit code
// stands for at most 4096 pixels, so a byte of data can never describe more than 2731.
bool PlausibleGif(const std::vector<std::uint8_t>& gif) {
  vel::ByteReader in(gif);
  const auto signature = in.bytes(4);
  in.skip(6);  // version and screen size
  const std::uint8_t screenFlags = in.u8();
  in.skip(2);  // background colour and aspect
  if (!in || std::memcmp(signature.data(), "GIF8", 4) != 0) return false;
  if (!in.skip(ColorTableBytes(screenFlags))) return false;
  int frames = 0;
  while (!in.atEnd()) {
    const std::uint8_t kind = in.u8();
    if (kind == 0x3B) break;
    if (kind == 0x21) {
      in.skip(1);  // the label
      std::uint64_t ignored = 0;
      if (!SkipSubBlocks(in, &ignored)) return false;
    } else if (kind == 0x2C) {
      in.skip(4);  // left and top
      const std::uint64_t width = in.le16();
      const std::uint64_t height = in.le16();
      const std::uint8_t flags = in.u8();
      in.skip(ColorTableBytes(flags));
      in.skip(1);  // LZW minimum code size
      std::uint64_t data = 0;
      if (!in || !SkipSubBlocks(in, &data)) return false;
      const std::uint64_t pixels = width * height;
      if (pixels == 0 || pixels > static_cast<std::uint64_t>(vel::gdi::kMaxBitmapPixels) || pixels > (data + 2) * 2731)
        return false;
      ++frames;
    } else {
      return false;
    }
  }
  return frames > 0;
}

}  // namespace

bool WriteGif(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out) {
  vel::gdi::BitmapView view;
  if (!out || !page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8) return false;
  if (!view.colors || view.colorCount <= 0) return false;
  if (view.width <= 0 || view.height <= 0 || view.width > 65535 || view.height > 65535) return false;

  // Our frame: indexes unpacked to a byte each, with a local colour map of 2^bits entries.
  const int colors = 1 << bits;
  std::vector<GifColorType> entries(static_cast<size_t>(colors));
  for (int i = 0; i < colors && i < view.colorCount; ++i)
    entries[static_cast<size_t>(i)] = {view.colors[i].rgbRed, view.colors[i].rgbGreen, view.colors[i].rgbBlue};
  std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(colors, entries.data()));
  if (!map) return false;
  const size_t w = static_cast<size_t>(view.width);
  std::vector<GifPixelType> pixels(w * static_cast<size_t>(view.height));
  std::vector<GifPixelType*> rows(static_cast<size_t>(view.height));
  for (int y = 0; y < view.height; ++y) {
    const BYTE* row = view.row(y);
    GifPixelType* dst = pixels.data() + w * static_cast<size_t>(y);
    rows[static_cast<size_t>(y)] = dst;
    for (int x = 0; x < view.width; ++x) dst[x] = PixelIndex(row, x, bits);
  }

  std::unique_ptr<GifFileType, DecoderCloser> old;
  if (existing) {
    if (!PlausibleGif(*existing)) return false;
    vel::ByteReader source(*existing);
    int err = 0;
    old.reset(DGifOpen(&source, ReadBytes, &err));
    if (!old || DGifSlurp(old.get()) != GIF_OK || old->ImageCount <= 0) return false;
  }

  std::vector<std::uint8_t> bytes;
  {
    Encoder enc(&bytes);
    GifFileType* gif = enc.get();
    if (!gif) return false;
    EGifSetGifVersion(gif, true);
    const int screenW = old ? std::max(old->SWidth, view.width) : view.width;
    const int screenH = old ? std::max(old->SHeight, view.height) : view.height;
    const ColorMapObject* global = old ? old->SColorMap : map.get();
    if (EGifPutScreenDesc(gif, screenW, screenH, 8, old ? old->SBackGroundColor : 0, global) != GIF_OK) return false;
    if (old) {
      for (int i = 0; i < old->ImageCount; ++i) {
        const SavedImage& frame = old->SavedImages[i];
        const GifImageDesc& d = frame.ImageDesc;
        if (!frame.RasterBits || d.Width <= 0 || d.Height <= 0) return false;
        if (!PutExtensions(gif, frame.ExtensionBlocks, frame.ExtensionBlockCount)) return false;
        // DGifSlurp hands back interlaced frames already in row order.
        std::vector<GifPixelType*> oldRows(static_cast<size_t>(d.Height));
        for (int y = 0; y < d.Height; ++y)
          oldRows[static_cast<size_t>(y)] = frame.RasterBits + static_cast<size_t>(y) * static_cast<size_t>(d.Width);
        if (!PutFrame(gif, d.Left, d.Top, d.Width, d.Height, d.Interlace, d.ColorMap, oldRows)) return false;
      }
      if (!PutExtensions(gif, old->ExtensionBlocks, old->ExtensionBlockCount)) return false;
    }
    if (!PutFrame(gif, 0, 0, view.width, view.height, options.interlace, old ? map.get() : nullptr, rows)) return false;
    if (!enc.Close()) return false;
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace lorimer::formats
