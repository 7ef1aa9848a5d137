#include "lorimer/Dib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imagelib/core/Common.h"
#include "imagelib/formats/bmp.h"
#include "imagelib/formats/reader.h"
#include "platform/base/bytes.h"
#include "platform/gdi/owned.h"

// The blocks one or more CDib objects share; freed when the last one lets go.
struct CDib::Blocks {
  HGLOBAL bits = nullptr;
  HGLOBAL header = nullptr;
  vel::gdi::OwnedPalette palette;
  ~Blocks() {
    if (bits) {
      GlobalUnlock(bits);
      GlobalFree(bits);
    }
    if (header) {
      GlobalUnlock(header);
      GlobalFree(header);
    }
  }
};

CDib::CDib() = default;
CDib::CDib(const CDib& other) = default;
CDib& CDib::operator=(const CDib& other) = default;
CDib::~CDib() { Free(); }

void CDib::Free() {
  m_blocks.reset();
  m_pBits = nullptr;
  m_pBMI = nullptr;
  m_pPalette = nullptr;
}

void CDib::Adopt(HGLOBAL bits, HGLOBAL header, HPALETTE palette) {
  Free();
  m_blocks = std::make_shared<Blocks>();
  m_blocks->bits = bits;
  m_blocks->header = header;
  m_blocks->palette.reset(palette);
  m_pBits = static_cast<BYTE*>(GlobalLock(bits));
  m_pBMI = static_cast<BITMAPINFO*>(GlobalLock(header));
  m_pPalette = palette;
}

DWORD CDib::Width() const { return m_pBMI ? static_cast<DWORD>(m_pBMI->bmiHeader.biWidth) : 0; }
DWORD CDib::Height() const { return m_pBMI ? static_cast<DWORD>(m_pBMI->bmiHeader.biHeight) : 0; }
WORD CDib::NumBits() const { return m_pBMI ? m_pBMI->bmiHeader.biBitCount : 0; }
DWORD CDib::GetCompressionMode() const { return m_pBMI ? m_pBMI->bmiHeader.biCompression : 0; }

