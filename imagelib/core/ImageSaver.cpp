// CImageSaver: the preparation before a save, the per-format saves, and thumbnails.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/codec/writer.h"
#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/formats/bmp.h"
#include "imagelib/formats/reader.h"
#include "lorimer/MetaFile.h"
#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"
#include "siblings/hazelford/hazelford.h"

namespace {

constexpr DWORD kWhite = 0xFFFFFF;

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Makes the option block, has the codec write the current page, frees the block.
int WriteThroughCodec(HIMG* handle, const char* path, const char* format, const std::string& options, int flags) {
  if (!CImageMan::IsLoaded(handle)) return 0;
  try {
    void* block = fnImgXOptBlkCreate(options.c_str());
    int result = fnImgXWriteImage(path, format, *handle, block, nullptr, flags);
    fnImgXOptBlkDel(block);
    return result == 1 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// A drawing at a new size: the same metafile in a new frame.
int KeepDrawing(HIMG* handle, int width, int height, int proportional, int pageWidth, int pageHeight) {
  if ((width <= 0 && height <= 0) || (width == pageWidth && height == pageHeight)) return 1;
  int w = pageWidth, h = pageHeight;
  if (!CImageProcessor::StretchedSize(width, height, proportional, &w, &h)) return 0;
  vel::gdi::OwnedMetaFile copy(CImageMan::GetHWMF(handle));
  const RECT frame{0, 0, w, h};
  HIMG resized = copy ? CImageMan::InitImageFromHWMF(copy.get(), &frame) : nullptr;
  if (!resized) return 0;
  static_cast<void>(copy.release());
  CImageMan::CloseHandle(handle);
  *handle = resized;
  return 1;
}

int Prepare(HIMG* handle, const _SAVEIMAGEINFO& r, int depth, int gray, int keepDepth = 0) {
  return CImageSaver::BeforeSave(handle, r.reserved, r.width, r.height, r.proportional, depth, gray, r.page, r.angle,
                                 r.method, r.crop, keepDepth);
}

}  // namespace

int CImageSaver::BeforeSave(HIMG* handle, int, int width, int height, int proportional, int depth, int gray, int page,
                            float angle, long method, RECT crop, int keepDepth) {
  if (!CImageMan::IsLoaded(handle)) return 0;
  int pageWidth = 0, pageHeight = 0;
  if (page == CImageMan::GetSelectedPage(handle) || CImageMan::SelectPage(handle, page)) {
    pageWidth = CImageMan::GetWidth(handle);
    pageHeight = CImageMan::GetHeight(handle);
  }
  // Saved as a metafile or EPS, a drawing stays a drawing unless it must be
  // rotated or cropped: a new size only changes its frame.
  if (keepDepth && angle == 0 && !(crop.right - crop.left > 0 && crop.bottom - crop.top > 0) &&
      CImageMan::IsVectorImage(handle))
    return KeepDrawing(handle, width, height, proportional, pageWidth, pageHeight);
  // Always rendered into a new single-page 24-bit image, resampled when the size changes.
  long useMethod = method;
  if ((width <= 0 && height <= 0) || (width == pageWidth && height == pageHeight)) useMethod = -1;
  if (!CImageProcessor::StretchImage(handle, useMethod, width, height, proportional, 3, kWhite, page)) return 0;
  if (!CImageProcessor::Rotate(handle, angle, kWhite, page)) return 0;
  if (crop.right - crop.left > 0 && crop.bottom - crop.top > 0) {
    vel::gdi::OwnedBitmap cropped(CImageProcessor::CropImage(handle, crop, page));
    CImageMan::CloseHandle(handle);
    if (!cropped) return 0;
    *handle = CImageMan::InitImageFromHBITMAP(cropped.get());
    if (!*handle) return 0;
    static_cast<void>(cropped.release());
    page = 0;
  }
  if (keepDepth) return CImageMan::IsLoaded(handle);
  unsigned flags;
  if (gray) {
    if (depth > 8) depth = 8;
    flags = depth > 1 ? 8 : 32;
  } else {
    flags = 32;
    if (depth <= 0) depth = CImageMan::GetColorDepth(handle);
  }
  return CImageProcessor::ChangeColorDepthFast(handle, depth, flags | 4, page);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_BMP* r) {
  if (!r || !Prepare(handle, *r, std::min(r->depth, 24), r->gray)) return 0;
  return WriteThroughCodec(handle, path, "BMP", "OVERWRITE = ON", 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_PCX* r) {
  if (!r || !Prepare(handle, *r, std::min(r->depth, 24), r->gray)) return 0;
  return WriteThroughCodec(handle, path, "PCX", "OVERWRITE = ON", 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_FMF* r) {
  if (!r || !Prepare(handle, *r, 1, 0)) return 0;
  return WriteThroughCodec(handle, path, "FMF", "OVERWRITE = ON", 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_JPG* r) {
  if (!r) return 0;
  int depth = Clamp(r->depth, 8, 24);
  if (!Prepare(handle, *r, depth, r->depth < 9 ? 1 : 0)) return 0;
  char text[64];
  std::snprintf(text, sizeof text, "LOSSY_QUALITY = %d\rOVERWRITE = ON", r->quality);
  return WriteThroughCodec(handle, path, "JPG", text, 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_GIF* r) {
  if (!r) return 0;
  // GIF pages are held at 4 or 8 bits; 5 to 7 would be turned into 24 bits by the
  // depth change, which no GIF can hold, so they take the 8-bit palette.
  const int depth = Clamp(r->depth, 4, 8) > 4 ? 8 : 4;
  if (!Prepare(handle, *r, depth, r->gray)) return 0;
  std::string text = r->append ? "APPEND = ON\r" : "APPEND = OFF\r";
  text += "OVERWRITE = ON\r";
  text += r->interlace ? "GIF_INTERLACE = ON" : "GIF_INTERLACE = OFF";
  return WriteThroughCodec(handle, path, "GIF", text, 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_DCX* r) {
  if (!r || !Prepare(handle, *r, std::min(r->depth, 24), r->gray)) return 0;
  std::string text = r->append ? "APPEND = ON\r" : "APPEND = OFF\r";
  text += "OVERWRITE = ON";
  return WriteThroughCodec(handle, path, "DCX", text, 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_PNG* r) {
  if (!r || !Prepare(handle, *r, std::min(r->depth, 24), r->gray)) return 0;
  std::string text = "OVERWRITE = ON\r";
  using Png = _SAVEIMAGEINFO::_PNG;
  switch (r->filter) {
    case Png::FILTER_SUB: text += "PNG_FILTER = SUB"; break;
    case Png::FILTER_UP: text += "PNG_FILTER = UP"; break;
    case Png::FILTER_AVERAGE: text += "PNG_FILTER = AVERAGE"; break;
    case Png::FILTER_PAETH: text += "PNG_FILTER = PAETH"; break;
    default: text += "PNG_FILTER = NONE"; break;
  }
  if (r->compression == Png::COMPRESS_MAXIMUM) text += "\rPNG_COMPRESS = MAXIMUM";
  return WriteThroughCodec(handle, path, "PNG", text, 2);
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_TIF* r) {
  if (!r) return 0;
  using Tif = _SAVEIMAGEINFO::_TIF;
  // The fax compressions are for bilevel pages only.
  if (r->compression != Tif::COMPRESS_NONE && r->compression != Tif::COMPRESS_LZW) {
    r->depth = 1;
    r->colour = 1;
  }
  if (!Prepare(handle, *r, std::min(r->depth, 24), r->colour == 0 ? 1 : 0)) return 0;
  static const char* const kCompress[] = {"",
                                          "TIFF_COMPRESS = LZW\r",
                                          "TIFF_COMPRESS = PACKBITS\r",
                                          "TIFF_COMPRESS = MODCCITT\r",
                                          "TIFF_COMPRESS = GROUP3\r",
                                          "TIFF_COMPRESS = GROUP4\r"};
  // The text stays within the 3072 characters the option block was always given.
  char artist[1024], copyright[1024];
  std::snprintf(artist, sizeof artist, "%s", r->artist);
  std::snprintf(copyright, sizeof copyright, "%s", r->copyright);
  std::string text = r->append ? "APPEND = ON\r" : "APPEND = OFF\r";
  text += "OVERWRITE = ON\r";
  text += r->compression != Tif::COMPRESS_NONE ? "COMPRESS = ON\r" : "COMPRESS = OFF\r";
  text += "TIFF_ROWSPERSTRIP = 8192\r";
  if (r->compression >= Tif::COMPRESS_LZW && r->compression <= Tif::COMPRESS_GROUP4) text += kCompress[r->compression];
  text += "TIFF_FILLORDER = " + std::to_string(r->fillOrder) + "\r";
  text += (r->append && r->depth == 1) ? "TIFF_NEWSUBFILETYPE = 2\r" : "TIFF_NEWSUBFILETYPE = 0\r";
  text += std::string("TIFF_ARTIST = ") + artist + "\r";
  text += std::string("TIFF_COPYRIGHT = ") + copyright;
  if (text.size() > 3071) text.resize(3071);
  return WriteThroughCodec(handle, path, "TIF", text, r->compression != Tif::COMPRESS_NONE ? 6 : 2);
}

namespace {

// The current page as a packed DIB block (file header, info header, colours, bits).
HGLOBAL PackedFile(HIMG* handle) {
  HGLOBAL dib = CImageMan::GetHDIB(handle);
  size_t size = GlobalSize(dib);
  const auto* data = static_cast<const BYTE*>(GlobalLock(dib));
  HGLOBAL file = nullptr;
  if (data && size >= sizeof(BITMAPINFOHEADER)) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    file = GlobalAlloc(GHND, 14 + size);
    if (auto* out = static_cast<BYTE*>(GlobalLock(file))) {
      BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(14 + size), 0, 0,
                          static_cast<DWORD>(14 + h.biSize + vel::gdi::DibColorTableBytes(h))};
      std::memcpy(out, &fh, 14);
      std::memcpy(out + 14, data, size);
      GlobalUnlock(file);
    }
  }
  if (data) GlobalUnlock(dib);
  GlobalFree(dib);
  return file;
}

// An 8-bit version of a 24-bit packed file: median-cut palette over a 5-bit
// histogram, each pixel the nearest entry (cached per 5-bit cell).
HGLOBAL ToEightBits(HGLOBAL file24) {
  const auto* in = static_cast<const BYTE*>(GlobalLock(file24));
  if (!in) return nullptr;
  BITMAPINFOHEADER h;
  std::memcpy(&h, in + 14, sizeof h);
  int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  size_t inStride = ((static_cast<size_t>(width) * 24 + 31) / 32) * 4;
  size_t outStride = (static_cast<size_t>(width) + 3) & ~size_t(3);
  const BYTE* bits = in + 14 + h.biSize;
  std::vector<WORD> histogram(32768, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const BYTE* p = bits + inStride * y + 3 * x;
      WORD& cell = histogram[((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3)];
      if (cell < 65535) ++cell;
    }
  RGBQUAD palette[256]{};
  int colours = MedianCut(histogram.data(), palette, 256);
  HGLOBAL out = nullptr;
  if (colours > 0) {
    out = GlobalAlloc(GHND, 14 + 40 + 1024 + outStride * height);
    if (auto* o = static_cast<BYTE*>(GlobalLock(out))) {
      BITMAPINFOHEADER nh = h;
      nh.biSize = 40;
      nh.biBitCount = 8;
      nh.biCompression = BI_RGB;
      nh.biSizeImage = static_cast<DWORD>(outStride * height);
      nh.biClrUsed = 256;
      BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(14 + 40 + 1024 + outStride * height), 0, 0, 14 + 40 + 1024};
      std::memcpy(o, &fh, 14);
      std::memcpy(o + 14, &nh, 40);
      std::memcpy(o + 54, palette, 1024);
      std::vector<short> cache(32768, -1);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const BYTE* p = bits + inStride * y + 3 * x;
          int key = ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3);
          if (cache[key] < 0) {
            long best = 100000;
            int index = 0;
            for (int i = 0; i < colours; ++i) {
              long dr = p[2] - palette[i].rgbRed, dg = p[1] - palette[i].rgbGreen, db = p[0] - palette[i].rgbBlue;
              long d = dr * dr + dg * dg + db * db;
              if (d < best) {
                best = d;
                index = i;
                if (d < 2) break;
              }
            }
            cache[key] = static_cast<short>(index);
          }
          o[54 + 1024 + outStride * y + x] = static_cast<BYTE>(cache[key]);
        }
      }
      GlobalUnlock(out);
    }
  }
  GlobalUnlock(file24);
  return out;
}

}  // namespace

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_TGA* r) {
  if (!r) return 0;
  int depth = r->gray ? 8 : 24;
  if (!Prepare(handle, *r, depth, r->gray ? 1 : 0)) return 0;
  int page = 0;
  if (r->gray && !CImageProcessor::ChangeColorDepth(handle, 24, static_cast<unsigned>(-1), page)) return 0;
  HGLOBAL file = PackedFile(handle);
  if (!file) return 0;
  int result = 0;
  BITMAPINFOHEADER h{};
  if (const auto* p = static_cast<const BYTE*>(GlobalLock(file))) {
    std::memcpy(&h, p + 14, sizeof h);
    GlobalUnlock(file);
  }
  if (depth == 24 || h.biBitCount == 8) {
    // 24 bits as they are; a gray page is already 8 bits with its gray palette.
    result = SaveTGA(path, file);
  } else if (HGLOBAL eight = ToEightBits(file)) {
    result = SaveTGA(path, eight);
    GlobalFree(eight);
  }
  GlobalFree(file);
  return result ? 1 : 0;
}

// ---- metafiles and EPS -------------------------------------------------------------

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_WMF* r) {
  if (!r || !Prepare(handle, *r, 24, 0, 1)) return 0;
  try {
    vel::gdi::OwnedMetaFile metafile;
    if (CImageMan::IsVectorImage(handle)) {
      metafile.reset(CImageMan::GetHWMF(handle));
    } else {
      CMetaFile picture;
      if (picture.InitFromHBMP(CImageMan::GetHBITMAP(handle), r->mode)) metafile.reset(picture.GetHandle(nullptr));
    }
    if (!metafile) return 0;
    return CopyWMFOnDisk(metafile.get(), path);
  } catch (...) {
    return 0;
  }
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_EMF* r) {
  if (!r || !Prepare(handle, *r, 24, 0, 1)) return 0;
  try {
    CMetaFile picture;
    int ok;
    if (CImageMan::IsVectorImage(handle)) {
      HMETAFILE metafile = CImageMan::GetHWMF(handle);
      ok = metafile && picture.InitFromHWMF(metafile, CImageMan::GetWidth(handle), CImageMan::GetHeight(handle));
      if (ok) picture.FeelEMFHeder(nullptr, 0);
    } else {
      ok = picture.InitFromHBMP(CImageMan::GetHBITMAP(handle), r->mode);
    }
    return ok ? picture.Write(path) : 0;
  } catch (...) {
    return 0;
  }
}

int CImageSaver::Save(HIMG* handle, const char* path, _SAVEIMAGEINFO::_EPS* r) {
  if (!r) return 0;
  r->preview = 0;
  if (!Prepare(handle, *r, 24, 0, 1)) return 0;
  try {
    return CEpsKeeper::SaveToEPS(*handle, path, 1, 0, 0);
  } catch (...) {
    return 0;
  }
}

int CIntelJPEG::WriteJPEG(const char* path, HIMG* handle, unsigned short quality, unsigned short bits, int, int& page) {
  if (!IsLoaded(handle) || IsVectorImage(handle)) return 0;
  try {
    if (bits != CImageMan::GetColorDepth(handle) && bits <= 24) {
      if (!CImageProcessor::ChangeColorDepth(handle, bits, bits == 24 ? static_cast<unsigned>(-1) : 8, page)) return 0;
    }
    if (page != 0 && !CImageMan::SelectPage(handle, page)) return 0;
    std::string text = "LOSSY_QUALITY = " + std::to_string(quality > 100 ? 100 : quality) + "\rOVERWRITE = ON";
    return WriteThroughCodec(handle, path, "JPG", text, 2);
  } catch (...) {
    // The one message the library shows.
    std::fprintf(stderr, "Lorimer: Error storing JPEG file\n");
    return 0;
  }
}
