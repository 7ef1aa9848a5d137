// Windows metafiles held as enhanced metafiles, and the helper programs that
// measure metafiles and turn bitmaps into them.
#pragma once

#include "lorimer/ImageInterface.h"
#include "platform/base/file.h"
#include "platform/gdi/metafile.h"

// What the metafile-measuring helper answers: width, height, colour depth and
// a flag, all zero when it could not answer.
struct LORIMER_API METAFILEINFO {
  int width = 0;
  int height = 0;
  int depth = 0;
  int flag = 0;
};

// Where a picture goes inside a rectangle: 1-9 a 3 x 3 grid (row by row: top
// left ... bottom right), 10 stretched over it, 11 fitted proportionally and
// centred.
enum METAALIGNMENT : int {
  MA_TOPLEFT = 1,
  MA_TOPCENTER,
  MA_TOPRIGHT,
  MA_CENTERLEFT,
  MA_CENTER,
  MA_CENTERRIGHT,
  MA_BOTTOMLEFT,
  MA_BOTTOMCENTER,
  MA_BOTTOMRIGHT,
  MA_STRETCH = 10,
  MA_PROPORTIONAL = 11,
};

class LORIMER_API CMetaFile {
 public:
  CMetaFile();
  ~CMetaFile();
  // A copy holds its own copy of the metafile (sharing one handle would free it twice).
  CMetaFile(const CMetaFile& other);
  CMetaFile& operator=(const CMetaFile& other);

  void Clear();
  bool IsEmpty() const;

  // An enhanced metafile, else a WMF (with or without its placeable header).
  int Read(const char* path);
  int Read(CFile* file);
  static bool IsMetafile(CFile* file);

  // A WMF of the picture for MM_ANISOTROPIC, owned by the caller; the record
  // gets the picture's size in pixels.
  HMETAFILE GetHandle(_SRCIMAGEINFO* info);
  int Write(const char* path);
  // Takes over the WMF (deleted in every case) or the enhanced metafile.
  int InitFromHWMF(HMETAFILE metafile, int unused1, int unused2);
  int InitFromHEMF(HENHMETAFILE metafile);
  // mode non-zero: through the bitmap-to-metafile helper; zero: recorded here.
  int InitFromHBMP(HBITMAP bitmap, int mode);
  RECT GetFrameRect() const;
  void FeelEMFHeder(const char* path, int isWmf);
  // Places a picture of `size` inside `rect` (changed in place) by `alignment`.
  static void FitPicture(RECT& rect, SIZE& size, METAALIGNMENT alignment);

  const METAFILEHEADER_PLACEABLE& Placeable() const { return m_placeable; }
  const ENHMETAHEADER& Header() const { return m_header; }
  HENHMETAFILE Handle() const { return m_hEmf; }

  // A fresh temporary name with prefix "lrmr_" and ".wmf" appended; the caller
  // frees it with delete[].
  static char* GetTempWMFPath();
  // Each byte widened to one 16-bit unit; the caller frees it with delete[].
  static unsigned short* Char2BSTR(char* text);
  static int _BMP2WMF_Proc(HBITMAP bitmap, char* wmfPath);
  static METAFILEINFO _GETWMFINFO_Proc(const char* metafilePath);

 private:
  METAFILEHEADER_PLACEABLE m_placeable{};
  HENHMETAFILE m_hEmf = nullptr;
  ENHMETAHEADER m_header{};
};

// Metafiles to disk: the bits written to a created file; 1 when the file
// exists afterwards.
LORIMER_API int CopyWMFOnDisk(HMETAFILE metafile, const char* path);
LORIMER_API int CopyEMFOnDisk(HENHMETAFILE metafile, const char* path);

// EPS through the helper programs: EPS to metafile when loading, metafile to
// EPS when saving.
class LORIMER_API CEpsKeeper {
 public:
  // A vector image of the EPS file, or null; fills the record's size and depth
  // and sets its format to EPS. No temporary file outlives the call.
  static HIMG LoadEPS(const char* path, _SRCIMAGEINFO* info);
  // Writes the image (a drawing as it is, a raster image's page through the
  // bitmap-to-metafile helper) as EPS; `preview` asks for a preview section.
  static int SaveToEPS(HIMG image, const char* path, int preview, long first, long second);
  static int _EPS2WMF_Proc(char* epsPath, char* wmfPath);
  static int _WMF2EPS_Proc(char* wmfPath, char* epsPath, int preview, long first, long second);
};

namespace lorimer {
// The helper program of that base name in the running program's folder, or
// "" when there is none.
LORIMER_API std::string HelperPath(const char* baseName);
// Starts a helper hidden with `params` and waits for it without a time limit;
// false when it could not be started or waited for.
LORIMER_API bool RunHelper(const char* baseName, const std::string& params);
}  // namespace lorimer
