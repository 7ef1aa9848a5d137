// Test pictures written through the image library, in the format their
// extension names.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "lorimer/ImageInterface.h"

namespace converter::testing {

// A w x h picture of one colour (page p one pixel wider); `pages` > 1 appends
// further pages (TIFF). BMP for extensions it does not know.
inline void WritePicture(const std::string& path, int w, int h, int pages = 1, COLORREF colour = RGB(255, 0, 0)) {
  const std::string ext = path.substr(path.rfind('.') + 1);
  for (int p = 0; p < pages; ++p) {
    CImageInterface image;
    ASSERT_TRUE(image.InitFromHBITMAP(CImageInterface::CreateEmptyDIBSection(w + p, h, colour, 0)));
    int ok = 0;
    if (ext == "tif") {
      _SAVEIMAGEINFO::_TIF r{};
      r.depth = 24, r.colour = 1, r.append = p > 0;
      ok = image.Save(path.c_str(), &r);
    } else if (ext == "png") {
      _SAVEIMAGEINFO::_PNG r{};
      r.depth = 24;
      ok = image.Save(path.c_str(), &r);
    } else if (ext == "jpg") {
      _SAVEIMAGEINFO::_JPG r{};
      r.depth = 24, r.quality = 90;
      ok = image.Save(path.c_str(), &r);
    } else if (ext == "gif") {
      _SAVEIMAGEINFO::_GIF r{};
      r.depth = 8;
      ok = image.Save(path.c_str(), &r);
    } else if (ext == "pcx") {
      _SAVEIMAGEINFO::_PCX r{};
      r.depth = 24;
      ok = image.Save(path.c_str(), &r);
    } else if (ext == "tga") {
      _SAVEIMAGEINFO::_TGA r{};
      r.depth = 24;
      ok = image.Save(path.c_str(), &r);
    } else {
      _SAVEIMAGEINFO::_BMP r{};
      r.depth = 24;
      ok = image.Save(path.c_str(), &r);
    }
    ASSERT_TRUE(ok) << path;
  }
}

}  // namespace converter::testing
