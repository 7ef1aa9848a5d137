// WMF and EMF handles: made from checked bytes, read from and written to files.
#include <cstring>
#include <new>
#include <string>
#include <type_traits>

#include "platform/base/file.h"
#include "platform/gdi/metafile_internal.h"
#include "platform/gdi/objects.h"

namespace vel::gdi::meta {
namespace {

template <typename Metafile>
Metafile* NewHandle(std::vector<BYTE> bits) {
  auto* m = new (std::nothrow) Metafile;
  if (!m) return nullptr;
  m->bits = std::move(bits);
  Register(m);
  return m;
}

}  // namespace

HMETAFILE NewMetaFile(std::vector<BYTE> bits) { return NewHandle<MetaFile>(std::move(bits)); }
HENHMETAFILE NewEnhMetaFile(std::vector<BYTE> bits) { return NewHandle<EnhMetaFile>(std::move(bits)); }

DeviceSize ReferenceDevice(HDC dc) {
  DeviceSize d;
  HDC screen = nullptr;
  if (!Live(dc)) dc = screen = GetDC(nullptr);
  if (dc) {
    int hr = GetDeviceCaps(dc, HORZRES), vr = GetDeviceCaps(dc, VERTRES);
    int hs = GetDeviceCaps(dc, HORZSIZE), vs = GetDeviceCaps(dc, VERTSIZE);
    // A device that cannot tell its size keeps the defaults rather than dividing by 0.
    if (hr > 0 && vr > 0 && hs > 0 && vs > 0) d = DeviceSize{hr, vr, hs, vs};
  }
  if (screen) ReleaseDC(nullptr, screen);
  return d;
}

}  // namespace vel::gdi::meta

namespace {

using namespace vel::gdi;

// Files larger than this are not metafiles we would want to hold in memory.
constexpr long long kMaxFileBytes = 1LL << 30;

bool ReadWholeFile(const char* path, std::vector<BYTE>& out) { return vel::ReadWholeFile(path, out, kMaxFileBytes); }

// Written beside the target under a temporary name and renamed over it only when
// complete, so a failed write never leaves a half file where the old one was.
bool WriteFileAtomically(const char* path, const std::vector<BYTE>& bytes) {
  return path && *path && vel::ReplaceFileContents(path, bytes, "metafile");
}

// The bytes of a metafile up to and including its end record: trailing bytes in a
// file are not part of the metafile and are not kept. 0 when they are no metafile.
template <typename Record>
size_t LengthOf(const BYTE* data, const vel::Expected<std::vector<Record>>& records) {
  if (!records || records->empty()) return 0;
  const Record& last = records->back();
  return static_cast<size_t>(last.data - data) + last.size;
}

template <typename Handle>
Handle FromBits(const BYTE* data, size_t size, Handle (*make)(std::vector<BYTE>)) {
  if (!data || size == 0) return nullptr;
  size_t length = 0;
  if constexpr (std::is_same_v<Handle, HMETAFILE>)
    length = LengthOf(data, wmf::ReadRecords(data, size));
  else
    length = LengthOf(data, emf::ReadRecords(data, size));
  if (!length) return nullptr;
  return make(std::vector<BYTE>(data, data + length));
}

UINT CopyOut(const std::vector<BYTE>& bits, UINT size, void* out) {
  if (bits.size() > UINT32_MAX) return 0;
  if (!out) return static_cast<UINT>(bits.size());
  if (size < bits.size()) return 0;
  std::memcpy(out, bits.data(), bits.size());
  return static_cast<UINT>(bits.size());
}

template <typename Handle>
UINT BitsOf(Handle metafile, UINT size, void* out) {
  auto* m = Live(metafile);
  return m ? CopyOut(m->bits, size, out) : 0;
}

template <typename Handle>
BOOL DeleteHandle(Handle metafile) {
  auto* m = Live(metafile);
  if (!m) return FALSE;
  Unregister(m);
  delete m;
  return TRUE;
}

}  // namespace

HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) { return FromBits(data, size, meta::NewMetaFile); }

UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID out) { return BitsOf(metafile, size, out); }

HMETAFILE GetMetaFileA(LPCSTR path) {
  std::vector<BYTE> file;
  if (!ReadWholeFile(path, file)) return nullptr;
  vel::ByteReader in(file);
  const auto placeable = wmf::ReadPlaceable(in);
  HMETAFILE m = FromBits(in.rest().data(), in.remaining(), meta::NewMetaFile);
  if (m && placeable) {
    m->hasPlaceable = true;
    m->placeable = *placeable;
  }
  return m;
}

HMETAFILE CopyMetaFileA(HMETAFILE metafile, LPCSTR path) {
  MetaFile* m = Live(metafile);
  if (!m) return nullptr;
  if (path && !WriteFileAtomically(path, m->bits)) return nullptr;
  HMETAFILE copy = meta::NewMetaFile(m->bits);
  if (copy) {
    copy->hasPlaceable = m->hasPlaceable;
    copy->placeable = m->placeable;
  }
  return copy;
}

BOOL DeleteMetaFile(HMETAFILE metafile) { return DeleteHandle(metafile); }

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) { return FromBits(data, size, meta::NewEnhMetaFile); }

UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE out) { return BitsOf(metafile, size, out); }

HENHMETAFILE GetEnhMetaFileA(LPCSTR path) {
  std::vector<BYTE> file;
  if (!ReadWholeFile(path, file)) return nullptr;
  return FromBits(file.data(), file.size(), meta::NewEnhMetaFile);
}

UINT GetEnhMetaFileHeader(HENHMETAFILE metafile, UINT size, ENHMETAHEADER* out) {
  ENHMETAHEADER header;
  if (!emf::ReadHeader(metafile, header)) return 0;
  UINT recordSize = std::min<UINT>(header.nSize, sizeof header);
  if (!out) return recordSize;
  UINT n = std::min(size, recordSize);
  if (n == 0) return 0;
  std::memcpy(out, &header, n);
  return n;
}

HENHMETAFILE CopyEnhMetaFileA(HENHMETAFILE metafile, LPCSTR path) {
  EnhMetaFile* m = Live(metafile);
  if (!m) return nullptr;
  if (path && !WriteFileAtomically(path, m->bits)) return nullptr;
  return meta::NewEnhMetaFile(m->bits);
}

BOOL DeleteEnhMetaFile(HENHMETAFILE metafile) { return DeleteHandle(metafile); }
