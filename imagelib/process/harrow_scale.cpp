// Scaling in 32-bit working pixels (red, green, blue, unused). Large results
// live in a mapped temporary file so that a thumbnail run over big photos does
// not hold hundreds of megabytes of heap at once.
//
// Both blends begin with a horizontal half, (1 - fx) P(x, y) + fx P(x + 1, y),
// that depends only on the destination column and the source row. It is worked
// out once per source row, for a run of destination columns at a time, and used
// again by every destination row that reads that source row. The float
// operations and their order are those of the blend written out per pixel (this
// file is built without contraction into fused multiply-adds), so each pixel
// comes out exactly as before; only the amount of work changes. The inner loops
// run eight lanes (two pixels) at a time where the processor has AVX2.
#include "imagelib/process/harrow_scale.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define HARROW_AVX2_LOOPS 1
#endif

namespace lorimer::process {
namespace {

// The result buffer, kept per thread from call to call and only ever grown, so a
// batch does not fault in fresh pages for every picture: heap below
// kHarrowMappedBytes, else a temporary "mem" file mapped read-write. The file's
// name is removed as soon as it is open: the mapping keeps its pages, and the
// system frees them when the thread or the process lets go, however it ends, so
// nothing is left in the temporary folder and a thread holds one file at most.
class ResultCache {
 public:
  ResultCache() = default;
  ResultCache(const ResultCache&) = delete;
  ResultCache& operator=(const ResultCache&) = delete;
  ~ResultCache() {
    if (mapped_) munmap(mapped_, mappedSize_);
    if (fd_ >= 0) close(fd_);
  }

  BYTE* Get(size_t size) { return size < kHarrowMappedBytes ? Heap(size) : Mapped(size); }

 private:
  BYTE* Heap(size_t size) {
    if (heapSize_ < size) {
      heap_.reset();
      heapSize_ = 0;
      heap_.reset(new (std::nothrow) BYTE[size]);
      if (!heap_) return nullptr;
      heapSize_ = size;
    }
    return heap_.get();
  }

  BYTE* Mapped(size_t size) {
    if (mappedSize_ >= size) return static_cast<BYTE*>(mapped_);
    if (fd_ < 0 && !Open()) return nullptr;
    // Blocks are reserved before any page is touched: a full disk fails the call
    // here rather than faulting halfway through the pixels.
    if (posix_fallocate(fd_, 0, static_cast<off_t>(size)) != 0) return nullptr;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return nullptr;
    if (mapped_) munmap(mapped_, mappedSize_);
    mapped_ = p;
    mappedSize_ = size;
    return static_cast<BYTE*>(p);
  }

  bool Open() {
    char dir[MAX_PATH];
    char name[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) return false;
    if (GetTempFileNameA(dir, "mem", 0, name) == 0) return false;
    fd_ = open(name, O_RDWR | O_CLOEXEC);
    DeleteFileA(name);
    return fd_ >= 0;
  }

