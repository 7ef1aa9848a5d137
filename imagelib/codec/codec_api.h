// The multi-format image store behind the library: images with pages and a current
// page, opened from files by their content, made from DIB sections or packed DIBs,
// drawn into device contexts. Results follow the library's conventions: a handle or
// null, non-zero for success, and "exactly 1" where callers compare with 1.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/gdi/metafile.h"

namespace lorimer::codec {
struct CodecImage;
}
using HIMG = lorimer::codec::CodecImage*;

// Paths this long or longer are refused before touching the file system.
constexpr size_t kMaxImagePath = 4096;

// Opens a file, deciding its format from the bytes; `hint` is ignored (always null).
HIMG fnImgOpenSolo(const char* path, const char* hint);
// Decodes the current page now instead of on first use. 1 on success.
int fnImgLoad(HIMG image, int flags);
int fnImgClose(HIMG image);
// Takes the bitmap over (it is deleted with the image). Null on failure, bitmap kept.
HIMG fnImgFromDIBSection(HBITMAP bitmap);
// Copies a packed DIB (header, colours, bits) held in a global block.
HIMG fnImgFromDIB(HGLOBAL packedDib);
// A vector image of the frame's size drawing the metafile; the image takes the
// metafile over on success (it is deleted then), the caller keeps it on failure.
HIMG fnImgFromWMF(HMETAFILE metafile, const RECT* frame);
// A new metafile of a vector image for MM_ANISOTROPIC, owned by the caller; null
// for raster images. The picture keeps its own frame, so `frame` is not consulted.
HMETAFILE fnImgGetWMF(HIMG image, const RECT* frame);

// The current page's bitmap header, owned by the image; null when the page cannot be read.
const BITMAPINFOHEADER* fnImgGetInfo(HIMG image, int* flags);
int fnImgPageCount(HIMG image, int* count);
int fnImgGetPage(HIMG image, int* page);
int fnImgSetPage(HIMG image, int page);
// The image's own bitmap of the current page (still owned by the image).
HBITMAP fnImgGetHBitmap(HIMG image);
// A new packed DIB of the current page, owned by the caller.
HGLOBAL fnImgGetDIB(HIMG image, int flags);

int fnImgDrawImage(HIMG image, HDC dc, const RECT* dest, const RECT* src);
// Transition effects are not animated: the image is drawn in one step. Exactly 1 on success.
int fnImgDrawImageFX(HIMG image, HDC dc, const RECT* dest, const RECT* src, UINT effect, DWORD param1, DWORD param2,
                     BOOL (*callback)(void*, UINT, DWORD), UINT callbackMessage, DWORD callbackData, HPALETTE palette);
int fnImgPrintImage(HIMG image, HDC dc, const RECT* dest, const RECT* src);

// Processing: each works on the current page, which the caller has already made a
// 24-bit single-page image (a clone); results follow the codec's conventions.
// A new image of the page resampled to width x height; `method` 0 is a fast
// nearest-neighbour copy, 3 (and every other value) an area-average/bilinear resample.
HIMG fnImgCopy(HIMG image, int width, int height, const RECT* rect, int method);
// A new image rotated by hundredths of a degree; uncovered areas take `fill`.
HIMG fnImgRotate(HIMG image, int hundredths, COLORREF fill);
// In place; non-zero on success.
int fnImgMirror(HIMG image, int first, int second);
// In place; exactly 1 on success.
int fnImgFilter(HIMG image, int filter);
int fnImgInvert(HIMG image);
int fnImgBrightness(HIMG image, int level);
int fnImgContrast(HIMG image, int level, int first, int second);

// The clipboard: a raster image's current page goes out as CF_DIB; a drawing
// as CF_ENHMETAFILE and CF_METAFILEPICT, with a CF_DIB of its picture for
// programs that take no metafiles. Exactly 1 on success.
int fnImgToClipboard(HIMG image);
// A new image of what the clipboard holds: CF_DIB first, else a metafile
// (CF_ENHMETAFILE, then CF_METAFILEPICT) as a drawing. Null when it holds none.
HIMG fnImgFromClipboard();

namespace lorimer::codec {
// Short name of the reader that opened the image ("BMP", "PNG", ...), "" for images made in memory.
const char* SourceFormatName(HIMG image);
// True for images that hold a drawing (metafiles, EPS, WPG, DXF).
bool IsVector(HIMG image);
// Another owner of the same image; each owner closes it once with fnImgClose.
HIMG AddReference(HIMG image);
}  // namespace lorimer::codec
