#include "shellext/host/PopupMenu.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWidgetAction>

#include <vector>

#include "platform/gdi/painter_dc.h"
#include "platform/ui/bitmap_image.h"

namespace ferrule_host {
namespace {

constexpr const char* kCommandProperty = "ferruleCommand";
// A handler cannot nest its menus without end, but a bad one could loop.
constexpr int kMaxDepth = 16;

void SetCommand(QAction* action, UINT id) { action->setProperty(kCommandProperty, id); }

// Closes the popup and every menu above it (a widget item does not do that by itself).
void CloseChain(QWidget* from) {
  for (QWidget* w = from; w; w = w->parentWidget())
    if (auto* menu = qobject_cast<QMenu*>(w)) menu->close();
}

QIcon ItemIcon(const vel::com::MenuItem& item) {
  const bool checked = (item.state & MFS_CHECKED) != 0;
  HBITMAP bitmap = checked && item.checkedBitmap ? item.checkedBitmap : item.uncheckedBitmap;
  if (!bitmap) bitmap = item.checkedBitmap;
  const QImage image = bitmap ? vel::ui::ImageFromBitmap(bitmap) : QImage();
  return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

void ApplyState(QAction* action, const vel::com::MenuItem& item) {
  action->setEnabled((item.state & MFS_GRAYED) == 0);
  if (item.state & MFS_CHECKED) {
    action->setCheckable(true);
    action->setChecked(true);
  }
  if (item.state & MFS_DEFAULT) {
    QFont bold = action->font();
    bold.setBold(true);
    action->setFont(bold);
  }
  const QIcon icon = ItemIcon(item);
  if (!icon.isNull()) action->setIcon(icon);
}

void SetHelp(QAction* action, const QString& help) {
  action->setToolTip(help);
  action->setStatusTip(help);
}

// Widget items are lit by the keyboard too: repaint them when the active item moves.
void Prepare(QMenu* menu) {
  menu->setToolTipsVisible(true);
  QObject::connect(menu, &QMenu::hovered, menu, [menu] {
    for (CPictureItem* item : menu->findChildren<CPictureItem*>()) item->update();
  });
}

struct Builder {
  const CMenuSession& session;
  UINT* chosen;

  void Connect(QAction* action, UINT id) {
    SetCommand(action, id);
    UINT* out = chosen;
    QObject::connect(action, &QAction::triggered, action, [out, id] { *out = id; });
  }

  QAction* PictureAction(QMenu* menu, const vel::com::MenuItem& item) {
    auto* action = new QWidgetAction(menu);
    CPictureItem* widget = nullptr;
    if (item.type & MFT_OWNERDRAW) {
      SIZE size{0, 0};
      // An item its handler does not measure keeps a small size of its own.
      if (!session.Measure(item.id, &size) || size.cx <= 0 || size.cy <= 0) size = {16, 16};
      widget = new COwnerDrawItem(action, session, item.id, QSize(size.cx, size.cy));
    } else {
      const QImage image = vel::ui::ImageFromBitmap(item.bitmap);
      widget = new CBitmapItem(action, image.isNull() ? QImage(16, 16, QImage::Format_RGB32) : image);
    }
    action->setDefaultWidget(widget);
    menu->addAction(action);
    return action;
  }

  void Fill(QMenu* menu, HMENU source, int depth) {
    for (const vel::com::MenuItem& item : vel::com::MenuItems(source)) {
      if (item.submenu) {
        QMenu* sub = menu->addMenu(QString::fromLocal8Bit(item.text.c_str()));
        Prepare(sub);
        ApplyState(sub->menuAction(), item);
        if (depth < kMaxDepth) Fill(sub, item.submenu, depth + 1);
        continue;
      }
      if (item.type & MFT_SEPARATOR) {
        menu->addSeparator();
        continue;
      }
      QAction* action = (item.type & (MFT_BITMAP | MFT_OWNERDRAW))
                            ? PictureAction(menu, item)
                            : menu->addAction(QString::fromLocal8Bit(item.text.c_str()));
      ApplyState(action, item);
      const QString help = QString::fromLocal8Bit(session.HelpText(item.id).c_str());
      SetHelp(action, help);
      if (auto* wa = qobject_cast<QWidgetAction*>(action)) wa->defaultWidget()->setToolTip(help);
      Connect(action, item.id);
    }
  }
};

}  // namespace

CPictureItem::CPictureItem(QWidgetAction* action, QSize size, QWidget* parent)
    : QWidget(parent), action_(action), size_(size) {
  // The row spans the menu's width, as the shell hands an owner-drawn item the
  // whole row to draw in (the extension centres its picture there).
  setMinimumSize(size);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setMouseTracking(true);
}

bool CPictureItem::selected() const {
  if (underMouse_) return true;
  const auto* menu = qobject_cast<const QMenu*>(parentWidget());
  return menu && menu->activeAction() == action_;
}

void CPictureItem::enterEvent(QEnterEvent* event) {
  underMouse_ = true;
  update();
  QWidget::enterEvent(event);
}

void CPictureItem::leaveEvent(QEvent* event) {
  underMouse_ = false;
  update();
  QWidget::leaveEvent(event);
}

void CPictureItem::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()) || !action_->isEnabled())
    return QWidget::mouseReleaseEvent(event);
  QWidget* menu = parentWidget();
  action_->trigger();
  CloseChain(menu);
}

CBitmapItem::CBitmapItem(QWidgetAction* action, const QImage& image, QWidget* parent)
    : CPictureItem(action, image.size(), parent), image_(image) {}

void CBitmapItem::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
  // A lit picture item is shown inverted, as the menu shows a chosen bitmap item.
  if (selected()) {
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(rect(), Qt::white);
  }
}

COwnerDrawItem::COwnerDrawItem(QWidgetAction* action, const CMenuSession& session, UINT id, QSize size, QWidget* parent)
    : CPictureItem(action, size, parent), session_(session), id_(id) {}

void COwnerDrawItem::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  vel::gdi::PainterCaps caps;
  caps.width = width();
  caps.height = height();
  HDC dc = vel::gdi::CreatePainterDC(&painter, caps);
  const RECT rect{0, 0, width(), height()};
  const bool drawn = dc && session_.Draw(id_, dc, rect, selected() ? ODS_SELECTED : 0);
  if (dc) DeleteDC(dc);
  if (!drawn) painter.fillRect(this->rect(), palette().color(selected() ? QPalette::Highlight : QPalette::Window));
}

std::unique_ptr<QMenu> BuildPopup(const CMenuSession& session, UINT* chosen) {
  auto menu = std::make_unique<QMenu>();
  Prepare(menu.get());
  Builder{session, chosen}.Fill(menu.get(), session.menu(), 0);
  return menu;
}

UINT CommandOf(const QAction* action) { return action ? action->property(kCommandProperty).toUInt() : 0; }

}  // namespace ferrule_host
