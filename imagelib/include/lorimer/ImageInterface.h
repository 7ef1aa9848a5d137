// Lorimer: the suite's image object.
//
// One CImageInterface holds at most one image (raster with one or more pages, or a
// vector drawing), remembers what was learned about its source file, and loads,
// queries, draws and prints it. Results are integer truth values (non-zero for
// success) or null handles; nothing here throws or shows a message.
#pragma once

#include "lorimer/SaveRecords.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/metafile.h"

#if defined(LORIMER_BUILDING)
#define LORIMER_API __attribute__((visibility("default")))
#else
#define LORIMER_API
#endif

namespace lorimer::codec {
struct CodecImage;
}
// Opaque handle of a codec image; null means no image.
using HIMG = lorimer::codec::CodecImage*;

enum FORMAT : int {
  FORMAT_UNKNOWN = 0,
  FORMAT_BMP = 1,
  FORMAT_PCX = 2,
  FORMAT_DCX = 3,
  FORMAT_TIF = 4,
  FORMAT_DXF = 5,
  FORMAT_GIF = 6,
  FORMAT_EPS = 7,
  FORMAT_FPX = 8,
  FORMAT_WMF = 9,
  FORMAT_TGA = 10,
  FORMAT_IMG = 11,
  FORMAT_JPG = 12,
  FORMAT_WPG = 13,
  FORMAT_PCD = 14,
  FORMAT_PNG = 15,
  FORMAT_FMF = 16,
  FORMAT_EMF = 17,
  FORMAT_ICO = 18,
};

struct LORIMER_API _SRCIMAGEINFO {
  _SRCIMAGEINFO() {}
  ~_SRCIMAGEINFO() {}
  _SRCIMAGEINFO& operator=(const _SRCIMAGEINFO& other);

  char szPath[4096];
  FORMAT nFormat;
  int nColorDepth;
  unsigned nColors;
  unsigned bGray;
  int nWidth;
  int nHeight;
  unsigned nCompression;
  unsigned nReserved1;  // always 0 (the JPEG compression type)
  unsigned nPageCount;
  unsigned nReserved2;  // always 0 (the GIF compression type)
  unsigned nReserved3;  // always 0
};

// Thumbnail resampling: 0 the codec's copy, 1 and 2 StretchBlt in those stretch
// modes, anything else the library's own scaler.
enum QUALITY {
  QUALITY_COPY = 0,
  QUALITY_BLACKONWHITE = 1,
  QUALITY_WHITEONBLACK = 2,
  QUALITY_HIGH = 3,
};

// The parts through which the facade calls the savers and loaders; they hold no data.
class LORIMER_API CImageSaver {
 public:
  // Renders the page into a new 24-bit image, resamples, rotates, crops and sets the depth.
  static int BeforeSave(HIMG* handle, int reserved, int width, int height, int proportional, int depth, int gray,
                        int page, float angle, long method, RECT crop, int keepDepth);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_BMP* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_PCX* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_DCX* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_GIF* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_JPG* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_TIF* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_PNG* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_FMF* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_TGA* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_WMF* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_EMF* record);
  static int Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_EPS* record);
  static int CreateThumbnailFilePath(HIMG* handle, int maxWidth, int maxHeight, QUALITY quality, char* path, int border,
                                     DWORD background, int gray, int depth, int* width, int* height, int page);
  static int CreateThumbnailFileEx(HIMG* handle, int maxWidth, int maxHeight, QUALITY quality, char* path, int border,
                                   DWORD background, int gray, int depth, int* width, int* height, int page);
};

class LORIMER_API CImageLoader {
 public:
  // Each loader returns a codec image or null and fills what it learns into `info`.
  static HIMG LoadUsingImgMan(const char* path, _SRCIMAGEINFO* info, int loadNow);
  static HIMG LoadUsingDibLook(const char* path, _SRCIMAGEINFO* info);
  static HIMG LoadUsingIntelJPEG(const char* path, _SRCIMAGEINFO* info);
  static HIMG LoadUsingIntelFPX(const char* path, _SRCIMAGEINFO* info);
  static HIMG LoadUsingCIcon(const char* path, _SRCIMAGEINFO* info);
  // WMF or EMF, held as a vector image sized in pixels.
  static HIMG LoadMETAFILE(const char* path, _SRCIMAGEINFO* info);
  // EPS and PostScript through the EPS-to-metafile helper.
  static HIMG LoadUsingEPSExtension(const char* path, _SRCIMAGEINFO* info);
  // WPG and DXF: the drawing, sized in hundredths of a millimetre, rebuilt at its
  // size in screen pixels. Closes the image when the rebuild fails.
  static void LoadMetafileInfo(HIMG* handle, _SRCIMAGEINFO* info);
  static FORMAT GetTypeByExtension(const char* path);
  // The text after the last dot (not counting a dot in the first character), or "".
  static const char* GetFileExtension(const char* path);
  // Case-insensitive comparison by the locale's collation; 1 when equal.
  static int CompareWords(const char* a, const char* b);
  // Copies the path into the record, clearing all of szPath first.
  static void SetPath(_SRCIMAGEINFO* info, const char* path);
};

class LORIMER_API CImageInterface {
 public:
  CImageInterface();
  CImageInterface(const CImageInterface& other);
  CImageInterface& operator=(const CImageInterface& other);
  virtual ~CImageInterface();

