// Printer device contexts: painter DCs whose painter lives from StartDoc to EndDoc.
//
// "Print to PDF" writes through QPdfWriter into a hidden temporary file next to the
// final one and renames it when the document ends, so a half-written or aborted
// document never shows up under its name. The final name is claimed with an empty
// placeholder at StartDoc (created exclusively), so two documents printing at the same
// time cannot pick the same name. CUPS queues print through QPrinter.
#include "platform/print/printer_dc.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QStandardPaths>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "platform/gdi/painter_device.h"
#include "platform/print/print.h"
#include "platform/ui/ui.h"

namespace vel::print {
namespace {

constexpr int kDefaultResolution = 300;
// Resolutions beyond this would make pages of billions of pixels.
constexpr int kMaxResolution = 4800;
// Longest document name kept in a file name, in bytes (room for "(n)", ".pdf" and the
// temporary prefix under NAME_MAX).
constexpr size_t kMaxNameBytes = 200;
constexpr int kMaxUniqueTries = 10000;

enum class DocState { Idle, Document, Page };

struct PageGeometry {
  QSizeF millimetres;  // as printed: width x height
  int dpiX = kDefaultResolution;
  int dpiY = kDefaultResolution;
};

PageGeometry GeometryFrom(const DevMode& mode, bool pdf) {
  PageGeometry g;
  double w = 210.0, h = 297.0;
  if ((mode.fields & DM_PAPERWIDTH) && (mode.fields & DM_PAPERLENGTH) && mode.paperWidth > 0 && mode.paperLength > 0 &&
      mode.paperWidth <= 100000 && mode.paperLength <= 100000) {
    w = mode.paperWidth / 10.0;
    h = mode.paperLength / 10.0;
  } else if (!pdf) {
    w = h = 0;  // the queue's own paper
  }
  // Sizes are stored portrait; a landscape sheet turns them, unless the caller already did.
  if ((mode.fields & DM_ORIENTATION) && mode.orientation == DMORIENT_LANDSCAPE && w < h) std::swap(w, h);
  g.millimetres = QSizeF(w, h);
  if ((mode.fields & DM_PRINTQUALITY) && mode.printQuality > 0) g.dpiX = std::min(mode.printQuality, kMaxResolution);
  g.dpiY = g.dpiX;
  // A PDF page has one resolution; a printer's vertical one may differ.
  if (!pdf && (mode.fields & DM_YRESOLUTION) && mode.yResolution > 0)
    g.dpiY = std::min(mode.yResolution, kMaxResolution);
  return g;
}

int Pixels(double mm, int dpi) { return static_cast<int>(std::lround(mm / 25.4 * dpi)); }

// A page layout of the given size with no margins, portrait or landscape as the size is.
QPageLayout LayoutFor(const QSizeF& mm) {
  const bool landscape = mm.width() > mm.height();
  QSizeF portrait = landscape ? mm.transposed() : mm;
  return QPageLayout(QPageSize(portrait, QPageSize::Millimeter),
                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

std::string SanitisedName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    bool bad =
        c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
    out.push_back(bad ? '_' : static_cast<char>(c));
  }
  if (out.size() > kMaxNameBytes) {
    size_t cut = kMaxNameBytes;
    // Never in the middle of a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  // Leading and trailing blanks and dots make names that are hard to see or to type.
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  size_t first = 0;
  while (first < out.size() && (out[first] == ' ' || out[first] == '.')) ++first;
  out.erase(0, first);
  return out.empty() ? std::string("Untitled") : out;
}

std::filesystem::path PdfFolder() {
  if (const char* dir = std::getenv("VELMARK_PDF_DIR"); dir && *dir) return dir;
  QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (docs.isEmpty()) docs = QDir::homePath() + QStringLiteral("/Documents");
  return docs.toStdString();
}

class PrinterDC : public vel::gdi::PainterDC {
 public:
  PrinterDC(std::string name, bool pdf, const PageGeometry& page)
      : PainterDC(nullptr, {}), name_(std::move(name)), pdf_(pdf), page_(page) {}
  ~PrinterDC() override { abort(); }

  bool setUp();
  int startDoc(const DOCINFOA& info);
  int startPage();
  int endPage();
  int endDoc();
  int abort();
  const std::string& path() const { return finalPath_; }

 private:
  bool claimName(const std::filesystem::path& folder, const std::string& base);
  void dropFiles();

  std::string name_;
  bool pdf_;
  PageGeometry page_;
  DocState state_ = DocState::Idle;
  int pages_ = 0;
  std::unique_ptr<QPdfWriter> writer_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  std::string tempPath_;
  std::string finalPath_;
};

// Works out the capabilities before any document starts: PDF pages are exactly the
// paper, printer pages the queue's printable area.
bool PrinterDC::setUp() {
  vel::gdi::PainterCaps caps;
  caps.technology = DT_RASPRINTER;
  caps.dpiX = page_.dpiX;
  caps.dpiY = page_.dpiY;
  if (pdf_) {
    caps.width = caps.physicalWidth = Pixels(page_.millimetres.width(), page_.dpiX);
    caps.height = caps.physicalHeight = Pixels(page_.millimetres.height(), page_.dpiY);
  } else {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setPrinterName(QString::fromStdString(name_));
    if (!printer_->isValid()) return false;
    printer_->setResolution(page_.dpiX);
    printer_->setFullPage(false);
    if (page_.millimetres.width() > 0) {
      QPageLayout layout = LayoutFor(page_.millimetres);
      printer_->setPageSize(layout.pageSize());
      printer_->setPageOrientation(layout.orientation());
    }
    const int dpi = printer_->resolution();
    caps.dpiX = caps.dpiY = dpi > 0 ? dpi : page_.dpiX;
    const QRectF paper = printer_->paperRect(QPrinter::DevicePixel);
    const QRectF printable = printer_->pageRect(QPrinter::DevicePixel);
    caps.width = static_cast<int>(std::lround(printable.width()));
    caps.height = static_cast<int>(std::lround(printable.height()));
    caps.physicalWidth = static_cast<int>(std::lround(paper.width()));
    caps.physicalHeight = static_cast<int>(std::lround(paper.height()));
    caps.offsetX = static_cast<int>(std::lround(printable.left() - paper.left()));
    caps.offsetY = static_cast<int>(std::lround(printable.top() - paper.top()));
  }
  if (caps.width <= 0 || caps.height <= 0) return false;
  painterCaps = caps;
  return true;
}

bool PrinterDC::claimName(const std::filesystem::path& folder, const std::string& base) {
  for (int n = 0; n < kMaxUniqueTries; ++n) {
    std::string file = base + (n ? "(" + std::to_string(n) + ")" : std::string()) + ".pdf";
    std::filesystem::path candidate = folder / file;
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      finalPath_ = candidate.string();
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void PrinterDC::dropFiles() {
  std::error_code ec;
  if (!tempPath_.empty()) std::filesystem::remove(tempPath_, ec);
  if (!finalPath_.empty()) std::filesystem::remove(finalPath_, ec);
  tempPath_.clear();
  finalPath_.clear();
}

int PrinterDC::startDoc(const DOCINFOA& info) {
  if (state_ != DocState::Idle) return -1;
  const std::string docName = info.lpszDocName ? info.lpszDocName : "";
  finalPath_.clear();
  tempPath_.clear();
  if (pdf_) {
    std::error_code ec;
    const std::filesystem::path folder = PdfFolder();
    std::filesystem::create_directories(folder, ec);
    if (!claimName(folder, SanitisedName(docName))) return -1;
    std::string pattern = (folder / ("." + std::filesystem::path(finalPath_).filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
      dropFiles();
      return -1;
    }
    // mkstemp makes the file private; a printed document is an ordinary file of
    // the user's, readable as the umask allows.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    tempPath_ = buffer.data();
    writer_ = std::make_unique<QPdfWriter>(QString::fromStdString(tempPath_));
    writer_->setResolution(page_.dpiX);
    writer_->setPageLayout(LayoutFor(page_.millimetres));
    writer_->setTitle(QString::fromUtf8(docName.c_str()));
    writer_->setCreator(QStringLiteral("Velmark"));
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(writer_.get())) {
      painter_.reset();
      writer_.reset();
      dropFiles();
      return -1;
    }
  } else {
    printer_->setDocName(QString::fromUtf8(docName.c_str()));
    if (info.lpszOutput && *info.lpszOutput) printer_->setOutputFileName(QString::fromUtf8(info.lpszOutput));
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(printer_.get())) {
      painter_.reset();
      return -1;
    }
  }
  painter = painter_.get();
  state_ = DocState::Document;
  pages_ = 0;
  static std::atomic<int> jobs{0};
  return ++jobs;
}

int PrinterDC::startPage() {
  if (state_ != DocState::Document || !painter_) return -1;
  if (pages_ > 0) {
    bool ok = pdf_ ? writer_->newPage() : printer_->newPage();
    if (!ok) return -1;
  }
  ++pages_;
  state_ = DocState::Page;
  return 1;
}

int PrinterDC::endPage() {
  if (state_ != DocState::Page) return -1;
  state_ = DocState::Document;
  return 1;
}

int PrinterDC::endDoc() {
  if (state_ == DocState::Idle || !painter_) return -1;
  // A document that ended without pages still ends as one blank page.
  bool ok = painter_->end();
  painter = nullptr;
  painter_.reset();
  state_ = DocState::Idle;
  if (!pdf_) return ok ? 1 : -1;
  writer_.reset();  // closes the file
  std::error_code ec;
  if (ok) std::filesystem::rename(tempPath_, finalPath_, ec);
  if (!ok || ec) {
    dropFiles();
    return -1;
  }
  tempPath_.clear();
  return 1;
}

int PrinterDC::abort() {
  if (state_ == DocState::Idle) return -1;
  if (printer_ && !pdf_) printer_->abort();
  if (painter_ && painter_->isActive()) painter_->end();
  painter = nullptr;
  painter_.reset();
  writer_.reset();
  if (pdf_) dropFiles();
  state_ = DocState::Idle;
  return 1;
}

PrinterDC* Printer(HDC dc) { return dynamic_cast<PrinterDC*>(vel::gdi::Live(dc)); }

bool Installed(const std::string& name) {
  if (name == kPdfPrinterName) return true;
  const std::vector<std::string> names = EnumPrinterNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::string DocumentPath(HDC dc) {
  PrinterDC* p = Printer(dc);
  return p ? p->path() : std::string();
}

}  // namespace vel::print

using vel::print::PrinterDC;

HDC CreatePrinterDC(const std::string& printerName, const vel::print::DevMode& mode) {
  try {
    vel::ui::EnsureApplication();
    if (printerName.empty() || !vel::print::Installed(printerName)) return nullptr;
    const bool pdf = printerName == vel::print::kPdfPrinterName;
    auto* dc = new (std::nothrow) PrinterDC(printerName, pdf, vel::print::GeometryFrom(mode, pdf));
    if (!dc) return nullptr;
    if (!dc->setUp()) {
      delete dc;
      return nullptr;
    }
    vel::gdi::Register(dc);
    return dc;
  } catch (...) {
    return nullptr;
  }
}

int StartDocA(HDC dc, const DOCINFOA* info) {
  PrinterDC* p = vel::print::Printer(dc);
  if (!p || !info) return -1;
  try {
    return p->startDoc(*info);
  } catch (...) {
    return -1;
  }
}

int StartPage(HDC dc) {
  PrinterDC* p = vel::print::Printer(dc);
  try {
    return p ? p->startPage() : -1;
  } catch (...) {
    return -1;
  }
}

int EndPage(HDC dc) {
  PrinterDC* p = vel::print::Printer(dc);
  return p ? p->endPage() : -1;
}

int EndDoc(HDC dc) {
  PrinterDC* p = vel::print::Printer(dc);
  try {
    return p ? p->endDoc() : -1;
  } catch (...) {
    return -1;
  }
}

int AbortDoc(HDC dc) {
  PrinterDC* p = vel::print::Printer(dc);
  try {
    return p ? p->abort() : -1;
  } catch (...) {
    return -1;
  }
}