WORD CDib::NumColors() const {
  if (!m_pBMI) return 0;
  if (m_pBMI->bmiHeader.biClrUsed != 0) return static_cast<WORD>(std::min<DWORD>(m_pBMI->bmiHeader.biClrUsed, 0xFFFF));
  switch (m_pBMI->bmiHeader.biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

WORD CDib::PaletteSize() const { return m_pBMI ? static_cast<WORD>(NumColors() * sizeof(RGBQUAD)) : 0; }

bool CDib::HeaderUsable() const {
  if (!m_pBMI || !m_blocks) return false;
  const BITMAPINFOHEADER& h = m_pBMI->bmiHeader;
  size_t block = GlobalSize(m_blocks->header);
  if (h.biSize < 40 || h.biSize > block) return false;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  return h.biSize + vel::gdi::DibColorTableBytes(h) <= block;
}

size_t CDib::BitsSize() const { return m_blocks && m_blocks->bits ? GlobalSize(m_blocks->bits) : 0; }

DWORD CDib::Read(CFile& file) {
  Free();
  BYTE fileHeader[sizeof(BITMAPFILEHEADER)] = {};
  if (file.Read(fileHeader, sizeof fileHeader) != sizeof fileHeader) return 0;
  vel::ByteReader in(fileHeader, sizeof fileHeader);
  BITMAPFILEHEADER fh{};
  fh.bfType = in.le16();
  fh.bfSize = in.le32();
  in.skip(4);
  fh.bfOffBits = in.le32();
  if (!in || fh.bfType != 0x4D42) return 0;
  unsigned long long length = file.GetLength();
  if (fh.bfOffBits < sizeof fh || length < fh.bfOffBits) return 0;
  size_t headerBytes = fh.bfOffBits - sizeof fh;
  // Room for a full colour table after the largest header, whatever the file says.
  HGLOBAL header = GlobalAlloc(GHND, fh.bfOffBits + 1010);
  HGLOBAL bits = GlobalAlloc(GHND, static_cast<size_t>(length - fh.bfOffBits));
  auto* h = static_cast<BYTE*>(GlobalLock(header));
  auto* b = static_cast<BYTE*>(GlobalLock(bits));
  bool ok = h && b && file.Read(h, static_cast<UINT>(headerBytes)) == headerBytes &&
            file.Read(b, static_cast<UINT>(length - fh.bfOffBits)) == length - fh.bfOffBits;
  if (ok && headerBytes >= 12 && vel::ByteReader(h, headerBytes).le32() == 12) {
    // An OS/2 core header: rewrite it in the Windows form so the rest can read it.
    BITMAPINFO256 converted{};
    ok = lorimer::formats::ConvertCoreHeader(h, headerBytes, &converted, nullptr);
    if (ok) {
      size_t bytes = 40 + converted.bmiHeader.biClrUsed * sizeof(RGBQUAD);
      HGLOBAL wider = GlobalReAlloc(header, std::max<size_t>(bytes, GlobalSize(header)), GMEM_ZEROINIT);
      ok = wider != nullptr;
      if (ok) {
        h = static_cast<BYTE*>(GlobalLock(wider));
        GlobalUnlock(wider);
        std::memcpy(h, &converted, bytes);
      }
    }
  }
  if (h) GlobalUnlock(header);
  if (b) GlobalUnlock(bits);
  if (!ok) {
    GlobalFree(header);
    GlobalFree(bits);
    return 0;
  }
  Adopt(bits, header, nullptr);
  CreatePalette();
  return static_cast<DWORD>(length);
}

DWORD CDib::Save(CFile& file) const {
  if (!m_pBMI) return 0;
  BITMAPINFOHEADER h = m_pBMI->bmiHeader;
  if (h.biSize < 40 || !m_blocks) return 0;
  // What follows the header: the three masks of a bit-field DIB (at byte 40 whatever the
  // header's size), then the colours, which follow the header and, in the short header, the masks.
  const bool fields = h.biCompression == BI_BITFIELDS;
  const size_t held = GlobalSize(m_blocks->header);
  const size_t colorsAt = h.biSize + (fields && h.biSize < 52 ? 12 : 0);
  const size_t colorBytes = size_t{NumColors()} * sizeof(RGBQUAD);
  if ((fields && held < 52) || colorsAt > held || colorBytes > held - colorsAt) return 0;
  const BYTE* base = reinterpret_cast<const BYTE*>(m_pBMI);
  std::vector<BYTE> table;
  if (fields) table.assign(base + 40, base + 52);
  table.insert(table.end(), base + colorsAt, base + colorsAt + colorBytes);
  unsigned long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  size_t image;
  if (h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4) {
    image = h.biSizeImage;
  } else {
    // A header from a file may claim anything: the rows must fit the bits we hold.
    if (h.biWidth <= 0 || h.biBitCount == 0 || h.biBitCount > 32) return 0;
    unsigned long long row = ((static_cast<unsigned long long>(h.biBitCount) * h.biWidth + 31) >> 5) * 4;
    if (height > BitsSize() / row) return 0;
    image = static_cast<size_t>(row * height);
    h.biSizeImage = static_cast<DWORD>(image);
    m_pBMI->bmiHeader.biSizeImage = h.biSizeImage;
  }
  if (image > BitsSize()) return 0;
  h.biSize = 40;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = static_cast<DWORD>(sizeof fh + 40 + table.size());
  fh.bfSize = static_cast<DWORD>(fh.bfOffBits + image);
  if (!file.Write(&fh, sizeof fh) || !file.Write(&h, 40) ||
      !file.Write(table.data(), static_cast<UINT>(table.size())) || !file.Write(m_pBits, static_cast<UINT>(image)))
    return 0;
  return fh.bfSize;
}

int CDib::SaveFile(const char* path) {
  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite)) return 0;
  return Save(file) ? 1 : 0;
}

HGLOBAL CDib::CopyToHandle() const {
  CMemFile mem(4096);
  if (!Save(mem)) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, mem.GetLength());
  void* p = GlobalLock(block);
  if (!p) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(p, mem.Data(), mem.GetLength());
  GlobalUnlock(block);
  return block;
}

DWORD CDib::ReadFromHandle(HGLOBAL block) {
  const auto* p = static_cast<const BYTE*>(GlobalLock(block));
  if (!p) return 0;
  CMemFile mem(p, GlobalSize(block));
  DWORD n = Read(mem);
  GlobalUnlock(block);
  return n;
}

int CDib::ReadFromHBITMAP(HBITMAP bitmap) {
  if (!bitmap) return 0;
  Free();
  BITMAP bm{};
  if (!GetObject(bitmap, sizeof bm, &bm)) return 0;
  int line = Common::CalculateDibLineWidth(bm.bmBitsPixel, bm.bmWidth);
  HGLOBAL header = GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  HGLOBAL bits = GlobalAlloc(GHND, static_cast<size_t>(line) * bm.bmHeight);
  auto* info = static_cast<BITMAPINFO*>(GlobalLock(header));
  if (!info || !GlobalLock(bits)) {
    GlobalFree(header);
    GlobalFree(bits);
    return 0;
  }
  GlobalUnlock(header);
  GlobalUnlock(bits);
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = bm.bmWidth;
  h.biHeight = bm.bmHeight;
  h.biPlanes = 1;
  h.biBitCount = bm.bmBitsPixel;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(bm.bmHeight) * static_cast<DWORD>(line);
  Adopt(bits, header, nullptr);
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  int rows = GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), m_pBits, m_pBMI, DIB_RGB_COLORS);
  if (rows <= 0) {
    Free();
    return 0;
  }
  CreatePalette();
  return rows;
}

