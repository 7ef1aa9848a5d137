// The codec's processing operations over the current page's bitmap.
#include "imagelib/codec/codec_api.h"
#include "imagelib/process/pixel_ops.h"
#include "platform/gdi/owned.h"

namespace {

// The page's pixels as a 24-bit bitmap the operation may change, or null.
HBITMAP Page24(HIMG image) {
  HBITMAP bitmap = fnImgGetHBitmap(image);
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bitmap, &v) || v.bitsPerPixel != 24) return nullptr;
  return bitmap;
}

// A new image that takes the section over; the section is deleted when that fails.
HIMG WrapNew(HBITMAP section) {
  vel::gdi::OwnedBitmap owned(section);
  HIMG image = owned ? fnImgFromDIBSection(owned.get()) : nullptr;
  if (image) static_cast<void>(owned.release());
  return image;
}

}  // namespace

namespace process = lorimer::process;

HIMG fnImgCopy(HIMG image, int width, int height, const RECT*, int method) {
  try {
    HBITMAP page = Page24(image);
    return page ? WrapNew(process::CopyResample(page, width, height, method)) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

HIMG fnImgRotate(HIMG image, int hundredths, COLORREF fill) {
  try {
    HBITMAP page = Page24(image);
    return page ? WrapNew(process::Rotate(page, hundredths, fill)) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

int fnImgMirror(HIMG image, int first, int second) {
  try {
    HBITMAP page = Page24(image);
    return page && process::Mirror(page, first, second) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int fnImgFilter(HIMG image, int filter) {
  try {
    HBITMAP page = Page24(image);
    return page && process::Filter(page, filter) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int fnImgInvert(HIMG image) {
  try {
    HBITMAP page = Page24(image);
    return page && process::Invert(page) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int fnImgBrightness(HIMG image, int level) {
  try {
    HBITMAP page = Page24(image);
    return page && process::Brightness(page, level) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// The channel mask (4 red, 2 green, 1 blue) comes last; the middle value is not used.
int fnImgContrast(HIMG image, int level, int, int mask) {
  try {
    HBITMAP page = Page24(image);
    return page && process::Contrast(page, level, mask) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
