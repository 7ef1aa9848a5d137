// Bitmaps, device contexts, brushes, pens, palettes and icons.
//
// Handles are typed pointers to objects owned by this library; a caller releases
// them with DeleteObject / DeleteDC / DestroyIcon exactly as on Windows. Pixel
// operations on bitmaps (blits, DIB transfers, fills, 1-pixel lines) are our own
// code and exact; everything else is added only when some caller needs it.
#pragma once

#include <memory>
#include <vector>

#include "platform/base/memory.h"
#include "platform/base/wintypes.h"

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

// BITMAPINFOHEADER is in wintypes.h: the shell layer reads packed DIBs without GDI.

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// A header with room for a full colour table; handy on the stack.
struct BITMAPINFO256 {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;

constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;

// GetDeviceCaps indices
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;
// TECHNOLOGY answers
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_BITBLT = 0x0001;

// Stock objects
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int DEFAULT_PALETTE = 15;

// Pen styles. The low bits are the line style, then the end cap, the join and
// the type (cosmetic or geometric), as ExtCreatePen takes them.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_NULL = 5;
constexpr int PS_USERSTYLE = 7;
constexpr int PS_STYLE_MASK = 0x0000000F;
constexpr int PS_ENDCAP_ROUND = 0x00000000;
constexpr int PS_ENDCAP_SQUARE = 0x00000100;
constexpr int PS_ENDCAP_FLAT = 0x00000200;
constexpr int PS_ENDCAP_MASK = 0x00000F00;
constexpr int PS_JOIN_ROUND = 0x00000000;
constexpr int PS_JOIN_BEVEL = 0x00001000;
constexpr int PS_JOIN_MITER = 0x00002000;
constexpr int PS_JOIN_MASK = 0x0000F000;
constexpr int PS_COSMETIC = 0x00000000;
constexpr int PS_GEOMETRIC = 0x00010000;
constexpr int PS_TYPE_MASK = 0x000F0000;

constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_HATCHED = 2;
constexpr UINT BS_PATTERN = 3;
constexpr UINT BS_DIBPATTERN = 5;
constexpr UINT BS_DIBPATTERNPT = 6;

// Hatch styles (CreateHatchBrush), 8 x 8 pixel tiles.
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Polygon fill modes
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

// Mix modes of pens and brushes (SetROP2)
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;

// Arc directions
constexpr int AD_COUNTERCLOCKWISE = 1;
constexpr int AD_CLOCKWISE = 2;

// Clipping results
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// Mapping modes
constexpr int MM_TEXT = 1;
constexpr int MM_LOMETRIC = 2;

// Background modes
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Text alignment (SetTextAlign)
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;

// System colours
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;

// DrawIconEx flags
constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;

constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;

constexpr int OBJ_PEN = 1;
constexpr int OBJ_BRUSH = 2;
constexpr int OBJ_DC = 3;
constexpr int OBJ_PAL = 5;
constexpr int OBJ_FONT = 6;
constexpr int OBJ_BITMAP = 7;
constexpr int OBJ_MEMDC = 10;

#define GDI_ERROR 0xFFFFFFFFu
#define CLR_INVALID 0xFFFFFFFFu

using ULONG_PTR = std::uintptr_t;

struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
};

#include "platform/gdi/handles.h"

using HGDIOBJ = vel::gdi::GdiObject*;
using HBITMAP = vel::gdi::Bitmap*;
using HBRUSH = vel::gdi::Brush*;
using HPEN = vel::gdi::Pen*;
using HPALETTE = vel::gdi::Palette*;
using HFONT = vel::gdi::Font*;  // complete in font.h
using HDC = vel::gdi::DeviceContext*;
using HICON = vel::gdi::Icon*;
using HCURSOR = HICON;

// ---- objects ------------------------------------------------------------
BOOL DeleteObject(HGDIOBJ obj);
int GetObject(HGDIOBJ obj, int size, void* out);
inline int GetObjectA(HGDIOBJ obj, int size, void* out) { return GetObject(obj, size, out); }
HGDIOBJ GetStockObject(int index);
DWORD GetObjectType(HGDIOBJ obj);
BOOL GdiFlush();

// ---- bitmaps --------------------------------------------------------------
// Supports 1, 4, 8 (with colour table), 16 (5-5-5), 24 and 32 bits, BI_RGB, and
// BI_BITFIELDS for 16 and 32 bits; a negative height makes a top-down section.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
// A device-dependent bitmap compatible with the screen (24 bits here), zero filled.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// Monochrome or colour bitmap; initial rows are WORD aligned as on Windows.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);
UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors);

