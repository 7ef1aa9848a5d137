// Printing pages of the project on the project's printer.
#pragma once

#include <string>

#include "printlayout/model/Project.h"
#include "printlayout/print/PageRange.h"

class QWidget;

namespace tessaly {

// Prints the pages (numbers as printed) on project.printerName with the
// project's paper, orientation and resolution, one document named after the
// project, with a progress dialog ("Printing") whose "Cancel" aborts the
// document. False when the printer cannot be used or the document cannot be
// started; a cancelled job is not a failure. `mainWindow`, when given, is
// disabled while printing. `documentPath` receives the file of a PDF printer.
bool printPages(Project& project, const PageList& pages, QWidget* mainWindow = nullptr,
                std::string* documentPath = nullptr);

constexpr const char* kPrintingTitle = "Printing";
constexpr const char* kPreparingLine = "Preparing...";
constexpr const char* kPageOfPages = "Page %d of %d";

// Number of placements on the given pages (page numbers as printed).
int PlacementsOnPages(const Project& project, const PageList& pages);

// "Page %d of %d" for the k-th of n pages.
std::string PageOfPages(int k, int n);

}  // namespace tessaly
