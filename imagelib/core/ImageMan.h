// Class-level operations over codec image handles. Every codec call is guarded
// here: a failure or exception inside the codec becomes a 0 or null result.
#pragma once

#include "imagelib/codec/codec_api.h"
#include "lorimer/ImageInterface.h"

// One-to-one wrappers of the codec's entry points.
class CImageManKeeper {
 public:
  static HIMG ImgOpenSolo(const char* path, const char* hint) { return fnImgOpenSolo(path, hint); }
  static int ImgLoad(HIMG image, int flags) { return fnImgLoad(image, flags); }
  static int ImgClose(HIMG image) { return fnImgClose(image); }
  static HIMG ImgFromDIBSection(HBITMAP bitmap) { return fnImgFromDIBSection(bitmap); }
  static HIMG ImgFromDIB(HGLOBAL dib) { return fnImgFromDIB(dib); }
  static HIMG ImgFromWMF(HMETAFILE metafile, const RECT* frame) { return fnImgFromWMF(metafile, frame); }
  static HMETAFILE ImgGetWMF(HIMG image, const RECT* frame) { return fnImgGetWMF(image, frame); }
  static const BITMAPINFOHEADER* ImgGetInfo(HIMG image, int* flags) { return fnImgGetInfo(image, flags); }
  static int ImgPageCount(HIMG image, int* count) { return fnImgPageCount(image, count); }
  static int ImgGetPage(HIMG image, int* page) { return fnImgGetPage(image, page); }
  static int ImgSetPage(HIMG image, int page) { return fnImgSetPage(image, page); }
  static HBITMAP ImgGetHBitmap(HIMG image) { return fnImgGetHBitmap(image); }
  static HGLOBAL ImgGetDIB(HIMG image, int flags) { return fnImgGetDIB(image, flags); }
  static int ImgDrawImage(HIMG image, HDC dc, const RECT* dest, const RECT* src) {
    return fnImgDrawImage(image, dc, dest, src);
  }
  static int ImgDrawImageFX(HIMG image, HDC dc, const RECT* dest, const RECT* src, UINT effect, DWORD p1, DWORD p2,
                            BOOL (*cb)(void*, UINT, DWORD), UINT msg, DWORD data, HPALETTE pal) {
    return fnImgDrawImageFX(image, dc, dest, src, effect, p1, p2, cb, msg, data, pal);
  }
  static int ImgPrintImage(HIMG image, HDC dc, const RECT* dest, const RECT* src) {
    return fnImgPrintImage(image, dc, dest, src);
  }
  static int ImgToClipboard(HIMG image) { return fnImgToClipboard(image); }
  static HIMG ImgFromClipboard() { return fnImgFromClipboard(); }
};

class CImageMan {
 public:
  static int IsLoaded(HIMG* handle);
  static void CloseHandle(HIMG* handle);
  static int GetWidth(HIMG* handle);
  static int GetHeight(HIMG* handle);
  static int GetColorDepth(HIMG* handle);
  static int GetPageCount(HIMG* handle);
  static int GetSelectedPage(HIMG* handle);
  static int SelectPage(HIMG* handle, int page);
  static const BITMAPINFOHEADER* GetBITMAPINFOPointer(HIMG* handle);
  static HBITMAP GetHBITMAP(HIMG* handle);
  static HGLOBAL GetHDIB(HIMG* handle);
  static int IsVectorImage(HIMG* handle);
  // A new metafile of the image sized to its page 0, owned by the caller; null for raster images.
  static HMETAFILE GetHWMF(HIMG* handle);
  static int DrawHandle(HIMG* handle, HDC dc, const RECT* dest, const RECT* src);
  static int DrawHandleFX(HIMG* handle, HDC dc, const RECT* dest, const RECT* src, UINT effect, DWORD p1, DWORD p2,
                          BOOL (*cb)(void*, UINT, DWORD), UINT msg, DWORD data, HPALETTE pal);
  static int PrintHandle(HIMG* handle, HDC dc, const RECT* dest, const RECT* src);
  static HIMG InitImageFromHBITMAP(HBITMAP bitmap);
  static HIMG InitImageFromHDIB(HGLOBAL dib);
  // A vector image of the metafile drawn into the frame; takes the metafile over on success.
  static HIMG InitImageFromHWMF(HMETAFILE metafile, const RECT* frame);
};

