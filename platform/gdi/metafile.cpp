// WMF and EMF handles: made from checked bytes, read from and written to files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "platform/base/file.h"
#include "platform/gdi/metafile_internal.h"
#include "platform/gdi/objects.h"

namespace vel::gdi::meta {

HMETAFILE NewMetaFile(std::vector<BYTE> bits) {
  auto* m = new (std::nothrow) MetaFile;
  if (!m) return nullptr;
  m->bits = std::move(bits);
  Register(m);
  return m;
}

HENHMETAFILE NewEnhMetaFile(std::vector<BYTE> bits) {
  auto* m = new (std::nothrow) EnhMetaFile;
  if (!m) return nullptr;
  m->bits = std::move(bits);
  Register(m);
  return m;
}

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
  if (!path || !*path) return false;
  std::string temp = std::string(path) + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  // mkstemp makes the file private; a metafile is an ordinary document.
  if (ok) fchmod(fd, 0644);
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// The bytes of a WMF up to and including META_EOF: trailing bytes in a file are
// not part of the metafile and are not kept.
size_t WmfLength(const BYTE* data, size_t size) {
  std::vector<wmf::Record> records;
  if (!wmf::ParseRecords(data, size, &records) || records.empty()) return 0;
  const wmf::Record& last = records.back();
  return static_cast<size_t>(last.data - data) + last.size;
}

size_t EmfLength(const BYTE* data, size_t size) {
  std::vector<emf::Record> records;
  if (!emf::ParseRecords(data, size, &records) || records.empty()) return 0;
  const emf::Record& last = records.back();
  return static_cast<size_t>(last.data - data) + last.size;
}

UINT CopyOut(const std::vector<BYTE>& bits, UINT size, void* out) {
  if (bits.size() > UINT32_MAX) return 0;
  if (!out) return static_cast<UINT>(bits.size());
  if (size < bits.size()) return 0;
  std::memcpy(out, bits.data(), bits.size());
  return static_cast<UINT>(bits.size());
}

}  // namespace

HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) {
  if (!data || size == 0) return nullptr;
  size_t length = WmfLength(data, size);
  if (!length) return nullptr;
  return meta::NewMetaFile(std::vector<BYTE>(data, data + length));
}

UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID out) {
  MetaFile* m = Live(metafile);
  return m ? CopyOut(m->bits, size, out) : 0;
}

HMETAFILE GetMetaFileA(LPCSTR path) {
  std::vector<BYTE> file;
  if (!ReadWholeFile(path, file)) return nullptr;
  size_t start = 0;
  METAFILEHEADER_PLACEABLE placeable{};
  bool hasPlaceable = false;
  if (file.size() >= sizeof placeable) {
    std::memcpy(&placeable, file.data(), sizeof placeable);
    if (placeable.key == kPlaceableKey) {
      start = sizeof placeable;
      hasPlaceable = true;
    }
  }
  size_t length = WmfLength(file.data() + start, file.size() - start);
  if (!length) return nullptr;
  HMETAFILE m = meta::NewMetaFile(std::vector<BYTE>(file.begin() + start, file.begin() + start + length));
  if (m && hasPlaceable) {
    m->hasPlaceable = true;
    m->placeable = placeable;
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

BOOL DeleteMetaFile(HMETAFILE metafile) {
  MetaFile* m = Live(metafile);
  if (!m) return FALSE;
  Unregister(m);
  delete m;
  return TRUE;
}

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) {
  if (!data || size == 0) return nullptr;
  size_t length = EmfLength(data, size);
  if (!length) return nullptr;
  return meta::NewEnhMetaFile(std::vector<BYTE>(data, data + length));
}

UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE out) {
  EnhMetaFile* m = Live(metafile);
  return m ? CopyOut(m->bits, size, out) : 0;
}

HENHMETAFILE GetEnhMetaFileA(LPCSTR path) {
  std::vector<BYTE> file;
  if (!ReadWholeFile(path, file)) return nullptr;
  size_t length = EmfLength(file.data(), file.size());
  if (!length) return nullptr;
  file.resize(length);
  return meta::NewEnhMetaFile(std::move(file));
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

BOOL DeleteEnhMetaFile(HENHMETAFILE metafile) {
  EnhMetaFile* m = Live(metafile);
  if (!m) return FALSE;
  Unregister(m);
  delete m;
  return TRUE;
}
