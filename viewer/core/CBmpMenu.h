// The popup menu of the toolbar's drop-down buttons and of the view's context menu.
// Before it shows, every entry asks its command's update handler for its enabled
// state and mark; the chosen entry's command then runs through the command map.
#pragma once

class QMenu;
class QPoint;
class QWidget;

namespace orvenna {

class CommandMap;

class CBmpMenu {
 public:
  CBmpMenu() = default;
  ~CBmpMenu();
  CBmpMenu(const CBmpMenu&) = delete;
  CBmpMenu& operator=(const CBmpMenu&) = delete;

  // Shows `menu` (entries carry their command numbers, see MenuCommand) with its
  // top-left corner at `globalPos`, kept on the screen, and waits until an entry is
  // chosen or the menu is dismissed. The chosen command runs through `commands`.
  // Returns the command chosen, or 0. The menu stays the caller's.
  int TrackPopup(QMenu* menu, const QPoint& globalPos, CommandMap& commands, QWidget* owner);
  // True while TrackPopup runs.
  bool IsOpen() const { return open_; }
  // Closes a menu being shown (as a click elsewhere would).
  void Dismiss();

 private:
  QMenu* shown_ = nullptr;
  bool open_ = false;
};

// Sets marks and enabled states of every entry of `menu` (and its submenus) from the
// command map, for a menu about to show.
void UpdateMenu(QMenu* menu, const CommandMap& commands);

}  // namespace orvenna
