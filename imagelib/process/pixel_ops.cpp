// Pixel operations on 24-bit DIB sections; see pixel_ops.h and docs/pixel-operations.md.
#include "imagelib/process/pixel_ops.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "imagelib/formats/reader.h"
#include "platform/gdi/owned.h"

namespace lorimer::process {
namespace {

using vel::gdi::BitmapView;

// Above this many pixels the work is split into two row bands, one per core. Every
// operation split this way computes each output pixel independently of the band, so
// the result is identical to a single-thread run.
constexpr long long kParallelPixels = 1LL << 20;

bool View24(HBITMAP bmp, BitmapView* view) {
  if (!bmp || !vel::gdi::GetBitmapView(bmp, view)) return false;
  return view->bitsPerPixel == 24 && view->width > 0 && view->height > 0 && view->bits != nullptr;
}

// A new 24-bit result and its pixels; empty when it cannot be made.
vel::gdi::OwnedBitmap NewBitmap(int width, int height, BitmapView* view) {
  if (width <= 0 || height <= 0) return {};
  if (static_cast<long long>(width) * height > vel::gdi::kMaxBitmapPixels) return {};
  vel::gdi::OwnedBitmap result(formats::NewPageBitmap(width, height, 24));
  if (!View24(result.get(), view)) return {};
  return result;
}

// Runs body(firstRow, endRow) over [0, rows), in two bands when the picture is big.
void ForBands(int rows, long long pixels, const std::function<void(int, int)>& body) {
  if (pixels <= kParallelPixels || rows < 2 || std::thread::hardware_concurrency() < 2) {
    body(0, rows);
    return;
  }
  const int middle = rows / 2;
  std::thread second;
  try {
    second = std::thread(body, middle, rows);
  } catch (...) {
    body(0, rows);  // no thread to be had: do it all here
    return;
  }
  body(0, middle);
  second.join();
}

BYTE Clamp(long v) { return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
BYTE ClampRound(double v) { return Clamp(std::lround(v)); }

// Applies a table per channel; tables are indexed B, G, R as the bytes are stored.
bool ApplyTables(HBITMAP bmp, const std::array<std::array<BYTE, 256>, 3>& tables) {
  BitmapView view;
  if (!View24(bmp, &view)) return false;
  ForBands(view.height, static_cast<long long>(view.width) * view.height, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      BYTE* p = view.row(y);
      for (int x = 0; x < view.width; ++x, p += 3) {
        p[0] = tables[0][p[0]];
        p[1] = tables[1][p[1]];
        p[2] = tables[2][p[2]];
      }
    }
  });
  return true;
}

// ---- Resampling -----------------------------------------------------------------------

// One destination index's contributions along an axis.
// Weights are fixed point with kWeightBits fraction bits and sum to exactly 1 per tap set,
// so flat areas stay exactly flat and rounding never depends on the order of additions.
constexpr int kWeightBits = 20;  // 255 << 20 still fits the int32 middle buffer
constexpr std::int64_t kWeightOne = std::int64_t{1} << kWeightBits;

struct Taps {
  int first = 0;             // first source index
  std::vector<int> weights;  // for first, first + 1, ...
};

Taps FixedTaps(int first, const std::vector<double>& weights) {
  Taps t;
  t.first = first;
  std::int64_t total = 0;
  size_t largest = 0;
  for (size_t k = 0; k < weights.size(); ++k) {
    t.weights.push_back(static_cast<int>(std::lround(weights[k] * kWeightOne)));
    total += t.weights.back();
    if (weights[k] > weights[largest]) largest = k;
  }
  if (!t.weights.empty()) t.weights[largest] += static_cast<int>(kWeightOne - total);
  return t;
}

// Area averaging: destination pixel i covers [i * src / dst, (i + 1) * src / dst) of the
// source axis; each source pixel counts with its share of that interval.
std::vector<Taps> AreaTaps(int src, int dst) {
  std::vector<Taps> taps(static_cast<size_t>(dst));
  const double scale = static_cast<double>(src) / dst;
  for (int i = 0; i < dst; ++i) {
    const double lo = i * scale, hi = (i + 1) * scale;
    const int first = static_cast<int>(std::floor(lo));
    const int last = std::min(src - 1, static_cast<int>(std::ceil(hi)) - 1);
    std::vector<double> weights;
    for (int s = first; s <= last; ++s) {
      const double overlap = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
      weights.push_back(std::max(0.0, overlap) / scale);
    }
    taps[i] = FixedTaps(first, weights);
  }
  return taps;
}

// Bilinear with pixel centres aligned: destination centre i + 0.5 maps to source
// (i + 0.5) * src / dst; positions beyond the outer centres take the edge pixel.
std::vector<Taps> BilinearTaps(int src, int dst) {
  std::vector<Taps> taps(static_cast<size_t>(dst));
  const double scale = static_cast<double>(src) / dst;
  for (int i = 0; i < dst; ++i) {
    double pos = (i + 0.5) * scale - 0.5;
    pos = std::clamp(pos, 0.0, static_cast<double>(src - 1));
    const int first = std::min(static_cast<int>(pos), src - 1);
    const double f = pos - first;
    std::vector<double> weights = {1.0 - f};
    if (first + 1 < src && f > 0) weights.push_back(f);
    taps[i] = FixedTaps(first, weights);
  }
  return taps;
}

std::vector<Taps> AxisTaps(int src, int dst) { return dst < src ? AreaTaps(src, dst) : BilinearTaps(src, dst); }

void ResampleNearest(const BitmapView& in, const BitmapView& out) {
  std::vector<int> columns(static_cast<size_t>(out.width));
  for (int x = 0; x < out.width; ++x) columns[x] = static_cast<int>((2LL * x + 1) * in.width / (2LL * out.width));
  ForBands(out.height, static_cast<long long>(out.width) * out.height, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const BYTE* s = in.row(static_cast<int>((2LL * y + 1) * in.height / (2LL * out.height)));
      BYTE* d = out.row(y);
      for (int x = 0; x < out.width; ++x, d += 3) {
        const BYTE* p = s + 3 * static_cast<size_t>(columns[x]);
        d[0] = p[0];
        d[1] = p[1];
        d[2] = p[2];
      }
    }
  });
}

