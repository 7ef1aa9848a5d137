#include "lorimer/MetaFile.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/Common.h"
#include "lorimer/Dib.h"
#include "platform/base/bytes.h"
#include "platform/gdi/metafile_internal.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/owned.h"
#include "platform/gdi/player_walk.h"
#include "platform/shell/shell.h"

namespace {

constexpr const char* kTempPrefix = "lrmr_";

// A fresh temporary file name with our prefix (the file exists, empty).
std::string TempName() {
  char dir[MAX_PATH] = {};
  char name[MAX_PATH] = {};
  if (!GetTempPathA(sizeof(dir), dir) || !GetTempFileNameA(dir, kTempPrefix, 0, name)) return {};
  return name;
}

bool Exists(const char* path) { return path && _access(path, 0) == 0; }

// Some writers (pstoedit among them) put the header's bounds in logical units while
// their records map those units onto far fewer device pixels, so the bounds and the
// frame enclose empty space and the drawing lies wholly outside them. Such a header is
// replaced by one around what the records draw; null when the header is left alone.
HENHMETAFILE WithHeaderOfDrawing(HENHMETAFILE emf) {
  const UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
  ENHMETAHEADER h{};
  if (size < 88 || !GetEnhMetaFileHeader(emf, sizeof h, &h)) return nullptr;
  std::vector<BYTE> bytes(size);
  RECT drawn{};
  if (GetEnhMetaFileBits(emf, size, bytes.data()) != size ||
      !vel::gdi::emfplay::DrawnExtent(bytes.data(), bytes.size(), &drawn))
    return nullptr;
  const RECTL& b = h.rclBounds;
  const bool meets = drawn.left <= b.right && b.left <= drawn.right && drawn.top <= b.bottom && b.top <= drawn.bottom;
  if (meets || drawn.right <= drawn.left || drawn.bottom <= drawn.top) return nullptr;
  if (h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0 || h.szlMillimeters.cx <= 0 || h.szlMillimeters.cy <= 0)
    return nullptr;
  const double mmX = 100.0 * h.szlMillimeters.cx / h.szlDevice.cx, mmY = 100.0 * h.szlMillimeters.cy / h.szlDevice.cy;
  const RECTL bounds{drawn.left, drawn.top, drawn.right, drawn.bottom};
  const RECTL frame{static_cast<LONG>(std::lround(drawn.left * mmX)), static_cast<LONG>(std::lround(drawn.top * mmY)),
                    static_cast<LONG>(std::lround(drawn.right * mmX)),
                    static_cast<LONG>(std::lround(drawn.bottom * mmY))};
  vel::ByteWriter header(bytes);
  vel::gdi::PatchRectl(header, offsetof(ENHMETAHEADER, rclBounds), bounds);
  vel::gdi::PatchRectl(header, offsetof(ENHMETAHEADER, rclFrame), frame);
  return SetEnhMetaFileBits(size, bytes.data());
}

// What a file starts with: the placeable header when it has one (zero past the end of
// a short file) and whether it was whole, then the fields of the METAHEADER after it.
struct WmfStart {
  METAFILEHEADER_PLACEABLE placeable{};
  bool placeableWhole = false;
  long long start = 0;  // where the METAHEADER is
  bool headerWhole = false;
  METAHEADER header{};
};

// False when the file does not hold its first four bytes (the placeable key).
bool ReadWmfStart(CFile* file, WmfStart& out) {
  std::array<BYTE, sizeof(METAFILEHEADER_PLACEABLE)> box{};
  file->Seek(0, CFile::begin);
  const UINT got = file->Read(box.data(), static_cast<UINT>(box.size()));
  if (got < 4) return false;
  vel::ByteReader in(box);
  if (const auto placeable = vel::gdi::wmf::ReadPlaceable(in)) {
    out.placeable = *placeable;
    out.placeableWhole = got == box.size();
    out.start = sizeof(METAFILEHEADER_PLACEABLE);
  }
  std::array<BYTE, sizeof(METAHEADER)> head{};
  file->Seek(out.start, CFile::begin);
  out.headerWhole = file->Read(head.data(), static_cast<UINT>(head.size())) == head.size();
  vel::ByteReader fields(head);
  out.header = vel::gdi::wmf::ReadHeaderFields(fields);
  return true;
}

}  // namespace

