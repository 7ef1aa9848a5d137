// The project options: the field logic on its own, then the sheet driven
// through its pages.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "printlayout/macros/Macros.h"
#include "printlayout/model/BorderLines.h"
#include "printlayout/print/HeaderFooterPage.h"
#include "printlayout/print/ImagesLookPage.h"
#include "printlayout/print/MarginsPage.h"
#include "printlayout/print/PageSetupPage.h"
#include "printlayout/print/ProjectOptions.h"
#include "printlayout/print/ProjectOptionsWidgets.h"
#include "printlayout/print/tests/DialogTestSupport.h"

namespace tessaly {
namespace {

using testing::MessageRecorder;
using testing::PrinterProject;
using vel::print::PrinterDetails;

// ---- numbers with decimals -------------------------------------------------

TEST(ParseScaled, CentimetresAreExactWithoutFloatingPoint) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  // Values such as 2.3, 0.29 and 4.35 are one step short of the next integer
  // when multiplied in binary floating point.
  for (const Case& c :
       {Case{"2.3", 230}, Case{"0.29", 29}, Case{"4.35", 435}, Case{"1.15", 115}, Case{"2,3", 230}, Case{" 2.35 ", 235},
        Case{"2", 200}, Case{"2.", 200}, Case{".5", 50}, Case{"0", 0}, Case{"10", 1000}, Case{"0.07", 7}}) {
    std::int32_t v = -1;
    EXPECT_TRUE(ParseScaled(c.text, 2, v)) << c.text;
    EXPECT_EQ(v, c.expected) << c.text;
  }
}

TEST(ParseScaled, ExtraDigitsAreCutNotRounded) {
  std::int32_t v = 0;
  ASSERT_TRUE(ParseScaled("2.359", 2, v));
  EXPECT_EQ(v, 235);
  ASSERT_TRUE(ParseScaled("0.35", 1, v));
  EXPECT_EQ(v, 3);
  ASSERT_TRUE(ParseScaled("-2.59", 1, v));
  EXPECT_EQ(v, -25);  // toward zero
  ASSERT_TRUE(ParseScaled("+1.5", 1, v));
  EXPECT_EQ(v, 15);
}

TEST(ParseScaled, MalformedTextIsRefusedAndLeavesTheValue) {
  for (const char* bad :
       {"", "  ", ".", "-", "1.2.3", "1,2.3", "abc", "12a", "1 2", "--1", "99999999999", "21474836.48"}) {
    std::int32_t v = 77;
    EXPECT_FALSE(ParseScaled(bad, 2, v)) << bad;
    EXPECT_EQ(v, 77) << bad;
  }
}

TEST(FormatScaled, FewestDecimals) {
  EXPECT_EQ(FormatScaled(230, 2), "2.3");
  EXPECT_EQ(FormatScaled(200, 2), "2");
  EXPECT_EQ(FormatScaled(5, 2), "0.05");
  EXPECT_EQ(FormatScaled(0, 1), "0");
  EXPECT_EQ(FormatScaled(-15, 1), "-1.5");
  EXPECT_EQ(FormatScaled(-5, 1), "-0.5");
}

TEST(FormatScaled, ParsesBackToTheSameValue) {
  for (int decimals : {1, 2})
    for (std::int32_t v = -2500; v <= 2500; ++v) {
      std::int32_t back = 0;
      ASSERT_TRUE(ParseScaled(FormatScaled(v, decimals), decimals, back)) << v;
      ASSERT_EQ(back, v) << FormatScaled(v, decimals);
    }
}

// ---- texts -----------------------------------------------------------------

TEST(PrinterTexts, StatusLine) {
  PrinterDetails d;
  EXPECT_EQ(PrinterStatusText(d), "Ready");
  d.isDefault = true;
  EXPECT_EQ(PrinterStatusText(d), "Default printer; Ready");
  d.status = vel::print::PRINTER_STATUS_PAUSED;
  EXPECT_EQ(PrinterStatusText(d), "Default printer; Busy or error");
  d.isDefault = false;
  d.status = vel::print::PRINTER_STATUS_ERROR | vel::print::PRINTER_STATUS_PRINTING;
  EXPECT_EQ(PrinterStatusText(d), "Busy or error");
}

TEST(PrinterTexts, Resolutions) {
  EXPECT_EQ(ResolutionText(600, 600), "600 dot(s) per inch");
  EXPECT_EQ(ResolutionText(300, 600), "300 x 600 dot(s) per inch");
  EXPECT_EQ(ResolutionText(1200, 300), "1200 x 300 dot(s) per inch");
}

// ---- values to and from the project ---------------------------------------

class OptionsValues : public ::testing::Test {
 protected:
  PrinterProject fixture{2};
  Project& project = *fixture.project;
};

TEST_F(OptionsValues, LandscapeExchangesThePage) {
  PageSetupValues v = ReadPageSetup(project);
  EXPECT_EQ(v.paperWidth, 2100);
  EXPECT_EQ(v.paperLength, 2970);
  v.orientation = 2;
  WritePageSetup(v, project);
  EXPECT_EQ(project.orientation, 2);
  EXPECT_EQ(project.pageWidth, 2970);
  EXPECT_EQ(project.pageHeight, 2100);
  // Read back, the paper is upright again.
  const PageSetupValues back = ReadPageSetup(project);
  EXPECT_EQ(back.paperWidth, 2100);
  EXPECT_EQ(back.paperLength, 2970);
  EXPECT_EQ(back.orientation, 2);
  WritePageSetup(PageSetupValues{back.printerName, "A4", 9, 2100, 2970, 600, 600, 1, 1}, project);
  EXPECT_EQ(project.pageWidth, 2100);
  EXPECT_EQ(project.pageHeight, 2970);
}

TEST_F(OptionsValues, PageSetupWritesEveryField) {
  PageSetupValues v;
  v.printerName = "Wide";
  v.paperForm = "A3";
  v.paperSize = 8;
  v.paperWidth = 2970;
  v.paperLength = 4200;
  v.printQuality = 300;
  v.printYResolution = 600;
  v.orientation = 1;
  v.firstPageNumber = 7;
  WritePageSetup(v, project);
  EXPECT_EQ(project.printerName, "Wide");
  EXPECT_EQ(project.printerName2, "Wide");
  EXPECT_EQ(project.paperForm, "A3");
  EXPECT_EQ(project.paperSize, 8);
  EXPECT_EQ(project.pageWidth, 2970);
  EXPECT_EQ(project.pageHeight, 4200);
  EXPECT_EQ(project.printQuality, 300);
  EXPECT_EQ(project.printYResolution, 600);
  EXPECT_EQ(project.firstPageNumber, 7);
}

TEST_F(OptionsValues, ImagesLookKeepsTheRenderersRanges) {
  ImagesLookValues v = ReadImagesLook(project);
  v.borderSpaceH = 0;
  v.borderSpaceV = 70;
  v.shadowDx = -80;
  v.shadowDy = 51;
  v.borderWidth = 0;
  WriteImagesLook(v, project);
  EXPECT_EQ(project.borderSpaceH, 1);
  EXPECT_EQ(project.borderSpaceV, 50);
  EXPECT_EQ(project.shadowDx, -50);
  EXPECT_EQ(project.shadowDy, 50);
  EXPECT_EQ(project.borderWidth, 1);
}

TEST_F(OptionsValues, NullMarginMeansTheFourPageMargins) {
  MarginValues m{200, 200, 200, 200, 0, 0};
  EXPECT_FALSE(HasNullMargin(m));
  for (int i = 0; i < 4; ++i) {
    MarginValues z = m;
    std::int32_t* f[] = {&z.left, &z.top, &z.right, &z.bottom};
    *f[i] = 0;
    EXPECT_TRUE(HasNullMargin(z)) << i;
  }
}

TEST_F(OptionsValues, ApplyRunsThePrinterCheckAndSetsModified) {
  ProjectOptionsValues v = ReadOptions(project);
  v.pageSetup.printerName = "Gone";
  v.margins.left = v.margins.right = 1000;
  v.pageSetup.paperWidth = 1000;
  ApplyOptions(v, project);
  EXPECT_EQ(project.modified, 1);
  // A printer that is not installed gives way to the default one ...
  EXPECT_EQ(project.printerName, "Office");
  EXPECT_EQ(project.pageWidth, 2100);
  // ... and the layout is normalised for its page.
  EXPECT_EQ(project.headerSplit1,
            project.marginLeft + (project.pageWidth - project.marginLeft - project.marginRight) / 3);
}

TEST_F(OptionsValues, ApplyNormalisesMarginsWiderThanThePage) {
  fixture.env.addPrinter("Narrow", 1000, 1500, 1, 256, "Card", 300, 300);
  ProjectOptionsValues v = ReadOptions(project);
  v.pageSetup.printerName = "Narrow";
  v.pageSetup.paperWidth = 1000;
  v.pageSetup.paperLength = 1500;
  v.margins.left = v.margins.right = 800;
  ApplyOptions(v, project);
  EXPECT_EQ(project.printerName, "Narrow");
  EXPECT_EQ(project.marginLeft, 250);
  EXPECT_EQ(project.marginRight, 250);
}

TEST_F(OptionsValues, DevModeTakesOnlyReportedFields) {
  PageSetupValues v = ReadPageSetup(project);
  vel::print::DevMode mode;
  mode.fields = DM_PRINTQUALITY | DM_ORIENTATION;
  mode.printQuality = 1200;
  mode.yResolution = 99;
  mode.paperWidth = 5000;
  mode.orientation = DMORIENT_LANDSCAPE;
  ApplyDevMode(mode, false, v);
  EXPECT_EQ(v.printQuality, 1200);
  EXPECT_EQ(v.printYResolution, 600);
  EXPECT_EQ(v.paperWidth, 2100);
  EXPECT_EQ(v.orientation, 1);
  ApplyDevMode(mode, true, v);
  EXPECT_EQ(v.orientation, 2);
}

TEST(PaperNames, StandardNamesBringTheirSize) {
  PageSetupValues v;
  EXPECT_TRUE(ApplyPaperName("A5", v));
  EXPECT_EQ(v.paperForm, "A5");
  EXPECT_EQ(v.paperWidth, 1480);
  EXPECT_EQ(v.paperLength, 2100);
  EXPECT_EQ(v.paperSize, DMPAPER_A5);
  EXPECT_TRUE(ApplyPaperName("Letter", v));
  EXPECT_EQ(v.paperWidth, 2159);
  EXPECT_EQ(v.paperLength, 2794);
  EXPECT_EQ(v.paperSize, DMPAPER_LETTER);
}

TEST(PaperNames, UnknownNamesKeepTheSize) {
  PageSetupValues v;
  v.paperWidth = 1234;
  v.paperLength = 2345;
  v.paperSize = 9;
  EXPECT_FALSE(ApplyPaperName("Photo 10x15 borderless", v));
  EXPECT_EQ(v.paperForm, "Photo 10x15 borderless");
  EXPECT_EQ(v.paperWidth, 1234);
  EXPECT_EQ(v.paperLength, 2345);
  EXPECT_EQ(v.paperSize, 9);
  EXPECT_FALSE(ApplyPaperName("", v));
}

TEST(PageLayoutResult, SetupDialogValuesAreTaken) {
  PageSetupValues v;
  v.printQuality = v.printYResolution = 300;
  TakePageLayout(QPageLayout(QPageSize(QPageSize::A3), QPageLayout::Landscape, QMarginsF()), 1200, v);
  EXPECT_EQ(v.paperWidth, 2970);
  EXPECT_EQ(v.paperLength, 4200);
  EXPECT_EQ(v.paperSize, DMPAPER_A3);
  EXPECT_EQ(v.orientation, 2);
  EXPECT_EQ(v.printQuality, 1200);
  EXPECT_EQ(v.printYResolution, 1200);
  TakePageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()), 0, v);
  EXPECT_EQ(v.orientation, 1);
  EXPECT_EQ(v.paperWidth, 2100);
  EXPECT_EQ(v.printQuality, 1200);  // no resolution reported: kept
}

