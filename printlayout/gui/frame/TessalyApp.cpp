#include "printlayout/gui/frame/TessalyApp.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/shell/shell.h"
#include "platform/ui/progress.h"
#include "platform/ui/ui.h"
#include "printlayout/cli/Startup.h"
#include "printlayout/gui/frame/MainWindow.h"

namespace tessaly {

int RunTessaly(int argc, char** argv) {
  vel::ui::EnsureApplication();
  auto environment = MakeSystemEnvironment();
  environment->settings.load();
  Project project(*environment);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  char program[4096] = {};
  GetModuleFileNameA(nullptr, program, sizeof(program));
  Startup startup = PrepareStartup(project, words, program);

  int status = 0;
  switch (startup.mode) {
    case RunMode::PrintAndExit: status = PrintAndExit(project); break;
    case RunMode::PageSetupAndExit: status = PageSetupAndExit(project); break;
    case RunMode::Interactive: {
      project.setModified(false);
      if (!vel::ui::CanShowWindows()) {
        std::fprintf(stderr, "Tessaly: no display to show the pages on; use /p to print them\n");
        status = 1;
        break;
      }
      QGuiApplication::setDesktopFileName(QStringLiteral("tessaly"));
      MainWindow window(project);
      window.setHelpFile(startup.helpFile);
      window.show();
      status = QApplication::exec();
      break;
    }
  }
  environment->settings.save();
  return status;
}

}  // namespace tessaly
