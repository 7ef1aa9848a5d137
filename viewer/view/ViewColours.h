// COLORREF (0x00BBGGRR) to and from the painter's colours.
#pragma once

#include <QColor>

#include "platform/base/wintypes.h"

namespace orvenna {

inline QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline COLORREF ToColorRef(const QColor& c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

}  // namespace orvenna
