// Windows metafiles against public tools: WMF files we write are drawn by libwmf,
// EMF files pstoedit writes are drawn by our player and held against Ghostscript's
// rendering of the same PostScript, bitmaps survive a trip through an EMF pixel for
// pixel, and our WMF <-> EMF conversions keep the picture. Every file is generated here;
// a test whose tool is missing is skipped with a message naming the tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/placeable.h"
#include "platform/gdi/player.h"
#include "platform/ui/ui.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;

const char* const kImageMagick = "convert-im6.q16";

// ---- pictures -------------------------------------------------------------------------

using Rgb = std::array<int, 3>;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  Rgb at(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// A binary PPM (P6, maxval 255) as Ghostscript's ppmraw device and ImageMagick write it.
std::optional<Image> ReadPpm(const std::string& path) {
  const Bytes b = ReadFile(path);
  size_t at = 0;
  auto token = [&]() -> std::string {
    for (;;) {
      while (at < b.size() && std::isspace(b[at])) ++at;
      if (at < b.size() && b[at] == '#') {
        while (at < b.size() && b[at] != '\n') ++at;
        continue;
      }
      break;
    }
    std::string t;
    while (at < b.size() && !std::isspace(b[at])) t.push_back(static_cast<char>(b[at++]));
    return t;
  };
  if (token() != "P6") return std::nullopt;
  Image img;
  img.width = std::atoi(token().c_str());
  img.height = std::atoi(token().c_str());
  if (token() != "255" || img.width <= 0 || img.height <= 0) return std::nullopt;
  ++at;  // the single whitespace before the samples
  const size_t n = static_cast<size_t>(img.width) * img.height * 3;
  if (b.size() < at + n) return std::nullopt;
  img.rgb.assign(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
  return img;
}

// Any picture file ImageMagick reads, as RGB on white (transparency flattened).
std::optional<Image> ReadWithImageMagick(const TempDir& dir, const std::string& path) {
  const std::string ppm = dir.file("im-out.ppm");
  if (RunProgram({"/usr/bin/env", kImageMagick, path, "-background", "white", "-flatten", "-depth", "8", ppm}) != 0)
    return std::nullopt;
  return ReadPpm(ppm);
}

// A white 24-bit DIB section selected into a memory DC; snapshot() reads its bits.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  BYTE* bits = nullptr;
  int width, height;
  Canvas(int w, int h) : width(w), height(h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<BYTE*>(p);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  Image snapshot() const {
    GdiFlush();
    Image img;
    img.width = width;
    img.height = height;
    img.rgb.resize(static_cast<size_t>(width) * height * 3);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const BYTE* px = bits + stride * y + 3 * x;  // top-down, stored B G R
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        img.rgb[i] = px[2];
        img.rgb[i + 1] = px[1];
        img.rgb[i + 2] = px[0];
      }
    return img;
  }
};

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  return true;
}

// Inclusive bounds (in pixels) of the pixels within `tolerance` of a colour, or of
// everything that is not near white.
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long count = 0;
  bool empty() const { return count == 0; }
  void add(int x, int y) {
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x);
    bottom = std::max(bottom, y);
    ++count;
  }
};
Box ColourBox(const Image& img, const Rgb& colour, int tolerance) {
  Box box;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (Near(img.at(x, y), colour, tolerance)) box.add(x, y);
  return box;
}
Box InkBox(const Image& img) {
  Box box;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (!Near(img.at(x, y), {255, 255, 255}, 24)) box.add(x, y);
  return box;
}

std::string Describe(const Box& b) {
  if (b.empty()) return "nothing";
  return "(" + std::to_string(b.left) + "," + std::to_string(b.top) + ")-(" + std::to_string(b.right) + "," +
         std::to_string(b.bottom) + ") " + std::to_string(b.count) + " px";
}

COLORREF Ref(const Rgb& c) { return RGB(c[0], c[1], c[2]); }

// ---- file builders -------------------------------------------------------------------

