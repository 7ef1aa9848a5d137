#include "imagelib/codec/codec_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imagelib/codec/codec_image.h"
#include "imagelib/core/load_failure.h"
#include "imagelib/formats/reader.h"
#include "platform/base/file.h"

namespace lorimer::codec {

BITMAPINFOHEADER HeaderFor(const formats::PageInfo& info) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = info.width;
  h.biHeight = info.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(info.bitCount);
  h.biCompression = info.compression;
  h.biXPelsPerMeter = static_cast<LONG>(info.xDpi * 10000LL / 254);
  h.biYPelsPerMeter = static_cast<LONG>(info.yDpi * 10000LL / 254);
  h.biClrUsed = info.colorsUsed;
  return h;
}

namespace {

// Files larger than this are not images we can hold.
constexpr std::uint64_t kMaxFileBytes = (std::uint64_t(1) << 31) - 1;

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& out) {
  return vel::ReadWholeFile(path, out, kMaxFileBytes) && !out.empty();
}

// Why ReadWholeFile gave nothing.
std::string ReadFailure(const char* path) {
  struct stat st {};
  if (::stat(path, &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_size == 0) return "the file is empty";
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) return "the file is larger than the library reads";
  return "cannot read the file";
}

formats::PageInfo InfoOfBitmap(HBITMAP bitmap) {
  formats::PageInfo info;
  vel::gdi::BitmapView v;
  if (vel::gdi::GetBitmapView(bitmap, &v)) {
    info.width = v.width;
    info.height = v.height;
    info.bitCount = v.bitsPerPixel;
    info.colorsUsed = v.bitsPerPixel <= 8 ? static_cast<unsigned>(v.colorCount) : 0;
  }
  return info;
}

Page* CurrentPage(HIMG image) {
  if (!image || image->pages.empty()) return nullptr;
  return &image->pages[static_cast<size_t>(image->current)];
}

HBITMAP PageBitmap(HIMG image) {
  Page* p = CurrentPage(image);
  if (!p) return nullptr;
  if (!p->bitmap && !p->decodeFailed && image->vector) {
    p->bitmap = RenderVectorPage(image);
    p->decodeFailed = p->bitmap == nullptr;
  } else if (!p->bitmap && !p->decodeFailed && image->reader) {
    try {
      formats::Decoded decoded = image->reader->decode(image->current);
      if (decoded && decoded->get()) {
        p->bitmap = decoded->release();
      } else {
        NoteLoadFailure(decoded ? std::string(image->formatName) + ": nothing of the page decodes" : decoded.reason(),
                        FailureRank::kRecognised);
      }
    } catch (...) {
      p->bitmap = nullptr;
      NoteLoadFailure(std::string(image->formatName) + ": out of memory", FailureRank::kRecognised);
    }
    p->decodeFailed = p->bitmap == nullptr;
    // Readers say beforehand what they will hold; a page that had to take another
    // path (a TIFF page libtiff will only give as RGBA) is described as it came out.
    const formats::PageInfo held = InfoOfBitmap(p->bitmap);
    if (p->bitmap && held.bitCount != p->info.bitCount) {
      p->info.bitCount = held.bitCount;
      p->info.colorsUsed = held.colorsUsed;
      p->header = HeaderFor(p->info);
    }
  }
  return p->bitmap;
}

// A BITMAPINFO describing a bitmap's storage, for the DIB transfer functions.
void DescribeBitmap(const vel::gdi::BitmapView& v, BITMAPINFO256* info) {
  *info = BITMAPINFO256{};
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biSize = sizeof h;
  h.biWidth = v.width;
  h.biHeight = v.topDown ? -v.height : v.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(v.bitsPerPixel);
  h.biCompression = BI_RGB;
  if (v.bitsPerPixel <= 8) {
    int n = std::min(v.colorCount, 256);
    if (n > 0) std::memcpy(info->bmiColors, v.colors, n * sizeof(RGBQUAD));
    h.biClrUsed = static_cast<DWORD>(n);
  } else if (v.bitsPerPixel == 16 || v.bitsPerPixel == 32) {
    h.biCompression = BI_BITFIELDS;
    std::memcpy(info->bmiColors, v.masks, sizeof v.masks);
  }
}

