// Bounds-checked record views over WMF and EMF bytes, and the checks that decide
// whether a block of bytes is a metafile at all.
#include "platform/gdi/metafile_records.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/objects.h"

namespace vel::gdi {

bool ByteView::u8(size_t offset, BYTE& v) const {
  if (!has(offset, 1)) return false;
  v = data[offset];
  return true;
}

bool ByteView::u16(size_t offset, WORD& v) const {
  if (!has(offset, 2)) return false;
  v = static_cast<WORD>(data[offset] | (data[offset + 1] << 8));
  return true;
}

bool ByteView::i16(size_t offset, std::int16_t& v) const {
  WORD w;
  if (!u16(offset, w)) return false;
  v = static_cast<std::int16_t>(w);
  return true;
}

bool ByteView::u32(size_t offset, DWORD& v) const {
  if (!has(offset, 4)) return false;
  v = static_cast<DWORD>(data[offset]) | (static_cast<DWORD>(data[offset + 1]) << 8) |
      (static_cast<DWORD>(data[offset + 2]) << 16) | (static_cast<DWORD>(data[offset + 3]) << 24);
  return true;
}

bool ByteView::i32(size_t offset, LONG& v) const {
  DWORD d;
  if (!u32(offset, d)) return false;
  v = static_cast<LONG>(d);
  return true;
}

bool ByteView::rectl(size_t offset, RECTL& v) const {
  if (!has(offset, 16)) return false;
  i32(offset, v.left);
  i32(offset + 4, v.top);
  i32(offset + 8, v.right);
  i32(offset + 12, v.bottom);
  return true;
}

bool ByteView::pointl(size_t offset, POINTL& v) const {
  if (!has(offset, 8)) return false;
  i32(offset, v.x);
  i32(offset + 4, v.y);
  return true;
}

bool ByteView::points(size_t offset, DWORD count, std::vector<POINT>& out) const {
  // Dividing first keeps count * 8 from overflowing.
  if (offset > size || count > (size - offset) / 8) return false;
  out.resize(count);
  for (DWORD i = 0; i < count; ++i) {
    i32(offset + i * 8, out[i].x);
    i32(offset + i * 8 + 4, out[i].y);
  }
  return true;
}

bool ByteView::points16(size_t offset, DWORD count, std::vector<POINT>& out) const {
  if (offset > size || count > (size - offset) / 4) return false;
  out.resize(count);
  for (DWORD i = 0; i < count; ++i) {
    std::int16_t x, y;
    i16(offset + i * 4, x);
    i16(offset + i * 4 + 2, y);
    out[i].x = x;
    out[i].y = y;
  }
  return true;
}

bool ByteView::bytes(size_t offset, size_t length, const BYTE*& out) const {
  if (!has(offset, length)) return false;
  out = data + offset;
  return true;
}

namespace {

// Header and colour table of a DIB at the start of `view`: its byte count, or 0
// when the header is not one we can draw.
size_t DibInfoBytes(const ByteView& view, UINT usage) {
  DWORD headerSize;
  if (!view.u32(0, headerSize) || headerSize < sizeof(BITMAPINFOHEADER) || headerSize > 124) return 0;
  if (!view.has(0, headerSize)) return 0;
  BITMAPINFOHEADER h;
  std::memcpy(&h, view.data, sizeof h);
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1) return 0;
  switch (h.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return 0;
  }
  size_t table = DibColorTableBytes(h);
  if (usage == DIB_PAL_COLORS && h.biBitCount <= 8) table = table / sizeof(RGBQUAD) * 2;
  size_t total = headerSize + table;
  return view.has(0, total) ? total : 0;
}

bool FinishDib(const ByteView& view, size_t infoBytes, const BYTE* bits, size_t bitsSize, PackedDib& out) {
  BITMAPINFOHEADER h;
  std::memcpy(&h, view.data, sizeof h);
  bool compressed = h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS;
  // Only what the record holds is ever copied; readers of the bits bound every
  // access by their size.
  size_t need = compressed ? bitsSize : std::min(DibImageBytes(h), bitsSize);
  if (need == 0) return false;
  out.info.assign(view.data, view.data + infoBytes);
  out.bits.assign(bits, bits + need);
  return true;
}

}  // namespace

bool ReadPackedDib(const ByteView& record, size_t infoOffset, size_t infoSize, size_t bitsOffset, size_t bitsSize,
                   UINT usage, PackedDib& out) {
  if (!record.has(infoOffset, infoSize) || !record.has(bitsOffset, bitsSize)) return false;
  ByteView info{record.data + infoOffset, infoSize};
  size_t infoBytes = DibInfoBytes(info, usage);
  if (!infoBytes) return false;
  return FinishDib(info, infoBytes, record.data + bitsOffset, bitsSize, out);
}

