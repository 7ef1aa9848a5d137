// One file per process, the way scripts call the tools: `lorimer save` (fit into
// 2048 x 2048 with the library's scaler, JPEG quality 75) next to the floor
// program run once per file, and `lorimer thumb` (256 x 256) next to the floor's
// shrink-on-load, over 8 photos of 12 megapixels. Process start, library load and
// first touch of memory count on both sides.
//   bench_process [RUNS]       (each figure is the best of RUNS, default 3)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/photos.h"

namespace {

using bench::Quoted;

// Wall seconds for `command(file, n)` run once per file, best of `runs` passes.
template <class Command>
double PerProcess(const std::vector<std::string>& photos, int runs, Command command) {
  double best = -1;
  for (int run = 0; run < runs; ++run) {
    double total = 0;
    for (size_t i = 0; i < photos.size(); ++i) {
      const double t = bench::WallSeconds(command(photos[i], i));
      if (t < 0) return -1;
      total += t;
    }
    if (best < 0 || total < best) best = total;
  }
  return best;
}

void Print(const char* name, double seconds, size_t files) {
  std::printf("  %-36s %7.1f ms a file\n", name, seconds * 1000 / static_cast<double>(files));
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string dir = "/tmp/process-bench";
  const std::vector<std::string> photos = bench::Photos("/tmp/converter-bench/photos", 8);
  if (photos.empty()) return 1;
  std::filesystem::create_directories(dir);
  const std::string floor = bench::FloorProgram(), lorimer = LORIMER_PATH;
  auto out = [&](const char* kind, size_t i, const char* ext) {
    return Quoted(dir + "/" + kind + std::to_string(i) + ext);
  };

  const double floorSave = PerProcess(photos, runs, [&](const std::string& in, size_t) {
    return floor + " -o " + Quoted(dir + "/floor") + " " + Quoted(in) + " >/dev/null";
  });
  const double save = PerProcess(photos, runs, [&](const std::string& in, size_t i) {
    return Quoted(lorimer) + " save " + Quoted(in) + " " + out("save", i, ".jpg") +
           " width=2048 height=2048 proportional=1 method=4 depth=24 quality=75 >/dev/null";
  });
  const double floorThumb = PerProcess(photos, runs, [&](const std::string& in, size_t) {
    return floor + " --shrink-on-load -s 256 -o " + Quoted(dir + "/floor-thumb") + " " + Quoted(in) + " >/dev/null";
  });
  const double thumb = PerProcess(photos, runs, [&](const std::string& in, size_t i) {
    return Quoted(lorimer) + " thumb " + Quoted(in) + " " + out("thumb", i, ".bmp") + " 256 256 >/dev/null";
  });

  std::printf("%zu photos of 12 MP, one process a file, wall time, best of %d\n", photos.size(), runs);
  Print("floor -s 2048", floorSave, photos.size());
  Print("lorimer save (fit 2048, q75)", save, photos.size());
  std::printf("    ratio %.2f (target <= 1.50)\n", save / floorSave);
  Print("floor --shrink-on-load -s 256", floorThumb, photos.size());
  Print("lorimer thumb 256 x 256", thumb, photos.size());
  std::printf("    ratio %.2f (target <= 2.00)\n", thumb / floorThumb);
  const bool ok = floorSave > 0 && save > 0 && floorThumb > 0 && thumb > 0;
  return ok && save / floorSave <= 1.5 && thumb / floorThumb <= 2.0 ? 0 : 2;
}