  std::unique_ptr<BYTE[]> heap_;
  size_t heapSize_ = 0;
  void* mapped_ = nullptr;
  size_t mappedSize_ = 0;
  int fd_ = -1;
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

// One output pixel of the box path, position by position, with wide sums. Used
// where a box is cut to no columns or no rows at the far edges (see Boxes()), and
// for boxes too large for the row-at-a-time loops below; the arithmetic is theirs.
void BoxPixel(const Source& src, const Box& bx, const Box& by, BYTE* out) {
  int v[3];
  if (bx.size > 0 && by.size > 0) {
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

// ---------------------------------------------------------------------------
// Inner loops. Float lanes hold a pixel as (red, green, blue, 0). A row of
// horizontal halves is laid out position-major: entry (i, j) is the i-th box
// position of destination column j, four lanes, columns side by side, so that
// consecutive lanes always belong to consecutive destination pixels.

// A run of destination columns: where each starts in the source stretch, how
// many positions it blends (0 for a cut box) and its weights, per lane like the
// pixels: w0 = 1 - f for the pixel itself, w1 = f for its right neighbour.
struct ColumnRun {
  int columns = 0;
  int positions = 0;                 // the most of any column: entries of a half row
  const float* const* at = nullptr;  // per column, its first pixel in the stretch's lanes
  const int* count = nullptr;        // per column; never rises (boxes are cut at the far edge only)
  const int* laneCount = nullptr;    // per lane, the count of the lane's column
  const float* w0 = nullptr;
  const float* w1 = nullptr;
};

struct Kernels {
  // A stretch of a 24-bit source row as float lanes.
  void (*toLanes)(const BYTE* bgr, int pixels, float* lanes);
  // Horizontal halves of one source row (its lanes are where run.at points);
  // entries past a column's count are 0.
  void (*halves)(const ColumnRun& run, float* out);
  // For one pair of source rows, lane by lane: sum (0 when `first`) plus
  // clamp(int(upper wy0 + lower wy1), 0, 255) over the entries of every position.
  void (*accumulate)(const float* upper, const float* lower, int positions, int lanes, float wy0, float wy1, bool first,
                     int* sum);
  // Working pixels sum / (count x rows); lanes of cut columns are left to the caller.
  void (*average)(const int* sum, const int* laneCount, int rows, int lanes, BYTE* out);
  // Working pixels (BYTE) int(upper wy0 + lower wy1), lane by lane.
  void (*blend)(const float* upper, const float* lower, int lanes, float wy0, float wy1, BYTE* out);
  // Working pixels to the 24-bit row of the result (blue, green, red).
  void (*toDib)(const BYTE* rgbx, int pixels, BYTE* bgr);
};

// The plain loops take a pixel's four lanes at once (SSE2, which every x86-64
// processor has); lane counts are always multiples of four.
typedef float Lanes __attribute__((vector_size(16)));
typedef int IntLanes __attribute__((vector_size(16)));

template <typename V, typename T>
inline V Load(const T* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename V, typename T>
inline void Store(T* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

// Four lanes of 0..255 as four bytes.
inline void StoreBytes(IntLanes v, BYTE* out) {
#if defined(__SSE2__)
  __m128i words = _mm_packs_epi32(__m128i(v), __m128i(v));
  int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
  std::memcpy(out, &bytes, sizeof bytes);
#else
  for (int c = 0; c < 4; ++c) out[c] = static_cast<BYTE>(v[c]);
#endif
}

void ToLanesPlain(const BYTE* bgr, int pixels, float* lanes) {
  for (int x = 0; x < pixels; ++x, bgr += 3, lanes += 4) {
    lanes[0] = bgr[2];
    lanes[1] = bgr[1];
    lanes[2] = bgr[0];
    lanes[3] = 0;
  }
}

// The columns that have an entry i: a leading part of the run.
int Uncut(const ColumnRun& run, int i) {
  int n = run.columns;
  while (n > 0 && run.count[n - 1] <= i) --n;
  return n;
}

void HalvesPlain(const ColumnRun& run, float* out) {
  for (int i = 0; i < run.positions; ++i, out += 4 * run.columns) {
    const int uncut = Uncut(run, i);
    for (int j = 0; j < uncut; ++j) {
      const float* a = run.at[j] + 4 * i;
      const Lanes w0 = Load<Lanes>(run.w0 + 4 * j), w1 = Load<Lanes>(run.w1 + 4 * j);
      Store(out + 4 * j, w0 * Load<Lanes>(a) + w1 * Load<Lanes>(a + 4));
    }
    std::fill(out + 4 * uncut, out + 4 * run.columns, 0.0f);
  }
}

void AccumulatePlain(const float* upper, const float* lower, int positions, int lanes, float wy0, float wy1, bool first,
                     int* sum) {
  const Lanes w0 = {wy0, wy0, wy0, wy0}, w1 = {wy1, wy1, wy1, wy1};
  const IntLanes zero = {0, 0, 0, 0}, top = {255, 255, 255, 255};
  const size_t stride = static_cast<size_t>(lanes);
  for (int e = 0; e < lanes; e += 4) {
    IntLanes total = first ? zero : Load<IntLanes>(sum + e);
    for (int i = 0; i < positions; ++i) {
      const Lanes above = Load<Lanes>(upper + i * stride + e), below = Load<Lanes>(lower + i * stride + e);
      IntLanes v = __builtin_convertvector(above * w0 + below * w1, IntLanes);
      v = v < zero ? zero : v;
      total += v > top ? top : v;
    }
    Store(sum + e, total);
  }
}

// sum / n for 0 <= sum <= 255 n: a single-precision estimate of the quotient is
// within one of it, and the remainder says which way to correct it. Lanes of cut
// columns (count 0) get a value the caller replaces.
void AveragePlain(const int* sum, const int* laneCount, int rows, int lanes, BYTE* out) {
  const IntLanes one = {1, 1, 1, 1}, zero = {0, 0, 0, 0};
  for (int e = 0; e < lanes; e += 4) {
    IntLanes n = Load<IntLanes>(laneCount + e) * rows;
    n = n < one ? one : n;
    const IntLanes s = Load<IntLanes>(sum + e);
    const Lanes estimate = __builtin_convertvector(s, Lanes) * (1.0f / __builtin_convertvector(n, Lanes));
    IntLanes q = __builtin_convertvector(estimate, IntLanes);
    const IntLanes rest = s - q * n;
    q += rest < zero;  // true is -1: one less
    q -= rest >= n;    // one more
    StoreBytes(q, out + e);
  }
}

void BlendPlain(const float* upper, const float* lower, int lanes, float wy0, float wy1, BYTE* out) {
  const Lanes w0 = {wy0, wy0, wy0, wy0}, w1 = {wy1, wy1, wy1, wy1};
  const IntLanes low = {0xFF, 0xFF, 0xFF, 0xFF};
  for (int e = 0; e < lanes; e += 4) {
    const IntLanes v = __builtin_convertvector(Load<Lanes>(upper + e) * w0 + Load<Lanes>(lower + e) * w1, IntLanes);
    StoreBytes(v & low, out + e);  // the low byte, as a cast keeps it
  }
}

void ToDibPlain(const BYTE* rgbx, int pixels, BYTE* bgr) {
  // A word at a time; its fourth byte is overwritten by the next pixel.
  for (; pixels > 1; --pixels, rgbx += 4, bgr += 3) {
    std::uint32_t v;
    std::memcpy(&v, rgbx, 4);
    v = (v >> 16 & 0xFF) | (v & 0xFF00) | (v & 0xFF) << 16;
    std::memcpy(bgr, &v, 4);
  }
  for (; pixels > 0; --pixels, rgbx += 4, bgr += 3) {
    bgr[0] = rgbx[2];
    bgr[1] = rgbx[1];
    bgr[2] = rgbx[0];
  }
}

constexpr Kernels kPlain = {ToLanesPlain, HalvesPlain, AccumulatePlain, AveragePlain, BlendPlain, ToDibPlain};

#if HARROW_AVX2_LOOPS
// The same loops with AVX2 (no FMA: a fused multiply-add rounds once where the
// plain code rounds twice). The last pixel of a run of odd length, four lanes,
// goes through 128-bit or plain code.
#define HARROW_AVX2 __attribute__((target("avx2")))

HARROW_AVX2 void ToLanesAvx2(const BYTE* bgr, int pixels, float* lanes) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  int x = 0;
  // A 16-byte load takes four pixels and four bytes more, all inside the row.
  for (; x + 6 <= pixels; x += 4) {
    __m128i p = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x)), order);
    _mm256_storeu_ps(lanes + 4 * x, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(p)));
    _mm256_storeu_ps(lanes + 4 * x + 8, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(p, 8))));
  }
  ToLanesPlain(bgr + 3 * x, pixels - x, lanes + 4 * x);
}

