// The installed printers, as the page-setup options and the printer check list them.
#pragma once

#include <string>
#include <vector>

#include "printlayout/model/Environment.h"

namespace tessaly {

// Title of the program's message boxes.
constexpr const char* kTessalyTitle = "Tessaly";

constexpr const char* kNoPrinterMessage =
    "You have not installed any printer in your system. In this case Tessaly cannot work properly!";
constexpr const char* kPrinterListMemoryMessage =
    "There are problems with allocation memory. Close applications that are not nesseccary!";

// Names of the installed printers in the system's order; when there is none,
// says so in a message box (exclamation icon) and returns the empty list.
std::vector<std::string> listPrinters(Environment& environment);

}  // namespace tessaly
