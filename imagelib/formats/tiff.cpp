// TIFF reader on libtiff: every directory is a page.
//
// Bilevel, gray and palette pages keep their nature (1 bit, gray or colour tables of 4 or
// 8 bits). Interleaved RGB, RGBA and CMYK of 8 or 16 bits are converted here, with the
// same arithmetic ImageMagick uses, so both agree to the last bit; everything else
// (YCbCr, separate planes, odd sample sizes) goes through libtiff's RGBA interface in
// bands. Those land in 24 bits, transparency drawn over white.
// libtiff's messages are caught per file and never printed; the first error of a page
// becomes the reason it failed.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "imagelib/formats/ico.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/tiff_memory.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

constexpr int kMaxPages = 10000;
// Pictures above 2^24 pixels need a file big enough to plausibly hold them. Bilevel
// pages compress far better (a blank fax row is one bit) than anything else.
constexpr std::uint64_t kMaxPixelsPerByte = 4096;
constexpr std::uint64_t kMaxBilevelPixelsPerByte = 65536;
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{256} << 20;
constexpr int kBandRows = 64;

struct Page {
  PageInfo info;
  std::uint16_t photometric = 0;
  std::uint16_t samples = 1;
  std::uint16_t bits = 1;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  std::uint16_t alpha = 0;  // EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA when the fourth sample is alpha
  std::uint16_t inkSet = INKSET_CMYK;
  vel::Expected<void> size;  // whether the page may be allocated, and if not why
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
  if (unit != RESUNIT_NONE && TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr) &&
      TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr) && xr > 0 && yr > 0 && xr < 1e6f && yr < 1e6f) {
    const float scale = unit == RESUNIT_CENTIMETER ? 2.54f : 1.0f;
    p.info.xDpi = static_cast<int>(xr * scale + 0.5f);
    p.info.yDpi = static_cast<int>(yr * scale + 0.5f);
  }
  const std::uint64_t ratio = p.samples * p.bits == 1 ? kMaxBilevelPixelsPerByte : kMaxPixelsPerByte;
  p.size = CheckPictureSize(w, h, p.info.bitCount, fileSize, ratio);
  return p;
}

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
      for (std::uint32_t r = 0; r < th; ++r) std::memcpy(&band[rowBytes * r + xByte], &tile[tileRowBytes * r], count);
    }
    const std::uint32_t rows = std::min<std::uint32_t>(th, height - ty);
    for (std::uint32_t r = 0; r < rows; ++r) sink(static_cast<int>(ty + r), &band[rowBytes * r]);
    if (damaged) return static_cast<int>(ty + rows);
  }
  return height;
}

using PageBitmap = vel::Expected<vel::gdi::OwnedBitmap>;

std::string NoMemory(int width, int height) {
  return "no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " page";
}

