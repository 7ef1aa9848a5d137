// Octree colour quantiser. Every level of the tree halves the colour cube per
// channel; a node's weight grows by a per-level power of two for each pixel
// that passes it, so shallow nodes of busy regions are the last to go when the
// tree is pruned down to the palette size.
#include "imagelib/process/kest_quantizer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/gdi/owned.h"

namespace lorimer::process {
namespace {

constexpr int kNodesPerBlock = 2048;
constexpr size_t kMaxNodes = 266817;
constexpr int kMaxDepth = 8;

struct Node {
  Node* parent = nullptr;
  Node* child[8] = {};
  std::uint8_t mask = 0;   // bit i set when child[i] exists
  std::uint8_t index = 0;  // position within the parent
  std::uint8_t level = 0;
  std::uint8_t centre[3] = {128, 128, 128};  // red, green, blue
  std::uint32_t weight = 0;                  // becomes the palette index
  std::uint32_t count = 0;
  // Wider than the pixel count needs, so that pictures of several hundred
  // megapixels cannot wrap the sums.
  std::uint64_t sum[3] = {0, 0, 0};
};

// Nodes come in blocks; freed ones are reused before a new block is taken.
class NodePool {
 public:
  Node* New() {
    Node* n = nullptr;
    if (!free_.empty()) {
      n = free_.back();
      free_.pop_back();
    } else {
      if (used_ == kNodesPerBlock || blocks_.empty()) {
        Node* block = new (std::nothrow) Node[kNodesPerBlock];
        if (!block) return nullptr;
        blocks_.emplace_back(block);
        used_ = 0;
      }
      n = &blocks_.back()[used_++];
    }
    *n = Node{};
    ++live_;
    return n;
  }
  void Free(Node* n) {
    free_.push_back(n);
    --live_;
  }
  size_t live() const { return live_; }

 private:
  std::vector<std::unique_ptr<Node[]>> blocks_;
  std::vector<Node*> free_;
  int used_ = 0;
  size_t live_ = 0;
};

inline int ChildIndex(const Node* n, int r, int g, int b) {
  return (b > n->centre[2]) * 4 + (g > n->centre[1]) * 2 + (r > n->centre[0]);
}

inline int Luminance(int r, int g, int b) { return (77 * r + 150 * g + 29 * b) >> 8; }

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0;
};

// Squares of -255 ... 255 for colour distances.
struct SquareTable {
  int v[511];
  constexpr SquareTable() : v() {
    for (int i = -255; i <= 255; ++i) v[i + 255] = i * i;
  }
  int operator[](int i) const { return v[i]; }
};
constexpr SquareTable kSquares{};

class Octree {
 public:
  Octree(int depth, std::uint64_t pixelCount) : depth_(depth) {
    int bits = 0;
    while (bits < 64 && (pixelCount >> bits) != 0) ++bits;
    int s = 32 - bits;
    for (int level = 1; level <= kMaxDepth; ++level) shift_[level] = std::max(0, s - level);
  }

  bool Init() {
    root_ = pool_.New();
    if (!root_) return false;
    root_->parent = root_;
    root_->weight = 0xFFFFFFFFu;
    return true;
  }

  int depth() const { return depth_; }
  size_t nodes() const { return pool_.live(); }

  // Classifies `count` pixels of one colour whose channel sums are given;
  // false when a node cannot be had.
  bool Insert(int r, int g, int b, std::uint32_t count, const std::uint64_t sum[3]) {
    Node* n = root_;
    for (int level = 1; level <= depth_; ++level) {
      int i = ChildIndex(n, r, g, b);
      Node* c = n->child[i];
      if (!c) {
        c = pool_.New();
        if (!c) return false;
        int h = 128 >> level;
        c->parent = n;
        c->index = static_cast<std::uint8_t>(i);
        c->level = static_cast<std::uint8_t>(level);
        c->centre[0] = static_cast<std::uint8_t>(n->centre[0] + ((i & 1) ? h : -h));
        c->centre[1] = static_cast<std::uint8_t>(n->centre[1] + ((i & 2) ? h : -h));
        c->centre[2] = static_cast<std::uint8_t>(n->centre[2] + ((i & 4) ? h : -h));
        n->child[i] = c;
        n->mask |= static_cast<std::uint8_t>(1u << i);
        if (level == depth_) ++leaves_;
      }
      c->weight += count << shift_[level];
      n = c;
    }
    n->count += count;
    for (int k = 0; k < 3; ++k) n->sum[k] += sum[k];
    return true;
  }

