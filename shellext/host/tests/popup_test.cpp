// The popup built from the test handler's menu, driven with the pointer under
// Qt's offscreen platform.
#include <QMenu>
#include <QTest>
#include <QWidgetAction>

#include <functional>
#include <memory>

#include "platform/ui/tests/qt_test_util.h"
#include "shellext/host/PopupMenu.h"
#include "shellext/host/tests/host_fixture.h"

namespace ferrule_host::testing {
namespace {

using vel::ui::testing::WaitFor;

class Popup : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    std::string error;
    ASSERT_TRUE(session_.Build({file_}, &error)) << error;
    popup_ = BuildPopup(session_, &chosen_);
  }
  void TearDown() override {
    popup_.reset();
    HostFixture::TearDown();
  }
  // The widget of the picture item with this offset.
  CPictureItem* Picture(UINT offset) {
    for (QAction* a : popup_->actions())
      if (auto* wa = qobject_cast<QWidgetAction*>(a); wa && CommandOf(a) == kFirstCommandId + offset)
        return static_cast<CPictureItem*>(wa->defaultWidget());
    return nullptr;
  }
  void Show() {
    popup_->popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup_.get()));
  }
  QRgb CentreOf(QWidget* w) { return w->grab().toImage().pixel(w->width() / 2, w->height() / 2); }

  CMenuSession session_;
  UINT chosen_ = 0;
  std::unique_ptr<QMenu> popup_;
};

TEST_F(Popup, HoldsEveryKindOfItem) {
  // kind: T text, S separator, M submenu, P picture; -1: no command.
  const struct {
    char kind;
    const char* text;
    int offset;
    QSize size;  // pictures only
  } expected[] = {{'T', "&Open sesame", 0, {}}, {'S', "", -1, {}},       {'M', "&More", -1, {}},
                  {'P', "", 3, {40, 30}},       {'P', "", 4, {126, 96}}, {'T', "Grayed", 5, {}}};
  const QList<QAction*> actions = popup_->actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const auto& e = expected[i];
    QAction* a = actions[static_cast<int>(i)];
    SCOPED_TRACE(i);
    EXPECT_EQ(a->isSeparator(), e.kind == 'S');
    EXPECT_EQ(a->menu() != nullptr, e.kind == 'M');
    if (e.kind == 'T' || e.kind == 'M') {
      EXPECT_EQ(a->text().toStdString(), e.text);
    }
    if (e.offset >= 0) {
      EXPECT_EQ(CommandOf(a), kFirstCommandId + e.offset);
      const std::string help = "Help for item " + std::to_string(e.offset);
      EXPECT_EQ(a->toolTip().toStdString(), help);
      EXPECT_EQ(a->statusTip().toStdString(), help);
    }
    if (e.kind == 'P') {
      CPictureItem* w = Picture(e.offset);
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(w->sizeHint(), e.size);
    }
  }
  EXPECT_TRUE(popup_->toolTipsVisible());
  EXPECT_TRUE(actions[0]->font().bold());  // the default item
  EXPECT_FALSE(actions[0]->icon().isNull());
  EXPECT_FALSE(actions[5]->isEnabled());
  EXPECT_FALSE(actions[5]->font().bold());
  // The nested submenus keep their items and ids.
  QMenu* more = actions[2]->menu();
  ASSERT_EQ(more->actions().size(), 2);
  EXPECT_EQ(more->actions()[0]->text().toStdString(), "Inner && outer");
  EXPECT_EQ(CommandOf(more->actions()[0]), kFirstCommandId + 1);
  QMenu* deeper = more->actions()[1]->menu();
  ASSERT_NE(deeper, nullptr);
  ASSERT_EQ(deeper->actions().size(), 1);
  EXPECT_EQ(CommandOf(deeper->actions()[0]), kFirstCommandId + 2);
  // The picture item shows its own bitmap at the start of its row.
  EXPECT_EQ(QColor(Picture(3)->grab().toImage().pixel(20, 15)), QColor(10, 160, 30));
}

TEST_F(Popup, OwnerDrawnItemIsLitWhileHoveredAndChosenByAClick) {
  Show();
  CPictureItem* owner = Picture(4);
  CPictureItem* bitmap = Picture(3);
  ASSERT_TRUE(owner && bitmap);
  QTest::mouseMove(owner, QPoint(10, 10));
  ASSERT_TRUE(WaitFor([&] { return HandlerLog().find("draw 4 1") != std::string::npos; })) << HandlerLog();
  EXPECT_TRUE(owner->selected());
  EXPECT_EQ(QColor(CentreOf(owner)), QColor(255, 0, 0));  // the handler's "selected" paint
  vel::ui::testing::SaveShotIfAsked(*popup_, "ferrule-menu-test-handler");
  QTest::mouseMove(bitmap, QPoint(5, 5));
  ASSERT_TRUE(WaitFor([&] { return !owner->selected(); }));
  EXPECT_EQ(QColor(CentreOf(owner)), QColor(0, 255, 0));
  const std::string log = HandlerLog();
  EXPECT_NE(log.find("draw 4 0", log.find("draw 4 1")), std::string::npos) << log;

  QTest::mouseMove(owner, QPoint(10, 10));
  QTest::mouseClick(owner, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(chosen_, kFirstCommandId + 4);
  EXPECT_TRUE(WaitFor([&] { return !popup_->isVisible(); }));
  EXPECT_EQ(session_.Invoke(chosen_), S_OK);
  EXPECT_NE(HandlerLog().find("invoke 4 1 " + file_), std::string::npos);
}

TEST_F(Popup, TextItemsAreChosenByTheKeyboard) {
  Show();
  // The default item comes first: Down lights it, Return chooses it.
  QTest::keyClick(popup_.get(), Qt::Key_Down);
  QTest::keyClick(popup_.get(), Qt::Key_Return);
  EXPECT_EQ(chosen_, kFirstCommandId);
  EXPECT_TRUE(WaitFor([&] { return !popup_->isVisible(); }));
}

}  // namespace
}  // namespace ferrule_host::testing
