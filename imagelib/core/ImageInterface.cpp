// CImageInterface: the image object, its load path, queries, drawing and printing.
#include "lorimer/ImageInterface.h"

#include <cstring>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/core/load_failure.h"
#include "imagelib/formats/reader.h"
#include "lorimer/LoadFailure.h"
#include "platform/base/file.h"
#include "platform/gdi/owned.h"

CImageInterface::CImageInterface() { std::memset(static_cast<void*>(&m_srcInfo), 0, sizeof m_srcInfo); }

CImageInterface::CImageInterface(const CImageInterface& other)
    : m_hImage(lorimer::codec::AddReference(other.m_hImage)) {
  m_srcInfo = other.m_srcInfo;
}

CImageInterface& CImageInterface::operator=(const CImageInterface& other) {
  if (this == &other) return *this;
  HIMG shared = lorimer::codec::AddReference(other.m_hImage);
  CloseHandle();
  m_hImage = shared;
  m_srcInfo = other.m_srcInfo;
  return *this;
}

CImageInterface::~CImageInterface() { CloseHandle(); }

void CImageInterface::CloseHandle() { CImageMan::CloseHandle(&m_hImage); }

// ---- loading ---------------------------------------------------------------------

int CImageInterface::LoadByImageMan(const char* path, int loadNow) {
  m_hImage = m_loader.LoadUsingImgMan(path, &m_srcInfo, loadNow);
  return m_hImage ? 1 : 0;
}

int CImageInterface::LoadByDibLook(const char* path) {
  m_hImage = m_loader.LoadUsingDibLook(path, &m_srcInfo);
  return m_hImage ? 1 : 0;
}

int CImageInterface::LoadByJPEG(const char* path) {
  m_hImage = m_loader.LoadUsingIntelJPEG(path, &m_srcInfo);
  return m_hImage ? 1 : 0;
}

int CImageInterface::LoadByFPX(const char* path) {
  m_hImage = m_loader.LoadUsingIntelFPX(path, &m_srcInfo);
  return m_hImage ? 1 : 0;
}

int CImageInterface::LoadMETAFILE(const char* path) {
  m_hImage = m_loader.LoadMETAFILE(path, &m_srcInfo);
  return m_hImage ? 1 : 0;
}

int CImageInterface::LoadUsingEPSExtension(const char* path) {
  m_hImage = m_loader.LoadUsingEPSExtension(path, &m_srcInfo);
  return m_hImage ? 1 : 0;
}

int CImageInterface::LoadByCIcon(const char* path) {
  if (!path || !*path) return 0;
  CloseHandle();
  m_hImage = m_loader.LoadUsingCIcon(path, &m_srcInfo);
  if (!m_hImage) return 0;
  CImageLoader::SetPath(&m_srcInfo, path);
  return 1;
}

int CImageInterface::Load(const char* path, int loadNow) {
  lorimer::ClearLoadFailure();
  if (!path || !*path) {
    lorimer::NoteLoadFailure("no file name", lorimer::FailureRank::kRecognised);
    return 0;
  }
  CloseHandle();
  m_srcInfo.nFormat = GetTypeByExtension(path);
  // No file system takes paths this long; and szPath could not hold it.
  if (std::strlen(path) >= sizeof m_srcInfo.szPath) {
    lorimer::NoteLoadFailure("the path is too long", lorimer::FailureRank::kRecognised);
    return 0;
  }

  int ok = 0;
  switch (m_srcInfo.nFormat) {
    case FORMAT_UNKNOWN:
      // Icons come last: every other reader must have said no first.
      ok = LoadByDibLook(path) || LoadByJPEG(path) || LoadByFPX(path) || LoadMETAFILE(path) ||
           LoadUsingEPSExtension(path) || LoadByImageMan(path, loadNow) || LoadByCIcon(path);
      break;
    case FORMAT_BMP: ok = LoadByDibLook(path) || LoadByImageMan(path, loadNow); break;
    case FORMAT_FPX:
      // There is no FlashPix decoder, but the codec may know what the file really holds.
      ok = LoadByFPX(path) || LoadByImageMan(path, loadNow);
      if (ok) FlashPixPostStep();
      break;
    case FORMAT_JPG: ok = LoadByJPEG(path) || LoadByImageMan(path, loadNow); break;
    case FORMAT_EPS: ok = LoadUsingEPSExtension(path) || LoadByImageMan(path, loadNow); break;
    case FORMAT_WMF:
    case FORMAT_EMF: ok = LoadMETAFILE(path) || LoadByImageMan(path, loadNow); break;
    case FORMAT_ICO: ok = LoadByCIcon(path); break;
    default: ok = LoadByImageMan(path, loadNow); break;
  }
  if (ok && IsLoaded() && (m_srcInfo.nFormat == FORMAT_WPG || m_srcInfo.nFormat == FORMAT_DXF))
    CImageLoader::LoadMetafileInfo(&m_hImage, &m_srcInfo);
  const bool loaded = ok && IsLoaded();
  if (loaded) {
    lorimer::ClearLoadFailure();
  } else if (lorimer::LastLoadFailure().empty()) {
    lorimer::NoteLoadFailure("no reader recognises the file", lorimer::FailureRank::kNotRecognised);
  }
  return loaded ? 1 : 0;
}

