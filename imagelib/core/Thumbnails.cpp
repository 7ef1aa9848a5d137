// Thumbnails: a page fitted into a box, optionally framed, as an image, a BMP file
// or a bitmap. The held image is left as it was. Files loaded only to make one go
// through CThumbnailSource, which decodes a JPEG no larger than needed.
#include <cstring>

#include "imagelib/codec/codec_api.h"
#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/core/Thumbnails.h"
#include "imagelib/formats/reader.h"
#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"

namespace {

long MethodFor(QUALITY quality) {
  switch (quality) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 2;
    default: return 4;
  }
}

void Line(HDC dc, int x, int y, COLORREF color) {
  const vel::gdi::OwnedPen pen(CreatePen(PS_SOLID, 1, color));
  const vel::gdi::ScopedSelect select(dc, pen.get());
  LineTo(dc, x, y);
}

// The selected page of a pageWidth x pageHeight picture fitted into the box. The size
// comes from the picture's own size, so that a page held smaller than that (a JPEG
// decoded at a fraction of its size) gives the same thumbnail size and frame.
HIMG FittedThumbnail(HIMG* handle, int pageWidth, int pageHeight, int maxWidth, int maxHeight, QUALITY quality,
                     int border, DWORD background, int page) {
  int width = pageWidth, height = pageHeight;
  Common::CalculateProportionallyRect(&width, &height, maxWidth, maxHeight);
  if (border) {
    width -= 2;
    height -= 2;
  }
  if (width <= 0 || height <= 0) return nullptr;
  // Work on a second reference, so that making the page 24-bit on the way leaves
  // the caller's image as it was.
  HIMG work = lorimer::codec::AddReference(*handle);
  int clonePage = page;
  HIMG clone = CImageProcessor::CloneHandle(&work, MethodFor(quality), width, height, 3, background, clonePage);
  if (!clone) {
    clonePage = page;
    clone = CImageProcessor::CloneHandle(&work, -1, width, height, 3, background, clonePage);
  }
  CImageMan::CloseHandle(&work);
  if (!clone || !border) return clone;

  vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(width + 2, height + 2, background, 0));
  if (!section) {
    CImageMan::CloseHandle(&clone);
    return nullptr;
  }
  int drawn;
  {
    const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const vel::gdi::ScopedSelect select(dc.get(), section.get());
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    // One to one inside the frame (our rectangles exclude right and bottom).
    RECT dest{1, 1, width + 1, height + 1};
    RECT src{0, 0, width, height};
    drawn = CImageMan::DrawHandle(&clone, dc.get(), &dest, &src);
    CImageMan::CloseHandle(&clone);
    MoveToEx(dc.get(), 0, height + 1, nullptr);
    Line(dc.get(), 0, 0, GetSysColor(COLOR_3DLIGHT));
    Line(dc.get(), width + 1, 0, GetSysColor(COLOR_3DLIGHT));
    Line(dc.get(), width + 1, height + 1, GetSysColor(COLOR_BTNSHADOW));
    Line(dc.get(), 0, height + 1, GetSysColor(COLOR_BTNSHADOW));
  }
  HIMG framed = drawn ? CImageMan::InitImageFromHBITMAP(section.get()) : nullptr;
  if (framed) static_cast<void>(section.release());
  return framed;
}

// -1 stands for the screen's depth.
int ThumbnailDepth(int depth) {
  if (depth != -1) return depth;
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  return GetDeviceCaps(dc.get(), BITSPIXEL);
}

// Writes the thumbnail as a BMP file at its own size and closes it.
int SaveThumbnail(HIMG thumb, char* path, int gray, int depth, int* width, int* height) {
  if (!thumb) return 0;
  int tw = CImageMan::GetWidth(&thumb), th = CImageMan::GetHeight(&thumb);
  if (width) *width = tw;
  if (height) *height = th;
  _SAVEIMAGEINFO::_BMP record{};
  record.width = tw;
  record.height = th;
  record.method = 4;
  record.gray = gray;
  record.depth = depth;
  int result = CImageSaver::Save(&thumb, path, &record);
  CImageMan::CloseHandle(&thumb);
  return result;
}

}  // namespace

