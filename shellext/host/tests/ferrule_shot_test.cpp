// The real extension in the host: one selected image gives its menu with the
// thumbnail item, which the worker made; the popup is photographed for review.
#include <QMenu>
#include <QTest>
#include <QWidgetAction>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "lorimer/ImageInterface.h"
#include "platform/com/com.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/shell.h"
#include "platform/ui/tests/qt_test_util.h"
#include "shellext/host/PopupMenu.h"

namespace ferrule_host::testing {
namespace {

class FerruleShot : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("TMPDIR", dir_.c_str(), 1);
    std::string error;
    ASSERT_TRUE(ferrule_.load(FERRULE_PATH, &error)) << error;
    ASSERT_EQ(ferrule_.registerServer(), S_OK);
    vel::OwnedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kAppPathsKey) + "\\Wicklow").c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const std::string worker = WICKLOW_PATH;
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(worker.c_str()),
                   static_cast<DWORD>(worker.size() + 1));
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    TempRegistry::TearDown();
  }
  vel::com::ServerModule ferrule_;
};

TEST_F(FerruleShot, OneImageShowsItsThumbnailItem) {
  // A plain green 640 x 480 picture.
  const std::string image = TempPath("harbour.png");
  HBITMAP bmp = CImageInterface::CreateEmptyDIBSection(640, 480, RGB(30, 150, 60), 0);
  CImageInterface picture;
  ASSERT_TRUE(picture.InitFromHBITMAP(bmp));
  _SAVEIMAGEINFO::_PNG record{};
  record.depth = 24;
  ASSERT_TRUE(picture.Save(image.c_str(), &record));

  CMenuSession session;
  std::string error;
  ASSERT_TRUE(session.Build({image}, &error)) << error;
  UINT chosen = 0;
  std::unique_ptr<QMenu> popup = BuildPopup(session, &chosen);
  CPictureItem* thumbnail = nullptr;
  for (QAction* a : popup->actions())
    if (auto* wa = qobject_cast<QWidgetAction*>(a)) thumbnail = static_cast<CPictureItem*>(wa->defaultWidget());
  ASSERT_NE(thumbnail, nullptr);
  // The worker fits 640 x 480 into the default limits; the item is 6 pixels larger.
  HDC screen = CreateCompatibleDC(nullptr);
  const int limitW = GetDeviceCaps(screen, HORZRES) / 5, limitH = GetDeviceCaps(screen, VERTRES) / 5;
  DeleteDC(screen);
  const int fittedW = std::min(limitW, limitH * 4 / 3), fittedH = fittedW * 3 / 4;
  EXPECT_NEAR(thumbnail->sizeHint().width(), fittedW + 6, 1);
  EXPECT_NEAR(thumbnail->sizeHint().height(), fittedH + 6, 1);

  popup->popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(popup.get()));
  QTest::mouseMove(thumbnail, QPoint(thumbnail->width() / 2, thumbnail->height() / 2));
  ASSERT_TRUE(vel::ui::testing::WaitFor([&] { return thumbnail->selected(); }));
  // The frame is centred in the row and the picture lies 3 pixels inside it.
  const QImage shown = thumbnail->grab().toImage();
  const int left = (shown.width() - (fittedW + 6)) / 2;
  EXPECT_EQ(QColor(shown.pixel(left + 3, shown.height() / 2)), QColor(30, 150, 60));
  EXPECT_NE(QColor(shown.pixel(left + 2, shown.height() / 2)), QColor(30, 150, 60));
  vel::ui::testing::SaveShotIfAsked(*popup, "ferrule-menu-one-image");
}

}  // namespace
}  // namespace ferrule_host::testing
