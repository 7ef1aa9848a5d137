#include "printlayout/print/Printing.h"

#include <QWidget>

#include <cstdio>

#include "platform/gdi/owned.h"
#include "platform/print/printer_dc.h"
#include "platform/ui/progress.h"
#include "printlayout/render/DialogProgress.h"
#include "printlayout/render/PageRenderer.h"

namespace tessaly {

namespace {

// Disables a window for as long as it lives.
class WindowDisabled {
 public:
  explicit WindowDisabled(QWidget* window) : window_(window) {
    if (window_) window_->setEnabled(false);
  }
  ~WindowDisabled() {
    if (window_) window_->setEnabled(true);
  }

 private:
  QWidget* window_;
};

}  // namespace

int PlacementsOnPages(const Project& project, const PageList& pages) {
  int total = 0;
  for (int number : pages) {
    const int entry = PageEntry(project, number);
    if (entry >= 1 && entry < static_cast<int>(project.pages.size()))
      total += static_cast<int>(project.pages[static_cast<size_t>(entry)]->placements.size());
  }
  return total;
}

std::string PageOfPages(int k, int n) {
  char line[64];
  std::snprintf(line, sizeof(line), kPageOfPages, k, n);
  return line;
}

bool printPages(Project& project, const PageList& pages, QWidget* mainWindow, std::string* documentPath) {
  // The printer with the project's paper and resolution.
  vel::print::DevMode mode;
  if (!project.environment().printerDevMode(project.printerName, mode)) return false;
  mode.formName = project.paperForm;
  mode.orientation = static_cast<short>(project.orientation == 2 ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT);
  mode.paperWidth = project.pageWidth;
  mode.paperLength = project.pageHeight;
  mode.printQuality = project.printQuality;
  mode.yResolution = project.printYResolution;
  mode.fields = DM_FORMNAME | DM_ORIENTATION | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PRINTQUALITY | DM_YRESOLUTION;
  const vel::gdi::OwnedDC printer(CreatePrinterDC(project.printerName, mode));
  if (!printer) return false;
  const HDC dc = printer.get();

  WindowDisabled disabled(mainWindow);
  vel::ui::ProgressDialog progress(kPrintingTitle, kPreparingLine, mainWindow);
  progress.setRange(PlacementsOnPages(project, pages));
  progress.setStep(1);
  progress.setPos(0);
  DialogProgress renderProgress(progress);

  DOCINFOA info;
  info.lpszDocName = project.name.c_str();
  if (StartDocA(dc, &info) <= 0) return false;

  // Made once for the printer's resolution, the fonts serve every page.
  const RenderFonts fonts(project, GetDeviceCaps(dc, LOGPIXELSY), 1.0);

  const int count = static_cast<int>(pages.size());
  bool aborted = false;
  for (int k = 1; k <= count && !aborted; ++k) {
    progress.setLine(PageOfPages(k, count));
    RenderRequest request;
    request.pageIndex = PageEntry(project, pages[static_cast<size_t>(k - 1)]);
    request.dc = dc;
    request.content = ContentRect(project, dc, 1.0);
    request.zoom = 1.0;
    request.dx = GetDeviceCaps(dc, PHYSICALOFFSETX);
    request.dy = GetDeviceCaps(dc, PHYSICALOFFSETY);
    request.fonts = &fonts;
    request.printer = true;
    request.progress = &renderProgress;
    StartPage(dc);
    const bool finished = renderPage(project, request);
    EndPage(dc);
    if (!finished || renderProgress.cancelled()) aborted = true;
  }

  // A cancelled job is thrown away, not printed in part.
  if (aborted) {
    AbortDoc(dc);
  } else {
    const std::string written = vel::print::DocumentPath(dc);
    if (EndDoc(dc) > 0 && documentPath) *documentPath = written;
  }
  return true;
}

}  // namespace tessaly