void Put16At(Bytes& b, size_t at, int v) {
  b.at(at) = static_cast<std::uint8_t>(v);
  b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void Put32At(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

// An EMF whose reference device has 10 pixels per millimetre, so a frame of
// width * 10 by height * 10 (0.01 mm) is exactly width x height reference pixels and
// playing it onto RECT{0, 0, width, height} puts one device unit on one pixel.
class EmfBytes {
 public:
  EmfBytes(int width, int height) : width_(width), height_(height) {}
  EmfBytes& record(std::uint32_t type, std::initializer_list<long long> dwords, const Bytes& raw = {}) {
    Bytes r;
    Put32(r, type);
    Put32(r, static_cast<long long>(8 + dwords.size() * 4 + (raw.size() + 3) / 4 * 4));
    for (long long d : dwords) Put32(r, d);
    r.insert(r.end(), raw.begin(), raw.end());
    while (r.size() % 4) r.push_back(0);
    body_.insert(body_.end(), r.begin(), r.end());
    ++count_;
    return *this;
  }
  Bytes finish() const {
    Bytes out;
    Put32(out, 1);  // EMR_HEADER
    Put32(out, 108);
    for (long long v : {0LL, 0LL, width_ - 1, height_ - 1}) Put32(out, v);    // bounds, pixels
    for (long long v : {0LL, 0LL, width_ * 10, height_ * 10}) Put32(out, v);  // frame, 0.01 mm
    Put32(out, 0x464D4520);
    Put32(out, 0x10000);
    Put32(out, static_cast<long long>(108 + body_.size() + 20));
    Put32(out, count_ + 2);
    Put16(out, 12);  // handles
    Put16(out, 0);
    for (int i = 0; i < 3; ++i) Put32(out, 0);  // no description, no palette
    for (long long v : {1000, 1000, 100, 100}) Put32(out, v);
    for (int i = 0; i < 3; ++i) Put32(out, 0);
    Put32(out, 100000);
    Put32(out, 100000);
    out.insert(out.end(), body_.begin(), body_.end());
    for (long long v : {14, 20, 0, 16, 20}) Put32(out, v);  // EMR_EOF
    return out;
  }

 private:
  long long width_, height_;
  Bytes body_;
  long long count_ = 0;
};

// A 24-bit packed DIB (bottom-up) whose every pixel differs from every other.
struct Raster {
  int width, height;
  Rgb pixel(int x, int y) const { return {(x * 6 + 3) & 0xFF, (y * 10 + 5) & 0xFF, (x * 31 + y * 17) & 0xFF}; }
  Bytes packedDib() const {
    Bytes d;
    const long long stride = (static_cast<long long>(width) * 3 + 3) / 4 * 4;
    for (long long v : {40LL, static_cast<long long>(width), static_cast<long long>(height)}) Put32(d, v);
    Put16(d, 1);
    Put16(d, 24);
    for (long long v : {0LL, stride * height, 2835LL, 2835LL, 0LL, 0LL}) Put32(d, v);
    for (int y = height - 1; y >= 0; --y) {
      const size_t rowStart = d.size();
      for (int x = 0; x < width; ++x) {
        const Rgb c = pixel(x, y);
        d.push_back(static_cast<std::uint8_t>(c[2]));
        d.push_back(static_cast<std::uint8_t>(c[1]));
        d.push_back(static_cast<std::uint8_t>(c[0]));
      }
      while (d.size() - rowStart < static_cast<size_t>(stride)) d.push_back(0xEE);  // padding must not show
    }
    return d;
  }
};

// WMF records in a file: function and the offset of the first parameter word.
struct WmfRecord {
  int function;
  size_t size;  // bytes
  size_t params;
};
std::vector<WmfRecord> WmfRecords(const Bytes& wmf, size_t start) {
  std::vector<WmfRecord> out;
  size_t at = start + 18;
  while (at + 6 <= wmf.size()) {
    const size_t size = static_cast<size_t>(Get32(wmf, at)) * 2;
    const int function = Get16(wmf, at + 4);
    if (size < 6 || at + size > wmf.size()) break;
    out.push_back({function, size, at + 6});
    at += size;
    if (function == 0) break;
  }
  return out;
}

// The WMF without its META_ESCAPE(MFCOMMENT) records, i.e. without the embedded EMF,
// with the header's size fields brought up to date.
Bytes WithoutComments(const Bytes& wmf) {
  Bytes out(wmf.begin(), wmf.begin() + 18);
  std::uint32_t largest = 0;
  for (const WmfRecord& r : WmfRecords(wmf, 0)) {
    if (r.function == 0x0626 && Get16(wmf, r.params) == 15) continue;
    out.insert(out.end(), wmf.begin() + static_cast<long>(r.params - 6),
               wmf.begin() + static_cast<long>(r.params - 6 + r.size));
    largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(r.size / 2));
  }
  Put32At(out, 6, static_cast<std::uint32_t>(out.size() / 2));
  Put32At(out, 12, largest);
  return out;
}

std::string ToolMissing(std::initializer_list<const char*> tools) {
  std::string missing;
  for (const char* t : tools)
    if (!OnPath(t)) missing += std::string(missing.empty() ? "" : ", ") + t;
  return missing;
}

// ---- the picture drawn by the shape tests -----------------------------------------------

// Four filled shapes in distinct colours (SVG colour names, so that libwmf's SVG
// output, which names colours, can state them exactly) on a background filling the whole 200 x 150
// picture (device units of the EMF, one unit per reference pixel). The background
// shows where each renderer puts the picture's box. Each is outlined in its own colour so that an
// outline drawn or left out changes nothing but the bounds by a pixel.
struct Shape {
  const char* name;
  const char* svgName;  // the colour is the SVG colour of this name
  Rgb colour;
  Box box;               // where it lies in picture units, inclusive
  int sampleX, sampleY;  // a point well inside it
};
constexpr int kPictureW = 200;
constexpr int kPictureH = 150;
const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = {
      {"background", "khaki", {240, 230, 140}, {0, 0, kPictureW - 1, kPictureH - 1, 1}, 5, 5},
      {"left rectangle", "crimson", {220, 20, 60}, {20, 20, 89, 69, 1}, 55, 45},
      {"right rectangle", "forestgreen", {34, 139, 34}, {110, 20, 179, 69, 1}, 145, 45},
      {"triangle", "royalblue", {65, 105, 225}, {20, 85, 100, 130, 1}, 60, 115},
      {"ellipse", "mediumorchid", {186, 85, 211}, {120, 85, 179, 134, 1}, 150, 110},
  };
  return shapes;
}

