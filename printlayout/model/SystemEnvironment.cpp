// The environment Tessaly runs in: real printers, real font metrics, real
// message boxes.
#include <algorithm>
#include <limits>
#include <memory>

#include "platform/gdi/font.h"
#include "platform/print/print.h"
#include "platform/ui/ui.h"
#include "printlayout/model/Environment.h"

namespace tessaly {
namespace {

// 254 logical units per inch makes the font's logical unit 0.1 mm, the project's unit.
constexpr int kTenthsOfMillimetrePerInch = 254;

constexpr const char* kMessageTitle = "Tessaly";

class SystemEnvironment : public Environment {
 public:
  std::vector<std::string> installedPrinters() override { return vel::print::EnumPrinterNames(); }

  std::string defaultPrinter() override { return vel::print::DefaultPrinterName(); }

  bool printerDevMode(const std::string& name, vel::print::DevMode& out) override {
    return vel::print::GetPrinterDevMode(name, out);
  }

  int textHeight(const TextFont& font) override {
    const LOGFONTA logFont = ToLogFont(font, kTenthsOfMillimetrePerInch, 1.0);
    TEXTMETRICA metrics;
    // A face that cannot be measured still takes room: its nominal height.
    if (!vel::gdi::GetFontMetrics(logFont, &metrics)) {
      const long long nominal = -static_cast<long long>(logFont.lfHeight);
      return nominal >= 1 && nominal <= std::numeric_limits<int>::max() ? static_cast<int>(nominal) : 1;
    }
    return std::max<LONG>(1, metrics.tmHeight);
  }

  void message(const std::string& text) override { vel::ui::MessageBox(kMessageTitle, text, MB_OK); }
};

}  // namespace

std::unique_ptr<Environment> MakeSystemEnvironment() { return std::make_unique<SystemEnvironment>(); }

}  // namespace tessaly