HARROW_AVX2 void HalvesAvx2(const ColumnRun& run, float* out) {
  // Locals: stores through the vector types may alias anything, fields would be reloaded.
  const int columns = run.columns, positions = run.positions;
  const float* const* at = run.at;
  const float* w0 = run.w0;
  const float* w1 = run.w1;
  for (int i = 0; i < positions; ++i, out += 4 * columns) {
    const int uncut = Uncut(run, i);
    int j = 0;
    // Two entries side by side: pixels x of columns j and j + 1, then their right neighbours.
    for (; j + 2 <= uncut; j += 2) {
      const float* a = at[j] + 4 * i;
      const float* b = at[j + 1] + 4 * i;
      __m256 pixel = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(a)), _mm_loadu_ps(b), 1);
      __m256 next = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(a + 4)), _mm_loadu_ps(b + 4), 1);
      _mm256_storeu_ps(out + 4 * j, _mm256_add_ps(_mm256_mul_ps(pixel, _mm256_loadu_ps(w0 + 4 * j)),
                                                  _mm256_mul_ps(next, _mm256_loadu_ps(w1 + 4 * j))));
    }
    if (j < uncut) {
      const float* a = at[j] + 4 * i;
      _mm_storeu_ps(out + 4 * j, _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(a), _mm_loadu_ps(w0 + 4 * j)),
                                            _mm_mul_ps(_mm_loadu_ps(a + 4), _mm_loadu_ps(w1 + 4 * j))));
    }
    std::fill(out + 4 * uncut, out + 4 * columns, 0.0f);
  }
}

