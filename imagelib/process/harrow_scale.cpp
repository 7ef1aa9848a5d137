// Scaling in 32-bit working pixels (red, green, blue, unused). Large results
// live in a mapped temporary file so that a thumbnail run over big photos does
// not hold hundreds of megabytes of heap at once.
#include "imagelib/process/harrow_scale.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/shell/shell.h"

namespace lorimer::process {
namespace {

// The result buffer: heap below kHarrowMappedBytes, else a temporary "mem" file
// mapped read-write. The file is removed whatever way the call ends.
class ResultBuffer {
 public:
  ResultBuffer() = default;
  ResultBuffer(const ResultBuffer&) = delete;
  ResultBuffer& operator=(const ResultBuffer&) = delete;
  ~ResultBuffer() {
    if (mapped_) munmap(mapped_, size_);
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }

  BYTE* Allocate(size_t size) {
    size_ = size;
    if (size < kHarrowMappedBytes) {
      heap_.reset(new (std::nothrow) BYTE[size]);
      return heap_.get();
    }
    char dir[MAX_PATH];
    char name[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) return nullptr;
    if (GetTempFileNameA(dir, "mem", 0, name) == 0) return nullptr;
    path_ = name;
    fd_ = open(name, O_RDWR | O_CLOEXEC);
    if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(size)) != 0) return nullptr;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return nullptr;
    mapped_ = p;
    return static_cast<BYTE*>(p);
  }

 private:
  std::unique_ptr<BYTE[]> heap_;
  void* mapped_ = nullptr;
  size_t size_ = 0;
  int fd_ = -1;
  std::string path_;
};

// Source pixels straight from the 24-bit rows (blue, green, red in memory).
struct Source {
  const vel::gdi::BitmapView& view;
  const BYTE* at(int x, int y) const { return view.row(y) + 3 * static_cast<size_t>(x); }
  // Channel c in working order: 0 red, 1 green, 2 blue.
  int ch(int x, int y, int c) const { return at(x, y)[2 - c]; }
};

void Put(BYTE* out, int r, int g, int b) {
  out[0] = static_cast<BYTE>(r);
  out[1] = static_cast<BYTE>(g);
  out[2] = static_cast<BYTE>(b);
  out[3] = 0;
}

void Copy(const Source& src, BYTE* out) {
  for (int y = 0; y < src.view.height; ++y)
    for (int x = 0; x < src.view.width; ++x, out += 4) Put(out, src.ch(x, y, 0), src.ch(x, y, 1), src.ch(x, y, 2));
}

float Step(int sourceSize, int newSize) {
  return sourceSize - 1 > 1 ? static_cast<float>(sourceSize - 1) / static_cast<float>(newSize)
                            : 1.0f / static_cast<float>(newSize);
}

struct Tap {
  int x0 = 0;
  int x1 = 0;  // the right (or lower) neighbour, kept inside the picture
  float f = 0;
};

// Positions along one axis, worked out once per call.
std::vector<Tap> BilinearTaps(int sourceSize, int newSize) {
  std::vector<Tap> taps(static_cast<size_t>(newSize));
  float s = Step(sourceSize, newSize);
  for (int j = 0; j < newSize; ++j) {
    float x = static_cast<float>(j) * s;
    int x0 = std::min(static_cast<int>(std::floor(x)), sourceSize - 1);
    taps[j] = Tap{x0, std::min(x0 + 1, sourceSize - 1), x - static_cast<float>(x0)};
  }
  return taps;
}

void Bilinear(const Source& src, int width, int height, BYTE* out) {
  std::vector<Tap> cols = BilinearTaps(src.view.width, width);
  std::vector<Tap> rows = BilinearTaps(src.view.height, height);
  for (int k = 0; k < height; ++k) {
    const Tap& ty = rows[k];
    for (int j = 0; j < width; ++j, out += 4) {
      const Tap& tx = cols[j];
      int v[3];
      for (int c = 0; c < 3; ++c) {
        float top = (1 - tx.f) * src.ch(tx.x0, ty.x0, c) + tx.f * src.ch(tx.x1, ty.x0, c);
        float bottom = (1 - tx.f) * src.ch(tx.x0, ty.x1, c) + tx.f * src.ch(tx.x1, ty.x1, c);
        v[c] = static_cast<int>(top * (1 - ty.f) + bottom * ty.f);
      }
      Put(out, v[0], v[1], v[2]);
    }
  }
}

