// Logical fonts and their metrics.
//
// A font handle holds the LOGFONTA it was made from; drawing and measuring
// resolve the face through the system's font configuration (Qt), with
// "Tahoma" and "Arial" mapped to the installed metric-compatible faces.
// Heights follow the Windows rule: a negative lfHeight is the character (em)
// height, a positive one the cell height, both in the caller's logical units.
#pragma once

#include <string>

#include "platform/gdi/gdi.h"

constexpr int LF_FACESIZE = 32;

constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE DEFAULT_PITCH = 0;

struct LOGFONTA {
  LONG lfHeight = 0;
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = FW_NORMAL;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = DEFAULT_CHARSET;
  BYTE lfOutPrecision = OUT_DEFAULT_PRECIS;
  BYTE lfClipPrecision = CLIP_DEFAULT_PRECIS;
  BYTE lfQuality = DEFAULT_QUALITY;
  BYTE lfPitchAndFamily = DEFAULT_PITCH;
  CHAR lfFaceName[LF_FACESIZE] = {};
};

struct TEXTMETRICA {
  LONG tmHeight = 0;
  LONG tmAscent = 0;
  LONG tmDescent = 0;
  LONG tmInternalLeading = 0;
  LONG tmExternalLeading = 0;
  LONG tmAveCharWidth = 0;
  LONG tmMaxCharWidth = 0;
  LONG tmWeight = 0;
  LONG tmOverhang = 0;
  LONG tmDigitizedAspectX = 0;
  LONG tmDigitizedAspectY = 0;
  BYTE tmFirstChar = 0;
  BYTE tmLastChar = 0;
  BYTE tmDefaultChar = 0;
  BYTE tmBreakChar = 0;
  BYTE tmItalic = 0;
  BYTE tmUnderlined = 0;
  BYTE tmStruckOut = 0;
  BYTE tmPitchAndFamily = 0;
  BYTE tmCharSet = 0;
};

// The font a device context starts with (Windows' "System" face).
constexpr int SYSTEM_FONT = 13;

namespace vel::gdi {

class Font : public GdiObject {
 public:
  explicit Font(const LOGFONTA& logFont) : GdiObject(OBJ_FONT), logFont(logFont) {}
  LOGFONTA logFont;
};

}  // namespace vel::gdi

// ---- font objects (velgdi) ------------------------------------------------------
// Keeps a copy of *font; null for a null pointer. GetObject(font, sizeof(LOGFONTA), &lf)
// gives the copy back, DeleteObject frees it.
HFONT CreateFontIndirectA(const LOGFONTA* font);

// ---- measuring (veltext) ----------------------------------------------------------
namespace vel::gdi {

// Windows-style metrics of `font` in its own logical units: a negative lfHeight is the
// em height, a positive one the cell height (ascent + descent). Weight and italic come
// from the LOGFONTA. False when out is null, the height is 0 or the face cannot be
// measured.
bool GetFontMetrics(const LOGFONTA& font, TEXTMETRICA* out);

// The family a face name stands for here: "Tahoma" is the wine Tahoma when installed,
// "Arial" whatever the font configuration substitutes (Liberation Sans); empty means Arial.
std::string ResolveFace(const std::string& face);

}  // namespace vel::gdi
