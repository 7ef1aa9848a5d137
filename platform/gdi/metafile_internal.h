// Shared by the metafile sources only: record builders that write through a
// ByteWriter, and the creation of handles from checked bytes.
#pragma once

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/base/bytes.h"
#include "platform/gdi/metafile_records.h"

namespace vel::gdi::meta {

// Parameters of one record, written little-endian.
class Params {
 public:
  Params& u16(WORD v) {
    vel::ByteWriter(b_).le16(v);
    return *this;
  }
  Params& i16(int v) { return u16(static_cast<WORD>(static_cast<std::int16_t>(v))); }
  Params& u32(DWORD v) {
    vel::ByteWriter(b_).le32(v);
    return *this;
  }
  Params& i32(LONG v) { return u32(static_cast<DWORD>(v)); }
  Params& f32(float v) {
    vel::ByteWriter(b_).lef32(v);
    return *this;
  }
  Params& rect(const RECTL& r) { return i32(r.left).i32(r.top).i32(r.right).i32(r.bottom); }
  Params& raw(const void* p, size_t n) {
    vel::ByteWriter(b_).bytes(std::span(static_cast<const BYTE*>(p), n));
    return *this;
  }
  Params& pad(size_t multiple) {
    vel::ByteWriter(b_).align(multiple);
    return *this;
  }
  // A writer over `bytes` more parameter bytes, for the long runs of points and
  // characters: the room is made once, not value by value.
  vel::ByteWriter extend(size_t bytes) {
    const size_t at = b_.size();
    b_.resize(at + bytes);
    return vel::ByteWriter{std::span(b_).subspan(at, bytes)};
  }
  size_t size() const { return b_.size(); }
  const std::vector<BYTE>& bytes() const { return b_; }

 private:
  std::vector<BYTE> b_;
};

// Builds an EMF: records after a header that finish() fills in.
class EmfWriter {
 public:
  EmfWriter() { out_.resize(kHeaderSize); }
  static constexpr DWORD kHeaderSize = 108;
  // Offset of the record in the output (for patching bounds later).
  size_t record(DWORD type, const Params& params) {
    const size_t at = out_.size();
    vel::ByteWriter w(out_);
    w.le32(type);
    w.le32(static_cast<DWORD>(8 + ((params.size() + 3) & ~size_t(3))));
    w.bytes(params.bytes());
    w.align(4);
    ++records_;
    return at;
  }
  size_t size() const { return out_.size(); }
  // Adds EMR_EOF and the header; the header's handle count is `handles` (the
  // metafile itself included).
  std::vector<BYTE> finish(const RECTL& bounds, const RECTL& frame, WORD handles, SIZEL device, SIZEL millimeters) {
    Params eof;
    eof.u32(0).u32(0x10).u32(20);  // no palette: nPalEntries, offPalEntries, nSizeLast
    record(emf::EMR_EOF, eof);
    Params h;
    h.u32(emf::EMR_HEADER).u32(kHeaderSize).rect(bounds).rect(frame);
    h.u32(ENHMETA_SIGNATURE).u32(ENHMETA_VERSION).u32(static_cast<DWORD>(out_.size())).u32(records_ + 1);
    h.u16(handles).u16(0).u32(0).u32(0).u32(0);
    h.i32(device.cx).i32(device.cy).i32(millimeters.cx).i32(millimeters.cy);
    h.u32(0).u32(0).u32(0);
    h.i32(millimeters.cx * 1000).i32(millimeters.cy * 1000);
    vel::ByteWriter{std::span(out_).first(kHeaderSize)}.bytes(h.bytes());
    return std::move(out_);
  }

 private:
  std::vector<BYTE> out_;
  DWORD records_ = 0;
};

// Builds a WMF: records after the 18-byte header that finish() fills in.
class WmfWriter {
 public:
  WmfWriter() { out_.resize(sizeof(METAHEADER)); }
  void record(WORD function, const Params& params) {
    const size_t words = 3 + (params.size() + 1) / 2;
    vel::ByteWriter w(out_);
    w.le32(static_cast<DWORD>(words));
    w.le16(function);
    w.bytes(params.bytes());
    w.align(2);
    maxRecord_ = std::max<DWORD>(maxRecord_, static_cast<DWORD>(words));
  }
  size_t size() const { return out_.size(); }
  std::vector<BYTE> finish(WORD objects) {
    record(wmf::META_EOF, Params{});
    vel::ByteWriter h{std::span(out_).first(sizeof(METAHEADER))};
    h.le16(1);       // memory metafile
    h.le16(9);       // header words
    h.le16(0x0300);  // version
    h.le32(static_cast<DWORD>(out_.size() / 2));
    h.le16(objects);
    h.le32(maxRecord_);
    h.le16(0);
    return std::move(out_);
  }
  std::vector<BYTE>& bytes() { return out_; }

 private:
  std::vector<BYTE> out_;
  DWORD maxRecord_ = 3;
};

// The state records both formats have that set one value: the WMF function, the EMF
// type, and whether the WMF record holds the value in one word or two (EMF always
// in two).
struct OneValueRecord {
  WORD function;
  DWORD type;
  bool twoWords;
};
inline constexpr OneValueRecord kOneValueRecords[] = {
    {wmf::META_SETBKMODE, emf::EMR_SETBKMODE, false},
    {wmf::META_SETROP2, emf::EMR_SETROP2, false},
    {wmf::META_SETPOLYFILLMODE, emf::EMR_SETPOLYFILLMODE, false},
    {wmf::META_SETSTRETCHBLTMODE, emf::EMR_SETSTRETCHBLTMODE, false},
    {wmf::META_SETTEXTALIGN, emf::EMR_SETTEXTALIGN, false},
    {wmf::META_SETLAYOUT, emf::EMR_SETLAYOUT, false},
    {wmf::META_SETBKCOLOR, emf::EMR_SETBKCOLOR, true},
    {wmf::META_SETTEXTCOLOR, emf::EMR_SETTEXTCOLOR, true},
    {wmf::META_SETMAPPERFLAGS, emf::EMR_SETMAPPERFLAGS, true},
};
inline const OneValueRecord* OneValueRecordOf(WORD function) {
  for (const OneValueRecord& r : kOneValueRecords)
    if (r.function == function) return &r;
  return nullptr;
}
inline const OneValueRecord* OneValueRecordOfType(DWORD type) {
  for (const OneValueRecord& r : kOneValueRecords)
    if (r.type == type) return &r;
  return nullptr;
}

// Handles from bytes that the caller has checked.
HMETAFILE NewMetaFile(std::vector<BYTE> bits);
HENHMETAFILE NewEnhMetaFile(std::vector<BYTE> bits);

// Reference-device resolution: pixels and millimetres of a live DC, else the screen.
struct DeviceSize {
  int horzRes = 1920, vertRes = 1080;  // pixels
  int horzSize = 508, vertSize = 286;  // millimetres
};
DeviceSize ReferenceDevice(HDC dc);

inline std::int16_t Clamp16(long long v) {
  return static_cast<std::int16_t>(std::clamp<long long>(v, INT16_MIN, INT16_MAX));
}

}  // namespace vel::gdi::meta
