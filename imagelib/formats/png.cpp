// PNG reader on libpng.
//
// Palette and gray pictures without transparency stay palettised (2-bit ones widened to
// 4 bits, 16-bit gray scaled to 8); everything with alpha or a tRNS chunk is drawn over
// white into 24 bits, as a viewer without a background would show it. Errors inside libpng
// come back through setjmp; a stream that breaks off keeps the rows decoded before.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "imagelib/formats/ico.h"
#include "imagelib/formats/reader.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Deflate cannot expand one input byte to more than 1032 output bytes.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
// Big pictures must also not be blanker than real ones get: a bilevel page held at the
// deflate limit would expand to gigabytes once drawn in colour.
constexpr std::uint64_t kMaxPixelsPerByte = 4096;
// Lengths and sides in a PNG are four-byte numbers below 2^31.
constexpr std::uint32_t kMaxPngInteger = 0x7FFFFFFF;

struct PngHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bitDepth = 0;
  int colorType = 0;
  bool interlaced = false;
  unsigned paletteEntries = 0;
  bool hasTrns = false;
  int xDpi = 0;
  int yDpi = 0;
  std::uint64_t idatBytes = 0;

  int channels() const {
    switch (colorType) {
      case 0:
      case 3: return 1;
      case 4: return 2;
      case 2: return 3;
      case 6: return 4;
    }
    return 0;
  }
};

bool ValidDepth(int colorType, int depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
  }
  return false;
}

// Whether libpng will take a tRNS chunk of this length: it ignores one that the colour
// type does not allow or whose length is wrong, and so must we, or the bit depth we
// report would not be the one the page is decoded at.
bool TrnsUsable(const PngHeader& h, std::uint32_t length) {
  switch (h.colorType) {
    case 0: return length == 2;
    case 2: return length == 6;
    case 3: return length > 0 && length <= h.paletteEntries;
  }
  return false;
}

// Bits per pixel a page is held at: palette and gray pages without transparency stay
// indexed (2 bits widened to 4, 16-bit gray scaled to 8), the rest is drawn into 24.
int HeldBits(const PngHeader& h, bool trns) {
  if ((h.colorType != 3 && h.colorType != 0) || trns) return 24;
  return h.bitDepth == 16 ? 8 : h.bitDepth == 2 ? 4 : h.bitDepth;
}

bool ChunkIs(std::span<const std::uint8_t> type, const char (&name)[5]) {
  return type.size() == 4 && std::memcmp(type.data(), name, 4) == 0;
}

// The chunk's type for a reason, anything but a letter shown as '?'.
std::string ChunkName(std::span<const std::uint8_t> type) {
  std::string name;
  for (const std::uint8_t c : type) name += std::isalpha(c) ? static_cast<char>(c) : '?';
  return name;
}

// IHDR's fields, checked as libpng would check them.
vel::Expected<void> ReadImageHeader(vel::ByteReader& in, PngHeader* h) {
  const auto signature = in.bytes(8);
  const std::uint32_t length = in.be32();
  const auto type = in.bytes(4);
  h->width = in.be32();
  h->height = in.be32();
  h->bitDepth = in.u8();
  h->colorType = in.u8();
  const std::uint8_t compression = in.u8();
  const std::uint8_t filter = in.u8();
  const std::uint8_t interlace = in.u8();
  in.skip(4);  // its CRC
  if (!in) return vel::Fail("PNG header: " + in.failure());
  if (std::memcmp(signature.data(), kSignature, 8) != 0) return vel::Fail("PNG header: no PNG signature");
  if (length != 13 || !ChunkIs(type, "IHDR")) return vel::Fail("PNG header: the first chunk is not a 13-byte IHDR");
  h->interlaced = interlace == 1;
  if (h->width == 0 || h->height == 0 || h->width > kMaxPngInteger || h->height > kMaxPngInteger) {
    return vel::Fail("PNG header: size " + std::to_string(h->width) + " x " + std::to_string(h->height));
  }
  if (!ValidDepth(h->colorType, h->bitDepth)) {
    return vel::Fail("PNG header: bit depth " + std::to_string(h->bitDepth) + " with colour type " +
                     std::to_string(h->colorType));
  }
  if (compression != 0 || filter != 0 || interlace > 1) {
    return vel::Fail("PNG header: compression, filter or interlace method " + std::to_string(compression) + ", " +
                     std::to_string(filter) + ", " + std::to_string(interlace));
  }
  return {};
}

