#include "converter/rename/RunRename.h"

#include <cstdio>

#include "converter/rename/CRenameProgressDlg.h"
#include "converter/rename/RenameJob.h"
#include "converter/settings/ConverterSettings.h"
#include "platform/ui/progress.h"
#include "platform/ui/ui.h"

namespace converter {
namespace {

void WriteLine(const std::string& line) {
  const std::string out = line + "\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

// Without a window the outcome of each file is the only sign of progress.
class StderrEvents : public RenameEvents {
 public:
  void outcome(const RenameFile& f, const std::string& message) override {
    WriteLine("rename " + std::to_string(f.index) + " of " + std::to_string(f.total) + ": " + f.source + " -> " +
              (f.newName.empty() ? std::string() : f.NewPath()) + ": " + message);
  }
  void finished(const RenameResult&, const std::string& message) override {
    if (!message.empty()) WriteLine(message);
  }
};

}  // namespace

int RunRenameHeadless(const std::string& listPath) {
  try {
    ConverterSettings settings;
    settings.Load();
    StderrEvents events;
    return RunRenameJob(listPath, settings, RenameAsker(), &events).AllDone() ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

int RunRename(const std::string& listPath) {
  try {
    if (vel::ui::HasDisplay()) vel::ui::EnsureApplication();
    if (!vel::ui::CanShowWindows()) return RunRenameHeadless(listPath);
    CRenameProgressDlg dialog(listPath);
    dialog.exec();
    return dialog.jobDone() && dialog.result().AllDone() ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

}  // namespace converter
