// The Targa reader: header validation, colour maps, RLE packets, origins, alpha.
#include "imagelib/formats/tests/fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return lorimer::fuzzing::FuzzReader(lorimer::formats::kTgaFormat, data, size);
}
