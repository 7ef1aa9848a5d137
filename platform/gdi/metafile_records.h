// The record model of WMF and EMF: record numbers, a view of one record, and walks
// over the records of a metafile handle. The player and the converters read a record
// through a checked reader over its own bytes (`params()`), so no read can leave it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/base/bytes.h"
#include "platform/base/expected.h"
#include "platform/gdi/metafile.h"

namespace vel::gdi {

// A view of a byte range: a record, or a block inside one. Parsers read it through a
// checked reader (`reader()`); the single reads at an offset answer false (and leave
// their output alone) when the value is not wholly inside.
struct ByteView {
  const BYTE* data = nullptr;
  size_t size = 0;

  std::span<const BYTE> span() const { return {data, size}; }
  // A reader over the whole view, positioned at `offset` (failed when that is past the end).
  vel::ByteReader reader(size_t offset = 0) const;
  bool has(size_t offset, size_t length) const { return offset <= size && length <= size - offset; }
  bool u8(size_t offset, BYTE& v) const;
  bool u16(size_t offset, WORD& v) const;
  bool i16(size_t offset, std::int16_t& v) const;
  bool u32(size_t offset, DWORD& v) const;
  bool i32(size_t offset, LONG& v) const;
  bool rectl(size_t offset, RECTL& v) const;  // four LONGs: left, top, right, bottom
  bool pointl(size_t offset, POINTL& v) const;
  // `count` pairs of 32-bit (points) or 16-bit (points16) coordinates.
  bool points(size_t offset, DWORD count, std::vector<POINT>& out) const;
  bool points16(size_t offset, DWORD count, std::vector<POINT>& out) const;
  // A pointer to `length` bytes at `offset`, or false.
  bool bytes(size_t offset, size_t length, const BYTE*& out) const;
};

// Reads of the structures records are made of, at a reader's position; past the end
// they give zeros and leave the reader failed.
RECTL ReadRectl(vel::ByteReader& in);    // left, top, right, bottom
POINTL ReadPointl(vel::ByteReader& in);  // x, y
// `count` points of two 32-bit (or, when `small`, two 16-bit) coordinates. False, the
// reader failed and `out` untouched, when fewer remain: a count is never trusted
// further than the bytes present.
bool ReadPoints(vel::ByteReader& in, DWORD count, bool small, std::vector<POINT>& out);
// The 40 bytes of a BITMAPINFOHEADER.
BITMAPINFOHEADER ReadBitmapInfoHeader(vel::ByteReader& in);

// The writing side, for headers built or changed in place.
void WriteBitmapInfoHeader(vel::ByteWriter& out, const BITMAPINFOHEADER& h);
void PatchRectl(vel::ByteWriter& out, size_t at, const RECTL& r);
void PatchSizel(vel::ByteWriter& out, size_t at, const SIZEL& s);

// A packed DIB (BITMAPINFO, colour table, bits) checked and copied out of a record
// into properly aligned memory. The header is BITMAPINFOHEADER-sized at least;
// the bits are what the record holds, at most what the header needs for
// BI_RGB/BI_BITFIELDS (a SetDIBitsToDevice record carries only some scan lines),
// so users pass bits.size() on to the bounded DIB transfers.
struct PackedDib {
  std::vector<BYTE> info;  // header + colour table (aligned as BITMAPINFO)
  std::vector<BYTE> bits;
  const BITMAPINFO* bitmapInfo() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
};
// Header of `infoSize` bytes at `infoOffset`, bits of `bitsSize` bytes at `bitsOffset`
// (EMF keeps them apart). `usage` DIB_PAL_COLORS makes colour entries 2 bytes.
bool ReadPackedDib(const ByteView& record, size_t infoOffset, size_t infoSize, size_t bitsOffset, size_t bitsSize,
                   UINT usage, PackedDib& out);
// A DIB stored as one block (WMF records, pattern brushes): header, table, bits.
bool ReadPackedDib(std::span<const BYTE> block, UINT usage, PackedDib& out);

// ---- EMF ----------------------------------------------------------------------
namespace emf {

constexpr DWORD EMR_HEADER = 1;
constexpr DWORD EMR_POLYBEZIER = 2;
constexpr DWORD EMR_POLYGON = 3;
constexpr DWORD EMR_POLYLINE = 4;
constexpr DWORD EMR_POLYBEZIERTO = 5;
constexpr DWORD EMR_POLYLINETO = 6;
constexpr DWORD EMR_POLYPOLYLINE = 7;
constexpr DWORD EMR_POLYPOLYGON = 8;
constexpr DWORD EMR_SETWINDOWEXTEX = 9;
constexpr DWORD EMR_SETWINDOWORGEX = 10;
constexpr DWORD EMR_SETVIEWPORTEXTEX = 11;
constexpr DWORD EMR_SETVIEWPORTORGEX = 12;
constexpr DWORD EMR_SETBRUSHORGEX = 13;
constexpr DWORD EMR_EOF = 14;
constexpr DWORD EMR_SETPIXELV = 15;
constexpr DWORD EMR_SETMAPPERFLAGS = 16;
constexpr DWORD EMR_SETMAPMODE = 17;
constexpr DWORD EMR_SETBKMODE = 18;
constexpr DWORD EMR_SETPOLYFILLMODE = 19;
constexpr DWORD EMR_SETROP2 = 20;
constexpr DWORD EMR_SETSTRETCHBLTMODE = 21;
constexpr DWORD EMR_SETTEXTALIGN = 22;
constexpr DWORD EMR_SETTEXTCOLOR = 24;
constexpr DWORD EMR_SETBKCOLOR = 25;
constexpr DWORD EMR_OFFSETCLIPRGN = 26;
constexpr DWORD EMR_MOVETOEX = 27;
constexpr DWORD EMR_EXCLUDECLIPRECT = 29;
constexpr DWORD EMR_INTERSECTCLIPRECT = 30;
constexpr DWORD EMR_SCALEVIEWPORTEXTEX = 31;
constexpr DWORD EMR_SCALEWINDOWEXTEX = 32;
constexpr DWORD EMR_SAVEDC = 33;
constexpr DWORD EMR_RESTOREDC = 34;
constexpr DWORD EMR_SETWORLDTRANSFORM = 35;
constexpr DWORD EMR_MODIFYWORLDTRANSFORM = 36;
constexpr DWORD EMR_SELECTOBJECT = 37;
constexpr DWORD EMR_CREATEPEN = 38;
constexpr DWORD EMR_CREATEBRUSHINDIRECT = 39;
constexpr DWORD EMR_DELETEOBJECT = 40;
constexpr DWORD EMR_ANGLEARC = 41;
constexpr DWORD EMR_ELLIPSE = 42;
constexpr DWORD EMR_RECTANGLE = 43;
constexpr DWORD EMR_ROUNDRECT = 44;
constexpr DWORD EMR_ARC = 45;
constexpr DWORD EMR_CHORD = 46;
constexpr DWORD EMR_PIE = 47;
constexpr DWORD EMR_SELECTPALETTE = 48;
constexpr DWORD EMR_CREATEPALETTE = 49;
constexpr DWORD EMR_SETPALETTEENTRIES = 50;
constexpr DWORD EMR_RESIZEPALETTE = 51;
constexpr DWORD EMR_REALIZEPALETTE = 52;
constexpr DWORD EMR_EXTFLOODFILL = 53;
constexpr DWORD EMR_LINETO = 54;
constexpr DWORD EMR_ARCTO = 55;
constexpr DWORD EMR_POLYDRAW = 56;
constexpr DWORD EMR_SETARCDIRECTION = 57;
constexpr DWORD EMR_SETMITERLIMIT = 58;
constexpr DWORD EMR_BEGINPATH = 59;
constexpr DWORD EMR_ENDPATH = 60;
constexpr DWORD EMR_CLOSEFIGURE = 61;
constexpr DWORD EMR_FILLPATH = 62;
constexpr DWORD EMR_STROKEANDFILLPATH = 63;
constexpr DWORD EMR_STROKEPATH = 64;
constexpr DWORD EMR_FLATTENPATH = 65;
constexpr DWORD EMR_WIDENPATH = 66;
constexpr DWORD EMR_SELECTCLIPPATH = 67;
constexpr DWORD EMR_ABORTPATH = 68;
constexpr DWORD EMR_GDICOMMENT = 70;
constexpr DWORD EMR_FILLRGN = 71;
constexpr DWORD EMR_FRAMERGN = 72;
constexpr DWORD EMR_INVERTRGN = 73;
constexpr DWORD EMR_PAINTRGN = 74;
constexpr DWORD EMR_EXTSELECTCLIPRGN = 75;
constexpr DWORD EMR_BITBLT = 76;
constexpr DWORD EMR_STRETCHBLT = 77;
constexpr DWORD EMR_MASKBLT = 78;
constexpr DWORD EMR_PLGBLT = 79;
constexpr DWORD EMR_SETDIBITSTODEVICE = 80;
constexpr DWORD EMR_STRETCHDIBITS = 81;
constexpr DWORD EMR_EXTCREATEFONTINDIRECTW = 82;
constexpr DWORD EMR_EXTTEXTOUTA = 83;
constexpr DWORD EMR_EXTTEXTOUTW = 84;
constexpr DWORD EMR_POLYBEZIER16 = 85;
constexpr DWORD EMR_POLYGON16 = 86;
constexpr DWORD EMR_POLYLINE16 = 87;
constexpr DWORD EMR_POLYBEZIERTO16 = 88;
constexpr DWORD EMR_POLYLINETO16 = 89;
constexpr DWORD EMR_POLYPOLYLINE16 = 90;
constexpr DWORD EMR_POLYPOLYGON16 = 91;
constexpr DWORD EMR_POLYDRAW16 = 92;
constexpr DWORD EMR_CREATEMONOBRUSH = 93;
constexpr DWORD EMR_CREATEDIBPATTERNBRUSHPT = 94;
constexpr DWORD EMR_EXTCREATEPEN = 95;
constexpr DWORD EMR_SETICMMODE = 98;
constexpr DWORD EMR_ALPHABLEND = 114;
constexpr DWORD EMR_SETLAYOUT = 115;
constexpr DWORD EMR_TRANSPARENTBLT = 116;
constexpr DWORD EMR_GRADIENTFILL = 118;

// Handle numbers with this bit are stock objects (low bits: GetStockObject index).
constexpr DWORD kStockObjectFlag = 0x80000000u;

// One record: `data` points at its type field and spans `size` bytes (its nSize),
// all inside the metafile. Parameters start at offset 8.
struct Record : ByteView {
  DWORD type = 0;
  // A reader over the whole record at its parameters; the offsets some fields hold
  // (offBmi, offString ...) count from the record's start, for seek() and sub().
  vel::ByteReader params() const { return reader(8); }
};

// The record that starts at the reader's position, which moves past it; or why the
// bytes there frame no record ("size 6 is below 8"). Nothing is read on failure.
vel::Expected<Record> NextRecord(vel::ByteReader& in);

// The records of a block of EMF bytes, or why the block is not a valid EMF: first
// record EMR_HEADER (88 bytes or more) with the signature, every size a multiple of
// 4, at least 8 and within the block, EMR_EOF last (bytes after it are ignored).
vel::Expected<std::vector<Record>> ReadRecords(const BYTE* data, size_t size);
// The same as a yes or no; `records` may be null to just check.
bool ParseRecords(const BYTE* data, size_t size, std::vector<Record>* records);

// The fields of a header record, zero past the record's own size.
ENHMETAHEADER HeaderOf(const Record& header);

// The bytes of a live handle (null otherwise); a player walks them without copying.
const std::vector<BYTE>* Bits(HENHMETAFILE metafile);
// Calls `visit` for each record in order until it returns false. False for a
// handle that is not live.
bool ForEachRecord(HENHMETAFILE metafile, const std::function<bool(const Record&)>& visit);
// All records of a live handle (empty otherwise). Views into the handle's bytes:
// valid while the handle lives.
std::vector<Record> Records(HENHMETAFILE metafile);
// The header, zero-filled past the record's own size.
bool ReadHeader(HENHMETAFILE metafile, ENHMETAHEADER& header);

}  // namespace emf

// ---- WMF ----------------------------------------------------------------------
namespace wmf {

constexpr WORD META_EOF = 0x0000;
constexpr WORD META_SAVEDC = 0x001E;
constexpr WORD META_REALIZEPALETTE = 0x0035;
constexpr WORD META_SETPALENTRIES = 0x0037;
constexpr WORD META_CREATEPALETTE = 0x00F7;
constexpr WORD META_SETBKMODE = 0x0102;
constexpr WORD META_SETMAPMODE = 0x0103;
constexpr WORD META_SETROP2 = 0x0104;
constexpr WORD META_SETRELABS = 0x0105;
constexpr WORD META_SETPOLYFILLMODE = 0x0106;
constexpr WORD META_SETSTRETCHBLTMODE = 0x0107;
constexpr WORD META_SETTEXTCHAREXTRA = 0x0108;
constexpr WORD META_RESTOREDC = 0x0127;
constexpr WORD META_INVERTREGION = 0x012A;
constexpr WORD META_PAINTREGION = 0x012B;
constexpr WORD META_SELECTCLIPREGION = 0x012C;
constexpr WORD META_SELECTOBJECT = 0x012D;
constexpr WORD META_SETTEXTALIGN = 0x012E;
constexpr WORD META_RESIZEPALETTE = 0x0139;
constexpr WORD META_DIBCREATEPATTERNBRUSH = 0x0142;
constexpr WORD META_SETLAYOUT = 0x0149;
constexpr WORD META_DELETEOBJECT = 0x01F0;
constexpr WORD META_CREATEPATTERNBRUSH = 0x01F9;
constexpr WORD META_SETBKCOLOR = 0x0201;
constexpr WORD META_SETTEXTCOLOR = 0x0209;
constexpr WORD META_SETTEXTJUSTIFICATION = 0x020A;
constexpr WORD META_SETWINDOWORG = 0x020B;
constexpr WORD META_SETWINDOWEXT = 0x020C;
constexpr WORD META_SETVIEWPORTORG = 0x020D;
constexpr WORD META_SETVIEWPORTEXT = 0x020E;
constexpr WORD META_OFFSETWINDOWORG = 0x020F;
constexpr WORD META_OFFSETVIEWPORTORG = 0x0211;
constexpr WORD META_LINETO = 0x0213;
constexpr WORD META_MOVETO = 0x0214;
constexpr WORD META_OFFSETCLIPRGN = 0x0220;
constexpr WORD META_FILLREGION = 0x0228;
constexpr WORD META_SETMAPPERFLAGS = 0x0231;
constexpr WORD META_SELECTPALETTE = 0x0234;
constexpr WORD META_CREATEPENINDIRECT = 0x02FA;
constexpr WORD META_CREATEFONTINDIRECT = 0x02FB;
constexpr WORD META_CREATEBRUSHINDIRECT = 0x02FC;
constexpr WORD META_POLYGON = 0x0324;
constexpr WORD META_POLYLINE = 0x0325;
constexpr WORD META_SCALEWINDOWEXT = 0x0410;
constexpr WORD META_SCALEVIEWPORTEXT = 0x0412;
constexpr WORD META_EXCLUDECLIPRECT = 0x0415;
constexpr WORD META_INTERSECTCLIPRECT = 0x0416;
constexpr WORD META_ELLIPSE = 0x0418;
constexpr WORD META_FLOODFILL = 0x0419;
constexpr WORD META_RECTANGLE = 0x041B;
constexpr WORD META_SETPIXEL = 0x041F;
constexpr WORD META_FRAMEREGION = 0x0429;
constexpr WORD META_ANIMATEPALETTE = 0x0436;
constexpr WORD META_TEXTOUT = 0x0521;
constexpr WORD META_POLYPOLYGON = 0x0538;
constexpr WORD META_EXTFLOODFILL = 0x0548;
constexpr WORD META_ROUNDRECT = 0x061C;
constexpr WORD META_PATBLT = 0x061D;
constexpr WORD META_ESCAPE = 0x0626;
constexpr WORD META_CREATEREGION = 0x06FF;
constexpr WORD META_ARC = 0x0817;
constexpr WORD META_PIE = 0x081A;
constexpr WORD META_CHORD = 0x0830;
constexpr WORD META_BITBLT = 0x0922;
constexpr WORD META_DIBBITBLT = 0x0940;
constexpr WORD META_EXTTEXTOUT = 0x0A32;
constexpr WORD META_STRETCHBLT = 0x0B23;
constexpr WORD META_DIBSTRETCHBLT = 0x0B41;
constexpr WORD META_SETDIBTODEV = 0x0D33;
constexpr WORD META_STRETCHDIB = 0x0F43;

// META_ESCAPE function carrying a comment (the "WMFC" chunks of an embedded EMF).
constexpr WORD MFCOMMENT = 15;
constexpr DWORD kWmfcId = 0x43464D57;  // "WMFC"

// ExtTextOut options that add a rectangle to the record.
constexpr WORD ETO_OPAQUE = 0x0002;
constexpr WORD ETO_CLIPPED = 0x0004;

// One record: `data` points at its size field and spans `size` bytes (rdSize * 2),
// all inside the metafile. Parameter words start at offset 6.
struct Record : ByteView {
  WORD function = 0;
  size_t paramCount() const { return size >= 6 ? (size - 6) / 2 : 0; }
  // Parameter word `index` (0 = the first after the function number).
  bool param(size_t index, WORD& v) const { return index < paramCount() && u16(6 + index * 2, v); }
  bool sparam(size_t index, std::int16_t& v) const { return index < paramCount() && i16(6 + index * 2, v); }
  // A reader over the whole record at its first parameter word. WMF stores the
  // arguments of a call last first: SetWindowOrg's record holds y, then x.
  vel::ByteReader params() const { return reader(6); }
};

// The records of WMF bytes that start with the METAHEADER, or why the block is not
// a valid WMF: header type 1 or 2, header size 9 words, version 0x0100 or 0x0300,
// every record at least 3 words and within the block, ending with META_EOF (the
// header's mtSize is not trusted: the bytes present and META_EOF decide; a block
// that stops before META_EOF is refused).
vel::Expected<std::vector<Record>> ReadRecords(const BYTE* data, size_t size);
// The same as a yes or no; `records` may be null.
bool ParseRecords(const BYTE* data, size_t size, std::vector<Record>* records);

// The fields of the METAHEADER at the reader's position, as they are.
METAHEADER ReadHeaderFields(vel::ByteReader& in);
// The METAHEADER at the reader's position, checked as above.
vel::Expected<METAHEADER> ReadHeader(vel::ByteReader& in);
// The header of WMF bytes, or false.
bool ReadHeader(const BYTE* data, size_t size, METAHEADER& header);

// The placeable header when the reader is at one (its key and all 22 bytes); the
// reader moves past it. Nullopt, the reader untouched, otherwise.
std::optional<METAFILEHEADER_PLACEABLE> ReadPlaceable(vel::ByteReader& in);
void WritePlaceable(vel::ByteWriter& out, const METAFILEHEADER_PLACEABLE& p);

const std::vector<BYTE>* Bits(HMETAFILE metafile);
bool ForEachRecord(HMETAFILE metafile, const std::function<bool(const Record&)>& visit);
std::vector<Record> Records(HMETAFILE metafile);

// The WMF object table: a new object takes the lowest free slot; SelectObject and
// DeleteObject name the slot. Capped so a hostile file cannot grow it without end.
class ObjectTable {
 public:
  static constexpr size_t kMaxSlots = 65535;
  // The slot the new object takes, or -1 when the table is full.
  int add();
  bool remove(int slot);
  bool used(int slot) const { return slot >= 0 && static_cast<size_t>(slot) < used_.size() && used_[slot]; }
  size_t size() const { return used_.size(); }

 private:
  std::vector<bool> used_;
  std::set<int> free_;  // unused slots below used_.size()
};

}  // namespace wmf

// Text helpers the converters and the player share.
// Windows-1252 bytes to UTF-16 (the code page ANSI metafile text is taken in).
std::u16string Cp1252ToUtf16(const BYTE* text, size_t length);
// UTF-16 to Windows-1252; characters it has no byte for become '?'.
std::string Utf16ToCp1252(const std::u16string& text);

}  // namespace vel::gdi