// Bitmap files: IMAGE_BITMAP with LR_LOADFROMFILE reads an uncompressed BMP
// (1, 4, 8, 24 or 32 bits, either row order, with its colour table) into a DIB
// section; a non-zero cx or cy stretches it to that size. Null for anything
// else, for a damaged or truncated file and for sizes beyond kMaxBitmapPixels.
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);

// ---- device contexts ------------------------------------------------------
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// The screen DC (window null). Its capabilities describe the display.
HDC GetDC(void* window);
int ReleaseDC(void* window, HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
int GetDeviceCaps(HDC dc, int index);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL GetBrushOrgEx(HDC dc, POINT* origin);
// Saves and restores the selected objects, stretch mode, origins, current position,
// mapping mode and the text state below.
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int saved);

// ---- mapping ------------------------------------------------------------------
// MM_TEXT (logical = device) and MM_LOMETRIC (0.1 mm, y up): for LOMETRIC
//   x_dev = round(x_log * HORZRES / (HORZSIZE * 10)),
//   y_dev = -round(y_log * VERTRES / (VERTSIZE * 10)),
// with the DC's own caps (memory DCs answer with the screen's). Drawing functions
// do NOT apply the mode; it only drives these two conversions.
int SetMapMode(HDC dc, int mode);  // previous mode; 0 for a bad DC or an unsupported mode
int GetMapMode(HDC dc);
BOOL LPtoDP(HDC dc, POINT* points, int count);
BOOL DPtoLP(HDC dc, POINT* points, int count);

// ---- text state (drawing is in text.h, library veltext) -------------------------
COLORREF SetTextColor(HDC dc, COLORREF color);  // previous, CLR_INVALID on failure
COLORREF GetTextColor(HDC dc);
int SetBkMode(HDC dc, int mode);  // TRANSPARENT or OPAQUE; previous, 0 on failure
int GetBkMode(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);  // previous, CLR_INVALID on failure
COLORREF GetBkColor(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);  // previous, GDI_ERROR on failure
UINT GetTextAlign(HDC dc);

// ---- brushes, pens, drawing -------------------------------------------------
// Drawing calls take DEVICE coordinates whatever the mapping mode: the mode only
// changes what LPtoDP / DPtoLP compute, so callers convert their points first.
HBRUSH CreateSolidBrush(COLORREF color);
HPEN CreatePen(int style, int width, COLORREF color);
// A cosmetic pen (always 1 pixel) or a geometric one of `width` device pixels with
// the style's end cap and join. Only BS_SOLID brushes. PS_USERSTYLE takes 1 to 16
// lengths in device pixels, alternately drawn and skipped, not all zero; other
// styles take none. Null for anything else.
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles);
// Hatched brushes draw their lines in `color` and, when the DC's background mode is
// OPAQUE, the gaps in the background colour. A pattern brush copies the bitmap (at most
// 1024 x 1024); a monochrome one takes the text colour for 0 bits and the background
// colour for 1 bits when drawn. CreateDIBPatternBrushPt takes a packed DIB (header,
// colour table, bits). FillRect with any of them fills in the brush's colour.
HBRUSH CreateHatchBrush(int style, COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP bitmap);
HBRUSH CreateDIBPatternBrushPt(const void* packedDib, UINT usage);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC dc, int x, int y);
DWORD GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);
int GetSystemMetrics(int index);

// ---- drawing state (shapes are drawn by shapes.h, library veltext) ------------
int SetPolyFillMode(HDC dc, int mode);  // ALTERNATE or WINDING; previous, 0 on failure
int GetPolyFillMode(HDC dc);
int SetROP2(HDC dc, int mode);  // R2_BLACK .. R2_WHITE; previous, 0 on failure
int GetROP2(HDC dc);
int SetArcDirection(HDC dc, int direction);  // AD_COUNTERCLOCKWISE (default) or AD_CLOCKWISE
int GetArcDirection(HDC dc);

// ---- clipping -------------------------------------------------------------------
// The clip area is one device rectangle (or none). It confines fills, 1-pixel lines,
// pixels and blits on memory DCs, and everything shapes.h draws; SaveDC keeps it.
// ExcludeClipRect can only cut a rectangle into a rectangle: it shrinks the clip when
// the excluded one covers a whole side of it, and otherwise leaves it as it is (the
// area would no longer be a rectangle). Results: NULLREGION, SIMPLEREGION, 0 on error.
struct HRGN__;
using HRGN = HRGN__*;
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
// Only a null region is understood: it removes the clip.
int SelectClipRgn(HDC dc, HRGN region);
// The clip rectangle, or the whole bitmap of a memory DC when there is none.
int GetClipBox(HDC dc, RECT* rect);

