// The tray program's pictures: its icon, the menu entries' picture pairs and
// the menu's banner strip.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace pennock {

// The program icon: the desktop theme's, else our own drawing.
QIcon ProgramIcon();
// The picture of the menu entry with this command number at `size` pixels:
// normal, or for the entry under the pointer. Null for an unknown number.
QPixmap ItemBitmap(int command, bool highlighted, int size);
// The banner along the menu's left side, `height` pixels high.
QPixmap BannerBitmap(int height);

}  // namespace pennock
