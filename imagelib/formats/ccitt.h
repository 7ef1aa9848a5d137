// CCITT Group 3 (1-D) and Group 4 fax coding of bilevel rows, done by libtiff.
//
// libtiff's coders only work inside a TIFF, so both directions wrap the data in a
// minimal single-strip TIFF held in memory. Rows here are fax rows: packed MSB
// first, (width + 7) / 8 bytes each, bit 1 = black.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace lorimer::formats::ccitt {

enum class Coding : std::uint16_t {
  kGroup3 = 3,  // T.4 one-dimensional (modified Huffman) with EOL codes
  kGroup4 = 4,  // T.6
};

struct StripFormat {
  int width = 0;
  int height = 0;
  Coding coding = Coding::kGroup4;
  bool lsbFirst = false;    // bits of each byte filled from the least significant end
  bool alignedEol = false;  // Group 3: every EOL ends on a byte boundary
};

// Decodes rows in order, handing each to `row` (valid during the call). Stops at the
// first row the data cannot give. Returns the number of rows decoded, -1 when the
// strip could not be set up at all.
int DecodeStrip(const StripFormat& format, const std::uint8_t* data, std::size_t size,
                const std::function<void(int y, const std::uint8_t* bits)>& row);

// Codes `rows` (height rows of fax row bytes); false when libtiff refuses.
bool EncodeStrip(const StripFormat& format, const std::vector<std::uint8_t>& rows, std::vector<std::uint8_t>* coded);

}  // namespace lorimer::formats::ccitt