int CImageInterface::InitFromHBITMAP(HBITMAP bitmap) {
  CloseHandle();
  // The bitmap was handed over: when it cannot be wrapped it is ours to free.
  vel::gdi::OwnedBitmap owned(bitmap);
  m_hImage = CImageMan::InitImageFromHBITMAP(owned.get());
  if (m_hImage) static_cast<void>(owned.release());
  GetImageInfo();
  return IsLoaded();
}

void CImageInterface::InitFromImage(CImageInterface* source, int page) {
  if (!source || !source->IsLoaded() || source == this) return;
  CloseHandle();
  m_hImage = source->m_hImage;
  source->m_hImage = nullptr;
  GetImageInfo();
  if (CImageMan::IsVectorImage(&m_hImage)) {
    // The source keeps a drawing of its own, at the size of page 0.
    RECT frame{0, 0, GetWidth(0), GetHeight(0)};
    vel::gdi::OwnedMetaFile copy(CImageMan::GetHWMF(&m_hImage));
    source->m_hImage = copy ? CImageMan::InitImageFromHWMF(copy.get(), &frame) : nullptr;
    if (source->m_hImage) static_cast<void>(copy.release());
    return;
  }
  // The source keeps a picture of its own: a 24-bit copy of the page.
  int clonePage = page;
  source->m_hImage = CImageProcessor::CloneHandle(&m_hImage, -1, -1, -1, 3, 0xFFFFFF, clonePage);
}

int CImageInterface::InitImageFromHWMF(HMETAFILE metafile, RECT* frame) {
  CloseHandle();
  m_hImage = CImageMan::InitImageFromHWMF(metafile, frame);
  if (!m_hImage) return 0;
  GetImageInfo();
  std::memset(m_srcInfo.szPath, 0, sizeof m_srcInfo.szPath);
  m_srcInfo.nFormat = FORMAT_UNKNOWN;
  return 1;
}

HMETAFILE CImageInterface::GetHWMF() { return IsLoaded() ? CImageMan::GetHWMF(&m_hImage) : nullptr; }

// FlashPix files carry their resolutions as pages, the largest last: the picture is
// the last page's size, rendered into one 24-bit page.
void CImageInterface::FlashPixPostStep() {
  int count = GetPageCount();
  int width = GetWidth(count - 1), height = GetHeight(count - 1);
  int depth = CImageMan::GetColorDepth(&m_hImage);
  int page = count - 1;
  if (CImageProcessor::StretchImage(&m_hImage, -1, width, height, 0, 3, 0xFFFFFF, page)) GetImageInfo();
  m_srcInfo.nColorDepth = depth;
  m_srcInfo.nFormat = FORMAT_FPX;
}

void CImageInterface::GetImageInfo() {
  const BITMAPINFOHEADER* h = CImageMan::GetBITMAPINFOPointer(&m_hImage);
  if (!h) return;
  m_srcInfo.nWidth = h->biWidth;
  m_srcInfo.nHeight = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  m_srcInfo.nColorDepth = h->biBitCount;
  m_srcInfo.nColors = h->biClrUsed;
  m_srcInfo.nFormat = FORMAT_UNKNOWN;
  m_srcInfo.bGray = 0;
}

void CImageInterface::RefreshDepth() {
  if (const BITMAPINFOHEADER* h = CImageMan::GetBITMAPINFOPointer(&m_hImage)) m_srcInfo.nColorDepth = h->biBitCount;
}

// ---- processing ------------------------------------------------------------------------

int CImageInterface::Rotate(float degrees, DWORD background, int& page) {
  int ok = CImageProcessor::Rotate(&m_hImage, degrees, background, page);
  if (ok) GetImageInfo();
  return ok;
}

int CImageInterface::Mirror(int first, int second, int& page) {
  return CImageProcessor::Mirror(&m_hImage, first, second, page);
}