  // Keeps the tree inside its node budget: the deepest level folds into its parents.
  void DropDeepest() {
    if (depth_ <= 1) return;
    FoldLevel(root_, depth_);
    --depth_;
    leaves_ = 0;
    CountHolders(root_, &leaves_);
  }

  void Reduce(int colours) {
    std::uint32_t threshold = 1;
    while (leaves_ > colours) {
      std::uint32_t smallest = 0xFFFFFFFFu;
      int holders = 0;
      Prune(root_, threshold, &smallest, &holders);
      leaves_ = holders;
      threshold = smallest;
    }
  }

  // Children first, as in Prune, so indices follow the tree's order.
  int MakePalette(Colour* palette) {
    int n = 0;
    Number(root_, palette, &n);
    return n;
  }

  Node* Descend(int r, int g, int b) const {
    Node* n = root_;
    while (Node* c = n->child[ChildIndex(n, r, g, b)]) n = c;
    return n;
  }

  // The nearest palette colour among the nodes under `top`.
  int Closest(const Node* top, const Colour* palette, int r, int g, int b) const {
    int best = -1;
    int bestDistance = 0;
    Search(top, palette, r, g, b, &best, &bestDistance);
    return best < 0 ? 0 : best;
  }

 private:
  void Release(Node* n) {
    Node* p = n->parent;
    p->child[n->index] = nullptr;
    p->mask &= static_cast<std::uint8_t>(~(1u << n->index));
    pool_.Free(n);
  }

  static void Absorb(Node* into, const Node* n) {
    into->count += n->count;
    for (int k = 0; k < 3; ++k) into->sum[k] += n->sum[k];
  }

  void FoldLevel(Node* n, int level) {
    for (Node* c : n->child) {
      if (!c) continue;
      if (c->level == level) {
        Absorb(n, c);
        Release(c);
      } else {
        FoldLevel(c, level);
      }
    }
  }

  static void CountHolders(const Node* n, int* holders) {
    for (const Node* c : n->child)
      if (c) CountHolders(c, holders);
    if (n->count) ++*holders;
  }

  void Prune(Node* n, std::uint32_t threshold, std::uint32_t* smallest, int* holders) {
    for (Node* c : n->child)
      if (c) Prune(c, threshold, smallest, holders);
    if (n != root_ && n->weight <= threshold && n->mask == 0) {
      Absorb(n->parent, n);
      Release(n);
      return;
    }
    if (n->count) ++*holders;
    *smallest = std::min(*smallest, n->weight);
  }

  static void Number(Node* n, Colour* palette, int* next) {
    for (Node* c : n->child)
      if (c) Number(c, palette, next);
    if (!n->count || *next >= 256) return;
    std::uint64_t half = n->count / 2;
    palette[*next] = Colour{static_cast<std::uint8_t>((n->sum[0] + half) / n->count),
                            static_cast<std::uint8_t>((n->sum[1] + half) / n->count),
                            static_cast<std::uint8_t>((n->sum[2] + half) / n->count)};
    n->weight = static_cast<std::uint32_t>((*next)++);
  }

  static void Search(const Node* n, const Colour* palette, int r, int g, int b, int* best, int* bestDistance) {
    for (const Node* c : n->child)
      if (c) Search(c, palette, r, g, b, best, bestDistance);
    if (!n->count) return;
    const Colour& p = palette[n->weight];
    int d = kSquares[p.r - r + 255] + kSquares[p.g - g + 255] + kSquares[p.b - b + 255];
    if (*best < 0 || d < *bestDistance) {
      *best = static_cast<int>(n->weight);
      *bestDistance = d;
    }
  }

  NodePool pool_;
  Node* root_ = nullptr;
  int depth_;
  int leaves_ = 0;
  int shift_[kMaxDepth + 1] = {};
};

// Working pixels: red in the low byte, then green, then blue.
inline int R(std::uint32_t p) { return p & 0xFF; }
inline int G(std::uint32_t p) { return (p >> 8) & 0xFF; }
inline int B(std::uint32_t p) { return (p >> 16) & 0xFF; }
inline std::uint32_t Pack(int r, int g, int b) {
  return static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b) << 16;
}