// ---- shared controls -------------------------------------------------------

TEST(FontConversion, RoundTripAndLimits) {
  const TextFont font{"Liberation Sans", 115, 1, 1, 0x00FF00};
  const QFont q = ToQFont(font);
  EXPECT_DOUBLE_EQ(q.pointSizeF(), 11.5);
  EXPECT_TRUE(q.bold());
  EXPECT_TRUE(q.italic());
  EXPECT_EQ(FromQFont(q, 0x00FF00), font);
  QFont tiny(QStringLiteral("Liberation Sans"));
  tiny.setPointSizeF(2.0);
  EXPECT_EQ(FromQFont(tiny, 0).size, 40);
  EXPECT_EQ(ToQFont(TextFont{"", 90, 0, 0, 0}).family(), "Arial");
}

TEST(FontChooserTest, DialogResultKeepsTheColour) {
  FontChooser chooser;
  chooser.setTextFont(TextFont{"Tahoma", 90, 0, 0, 0x0000FF});
  QFont chosen(QStringLiteral("Liberation Serif"));
  chosen.setPointSizeF(14);
  chosen.setBold(true);
  chooser.chooseFont(chosen);
  const TextFont t = chooser.textFont();
  EXPECT_EQ(t.face, "Liberation Serif");
  EXPECT_EQ(t.size, 140);
  EXPECT_EQ(t.bold, 1);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.colour, 0x0000FFu);
  EXPECT_TRUE(chooser.fontButton()->text().contains("Liberation Serif"));
}

