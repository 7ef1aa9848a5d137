// Record views over WMF and EMF bytes, the checks that decide whether a block of
// bytes is a metafile at all, and the reads of the structures records are made of.
#include "platform/gdi/metafile_records.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/gdi/objects.h"

namespace vel::gdi {

vel::ByteReader ByteView::reader(size_t offset) const {
  vel::ByteReader in(data, data ? size : 0);
  in.seek(offset);
  return in;
}

bool ByteView::u8(size_t offset, BYTE& v) const {
  vel::ByteReader in = reader(offset);
  const BYTE value = in.u8();
  if (in) v = value;
  return in.ok();
}

bool ByteView::u16(size_t offset, WORD& v) const {
  vel::ByteReader in = reader(offset);
  const WORD value = in.le16();
  if (in) v = value;
  return in.ok();
}

bool ByteView::i16(size_t offset, std::int16_t& v) const {
  WORD w;
  if (!u16(offset, w)) return false;
  v = static_cast<std::int16_t>(w);
  return true;
}

bool ByteView::u32(size_t offset, DWORD& v) const {
  vel::ByteReader in = reader(offset);
  const DWORD value = in.le32();
  if (in) v = value;
  return in.ok();
}

bool ByteView::i32(size_t offset, LONG& v) const {
  DWORD d;
  if (!u32(offset, d)) return false;
  v = static_cast<LONG>(d);
  return true;
}

bool ByteView::rectl(size_t offset, RECTL& v) const {
  vel::ByteReader in = reader(offset);
  const RECTL value = ReadRectl(in);
  if (in) v = value;
  return in.ok();
}

bool ByteView::pointl(size_t offset, POINTL& v) const {
  vel::ByteReader in = reader(offset);
  const POINTL value = ReadPointl(in);
  if (in) v = value;
  return in.ok();
}

bool ByteView::points(size_t offset, DWORD count, std::vector<POINT>& out) const {
  vel::ByteReader in = reader(offset);
  return ReadPoints(in, count, false, out);
}

bool ByteView::points16(size_t offset, DWORD count, std::vector<POINT>& out) const {
  vel::ByteReader in = reader(offset);
  return ReadPoints(in, count, true, out);
}

bool ByteView::bytes(size_t offset, size_t length, const BYTE*& out) const {
  vel::ByteReader in = reader(offset);
  const auto part = in.bytes(length);
  if (!in) return false;
  out = length ? part.data() : data + offset;
  return true;
}

RECTL ReadRectl(vel::ByteReader& in) {
  RECTL r;
  r.left = in.le32s();
  r.top = in.le32s();
  r.right = in.le32s();
  r.bottom = in.le32s();
  return r;
}

POINTL ReadPointl(vel::ByteReader& in) {
  POINTL p;
  p.x = in.le32s();
  p.y = in.le32s();
  return p;
}

bool ReadPoints(vel::ByteReader& in, DWORD count, bool small, std::vector<POINT>& out) {
  const size_t each = small ? 4 : 8;
  // Dividing first keeps count * each from overflowing.
  if (!in || count > in.remaining() / each) {
    in.fail(std::to_string(count) + " points need more than the " + std::to_string(in.remaining()) + " bytes left");
    return false;
  }
  // Polylines run to many thousands of points: they are decoded straight from the
  // bytes the reader checked.
  const auto bytes = in.bytes(static_cast<size_t>(count) * each);
  out.resize(count);
  const BYTE* p = bytes.data();
  for (POINT& point : out) {
    if (small) {
      point.x = static_cast<std::int16_t>(p[0] | (p[1] << 8));
      point.y = static_cast<std::int16_t>(p[2] | (p[3] << 8));
    } else {
      point.x = static_cast<LONG>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24));
      point.y = static_cast<LONG>(p[4] | (p[5] << 8) | (p[6] << 16) | (static_cast<DWORD>(p[7]) << 24));
    }
    p += each;
  }
  return true;
}