namespace lorimer {

std::string HelperPath(const char* baseName) {
  char program[4096] = {};
  if (!GetModuleFileNameA(nullptr, program, sizeof(program))) return {};
  std::string path = program;
  const size_t slash = path.find_last_of('/');
  path = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + baseName;
  return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

bool RunHelper(const char* baseName, const std::string& params) {
  const std::string helper = HelperPath(baseName);
  if (helper.empty()) return false;
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;  // 60 bytes in the 32-bit layout

  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = helper.c_str();
  info.lpParameters = params.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info) || !info.hProcess) return false;
  if (WaitForSingleObject(info.hProcess, 0) == WAIT_FAILED) {
    CloseHandle(info.hProcess);
    return false;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hProcess);
  return true;
}

}  // namespace lorimer

int CopyWMFOnDisk(HMETAFILE metafile, const char* path) {
  if (!metafile || !path) return 0;
  // The copy's own result: an older file of that name says nothing about this write.
  vel::gdi::OwnedMetaFile written(CopyMetaFileA(metafile, path));
  return written ? 1 : 0;
}

int CopyEMFOnDisk(HENHMETAFILE metafile, const char* path) {
  if (!metafile || !path) return 0;
  vel::gdi::OwnedEnhMetaFile written(CopyEnhMetaFileA(metafile, path));
  return written ? 1 : 0;
}

CMetaFile::CMetaFile() = default;

CMetaFile::~CMetaFile() { Clear(); }

CMetaFile::CMetaFile(const CMetaFile& other) { *this = other; }

CMetaFile& CMetaFile::operator=(const CMetaFile& other) {
  if (this == &other) return *this;
  Clear();
  m_placeable = other.m_placeable;
  m_header = other.m_header;
  if (other.m_hEmf) m_hEmf = CopyEnhMetaFileA(other.m_hEmf, nullptr);
  return *this;
}

void CMetaFile::Clear() {
  if (m_hEmf) DeleteEnhMetaFile(m_hEmf);
  m_hEmf = nullptr;
  m_placeable = METAFILEHEADER_PLACEABLE{};
  m_header = ENHMETAHEADER{};
}

bool CMetaFile::IsEmpty() const { return m_hEmf == nullptr; }

int CMetaFile::Read(const char* path) {
  if (!path || !*path) return 0;
  int isWmf = 0;
  if (vel::gdi::OwnedEnhMetaFile emf{GetEnhMetaFileA(path)}) {
    Clear();
    if (HENHMETAFILE repaired = WithHeaderOfDrawing(emf.get())) {
      // The file's own header is what was wrong: its size on disk means nothing.
      m_hEmf = repaired;
      FeelEMFHeder(nullptr, 0);
      return 1;
    }
    m_hEmf = emf.release();
  } else {
    CFile file;
    if (!file.Open(path, CFile::modeRead)) return 0;
    if (!Read(&file)) return 0;
    isWmf = 1;
  }
  FeelEMFHeder(path, isWmf);
  return IsEmpty() ? 0 : 1;
}

