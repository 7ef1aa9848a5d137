// Printer details from Qt's CUPS support; the built-in PDF printer describes
// itself.
#include "platform/print/details.h"

#include <QDir>
#include <QPageSize>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QString>

#include <algorithm>
#include <cstdlib>

#include "platform/print/print.h"
#include "platform/ui/ui.h"

namespace vel::print {
namespace {

constexpr const char* kPdfType = "PDF writer";
constexpr const char* kPdfPaperSizes[] = {"A4", "A5", "A3", "Letter", "Legal"};
constexpr int kPdfResolutions[] = {300, 600};

unsigned StatusBits(QPrinter::PrinterState state) {
  switch (state) {
    case QPrinter::Idle: return 0;
    case QPrinter::Active: return PRINTER_STATUS_PRINTING;
    case QPrinter::Aborted: return PRINTER_STATUS_PAUSED;
    case QPrinter::Error: return PRINTER_STATUS_ERROR;
  }
  return PRINTER_STATUS_ERROR;
}

PrinterDetails PdfDetails() {
  PrinterDetails d;
  d.isDefault = DefaultPrinterName() == kPdfPrinterName;
  d.type = kPdfType;
  d.comment = PdfOutputFolder();
  d.paperSizes.assign(std::begin(kPdfPaperSizes), std::end(kPdfPaperSizes));
  for (int r : kPdfResolutions) d.resolutions.emplace_back(r, r);
  return d;
}

}  // namespace

std::string PdfOutputFolder() {
  const char* dir = std::getenv("VELMARK_PDF_DIR");
  if (dir && *dir) return dir;
  QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (docs.isEmpty()) docs = QDir::homePath();
  return docs.toStdString();
}

bool GetPrinterDetails(const std::string& name, PrinterDetails& out) {
  if (name == kPdfPrinterName) {
    out = PdfDetails();
    return true;
  }
  try {
    vel::ui::EnsureApplication();
    const QString qname = QString::fromStdString(name);
    if (name.empty() || !QPrinterInfo::availablePrinterNames().contains(qname)) return false;
    const QPrinterInfo info = QPrinterInfo::printerInfo(qname);
    if (info.isNull()) return false;
    PrinterDetails d;
    d.isDefault = info.isDefault();
    d.status = StatusBits(info.state());
    d.type = info.makeAndModel().toStdString();
    // CUPS keeps a free description and a location; the description is what the
    // owner of the queue wrote about it, the location the next best thing.
    d.comment = (info.description().isEmpty() ? info.location() : info.description()).toStdString();
    for (const QPageSize& size : info.supportedPageSizes()) {
      std::string n = size.name().toStdString();
      if (!n.empty() && std::find(d.paperSizes.begin(), d.paperSizes.end(), n) == d.paperSizes.end())
        d.paperSizes.push_back(std::move(n));
    }
    for (int r : info.supportedResolutions())
      if (r > 0) d.resolutions.emplace_back(r, r);
    out = std::move(d);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vel::print