TEST(ColourPickerTest, NamedCustomAndChosenColours) {
  ColourPicker picker;
  picker.setColour(0x0000FF);
  EXPECT_EQ(picker.currentText(), "Red");
  EXPECT_EQ(picker.colour(), 0x0000FFu);
  const int named = picker.count();
  picker.setColour(0x123456);
  EXPECT_EQ(picker.colour(), 0x123456u);
  EXPECT_EQ(picker.count(), named + 1);
  picker.setColour(0x123456);  // already there: no second entry
  EXPECT_EQ(picker.count(), named + 1);
  picker.chooseCustom(QColor(0x11, 0x22, 0x33));
  EXPECT_EQ(picker.colour(), 0x332211u);
  picker.chooseCustom(QColor(0x98, 0xFB, 0x98));
  EXPECT_EQ(picker.currentText(), "Pale green ");
}

TEST(MacroButtonTest, MenuInsertsAtTheCursor) {
  QLineEdit edit(QStringLiteral("Page  of"));
  MacroButton button(&edit);
  EXPECT_EQ(button.text(), "Macro");
  const QList<QAction*> actions = button.macroMenu()->actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(kMacroMenu)));
  EXPECT_EQ(actions[0]->text(), "&Page number");
  edit.setCursorPosition(5);
  actions[0]->trigger();
  EXPECT_EQ(edit.text(), "Page &[Page] of");
  edit.end(false);
  edit.insert(" ");
  actions[1]->trigger();
  EXPECT_EQ(edit.text(), "Page &[Page] of &[Pages]");
}