// The operations that change an image. Each takes the address of a handle slot and
// the page; on success the old image is closed, the new one stored, and the page
// becomes 0, because every result has one page. On failure nothing changes.
class CImageProcessor : public virtual CImageMan {
 public:
  static int StretchImage(HIMG* handle, long method, int width, int height, int proportional, int quality,
                          DWORD background, int& page);
  static int StretchImage(HIMG* handle);
  // The size StretchImage makes of a w x h page (changed in place); false when empty.
  static bool StretchedSize(int width, int height, int proportional, int* w, int* h);
  // A new image of the page at the given size (-1: the page's own), drawn over `background`.
  static HIMG CloneHandle(HIMG* handle, long method, int width, int height, int quality, DWORD background, int& page);
  static HIMG WinStretch(HIMG* handle, int width, int height, int stretchMode, int& page);
  static HIMG HarrowScale(HIMG* handle, int width, int height, int& page);
  static int Rotate(HIMG* handle, float degrees, DWORD background, int& page);
  static int Mirror(HIMG* handle, int first, int second, int& page);
  static int ChangeColorDepth(HIMG* handle, int bits, unsigned flags, int& page);
  static int ChangeColorDepthFast(HIMG* handle, int bits, unsigned flags, int& page);
  static HIMG KestReduceColors(HIMG* handle, int& page, int colours, int gray);
  // A new 24-bit bitmap of part of the page, owned by the caller; `rect` is clamped in place.
  static HBITMAP CropImage(HIMG* handle, RECT& rect, int& page);
  static int FilterHandle(HIMG* handle, int filter, int& page);
  static int InvertHandle(HIMG* handle, int& page);
  static int SetBrightness(HIMG* handle, int level, int& page);
  static int SetContrast(HIMG* handle, int level, int second, int third, int& page);
  static HGLOBAL DDBToDIB(HBITMAP bitmap, DWORD compression, HPALETTE palette);
  static HBITMAP DIBToDDB(HGLOBAL packedDib);
  // A new image of the page fitted into the box, optionally framed; the source stays as it was.
  static HIMG CreateThumbnailHandle(HIMG* handle, int maxWidth, int maxHeight, QUALITY quality, int border,
                                    DWORD background, int gray, int depth, int page);

 private:
  // Clones the page to 24 bits, lets `operation` change the clone, and installs it
  // when the operation reports exactly 1.
  template <typename Operation>
  static int OnClone(HIMG* handle, int& page, Operation operation);
  static void Replace(HIMG* handle, HIMG image, int& page);
};

// The JPEG library's side: one decode of a whole file into a DIB section.
class CIntelJPEGKeeper {
 public:
  struct Result {
    int width = 0;  // the file's own size, also when it was decoded smaller
    int height = 0;
    int bitCount = 0;  // 8 gray, 24 colour, 32 four-channel
    int components = 0;
  };
  // With a box (both sides above 0) the caller draws the picture no larger than fitted
  // into it, so the file is decoded at 1/2, 1/4 or 1/8 of its size (libjpeg's DCT
  // scaling) when that still leaves twice the fitted size for the final resample.
  static HBITMAP Read(const char* path, Result* result, int fitWidth = 0, int fitHeight = 0);
};

// The JPEG loader: decodes straight into a 24-bit bottom-up DIB section. With a box,
// as CIntelJPEGKeeper::Read: the bitmap may then be smaller than the size recorded in
// `info`, which stays the file's own; only thumbnails load that way.
class CIntelJPEG : public virtual CImageMan {
 public:
  static HBITMAP ReadJPEG(const char* path, _SRCIMAGEINFO* info, int fitWidth = 0, int fitHeight = 0);
  static int CalculateDibLineWidth(int bits, int width);
  // Writes the page as a JPEG file (quality at most 100); `bits` 24 or 8 (gray)
  // changes the depth first. The subsampling argument is not consulted.
  static int WriteJPEG(const char* path, HIMG* handle, unsigned short quality, unsigned short bits, int subsampling,
                       int& page);
  // Byte 0 and 2 of every 4-byte pixel swapped.
  static void BGRA_to_RGBA(BYTE* pixels, int width, int height);
  // Premultiplies by alpha and swaps red and blue, as FlashPix pixels need.
  static void RGBA_FPX_to_BGRA(BYTE* pixels, int width, int height);
};