Bytes ShapesEmf() {
  EmfBytes e(kPictureW, kPictureH);
  // Objects 1..10: a pen and a brush per shape.
  long long handle = 1;
  auto select = [&](const Rgb& c) {
    e.record(38, {handle, 0 /*PS_SOLID*/, 1, 0, static_cast<long long>(Ref(c))});  // EMR_CREATEPEN
    e.record(37, {handle});
    e.record(39, {handle + 1, 0 /*BS_SOLID*/, static_cast<long long>(Ref(c)), 0});  // EMR_CREATEBRUSHINDIRECT
    e.record(37, {handle + 1});
    handle += 2;
  };
  const auto& s = Shapes();
  select(s[0].colour);
  e.record(43, {0, 0, kPictureW, kPictureH});  // EMR_RECTANGLE, right and bottom excluded
  select(s[1].colour);
  e.record(43, {20, 20, 90, 70});
  select(s[2].colour);
  e.record(43, {110, 20, 180, 70});
  select(s[3].colour);
  e.record(3, {20, 85, 100, 130, 3, 20, 130, 60, 85, 100, 130});  // EMR_POLYGON: bounds, count, points
  select(s[4].colour);
  e.record(42, {120, 85, 180, 135});  // EMR_ELLIPSE
  return e.finish();
}

// Colours and places of the shapes in a rendering of the picture scaled to img's size
// and lying at (offsetX, offsetY): the colour at each sample point, and each shape's
// bounds within `slack` pixels. `who` names the renderer in messages.
// With `outlineOnly` set for a shape, only its bounds are checked (its inside may be
// left unfilled).
void ExpectShapes(const Image& img, const std::string& who, double scaleX, double scaleY, int slack,
                  int colourTolerance, const std::string& outlineOnly = "") {
  for (const Shape& s : Shapes()) {
    const int sx = static_cast<int>(s.sampleX * scaleX), sy = static_cast<int>(s.sampleY * scaleY);
    if (s.name != outlineOnly) {
      EXPECT_TRUE(Near(img.at(sx, sy), s.colour, colourTolerance))
          << who << ": " << s.name << " at " << sx << "," << sy << " is " << img.at(sx, sy)[0] << ","
          << img.at(sx, sy)[1] << "," << img.at(sx, sy)[2];
    }
    const Box got = ColourBox(img, s.colour, colourTolerance);
    const Box want{static_cast<int>(s.box.left * scaleX), static_cast<int>(s.box.top * scaleY),
                   static_cast<int>((s.box.right + 1) * scaleX) - 1, static_cast<int>((s.box.bottom + 1) * scaleY) - 1,
                   1};
    EXPECT_NEAR(got.left, want.left, slack) << who << ": " << s.name << " " << Describe(got);
    EXPECT_NEAR(got.top, want.top, slack) << who << ": " << s.name << " " << Describe(got);
    EXPECT_NEAR(got.right, want.right, slack) << who << ": " << s.name << " " << Describe(got);
    EXPECT_NEAR(got.bottom, want.bottom, slack) << who << ": " << s.name << " " << Describe(got);
  }
}

// ---- 1. a WMF we write, drawn by libwmf ----------------------------------------------------

// Our EMF -> WMF conversion of the shapes picture, as a placeable WMF whose box is the
// window the conversion set; nullopt (with failures) when the conversion falls short.
std::optional<Bytes> OurShapesWmf() {
  const Bytes emfBytes = ShapesEmf();
  HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(emfBytes.size()), emfBytes.data());
  EXPECT_NE(emf, nullptr);
  if (!emf) return std::nullopt;
  const UINT size = GetWinMetaFileBits(emf, 0, nullptr, MM_ANISOTROPIC, nullptr);
  Bytes wmf(size);
  const UINT got = size ? GetWinMetaFileBits(emf, size, wmf.data(), MM_ANISOTROPIC, nullptr) : 0;
  DeleteEnhMetaFile(emf);
  EXPECT_GT(size, 0u);
  EXPECT_EQ(got, size);
  if (size == 0 || got != size) return std::nullopt;

  // The window the records set up is the picture's box.
  int orgX = 0, orgY = 0, extX = 0, extY = 0;
  for (const WmfRecord& r : WmfRecords(wmf, 0)) {
    if (r.function == 0x020B) orgY = GetS16(wmf, r.params), orgX = GetS16(wmf, r.params + 2);
    if (r.function == 0x020C) extY = GetS16(wmf, r.params), extX = GetS16(wmf, r.params + 2);
  }
  EXPECT_GT(extX, 0) << "the WMF sets no window";
  EXPECT_GT(extY, 0) << "the WMF sets no window";
  if (extX <= 0 || extY <= 0) return std::nullopt;
  // The window keeps the picture's proportions (200 x 150).
  EXPECT_NEAR(static_cast<double>(extX) / extY, 4.0 / 3.0, 0.02);
  // 72 units per inch: libwmf sizes its output from the box at 72 dpi and scales that
  // whole-pixel size up, so a box of a few pixels would distort the proportions.
  return Placeable(orgX, orgY, orgX + extX, orgY + extY, 72, wmf);
}

