// Printer device contexts and the document calls (StartDoc ... EndDoc).
//
// A printer DC is a painter DC: its painter exists from StartDocA to EndDoc/AbortDoc.
// "Print to PDF" writes one PDF file per document into $VELMARK_PDF_DIR (default: the
// XDG documents folder, created if missing), named after the document ("/" and other
// characters not allowed in file names become "_", an empty name is "Untitled") and
// made unique with "(1)", "(2)" ... before ".pdf". The file is written under a temporary
// name in that folder and renamed at EndDoc; AbortDoc removes it. A document that ended
// without any page still gives a valid PDF of one blank page. Other printers are CUPS
// queues printed through QPrinter.
#pragma once

#include <string>

#include "platform/gdi/gdi.h"
#include "platform/print/devmode.h"

struct DOCINFOA {
  int cbSize = sizeof(DOCINFOA);
  LPCSTR lpszDocName = nullptr;
  LPCSTR lpszOutput = nullptr;
  LPCSTR lpszDatatype = nullptr;
  DWORD fwType = 0;
};

// Null when no printer of that name is installed. The page is mode.paperWidth x
// mode.paperLength (0.1 mm) when both are flagged, else the printer's default (A4 for
// the PDF printer); those values are the sheet as stored, portrait. With
// DMORIENT_LANDSCAPE the page is turned: paperLength wide and paperWidth tall — unless
// the caller already gave paperWidth > paperLength, which is then taken as it stands.
// Resolution: printQuality x yResolution when flagged and positive, else 300 dpi (a PDF
// page takes printQuality for both axes; a CUPS queue answers with what it supports).
HDC CreatePrinterDC(const std::string& printerName, const vel::print::DevMode& mode);

int StartDocA(HDC dc, const DOCINFOA* info);  // > 0 on success (a job number)
int StartPage(HDC dc);                        // > 0 on success
int EndPage(HDC dc);
int EndDoc(HDC dc);
int AbortDoc(HDC dc);

namespace vel::print {
// The PDF file a "Print to PDF" DC writes (the final name, known from StartDocA on);
// empty for other DCs and before StartDocA.
std::string DocumentPath(HDC dc);
}  // namespace vel::print