int CImageInterface::StretchImage(long method, int width, int height, int proportional, int quality, DWORD background,
                                  int& page) {
  int ok = CImageProcessor::StretchImage(&m_hImage, method, width, height, proportional, quality, background, page);
  if (ok) GetImageInfo();
  return ok;
}

int CImageInterface::FilterImage(int filter, int& page) {
  int ok = CImageProcessor::FilterHandle(&m_hImage, filter, page);
  if (ok) GetImageInfo();
  return ok;
}

int CImageInterface::InvertImage(int page) {
  int ok = CImageProcessor::InvertHandle(&m_hImage, page);
  if (ok) GetImageInfo();
  return ok;
}

int CImageInterface::SetBrightness(int level, int& page) {
  int ok = CImageProcessor::SetBrightness(&m_hImage, level, page);
  if (ok) GetImageInfo();
  return ok;
}

int CImageInterface::SetContrast(int level, int second, int& page, int third) {
  int ok = CImageProcessor::SetContrast(&m_hImage, level, third, second, page);
  if (ok) GetImageInfo();
  return ok;
}

int CImageInterface::SetColorDepth(int bits, int page) {
  int ok = CImageProcessor::ChangeColorDepth(&m_hImage, bits, static_cast<unsigned>(-1), page);
  if (ok) RefreshDepth();
  return ok;
}

int CImageInterface::SetGrayScale(int page) {
  int depth = GetColorDepth();
  int ok = CImageProcessor::ChangeColorDepth(&m_hImage, depth > 0 && depth <= 8 ? depth : 8, 44, page);
  if (ok) RefreshDepth();
  return ok;
}

HBITMAP CImageInterface::CropImage(RECT& rect, int& page) {
  if (!IsLoaded()) return nullptr;
  return CImageProcessor::CropImage(&m_hImage, rect, page);
}

HBITMAP CImageInterface::CropImage(RECT& rect) {
  int page = 0;
  return CropImage(rect, page);
}

int CImageInterface::CalculateProportionallyRect(int* width, int* height, int maxWidth, int maxHeight) {
  return Common::CalculateProportionallyRect(width, height, maxWidth, maxHeight);
}

HBITMAP CImageInterface::CreateEmptyDIBSection(int width, int height, DWORD colour, int unused) {
  return Common::CreateEmptyDIBSection(width, height, colour, unused);
}

HGLOBAL CImageInterface::DDBToDIB(HBITMAP bitmap, DWORD compression, HPALETTE palette) {
  return CImageProcessor::DDBToDIB(bitmap, compression, palette);
}

HBITMAP CImageInterface::DIBToDDB(HGLOBAL packedDib) { return CImageProcessor::DIBToDDB(packedDib); }

// ---- saving and thumbnails -----------------------------------------------------------------

#define LORIMER_SAVE(Record)                                               \
  int CImageInterface::Save(const char* path, _SAVEIMAGEINFO::Record* r) { \
    int ok = m_saver.Save(&m_hImage, path, r);                             \
    if (ok) RefreshDepth();                                                \
    return ok;                                                             \
  }
LORIMER_SAVE(_BMP)
LORIMER_SAVE(_PCX)
LORIMER_SAVE(_DCX)
LORIMER_SAVE(_GIF)
LORIMER_SAVE(_JPG)
LORIMER_SAVE(_TIF)
LORIMER_SAVE(_PNG)
LORIMER_SAVE(_FMF)
LORIMER_SAVE(_TGA)
LORIMER_SAVE(_WMF)
LORIMER_SAVE(_EMF)
#undef LORIMER_SAVE

// The EPS save leaves the recorded depth as it was.
int CImageInterface::Save(const char* path, _SAVEIMAGEINFO::_EPS* r) { return m_saver.Save(&m_hImage, path, r); }

int CImageInterface::CreateThumbnailFilePath(int maxWidth, int maxHeight, char* path, QUALITY quality, int border,
                                             DWORD background, int gray, int depth, int* width, int* height, int page) {
  return m_saver.CreateThumbnailFilePath(&m_hImage, maxWidth, maxHeight, quality, path, border, background, gray, depth,
                                         width, height, page);
}

int CImageInterface::CreateThumbnailFileEx(int maxWidth, int maxHeight, char* path, QUALITY quality, int border,
                                           DWORD background, int gray, int depth, int* width, int* height, int page) {
  return m_saver.CreateThumbnailFileEx(&m_hImage, maxWidth, maxHeight, quality, path, border, background, gray, depth,
                                       width, height, page);
}

