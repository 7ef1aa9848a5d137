// The BMP comes from another process or from Ghostscript: it is read with a size
// limit, and the WMF replaces the output only once it is wholly written.
#include "siblings/wmfwrap/wmfwrap_lib.h"

#include "platform/base/file.h"

namespace wmfwrap {

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t limit) {
  return vel::ReadWholeFile(path.c_str(), out, limit);
}

bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return !path.empty() && vel::ReplaceFileContents(path, bytes, "wmfwrap");
}

}  // namespace wmfwrap