void CDib::SetData(BYTE* bits, BITMAPINFO* header, HPALETTE palette) {
  HGLOBAL b = GlobalHandle(bits);
  HGLOBAL h = GlobalHandle(header);
  Free();
  if (!b || !h) return;  // only blocks from GlobalAlloc can be adopted
  m_blocks = std::make_shared<Blocks>();
  m_blocks->bits = b;
  m_blocks->header = h;
  m_blocks->palette.reset(palette);
  m_pBits = bits;
  m_pBMI = header;
  m_pPalette = palette;
}

int CDib::Paint(HDC dc, RECT* dest, RECT* src) const {
  if (!m_pBMI || !dest || !src || !HeaderUsable()) return 0;
  HPALETTE old = nullptr;
  if (m_pPalette) old = SelectPalette(dc, m_pPalette, TRUE);
  SetStretchBltMode(dc, COLORONCOLOR);
  int dw = dest->right - dest->left, dh = dest->bottom - dest->top;
  int sw = src->right - src->left, sh = src->bottom - src->top;
  const BITMAPINFOHEADER& h = m_pBMI->bmiHeader;
  // Negated in 64 bits: a height of INT32_MIN has no positive 32-bit twin.
  int height = static_cast<int>(std::min<long long>(std::llabs(static_cast<long long>(h.biHeight)), INT32_MAX));
  int result;
  if (dw == sw && dh == sh) {
    result = vel::gdi::SetDIBitsToDeviceN(dc, dest->left, dest->top, static_cast<DWORD>(dw), static_cast<DWORD>(dh),
                                          src->left, height - src->bottom, 0, static_cast<UINT>(height), m_pBits,
                                          BitsSize(), m_pBMI, DIB_RGB_COLORS);
  } else {
    result = vel::gdi::StretchDIBitsN(dc, dest->left, dest->top, dw, dh, src->left, src->top, sw, sh, m_pBits,
                                      BitsSize(), m_pBMI, DIB_RGB_COLORS, SRCCOPY);
  }
  if (old) SelectPalette(dc, old, TRUE);
  return result;
}

HBITMAP CDib::GetImgHandle(_SRCIMAGEINFO* info) {
  if (!m_pBMI) return nullptr;
  const BITMAPINFOHEADER& h = m_pBMI->bmiHeader;
  // Top-down files have a negative height; the picture is as tall either way.
  int width = h.biWidth;
  // Negated in 64 bits: a height of INT32_MIN has no positive 32-bit twin.
  int height = static_cast<int>(std::min<long long>(std::llabs(static_cast<long long>(h.biHeight)), INT32_MAX));
  if (info) {
    info->nWidth = width;
    info->nHeight = height;
    info->nColorDepth = (h.biBitCount > 32 || h.biBitCount == 0) ? 32 : h.biBitCount;
    info->nColors = h.biClrUsed;
    info->nCompression = h.biCompression;
    info->bGray = 0;
  }
  // A few bytes of bits must not make us allocate and paint a giant picture.
  if (!HeaderUsable() || !lorimer::formats::PlausibleBmpSize(h, BitsSize())) return nullptr;
  vel::gdi::OwnedBitmap section(Common::CreateEmptyDIBSection(width, height, 0xFFFFFFFF, 0));
  if (!section) {
    Free();
    return nullptr;
  }
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  const vel::gdi::ScopedSelect select(dc.get(), section.get());
  RECT all{0, 0, width, height};
  RECT src = all;
  // Nothing drawn from these bits: not an image we can show.
  if (Paint(dc.get(), &all, &src) <= 0) return nullptr;
  return section.release();
}

HBITMAP CDib::ReadImage(CFile& file, _SRCIMAGEINFO* info) {
  if (!Read(file)) return nullptr;
  HBITMAP section = GetImgHandle(info);
  Free();
  return section;
}

HBITMAP CDib::ReadImage(CFile& file, long* width, long* height) {
  if (!Read(file)) return nullptr;
  _SRCIMAGEINFO info;
  HBITMAP section = GetImgHandle(&info);
  if (section) {
    if (width) *width = info.nWidth;
    if (height) *height = info.nHeight;
  }
  Free();
  return section;
}

int CDib::CreatePalette() {
  if (!m_pBMI) return 0;
  WORD n = NumColors();
  if (n == 0) return 1;
  if (!HeaderUsable()) return 0;
  std::vector<BYTE> store(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
  auto* log = reinterpret_cast<LOGPALETTE*>(store.data());
  log->palVersion = 0x300;
  log->palNumEntries = n;
  const RGBQUAD* colors =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(m_pBMI) + m_pBMI->bmiHeader.biSize);
  size_t available = (GlobalSize(m_blocks->header) - m_pBMI->bmiHeader.biSize) / sizeof(RGBQUAD);
  for (WORD i = 0; i < n; ++i) {
    RGBQUAD q = i < available ? colors[i] : RGBQUAD{0, 0, 0, 0};
    log->palPalEntry[i] = PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
  }
  HPALETTE palette = ::CreatePalette(log);
  if (!palette) return 0;
  m_blocks->palette.reset(palette);
  m_pPalette = palette;
  return 1;
}
