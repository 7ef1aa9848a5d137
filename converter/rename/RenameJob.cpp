#include "converter/rename/RenameJob.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "converter/cli/FileNames.h"
#include "converter/rename/FileMoves.h"

namespace converter {
namespace {

// A list line holds at most 1023 characters with its line break. Longer lines
// are reported as bad rather than cut: a cut path could name another file.
constexpr size_t kMaxLine = 1022;
// Modes 0 to 2 look for a free name by raising the counter; a folder would need
// this many files of one pattern before we give up on the file.
constexpr long long kMaxCounterTries = 1000000;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}
bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using ListFile = std::unique_ptr<FILE, FileCloser>;

// Only a regular file: a fifo or a device as list would never end.
ListFile OpenList(const std::string& path) {
  if (path.empty()) return nullptr;
  ListFile f(std::fopen(path.c_str(), "rb"));
  struct stat st {};
  if (!f || ::fstat(fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return f;
}

int CountLines(FILE* f) {
  int lines = 0;
  bool partial = false;
  char buffer[1 << 14];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    for (size_t i = 0; i < n; ++i)
      if (buffer[i] == '\n' && lines < 0x7FFFFFFF) ++lines;
    partial = buffer[n - 1] != '\n';
  }
  std::rewind(f);
  return partial && lines < 0x7FFFFFFF ? lines + 1 : lines;
}

struct ListLine {
  std::string text;
  bool bad = false;  // too long, or holding a NUL that would cut the path short
};

// One line without its line break (Windows-written lists end lines with "\r\n").
bool ReadLine(FILE* f, ListLine& line) {
  line.text.clear();
  line.bad = false;
  bool any = false;
  int c;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == '\0') line.bad = true;
    if (line.text.size() <= kMaxLine + 1)
      line.text.push_back(static_cast<char>(c));
    else
      line.bad = true;
  }
  while (!line.text.empty() && (line.text.back() == '\r' || line.text.back() == '\n')) line.text.pop_back();
  if (line.text.size() > kMaxLine) line.bad = true;
  return any;
}

// A new name is a name in the destination folder, never a path elsewhere.
bool UsableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The proposed name in destFolder, "" when none can be had. Modes 0 to 2 raise
// the counter until the name is free. Modes 3 and 4 do not contain the counter,
// so a taken name is numbered the way conversions number their outputs.
std::string ProposeName(int mode, const std::string (&masks)[4], const std::string& name, const std::string& ext,
                        const std::string& destFolder, long long& counter) {
  if (mode >= 3) {
    const std::string wanted = BuildRenameName(mode, masks, name, ext, counter);
    if (!UsableName(wanted)) return {};
    const std::string unique = MakeUnique(destFolder + wanted);
    return unique.empty() ? std::string() : FileNameOf(unique);
  }
  for (long long tries = 0; tries < kMaxCounterTries; ++tries, ++counter) {
    const std::string wanted = BuildRenameName(mode, masks, name, ext, counter);
    if (!UsableName(wanted)) return {};
    if (!Exists(destFolder + wanted)) return wanted;
  }
  return {};
}

class Job {
 public:
  Job(const ConverterSettings& settings, const RenameAsker& asker, RenameEvents& events)
      : settings_(settings), asker_(asker), events_(events) {}

  void run(const std::string& listPath) {
    ListFile list = OpenList(listPath);
    if (!list) {
      events_.finished(result_, "");
      return;
    }
    result_.listOpened = true;
    const int lines = CountLines(list.get());
    total_ = std::max(lines - 1, 0);
    chooseFolder();
    asking_ = settings_.renAskBefore != 0 && static_cast<bool>(asker_);
    events_.started(total_, asking_);

    ListLine line;
    int lineNo = 0;
    while (ReadLine(list.get(), line)) {
      ++lineNo;
      if (lineNo > 1) {  // the first line is the "RENAME" line
        if (events_.stopRequested() || !handle(line, lineNo - 1)) {
          result_.stopped = true;
          break;
        }
        events_.stepped();
      }
      ++counter_;
    }
    list.reset();
    if (result_.stopped) {
      events_.finished(result_, "");
      return;
    }
    logLast(kRenameComplete);
    events_.finished(result_, kRenameComplete);
  }

  RenameResult& result() { return result_; }

  // After an exception: the message goes where the last one went.
  void fatal() {
    result_.fatal = true;
    logLast(kRenameFatal);
    events_.finished(result_, kRenameFatal);
  }