int Draw(HIMG image, HDC dc, const RECT* dest, const RECT* src) {
  if (image && image->vector) {
    Page* p = CurrentPage(image);
    if (!dc || !p) return 0;
    RECT whole{0, 0, p->info.width, p->info.height};
    return DrawVector(image, dc, dest ? *dest : whole, src ? *src : whole);
  }
  HBITMAP bitmap = PageBitmap(image);
  vel::gdi::BitmapView v;
  if (!dc || !vel::gdi::GetBitmapView(bitmap, &v)) return 0;
  RECT whole{0, 0, v.width, v.height};
  const RECT& d = dest ? *dest : whole;
  const RECT& s = src ? *src : whole;
  BITMAPINFO256 info;
  DescribeBitmap(v, &info);
  // Source rows count from the top for a top-down DIB, from the bottom otherwise.
  int ySrc = v.topDown ? s.top : v.height - s.bottom;
  int lines = vel::gdi::StretchDIBitsN(dc, d.left, d.top, d.right - d.left, d.bottom - d.top, s.left, ySrc,
                                       s.right - s.left, s.bottom - s.top, v.bits, v.stride * v.height,
                                       reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
  return lines > 0 ? 1 : 0;
}

HIMG NewImageFromBitmap(HBITMAP bitmap) {
  auto* image = new (std::nothrow) CodecImage;
  if (!image) return nullptr;
  Page page;
  page.info = InfoOfBitmap(bitmap);
  page.header = HeaderFor(page.info);
  page.bitmap = bitmap;
  try {
    image->pages.push_back(page);
  } catch (...) {
    image->pages.clear();
    delete image;
    return nullptr;
  }
  return image;
}

}  // namespace

const char* SourceFormatName(HIMG image) { return image ? image->formatName : ""; }

HIMG AddReference(HIMG image) {
  if (image) ++image->references;
  return image;
}

}  // namespace lorimer::codec

using namespace lorimer::codec;
using lorimer::FailureRank;
using lorimer::NoteLoadFailure;
using lorimer::formats::FileData;

HIMG fnImgOpenSolo(const char* path, const char*) {
  if (!path || !*path || std::strlen(path) >= kMaxImagePath) return nullptr;
  try {
    auto file = std::make_shared<FileData>();
    file->path = path;
    if (!ReadWholeFile(path, file->bytes)) {
      NoteLoadFailure(ReadFailure(path), FailureRank::kRecognised);
      return nullptr;
    }
    // Drawings (WPG, DXF) are held as vector images sized in hundredths of a millimetre.
    if (HIMG drawing = OpenVectorFile(file->bytes)) return drawing;
    size_t head = std::min(file->bytes.size(), lorimer::formats::kSniffBytes);
    for (const auto* format : lorimer::formats::AllFormats()) {
      if (!format->sniff(file->bytes.data(), head, file->bytes.size())) continue;
      lorimer::formats::Opened opened = format->parse(file);
      if (!opened) {
        NoteLoadFailure(opened.reason(), FailureRank::kRecognised);
        continue;
      }
      std::unique_ptr<lorimer::formats::ImageReader> reader = std::move(*opened);
      if (!reader || reader->pageCount() < 1) {
        NoteLoadFailure(std::string(format->name) + ": the file holds no pages", FailureRank::kRecognised);
        continue;
      }
      auto image = std::make_unique<CodecImage>();
      int count = std::min(reader->pageCount(), 65535);
      image->pages.resize(static_cast<size_t>(count));
      for (int i = 0; i < count; ++i) {
        image->pages[i].info = reader->pageInfo(i);
        image->pages[i].header = HeaderFor(image->pages[i].info);
      }
      image->file = file;
      image->reader = std::move(reader);
      image->formatName = format->name;
      return image.release();
    }
    NoteLoadFailure("no reader recognises the file", FailureRank::kNotRecognised);
  } catch (...) {
    NoteLoadFailure("out of memory", FailureRank::kRecognised);
  }
  return nullptr;
}

int fnImgLoad(HIMG image, int) {
  try {
    // A drawing needs no bitmap until something works on its pixels: its page is
    // in hundredths of a millimetre until the load path sizes it for the screen.
    if (image && image->vector) return 1;
    return PageBitmap(image) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int fnImgClose(HIMG image) {
  if (!image) return 0;
  if (--image->references == 0) delete image;
  return 1;
}

HIMG fnImgFromDIBSection(HBITMAP bitmap) {
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bitmap, &v)) return nullptr;
  return NewImageFromBitmap(bitmap);
}

