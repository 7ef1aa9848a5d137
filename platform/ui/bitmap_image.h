// Bitmaps of the gdi layer as Qt images, for widgets that show them.
#pragma once

#include <QImage>

#include "platform/gdi/gdi.h"

namespace vel::ui {

// A copy of any bitmap of the gdi layer (every depth, either row order) as a
// 32-bit image; null when the bitmap cannot be read. The copy shares nothing
// with the bitmap, so it may cross threads.
QImage ImageFromBitmap(HBITMAP bitmap);

}  // namespace vel::ui
