// What the Export dialog offers per file type, and what a page is saved as.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

// The "File type:" list, in order.
enum ExportType : int {
  kExportBMP = 0,
  kExportGIF,
  kExportJPEG,
  kExportTIFF,
  kExportPCX,
  kExportEPS,
  kExportPNG,
  kExportFMF,
  kExportDCX,
  kExportTGA,
  kExportTypeCount
};

// The "Color depth:" entries, in order, and their bits per pixel.
enum ExportDepth : int { kDepth1 = 0, kDepth4, kDepth8, kDepth24, kDepth32, kDepthCount };
constexpr int kDepthBits[kDepthCount] = {1, 4, 8, 24, 32};
constexpr const char* kDepthTexts[kDepthCount] = {"1-bit (black & white)", "4-bit color", "8-bit color", "24-bit color",
                                                  "32-bit color"};
constexpr const char* kTypeNames[kExportTypeCount] = {"BMP", "GIF", "JPEG", "TIFF", "PCX",
                                                      "EPS", "PNG", "FMF",  "DCX",  "TGA"};
constexpr const char* kTypeExtensions[kExportTypeCount] = {".bmp", ".gif", ".jpg", ".tif", ".pcx",
                                                           ".eps", ".png", ".fmf", ".dcx", ".tga"};
constexpr int kExportDpis[] = {72, 96, 150, 200, 300, 600};

// Depths allowed for a type, as a mask of 1 << ExportDepth.
unsigned AllowedDepths(int type, bool grayscale);

// The depth entry to select after the list was rebuilt: the previous one when
// still allowed, else the last allowed one; -1 when none is allowed.
int ChooseDepth(int type, bool grayscale, int previous);

// "Caution! ..." is shown while a name holds one of these.
constexpr const char* kForbiddenNameCharacters = "\\/:*?\"<>|";
bool HasForbiddenCharacter(const std::string& name);

}  // namespace tessaly