// libwmf's GD renderer draws our WMF (it ignores the comment records that carry the
// EMF, so it draws our WMF records) and our player draws the same file at the same size.
//
// Tolerances: colours within 12 per channel (libwmf's GD output is exact for solid
// fills; a red/blue swap or a wrong palette lookup is off by more than 150), bounds within
// 3 pixels on a picture of 400 x 300 (a lost record leaves a shape with no pixels at
// all, a y flip moves the shapes by over 100 pixels, a window/extent error of 2 % moves
// the far edges by 7 pixels or more).
TEST(WmfReadByLibwmf, ShapesLandInPlaceInTheirColours) {
  const std::string missing = ToolMissing({"wmf2gd", kImageMagick});
  if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing << " (Debian packages libwmf-bin, imagemagick)";
  const std::optional<Bytes> wmf = OurShapesWmf();
  ASSERT_TRUE(wmf);
  const Bytes& placeable = *wmf;
  TempDir dir("wmfinterop");
  WriteFile(dir.file("shapes.wmf"), placeable);
  ASSERT_EQ(RunProgram({"/usr/bin/env", "wmf2gd", "-t", "png", "--maxwidth=400", "--maxheight=300", "--maxpect", "-o",
                        dir.file("shapes.png"), dir.file("shapes.wmf")}),
            0);
  const std::optional<Image> theirs = ReadWithImageMagick(dir, dir.file("shapes.png"));
  ASSERT_TRUE(theirs) << "wmf2gd wrote no readable PNG";
  ASSERT_NEAR(theirs->width, 400, 2);
  ASSERT_NEAR(theirs->height, 300, 2);

  Canvas ours(theirs->width, theirs->height);
  const RECT dest{0, 0, theirs->width, theirs->height};
  ASSERT_TRUE(vel::gdi::PlayWinMetaFile(ours.dc, placeable.data(), placeable.size(), &dest));
  const Image mine = ours.snapshot();

  const double sx = theirs->width / static_cast<double>(kPictureW),
               sy = theirs->height / static_cast<double>(kPictureH);
  // libwmf's GD renderer (0.2.12) draws META_ELLIPSE as its outline only, although
  // the same library's SVG output fills it with the selected brush: for the ellipse
  // only the outline's bounds are held against libwmf.
  const std::string ellipse = "ellipse";
  ExpectShapes(*theirs, "libwmf", sx, sy, 3, 12, ellipse);
  ExpectShapes(mine, "our player", sx, sy, 3, 12);
  // And against each other, shape by shape.
  for (const Shape& s : Shapes()) {
    const Box a = ColourBox(*theirs, s.colour, 12), b = ColourBox(mine, s.colour, 12);
    EXPECT_NEAR(a.left, b.left, 3) << s.name;
    EXPECT_NEAR(a.top, b.top, 3) << s.name;
    EXPECT_NEAR(a.right, b.right, 3) << s.name;
    EXPECT_NEAR(a.bottom, b.bottom, 3) << s.name;
    // Areas agree within 5 % (the triangle's edges are rasterised differently).
    if (s.name == ellipse || s.name == Shapes()[0].name) continue;  // unfilled there; background around it
    EXPECT_NEAR(static_cast<double>(a.count), static_cast<double>(b.count), 0.05 * b.count) << s.name;
  }
}

