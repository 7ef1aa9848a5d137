#include "printlayout/render/PictureCache.h"

#include <sys/stat.h>

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

// A light box where a picture will be once it is made.
void Placeholder(HDC dc, const RECT& rect) {
  const vel::gdi::OwnedBrush brush(CreateSolidBrush(RGB(236, 236, 236)));
  FillRect(dc, &rect, brush.get());
}

// A picture made off the drawing thread.
struct Made {
  std::pair<std::string, int> key;
  FileStamp stamp;
  int askedWidth = 0, askedHeight = 0;
  int fullWidth = 0, fullHeight = 0;
  vel::gdi::OwnedBitmap copy;
};

// Two threads that make pictures, newest request first; what they make waits in
// `done` until the owner's thread takes it.
class Loader {
 public:
  explicit Loader(std::function<void()> wake) : wake_(std::move(wake)) {
    for (int i = 0; i < 2; ++i) threads_.emplace_back([this] { run(); });
  }
  ~Loader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      queue_.clear();
    }
    more_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  void request(Made job) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(job));
    }
    more_.notify_one();
  }
  std::vector<Made> takeDone() {
    std::lock_guard lock(mutex_);
    std::vector<Made> out;
    out.swap(done_);
    return out;
  }

 private:
  void run() {
    for (;;) {
      Made job;
      {
        std::unique_lock lock(mutex_);
        more_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        job = std::move(queue_.back());
        queue_.pop_back();
      }
      job.copy.reset(lorimer::LoadReducedHBITMAP(job.key.first.c_str(), job.key.second, job.askedWidth, job.askedHeight,
                                                 &job.fullWidth, &job.fullHeight));
      {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        done_.push_back(std::move(job));
      }
      wake_();
    }
  }

  std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable more_;
  std::deque<Made> queue_;
  std::vector<Made> done_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

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

  // Background loading: requests in flight by picture, the callback, and an
  // object of the owner's thread that queued calls are delivered to. The loader
  // goes first on destruction, so no thread outlives what it reports to.
  std::map<Key, std::pair<int, int>> inFlight;
  std::function<void()> ready;
  std::unique_ptr<QObject> owner;
  std::unique_ptr<Loader> loader;

  ~Impl() { loader.reset(); }

  // Puts a made picture into its entry (when the file is still the one it was
  // made from) and says whether the entry now holds something new.
  bool take(Made& made);

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

bool PictureCache::Impl::take(Made& made) {
  auto it = entries.find(made.key);
  if (it == entries.end() || !(it->second.stamp == made.stamp)) return false;
  Entry& e = it->second;
  vel::gdi::BitmapView view;
  bytes -= e.bytes;
  e.bytes = 0;
  e.copy.reset();
  if (!made.copy || !vel::gdi::GetBitmapView(made.copy.get(), &view)) {
    e.failed = true;
    return true;
  }
  e.width = view.width;
  e.height = view.height;
  // The loader enlarges drawings but no raster picture: a copy at the picture's
  // own size that falls short of the rectangle is as large as it gets.
  e.whole = view.width == made.fullWidth && view.height == made.fullHeight &&
            (view.width < made.askedWidth - 1 || view.height < made.askedHeight - 1);
  e.bytes = BytesOf(made.copy.get());
  e.copy = std::move(made.copy);
  bytes += e.bytes;
  evictBeyondBudget(made.key);
  return true;
}

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
    if (d_->loader) {
      // Asked once per picture at a time; a larger size is asked again when the
      // answer arrives too small.
      if (!d_->inFlight.count(key)) {
        d_->inFlight[key] = {w, h};
        Made job;
        job.key = key;
        job.stamp = stamp;
        job.askedWidth = w;
        job.askedHeight = h;
        d_->loader->request(std::move(job));
      }
      if (!e.copy) {
        Placeholder(dc, rect);
        return true;
      }
    } else {
      Made made;
      made.key = key;
      made.stamp = stamp;
      made.askedWidth = w;
      made.askedHeight = h;
      made.copy.reset(
          lorimer::LoadReducedHBITMAP(image.path.c_str(), image.plane, w, h, &made.fullWidth, &made.fullHeight));
      d_->take(made);
      if (e.failed || !e.copy) return false;
    }
  }
  return Blit(dc, rect, e.copy.get(), e.width, e.height);
}

void PictureCache::clear() {
  d_->entries.clear();
  d_->bytes = 0;
}

void PictureCache::setBackgroundLoading(std::function<void()> ready) {
  d_->loader.reset();
  d_->inFlight.clear();
  d_->ready = std::move(ready);
  if (!d_->ready) return;
  d_->owner = std::make_unique<QObject>();
  Impl* impl = d_.get();
  QObject* owner = d_->owner.get();
  // Runs on a worker thread: hands the pictures over on the owner's thread.
  d_->loader = std::make_unique<Loader>([impl, owner] {
    QMetaObject::invokeMethod(
        owner,
        [impl] {
          if (!impl->loader) return;
          bool changed = false;
          for (Made& made : impl->loader->takeDone()) {
            impl->inFlight.erase(made.key);
            changed = impl->take(made) || changed;
          }
          if (changed && impl->ready) impl->ready();
        },
        Qt::QueuedConnection);
  });
}

std::size_t PictureCache::pending() const { return d_->inFlight.size(); }

std::size_t PictureCache::bytesHeld() const { return d_->bytes; }

std::size_t PictureCache::entries() const { return d_->entries.size(); }

}  // namespace tessaly
