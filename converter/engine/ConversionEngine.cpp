#include "converter/engine/ConversionEngine.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "converter/cli/CommandLine.h"
#include "converter/cli/FileNames.h"
#include "lorimer/LoadFailure.h"

namespace converter {
namespace {

constexpr const char* kLogName = "Corbanix.log";
// List entries read and processed ahead of the one being saved: with the save of
// one entry and the reading of two, both cores stay busy.
constexpr size_t kReadAhead = 2;
constexpr const char* kImageLoading = "Image loading ...";
constexpr const char* kLoadingFailed = "Loading failed";
constexpr const char* kCrop = "Crop ...";
constexpr const char* kCropFailed = "Crop failed";
constexpr const char* kZoom = "Zoom ...";
constexpr const char* kZoomFailed = "Zoom failed";
constexpr const char* kBrightness = "Brightness correction ...";
constexpr const char* kBrightnessError = "Brightness correction error";
constexpr const char* kContrast = "Contrast correction ...";
constexpr const char* kContrastError = "Contrast correction error";
constexpr const char* kConverting = "Converting ...";
constexpr const char* kSuccess = "Success";
constexpr const char* kError = "Error";
constexpr const char* kNotExist = "Error: file is not exist or read protected";
constexpr const char* kInterrupted = "Converting interrupted";
constexpr const char* kFinished = "Converting finished";
constexpr const char* kFatal = "Converter: fatal error";
constexpr const char* kSeparator = "--------------------------------";
// A list line holds at most this many characters, its line break included.
constexpr size_t kMaxListLine = 1023;

bool Readable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

// The same file, whatever way the two names reach it.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Identify(const std::string& path, FileIdentity& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  id = {static_cast<unsigned long long>(st.st_dev),
        static_cast<unsigned long long>(st.st_ino),
        st.st_size,
        st.st_mtim.tv_sec,
        st.st_mtim.tv_nsec,
        st.st_ctim.tv_sec,
        st.st_ctim.tv_nsec};
  return true;
}

std::string Shown(const char* label, const std::string& part) {
  return std::string(label) + (part.empty() ? " " : part);
}

// The page is the one processed: when no step replaced the image (a small page
// under "No more than ..." without rotation), it is still the page of a
// multi-page source, and page 0 would save the first page under every "_p" name.
template <typename Record>
void FillHead(Record& r, const ConverterSettings& s, int page) {
  r.width = -1;
  r.height = -1;
  r.method = s.sizeZoomQual;
  r.page = page;
  r.proportional = 0;
  r.reserved = 1;
  r.angle = 0;
  r.crop = RECT{0, 0, 0, 0};
}

}  // namespace

int BitsPerPixel(int cdBpp) {
  switch (cdBpp) {
    case 0: return 32;
    case 2: return 8;
    case 3: return 4;
    case 4: return 1;
    default: return 24;
  }
}

bool MayBeListOutput(const std::string& path, int target, const std::string& writer, const std::string& multipageName) {
  const std::string extension = TypeRow(target).extension;
  const std::string base = BaseName(writer);
  auto startsWith = [](const std::string& name, const std::string& prefix) {
    return !prefix.empty() && name.size() >= prefix.size() &&
           ::strncasecmp(name.c_str(), prefix.c_str(), prefix.size()) == 0;
  };
  auto written = [&](const std::string& where) {
    const std::string name = FileNameOf(where);
    const bool typed = extension.empty() ||  // no type to tell outputs by: any file may be one
                       (name.size() >= extension.size() &&
                        ::strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0);
    // Its names are the base name, numbered or with a page, or the gathering file.
    return typed && (base.empty() || startsWith(name, base) || startsWith(name, multipageName));
  };
  if (written(path)) return true;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return true;
  const bool output = written(resolved);
  std::free(resolved);
  return output;
}

ConversionEngine::ConversionEngine(EngineView* view) : view_(view ? view : &quiet_) { settings_.Load(); }