// The same WMF as SVG from libwmf: its SVG writer keeps the geometry as numbers and
// names the fill colours, so every shape can be checked exactly where the GD renderer
// above falls short (it leaves the ellipse unfilled). Geometry within 1.5 picture
// units (libwmf's own scale is 150/151 of ours: its extents count both edges, which
// moves the far edges by up to 1 unit; a wrong coordinate in our records is off by
// 5 units or more in this picture's scale of 10 logical units per unit... or more), fill
// colour names exactly (a wrong colour or a lost brush, "none", cannot match).
TEST(WmfReadByLibwmf, SvgOutputHasEveryShapeFilledInPlace) {
  const std::string missing = ToolMissing({"wmf2svg"});
  if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing << " (Debian package libwmf-bin)";
  const std::optional<Bytes> wmf = OurShapesWmf();
  ASSERT_TRUE(wmf);
  TempDir dir("wmfsvg");
  WriteFile(dir.file("shapes.wmf"), *wmf);
  ASSERT_EQ(RunProgram({"/usr/bin/env", "wmf2svg", "-o", dir.file("shapes.svg"), dir.file("shapes.wmf")}), 0);
  const Bytes raw = ReadFile(dir.file("shapes.svg"));
  const std::string svg(raw.begin(), raw.end());

  auto number = [](const std::string& element, const std::string& name) {
    std::smatch m;
    const std::regex re("[\\s<]" + name + "=\"([-0-9.eE+]+)\"");
    return std::regex_search(element, m, re) ? std::stod(m[1]) : -1e9;
  };
  auto fill = [](const std::string& element) {
    std::smatch m;
    return std::regex_search(element, m, std::regex("[\\s;\"]fill:\\s*([a-z#0-9]+)")) ? std::string(m[1])
                                                                                      : std::string();
  };
  double scaleX = number(svg, "width") / kPictureW, scaleY = number(svg, "height") / kPictureH;
  ASSERT_GT(scaleX, 0) << "no SVG width";
  ASSERT_GT(scaleY, 0) << "no SVG height";
  std::vector<std::string> elements;
  for (size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
    const size_t end = svg.find('>', at);
    const std::string e = svg.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
    if (e.rfind("<rect", 0) == 0 || e.rfind("<polygon", 0) == 0 || e.rfind("<ellipse", 0) == 0) elements.push_back(e);
  }
  ASSERT_EQ(elements.size(), Shapes().size()) << svg;
  const double tol = 1.5;
  for (size_t i = 0; i < elements.size(); ++i) {
    const Shape& s = Shapes()[i];
    const std::string& e = elements[i];
    EXPECT_EQ(fill(e), s.svgName) << s.name << ": " << e;
    if (e.rfind("<rect", 0) == 0) {
      const double x = number(e, "x") / scaleX, y = number(e, "y") / scaleY;
      EXPECT_NEAR(x, s.box.left, tol) << s.name;
      EXPECT_NEAR(y, s.box.top, tol) << s.name;
      EXPECT_NEAR(x + number(e, "width") / scaleX, s.box.right + 1, tol) << s.name;
      EXPECT_NEAR(y + number(e, "height") / scaleY, s.box.bottom + 1, tol) << s.name;
    } else if (e.rfind("<ellipse", 0) == 0) {
      EXPECT_NEAR(number(e, "cx") / scaleX, (s.box.left + s.box.right + 1) / 2.0, tol) << s.name;
      EXPECT_NEAR(number(e, "cy") / scaleY, (s.box.top + s.box.bottom + 1) / 2.0, tol) << s.name;
      EXPECT_NEAR(number(e, "rx") / scaleX, (s.box.right + 1 - s.box.left) / 2.0, tol) << s.name;
      EXPECT_NEAR(number(e, "ry") / scaleY, (s.box.bottom + 1 - s.box.top) / 2.0, tol) << s.name;
    } else {
      std::smatch m;
      ASSERT_TRUE(std::regex_search(e, m, std::regex("points=\"([^\"]*)\""))) << e;
      std::vector<double> v;
      const std::string list = m[1];
      const std::regex num("[-0-9.eE+]+");
      for (auto it = std::sregex_iterator(list.begin(), list.end(), num); it != std::sregex_iterator(); ++it)
        v.push_back(std::stod(it->str()));
      const std::vector<double> want = {20, 130, 60, 85, 100, 130};  // the triangle's corners
      ASSERT_EQ(v.size(), want.size()) << e;
      for (size_t k = 0; k < v.size(); ++k)
        EXPECT_NEAR(v[k] / (k % 2 ? scaleY : scaleX), want[k], tol) << s.name << " " << k;
    }
  }
}

// ---- 2. an EMF pstoedit writes, played by us, against Ghostscript --------------------------

// The shapes of the picture above as PostScript (y up from the bottom of the 200 x 150
// point bounding box), colours given as n/255 so every tool gets the same bytes back.
std::string ShapesEps() {
  auto colour = [](const Rgb& c) {
    std::string out;
    for (int v : c) out += std::to_string(v / 255.0).substr(0, 6) + " ";
    return out + "setrgbcolor\n";
  };
  const auto& s = Shapes();
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 150\n%%EndComments\n" + colour(s[0].colour) +
         "0 0 200 150 rectfill\n" + colour(s[1].colour) + "20 80 70 50 rectfill\n" + colour(s[2].colour) +
         "110 80 70 50 rectfill\n" + colour(s[3].colour) +
         "newpath 20 20 moveto 100 20 lineto 60 65 lineto closepath fill\n" + colour(s[4].colour) +
         "newpath 150 40 30 0 360 arc closepath fill\nshowpage\n%%EOF\n";
}

