// Stand-in for the outside thumbnail worker the menu extension starts for a single
// selected image: it takes the request from the registry's "Sinchro" hand-over key,
// examines the image with the library, leaves a thumbnail as a BMP file in the
// temporary folder and answers through the same key.
#pragma once

#include <string>

#include "platform/base/wintypes.h"

namespace wicklow {

// HKEY_CURRENT_USER keys of the hand-over and of the thumbnail settings.
constexpr const char* kSettingsKey = "Software\\Velmark\\CONVERTER";
constexpr const char* kSinchroKey = "Software\\Velmark\\CONVERTER\\Sinchro";
// Strings of the hand-over travel with exactly this data length.
constexpr DWORD kStringBytes = 260;

// What "Error" holds after a run.
enum ErrorCode : DWORD {
  kErrorNone = 0,
  kErrorNoRequest = 1,    // "FileName" missing or empty
  kErrorNotLoaded = 2,    // the library could not load the file
  kErrorNoThumbnail = 3,  // the thumbnail could not be made or stored
};

// The thumbnail limits in force ("THMB_Width", "THMB_Height", "THMB_ZoomQuality").
struct ThumbLimits {
  int width = 150;
  int height = 150;
  int zoomQuality = 0;  // 0 low (fast), 1 high (slow)
};
// Limits beyond these come from a damaged key; they are clamped, not trusted.
constexpr int kMinThumbSide = 8;
constexpr int kMaxThumbSide = 2048;

// The eight "THMB_" values are one block: if one of them cannot be read, all take
// the converter's defaults (a fifth of the screen, 150 without one).
ThumbLimits ReadThumbLimits();

// The worker's answer, as the hand-over record carries it.
struct Answer {
  DWORD error = kErrorNone;
  DWORD bpp = 0;
  DWORD width = 0;
  DWORD height = 0;
  DWORD pages = 0;
  DWORD length = 0;
  std::string imgFileName;
  std::string result;
};

// Where this user's thumbnail goes: one fixed name, replaced by every request.
std::string ThumbnailPath();

// Examines `path` and writes its thumbnail to `thumbnailPath` (through a temporary
// in the same folder and a rename, so a reader never sees half a file).
Answer Examine(const std::string& path, const ThumbLimits& limits, const std::string& thumbnailPath);

// "FileName" of the hand-over key; false when there is no request.
bool ReadRequest(std::string* path);
// Writes the answer's eight values under the hand-over key ("Result" last).
bool WriteAnswer(const Answer& answer);

// The whole job: request, examination, answer. The process exit code: 0 when a
// thumbnail was delivered, else 1.
int Run();

}  // namespace wicklow