bool ReadPackedDib(const ByteView& block, UINT usage, PackedDib& out) {
  size_t infoBytes = DibInfoBytes(block, usage);
  if (!infoBytes) return false;
  return FinishDib(block, infoBytes, block.data + infoBytes, block.size - infoBytes, out);
}

// ---- EMF ----------------------------------------------------------------------
namespace emf {

bool ParseRecords(const BYTE* data, size_t size, std::vector<Record>* records) {
  if (records) records->clear();
  if (!data) return false;
  ByteView all{data, size};
  DWORD type, headerSize, signature;
  if (!all.u32(0, type) || !all.u32(4, headerSize) || !all.u32(40, signature)) return false;
  if (type != EMR_HEADER || signature != ENHMETA_SIGNATURE || headerSize < 88 || headerSize % 4) return false;
  size_t offset = 0;
  while (offset < size) {
    DWORD recType, recSize;
    if (!all.u32(offset, recType) || !all.u32(offset + 4, recSize)) return false;
    if (recSize < 8 || recSize % 4 || !all.has(offset, recSize)) return false;
    if (records) {
      Record r;
      r.data = data + offset;
      r.size = recSize;
      r.type = recType;
      records->push_back(r);
    }
    offset += recSize;
    if (recType == EMR_EOF) return true;
    if (offset != recSize && recType == EMR_HEADER) return false;  // one header only
  }
  if (records) records->clear();
  return false;  // ran out of bytes before EMR_EOF
}

const std::vector<BYTE>* Bits(HENHMETAFILE metafile) {
  EnhMetaFile* m = Live(metafile);
  return m ? &m->bits : nullptr;
}

bool ForEachRecord(HENHMETAFILE metafile, const std::function<bool(const Record&)>& visit) {
  const std::vector<BYTE>* bits = Bits(metafile);
  if (!bits) return false;
  std::vector<Record> records;
  if (!ParseRecords(bits->data(), bits->size(), &records)) return false;
  for (const Record& r : records)
    if (!visit(r)) break;
  return true;
}

std::vector<Record> Records(HENHMETAFILE metafile) {
  std::vector<Record> records;
  if (const std::vector<BYTE>* bits = Bits(metafile)) ParseRecords(bits->data(), bits->size(), &records);
  return records;
}

bool ReadHeader(HENHMETAFILE metafile, ENHMETAHEADER& header) {
  const std::vector<BYTE>* bits = Bits(metafile);
  if (!bits || bits->size() < 88) return false;
  DWORD size = 0;
  ByteView{bits->data(), bits->size()}.u32(4, size);
  header = ENHMETAHEADER{};
  std::memcpy(&header, bits->data(), std::min<size_t>({size, sizeof header, bits->size()}));
  // A short header record leaves the optional fields as zero, not as whatever
  // record followed it.
  return true;
}

}  // namespace emf

// ---- WMF ----------------------------------------------------------------------
namespace wmf {

bool ReadHeader(const BYTE* data, size_t size, METAHEADER& header) {
  if (!data || size < sizeof(METAHEADER)) return false;
  std::memcpy(&header, data, sizeof header);
  if (header.mtType != 1 && header.mtType != 2) return false;
  if (header.mtHeaderSize != 9) return false;
  if (header.mtVersion != 0x0100 && header.mtVersion != 0x0300) return false;
  if (header.mtSize == 0) return false;
  return true;
}

bool ParseRecords(const BYTE* data, size_t size, std::vector<Record>* records) {
  if (records) records->clear();
  METAHEADER header;
  if (!ReadHeader(data, size, header)) return false;
  // Writers get mtSize wrong often enough that the bytes present decide; the
  // records themselves must still fit and end with META_EOF.
  size_t end = size;
  ByteView all{data, end};
  size_t offset = sizeof(METAHEADER);
  while (offset < end) {
    DWORD words;
    WORD function;
    if (!all.u32(offset, words) || !all.u16(offset + 4, function)) break;
    if (words < 3 || words > (end - offset) / 2) break;
    if (records) {
      Record r;
      r.data = data + offset;
      r.size = words * 2;
      r.function = function;
      records->push_back(r);
    }
    offset += static_cast<size_t>(words) * 2;
    if (function == META_EOF) return true;
  }
  if (records) records->clear();
  return false;
}

const std::vector<BYTE>* Bits(HMETAFILE metafile) {
  MetaFile* m = Live(metafile);
  return m ? &m->bits : nullptr;
}

bool ForEachRecord(HMETAFILE metafile, const std::function<bool(const Record&)>& visit) {
  const std::vector<BYTE>* bits = Bits(metafile);
  if (!bits) return false;
  std::vector<Record> records;
  if (!ParseRecords(bits->data(), bits->size(), &records)) return false;
  for (const Record& r : records)
    if (!visit(r)) break;
  return true;
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
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
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