// Dark pixels of a sample's middle column and of its middle row.
int DarkRows(const QImage& img) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y) n += qGray(img.pixel(img.width() / 2, y)) < 128;
  return n;
}
int GapsAlongRow(const QImage& img, int y) {
  int gaps = 0;
  bool dark = false;
  for (int x = 3; x < img.width() - 3; ++x) {
    const bool d = qGray(img.pixel(x, y)) < 128;
    if (dark && !d) ++gaps;
    dark = d;
  }
  return gaps;
}

TEST(LineSamples, WidthDashesAndDoubleLines) {
  const QImage none = LineSample(0, 96, 20, 2).toImage();
  EXPECT_EQ(DarkRows(none), 0);
  const QImage solid1 = LineSample(6, 96, 20, 2).toImage();
  const QImage solid2 = LineSample(11, 96, 20, 2).toImage();
  const QImage solid3 = LineSample(12, 96, 20, 2).toImage();
  EXPECT_EQ(DarkRows(solid1), 2);
  EXPECT_EQ(DarkRows(solid2), 4);
  EXPECT_EQ(DarkRows(solid3), 6);
  EXPECT_EQ(GapsAlongRow(solid1, 10), 0);
  // Code 1 dashes every base width: many gaps; code 10's long dashes fewer.
  const QImage dotted = LineSample(1, 96, 20, 2).toImage();
  const QImage dashed = LineSample(10, 96, 20, 2).toImage();
  EXPECT_GT(GapsAlongRow(dotted, 10), GapsAlongRow(dashed, 10));
  EXPECT_GT(GapsAlongRow(dashed, 10), 0);
  // The double line: two strokes with white between them.
  const QImage twin = LineSample(13, 96, 20, 2).toImage();
  const int x = 48;
  EXPECT_LT(qGray(twin.pixel(x, 8)), 128);
  EXPECT_GT(qGray(twin.pixel(x, 10)), 128);
  EXPECT_LT(qGray(twin.pixel(x, 11)), 128);
}

TEST(LineTypeComboTest, FourteenSamplesAndStoredCodesKept) {
  LineTypeCombo combo;
  EXPECT_EQ(combo.count(), 14);
  combo.setCode(9);
  EXPECT_EQ(combo.code(), 9);
  combo.setCode(15);
  EXPECT_EQ(combo.code(), 15);
  EXPECT_EQ(combo.count(), 15);
}

