// The loaders of the load path and the format table by extension.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <string>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/formats/ico.h"
#include "lorimer/Dib.h"
#include "lorimer/MetaFile.h"
#include "platform/gdi/owned.h"

namespace {

struct Extension {
  const char* text;
  FORMAT format;
};

// Searched top to bottom.
constexpr Extension kExtensions[] = {
    {"bmp", FORMAT_BMP},  {"rle", FORMAT_BMP}, {"dib", FORMAT_BMP},  {"pcx", FORMAT_PCX}, {"tif", FORMAT_TIF},
    {"tiff", FORMAT_TIF}, {"dxf", FORMAT_DXF}, {"gif", FORMAT_GIF},  {"eps", FORMAT_EPS}, {"epsf", FORMAT_EPS},
    {"ps", FORMAT_EPS},   {"fpx", FORMAT_FPX}, {"wmf", FORMAT_WMF},  {"tga", FORMAT_TGA}, {"targa", FORMAT_TGA},
    {"img", FORMAT_IMG},  {"jpg", FORMAT_JPG}, {"jpeg", FORMAT_JPG}, {"jpe", FORMAT_JPG}, {"jfif", FORMAT_JPG},
    {"wpg", FORMAT_WPG},  {"pcd", FORMAT_PCD}, {"png", FORMAT_PNG},  {"fmf", FORMAT_FMF}, {"emf", FORMAT_EMF},
    {"ico", FORMAT_ICO},  {"cur", FORMAT_ICO},
};

std::string Lower(const char* s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void FillFromHeader(_SRCIMAGEINFO* info, const BITMAPINFOHEADER* h) {
  info->nWidth = h->biWidth;
  info->nHeight = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  info->nColorDepth = h->biBitCount;
  info->nColors = h->biClrUsed;
  info->bGray = 0;
}

// A loader's DIB section becomes a codec image; the path goes into the record.
HIMG WrapSection(HBITMAP section, _SRCIMAGEINFO* info, const char* path) {
  vel::gdi::OwnedBitmap owned(section);
  HIMG image = owned ? CImageMan::InitImageFromHBITMAP(owned.get()) : nullptr;
  if (!image) return nullptr;
  static_cast<void>(owned.release());
  CImageLoader::SetPath(info, path);
  return image;
}

}  // namespace

_SRCIMAGEINFO& _SRCIMAGEINFO::operator=(const _SRCIMAGEINFO& other) {
  if (this != &other) std::memcpy(static_cast<void*>(this), &other, sizeof *this);
  return *this;
}

const char* CImageLoader::GetFileExtension(const char* path) {
  if (!path) return "";
  size_t n = std::strlen(path);
  // A dot in the first character does not start an extension.
  for (size_t i = n; i-- > 1;) {
    if (path[i] == '.') return path + i + 1;
  }
  return "";
}

int CImageLoader::CompareWords(const char* a, const char* b) {
  std::string la = Lower(a), lb = Lower(b);
  return std::strcoll(la.c_str(), lb.c_str()) == 0 ? 1 : 0;
}

FORMAT CImageLoader::GetTypeByExtension(const char* path) {
  const char* ext = GetFileExtension(path);
  if (!*ext) return FORMAT_UNKNOWN;
  for (const Extension& e : kExtensions) {
    if (CompareWords(ext, e.text)) return e.format;
  }
  return FORMAT_UNKNOWN;
}

void CImageLoader::SetPath(_SRCIMAGEINFO* info, const char* path) {
  std::memset(info->szPath, 0, sizeof info->szPath);
  std::strncpy(info->szPath, path, sizeof info->szPath - 1);
}

HIMG CImageLoader::LoadUsingImgMan(const char* path, _SRCIMAGEINFO* info, int loadNow) {
  HIMG image = nullptr;
  try {
    image = CImageManKeeper::ImgOpenSolo(path, nullptr);
    if (image && loadNow && CImageManKeeper::ImgLoad(image, 0) != 1) {
      // Nothing of the picture can be decoded: not a loaded image.
      CImageManKeeper::ImgClose(image);
      image = nullptr;
    }
  } catch (...) {
    image = nullptr;
  }
  if (!image) return nullptr;
  SetPath(info, path);
  const BITMAPINFOHEADER* h = CImageMan::GetBITMAPINFOPointer(&image);
  if (!h) return image;  // still a success; the numbers stay as they were
  FillFromHeader(info, h);
  switch (info->nFormat) {
    case FORMAT_BMP: info->nCompression = h->biCompression; break;
    case FORMAT_TIF: info->nPageCount = static_cast<unsigned>(CImageMan::GetPageCount(&image)); break;
    case FORMAT_GIF:
      info->nPageCount = static_cast<unsigned>(CImageMan::GetPageCount(&image));
      info->nReserved2 = 0;
      info->nReserved3 = 0;
      break;
    case FORMAT_JPG:
      info->nReserved1 = 0;
      info->bGray = h->biBitCount == 8 ? 1 : 0;
      break;
    default: break;
  }
  return image;
}

HIMG CImageLoader::LoadUsingDibLook(const char* path, _SRCIMAGEINFO* info) {
  CFile file;
  if (!file.Open(path, CFile::modeRead)) return nullptr;
  CDib dib;
  return WrapSection(dib.ReadImage(file, info), info, path);
}

HIMG CImageLoader::LoadUsingIntelJPEG(const char* path, _SRCIMAGEINFO* info) {
  return WrapSection(CIntelJPEG::ReadJPEG(path, info), info, path);
}

// There is no FlashPix decoder.
HIMG CImageLoader::LoadUsingIntelFPX(const char*, _SRCIMAGEINFO*) { return nullptr; }

HIMG CImageLoader::LoadUsingCIcon(const char* path, _SRCIMAGEINFO* info) {
  std::memset(static_cast<void*>(info), 0, sizeof *info);
  if (!path || std::strlen(path) >= kMaxImagePath) return nullptr;
  int size = GetSystemMetrics(SM_CXICON);
  lorimer::formats::IconLoadInfo iconInfo;
  vel::gdi::OwnedIcon icon;
  try {
    icon.reset(lorimer::formats::LoadIconFile(path, size, size, &iconInfo));
  } catch (...) {
    return nullptr;
  }
  if (!icon) return nullptr;
  vel::gdi::IconParts parts;
  BITMAP mask{};
  if (!vel::gdi::GetIconParts(icon.get(), &parts) || !GetObject(parts.mask, sizeof mask, &mask)) return nullptr;
  int side = mask.bmWidth;
  info->nWidth = side;
  info->nHeight = side;
  info->nColorDepth = parts.color ? 4 : 1;
  info->nFormat = FORMAT_ICO;
  vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(side, side, 0xFFFFFFFF, 0));
  if (!section) return nullptr;
  {
    const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const vel::gdi::ScopedSelect select(dc.get(), section.get());
    RECT all{0, 0, side, side};
    FillRect(dc.get(), &all, GetSysColorBrush(COLOR_WINDOW));
    DrawIconEx(dc.get(), 0, 0, icon.get(), 0, 0, 0, nullptr, DI_NORMAL);
  }
  HIMG image = CImageMan::InitImageFromHBITMAP(section.get());
  if (image) static_cast<void>(section.release());
  return image;
}