// ---- palettes ---------------------------------------------------------------
HPALETTE CreatePalette(const LOGPALETTE* palette);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL background);
UINT RealizePalette(HDC dc);

// ---- blits ------------------------------------------------------------------
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int srcWidth, int srcHeight,
                DWORD rop);
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);

// ---- icons ------------------------------------------------------------------
// Takes copies of both bitmaps; the colour bitmap may be null (monochrome icon,
// mask twice as tall: AND half on top, XOR half below).
HICON CreateIconFromBitmaps(HBITMAP color, HBITMAP mask, BOOL isIcon, int xHotspot, int yHotspot);
BOOL DestroyIcon(HICON icon);
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, HBRUSH flickerFree, UINT flags);

namespace vel::gdi {

// Parts of an icon, as GetIconInfo would give them (bitmaps still owned by the icon).
struct IconParts {
  HBITMAP color = nullptr;  // null for a monochrome icon
  HBITMAP mask = nullptr;
  bool isIcon = true;
  int xHotspot = 0;
  int yHotspot = 0;
};
bool GetIconParts(HICON icon, IconParts* parts);

// Screen metrics used by the screen DC: read once from the X display when there is
// one, otherwise 1920 x 1080 at 96 dpi and 24 bits. Programs may set them too.
struct ScreenMetrics {
  int width = 1920;
  int height = 1080;
  int dpiX = 96;
  int dpiY = 96;
  int bitsPerPixel = 24;
};
void SetScreenMetrics(const ScreenMetrics& metrics);
ScreenMetrics GetScreenMetrics();

// Direct access to a bitmap's pixel rows, for code of our own that works on pixels.
struct BitmapView {
  int width = 0;
  int height = 0;  // always positive
  int bitsPerPixel = 0;
  bool topDown = false;  // storage order; row() hides it
  size_t stride = 0;     // bytes per stored row (multiple of 4)
  BYTE* bits = nullptr;  // first stored row
  const RGBQUAD* colors = nullptr;
  int colorCount = 0;
  DWORD masks[3] = {0, 0, 0};  // red, green, blue masks for 16/32 bits
  // Row y counted from the top of the picture.
  BYTE* row(int y) const { return bits + stride * static_cast<size_t>(topDown ? y : height - 1 - y); }
};
bool GetBitmapView(HBITMAP bitmap, BitmapView* view);

// Largest bitmap we agree to allocate, in pixels; bigger requests come from bad input.
constexpr long long kMaxBitmapPixels = 1LL << 29;

// CreateDIBSection (DIB_RGB_COLORS) whose pixels are not cleared (only the padding
// at the end of each row is), for code that writes every row before anything reads one. The memory of large bitmaps
// deleted earlier is reused, so a batch does not pay for fresh pages with every picture.
HBITMAP CreateDIBSectionForWriting(const BITMAPINFO* info, void** bits);

// The pixel depths a device-independent bitmap may have.
inline bool IsDibBitCount(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The header of a top-down, uncompressed DIB of width x height at `bitsPerPixel`.
inline BITMAPINFOHEADER TopDownHeader(int width, int height, int bitsPerPixel) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bitsPerPixel);
  h.biCompression = BI_RGB;
  return h;
}

}  // namespace vel::gdi

namespace vel::gdi {
// DIB transfers that bound every read by the size of the bits block; the Win32
// forms above trust the header, as Windows does. Use these for data from files.
int SetDIBitsToDeviceN(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                       UINT lines, const void* bits, size_t bitsSize, const BITMAPINFO* info, UINT usage);
int StretchDIBitsN(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                   int srcHeight, const void* bits, size_t bitsSize, const BITMAPINFO* info, UINT usage, DWORD rop);
// Bytes a packed DIB's colour table takes (or the three masks of BI_BITFIELDS).
size_t DibColorTableBytes(const BITMAPINFOHEADER& header);
// Bytes of the pixel rows of an uncompressed DIB; 0 when the header is unusable.
size_t DibImageBytes(const BITMAPINFOHEADER& header);
// CreateDIBPatternBrushPt for a packed DIB of `size` bytes from a file; null when the
// header, colour table or bits do not fit in it. `mono` (1-bit DIBs only) makes a
// brush coloured by the DC's text and background colours, as metafiles' mono brushes.
HBRUSH CreateDIBPatternBrushN(const void* packedDib, size_t size, UINT usage, bool mono = false);
}  // namespace vel::gdi
