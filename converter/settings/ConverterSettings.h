// The batch converter's options: one record mirroring the values under
// HKEY_CURRENT_USER\Software\Velmark\CONVERTER, with their defaults, and the
// conventions by which they are stored (numbers as 4-byte REG_BINARY, strings as
// 260-byte REG_SZ, the zoom multiplier as the bits of a float).
#pragma once

#include <string>

namespace converter {

// The key every user of the settings reads afresh, under HKEY_CURRENT_USER.
inline constexpr const char* kSettingsKey = "Software\\Velmark\\CONVERTER";
// Every string value is stored with exactly this many bytes.
inline constexpr unsigned kStringBytes = 260;

struct ThumbnailSettings {
  int showFileNameAndLength = 1;  // "THMB_ShowFileNameAndLength"
  int showWidthAndHeight = 1;     // "THMB_ShowWidthAndHeight"
  int showThumbnail = 1;          // "THMB_ShowThumbnail"
  int sizeMode = 0;               // "THMB_SizeMode": 0 large, 1 medium, 2 small, 3 set limits
  int height = 150;               // "THMB_Height", screen height / 5
  int width = 150;                // "THMB_Width", screen width / 5
  int zoomQuality = 0;            // "THMB_ZoomQuality": 0 low, 1 high
  int time = 20;                  // "THMB_Time", seconds

  // The defaults, with the limits taken from the screen.
  static ThumbnailSettings Defaults();
};

struct ConverterSettings {
  int pageNumber = 5;                              // "PageNumber"
  int cdGray = 0;                                  // "CD_Gray"
  int cdBpp = 1;                                   // "CD_Bpp": 0 = 32, 1 = 24, 2 = 8, 3 = 4, 4 = 1 bits per pixel
  int inetPngFilterMode = 1;                       // "INET_PNGFilterMode"
  int inetPngCompress = 1;                         // "INET_PNGCompress"
  int inetInterlacing = 0;                         // "INET_Interlacing"
  int inetJpegQual = 75;                           // "INET_JPEGQual"
  int optAddToMultipage = 0;                       // "OPT_AddToMultipage"
  int optCloseAfter = 0;                           // "OPT_CloseAfter"
  int optCreateLog = 1;                            // "OPT_CreateLog"
  int optOverwriteExisting = 0;                    // "OPT_OverwriteExisting"
  int optShowReport = 1;                           // "OPT_ShowReport"
  int optUsePredefFolder = 0;                      // "OPT_UsePredefFolder"
  std::string optMultipageFileName = "Multipage";  // "OPT_MultipageFileName"
  int optUseAllPages = 1;                          // "OPT_UseAllPages"
  std::string optFolderPath;                       // "OPT_FolderPath"
  int optShowPennock = 1;                          // "OPT_ShowPennock"
  int optVectorize = 0;                            // "OPT_Vectorize"
  int renAskBefore = 1;                            // "REN_AskBefore"
  int renTemplateMode = 0;                         // "REN_TemplateMode"
  std::string renTemplates[4] = {"Template1", "Template2", "Template3", "TP4"};  // "REN_TMPL1".."REN_TMPL4"
  int renUsePredefFolder = 0;                                                    // "REN_UsePredefFolder"
  std::string renFolderPath;                                                     // "REN_FolderPath"
  int sizeNewHeight = 2048;                                                      // "SIZE_NewHeight"
  int sizeNewWidth = 2048;                                                       // "SIZE_NewWidth"
  float sizeMultiplier = 1.0f;                                                   // "SIZE_Multiplier"
  int sizeZoomMode = 1;                                                          // "SIZE_ZoomMode"
  int sizeZoomQual = 3;                                                          // "SIZE_ZoomQual"
  int sizeRotAngle = 0;             // "SIZE_RotAngle", hundredths of a degree
  unsigned sizeBkColor = 0xFFFFFF;  // "SIZE_BKColor", 0x00BBGGRR
  ThumbnailSettings thumbnail;
  std::string tiffArtist;                              // "TIFF_Artist", the logged-on user by default
  std::string tiffCopyright;                           // "TIFF_Copyright"
  int tiffCompressionMode = 1;                         // "TIFF_CompressionMode"
  int tiffReverseFill = 0;                             // "TIFF_ReverseFill"
  int cropMode = 0;                                    // "CROP_Mode"
  int cropX0 = 0, cropY0 = 0;                          // "CROP_XO", "CROP_YO"
  int cropX1 = 0, cropY1 = 0;                          // "CROP_X1", "CROP_Y1"
  int cropWidth = 0, cropHeight = 0;                   // "CROP_Width", "CROP_Height"
  int briconBri = 0;                                   // "BRICON_Bri"
  int briconRed = 0, briconGreen = 0, briconBlue = 0;  // "BRICON_Red", "BRICON_Green", "BRICON_Blue"

  // Every value at its default (thumbnail limits from the screen, the artist
  // from the logged-on user).
  static ConverterSettings Defaults();

  // Fills the record with the defaults, then reads the values in their fixed
  // order and stops at the first one that cannot be read; the thumbnail group is
  // read as one block. True when every value was read.
  bool Load();
  // Writes every value, group by group, each group opening the key by itself;
  // stops at the first group whose key cannot be opened. True when all were written.
  bool Save() const;
};

// The logged-on user's name, or "" when the system does not say.
std::string LoggedOnUser();

}  // namespace converter
