// The programs' popup menu: the viewer's toolbar drop-downs and context menu, and
// the tray program's icon menu. Entries carry their command numbers in
// QAction::data(); before it shows, the caller may ask its command handlers for
// each entry's enabled state and mark (UpdateMenu). A menu may carry a picture
// pair per entry (normal and highlighted), a bold default entry and a banner
// strip along its left side.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace vel::ui {

// What a command's update handler says about it.
struct MenuItemState {
  bool enabled = true;
  bool checked = false;  // a check mark, or the radio mark when `radio`
  bool radio = false;
};
using MenuItemQuery = std::function<MenuItemState(int command)>;

// Sets marks and enabled states of every entry of `menu` (and its submenus) from
// `query`, for a menu about to show. Entries without a command number are left alone.
void UpdateMenu(QMenu* menu, const MenuItemQuery& query);

class CBmpMenu {
 public:
  // Where the menu opens relative to the point it is shown at.
  enum class Placement {
    KeepOnScreen,   // top-left at the point, pushed back inside the screen
    AwayFromEdges,  // top-left at the point, or to the left of and/or above it
                    // when it would cross the right or bottom edge
  };
  static constexpr int kBannerWidth = 8;

  CBmpMenu() = default;
  ~CBmpMenu();
  CBmpMenu(const CBmpMenu&) = delete;
  CBmpMenu& operator=(const CBmpMenu&) = delete;

  // Shows `menu` at `globalPos` and waits until an entry is chosen or the menu is
  // dismissed. Returns the chosen entry's command number, or 0. The caller runs
  // the command after the menu has gone: it may open dialogs or close the window
  // that asked. The menu stays the caller's.
  int TrackPopup(QMenu* menu, const QPoint& globalPos, QWidget* owner);
  // True while TrackPopup runs.
  bool IsOpen() const { return open_; }
  // The menu being shown, or null.
  QMenu* Shown() const { return shown_; }
  // Closes a menu being shown (as a click elsewhere would).
  void Dismiss();

  void SetPlacement(Placement placement) { placement_ = placement; }
  // A picture for the strip of kBannerWidth pixels along the menu's left side,
  // stretched to the menu's height; a null picture shows no strip.
  void SetBanner(const QPixmap& banner) { banner_ = banner; }

  // Gives the entry its picture pair: `normal`, and `highlighted` while the
  // pointer or the keyboard is on it.
  static void SetItemBitmaps(QAction* action, const QPixmap& normal, const QPixmap& highlighted);
  // Makes the entry with this command number the menu's default entry, drawn bold.
  // False when the menu has no such entry.
  static bool SetDefaultItem(QMenu* menu, int command);

  // The top-left corner for a menu of `size` shown at `point` on a desktop `area`.
  static QPoint PopupPosition(const QSize& size, const QPoint& point, const QRect& area, Placement placement);

 private:
  QMenu* shown_ = nullptr;
  bool open_ = false;
  Placement placement_ = Placement::KeepOnScreen;
  QPixmap banner_;
};

}  // namespace vel::ui