// Separable: columns first into an integer buffer of source height (sums still scaled
// by kWeightOne), then rows, rounding once at the end.
void ResampleGood(const BitmapView& in, const BitmapView& out) {
  const std::vector<Taps> across = AxisTaps(in.width, out.width);
  const std::vector<Taps> down = AxisTaps(in.height, out.height);
  const size_t rowValues = 3 * static_cast<size_t>(out.width);
  std::vector<std::int32_t> middle(rowValues * static_cast<size_t>(in.height));
  ForBands(in.height, static_cast<long long>(out.width) * in.height, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const BYTE* s = in.row(y);
      std::int32_t* m = &middle[rowValues * y];
      for (int x = 0; x < out.width; ++x, m += 3) {
        std::int32_t acc[3] = {0, 0, 0};
        const Taps& t = across[x];
        for (size_t k = 0; k < t.weights.size(); ++k) {
          const BYTE* p = s + 3 * static_cast<size_t>(t.first + static_cast<int>(k));
          for (int c = 0; c < 3; ++c) acc[c] += t.weights[k] * p[c];
        }
        m[0] = acc[0], m[1] = acc[1], m[2] = acc[2];
      }
    }
  });
  constexpr std::int64_t kTotal = kWeightOne * kWeightOne;
  ForBands(out.height, static_cast<long long>(out.width) * out.height, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const Taps& t = down[y];
      BYTE* d = out.row(y);
      for (size_t i = 0; i < rowValues; ++i) {
        std::int64_t acc = 0;
        for (size_t k = 0; k < t.weights.size(); ++k)
          acc += static_cast<std::int64_t>(t.weights[k]) * middle[rowValues * (t.first + k) + i];
        d[i] = Clamp(static_cast<long>((acc + kTotal / 2) / kTotal));
      }
    }
  });
}

// ---- Rotation ---------------------------------------------------------------------------

// Exact turns by a quarter, half or three quarters (clockwise); `quarters` is 1, 2 or 3.
HBITMAP RotateQuarters(const BitmapView& in, int quarters) {
  const bool swap = quarters != 2;
  BitmapView out;
  vel::gdi::OwnedBitmap result = NewBitmap(swap ? in.height : in.width, swap ? in.width : in.height, &out);
  if (!result) return nullptr;
  for (int y = 0; y < out.height; ++y) {
    BYTE* d = out.row(y);
    for (int x = 0; x < out.width; ++x, d += 3) {
      int sx = 0, sy = 0;
      if (quarters == 1)
        sx = y, sy = in.height - 1 - x;
      else if (quarters == 2)
        sx = in.width - 1 - x, sy = in.height - 1 - y;
      else
        sx = in.width - 1 - y, sy = x;
      const BYTE* p = in.row(sy) + 3 * static_cast<size_t>(sx);
      d[0] = p[0], d[1] = p[1], d[2] = p[2];
    }
  }
  return result.release();
}

