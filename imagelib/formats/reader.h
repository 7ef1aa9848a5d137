// What every image-format reader offers the codec.
//
// The codec reads the whole file into memory once, asks each known format whether
// the first bytes look like its own, and opens the file with the first that agrees.
// Opening parses only the headers; pixels are decoded per page on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/expected.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/owned.h"

namespace lorimer::formats {

struct FileData {
  std::string path;
  std::vector<std::uint8_t> bytes;
};
using FileDataPtr = std::shared_ptr<const FileData>;

struct PageInfo {
  int width = 0;
  int height = 0;
  int bitCount = 0;          // bits per pixel of the decoded page: 1, 4, 8 or 24
  unsigned colorsUsed = 0;   // palette entries in use, 0 for direct colour
  unsigned compression = 0;  // BI_RGB / BI_RLE8 / BI_RLE4 / BI_BITFIELDS for BMP, else 0
  int xDpi = 0;              // 0 when the file does not say
  int yDpi = 0;
};

// A decoded page, or why nothing of it could be decoded.
using Decoded = vel::Expected<vel::gdi::OwnedBitmap>;

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual int pageCount() const = 0;
  // page is in [0, pageCount()).
  virtual PageInfo pageInfo(int page) const = 0;
  // A new DIB section (1, 4 or 8 bits with a colour table, or 24 bits), or the reason
  // nothing of the page can be decoded ("TIFF page 3: LZW data ends early"). A
  // truncated page may come back partly decoded when the format allows it.
  virtual Decoded decode(int page) = 0;
  // The same, as a bitmap owned by the caller or null.
  HBITMAP decodePage(int page) {
    Decoded page_ = decode(page);
    return page_ ? page_->release() : nullptr;
  }
};

// An opened file, or why it is not a well-formed file of the format.
using Opened = vel::Expected<std::unique_ptr<ImageReader>>;

struct FormatDescriptor {
  const char* name;  // short name: "BMP", "PCX", "TGA", ...
  // True when the first bytes (at most kSniffBytes; fewer for short files) may be this format.
  bool (*sniff)(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize);
  // Parses the headers.
  Opened (*parse)(FileDataPtr file);
  // The reader, or null when the file is not a well-formed file of this format.
  std::unique_ptr<ImageReader> open(FileDataPtr file) const {
    Opened opened = parse(std::move(file));
    return opened ? std::move(*opened) : nullptr;
  }
};

constexpr std::size_t kSniffBytes = 4096;

// Readers, each defined in its own file.
extern const FormatDescriptor kBmpFormat;
extern const FormatDescriptor kJpegFormat;
extern const FormatDescriptor kPngFormat;
extern const FormatDescriptor kGifFormat;
extern const FormatDescriptor kTiffFormat;
extern const FormatDescriptor kPcxFormat;
extern const FormatDescriptor kDcxFormat;
extern const FormatDescriptor kTgaFormat;
extern const FormatDescriptor kIcoFormat;  // ICO and CUR
extern const FormatDescriptor kAniFormat;
extern const FormatDescriptor kGemFormat;
extern const FormatDescriptor kPcdFormat;
extern const FormatDescriptor kFmfFormat;

// All readers in the order the codec tries them: formats with a reliable signature
// first, then those recognised only by plausible header values.
const std::vector<const FormatDescriptor*>& AllFormats();

// Helpers shared by the readers -------------------------------------------------

// The one rule for how large a picture a file may ask for. Every reader asks it before
// allocating a page: the sides must be positive, width x height within the bitmap limit
// and width x height x bits within the byte limit (all without overflow), and a picture
// above 2^24 pixels must come with a file large enough to code it, at most
// `maxPixelsPerByte` pixels for each of its `fileBytes` bytes (1 for uncompressed data;
// a format's best compression ratio otherwise). The failure says which test failed.
vel::Expected<void> CheckPictureSize(std::int64_t width, std::int64_t height, int bitsPerPixel, std::uint64_t fileBytes,
                                     std::uint64_t maxPixelsPerByte);

// A new DIB section of the given size, 1/4/8/24 bits, top-down storage, zero filled.
// For 1/4/8 bits `palette` gives the colour table (padded with black to 2^bits entries
// when shorter). Null when the size is not positive or exceeds the pixel limit.
HBITMAP NewPageBitmap(int width, int height, int bitsPerPixel, const std::vector<RGBQUAD>& palette = {});

}  // namespace lorimer::formats
