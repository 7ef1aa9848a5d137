// The worker launcher: asks the outside thumbnail worker about one image
// through the "Sinchro" hand-over record and waits for its answer.
#pragma once

#include <string>

#include "platform/base/wintypes.h"
#include "platform/gdi/gdi.h"

namespace ferrule {

constexpr const char kConverterKey[] = "Software\\Velmark\\CONVERTER";
constexpr const char kSinchroKey[] = "Software\\Velmark\\CONVERTER\\Sinchro";
constexpr const char kWorkerAppPath[] = "Wicklow";

// The converter's "THMB_" values, as far as the extension cares.
struct ThumbSettings {
  int showFileNameAndLength = 1;
  int showWidthAndHeight = 1;
  int showThumbnail = 1;
  int sizeMode = 0;
  int height = 150;
  int width = 150;
  int time = 20;  // seconds, 5 to 60
  int zoomQuality = 0;
};
constexpr int kThumbTimeMin = 5;
constexpr int kThumbTimeMax = 60;
// Defaults with the screen-derived limits.
ThumbSettings DefaultThumbSettings();
// Reads the eight values in their order; if any is missing, all are defaults.
ThumbSettings LoadThumbSettings();

constexpr DWORD kSinchroTextBytes = 260;
struct SinchroRecord {
  DWORD error = 0;
  DWORD bpp = 0;
  DWORD width = 0;
  DWORD height = 0;
  DWORD pages = 0;
  DWORD length = 0;
  char fileName[kSinchroTextBytes] = {};
  char imgFileName[kSinchroTextBytes] = {};
  char result[kSinchroTextBytes] = {};
};
// Values that cannot be read keep what the record holds.
void ReadSinchro(SinchroRecord* record);
// All nine values; false when the key cannot be created.
bool WriteSinchro(const SinchroRecord& record);

// What Examine found out about an image.
struct ExamineResult {
  HBITMAP bitmap = nullptr;  // the caller's to delete
  int width = 0;
  int height = 0;
  WORD bitsPerPixel = 0;
  WORD pages = 0;
  std::string sizeText;
  std::string imgFileName;
};

class CThumbnail {
 public:
  CThumbnail() = default;
  // A worker still running is ended and the hand-over record cleared.
  ~CThumbnail();
  CThumbnail(const CThumbnail&) = delete;
  CThumbnail& operator=(const CThumbnail&) = delete;

  // Settings as loaded by the last Examine (defaults before).
  const ThumbSettings& Settings() const { return settings_; }
  // Starts the worker for `path` and waits for its answer; false when the
  // thumbnail is switched off, the worker cannot run or gives no bitmap.
  bool Examine(const char* path, ExamineResult* out);

 private:
  bool StartWorker();

  HANDLE process_ = nullptr;
  ThumbSettings settings_ = DefaultThumbSettings();
  SinchroRecord record_;
};

}  // namespace ferrule
