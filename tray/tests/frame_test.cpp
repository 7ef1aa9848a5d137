// The tray program's window in this process: the icon, its menu and what each
// command starts, removing the icon, and the profile.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

#include "platform/shell/tests/tray_run_value.h"
#include "platform/shell/tray_startup.h"
#include "platform/ui/tests/qt_test_util.h"
#include "platform/ui/ui.h"
#include "tray/CMainFrame.h"
#include "tray/Pictures.h"
#include "tray/tests/tray_fixture.h"

namespace pennock::testing {
namespace {

using vel::ui::testing::WaitFor;

class FrameTest : public TrayTest {
 protected:
  void SetUp() override {
    TrayTest::SetUp();
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned) {
      messages_.push_back(title + ": " + text);
      return IDOK;
    });
  }
  void TearDown() override {
    vel::ui::SetMessageObserver({});
    TrayTest::TearDown();
  }
  // Opens the icon menu at `at` and hands it to `drive` once it shows.
  int DriveMenu(CMainFrame& frame, const QPoint& at, const std::function<void(QMenu*)>& drive) {
    QTimer::singleShot(50, [&] {
      QMenu* menu = frame.Popup().Shown();
      if (!menu || !menu->isVisible()) {
        ADD_FAILURE() << "the menu did not open";
        frame.Popup().Dismiss();
        return;
      }
      drive(menu);
    });
    return frame.ShowMenu(at);
  }
  std::vector<std::string> messages_;
};

TEST_F(FrameTest, MenuHasTheEntriesInOrderWithPicturesAndABoldDefault) {
  QMenu menu;
  CMainFrame::BuildMenu(&menu);
  struct Entry {
    int id;
    const char* text;
  } expected[] = {{32775, "Launch Malvito"}, {0, ""}, {32771, "Corbanix settings"},
                  {32773, "About Corbanix"}, {0, ""}, {32772, "Remove icon from the tray"}};
  ASSERT_EQ(menu.actions().size(), static_cast<qsizetype>(std::size(expected)));
  for (size_t i = 0; i < std::size(expected); ++i) {
    QAction* action = menu.actions()[static_cast<qsizetype>(i)];
    SCOPED_TRACE(expected[i].text);
    EXPECT_EQ(action->isSeparator(), expected[i].id == 0);
    if (action->isSeparator()) continue;
    EXPECT_EQ(action->data().toInt(), expected[i].id);
    EXPECT_EQ(action->text().toStdString(), expected[i].text);
    EXPECT_EQ(action->font().bold(), expected[i].id == 32771);
    // A picture pair: the highlighted one differs from the normal one.
    const QImage normal = action->icon().pixmap(16, QIcon::Normal).toImage();
    const QImage lit = action->icon().pixmap(16, QIcon::Active).toImage();
    EXPECT_FALSE(normal.isNull());
    EXPECT_FALSE(lit.isNull());
    EXPECT_NE(normal, lit);
  }
  ASSERT_NE(menu.defaultAction(), nullptr);
  EXPECT_EQ(menu.defaultAction()->data().toInt(), 32771);
}