bool ConversionEngine::IsMultipageTarget(int target) const {
  return settings_.optAddToMultipage && (target == ConverterType::Gif || target == ConverterType::Tif ||
                                         target == ConverterType::Tiff || target == ConverterType::Dcx);
}

// Where files and the log go follows the registry from one name to the next; the
// job's own record, which every processing and save step reads, stays as loaded.
ConverterSettings ConversionEngine::Current() {
  ConverterSettings now;
  now.Load();
  return now;
}

std::string ConversionEngine::DestinationFolder(const std::string& path, const ConverterSettings& now, bool make) {
  const std::string folder = now.optUsePredefFolder ? now.optFolderPath : FolderOf(path);
  if (!make) return IsFolder(folder) ? folder : std::string();
  return MakeFolders(folder) ? folder : std::string();
}

std::string ConversionEngine::LogPath(const std::string& path) {
  const std::string folder = DestinationFolder(path, Current());
  return folder.empty() ? std::string() : folder + "/" + kLogName;
}

std::string ConversionEngine::OutputName(const std::string& path, int target, int page, int pageCount) {
  const ConverterSettings now = Current();
  const std::string folder = DestinationFolder(path, now);
  if (folder.empty()) return {};
  const std::string extension = TypeRow(target).extension;
  // Whether the pages gather in one file goes with the job's record: its save
  // step appends by that record, and appending must go to the gathering file.
  if (IsMultipageTarget(target)) {
    const std::string name = folder + "/" + now.optMultipageFileName + extension;
    if (SameFile(name, path)) return MakeUnique(name);  // never append to the source itself
    if (now.optOverwriteExisting && firstOutput_) RemoveWritable(name);
    return name;
  }
  const std::string base = BaseName(path);
  // A name that is the source itself is always made unique, so a conversion can
  // never delete or overwrite the file it reads.
  if (now.optUseAllPages && pageCount > 1) {
    const std::string name = folder + "/" + base + "_p" + std::to_string(page + 1) + extension;
    if (now.optOverwriteExisting && !SameFile(name, path)) {
      RemoveWritable(name);
      return name;
    }
    return MakeUnique(name);
  }
  const std::string name = folder + "/" + base + extension;
  if (now.optOverwriteExisting && !SameFile(name, path)) RemoveWritable(name);
  return MakeUnique(name);
}

void ConversionEngine::Log(const std::string& text) {
  view_->Message(text);
  if (!settings_.optCreateLog || logPath_.empty()) return;
  if (FILE* f = std::fopen(logPath_.c_str(), "a")) {
    std::fprintf(f, "%s\n", text.c_str());
    std::fclose(f);
  }
}

