// The suite's fax file (FMF): bilevel pages coded CCITT Group 3 or Group 4.
// The byte layout is described in docs/formats.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lorimer::formats {

constexpr char kFmfMagic[4] = {'V', 'F', 'M', 'F'};
constexpr std::uint16_t kFmfVersion = 1;
constexpr std::size_t kFmfHeaderSize = 16;
constexpr std::size_t kFmfEntrySize = 32;
constexpr int kFmfMaxPages = 1024;
constexpr int kFmfMaxWidth = 32768;
constexpr int kFmfMaxHeight = 1 << 20;

constexpr std::uint16_t kFmfGroup3 = 3;  // CCITT T.4, one-dimensional, with EOL codes
constexpr std::uint16_t kFmfGroup4 = 4;  // CCITT T.6
constexpr std::uint16_t kFmfLsbFirst = 0x0001;     // bits of each data byte filled from bit 0 up
constexpr std::uint16_t kFmfAlignedEol = 0x0002;   // Group 3 only: each EOL ends on a byte boundary
constexpr std::uint16_t kFmfKnownOptions = kFmfLsbFirst | kFmfAlignedEol;

struct FmfPage {
  int width = 0;
  int height = 0;
  int xDpi = 204;
  int yDpi = 196;
  std::uint16_t compression = kFmfGroup4;
  std::uint16_t options = 0;
  // `height` rows of (width + 7) / 8 bytes, top row first, leftmost pixel in the
  // most significant bit; 0 = black, 1 = white, as in a 1-bit DIB whose colour
  // table is {black, white}, so such a DIB's rows can be passed straight in.
  std::vector<std::uint8_t> rows;
};

// The whole file in memory; false when a page is invalid or cannot be coded.
bool EncodeFmf(const std::vector<FmfPage>& pages, std::vector<std::uint8_t>* bytes);

// Writes under a temporary name next to `path` and renames it over `path` only when
// complete, so a failed save leaves an existing file untouched.
bool WriteFmf(const std::string& path, const std::vector<FmfPage>& pages);

}  // namespace lorimer::formats