HARROW_AVX2 void AccumulateAvx2(const float* upper, const float* lower, int positions, int lanes, float wy0, float wy1,
                                bool first, int* sum) {
  const __m256 w0 = _mm256_set1_ps(wy0), w1 = _mm256_set1_ps(wy1);
  const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(255);
  const size_t stride = static_cast<size_t>(lanes);
  int e = 0;
  for (; e + 8 <= lanes; e += 8) {
    __m256i* s = reinterpret_cast<__m256i*>(sum + e);
    __m256i total = first ? zero : _mm256_loadu_si256(s);
    for (int i = 0; i < positions; ++i) {
      __m256 v = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(upper + i * stride + e), w0),
                               _mm256_mul_ps(_mm256_loadu_ps(lower + i * stride + e), w1));
      total = _mm256_add_epi32(total, _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(v), zero), top));
    }
    _mm256_storeu_si256(s, total);
  }
  if (e < lanes) {  // the last pixel of a run of odd length
    __m128i* s = reinterpret_cast<__m128i*>(sum + e);
    __m128i total = first ? _mm_setzero_si128() : _mm_loadu_si128(s);
    for (int i = 0; i < positions; ++i) {
      __m128 v = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(upper + i * stride + e), _mm256_castps256_ps128(w0)),
                            _mm_mul_ps(_mm_loadu_ps(lower + i * stride + e), _mm256_castps256_ps128(w1)));
      __m128i t = _mm_min_epi32(_mm_max_epi32(_mm_cvttps_epi32(v), _mm_setzero_si128()), _mm_set1_epi32(255));
      total = _mm_add_epi32(total, t);
    }
    _mm_storeu_si128(s, total);
  }
}

// Eight lanes of 0..255 as eight bytes.
HARROW_AVX2 inline void StoreBytes(__m256i v, BYTE* out) {
  __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}