bool ReadWorking(const vel::gdi::BitmapView& view, std::vector<std::uint32_t>* pixels) {
  if (view.bitsPerPixel != 24 && view.bitsPerPixel != 32) return false;
  int step = view.bitsPerPixel / 8;
  pixels->resize(static_cast<size_t>(view.width) * view.height);
  std::uint32_t* out = pixels->data();
  for (int y = 0; y < view.height; ++y) {
    const BYTE* row = view.row(y);
    for (int x = 0; x < view.width; ++x, row += step) *out++ = Pack(row[2], row[1], row[0]);
  }
  return true;
}

// Small open-addressed set of colours with their pixel counts and sums.
class ColourTable {
 public:
  static constexpr int kSlots = 1024;  // never more than half full
  struct Entry {
    std::uint32_t key = 0;
    bool used = false;
    std::uint32_t count = 0;
  };
  // False once `limit` distinct colours are held and `p` would be another one.
  bool Add(std::uint32_t p, int limit) {
    std::uint32_t h = (p * 2654435761u) >> 22;
    while (slots_[h].used && slots_[h].key != p) h = (h + 1) & (kSlots - 1);
    Entry& e = slots_[h];
    if (!e.used) {
      if (size_ >= limit) return false;
      e.used = true;
      e.key = p;
      ++size_;
    }
    ++e.count;
    return true;
  }
  int size() const { return size_; }
  template <typename F>
  void ForEach(F f) const {
    for (const Entry& e : slots_)
      if (e.used) f(e.key, e.count);
  }

 private:
  Entry slots_[kSlots];
  int size_ = 0;
};

int TreeDepth(bool fewColours, int colours) {
  if (fewColours) return 8;
  static const long long bounds[] = {4, 16, 64, 256, 1024};
  int i = 0;
  while (i < 5 && bounds[i] < colours) ++i;
  return i + 1;
}

// For shallow trees every pixel is first counted into the cell of the colour
// cube it would end in; inserting the cells builds exactly the same tree at a
// fraction of the cost of walking it once per pixel.
bool ClassifyByCells(Octree& tree, const std::vector<std::uint32_t>& pixels) {
  int depth = tree.depth();
  std::uint16_t code[256];
  for (int v = 0; v < 256; ++v) {
    int c = 128, bits = 0;
    for (int level = 1; level <= depth; ++level) {
      int above = v > c;
      bits = bits * 2 + above;
      int h = 128 >> level;
      c += above ? h : -h;
    }
    code[v] = static_cast<std::uint16_t>(bits);
  }
  struct Cell {
    std::uint32_t count = 0;
    std::uint64_t sum[3] = {0, 0, 0};
  };
  std::vector<Cell> cells(size_t(1) << (3 * depth));
  for (std::uint32_t p : pixels) {
    size_t i = (static_cast<size_t>(code[R(p)]) << (2 * depth)) | (code[G(p)] << depth) | code[B(p)];
    Cell& c = cells[i];
    ++c.count;
    c.sum[0] += R(p);
    c.sum[1] += G(p);
    c.sum[2] += B(p);
  }
  for (const Cell& c : cells) {
    if (!c.count) continue;
    // The cell's mean lies in the cell, so it takes the same path as its pixels.
    if (!tree.Insert(int(c.sum[0] / c.count), int(c.sum[1] / c.count), int(c.sum[2] / c.count), c.count, c.sum))
      return false;
  }
  return true;
}

bool ClassifyDistinct(Octree& tree, const std::vector<std::uint32_t>& pixels) {
  auto table = std::make_unique<ColourTable>();
  for (std::uint32_t p : pixels) table->Add(p, 256);
  bool ok = true;
  table->ForEach([&](std::uint32_t p, std::uint32_t count) {
    std::uint64_t sum[3] = {std::uint64_t(R(p)) * count, std::uint64_t(G(p)) * count, std::uint64_t(B(p)) * count};
    if (ok) ok = tree.Insert(R(p), G(p), B(p), count, sum);
  });
  return ok;
}

