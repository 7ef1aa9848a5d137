// The printer list with its one message.
#include "printlayout/print/PrinterList.h"

#include <new>

#include "platform/ui/ui.h"

namespace tessaly {

std::vector<std::string> listPrinters(Environment& environment) {
  std::vector<std::string> names;
  try {
    names = environment.installedPrinters();
  } catch (const std::bad_alloc&) {
    vel::ui::MessageBox(kTessalyTitle, kPrinterListMemoryMessage, MB_OK | MB_ICONEXCLAMATION);
    return {};
  }
  if (names.empty()) vel::ui::MessageBox(kTessalyTitle, kNoPrinterMessage, MB_OK | MB_ICONEXCLAMATION);
  return names;
}

}  // namespace tessaly