HBITMAP RotateAny(const BitmapView& in, int hundredths, COLORREF fill) {
  const double radians = hundredths / 100.0 * 3.14159265358979323846 / 180.0;
  const double c = std::cos(radians), s = std::sin(radians);
  const double boxW = std::fabs(in.width * c) + std::fabs(in.height * s);
  const double boxH = std::fabs(in.width * s) + std::fabs(in.height * c);
  // A hair of tolerance so that rounding noise does not add a whole row of fill.
  const int width = std::max(1, static_cast<int>(std::ceil(boxW - 1e-6)));
  const int height = std::max(1, static_cast<int>(std::ceil(boxH - 1e-6)));
  BitmapView out;
  vel::gdi::OwnedBitmap result = NewBitmap(width, height, &out);
  if (!result) return nullptr;
  const BYTE fillBgr[3] = {static_cast<BYTE>(fill >> 16), static_cast<BYTE>(fill >> 8), static_cast<BYTE>(fill)};
  const double halfOutW = width / 2.0, halfOutH = height / 2.0;
  const double halfInW = in.width / 2.0, halfInH = in.height / 2.0;
  ForBands(height, static_cast<long long>(width) * height, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      BYTE* d = out.row(y);
      const double dy = y + 0.5 - halfOutH;
      for (int x = 0; x < width; ++x, d += 3) {
        const double dx = x + 0.5 - halfOutW;
        // Inverse of a clockwise turn (y grows downwards), back to source pixel indices.
        const double fx = c * dx + s * dy + halfInW - 0.5;
        const double fy = -s * dx + c * dy + halfInH - 0.5;
        if (fx < -0.5 || fy < -0.5 || fx > in.width - 0.5 || fy > in.height - 0.5) {
          d[0] = fillBgr[0], d[1] = fillBgr[1], d[2] = fillBgr[2];
          continue;
        }
        const double cx = std::clamp(fx, 0.0, in.width - 1.0), cy = std::clamp(fy, 0.0, in.height - 1.0);
        const int x0 = static_cast<int>(cx), y0r = static_cast<int>(cy);
        const int x1 = std::min(x0 + 1, in.width - 1), y1r = std::min(y0r + 1, in.height - 1);
        const double ax = cx - x0, ay = cy - y0r;
        const BYTE* r0 = in.row(y0r);
        const BYTE* r1 = in.row(y1r);
        for (int k = 0; k < 3; ++k) {
          const double top = r0[3 * x0 + k] * (1 - ax) + r0[3 * x1 + k] * ax;
          const double bottom = r1[3 * x0 + k] * (1 - ax) + r1[3 * x1 + k] * ax;
          d[k] = ClampRound(top * (1 - ay) + bottom * ay);
        }
      }
    }
  });
  return result.release();
}

// ---- Filters ----------------------------------------------------------------------------

struct Kernel {
  int k[9];  // row by row, top row first
  int divisor;
  int offset;
};

// See docs/pixel-operations.md for why each of these was chosen.
bool KernelFor(int filter, Kernel* out) {
  switch (filter) {
    case kFilterSharpen: *out = {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1, 0}; return true;
    case kFilterBlur: *out = {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0}; return true;
    case kFilterEmboss: *out = {{-1, -1, 0, -1, 0, 1, 0, 1, 1}, 1, 128}; return true;
    case kFilterAllEdges: *out = {{-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1, 0}; return true;
    case kFilterAllEdges2: *out = {{0, -1, 0, -1, 4, -1, 0, -1, 0}, 1, 0}; return true;
    case kFilterVerticalEdges: *out = {{-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1, 0}; return true;
    case kFilterHorizontalEdges: *out = {{-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1, 0}; return true;
    case kFilterLaplaceSharpen: *out = {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1, 0}; return true;
    default: return false;
  }
}

// Rounded to nearest, halves upwards, also for negative sums.
long DivideRounded(long sum, long divisor) {
  const long n = sum * 2 + divisor;
  const long d = divisor * 2;
  return n >= 0 ? n / d : -((-n + d - 1) / d);
}

// Runs `pixel(neighbourhood pointers, channel)` for every output byte; the neighbourhood is
// read from an untouched copy so the filter sees only original values.
template <typename PixelFn>
bool Neighbourhood(HBITMAP bmp, PixelFn pixel) {
  BitmapView view;
  if (!View24(bmp, &view)) return false;
  const int w = view.width, h = view.height;
  const size_t rowBytes = 3 * static_cast<size_t>(w);
  std::vector<BYTE> copy(rowBytes * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) std::copy_n(view.row(y), rowBytes, &copy[rowBytes * y]);
  ForBands(h, static_cast<long long>(w) * h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const BYTE* rows[3] = {&copy[rowBytes * std::max(0, y - 1)], &copy[rowBytes * y],
                             &copy[rowBytes * std::min(h - 1, y + 1)]};
      BYTE* d = view.row(y);
      for (int x = 0; x < w; ++x) {
        const size_t cols[3] = {3 * static_cast<size_t>(std::max(0, x - 1)), 3 * static_cast<size_t>(x),
                                3 * static_cast<size_t>(std::min(w - 1, x + 1))};
        for (int ch = 0; ch < 3; ++ch) {
          BYTE around[9];
          for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) around[3 * j + i] = rows[j][cols[i] + ch];
          d[3 * static_cast<size_t>(x) + ch] = pixel(around);
        }
      }
    }
  });
  return true;
}

}  // namespace