// pstoedit writes the page in twips, y down from the top of a US-letter page (792
// points), maps them with its own window and viewport extents onto its reference
// device, and gives a frame that is its twips box read as reference pixels. We play
// its EMF with the frame (as reference pixels) as the destination shifted so that the
// top-left corner of the EPS bounding box lands on the canvas origin: the player then
// has to apply pstoedit's window/viewport mapping itself to put each shape in place.
//
// Ghostscript renders the same EPS at 72 dpi; our canvas has the reference device's
// resolution (viewport/window extents times 1440 twips per inch, 96 dpi here), so
// every Ghostscript coordinate is scaled by that over 72. Tolerances: colours within 6
// per channel (pstoedit rounds each component to a byte; swapped channels or a wrong
// colour are off by 100 or more), shape bounds within 3 canvas pixels (a missing
// window/viewport scaling puts the picture 15 times too large, a y flip moves the
// rectangles by 60 pixels, a 2 % scale error moves the far edges by 5 pixels).
TEST(EmfWrittenByPstoedit, PlaysLikeGhostscriptDrawsTheEps) {
  const std::string missing = ToolMissing({"pstoedit", "gs"});
  if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing << " (Debian packages pstoedit, ghostscript)";
  TempDir dir("emfinterop");
  WriteText(dir.file("shapes.eps"), ShapesEps());
  ASSERT_EQ(RunProgram({"/usr/bin/env", "pstoedit", "-q", "-page", "1", "-f", "emf", dir.file("shapes.eps"),
                        dir.file("shapes.emf")}),
            0);
  ASSERT_EQ(RunProgram({"/usr/bin/env", "gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=ppmraw", "-dEPSCrop",
                        "-r72", "-sOutputFile=" + dir.file("gs.ppm"), dir.file("shapes.eps")}),
            0);
  const std::optional<Image> gs = ReadPpm(dir.file("gs.ppm"));
  ASSERT_TRUE(gs) << "Ghostscript wrote no picture";
  ASSERT_EQ(gs->width, 200);
  ASSERT_EQ(gs->height, 150);

  const Bytes emf = ReadFile(dir.file("shapes.emf"));
  ASSERT_GE(emf.size(), 88u);
  ASSERT_EQ(Get32(emf, 0), 1u);
  ASSERT_EQ(Get32(emf, 40), 0x464D4520u);
  // The header: frame (0.01 mm) and the reference device (pixels, millimetres).
  auto s32 = [&](size_t at) { return static_cast<double>(static_cast<std::int32_t>(Get32(emf, at))); };
  const double pxPerHundredthX = s32(72) / (s32(80) * 100), pxPerHundredthY = s32(76) / (s32(84) * 100);
  const double frameL = s32(24) * pxPerHundredthX, frameT = s32(28) * pxPerHundredthY;
  const double frameR = s32(32) * pxPerHundredthX, frameB = s32(36) * pxPerHundredthY;
  // pstoedit's mapping: window and viewport extents (twips onto reference pixels).
  double winX = 0, winY = 0, vpX = 0, vpY = 0;
  for (size_t at = 0; at + 8 <= emf.size();) {
    const std::uint32_t type = Get32(emf, at), size = Get32(emf, at + 4);
    if (size < 8 || at + size > emf.size()) break;
    if (type == 9 && size >= 16) winX = s32(at + 8), winY = s32(at + 12);
    if (type == 11 && size >= 16) vpX = s32(at + 8), vpY = s32(at + 12);
    at += size;
  }
  ASSERT_GT(winX, 0);
  ASSERT_GT(vpX, 0);
  const double twipToPxX = vpX / winX, twipToPxY = vpY / winY;
  const double dpi = 1440 * twipToPxX;  // canvas pixels per inch
  const double scale = dpi / 72;        // canvas pixels per Ghostscript pixel
  // The EPS box's top-left corner: (0, 150) points = (0, 20 * (792 - 150)) twips.
  const double boxX = 0 * twipToPxX, boxY = 20.0 * (792 - 150) * twipToPxY;
  const int w = static_cast<int>(200 * scale + 0.5), h = static_cast<int>(150 * scale + 0.5);
  Canvas canvas(w, h);
  auto round = [](double v) { return static_cast<LONG>(v < 0 ? v - 0.5 : v + 0.5); };
  const RECT dest{round(frameL - boxX), round(frameT - boxY), round(frameR - boxX), round(frameB - boxY)};
  ASSERT_TRUE(vel::gdi::PlayEnhMetaFileBits(canvas.dc, emf.data(), emf.size(), &dest));
  const Image ours = canvas.snapshot();

  for (const Shape& s : Shapes()) {
    const Box g = ColourBox(*gs, s.colour, 6), o = ColourBox(ours, s.colour, 6);
    ASSERT_FALSE(g.empty()) << "Ghostscript drew no " << s.name;
    ASSERT_FALSE(o.empty()) << "our player drew no " << s.name << " (ink at " << Describe(InkBox(ours)) << ")";
    EXPECT_NEAR(o.left, g.left * scale, 3) << s.name << ": ours " << Describe(o) << ", gs " << Describe(g);
    EXPECT_NEAR(o.top, g.top * scale, 3) << s.name << ": ours " << Describe(o) << ", gs " << Describe(g);
    EXPECT_NEAR(o.right + 1, (g.right + 1) * scale, 3) << s.name << ": ours " << Describe(o) << ", gs " << Describe(g);
    EXPECT_NEAR(o.bottom + 1, (g.bottom + 1) * scale, 3)
        << s.name << ": ours " << Describe(o) << ", gs " << Describe(g);
    // The colour in the middle of the shape, in both pictures.
    const int gx = s.sampleX, gy = s.sampleY;
    EXPECT_TRUE(Near(gs->at(gx, gy), s.colour, 6)) << "Ghostscript: " << s.name;
    const Rgb c = ours.at(static_cast<int>(gx * scale), static_cast<int>(gy * scale));
    EXPECT_TRUE(Near(c, s.colour, 6)) << "our player: " << s.name << " is " << c[0] << "," << c[1] << "," << c[2];
  }
}

