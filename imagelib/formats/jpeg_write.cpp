// JPEG writing through libjpeg-turbo: 24-bit pages as YCbCr, palette pages whose colours
// are all grays as one-channel grayscale, every other depth expanded to 24 bits first.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "imagelib/formats/write_util.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
  // libjpeg's default handler calls exit(); we unwind to the writer instead.
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void OnMessage(j_common_ptr) {}

// A palette page whose every colour is a gray goes out as a one-channel JPEG: that
// is what the save path's gray reduction makes, whatever order its grays are in.
bool IsGrayPalette(const vel::gdi::BitmapView& view) {
  if (view.bitsPerPixel > 8 || view.colorCount <= 0 || !view.colors) return false;
  for (int i = 0; i < view.colorCount; ++i) {
    const RGBQUAD& c = view.colors[i];
    if (c.rgbRed != c.rgbGreen || c.rgbGreen != c.rgbBlue) return false;
  }
  return true;
}

// Runs the compressor over `rows` (already in the JPEG's sample layout). Kept apart from
// the buffers so nothing with a destructor lives in the frame that longjmp leaves.
bool Compress(const std::vector<std::uint8_t>& samples, int width, int height, int components, int quality,
              std::vector<std::uint8_t>* out) {
  jpeg_compress_struct info{};
  ErrorManager err{};
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnError;
  err.base.output_message = OnMessage;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(width) * components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  out->assign(buffer, buffer + size);
  std::free(buffer);
  return true;
}

}  // namespace

bool WriteJpegFile(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>*,
                   std::vector<std::uint8_t>* out) {
  vel::gdi::BitmapView view;
  if (!out || !page || !vel::gdi::GetBitmapView(page, &view)) return false;
  const int bits = view.bitsPerPixel;
  if (view.width <= 0 || view.height <= 0 || view.width > 65500 || view.height > 65500) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (bits != 24 && !view.colors) return false;
  const bool gray = IsGrayPalette(view);
  const int components = gray ? 1 : 3;
  const int quality = options.quality < 1 ? 1 : options.quality > 100 ? 100 : options.quality;
  std::vector<std::uint8_t> samples(static_cast<size_t>(view.width) * view.height * components);
  std::uint8_t* p = samples.data();
  for (int y = 0; y < view.height; ++y) {
    const BYTE* row = view.row(y);
    for (int x = 0; x < view.width; ++x) {
      if (gray) {
        const int i = PixelIndex(row, x, bits);
        *p++ = i < view.colorCount ? view.colors[i].rgbRed : 0;
      } else if (bits == 24) {
        *p++ = row[x * 3 + 2];
        *p++ = row[x * 3 + 1];
        *p++ = row[x * 3];
      } else {
        const int i = PixelIndex(row, x, bits);
        const RGBQUAD c = i < view.colorCount ? view.colors[i] : RGBQUAD{};
        *p++ = c.rgbRed;
        *p++ = c.rgbGreen;
        *p++ = c.rgbBlue;
      }
    }
  }
  return Compress(samples, view.width, view.height, components, quality, out);
}

}  // namespace lorimer::formats
