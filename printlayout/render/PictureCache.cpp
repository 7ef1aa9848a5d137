#include "printlayout/render/PictureCache.h"

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "lorimer/Reduced.h"
#include "platform/gdi/owned.h"

namespace tessaly {

namespace {

// What a file looked like when its picture was made: a change of either means
// the picture is made again.
struct FileStamp {
  std::int64_t size = -1;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

bool Stamp(const std::string& path, FileStamp* stamp) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp->size = static_cast<std::int64_t>(st.st_size);
  stamp->mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

std::size_t BytesOf(HBITMAP bitmap) {
  vel::gdi::BitmapView view;
  return bitmap && vel::gdi::GetBitmapView(bitmap, &view) ? view.stride * static_cast<std::size_t>(view.height) : 0;
}

// Draws the whole bitmap into the rectangle: one to one when the sizes agree (the
// usual case, the copy being made at the size it is shown), stretched otherwise.
bool Blit(HDC dc, const RECT& rect, HBITMAP bitmap, int width, int height) {
  const vel::gdi::OwnedDC memory(CreateCompatibleDC(dc));
  if (!memory) return false;
  const vel::gdi::ScopedSelect select(memory.get(), bitmap);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w == width && h == height) return BitBlt(dc, rect.left, rect.top, w, h, memory.get(), 0, 0, SRCCOPY) != 0;
  const int previous = SetStretchBltMode(dc, HALFTONE);
  const BOOL drawn = StretchBlt(dc, rect.left, rect.top, w, h, memory.get(), 0, 0, width, height, SRCCOPY);
  SetStretchBltMode(dc, previous);
  return drawn != 0;
}

}  // namespace

struct PictureCache::Impl {
  struct Entry {
    FileStamp stamp;
    bool failed = false;         // the file did not load: not retried until it changes
    vel::gdi::OwnedBitmap copy;  // 24-bit, at about the size it was last asked for
    int width = 0, height = 0;   // of the copy
    bool whole = false;          // the copy is the picture at its own size (raster)
    std::size_t bytes = 0;
    std::uint64_t lastDrawn = 0;
  };
  using Key = std::pair<std::string, int>;  // path, plane

  std::size_t budget;
  std::size_t bytes = 0;
  std::uint64_t clock = 0;
  std::map<Key, Entry> entries;

  void drop(std::map<Key, Entry>::iterator it) {
    bytes -= it->second.bytes;
    entries.erase(it);
  }

  // Least recently drawn first, never the picture being drawn now.
  void evictBeyondBudget(const Key& keep) {
    while (bytes > budget) {
      auto oldest = entries.end();
      for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->first == keep || !it->second.bytes) continue;
        if (oldest == entries.end() || it->second.lastDrawn < oldest->second.lastDrawn) oldest = it;
      }
      if (oldest == entries.end()) return;
      drop(oldest);
    }
  }

  // Whether the copy serves a w x h rectangle: as large (a pixel short is the
  // rounding of the fit, not worth a decode), and not so much larger that drawing
  // it would be a strong reduction (it is then made again at the asked size).
  static bool Serves(const Entry& e, int w, int h) {
    if (!e.copy) return false;
    if (e.width >= w - 1 && e.height >= h - 1) return 2 * w >= e.width || 2 * h >= e.height;
    return e.whole;  // a picture smaller than the rectangle is enlarged as it is
  }
};

PictureCache::PictureCache(std::size_t budgetBytes) : d_(std::make_unique<Impl>()) { d_->budget = budgetBytes; }

PictureCache::~PictureCache() = default;

bool PictureCache::drawPicture(HDC dc, const RECT& rect, const ImagePlacement& image) {
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (!dc || w <= 0 || h <= 0) return false;
  Impl::Key key{image.path, image.plane};
  auto it = d_->entries.find(key);
  FileStamp stamp;
  if (!Stamp(image.path, &stamp)) {
    if (it != d_->entries.end()) d_->drop(it);
    return false;
  }
  if (it != d_->entries.end() && !(it->second.stamp == stamp)) {
    d_->drop(it);
    it = d_->entries.end();
  }
  if (it == d_->entries.end()) {
    it = d_->entries.emplace(key, Impl::Entry{}).first;
    it->second.stamp = stamp;
  }
  Impl::Entry& e = it->second;
  e.lastDrawn = ++d_->clock;
  if (e.failed) return false;

  if (!Impl::Serves(e, w, h)) {
    int fullWidth = 0, fullHeight = 0;
    vel::gdi::OwnedBitmap copy(
        lorimer::LoadReducedHBITMAP(image.path.c_str(), image.plane, w, h, &fullWidth, &fullHeight));
    vel::gdi::BitmapView view;
    d_->bytes -= e.bytes;
    e.bytes = 0;
    e.copy.reset();
    if (!copy || !vel::gdi::GetBitmapView(copy.get(), &view)) {
      e.failed = true;
      return false;
    }
    e.width = view.width;
    e.height = view.height;
    // The loader enlarges drawings but no raster picture: a copy at the picture's
    // own size that falls short of the rectangle is as large as it gets.
    e.whole = view.width == fullWidth && view.height == fullHeight && (view.width < w - 1 || view.height < h - 1);
    e.bytes = BytesOf(copy.get());
    e.copy = std::move(copy);
    d_->bytes += e.bytes;
    d_->evictBeyondBudget(key);
  }
  return Blit(dc, rect, e.copy.get(), e.width, e.height);
}

void PictureCache::clear() {
  d_->entries.clear();
  d_->bytes = 0;
}

std::size_t PictureCache::bytesHeld() const { return d_->bytes; }

std::size_t PictureCache::entries() const { return d_->entries.size(); }

}  // namespace tessaly