void ConversionEngine::LogHeader() {
  if (!settings_.optCreateLog || logPath_.empty()) return;
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char when[64];
  std::snprintf(when, sizeof when, "%d/%d/%d %d:%d:%d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                t.tm_sec);
  if (FILE* f = std::fopen(logPath_.c_str(), "a")) {
    std::fprintf(f, "%s\n%s\n%s\n%s\n%s\n%s\n", kSeparator, when, lines_[0].c_str(), lines_[1].c_str(),
                 lines_[2].c_str(), lines_[3].c_str());
    std::fclose(f);
  }
}

void ConversionEngine::Show(const std::string& file, const std::string& from, const std::string& to,
                            const std::string& name) {
  lines_[0] = Shown("File: ", file);
  lines_[1] = Shown("From: ", from);
  lines_[2] = Shown("To:   ", to);
  lines_[3] = Shown("File: ", name);
  view_->ShowLines(lines_[0], lines_[1], lines_[2], lines_[3]);
}

bool ConversionEngine::RunJob(const std::string& fileArgument, int runMode) {
  try {
    view_->TaskRange(0, 1);
    view_->FileRange(0, 6);
    ConvertFile(fileArgument, runMode, -1);
    view_->FileFull();
    view_->TaskStep();
  } catch (...) {
    ++failures_;
    Log(kFatal);
  }
  view_->TaskFull();
  view_->FileFull();
  return failures_ == 0;
}

void ConversionEngine::ConvertFile(const std::string& path, int target, int page) {
  if (page >= 0) {
    ConvertPage(path, target, page, image_.GetPageCount());
    return;
  }
  if (path.empty() || cancelled_) return;
  try {
    if (!Readable(path)) {
      // Reported in the log of the folder it would have gone to when that folder
      // is there, else in the log in use: a mistyped name leaves no folders behind.
      const std::string folder = DestinationFolder(path, Current(), false);
      if (!folder.empty()) logPath_ = folder + "/" + kLogName;
      ++failures_;
      view_->MissingSource(path);
      Log(kNotExist);
      return;
    }
    logPath_ = LogPath(path);
    if (target == kRunBatch) {
      ReadList(path);
      Log(kSuccess);
      return;
    }
    if (target == kRunClipboard || target == kRunWallpaper) {
      Show(FileNameOf(path), FolderOf(path), target == kRunClipboard ? "Clipboard" : "Desktop", "");
      LogHeader();
    }
    int count = 0;
    if (!image_.IsLoaded()) {
      if ((ready_ = TakePrefetch(path))) {
        image_ = ready_->image;
        count = ready_->pageCount;
      } else {
        image_.Load(path.c_str(), 1);
      }
    }
    if (count == 0) count = image_.GetPageCount();
    // The first page call would load the same file again at once: it takes this
    // image instead (decoding a photo twice costs as much as the rest of its
    // conversion).
    loadedFrom_ = image_.IsLoaded() ? path : std::string();
    view_->FileRange(0, 6 * count);
    const int pages = settings_.optUseAllPages ? count : 1;
    for (int p = 0; p < pages && !cancelled_; ++p) ConvertPage(path, target, p, count);
  } catch (...) {
    ++failures_;
    Log(kInterrupted);
    image_.CloseHandle();
  }
}

void ConversionEngine::FailPage() {
  ++failures_;
  image_.CloseHandle();
  view_->FileFull();
}

void ConversionEngine::ConvertPage(const std::string& path, int target, int page, int pageCount) {
  try {
    logPath_ = LogPath(path);
    Show(FileNameOf(path), FolderOf(path), "", "");
    const bool fresh = page == 0 && image_.IsLoaded() && loadedFrom_ == path;
    loadedFrom_.clear();
    // The first page of an entry read ahead may be processed already.
    std::unique_ptr<Ahead> ahead = fresh && ready_ && ready_->processed ? std::move(ready_) : nullptr;
    ready_.reset();
    if (!fresh && !image_.Load(path.c_str(), 1)) {
      ++failures_;
      view_->FailureReason(lorimer::LastLoadFailure());
      Log(kLoadingFailed);
      return;
    }
    std::string destination;
    if (target == kRunClipboard || target == kRunWallpaper) {
      Show(FileNameOf(path), FolderOf(path), target == kRunClipboard ? "Clipboard" : "Desktop", "");
      LogHeader();
    } else {
      destination = OutputName(path, target, page, pageCount);
      firstOutput_ = false;
      Show(FileNameOf(path), FolderOf(path), FolderOf(destination), FileNameOf(destination));
      LogHeader();
    }
    Log(kImageLoading);
    int current = page;
    bool processed = false;
    if (ahead) {
      Report(ahead->reports);
      if (ahead->interrupted) throw std::runtime_error("processing");
      processed = ahead->ok;
      current = ahead->page;
    } else {
      StepReports reports;
      try {
        processed = Process(image_, current, reports);
      } catch (...) {
        Report(reports);
        throw;
      }
      Report(reports);
    }
    if (!processed) return FailPage();
    if (cancelled_) {
      image_.CloseHandle();
      return;
    }
    Log(kConverting);
    const bool saved = SaveStep(destination, target, current);
    if (saved)
      ++outputs_;
    else
      ++failures_;
    Log(saved ? kSuccess : kError);
    view_->FileStep();
    image_.CloseHandle();
  } catch (...) {
    ++failures_;
    Log(kInterrupted);
    image_.CloseHandle();
  }
}

// The processing steps; each steps the file bar once when done or skipped (zoom
// twice). They touch nothing but the image and what they report, so they may run
// ahead on another thread. False when a step failed (its message is logged).
bool ConversionEngine::Process(CImageInterface& image, int& page, StepReports& out) const {
  if (!Crop(image, page, out)) return false;
  out.push_back(StepReport{true, {}});
  if (!Zoom(image, page, out)) return false;
  out.push_back(StepReport{true, {}});
  out.push_back(StepReport{true, {}});
  const ConverterSettings& s = settings_;
  if (s.briconBri != 0) {
    out.push_back(StepReport{false, kBrightness});
    if (!image.SetBrightness(s.briconBri, page)) {
      out.push_back(StepReport{false, kBrightnessError});
      return false;
    }
  }
  out.push_back(StepReport{true, {}});
  if (s.briconRed != 0 || s.briconGreen != 0 || s.briconBlue != 0) {
    out.push_back(StepReport{false, kContrast});
    // A failed red or green pass ends the page; only the last one is reported.
    if (!image.SetContrast(s.briconRed, 4, page, -1) || !image.SetContrast(s.briconGreen, 2, page, -1)) return false;
    if (!image.SetContrast(s.briconBlue, 1, page, -1)) {
      out.push_back(StepReport{false, kContrastError});
      return false;
    }
  }
  out.push_back(StepReport{true, {}});
  return true;
}

bool ConversionEngine::Crop(CImageInterface& image, int& page, StepReports& out) const {
  const ConverterSettings& s = settings_;
  if (s.cropMode == 0) return true;
  out.push_back(StepReport{false, kCrop});
  RECT rect{s.cropX0, s.cropY0, 0, 0};
  if (s.cropMode == 1) {
    rect.right = s.cropX0 + s.cropWidth;
    rect.bottom = s.cropY0 + s.cropHeight;
  } else {
    rect.right = image.GetWidth(0) - s.cropX1;
    rect.bottom = image.GetHeight(0) - s.cropY1;
  }
  HBITMAP cropped = image.CropImage(rect, page);
  image.CloseHandle();
  // The crop is the whole image now: the steps after it work on its one page.
  if (cropped && image.InitFromHBITMAP(cropped)) page = 0;
  if (!image.IsLoaded()) {
    out.push_back(StepReport{false, kCropFailed});
    return false;
  }
  return true;
}

bool ConversionEngine::Zoom(CImageInterface& image, int& page, StepReports& out) const {
  const ConverterSettings& s = settings_;
  out.push_back(StepReport{false, kZoom});
  static constexpr long kMethods[4] = {0, 1, 2, 4};
  const long method = s.sizeZoomQual >= 0 && s.sizeZoomQual <= 3 ? kMethods[s.sizeZoomQual] : 0;
  const bool vector = image.IsVectorImage() != 0;
  const int width = image.GetWidth(page), height = image.GetHeight(page);
  switch (s.sizeZoomMode) {
    case 1:
      if (width > s.sizeNewWidth || height > s.sizeNewHeight)
        image.StretchImage(method, s.sizeNewWidth, s.sizeNewHeight, 1, 3, s.sizeBkColor, page);
      break;
    case 2:
      if (width != s.sizeNewWidth || height != s.sizeNewHeight)
        image.StretchImage(method, s.sizeNewWidth, s.sizeNewHeight, 0, 3, s.sizeBkColor, page);
      break;
    case 3:
      image.StretchImage(method, static_cast<int>(width * s.sizeMultiplier),
                         static_cast<int>(height * s.sizeMultiplier), 0, 3, s.sizeBkColor, page);
      break;
    default:
      // "Save as is": a raster page is rendered at its own size, a drawing left alone.
      if (!vector) image.StretchImage(-1, -1, -1, 0, 3, s.sizeBkColor, page);
      break;
  }
  if (!image.IsVectorImage()) image.Rotate(static_cast<float>(s.sizeRotAngle * 0.01), s.sizeBkColor, page);
  if (!image.IsLoaded()) {
    out.push_back(StepReport{false, kZoomFailed});
    return false;
  }
  return true;
}

void ConversionEngine::Report(const StepReports& reports) {
  for (const StepReport& r : reports) {
    if (r.fileStep)
      view_->FileStep();
    else
      Log(r.message);
  }
}

bool ConversionEngine::SaveStep(const std::string& destination, int target, int page) {
  const ConverterSettings& s = settings_;
  if (target == kRunClipboard) return clipboard_ && clipboard_(image_, s);
  if (target == kRunWallpaper) return wallpaper_ && wallpaper_(image_, s);
  if (destination.empty()) return false;
  const char* out = destination.c_str();
  const int bits = BitsPerPixel(s.cdBpp);
  auto save = [&](auto r) { return image_.Save(out, &r) != 0; };
  // The raster records: the common head, and the depth (and gray flag) chosen.
  auto head = [&](auto r) {
    FillHead(r, s, page);
    r.depth = bits;
    return r;
  };
  // (Built by copying, never by assigning: a record's assignment leaves its head alone.)
  auto gray = [&](auto r) {
    auto g = head(r);
    g.gray = s.cdGray;
    return g;
  };
  // The metafile records: quality field 4, the vectorize option as their flag.
  auto metafile = [&](auto r) {
    r.method = 4;
    r.page = page;
    return r;
  };
  switch (target) {
    case ConverterType::Tga:
    case ConverterType::Targa: return save(gray(_SAVEIMAGEINFO::_TGA{}));
    case ConverterType::Pcx: return save(gray(_SAVEIMAGEINFO::_PCX{}));
    case ConverterType::Dcx: {
      auto r = gray(_SAVEIMAGEINFO::_DCX{});
      r.append = s.optAddToMultipage;
      return save(r);
    }
    case ConverterType::Gif: {
      auto r = gray(_SAVEIMAGEINFO::_GIF{});
      r.interlace = s.inetInterlacing;
      r.append = s.optAddToMultipage;
      return save(r);
    }
    case ConverterType::Jpg:
    case ConverterType::Jif:
    case ConverterType::Jfif:
    case ConverterType::Jpe:
    case ConverterType::Jpeg: {
      auto r = head(_SAVEIMAGEINFO::_JPG{});
      r.quality = s.inetJpegQual;
      return save(r);
    }
    case ConverterType::Tif:
    case ConverterType::Tiff: {
      auto r = head(_SAVEIMAGEINFO::_TIF{});
      r.colour = s.cdGray ? 0 : 1;
      std::snprintf(r.artist, sizeof r.artist, "%s", s.tiffArtist.c_str());
      std::snprintf(r.copyright, sizeof r.copyright, "%s", s.tiffCopyright.c_str());
      r.fillOrder = s.tiffReverseFill ? 2 : 0;
      r.compression = s.tiffCompressionMode;
      r.append = s.optAddToMultipage;
      return save(r);
    }
    case ConverterType::Png: {
      auto r = gray(_SAVEIMAGEINFO::_PNG{});
      r.compression = s.inetPngCompress;
      r.filter = s.inetPngFilterMode;
      return save(r);
    }
    case ConverterType::Eps:
    case ConverterType::Epsf: {
      auto r = metafile(_SAVEIMAGEINFO::_EPS{});
      r.preview = s.optVectorize;
      return save(r);
    }
    case ConverterType::Wmf: {
      auto r = metafile(_SAVEIMAGEINFO::_WMF{});
      r.mode = s.optVectorize;
      return save(r);
    }
    case ConverterType::Emf: {
      auto r = metafile(_SAVEIMAGEINFO::_EMF{});
      r.mode = s.optVectorize;
      return save(r);
    }
    case ConverterType::Fmf: {
      _SAVEIMAGEINFO::_FMF r{};
      FillHead(r, s, page);
      return save(r);
    }
    default:
      // BMP, and the types the converter reads but does not write.
      if (target < 1 || target > kTypeRows) return false;
      return save(gray(_SAVEIMAGEINFO::_BMP{}));
  }
}

void ConversionEngine::ReadList(const std::string& listPath) {
  std::ifstream in(listPath, std::ios::binary);
  if (!in) return;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));
  in.close();
  view_->TaskRange(0, lines.empty() ? 0 : static_cast<int>(lines.size()) - 1);
  view_->FileStart();
  // The target line, then the file lines after it.
  int target = 0;
  std::vector<std::string> files;
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A longer line is no path we could have written; it is skipped whole.
    if (line.size() + 1 > kMaxListLine) continue;
    if (target == 0) {
      target = ListTargetRow(line);
    } else if (IsListFileLine(line)) {
      files.push_back(std::move(line));
    }
  }
  lines.clear();
  size_t started = 1;  // entries before this one have been handed to a reader ahead (or not)
  for (size_t i = 0; i < files.size() && !cancelled_; ++i) {
    // While this file is converted the next ones are read and processed on other
    // threads; names, log, progress and saves still come one file after the other.
    for (; started < files.size() && started <= i + kReadAhead; ++started)
      StartPrefetch(files[started], target, std::vector<std::string>(files.begin() + i, files.begin() + started));
    ConvertFile(files[i], target, -1);
    view_->FileFull();
    view_->TaskStep();
  }
  DropPrefetch();
  Log(kFinished);
}

