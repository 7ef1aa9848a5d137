#include "imagelib/core/ImageMan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "imagelib/core/Common.h"
#include "imagelib/formats/jpeg_decode.h"

// Every entry catches what the codec might throw: callers only ever see 0 or null.
#define GUARDED(expr, fail) \
  try {                     \
    return expr;            \
  } catch (...) {           \
    return fail;            \
  }

int CImageMan::IsLoaded(HIMG* handle) { return handle && *handle ? 1 : 0; }

void CImageMan::CloseHandle(HIMG* handle) {
  if (!handle || !*handle) return;
  try {
    CImageManKeeper::ImgClose(*handle);
  } catch (...) {
  }
  *handle = nullptr;
}

const BITMAPINFOHEADER* CImageMan::GetBITMAPINFOPointer(HIMG* handle) {
  if (!IsLoaded(handle)) return nullptr;
  GUARDED(CImageManKeeper::ImgGetInfo(*handle, nullptr), nullptr)
}

int CImageMan::GetWidth(HIMG* handle) {
  const BITMAPINFOHEADER* h = GetBITMAPINFOPointer(handle);
  return h ? h->biWidth : 0;
}

int CImageMan::GetHeight(HIMG* handle) {
  const BITMAPINFOHEADER* h = GetBITMAPINFOPointer(handle);
  return h ? (h->biHeight < 0 ? -h->biHeight : h->biHeight) : 0;
}

int CImageMan::GetColorDepth(HIMG* handle) {
  const BITMAPINFOHEADER* h = GetBITMAPINFOPointer(handle);
  return h ? h->biBitCount : 0;
}

int CImageMan::GetPageCount(HIMG* handle) {
  if (!IsLoaded(handle)) return 0;
  int count = 0;
  try {
    if (CImageManKeeper::ImgPageCount(*handle, &count) != 1) return 0;
  } catch (...) {
    return 0;
  }
  return count;
}

int CImageMan::GetSelectedPage(HIMG* handle) {
  if (!IsLoaded(handle)) return 0;
  int page = 0;
  try {
    if (CImageManKeeper::ImgGetPage(*handle, &page) != 1) return 0;
  } catch (...) {
    return 0;
  }
  return page;
}

int CImageMan::SelectPage(HIMG* handle, int page) {
  if (!IsLoaded(handle)) return 0;
  GUARDED(CImageManKeeper::ImgSetPage(*handle, page) == 1 ? 1 : 0, 0)
}

HBITMAP CImageMan::GetHBITMAP(HIMG* handle) {
  if (!IsLoaded(handle)) return nullptr;
  GUARDED(CImageManKeeper::ImgGetHBitmap(*handle), nullptr)
}

HGLOBAL CImageMan::GetHDIB(HIMG* handle) {
  if (!IsLoaded(handle)) return nullptr;
  GUARDED(CImageManKeeper::ImgGetDIB(*handle, 0), nullptr)
}

// Every image the codec holds so far is a raster image.
int CImageMan::IsVectorImage(HIMG*) { return 0; }

int CImageMan::DrawHandle(HIMG* handle, HDC dc, const RECT* dest, const RECT* src) {
  if (!IsLoaded(handle)) return 0;
  GUARDED(CImageManKeeper::ImgDrawImage(*handle, dc, dest, src), 0)
}

int CImageMan::DrawHandleFX(HIMG* handle, HDC dc, const RECT* dest, const RECT* src, UINT effect, DWORD p1, DWORD p2,
                            BOOL (*cb)(void*, UINT, DWORD), UINT msg, DWORD data, HPALETTE pal) {
  if (!IsLoaded(handle)) return 0;
  GUARDED(CImageManKeeper::ImgDrawImageFX(*handle, dc, dest, src, effect, p1, p2, cb, msg, data, pal), 0)
}

int CImageMan::PrintHandle(HIMG* handle, HDC dc, const RECT* dest, const RECT* src) {
  if (!IsLoaded(handle)) return 0;
  GUARDED(CImageManKeeper::ImgPrintImage(*handle, dc, dest, src), 0)
}

HIMG CImageMan::InitImageFromHBITMAP(HBITMAP bitmap) { GUARDED(CImageManKeeper::ImgFromDIBSection(bitmap), nullptr) }

HIMG CImageMan::InitImageFromHDIB(HGLOBAL dib) { GUARDED(CImageManKeeper::ImgFromDIB(dib), nullptr) }

