// Shared by the metafile sources only: little-endian record builders and the
// creation of handles from checked bytes.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/metafile_records.h"

namespace vel::gdi::meta {

// Parameters of one record, written little-endian.
class Params {
 public:
  Params& u16(WORD v) {
    b_.push_back(static_cast<BYTE>(v));
    b_.push_back(static_cast<BYTE>(v >> 8));
    return *this;
  }
  Params& i16(int v) { return u16(static_cast<WORD>(static_cast<std::int16_t>(v))); }
  Params& u32(DWORD v) {
    u16(static_cast<WORD>(v));
    return u16(static_cast<WORD>(v >> 16));
  }
  Params& i32(LONG v) { return u32(static_cast<DWORD>(v)); }
  Params& f32(float v) {
    DWORD d;
    std::memcpy(&d, &v, 4);
    return u32(d);
  }
  Params& rect(const RECTL& r) { return i32(r.left).i32(r.top).i32(r.right).i32(r.bottom); }
  Params& raw(const void* p, size_t n) {
    const BYTE* q = static_cast<const BYTE*>(p);
    b_.insert(b_.end(), q, q + n);
    return *this;
  }
  Params& pad(size_t multiple) {
    while (b_.size() % multiple) b_.push_back(0);
    return *this;
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
    size_t at = out_.size();
    Params r;
    r.u32(type).u32(static_cast<DWORD>(8 + ((params.size() + 3) & ~size_t(3))));
    out_.insert(out_.end(), r.bytes().begin(), r.bytes().end());
    out_.insert(out_.end(), params.bytes().begin(), params.bytes().end());
    while (out_.size() % 4) out_.push_back(0);
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
    std::memcpy(out_.data(), h.bytes().data(), kHeaderSize);
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
    size_t words = 3 + (params.size() + 1) / 2;
    Params r;
    r.u32(static_cast<DWORD>(words)).u16(function);
    out_.insert(out_.end(), r.bytes().begin(), r.bytes().end());
    out_.insert(out_.end(), params.bytes().begin(), params.bytes().end());
    if (out_.size() % 2) out_.push_back(0);
    maxRecord_ = std::max<DWORD>(maxRecord_, static_cast<DWORD>(words));
  }
  size_t size() const { return out_.size(); }
  std::vector<BYTE> finish(WORD objects) {
    record(wmf::META_EOF, Params{});
    Params h;
    h.u16(1).u16(9).u16(0x0300).u32(static_cast<DWORD>(out_.size() / 2)).u16(objects).u32(maxRecord_).u16(0);
    std::memcpy(out_.data(), h.bytes().data(), sizeof(METAHEADER));
    return std::move(out_);
  }
  std::vector<BYTE>& bytes() { return out_; }

 private:
  std::vector<BYTE> out_;
  DWORD maxRecord_ = 3;
};

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
