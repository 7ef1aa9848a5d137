// Icons of the print-layout window's tool-bar and menu commands: the desktop
// theme's by freedesktop name where one fits, our own drawings for the layout
// commands (office-style boxes and guide lines) and the program's icon.
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

#include <vector>

namespace tessaly {

// "align-left", "align-hcenter", "align-right", "align-top", "align-vcenter",
// "align-bottom", "space-across", "space-down", "same-width", "same-height",
// "same-both", "size-to-content", "arrange", "auto-arrange", "align-distribute",
// "synchronize-size", "shadow", "page-width", "whole-page", "two-pages",
// "three-pages", "four-pages", "page-setup", "export", "full-screen",
// "goto-page", "comment", "inspector" and "program". A null icon for any other
// name. Drawings use the application palette's text colour at the time of the
// first call for that colour.
QIcon TessalyIcon(const QString& name);

// The first of the theme's icons by these freedesktop names, in the text colour
// when it is a one-colour icon; a null icon when the theme has none of them.
QIcon ThemeIcon(const std::vector<const char*>& names);

// Every name TessalyIcon knows, in the order above.
QStringList TessalyIconNames();

}  // namespace tessaly