HIMG CImageLoader::LoadMETAFILE(const char* path, _SRCIMAGEINFO* info) {
  if (!path || std::strlen(path) >= kMaxImagePath) return nullptr;
  vel::gdi::OwnedMetaFile metafile;
  try {
    CMetaFile reader;
    if (!reader.Read(path)) return nullptr;
    metafile.reset(reader.GetHandle(info));
  } catch (...) {
    return nullptr;
  }
  if (!metafile) return nullptr;
  RECT frame{0, 0, info->nWidth, info->nHeight};
  HIMG image = CImageMan::InitImageFromHWMF(metafile.get(), &frame);
  if (!image) return nullptr;
  static_cast<void>(metafile.release());
  const int bits = CImageMan::GetColorDepth(&image);
  info->nColorDepth = bits > 32 || bits <= 0 ? 32 : bits;
  SetPath(info, path);
  return image;
}

HIMG CImageLoader::LoadUsingEPSExtension(const char* path, _SRCIMAGEINFO* info) {
  if (!path || std::strlen(path) >= kMaxImagePath) return nullptr;
  HIMG image = nullptr;
  try {
    image = CEpsKeeper::LoadEPS(path, info);
  } catch (...) {
    image = nullptr;
  }
  if (image) SetPath(info, path);
  return image;
}

void CImageLoader::LoadMetafileInfo(HIMG* handle, _SRCIMAGEINFO* info) {
  vel::gdi::OwnedMetaFile copy(CImageMan::GetHWMF(handle));
  if (!copy) return;
  // The drawing's size is in hundredths of a millimetre: as many screen pixels.
  const long long width = CImageMan::GetWidth(handle), height = CImageMan::GetHeight(handle);
  const vel::gdi::OwnedDC screen(CreateCompatibleDC(nullptr));
  const HDC dc = screen.get();
  const long long horzRes = GetDeviceCaps(dc, HORZRES), vertRes = GetDeviceCaps(dc, VERTRES);
  const long long horzSize = std::max(GetDeviceCaps(dc, HORZSIZE), 1),
                  vertSize = std::max(GetDeviceCaps(dc, VERTSIZE), 1);
  const RECT frame{0, 0, static_cast<LONG>(width * horzRes / (horzSize * 100)),
                   static_cast<LONG>(height * vertRes / (vertSize * 100))};
  CImageMan::CloseHandle(handle);
  *handle = CImageMan::InitImageFromHWMF(copy.get(), &frame);
  if (!*handle) return;
  static_cast<void>(copy.release());
  info->nWidth = frame.right;
  info->nHeight = frame.bottom;
}
