// Fuzz target: the PNG reader opens the bytes and decodes the page.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/raw_bytes.h"

namespace {

// The reader refuses chunks whose CRC does not match, so mutated inputs would mostly end
// there; give every complete chunk its right CRC so the fuzzer reaches the decoder.
void FixChunkCrcs(std::vector<std::uint8_t>& d) {
  std::size_t pos = 8;
  while (pos + 12 <= d.size()) {
    const std::uint32_t len = lorimer::formats::Be32(&d[pos]);
    if (len > d.size() - pos - 12) break;
    const std::uint32_t crc = crc32(crc32(0L, Z_NULL, 0), &d[pos + 4], len + 4);
    for (int i = 0; i < 4; ++i) d[pos + 8 + len + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    pos += 12 + len;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lorimer::formats;
  auto file = std::make_shared<FileData>();
  file->bytes.assign(data, data + size);
  FixChunkCrcs(file->bytes);
  (void)kPngFormat.sniff(file->bytes.data(), std::min(size, kSniffBytes), size);
  if (auto reader = kPngFormat.open(file)) {
    (void)reader->pageInfo(0);
    if (HBITMAP bitmap = reader->decodePage(0)) DeleteObject(bitmap);
  }
  return 0;
}
