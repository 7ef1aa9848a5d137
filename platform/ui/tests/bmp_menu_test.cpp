// The shared popup menu: where it opens, its banner strip, default entry and
// picture pairs, the entry chosen with the keyboard, and entry states.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>

#include "platform/ui/bmp_menu.h"
#include "platform/ui/ui.h"

namespace vel::ui {
namespace {

using Placement = CBmpMenu::Placement;

TEST(BmpMenuTest, PopupPositionKeepsTheMenuOnTheDesktop) {
  const QRect desk(0, 0, 800, 600);
  const QSize size(200, 100);
  struct Case {
    QPoint at;
    Placement placement;
    QPoint expected;
  } cases[] = {
      {{10, 20}, Placement::AwayFromEdges, {10, 20}},      // room everywhere: top-left at the point
      {{700, 20}, Placement::AwayFromEdges, {500, 20}},    // right edge: opens to the left
      {{10, 550}, Placement::AwayFromEdges, {10, 450}},    // bottom edge: opens upwards
      {{790, 590}, Placement::AwayFromEdges, {590, 490}},  // corner: both
      {{600, 500}, Placement::AwayFromEdges, {600, 500}},  // just fits
      {{601, 501}, Placement::AwayFromEdges, {401, 401}},
      {{700, 550}, Placement::KeepOnScreen, {600, 500}},  // the viewer's menus are pushed in
      {{-50, -50}, Placement::KeepOnScreen, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.at.x() << "," << c.at.y());
    EXPECT_EQ(CBmpMenu::PopupPosition(size, c.at, desk, c.placement), c.expected);
  }
  // Wider than the room on either side: the left edge wins.
  EXPECT_EQ(CBmpMenu::PopupPosition({900, 50}, {400, 10}, desk, Placement::AwayFromEdges), QPoint(0, 10));
}

QPixmap Filled(Qt::GlobalColor color) {
  QPixmap pixmap(16, 16);
  pixmap.fill(color);
  return pixmap;
}

struct Shown {
  int command = -1;
  int width = 0;
  int bannerWidth = 0;
  QPoint at;
  QColor left;  // the menu's picture half way down, inside its left edge
};

// Shows the menu and hands it to `drive` once it is up.
Shown Track(CBmpMenu& popup, QMenu& menu, const std::function<void(QMenu*)>& drive) {
  Shown result;
  QTimer::singleShot(50, [&] {
    QMenu* open = popup.Shown();
    if (!open || !open->isVisible()) {
      ADD_FAILURE() << "the menu did not open";
      popup.Dismiss();
      return;
    }
    result.width = open->width();
    result.at = open->pos();
    if (auto* strip = open->findChild<QWidget*>(QStringLiteral("bmpMenuBanner"))) result.bannerWidth = strip->width();
    const QImage picture = open->grab().toImage();
    result.left = picture.pixelColor(CBmpMenu::kBannerWidth / 2 + 1, picture.height() / 2);
    drive(open);
  });
  result.command = popup.TrackPopup(&menu, QPoint(30, 40), nullptr);
  return result;
}

TEST(BmpMenuTest, ShowsBannerAndDefaultAndReturnsTheChosenCommand) {
  EnsureApplication();
  QMenu menu;
  for (int id : {101, 0, 102, 103}) {
    if (id == 0) {
      menu.addSeparator();
      continue;
    }
    menu.addAction(QStringLiteral("Entry %1").arg(id))->setData(id);
  }
  menu.actions()[3]->setEnabled(false);
  CBmpMenu popup;
  popup.SetPlacement(Placement::AwayFromEdges);
  const Shown plain = Track(popup, menu, [](QMenu* m) { QTest::keyClick(m, Qt::Key_Escape); });
  EXPECT_EQ(plain.command, 0);
  EXPECT_EQ(plain.bannerWidth, 0);
  EXPECT_NE(plain.left, QColor(Qt::darkBlue));
  EXPECT_EQ(plain.at, QPoint(30, 40));

  ASSERT_TRUE(CBmpMenu::SetDefaultItem(&menu, 102));
  EXPECT_FALSE(CBmpMenu::SetDefaultItem(&menu, 999));
  EXPECT_EQ(menu.defaultAction()->data().toInt(), 102);
  EXPECT_TRUE(menu.defaultAction()->font().bold());
  EXPECT_FALSE(menu.actions()[0]->font().bold());
  CBmpMenu::SetItemBitmaps(menu.actions()[0], Filled(Qt::red), Filled(Qt::blue));
  const QIcon icon = menu.actions()[0]->icon();
  EXPECT_EQ(icon.pixmap(16, QIcon::Normal).toImage().pixelColor(8, 8), QColor(Qt::red));
  EXPECT_EQ(icon.pixmap(16, QIcon::Active).toImage().pixelColor(8, 8), QColor(Qt::blue));

  popup.SetBanner(Filled(Qt::darkBlue));
  const QMargins before = menu.contentsMargins();
  struct Keys {
    std::vector<Qt::Key> keys;
    int command;
  } table[] = {
      {{Qt::Key_Down, Qt::Key_Return}, 101},
      {{Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 102},
      {{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 101},  // the disabled entry is passed over
      {{Qt::Key_Down, Qt::Key_Escape}, 0},
  };
  for (const Keys& k : table) {
    const Shown shown = Track(popup, menu, [&k](QMenu* m) {
      for (Qt::Key key : k.keys) QTest::keyClick(m, key);
    });
    EXPECT_EQ(shown.command, k.command);
    EXPECT_EQ(shown.bannerWidth, CBmpMenu::kBannerWidth);
    EXPECT_EQ(shown.left, QColor(Qt::darkBlue));
    EXPECT_GE(shown.width, plain.width + CBmpMenu::kBannerWidth);
    EXPECT_FALSE(popup.IsOpen());
  }
  // The caller's menu comes back as it was given.
  EXPECT_EQ(menu.contentsMargins(), before);
  EXPECT_EQ(menu.findChild<QWidget*>(QStringLiteral("bmpMenuBanner")), nullptr);
}

TEST(BmpMenuTest, UpdateMenuTakesEachEntrysState) {
  EnsureApplication();
  QMenu menu;
  for (int id : {1, 2, 3}) menu.addAction(QString::number(id))->setData(id);
  QMenu* sub = menu.addMenu(QStringLiteral("sub"));
  sub->addAction(QStringLiteral("4"))->setData(4);
  QAction* plain = menu.addAction(QStringLiteral("no command"));
  UpdateMenu(&menu, [](int id) { return MenuItemState{id != 2, id == 3 || id == 4, id == 3}; });
  const auto a = menu.actions();
  EXPECT_TRUE(a[0]->isEnabled());
  EXPECT_FALSE(a[0]->isCheckable());
  EXPECT_FALSE(a[1]->isEnabled());
  EXPECT_TRUE(a[2]->isChecked());
  ASSERT_NE(a[2]->actionGroup(), nullptr);
  EXPECT_TRUE(sub->actions()[0]->isChecked());
  EXPECT_EQ(sub->actions()[0]->actionGroup(), nullptr);
  EXPECT_TRUE(plain->isEnabled());
  EXPECT_FALSE(plain->isCheckable());
}

}  // namespace
}  // namespace vel::ui
