// Printer details, mostly of the built-in PDF printer: a test machine rarely
// has a print server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/print/details.h"
#include "platform/print/print.h"

namespace {

using vel::print::GetPrinterDetails;
using vel::print::kPdfPrinterName;
using vel::print::PrinterDetails;

class PdfDirGuard {
 public:
  explicit PdfDirGuard(const char* value) {
    const char* old = std::getenv("VELMARK_PDF_DIR");
    had_ = old != nullptr;
    if (old) old_ = old;
    if (value)
      setenv("VELMARK_PDF_DIR", value, 1);
    else
      unsetenv("VELMARK_PDF_DIR");
  }
  ~PdfDirGuard() {
    if (had_)
      setenv("VELMARK_PDF_DIR", old_.c_str(), 1);
    else
      unsetenv("VELMARK_PDF_DIR");
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(PrinterDetailsTest, PdfPrinterDescribesItself) {
  PdfDirGuard dir("/tmp/pdf-out");
  PrinterDetails d;
  ASSERT_TRUE(GetPrinterDetails(kPdfPrinterName, d));
  EXPECT_EQ(d.status, 0u);
  EXPECT_EQ(d.type, "PDF writer");
  EXPECT_EQ(d.comment, "/tmp/pdf-out");
  EXPECT_EQ(d.paperSizes, (std::vector<std::string>{"A4", "A5", "A3", "Letter", "Legal"}));
  EXPECT_EQ(d.resolutions, (std::vector<std::pair<int, int>>{{300, 300}, {600, 600}}));
  // Default exactly when no queue of a print server is the default.
  EXPECT_EQ(d.isDefault, vel::print::DefaultPrinterName() == kPdfPrinterName);
}

TEST(PrinterDetailsTest, PdfFolderFallsBackWhenUnset) {
  PdfDirGuard dir(nullptr);
  const std::string folder = vel::print::PdfOutputFolder();
  EXPECT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  PdfDirGuard empty("");
  EXPECT_EQ(vel::print::PdfOutputFolder(), folder);
}

TEST(PrinterDetailsTest, UnknownPrinterLeavesOutputAlone) {
  PrinterDetails d;
  d.type = "kept";
  d.status = 7;
  EXPECT_FALSE(GetPrinterDetails("no such printer 6f1d", d));
  EXPECT_FALSE(GetPrinterDetails("", d));
  EXPECT_EQ(d.type, "kept");
  EXPECT_EQ(d.status, 7u);
}

TEST(PrinterDetailsTest, EveryListedPrinterHasDetails) {
  for (const std::string& name : vel::print::EnumPrinterNames()) {
    PrinterDetails d;
    EXPECT_TRUE(GetPrinterDetails(name, d)) << name;
    for (const auto& [x, y] : d.resolutions) {
      EXPECT_GT(x, 0) << name;
      EXPECT_GT(y, 0) << name;
    }
    for (const std::string& paper : d.paperSizes) EXPECT_FALSE(paper.empty()) << name;
  }
}

}  // namespace
