// epswriter "<wmf>" "<eps>" <preview> <a> <b>: writes a metafile as an EPS file,
// with a TIFF preview when <preview> is not 0. The two numbers after it are taken
// and not used. Started hidden by the image library, which splits nothing itself:
// on Linux the five parts arrive as separate arguments, or as one argument holding
// the whole line, which is then split the Windows way. Silent; exit code 0 always.
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "siblings/epswriter/epswriter_lib.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.size() == 1) args = vel::SplitCommandLine(args[0].c_str());
    if (args.size() < 2 || args[0].empty() || args[1].empty()) return 0;
    const bool preview = args.size() >= 3 && std::strtol(args[2].c_str(), nullptr, 10) != 0;
    // Never a window: the helper draws into a PDF and an image only.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    vel::ui::EnsureApplication();
    vel::ui::RegisterExtraFonts();
    epswriter::WriteEps(args[0], args[1], preview);
  } catch (...) {
  }
  return 0;
}
