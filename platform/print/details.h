// What the page-setup options show about a printer: whether it is the default,
// its state, type and comment, and the papers and resolutions it offers.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vel::print {

// Status bits as the spooler reports them; 0 means ready.
constexpr unsigned PRINTER_STATUS_PAUSED = 0x00000001;
constexpr unsigned PRINTER_STATUS_ERROR = 0x00000002;
constexpr unsigned PRINTER_STATUS_PRINTING = 0x00000400;

struct PrinterDetails {
  bool isDefault = false;
  unsigned status = 0;
  std::string type, comment;
  std::vector<std::string> paperSizes;
  std::vector<std::pair<int, int>> resolutions;  // horizontal, vertical dots per inch
};

// False, leaving `out` alone, for a printer that is not installed.
bool GetPrinterDetails(const std::string& name, PrinterDetails& out);

// The folder "Print to PDF" writes into: $VELMARK_PDF_DIR, else the documents folder.
std::string PdfOutputFolder();

}  // namespace vel::print
