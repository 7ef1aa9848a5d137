// The fax file reader: header and page directory checks, CCITT pages through libtiff.
#include "imagelib/formats/tests/fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return lorimer::fuzzing::FuzzReader(lorimer::formats::kFmfFormat, data, size);
}
