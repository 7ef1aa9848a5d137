// Windows metafiles (WMF) and enhanced metafiles (EMF): reading, checking,
// writing and converting, behind the Win32 metafile functions.
//
// A metafile handle is a typed pointer to an object owned by this library that
// holds the metafile's bytes exactly as they are stored in a file (a WMF without
// its placeable header). Handles are checked against the live-handle table, so a
// deleted or foreign handle gives a failure, never a crash. Everything that reads
// bytes treats them as untrusted: sizes, counts and offsets are checked against
// the bytes present before use.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/gdi.h"

// Mapping modes beyond the two gdi.h knows. gdi.h defines VEL_GDI_ALL_MAP_MODES
// when it grows the full set itself, so the two headers never clash.
#ifndef VEL_GDI_ALL_MAP_MODES
#define VEL_GDI_ALL_MAP_MODES
constexpr int MM_HIMETRIC = 3;
constexpr int MM_LOENGLISH = 4;
constexpr int MM_HIENGLISH = 5;
constexpr int MM_TWIPS = 6;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;
#endif

struct RECTL {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};
static_assert(sizeof(RECTL) == 16);

struct SIZEL {
  LONG cx = 0;
  LONG cy = 0;
};
static_assert(sizeof(SIZEL) == 8);

struct POINTL {
  LONG x = 0;
  LONG y = 0;
};
static_assert(sizeof(POINTL) == 8);

#pragma pack(push, 2)
// The 18-byte header every WMF starts with (after the placeable header, if any).
struct METAHEADER {
  WORD mtType;          // 1 memory, 2 disk
  WORD mtHeaderSize;    // in words: 9
  WORD mtVersion;       // 0x0100 or 0x0300
  DWORD mtSize;         // whole metafile, in words
  WORD mtNoObjects;     // object-table slots the records need
  DWORD mtMaxRecord;    // largest record, in words
  WORD mtNoParameters;  // unused, 0
};

// The 22-byte header "placeable" WMF files carry in front of the METAHEADER.
struct METAFILEHEADER_PLACEABLE {
  DWORD key;  // kPlaceableKey
  WORD hmf;   // 0 in files
  std::int16_t left;
  std::int16_t top;
  std::int16_t right;
  std::int16_t bottom;
  WORD inch;  // units per inch of the box (1440 = twips)
  DWORD reserved;
  WORD checksum;  // XOR of the ten words before it
};
#pragma pack(pop)
static_assert(sizeof(METAHEADER) == 18);
static_assert(sizeof(METAFILEHEADER_PLACEABLE) == 22);

constexpr DWORD kPlaceableKey = 0x9AC6CDD7;

struct METARECORD {
  DWORD rdSize;  // in words, header included
  WORD rdFunction;
  WORD rdParm[1];
};
static_assert(sizeof(METARECORD) == 8);

struct ENHMETAHEADER {
  DWORD iType;       // EMR_HEADER
  DWORD nSize;       // 88, 100 or 108
  RECTL rclBounds;   // inclusive, device units
  RECTL rclFrame;    // inclusive, 0.01 mm
  DWORD dSignature;  // ENHMETA_SIGNATURE
  DWORD nVersion;
  DWORD nBytes;
  DWORD nRecords;
  WORD nHandles;
  WORD sReserved;
  DWORD nDescription;    // UTF-16 characters
  DWORD offDescription;  // from the start of the header record
  DWORD nPalEntries;
  SIZEL szlDevice;       // reference device, pixels
  SIZEL szlMillimeters;  // reference device, millimetres
  // Present when nSize >= 100.
  DWORD cbPixelFormat;
  DWORD offPixelFormat;
  DWORD bOpenGL;
  // Present when nSize >= 108.
  SIZEL szlMicrometers;
};
static_assert(sizeof(ENHMETAHEADER) == 108);

struct ENHMETARECORD {
  DWORD iType;
  DWORD nSize;  // bytes, multiple of 4
  DWORD dParm[1];
};
static_assert(sizeof(ENHMETARECORD) == 12);

constexpr DWORD ENHMETA_SIGNATURE = 0x464D4520;  // " EMF"
constexpr DWORD ENHMETA_VERSION = 0x00010000;

namespace vel::gdi {

// A WMF: the bytes from the METAHEADER to META_EOF, checked on creation.
class MetaFile {
 public:
  std::vector<BYTE> bits;
  // The placeable header the file carried, kept for callers that want its box;
  // GetMetaFileBitsEx never returns it.
  bool hasPlaceable = false;
  METAFILEHEADER_PLACEABLE placeable{};
};

// An EMF: the bytes from EMR_HEADER to EMR_EOF, checked on creation.
class EnhMetaFile {
 public:
  std::vector<BYTE> bits;
};

}  // namespace vel::gdi

using HMETAFILE = vel::gdi::MetaFile*;
using HENHMETAFILE = vel::gdi::EnhMetaFile*;

struct METAFILEPICT {
  LONG mm;
  LONG xExt;  // 0.01 mm for MM_ANISOTROPIC / MM_ISOTROPIC
  LONG yExt;
  HMETAFILE hMF;
};

// ---- WMF --------------------------------------------------------------------
// A WMF without placeable header; null unless its header and records check out.
HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data);
// Copies the bits into `out` when it holds `size` bytes or more; with `out` null
// returns the size needed. 0 on failure.
UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID out);
// Reads a WMF file, with or without placeable header.
HMETAFILE GetMetaFileA(LPCSTR path);
// Path null: a copy in memory. Otherwise the bits are written to the path (through
// a temporary file renamed over it) and the result is a handle to that file's data.
HMETAFILE CopyMetaFileA(HMETAFILE metafile, LPCSTR path);
BOOL DeleteMetaFile(HMETAFILE metafile);

// ---- EMF --------------------------------------------------------------------
HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data);
UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE out);
HENHMETAFILE GetEnhMetaFileA(LPCSTR path);
// Copies min(size, header record size) bytes of the header record; `out` null
// gives the header record's size. 0 on failure.
UINT GetEnhMetaFileHeader(HENHMETAFILE metafile, UINT size, ENHMETAHEADER* out);
HENHMETAFILE CopyEnhMetaFileA(HENHMETAFILE metafile, LPCSTR path);
BOOL DeleteEnhMetaFile(HENHMETAFILE metafile);

// ---- conversion ---------------------------------------------------------------
// WMF -> EMF. A WMF that carries an EMF in "WMFC" comment chunks gives that EMF
// back exactly; any other WMF is translated record by record. refDC null: the
// screen. `pict` (optional) gives the picture's mapping mode and size.
HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* wmfBits, HDC refDC, const METAFILEPICT* pict);
namespace vel::gdi {
// The EMF a WMF of ours (or of Windows) carries in "WMFC" comment chunks, whole and
// checked; false when the WMF carries none. `emf` may be null to ask only.
bool EmbeddedEmf(const BYTE* wmfBits, size_t size, std::vector<BYTE>* emf);
}  // namespace vel::gdi
// EMF -> WMF: the EMF in comment chunks, then the mapping, then the records that
// have a WMF form. `out` null: size query.
UINT GetWinMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE out, INT mapMode, HDC refDC);
