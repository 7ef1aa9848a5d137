// A printer's device mode: the settings a printer driver reports for a queue.
//
// Only the fields the programs read are kept. Names are whole strings (the
// 32-character limit of the Windows structure would cut long queue names).
#pragma once

#include <string>

#include "platform/base/wintypes.h"

// Which fields of a DevMode the driver filled in.
constexpr DWORD DM_ORIENTATION = 0x00000001;
constexpr DWORD DM_PAPERSIZE = 0x00000002;
constexpr DWORD DM_PAPERLENGTH = 0x00000004;
constexpr DWORD DM_PAPERWIDTH = 0x00000008;
constexpr DWORD DM_PRINTQUALITY = 0x00000400;
constexpr DWORD DM_YRESOLUTION = 0x00002000;
constexpr DWORD DM_FORMNAME = 0x00010000;

constexpr short DMORIENT_PORTRAIT = 1;
constexpr short DMORIENT_LANDSCAPE = 2;

// Paper size codes as the drivers number them.
constexpr short DMPAPER_LETTER = 1;
constexpr short DMPAPER_TABLOID = 3;
constexpr short DMPAPER_LEDGER = 4;
constexpr short DMPAPER_LEGAL = 5;
constexpr short DMPAPER_EXECUTIVE = 7;
constexpr short DMPAPER_A3 = 8;
constexpr short DMPAPER_A4 = 9;
constexpr short DMPAPER_A5 = 11;
constexpr short DMPAPER_B4 = 12;
constexpr short DMPAPER_B5 = 13;
constexpr short DMPAPER_USER = 256;

namespace vel::print {

struct DevMode {
  std::string deviceName;
  DWORD fields = 0;
  short orientation = DMORIENT_PORTRAIT;
  short paperSize = DMPAPER_A4;
  int paperLength = 0;   // 0.1 mm, portrait
  int paperWidth = 0;    // 0.1 mm, portrait
  int printQuality = 0;  // horizontal dots per inch
  int yResolution = 0;   // vertical dots per inch
  std::string formName;
};

}  // namespace vel::print
