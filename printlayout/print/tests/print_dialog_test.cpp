// The Print dialog and the printer list, driven through their widgets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <new>

#include "printlayout/print/PrintDialog.h"
#include "printlayout/print/PrinterList.h"
#include "printlayout/print/tests/DialogTestSupport.h"

namespace tessaly {
namespace {

using testing::FakeEnvironment;
using testing::MessageRecorder;
using testing::PrinterProject;

void ClickOk(PrintDialog& dialog) { dialog.buttons()->button(QDialogButtonBox::Ok)->click(); }

// ---- listPrinters ----------------------------------------------------------

TEST(ListPrinters, InstalledPrintersInOrderWithoutMessage) {
  MessageRecorder messages;
  FakeEnvironment env;
  env.printers = {"Zeta", "Alpha", "Print to PDF"};
  EXPECT_EQ(listPrinters(env), env.printers);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ListPrinters, NoPrinterSaysSoWithExclamation) {
  MessageRecorder messages;
  FakeEnvironment env;
  EXPECT_TRUE(listPrinters(env).empty());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Tessaly");
  EXPECT_EQ(messages.shown[0].text,
            "You have not installed any printer in your system. In this case Tessaly cannot work properly!");
  EXPECT_EQ(messages.shown[0].type, MB_OK | MB_ICONEXCLAMATION);
}

TEST(ListPrinters, ListThatCannotBeAllocatedIsReported) {
  struct Exhausted : FakeEnvironment {
    std::vector<std::string> installedPrinters() override { throw std::bad_alloc(); }
  } env;
  MessageRecorder messages;
  EXPECT_TRUE(listPrinters(env).empty());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "There are problems with allocation memory. Close applications that are not nesseccary!");
  EXPECT_EQ(messages.shown[0].type, MB_OK | MB_ICONEXCLAMATION);
}

// ---- Print dialog ----------------------------------------------------------

class PrintDialogTest : public ::testing::Test {
 protected:
  PrinterProject fixture{3};
  Project& project = *fixture.project;
  MessageRecorder messages;
};

TEST_F(PrintDialogTest, StartsWithAllAndTheRangeDisabled) {
  PrintDialog dialog(project);
  EXPECT_EQ(dialog.windowTitle(), "Print");
  EXPECT_TRUE(dialog.allButton()->isChecked());
  EXPECT_FALSE(dialog.pagesButton()->isChecked());
  EXPECT_FALSE(dialog.rangeText()->isEnabled());
  dialog.pagesButton()->setChecked(true);
  EXPECT_TRUE(dialog.rangeText()->isEnabled());
  dialog.allButton()->setChecked(true);
  EXPECT_FALSE(dialog.rangeText()->isEnabled());
}

TEST_F(PrintDialogTest, ParityListInItsOrder) {
  PrintDialog dialog(project);
  ASSERT_EQ(dialog.parityList()->count(), 3);
  EXPECT_EQ(dialog.parityList()->itemText(0), "Even and Odd Pages");
  EXPECT_EQ(dialog.parityList()->itemText(1), "Odd Pages Only");
  EXPECT_EQ(dialog.parityList()->itemText(2), "Even Pages Only");
  EXPECT_EQ(dialog.parity(), kEvenAndOddPages);
  dialog.parityList()->setCurrentIndex(2);
  EXPECT_EQ(dialog.parity(), kEvenPagesOnly);
}

TEST_F(PrintDialogTest, HintIsShown) {
  PrintDialog dialog(project);
  bool found = false;
  for (QLabel* label : dialog.findChildren<QLabel*>())
    found |= label->text() == "Enter page numbers and/or page ranges separated by comma. For example: 1,3-5";
  EXPECT_TRUE(found);
}

TEST_F(PrintDialogTest, PrinterLinesFollowTheProject) {
  PrintDialog dialog(project);
  EXPECT_EQ(dialog.printerLine()->text(), "Office");
  EXPECT_EQ(dialog.orientationLine()->text(), "Portrait");
  EXPECT_EQ(dialog.paperLine()->text(), "A4");
  EXPECT_EQ(dialog.qualityLine()->text(), "600 dpi");
  project.orientation = 2;
  project.paperForm = "Letter";
  project.printQuality = 1200;
  dialog.showPrinterSettings();
  EXPECT_EQ(dialog.orientationLine()->text(), "Landscape");
  EXPECT_EQ(dialog.paperLine()->text(), "Letter");
  EXPECT_EQ(dialog.qualityLine()->text(), "1200 dpi");
}

TEST_F(PrintDialogTest, AllPrintsEveryPage) {
  PrintDialog dialog(project);
  dialog.show();
  dialog.rangeText()->setText("junk that is ignored");
  ClickOk(dialog);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.pages(), (PageList{1, 2, 3}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PrintDialogTest, AllStartsAtTheFirstPageNumber) {
  PrinterProject two(2);
  two.project->firstPageNumber = 10;
  PrintDialog dialog(*two.project);
  ClickOk(dialog);
  EXPECT_EQ(dialog.pages(), (PageList{10, 11}));
}

TEST_F(PrintDialogTest, PagesKeepOrderAndRepetition) {
  PrintDialog dialog(project);
  dialog.pagesButton()->setChecked(true);
  dialog.rangeText()->setText("3-1, 2");
  ClickOk(dialog);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.pages(), (PageList{3, 2, 1, 2}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PrintDialogTest, EmptyPagesTextMeansEveryPage) {
  PrintDialog dialog(project);
  dialog.pagesButton()->setChecked(true);
  dialog.rangeText()->setText("  ");
  ClickOk(dialog);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.pages(), (PageList{1, 2, 3}));
}

TEST_F(PrintDialogTest, BadRangesAreRefusedAndTheDialogStaysOpen) {
  for (const char* bad : {"5", "1 2", "1-", "x", "2,,3", "-"}) {
    SCOPED_TRACE(bad);
    messages.shown.clear();
    PrintDialog dialog(project);
    dialog.show();
    dialog.pagesButton()->setChecked(true);
    dialog.rangeText()->setText(bad);
    ClickOk(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.pages().empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Specified Incorrect Page Range\nPlease Fix it.");
    EXPECT_EQ(messages.shown[0].title, "Tessaly");
  }
}

TEST_F(PrintDialogTest, FixedRangeIsTakenOnTheNextOk) {
  PrintDialog dialog(project);
  dialog.show();
  dialog.pagesButton()->setChecked(true);
  dialog.rangeText()->setText("7");
  ClickOk(dialog);
  ASSERT_TRUE(dialog.isVisible());
  dialog.rangeText()->setText("2-,1");
  ClickOk(dialog);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.pages(), (PageList{2, 3, 1}));
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(PrintDialogTest, ParityDoesNotFilterThePages) {
  PrintDialog dialog(project);
  dialog.parityList()->setCurrentIndex(kOddPagesOnly);
  ClickOk(dialog);
  EXPECT_EQ(dialog.pages(), (PageList{1, 2, 3}));
}

TEST_F(PrintDialogTest, CancelLeavesNoPages) {
  PrintDialog dialog(project);
  dialog.show();
  dialog.buttons()->button(QDialogButtonBox::Cancel)->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(dialog.pages().empty());
}

}  // namespace
}  // namespace tessaly