HARROW_AVX2 void AverageAvx2(const int* sum, const int* laneCount, int rows, int lanes, BYTE* out) {
  const __m256i one = _mm256_set1_epi32(1), zero = _mm256_setzero_si256(), r = _mm256_set1_epi32(rows);
  int e = 0;
  for (; e + 8 <= lanes; e += 8) {
    __m256i count = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(laneCount + e));
    __m256i n = _mm256_max_epi32(_mm256_mullo_epi32(count, r), one);
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sum + e));
    // The estimate's relative error (below 2^-11) keeps it within one of quotients up to 255.
    __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(s), _mm256_rcp_ps(_mm256_cvtepi32_ps(n))));
    __m256i rest = _mm256_sub_epi32(s, _mm256_mullo_epi32(q, n));
    q = _mm256_add_epi32(q, _mm256_cmpgt_epi32(zero, rest));                      // rest < 0: one less
    q = _mm256_sub_epi32(q, _mm256_cmpgt_epi32(rest, _mm256_sub_epi32(n, one)));  // rest >= n: one more
    StoreBytes(q, out + e);
  }
  AveragePlain(sum + e, laneCount + e, rows, lanes - e, out + e);
}

HARROW_AVX2 void BlendAvx2(const float* upper, const float* lower, int lanes, float wy0, float wy1, BYTE* out) {
  const __m256 w0 = _mm256_set1_ps(wy0), w1 = _mm256_set1_ps(wy1);
  const __m256i low = _mm256_set1_epi32(0xFF);
  int e = 0;
  for (; e + 8 <= lanes; e += 8) {
    __m256 v =
        _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(upper + e), w0), _mm256_mul_ps(_mm256_loadu_ps(lower + e), w1));
    StoreBytes(_mm256_and_si256(_mm256_cvttps_epi32(v), low), out + e);  // the low byte, as a cast keeps it
  }
  BlendPlain(upper + e, lower + e, lanes - e, wy0, wy1, out + e);
}

HARROW_AVX2 void ToDibAvx2(const BYTE* rgbx, int pixels, BYTE* bgr) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  int x = 0;
  // Each 16-byte store writes four pixels and four bytes that the next one overwrites.
  for (; x + 6 <= pixels; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 3 * x),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgbx + 4 * x)), order));
  ToDibPlain(rgbx + 4 * x, pixels - x, bgr + 3 * x);
}

constexpr Kernels kAvx2 = {ToLanesAvx2, HalvesAvx2, AccumulateAvx2, AverageAvx2, BlendAvx2, ToDibAvx2};
#endif

std::atomic<bool> avx2Allowed{true};

