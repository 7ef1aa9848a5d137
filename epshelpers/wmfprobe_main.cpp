// wmfprobe "<metafile>" "<text file>": writes "width height depth flag" of a
// metafile, as Marrow measures it at the screen's resolution, into the text file
// (no line end). Nothing is written when Marrow cannot answer or reports no area;
// the exit code is always 0.
#include <cstdio>

#include "platform/gdi/gdi.h"
#include "platform/gdi/owned.h"
#include "platform/shell/helper_args.h"
#include "siblings/marrow/marrow.h"

int main(int argc, char** argv) {
  try {
    const auto paths = vel::shell::SplitHelperCommandLine(vel::shell::JoinArguments(argc, argv));
    if (!paths || paths->input.empty() || paths->output.empty()) return 0;

    int verticalDpi = 96, horizontalDpi = 96;
    if (const vel::gdi::OwnedDC dc{CreateCompatibleDC(nullptr)}) {
      verticalDpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
      horizontalDpi = GetDeviceCaps(dc.get(), LOGPIXELSX);
    }
    int width = 0, height = 0, depth = 0;
    unsigned char flag = 0;
    const bool ok =
        WMFInfo(marrow::WidenToSystemString(paths->input), &width, &height, &depth, verticalDpi, horizontalDpi, &flag);
    if (!ok || width <= 0 || height <= 0) return 0;
    if (FILE* out = std::fopen(paths->output.c_str(), "w")) {
      std::fprintf(out, "%d %d %d %d", width, height, depth, flag ? 1 : 0);
      std::fclose(out);
    }
  } catch (...) {
  }
  return 0;
}
