// The PCX reader: header checks, the RLE stream that runs across rows, palettes.
#include "imagelib/formats/tests/fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return lorimer::fuzzing::FuzzReader(lorimer::formats::kPcxFormat, data, size);
}