struct Box {
  int start = 0;
  int size = 0;  // positions in the box that have a right (lower) neighbour
  float f = 0;
};

std::vector<Box> Boxes(int sourceSize, int newSize) {
  std::vector<Box> boxes(static_cast<size_t>(newSize));
  float d = static_cast<float>(sourceSize) / static_cast<float>(newSize);
  int b = std::max(1, static_cast<int>(std::lround(d)));
  for (int j = 0; j < newSize; ++j) {
    float x = static_cast<float>(j) * d;
    int x0 = std::min(static_cast<int>(std::floor(x)), sourceSize - 1);
    int size = x0 + b >= sourceSize ? sourceSize - x0 - 1 : b;
    boxes[j] = Box{x0, size, x - static_cast<float>(x0)};
  }
  return boxes;
}

int Clamp255(float v) { return std::clamp(static_cast<int>(v), 0, 255); }

// The usual case: every position of the box blended with its right and lower
// neighbours by (fx, fy), each blend truncated, then averaged. Walks the rows once
// with plain pointers, all three channels together; the arithmetic is the same
// expression for expression, so results do not change.
// Four lanes: the three channels (red, green, blue) and one unused. Each lane does
// exactly the scalar arithmetic, so results are the same as one channel at a time.
typedef float Lanes __attribute__((vector_size(16)));
typedef int IntLanes __attribute__((vector_size(16)));

inline Lanes Load3(const BYTE* p) { return Lanes{static_cast<float>(p[2]), static_cast<float>(p[1]), static_cast<float>(p[0]), 0.0f}; }

// Boxes too large for the lanes' integer sums (shrinking to a handful of pixels).
void BoxBlendWide(const Source& src, const Box& bx, const Box& by, int v[3]) {
  const float wx0 = 1 - bx.f, wx1 = bx.f, wy0 = 1 - by.f, wy1 = by.f;
  long long sum[3] = {0, 0, 0};
  for (int y = by.start; y < by.start + by.size; ++y) {
    const BYTE* upper = src.at(bx.start, y);
    const BYTE* lower = src.at(bx.start, y + 1);
    for (int i = 0; i < bx.size; ++i, upper += 3, lower += 3) {
      for (int c = 0; c < 3; ++c) {
        float top = wx0 * upper[2 - c] + wx1 * upper[5 - c];
        float bottom = wx0 * lower[2 - c] + wx1 * lower[5 - c];
        sum[c] += Clamp255(top * wy0 + bottom * wy1);
      }
    }
  }
  long long n = static_cast<long long>(bx.size) * by.size;
  for (int c = 0; c < 3; ++c) v[c] = static_cast<int>(sum[c] / n);
}

void BoxBlend(const Source& src, const Box& bx, const Box& by, int v[3]) {
  // 255 times the number of positions must fit the lanes' int sums.
  if (static_cast<long long>(bx.size) * by.size > (1LL << 22)) {
    BoxBlendWide(src, bx, by, v);
    return;
  }
  const float wx0 = 1 - bx.f, wx1 = bx.f, wy0 = 1 - by.f, wy1 = by.f;
  const Lanes lx0 = {wx0, wx0, wx0, wx0}, lx1 = {wx1, wx1, wx1, wx1};
  const Lanes ly0 = {wy0, wy0, wy0, wy0}, ly1 = {wy1, wy1, wy1, wy1};
  const IntLanes zero = {0, 0, 0, 0}, top255 = {255, 255, 255, 255};
  IntLanes sum = {0, 0, 0, 0};
  for (int y = by.start; y < by.start + by.size; ++y) {
    const BYTE* upper = src.at(bx.start, y);
    const BYTE* lower = src.at(bx.start, y + 1);
    Lanes a = Load3(upper), c = Load3(lower);
    for (int i = 0; i < bx.size; ++i) {
      upper += 3;
      lower += 3;
      Lanes b = Load3(upper), d = Load3(lower);
      Lanes top = lx0 * a + lx1 * b;
      Lanes bottom = lx0 * c + lx1 * d;
      IntLanes blended = __builtin_convertvector(top * ly0 + bottom * ly1, IntLanes);
      blended = blended < zero ? zero : blended;
      blended = blended > top255 ? top255 : blended;
      sum += blended;
      a = b;
      c = d;
    }
  }
  long long n = static_cast<long long>(bx.size) * by.size;
  for (int k = 0; k < 3; ++k) v[k] = static_cast<int>(sum[k] / n);
}

