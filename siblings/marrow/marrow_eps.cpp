// EPS -> placeable WMF.
//
// pstoedit's EMF output places the page in twips with y pointing down from the top
// of a US-letter page (y = 20 * (792 - y_pt)) and sets up its mapping with its own
// window and viewport records; its header's frame does not describe the picture.
// We therefore replace those mapping records with our own (MM_ANISOTROPIC, window =
// the EPS bounding box in twips, viewport = that box in screen pixels) and give the
// EMF a header as if it had been recorded against the screen: bounds = the picture
// in pixels from (0,0), frame = its size in 0.01 mm. Converted to a WMF for
// MM_ANISOTROPIC, whose records keep the EMF's coordinates, the window the records
// end up in is the box in twips, and the same box with an inch of 1440 goes into
// the placeable header. The EMF travels inside the WMF as well, so a reader that
// takes it back out gets the sensible header.
//
// Everything the tools see lives in a private folder under $TMPDIR (the input is
// copied there under a plain name, so spaces, quotes, a leading '-' or a '%' in a
// path never reach a tool's own parsing); the folder is removed whatever happens.
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string_view>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/owned.h"
#include "platform/gdi/placeable.h"
#include "siblings/marrow/marrow.h"
#include "siblings/marrow/marrow_internal.h"
#include "siblings/marrow/run_tool.h"