bool Avx2Loops() {
#if HARROW_AVX2_LOOPS
  static const bool cpuHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return cpuHasAvx2 && avx2Allowed.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

const Kernels& PickKernels() {
#if HARROW_AVX2_LOOPS
  if (Avx2Loops()) return kAvx2;
#endif
  return kPlain;
}

// ---------------------------------------------------------------------------
// Rows of horizontal halves, a run of destination columns at a time.

// Most destination columns in one run, and the longest source stretch a run
// takes on (a single wider column still makes a run of its own): the halves of
// two rows then stay in the cache between the destination rows that read them.
constexpr int kRunColumns = 1024;
constexpr int kRunSpan = 4096;

// One destination column along the horizontal axis: the source positions it
// blends (their right neighbours follow) and the weight of the right neighbour.
struct Column {
  int start = 0;
  int positions = 0;
  float f = 0;
};

struct Run {
  int first = 0, end = 0;              // destination columns
  int sourceFirst = 0, sourceEnd = 0;  // source pixels read, right neighbours included
};

std::vector<Run> Runs(const std::vector<Column>& columns) {
  std::vector<Run> runs;
  const int n = static_cast<int>(columns.size());
  for (int j = 0; j < n;) {
    Run run{j, j, columns[j].start, columns[j].start};
    while (run.end < n && run.end - run.first < kRunColumns) {
      const Column& c = columns[run.end];
      int reach = c.start + std::max(c.positions, 1) + 1;
      if (run.end > run.first && reach - run.sourceFirst > kRunSpan) break;
      run.sourceEnd = std::max(run.sourceEnd, reach);
      ++run.end;
    }
    runs.push_back(run);
    j = run.end;
  }
  return runs;
}

// The horizontal halves of the source rows for one run of columns, the two most
// recent rows kept. Bilinear columns whose right neighbour would fall past the
// picture read a copy of the last pixel there, which is the clamped neighbour.
class HalfRows {
 public:
  HalfRows(const Source& src, const Kernels& k, const std::vector<Column>& columns, const Run& run)
      : src_(src), k_(k), run_(run) {
    const int n = run.end - run.first;
    lanes_.resize(4 * static_cast<size_t>(run.sourceEnd - run.sourceFirst));
    at_.resize(n);
    count_.resize(n);
    laneCount_.resize(4 * static_cast<size_t>(n));
    w0_.resize(4 * static_cast<size_t>(n));
    w1_.resize(4 * static_cast<size_t>(n));
    int positions = 0;
    for (int j = 0; j < n; ++j) {
      const Column& c = columns[run.first + j];
      at_[j] = lanes_.data() + 4 * static_cast<size_t>(c.start - run.sourceFirst);
      count_[j] = c.positions;
      std::fill_n(&laneCount_[4 * j], 4, c.positions);
      std::fill_n(&w0_[4 * j], 4, 1 - c.f);
      std::fill_n(&w1_[4 * j], 4, c.f);
      positions = std::max(positions, c.positions);
    }
    columnRun_ = ColumnRun{n, positions, at_.data(), count_.data(), laneCount_.data(), w0_.data(), w1_.data()};
    halfSize_ = 4 * static_cast<size_t>(n) * positions;
    halves_.resize(2 * halfSize_);
  }

  const ColumnRun& columns() const { return columnRun_; }
  int lanes() const { return 4 * columnRun_.columns; }

  // Source row y's halves; the row `keep` stays if it is held.
  const float* Get(int y, int keep) {
    for (int s = 0; s < 2; ++s)
      if (tag_[s] == y) return halves_.data() + s * halfSize_;
    const int s = tag_[0] == keep ? 1 : 0;
    const int width = src_.view.width;
    const int inside = std::min(run_.sourceEnd, width) - run_.sourceFirst;
    k_.toLanes(src_.at(run_.sourceFirst, y), inside, lanes_.data());
    if (run_.sourceEnd > width) std::copy_n(&lanes_[4 * (inside - 1)], 4, &lanes_[4 * inside]);
    float* half = halves_.data() + s * halfSize_;
    k_.halves(columnRun_, half);
    tag_[s] = y;
    return half;
  }

 private:
  const Source& src_;
  const Kernels& k_;
  Run run_;
  std::vector<const float*> at_;
  std::vector<int> count_, laneCount_;
  std::vector<float> w0_, w1_, lanes_, halves_;
  ColumnRun columnRun_;
  size_t halfSize_ = 0;
  int tag_[2] = {-1, -1};
};

// What every path writes: working pixels into the result buffer, then the same
// rows into the DIB section, row by row while they are still in the cache.
struct Target {
  BYTE* pixels;
  int width;
  const vel::gdi::BitmapView& dib;
  const Kernels& k;
  BYTE* row(int y) const { return pixels + 4 * static_cast<size_t>(width) * static_cast<size_t>(y); }
  void Finish(int y) const { k.toDib(row(y), width, dib.row(y)); }
};

void CopyRows(const Source& src, const Target& t, int from, int to) {
  for (int y = from; y < to; ++y) {
    BYTE* out = t.row(y);
    for (int x = 0; x < t.width; ++x, out += 4) Put(out, src.ch(x, y, 0), src.ch(x, y, 1), src.ch(x, y, 2));
    t.Finish(y);
  }
}

std::vector<Column> BilinearColumns(const std::vector<Tap>& taps) {
  std::vector<Column> columns;
  columns.reserve(taps.size());
  for (const Tap& t : taps) columns.push_back(Column{t.x0, 1, t.f});
  return columns;
}

void BilinearRows(const Source& src, const Target& t, const std::vector<Column>& columns, const std::vector<Run>& runs,
                  const std::vector<Tap>& rows, int from, int to) {
  for (const Run& run : runs) {
    HalfRows halves(src, t.k, columns, run);
    const bool last = run.end == t.width;
    for (int y = from; y < to; ++y) {
      const Tap& ty = rows[y];
      const float* top = halves.Get(ty.x0, ty.x1);
      const float* bottom = halves.Get(ty.x1, ty.x0);
      t.k.blend(top, bottom, halves.lanes(), 1 - ty.f, ty.f, t.row(y) + 4 * static_cast<size_t>(run.first));
      if (last) t.Finish(y);
    }
  }
}

std::vector<Column> BoxColumns(const std::vector<Box>& boxes) {
  std::vector<Column> columns;
  columns.reserve(boxes.size());
  for (const Box& b : boxes) columns.push_back(Column{b.start, b.size, b.f});
  return columns;
}

void BoxRows(const Source& src, const Target& t, const std::vector<Box>& cols, const std::vector<Column>& columns,
             const std::vector<Run>& runs, const std::vector<Box>& rows, int from, int to) {
  std::vector<int> sum;
  for (const Run& run : runs) {
    HalfRows halves(src, t.k, columns, run);
    const ColumnRun& c = halves.columns();
    const int lanes = halves.lanes();
    const bool last = run.end == t.width;
    sum.resize(lanes);
    for (int k = from; k < to; ++k) {
      const Box& by = rows[k];
      BYTE* out = t.row(k) + 4 * static_cast<size_t>(run.first);
      if (by.size == 0) {
        for (int j = run.first; j < run.end; ++j) BoxPixel(src, cols[j], by, t.row(k) + 4 * static_cast<size_t>(j));
      } else {
        const float wy0 = 1 - by.f, wy1 = by.f;
        for (int y = by.start; y < by.start + by.size; ++y) {
          const float* upper = halves.Get(y, y + 1);
          const float* lower = halves.Get(y + 1, y);
          t.k.accumulate(upper, lower, c.positions, lanes, wy0, wy1, y == by.start, sum.data());
        }
        t.k.average(sum.data(), c.laneCount, by.size, lanes, out);
        for (int j = c.columns - 1; j >= 0 && c.count[j] == 0; --j) BoxPixel(src, cols[run.first + j], by, out + 4 * j);
      }
      if (last) t.Finish(k);
    }
  }
}

// Output rows are independent: a large picture is shared out between the cores
// (the result is the same pixel for pixel), a small one is not worth a thread.
// A band that fails (its scratch rows could not be had) fails the whole call.
template <typename Rows>
void InBands(long long work, int height, const Rows& rows) {
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2 || height < 2 || work < (1LL << 20)) {
    rows(0, height);
    return;
  }
  const int threads = static_cast<int>(std::min<unsigned>(cores, 4));
  auto edge = [&](int t) { return static_cast<int>(static_cast<long long>(height) * t / threads); };
  std::atomic<bool> failed{false};
  auto band = [&](int from, int to) {
    try {
      rows(from, to);
    } catch (...) {
      failed = true;
    }
  };
  std::vector<std::thread> helpers;
  int handedOut = 1;  // bands given to threads, counting this thread's first one
  try {
    helpers.reserve(threads);
    for (; handedOut < threads; ++handedOut) helpers.emplace_back(band, edge(handedOut), edge(handedOut + 1));
  } catch (...) {
    // No more threads to be had: the bands not handed out are done here.
  }
  band(0, edge(1));
  if (handedOut < threads) band(edge(handedOut), height);
  for (auto& h : helpers) h.join();
  if (failed) throw std::bad_alloc();
}