 private:
  // "REN_FolderPath" when it is in use; one missing level is created, and a
  // folder that still does not exist means renaming in place.
  void chooseFolder() {
    if (!settings_.renUsePredefFolder || settings_.renFolderPath.empty()) return;
    std::string folder = settings_.renFolderPath;
    if (!IsFolder(folder)) ::mkdir(folder.c_str(), 0777);
    if (!IsFolder(folder)) return;
    if (folder.back() != '/') folder += '/';
    chosen_ = folder;
    logFolder_ = folder;
    haveLogFolder_ = true;
  }

  // False when the job is to end here.
  bool handle(const ListLine& line, int index) {
    if (line.text.empty() && !line.bad) return true;  // a blank line names no file
    ++result_.listed;
    RenameFile file;
    file.index = index;
    file.total = total_;
    file.source = line.text;
    // Kept with its trailing "/" so a file in "/" or a bare relative name work alike.
    const size_t slash = file.source.rfind('/');
    file.sourceFolder = slash == std::string::npos ? std::string() : file.source.substr(0, slash + 1);
    file.fileName = file.source.substr(slash == std::string::npos ? 0 : slash + 1);
    // NAME and EXT split at the last dot; a name without one is all NAME.
    const size_t dot = file.fileName.rfind('.');
    const std::string name = dot == std::string::npos ? file.fileName : file.fileName.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : file.fileName.substr(dot);
    file.destFolder = chosen_.empty() ? file.sourceFolder : chosen_;
    if (!line.bad)
      file.newName = ProposeName(std::clamp(settings_.renTemplateMode, 0, 4), settings_.renTemplates, name, ext,
                                 file.destFolder, counter_);
    events_.showFile(file);
    logFolder_ = file.destFolder;
    haveLogFolder_ = true;

    if (line.bad || !IsFile(file.source) || !IsFolder(file.destFolder)) return finish(file, kRenameNotFound, false);
    if (asking_) {
      switch (asker_(file)) {
        case RenameAnswer::Stop: return false;
        case RenameAnswer::Skip: ++result_.skipped; return true;
        case RenameAnswer::RenameAll:
          asking_ = false;
          events_.askingStopped();
          break;
        case RenameAnswer::Rename: break;
      }
    }
    // The copy and the rename both refuse a name that turned up since it was
    // proposed (the user may have taken a while to answer).
    const bool done = !file.newName.empty() && (chosen_.empty() ? MoveNoReplace(file.source, file.NewPath())
                                                                : CopyNoReplace(file.source, file.NewPath()));
    return finish(file, done ? kRenameSuccess : kRenameRefused, done);
  }

  bool finish(const RenameFile& file, const char* message, bool done) {
    ++(done ? result_.renamed : result_.failed);
    log(file.destFolder, message);
    events_.outcome(file, message);
    return true;
  }

  // The outcome texts go to "Corbanix.log" in the destination folder, as
  // conversions log theirs, and only with "OPT_CreateLog" on. Nothing else
  // records them.
  void log(const std::string& folder, const char* text) const {
    if (!settings_.optCreateLog) return;
    FILE* f = std::fopen((folder + kRenameLogName).c_str(), "a");
    if (!f) return;
    std::fprintf(f, "%s\n", text);
    std::fclose(f);
  }
  // Messages that belong to no file go where the last one went: the chosen
  // folder, or the folder of the last file handled; nowhere before either.
  void logLast(const char* text) const {
    if (haveLogFolder_) log(logFolder_, text);
  }

  const ConverterSettings& settings_;
  const RenameAsker& asker_;
  RenameEvents& events_;
  RenameResult result_;
  std::string chosen_;     // the folder for renamed files, with "/"; "" renames in place
  std::string logFolder_;  // the folder of the file in work
  bool haveLogFolder_ = false;
  long long counter_ = 0;
  int total_ = 0;
  bool asking_ = false;
};

}  // namespace

std::string BuildRenameName(int mode, const std::string (&masks)[4], const std::string& name, const std::string& ext,
                            long long counter) {
  const std::string number = std::to_string(counter);
  switch (std::clamp(mode, 0, 4)) {
    case 0: return name + number + ext;
    case 1: return masks[0] + name + number + ext;
    case 2: return masks[1] + number + ext;
    case 3: return masks[2] + name + ext;
    default: return name + "." + masks[3];
  }
}

RenameResult RunRenameJob(const std::string& listPath, const ConverterSettings& settings, const RenameAsker& asker,
                          RenameEvents* events) {
  RenameEvents none;
  Job job(settings, asker, events ? *events : none);
  try {
    job.run(listPath);
  } catch (...) {
    try {
      job.fatal();
    } catch (...) {
      job.result().fatal = true;
    }
  }
  return job.result();
}

}  // namespace converter
