#include "platform/ui/bmp_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace vel::ui {
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

QRect DesktopArea(const QPoint& globalPos, QWidget* owner) {
  QScreen* screen = QGuiApplication::screenAt(globalPos);
  if (!screen && owner) screen = owner->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

// The strip along the menu's left side. It lives in the left contents margin
// the menu keeps free for it and follows the menu's height.
class BannerStrip : public QWidget {
 public:
  BannerStrip(QMenu* menu, const QPixmap& picture) : QWidget(menu), menu_(menu), picture_(picture) {
    setObjectName(QStringLiteral("bmpMenuBanner"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    menu->installEventFilter(this);
    Place();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == menu_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) Place();
    return false;
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawPixmap(rect(), picture_);
  }

 private:
  void Place() {
    const int frame = menu_->style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, menu_);
    setGeometry(frame, frame, CBmpMenu::kBannerWidth, std::max(0, menu_->height() - 2 * frame));
    raise();
  }

  QMenu* menu_;
  QPixmap picture_;
};

}  // namespace

CBmpMenu::~CBmpMenu() { Dismiss(); }

int CBmpMenu::TrackPopup(QMenu* menu, const QPoint& globalPos, QWidget* owner) {
  if (!menu || open_) return 0;
  QPointer<QMenu> guard(menu);
  const QMargins margins = menu->contentsMargins();
  QPointer<BannerStrip> banner;
  if (!banner_.isNull()) {
    menu->setContentsMargins(margins + QMargins(kBannerWidth, 0, 0, 0));
    banner = new BannerStrip(menu, banner_);
  }
  // A menu measures its entries once and keeps the result until they or its
  // font change; new margins alone would not count, and a stale size would
  // misplace a menu that must open to the left of the point.
  QEvent remeasure(QEvent::FontChange);
  QCoreApplication::sendEvent(menu, &remeasure);
  shown_ = menu;
  open_ = true;
  const QPoint at = PopupPosition(menu->sizeHint(), globalPos, DesktopArea(globalPos, owner), placement_);
  QAction* chosen = menu->exec(at);
  const int command = chosen && guard ? chosen->data().toInt() : 0;
  shown_ = nullptr;
  open_ = false;
  // The menu stays the caller's: give it back as it came.
  delete banner.data();
  if (guard && guard->contentsMargins() != margins) {
    guard->setContentsMargins(margins);
    QCoreApplication::sendEvent(guard, &remeasure);
  }
  return command;
}

void CBmpMenu::Dismiss() {
  if (shown_) shown_->close();
}

void CBmpMenu::SetItemBitmaps(QAction* action, const QPixmap& normal, const QPixmap& highlighted) {
  if (!action) return;
  QIcon icon;
  icon.addPixmap(normal, QIcon::Normal);
  // Styles draw the entry under the pointer in Active mode, some in Selected.
  icon.addPixmap(highlighted, QIcon::Active);
  icon.addPixmap(highlighted, QIcon::Selected);
  action->setIcon(icon);
  action->setIconVisibleInMenu(true);
}

bool CBmpMenu::SetDefaultItem(QMenu* menu, int command) {
  if (!menu) return false;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator() || action->data().toInt() != command) continue;
    menu->setDefaultAction(action);
    // Not every style draws the default entry bold by itself.
    QFont font = action->font();
    font.setBold(true);
    action->setFont(font);
    return true;
  }
  return false;
}

QPoint CBmpMenu::PopupPosition(const QSize& size, const QPoint& point, const QRect& area, Placement placement) {
  if (!area.isValid()) return point;
  QPoint pos = point;
  if (placement == Placement::AwayFromEdges) {
    if (pos.x() + size.width() > area.right() + 1) pos.rx() -= size.width();
    if (pos.y() + size.height() > area.bottom() + 1) pos.ry() -= size.height();
  }
  // Whatever is still outside (a menu larger than the room on either side) is
  // pushed back in, the top-left corner winning.
  pos.setX(std::max(area.left(), std::min(pos.x(), area.right() + 1 - size.width())));
  pos.setY(std::max(area.top(), std::min(pos.y(), area.bottom() + 1 - size.height())));
  return pos;
}

void UpdateMenu(QMenu* menu, const MenuItemQuery& query) {
  if (!menu || !query) return;
  for (QAction* action : menu->actions()) {
    if (QMenu* sub = action->menu()) {
      UpdateMenu(sub, query);
      continue;
    }
    if (action->isSeparator()) continue;
    bool ok = false;
    const int id = action->data().toInt(&ok);
    if (!ok || id == 0) continue;
    const MenuItemState state = query(id);
    action->setEnabled(state.enabled);
    if (state.radio && state.checked) action->setActionGroup(RadioGroup(menu));
    // Only marked entries are checkable, so unmarked ones draw no empty box.
    action->setCheckable(state.checked || action->actionGroup() != nullptr);
    action->setChecked(state.checked);
  }
}

}  // namespace vel::ui