// Row-at-a-time loops sum each lane in 32 bits and keep a box's source stretch
// in the cache; beyond these sizes every pixel is summed on its own.
constexpr long long kMostBoxPositions = 1LL << 22;
constexpr int kWidestBox = 65536;

void Scale(const Source& src, const Target& t, int height) {
  const int sourceWidth = src.view.width, sourceHeight = src.view.height;
  const long long work = static_cast<long long>(sourceWidth) * sourceHeight + static_cast<long long>(t.width) * height;
  if (t.width == sourceWidth && height == sourceHeight) {
    InBands(work, height, [&](int from, int to) { CopyRows(src, t, from, to); });
  } else if (t.width > sourceWidth && height > sourceHeight) {
    const std::vector<Column> columns = BilinearColumns(BilinearTaps(sourceWidth, t.width));
    const std::vector<Run> runs = Runs(columns);
    const std::vector<Tap> rows = BilinearTaps(sourceHeight, height);
    InBands(work, height, [&](int from, int to) { BilinearRows(src, t, columns, runs, rows, from, to); });
  } else {
    const std::vector<Box> cols = Boxes(sourceWidth, t.width);
    const std::vector<Box> rows = Boxes(sourceHeight, height);
    int widest = 0, tallest = 0;
    for (const Box& b : cols) widest = std::max(widest, b.size);
    for (const Box& b : rows) tallest = std::max(tallest, b.size);
    if (widest > kWidestBox || static_cast<long long>(widest) * tallest > kMostBoxPositions) {
      InBands(work, height, [&](int from, int to) {
        for (int k = from; k < to; ++k) {
          for (int j = 0; j < t.width; ++j) BoxPixel(src, cols[j], rows[k], t.row(k) + 4 * static_cast<size_t>(j));
          t.Finish(k);
        }
      });
      return;
    }
    const std::vector<Column> columns = BoxColumns(cols);
    const std::vector<Run> runs = Runs(columns);
    InBands(work, height, [&](int from, int to) { BoxRows(src, t, cols, columns, runs, rows, from, to); });
  }
}