// Bilevel, gray and palette pages, kept palettised.
PageBitmap DecodeNative(const MemoryTiff& file, const Page& p) {
  TIFF* tif = file.get();
  const int levels = 1 << std::min<int>(p.bits, 8);
  std::vector<RGBQUAD> palette(levels);
  if (p.photometric == PHOTOMETRIC_PALETTE) {
    std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return vel::Fail(file.error("no colour map"));
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
  vel::gdi::OwnedBitmap bitmap(NewPageBitmap(width, p.info.height, outBits, palette));
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap.get(), &view)) return vel::Fail(NoMemory(width, p.info.height));
  const std::size_t copyBytes = std::min<std::size_t>(view.stride, (static_cast<std::size_t>(width) * outBits + 7) / 8);
  const int rows = ReadRows(tif, width, p.info.height, p.bits, [&](int y, const std::uint8_t* in) {
    BYTE* out = view.row(y);
    if (p.bits == 16) {
      // Samples in the machine's order: libtiff swaps them as it reads.
      for (int x = 0; x < width; ++x, in += 2) {
        std::uint16_t v;
        std::memcpy(&v, in, 2);
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
  if (rows == 0) return vel::Fail(file.error("not one row could be read"));
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
PageBitmap DecodeDirect(const MemoryTiff& file, const Page& p) {
  const int width = p.info.width;
  vel::gdi::OwnedBitmap bitmap(NewPageBitmap(width, p.info.height, 24));
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap.get(), &view)) return vel::Fail(NoMemory(width, p.info.height));
  const int n = p.samples;
  const bool wide = p.bits == 16;
  const bool cmyk = p.photometric == PHOTOMETRIC_SEPARATED;
  const bool straight = p.alpha == EXTRASAMPLE_UNASSALPHA;
  const int rows = ReadRows(file.get(), width, p.info.height, n * p.bits, [&](int y, const std::uint8_t* in) {
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
  if (rows == 0) return vel::Fail(file.error("not one row could be read"));
  return bitmap;
}

// Ends libtiff's RGBA reading of a page on every path.
struct RgbaImageEnd {
  TIFFRGBAImage* img;
  ~RgbaImageEnd() { TIFFRGBAImageEnd(img); }
};

// Everything else through libtiff's RGBA interface, a band of rows at a time.
PageBitmap DecodeRgba(const MemoryTiff& file, const Page& p) {
  TIFF* tif = file.get();
  char message[1024] = {0};
  if (!TIFFRGBAImageOK(tif, message)) return vel::Fail(message[0] ? std::string(message) : file.error());
  TIFFRGBAImage img;
  if (!TIFFRGBAImageBegin(&img, tif, 0, message)) return vel::Fail(message[0] ? std::string(message) : file.error());
  const RgbaImageEnd end{&img};
  img.req_orientation = ORIENTATION_TOPLEFT;
  const int width = p.info.width, height = p.info.height;
  vel::gdi::OwnedBitmap bitmap(NewPageBitmap(width, height, 24));
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap.get(), &view)) return vel::Fail(NoMemory(width, height));
  // Bands of about a million pixels: wide pictures get fewer rows a band.
  const int bandRows = std::clamp((1 << 20) / width, 1, kBandRows);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * bandRows);
  bool any = false;
  for (int y0 = 0; y0 < height; y0 += bandRows) {
    const int rows = std::min(bandRows, height - y0);
    std::fill(raster.begin(), raster.end(), 0u);
    img.row_offset = y0;
    img.col_offset = 0;
    const bool ok =
        TIFFRGBAImageGet(&img, raster.data(), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(rows)) != 0;
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
  if (!any) return vel::Fail(file.error("not one row could be read"));
  return bitmap;
}

// Reasons name the page as people count them, from 1.
std::string PagePrefix(int page) { return "TIFF page " + std::to_string(page + 1) + ": "; }

class TiffReader final : public ImageReader {
 public:
  TiffReader(FileDataPtr file, std::unique_ptr<MemoryTiff> handle, std::vector<Page> pages)
      : file_(std::move(file)), handle_(std::move(handle)), pages_(std::move(pages)) {}
  int pageCount() const override { return static_cast<int>(pages_.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount()) return {};
    return pages_[page].info;
  }
  Decoded decode(int page) override {
    if (page < 0 || page >= pageCount()) {
      return vel::Fail("TIFF: no page " + std::to_string(page + 1) + " in " + std::to_string(pageCount()));
    }
    const Page& p = pages_[page];
    if (!p.size) return vel::Fail(PagePrefix(page) + p.size.reason());
    handle_->clearError();
    TIFF* tif = handle_->get();
    if (!TIFFSetDirectory(tif, static_cast<tdir_t>(page))) return vel::Fail(PagePrefix(page) + handle_->error());
    if (NativeLayout(p) || DirectLayout(p)) {
      PageBitmap bitmap = NativeLayout(p) ? DecodeNative(*handle_, p) : DecodeDirect(*handle_, p);
      if (bitmap) return bitmap;
      // A page libtiff cannot hand out by rows may still work through the RGBA path; if
      // that fails too, the first failure says best what is wrong.
      if (!TIFFSetDirectory(tif, static_cast<tdir_t>(page))) return vel::Fail(PagePrefix(page) + bitmap.reason());
      if (PageBitmap rgba = DecodeRgba(*handle_, p)) return rgba;
      return vel::Fail(PagePrefix(page) + bitmap.reason());
    }
    PageBitmap rgba = DecodeRgba(*handle_, p);
    if (!rgba) return vel::Fail(PagePrefix(page) + rgba.reason());
    return rgba;
  }

 private:
  FileDataPtr file_;
  std::unique_ptr<MemoryTiff> handle_;
  std::vector<Page> pages_;
};

bool SniffTiff(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  vel::ByteReader in(head, length);
  const std::uint8_t b0 = in.u8(), b1 = in.u8(), b2 = in.u8(), b3 = in.u8();
  if (!in) return false;
  const bool little = b0 == 'I' && b1 == 'I' && b3 == 0 && (b2 == 42 || b2 == 43);
  const bool big = b0 == 'M' && b1 == 'M' && b2 == 0 && (b3 == 42 || b3 == 43);
  return little || big;
}

Opened OpenTiff(FileDataPtr file) {
  if (!file) return vel::Fail("TIFF: no file");
  if (!SniffTiff(file->bytes.data(), file->bytes.size(), file->bytes.size())) {
    return vel::Fail("TIFF header: no II or MM signature with version 42 or 43");
  }
  auto handle = std::make_unique<MemoryTiff>(std::span<const std::uint8_t>(file->bytes),
                                             file->path.empty() ? "memory" : file->path.c_str(), kMaxLibraryAllocation);
  TIFF* tif = handle->get();
  if (!tif) return vel::Fail("TIFF header: " + handle->error());
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
