// The handlers' menu as a real popup: text items with their accelerators,
// separators, submenus, the default item in bold, item bitmaps as icons, picture
// items, and owner-drawn items that the handler measures and paints itself.
#pragma once

#include <QImage>
#include <QMenu>
#include <QWidget>

#include <memory>

#include "shellext/host/MenuSession.h"

class QWidgetAction;

namespace ferrule_host {

// A menu row that is a picture rather than text: lit while the pointer is on it or
// the keyboard has chosen it, and chosen by a click like any item.
class CPictureItem : public QWidget {
 public:
  CPictureItem(QWidgetAction* action, QSize size, QWidget* parent = nullptr);
  bool selected() const;
  QSize sizeHint() const override { return size_; }
  QSize minimumSizeHint() const override { return size_; }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

  QWidgetAction* action_;

 private:
  QSize size_;
  bool underMouse_ = false;
};

// An MFT_BITMAP item: shows its bitmap at its own size.
class CBitmapItem : public CPictureItem {
 public:
  CBitmapItem(QWidgetAction* action, const QImage& image, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

// An MFT_OWNERDRAW item: sized by WM_MEASUREITEM, painted by WM_DRAWITEM on a
// painter DC, with ODS_SELECTED while it is lit.
class COwnerDrawItem : public CPictureItem {
 public:
  COwnerDrawItem(QWidgetAction* action, const CMenuSession& session, UINT id, QSize size, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const CMenuSession& session_;
  UINT id_;
};

// Builds the popup for the session's menu. When an item is chosen, its command
// id goes to *chosen (left alone otherwise) and every level of the popup closes.
// The session must outlive the popup: owner-drawn items paint through it.
std::unique_ptr<QMenu> BuildPopup(const CMenuSession& session, UINT* chosen);

// The command id an action of the popup stands for; 0 for none.
UINT CommandOf(const QAction* action);

}  // namespace ferrule_host
