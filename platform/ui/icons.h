// Icons from the desktop's theme by freedesktop name, with our own drawings
// where the theme has none. Shared by every program with windows.
#pragma once

#include <QIcon>

#include <functional>
#include <initializer_list>
#include <vector>

class QPainter;

namespace vel::ui {

// Picks the installed Adwaita or Breeze theme as the fallback (and as the theme
// when the desktop names none). Call once after the application object exists.
void SetUpIconTheme();

// The first of the names the theme (or its symbolic PNG renderings) has; a null
// icon when none is found.
QIcon ThemedIcon(const std::vector<const char*>& names);

// A drawing at each of `sizes` pixels on a grid x grid canvas, antialiased.
using IconDrawing = std::function<void(QPainter&)>;
QIcon PaintedIcon(double grid, std::initializer_list<int> sizes, const IconDrawing& draw);

// A drawing on a 22 x 22 grid in the palette's text colour with a 1.6 pen, so it
// sits beside the theme's symbolic icons (16, 22, 32 and 48 pixels).
QIcon DrawnIcon(const IconDrawing& draw);

}  // namespace vel::ui
