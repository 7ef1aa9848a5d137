// The converter's wallpaper job (run mode 105): the processed image is written
// as a 24-bit BMP in the wallpaper folder with the layout the shell extension
// stored, the desktop registry values are set, and the system is asked to show it.
#pragma once

#include <string>

#include "converter/settings/ConverterSettings.h"
#include "lorimer/ImageInterface.h"

namespace converter {

// Wallpaper layouts, as stored in "WALLPAPER\Layout".
enum WallpaperLayout {
  kLayoutCenter = 0,
  kLayoutTile = 1,
  kLayoutFit = 2,
  kLayoutStretch = 3,
};

inline constexpr const char* kWallpaperFolderName = "Corbanix Images";
inline constexpr const char* kWallpaperFileName = "Corbanix background.bmp";
// Neither side of a fitted or stretched wallpaper exceeds this.
inline constexpr int kMaxWallpaperSide = 2000;

// The processed image becomes the desktop wallpaper; true when the system accepted it.
bool SetImageAsWallpaper(CImageInterface& image, const ConverterSettings& settings);
// The temporary folder + "Corbanix Images".
std::string WallpaperFolder();
// The layout from the converter's profile (0 when missing, clamped to 0-3).
int ReadWallpaperLayout();

}  // namespace converter
