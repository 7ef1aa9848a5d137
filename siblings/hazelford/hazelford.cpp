// Targa writing and palette building for the suite's save path.
#include "siblings/hazelford/hazelford.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "platform/base/bytes.h"
#include "platform/base/file.h"

namespace {

thread_local int lastError = kHzlNoError;

int Fail(int code) {
  lastError = code;
  return 0;
}

// Builds the whole Targa file from a validated block; 0 or an error code.
int BuildTarga(const BYTE* block, size_t size, std::vector<BYTE>* tga) {
  if (size < 14 + 40) return kHzlBadDib;
  vel::ByteReader in(block, size);
  // BITMAPFILEHEADER: "BM", file size, two reserved words, where the bits start.
  const BYTE b = in.u8(), m = in.u8();
  in.skip(4 + 2 + 2);
  const std::uint64_t offBits = in.le32();
  // BITMAPINFOHEADER
  const std::uint64_t headerSize = in.le32();
  const std::int32_t width = in.le32s();
  const std::int32_t rawHeight = in.le32s();
  const unsigned planes = in.le16(), bitCount = in.le16();
  const std::uint32_t compression = in.le32();
  in.skip(4 + 4 + 4);  // image size, resolution
  const std::uint32_t clrUsed = in.le32();
  if (b != 'B' || m != 'M') return kHzlBadDib;
  if (headerSize < 40 || 14 + headerSize > size) return kHzlBadDib;
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return kHzlBadDib;
  if (planes != 1 || compression != 0 || (bitCount != 8 && bitCount != 24)) return kHzlUnsupported;
  const bool topDown = rawHeight < 0;
  const std::uint64_t height = static_cast<std::uint64_t>(topDown ? -static_cast<std::int64_t>(rawHeight) : rawHeight);
  if (width > 0xFFFF || height > 0xFFFF) return kHzlTooLarge;

  const std::uint64_t colours = bitCount == 8 ? (clrUsed == 0 ? 256 : clrUsed) : 0;
  if (colours > 256) return kHzlBadDib;
  const std::uint64_t tableStart = 14 + headerSize;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
  if (offBits < tableStart + colours * 4 || offBits > size || stride * height > size - offBits) return kHzlBadDib;
  vel::ByteReader table = in.sub(tableStart, colours * 4);
  const auto pixels = in.sub(offBits, stride * height).all();

  std::vector<BYTE>& out = *tga;
  out.clear();
  out.reserve(static_cast<size_t>(18 + colours * 3 + stride * height));
  vel::ByteWriter file(out);
  file.u8(0);                             // no image ID
  file.u8(bitCount == 8 ? 1 : 0);         // colour map present
  file.u8(bitCount == 8 ? 1 : 2);         // uncompressed mapped / true colour
  file.le16(0);                           // first map entry
  file.le16(static_cast<WORD>(colours));  // map length
  file.u8(bitCount == 8 ? 24 : 0);        // map entry bits
  file.le16(0);                           // x origin
  file.le16(0);                           // y origin
  file.le16(static_cast<WORD>(width));
  file.le16(static_cast<WORD>(height));
  file.u8(static_cast<BYTE>(bitCount));
  file.u8(0);  // bottom-left origin, no alpha
  for (std::uint64_t i = 0; i < colours; ++i) {
    file.bytes(table.bytes(3));  // RGBQUAD is B, G, R already
    table.skip(1);
  }
  const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * (bitCount / 8);
  for (std::uint64_t r = 0; r < height; ++r) {  // bottom row first
    const std::uint64_t stored = topDown ? height - 1 - r : r;
    file.bytes(pixels.subspan(static_cast<size_t>(stored * stride), static_cast<size_t>(rowBytes)));
  }
  if (bitCount == 8) {
    // An index past the map would make the file unreadable; refuse the block instead.
    const size_t pixelsStart = out.size() - static_cast<size_t>(rowBytes * height);
    for (size_t i = pixelsStart; i < out.size(); ++i) {
      if (out[i] >= colours) return kHzlBadDib;
    }
  }
  return kHzlNoError;
}

// Why a replacement failed, as far as can be told afterwards: a folder that takes
// no new file could not hold the temporary; a target that is a folder could not be
// replaced; anything else went wrong while writing.
int ReplaceFailure(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (::access(dir.c_str(), W_OK | X_OK) != 0) return kHzlCreateFailed;
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return kHzlRenameFailed;
  return kHzlWriteFailed;
}

int WriteReplacing(const std::string& path, const std::vector<BYTE>& bytes) {
  return vel::ReplaceFileContents(path, bytes, "hazelford") ? kHzlNoError : ReplaceFailure(path);
}

BYTE Widen(int five) { return static_cast<BYTE>((five << 3) | (five >> 2)); }

struct Box {
  int lo[3], hi[3];  // inclusive cell ranges: r, g, b
  std::uint64_t count = 0;
};

std::uint64_t Cell(const WORD* h, int r, int g, int b) { return h[(r << 10) | (g << 5) | b]; }

// Shrinks the box to its non-empty cells and counts them.
void Fit(const WORD* h, Box* box) {
  int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
  box->count = 0;
  for (int r = box->lo[0]; r <= box->hi[0]; ++r)
    for (int g = box->lo[1]; g <= box->hi[1]; ++g)
      for (int b = box->lo[2]; b <= box->hi[2]; ++b) {
        const std::uint64_t n = Cell(h, r, g, b);
        if (!n) continue;
        box->count += n;
        const int v[3] = {r, g, b};
        for (int c = 0; c < 3; ++c) lo[c] = std::min(lo[c], v[c]), hi[c] = std::max(hi[c], v[c]);
      }
  if (box->count) std::copy(lo, lo + 3, box->lo), std::copy(hi, hi + 3, box->hi);
}

// Splits at the median of the longest side; both halves keep at least one cell.
bool Split(const WORD* h, Box* box, Box* other) {
  int axis = 0;
  for (int c = 1; c < 3; ++c)
    if (box->hi[c] - box->lo[c] > box->hi[axis] - box->lo[axis]) axis = c;
  if (box->hi[axis] == box->lo[axis]) return false;
  std::uint64_t slab[32] = {};
  for (int r = box->lo[0]; r <= box->hi[0]; ++r)
    for (int g = box->lo[1]; g <= box->hi[1]; ++g)
      for (int b = box->lo[2]; b <= box->hi[2]; ++b) {
        const int v[3] = {r, g, b};
        slab[v[axis]] += Cell(h, r, g, b);
      }
  std::uint64_t seen = 0;
  int cut = box->lo[axis];
  for (; cut < box->hi[axis] - 1; ++cut) {
    seen += slab[cut];
    if (seen * 2 >= box->count) break;
  }
  *other = *box;
  box->hi[axis] = cut;
  other->lo[axis] = cut + 1;
  Fit(h, box);
  Fit(h, other);
  return true;
}

RGBQUAD Mean(const WORD* h, const Box& box) {
  std::uint64_t sum[3] = {};
  for (int r = box.lo[0]; r <= box.hi[0]; ++r)
    for (int g = box.lo[1]; g <= box.hi[1]; ++g)
      for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
        const std::uint64_t n = Cell(h, r, g, b);
        sum[0] += n * Widen(r), sum[1] += n * Widen(g), sum[2] += n * Widen(b);
      }
  auto avg = [&](int c) { return static_cast<BYTE>((sum[c] + box.count / 2) / box.count); };
  return RGBQUAD{avg(2), avg(1), avg(0), 0};
}

}  // namespace