HBITMAP CImageInterface::CreateThumbnailHBITMAPEx(int maxWidth, int maxHeight, QUALITY quality, int border,
                                                  DWORD background, int gray, int depth, int* width, int* height,
                                                  int page) {
  char name[MAX_PATH];
  if (!CreateThumbnailFileEx(maxWidth, maxHeight, name, quality, border, background, gray, depth, width, height, page))
    return nullptr;
  // Read the file back as a bitmap of its own depth, then remove it.
  HBITMAP bitmap = nullptr;
  auto file = std::make_shared<lorimer::formats::FileData>();
  CFile in;
  if (in.Open(name, CFile::modeRead)) {
    file->bytes.resize(static_cast<size_t>(in.GetLength()));
    if (in.Read(file->bytes.data(), static_cast<UINT>(file->bytes.size())) == file->bytes.size()) {
      if (auto reader = lorimer::formats::kBmpFormat.open(file)) bitmap = reader->decodePage(0);
    }
    in.Close();
  }
  RemoveFileEx(name);
  return bitmap;
}

// ---- queries -------------------------------------------------------------------------

int CImageInterface::IsLoaded() { return CImageMan::IsLoaded(&m_hImage); }

int CImageInterface::IsVectorImage() { return IsLoaded() ? CImageMan::IsVectorImage(&m_hImage) : 0; }

int CImageInterface::GetPageCount() {
  int count = CImageMan::GetPageCount(&m_hImage);
  return count < 1 ? 1 : count;
}

int CImageInterface::GetWidth(int page) {
  if (!IsLoaded()) return 0;
  if (page != CImageMan::GetSelectedPage(&m_hImage)) {
    if (page < 0 || page >= CImageMan::GetPageCount(&m_hImage) || !CImageMan::SelectPage(&m_hImage, page)) return 0;
  }
  return CImageMan::GetWidth(&m_hImage);
}

int CImageInterface::GetHeight(int page) {
  if (!IsLoaded()) return 0;
  if (page != CImageMan::GetSelectedPage(&m_hImage)) {
    if (page < 0 || page >= CImageMan::GetPageCount(&m_hImage) || !CImageMan::SelectPage(&m_hImage, page)) return 0;
  }
  return CImageMan::GetHeight(&m_hImage);
}

int CImageInterface::GetColorDepth() { return IsLoaded() ? m_srcInfo.nColorDepth : 0; }
int CImageInterface::GetColorsNumber() { return IsLoaded() ? static_cast<int>(m_srcInfo.nColors) : 0; }
FORMAT CImageInterface::GetFormat() { return IsLoaded() ? m_srcInfo.nFormat : FORMAT_UNKNOWN; }

int CImageInterface::GetCompressionType() {
  if (!IsLoaded()) return 0;
  switch (m_srcInfo.nFormat) {
    case FORMAT_BMP: return static_cast<int>(m_srcInfo.nCompression);
    case FORMAT_GIF: return m_srcInfo.nReserved2 ? 1 : 0;
    case FORMAT_JPG: return static_cast<int>(m_srcInfo.nReserved1);
    default: return 0;
  }
}

FORMAT CImageInterface::GetTypeByExtension(const char* path) { return CImageLoader::GetTypeByExtension(path); }

HBITMAP CImageInterface::GetHBITMAP(int copy, int page) {
  if (!IsLoaded()) return nullptr;
  if (!copy) return CImageMan::GetHBITMAP(&m_hImage);
  int w = GetWidth(page), h = GetHeight(page);
  RECT whole{0, 0, w, h};
  return CImageProcessor::CropImage(&m_hImage, whole, page);
}

// ---- drawing ---------------------------------------------------------------------------

int CImageInterface::PrepareDraw(int page, RECT*& dest, RECT*& src, RECT& destStore, RECT& srcStore) {
  int w = GetWidth(page), h = GetHeight(page);
  if (!dest) {
    destStore = RECT{0, 0, w, h};
    dest = &destStore;
  }
  if (!src) {
    srcStore = RECT{0, 0, w, h};
    src = &srcStore;
  }
  // A source smaller than the destination loses its last row and column, so the
  // stretch never samples past the picture's edge. Drawings have no pixels to
  // sample: they are played whole.
  if (CImageMan::IsVectorImage(&m_hImage)) return 1;
  if (src->bottom - src->top < dest->bottom - dest->top) src->bottom -= 1;
  if (src->right - src->left < dest->right - dest->left) src->right -= 1;
  return 1;
}

int CImageInterface::DrawImage(HDC dc, RECT* dest, RECT* src, int page) {
  if (!IsLoaded() || !dc) return 0;
  RECT destStore, srcStore;
  PrepareDraw(page, dest, src, destStore, srcStore);
  int previous = SetStretchBltMode(dc, COLORONCOLOR);
  int result = CImageMan::DrawHandle(&m_hImage, dc, dest, src);
  SetStretchBltMode(dc, previous);
  return result ? 1 : 0;
}

