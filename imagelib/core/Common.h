// Bitmap helpers and small services shared by the whole library.
#pragma once

#include "platform/gdi/gdi.h"

class Common {
 public:
  static int CalculateProportionallyRect(int* width, int* height, int maxWidth, int maxHeight);
  static HBITMAP CreateEmptyDIBSection(int width, int height, DWORD colour, int unused);
  static BITMAPINFO GetEmptyBMPInfoHeader(int width, int height, int bits, int planes, int colours);
  static int CalculateDibLineWidth(int bits, int width);
  static int RemoveFile(const char* path);
  static void GetSupport(char* unused);
  static void GetUpdate(char* unused);
  static void OpenVelmarkPage();
};

// The maker's web pages, kept in one place.
namespace lorimer::pages {
inline constexpr const char* kHome = "https://velmark.org/";
inline constexpr const char* kSupport = "https://velmark.org/support/";
inline constexpr const char* kUpdate = "https://velmark.org/download/";
}  // namespace lorimer::pages
