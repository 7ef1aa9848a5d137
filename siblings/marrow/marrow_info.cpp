// WMFInfo: the size, colour depth and bitmap flag of a metafile file. Read with the
// record views of the metafile layer, so every offset is checked before it is used.
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"
#include "siblings/marrow/marrow.h"
#include "siblings/wmfwrap/wmfwrap_lib.h"

namespace marrow {
namespace {

using vel::gdi::ByteView;
namespace emf = vel::gdi::emf;
namespace wmf = vel::gdi::wmf;

constexpr std::size_t kMaxMetafileBytes = std::size_t{256} << 20;
constexpr int kFallbackDpi = 96;

struct Info {
  long long width = 0, height = 0;
  int depth = 0;  // highest DIB bit count seen, 0 for none
  bool bitmap = false;
};

int Scaled(long long units, int dpi, double unitsPerInch) {
  const double v = std::llabs(units) * static_cast<double>(dpi) / unitsPerInch;
  return v >= INT_MAX ? INT_MAX : static_cast<int>(std::lround(v));
}

// The bit count of a DIB header at `offset` (BITMAPCOREHEADER or later), 0 if unreadable.
int DibBitCount(const ByteView& v, std::size_t offset) {
  DWORD headerSize = 0;
  WORD bits = 0;
  if (!v.u32(offset, headerSize)) return 0;
  if (headerSize == 12) return v.u16(offset + 10, bits) ? bits : 0;
  if (headerSize < 40) return 0;
  return v.u16(offset + 14, bits) ? bits : 0;
}

void SawBitmap(Info& info, int bits) {
  info.bitmap = true;
  if (bits > info.depth && bits <= 32) info.depth = bits;
}

// ---- WMF -----------------------------------------------------------------------

class Extent {
 public:
  void add(long long x, long long y) {
    if (!any_) {
      l_ = r_ = x;
      t_ = b_ = y;
      any_ = true;
    }
    l_ = std::min(l_, x), r_ = std::max(r_, x), t_ = std::min(t_, y), b_ = std::max(b_, y);
  }
  bool any() const { return any_; }
  long long width() const { return r_ - l_; }
  long long height() const { return b_ - t_; }

