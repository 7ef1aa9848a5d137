// Photo-like test pictures and the floor program the pipeline benchmarks compare
// with: plain libjpeg-turbo decoding, an area-average downscale to fit a box, and
// encoding at quality 75.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace bench {

inline bool WriteJpeg(const std::string& path, const std::vector<unsigned char>& rgb, int w, int h, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = const_cast<unsigned char*>(rgb.data()) + static_cast<size_t>(c.next_scanline) * w * 3;
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
  return true;
}

// A photo-like picture: smooth gradients, texture and some edges; `seed` varies it.
inline std::vector<unsigned char> Photo(int w, int h, int seed) {
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  unsigned noise = 12345u + seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      noise = noise * 1103515245u + 12345u;
      int n = static_cast<int>((noise >> 16) & 15) - 8;
      double t = std::sin(x * (0.011 + seed * 0.002)) * std::cos(y * 0.009);
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(std::clamp(128 + 90 * t + n, 0.0, 255.0));
      p[1] = static_cast<unsigned char>(std::clamp((x * 200.0) / w + 30 + n, 0.0, 255.0));
      p[2] = static_cast<unsigned char>(std::clamp(((x / 400 + y / 300) % 2 ? 200.0 : 60.0) + n, 0.0, 255.0));
    }
  return rgb;
}

inline void Fit(int w, int h, int box, int* ow, int* oh) {
  double r = std::max(static_cast<double>(w) / box, static_cast<double>(h) / box);
  *ow = static_cast<int>(w / r);
  *oh = static_cast<int>(h / r);
}

// The floor: decode, area-average to fit the box, encode at quality 75.
inline void Floor(const std::string& in, const std::string& out) {
  FILE* f = std::fopen(in.c_str(), "rb");
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  int w = static_cast<int>(d.output_width), h = static_cast<int>(d.output_height);
  std::vector<unsigned char> src(static_cast<size_t>(w) * h * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = src.data() + static_cast<size_t>(d.output_scanline) * w * 3;
    jpeg_read_scanlines(&d, &r, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  int ow, oh;
  Fit(w, h, 2048, &ow, &oh);
  std::vector<unsigned char> dst(static_cast<size_t>(ow) * oh * 3);
  for (int y = 0; y < oh; ++y) {
    int y0 = static_cast<int>(static_cast<long long>(y) * h / oh), y1 = static_cast<int>(static_cast<long long>(y + 1) * h / oh);
    for (int x = 0; x < ow; ++x) {
      int x0 = static_cast<int>(static_cast<long long>(x) * w / ow), x1 = static_cast<int>(static_cast<long long>(x + 1) * w / ow);
      unsigned sum[3] = {0, 0, 0};
      for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx)
          for (int c = 0; c < 3; ++c) sum[c] += src[(static_cast<size_t>(yy) * w + xx) * 3 + c];
      unsigned n = static_cast<unsigned>((y1 - y0) * (x1 - x0));
      for (int c = 0; c < 3; ++c) dst[(static_cast<size_t>(y) * ow + x) * 3 + c] = static_cast<unsigned char>(sum[c] / n);
    }
  }
  WriteJpeg(out, dst, ow, oh, 75);
}

}  // namespace bench
