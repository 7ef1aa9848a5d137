// The sheet as a whole: where it opens, what OK, Apply and Cancel store, the
// page it records, switching to About, help and the maker's page.
#include <sys/stat.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "converter/sheet/tests/sheet_fixture.h"
#include "imagelib/core/Common.h"
#include "platform/shell/shell.h"

namespace converter::testing {
namespace {

using Sheet = SheetTest;

TEST_F(Sheet, WithoutAnyKeyItOpensAtThumbnailWithNothingToApply) {
  CSettings sheet;
  EXPECT_EQ(sheet.windowTitle().toStdString(), "Corbanix Settings");
  EXPECT_EQ(sheet.ActivePage(), CSettings::kThumbnailPage);
  EXPECT_EQ(Find<QTabWidget>(sheet, "pages")->currentIndex(), 5);
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
  DWORD type = 0;
  EXPECT_EQ(ActivePageValue(&type), 5);
  EXPECT_EQ(type, REG_DWORD);
  // Nothing of the settings is written just by opening.
  EXPECT_FALSE(Stored().Load());
}

TEST_F(Sheet, TabsAreTheTenPagesInOrder) {
  CSettings sheet;
  const char* titles[] = {"Color depth",
                          "JPEG, GIF and PNG settings",
                          "Miscellaneous",
                          "Rename",
                          "Zoom and Rotation",
                          "Thumbnail",
                          "TIFF settings",
                          "About",
                          "Crop",
                          "Brightness and Contrast"};
  auto* tabs = Find<QTabWidget>(sheet, "pages");
  ASSERT_EQ(tabs->count(), 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(tabs->tabText(i).toStdString(), titles[i]);
    EXPECT_EQ(tabs->widget(i), sheet.Page(i));
  }
  EXPECT_EQ(sheet.Page(10), nullptr);
  EXPECT_EQ(sheet.Page(-1), nullptr);
}

TEST_F(Sheet, OpensAtTheStoredPageWhenItIsOne) {
  const struct {
    int stored;
    int expected;
  } cases[] = {{0, 0}, {3, 3}, {9, 9}, {10, 0}, {-1, 0}, {0x7FFFFFFF, 0}};
  for (const auto& c : cases) {
    Store([&](ConverterSettings& s) { s.pageNumber = c.stored; });
    CSettings sheet;
    EXPECT_EQ(sheet.ActivePage(), c.expected) << c.stored;
    EXPECT_EQ(ActivePageValue(), c.expected) << c.stored;
  }
}

TEST_F(Sheet, TheAboutStartOpensAtAboutWhateverIsStored) {
  Store([](ConverterSettings& s) { s.pageNumber = 2; });
  CSettings sheet(nullptr, true);
  EXPECT_EQ(sheet.ActivePage(), CSettings::kAboutPage);
  EXPECT_EQ(ActivePageValue(), 7);
}

TEST_F(Sheet, ShowAboutPageSwitchesAndRecordsThePage) {
  CSettings sheet;
  ASSERT_EQ(sheet.ActivePage(), 5);
  sheet.ShowAboutPage();
  EXPECT_EQ(sheet.ActivePage(), 7);
  EXPECT_EQ(Find<QTabWidget>(sheet, "pages")->currentIndex(), 7);
  EXPECT_EQ(ActivePageValue(), 7);
  // Switching to About counts as neither a change nor a save.
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
  EXPECT_FALSE(Stored().Load());
}

TEST_F(Sheet, EveryPageSwitchIsRecorded) {
  CSettings sheet;
  for (int page : {0, 8, 2, 9}) {
    EXPECT_TRUE(sheet.SetActivePage(page));
    EXPECT_EQ(ActivePageValue(), page);
  }
  EXPECT_FALSE(sheet.SetActivePage(10));
  EXPECT_EQ(sheet.ActivePage(), 9);
}

TEST_F(Sheet, ApplyStoresTheActivePageAndDisablesItself) {
  CSettings sheet;
  sheet.SetActivePage(CSettings::kOptionsPage);
  auto* overwrite = Find<QCheckBox>(sheet, "optOverwrite");
  overwrite->click();
  EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
  sheet.ApplyButton()->click();
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
  ConverterSettings stored = Stored();
  EXPECT_EQ(stored.pageNumber, 2);
  EXPECT_EQ(stored.optOverwriteExisting, 1);
  EXPECT_TRUE(stored.Load());  // the whole record was written

  // The next sheet opens where this one was applied.
  CSettings next;
  EXPECT_EQ(next.ActivePage(), 2);
}

TEST_F(Sheet, OkSavesEvenWithoutAChangeAndCloses) {
  CSettings sheet;
  sheet.SetActivePage(CSettings::kCropPage);
  sheet.OkButton()->click();
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_EQ(Stored().pageNumber, 8);
}

TEST_F(Sheet, CancelKeepsWhatWasStored) {
  Store([](ConverterSettings& s) { s.optCreateLog = 0; });
  CSettings sheet;
  sheet.SetActivePage(CSettings::kOptionsPage);
  Find<QCheckBox>(sheet, "optCreateLog")->click();
  sheet.CancelButton()->click();
  EXPECT_EQ(sheet.result(), QDialog::Rejected);
  EXPECT_EQ(Stored().optCreateLog, 0);
  EXPECT_EQ(Stored().pageNumber, 5);
}

TEST_F(Sheet, BadInputKeepsThePageAndIsReported) {
  CSettings sheet;
  sheet.SetActivePage(CSettings::kSizePage);
  Find<QLineEdit>(sheet, "newWidth")->setText("");
  EXPECT_FALSE(sheet.SetActivePage(0));
  EXPECT_EQ(sheet.ActivePage(), CSettings::kSizePage);
  EXPECT_EQ(Find<QTabWidget>(sheet, "pages")->currentIndex(), 4);
  EXPECT_EQ(ActivePageValue(), 4);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Corbanix: Please enter an integer.");

  // OK refuses as well, and the sheet stays open with nothing saved.
  sheet.OkButton()->click();
  EXPECT_NE(sheet.result(), QDialog::Accepted);
  EXPECT_EQ(messages_.size(), 2u);
  EXPECT_FALSE(Stored().Load());

  Find<QLineEdit>(sheet, "newWidth")->setText("640");
  EXPECT_TRUE(sheet.Apply());
  EXPECT_EQ(Stored().sizeNewWidth, 640);
}

TEST_F(Sheet, PagesNeverShownKeepTheirStoredValues) {
  // Thumbnail off with the info lines on: showing the page would clear them.
  Store([](ConverterSettings& s) {
    s.pageNumber = 0;
    s.thumbnail.showThumbnail = 0;
    s.thumbnail.showFileNameAndLength = 1;
    s.thumbnail.showWidthAndHeight = 1;
  });
  {
    CSettings sheet;
    ASSERT_TRUE(sheet.Apply());
  }
  EXPECT_EQ(Stored().thumbnail.showFileNameAndLength, 1);
  {
    CSettings sheet;
    sheet.SetActivePage(CSettings::kThumbnailPage);
    sheet.SetActivePage(0);
    ASSERT_TRUE(sheet.Apply());
  }
  EXPECT_EQ(Stored().thumbnail.showFileNameAndLength, 0);
  EXPECT_EQ(Stored().thumbnail.showWidthAndHeight, 0);
  EXPECT_EQ(Stored().pageNumber, 0);
}

TEST_F(Sheet, F1OpensTheGuidePageOfTheHelpFileNextToTheProgram) {
  EXPECT_EQ(CSettings::HelpFilePath(), ModuleDirectory() + "/CONVERTER.hlp");
  // "CONVERTER.hlp" has no opener here: its HTML page in the guide opens instead.
  const std::string guide = TempPath("guide");
  ASSERT_EQ(mkdir(guide.c_str(), 0755), 0);
  WriteFile(guide + "/converter.html", "<html></html>");
  setenv("VELMARK_HELP_DIR", guide.c_str(), 1);
  CSettings sheet;
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(&sheet, &f1);
  const std::string opened = WaitForFile(opened_);
  unsetenv("VELMARK_HELP_DIR");
  char resolved[PATH_MAX];
  ASSERT_NE(realpath((guide + "/converter.html").c_str(), resolved), nullptr);
  EXPECT_EQ(opened, std::string(resolved) + "\n");
}

TEST_F(Sheet, TheLogoOpensTheMakersPage) {
  CSettings sheet(nullptr, true);
  auto* logo = Find<QLabel>(sheet, "aboutLogo");
  ASSERT_NE(logo, nullptr);
  QMouseEvent right(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::RightButton, Qt::NoButton,
                    Qt::NoModifier);
  QApplication::sendEvent(logo, &right);
  EXPECT_EQ(WaitForFile(opened_, 300), "");
  QMouseEvent left(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(logo, &left);
  EXPECT_EQ(WaitForFile(opened_), std::string(lorimer::pages::kHome) + "\n");
}

TEST_F(Sheet, AboutShowsTheVersionOfThisBuild) {
  CSettings sheet(nullptr, true);
  auto* version = Find<QLabel>(sheet, "aboutVersion");
  ASSERT_NE(version, nullptr);
  char expected[64];
  std::snprintf(expected, sizeof expected, "Corbanix version %d.%d", CORBANIX_VERSION_MAJOR, CORBANIX_VERSION_MINOR);
  EXPECT_EQ(version->text().toStdString(), expected);
  EXPECT_FALSE(Find<QLabel>(sheet, "aboutIcon")->pixmap().isNull());
}

}  // namespace
}  // namespace converter::testing