// Pixel by pixel, keeping the node budget before each one.
bool ClassifyEach(Octree& tree, const std::vector<std::uint32_t>& pixels) {
  for (std::uint32_t p : pixels) {
    if (tree.nodes() > kMaxNodes) tree.DropDeepest();
    std::uint64_t sum[3] = {std::uint64_t(R(p)), std::uint64_t(G(p)), std::uint64_t(B(p))};
    if (!tree.Insert(R(p), G(p), B(p), 1, sum)) return false;
  }
  return true;
}

// Serpentine Floyd-Steinberg: even rows right to left, odd rows left to right.
// Errors are kept sixteen-fold; colour look-ups go through a 64x64x64 cache.
void Dither(const Octree& tree, const Colour* palette, const std::vector<std::uint32_t>& pixels, int width, int height,
            std::vector<std::uint16_t>* cacheStore, std::vector<int>* errors, BYTE* indices) {
  std::vector<std::uint16_t>& cache = *cacheStore;  // 0 = empty, else index + 1
  const size_t span = (static_cast<size_t>(width) + 2) * 3;
  int* cur = errors->data();
  int* next = cur + span;
  std::fill(cur, cur + 2 * span, 0);
  for (int y = 0; y < height; ++y) {
    const int dir = (y % 2 == 0) ? -1 : 1;
    int x = dir < 0 ? width - 1 : 0;
    std::fill(next, next + span, 0);
    const std::uint32_t* row = pixels.data() + static_cast<size_t>(y) * width;
    BYTE* out = indices + static_cast<size_t>(y) * width;
    for (int n = 0; n < width; ++n, x += dir) {
      int* e = cur + (x + 1) * 3;
      std::uint32_t p = row[x];
      int want[3] = {std::clamp(R(p) + (e[0] + 8) / 16, 0, 255), std::clamp(G(p) + (e[1] + 8) / 16, 0, 255),
                     std::clamp(B(p) + (e[2] + 8) / 16, 0, 255)};
      size_t key = (static_cast<size_t>(want[0] >> 2) << 12) | ((want[1] >> 2) << 6) | (want[2] >> 2);
      int index = cache[key] - 1;
      if (index < 0) {
        const Node* reached = tree.Descend(want[0], want[1], want[2]);
        index = tree.Closest(reached->parent, palette, want[0], want[1], want[2]);
        cache[key] = static_cast<std::uint16_t>(index + 1);
      }
      out[x] = static_cast<BYTE>(index);
      const Colour& c = palette[index];
      int d[3] = {want[0] - c.r, want[1] - c.g, want[2] - c.b};
      int* ahead = cur + (x + 1 + dir) * 3;
      int* behindNext = next + (x + 1 - dir) * 3;
      int* belowNext = next + (x + 1) * 3;
      int* aheadNext = next + (x + 1 + dir) * 3;
      for (int k = 0; k < 3; ++k) {
        ahead[k] += 7 * d[k];
        behindNext[k] += 3 * d[k];
        belowNext[k] += 5 * d[k];
        aheadNext[k] += d[k];
      }
    }
    std::swap(cur, next);
  }
}

// Without memory for the diffusion, each pixel takes the colour of the deepest
// node it reaches.
void MapPlain(const Octree& tree, const Colour* palette, const std::vector<std::uint32_t>& pixels, BYTE* indices) {
  for (size_t i = 0; i < pixels.size(); ++i) {
    std::uint32_t p = pixels[i];
    const Node* n = tree.Descend(R(p), G(p), B(p));
    indices[i] = static_cast<BYTE>(n->count ? n->weight : tree.Closest(n->parent, palette, R(p), G(p), B(p)));
  }
}