TEST_F(FrameTest, EachEntryStartsItsProgramWithItsParameter) {
  InstallStandIn("Converter.exe", "converter");
  InstallStandIn("Quorra.exe", "viewer");
  CMainFrame frame;
  EXPECT_EQ(frame.TrayIcon().toolTip(), "Corbanix Settings");
  EXPECT_FALSE(frame.TrayIcon().icon().isNull());
  struct Case {
    int downs;
    int command;
    const char* started;
  } cases[] = {
      {1, ID_LAUNCH_MALVITO, "viewer /ABOUT\n"},
      {2, ID_SETTINGS, "converter /SETTING\n"},
      {3, ID_ABOUT, "converter /ABOUT\n"},
      {0, 0, ""},  // Escape: nothing
  };
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  // Near the bottom-right corner: no room below or to the right of the point.
  const QPoint at = screen.bottomRight() - QPoint(20, 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.started);
    std::remove(TempPath("started.txt").c_str());
    int banner = 0;
    QImage picture;
    QRect shownAt;
    const int chosen = DriveMenu(frame, at, [&](QMenu* menu) {
      if (auto* strip = menu->findChild<QWidget*>("bmpMenuBanner")) banner = strip->width();
      shownAt = menu->geometry();
      picture = menu->grab().toImage();
      vel::ui::testing::SaveShotIfAsked(*menu, "pennock-menu-offscreen");
      for (int i = 0; i < c.downs; ++i) QTest::keyClick(menu, Qt::Key_Down);
      QTest::keyClick(menu, c.downs ? Qt::Key_Return : Qt::Key_Escape);
    });
    EXPECT_EQ(chosen, c.command);
    EXPECT_EQ(banner, vel::ui::CBmpMenu::kBannerWidth);
    // The strip shows the banner, not the menu's background.
    ASSERT_FALSE(picture.isNull());
    const int y = picture.height() / 2;
    EXPECT_EQ(picture.pixelColor(4, y), BannerBitmap(picture.height()).toImage().pixelColor(4, y));
    EXPECT_NE(picture.pixelColor(4, y), picture.pixelColor(picture.width() / 2, y));
    // It opens to the left of and above the point (a menu merely pushed back onto
    // the screen would reach the screen's corner).
    EXPECT_NEAR(shownAt.right(), at.x(), 2);
    EXPECT_NEAR(shownAt.bottom(), at.y(), 2);
    EXPECT_EQ(Started(1, c.command ? 5000 : 300), c.started);
  }
  std::remove(TempPath("started.txt").c_str());
  emit frame.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(Started(), "converter /SETTING\n");
  std::remove(TempPath("started.txt").c_str());
  emit frame.TrayIcon().activated(QSystemTrayIcon::Trigger);  // a single click does nothing
  EXPECT_EQ(Started(1, 300), "");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FrameTest, MissingOrBrokenProgramsAreNotReported) {
  RegisterAppPath("Converter.exe", TempPath("no-such-converter"));
  CMainFrame frame;
  for (int id : {ID_LAUNCH_MALVITO, ID_SETTINGS, ID_ABOUT}) EXPECT_TRUE(frame.OnCommand(id));
  EXPECT_FALSE(frame.OnCommand(32774));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FrameTest, RemovingTheIconBlanksTheRunValueAndCloses) {
  ASSERT_TRUE(vel::shell::SetTrayStartup("/opt/velmark/pennock"));
  CMainFrame frame;
  bool closed = false;
  QObject::connect(&frame, &CMainFrame::Closed, [&closed] { closed = true; });
  const int chosen = DriveMenu(frame, QPoint(10, 10), [](QMenu* menu) {
    QTest::keyClick(menu, Qt::Key_Up);  // from the bottom: the last entry
    QTest::keyClick(menu, Qt::Key_Return);
  });
  EXPECT_EQ(chosen, ID_REMOVE_ICON);
  EXPECT_TRUE(WaitFor([&closed] { return closed; }));
  EXPECT_FALSE(frame.TrayIcon().isVisible());
  EXPECT_EQ(vel::shell::testing::TrayRunValue(), std::make_pair(DWORD{REG_SZ}, std::string(260, '\0')));
  EXPECT_NE(ReadFile(vel::shell::TrayAutostartPath()).find("\nHidden=true\n"), std::string::npos);
}

TEST_F(FrameTest, ClassNameGoesToTheProfile) {
  CMainFrame frame;
  vel::OwnedKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmark\\Pennock\\MainFrame", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  char text[64] = {};
  DWORD type = 0, size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key.get(), "ClassName", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(text, "Ulverton");
  EXPECT_FALSE(frame.isVisible());
}

}  // namespace
}  // namespace pennock::testing
