// PNG writing through libpng: palette pages keep their palette (or become gray images when
// the palette is exactly the gray ramp of their depth), 24-bit pages become RGB.
#include <csetjmp>
#include <algorithm>
#include <cstring>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "imagelib/formats/write_util.h"
#include "imagelib/formats/writer.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

void AppendBytes(png_structp png, png_bytep data, size_t length) {
  vel::ByteWriter out(*static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png)));
  out.bytes({data, length});
}
void NoFlush(png_structp) {}
void NoWarning(png_structp, png_const_charp) {}
void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

int FilterFlag(const std::string& name, bool* ok) {
  *ok = true;
  if (name.empty()) return -1;
  if (name == "NONE") return PNG_FILTER_NONE;
  if (name == "SUB") return PNG_FILTER_SUB;
  if (name == "UP") return PNG_FILTER_UP;
  if (name == "AVERAGE") return PNG_FILTER_AVG;
  if (name == "PAETH") return PNG_FILTER_PAETH;
  *ok = false;
  return -1;
}

// The libpng calls, with nothing that has a destructor in this frame (longjmp leaves it).
bool Encode(const vel::gdi::BitmapView& view, int colorType, int depth, const png_color* palette, int paletteSize,
            const std::vector<png_bytep>& rows, int filter, bool maxCompress, std::vector<std::uint8_t>* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, NoWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(view.width), static_cast<png_uint_32>(view.height), depth, colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, paletteSize);
  if (filter >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
  if (maxCompress) png_set_compression_level(png, Z_BEST_COMPRESSION);
  png_write_info(png, info);
  // Our 24-bit rows are B,G,R.
  if (colorType == PNG_COLOR_TYPE_RGB) png_set_bgr(png);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>*,
              std::vector<std::uint8_t>* out) {
  vel::gdi::BitmapView view;
  if (!out || !page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (view.width <= 0 || view.height <= 0) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (bits != 24 && (!view.colors || view.colorCount <= 0)) return false;
  bool filterOk = false;
  const int filter = FilterFlag(options.pngFilter, &filterOk);
  if (!filterOk) return false;

  int colorType = PNG_COLOR_TYPE_RGB;
  std::vector<png_color> palette;
  if (bits != 24) {
    if (IsGrayRamp(view, bits)) {
      colorType = PNG_COLOR_TYPE_GRAY;
    } else {
      colorType = PNG_COLOR_TYPE_PALETTE;
      // Every index the depth can hold gets an entry (black beyond the bitmap's table), so
      // no decoder meets an index outside the palette.
      for (int i = 0; i < (1 << bits); ++i) {
        const RGBQUAD c = i < view.colorCount ? view.colors[i] : RGBQUAD{};
        palette.push_back({c.rgbRed, c.rgbGreen, c.rgbBlue});
      }
    }
  }
  // Packed MSB-first indexes are PNG's own layout for 1/4/8 bits, so rows go out as stored.
  std::vector<png_bytep> rows(static_cast<size_t>(view.height));
  for (int y = 0; y < view.height; ++y) rows[static_cast<size_t>(y)] = view.row(y);
  std::vector<std::uint8_t> bytes;
  if (!Encode(view, colorType, bits == 24 ? 8 : bits, palette.data(), static_cast<int>(palette.size()), rows, filter,
              options.pngMaxCompress, &bytes))
    return false;
  *out = std::move(bytes);
  return true;
}

}  // namespace lorimer::formats