void ConversionEngine::StartPrefetch(const std::string& path, int target, const std::vector<std::string>& writers) {
  auto ahead = std::make_unique<Ahead>();
  if (!Readable(path) || !Identify(path, ahead->identity)) return;
  for (const std::string& writer : writers)
    if (MayBeListOutput(path, target, writer, settings_.optMultipageFileName)) return;
  ahead->path = path;
  auto work = [this, ahead = std::move(ahead)]() mutable {
    Ahead& a = *ahead;
    if (!a.image.Load(a.path.c_str(), 1)) return std::move(ahead);
    a.pageCount = a.image.GetPageCount();
    a.processed = true;
    try {
      a.ok = Process(a.image, a.page, a.reports);
    } catch (...) {
      a.interrupted = true;
    }
    return std::move(ahead);
  };
  if (!readers_) readers_ = std::make_unique<WorkerThreads>(static_cast<int>(kReadAhead));
  ahead_.emplace_back(path, readers_->Run(std::move(work)));
}

WorkerThreads::WorkerThreads(int count) {
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Loop(); });
}

WorkerThreads::~WorkerThreads() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void WorkerThreads::Loop() {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, with nothing left to do
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
  }
}

std::unique_ptr<ConversionEngine::Ahead> ConversionEngine::TakePrefetch(const std::string& path) {
  if (ahead_.empty() || ahead_.front().first != path) return nullptr;
  std::unique_ptr<Ahead> ahead = ahead_.front().second.get();
  ahead_.pop_front();
  if (!ahead || !ahead->image.IsLoaded()) return nullptr;
  // Changed since it was read (by anyone): the file is loaded again as it is now.
  FileIdentity now;
  if (!Identify(path, now) || now != ahead->identity) return nullptr;
  return ahead;
}

void ConversionEngine::DropPrefetch() {
  for (auto& entry : ahead_)
    if (entry.second.valid()) entry.second.get();
  ahead_.clear();
  ready_.reset();
}

}  // namespace converter
