// Which selected items are images (by the tail of their names), and the texts
// the menu shows about one image.
#pragma once

#include <string>

#include "platform/base/wintypes.h"

namespace ferrule {

struct ImageTypeRow {
  int type;
  bool enabled;
  bool vector;
  const char* extension;  // without the dot, at most 7 characters
};
constexpr int kImageTypeCount = 26;
extern const ImageTypeRow kImageTypes[kImageTypeCount];

// The type number of the first row whose extension ends the name (case
// ignored), or 0; folders are never images.
int Recognise(const char* path);

// "1023 Bytes", "1.00 KB", "1.50 MB".
std::string SizeText(DWORD length);

// The information lines, each cut to 127 characters.
constexpr size_t kInfoLineMax = 127;
std::string ImageInfoLine(int width, int height, int bitsPerPixel, int pages);
std::string FileInfoLine(const char* imgFileName, const std::string& sizeText);

}  // namespace ferrule
