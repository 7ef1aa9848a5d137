// Printer device contexts on the built-in "Print to PDF" printer: files, names, pages,
// capabilities, and what lands on the page.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/gdi/painter_dc.h"
#include "platform/gdi/text.h"
#include "platform/print/print.h"
#include "platform/print/printer_dc.h"

namespace {

namespace fs = std::filesystem;
using vel::print::DevMode;
using vel::print::kPdfPrinterName;

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
  }
  return out;
}

int PdfPages(const fs::path& file) {
  std::string info = Capture("pdfinfo '" + file.string() + "' 2>/dev/null");
  auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

bool StartsWithPdf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[5] = {};
  in.read(head, 5);
  return std::string(head, 5) == "%PDF-";
}

// A fresh output folder per test, named in VELMARK_PDF_DIR.
class PdfPrinter : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("velprint-" + std::to_string(::getpid()) + "-" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    setenv("VELMARK_PDF_DIR", (dir_ / "out").c_str(), 1);  // created on demand
    ASSERT_TRUE(vel::print::GetPrinterDevMode(kPdfPrinterName, mode_));
  }
  void TearDown() override {
    unsetenv("VELMARK_PDF_DIR");
    fs::remove_all(dir_);
  }
  fs::path out() const { return dir_ / "out"; }
  int files() const {
    int n = 0;
    if (fs::exists(out()))
      for (auto& e : fs::directory_iterator(out())) n += e.is_regular_file();
    return n;
  }
  // Prints `pages` pages, each with a filled rectangle, and returns the file written.
  std::string Print(const char* name, int pages, RECT box = RECT{248, 351, 1240, 1754}) {
    HDC dc = CreatePrinterDC(kPdfPrinterName, mode_);
    EXPECT_NE(dc, nullptr);
    if (!dc) return {};
    DOCINFOA info;
    info.lpszDocName = name;
    EXPECT_GT(StartDocA(dc, &info), 0);
    for (int i = 0; i < pages; ++i) {
      EXPECT_GT(StartPage(dc), 0);
      HBRUSH b = CreateSolidBrush(RGB(0, 0, 0));
      FillRect(dc, &box, b);
      DeleteObject(b);
      // The stock font first (a bitmap face, drawn in an outline one), then a large one.
      RECT small{100, 2900, 2000, 2990};
      DrawTextA(dc, "Stock font", -1, &small, DT_SINGLELINE);
      LOGFONTA lf;
      lf.lfHeight = -100;
      std::strcpy(lf.lfFaceName, "Arial");
      HFONT font = CreateFontIndirectA(&lf);
      HGDIOBJ old = SelectObject(dc, font);
      RECT text{100, 3000, 2000, 3200};
      DrawTextA(dc, "Page footer", -1, &text, DT_SINGLELINE);
      SelectObject(dc, old);
      DeleteObject(font);
      EXPECT_GT(EndPage(dc), 0);
    }
    std::string path = vel::print::DocumentPath(dc);
    EXPECT_GT(EndDoc(dc), 0);
    EXPECT_EQ(vel::print::DocumentPath(dc), path);
    DeleteDC(dc);
    return path;
  }
  fs::path dir_;
  DevMode mode_;
};

TEST_F(PdfPrinter, TwoPagesMakeOneFileNamedAfterTheDocument) {
  std::string path = Print("Holiday", 2);
  EXPECT_EQ(path, (out() / "Holiday.pdf").string());
  ASSERT_TRUE(fs::exists(path));
  EXPECT_TRUE(StartsWithPdf(path));
  EXPECT_EQ(files(), 1);  // no temporary or placeholder left behind
  if (!HaveTool("pdfinfo")) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed; page count not checked";
  EXPECT_EQ(PdfPages(path), 2);
  std::string info = Capture("pdfinfo '" + path + "'");
  // A4 (Qt writes its sheet as 595 x 842 points).
  EXPECT_NE(info.find("595"), std::string::npos) << info;
  EXPECT_NE(info.find("842"), std::string::npos) << info;
}

