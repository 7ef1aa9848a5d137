// The codec's BMP reader and the DIB transfers behind it (RLE, bit fields, short files).
#include "imagelib/formats/tests/fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return lorimer::fuzzing::FuzzReader(lorimer::formats::kBmpFormat, data, size);
}
