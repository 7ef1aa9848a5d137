// Export of pages as image files, one file per page.
#pragma once

#include <string>

#include "printlayout/model/Project.h"
#include "printlayout/print/PageRange.h"

class QWidget;
class CImageInterface;

namespace tessaly {

struct ExportResult {
  int written = 0;  // files saved
  int skipped = 0;  // pages left out at the overwrite question
  int failed = 0;   // saves that did not succeed (not reported to the user)
  bool cancelled = false;
};

// Renders each page (numbers as printed) at `dpi` into a white 24-bit bitmap and
// saves it as folder + expanded template + the type's extension with the save
// record of `type` (ExportType) at `depth` (ExportDepth). Existing files are
// guarded by the overwrite question. False when the user cancelled or chose
// "Skip All".
bool exportPages(Project& project, const PageList& pages, const std::string& folder, const std::string& nameTemplate,
                 int type, int dpi, int depth, bool grayscale, bool crop, QWidget* parent = nullptr,
                 ExportResult* result = nullptr);

constexpr const char* kExportTitle = "Export";
constexpr const char* kExportingLine = "Exporting...";
constexpr const char* kSavingLine = "Saving...";

// The page's size in pixels at `dpi`: its 0.1-mm size times dpi / 254, rounded.
int ExportPixels(std::int32_t tenthsMm, int dpi);

// Saves the image's page 0 as `type` with the head and fields the export uses.
bool SaveExportImage(CImageInterface& image, const std::string& path, int type, int width, int height, int depthBits,
                     bool grayscale);

}  // namespace tessaly
