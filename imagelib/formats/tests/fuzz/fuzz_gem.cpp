// The GEM IMG reader: header and XIMG palette checks, opcodes, scanline repeats.
#include "imagelib/formats/tests/fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return lorimer::fuzzing::FuzzReader(lorimer::formats::kGemFormat, data, size);
}