BITMAPINFOHEADER ReadBitmapInfoHeader(vel::ByteReader& in) {
  BITMAPINFOHEADER h;
  h.biSize = in.le32();
  h.biWidth = in.le32s();
  h.biHeight = in.le32s();
  h.biPlanes = in.le16();
  h.biBitCount = in.le16();
  h.biCompression = in.le32();
  h.biSizeImage = in.le32();
  h.biXPelsPerMeter = in.le32s();
  h.biYPelsPerMeter = in.le32s();
  h.biClrUsed = in.le32();
  h.biClrImportant = in.le32();
  return h;
}

void WriteBitmapInfoHeader(vel::ByteWriter& out, const BITMAPINFOHEADER& h) {
  out.le32(h.biSize);
  out.le32(static_cast<DWORD>(h.biWidth));
  out.le32(static_cast<DWORD>(h.biHeight));
  out.le16(h.biPlanes);
  out.le16(h.biBitCount);
  out.le32(h.biCompression);
  out.le32(h.biSizeImage);
  out.le32(static_cast<DWORD>(h.biXPelsPerMeter));
  out.le32(static_cast<DWORD>(h.biYPelsPerMeter));
  out.le32(h.biClrUsed);
  out.le32(h.biClrImportant);
}

void PatchRectl(vel::ByteWriter& out, size_t at, const RECTL& r) {
  out.patchLe32(at, static_cast<DWORD>(r.left));
  out.patchLe32(at + 4, static_cast<DWORD>(r.top));
  out.patchLe32(at + 8, static_cast<DWORD>(r.right));
  out.patchLe32(at + 12, static_cast<DWORD>(r.bottom));
}

void PatchSizel(vel::ByteWriter& out, size_t at, const SIZEL& s) {
  out.patchLe32(at, static_cast<DWORD>(s.cx));
  out.patchLe32(at + 4, static_cast<DWORD>(s.cy));
}

namespace {

// Header and colour table of a DIB at the start of `block`: its byte count, or 0
// when the header is not one we can draw.
size_t DibInfoBytes(std::span<const BYTE> block, UINT usage, BITMAPINFOHEADER& h) {
  vel::ByteReader in(block);
  const DWORD headerSize = in.le32();
  if (!in || headerSize < sizeof(BITMAPINFOHEADER) || headerSize > 124 || headerSize > block.size()) return 0;
  in.seek(0);
  h = ReadBitmapInfoHeader(in);
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1) return 0;
  if (!IsDibBitCount(h.biBitCount)) return 0;
  size_t table = DibColorTableBytes(h);
  if (usage == DIB_PAL_COLORS && h.biBitCount <= 8) table = table / sizeof(RGBQUAD) * 2;
  const size_t total = headerSize + table;
  return total <= block.size() ? total : 0;
}

bool FinishDib(std::span<const BYTE> info, const BITMAPINFOHEADER& h, std::span<const BYTE> bits, PackedDib& out) {
  const bool compressed = h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS;
  // Only what the record holds is ever copied; readers of the bits bound every
  // access by their size.
  const size_t need = compressed ? bits.size() : std::min(DibImageBytes(h), bits.size());
  if (need == 0) return false;
  out.info.assign(info.begin(), info.end());
  out.bits.assign(bits.begin(), bits.begin() + static_cast<std::ptrdiff_t>(need));
  return true;
}

}  // namespace

bool ReadPackedDib(const ByteView& record, size_t infoOffset, size_t infoSize, size_t bitsOffset, size_t bitsSize,
                   UINT usage, PackedDib& out) {
  vel::ByteReader in = record.reader();
  const vel::ByteReader info = in.sub(infoOffset, infoSize);
  const vel::ByteReader bits = in.sub(bitsOffset, bitsSize);
  if (!in) return false;
  BITMAPINFOHEADER h;
  const size_t infoBytes = DibInfoBytes(info.all(), usage, h);
  return infoBytes && FinishDib(info.all().first(infoBytes), h, bits.all(), out);
}

