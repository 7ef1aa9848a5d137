// Printer list, default printer and device modes, from Qt's CUPS support.
//
// Nothing is cached: queues come and go while a program runs, and asking CUPS
// again is cheap (a few milliseconds, and immediate when no server runs).
#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "platform/print/page_devmode.h"
#include "platform/print/print.h"
#include "platform/ui/ui.h"

namespace vel::print {
namespace {

std::vector<std::string> CupsQueueNames() {
  vel::ui::EnsureApplication();
  std::vector<std::string> names;
  for (const QString& name : QPrinterInfo::availablePrinterNames()) {
    std::string n = name.toStdString();
    // The built-in printer shadows a queue that happens to share its name.
    if (n.empty() || n == kPdfPrinterName) continue;
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(std::move(n));
  }
  return names;
}

int TenthsOfMillimetre(qreal mm) { return static_cast<int>(std::lround(mm * 10.0)); }

}  // namespace

short PaperSizeCode(QPageSize::PageSizeId id) {
  switch (id) {
    case QPageSize::A4: return DMPAPER_A4;
    case QPageSize::Letter: return DMPAPER_LETTER;
    case QPageSize::Legal: return DMPAPER_LEGAL;
    case QPageSize::A3: return DMPAPER_A3;
    case QPageSize::A5: return DMPAPER_A5;
    case QPageSize::B4: return DMPAPER_B4;
    case QPageSize::B5: return DMPAPER_B5;
    case QPageSize::Executive: return DMPAPER_EXECUTIVE;
    case QPageSize::Tabloid: return DMPAPER_TABLOID;
    case QPageSize::Ledger: return DMPAPER_LEDGER;
    default: return DMPAPER_USER;
  }
}

DevMode DevModeFromPage(const std::string& name, const QPageSize& page,
                        std::optional<QPageLayout::Orientation> orientation, int resolution) {
  DevMode dm;
  dm.deviceName = name;
  if (page.isValid()) {
    const QSizeF mm = page.size(QPageSize::Millimeter);
    dm.paperSize = PaperSizeCode(page.id());
    dm.paperWidth = TenthsOfMillimetre(mm.width());
    dm.paperLength = TenthsOfMillimetre(mm.height());
    dm.fields |= DM_PAPERSIZE;
    if (dm.paperWidth > 0 && dm.paperLength > 0) dm.fields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
    dm.formName = page.name().toStdString();
    if (!dm.formName.empty()) dm.fields |= DM_FORMNAME;
  }
  if (orientation) {
    dm.orientation = *orientation == QPageLayout::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    dm.fields |= DM_ORIENTATION;
  }
  if (resolution > 0) {
    dm.printQuality = resolution;
    dm.yResolution = resolution;
    dm.fields |= DM_PRINTQUALITY | DM_YRESOLUTION;
  }
  return dm;
}

DevMode PdfDevMode() {
  DevMode dm = DevModeFromPage(kPdfPrinterName, QPageSize(QPageSize::A4), QPageLayout::Portrait, 300);
  // Qt calls the form "A4" too; spelled out so the built-in printer never depends on it.
  dm.formName = "A4";
  dm.paperWidth = 2100;
  dm.paperLength = 2970;
  return dm;
}

std::vector<std::string> EnumPrinterNames() {
  std::vector<std::string> names;
  try {
    names = CupsQueueNames();
  } catch (...) {
    names.clear();
  }
  names.push_back(kPdfPrinterName);
  return names;
}

std::string DefaultPrinterName() {
  try {
    vel::ui::EnsureApplication();
    std::string name = QPrinterInfo::defaultPrinterName().toStdString();
    if (!name.empty() && name != kPdfPrinterName) return name;
  } catch (...) {
  }
  return kPdfPrinterName;
}

bool GetPrinterDevMode(const std::string& name, DevMode& out) {
  if (name == kPdfPrinterName) {
    out = PdfDevMode();
    return true;
  }
  try {
    const std::vector<std::string> queues = CupsQueueNames();
    if (std::find(queues.begin(), queues.end(), name) == queues.end()) return false;
    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(name));
    if (info.isNull()) return false;
    std::optional<QPageLayout::Orientation> orientation;
    int resolution = 0;
    // A printer is a paint device and wants the GUI application; when the program
    // only has a core application we report the paper alone.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      QPrinter printer(info, QPrinter::HighResolution);
      orientation = printer.pageLayout().orientation();
      resolution = printer.resolution();
    }
    out = DevModeFromPage(name, info.defaultPageSize(), orientation, resolution);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vel::print
