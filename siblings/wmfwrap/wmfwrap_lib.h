// The wmfwrap program's own part: reading the BMP it is given and putting the WMF in
// place. The wrapping itself (BMP -> placeable WMF) is the metafile layer's
// `vel::gdi::wmf::BmpToPlaceableWmf` (platform/gdi/placeable.h), which Marrow uses too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wmfwrap {

// Reads a whole file of at most `limit` bytes; false when missing, unreadable or larger.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t limit);

// Writes `bytes` under a temporary name next to `path` and renames it over `path`
// only when everything was written; on failure nothing is left behind.
bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace wmfwrap
