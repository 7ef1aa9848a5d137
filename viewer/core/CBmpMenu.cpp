#include "viewer/core/CBmpMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

#include "viewer/core/CommandMap.h"

namespace orvenna {
namespace {

// Radio marks need an exclusive group for the style to draw them as such; one
// group per menu, made when the first radio entry shows.
QActionGroup* RadioGroup(QMenu* menu) {
  auto* group = menu->findChild<QActionGroup*>(QStringLiteral("radioMarks"), Qt::FindDirectChildrenOnly);
  if (!group) {
    group = new QActionGroup(menu);
    group->setObjectName(QStringLiteral("radioMarks"));
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  }
  return group;
}

// The menu's top-left corner moved so that the whole menu stays on the screen
// that holds the point.
QPoint KeptOnScreen(QMenu* menu, const QPoint& globalPos, QWidget* owner) {
  QScreen* screen = QGuiApplication::screenAt(globalPos);
  if (!screen && owner) screen = owner->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return globalPos;
  const QRect area = screen->availableGeometry();
  const QSize size = menu->sizeHint();
  QPoint pos = globalPos;
  pos.setX(std::max(area.left(), std::min(pos.x(), area.right() + 1 - size.width())));
  pos.setY(std::max(area.top(), std::min(pos.y(), area.bottom() + 1 - size.height())));
  return pos;
}

}  // namespace

CBmpMenu::~CBmpMenu() { Dismiss(); }

int CBmpMenu::TrackPopup(QMenu* menu, const QPoint& globalPos, CommandMap& commands, QWidget* owner) {
  if (!menu || open_) return 0;
  UpdateMenu(menu, commands);
  QPointer<QMenu> guard(menu);
  shown_ = menu;
  open_ = true;
  QAction* chosen = menu->exec(KeptOnScreen(menu, globalPos, owner));
  const int command = chosen && guard ? chosen->data().toInt() : 0;
  shown_ = nullptr;
  open_ = false;
  // The command runs after the menu has gone, as it would after the popup's
  // own loop ended: it may open dialogs or close the window that asked.
  if (command != 0) commands.Execute(command);
  return command;
}

void CBmpMenu::Dismiss() {
  if (shown_) shown_->close();
}

void UpdateMenu(QMenu* menu, const CommandMap& commands) {
  if (!menu) return;
  for (QAction* action : menu->actions()) {
    if (QMenu* sub = action->menu()) {
      UpdateMenu(sub, commands);
      continue;
    }
    if (action->isSeparator()) continue;
    bool ok = false;
    const int id = action->data().toInt(&ok);
    if (!ok || id == 0) continue;
    const CmdUI ui = commands.Query(id);
    action->setEnabled(ui.enabled);
    if (ui.radio && ui.checked) action->setActionGroup(RadioGroup(menu));
    // Only marked entries are checkable, so unmarked ones draw no empty box.
    action->setCheckable(ui.checked || action->actionGroup() != nullptr);
    action->setChecked(ui.checked);
  }
}

}  // namespace orvenna