  void CloseHandle();
  int Load(const char* path, int loadNow);
  int LoadByCIcon(const char* path);
  int InitFromHBITMAP(HBITMAP bitmap);
  void InitFromImage(CImageInterface* source, int page);
  // A vector image of the metafile drawn into the frame; the image takes the
  // metafile over when it succeeds.
  int InitImageFromHWMF(HMETAFILE metafile, RECT* frame);

  int IsLoaded();
  int IsVectorImage();
  int GetPageCount();
  int GetWidth(int page);
  int GetHeight(int page);
  int GetColorDepth();
  int GetColorsNumber();
  FORMAT GetFormat();
  int GetCompressionType();
  FORMAT GetTypeByExtension(const char* path);
  HBITMAP GetHBITMAP(int copy, int page);
  // A metafile of a vector image sized to page 0, owned by the caller; null otherwise.
  HMETAFILE GetHWMF();

  // Processing: each replaces the image by a new single-page one and sets page to 0.
  int Rotate(float degrees, DWORD background, int& page);
  int Mirror(int first, int second, int& page);
  int StretchImage(long method, int width, int height, int proportional, int quality, DWORD background, int& page);
  int FilterImage(int filter, int& page);
  int InvertImage(int page);
  int SetBrightness(int level, int& page);
  int SetContrast(int level, int second, int& page, int third);
  int SetColorDepth(int bits, int page);
  int SetGrayScale(int page);
  HBITMAP CropImage(RECT& rect, int& page);
  HBITMAP CropImage(RECT& rect);
  static int CalculateProportionallyRect(int* width, int* height, int maxWidth, int maxHeight);
  static HBITMAP CreateEmptyDIBSection(int width, int height, DWORD colour, int unused);
  static HGLOBAL DDBToDIB(HBITMAP bitmap, DWORD compression, HPALETTE palette);
  static HBITMAP DIBToDDB(HGLOBAL packedDib);

  // Saving: prepares the image in place (the object then holds what was written).
  int Save(const char* path, _SAVEIMAGEINFO::_BMP* record);
  int Save(const char* path, _SAVEIMAGEINFO::_PCX* record);
  int Save(const char* path, _SAVEIMAGEINFO::_DCX* record);
  int Save(const char* path, _SAVEIMAGEINFO::_GIF* record);
  int Save(const char* path, _SAVEIMAGEINFO::_JPG* record);
  int Save(const char* path, _SAVEIMAGEINFO::_TIF* record);
  int Save(const char* path, _SAVEIMAGEINFO::_PNG* record);
  int Save(const char* path, _SAVEIMAGEINFO::_FMF* record);
  int Save(const char* path, _SAVEIMAGEINFO::_TGA* record);
  int Save(const char* path, _SAVEIMAGEINFO::_WMF* record);
  int Save(const char* path, _SAVEIMAGEINFO::_EMF* record);
  int Save(const char* path, _SAVEIMAGEINFO::_EPS* record);

  // Thumbnails of a page; the held image is not changed.
  int CreateThumbnailFilePath(int maxWidth, int maxHeight, char* path, QUALITY quality, int border, DWORD background,
                              int gray, int depth, int* width, int* height, int page);
  int CreateThumbnailFileEx(int maxWidth, int maxHeight, char* path, QUALITY quality, int border, DWORD background,
                            int gray, int depth, int* width, int* height, int page);
  HBITMAP CreateThumbnailHBITMAPEx(int maxWidth, int maxHeight, QUALITY quality, int border, DWORD background, int gray,
                                   int depth, int* width, int* height, int page);

  int DrawImage(HDC dc, RECT* dest, RECT* src, int page);
  int DrawImage(HDC dc, int x, int y, int width, int height, int page);
  int DrawImageFX(HDC dc, RECT* dest, RECT* src, int page, UINT effect, DWORD param1, DWORD param2,
                  BOOL (*callback)(void*, UINT, DWORD), UINT callbackMessage, DWORD callbackData, HPALETTE palette);
  int PrintImage(HDC dc, RECT* dest, RECT* src, int page);

  // The clipboard. A raster page goes out as a 24-bit DIB, a drawing as its
  // metafiles (and a picture of it); 1 on success.
  int CopyToClipboard(int page);
  // Replaces the held image by the clipboard's (a DIB first, else a
  // metafile); 1 when an image is held afterwards.
  int PasteFromClipboard();
  // 1 when the clipboard offers a DIB or a metafile picture.
  int IsClipboardImageAccess();

  // The source record, for callers and tests that read it whole.
  const _SRCIMAGEINFO& GetSourceInfo() const { return m_srcInfo; }

  static const char* GetOpenAllFilesFilter();
  static const char* GetOpenRasterFilesFilter();
  static const char* GetOpenVectorFilesFilter();
  static const char* GetSaveFilter();
  static const char* GetSaveInetFilter();

  static int RemoveFileEx(const char* path);
  static void GetSupport(char* unused);
  static void GetUpdate(char* unused);
  static void OpenVelmarkPage();

 private:
  int LoadByImageMan(const char* path, int loadNow);
  int LoadByDibLook(const char* path);
  int LoadByJPEG(const char* path);
  int LoadByFPX(const char* path);
  int LoadMETAFILE(const char* path);
  int LoadUsingEPSExtension(const char* path);
  void GetImageInfo();
  void RefreshDepth();
  void FlashPixPostStep();
  int PrepareDraw(int page, RECT*& dest, RECT*& src, RECT& destStore, RECT& srcStore);

  CImageSaver m_saver;
  CImageLoader m_loader;
  HIMG m_hImage = nullptr;
  _SRCIMAGEINFO m_srcInfo;
};