extern "C" {

int SaveTGA(const char* path, HGLOBAL packedDib) {
  if (!path || !*path || !packedDib) return Fail(kHzlBadArgument);
  const size_t size = GlobalSize(packedDib);
  const BYTE* block = static_cast<const BYTE*>(GlobalLock(packedDib));
  if (!block) return Fail(kHzlBadArgument);
  std::vector<BYTE> tga;
  int code = kHzlNoError;
  try {
    code = BuildTarga(block, size, &tga);
  } catch (...) {
    code = kHzlTooLarge;
  }
  GlobalUnlock(packedDib);
  if (code == kHzlNoError) code = WriteReplacing(path, tga);
  if (code != kHzlNoError) return Fail(code);
  lastError = kHzlNoError;
  return 1;
}

int GetLastPicLibError() { return lastError; }

int MedianCut(WORD* histogram, RGBQUAD* palette, int colours) {
  if (!histogram || !palette || colours <= 0) return 0;
  colours = std::min(colours, 256);
  std::vector<Box> boxes;
  Box all{{0, 0, 0}, {31, 31, 31}, 0};
  Fit(histogram, &all);
  if (!all.count) return 0;
  boxes.push_back(all);
  while (static_cast<int>(boxes.size()) < colours) {
    // The most populous box that still spans more than one cell goes next.
    int pick = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const Box& b = boxes[i];
      const bool single = b.lo[0] == b.hi[0] && b.lo[1] == b.hi[1] && b.lo[2] == b.hi[2];
      if (!single && (pick < 0 || b.count > boxes[pick].count)) pick = static_cast<int>(i);
    }
    if (pick < 0) break;
    Box other;
    if (!Split(histogram, &boxes[pick], &other)) break;
    boxes.push_back(other);
  }
  for (size_t i = 0; i < boxes.size(); ++i) palette[i] = Mean(histogram, boxes[i]);
  return static_cast<int>(boxes.size());
}

int Popularity(WORD* histogram, RGBQUAD* palette, int colours) {
  if (!histogram || !palette || colours <= 0) return 0;
  std::vector<int> cells(kHzlHistogramCells);
  std::iota(cells.begin(), cells.end(), 0);
  std::stable_sort(cells.begin(), cells.end(), [&](int a, int b) { return histogram[a] > histogram[b]; });
  int made = 0;
  for (int i = 0; i < std::min(colours, 256) && histogram[cells[i]] != 0; ++i, ++made) {
    const int c = cells[i];
    palette[i] = RGBQUAD{Widen(c & 31), Widen((c >> 5) & 31), Widen(c >> 10), 0};
  }
  return made;
}

}  // extern "C"
