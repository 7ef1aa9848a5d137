// The conversion engine: one source file, or every file of a list file, turned
// into files of one target type through the converter's processing steps (crop,
// zoom and rotation, brightness, contrast) and the image library's savers. It
// reports to a view (the progress dialog, or a line on standard error) and to
// the log file "Corbanix.log" in the destination folder.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "converter/settings/ConverterSettings.h"
#include "lorimer/ImageInterface.h"

namespace converter {

// What the engine shows while it works. Called on the engine's thread: a view
// with widgets forwards to its own thread.
class EngineView {
 public:
  virtual ~EngineView() = default;
  // "File: %s", "From: %s", "To:   %s", "File: %s".
  virtual void ShowLines(const std::string& /*file*/, const std::string& /*from*/, const std::string& /*to*/,
                         const std::string& /*destination*/) {}
  virtual void TaskRange(int /*low*/, int /*high*/) {}
  virtual void TaskStep() {}
  virtual void TaskFull() {}
  virtual void FileRange(int /*low*/, int /*high*/) {}
  virtual void FileStep() {}
  virtual void FileFull() {}
  virtual void FileStart() {}
  // Every message of the job, whether or not the log takes it.
  virtual void Message(const std::string& /*text*/) {}
  // Why the file just reported as failing did not load; comes before that message.
  virtual void FailureReason(const std::string& /*reason*/) {}
  // A source about to be reported as missing or unreadable (the shown lines still
  // hold the file before it); comes before that message.
  virtual void MissingSource(const std::string& /*path*/) {}
};

// Where the last step of a page hands the processed image over instead of saving
// it: the clipboard (target 103) and the wallpaper (target 105).
using HandOverStep = std::function<bool(CImageInterface& image, const ConverterSettings& settings)>;

// What tells one state of a file from another: a file replaced or rewritten
// since shows a different value (the times to the nanosecond).
struct FileIdentity {
  unsigned long long device = 0, inode = 0;
  long long size = -1, mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What the processing steps report, in order: a message, or a step of the file
// bar. Steps done ahead on another thread are reported when the file's turn comes,
// exactly as if they had been done then.
struct StepReport {
  bool fileStep = false;
  std::string message;  // when not a file step
};
using StepReports = std::vector<StepReport>;

// Threads that take work in the order it is given, for as long as they live. The
// image library keeps its large buffers per thread, so work that comes back to
// the same threads finds them again.
class WorkerThreads {
 public:
  explicit WorkerThreads(int count);
  ~WorkerThreads();
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  // Runs `work` on one of the threads; its result comes through the future.
  template <class F>
  auto Run(F work) -> std::future<decltype(work())> {
    auto task = std::make_shared<std::packaged_task<decltype(work())()>>(std::move(work));
    auto result = task->get_future();
    {
      std::lock_guard lock(mutex_);
      queue_.emplace_back([task] { (*task)(); });
    }
    wake_.notify_one();
    return result;
  }

 private:
  void Loop();
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

class ConversionEngine {
 public:
  explicit ConversionEngine(EngineView* view = nullptr);

  // Where the job reports from now on (null: nowhere).
  void SetView(EngineView* view) { view_ = view ? view : &quiet_; }
  void SetClipboardStep(HandOverStep step) { clipboard_ = std::move(step); }
  void SetWallpaperStep(HandOverStep step) { wallpaper_ = std::move(step); }

  // The whole job for the file argument and run mode; true when nothing failed.
  bool RunJob(const std::string& fileArgument, int runMode);
  // One file (page -1: every page it should give) or one page of it.
  void ConvertFile(const std::string& path, int target, int page);
  // Every file a list names, to the target its first typed line gives.
  void ReadList(const std::string& listPath);

  // Asks the engine to stop before its next step; what is being written is finished.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }

  // The destination of one output, or "" when its folder cannot be made.
  std::string OutputName(const std::string& path, int target, int page, int pageCount);
  // "<destination folder>/Corbanix.log", or "" when the folder cannot be made.
  std::string LogPath(const std::string& path);

  int Failures() const { return failures_; }
  int Outputs() const { return outputs_; }
  const ConverterSettings& Settings() const { return settings_; }

 private:
  void ConvertPage(const std::string& path, int target, int page, int pageCount);
  // A list entry read (and its first page processed) ahead on another thread.
  struct Ahead {
    std::string path;
    FileIdentity identity;  // the file as it was before it was read
    CImageInterface image;
    int pageCount = 1;  // of the file, before processing made it one page
    bool processed = false;
    bool ok = false;           // what Process answered
    bool interrupted = false;  // Process threw
    int page = 0;              // the page processing left
    StepReports reports;
  };

  // The steps of a page on `image`; they report into `out` instead of the view.
  bool Process(CImageInterface& image, int& page, StepReports& out) const;
  bool Crop(CImageInterface& image, int& page, StepReports& out) const;
  bool Zoom(CImageInterface& image, int& page, StepReports& out) const;
  void Report(const StepReports& reports);
  bool SaveStep(const std::string& destination, int target, int page);
  // The folder outputs of `path` go to under `now`, made when `make` is set; ""
  // when it cannot be made (or, unmade, does not exist).
  static std::string DestinationFolder(const std::string& path, const ConverterSettings& now, bool make = true);
  // The settings as the registry holds them now, for names and the log only.
  static ConverterSettings Current();
  bool IsMultipageTarget(int target) const;
  void Log(const std::string& text);
  void LogHeader();
  void Show(const std::string& file, const std::string& from, const std::string& to, const std::string& name);
  void FailPage();
  // Reads `path` ahead, and processes its first page, on another thread while
  // `writers`, the entries before it that are not done yet, go to `target`.
  void StartPrefetch(const std::string& path, int target, const std::vector<std::string>& writers);
  // The entry read ahead for `path` when it is still what the file holds.
  std::unique_ptr<Ahead> TakePrefetch(const std::string& path);
  void DropPrefetch();

  EngineView* view_;
  EngineView quiet_;
  CImageInterface image_;
  ConverterSettings settings_;  // loaded once for the job
  std::string logPath_;
  std::string loadedFrom_;  // the file image_ holds, untouched, for its first page
  std::string lines_[4];
  bool firstOutput_ = true;
  int failures_ = 0;
  int outputs_ = 0;
  std::atomic<bool> cancelled_{false};
  // Entries being read ahead, in list order, and the threads that read them.
  std::deque<std::pair<std::string, std::future<std::unique_ptr<Ahead>>>> ahead_;
  std::unique_ptr<WorkerThreads> readers_;
  std::unique_ptr<Ahead> ready_;  // the entry in hand, whose first page may be done
  HandOverStep clipboard_;
  HandOverStep wallpaper_;
};

// Bits per pixel for the colour-depth choice: 0 = 32, 1 = 24, 2 = 8, 3 = 4, 4 = 1.
int BitsPerPixel(int cdBpp);

// Whether `writer`, converted to `target`, may write `path`: every name it can
// be given ends in the target's extension and starts with its base name (plain,
// numbered or with a page) or with the multipage file's name. Checked on the name
// and where a link leads, ignoring case as some file systems do.
bool MayBeListOutput(const std::string& path, int target, const std::string& writer, const std::string& multipageName);

}  // namespace converter
