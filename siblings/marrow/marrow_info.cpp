// WMFInfo: the size, colour depth and bitmap flag of a metafile file. Read through
// the record readers of the metafile layer, so no read can leave its record.
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"
#include "siblings/marrow/marrow.h"

namespace marrow {
namespace {

namespace emf = vel::gdi::emf;
namespace wmf = vel::gdi::wmf;

constexpr std::size_t kMaxMetafileBytes = std::size_t{256} << 20;
constexpr int kFallbackDpi = 96;
constexpr DWORD kCoreHeaderBytes = 12;  // BITMAPCOREHEADER

struct Info {
  long long width = 0, height = 0;
  int depth = 0;  // highest DIB bit count seen, 0 for none
  bool bitmap = false;
};

int Scaled(long long units, int dpi, double unitsPerInch) {
  const double v = std::llabs(units) * static_cast<double>(dpi) / unitsPerInch;
  return v >= INT_MAX ? INT_MAX : static_cast<int>(std::lround(v));
}

// The bit count of the DIB header at the reader (BITMAPCOREHEADER or later), 0 if unreadable.
int DibBitCount(vel::ByteReader dib) {
  const DWORD headerSize = dib.le32();
  if (!dib) return 0;
  if (headerSize == kCoreHeaderBytes) {
    dib.skip(2 + 2 + 2);  // width, height, planes
  } else if (headerSize >= sizeof(BITMAPINFOHEADER)) {
    dib.skip(4 + 4 + 2);  // width, height, planes
  } else {
    return 0;
  }
  const WORD bits = dib.le16();
  return dib ? bits : 0;
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

// Adds the corners a drawing record touches to the extent. The coordinates follow
// `first` parameter words (which hold other arguments).
void Draws(const wmf::Record& r, Extent& e) {
  vel::ByteReader in = r.params();
  auto s16 = [&] { return static_cast<long long>(in.le16s()); };
  auto box = [&](size_t first) {  // bottom, right, top, left
    in.skip(first * 2);
    const long long bottom = s16(), right = s16(), top = s16(), left = s16();
    if (in) e.add(left, top), e.add(right, bottom);
  };
  auto area = [&](size_t first) {  // height, width, y, x
    in.skip(first * 2);
    const long long height = s16(), width = s16(), y = s16(), x = s16();
    if (in) e.add(x, y), e.add(x + width, y + height);
  };
  auto points = [&](size_t count) {  // x, y pairs
    for (size_t i = 0; i < count; ++i) {
      const long long x = s16(), y = s16();
      if (!in) break;
      e.add(x, y);
    }
  };
  switch (r.function) {
    case wmf::META_RECTANGLE:
    case wmf::META_ELLIPSE: box(0); break;
    case wmf::META_ROUNDRECT: box(2); break;
    case wmf::META_ARC:
    case wmf::META_PIE:
    case wmf::META_CHORD: box(4); break;
    case wmf::META_LINETO:
    case wmf::META_MOVETO: {
      const long long y = s16(), x = s16();
      if (in) e.add(x, y);
      break;
    }
    case wmf::META_POLYGON:
    case wmf::META_POLYLINE: {
      const WORD n = in.le16();
      if (in) points(n);
      break;
    }
    case wmf::META_POLYPOLYGON: {
      const WORD polys = in.le16();
      if (!in) break;
      size_t total = 0;
      for (size_t i = 0; i < polys && in; ++i) total += in.le16();
      points(total);
      break;
    }
    case wmf::META_STRETCHDIB: area(7); break;
    case wmf::META_DIBSTRETCHBLT:
    case wmf::META_STRETCHBLT:
      area(r.paramCount() == 11 ? 6 : 5);  // the form without a bitmap has a reserved word
      break;
    case wmf::META_DIBBITBLT:
    case wmf::META_BITBLT: area(r.paramCount() == 9 ? 5 : 4); break;
    case wmf::META_SETDIBTODEV: area(5); break;
    case wmf::META_PATBLT: area(2); break;
    default: break;
  }
}

// Bitmaps in WMF records: a DIB (or, in the old blits and pattern brushes, a
// BITMAP16) after the parameter words; the blits also exist without any bitmap.
void Bitmaps(const wmf::Record& r, Info& info) {
  const size_t words = r.size / 2;
  const size_t plain = (r.function >> 8) + 3u;  // record size of a blit without a bitmap
  auto dibAfter = [&](size_t paramWords) {
    vel::ByteReader in = r.params();
    in.skip(paramWords * 2);
    if (in && in.has(4)) SawBitmap(info, DibBitCount(in));
  };
  auto bitmap16After = [&](size_t paramWords) {  // type, width, height, bytes per row, then planes and bits
    vel::ByteReader in = r.params();
    in.skip(paramWords * 2 + 8);
    const BYTE planes = in.u8(), bits = in.u8();
    if (in) SawBitmap(info, planes * bits);
  };
  switch (r.function) {
    case wmf::META_STRETCHDIB: dibAfter(11); break;
    case wmf::META_SETDIBTODEV: dibAfter(9); break;
    case wmf::META_DIBCREATEPATTERNBRUSH: dibAfter(2); break;
    case wmf::META_DIBSTRETCHBLT:
      if (words != plain) dibAfter(10);
      break;
    case wmf::META_DIBBITBLT:
      if (words != plain) dibAfter(8);
      break;
    case wmf::META_STRETCHBLT:
      if (words != plain) bitmap16After(10);
      break;
    case wmf::META_BITBLT:
      if (words != plain) bitmap16After(8);
      break;
    case wmf::META_CREATEPATTERNBRUSH: bitmap16After(0); break;
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
    if (windowExt || r.function != wmf::META_SETWINDOWEXT) continue;
    vel::ByteReader in = r.params();
    const long long h = in.le16s(), w = in.le16s();
    if (in) windowExt = std::pair<long long, long long>(std::llabs(w), std::llabs(h));
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
  const ENHMETAHEADER header = emf::HeaderOf(records[0]);
  const RECTL& bounds = header.rclBounds;
  const RECTL& frame = header.rclFrame;
  Info info;
  for (const emf::Record& r : records) {
    // Where the record keeps the offset and size of its bitmap's header.
    size_t offField = 0;
    switch (r.type) {
      case emf::EMR_BITBLT:
      case emf::EMR_STRETCHBLT:
      case emf::EMR_MASKBLT:
      case emf::EMR_ALPHABLEND:
      case emf::EMR_TRANSPARENTBLT: offField = 84; break;
      case emf::EMR_PLGBLT: offField = 96; break;
      case emf::EMR_SETDIBITSTODEVICE:
      case emf::EMR_STRETCHDIBITS: offField = 48; break;
      case emf::EMR_CREATEDIBPATTERNBRUSHPT:
      case emf::EMR_CREATEMONOBRUSH: offField = 16; break;
      default: continue;
    }
    vel::ByteReader fields = r.reader(offField);
    const DWORD off = fields.le32(), cb = fields.le32();
    // Blits without a source (pattern fills) carry no bitmap.
    if (fields && off != 0 && cb != 0 && r.has(off, cb)) SawBitmap(info, DibBitCount(r.reader(off)));
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
  vel::ByteReader in(file);
  const DWORD first = vel::ByteReader(file).le32();
  if (!in.has(4)) return std::nullopt;
  if (first == kPlaceableKey) {
    const auto placeable = wmf::ReadPlaceable(in);
    if (!placeable) return std::nullopt;
    return WmfInfo(in.rest().data(), in.remaining(), &*placeable, vDpi, hDpi);
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
    if (path.empty() || !vel::ReadWholeFile(path.c_str(), file, marrow::kMaxMetafileBytes)) return false;
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