// ---- the sheet -------------------------------------------------------------

bool FakeDetails(const std::string& name, PrinterDetails& out) {
  if (name == "Office") {
    out.isDefault = true;
    out.type = "LaserWriter 9000";
    out.comment = "second floor";
    out.paperSizes = {"A4", "A5", "Letter"};
    out.resolutions = {{300, 300}, {600, 600}, {1200, 600}};
    return true;
  }
  if (name == "Wide") {
    out.status = vel::print::PRINTER_STATUS_ERROR;
    out.type = "Plotter";
    out.paperSizes = {"A3"};
    return true;
  }
  return false;
}

class SheetTest : public ::testing::Test {
 protected:
  void clickOk(ProjectOptionsSheet& sheet) { sheet.buttons()->button(QDialogButtonBox::Ok)->click(); }

  PrinterProject fixture{2};
  Project& project = *fixture.project;
  MessageRecorder messages;
};

TEST_F(SheetTest, TitleAndPages) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  EXPECT_EQ(sheet.windowTitle(), "Project options");
  ASSERT_EQ(sheet.tabs()->count(), 4);
  EXPECT_EQ(sheet.tabs()->tabText(0), "Page setup");
  EXPECT_EQ(sheet.tabs()->tabText(1), "Page margins");
  EXPECT_EQ(sheet.tabs()->tabText(2), "Header and Footer");
  EXPECT_EQ(sheet.tabs()->tabText(3), "Images Look");
}

TEST_F(SheetTest, PrinterListSelectsTheProjectsPrinter) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  PageSetupPage* page = sheet.pageSetup();
  ASSERT_EQ(page->printerList()->count(), 2);
  EXPECT_EQ(page->printerList()->currentItem()->text(), "Office");
  EXPECT_TRUE(page->missingPrinterLine()->isHidden());
  EXPECT_EQ(page->statusLine()->text(), "Default printer; Ready");
  EXPECT_EQ(page->typeLine()->text(), "LaserWriter 9000");
  EXPECT_EQ(page->commentLine()->text(), "second floor");
  EXPECT_EQ(page->paperList()->currentText(), "A4");
  EXPECT_EQ(page->paperList()->count(), 3);
  EXPECT_EQ(page->resolutionList()->currentText(), "600 dot(s) per inch");
  EXPECT_GE(page->resolutionList()->findText("1200 x 600 dot(s) per inch"), 0);
  EXPECT_TRUE(page->portraitButton()->isChecked());
  EXPECT_EQ(page->firstPageNumber()->value(), 1);
}

TEST_F(SheetTest, MissingPrinterIsSaid) {
  project.printerName = "Gone";
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  PageSetupPage* page = sheet.pageSetup();
  EXPECT_EQ(page->printerList()->currentItem(), nullptr);
  EXPECT_FALSE(page->missingPrinterLine()->isHidden());
  EXPECT_EQ(page->missingPrinterLine()->text(),
            "There is no printer in your system printer, that was when current project was created. Please "
            "select another one for this project.");
  EXPECT_TRUE(page->statusLine()->text().isEmpty());
  // Choosing one of the installed printers takes the line away.
  page->printerList()->setCurrentRow(1);
  EXPECT_TRUE(page->missingPrinterLine()->isHidden());
  EXPECT_EQ(page->statusLine()->text(), "Busy or error");
}

TEST_F(SheetTest, OtherPrinterBringsItsPaperButNotItsOrientation) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  sheet.pageSetup()->printerList()->setCurrentRow(1);
  clickOk(sheet);
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_EQ(project.printerName, "Wide");
  EXPECT_EQ(project.paperForm, "A3");
  EXPECT_EQ(project.paperSize, 8);
  EXPECT_EQ(project.printQuality, 300);
  EXPECT_EQ(project.printYResolution, 600);
  EXPECT_EQ(project.orientation, 1);
  EXPECT_EQ(project.pageWidth, 2970);
  EXPECT_EQ(project.pageHeight, 4200);
  EXPECT_EQ(project.modified, 1);
}