// ---- 3. raster -> EMF -> raster ------------------------------------------------------------

// Every pixel of a 24-bit bitmap (odd width, so rows carry padding) comes back from the
// metafile exactly: no tolerance at all, since nothing is scaled. A swapped channel,
// a row read upside down, padding read as pixels or an off-by-one in the placement
// all change many pixels.
void ExpectExactly(const Image& got, const Raster& r, const std::string& route) {
  ASSERT_EQ(got.width, r.width);
  ASSERT_EQ(got.height, r.height);
  int wrong = 0;
  std::string first;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x)
      if (got.at(x, y) != r.pixel(x, y)) {
        if (wrong++ == 0)
          first = std::to_string(x) + "," + std::to_string(y) + " is " + std::to_string(got.at(x, y)[0]) + "," +
                  std::to_string(got.at(x, y)[1]) + "," + std::to_string(got.at(x, y)[2]);
      }
  EXPECT_EQ(wrong, 0) << route << ": " << wrong << " pixels differ, first at " << first;
}

TEST(RasterThroughEmf, StretchDibitsGivesEveryPixelBack) {
  const Raster raster{37, 23};
  const Bytes dib = raster.packedDib();
  const long long bitsSize = static_cast<long long>(dib.size()) - 40;
  EmfBytes e(raster.width, raster.height);
  // EMR_STRETCHDIBITS: bounds, dest x/y, src x/y/cx/cy, offsets and sizes of the header
  // and the bits (from the record's start; the fixed part is 80 bytes), usage, ROP,
  // dest cx/cy; then the BITMAPINFOHEADER and the bits.
  e.record(81,
           {0, 0, raster.width - 1, raster.height - 1, 0, 0, 0, 0, raster.width, raster.height, 80, 40, 120, bitsSize,
            DIB_RGB_COLORS, SRCCOPY, raster.width, raster.height},
           dib);
  const Bytes emf = e.finish();
  Canvas canvas(raster.width, raster.height);
  const RECT dest{0, 0, raster.width, raster.height};
  ASSERT_TRUE(vel::gdi::PlayEnhMetaFileBits(canvas.dc, emf.data(), emf.size(), &dest));
  ExpectExactly(canvas.snapshot(), raster, "EMF built by hand");
}

// The same bitmap as a BMP file wrapped into a placeable WMF (one META_STRETCHDIB) as
// wmfwrap does, converted to an EMF by SetWinMetaFileBits and played at its own size.
TEST(RasterThroughEmf, WrappedBmpConvertedToEmfGivesEveryPixelBack) {
  const Raster raster{37, 23};
  const Bytes bmp = BmpFile(raster.packedDib(), 24);
  std::vector<std::uint8_t> wmf;
  ASSERT_TRUE(vel::gdi::wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), wmf));
  const RECT dest{0, 0, raster.width, raster.height};
  {
    Canvas canvas(raster.width, raster.height);
    ASSERT_TRUE(vel::gdi::PlayWinMetaFile(canvas.dc, wmf.data(), wmf.size(), &dest));
    ExpectExactly(canvas.snapshot(), raster, "placeable WMF");
  }
  HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(wmf.size() - 22), wmf.data() + 22, nullptr, nullptr);
  ASSERT_NE(emf, nullptr);
  Canvas canvas(raster.width, raster.height);
  ASSERT_TRUE(PlayEnhMetaFile(canvas.dc, emf, &dest));
  ExpectExactly(canvas.snapshot(), raster, "EMF from the WMF");
  DeleteEnhMetaFile(emf);
}

// ---- 4. WMF -> EMF -> WMF -> EMF -----------------------------------------------------------

