// The records a program fills to save an image: a common head (size, resampling,
// page, rotation, crop) and the fields of one file format.
#pragma once

#include "platform/base/wintypes.h"

struct _SAVEIMAGEINFO {
  int width;         // below 1 keeps the width
  int height;        // below 1 keeps the height
  int method;        // resampling method when the size changes
  int page;          // page to save
  int proportional;  // non-zero: fit proportionally into width x height
  int reserved;
  float angle;  // rotation in degrees
  RECT crop;    // applied when right > left and bottom > top

  _SAVEIMAGEINFO& operator=(const _SAVEIMAGEINFO&) { return *this; }

  struct _BMP;
  struct _GIF;
  struct _JPG;
  struct _TIF;
  struct _PCX;
  struct _PNG;
  struct _FMF;
  struct _DCX;
  struct _TGA;
  struct _WMF;
  struct _EMF;
  struct _EPS;
};

struct _SAVEIMAGEINFO::_BMP : _SAVEIMAGEINFO {
  int gray;
  int depth;
};
struct _SAVEIMAGEINFO::_PCX : _SAVEIMAGEINFO {
  int gray;
  int depth;
};
struct _SAVEIMAGEINFO::_DCX : _SAVEIMAGEINFO {
  int gray;
  int depth;
  int append;
};
struct _SAVEIMAGEINFO::_GIF : _SAVEIMAGEINFO {
  int gray;
  int depth;
  int interlace;
  int append;
};
struct _SAVEIMAGEINFO::_JPG : _SAVEIMAGEINFO {
  int depth;
  int quality;
};
struct _SAVEIMAGEINFO::_TIF : _SAVEIMAGEINFO {
  // Values of `compression`, spelled as the codec's TIFF_COMPRESS option spells them.
  enum COMPRESSION : int {
    COMPRESS_NONE = 0,
    COMPRESS_LZW = 1,
    COMPRESS_PACKBITS = 2,
    COMPRESS_MODCCITT = 3,  // modified CCITT
    COMPRESS_GROUP3 = 4,    // CCITT Group 3
    COMPRESS_GROUP4 = 5,    // CCITT Group 4
  };
  int depth;
  int colour;
  int compression;  // a COMPRESSION
  int fillOrder;
  int unused;
  int append;
  char artist[1024];
  char copyright[1024];
};
struct _SAVEIMAGEINFO::_PNG : _SAVEIMAGEINFO {
  // Values of `filter` (any other value is none) and `compression`, spelled as
  // the codec's PNG_FILTER and PNG_COMPRESS options spell them.
  enum FILTER : int {
    FILTER_NONE = 0,
    FILTER_SUB = 1,
    FILTER_UP = 2,
    FILTER_AVERAGE = 3,
    FILTER_PAETH = 4,
  };
  enum COMPRESSION : int { COMPRESS_MAXIMUM = 1 };
  int filter;       // a FILTER
  int compression;  // COMPRESS_MAXIMUM, or anything else for the codec's default
  int depth;
  int gray;
};
struct _SAVEIMAGEINFO::_FMF : _SAVEIMAGEINFO {};
struct _SAVEIMAGEINFO::_TGA : _SAVEIMAGEINFO {
  int gray;
  int depth;
};
// Metafiles: a raster image becomes a metafile recorded here (mode 0) or made
// by the bitmap-to-metafile helper (any other mode).
struct _SAVEIMAGEINFO::_WMF : _SAVEIMAGEINFO {
  int mode;
};
struct _SAVEIMAGEINFO::_EMF : _SAVEIMAGEINFO {
  int mode;
};
// The preview flag is overwritten by the save: the EPS always gets a preview.
struct _SAVEIMAGEINFO::_EPS : _SAVEIMAGEINFO {
  int preview;
};