TEST_F(SheetTest, PaperResolutionAndFirstPageFromTheLists) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  PageSetupPage* page = sheet.pageSetup();
  page->paperList()->setCurrentIndex(page->paperList()->findText("A5"));
  emit page->paperList()->activated(page->paperList()->currentIndex());
  const int r = page->resolutionList()->findText("1200 x 600 dot(s) per inch");
  page->resolutionList()->setCurrentIndex(r);
  emit page->resolutionList()->activated(r);
  page->firstPageNumber()->setValue(5);
  clickOk(sheet);
  EXPECT_EQ(project.paperForm, "A5");
  EXPECT_EQ(project.pageWidth, 1480);
  EXPECT_EQ(project.pageHeight, 2100);
  EXPECT_EQ(project.printQuality, 1200);
  EXPECT_EQ(project.printYResolution, 600);
  EXPECT_EQ(project.firstPageNumber, 5);
}

TEST_F(SheetTest, LandscapeSwapsThePage) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  sheet.pageSetup()->landscapeButton()->setChecked(true);
  clickOk(sheet);
  EXPECT_EQ(project.orientation, 2);
  EXPECT_EQ(project.pageWidth, 2970);
  EXPECT_EQ(project.pageHeight, 2100);
  // Opened again, the sheet shows landscape and writes the same page back.
  ProjectOptionsSheet again(project, nullptr, FakeDetails);
  EXPECT_TRUE(again.pageSetup()->landscapeButton()->isChecked());
  clickOk(again);
  EXPECT_EQ(project.pageWidth, 2970);
  EXPECT_EQ(project.pageHeight, 2100);
}

TEST_F(SheetTest, MarginsInCentimetres) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  MarginsPage* m = sheet.margins();
  EXPECT_EQ(m->field(MarginsPage::kLeft)->text(), "2");
  EXPECT_EQ(m->field(MarginsPage::kHeader)->text(), "1");
  m->field(MarginsPage::kLeft)->setText("2.3");
  m->field(MarginsPage::kTop)->setText("1,15");
  m->field(MarginsPage::kRight)->setText("0.29");
  m->field(MarginsPage::kBottom)->setText("3.456");
  m->field(MarginsPage::kHeader)->setText("0.5");
  m->field(MarginsPage::kFooter)->setText("0");
  clickOk(sheet);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(project.marginLeft, 230);
  EXPECT_EQ(project.marginTop, 115);
  EXPECT_EQ(project.marginRight, 29);
  EXPECT_EQ(project.marginBottom, 345);
  EXPECT_EQ(project.headerDistance, 50);
  EXPECT_EQ(project.footerDistance, 0);
}

TEST_F(SheetTest, NullMarginAnsweredNoKeepsTheSheetOpen) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  sheet.show();
  sheet.margins()->field(MarginsPage::kTop)->setText("0");
  sheet.margins()->field(MarginsPage::kLeft)->setText("1.5");
  messages.answer = IDNO;
  clickOk(sheet);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "One or more margin(s) has a null value.\nDo you want leave them?");
  EXPECT_EQ(messages.shown[0].type & 0xF, MB_YESNO);
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(sheet.tabs()->currentWidget(), sheet.margins());
  EXPECT_EQ(project.marginTop, 200);
  EXPECT_EQ(project.marginLeft, 200);
  EXPECT_EQ(project.modified, 0);
}

TEST_F(SheetTest, NullMarginAnsweredYesIsTaken) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  sheet.show();
  sheet.margins()->field(MarginsPage::kTop)->setText("");
  messages.answer = IDYES;
  clickOk(sheet);
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_EQ(project.marginTop, 0);
}

TEST_F(SheetTest, HeaderAndFooterCells) {
  project.headerTexts = {"left", "", "right"};
  project.footerFonts[1] = TextFont{"Courier", 120, 0, 1, 0xFF0000};
  project.footerMultiline = 0;
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  HeaderFooterPage* hf = sheet.headerFooter();
  EXPECT_EQ(hf->headerText(0)->text(), "left");
  EXPECT_EQ(hf->headerText(2)->text(), "right");
  EXPECT_EQ(hf->footerFont(1)->textFont(), project.footerFonts[1]);
  EXPECT_TRUE(hf->headerMultiline()->isChecked());
  EXPECT_FALSE(hf->footerMultiline()->isChecked());
  EXPECT_EQ(hf->headerMultiline()->text(), "Use Multilines for Headers");

  hf->headerText(1)->setText("Page ");
  hf->headerMacro(1)->macroMenu()->actions()[0]->trigger();
  hf->footerText(2)->setText("x");
  hf->footerMacro(2)->macroMenu()->actions().back()->trigger();
  QFont bold(QStringLiteral("Liberation Sans"));
  bold.setPointSizeF(10);
  bold.setBold(true);
  hf->headerFont(0)->chooseFont(bold);
  hf->footerMultiline()->setChecked(true);
  hf->headerMultiline()->setChecked(false);
  clickOk(sheet);
  EXPECT_EQ(project.headerTexts[1], "Page &[Page]");
  EXPECT_EQ(project.footerTexts[2], "x&[Project]");
  EXPECT_EQ(project.headerFonts[0], (TextFont{"Liberation Sans", 100, 1, 0, 0}));
  EXPECT_EQ(project.footerFonts[1], (TextFont{"Courier", 120, 0, 1, 0xFF0000}));
  EXPECT_EQ(project.headerMultiline, 0);
  EXPECT_EQ(project.footerMultiline, 1);
}

