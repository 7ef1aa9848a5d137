#include "shellext/ferrule/recognition.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace ferrule {

const ImageTypeRow kImageTypes[kImageTypeCount] = {
    {1, true, false, "ani"},  {2, true, false, "bmp"},  {2, true, false, "dib"},  {2, true, false, "rle"},
    {3, true, false, "cur"},  {4, true, true, "dxf"},   {5, true, true, "emf"},   {7, true, false, "fmf"},
    {6, true, true, "eps"},   {8, true, true, "fpx"},   {9, true, false, "gif"},  {10, true, false, "ico"},
    {11, true, false, "img"}, {12, true, false, "jpg"}, {12, true, false, "jpe"}, {12, true, false, "jpeg"},
    {13, true, false, "pcd"}, {14, true, false, "pcx"}, {14, true, false, "dcx"}, {15, true, false, "png"},
    {16, true, true, "ps"},   {17, true, false, "tga"}, {18, true, false, "tif"}, {18, true, false, "tiff"},
    {19, true, true, "wmf"},  {20, true, true, "wpg"},
};

int Recognise(const char* path) {
  if (!path || !*path) return 0;
  struct stat st {};
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  const size_t length = std::strlen(path);
  for (const ImageTypeRow& row : kImageTypes) {
    const size_t tail = std::strlen(row.extension);
    if (row.enabled && tail <= length && strcasecmp(path + length - tail, row.extension) == 0) return row.type;
  }
  return 0;
}

std::string SizeText(DWORD length) {
  char text[64];
  if (length <= 1023) {
    std::snprintf(text, sizeof text, "%d Bytes", static_cast<int>(length));
  } else if (length / 1048576 >= 1) {
    std::snprintf(text, sizeof text, "%.2f MB", length / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%.2f KB", length / 1024.0);
  }
  return text;
}

std::string ImageInfoLine(int width, int height, int bitsPerPixel, int pages) {
  char line[kInfoLineMax + 1];
  if (pages < 2) {
    std::snprintf(line, sizeof line, "Image info: [%d X %d pixels, %d BPP]", width, height, bitsPerPixel);
  } else {
    std::snprintf(line, sizeof line, "Image info: [%d X %d pixels, %d BPP, %d frames]", width, height, bitsPerPixel,
                  pages);
  }
  return line;
}

std::string FileInfoLine(const char* imgFileName, const std::string& sizeText) {
  char line[kInfoLineMax + 1];
  std::snprintf(line, sizeof line, "File info: %s; %s", imgFileName ? imgFileName : "", sizeText.c_str());
  return line;
}

}  // namespace ferrule