bool ReadPackedDib(std::span<const BYTE> block, UINT usage, PackedDib& out) {
  BITMAPINFOHEADER h;
  const size_t infoBytes = DibInfoBytes(block, usage, h);
  return infoBytes && FinishDib(block.first(infoBytes), h, block.subspan(infoBytes), out);
}

namespace {

// The walk both kinds of metafile share: the records of a live handle's bytes, in order.
template <typename Record>
bool VisitAll(const vel::Expected<std::vector<Record>>& records, const std::function<bool(const Record&)>& visit) {
  if (!records) return false;
  for (const Record& r : *records)
    if (!visit(r)) break;
  return true;
}

template <typename Record>
bool GiveRecords(vel::Expected<std::vector<Record>> found, std::vector<Record>* records) {
  if (records) records->clear();
  if (!found) return false;
  if (records) *records = std::move(*found);
  return true;
}

}  // namespace

// ---- EMF ----------------------------------------------------------------------
namespace emf {

vel::Expected<Record> NextRecord(vel::ByteReader& in) {
  vel::ByteReader head(in.rest());
  Record r;
  r.type = head.le32();
  const DWORD size = head.le32();
  if (!head) return vel::Fail("type and size need 8 bytes, " + std::to_string(in.remaining()) + " remain");
  if (size < 8) return vel::Fail("size " + std::to_string(size) + " is below 8");
  if (size % 4) return vel::Fail("size " + std::to_string(size) + " is not a multiple of 4");
  if (size > in.remaining())
    return vel::Fail("size " + std::to_string(size) + " runs past the end (" + std::to_string(in.remaining()) +
                     " bytes remain)");
  r.data = in.bytes(size).data();
  r.size = size;
  return r;
}

vel::Expected<std::vector<Record>> ReadRecords(const BYTE* data, size_t size) {
  if (!data) return vel::Fail("EMF: no bytes");
  vel::ByteReader in(data, size);
  const DWORD type = in.le32(), headerSize = in.le32();
  in.seek(offsetof(ENHMETAHEADER, dSignature));
  const DWORD signature = in.le32();
  if (!in) return vel::Fail("EMF header: " + in.failure());
  if (type != EMR_HEADER) return vel::Fail("EMF header: type " + std::to_string(type) + " is not EMR_HEADER");
  if (signature != ENHMETA_SIGNATURE) return vel::Fail("EMF header: no \" EMF\" signature");
  if (headerSize < 88 || headerSize % 4)
    return vel::Fail("EMF header: size " + std::to_string(headerSize) + " is no header's");
  in.seek(0);
  std::vector<Record> records;
  while (!in.atEnd()) {
    const size_t at = in.position();
    auto r = NextRecord(in);
    auto where = [&] { return "EMF record " + std::to_string(records.size()) + " at offset " + std::to_string(at); };
    if (!r) return vel::Fail(where() + ": " + r.reason());
    if (r->type == EMR_HEADER && at != 0) return vel::Fail(where() + ": a second header");
    records.push_back(*r);
    if (r->type == EMR_EOF) return records;
  }
  return vel::Fail("EMF: " + std::to_string(size) + " bytes end before EMR_EOF");
}

bool ParseRecords(const BYTE* data, size_t size, std::vector<Record>* records) {
  return GiveRecords(ReadRecords(data, size), records);
}

ENHMETAHEADER HeaderOf(const Record& header) {
  // A short header record leaves the optional fields as zero, not as whatever
  // record followed it.
  vel::ByteReader in(header.data, std::min(header.size, sizeof(ENHMETAHEADER)));
  ENHMETAHEADER h{};
  h.iType = in.le32();
  h.nSize = in.le32();
  h.rclBounds = ReadRectl(in);
  h.rclFrame = ReadRectl(in);
  h.dSignature = in.le32();
  h.nVersion = in.le32();
  h.nBytes = in.le32();
  h.nRecords = in.le32();
  h.nHandles = in.le16();
  h.sReserved = in.le16();
  h.nDescription = in.le32();
  h.offDescription = in.le32();
  h.nPalEntries = in.le32();
  h.szlDevice = SIZEL{in.le32s(), in.le32s()};
  h.szlMillimeters = SIZEL{in.le32s(), in.le32s()};
  h.cbPixelFormat = in.le32();
  h.offPixelFormat = in.le32();
  h.bOpenGL = in.le32();
  h.szlMicrometers = SIZEL{in.le32s(), in.le32s()};
  return h;
}

const std::vector<BYTE>* Bits(HENHMETAFILE metafile) {
  EnhMetaFile* m = Live(metafile);
  return m ? &m->bits : nullptr;
}

bool ForEachRecord(HENHMETAFILE metafile, const std::function<bool(const Record&)>& visit) {
  const std::vector<BYTE>* bits = Bits(metafile);
  return bits && VisitAll(ReadRecords(bits->data(), bits->size()), visit);
}

std::vector<Record> Records(HENHMETAFILE metafile) {
  std::vector<Record> records;
  if (const std::vector<BYTE>* bits = Bits(metafile)) ParseRecords(bits->data(), bits->size(), &records);
  return records;
}

bool ReadHeader(HENHMETAFILE metafile, ENHMETAHEADER& header) {
  const std::vector<BYTE>* bits = Bits(metafile);
  if (!bits || bits->size() < 88) return false;
  vel::ByteReader in(*bits);
  const auto first = NextRecord(in);
  if (!first) return false;
  header = HeaderOf(*first);
  return true;
}

}  // namespace emf

