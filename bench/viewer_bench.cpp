// The viewer opening a 24-megapixel JPEG and showing it fitted, next to a plain
// libjpeg-turbo decode of the same file in the same run; repaints while scrolling at
// 100 % and at fit; and the memory a 100-megapixel TIFF takes to open and scroll.
//   bench_viewer [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QScrollBar>

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/photos.h"
#include "platform/ui/ui.h"
#include "viewer/core/tests/fake_host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/view/COrvennaView.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

constexpr int kViewWidth = 1600, kViewHeight = 1000;

// From the open command to the first picture on the screen, fitted.
double OpenToFirstPaint(const std::string& path) {
  orvenna::testing::FakeHost host;
  const auto start = Clock::now();
  orvenna::COrvennaDoc* doc = host.Open(path);
  if (!doc) return -1;
  doc->m_dZoom = -1.0;
  orvenna::COrvennaView view(doc, &host);
  view.resize(kViewWidth, kViewHeight);
  view.viewport()->grab();
  return Ms(start);
}

struct Scrolling {
  double median = 0;
  double worst = 0;
};

// Repaints of the whole window while the picture moves by `step` pixels a time.
Scrolling Scroll(orvenna::COrvennaView& view, int steps, int step) {
  std::vector<double> times;
  view.viewport()->grab();  // the first paint is the open's, not the scroll's
  for (int i = 0; i < steps; ++i) {
    QScrollBar* bar = (i % 2) ? view.verticalScrollBar() : view.horizontalScrollBar();
    bar->setValue(bar->value() + step);
    const auto start = Clock::now();
    view.viewport()->grab();
    times.push_back(Ms(start));
  }
  Scrolling s;
  s.median = bench::Median(times);
  s.worst = *std::max_element(times.begin(), times.end());
  return s;
}

bool WriteBigTiff(const std::string& path, int w, int h) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return false;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 64);
  std::vector<unsigned char> row(static_cast<size_t>(w) * 3);
  bool ok = true;
  for (int y = 0; y < h && ok; ++y) {
    for (int x = 0; x < w; ++x) {
      row[x * 3] = static_cast<unsigned char>(x >> 5);
      row[x * 3 + 1] = static_cast<unsigned char>(y >> 5);
      row[x * 3 + 2] = static_cast<unsigned char>((x ^ y) >> 6);
    }
    ok = TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  TIFFClose(t);
  return ok;
}

long MaxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// In a child process, so that the peak belongs to this picture alone: the growth of
// the peak resident memory while opening, showing fitted and scrolling at 100 %.
long PeakGrowthKb(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    long growth = -1;
    {
      const long before = MaxRssKb();
      orvenna::testing::FakeHost host;
      orvenna::COrvennaDoc* doc = host.Open(path);
      if (doc) {
        doc->m_dZoom = -1.0;
        orvenna::COrvennaView view(doc, &host);
        view.resize(kViewWidth, kViewHeight);
        view.viewport()->grab();
        doc->m_dZoom = 1.0;
        doc->UpdateAllViews();
        Scroll(view, 20, 400);
        growth = MaxRssKb() - before;
      }
    }
    if (write(fds[1], &growth, sizeof growth) != sizeof growth) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  long growth = -1;
  if (read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return growth;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  vel::ui::EnsureApplication();

  const std::string jpeg = "/tmp/orvenna-bench-24mp.jpg";
  if (!bench::WriteJpeg(jpeg, bench::Photo(6000, 4000, 1), 6000, 4000, 90)) {
    std::fprintf(stderr, "cannot write %s\n", jpeg.c_str());
    return 1;
  }
  std::vector<double> plain, open;
  for (int i = 0; i < runs; ++i) {
    plain.push_back(bench::PlainDecode(jpeg));
    open.push_back(OpenToFirstPaint(jpeg));
    if (open.back() < 0) {
      std::fprintf(stderr, "the viewer could not open %s\n", jpeg.c_str());
      return 1;
    }
  }
  const double p = bench::Median(plain), o = bench::Median(open);
  std::printf("24-megapixel JPEG (6000 x 4000), median of %d runs, window %d x %d\n", runs, kViewWidth, kViewHeight);
  std::printf("  libjpeg-turbo decode:           %8.1f ms\n", p);
  std::printf("  open to first paint, fitted:    %8.1f ms   ratio %.2f (target <= 1.50)\n", o, o / p);

  orvenna::testing::FakeHost host;
  orvenna::COrvennaDoc* doc = host.Open(jpeg);
  orvenna::COrvennaView view(doc, &host);
  view.resize(kViewWidth, kViewHeight);
  doc->m_dZoom = 1.0;
  doc->UpdateAllViews();
  const Scrolling at100 = Scroll(view, 60, 37);
  doc->m_dZoom = -1.0;
  doc->UpdateAllViews();
  view.viewport()->grab();  // the first paint at fit makes the reduced page
  std::vector<double> fit;
  for (int i = 0; i < 30; ++i) {
    const auto start = Clock::now();
    view.viewport()->grab();
    fit.push_back(Ms(start));
  }
  std::printf("  repaint scrolling at 100 %%:     %8.1f ms median, %.1f ms worst (target <= 16)\n", at100.median,
              at100.worst);
  std::printf("  repaint at fit:                 %8.1f ms median, %.1f ms worst (target <= 16)\n", bench::Median(fit),
              *std::max_element(fit.begin(), fit.end()));

  const std::string tiff = "/tmp/orvenna-bench-100mp.tif";
  const int tw = 10000, th = 10000;
  if (!WriteBigTiff(tiff, tw, th)) {
    std::fprintf(stderr, "cannot write %s\n", tiff.c_str());
    return 1;
  }
  const long growth = PeakGrowthKb(tiff);
  const double pixelsMb = tw * static_cast<double>(th) * 3 / 1048576.0;
  std::printf("100-megapixel TIFF (%d x %d, 24 bits: %.0f MiB of pixels)\n", tw, th, pixelsMb);
  std::printf("  peak memory growth, open + fit + scroll: %.0f MiB   ratio %.2f (target <= 2.00)\n", growth / 1024.0,
              growth / 1024.0 / pixelsMb);
  std::remove(tiff.c_str());
  return 0;
}
