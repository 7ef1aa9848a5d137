// The codec's BMP reader and the DIB transfers behind it (RLE, bit fields, short files).
#include <cstdint>
#include <memory>

#include "imagelib/formats/reader.h"

using namespace lorimer::formats;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto file = std::make_shared<FileData>();
  file->bytes.assign(data, data + size);
  if (!kBmpFormat.sniff(data, std::min(size, kSniffBytes), size)) return 0;
  auto reader = kBmpFormat.open(file);
  if (!reader) return 0;
  for (int page = 0; page < std::min(reader->pageCount(), 4); ++page) {
    reader->pageInfo(page);
    HBITMAP bmp = reader->decodePage(page);
    DeleteObject(bmp);
  }
  return 0;
}
