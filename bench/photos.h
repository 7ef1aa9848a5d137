// Photo-like test pictures, and running the floor program and the peers the
// pipeline benchmarks compare with.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

// The whole file; empty when it cannot be read.
inline std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> data;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return data;
  unsigned char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}

// libjpeg-turbo on its own: read the file and decode to BGR rows.
inline double PlainDecode(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  std::vector<unsigned char> data = ReadAll(path);
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, data.data(), data.size());
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d);
  size_t stride = (static_cast<size_t>(d.output_width) * 3 + 3) & ~size_t(3);
  std::vector<unsigned char> pixels(stride * d.output_height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = pixels.data() + stride * d.output_scanline;
    jpeg_read_scanlines(&d, &r, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The middle value (of a copy).
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
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

// The yardstick every benchmark compares with: the floor program built from the
// shared floor.cpp (FLOOR_PATH), run as its own process over the same files.
inline std::string FloorProgram() { return FLOOR_PATH; }

// Wall time of a shell command in seconds, or -1 when it fails.
inline double WallSeconds(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == 0 ? seconds : -1;
}

// The quickest of `runs` timings of a command (-1 when any run fails).
inline double BestOf(int runs, const std::string& command) {
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    const double t = WallSeconds(command);
    if (t < 0) return -1;
    if (best < 0 || t < best) best = t;
  }
  return best;
}

// A program on PATH, or "" when it is not installed.
inline std::string OnPath(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0 ? name : std::string();
}

// Shell quoting for paths.
inline std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// n photos of 4000 x 3000 at quality 90 in `dir`, made once: eight distinct
// pictures, repeated, as real batches repeat similar pictures.
inline std::vector<std::string> Photos(const std::string& dir, int n) {
  std::vector<std::string> photos;
  std::system(("mkdir -p " + Quoted(dir)).c_str());
  for (int i = 0; i < n; ++i) {
    const std::string path = dir + "/photo" + std::to_string(i) + ".jpg";
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
    } else if (!WriteJpeg(path, Photo(4000, 3000, i % 8), 4000, 3000, 90)) {
      return {};
    }
    photos.push_back(path);
  }
  return photos;
}

}  // namespace bench
