// Load + scale to fit 2048 x 2048 + save as JPEG quality 75 through the image
// object, next to the floor program doing the same job on one thread, in CPU time,
// on generated 12-MP photos.
//   bench_pipeline [RUNS]
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/photos.h"
#include "lorimer/ImageInterface.h"

namespace {

using namespace bench;

double CpuMs(int who = RUSAGE_SELF) {
  rusage u{};
  getrusage(who, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

bool Ours(const std::string& in, const std::string& out) {
  CImageInterface image;
  if (!image.Load(in.c_str(), 1)) return false;
  _SAVEIMAGEINFO::_JPG r{};
  r.width = 2048;
  r.height = 2048;
  r.proportional = 1;
  r.method = 4;  // the library's own scaler
  r.depth = 24;
  r.quality = 75;
  return image.Save(out.c_str(), &r) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<std::string> corpus;
  for (int i = 0; i < 3; ++i) {
    std::string path = "/tmp/lorimer-bench-photo" + std::to_string(i) + ".jpg";
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
    } else if (!WriteJpeg(path, Photo(4000, 3000, i), 4000, 3000, 90)) {
      return 1;
    }
    corpus.push_back(path);
  }
  double floorMs = 0, oursMs = 0;
  for (int run = 0; run < runs; ++run) {
    for (const std::string& in : corpus) {
      double c0 = CpuMs(RUSAGE_CHILDREN);
      if (std::system((FloorProgram() + " -o /tmp/lorimer-bench-floor " + Quoted(in) + " >/dev/null").c_str()) != 0)
        return 1;
      floorMs += CpuMs(RUSAGE_CHILDREN) - c0;
      double t1 = CpuMs();
      if (!Ours(in, "/tmp/lorimer-bench-ours.jpg")) {
        std::fprintf(stderr, "the library could not load, scale or save %s\n", in.c_str());
        return 1;
      }
      double t2 = CpuMs();
      oursMs += t2 - t1;
    }
  }
  int n = runs * static_cast<int>(corpus.size());
  std::printf("12-MP JPEG -> fit 2048 x 2048 -> JPEG q75, CPU time per image, %d images\n", n);
  std::printf("  floor program, one thread:             %8.1f ms\n", floorMs / n);
  std::printf("  Load + HarrowScale + Save:             %8.1f ms   ratio %.2f (target <= 1.50)\n", oursMs / n,
              oursMs / floorMs);
  return oursMs / floorMs <= 1.5 ? 0 : 2;
}