vel::gdi::OwnedBitmap NewDibSection(int width, int height, vel::gdi::BitmapView* view) {
  BITMAPINFO info{};
  info.bmiHeader = vel::gdi::TopDownHeader(width, height, 24);
  void* bits = nullptr;
  // Every row is written by the scaler: the section need not be cleared first.
  vel::gdi::OwnedBitmap result(vel::gdi::CreateDIBSectionForWriting(&info, &bits));
  if (!result || !vel::gdi::GetBitmapView(result.get(), view)) return {};
  return result;
}

}  // namespace

HBITMAP HarrowScale(HBITMAP source, int width, int height) {
  try {
    vel::gdi::BitmapView view;
    if (!source || !vel::gdi::GetBitmapView(source, &view) || view.bitsPerPixel != 24) return nullptr;
    if (view.width <= 0 || view.height <= 0 || width <= 0 || height <= 0) return nullptr;
    if (static_cast<long long>(width) * height > vel::gdi::kMaxBitmapPixels) return nullptr;
    thread_local ResultCache results;
    BYTE* out = results.Get(4 * static_cast<size_t>(width) * static_cast<size_t>(height));
    if (!out) return nullptr;
    vel::gdi::BitmapView dib;
    vel::gdi::OwnedBitmap result = NewDibSection(width, height, &dib);
    if (!result) return nullptr;
    Scale(Source{view}, Target{out, width, dib, PickKernels()}, height);
    return result.release();
  } catch (...) {
    return nullptr;
  }
}

namespace detail {

void AllowAvx2(bool allow) { avx2Allowed.store(allow, std::memory_order_relaxed); }

bool Avx2InUse() { return Avx2Loops(); }

}  // namespace detail

}  // namespace lorimer::process
