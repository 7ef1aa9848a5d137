// The converter with its default settings (fit into 2048 x 2048 with the
// library's scaler, JPEG quality 75) over 16 photos of 12 megapixels, in wall
// time, next to the floor program on both cores and the peers that are installed
// (vipsthumbnail, GraphicsMagick), all over the same files in the same run.
//   bench_converter [RUNS]       (each figure is the best of RUNS, default 3)
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/photos.h"
#include "converter/settings/ConverterSettings.h"

namespace {

using bench::Quoted;

std::string Joined(const std::vector<std::string>& paths) {
  std::string all;
  for (const std::string& p : paths) all += " " + Quoted(p);
  return all;
}

// A fresh, empty output folder for one program.
std::string Fresh(const std::string& dir) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

size_t Written(const std::string& dir) {
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.path().extension() == ".jpg";
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string dir = "/tmp/converter-bench";
  const std::vector<std::string> photos = bench::Photos(dir + "/photos", 16);
  if (photos.empty()) return 1;
  const std::string files = Joined(photos);

  struct Row {
    std::string name;
    double seconds;
    size_t written;
  };
  std::vector<Row> rows;
  auto measure = [&](const std::string& name, const std::string& out, const std::string& command) {
    double best = -1;
    for (int i = 0; i < runs; ++i) {
      Fresh(out);
      const double t = bench::WallSeconds(command);
      if (t >= 0 && (best < 0 || t < best)) best = t;
    }
    rows.push_back(Row{name, best, Written(out)});
  };

  measure("floor, 2 threads", dir + "/floor", bench::FloorProgram() + " -j 2 -o " + Quoted(dir + "/floor") + files);
  if (!bench::OnPath("vipsthumbnail").empty())
    measure("vipsthumbnail --size 2048", dir + "/vips",
            "vipsthumbnail --size 2048 -o " + Quoted(dir + "/vips/%s.jpg[Q=75]") + files);
  if (!bench::OnPath("gm").empty()) {
    // mogrify puts each output under the output folder by the name it was given.
    std::string names;
    for (const std::string& p : photos) names += " " + Quoted(std::filesystem::path(p).filename().string());
    measure("gm mogrify", dir + "/gm",
            "cd " + Quoted(dir + "/photos") + " && gm mogrify -output-directory " + Quoted(dir + "/gm") +
                " -resize 2048x2048 -quality 75" + names);
  }

  // The converter: one list job, its own registry with the default settings and
  // its outputs in a folder of their own.
  const std::string out = dir + "/out", registry = dir + "/registry";
  std::filesystem::remove_all(registry);
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
  measure("converter /BAT", out,
          "env -u DISPLAY -u WAYLAND_DISPLAY VELMARK_REGISTRY_DIR=" + Quoted(registry) + " " + Quoted(CONVERTER_PATH) +
              " " + Quoted(dir + "/list.txt") + " /BAT 2>/dev/null");

  const double floor = rows.front().seconds;
  std::printf("%zu photos of 12 MP -> fit 2048 x 2048 -> JPEG q75, wall time, best of %d\n", photos.size(), runs);
  bool ok = floor > 0;
  for (const Row& r : rows) {
    std::printf("  %-26s %6.2f s   ratio %5.2f   %zu files\n", r.name.c_str(), r.seconds,
                floor > 0 ? r.seconds / floor : 0.0, r.written);
    ok = ok && r.seconds > 0 && r.written == photos.size();
  }
  const double ours = rows.back().seconds;
  std::printf("  converter target: ratio <= 1.50 (goal 1.30)%s\n", ok && ours / floor <= 1.5 ? ", met" : ", missed");
  return ok && ours / floor <= 1.5 ? 0 : 2;
}
