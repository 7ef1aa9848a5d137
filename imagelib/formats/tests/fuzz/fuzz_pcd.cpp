// The Photo CD reader. Its Base image lies at a fixed place beyond any fuzz input, so
// the input is repeated to the size of an image pack; the first byte chooses whether
// the pack is one byte short (which must be refused) and whether the signature is
// planted, so runs reach the decoder without having to find it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "imagelib/formats/reader.h"

using namespace lorimer::formats;

namespace {
constexpr std::size_t kPackSize = 0x30000 + 768 * 512 * 3 / 2;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  auto file = std::make_shared<FileData>();
  file->bytes.resize((mode & 1) ? kPackSize - 1 : kPackSize);
  for (std::size_t i = 0; i < file->bytes.size(); i += size) {
    std::memcpy(file->bytes.data() + i, data, std::min(size, file->bytes.size() - i));
  }
  if (mode & 2) std::memcpy(file->bytes.data() + 0x800, "PCD_IPI", 7);
  kPcdFormat.sniff(file->bytes.data(), kSniffBytes, file->bytes.size());
  auto reader = kPcdFormat.open(file);
  if (!reader) return 0;
  reader->pageInfo(0);
  HBITMAP bitmap = reader->decodePage(0);
  if (bitmap) DeleteObject(bitmap);
  return 0;
}
