// The converter with its default settings (fit into 2048 x 2048 with the
// library's scaler, JPEG quality 75) over 40 photos of 12 megapixels, in wall
// time, next to the floor program run on both cores over the same files.
//   bench_converter [CONVERTER]
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/photos.h"
#include "converter/settings/ConverterSettings.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string converter = argc > 1 ? argv[1] : CONVERTER_PATH;
  const std::string dir = "/tmp/converter-bench";
  std::filesystem::create_directories(dir + "/photos");
  std::vector<std::string> photos;
  for (int i = 0; i < 40; ++i) {
    const std::string path = dir + "/photos/photo" + std::to_string(i) + ".jpg";
    if (!std::filesystem::exists(path) && !bench::WriteJpeg(path, bench::Photo(4000, 3000, i % 7), 4000, 3000, 90))
      return 1;
    photos.push_back(path);
  }

  // The floor: the same job split over two threads.
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (size_t i = t; i < photos.size(); i += 2) bench::Floor(photos[i], dir + "/floor" + std::to_string(t) + ".jpg");
    });
  for (auto& t : threads) t.join();
  const double floor = Seconds(start);

  // The converter: one list job, its own registry with the default settings and
  // its outputs in a folder of their own.
  const std::string out = dir + "/out", registry = dir + "/registry";
  std::filesystem::remove_all(out);
  std::filesystem::remove_all(registry);
  std::filesystem::create_directories(out);
  {
    std::ofstream list(dir + "/list.txt");
    list << "JPG\n";
    for (const std::string& p : photos) list << p << "\n";
  }
  setenv("VELMARK_REGISTRY_DIR", registry.c_str(), 1);
  converter::ConverterSettings settings = converter::ConverterSettings::Defaults();
  settings.optUsePredefFolder = 1;
  settings.optFolderPath = out;
  if (!settings.Save()) return 1;
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY VELMARK_REGISTRY_DIR='" + registry + "' '" + converter +
                              "' '" + dir + "/list.txt' /BAT 2>/dev/null";
  start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double ours = Seconds(start);
  size_t written = 0;
  for (const auto& e : std::filesystem::directory_iterator(out)) written += e.path().extension() == ".jpg";
  std::printf("40 photos of 12 MP -> fit 2048 x 2048 -> JPEG q75, wall time\n");
  std::printf("  floor on two cores:  %6.2f s\n", floor);
  std::printf("  converter:           %6.2f s   ratio %.2f (target <= 2.00), %zu files written, status %d\n", ours,
              ours / floor, written, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return written == photos.size() && ours / floor <= 2.0 ? 0 : 2;
}