// ---- WMF ----------------------------------------------------------------------
namespace wmf {

METAHEADER ReadHeaderFields(vel::ByteReader& in) {
  METAHEADER h;
  h.mtType = in.le16();
  h.mtHeaderSize = in.le16();
  h.mtVersion = in.le16();
  h.mtSize = in.le32();
  h.mtNoObjects = in.le16();
  h.mtMaxRecord = in.le32();
  h.mtNoParameters = in.le16();
  return h;
}

vel::Expected<METAHEADER> ReadHeader(vel::ByteReader& in) {
  const METAHEADER h = ReadHeaderFields(in);
  if (!in) return vel::Fail("WMF header: " + in.failure());
  if (h.mtType != 1 && h.mtType != 2) return vel::Fail("WMF header: type " + std::to_string(h.mtType));
  if (h.mtHeaderSize != 9) return vel::Fail("WMF header: header size " + std::to_string(h.mtHeaderSize) + " words");
  if (h.mtVersion != 0x0100 && h.mtVersion != 0x0300)
    return vel::Fail("WMF header: version " + std::to_string(h.mtVersion));
  if (h.mtSize == 0) return vel::Fail("WMF header: size 0");
  return h;
}

bool ReadHeader(const BYTE* data, size_t size, METAHEADER& header) {
  if (!data) return false;
  vel::ByteReader in(data, size);
  const auto h = ReadHeader(in);
  if (h) header = *h;
  return h.has_value();
}

vel::Expected<std::vector<Record>> ReadRecords(const BYTE* data, size_t size) {
  if (!data) return vel::Fail("WMF: no bytes");
  vel::ByteReader in(data, size);
  const auto header = ReadHeader(in);
  if (!header) return vel::Fail(header.error());
  // Writers get mtSize wrong often enough that the bytes present decide; the
  // records themselves must still fit and end with META_EOF.
  std::vector<Record> records;
  while (!in.atEnd()) {
    auto where = [&] { return "WMF record " + std::to_string(records.size()); };
    vel::ByteReader head(in.rest());
    Record r;
    const DWORD words = head.le32();
    r.function = head.le16();
    if (!head) return vel::Fail(where() + ": its header needs 6 bytes, " + std::to_string(in.remaining()) + " remain");
    if (words < 3) return vel::Fail(where() + ": size " + std::to_string(words) + " words is below its header");
    if (words > in.remaining() / 2)
      return vel::Fail(where() + ": size " + std::to_string(words) + " words runs past the end");
    r.size = static_cast<size_t>(words) * 2;
    r.data = in.bytes(r.size).data();
    records.push_back(r);
    if (r.function == META_EOF) return records;
  }
  return vel::Fail("WMF: " + std::to_string(size) + " bytes end before META_EOF");
}

bool ParseRecords(const BYTE* data, size_t size, std::vector<Record>* records) {
  return GiveRecords(ReadRecords(data, size), records);
}

std::optional<METAFILEHEADER_PLACEABLE> ReadPlaceable(vel::ByteReader& in) {
  vel::ByteReader head(in.rest());
  METAFILEHEADER_PLACEABLE p;
  p.key = head.le32();
  p.hmf = head.le16();
  p.left = head.le16s();
  p.top = head.le16s();
  p.right = head.le16s();
  p.bottom = head.le16s();
  p.inch = head.le16();
  p.reserved = head.le32();
  p.checksum = head.le16();
  if (!head || p.key != kPlaceableKey) return std::nullopt;
  in.skip(sizeof p);
  return p;
}

void WritePlaceable(vel::ByteWriter& out, const METAFILEHEADER_PLACEABLE& p) {
  out.le32(p.key);
  out.le16(p.hmf);
  out.le16(static_cast<WORD>(p.left));
  out.le16(static_cast<WORD>(p.top));
  out.le16(static_cast<WORD>(p.right));
  out.le16(static_cast<WORD>(p.bottom));
  out.le16(p.inch);
  out.le32(p.reserved);
  out.le16(p.checksum);
}

const std::vector<BYTE>* Bits(HMETAFILE metafile) {
  MetaFile* m = Live(metafile);
  return m ? &m->bits : nullptr;
}

bool ForEachRecord(HMETAFILE metafile, const std::function<bool(const Record&)>& visit) {
  const std::vector<BYTE>* bits = Bits(metafile);
  return bits && VisitAll(ReadRecords(bits->data(), bits->size()), visit);
}

std::vector<Record> Records(HMETAFILE metafile) {
  std::vector<Record> records;
  if (const std::vector<BYTE>* bits = Bits(metafile)) ParseRecords(bits->data(), bits->size(), &records);
  return records;
}

int ObjectTable::add() {
  // The free slots are kept sorted, so a file that creates and deletes objects
  // without end costs a logarithm per record, not a scan of the table.
  if (!free_.empty()) {
    int slot = *free_.begin();
    free_.erase(free_.begin());
    used_[slot] = true;
    return slot;
  }
  if (used_.size() >= kMaxSlots) return -1;
  used_.push_back(true);
  return static_cast<int>(used_.size() - 1);
}

bool ObjectTable::remove(int slot) {
  if (!used(slot)) return false;
  used_[slot] = false;
  free_.insert(slot);
  return true;
}

}  // namespace wmf

namespace {
// Windows-1252 0x80-0x9F; 0 marks the five unassigned bytes, kept as C1 controls.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

std::u16string Cp1252ToUtf16(const BYTE* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    BYTE b = text[i];
    if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80])
      out.push_back(kCp1252High[b - 0x80]);
    else
      out.push_back(static_cast<char16_t>(b));
  }
  return out;
}

std::string Utf16ToCp1252(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char byte = '?';
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == c && c != 0) byte = static_cast<char>(0x80 + i);
    }
    // Unassigned bytes came through as their C1 code points.
    if (c >= 0x80 && c < 0xA0 && !kCp1252High[c - 0x80]) byte = static_cast<char>(c);
    out.push_back(byte);
  }
  return out;
}

}  // namespace vel::gdi
