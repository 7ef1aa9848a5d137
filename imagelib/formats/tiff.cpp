// TIFF reader on libtiff: every directory is a page.
//
// Bilevel, gray and palette pages keep their nature (1 bit, gray or colour tables of 4 or
// 8 bits). Interleaved RGB, RGBA and CMYK of 8 or 16 bits are converted here, with the
// same arithmetic ImageMagick uses, so both agree to the last bit; everything else
// (YCbCr, separate planes, odd sample sizes) goes through libtiff's RGBA interface in
// bands. Those land in 24 bits, transparency drawn over white.
// libtiff's messages are caught per file and never printed.
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "imagelib/formats/ico.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr int kMaxPages = 10000;
// Pictures above kFreePixels need a file big enough to plausibly hold them. Bilevel
// pages compress far better (a blank fax row is one bit) than anything else.
constexpr std::uint64_t kFreePixels = 1ULL << 24;
constexpr std::uint64_t kMaxPixelsPerByte = 4096;
constexpr std::uint64_t kMaxBilevelPixelsPerByte = 65536;
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{256} << 20;
constexpr int kBandRows = 64;

struct MemoryFile {
  const std::uint8_t* data;
  std::size_t size;
  toff_t pos;
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(n), f->size - f->pos);
  std::memcpy(buf, f->data + f->pos, count);
  f->pos += count;
  return static_cast<tmsize_t>(count);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  switch (whence) {
    case SEEK_SET: f->pos = off; break;
    case SEEK_CUR: f->pos += off; break;
    case SEEK_END: f->pos = f->size + off; break;
    default: return static_cast<toff_t>(-1);
  }
  return f->pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<MemoryFile*>(h);
  *base = const_cast<std::uint8_t*>(f->data);
  *size = f->size;
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}
// Returning 1 tells libtiff the message is handled: nothing reaches stderr.
int QuietHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct Page {
  PageInfo info;
  std::uint16_t photometric = 0;
  std::uint16_t samples = 1;
  std::uint16_t bits = 1;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  std::uint16_t alpha = 0;  // EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA when the fourth sample is alpha
  std::uint16_t inkSet = INKSET_CMYK;
  bool plausible = false;
};

std::uint16_t Field16(TIFF* tif, ttag_t tag, std::uint16_t fallback) {
  std::uint16_t v = fallback;
  return TIFFGetFieldDefaulted(tif, tag, &v) ? v : fallback;
}

bool NativeLayout(const Page& p) {
  if (p.samples != 1) return false;
  if (p.photometric == PHOTOMETRIC_MINISWHITE || p.photometric == PHOTOMETRIC_MINISBLACK)
    return p.bits == 1 || p.bits == 2 || p.bits == 4 || p.bits == 8 || p.bits == 16;
  return p.photometric == PHOTOMETRIC_PALETTE && (p.bits == 1 || p.bits == 2 || p.bits == 4 || p.bits == 8);
}

// Bilevel, gray and palette pages are held palettised (2 bits widened to 4, 16-bit gray
// scaled to 8); everything else is drawn into 24 bits.
int NativeBits(const Page& p) { return p.bits == 16 ? 8 : p.bits == 2 ? 4 : p.bits; }

Page Describe(TIFF* tif, std::size_t fileSize) {
  Page p;
  std::uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  p.samples = Field16(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  p.bits = Field16(tif, TIFFTAG_BITSPERSAMPLE, 1);
  p.planar = Field16(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  p.inkSet = Field16(tif, TIFFTAG_INKSET, INKSET_CMYK);
  std::uint16_t extraCount = 0;
  std::uint16_t* extraTypes = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount >= 1 && extraTypes)
    p.alpha = extraTypes[0];
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric))
    p.photometric = p.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  p.info.width = static_cast<int>(std::min<std::uint32_t>(w, 0x7FFFFFFF));
  p.info.height = static_cast<int>(std::min<std::uint32_t>(h, 0x7FFFFFFF));
  const bool native = NativeLayout(p);
  p.info.bitCount = native ? NativeBits(p) : 24;
  if (native) p.info.colorsUsed = 1u << std::min<int>(p.bits, 8);
  float xr = 0, yr = 0;
  const std::uint16_t unit = Field16(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (unit != RESUNIT_NONE && TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr) &&
      xr > 0 && yr > 0 && xr < 1e6f && yr < 1e6f) {
    const float scale = unit == RESUNIT_CENTIMETER ? 2.54f : 1.0f;
    p.info.xDpi = static_cast<int>(xr * scale + 0.5f);
    p.info.yDpi = static_cast<int>(yr * scale + 0.5f);
  }
  const std::uint64_t pixels = std::uint64_t(w) * h;
  const std::uint64_t ratio = p.samples * p.bits == 1 ? kMaxBilevelPixelsPerByte : kMaxPixelsPerByte;
  p.plausible = w > 0 && h > 0 && pixels <= static_cast<std::uint64_t>(vel::gdi::kMaxBitmapPixels) &&
                (pixels <= kFreePixels || pixels / ratio <= fileSize);
  return p;
}