// ---- CImageProcessor ---------------------------------------------------------

HIMG CImageProcessor::CloneHandle(HIMG* handle, long, int width, int height, int, DWORD background, int& page) {
  if (!IsLoaded(handle)) return nullptr;
  // The page's size answers for -1; asking selects the page.
  if (page != GetSelectedPage(handle)) SelectPage(handle, page);
  if (width == -1) width = GetWidth(handle);
  if (height == -1) height = GetHeight(handle);
  if (width <= 0 || height <= 0) return nullptr;
  HBITMAP section = Common::CreateEmptyDIBSection(width, height, background, 0);
  if (!section) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, section);
  int previous = SetStretchBltMode(dc, COLORONCOLOR);
  RECT dest{0, 0, width, height};
  int drawn = DrawHandle(handle, dc, &dest, nullptr);
  SetStretchBltMode(dc, previous);
  SelectObject(dc, old);
  DeleteDC(dc);
  HIMG clone = drawn ? InitImageFromHBITMAP(section) : nullptr;
  if (!clone) {
    DeleteObject(section);
    return nullptr;
  }
  page = 0;
  return clone;
}

HBITMAP CImageProcessor::CropImage(HIMG* handle, RECT& rect, int& page) {
  if (!IsLoaded(handle) || rect.left >= rect.right || rect.top >= rect.bottom) return nullptr;
  if (page != GetSelectedPage(handle) && !SelectPage(handle, page)) return nullptr;
  int width = GetWidth(handle), height = GetHeight(handle);
  rect.left = std::max<LONG>(rect.left, 0);
  rect.top = std::max<LONG>(rect.top, 0);
  rect.right = std::min<LONG>(rect.right, width);
  rect.bottom = std::min<LONG>(rect.bottom, height);
  if (rect.left >= rect.right || rect.top >= rect.bottom) return nullptr;
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  HBITMAP section = Common::CreateEmptyDIBSection(w, h, 0xFFFFFFFF, 0);
  if (!section) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, section);
  SetStretchBltMode(dc, COLORONCOLOR);
  RECT dest{0, 0, w, h};
  // Our codec's source rectangles end before right and bottom, so the clamped
  // rectangle is drawn as it is, one to one. Callers have always seen the
  // rectangle grown by one pixel to the right and bottom; they still do.
  RECT source = rect;
  rect.right += 1;
  rect.bottom += 1;
  int drawn = DrawHandle(handle, dc, &dest, &source);
  SelectObject(dc, old);
  DeleteDC(dc);
  if (!drawn) {
    DeleteObject(section);
    return nullptr;
  }
  return section;
}

// ---- JPEG ---------------------------------------------------------------------------

HBITMAP CIntelJPEGKeeper::Read(const char* path, Result* result) {
  if (!path || std::strlen(path) >= kMaxImagePath) return nullptr;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  std::vector<std::uint8_t> data;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size < (off_t(1) << 31);
  if (ok) {
    try {
      data.resize(static_cast<size_t>(st.st_size));
    } catch (...) {
      ok = false;
    }
  }
  size_t done = 0;
  while (ok && done < data.size()) {
    ssize_t n = ::read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok || done < 4) return nullptr;
  lorimer::formats::JpegInfo info;
  HBITMAP bitmap = lorimer::formats::DecodeJpegToDib(data.data(), done, false, &info);
  if (bitmap && result) {
    result->width = info.width;
    result->height = info.height;
    result->bitCount = info.bitCount;
    result->components = info.components;
  }
  return bitmap;
}

int CIntelJPEG::CalculateDibLineWidth(int bits, int width) { return Common::CalculateDibLineWidth(bits, width); }

HBITMAP CIntelJPEG::ReadJPEG(const char* path, _SRCIMAGEINFO* info) {
  CIntelJPEGKeeper::Result r;
  HBITMAP bitmap;
  try {
    bitmap = CIntelJPEGKeeper::Read(path, &r);
  } catch (...) {
    return nullptr;
  }
  if (!bitmap) return nullptr;
  if (info) {
    info->nWidth = r.width;
    info->nHeight = r.height;
    // Gray files are held as 24-bit pixels but reported as what they are.
    info->nColorDepth = r.components == 1 ? 8 : (r.components == 4 ? 32 : 24);
    info->nColors = 0;
    info->nCompression = 0;
    info->bGray = r.components == 1 ? 1 : 0;
  }
  return bitmap;
}
