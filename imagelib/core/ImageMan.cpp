#include "imagelib/core/ImageMan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>
#include <vector>

#include "imagelib/core/Common.h"
#include "imagelib/formats/jpeg_decode.h"
#include "platform/base/file.h"

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

int CImageMan::IsVectorImage(HIMG* handle) {
  if (!IsLoaded(handle)) return 0;
  GUARDED(lorimer::codec::IsVector(*handle) ? 1 : 0, 0)
}

HMETAFILE CImageMan::GetHWMF(HIMG* handle) {
  if (!IsLoaded(handle)) return nullptr;
  try {
    int page = GetSelectedPage(handle);
    if (page != 0 && !SelectPage(handle, 0)) return nullptr;
    RECT frame{0, 0, GetWidth(handle), GetHeight(handle)};
    return CImageManKeeper::ImgGetWMF(*handle, &frame);
  } catch (...) {
    return nullptr;
  }
}

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

HIMG CImageMan::InitImageFromHBITMAP(HBITMAP bitmap){GUARDED(CImageManKeeper::ImgFromDIBSection(bitmap), nullptr)}

HIMG CImageMan::InitImageFromHDIB(HGLOBAL dib){GUARDED(CImageManKeeper::ImgFromDIB(dib), nullptr)}

HIMG CImageMan::InitImageFromHWMF(HMETAFILE metafile,
                                  const RECT* frame){GUARDED(CImageManKeeper::ImgFromWMF(metafile, frame), nullptr)}

// ---- JPEG ---------------------------------------------------------------------------

HBITMAP CIntelJPEGKeeper::Read(const char* path, Result* result, int fitWidth, int fitHeight) {
  if (!path || std::strlen(path) >= kMaxImagePath) return nullptr;
  std::vector<std::uint8_t> data;
  if (!vel::ReadWholeFile(path, data, (std::uint64_t(1) << 31) - 1) || data.size() < 4) return nullptr;
  const size_t done = data.size();
  lorimer::formats::JpegInfo info;
  int shrink = 1;
  if (fitWidth > 0 && fitHeight > 0 && lorimer::formats::ReadJpegHeader(data.data(), done, &info)) {
    int width = info.width, height = info.height;
    Common::CalculateProportionallyRect(&width, &height, fitWidth, fitHeight);
    shrink = lorimer::formats::JpegShrinkFor(info.width, info.height, width, height);
  }
  HBITMAP bitmap = lorimer::formats::DecodeJpegToDib(data.data(), done, false, &info, shrink);
  if (bitmap && result) {
    result->width = info.width;
    result->height = info.height;
    result->bitCount = info.bitCount;
    result->components = info.components;
  }
  return bitmap;
}

int CIntelJPEG::CalculateDibLineWidth(int bits, int width) { return Common::CalculateDibLineWidth(bits, width); }

void CIntelJPEG::BGRA_to_RGBA(BYTE* pixels, int width, int height) {
  if (!pixels || width <= 0 || height <= 0) return;
  size_t n = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < n; ++i) std::swap(pixels[4 * i], pixels[4 * i + 2]);
}

void CIntelJPEG::RGBA_FPX_to_BGRA(BYTE* pixels, int width, int height) {
  if (!pixels || width <= 0 || height <= 0) return;
  size_t n = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < n; ++i) {
    BYTE* p = pixels + 4 * i;
    unsigned a = p[3];
    BYTE b0 = static_cast<BYTE>((p[2] * a + 1) >> 8);
    BYTE b1 = static_cast<BYTE>((p[1] * a + 1) >> 8);
    BYTE b2 = static_cast<BYTE>((p[0] * a + 1) >> 8);
    p[0] = b0;
    p[1] = b1;
    p[2] = b2;
  }
}

HBITMAP CIntelJPEG::ReadJPEG(const char* path, _SRCIMAGEINFO* info, int fitWidth, int fitHeight) {
  CIntelJPEGKeeper::Result r;
  HBITMAP bitmap;
  try {
    bitmap = CIntelJPEGKeeper::Read(path, &r, fitWidth, fitHeight);
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
