// The suite's fax file (FMF): bilevel pages coded CCITT Group 3 or Group 4.
// The byte layout is described in docs/formats.md.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/base/expected.h"
#include "imagelib/formats/ccitt.h"

namespace lorimer::formats {

constexpr char kFmfMagic[4] = {'V', 'F', 'M', 'F'};
constexpr std::uint16_t kFmfVersion = 1;
constexpr std::size_t kFmfHeaderSize = 16;
constexpr std::size_t kFmfEntrySize = 32;
constexpr int kFmfMaxPages = 1024;
constexpr int kFmfMaxWidth = 32768;
constexpr int kFmfMaxHeight = 1 << 20;

constexpr std::uint16_t kFmfGroup3 = 3;           // CCITT T.4, one-dimensional, with EOL codes
constexpr std::uint16_t kFmfGroup4 = 4;           // CCITT T.6
constexpr std::uint16_t kFmfLsbFirst = 0x0001;    // bits of each data byte filled from bit 0 up
constexpr std::uint16_t kFmfAlignedEol = 0x0002;  // Group 3 only: each EOL ends on a byte boundary
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

// ---- shared by the reader and the writers ----------------------------------------

// A page's directory entry: where its coded data lies and what it codes.
struct FmfEntry {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  int width = 0;
  int height = 0;
  int xDpi = 0;
  int yDpi = 0;
  std::uint16_t compression = 0;
  std::uint16_t options = 0;
};

// The directory of a file the reader accepts, or why the file is not one.
vel::Expected<std::vector<FmfEntry>> ReadFmfDirectory(std::span<const std::uint8_t> file);

// Whether a page of this size, coding and options can be stored.
vel::Expected<void> CheckFmfPageShape(std::uint64_t width, std::uint64_t height, std::uint16_t compression,
                                      std::uint16_t options);

// What the fax coder needs to know of a page.
ccitt::StripFormat FmfStripFormat(int width, int height, std::uint16_t compression, std::uint16_t options);

}  // namespace lorimer::formats
