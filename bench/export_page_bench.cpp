// Exporting a print-layout page of 12 photographs at 300 dpi as JPEG, next to
// the work it cannot avoid: loading the 12 photographs and saving one
// 2480 x 3508 JPEG. The ratio says what the page renderer costs on top.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lorimer/ImageInterface.h"
#include "platform/ui/ui.h"
#include "printlayout/export/ExportPages.h"
#include "printlayout/export/ExportTypes.h"
#include "printlayout/layout/Layout.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A 1600 x 1200 photograph-like picture: smooth gradients with some texture.
bool WritePhoto(const std::string& path, int seed) {
  const int w = 1600, h = 1200;
  HBITMAP bmp = CImageInterface::CreateEmptyDIBSection(w, h, 0, 0);
  vel::gdi::BitmapView view;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &view)) return false;
  unsigned noise = 12345u + static_cast<unsigned>(seed);
  for (int y = 0; y < h; ++y) {
    BYTE* row = view.row(y);
    for (int x = 0; x < w; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int n = static_cast<int>((noise >> 16) & 15);
      row[3 * x] = static_cast<BYTE>((x * 255 / w + seed * 20 + n) & 255);
      row[3 * x + 1] = static_cast<BYTE>((y * 255 / h + n) & 255);
      row[3 * x + 2] = static_cast<BYTE>(((x + y) * 128 / (w + h) + seed * 10) & 255);
    }
  }
  CImageInterface image;
  if (!image.InitFromHBITMAP(bmp)) return false;
  return tessaly::SaveExportImage(image, path, tessaly::kExportJPEG, w, h, 24, false);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  vel::ui::EnsureApplication();
  char pattern[] = "/tmp/bench-export-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;
  std::vector<std::string> photos;
  for (int i = 0; i < 12; ++i) {
    photos.push_back(dir + "/photo" + std::to_string(i) + ".jpg");
    if (!WritePhoto(photos.back(), i)) return 1;
  }

  tessaly::NullEnvironment env;
  tessaly::Project project(env);
  project.name = "bench";
  for (const auto& p : photos) project.addImageFile(p, 0);
  tessaly::applyAutoArrange(project);  // 3 x 4 on one A4 page

  std::vector<double> exportTimes, referenceTimes;
  for (int run = 0; run < 3; ++run) {
    auto start = Clock::now();
    tessaly::exportPages(project, {1}, dir, "page", tessaly::kExportJPEG, 300, tessaly::kDepth24, false, false);
    exportTimes.push_back(Seconds(start));

    start = Clock::now();
    for (const auto& p : photos) {
      CImageInterface image;
      image.Load(p.c_str(), 1);
      image.CloseHandle();
    }
    CImageInterface page;
    page.InitFromHBITMAP(CImageInterface::CreateEmptyDIBSection(2480, 3508, 0xFFFFFF, 0));
    tessaly::SaveExportImage(page, dir + "/reference.jpg", tessaly::kExportJPEG, 2480, 3508, 24, false);
    referenceTimes.push_back(Seconds(start));
  }
  const double exportTime = Median(exportTimes), reference = Median(referenceTimes);
  std::printf("export of a 12-photo A4 page at 300 dpi as JPEG: %.3f s (median of 3)\n", exportTime);
  std::printf("loading the 12 photos and saving one 2480 x 3508 JPEG: %.3f s\n", reference);
  std::printf("ratio: %.2f\n", exportTime / reference);
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
