// The printers of this machine: the CUPS queues Qt reports plus the built-in
// "Print to PDF", which is always installed.
#pragma once

#include <string>
#include <vector>

#include "platform/print/devmode.h"

namespace vel::print {

inline constexpr const char* kPdfPrinterName = "Print to PDF";

// The CUPS queues, then "Print to PDF" (listed once, always last).
std::vector<std::string> EnumPrinterNames();

// The system's default queue, else "Print to PDF".
std::string DefaultPrinterName();

// The device mode of an installed printer, with `fields` telling which values are
// known. False, leaving `out` alone, for a name that is not installed.
bool GetPrinterDevMode(const std::string& name, DevMode& out);

}  // namespace vel::print
