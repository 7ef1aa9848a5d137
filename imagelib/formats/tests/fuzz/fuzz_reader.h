// The body every reader's fuzz target shares: open whatever comes in, then decode
// each page (a few at most), the way the codec would.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "imagelib/formats/reader.h"

namespace lorimer::fuzzing {

// Pages above this size are valid but only cost time per run; the size checks
// themselves still run for them in open().
constexpr long long kMaxFuzzPixels = 1LL << 24;

inline int FuzzReader(const formats::FormatDescriptor& format, const std::uint8_t* data, std::size_t size) {
  auto file = std::make_shared<formats::FileData>();
  file->bytes.assign(data, data + size);
  // open() must be safe on anything, not only on what sniff() lets through.
  format.sniff(data, std::min(size, formats::kSniffBytes), size);
  auto reader = format.open(file);
  if (!reader) return 0;
  for (int page = 0; page < std::min(reader->pageCount(), 8); ++page) {
    const formats::PageInfo info = reader->pageInfo(page);
    if (static_cast<long long>(info.width) * info.height > kMaxFuzzPixels) continue;
    HBITMAP bitmap = reader->decodePage(page);
    if (bitmap) DeleteObject(bitmap);
  }
  return 0;
}

}  // namespace lorimer::fuzzing