 private:
  bool any_ = false;
  long long l_ = 0, t_ = 0, r_ = 0, b_ = 0;
};

// Adds the corners a drawing record touches to the extent.
void Draws(const wmf::Record& r, Extent& e) {
  std::int16_t a = 0, b = 0, c = 0, d = 0;
  auto box = [&](size_t first) {  // bottom, right, top, left
    if (r.sparam(first, a) && r.sparam(first + 1, b) && r.sparam(first + 2, c) && r.sparam(first + 3, d))
      e.add(d, c), e.add(b, a);
  };
  auto area = [&](size_t first) {  // height, width, y, x
    if (r.sparam(first, a) && r.sparam(first + 1, b) && r.sparam(first + 2, c) && r.sparam(first + 3, d))
      e.add(d, c), e.add(d + b, c + a);
  };
  auto points = [&](size_t first, size_t count) {
    for (size_t i = 0; i < count; ++i)
      if (r.sparam(first + 2 * i, a) && r.sparam(first + 2 * i + 1, b)) e.add(a, b);
  };
  WORD n = 0;
  switch (r.function) {
    case wmf::META_RECTANGLE: case wmf::META_ELLIPSE: box(0); break;
    case wmf::META_ROUNDRECT: box(2); break;
    case wmf::META_ARC: case wmf::META_PIE: case wmf::META_CHORD: box(4); break;
    case wmf::META_LINETO: case wmf::META_MOVETO:
      if (r.sparam(0, a) && r.sparam(1, b)) e.add(b, a);
      break;
    case wmf::META_POLYGON: case wmf::META_POLYLINE:
      if (r.param(0, n)) points(1, n);
      break;
    case wmf::META_POLYPOLYGON: {
      WORD polys = 0;
      if (!r.param(0, polys)) break;
      size_t total = 0;
      for (size_t i = 0; i < polys; ++i)
        if (r.param(1 + i, n)) total += n;
      points(1 + polys, total);
      break;
    }
    case wmf::META_STRETCHDIB: area(7); break;
    case wmf::META_DIBSTRETCHBLT: case wmf::META_STRETCHBLT:
      area(r.paramCount() == 11 ? 6 : 5);  // the form without a bitmap has a reserved word
      break;
    case wmf::META_DIBBITBLT: case wmf::META_BITBLT:
      area(r.paramCount() == 9 ? 5 : 4);
      break;
    case wmf::META_SETDIBTODEV: area(5); break;
    case wmf::META_PATBLT: area(2); break;
    default: break;
  }
}

// Bitmaps in WMF records: a DIB (or, in the old blits, a BITMAP16) after the
// parameter words; the blits also exist without any bitmap.
void Bitmaps(const wmf::Record& r, Info& info) {
  const size_t words = r.size / 2;
  const size_t plain = (r.function >> 8) + 3u;  // record size of a blit without a bitmap
  switch (r.function) {
    case wmf::META_STRETCHDIB: if (r.has(28, 4)) SawBitmap(info, DibBitCount(r, 28)); break;
    case wmf::META_SETDIBTODEV: if (r.has(24, 4)) SawBitmap(info, DibBitCount(r, 24)); break;
    case wmf::META_DIBCREATEPATTERNBRUSH: if (r.has(10, 4)) SawBitmap(info, DibBitCount(r, 10)); break;
    case wmf::META_DIBSTRETCHBLT: if (words != plain && r.has(26, 4)) SawBitmap(info, DibBitCount(r, 26)); break;
    case wmf::META_DIBBITBLT: if (words != plain && r.has(22, 4)) SawBitmap(info, DibBitCount(r, 22)); break;
    case wmf::META_STRETCHBLT: case wmf::META_BITBLT: {
      if (words == plain) break;
      const size_t at = r.function == wmf::META_STRETCHBLT ? 26 : 22;  // BITMAP16: planes, bits at +8, +9
      BYTE planes = 0, bits = 0;
      if (r.u8(at + 8, planes) && r.u8(at + 9, bits)) SawBitmap(info, planes * bits);
      break;
    }
    case wmf::META_CREATEPATTERNBRUSH: {
      BYTE planes = 0, bits = 0;
      if (r.u8(6 + 8, planes) && r.u8(6 + 9, bits)) SawBitmap(info, planes * bits);
      break;
    }
    default: break;
  }
}

std::optional<Info> WmfInfo(const BYTE* data, size_t size, const METAFILEHEADER_PLACEABLE* placeable, int vDpi,
                            int hDpi) {
  std::vector<wmf::Record> records;
  if (!wmf::ParseRecords(data, size, &records)) return std::nullopt;
  Info info;
  Extent drawn;
  std::optional<std::pair<long long, long long>> windowExt;
  for (const wmf::Record& r : records) {
    Bitmaps(r, info);
    Draws(r, drawn);
    std::int16_t h = 0, w = 0;
    if (!windowExt && r.function == wmf::META_SETWINDOWEXT && r.sparam(0, h) && r.sparam(1, w))
      windowExt = std::pair<long long, long long>(std::llabs(w), std::llabs(h));
  }
  if (placeable && placeable->inch > 0 && placeable->right != placeable->left && placeable->bottom != placeable->top) {
    info.width = Scaled(static_cast<long long>(placeable->right) - placeable->left, hDpi, placeable->inch);
    info.height = Scaled(static_cast<long long>(placeable->bottom) - placeable->top, vDpi, placeable->inch);
  } else if (windowExt) {
    info.width = windowExt->first;
    info.height = windowExt->second;
  } else if (drawn.any()) {
    info.width = drawn.width();
    info.height = drawn.height();
  } else {
    return std::nullopt;
  }
  return info;
}

// ---- EMF -----------------------------------------------------------------------

std::optional<Info> EmfInfo(const BYTE* data, size_t size, int vDpi, int hDpi) {
  std::vector<emf::Record> records;
  if (!emf::ParseRecords(data, size, &records) || records.empty()) return std::nullopt;
  RECTL bounds{}, frame{};
  if (!records[0].rectl(8, bounds) || !records[0].rectl(24, frame)) return std::nullopt;
  Info info;
  for (const emf::Record& r : records) {
    size_t offField = 0;
    switch (r.type) {
      case emf::EMR_BITBLT: case emf::EMR_STRETCHBLT: case emf::EMR_MASKBLT: case emf::EMR_ALPHABLEND:
      case emf::EMR_TRANSPARENTBLT: offField = 84; break;
      case emf::EMR_PLGBLT: offField = 96; break;
      case emf::EMR_SETDIBITSTODEVICE: case emf::EMR_STRETCHDIBITS: offField = 48; break;
      case emf::EMR_CREATEDIBPATTERNBRUSHPT: case emf::EMR_CREATEMONOBRUSH: offField = 16; break;
      default: continue;
    }
    DWORD off = 0, cb = 0;
    // Blits without a source (pattern fills) carry no bitmap.
    if (r.u32(offField, off) && r.u32(offField + 4, cb) && off != 0 && cb != 0 && r.has(off, cb))
      SawBitmap(info, DibBitCount(r, off));
  }
  const long long fw = static_cast<long long>(frame.right) - frame.left;
  const long long fh = static_cast<long long>(frame.bottom) - frame.top;
  if (fw > 0 && fh > 0) {
    info.width = Scaled(fw, hDpi, 2540.0);
    info.height = Scaled(fh, vDpi, 2540.0);
  } else {
    // No frame: the bounds, inclusive device pixels.
    info.width = std::max(0LL, static_cast<long long>(bounds.right) - bounds.left + 1);
    info.height = std::max(0LL, static_cast<long long>(bounds.bottom) - bounds.top + 1);
    if (info.width == 0 || info.height == 0) return std::nullopt;
  }
  return info;
}

std::optional<Info> MetafileInfo(const std::vector<BYTE>& file, int vDpi, int hDpi) {
  const ByteView v{file.data(), file.size()};
  DWORD first = 0;
  if (!v.u32(0, first)) return std::nullopt;
  if (first == kPlaceableKey) {
    if (file.size() < sizeof(METAFILEHEADER_PLACEABLE)) return std::nullopt;
    METAFILEHEADER_PLACEABLE p;
    std::memcpy(&p, file.data(), sizeof p);
    return WmfInfo(file.data() + sizeof p, file.size() - sizeof p, &p, vDpi, hDpi);
  }
  if (first == emf::EMR_HEADER) return EmfInfo(file.data(), file.size(), vDpi, hDpi);
  // A WMF carrying its EMF is that EMF to every reader of ours, new size included.
  std::vector<BYTE> embedded;
  if (vel::gdi::EmbeddedEmf(file.data(), file.size(), &embedded))
    return EmfInfo(embedded.data(), embedded.size(), vDpi, hDpi);
  return WmfInfo(file.data(), file.size(), nullptr, vDpi, hDpi);
}

}  // namespace
}  // namespace marrow

bool WMFInfo(const std::u16string& input, int* width, int* height, int* depth, int verticalDpi, int horizontalDpi,
             unsigned char* flag) {
  try {
    const std::string path = marrow::NarrowSystemString(input);
    std::vector<BYTE> file;
    if (path.empty() || !wmfwrap::ReadWholeFile(path, file, marrow::kMaxMetafileBytes)) return false;
    const int vDpi = verticalDpi > 0 ? verticalDpi : marrow::kFallbackDpi;
    const int hDpi = horizontalDpi > 0 ? horizontalDpi : marrow::kFallbackDpi;
    const auto info = marrow::MetafileInfo(file, vDpi, hDpi);
    if (!info) return false;
    auto clampInt = [](long long v) { return static_cast<int>(std::min<long long>(v, INT_MAX)); };
    if (width) *width = clampInt(info->width);
    if (height) *height = clampInt(info->height);
    if (depth) *depth = info->depth > 0 ? info->depth : 8;
    if (flag) *flag = info->bitmap ? 1 : 0;
    return true;
  } catch (...) {
    return false;
  }
}