HBITMAP CopyResample(HBITMAP src, int width, int height, int method) {
  try {
    BitmapView in;
    if (!View24(src, &in)) return nullptr;
    BitmapView out;
    vel::gdi::OwnedBitmap result = NewBitmap(width, height, &out);
    if (!result) return nullptr;
    if (method == kResampleNearest)
      ResampleNearest(in, out);
    else
      ResampleGood(in, out);
    return result.release();
  } catch (...) {
    return nullptr;
  }
}

HBITMAP Rotate(HBITMAP src, int hundredthsOfDegree, COLORREF fill) {
  try {
    BitmapView in;
    if (!View24(src, &in)) return nullptr;
    const int angle = ((hundredthsOfDegree % 36000) + 36000) % 36000;
    if (angle == 0) return CopyResample(src, in.width, in.height, kResampleNearest);
    if (angle % 9000 == 0) return RotateQuarters(in, angle / 9000);
    return RotateAny(in, angle, fill);
  } catch (...) {
    return nullptr;
  }
}

bool Mirror(HBITMAP bmp, int first, int second) {
  BitmapView view;
  if (!View24(bmp, &view)) return false;
  const size_t rowBytes = 3 * static_cast<size_t>(view.width);
  if (first) {
    for (int top = 0, bottom = view.height - 1; top < bottom; ++top, --bottom)
      std::swap_ranges(view.row(top), view.row(top) + rowBytes, view.row(bottom));
  }
  if (second) {
    for (int y = 0; y < view.height; ++y) {
      BYTE* row = view.row(y);
      for (int l = 0, r = view.width - 1; l < r; ++l, --r)
        std::swap_ranges(row + 3 * static_cast<size_t>(l), row + 3 * static_cast<size_t>(l) + 3,
                         row + 3 * static_cast<size_t>(r));
    }
  }
  return true;
}

bool Filter(HBITMAP bmp, int filter) {
  try {
    if (filter == kFilterMedian) {
      return Neighbourhood(bmp, [](BYTE* around) {
        std::nth_element(around, around + 4, around + 9);
        return around[4];
      });
    }
    Kernel kernel;
    if (!KernelFor(filter, &kernel)) return false;
    return Neighbourhood(bmp, [&kernel](BYTE* around) {
      long sum = 0;
      for (int i = 0; i < 9; ++i) sum += static_cast<long>(kernel.k[i]) * around[i];
      return Clamp(DivideRounded(sum, kernel.divisor) + kernel.offset);
    });
  } catch (...) {
    return false;
  }
}

bool Invert(HBITMAP bmp) {
  std::array<std::array<BYTE, 256>, 3> tables;
  for (int v = 0; v < 256; ++v) tables[0][v] = tables[1][v] = tables[2][v] = static_cast<BYTE>(255 - v);
  return ApplyTables(bmp, tables);
}

bool Brightness(HBITMAP bmp, int level) {
  // Beyond +-255 every channel saturates anyway, so clamping the level changes nothing.
  level = std::clamp(level, -255, 255);
  std::array<std::array<BYTE, 256>, 3> tables;
  for (int v = 0; v < 256; ++v) tables[0][v] = tables[1][v] = tables[2][v] = Clamp(v + level);
  return ApplyTables(bmp, tables);
}

bool Contrast(HBITMAP bmp, int level, int channelMask) {
  level = std::clamp(level, -100, 100);
  std::array<BYTE, 256> changed, same;
  for (int v = 0; v < 256; ++v) {
    changed[v] = Clamp(128 + DivideRounded(static_cast<long>(v - 128) * (100 + level), 100));
    same[v] = static_cast<BYTE>(v);
  }
  // Bytes are stored B, G, R; the mask names them 1, 2, 4.
  const std::array<std::array<BYTE, 256>, 3> tables = {
      (channelMask & 1) ? changed : same, (channelMask & 2) ? changed : same, (channelMask & 4) ? changed : same};
  return ApplyTables(bmp, tables);
}

}  // namespace lorimer::process
