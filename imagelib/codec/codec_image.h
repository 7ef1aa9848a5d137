// What a codec image handle points at; shared by the codec's source files only.
#pragma once

#include <memory>
#include <vector>

#include "imagelib/formats/reader.h"
#include "platform/gdi/metafile.h"

namespace lorimer::codec {

struct Page {
  formats::PageInfo info;
  BITMAPINFOHEADER header{};
  HBITMAP bitmap = nullptr;  // decoded pixels, owned
  bool decodeFailed = false;
};

struct CodecImage {
  formats::FileDataPtr file;
  std::unique_ptr<formats::ImageReader> reader;
  const char* formatName = "";
  std::vector<Page> pages;
  int current = 0;
  int references = 1;  // copies of an image object share the image
  // A vector image: the drawing, played into the page's size. The page's bitmap
  // is made from it on first use.
  HENHMETAFILE vector = nullptr;

  ~CodecImage() {
    for (Page& p : pages) DeleteObject(p.bitmap);
    if (vector) DeleteEnhMetaFile(vector);
  }
};

// The page header the codec reports for a page of that description.
BITMAPINFOHEADER HeaderFor(const formats::PageInfo& info);

// A one-page vector image of width x height holding `drawing` (taken over on
// success, left to the caller on failure).
CodecImage* NewVectorImage(HENHMETAFILE drawing, int width, int height, const char* formatName);
// A vector file (WPG, DXF) opened as a vector image whose page size is the
// drawing's size in hundredths of a millimetre; null when the bytes are neither.
CodecImage* OpenVectorFile(const std::vector<std::uint8_t>& bytes);
// The vector page rendered over white into a new 24-bit DIB section.
HBITMAP RenderVectorPage(CodecImage* image);
// Plays the drawing so that the page's `src` part fills `dest`. 1 when played.
int DrawVector(CodecImage* image, HDC dc, const RECT& dest, const RECT& src);

}  // namespace lorimer::codec
