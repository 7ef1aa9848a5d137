// Printing goes through the print-layout program installed beside the viewer as
// "_preview": the viewer hands it the image file (or a temporary copy of what is on
// screen), hides its main window while the program runs and cleans up after it.
#pragma once

#include <string>
#include <vector>

#include "platform/gdi/metafile.h"

namespace orvenna {

class COrvennaDoc;
class IViewerHost;

// Title of every print message.
inline constexpr const char kPrintTitle[] = "Print preview";

// Print and print preview of the active document (both commands do the same).
void PrintActiveDocument(IViewerHost& host);
// Hands every open image over at once, as a list file.
void PrintAllDocuments(IViewerHost& host);

// The parameters for one image file of `pageCount` pages.
std::string PrintParameters(int pageCount, const std::string& path);
// The layout switches that start a "Print All" command line, by the number of files.
std::string PrintAllPrefix(int fileCount);

// A new empty file in the temporary folder, named with the prefix; "" on failure.
std::string NewTempFile(const char* prefix);

// The folder the running program lives in, where the print module and the help
// file are installed; "" when the program's own path cannot be read.
std::string ProgramFolder();
// The print-layout program: ProgramFolder() + "/_preview".
std::string PrintModulePath();

namespace handover_testing {
// Looks for the print module and the help file in `folder` instead of the
// program's folder; "" goes back to the program's folder.
void SetProgramFolder(const std::string& folder);
// Replaces the metafile copy used for vector images; null restores CopyMetaFileA.
using MetaFileCopier = HMETAFILE (*)(HMETAFILE, LPCSTR);
void SetMetaFileCopier(MetaFileCopier copier);
}  // namespace handover_testing

}  // namespace orvenna
