// Printer list, default printer and device modes. Runs without a display and
// usually without a print server, where only the PDF printer exists.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSizeF>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/print/page_devmode.h"
#include "platform/print/print.h"

namespace {

using vel::print::DevMode;
using vel::print::kPdfPrinterName;

constexpr DWORD kPdfFields =
    DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_PRINTQUALITY | DM_YRESOLUTION | DM_FORMNAME;

TEST(PrinterList, PdfPrinterIsListedOnceAndLast) {
  std::vector<std::string> names = vel::print::EnumPrinterNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), kPdfPrinterName);
  EXPECT_EQ(std::count(names.begin(), names.end(), std::string(kPdfPrinterName)), 1);
  for (const std::string& n : names) EXPECT_FALSE(n.empty());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

TEST(PrinterList, DefaultIsAnInstalledPrinter) {
  std::string def = vel::print::DefaultPrinterName();
  ASSERT_FALSE(def.empty());
  std::vector<std::string> names = vel::print::EnumPrinterNames();
  EXPECT_NE(std::find(names.begin(), names.end(), def), names.end()) << def;
  DevMode dm;
  EXPECT_TRUE(vel::print::GetPrinterDevMode(def, dm)) << def;
}

TEST(PrinterList, QueriesDoNotHang) {
  // Without a running print server CUPS must fail fast, not wait for a time-out.
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 5; ++i) {
    vel::print::EnumPrinterNames();
    vel::print::DefaultPrinterName();
  }
  EXPECT_LT(timer.elapsed(), 10000);
}

TEST(PrinterDevMode, PdfPrinterIsA4PortraitAt300Dpi) {
  DevMode dm;  // stale contents must all be replaced
  dm.deviceName = "old";
  dm.fields = 0xFFFFFFFF;
  dm.orientation = DMORIENT_LANDSCAPE;
  dm.formName = "Letter";
  ASSERT_TRUE(vel::print::GetPrinterDevMode(kPdfPrinterName, dm));
  EXPECT_EQ(dm.deviceName, kPdfPrinterName);
  EXPECT_EQ(dm.fields, kPdfFields);
  EXPECT_EQ(dm.orientation, DMORIENT_PORTRAIT);
  EXPECT_EQ(dm.paperSize, DMPAPER_A4);
  EXPECT_EQ(dm.paperWidth, 2100);
  EXPECT_EQ(dm.paperLength, 2970);
  EXPECT_EQ(dm.formName, "A4");
  EXPECT_EQ(dm.printQuality, 300);
  EXPECT_EQ(dm.yResolution, 300);
}

TEST(PrinterDevMode, UnknownNamesFailAndLeaveOutputAlone) {
  for (const std::string& name : {std::string("No Such Printer 42"), std::string(""), std::string("print to pdf"),
                                  std::string("Print to PDF "), std::string("Print to PDF\0x", 14)}) {
    DevMode dm;
    dm.deviceName = "untouched";
    EXPECT_FALSE(vel::print::GetPrinterDevMode(name, dm)) << name;
    EXPECT_EQ(dm.deviceName, "untouched");
  }
}

TEST(PrinterDevMode, EveryListedPrinterIsSelfConsistent) {
  for (const std::string& name : vel::print::EnumPrinterNames()) {
    SCOPED_TRACE(name);
    DevMode dm;
    ASSERT_TRUE(vel::print::GetPrinterDevMode(name, dm));
    EXPECT_EQ(dm.deviceName, name);
    if (dm.fields & (DM_PAPERWIDTH | DM_PAPERLENGTH)) {
      EXPECT_TRUE((dm.fields & DM_PAPERWIDTH) && (dm.fields & DM_PAPERLENGTH));
      EXPECT_GT(dm.paperWidth, 0);
      EXPECT_GT(dm.paperLength, 0);
      // Standard forms are given portrait whatever the orientation.
      if (dm.paperSize != DMPAPER_USER) {
        EXPECT_LT(dm.paperWidth, dm.paperLength);
      }
    }
    if (dm.fields & DM_PRINTQUALITY) {
      EXPECT_GT(dm.printQuality, 0);
    }
    if (dm.fields & DM_YRESOLUTION) {
      EXPECT_GT(dm.yResolution, 0);
    }
    if (dm.fields & DM_FORMNAME) {
      EXPECT_FALSE(dm.formName.empty());
    }
    if (dm.fields & DM_ORIENTATION) {
      EXPECT_TRUE(dm.orientation == DMORIENT_PORTRAIT || dm.orientation == DMORIENT_LANDSCAPE);
    }
  }
}

// ---- mapping Qt's page description ------------------------------------------------

TEST(PageMapping, KnownPaperCodes) {
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::A4), DMPAPER_A4);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::Letter), DMPAPER_LETTER);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::Legal), DMPAPER_LEGAL);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::A3), DMPAPER_A3);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::A5), DMPAPER_A5);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::B4), DMPAPER_B4);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::B5), DMPAPER_B5);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::Executive), DMPAPER_EXECUTIVE);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::Tabloid), DMPAPER_TABLOID);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::Ledger), DMPAPER_LEDGER);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::A6), DMPAPER_USER);
  EXPECT_EQ(vel::print::PaperSizeCode(QPageSize::Custom), DMPAPER_USER);
}

TEST(PageMapping, LetterLandscapeAt600Dpi) {
  DevMode dm = vel::print::DevModeFromPage("laser", QPageSize(QPageSize::Letter), QPageLayout::Landscape, 600);
  EXPECT_EQ(dm.deviceName, "laser");
  EXPECT_EQ(dm.paperSize, DMPAPER_LETTER);
  EXPECT_EQ(dm.paperWidth, 2159);  // 8.5 in = 215.9 mm
  EXPECT_EQ(dm.paperLength, 2794);
  EXPECT_EQ(dm.orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(dm.printQuality, 600);
  EXPECT_EQ(dm.yResolution, 600);
  EXPECT_EQ(dm.formName, QPageSize(QPageSize::Letter).name().toStdString());
  EXPECT_EQ(dm.fields, DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_FORMNAME | DM_ORIENTATION | DM_PRINTQUALITY |
                           DM_YRESOLUTION);
}

TEST(PageMapping, CustomSizeIsUserPaperRounded) {
  QPageSize custom(QSizeF(100.04, 150.06), QPageSize::Millimeter, "Card");
  DevMode dm = vel::print::DevModeFromPage("p", custom, QPageLayout::Portrait, 300);
  EXPECT_EQ(dm.paperSize, DMPAPER_USER);
  EXPECT_TRUE(dm.fields & DM_PAPERSIZE);
  EXPECT_EQ(dm.paperWidth, 1000);
  EXPECT_EQ(dm.paperLength, 1501);
  EXPECT_EQ(dm.formName, "Card");
}

TEST(PageMapping, UnknownPartsAreNotFlagged) {
  DevMode dm = vel::print::DevModeFromPage("p", QPageSize(), std::nullopt, 0);
  EXPECT_EQ(dm.fields, 0u);
  dm = vel::print::DevModeFromPage("p", QPageSize(QPageSize::A5), std::nullopt, -72);
  EXPECT_EQ(dm.fields, DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_FORMNAME);
  EXPECT_EQ(dm.paperWidth, 1480);
  EXPECT_EQ(dm.paperLength, 2100);
  EXPECT_EQ(dm.printQuality, 0);
}

}  // namespace

int main(int argc, char** argv) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