// One open libtiff handle over the file's bytes.
class TiffHandle {
 public:
  explicit TiffHandle(const FileData& file) : mem_{file.bytes.data(), file.bytes.size(), 0} {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, QuietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, QuietHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, kMaxLibraryAllocation);
    tif_ = TIFFClientOpenExt(file.path.empty() ? "memory" : file.path.c_str(), "rm", &mem_, ReadProc, WriteProc,
                             SeekProc, CloseProc, SizeProc, MapProc, UnmapProc, opts);
    TIFFOpenOptionsFree(opts);
  }
  ~TiffHandle() {
    if (tif_) TIFFClose(tif_);
  }
  TiffHandle(const TiffHandle&) = delete;
  TiffHandle& operator=(const TiffHandle&) = delete;
  TIFF* get() const { return tif_; }

 private:
  MemoryFile mem_;
  TIFF* tif_ = nullptr;
};

// 16-bit sample to 8 bits the way ImageMagick reduces depth (the fraction dropped), so
// that our pages agree with its decode exactly.
std::uint8_t Scale16(std::uint32_t v) { return static_cast<std::uint8_t>(v / 257); }

// Hands the page's rows (packed samples, as stored) to `sink(y, row)` from strips or
// tiles. Stops at the first damaged strip or tile row; returns the rows delivered.
template <typename Sink>
int ReadRows(TIFF* tif, int width, int height, int bitsPerPixel, Sink&& sink) {
  const std::size_t rowBytes = static_cast<std::size_t>(TIFFScanlineSize64(tif));
  if (rowBytes == 0) return 0;
  if (!TIFFIsTiled(tif)) {
    std::vector<std::uint8_t> row(rowBytes);
    for (int y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) < 0) return y;
      sink(y, row.data());
    }
    return height;
  }
  std::uint32_t tw = 0, th = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
  const std::size_t tileBytes = static_cast<std::size_t>(TIFFTileSize64(tif));
  const std::size_t tileRowBytes = static_cast<std::size_t>(TIFFTileRowSize64(tif));
  if (tw == 0 || th == 0 || tileBytes == 0 || tileRowBytes == 0 || th > static_cast<std::uint32_t>(height) + 16u ||
      tileBytes > static_cast<std::size_t>(kMaxLibraryAllocation))
    return 0;
  std::vector<std::uint8_t> tile(tileBytes);
  std::vector<std::uint8_t> band(rowBytes * th);
  for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(height); ty += th) {
    std::fill(band.begin(), band.end(), 0);
    bool damaged = false;
    for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(width); tx += tw) {
      if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0) {
        damaged = true;
        continue;
      }
      // Tile widths are multiples of 16, so a tile starts on a byte in every row.
      const std::size_t xByte = static_cast<std::size_t>(tx) * bitsPerPixel / 8;
      const std::size_t count = std::min(tileRowBytes, rowBytes - std::min(rowBytes, xByte));
      for (std::uint32_t r = 0; r < th; ++r)
        std::memcpy(&band[rowBytes * r + xByte], &tile[tileRowBytes * r], count);
    }
    const std::uint32_t rows = std::min<std::uint32_t>(th, height - ty);
    for (std::uint32_t r = 0; r < rows; ++r) sink(static_cast<int>(ty + r), &band[rowBytes * r]);
    if (damaged) return static_cast<int>(ty + rows);
  }
  return height;
}


