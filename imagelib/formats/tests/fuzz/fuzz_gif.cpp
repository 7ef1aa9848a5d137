// Fuzz target: the GIF reader opens the bytes and decodes its first pages.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/formats/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lorimer::formats;
  auto file = std::make_shared<FileData>();
  file->bytes.assign(data, data + size);
  // Sniffing sees only the head; open must hold up on its own whatever sniffing said.
  (void)kGifFormat.sniff(data, std::min(size, kSniffBytes), size);
  if (auto reader = kGifFormat.open(file)) {
    const int pages = std::min(reader->pageCount(), 8);
    for (int page = 0; page < pages; ++page) {
      (void)reader->pageInfo(page);
      if (HBITMAP bitmap = reader->decodePage(page)) DeleteObject(bitmap);
    }
  }

  return 0;
}