// One output pixel of the box path; see Boxes() for the cut at the far edges.
void BoxPixel(const Source& src, const Box& bx, const Box& by, BYTE* out) {
  int v[3];
  if (bx.size > 0 && by.size > 0) {
    BoxBlend(src, bx, by, v);
    Put(out, v[0], v[1], v[2]);
    return;
  }
  for (int c = 0; c < 3; ++c) {
    if (bx.size == 0 && by.size == 0) {
      v[c] = src.ch(bx.start, by.start, c);
      continue;
    }
    long long sum = 0;
    long long n = 0;
    if (bx.size == 0) {
      for (int y = by.start; y < by.start + by.size; ++y, ++n)
        sum += Clamp255((1 - by.f) * src.ch(bx.start, y, c) + by.f * src.ch(bx.start, y + 1, c));
    } else {
      for (int x = bx.start; x < bx.start + bx.size; ++x, ++n)
        sum += Clamp255((1 - bx.f) * src.ch(x, by.start, c) + bx.f * src.ch(x + 1, by.start, c));
    }
    v[c] = static_cast<int>(sum / n);
  }
  Put(out, v[0], v[1], v[2]);
}

// Output rows are independent: a large picture is shared out between the cores
// (the result is the same pixel for pixel), a small one is not worth a thread.
void BoxAverage(const Source& src, int width, int height, BYTE* out) {
  const std::vector<Box> cols = Boxes(src.view.width, width);
  const std::vector<Box> rows = Boxes(src.view.height, height);
  auto band = [&](int from, int to) {
    BYTE* at = out + 4 * static_cast<size_t>(width) * static_cast<size_t>(from);
    for (int k = from; k < to; ++k)
      for (int j = 0; j < width; ++j, at += 4) BoxPixel(src, cols[j], rows[k], at);
  };
  const unsigned cores = std::thread::hardware_concurrency();
  const long long work = static_cast<long long>(src.view.width) * src.view.height;
  if (cores < 2 || height < 2 || work < (1LL << 20)) {
    band(0, height);
    return;
  }
  const int threads = static_cast<int>(std::min<unsigned>(cores, 4));
  std::vector<std::thread> helpers;
  try {
    for (int t = 1; t < threads; ++t)
      helpers.emplace_back(band, static_cast<int>(static_cast<long long>(height) * t / threads),
                           static_cast<int>(static_cast<long long>(height) * (t + 1) / threads));
  } catch (...) {
    // No thread to be had: the rest is done here, after the bands already running.
    for (auto& h : helpers) h.join();
    const int done = static_cast<int>(static_cast<long long>(height) * (1 + static_cast<int>(helpers.size())) / threads);
    band(0, static_cast<int>(static_cast<long long>(height) / threads));
    band(done, height);
    return;
  }
  band(0, static_cast<int>(static_cast<long long>(height) / threads));
  for (auto& h : helpers) h.join();
}

HBITMAP ToDibSection(const BYTE* pixels, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP result = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  vel::gdi::BitmapView view;
  if (!result || !vel::gdi::GetBitmapView(result, &view)) {
    if (result) DeleteObject(result);
    return nullptr;
  }
  for (int y = 0; y < height; ++y) {
    BYTE* row = view.row(y);
    for (int x = 0; x < width; ++x, pixels += 4, row += 3) {
      row[0] = pixels[2];
      row[1] = pixels[1];
      row[2] = pixels[0];
    }
  }
  return result;
}

}  // namespace

HBITMAP HarrowScale(HBITMAP source, int width, int height) {
  try {
    vel::gdi::BitmapView view;
    if (!source || !vel::gdi::GetBitmapView(source, &view) || view.bitsPerPixel != 24) return nullptr;
    if (view.width <= 0 || view.height <= 0 || width <= 0 || height <= 0) return nullptr;
    if (static_cast<long long>(width) * height > vel::gdi::kMaxBitmapPixels) return nullptr;
    ResultBuffer buffer;
    BYTE* out = buffer.Allocate(4 * static_cast<size_t>(width) * static_cast<size_t>(height));
    if (!out) return nullptr;
    Source src{view};
    if (width == view.width && height == view.height)
      Copy(src, out);
    else if (width > view.width && height > view.height)
      Bilinear(src, width, height, out);
    else
      BoxAverage(src, width, height, out);
    return ToDibSection(out, width, height);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace lorimer::process
