// Pictures of every page of the settings sheet, written to build/screenshots for
// a person (and the user's guide) to look at. Each page must fit the sheet as it
// opens: a caption that needs more room than the sheet gives would show cut.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTabWidget>

#include <string>

#include "converter/sheet/tests/sheet_fixture.h"
#include "platform/shell/shell.h"

namespace converter::testing {
namespace {

// File names of the pages' pictures, in tab order.
constexpr const char* kShotNames[CSettings::kPageCount] = {
    "color-depth", "formats", "miscellaneous", "rename", "zoom-rotation",
    "thumbnail",   "tiff",    "about",         "crop",   "brightness-contrast"};

class SheetScreenshots : public SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    dir_ = ModuleDirectory() + "/../screenshots";
    mkdir(dir_.c_str(), 0755);
  }
  std::string dir_;
};

TEST_F(SheetScreenshots, EveryPageShowsWholeAndIsPhotographed) {
  // A few values a person would set, so the pictures show the pages in use.
  Store([](ConverterSettings& s) {
    s.optUsePredefFolder = 1;
    s.optFolderPath = "/home/ann/Pictures/converted";
    s.tiffArtist = "Ann Example";
    s.cropMode = 1;
    s.cropWidth = 1600;
    s.cropHeight = 1200;
    s.briconBri = 20;
  });
  CSettings sheet;
  sheet.show();
  QApplication::processEvents();
  auto* tabs = Find<QTabWidget>(sheet, "pages");
  ASSERT_NE(tabs, nullptr);

  for (int i = 0; i < CSettings::kPageCount; ++i) {
    ASSERT_TRUE(sheet.SetActivePage(i)) << kShotNames[i];
    QApplication::processEvents();
    CSheetPage* page = sheet.Page(i);
    ASSERT_EQ(tabs->currentWidget(), page) << kShotNames[i];
    const QSize needed = page->minimumSizeHint(), given = page->size();
    EXPECT_GE(given.width(), needed.width()) << kShotNames[i] << " is cut at the right";
    EXPECT_GE(given.height(), needed.height()) << kShotNames[i] << " is cut at the bottom";
    // Every caption on show is shown whole (wrapped texts wrap instead).
    for (QWidget* control : page->findChildren<QWidget*>()) {
      auto* label = qobject_cast<QLabel*>(control);
      if (!control->isVisible() || (label && label->wordWrap())) continue;
      if (!label && !qobject_cast<QAbstractButton*>(control)) continue;
      EXPECT_GE(control->width(), control->minimumSizeHint().width())
          << kShotNames[i] << ": "
          << (label ? label->text() : qobject_cast<QAbstractButton*>(control)->text()).toStdString();
    }
    const QString file = QString::fromStdString(dir_ + "/converter-settings-" + kShotNames[i] + ".png");
    ASSERT_TRUE(sheet.grab().save(file)) << kShotNames[i];
    const QImage written(file);
    EXPECT_EQ(written.size(), sheet.size() * sheet.devicePixelRatio()) << kShotNames[i];
  }
}

}  // namespace
}  // namespace converter::testing