// Bilevel, gray and palette pages, kept palettised.
HBITMAP DecodeNative(TIFF* tif, const Page& p) {
  const int levels = 1 << std::min<int>(p.bits, 8);
  std::vector<RGBQUAD> palette(levels);
  if (p.photometric == PHOTOMETRIC_PALETTE) {
    std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return nullptr;
    // Old writers stored 8-bit values in the 16-bit table; take those as they are.
    bool eightBit = true;
    for (int i = 0; i < levels && eightBit; ++i) eightBit = r[i] < 256 && g[i] < 256 && b[i] < 256;
    for (int i = 0; i < levels; ++i) {
      palette[i] = eightBit ? RGBQUAD{static_cast<BYTE>(b[i]), static_cast<BYTE>(g[i]), static_cast<BYTE>(r[i]), 0}
                            : RGBQUAD{Scale16(b[i]), Scale16(g[i]), Scale16(r[i]), 0};
    }
  } else {
    const bool white = p.photometric == PHOTOMETRIC_MINISWHITE;
    for (int i = 0; i < levels; ++i) {
      auto v = static_cast<BYTE>(i * 255 / (levels - 1));
      if (white) v = static_cast<BYTE>(255 - v);
      palette[i] = RGBQUAD{v, v, v, 0};
    }
  }
  if (p.bits == 16) {
    // 16-bit gray keeps 256 levels of gray.
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<BYTE>(p.photometric == PHOTOMETRIC_MINISWHITE ? 255 - i : i);
      palette[i] = RGBQUAD{v, v, v, 0};
    }
    palette.resize(256);
  }
  const int outBits = NativeBits(p);
  const int width = p.info.width;
  HBITMAP bitmap = NewPageBitmap(width, p.info.height, outBits, palette);
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  const std::size_t copyBytes = std::min<std::size_t>(view.stride, (static_cast<std::size_t>(width) * outBits + 7) / 8);
  const int rows = ReadRows(tif, width, p.info.height, p.bits, [&](int y, const std::uint8_t* in) {
    BYTE* out = view.row(y);
    if (p.bits == 16) {
      const auto* s = reinterpret_cast<const std::uint16_t*>(in);
      for (int x = 0; x < width; ++x) {
        std::uint16_t v;
        std::memcpy(&v, s + x, 2);
        out[x] = Scale16(v);
      }
    } else if (p.bits == 2) {
      for (int x = 0; x < width; ++x) {
        const int v = (in[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        out[x >> 1] = static_cast<BYTE>(out[x >> 1] | ((x & 1) ? v : v << 4));
      }
    } else {
      std::memcpy(out, in, copyBytes);
    }
  });
  if (rows == 0) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

bool DirectLayout(const Page& p) {
  if (p.planar != PLANARCONFIG_CONTIG || (p.bits != 8 && p.bits != 16)) return false;
  if (p.photometric == PHOTOMETRIC_RGB)
    return p.samples == 3 ||
           (p.samples == 4 && (p.alpha == EXTRASAMPLE_ASSOCALPHA || p.alpha == EXTRASAMPLE_UNASSALPHA));
  return p.photometric == PHOTOMETRIC_SEPARATED && p.samples == 4 && p.inkSet == INKSET_CMYK;
}

// CMYK ink (16-bit scale) to one 8-bit RGB channel, as ImageMagick converts it.
std::uint8_t InkToChannel(std::uint32_t ink, std::uint32_t black) {
  const double v = 65535.0 - (ink * (65535.0 - black) / 65535.0 + black);
  return static_cast<std::uint8_t>(std::clamp(v / 257.0 + 0.5, 0.0, 255.0));
}

// Interleaved RGB, RGBA and CMYK samples of 8 or 16 bits.
HBITMAP DecodeDirect(TIFF* tif, const Page& p) {
  const int width = p.info.width;
  HBITMAP bitmap = NewPageBitmap(width, p.info.height, 24);
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  const int n = p.samples;
  const bool wide = p.bits == 16;
  const bool cmyk = p.photometric == PHOTOMETRIC_SEPARATED;
  const bool straight = p.alpha == EXTRASAMPLE_UNASSALPHA;
  const int rows = ReadRows(tif, width, p.info.height, n * p.bits, [&](int y, const std::uint8_t* in) {
    BYTE* out = view.row(y);
    std::uint32_t s[4] = {0, 0, 0, 0xFFFF};
    for (int x = 0; x < width; ++x, out += 3) {
      // Everything on a 16-bit scale.
      for (int i = 0; i < n; ++i) {
        if (wide) {
          std::uint16_t v;
          std::memcpy(&v, in + 2 * (static_cast<std::size_t>(x) * n + i), 2);
          s[i] = v;
        } else {
          s[i] = in[static_cast<std::size_t>(x) * n + i] * 257u;
        }
      }
      if (cmyk) {
        out[0] = InkToChannel(s[2], s[3]);
        out[1] = InkToChannel(s[1], s[3]);
        out[2] = InkToChannel(s[0], s[3]);
      } else if (n == 3) {
        out[0] = static_cast<BYTE>(s[2] / 257);
        out[1] = static_cast<BYTE>(s[1] / 257);
        out[2] = static_cast<BYTE>(s[0] / 257);
      } else if (straight) {
        out[0] = BlendOnWhite16(s[2], s[3]);
        out[1] = BlendOnWhite16(s[1], s[3]);
        out[2] = BlendOnWhite16(s[0], s[3]);
      } else {
        // Premultiplied: over white is c + (1 - a).
        const std::uint32_t rest = 0xFFFF - s[3];
        out[0] = static_cast<BYTE>(std::min<std::uint32_t>(0xFFFF, s[2] + rest) / 257);
        out[1] = static_cast<BYTE>(std::min<std::uint32_t>(0xFFFF, s[1] + rest) / 257);
        out[2] = static_cast<BYTE>(std::min<std::uint32_t>(0xFFFF, s[0] + rest) / 257);
      }
    }
  });
  if (rows == 0) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

// Everything else through libtiff's RGBA interface, a band of rows at a time.
HBITMAP DecodeRgba(TIFF* tif, const Page& p) {
  char message[1024] = {0};
  if (!TIFFRGBAImageOK(tif, message)) return nullptr;
  TIFFRGBAImage img;
  if (!TIFFRGBAImageBegin(&img, tif, 0, message)) return nullptr;
  img.req_orientation = ORIENTATION_TOPLEFT;
  const int width = p.info.width, height = p.info.height;
  HBITMAP bitmap = NewPageBitmap(width, height, 24);
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
    if (bitmap) DeleteObject(bitmap);
    TIFFRGBAImageEnd(&img);
    return nullptr;
  }
  // Bands of about a million pixels: wide pictures get fewer rows a band.
  const int bandRows = std::clamp((1 << 20) / width, 1, kBandRows);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * bandRows);
  bool any = false;
  for (int y0 = 0; y0 < height; y0 += bandRows) {
    const int rows = std::min(bandRows, height - y0);
    std::fill(raster.begin(), raster.end(), 0u);
    img.row_offset = y0;
    img.col_offset = 0;
    const bool ok = TIFFRGBAImageGet(&img, raster.data(), static_cast<std::uint32_t>(width),
                                     static_cast<std::uint32_t>(rows)) != 0;
    // Colours come premultiplied by alpha; over white that is c + (255 - a).
    for (int r = 0; r < rows; ++r) {
      BYTE* out = view.row(y0 + r);
      const std::uint32_t* in = &raster[static_cast<std::size_t>(r) * width];
      for (int x = 0; x < width; ++x, out += 3) {
        const std::uint32_t px = in[x];
        const unsigned rest = 255 - TIFFGetA(px);
        out[0] = static_cast<BYTE>(std::min(255u, TIFFGetB(px) + rest));
        out[1] = static_cast<BYTE>(std::min(255u, TIFFGetG(px) + rest));
        out[2] = static_cast<BYTE>(std::min(255u, TIFFGetR(px) + rest));
      }
    }
    any = any || ok;
    if (!ok) break;
  }
  TIFFRGBAImageEnd(&img);
  if (!any) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

class TiffReader final : public ImageReader {
 public:
  TiffReader(FileDataPtr file, std::unique_ptr<TiffHandle> handle, std::vector<Page> pages)
      : file_(std::move(file)), handle_(std::move(handle)), pages_(std::move(pages)) {}
  int pageCount() const override { return static_cast<int>(pages_.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount()) return {};
    return pages_[page].info;
  }
  HBITMAP decodePage(int page) override {
    if (page < 0 || page >= pageCount() || !pages_[page].plausible) return nullptr;
    TIFF* tif = handle_->get();
    if (!TIFFSetDirectory(tif, static_cast<tdir_t>(page))) return nullptr;
    const Page& p = pages_[page];
    if (NativeLayout(p) || DirectLayout(p)) {
      if (HBITMAP bitmap = NativeLayout(p) ? DecodeNative(tif, p) : DecodeDirect(tif, p)) return bitmap;
      // A page libtiff cannot hand out by rows may still work through the RGBA path.
      if (!TIFFSetDirectory(tif, static_cast<tdir_t>(page))) return nullptr;
    }
    return DecodeRgba(tif, p);
  }

 private:
  FileDataPtr file_;
  std::unique_ptr<TiffHandle> handle_;
  std::vector<Page> pages_;
};

bool SniffTiff(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  if (length < 4) return false;
  const bool little = head[0] == 'I' && head[1] == 'I' && head[3] == 0 && (head[2] == 42 || head[2] == 43);
  const bool big = head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
  return little || big;
}

std::unique_ptr<ImageReader> OpenTiff(FileDataPtr file) {
  if (!file || !SniffTiff(file->bytes.data(), file->bytes.size(), file->bytes.size())) return nullptr;
  auto handle = std::make_unique<TiffHandle>(*file);
  TIFF* tif = handle->get();
  if (!tif) return nullptr;
  std::vector<Page> pages;
  // libtiff refuses directory chains that loop, so this ends.
  do {
    pages.push_back(Describe(tif, file->bytes.size()));
  } while (static_cast<int>(pages.size()) < kMaxPages && TIFFReadDirectory(tif));
  return std::make_unique<TiffReader>(std::move(file), std::move(handle), std::move(pages));
}

}  // namespace

const FormatDescriptor kTiffFormat = {"TIFF", SniffTiff, OpenTiff};

}  // namespace lorimer::formats