namespace marrow {
namespace {

constexpr std::size_t kMaxInputBytes = std::size_t{512} << 20;
constexpr std::size_t kMaxEmfBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxBmpBytes = std::size_t{1} << 30;
constexpr double kLetterHeightPt = 792;
constexpr double kTwipsPerPoint = 20;
constexpr LONG kTwipsPerInch = 1440;
constexpr int kToolSeconds = 60;
// Where a pen record keeps its width: EMR_CREATEPEN's LOGPEN, EMR_EXTCREATEPEN's EXTLOGPEN.
constexpr size_t kPenWidth = 16;
constexpr size_t kExtPenWidth = 32;
// The DOS EPS binary header: its key, and its size up to the offsets and lengths of
// the PostScript and the previews.
constexpr DWORD kDosEpsKey = 0xC6D3D0C5;
constexpr std::size_t kDosEpsHeaderBytes = 30;

bool StartsPostScript(std::span<const BYTE> text) {
  return std::string_view(reinterpret_cast<const char*>(text.data()), text.size()).starts_with("%!");
}

class WorkDir {
 public:
  WorkDir() {
    const char* env = std::getenv("TMPDIR");
    std::error_code ec;
    std::filesystem::path base = env && *env ? std::filesystem::path(env) : std::filesystem::path("/tmp");
    base = std::filesystem::absolute(base, ec);
    if (ec) return;
    std::string pattern = (base / "marrow.XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~WorkDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string file(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The screen's resolution in dots per inch (left as it is when unknown).
void ScreenDpi(int& x, int& y) {
  if (const vel::gdi::OwnedDC screen{CreateCompatibleDC(nullptr)}) {
    const int dx = GetDeviceCaps(screen.get(), LOGPIXELSX), dy = GetDeviceCaps(screen.get(), LOGPIXELSY);
    if (dx > 0 && dy > 0) x = dx, y = dy;
  }
}

// The PostScript part of the input: the whole file, or the PostScript section of a
// DOS EPS binary (with its TIFF or WMF preview).
bool PostScriptSection(const std::vector<BYTE>& file, std::size_t& offset, std::size_t& length) {
  offset = 0;
  length = file.size();
  vel::ByteReader in(file);
  if (file.size() >= kDosEpsHeaderBytes && in.le32() == kDosEpsKey) {
    const DWORD off = in.le32(), len = in.le32();
    in.sub(off, len);
    if (!in) return false;
    offset = off;
    length = len;
  }
  return length > 0;
}

// %%HiResBoundingBox, else %%BoundingBox, from the comment lines (both ends of the
// file are searched, for "(atend)").
std::optional<BoundingBox> FindBoundingBox(std::span<const BYTE> text) {
  std::optional<BoundingBox> hires, plain;
  auto scan = [&](std::size_t from, std::size_t to) {
    vel::ByteReader in(text.subspan(from, to - from));
    while (!in.atEnd()) {
      // A line ends at CR or LF.
      const auto rest = in.rest();
      const std::size_t length = static_cast<std::size_t>(
          std::find_if(rest.begin(), rest.end(), [](BYTE c) { return c == '\n' || c == '\r'; }) - rest.begin());
      const std::string line(rest.begin(),
                             rest.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(length, 256)));
      in.skip(std::min(length + 1, rest.size()));
      for (auto [key, slot] : {std::pair{"%%HiResBoundingBox:", &hires}, std::pair{"%%BoundingBox:", &plain}}) {
        if (line.rfind(key, 0) != 0 || *slot) continue;
        BoundingBox b;
        const char* p = line.c_str() + std::strlen(key);
        char* endp = nullptr;
        double v[4];
        bool good = true;
        for (double& x : v) {
          x = std::strtod(p, &endp);
          // Anything beyond a million points is no page; it also keeps the twips in range.
          if (endp == p || !std::isfinite(x) || std::fabs(x) > 1e6) good = false;
          p = endp;
        }
        if (good && v[2] > v[0] && v[3] > v[1]) *slot = BoundingBox{v[0], v[1], v[2], v[3]};
      }
    }
  };
  const std::size_t size = text.size();
  const std::size_t window = 1 << 18;
  scan(0, std::min(size, window));
  if (size > window) scan(std::max(window, size - window), size);
  return hires ? hires : plain;
}

bool IsDrawing(DWORD type) {
  using namespace vel::gdi::emf;
  switch (type) {
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_SETPIXELV:
    case EMR_ANGLEARC:
    case EMR_ELLIPSE:
    case EMR_RECTANGLE:
    case EMR_ROUNDRECT:
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_LINETO:
    case EMR_ARCTO:
    case EMR_POLYDRAW:
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH:
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_PAINTRGN:
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
    case EMR_PLGBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS:
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
    case EMR_POLYDRAW16:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_GRADIENTFILL: return true;
    default: return false;
  }
}

bool IsMapping(DWORD type) {
  using namespace vel::gdi::emf;
  return type == EMR_SETMAPMODE || type == EMR_SETWINDOWEXTEX || type == EMR_SETWINDOWORGEX ||
         type == EMR_SETVIEWPORTEXTEX || type == EMR_SETVIEWPORTORGEX || type == EMR_SCALEVIEWPORTEXTEX ||
         type == EMR_SCALEWINDOWEXTEX;
}

bool Fits16(const RECTL& r) {
  auto ok = [](LONG v) { return v >= INT16_MIN && v <= INT16_MAX; };
  return ok(r.left) && ok(r.top) && ok(r.right) && ok(r.bottom) && r.right > r.left && r.bottom > r.top &&
         static_cast<long long>(r.right) - r.left <= INT16_MAX && static_cast<long long>(r.bottom) - r.top <= INT16_MAX;
}

std::vector<BYTE> WithPlaceable(const RECTL& box, WORD inch, const std::vector<BYTE>& wmf) {
  METAFILEHEADER_PLACEABLE p{};
  p.key = kPlaceableKey;
  p.left = static_cast<std::int16_t>(box.left);
  p.top = static_cast<std::int16_t>(box.top);
  p.right = static_cast<std::int16_t>(box.right);
  p.bottom = static_cast<std::int16_t>(box.bottom);
  p.inch = inch;
  p.checksum = vel::gdi::wmf::PlaceableChecksum(p);
  std::vector<BYTE> out;
  vel::ByteWriter file(out);
  vel::gdi::wmf::WritePlaceable(file, p);
  file.bytes(wmf);
  return out;
}

// The pstoedit route; nullopt when it gives nothing usable.
std::optional<std::vector<BYTE>> VectorWmf(const WorkDir& work, const std::optional<BoundingBox>& bbox) {
  const std::string eps = work.file("input.eps"), emfPath = work.file("picture.emf");
  if (!RunTool({{"pstoedit", "-q", "-page", "1", "-f", "emf", eps, emfPath}, work.path(), kToolSeconds}))
    return std::nullopt;
  std::vector<BYTE> emf;
  if (!vel::ReadWholeFile(emfPath.c_str(), emf, kMaxEmfBytes)) return std::nullopt;
  const auto wmf = EmfToPlaceableWmf(emf, bbox);
  if (!wmf) return std::nullopt;
  return wmf;
}

// The Ghostscript route: the first page at the screen's resolution, wrapped as one
// bitmap record. Readers size a WMF by its window, here the bitmap's pixels, so
// only the screen's resolution brings the picture back at the size of its box.
std::optional<std::vector<BYTE>> RasterWmf(const WorkDir& work) {
  int dpiX = 96, dpiY = 96;
  ScreenDpi(dpiX, dpiY);
  std::string bmpPath = work.file("page.bmp");
  // Ghostscript reads '%' in an output name as a page-number format.
  std::string outName;
  for (char c : bmpPath) {
    if (c == '%') outName.push_back('%');
    outName.push_back(c);
  }
  if (!RunTool({{"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop", "-sDEVICE=bmp16m",
                 "-r" + std::to_string(dpiX) + "x" + std::to_string(dpiY), "-dFirstPage=1", "-dLastPage=1",
                 "-sOutputFile=" + outName, work.file("input.eps")},
                work.path(),
                kToolSeconds}))
    return std::nullopt;
  std::vector<BYTE> bmp, wmf;
  if (!vel::ReadWholeFile(bmpPath.c_str(), bmp, kMaxBmpBytes)) return std::nullopt;
  if (!vel::gdi::wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), wmf)) return std::nullopt;
  return wmf;
}

bool ConvertEps(const std::string& input, const std::string& output) {
  if (input.empty() || output.empty()) return false;
  // Only PostScript or a DOS EPS binary is read whole; anything else (the image
  // library tries every file of unknown type here) is turned away at its first bytes.
  {
    std::array<BYTE, 4> head{};
    std::ifstream probe(input, std::ios::binary);
    if (!probe.read(reinterpret_cast<char*>(head.data()), head.size())) return false;
    const bool dosEps = vel::ByteReader(head).le32() == kDosEpsKey;
    if (!dosEps && !StartsPostScript(head)) return false;
  }
  std::vector<BYTE> file;
  if (!vel::ReadWholeFile(input.c_str(), file, kMaxInputBytes)) return false;
  std::size_t offset = 0, length = 0;
  if (!PostScriptSection(file, offset, length)) return false;
  const auto text = std::span(file).subspan(offset, length);
  // Not PostScript at all: no tool is started for it.
  if (!StartsPostScript(text)) return false;
  const auto bbox = FindBoundingBox(text);

  WorkDir work;
  if (!work.ok()) return false;
  if (!vel::ReplaceFileContents(work.file("input.eps"), text.data(), text.size(), "marrow")) return false;
  file.clear();
  file.shrink_to_fit();

  auto wmf = VectorWmf(work, bbox);
  if (!wmf) wmf = RasterWmf(work);
  if (!wmf) return false;
  return vel::ReplaceFileContents(output, *wmf, "marrow");
}

}  // namespace

std::optional<std::vector<BYTE>> EmfToPlaceableWmf(const std::vector<BYTE>& emf,
                                                   const std::optional<BoundingBox>& bbox) {
  using namespace vel::gdi;
  std::vector<emf::Record> records;
  if (!emf::ParseRecords(emf.data(), emf.size(), &records) || records.empty()) return std::nullopt;
  if (std::none_of(records.begin(), records.end(), [](const emf::Record& r) { return IsDrawing(r.type); }))
    return std::nullopt;
  const ENHMETAHEADER header = emf::HeaderOf(records[0]);
  const RECTL drawn = header.rclBounds;

  RECTL box = drawn;
  if (bbox) {
    const RECTL fromBox{static_cast<LONG>(std::floor(bbox->llx * kTwipsPerPoint)),
                        static_cast<LONG>(std::floor((kLetterHeightPt - bbox->ury) * kTwipsPerPoint)),
                        static_cast<LONG>(std::ceil(bbox->urx * kTwipsPerPoint)),
                        static_cast<LONG>(std::ceil((kLetterHeightPt - bbox->lly) * kTwipsPerPoint))};
    // Trust the bounding box only where the drawing actually is: a pstoedit that
    // placed the page elsewhere leaves us the drawn extent instead.
    const bool meets = drawn.left < fromBox.right && drawn.right > fromBox.left && drawn.top < fromBox.bottom &&
                       drawn.bottom > fromBox.top;
    if (meets) box = fromBox;
  }
  if (!Fits16(box)) return std::nullopt;

  // The screen's resolution: the EMF is recorded as if against the screen, so its
  // bounds are the picture in screen pixels, as readers of EMF headers expect.
  int dpiX = 96, dpiY = 96;
  ScreenDpi(dpiX, dpiY);
  const LONG boxW = box.right - box.left, boxH = box.bottom - box.top;
  const LONG pixelsW = std::max<LONG>(1, std::lround(static_cast<double>(boxW) * dpiX / kTwipsPerInch));
  const LONG pixelsH = std::max<LONG>(1, std::lround(static_cast<double>(boxH) * dpiY / kTwipsPerInch));

  // The EMF again: pstoedit's header record, then our mapping (the box in twips onto
  // the picture in pixels), then pstoedit's records without its own mapping.
  std::vector<BYTE> out;
  out.reserve(emf.size() + 128);
  vel::ByteWriter writer(out);
  writer.bytes(records[0].span());
  DWORD count = 1;
  auto add = [&](DWORD type, std::initializer_list<LONG> values) {
    writer.le32(type);
    writer.le32(static_cast<DWORD>(8 + 4 * values.size()));
    for (LONG v : values) writer.le32(static_cast<DWORD>(v));
    ++count;
  };
  add(emf::EMR_SETMAPMODE, {MM_ANISOTROPIC});
  add(emf::EMR_SETWINDOWORGEX, {box.left, box.top});
  add(emf::EMR_SETWINDOWEXTEX, {boxW, boxH});
  add(emf::EMR_SETVIEWPORTORGEX, {0, 0});
  add(emf::EMR_SETVIEWPORTEXTEX, {pixelsW, pixelsH});
  for (size_t i = 1; i < records.size(); ++i) {
    const emf::Record& r = records[i];
    if (IsMapping(r.type)) continue;
    const size_t at = out.size();
    writer.bytes(r.span());
    ++count;
    // pstoedit gives pen widths in points while its coordinates are in twips.
    const size_t widthAt = r.type == emf::EMR_CREATEPEN      ? kPenWidth
                           : r.type == emf::EMR_EXTCREATEPEN ? kExtPenWidth
                                                             : 0;
    vel::ByteReader pen = r.reader(widthAt);
    const LONG width = pen.le32s();
    if (widthAt && pen && width > 0)
      writer.patchLe32(at + widthAt,
                       static_cast<DWORD>(static_cast<LONG>(std::min<double>(width * kTwipsPerPoint, 32767))));
    if (r.type == emf::EMR_EOF) break;
  }
  const auto hundredthsMm = [](LONG v, int dpi) { return static_cast<LONG>(std::llround(v * 2540.0 / dpi)); };
  // The bounds reach one past the last pixel, as in the EMFs the image library
  // records itself: it takes a picture's size as right - left.
  vel::gdi::PatchRectl(writer, offsetof(ENHMETAHEADER, rclBounds), RECTL{0, 0, pixelsW, pixelsH});
  vel::gdi::PatchRectl(writer, offsetof(ENHMETAHEADER, rclFrame),
                       RECTL{0, 0, hundredthsMm(boxW, kTwipsPerInch), hundredthsMm(boxH, kTwipsPerInch)});
  writer.patchLe32(offsetof(ENHMETAHEADER, nBytes), static_cast<DWORD>(out.size()));
  writer.patchLe32(offsetof(ENHMETAHEADER, nRecords), count);
  // A reference device of ten inches at the screen's resolution.
  vel::gdi::PatchSizel(writer, offsetof(ENHMETAHEADER, szlDevice), SIZEL{10 * dpiX, 10 * dpiY});
  vel::gdi::PatchSizel(writer, offsetof(ENHMETAHEADER, szlMillimeters), SIZEL{254, 254});
  if (header.nSize >= sizeof(ENHMETAHEADER) &&
      (header.nDescription == 0 || header.offDescription >= sizeof(ENHMETAHEADER)))
    vel::gdi::PatchSizel(writer, offsetof(ENHMETAHEADER, szlMicrometers), SIZEL{254000, 254000});

  const vel::gdi::OwnedEnhMetaFile hemf(SetEnhMetaFileBits(static_cast<UINT>(out.size()), out.data()));
  if (!hemf) return std::nullopt;
  std::vector<BYTE> wmf;
  {
    const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
    const UINT need = GetWinMetaFileBits(hemf.get(), 0, nullptr, MM_ANISOTROPIC, dc.get());
    if (need > 0) {
      wmf.resize(need);
      if (GetWinMetaFileBits(hemf.get(), need, wmf.data(), MM_ANISOTROPIC, dc.get()) != need) wmf.clear();
    }
  }
  if (wmf.empty()) return std::nullopt;
  // Our own converter's output is a WMF we accept, or nothing is written.
  if (!vel::gdi::OwnedMetaFile(SetMetaFileBitsEx(static_cast<UINT>(wmf.size()), wmf.data()))) return std::nullopt;
  return WithPlaceable(box, static_cast<WORD>(kTwipsPerInch), wmf);
}

std::string NarrowSystemString(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == 0) break;  // the string ends at its terminator, as a system string does
    out += static_cast<char>(static_cast<unsigned char>(c));
  }
  return out;
}

std::u16string WidenToSystemString(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

}  // namespace marrow

bool EPS2WMF(const std::u16string& input, const std::u16string& output) {
  try {
    return marrow::ConvertEps(marrow::NarrowSystemString(input), marrow::NarrowSystemString(output));
  } catch (...) {
    return false;
  }
}
