// What every image-format writer offers the codec's write operation.
//
// A writer turns one page (a DIB section of 1, 4, 8 or 24 bits; palettes as the
// bitmap has them) into the bytes of a whole file. When appending, it receives the
// bytes of the existing file and returns the bytes of the file with the page added.
// The codec writes the result under a temporary name and renames it over the
// target, so a failed write never damages an existing file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace lorimer::formats {

// The options the codec's option texts carry ("KEY = VALUE" lines).
struct WriteOptions {
  bool overwrite = false;       // OVERWRITE = ON
  bool append = false;          // APPEND = ON (GIF, DCX, TIFF)
  bool interlace = false;       // GIF_INTERLACE = ON
  int quality = 75;             // LOSSY_QUALITY = n (1..100)
  bool compress = false;        // COMPRESS = ON (TIFF)
  std::string tiffCompress;     // TIFF_COMPRESS = LZW | PACKBITS | MODCCITT | GROUP3 | GROUP4 ("" none)
  int fillOrder = 1;            // TIFF_FILLORDER = 1 | 2
  int rowsPerStrip = 0;         // TIFF_ROWSPERSTRIP = n (0: the writer's choice)
  int newSubfileType = 0;       // TIFF_NEWSUBFILETYPE = n
  std::string artist;           // TIFF_ARTIST = text
  std::string copyright;        // TIFF_COPYRIGHT = text
  std::string pngFilter;        // PNG_FILTER = NONE | SUB | UP | AVERAGE | PAETH ("" the writer's choice)
  bool pngMaxCompress = false;  // PNG_COMPRESS = MAXIMUM
};

// `existing` is null unless appending to a file that exists. False on any failure.
using WriteFunction = bool (*)(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
                               std::vector<std::uint8_t>* out);

bool WriteBmp(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out);
bool WritePcx(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out);
bool WriteDcx(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out);
bool WriteFmfPage(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
                  std::vector<std::uint8_t>* out);
bool WriteJpegFile(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
                   std::vector<std::uint8_t>* out);
bool WritePng(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out);
bool WriteGif(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
              std::vector<std::uint8_t>* out);
bool WriteTiff(HBITMAP page, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
               std::vector<std::uint8_t>* out);

}  // namespace lorimer::formats
