// wmfwrap "<bmp>" "<wmf>": wraps a BMP file into a placeable WMF. Started by the
// image library with the same two-path command line as the EPS helpers; it says
// nothing and ends with 0 whatever happens: the caller judges success by the WMF
// being there.
#include "platform/gdi/placeable.h"
#include "platform/shell/helper_args.h"
#include "siblings/wmfwrap/wmfwrap_lib.h"

namespace {
// More than any BMP the side limit allows at 32 bits, plus headers.
constexpr std::size_t kMaxBmpBytes =
    std::size_t{4} * vel::gdi::wmf::kMaxBmpSide * vel::gdi::wmf::kMaxBmpSide + (1 << 20);
}  // namespace

int main(int argc, char** argv) {
  try {
    const auto paths = vel::shell::SplitHelperCommandLine(vel::shell::JoinArguments(argc, argv));
    if (!paths || paths->input.empty() || paths->output.empty()) return 0;
    std::vector<std::uint8_t> bmp, wmf;
    if (!wmfwrap::ReadWholeFile(paths->input, bmp, kMaxBmpBytes)) return 0;
    if (!vel::gdi::wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), wmf)) return 0;
    wmfwrap::WriteFileReplacing(paths->output, wmf);
  } catch (...) {
    // Out of memory on a huge picture: no output, which the caller sees.
  }
  return 0;
}