// Walks the chunk list without libpng: IHDR, the palette size, tRNS, pHYs and how much
// compressed data there is, which bounds how big the picture can honestly be.
vel::Expected<PngHeader> ParsePngHeader(std::span<const std::uint8_t> file) {
  vel::ByteReader in(file);
  PngHeader h;
  if (auto header = ReadImageHeader(in, &h); !header) return vel::Fail(header.error());
  while (in.has(8)) {
    const std::size_t at = in.position();
    const std::uint32_t length = in.be32();
    const auto type = in.bytes(4);
    if (length > kMaxPngInteger) break;
    // A chunk cut off by the end of the file is not damage but truncation, which decodes
    // partly: what it holds counts.
    const bool complete = in.has(std::uint64_t{length} + 4);
    const auto data = in.bytes(std::min<std::uint64_t>(length, in.remaining()));
    const std::uint32_t crc = complete ? in.be32() : 0;
    // A damaged critical chunk would decode to garbage (libpng checks an IDAT's CRC only
    // after inflating it): refuse the file.
    const bool critical = ChunkIs(type, "IDAT") || ChunkIs(type, "PLTE");
    if (critical && complete && crc32(crc32(crc32(0L, Z_NULL, 0), type.data(), 4), data.data(), length) != crc) {
      return vel::Fail("PNG " + ChunkName(type) + " chunk at offset " + std::to_string(at) + ": CRC mismatch");
    }
    if (ChunkIs(type, "IDAT")) {
      h.idatBytes += data.size();
    } else if (ChunkIs(type, "PLTE")) {
      h.paletteEntries = std::min<std::uint32_t>(length / 3, 256);
    } else if (ChunkIs(type, "tRNS")) {
      // libpng keeps the first usable tRNS before the image data and ignores the rest.
      if (!h.hasTrns && h.idatBytes == 0) h.hasTrns = TrnsUsable(h, length);
    } else if (ChunkIs(type, "pHYs") && length == 9 && data.size() == 9) {
      vel::ByteReader phys(data);
      const std::uint32_t x = phys.be32(), y = phys.be32();
      if (phys.u8() == 1) {  // pixels per metre
        h.xDpi = static_cast<int>(x * 0.0254 + 0.5);
        h.yDpi = static_cast<int>(y * 0.0254 + 0.5);
      }
    } else if (ChunkIs(type, "IEND")) {
      break;
    } else if (data.size() < length && h.idatBytes == 0) {
      // libpng allocates a chunk's declared length before reading it: a chunk before the
      // image data that runs past the end is no truncation we can show, only a big claim.
      return vel::Fail("PNG " + ChunkName(type) + " chunk at offset " + std::to_string(at) + ": " +
                       std::to_string(length) + " bytes claimed, " + std::to_string(data.size()) + " there");
    }
    if (!complete) break;
  }
  if (h.colorType == 3 && h.paletteEntries == 0) return vel::Fail("PNG header: a palette picture without PLTE");
  if (auto size = CheckPictureSize(h.width, h.height, HeldBits(h, h.hasTrns), h.idatBytes, kMaxPixelsPerByte); !size) {
    return vel::Fail("PNG header: " + size.reason());
  }
  const std::uint64_t rawBytes = std::uint64_t{h.width} * h.height * h.channels() * h.bitDepth / 8;
  if (rawBytes > h.idatBytes * kMaxDeflateRatio + 1024) {
    return vel::Fail("PNG header: " + std::to_string(rawBytes) + " bytes of pixels cannot inflate from " +
                     std::to_string(h.idatBytes) + " bytes of image data");
  }
  return h;
}