// The shapes picture as a hand-made WMF: MM_ANISOTROPIC, window 2000 x 1500 (ten
// logical units per picture pixel).
Bytes ShapesWmf() {
  Wmf w;
  w.record(0x0103, {MM_ANISOTROPIC});
  w.record(0x020B, {0, 0});        // SETWINDOWORG y, x
  w.record(0x020C, {1500, 2000});  // SETWINDOWEXT y, x
  int slot = 0;
  auto select = [&](const Rgb& c) {
    const COLORREF ref = Ref(c);
    const int lo = static_cast<int>(ref & 0xFFFF), hi = static_cast<int>(ref >> 16);
    w.record(0x02FA, {PS_SOLID, 10, 0, lo, hi});  // CREATEPENINDIRECT: style, width (x, y), colour
    w.record(0x012D, {slot++});
    w.record(0x02FC, {0, lo, hi, 0});  // CREATEBRUSHINDIRECT: BS_SOLID, colour, hatch
    w.record(0x012D, {slot++});
  };
  const auto& s = Shapes();
  select(s[0].colour);
  w.record(0x041B, {1500, 2000, 0, 0});  // RECTANGLE bottom, right, top, left
  select(s[1].colour);
  w.record(0x041B, {700, 900, 200, 200});
  select(s[2].colour);
  w.record(0x041B, {700, 1800, 200, 1100});
  select(s[3].colour);
  w.record(0x0324, {3, 200, 1300, 600, 850, 1000, 1300});  // POLYGON count, points
  select(s[4].colour);
  w.record(0x0418, {1350, 1800, 850, 1200});  // ELLIPSE bottom, right, top, left
  Bytes out = w.finish();
  // The header's object count and largest record (the builder leaves them small).
  Put16At(out, 10, slot);
  Put32At(out, 12, 10);
  return out;
}

long DifferentPixels(const Image& a, const Image& b) {
  long n = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) n += a.at(x, y) != b.at(x, y);
  return n;
}

// The first conversion is record by record; the second WMF carries the first EMF in
// comment chunks, so converting it back must give that EMF byte for byte; the same
// WMF without the chunks goes record by record once more and must draw the same
// picture. Every rendering is checked against the picture's geometry (bounds within
// 2 pixels at 2x scale, colours exact: solid fills of given colours on a true-colour
// canvas), and the round-tripped ones against the first one: at most 1 % of the
// pixels may differ, which is far less than any one shape (the smallest, the triangle,
// covers 6 % of the picture) or a shift of the picture by one pixel along all shape
// edges (about 2 %).
TEST(WmfEmfRoundTrip, ConversionsKeepThePicture) {
  const Bytes wmf1 = ShapesWmf();
  HENHMETAFILE emf1 = SetWinMetaFileBits(static_cast<UINT>(wmf1.size()), wmf1.data(), nullptr, nullptr);
  ASSERT_NE(emf1, nullptr);
  const UINT wmfSize = GetWinMetaFileBits(emf1, 0, nullptr, MM_ANISOTROPIC, nullptr);
  ASSERT_GT(wmfSize, 0u);
  Bytes wmf2(wmfSize);
  ASSERT_EQ(GetWinMetaFileBits(emf1, wmfSize, wmf2.data(), MM_ANISOTROPIC, nullptr), wmfSize);
  HENHMETAFILE emf2 = SetWinMetaFileBits(wmfSize, wmf2.data(), nullptr, nullptr);
  ASSERT_NE(emf2, nullptr);
  const Bytes bare = WithoutComments(wmf2);
  ASSERT_LT(bare.size(), wmf2.size()) << "the WMF carries no EMF";
  HENHMETAFILE emf3 = SetWinMetaFileBits(static_cast<UINT>(bare.size()), bare.data(), nullptr, nullptr);
  ASSERT_NE(emf3, nullptr);

  auto bitsOf = [](HENHMETAFILE m) {
    Bytes b(GetEnhMetaFileBits(m, 0, nullptr));
    GetEnhMetaFileBits(m, static_cast<UINT>(b.size()), b.data());
    return b;
  };
  EXPECT_EQ(bitsOf(emf2), bitsOf(emf1)) << "the embedded EMF did not come back unchanged";

  const int w = 2 * kPictureW, h = 2 * kPictureH;
  const RECT dest{0, 0, w, h};
  auto playWmf = [&](const Bytes& wmf) {
    Canvas c(w, h);
    EXPECT_TRUE(vel::gdi::PlayWinMetaFile(c.dc, wmf.data(), wmf.size(), &dest));
    return c.snapshot();
  };
  auto playEmf = [&](HENHMETAFILE m) {
    Canvas c(w, h);
    EXPECT_TRUE(PlayEnhMetaFile(c.dc, m, &dest));
    return c.snapshot();
  };
  const Image first = playWmf(wmf1);
  const std::vector<std::pair<std::string, Image>> pictures = {{"first WMF", first},
                                                               {"first EMF", playEmf(emf1)},
                                                               {"second EMF", playEmf(emf2)},
                                                               {"WMF without its EMF", playWmf(bare)},
                                                               {"EMF from that WMF", playEmf(emf3)}};
  for (const auto& [name, img] : pictures) {
    ExpectShapes(img, name, 2.0, 2.0, 2, 0);
    const long diff = DifferentPixels(img, first);
    EXPECT_LE(diff, w * h / 100) << name << " differs from the first WMF in " << diff << " pixels";
  }
  DeleteEnhMetaFile(emf1);
  DeleteEnhMetaFile(emf2);
  DeleteEnhMetaFile(emf3);
}

}  // namespace

int main(int argc, char** argv) {
  // The player draws through Qt, which needs an application but no display.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  vel::ui::EnsureApplication();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
