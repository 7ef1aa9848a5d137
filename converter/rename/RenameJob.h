// The batch rename job: reads a rename list, builds each new name from the
// chosen mask and a running counter, and renames the file in its folder or
// copies it into the folder for renamed files. No widgets here: the progress
// dialog and the headless run both drive this same job, the dialog through the
// events and the asker.
#pragma once

#include <functional>
#include <string>

#include "converter/settings/ConverterSettings.h"

namespace converter {

// The job's outcome texts.
inline constexpr const char* kRenameSuccess = "Rename success";
inline constexpr const char* kRenameRefused = "Error: file can not be renamed";
inline constexpr const char* kRenameNotFound = "Error: source file or destination folder was not found";
inline constexpr const char* kRenameComplete = "Rename complete";
inline constexpr const char* kRenameFatal = "File Rename: fatal error";
// The log file, in the destination folder.
inline constexpr const char* kRenameLogName = "Corbanix.log";

// Mask 0 NAME COUNTER EXT, 1 mask1 NAME COUNTER EXT, 2 mask2 COUNTER EXT,
// 3 mask3 NAME EXT, 4 NAME "." mask4. A mode outside 0..4 is clamped into it, as
// every registry value is.
std::string BuildRenameName(int mode, const std::string (&masks)[4], const std::string& name, const std::string& ext,
                            long long counter);

// One file line of the list, as the dialog shows it.
struct RenameFile {
  int index = 0;             // 1 for the first file line
  int total = 0;             // file lines in the list
  std::string source;        // the path as listed
  std::string sourceFolder;  // with its trailing "/" ("" for a bare name)
  std::string fileName;      // the source's name without folder
  std::string destFolder;    // with its trailing "/"
  std::string newName;       // the proposed name, without folder ("" when none is free)
  std::string NewPath() const { return destFolder + newName; }
};

enum class RenameAnswer {
  Rename,     // "Rename file"
  Skip,       // "Skip file"
  RenameAll,  // "Rename all": this file and every later one without asking
  Stop,       // the dialog went away: end the job before the next file
};

// Asked for each file while asking is on. An empty asker means nobody can be
// asked, so the job runs as after "Rename all".
using RenameAsker = std::function<RenameAnswer(const RenameFile&)>;

struct RenameResult {
  bool listOpened = false;
  int listed = 0;   // file lines naming a file
  int renamed = 0;  // renamed or copied
  int skipped = 0;  // by the user
  int failed = 0;   // missing, refused, or no free name
  bool stopped = false;
  bool fatal = false;
  // Every listed file was renamed or copied (an empty list counts as done).
  bool AllDone() const { return listOpened && !stopped && !fatal && renamed == listed; }
};

// What the job reports while it runs; every call comes from the job's thread.
class RenameEvents {
 public:
  virtual ~RenameEvents() = default;
  // The progress range and whether the user will be asked.
  virtual void started(int /*range*/, bool /*asking*/) {}
  // The lines and the proposed name of the file in work.
  virtual void showFile(const RenameFile& /*file*/) {}
  // "Rename all" was chosen: nobody is asked any more.
  virtual void askingStopped() {}
  // The outcome of one file (none for a skipped one).
  virtual void outcome(const RenameFile& /*file*/, const std::string& /*message*/) {}
  virtual void stepped() {}
  // The job is over; message is "Rename complete", the fatal-error text, or ""
  // when the list could not be read.
  virtual void finished(const RenameResult& /*result*/, const std::string& /*message*/) {}
  // Polled before every file: true ends the job there.
  virtual bool stopRequested() { return false; }
};

// Runs the whole job. Never throws.
RenameResult RunRenameJob(const std::string& listPath, const ConverterSettings& settings, const RenameAsker& asker,
                          RenameEvents* events = nullptr);

}  // namespace converter
