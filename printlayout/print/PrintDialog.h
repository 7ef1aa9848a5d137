// The "Print" dialog: which pages, the odd/even choice, and what the project's
// printer settings are ("Setup..." opens the project options to change them).
#pragma once

#include <QDialog>

#include "printlayout/print/PageRange.h"
#include "printlayout/print/PageSetupPage.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessaly {

constexpr const char* kPrintDialogTitle = "Print";
constexpr const char* kPageRangeAllText = "All";
constexpr const char* kPageRangePagesText = "Pages:";
constexpr const char* kPageRangeHint = "Enter page numbers and/or page ranges separated by comma. For example: 1,3-5";
constexpr const char* kPrintFailedMessage =
    "Program cannot complete a print job. Possible reason may be one of following:\n1. There is no default "
    "printer in system.\n2. Printer is not accessible.\n3. Paper is out.\n\nUse Edit | Options... to check "
    "project's printer setting.";

// The odd/even list, in its order.
enum PageParity { kEvenAndOddPages = 0, kOddPagesOnly, kEvenPagesOnly };

// The page-range part both the Print and the Export dialog show: "All" or
// "Pages:" with a range text that is enabled only with "Pages:".
struct PageRangeControls {
  QRadioButton* all = nullptr;
  QRadioButton* pages = nullptr;
  QLineEdit* range = nullptr;

  void create(QWidget* parent);
  // With "Pages:" the text must select at least one page, else the message
  // is shown and false returned. On success `out` holds the chosen pages
  // (every page for "All"), odd and even alike.
  bool read(const Project& project, PageList& out) const;
};

class PrintDialog : public QDialog {
 public:
  PrintDialog(Project& project, QWidget* parent = nullptr,
              PageSetupPage::DetailsSource details = vel::print::GetPrinterDetails);

  // The pages to print, after OK.
  PageList pages() const { return pages_; }
  PageParity parity() const;

  void accept() override;

  QRadioButton* allButton() const { return range_.all; }
  QRadioButton* pagesButton() const { return range_.pages; }
  QLineEdit* rangeText() const { return range_.range; }
  QComboBox* parityList() const { return parity_; }
  QPushButton* setupButton() const { return setup_; }
  QLabel* printerLine() const { return printer_; }
  QLabel* orientationLine() const { return orientation_; }
  QLabel* paperLine() const { return paper_; }
  QLabel* qualityLine() const { return quality_; }
  QDialogButtonBox* buttons() const { return buttons_; }

  // The printer lines again, after the project's settings changed.
  void showPrinterSettings();

 private:
  Project& project_;
  PageSetupPage::DetailsSource details_;
  PageList pages_;
  PageRangeControls range_;
  QComboBox* parity_;
  QPushButton* setup_;
  QLabel* printer_;
  QLabel* orientation_;
  QLabel* paper_;
  QLabel* quality_;
  QDialogButtonBox* buttons_;
};

}  // namespace tessaly
