// Thumbnails of files loaded only to make them (the command line, batch thumbnailers).
#pragma once

#include "lorimer/ImageInterface.h"

// A file held to make thumbnails that fit into boxes no larger than the one given to
// Load. A JPEG is decoded at 1/2, 1/4 or 1/8 of its size when that still keeps twice
// the thumbnail's size for the final resample: a 4000 x 3000 photo for 256 x 256
// decodes at 1000 x 750, a sixteenth of the pixels. Every other file, and a JPEG the
// JPEG loader refuses, loads as CImageInterface::Load does. Thumbnails made here have
// the size, frame and placement of those made from the whole picture; their pixels
// differ only by the rounding of the scaled decode.
class CThumbnailSource {
 public:
  CThumbnailSource() = default;
  ~CThumbnailSource();
  CThumbnailSource(const CThumbnailSource&) = delete;
  CThumbnailSource& operator=(const CThumbnailSource&) = delete;

  // 1 when the file loaded.
  int Load(const char* path, int maxWidth, int maxHeight);
  // As CImageInterface::CreateThumbnailFilePath.
  int CreateThumbnailFilePath(int maxWidth, int maxHeight, char* path, QUALITY quality, int border, DWORD background,
                              int gray, int depth, int* width, int* height, int page);

 private:
  CImageInterface m_whole;    // a file held at its own size,
  HIMG m_hReduced = nullptr;  // or a JPEG decoded smaller than
  int m_nWidth = 0;           // its own size
  int m_nHeight = 0;
};