HIMG fnImgFromDIB(HGLOBAL packedDib) {
  size_t size = GlobalSize(packedDib);
  const auto* data = static_cast<const BYTE*>(GlobalLock(packedDib));
  if (!data) return nullptr;
  HIMG result = nullptr;
  BITMAPINFOHEADER h{};
  if (size >= sizeof h) {
    std::memcpy(&h, data, sizeof h);
    size_t offset = h.biSize >= 40 && h.biSize <= 124 ? h.biSize + vel::gdi::DibColorTableBytes(h) : SIZE_MAX;
    if (offset < size && h.biWidth > 0 && h.biHeight != 0 && h.biHeight != INT32_MIN) {
      int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
      bool keepIndexed = h.biBitCount <= 8 && h.biCompression == BI_RGB;
      BITMAPINFO256 info{};
      std::memcpy(&info.bmiHeader, &h, sizeof h);
      info.bmiHeader.biSize = 40;
      if (h.biCompression == BI_BITFIELDS && h.biSize >= 52)
        std::memcpy(info.bmiColors, data + 40, 12);  // the masks live inside the longer headers
      else
        std::memcpy(info.bmiColors, data + h.biSize, std::min(offset - h.biSize, sizeof info.bmiColors));
      std::vector<RGBQUAD> palette;
      if (keepIndexed) palette.assign(info.bmiColors, info.bmiColors + (1 << h.biBitCount));
      HBITMAP bmp = lorimer::formats::NewPageBitmap(h.biWidth, height, keepIndexed ? h.biBitCount : 24, palette);
      if (bmp) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bmp);
        int lines =
            vel::gdi::SetDIBitsToDeviceN(dc, 0, 0, h.biWidth, height, 0, 0, 0, height, data + offset, size - offset,
                                         reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS);
        SelectObject(dc, old);
        DeleteDC(dc);
        if (lines > 0) result = NewImageFromBitmap(bmp);
        if (!result) DeleteObject(bmp);
      }
    }
  }
  GlobalUnlock(packedDib);
  return result;
}

const BITMAPINFOHEADER* fnImgGetInfo(HIMG image, int* flags) {
  if (flags) *flags = 0;
  Page* p = CurrentPage(image);
  if (!p || p->info.width <= 0 || p->info.height <= 0) return nullptr;
  return &p->header;
}

int fnImgPageCount(HIMG image, int* count) {
  if (!image || !count) return 0;
  *count = static_cast<int>(image->pages.size());
  return 1;
}

int fnImgGetPage(HIMG image, int* page) {
  if (!image || !page) return 0;
  *page = image->current;
  return 1;
}

int fnImgSetPage(HIMG image, int page) {
  if (!image || page < 0 || page >= static_cast<int>(image->pages.size())) return 0;
  image->current = page;
  return 1;
}

HBITMAP fnImgGetHBitmap(HIMG image) {
  try {
    return PageBitmap(image);
  } catch (...) {
    return nullptr;
  }
}

HGLOBAL fnImgGetDIB(HIMG image, int) {
  HBITMAP bitmap = fnImgGetHBitmap(image);
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bitmap, &v)) return nullptr;
  BITMAPINFO256 info;
  DescribeBitmap(v, &info);
  info.bmiHeader.biHeight = v.height;  // packed DIBs are bottom-up
  size_t table = vel::gdi::DibColorTableBytes(info.bmiHeader);
  size_t image_bytes = v.stride * v.height;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(image_bytes);
  HGLOBAL block = GlobalAlloc(GHND, 40 + table + image_bytes);
  auto* out = static_cast<BYTE*>(GlobalLock(block));
  if (!out) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(out, &info.bmiHeader, 40);
  std::memcpy(out + 40, info.bmiColors, table);
  for (int y = 0; y < v.height; ++y)
    std::memcpy(out + 40 + table + v.stride * static_cast<size_t>(v.height - 1 - y), v.row(y), v.stride);
  GlobalUnlock(block);
  return block;
}

int fnImgDrawImage(HIMG image, HDC dc, const RECT* dest, const RECT* src) {
  try {
    return Draw(image, dc, dest, src);
  } catch (...) {
    return 0;
  }
}

int fnImgDrawImageFX(HIMG image, HDC dc, const RECT* dest, const RECT* src, UINT, DWORD, DWORD,
                     BOOL (*)(void*, UINT, DWORD), UINT, DWORD, HPALETTE) {
  return fnImgDrawImage(image, dc, dest, src) ? 1 : 0;
}

int fnImgPrintImage(HIMG image, HDC dc, const RECT* dest, const RECT* src) {
  return fnImgDrawImage(image, dc, dest, src);
}