TEST_F(SheetTest, BorderCodesRoundTrip) {
  std::uint32_t lines = 0;
  const int codes[kBorderEdgeCount] = {1, 13, 0, 7, 12, 3, 10};
  for (int e = 0; e < kBorderEdgeCount; ++e) lines = WithBorderCode(lines, e, codes[e]);
  project.borderLines = lines;
  {
    ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
    for (int e = 0; e < kBorderEdgeCount; ++e) EXPECT_EQ(sheet.imagesLook()->lineType(e)->code(), codes[e]) << e;
    clickOk(sheet);
    EXPECT_EQ(project.borderLines, lines);
  }
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  LineTypeCombo* under = sheet.imagesLook()->lineType(kEdgeUnderComment);
  under->setCurrentIndex(under->findData(5));
  clickOk(sheet);
  EXPECT_EQ(project.borderLines, WithBorderCode(lines, kEdgeUnderComment, 5));
}

TEST_F(SheetTest, UnusedNibbleAndOddCodesSurvive) {
  project.borderLines = 0xA000000Fu;  // code 15 on the top edge, bits above the seven codes
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  EXPECT_EQ(sheet.imagesLook()->lineType(kEdgeTop)->code(), 15);
  clickOk(sheet);
  EXPECT_EQ(project.borderLines, 0xA000000Fu);
}

TEST_F(SheetTest, ImagesLookInMillimetres) {
  project.shadowDx = -15;
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  ImagesLookPage* look = sheet.imagesLook();
  EXPECT_EQ(look->length(ImagesLookPage::kShadowDx)->text(), "-1.5");
  EXPECT_EQ(look->length(ImagesLookPage::kSpaceH)->text(), "1");
  look->length(ImagesLookPage::kSpaceH)->setText("2.5");
  look->length(ImagesLookPage::kSpaceV)->setText("0.7");
  look->length(ImagesLookPage::kShadowDx)->setText("-2.59");
  look->length(ImagesLookPage::kShadowDy)->setText("3");
  look->length(ImagesLookPage::kBorderWidth)->setText("0.35");
  look->borderColour()->setColour(0x00D7FF);
  look->shadowColour()->chooseCustom(QColor(1, 2, 3));
  look->imagesFont()->colourPicker()->setColour(0xFF0000);
  look->defaultComment()->setText("");
  look->commentMacro()->macroMenu()->actions()[2]->trigger();
  clickOk(sheet);
  EXPECT_EQ(project.borderSpaceH, 25);
  EXPECT_EQ(project.borderSpaceV, 7);
  EXPECT_EQ(project.shadowDx, -25);
  EXPECT_EQ(project.shadowDy, 30);
  EXPECT_EQ(project.borderWidth, 3);
  EXPECT_EQ(project.borderColour, 0x00D7FFu);
  EXPECT_EQ(project.shadowColour, 0x030201u);
  EXPECT_EQ(project.imagesFont.colour, 0xFF0000u);
  EXPECT_EQ(project.defaultComment, "&[Image]");
}

TEST_F(SheetTest, CancelChangesNothing) {
  ProjectOptionsSheet sheet(project, nullptr, FakeDetails);
  sheet.show();
  sheet.margins()->field(MarginsPage::kLeft)->setText("5");
  sheet.pageSetup()->landscapeButton()->setChecked(true);
  sheet.buttons()->button(QDialogButtonBox::Cancel)->click();
  EXPECT_EQ(project.marginLeft, 200);
  EXPECT_EQ(project.orientation, 1);
  EXPECT_EQ(project.modified, 0);
}

}  // namespace
}  // namespace tessaly
