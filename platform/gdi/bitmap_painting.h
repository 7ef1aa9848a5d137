// Qt painting onto our bitmaps (library veltext): the touched rectangle is
// copied into a QImage, painted, and only the pixels the painting changed are
// written back, in the bitmap's own format.
#pragma once

#include <QPainter>
#include <QRect>

#include <functional>

#include "platform/gdi/objects.h"

namespace vel::gdi {

// `area` is in bitmap coordinates and already within the bitmap (and any clip);
// the painter it hands to `paint` takes bitmap coordinates too.
bool PaintBitmapArea(const BitmapView& view, const QRect& area, const std::function<void(QPainter&)>& paint);

}  // namespace vel::gdi