HIMG CImageProcessor::CreateThumbnailHandle(HIMG* handle, int maxWidth, int maxHeight, QUALITY quality, int border,
                                            DWORD background, int, int, int page) {
  if (!IsLoaded(handle)) return nullptr;
  if (page != GetSelectedPage(handle) && !SelectPage(handle, page)) return nullptr;
  return FittedThumbnail(handle, GetWidth(handle), GetHeight(handle), maxWidth, maxHeight, quality, border, background,
                         page);
}

int CImageSaver::CreateThumbnailFilePath(HIMG* handle, int maxWidth, int maxHeight, QUALITY quality, char* path,
                                         int border, DWORD background, int gray, int depth, int* width, int* height,
                                         int page) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (maxWidth <= 0 || maxHeight <= 0 || !CImageMan::IsLoaded(handle) || !path) return 0;
  depth = ThumbnailDepth(depth);
  HIMG thumb = CImageProcessor::CreateThumbnailHandle(handle, maxWidth, maxHeight, quality, border, background, gray,
                                                      depth, page);
  return SaveThumbnail(thumb, path, gray, depth, width, height);
}

int CImageSaver::CreateThumbnailFileEx(HIMG* handle, int maxWidth, int maxHeight, QUALITY quality, char* path,
                                       int border, DWORD background, int gray, int depth, int* width, int* height,
                                       int page) {
  if (!path) return 0;
  std::memset(path, 0, 4);
  char folder[MAX_PATH];
  char name[MAX_PATH];
  if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "lrmr_", 0, name)) return 0;
  if (!CreateThumbnailFilePath(handle, maxWidth, maxHeight, quality, name, border, background, gray, depth, width,
                               height, page)) {
    DeleteFileA(name);  // no empty temporary file left behind
    return 0;
  }
  std::strcpy(path, name);
  return 1;
}

// ---- thumbnails straight from a file ------------------------------------------------

CThumbnailSource::~CThumbnailSource() { CImageMan::CloseHandle(&m_hReduced); }

int CThumbnailSource::Load(const char* path, int maxWidth, int maxHeight) {
  CImageMan::CloseHandle(&m_hReduced);
  m_whole.CloseHandle();
  m_nWidth = m_nHeight = 0;
  if (!path || !*path) return 0;
  // The JPEG loader comes first for these names on the load path too; whatever it
  // refuses takes that path all the way.
  if (maxWidth > 0 && maxHeight > 0 && CImageLoader::GetTypeByExtension(path) == FORMAT_JPG) {
    _SRCIMAGEINFO info;
    std::memset(static_cast<void*>(&info), 0, sizeof info);
    vel::gdi::OwnedBitmap section(CIntelJPEG::ReadJPEG(path, &info, maxWidth, maxHeight));
    m_hReduced = section ? CImageMan::InitImageFromHBITMAP(section.get()) : nullptr;
    if (m_hReduced) {
      static_cast<void>(section.release());
      m_nWidth = info.nWidth;
      m_nHeight = info.nHeight;
      return 1;
    }
  }
  return m_whole.Load(path, 1);
}

int CThumbnailSource::CreateThumbnailFilePath(int maxWidth, int maxHeight, char* path, QUALITY quality, int border,
                                              DWORD background, int gray, int depth, int* width, int* height,
                                              int page) {
  if (!m_hReduced)
    return m_whole.CreateThumbnailFilePath(maxWidth, maxHeight, path, quality, border, background, gray, depth, width,
                                           height, page);
  if (width) *width = 0;
  if (height) *height = 0;
  // A JPEG has one page.
  if (maxWidth <= 0 || maxHeight <= 0 || !path || page != 0) return 0;
  HIMG thumb =
      FittedThumbnail(&m_hReduced, m_nWidth, m_nHeight, maxWidth, maxHeight, quality, border, background, page);
  return SaveThumbnail(thumb, path, gray, ThumbnailDepth(depth), width, height);
}