HBITMAP PackDib(const BYTE* indices, const Colour* palette, int width, int height, int bits) {
  BITMAPINFO256 info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  info.bmiHeader.biCompression = BI_RGB;
  if (bits <= 8) {
    for (int i = 0; i < (1 << bits); ++i) info.bmiColors[i] = RGBQUAD{palette[i].b, palette[i].g, palette[i].r, 0};
  }
  void* unused = nullptr;
  vel::gdi::OwnedBitmap result(
      CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &unused, nullptr, 0));
  vel::gdi::BitmapView view;
  if (!result || !vel::gdi::GetBitmapView(result.get(), &view)) return nullptr;
  for (int y = 0; y < height; ++y) {
    BYTE* row = view.row(y);
    const BYTE* in = indices + static_cast<size_t>(y) * width;
    if (bits == 24) {
      for (int x = 0; x < width; ++x, row += 3) {
        const Colour& c = palette[in[x]];
        row[0] = c.b;
        row[1] = c.g;
        row[2] = c.r;
      }
      continue;
    }
    std::memset(row, 0, view.stride);
    const int perByte = 8 / bits;
    for (int x = 0; x < width; ++x) {
      int shift = 8 - bits * (x % perByte + 1);
      row[x / perByte] |= static_cast<BYTE>(in[x] << shift);
    }
  }
  return result.release();
}

// Pure black and white for a two-colour result: the darker entry goes black.
void BlackAndWhite(Colour* palette, int entries) {
  if (entries == 1) {
    bool dark = Luminance(palette[0].r, palette[0].g, palette[0].b) < 128;
    palette[0] = dark ? Colour{0, 0, 0} : Colour{255, 255, 255};
    return;
  }
  int l0 = Luminance(palette[0].r, palette[0].g, palette[0].b);
  int l1 = Luminance(palette[1].r, palette[1].g, palette[1].b);
  int dark = l1 < l0 ? 1 : 0;
  palette[dark] = Colour{0, 0, 0};
  palette[1 - dark] = Colour{255, 255, 255};
}

}  // namespace

HBITMAP KestReduceColors(HBITMAP source, int colours, bool gray) {
  try {
    vel::gdi::BitmapView view;
    if (!source || !vel::gdi::GetBitmapView(source, &view) || colours < 1) return nullptr;
    if (view.width <= 0 || view.height <= 0 ||
        static_cast<long long>(view.width) * view.height > vel::gdi::kMaxBitmapPixels)
      return nullptr;
    const int bits = colours > 256 ? 24 : colours > 16 ? 8 : colours < 3 ? 1 : 4;
    const int limit = std::min(colours, bits == 1 ? 2 : bits == 4 ? 16 : 256);

    std::vector<std::uint32_t> pixels;
    if (!ReadWorking(view, &pixels)) return nullptr;

    bool fewColours = true;
    {
      auto table = std::make_unique<ColourTable>();
      for (std::uint32_t p : pixels) {
        if (!table->Add(p, 255)) {
          fewColours = false;
          break;
        }
      }
    }
    if (gray) {
      for (std::uint32_t& p : pixels) {
        int y = Luminance(R(p), G(p), B(p));
        p = Pack(y, y, y);
      }
    }

    Octree tree(TreeDepth(fewColours, colours), pixels.size());
    bool built = tree.Init();
    if (built) {
      if (tree.depth() == 8)
        built = ClassifyDistinct(tree, pixels);
      else if (tree.depth() <= 5)
        built = ClassifyByCells(tree, pixels);
      else
        built = ClassifyEach(tree, pixels);
    }
    if (!built) {
      // Running out of nodes fails this call only; the blocks built so far go
      // with the tree, and the program carries on.
      std::fputs("Unable to quantize image, Memory allocation failed\n", stderr);
      return nullptr;
    }
    tree.Reduce(limit);
    Colour palette[256];
    int entries = tree.MakePalette(palette);
    if (colours == 2) BlackAndWhite(palette, entries);

    std::vector<BYTE> indices(pixels.size());
    std::vector<std::uint16_t> cache;
    std::vector<int> errors;
    try {
      cache.assign(size_t(1) << 18, 0);
      errors.resize((static_cast<size_t>(view.width) + 2) * 6);
    } catch (const std::bad_alloc&) {
      cache.clear();
    }
    if (cache.empty()) {
      std::fputs("Unable to dither image, Memory allocation failed\n", stderr);
      MapPlain(tree, palette, pixels, indices.data());
    } else {
      Dither(tree, palette, pixels, view.width, view.height, &cache, &errors, indices.data());
    }
    return PackDib(indices.data(), palette, view.width, view.height, bits);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace lorimer::process
