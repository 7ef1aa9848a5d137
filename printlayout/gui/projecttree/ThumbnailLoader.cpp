#include "printlayout/gui/projecttree/ThumbnailLoader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "lorimer/ImageInterface.h"

namespace tessaly {

namespace {
// The box the inspector asks for; a bigger one from a damaged project file is
// not worth the memory.
constexpr int kMaxThumbSide = 128;
constexpr DWORD kWhite = 0xFFFFFF;
}  // namespace

QImage MakeThumbnail(const ThumbnailJob& job) {
  CImageInterface image;
  if (job.path.empty() || !image.Load(job.path.c_str(), 0) || !image.IsLoaded()) return {};
  if (job.plane < 0 || job.plane >= image.GetPageCount()) return {};
  const int width = std::clamp(job.width, 1, kMaxThumbSide), height = std::clamp(job.height, 1, kMaxThumbSide);
  // The library hands the thumbnail over as a temporary BMP file, ours to remove.
  char name[MAX_PATH] = {};
  int madeWidth = 0, madeHeight = 0;
  if (!image.CreateThumbnailFileEx(width, height, name, QUALITY_HIGH, 0, kWhite, 0, 24, &madeWidth, &madeHeight,
                                   job.plane))
    return {};
  const QString file = QString::fromLocal8Bit(name);
  QImage picture(file, "BMP");
  QFile::remove(file);
  return picture.convertToFormat(QImage::Format_RGB32);
}

QString ThumbnailKey(const std::string& path, int plane, int width, int height) {
  const QFileInfo info(QString::fromStdString(path));
  return QStringLiteral("%1\n%2\n%3x%4\n%5\n%6")
      .arg(info.absoluteFilePath())
      .arg(plane)
      .arg(width)
      .arg(height)
      .arg(info.exists() ? info.size() : -1)
      .arg(info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0);
}

ThumbnailLoader::ThumbnailLoader(Deliver deliver) : deliver_(std::move(deliver)), thread_([this] { run(); }) {}

ThumbnailLoader::~ThumbnailLoader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_one();
  thread_.join();
}

void ThumbnailLoader::queue(ThumbnailJob job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void ThumbnailLoader::run() {
  for (;;) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !jobs_.empty() || stop_; });
    if (stop_) return;
    const ThumbnailJob job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    deliver_(job.key, MakeThumbnail(job));
  }
}

}  // namespace tessaly
