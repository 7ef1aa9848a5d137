// Files written by other programs, drawn by `lorimer render`, compared with those
// programs' own decode of the same file.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "imagelib/formats/tests/test_support.h"

using namespace lorimer::testing;

namespace {

struct Case {
  const char* name;            // also the file name
  const char* generator;       // shell command; {IM} is ImageMagick's convert, {OUT} the file
  int tolerance;               // largest channel difference accepted
  const char* needs;           // extra tool the generator uses, or ""
  const char* reference = "";  // decoder to PPM when ImageMagick cannot read the format: {IN}, {OUT}
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// ImageMagick's built-in "rose:" picture (70 x 46) has smooth colours and detail.
// ImageMagick 6 keeps Targa rows in stored order (it only records the origin), so
// Targa files are checked against netpbm's tgatoppm, and GEM files against gemtopnm.
const Case kCases[] = {
    {"rose24.bmp", "{IM} rose: BMP3:{OUT}", 0, ""},
    {"rose-v5.bmp", "{IM} rose: {OUT}", 0, ""},
    {"rose8.bmp", "{IM} rose: -colors 200 -type Palette BMP3:{OUT}", 0, ""},
    {"rose4.bmp", "{IM} rose: -colors 16 -type Palette -define bmp:format=bmp3 BMP3:{OUT}", 0, ""},
    {"rose1.bmp", "{IM} rose: -monochrome BMP3:{OUT}", 0, ""},
    {"rose-rle8.bmp", "{IM} rose: -colors 100 -type Palette -compress RLE BMP3:{OUT}", 0, ""},
    {"rose565.bmp", "{IM} rose: -define bmp:subtype=RGB565 {OUT}", 0, ""},
    {"rose-topdown.bmp",
     "{IM} rose: BMP3:- | python3 -c \"import sys,struct;d=bytearray(sys.stdin.buffer.read());"
     "w,h=struct.unpack_from('<ii',d,18);o=struct.unpack_from('<I',d,10)[0];s=(w*3+3)&~3;"
     "rows=[d[o+i*s:o+(i+1)*s] for i in range(h)];struct.pack_into('<i',d,22,-h);"
     "d[o:]=b''.join(reversed(rows));sys.stdout.buffer.write(d)\" > {OUT}",
     0, "python3"},
    {"rose24.pcx", "{IM} rose: {OUT}", 0, ""},
    {"rose8.pcx", "{IM} rose: -colors 200 -type Palette {OUT}", 0, ""},
    {"rose1.pcx", "{IM} rose: -monochrome {OUT}", 0, ""},
    {"rose-netpbm.pcx", "{IM} rose: ppm:- | ppmtopcx > {OUT}", 0, "ppmtopcx"},
    {"rose-planes.pcx", "{IM} rose: -colors 16 ppm:- | ppmtopcx -planes 4 > {OUT}", 0, "ppmtopcx"},
    {"rose.tga", "{IM} rose: {OUT}", 0, "tgatoppm", "tgatoppm {IN} > {OUT}"},
    {"rose-rle.tga", "{IM} rose: -compress RLE {OUT}", 0, "tgatoppm", "tgatoppm {IN} > {OUT}"},
    {"rose-mapped.tga", "{IM} rose: ppm:- | pnmquant 64 | pamtotga -cmap > {OUT}", 0, "pamtotga",
     "tgatoppm {IN} > {OUT}"},
    {"rose-gray.tga", "{IM} rose: -colorspace Gray ppm:- | ppmtopgm | pamtotga -mono > {OUT}", 0, "pamtotga",
     "tgatoppm {IN} > {OUT}"},
    {"rose.dcx", "{IM} rose: \\( rose: -flop \\) {OUT}", 0, ""},
    // Named .ico, an icon goes through the icon loader: drawn at 32 x 32 over white.
    {"rose.ico", "{IM} rose: -resize 32x32! {OUT}", 0, ""},
    {"rose.gif", "{IM} rose: {OUT}", 0, ""},
    {"rose-interlaced.gif", "{IM} rose: -interlace GIF {OUT}", 0, ""},
    {"rose.png", "{IM} rose: {OUT}", 0, ""},
    {"rose8.png", "{IM} rose: -colors 50 PNG8:{OUT}", 0, ""},
    {"rose-gray16.png", "{IM} rose: -colorspace Gray -depth 16 PNG48:{OUT}", 0, ""},
    {"rose-rgba.png", "{IM} rose: -alpha set -channel A -evaluate set 50% +channel PNG32:{OUT}", 1, ""},
    {"rose-none.tif", "{IM} rose: -compress None {OUT}", 0, ""},
    {"rose-lzw.tif", "{IM} rose: -compress LZW {OUT}", 0, ""},
    {"rose-packbits.tif", "{IM} rose: -compress RLE {OUT}", 0, ""},
    {"rose-zip.tif", "{IM} rose: -compress Zip {OUT}", 0, ""},
    {"rose-g4.tif", "{IM} rose: -monochrome -compress Group4 {OUT}", 0, ""},
    {"rose-palette.tif", "{IM} rose: -colors 60 -type Palette {OUT}", 0, ""},
    {"rose.img", "{IM} rose: -monochrome pbm:- | pbmtogem > {OUT}", 0, "pbmtogem", "gemtopnm {IN} > {OUT}"},
    {"rose.jpg", "{IM} rose: -quality 90 {OUT}", 3, ""},
    {"rose-progressive.jpg", "{IM} rose: -interlace Plane {OUT}", 3, ""},
    {"rose-gray.jpg", "{IM} rose: -colorspace Gray {OUT}", 3, ""},
};

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

class Interop : public ::testing::TestWithParam<Case> {};

TEST_P(Interop, RenderMatchesTheWritersDecode) {
  const Case& c = GetParam();
  std::string im = FindTool("convert-im6.q16");
  if (im.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  if (*c.needs && FindTool(c.needs).empty()) GTEST_SKIP() << c.needs << " is not installed";
  std::string file = TempDir() + "/" + c.name;
  std::string command = Replace(Replace(c.generator, "{IM}", im), "{OUT}", "'" + file + "'");
  // Pipelines must fail when any step fails: run the generator as a bash script.
  std::string script = file + ".sh";
  std::string body = "set -o pipefail\n" + command + "\n";
  WriteTempFile(std::string(c.name) + ".sh", std::vector<std::uint8_t>(body.begin(), body.end()));
  ASSERT_TRUE(lorimer::testing::Run("bash '" + script + "'")) << command;
  std::string out = file + ".ppm";
  ASSERT_TRUE(lorimer::testing::Run(std::string(LORIMER_TOOL) + " render '" + file + "' '" + out + "'")) << c.name;
  auto ours = ReadPnm(out);
  std::optional<RgbImage> theirs;
  if (*c.reference) {
    std::string ppm = file + ".reference.ppm";
    std::string decode = Replace(Replace(c.reference, "{IN}", "'" + file + "'"), "{OUT}", "'" + ppm + "'");
    ASSERT_TRUE(lorimer::testing::Run("(" + decode + ")"));
    theirs = ReadPnm(ppm);
  } else {
    theirs = ImageMagickDecode(file);
  }
  ASSERT_TRUE(ours.has_value());
  ASSERT_TRUE(theirs.has_value());
  int diff = MaxDifference(*ours, *theirs);
  EXPECT_GE(diff, 0) << "size " << ours->width << "x" << ours->height << " vs " << theirs->width << "x"
                     << theirs->height;
  EXPECT_LE(diff, c.tolerance) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, Interop, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

TEST(LorimerTool, InfoLinesAndExitStatus) {
  std::string im = FindTool("convert-im6.q16");
  if (im.empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string gif = TempDir() + "/anim.gif";
  ASSERT_TRUE(lorimer::testing::Run(im + " -size 8x6 xc:red -size 8x6 xc:blue '" + gif + "'"));
  std::string out = TempDir() + "/info.txt";
  // Run() sends output to /dev/null; the inner redirection wins inside the parentheses.
  ASSERT_TRUE(lorimer::testing::Run("(" + std::string(LORIMER_TOOL) + " info '" + gif + "' > '" + out + "')"));
  auto text = ReadFile(out);
  std::string line(text.begin(), text.end());
  // An animation's frames are composited into 24-bit pages.
  EXPECT_EQ(line, gif + ": format=6 width=8 height=6 depth=24 colors=0 pages=2 gray=0 vector=0 compression=0\n");
  std::string missing = TempDir() + "/nope.png";
  EXPECT_FALSE(lorimer::testing::Run("(" + std::string(LORIMER_TOOL) + " info '" + gif + "' '" + missing + "' > '" +
                                     out + "')"));
  text = ReadFile(out);
  line.assign(text.begin(), text.end());
  EXPECT_NE(line.find(missing + ": cannot load: No such file or directory\n"), std::string::npos);
  EXPECT_FALSE(
      lorimer::testing::Run(std::string(LORIMER_TOOL) + " render --page 7 '" + gif + "' '" + TempDir() + "/p.ppm'"));
  EXPECT_FALSE(lorimer::testing::Run(std::string(LORIMER_TOOL) + " render '" + gif + "' '" + TempDir() + "/p.xyz'"));
  EXPECT_TRUE(
      lorimer::testing::Run(std::string(LORIMER_TOOL) + " render --page 1 '" + gif + "' '" + TempDir() + "/p.png'"));
  auto page1 = ImageMagickDecode(TempDir() + "/p.png");
  ASSERT_TRUE(page1.has_value());
  EXPECT_EQ(page1->at(0, 0), (Rgb{0, 0, 255}));
  EXPECT_TRUE(lorimer::testing::Run(std::string(LORIMER_TOOL) + " render '" + gif + "' '" + TempDir() + "/p.bmp'"));
  auto page0 = ImageMagickDecode(TempDir() + "/p.bmp");
  ASSERT_TRUE(page0.has_value());
  EXPECT_EQ(page0->at(7, 5), (Rgb{255, 0, 0}));
  EXPECT_TRUE(lorimer::testing::Run(std::string(LORIMER_TOOL) + " --help"));
}

}  // namespace
