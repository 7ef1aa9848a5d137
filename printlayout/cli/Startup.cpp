#include "printlayout/cli/Startup.h"

#include <QDialog>

#include <cstdio>

#include "platform/shell/shell.h"
#include "platform/ui/progress.h"
#include "platform/ui/ui.h"
#include "printlayout/file/ProjectFile.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/print/Printing.h"
#include "printlayout/print/ProjectOptions.h"

namespace tessaly {

std::string HelpFilePath(const std::string& programPath) {
  const size_t slash = programPath.find_last_of('/');
  const size_t dot = programPath.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return programPath + ".hlp";
  return programPath.substr(0, dot) + ".hlp";
}

Startup PrepareStartup(Project& project, const std::vector<std::string>& words, const std::string& programPath) {
  Startup s;
  s.record = ParseCommandLine(words, [](const std::string& path) { return detectProjectVersion(path); });
  s.imagesAdded = FillProject(project, s.record);
  s.helpFile = HelpFilePath(programPath);
  applyStartupArrange(project, s.record.pageSetupMode);
  if (s.record.printMode) {
    s.mode = RunMode::PrintAndExit;
  } else if (s.record.pageSetupMode) {
    s.mode = RunMode::PageSetupAndExit;
  }
  return s;
}

int PrintAndExit(Project& project) {
  PageList pages;
  for (int p = project.firstPageNumber; p <= project.lastPageNumber(); ++p) pages.push_back(p);
  std::string pdf;
  if (!printPages(project, pages, nullptr, &pdf)) {
    vel::ui::MessageBox("Tessaly", kPrintJobFailed, MB_OK | MB_ICONEXCLAMATION);
    return 1;
  }
  // Without a screen nobody sees where the PDF went: say it.
  if (!pdf.empty() && !vel::ui::CanShowWindows()) std::printf("%s\n", pdf.c_str());
  return 0;
}

int PageSetupAndExit(Project& project) {
  if (project.path.empty()) {
    vel::ui::MessageBox("Tessaly", kSetupWithoutFile, MB_OK);
    return 0;
  }
  // Without a screen nobody can change the options: leave the file alone.
  if (!vel::ui::CanShowWindows()) return 0;
  ProjectOptionsSheet sheet(project);
  if (sheet.exec() == QDialog::Accepted) {
    if (!saveProject(project, project.path)) return 1;
  }
  return 0;
}

}  // namespace tessaly
