// The PCX reader: header checks, the RLE stream that runs across rows, palettes.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "imagelib/formats/reader.h"

using namespace lorimer::formats;

namespace {
// Pages above this size are valid but only cost time per run; the size checks
// themselves still run for them in open().
constexpr long long kMaxFuzzPixels = 1LL << 24;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto file = std::make_shared<FileData>();
  file->bytes.assign(data, data + size);
  // open() must be safe on anything, not only on what sniff() lets through.
  kPcxFormat.sniff(data, std::min(size, kSniffBytes), size);
  auto reader = kPcxFormat.open(file);
  if (!reader) return 0;
  for (int page = 0; page < std::min(reader->pageCount(), 8); ++page) {
    const PageInfo info = reader->pageInfo(page);
    if (static_cast<long long>(info.width) * info.height > kMaxFuzzPixels) continue;
    HBITMAP bitmap = reader->decodePage(page);
    if (bitmap) DeleteObject(bitmap);
  }
  return 0;
}
