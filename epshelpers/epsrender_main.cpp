// epsrender "<eps>" "<wmf>": converts an EPS file into a Windows metafile through
// Marrow. Silent, and always ends with 0: the image library judges the result only
// by the WMF file being there.
#include "platform/shell/helper_args.h"
#include "siblings/marrow/marrow.h"

int main(int argc, char** argv) {
  try {
    const auto paths = vel::shell::SplitHelperCommandLine(vel::shell::JoinArguments(argc, argv));
    if (!paths) return 0;
    // Marrow's answer is not needed: a failed conversion leaves no file.
    (void)EPS2WMF(marrow::WidenToSystemString(paths->input), marrow::WidenToSystemString(paths->output));
  } catch (...) {
  }
  return 0;
}
