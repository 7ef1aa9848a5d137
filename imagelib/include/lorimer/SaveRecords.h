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
  float angle;       // rotation in degrees
  RECT crop;         // applied when right > left and bottom > top

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
  int depth;
  int colour;
  int compression;  // 0 none, 1 LZW, 2 PackBits, 3 modified CCITT, 4 Group 3, 5 Group 4
  int fillOrder;
  int unused;
  int append;
  char artist[1024];
  char copyright[1024];
};
struct _SAVEIMAGEINFO::_PNG : _SAVEIMAGEINFO {
  int filter;       // 1 sub, 2 up, 3 average, 4 Paeth, other none
  int compression;  // 1 maximum
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
