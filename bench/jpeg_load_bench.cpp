// Loading and rendering a 12-megapixel baseline JPEG through the image object,
// next to a plain libjpeg-turbo decode of the same file in the same run.
//   bench_jpeg_load [FILE] [RUNS]   (without FILE a 4000 x 3000 test picture is written)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>  // before jpeglib.h, which needs FILE
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench/photos.h"
#include "imagelib/core/Common.h"
#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"

namespace {

using Clock = std::chrono::steady_clock;

// A photo-like test picture: smooth gradients with some texture, quality 90.
bool WriteTestJpeg(const std::string& path, int w, int h) {
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      double t = std::sin(x * 0.013) * std::cos(y * 0.011);
      p[0] = static_cast<unsigned char>(128 + 100 * t + ((x * 7 + y * 3) & 15));
      p[1] = static_cast<unsigned char>((x * 255) / w);
      p[2] = static_cast<unsigned char>((y * 255) / h ^ ((x >> 3) & 31));
    }
  return bench::WriteJpeg(path, rgb, w, h, 90);
}

// The suite's path: Load(path, 1), then DrawImage into a new 24-bit DIB section of the
// page's size (an opaque JPEG covers all of it, so the section is not filled first).
struct Timing {
  double load = 0;
  double total = 0;
};

Timing LoadAndRender(const std::string& path, bool* ok) {
  Timing t;
  auto start = Clock::now();
  CImageInterface image;
  *ok = image.Load(path.c_str(), 1) != 0;
  t.load = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!*ok) return t;
  int w = image.GetWidth(0), h = image.GetHeight(0);
  {
    const vel::gdi::OwnedBitmap canvas(Common::CreateEmptyDIBSection(w, h, 0xFFFFFFFF, 0));
    const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const vel::gdi::ScopedSelect select(dc.get(), canvas.get());
    *ok = image.DrawImage(dc.get(), 0, 0, 0, 0, 0) != 0;
  }
  t.total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : "/tmp/lorimer-bench-12mp.jpg";
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  if (argc <= 1 && !WriteTestJpeg(path, 4000, 3000)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::vector<double> plain, load, total;
  for (int i = 0; i < runs; ++i) {
    // Alternate, so that both see the same cache and clock conditions.
    plain.push_back(bench::PlainDecode(path));
    bool ok = false;
    Timing t = LoadAndRender(path, &ok);
    if (!ok) {
      std::fprintf(stderr, "the library could not load or draw %s\n", path.c_str());
      return 1;
    }
    load.push_back(t.load);
    total.push_back(t.total);
  }
  double p = bench::Median(plain), l = bench::Median(load), o = bench::Median(total);
  std::printf("12-megapixel JPEG, median of %d runs\n", runs);
  std::printf("  libjpeg-turbo decode:             %8.1f ms\n", p);
  std::printf("  Load(path, 1):                    %8.1f ms   ratio %.2f (target <= 1.20)\n", l, l / p);
  std::printf("  Load + DrawImage into a section:  %8.1f ms   ratio %.2f\n", o, o / p);
  return l / p <= 1.2 ? 0 : 2;
}
