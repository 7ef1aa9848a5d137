#include "siblings/epswriter/epswriter_lib.h"

#include <stdlib.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <cstdio>
#include <string>
#include <filesystem>
#include <span>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "platform/gdi/player.h"
#include "platform/shell/tool_run.h"
#include "siblings/marrow/marrow.h"

namespace epswriter {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kMaxMetafileBytes = std::size_t{256} << 20;
constexpr int kPdfDpi = 1200;
// Picture sizes are asked at this resolution: hundredths of a point.
constexpr int kFineDpi = 7200;
// Ghostscript's time for one page.
constexpr int kGhostscriptMs = 60 * 1000;
// Beyond this a page is no picture any more (200 inches).
constexpr double kMaxSidePt = 14400;
// The DOS EPS binary header: its key and its size.
constexpr std::uint32_t kDosEpsKey = 0xC6D3D0C5;
constexpr std::uint32_t kDosEpsHeaderBytes = 30;

class WorkDir {
 public:
  WorkDir() {
    const char* env = std::getenv("TMPDIR");
    std::error_code ec;
    auto base = std::filesystem::absolute(env && *env ? env : "/tmp", ec);
    if (ec) return;
    std::string pattern = (base / "epswriter.XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~WorkDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  bool ok() const { return !path_.empty(); }
  std::string file(const char* name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// What a metafile file starts with: an EMF's header record type, or a placeable WMF's key.
DWORD FirstDword(const Bytes& file) { return vel::ByteReader(file).le32(); }

bool IsEmf(const Bytes& file) { return file.size() >= 4 && FirstDword(file) == vel::gdi::emf::EMR_HEADER; }

bool Play(HDC dc, const Bytes& file, const RECT& dest) {
  if (IsEmf(file)) return vel::gdi::PlayEnhMetaFileBits(dc, file.data(), file.size(), &dest);
  return vel::gdi::PlayWinMetaFile(dc, file.data(), file.size(), &dest);
}

bool RenderPdf(const Bytes& file, double wPt, double hPt, const std::string& pdfPath) {
  QPdfWriter writer(QString::fromLocal8Bit(pdfPath.c_str()));
  writer.setResolution(kPdfDpi);
  writer.setPageLayout(
      QPageLayout(QPageSize(QSizeF(wPt, hPt), QPageSize::Point), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  QPainter painter;
  if (!painter.begin(&writer)) return false;
  vel::gdi::PainterCaps caps;
  caps.width = static_cast<int>(std::lround(wPt * kPdfDpi / 72));
  caps.height = static_cast<int>(std::lround(hPt * kPdfDpi / 72));
  caps.dpiX = caps.dpiY = kPdfDpi;
  caps.technology = DT_RASPRINTER;
  bool ok = false;
  {
    // The painter's DC goes before the painter ends.
    const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&painter, caps));
    ok = dc && Play(dc.get(), file, RECT{0, 0, caps.width, caps.height});
  }
  return painter.end() && ok;
}

Bytes PreviewTiff(const Bytes& file, double wPt, double hPt) {
  const int w = std::max(1, static_cast<int>(std::lround(wPt))), h = std::max(1, static_cast<int>(std::lround(hPt)));
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  vel::gdi::PainterCaps caps;
  caps.width = w;
  caps.height = h;
  caps.dpiX = caps.dpiY = 72;
  if (const vel::gdi::OwnedDC dc{vel::gdi::CreatePainterDC(&painter, caps)}) Play(dc.get(), file, RECT{0, 0, w, h});
  painter.end();
  std::vector<std::uint8_t> rgb;
  rgb.reserve(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb p = image.pixel(x, y);
      rgb.push_back(static_cast<std::uint8_t>(qRed(p)));
      rgb.push_back(static_cast<std::uint8_t>(qGreen(p)));
      rgb.push_back(static_cast<std::uint8_t>(qBlue(p)));
    }
  return RgbTiff(w, h, rgb);
}

}  // namespace

bool PictureSizePoints(const std::string& metafilePath, double& widthPt, double& heightPt) {
  int w = 0, h = 0, depth = 0;
  unsigned char flag = 0;
  // Placeable boxes and EMF frames are physical sizes: measured at 7200 dpi they are
  // hundredths of a point, so the page keeps the picture's size to the fraction.
  if (!WMFInfo(marrow::WidenToSystemString(metafilePath), &w, &h, &depth, kFineDpi, kFineDpi, &flag) || w <= 0 ||
      h <= 0)
    return false;
  Bytes head;
  if (!vel::ReadWholeFile(metafilePath.c_str(), head, kMaxMetafileBytes) || head.size() < 4) return false;
  const bool placeable = FirstDword(head) == kPlaceableKey;
  const bool physical = placeable || IsEmf(head) || vel::gdi::EmbeddedEmf(head.data(), head.size(), nullptr);
  const double scale = physical ? 72.0 / kFineDpi : 72.0 / 96.0;  // plain WMF units: screen pixels
  widthPt = w * scale;
  heightPt = h * scale;
  return widthPt <= kMaxSidePt && heightPt <= kMaxSidePt;
}

Bytes RgbTiff(int width, int height, const std::vector<std::uint8_t>& rgb) {
  const std::uint32_t pixels = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 3;
  Bytes t;
  vel::ByteWriter out(t);
  const std::uint16_t entries = 10;
  const std::uint32_t ifd = 8, bitsAt = ifd + 2 + entries * 12 + 4, dataAt = bitsAt + 6;
  out.text("II");  // little-endian
  out.le16(42);
  out.le32(ifd);
  out.le16(entries);
  auto tag = [&](std::uint16_t id, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    out.le16(id);
    out.le16(type);
    out.le32(count);
    out.le32(value);
  };
  tag(256, 4, 1, static_cast<std::uint32_t>(width));   // ImageWidth
  tag(257, 4, 1, static_cast<std::uint32_t>(height));  // ImageLength
  tag(258, 3, 3, bitsAt);                              // BitsPerSample 8,8,8
  tag(259, 3, 1, 1);                                   // no compression
  tag(262, 3, 1, 2);                                   // RGB
  tag(273, 4, 1, dataAt);                              // StripOffsets
  tag(277, 3, 1, 3);                                   // SamplesPerPixel
  tag(278, 4, 1, static_cast<std::uint32_t>(height));  // RowsPerStrip
  tag(279, 4, 1, pixels);                              // StripByteCounts
  tag(284, 3, 1, 1);                                   // chunky
  out.le32(0);                                         // no further directory
  out.le16(8);                                         // the bits of each sample
  out.le16(8);
  out.le16(8);
  out.bytes(std::span(rgb).first(std::min<std::size_t>(rgb.size(), pixels)));
  t.resize(dataAt + pixels, 0xFF);
  return t;
}

Bytes DosEps(const Bytes& postscript, const Bytes& tiff) {
  Bytes bytes;
  vel::ByteWriter out(bytes);
  out.le32(kDosEpsKey);
  out.le32(kDosEpsHeaderBytes);  // where the PostScript starts, and how long it is
  out.le32(static_cast<std::uint32_t>(postscript.size()));
  out.le32(0);  // no WMF preview
  out.le32(0);
  out.le32(static_cast<std::uint32_t>(kDosEpsHeaderBytes + postscript.size()));  // the TIFF preview
  out.le32(static_cast<std::uint32_t>(tiff.size()));
  out.le16(0xFFFF);  // no checksum
  out.bytes(postscript);
  out.bytes(tiff);
  return bytes;
}

// Ghostscript gives the EPS the box of what is drawn; the picture is the whole
// page, blank margins included, so the header's boxes are set to the page.
Bytes WithPageBox(const Bytes& postscript, double wPt, double hPt) {
  const std::string text(postscript.begin(), postscript.end());
  const size_t end = text.find("%%EndComments");
  if (end == std::string::npos) return postscript;
  char box[64], hiRes[96];
  std::snprintf(box, sizeof box, "%%%%BoundingBox: 0 0 %ld %ld", std::lround(std::ceil(wPt)),
                std::lround(std::ceil(hPt)));
  std::snprintf(hiRes, sizeof hiRes, "%%%%HiResBoundingBox: 0 0 %.2f %.2f", wPt, hPt);
  std::string out;
  out.reserve(text.size() + 64);
  size_t at = 0;
  while (at < end) {
    size_t eol = text.find('\n', at);
    if (eol == std::string::npos || eol > end) eol = end;
    const std::string line = text.substr(at, eol - at);
    if (line.rfind("%%BoundingBox:", 0) == 0) {
      out += box;
    } else if (line.rfind("%%HiResBoundingBox:", 0) == 0) {
      out += hiRes;
    } else {
      out += line;
    }
    if (eol < end) out += '\n';
    at = eol + 1;
  }
  out.append(text, end, std::string::npos);
  return Bytes(out.begin(), out.end());
}

bool WriteEps(const std::string& metafilePath, const std::string& epsPath, bool preview) {
  if (metafilePath.empty() || epsPath.empty()) return false;
  double wPt = 0, hPt = 0;
  if (!PictureSizePoints(metafilePath, wPt, hPt)) return false;
  Bytes file;
  if (!vel::ReadWholeFile(metafilePath.c_str(), file, kMaxMetafileBytes)) return false;
  WorkDir work;
  if (!work.ok()) return false;
  const std::string pdf = work.file("page.pdf"), eps = work.file("page.eps");
  if (!RenderPdf(file, wPt, hPt, pdf)) return false;
  if (!vel::shell::RunTool(
          {{"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=eps2write", "-sOutputFile=" + eps, pdf},
           work.path(),
           kGhostscriptMs}))
    return false;
  Bytes postscript;
  if (!vel::ReadWholeFile(eps.c_str(), postscript, std::size_t{1} << 30) || postscript.size() < 11 ||
      std::string(postscript.begin(), postscript.begin() + 10) != "%!PS-Adobe")
    return false;
  postscript = WithPageBox(postscript, wPt, hPt);
  return vel::ReplaceFileContents(epsPath, preview ? DosEps(postscript, PreviewTiff(file, wPt, hPt)) : postscript,
                                  "epswriter");
}

}  // namespace epswriter
