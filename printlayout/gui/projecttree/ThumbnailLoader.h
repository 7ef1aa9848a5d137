// Inspector thumbnails, made on a thread of their own so that a large or slow
// picture never stalls the window. A job carries copies of everything it needs
// (path, plane, box): the worker never looks at the project, which may change
// while it works.
#pragma once

#include <QImage>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tessaly {

struct ThumbnailJob {
  QString key;  // what the result is filed under
  std::string path;
  int plane = 0;
  int width = 128;  // the box the picture is fitted into
  int height = 128;
};

// The picture of one job: the plane fitted into the box on white, 24 bits, or a
// null image when the file cannot be read.
QImage MakeThumbnail(const ThumbnailJob& job);

// The key a thumbnail is cached under: the same file, plane and box give the same
// key until the file's size or time of change moves.
QString ThumbnailKey(const std::string& path, int plane, int width, int height);

class ThumbnailLoader {
 public:
  // `deliver` runs on the worker thread, once per job, in the order queued.
  using Deliver = std::function<void(const QString& key, const QImage& picture)>;
  explicit ThumbnailLoader(Deliver deliver);
  // Drops the jobs not started and waits for the one in hand.
  ~ThumbnailLoader();
  ThumbnailLoader(const ThumbnailLoader&) = delete;
  ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

  void queue(ThumbnailJob job);

 private:
  void run();

  Deliver deliver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<ThumbnailJob> jobs_;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once everything above exists
};

}  // namespace tessaly
