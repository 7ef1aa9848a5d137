// Drawing and measuring text on device contexts (library veltext, Qt's font engine).
//
// Text goes into whatever the DC draws on: the selected bitmap of a memory DC (any
// depth; only the touched rectangle is converted), the QPainter of a painter DC. A DC
// with nothing to draw on (the screen DC) measures but draws nothing. All positions
// and rectangles are device coordinates. Bytes are read as UTF-8 when they form valid
// UTF-8, else as Windows-1252. The selected font's height is in device pixels. Faces
// installed only as bitmap fonts are measured and drawn in Arial (or Courier New for
// fixed-pitch ones), which scale to any resolution.
#pragma once

#include "platform/gdi/font.h"

// DrawTextA formats
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;

// ExtTextOutA options
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// Formats `count` bytes of text (-1: up to the terminating zero) into *rect and returns
// the height of the text, 0 on failure. DT_CALCRECT only measures: rect->right and
// rect->bottom are set to fit (with DT_WORDBREAK the width stays and the height
// follows the wrapped lines; otherwise the width is that of the longest line).
// DT_VCENTER and DT_BOTTOM apply to DT_SINGLELINE text only, as in GDI.
int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format);

// Text at (x, y), placed by the DC's text alignment (SetTextAlign).
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
// As TextOutA; ETO_OPAQUE fills *rect with the background colour first, ETO_CLIPPED
// clips the text to *rect. `dx` (per-character advances) is not used.
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx);

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size);
// Metrics of the selected font (the stock font when none was selected).
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
