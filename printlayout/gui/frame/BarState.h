// The window's bar layout in the registry, under the program's key: the tool
// bars and the dock's place as "DizezOzav.BarState", and the inspector's sizes
// (docked across, docked upright, floating) under "DizezOzav.BarState-SCBar-0"
// as "sizeHorzCX", "sizeHorzCY", "sizeVertCX", "sizeVertCY", "sizeFloatCX" and
// "sizeFloatCY".
#pragma once

#include <QSize>

#include <string>

class QDockWidget;
class QMainWindow;

namespace tessaly {

// The key of a sizing bar's values: the bar-state name, "-SCBar-" and its number.
std::string SizingBarKey(int bar);

struct SizingBarSizes {
  QSize horz, vert, floating;  // invalid: not stored
};
SizingBarSizes ReadSizingBar(int bar);
void WriteSizingBar(int bar, const SizingBarSizes& sizes);

// Writes the layout of `window` with `dock` as sizing bar 0; the sizes of the
// dock's other placements keep what was stored.
void SaveBarState(const QMainWindow& window, const QDockWidget& dock);
// Puts back what SaveBarState wrote; anything missing or unreadable keeps the
// layout the window has.
void RestoreBarState(QMainWindow& window, QDockWidget& dock);

}  // namespace tessaly