TEST_F(PdfPrinter, LaterDocumentsOfTheSameNameAreNumbered) {
  EXPECT_EQ(Print("Holiday", 1), (out() / "Holiday.pdf").string());
  EXPECT_EQ(Print("Holiday", 1), (out() / "Holiday(1).pdf").string());
  EXPECT_EQ(Print("Holiday", 1), (out() / "Holiday(2).pdf").string());
  EXPECT_EQ(files(), 3);
}

TEST_F(PdfPrinter, NamesAreSanitised) {
  EXPECT_EQ(fs::path(Print("2024/05 trip: a*b?", 1)).filename().string(), "2024_05 trip_ a_b_.pdf");
  EXPECT_EQ(fs::path(Print("", 1)).filename().string(), "Untitled.pdf");
  EXPECT_EQ(fs::path(Print("..", 1)).filename().string(), "Untitled(1).pdf");
  EXPECT_EQ(fs::path(Print(nullptr, 1)).filename().string(), "Untitled(2).pdf");
  const std::string longName(400, 'x');
  const std::string name = fs::path(Print(longName.c_str(), 1)).filename().string();
  EXPECT_LT(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 4), ".pdf");
}

TEST_F(PdfPrinter, AbortLeavesNoFile) {
  HDC dc = CreatePrinterDC(kPdfPrinterName, mode_);
  ASSERT_NE(dc, nullptr);
  DOCINFOA info;
  info.lpszDocName = "Aborted";
  ASSERT_GT(StartDocA(dc, &info), 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_EQ(vel::print::DocumentPath(dc), (out() / "Aborted.pdf").string());
  EXPECT_GT(AbortDoc(dc), 0);
  EXPECT_EQ(files(), 0);
  EXPECT_EQ(vel::print::DocumentPath(dc), "");
  // The DC can start again; deleting it mid-document also cleans up.
  ASSERT_GT(StartDocA(dc, &info), 0);
  ASSERT_GT(StartPage(dc), 0);
  DeleteDC(dc);
  EXPECT_EQ(files(), 0);
}

TEST_F(PdfPrinter, CallsOutOfOrderFail) {
  HDC dc = CreatePrinterDC(kPdfPrinterName, mode_);
  ASSERT_NE(dc, nullptr);
  EXPECT_LE(StartPage(dc), 0);
  EXPECT_LE(EndPage(dc), 0);
  EXPECT_LE(EndDoc(dc), 0);
  EXPECT_LE(AbortDoc(dc), 0);
  EXPECT_LE(StartDocA(dc, nullptr), 0);
  DOCINFOA info;
  info.lpszDocName = "Order";
  ASSERT_GT(StartDocA(dc, &info), 0);
  EXPECT_LE(StartDocA(dc, &info), 0);  // one document at a time
  EXPECT_LE(EndPage(dc), 0);           // no page started
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_LE(StartPage(dc), 0);  // page already open
  EXPECT_GT(EndPage(dc), 0);
  EXPECT_GT(EndDoc(dc), 0);
  DeleteDC(dc);
  // Other DCs are not printers.
  HDC memory = CreateCompatibleDC(nullptr);
  EXPECT_LE(StartDocA(memory, &info), 0);
  EXPECT_EQ(vel::print::DocumentPath(memory), "");
  DeleteDC(memory);
  EXPECT_LE(StartPage(nullptr), 0);
}

TEST_F(PdfPrinter, EmptyDocumentIsOneBlankPage) {
  HDC dc = CreatePrinterDC(kPdfPrinterName, mode_);
  DOCINFOA info;
  info.lpszDocName = "Empty";
  ASSERT_GT(StartDocA(dc, &info), 0);
  ASSERT_GT(EndDoc(dc), 0);
  DeleteDC(dc);
  ASSERT_TRUE(fs::exists(out() / "Empty.pdf"));
  EXPECT_TRUE(StartsWithPdf(out() / "Empty.pdf"));
  if (!HaveTool("pdfinfo")) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  EXPECT_EQ(PdfPages(out() / "Empty.pdf"), 1);
}

TEST_F(PdfPrinter, CapsOfA4At300Dpi) {
  HDC dc = CreatePrinterDC(kPdfPrinterName, mode_);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2480);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 3508);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 300);
  EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 210);
  EXPECT_EQ(GetDeviceCaps(dc, VERTSIZE), 297);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 2480);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), 3508);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 0);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), 0);
  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
  EXPECT_EQ(vel::gdi::PainterOf(dc), nullptr);  // no painter before StartDoc
  DeleteDC(dc);
}