// libpng asks for whole pieces of a chunk. When the file ends inside one, it gets what is
// there padded with zeros, which inflate rejects right after the real data: the rows that
// data held still come out. The next read fails.
void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* in = static_cast<vel::ByteReader*>(png_get_io_ptr(png));
  if (in->atEnd()) png_error(png, "the file ends early");
  const auto part = in->bytes(std::min<std::size_t>(length, in->remaining()));
  std::memcpy(out, part.data(), part.size());
  if (part.size() < length) std::memset(out + part.size(), 0, length - part.size());
}

// What libpng said when it gave up.
struct ErrorText {
  char text[200] = {};
};
// libpng prints and exits through its defaults; these keep it quiet and jump back.
[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  if (auto* error = static_cast<ErrorText*>(png_get_error_ptr(png)); error && message) {
    std::snprintf(error->text, sizeof error->text, "%s", message);
  }
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// One libpng read session over a memory buffer.
class PngSession {
 public:
  explicit PngSession(std::span<const std::uint8_t> file) : in_(file) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error_, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (info_) {
      png_set_read_fn(png_, &in_, ReadFromMemory);
      // Text and profile chunks beyond this are not worth their memory.
      png_set_chunk_malloc_max(png_, 8 << 20);
    }
  }
  ~PngSession() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
  PngSession(const PngSession&) = delete;
  PngSession& operator=(const PngSession&) = delete;

  bool ready() const { return info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  // libpng's message when it gave up, after "PNG: ".
  std::string failure() const {
    return std::string("PNG: ") + (error_.text[0] ? error_.text : "libpng gave no reason");
  }

  // Runs `work` with libpng's error jump armed; false when libpng gave up inside it.
  // `work` must not own objects with destructors: a jump skips them.
  template <typename F>
  bool Guarded(F&& work) {
    if (setjmp(png_jmpbuf(png_))) return false;
    work();
    return true;
  }

 private:
  vel::ByteReader in_;
  ErrorText error_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// How a page lands in the bitmap.
struct OutputPlan {
  int bits = 24;           // 1, 4, 8 palettised or 24
  bool widen2to4 = false;  // 2-bit indexes spread into nibbles
  int channels = 3;        // after libpng's transforms, for 24-bit output
  int sampleBytes = 1;     // 2 for 16-bit samples, scaled here (libpng's scaling rounds differently)
  std::vector<RGBQUAD> palette;
};

// Fills `plan` in place: libpng may jump out of here, so nothing with a destructor lives
// in this frame.
void PlanOutput(png_structp png, png_infop info, const PngHeader& h, OutputPlan& plan) {
  const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  plan.bits = HeldBits(h, trns);
  if (plan.bits != 24) {
    plan.widen2to4 = h.bitDepth == 2;
    if (h.colorType == 3) {
      png_colorp colors = nullptr;
      int count = 0;
      png_get_PLTE(png, info, &colors, &count);
      for (int i = 0; i < count && i < 256; ++i)
        plan.palette.push_back(RGBQUAD{colors[i].blue, colors[i].green, colors[i].red, 0});
    } else {
      const int levels = 1 << std::min(h.bitDepth, 8);
      for (int i = 0; i < levels; ++i) {
        const auto v = static_cast<BYTE>(i * 255 / (levels - 1));
        plan.palette.push_back(RGBQUAD{v, v, v, 0});
      }
    }
    if (h.bitDepth == 16) plan.sampleBytes = 2;
    return;
  }
  png_set_expand(png);
  png_set_gray_to_rgb(png);
  const bool alpha = trns || (h.colorType & 4) != 0;
  plan.channels = alpha ? 4 : 3;
  if (h.bitDepth == 16) plan.sampleBytes = 2;  // alpha is flattened at full precision too
}

// Checks the plan against what libpng will hand over per row once its transforms are
// set: the channels it really gives decide the conversion, and a row shorter than the
// conversion reads is refused. Chunks that libpng ignores (a tRNS it finds invalid)
// would otherwise make the plan read past the row.
bool RowMatchesPlan(png_structp png, png_infop info, OutputPlan& plan, int width, std::size_t rowBytes) {
  const std::size_t w = static_cast<std::size_t>(width);
  std::size_t need = 0;
  if (plan.bits == 24) {
    const int channels = png_get_channels(png, info), depth = png_get_bit_depth(png, info);
    if ((channels != 3 && channels != 4) || (depth != 8 && depth != 16)) return false;
    plan.channels = channels;
    plan.sampleBytes = depth / 8;
    need = w * static_cast<std::size_t>(channels * plan.sampleBytes);
  } else if (plan.widen2to4) {
    need = (w * 2 + 7) / 8;
  } else if (plan.sampleBytes == 2) {
    need = w * 2;
  } else {
    need = (w * static_cast<std::size_t>(plan.bits) + 7) / 8;
  }
  return rowBytes >= need;
}

// 16-bit sample to 8 bits the way ImageMagick reduces depth (the fraction dropped), so
// that 16-bit pictures agree with its decode exactly.
BYTE Scale16(std::uint32_t v) { return static_cast<BYTE>(v / 257); }

// Converts one row as libpng gave it; 16-bit samples come most significant byte first.
void ConvertRow(const OutputPlan& plan, const std::uint8_t* in, BYTE* out, int width, std::size_t stride) {
  if (plan.bits != 24) {
    if (plan.widen2to4) {
      for (int x = 0; x < width; ++x) {
        const int v = (in[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        out[x >> 1] = static_cast<BYTE>(out[x >> 1] | ((x & 1) ? v : v << 4));
      }
    } else if (plan.sampleBytes == 2) {
      for (int x = 0; x < width; ++x, in += 2) out[x] = Scale16(in[0] << 8 | in[1]);
    } else {
      std::memcpy(out, in, std::min<std::size_t>(stride, (static_cast<std::size_t>(width) * plan.bits + 7) / 8));
    }
    return;
  }
  if (plan.channels == 3 && plan.sampleBytes == 2) {
    for (int x = 0; x < width; ++x, in += 6, out += 3) {
      out[0] = Scale16(in[4] << 8 | in[5]);
      out[1] = Scale16(in[2] << 8 | in[3]);
      out[2] = Scale16(in[0] << 8 | in[1]);
    }
  } else if (plan.channels == 3) {
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  } else if (plan.sampleBytes == 1) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
      out[0] = BlendOnWhite8(in[2], in[3]);
      out[1] = BlendOnWhite8(in[1], in[3]);
      out[2] = BlendOnWhite8(in[0], in[3]);
    }
  } else {
    for (int x = 0; x < width; ++x, in += 8, out += 3) {
      const std::uint32_t a = in[6] << 8 | in[7];
      out[0] = BlendOnWhite16(in[4] << 8 | in[5], a);
      out[1] = BlendOnWhite16(in[2] << 8 | in[3], a);
      out[2] = BlendOnWhite16(in[0] << 8 | in[1], a);
    }
  }
}

// The page: palettised when nothing is transparent, else 24 bits on white.
Decoded DecodePng(std::span<const std::uint8_t> file) {
  const auto header = ParsePngHeader(file);
  if (!header) return vel::Fail(header.error());
  PngSession session(file);
  if (!session.ready()) return vel::Fail("PNG: no memory for libpng");
  png_structp png = session.png();
  png_infop info = session.info();
  OutputPlan plan;
  HBITMAP bitmap = nullptr;  // owned once libpng is done: a jump would skip an owner's destructor
  vel::gdi::BitmapView view;
  std::vector<std::uint8_t> buffer;
  std::size_t rowBytes = 0;
  int rowsRead = 0;
  int passes = 1;
  bool rowsMismatch = false;
  const int width = static_cast<int>(header->width);
  const int height = static_cast<int>(header->height);
  const bool finished = session.Guarded([&] {
    png_read_info(png, info);
    PlanOutput(png, info, *header, plan);
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    rowBytes = png_get_rowbytes(png, info);
    if (!RowMatchesPlan(png, info, plan, width, rowBytes)) {
      rowsMismatch = true;
      return;
    }
    bitmap = NewPageBitmap(width, height, plan.bits, plan.palette);
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) return;
    // Interlaced passes refine the same rows, so they need the whole picture at hand;
    // otherwise one row at a time goes straight into the bitmap.
    buffer.resize(passes > 1 ? rowBytes * height : rowBytes);
    for (int pass = 0; pass < passes; ++pass) {
      for (int y = 0; y < height; ++y) {
        std::uint8_t* row = passes > 1 ? buffer.data() + rowBytes * y : buffer.data();
        png_read_row(png, row, nullptr);
        if (passes == 1) ConvertRow(plan, row, view.row(y), width, view.stride);
        rowsRead = std::max(rowsRead, y + 1);
      }
    }
  });
  vel::gdi::OwnedBitmap page(bitmap);
  if (rowsMismatch) return vel::Fail("PNG: the rows libpng gives do not match the header's colour type and depth");
  if (!page || rowsRead == 0) {
    if (!finished) return vel::Fail(session.failure());
    return vel::Fail("PNG: no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " page");
  }
  if (passes > 1) {
    for (int y = 0; y < height; ++y) ConvertRow(plan, buffer.data() + rowBytes * y, view.row(y), width, view.stride);
  }
  return page;
}

}  // namespace

HBITMAP DecodePngPage(const std::uint8_t* data, std::size_t size) {
  Decoded page = DecodePng({data, size});
  return page ? page->release() : nullptr;
}

namespace {

class PngReader final : public ImageReader {
 public:
  PngReader(FileDataPtr file, const PngHeader& header) : file_(std::move(file)), header_(header) {}
  int pageCount() const override { return 1; }
  PageInfo pageInfo(int) const override {
    PageInfo info;
    info.width = static_cast<int>(header_.width);
    info.height = static_cast<int>(header_.height);
    info.bitCount = HeldBits(header_, header_.hasTrns);
    info.colorsUsed = header_.colorType == 3 ? header_.paletteEntries : 0;
    info.xDpi = header_.xDpi;
    info.yDpi = header_.yDpi;
    return info;
  }
  Decoded decode(int page) override {
    if (page != 0) return vel::Fail("PNG: no page " + std::to_string(page + 1) + " in 1");
    return DecodePng(file_->bytes);
  }

 private:
  FileDataPtr file_;
  PngHeader header_;
};

bool SniffPng(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  vel::ByteReader in(head, length);
  const auto signature = in.bytes(sizeof kSignature);
  return in && std::memcmp(signature.data(), kSignature, sizeof kSignature) == 0;
}

Opened OpenPng(FileDataPtr file) {
  if (!file) return vel::Fail("PNG: no file");
  auto header = ParsePngHeader(file->bytes);
  if (!header) return vel::Fail(header.error());
  return std::make_unique<PngReader>(std::move(file), *header);
}

}  // namespace

bool DecodePngToRgba(const std::uint8_t* data, std::size_t size, RgbaImage* out) {
  if (!out) return false;
  const auto parsed = ParsePngHeader({data, size});
  if (!parsed) return false;
  const PngHeader& header = *parsed;
  PngSession session({data, size});
  if (!session.ready()) return false;
  png_structp png = session.png();
  png_infop info = session.info();
  const int width = static_cast<int>(header.width);
  const int height = static_cast<int>(header.height);
  out->width = width;
  out->height = height;
  out->pixels.clear();
  int rowsRead = 0;
  session.Guarded([&] {
    png_read_info(png, info);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_scale_16(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * 4) return;
    out->pixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
    for (int pass = 0; pass < passes; ++pass) {
      for (int y = 0; y < height; ++y) {
        png_read_row(png, out->pixels.data() + static_cast<std::size_t>(width) * 4 * y, nullptr);
        rowsRead = std::max(rowsRead, y + 1);
      }
    }
  });
  if (rowsRead == 0) {
    out->pixels.clear();
    return false;
  }
  out->hasAlpha = false;
  for (std::size_t i = 3; i < out->pixels.size(); i += 4) {
    if (out->pixels[i] != 0xFF) {
      out->hasAlpha = true;
      break;
    }
  }
  return true;
}

const FormatDescriptor kPngFormat = {"PNG", SniffPng, OpenPng};

}  // namespace lorimer::formats
