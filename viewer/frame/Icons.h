// Icons of the viewer's commands: the desktop theme's by freedesktop name, with
// small drawings of our own where the theme has none.
#pragma once

#include <QIcon>

namespace orvenna {

// Picks the installed Adwaita or Breeze theme as the fallback (and as the theme
// when the desktop names none). Call once after the application object exists.
void SetUpIconTheme();
// The icon of a command; a null icon for commands that show none.
QIcon CommandIcon(int id);
// The program's own icon: a picture frame with a mountain and the sun.
QIcon ProgramIcon();

}  // namespace orvenna