TEST_F(PdfPrinter, PageSizeOrientationAndResolutionFromTheMode) {
  DevMode m = mode_;
  m.orientation = DMORIENT_LANDSCAPE;
  m.printQuality = m.yResolution = 150;
  HDC dc = CreatePrinterDC(kPdfPrinterName, m);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1754);  // 297 mm at 150 dpi
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 1240);
  DeleteDC(dc);
  // Already given landscape: taken as it stands.
  m.paperWidth = 2970;
  m.paperLength = 2100;
  dc = CreatePrinterDC(kPdfPrinterName, m);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1754);
  DeleteDC(dc);
  // A5 portrait at 200 dpi; resolution not flagged falls back to 300.
  m = mode_;
  m.paperWidth = 1480;
  m.paperLength = 2100;
  m.printQuality = m.yResolution = 200;
  dc = CreatePrinterDC(kPdfPrinterName, m);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1165);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 1654);
  DeleteDC(dc);
  m.fields &= ~(DM_PRINTQUALITY | DM_YRESOLUTION);
  dc = CreatePrinterDC(kPdfPrinterName, m);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1748);
  DeleteDC(dc);
  // Absurd values do not make absurd pages.
  m.fields |= DM_PRINTQUALITY | DM_YRESOLUTION;
  m.printQuality = m.yResolution = 2000000000;
  m.paperWidth = 2000000000;
  dc = CreatePrinterDC(kPdfPrinterName, m);
  if (dc) {
    EXPECT_LE(GetDeviceCaps(dc, LOGPIXELSX), 4800);
    EXPECT_LT(GetDeviceCaps(dc, HORZRES), 100000);
    DeleteDC(dc);
  }
}

TEST_F(PdfPrinter, UnknownPrinterGivesNoDc) {
  EXPECT_EQ(CreatePrinterDC("No such printer 4711", mode_), nullptr);
  EXPECT_EQ(CreatePrinterDC("", mode_), nullptr);
}

TEST_F(PdfPrinter, FilledRectangleLandsWhereExpected) {
  // 10% .. 50% across, 10% .. 50% down.
  std::string path = Print("Geometry", 1, RECT{248, 351, 1240, 1754});
  ASSERT_FALSE(path.empty());
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed; rendering not checked";
  const fs::path prefix = dir_ / "render";
  ASSERT_EQ(std::system(("pdftoppm -q -r 50 -png -singlefile '" + path + "' '" + prefix.string() + "'").c_str()), 0);
  QImage page(QString::fromStdString(prefix.string() + ".png"));
  ASSERT_FALSE(page.isNull());
  // 50 dpi: 413 x 585 pixels.
  EXPECT_NEAR(page.width(), 413, 1);
  EXPECT_NEAR(page.height(), 585, 1);
  auto dark = [&](int x, int y) { return qGray(page.pixel(x, y)) < 64; };
  // Inside, near each corner, and just outside each edge.
  EXPECT_TRUE(dark(44, 61));
  EXPECT_TRUE(dark(204, 290));
  EXPECT_TRUE(dark(120, 150));
  EXPECT_FALSE(dark(39, 150));
  EXPECT_FALSE(dark(209, 150));
  EXPECT_FALSE(dark(120, 55));
  EXPECT_FALSE(dark(120, 296));
  // The footer text is on the page too, near its place.
  int ink = 0;
  for (int y = 495; y < 540; ++y)
    for (int x = 10; x < 200; ++x) ink += dark(x, y);
  EXPECT_GT(ink, 20);
}

}  // namespace
