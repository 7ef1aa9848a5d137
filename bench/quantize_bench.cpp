// Times the colour quantiser (256 colours, dithered) and the scaler on a
// synthetic 12-megapixel photo-like picture, and sets ImageMagick's
// "-colors 256" beside it when convert-im6.q16 is installed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagelib/process/harrow_scale.h"
#include "imagelib/process/kest_quantizer.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/owned.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth sky-like gradients, a few soft shapes, fine texture and sensor-like
// noise: enough variety that a palette has to compromise, as on a photo.
std::vector<std::uint8_t> MakePicture(int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  std::uint32_t seed = 12345;
  auto noise = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 24) % 9) - 4;
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double u = double(x) / width, v = double(y) / height;
      double r = 70 + 150 * v + 30 * std::sin(9 * u + 3 * v);
      double g = 90 + 110 * (1 - v) * u + 40 * std::cos(7 * v - 4 * u);
      double b = 200 - 120 * v + 25 * std::sin(13 * u * v);
      double dx = u - 0.6, dy = v - 0.55;
      if (dx * dx + dy * dy < 0.04) {
        r = 180 + 60 * std::sin(40 * u);
        g = 120 + 50 * std::cos(35 * v);
        b = 60 + 30 * std::sin(50 * u * v);
      }
      double t = 8 * std::sin(0.35 * x) * std::cos(0.27 * y);
      std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(std::clamp(r + t + noise(), 0.0, 255.0));
      p[1] = static_cast<std::uint8_t>(std::clamp(g + t + noise(), 0.0, 255.0));
      p[2] = static_cast<std::uint8_t>(std::clamp(b + t + noise(), 0.0, 255.0));
    }
  }
  return rgb;
}

vel::gdi::OwnedBitmap ToBitmap(const std::vector<std::uint8_t>& rgb, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader = vel::gdi::TopDownHeader(width, height, 24);
  void* bits = nullptr;
  vel::gdi::OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap.get(), &view)) return {};
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = view.row(y);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      row[3 * x] = p[2];
      row[3 * x + 1] = p[1];
      row[3 * x + 2] = p[0];
    }
  }
  return bitmap;
}

// Any 1/4/8/24-bit bitmap back to RGB.
std::vector<std::uint8_t> ToRgb(HBITMAP bitmap) {
  vel::gdi::BitmapView view;
  if (!vel::gdi::GetBitmapView(bitmap, &view)) return {};
  std::vector<std::uint8_t> rgb(static_cast<size_t>(view.width) * view.height * 3);
  for (int y = 0; y < view.height; ++y) {
    const std::uint8_t* row = view.row(y);
    for (int x = 0; x < view.width; ++x) {
      std::uint8_t* out = &rgb[(static_cast<size_t>(y) * view.width + x) * 3];
      if (view.bitsPerPixel == 24) {
        out[0] = row[3 * x + 2];
        out[1] = row[3 * x + 1];
        out[2] = row[3 * x];
        continue;
      }
      int bits = view.bitsPerPixel, perByte = 8 / bits;
      int index = (row[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1 << bits) - 1);
      const RGBQUAD& c = view.colors[index];
      out[0] = c.rgbRed;
      out[1] = c.rgbGreen;
      out[2] = c.rgbBlue;
    }
  }
  return rgb;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  double mse = sum / a.size();
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool WritePpm(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", width, height);
  bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::uint8_t> ReadPpm(const std::string& path, int width, int height) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  int w = 0, h = 0, max = 0;
  std::vector<std::uint8_t> rgb;
  if (std::fscanf(f, "P6 %d %d %d", &w, &h, &max) == 3 && w == width && h == height && max == 255 &&
      std::fgetc(f) != EOF) {
    rgb.resize(static_cast<size_t>(w) * h * 3);
    if (std::fread(rgb.data(), 1, rgb.size(), f) != rgb.size()) rgb.clear();
  }
  std::fclose(f);
  return rgb;
}

void CompareWithImageMagick(const std::vector<std::uint8_t>& rgb) {
  if (std::system("command -v convert-im6.q16 >/dev/null 2>&1") != 0) {
    std::printf("ImageMagick (convert-im6.q16) not found; no comparison\n");
    return;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  std::string in = dir + "/bench_quantize_in.ppm", out = dir + "/bench_quantize_out.ppm";
  if (!WritePpm(in, rgb, kWidth, kHeight)) return;
  auto start = std::chrono::steady_clock::now();
  int rc = std::system(("convert-im6.q16 " + in + " -colors 256 " + out).c_str());
  double seconds = Seconds(start);
  std::vector<std::uint8_t> theirs = rc == 0 ? ReadPpm(out, kWidth, kHeight) : std::vector<std::uint8_t>{};
  std::printf("ImageMagick -colors 256: %.3f s (whole program, PPM in and out), PSNR %.2f dB\n", seconds,
              Psnr(rgb, theirs));
  std::remove(in.c_str());
  std::remove(out.c_str());
}

}  // namespace

int main() {
  std::vector<std::uint8_t> rgb = MakePicture(kWidth, kHeight);
  const vel::gdi::OwnedBitmap source = ToBitmap(rgb, kWidth, kHeight);
  if (!source) return 1;

  auto start = std::chrono::steady_clock::now();
  double seconds;
  {
    const vel::gdi::OwnedBitmap reduced(lorimer::process::KestReduceColors(source.get(), 256, false));
    seconds = Seconds(start);
    if (!reduced) return 1;
    std::printf("KestReduceColors 256 + dither, %dx%d: %.3f s, PSNR %.2f dB\n", kWidth, kHeight, seconds,
                Psnr(rgb, ToRgb(reduced.get())));
  }

  CompareWithImageMagick(rgb);

  int width = 2048, height = 2048 * kHeight / kWidth;
  start = std::chrono::steady_clock::now();
  const vel::gdi::OwnedBitmap scaled(lorimer::process::HarrowScale(source.get(), width, height));
  seconds = Seconds(start);
  if (!scaled) return 1;
  std::printf("HarrowScale to %dx%d: %.3f s\n", width, height, seconds);
  return 0;
}
