// The viewer's menus: the short menu bar (no image window), the long one (an image
// window is active), the popup menus of the toolbar's drop-down buttons and of the
// view, and the text of every command. Entries carry their command numbers in
// QAction::data().
#pragma once

#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

namespace orvenna {

// The menu text of a command ("&Bitmap...", "Zoom In"); "" for an unknown number.
QString CommandText(int id);
// Every command the customisation dialog offers, in menu order.
const std::vector<int>& CustomizableCommands();

// Gives the action to show for a command: the frame's shared action for the menu
// bar, a fresh one for a popup.
using ActionSource = std::function<QAction*(int id)>;

// Which top-level menus to make; the frame fills the recent files and window
// lists itself when they open.
enum class MenuBarKind { Short, Long };

// Fills the menu bar. The File menu gets the object name "fileMenu" and a
// separator named "recentFiles" where the recent files go; the Window menu the
// name "windowMenu".
void BuildMenuBar(QMenuBar* bar, MenuBarKind kind, const ActionSource& source);

// Fills `menu` with the entries of a popup resource (IDR_MENU_...): false for a
// resource this program does not have.
bool BuildPopupMenu(QMenu* menu, int resource, const ActionSource& source);

}  // namespace orvenna