int CMetaFile::Read(CFile* file) {
  WmfStart wmf;
  if (!file || !ReadWmfStart(file, wmf)) return 0;
  Clear();
  // A placeable header cut short is kept as far as it goes, and refused.
  m_placeable = wmf.placeable;
  if (wmf.start && !wmf.placeableWhole) return 0;
  const long long start = wmf.start;
  const METAHEADER& header = wmf.header;
  if (!wmf.headerWhole) return 0;
  if ((header.mtType != 1 && header.mtType != 2) || header.mtSize == 0) return 0;
  // Never more than the file holds after the start.
  const unsigned long long length = file->GetLength();
  const unsigned long long available = length > static_cast<unsigned long long>(start) ? length - start : 0;
  const unsigned long long wanted = std::min<unsigned long long>(2ULL * header.mtSize, available);
  if (wanted < sizeof(header) || wanted > 0x7FFFFFFF) return 0;
  std::vector<BYTE> bits(static_cast<size_t>(wanted));
  file->Seek(start, CFile::begin);
  if (file->Read(bits.data(), static_cast<UINT>(bits.size())) < bits.size()) return 0;
  vel::gdi::OwnedEnhMetaFile converted(
      SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr));
  if (!converted) return 0;
  m_hEmf = CopyEnhMetaFileA(converted.get(), nullptr);
  if (m_hEmf) GetEnhMetaFileHeader(m_hEmf, sizeof(m_header), &m_header);
  return m_hEmf ? 1 : 0;
}

bool CMetaFile::IsMetafile(CFile* file) {
  WmfStart wmf;
  if (!file || !ReadWmfStart(file, wmf) || !wmf.headerWhole) return false;
  return wmf.header.mtType == 1 || wmf.header.mtType == 2;
}

HMETAFILE CMetaFile::GetHandle(_SRCIMAGEINFO* info) {
  if (IsEmpty()) return nullptr;
  HMETAFILE result = nullptr;
  {
    vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const UINT size = GetWinMetaFileBits(m_hEmf, 0, nullptr, MM_ANISOTROPIC, dc.get());
    if (size > 0) {
      std::vector<BYTE> bits(size);
      if (GetWinMetaFileBits(m_hEmf, size, bits.data(), MM_ANISOTROPIC, dc.get()) == size)
        result = SetMetaFileBitsEx(size, bits.data());
    }
  }
  if (info) {
    info->nWidth = m_header.rclBounds.right - m_header.rclBounds.left;
    info->nHeight = m_header.rclBounds.bottom - m_header.rclBounds.top;
    info->nColorDepth = 0;
    info->nColors = 0;
    info->bGray = 0;
  }
  return result;
}

int CMetaFile::Write(const char* path) { return IsEmpty() ? 0 : CopyEMFOnDisk(m_hEmf, path); }

int CMetaFile::InitFromHWMF(HMETAFILE metafile, int, int) {
  if (!metafile) return 0;
  HENHMETAFILE converted = nullptr;
  {
    // The WMF is ours from the call on, whatever happens.
    vel::gdi::OwnedMetaFile wmf(metafile);
    const UINT size = GetMetaFileBitsEx(wmf.get(), 0, nullptr);
    if (size > 0) {
      std::vector<BYTE> bits(size);
      if (GetMetaFileBitsEx(wmf.get(), size, bits.data()) == size)
        converted = SetWinMetaFileBits(size, bits.data(), nullptr, nullptr);
    }
  }
  if (!converted) return 0;
  Clear();
  m_hEmf = converted;
  GetEnhMetaFileHeader(m_hEmf, sizeof(m_header), &m_header);
  return 1;
}

int CMetaFile::InitFromHEMF(HENHMETAFILE metafile) {
  if (!metafile) return 0;
  Clear();
  m_hEmf = metafile;
  GetEnhMetaFileHeader(m_hEmf, sizeof(m_header), &m_header);
  return 1;
}