int CImageInterface::DrawImage(HDC dc, int x, int y, int width, int height, int page) {
  if (width > 0 && height > 0) {
    RECT dest{x, y, x + width, y + height};
    return DrawImage(dc, &dest, nullptr, page);
  }
  return DrawImage(dc, nullptr, nullptr, page);
}

int CImageInterface::DrawImageFX(HDC dc, RECT* dest, RECT* src, int page, UINT effect, DWORD param1, DWORD param2,
                                 BOOL (*callback)(void*, UINT, DWORD), UINT callbackMessage, DWORD callbackData,
                                 HPALETTE palette) {
  if (!IsLoaded() || !dc) return 0;
  RECT destStore, srcStore;
  PrepareDraw(page, dest, src, destStore, srcStore);
  SetStretchBltMode(dc, COLORONCOLOR);
  return CImageMan::DrawHandleFX(&m_hImage, dc, dest, src, effect, param1, param2, callback, callbackMessage,
                                 callbackData, palette) == 1
             ? 1
             : 0;
}

int CImageInterface::PrintImage(HDC dc, RECT* dest, RECT* src, int page) {
  if (!IsLoaded() || !dc) return 0;
  RECT destStore, srcStore;
  // Preparing selects the page in the codec, which then prints that page.
  PrepareDraw(page, dest, src, destStore, srcStore);
  return CImageMan::PrintHandle(&m_hImage, dc, dest, src);
}

// ---- file-dialog filters and statics ----------------------------------------------------

const char* CImageInterface::GetOpenAllFilesFilter() {
  return "Graphic files|*.bmp; *.rle; *.dib; *.jpg; *.jpe; *.jpeg; *.gif; *.tif; *.tiff; *.pcx; *.dcx; *.png; "
         "*.wpg; *.img; *.wmf; *.emf; *.pcd; *.eps; *.epsf; *.ps; *.tga; *.targa; *.dxf; *.fpx; *.fmf; *.ico; "
         "*.cur; *.ani|Raster files only|*.bmp; *.rle; *.dib; *.jpg; *.jpe; *.jpeg; *.gif; *.tif; *.tiff; *.pcx; "
         "*.dcx; *.png; *.img; *.pcd; *.tga; *.targa; *.fpx; *.fmf; *.ico; *.cur; *.ani|Vector files only|*.wpg; "
         "*.wmf; *.eps; *.epsf; *.ps; *.dxf|All Files|*.*||";
}

const char* CImageInterface::GetOpenRasterFilesFilter() {
  return "Raster files|*.bmp; *.rle; *.dib; *.jpg; *.jpe; *.jpeg; *.gif; *.tif; *.tiff; *.pcx; *.dcx; *.png; "
         "*.img; *.pcd; *.tga; *.targa; *.fpx; *.fmf; *.ico; *.cur; *.ani||";
}

const char* CImageInterface::GetOpenVectorFilesFilter() {
  return "Vector files|*.wpg; *.wmf; *.emf; *.eps; *.epsf; *.ps; *.dxf||";
}

const char* CImageInterface::GetSaveFilter() {
  return "Encapsulated Postscript Format (*.eps)|*.eps|FaxMan Fax Format (*.fmf)|*.fmf|Graphics Interchange "
         "Format (*.gif)|*.gif|Joint Photo Experts Group Format (*.jpg)|*.jpg|Multipage Paintbrush Format "
         "(*.dcx)|*.dcx|Paintbrush Format (*.pcx)|*.pcx|Portable Network Graphics Format (*.png)|*.png|Tag Image "
         "File Format (*.tif)|*.tif|Targa Format (*.tga)|*.tga|Windows Bitmap Format (*.bmp)|*.bmp|Enhanced "
         "Metafile (*.emf)|*.emf||";
}

const char* CImageInterface::GetSaveInetFilter() {
  return "Graphics Interchange Format (*.gif)|*.gif|Joint Photo Experts Group Format (*.jpg)|*.jpg|Portable "
         "Network Graphics Format (*.png)|*.png|Windows Bitmap Format (*.bmp)|*.bmp||";
}

int CImageInterface::RemoveFileEx(const char* path) { return Common::RemoveFile(path); }
void CImageInterface::GetSupport(char* unused) { Common::GetSupport(unused); }
void CImageInterface::GetUpdate(char* unused) { Common::GetUpdate(unused); }
void CImageInterface::OpenVelmarkPage() { Common::OpenVelmarkPage(); }
