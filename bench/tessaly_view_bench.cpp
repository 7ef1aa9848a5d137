// Tessaly's page view scrolling a project of 40 pages of 12-megapixel photos: the
// repaint of one page 800 pixels wide (Whole Page), drawn as the view draws it,
// with the pictures loaded for each drawing (printing's way) and through the
// view's picture cache, cold and warm; then a scroll through all 40 pages. The
// floor program and a plain libjpeg-turbo decode of the same photos, in the same
// run, say what decoding them costs at all.
//   bench_tessaly_view [RUNS]     (TESSALY_VIEW_SHOTS=DIR also saves page 1 drawn both ways)
#include <unistd.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/photos.h"
#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "platform/ui/ui.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/model/Environment.h"
#include "printlayout/render/PageRenderer.h"
#include "printlayout/render/PictureCache.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

constexpr int kScreenDpi = 96;
constexpr int kPageWidth = 800;
constexpr int kPages = 40, kPerPage = 12;

// One page drawn as the page view draws it, Whole Page at kPageWidth; milliseconds.
double Paint(tessaly::Project& project, int pageIndex, tessaly::PictureSource* pictures, const char* saveAs = nullptr) {
  const int height = static_cast<int>(kPageWidth * static_cast<double>(project.pageHeight) / project.pageWidth);
  QImage surface(kPageWidth, height, QImage::Format_RGB32);
  const auto start = Clock::now();
  QPainter painter(&surface);
  painter.fillRect(0, 0, kPageWidth, height, Qt::white);
  vel::gdi::PainterCaps caps;
  caps.width = kPageWidth;
  caps.height = height;
  caps.dpiX = caps.dpiY = kScreenDpi;
  caps.technology = DT_RASDISPLAY;
  const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&painter, caps));
  const int sheet = tessaly::DeviceX(dc.get(), project.pageWidth, 1.0);
  const double zoom = static_cast<double>(kPageWidth) / sheet;
  const tessaly::RenderFonts fonts(project, kScreenDpi, zoom);
  tessaly::RenderRequest request;
  request.pageIndex = pageIndex;
  request.dc = dc.get();
  request.content = tessaly::ContentRect(project, dc.get(), zoom);
  request.zoom = zoom;
  request.fonts = &fonts;
  request.pictures = pictures;
  tessaly::renderPage(project, request);
  painter.end();
  const double ms = Ms(start);
  if (saveAs) surface.save(saveAs);
  return ms;
}

struct Figures {
  double median = 0, worst = 0, total = 0;
};
Figures Of(const std::vector<double>& times) {
  Figures f;
  f.median = bench::Median(times);
  for (double t : times) {
    f.worst = std::max(f.worst, t);
    f.total += t;
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  vel::ui::EnsureApplication();

  const std::string dir = "/tmp/tessaly-view-bench";
  const std::vector<std::string> photos = bench::Photos(dir, kPerPage);
  if (photos.size() != kPerPage) {
    std::fprintf(stderr, "cannot write the photos in %s\n", dir.c_str());
    return 1;
  }
  // Every page has photos of its own, as a real project has: hard links give each
  // placement its own file name (and so its own cache entry) without 480 files' space.
  tessaly::NullEnvironment env;
  tessaly::Project project(env);
  for (int page = 0; page < kPages; ++page) {
    for (int i = 0; i < kPerPage; ++i) {
      std::string path = photos[static_cast<size_t>(i)];
      if (page > 0) {
        const std::string linked = dir + "/p" + std::to_string(page) + "-" + std::to_string(i) + ".jpg";
        if (access(linked.c_str(), F_OK) == 0 || link(path.c_str(), linked.c_str()) == 0) path = linked;
      }
      project.addImage(path, "", 4000, 3000, 0, 0, FORMAT_JPG);
    }
  }
  tessaly::arrange(project, 1, 1, 3, 4, 30, 30, tessaly::kArrangeAllPages);
  if (project.pageCount() != kPages) {
    std::fprintf(stderr, "arranged into %d pages, not %d\n", project.pageCount(), kPages);
    return 1;
  }

  // What decoding the 12 photos costs at all.
  std::string files;
  for (const auto& p : photos) files += " " + bench::Quoted(p);
  const std::string out = dir + "/floor-out";
  std::system(("mkdir -p " + bench::Quoted(out)).c_str());
  const double floorMs = 1000 * bench::BestOf(runs, bench::Quoted(bench::FloorProgram()) + " -j 2 -o " +
                                                        bench::Quoted(out) + files + " >/dev/null");
  double plainMs = 0;
  for (const auto& p : photos) plainMs += bench::PlainDecode(p);

  // (a) loading each picture for the drawing, as printing does.
  std::vector<double> uncached;
  for (int i = 0; i < runs; ++i) uncached.push_back(Paint(project, 1, nullptr));
  // (b) the first paint with a fresh cache.
  std::vector<double> first;
  for (int i = 0; i < runs; ++i) {
    tessaly::PictureCache cache;
    first.push_back(Paint(project, 1, &cache));
  }
  // (c) repaints with the cache warm.
  tessaly::PictureCache cache;
  Paint(project, 1, &cache);
  std::vector<double> warm;
  for (int i = 0; i < 20; ++i) warm.push_back(Paint(project, 1, &cache));
  // TESSALY_VIEW_SHOTS=DIR keeps a picture of page 1 drawn each way, to compare by eye.
  if (const char* shots = std::getenv("TESSALY_VIEW_SHOTS")) {
    Paint(project, 1, nullptr, (std::string(shots) + "/page1-loaded.png").c_str());
    Paint(project, 1, &cache, (std::string(shots) + "/page1-cached.png").c_str());
  }
  // (d) scrolling through all pages: first visits, then again with the cache warm.
  cache.clear();
  std::vector<double> visit, again;
  for (int page = 1; page <= kPages; ++page) visit.push_back(Paint(project, page, &cache));
  for (int page = 1; page <= kPages; ++page) again.push_back(Paint(project, page, &cache));

  const Figures a = Of(uncached), b = Of(first), c = Of(warm), d1 = Of(visit), d2 = Of(again);
  std::printf("Tessaly page view: 40 pages of 12 photos of 4000 x 3000, page %d px wide, Whole Page\n", kPageWidth);
  std::printf("  floor -j 2 over the 12 photos:        %8.1f ms (best of %d)\n", floorMs, runs);
  std::printf("  libjpeg-turbo full decode of the 12:  %8.1f ms\n", plainMs);
  std::printf("  (a) paint, pictures loaded per draw:  %8.1f ms median of %d   ratio to floor %.2f\n", a.median, runs,
              a.median / floorMs);
  std::printf("  (b) first paint, fresh cache:         %8.1f ms median of %d   ratio to floor %.2f\n", b.median, runs,
              b.median / floorMs);
  std::printf("  (c) repaint, warm cache:              %8.1f ms median, %.1f ms worst of 20 (target <= 100)\n",
              c.median, c.worst);
  std::printf("  (d) scroll through 40 pages, first:   %8.1f ms total, %.1f ms median, %.1f ms worst a page\n",
              d1.total, d1.median, d1.worst);
  std::printf("      and again, warm:                  %8.1f ms total, %.1f ms median, %.1f ms worst a page\n",
              d2.total, d2.median, d2.worst);
  std::printf("      cache: %zu pictures, %.1f MiB (budget %.0f MiB)\n", cache.entries(), cache.bytesHeld() / 1048576.0,
              tessaly::PictureCache::kDefaultBudget / 1048576.0);
  std::system(("rm -rf " + bench::Quoted(out)).c_str());
  return c.median <= 100 ? 0 : 1;
}