int CMetaFile::InitFromHBMP(HBITMAP bitmap, int mode) {
  if (!bitmap) return 0;
  Clear();
  if (mode) {
    char* path = GetTempWMFPath();
    if (!path) return 0;
    int ok = 0;
    if (_BMP2WMF_Proc(bitmap, path)) {
      ok = Read(path);
      FeelEMFHeder(path, 0);
    }
    Common::RemoveFile(path);
    delete[] path;
    return ok && !IsEmpty() ? 1 : 0;
  }

  // Recorded here: the bitmap copied one to one into a metafile whose frame is
  // its size on the screen, in hundredths of a millimetre.
  BITMAP bm{};
  if (!GetObject(bitmap, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return 0;
  const int w = bm.bmWidth, h = bm.bmHeight;
  vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  const LONG horzSize = GetDeviceCaps(dc.get(), HORZSIZE), vertSize = GetDeviceCaps(dc.get(), VERTSIZE);
  const LONG horzRes = GetDeviceCaps(dc.get(), HORZRES), vertRes = GetDeviceCaps(dc.get(), VERTRES);
  const RECTL frame{0, 0, static_cast<LONG>(static_cast<long long>(horzSize) * w * 100 / std::max<LONG>(horzRes, 1)),
                    static_cast<LONG>(static_cast<long long>(h) * vertSize * 100 / std::max<LONG>(vertRes, 1))};
  BITMAPINFO bi = Common::GetEmptyBMPInfoHeader(w, h, 24, 1, 0);
  const size_t rowBytes = static_cast<size_t>(Common::CalculateDibLineWidth(24, w));
  std::vector<BYTE> pixels(rowBytes * static_cast<size_t>(h));
  const int rows = GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(h), pixels.data(), &bi, DIB_RGB_COLORS);
  dc.reset();
  if (rows != h) return 0;

  using vel::gdi::meta::EmfWriter;
  using vel::gdi::meta::Params;
  EmfWriter writer;
  const DWORD headerBytes = sizeof(BITMAPINFOHEADER);
  const DWORD fixed = 80;  // EMR_STRETCHDIBITS before its bitmap header
  Params p;
  p.rect(RECTL{0, 0, w - 1, h - 1});
  p.i32(0).i32(0).i32(0).i32(0).i32(w).i32(h);  // dest x, y; src x, y, cx, cy
  p.u32(fixed).u32(headerBytes).u32(fixed + headerBytes).u32(static_cast<DWORD>(pixels.size()));
  p.u32(DIB_RGB_COLORS).u32(SRCCOPY).i32(w).i32(h);
  std::vector<BYTE> header;
  vel::ByteWriter headerWriter(header);
  vel::gdi::WriteBitmapInfoHeader(headerWriter, bi.bmiHeader);
  p.raw(header.data(), header.size()).raw(pixels.data(), pixels.size());
  writer.record(vel::gdi::emf::EMR_STRETCHDIBITS, p);
  // The header's bounds reach to (w, h), one past the last pixel: readers of
  // this library take the picture's size as right - left, so the bitmap comes
  // back at its own size and pixel for pixel.
  const std::vector<BYTE> bytes =
      writer.finish(RECTL{0, 0, w, h}, frame, 1, SIZEL{horzRes, vertRes}, SIZEL{horzSize, vertSize});
  m_hEmf = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  if (!m_hEmf) return 0;
  FeelEMFHeder(nullptr, 0);
  return 1;
}

RECT CMetaFile::GetFrameRect() const {
  return RECT{m_header.rclFrame.left, m_header.rclFrame.top, m_header.rclFrame.right, m_header.rclFrame.bottom};
}

void CMetaFile::FeelEMFHeder(const char* path, int isWmf) {
  if (IsEmpty()) return;
  GetEnhMetaFileHeader(m_hEmf, sizeof(m_header), &m_header);
  RECTL& bounds = m_header.rclBounds;
  if (path) {
    const METAFILEINFO info = _GETWMFINFO_Proc(path);
    if (info.width > 0 && info.height > 0) {
      // The bounds' height is the reference, wherever they start.
      const double x = (static_cast<double>(bounds.bottom) - bounds.top) / info.height;
      bounds.left = bounds.top = 0;
      bounds.right = static_cast<LONG>(std::floor(x * info.width));
      bounds.bottom = static_cast<LONG>(std::floor(x * info.height));
      return;
    }
  }
  const METAFILEHEADER_PLACEABLE& box = m_placeable;
  if (isWmf && box.right > box.left && box.bottom > box.top) {
    const double ratio = static_cast<double>(box.right - box.left) / (box.bottom - box.top);
    const double right = std::floor(ratio * bounds.bottom);
    if (right > 0 && right < 2147483647.0) {
      bounds.left = bounds.top = 0;
      bounds.right = static_cast<LONG>(right);
    }
  }
}

void CMetaFile::FitPicture(RECT& rect, SIZE& size, METAALIGNMENT alignment) {
  const RECT given = rect;
  const int a = static_cast<int>(alignment);
  if (a >= 1 && a <= 9) {
    const int row = (a - 1) / 3, column = (a - 1) % 3;
    if (row == 0) {
      rect.bottom = rect.top + size.cy;
    } else if (row == 1) {
      rect.top = (rect.top + rect.bottom - size.cy) / 2;
      rect.bottom = rect.top + size.cy;
    } else {
      rect.top = rect.bottom - size.cy;
    }
    if (column == 0) {
      rect.right = rect.left + size.cx;
    } else if (column == 1) {
      rect.left = (rect.left + rect.right - size.cx) / 2;
      rect.right = rect.left + size.cx;
    } else {
      rect.left = rect.right - size.cx;
    }
    // Never outside the rectangle given.
    rect.left = std::max(rect.left, given.left);
    rect.top = std::max(rect.top, given.top);
    rect.right = std::min(rect.right, given.right);
    rect.bottom = std::min(rect.bottom, given.bottom);
  } else if (a == MA_PROPORTIONAL && size.cx > 0 && size.cy > 0) {
    const long long rw = given.right - given.left, rh = given.bottom - given.top;
    if (rh * size.cx < static_cast<long long>(size.cy) * rw) {
      const LONG width = static_cast<LONG>(rh * size.cx / size.cy);
      rect.left = given.left + static_cast<LONG>((rw - width) / 2);
      rect.right = rect.left + width;
    } else {
      const LONG height = static_cast<LONG>(rw * size.cy / size.cx);
      rect.top = given.top + static_cast<LONG>((rh - height) / 2);
      rect.bottom = rect.top + height;
    }
  }
  // 10 stretches over the rectangle; anything else leaves it as it is.
}

char* CMetaFile::GetTempWMFPath() {
  const std::string name = TempName();
  if (name.empty()) return nullptr;
  ::unlink(name.c_str());
  char* path = new char[264];
  std::snprintf(path, 264, "%s.wmf", name.c_str());
  return path;
}

unsigned short* CMetaFile::Char2BSTR(char* text) {
  if (!text) return nullptr;
  const size_t n = std::strlen(text);
  auto* wide = new unsigned short[n + 1];
  for (size_t i = 0; i < n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  wide[n] = 0;
  return wide;
}

int CMetaFile::_BMP2WMF_Proc(HBITMAP bitmap, char* wmfPath) {
  if (!bitmap || !wmfPath) return 0;
  CDib dib;
  if (!dib.ReadFromHBITMAP(bitmap)) return 0;
  const std::string bmp = TempName();
  if (bmp.empty()) return 0;
  int ok = 0;
  if (dib.SaveFile(bmp.c_str()))
    ok = lorimer::RunHelper("wmfwrap", "\"" + bmp + "\" \"" + wmfPath + "\"") && Exists(wmfPath) ? 1 : 0;
  ::unlink(bmp.c_str());
  return ok;
}

METAFILEINFO CMetaFile::_GETWMFINFO_Proc(const char* metafilePath) {
  METAFILEINFO info;
  if (!metafilePath) return info;
  const std::string out = TempName();
  if (out.empty()) return info;
  if (lorimer::RunHelper("wmfprobe", std::string("\"") + metafilePath + "\" \"" + out + "\"")) {
    if (FILE* f = std::fopen(out.c_str(), "r")) {
      int values[4] = {0, 0, 0, 0};
      if (std::fscanf(f, "%d %d %d %d", &values[0], &values[1], &values[2], &values[3]) == 4) {
        info.width = values[0];
        info.height = values[1];
        info.depth = values[2];
        info.flag = values[3];
      }
      std::fclose(f);
    }
  }
  ::unlink(out.c_str());
  return info;
}
