// TIFF writing: every depth and compression read back exactly by our reader and by
// ImageMagick, the tags tiffinfo sees, multi-page files built by appending, and the
// combinations the writer refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::DecodeBytes;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::ReadFile;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

constexpr int kW = 43;
constexpr int kH = 27;

std::vector<RGBQUAD> Gray(int bits) {
  std::vector<RGBQUAD> p;
  const int n = 1 << bits;
  for (int i = 0; i < n; ++i) {
    const BYTE v = static_cast<BYTE>(i * 255 / (n - 1));
    p.push_back({v, v, v, 0});
  }
  return p;
}
std::vector<RGBQUAD> Colours(int bits) {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < (1 << bits); ++i)
    p.push_back({static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 97 % 256), static_cast<BYTE>(40 + i * 53 % 200), 0});
  return p;
}

HBITMAP MakePage(int bits, const std::vector<RGBQUAD>& palette, int w = kW, int h = kH, int seed = 0) {
  HBITMAP bmp = NewPageBitmap(w, h, bits, palette);
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    for (int x = 0; x < w; ++x) {
      const int i = (x * 3 + y * 7 + (x / 5) * (y / 3) + seed) % (bits == 24 ? 256 : 1 << bits);
      if (bits == 24) {
        row[x * 3] = static_cast<BYTE>(i);
        row[x * 3 + 1] = static_cast<BYTE>(x * 5 + seed);
        row[x * 3 + 2] = static_cast<BYTE>(y * 9);
      } else if (bits == 8) {
        row[x] = static_cast<BYTE>(i);
      } else if (bits == 4) {
        row[x / 2] |= static_cast<BYTE>(i << ((x & 1) ? 0 : 4));
      } else {
        row[x / 8] |= static_cast<BYTE>(i << (7 - x % 8));
      }
    }
  }
  return bmp;
}

std::string Capture(const std::string& command) {
  static int counter = 0;
  const std::string out = TempDir() + "/tifw-capture-" + std::to_string(++counter);
  if (!Shell(command + " > '" + out + "' 2>/dev/null")) return "";
  const auto bytes = ReadFile(out);
  return std::string(bytes.begin(), bytes.end());
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct PageCase {
  const char* name;
  int bits;
  std::vector<RGBQUAD> palette;
  const char* photometric;  // as tiffinfo names it
};

std::vector<PageCase> PageCases() {
  return {{"1-black-white", 1, Gray(1), "min-is-black"},
          {"1-white-black", 1, {{255, 255, 255, 0}, {0, 0, 0, 0}}, "min-is-white"},
          {"1-colour", 1, Colours(1), "palette"},
          {"4-gray", 4, Gray(4), "min-is-black"},
          {"4-colour", 4, Colours(4), "palette"},
          {"8-gray", 8, Gray(8), "min-is-black"},
          {"8-colour", 8, Colours(8), "palette"},
          {"24", 24, {}, "RGB"}};
}

TEST(TiffWrite, EveryDepthAndCompressionReadsBackExactly) {
  const bool haveMagick = !FindTool("convert-im6.q16").empty();
  const std::string tiffinfo = FindTool("tiffinfo");
  const struct {
    const char* option;
    const char* shown;
  } compressions[] = {{"", "None"}, {"LZW", "LZW"}, {"PACKBITS", "PackBits"}};
  for (const auto& c : PageCases()) {
    for (const auto& z : compressions) {
      SCOPED_TRACE(std::string(c.name) + " " + z.option);
      HBITMAP page = MakePage(c.bits, c.palette);
      ASSERT_NE(page, nullptr);
      WriteOptions o;
      o.tiffCompress = z.option;
      std::vector<std::uint8_t> bytes;
      ASSERT_TRUE(WriteTiff(page, o, nullptr, &bytes));
      const auto want = BitmapToRgb(page);
      const auto ours = DecodeBytes(kTiffFormat, bytes);
      ASSERT_TRUE(ours && want);
      EXPECT_EQ(MaxDifference(*ours, *want), 0);
      const std::string path = WriteTempFile(std::string("tifw-") + c.name + z.option + ".tif", bytes);
      if (haveMagick) {
        const auto theirs = ImageMagickDecode(path);
        ASSERT_TRUE(theirs);
        EXPECT_EQ(MaxDifference(*theirs, *want), 0);
      }
      if (!tiffinfo.empty()) {
        const std::string info = Capture(tiffinfo + " '" + path + "'");
        EXPECT_TRUE(Contains(info, std::string("Compression Scheme: ") + z.shown)) << info;
        EXPECT_TRUE(Contains(info, std::string("Photometric Interpretation: ") + c.photometric)) << info;
      }
      DeleteObject(page);
    }
  }
}

TEST(TiffWrite, FaxCodingsForBilevelPages) {
  const std::string tiffinfo = FindTool("tiffinfo");
  const bool haveMagick = !FindTool("convert-im6.q16").empty();
  const struct {
    const char* option;
    const char* shown;
  } faxes[] = {{"MODCCITT", "CCITT RLE"}, {"GROUP3", "CCITT Group 3"}, {"GROUP4", "CCITT Group 4"}};
  // Black/white either way round, and a two-colour palette that must become bilevel.
  const std::vector<std::vector<RGBQUAD>> palettes = {
      Gray(1), {{255, 255, 255, 0}, {0, 0, 0, 0}}, {{20, 30, 200, 0}, {250, 240, 200, 0}}};
  for (const auto& f : faxes) {
    for (int fill : {1, 2}) {
      for (size_t p = 0; p < palettes.size(); ++p) {
        SCOPED_TRACE(std::string(f.option) + " fill " + std::to_string(fill) + " palette " + std::to_string(p));
        HBITMAP page = MakePage(1, palettes[p]);
        ASSERT_NE(page, nullptr);
        WriteOptions o;
        o.tiffCompress = f.option;
        o.fillOrder = fill;
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(WriteTiff(page, o, nullptr, &bytes));
        auto want = BitmapToRgb(page);
        ASSERT_TRUE(want);
        if (p == 2) {
          // Fax pages hold no colours: the darker entry comes back black, the lighter white.
          for (auto& px : want->pixels)
            px = px.r == 200 && px.b == 20 ? testing::Rgb{0, 0, 0} : testing::Rgb{255, 255, 255};
        }
        const auto ours = DecodeBytes(kTiffFormat, bytes);
        ASSERT_TRUE(ours);
        EXPECT_EQ(MaxDifference(*ours, *want), 0);
        const std::string path = WriteTempFile(
            std::string("tifw-fax-") + f.option + std::to_string(fill) + std::to_string(p) + ".tif", bytes);
        if (haveMagick) {
          const auto theirs = ImageMagickDecode(path);
          ASSERT_TRUE(theirs);
          EXPECT_EQ(MaxDifference(*theirs, *want), 0);
        }
        if (!tiffinfo.empty()) {
          const std::string info = Capture(tiffinfo + " '" + path + "'");
          EXPECT_TRUE(Contains(info, std::string("Compression Scheme: ") + f.shown)) << info;
          EXPECT_TRUE(Contains(info, fill == 2 ? "FillOrder: lsb-to-msb" : "FillOrder: msb-to-lsb")) << info;
        }
        DeleteObject(page);
      }
    }
  }
}

TEST(TiffWrite, TagsReachTheFile) {
  const std::string tiffinfo = FindTool("tiffinfo");
  if (tiffinfo.empty()) GTEST_SKIP() << "tiffinfo missing";
  HBITMAP page = MakePage(24, {});
  ASSERT_NE(page, nullptr);
  WriteOptions o;
  o.tiffCompress = "LZW";
  o.rowsPerStrip = 5;
  o.newSubfileType = 2;
  o.artist = "Jo Quill";
  o.copyright = "(c) 2026 Quill & Daughters";
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(WriteTiff(page, o, nullptr, &bytes));
  std::string info = Capture(tiffinfo + " '" + WriteTempFile("tifw-tags.tif", bytes) + "'");
  EXPECT_TRUE(Contains(info, "Rows/Strip: 5")) << info;
  EXPECT_TRUE(Contains(info, "Artist: Jo Quill")) << info;
  EXPECT_TRUE(Contains(info, "Copyright: (c) 2026 Quill & Daughters")) << info;
  EXPECT_TRUE(Contains(info, "Subfile Type: multi-page document (2 = 0x2)")) << info;
  const auto ours = DecodeBytes(kTiffFormat, bytes);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, *BitmapToRgb(page)), 0);

  // Strips longer than the page are cut to its height; empty texts leave their tags out.
  WriteOptions plain;
  plain.rowsPerStrip = 8192;
  ASSERT_TRUE(WriteTiff(page, plain, nullptr, &bytes));
  info = Capture(tiffinfo + " '" + WriteTempFile("tifw-tags2.tif", bytes) + "'");
  EXPECT_TRUE(Contains(info, "Rows/Strip: " + std::to_string(kH))) << info;
  EXPECT_FALSE(Contains(info, "Artist:")) << info;
  EXPECT_FALSE(Contains(info, "Copyright:")) << info;
  EXPECT_TRUE(Contains(info, "Subfile Type: (0 = 0x0)")) << info;
  DeleteObject(page);
}

TEST(TiffWrite, AppendingBuildsMultiPageFiles) {
  const std::string identify = FindTool("identify-im6.q16");
  HBITMAP pages[3] = {MakePage(24, {}, 30, 20, 1), MakePage(8, Colours(8), 45, 12, 2), MakePage(1, Gray(1), 17, 33, 3)};
  const char* compress[3] = {"LZW", "PACKBITS", "GROUP4"};
  std::vector<std::uint8_t> file;
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(pages[i], nullptr);
    WriteOptions o;
    o.append = true;
    o.tiffCompress = compress[i];
    std::vector<std::uint8_t> next;
    ASSERT_TRUE(WriteTiff(pages[i], o, i == 0 ? nullptr : &file, &next));
    file = std::move(next);
  }
  const std::string path = WriteTempFile("tifw-append.tif", file);
  if (!identify.empty()) {
    EXPECT_EQ(Capture(identify + " -format '%n %w %h\\n' '" + path + "'"), "3 30 20\n3 45 12\n3 17 33\n");
  }
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto want = BitmapToRgb(pages[i]);
    const auto ours = DecodeBytes(kTiffFormat, file, i);
    ASSERT_TRUE(ours && want);
    EXPECT_EQ(MaxDifference(*ours, *want), 0);
    const auto theirs = ImageMagickDecode(path, i);
    if (!identify.empty()) {
      ASSERT_TRUE(theirs);
      EXPECT_EQ(MaxDifference(*theirs, *want), 0);
    }
    DeleteObject(pages[i]);
  }
}

TEST(TiffWrite, AppendsToFilesOfOtherWriters) {
  const std::string convert = FindTool("convert-im6.q16");
  const std::string identify = FindTool("identify-im6.q16");
  if (convert.empty() || identify.empty()) GTEST_SKIP() << "ImageMagick missing";
  HBITMAP page = MakePage(4, Colours(4));
  ASSERT_NE(page, nullptr);
  for (const char* endian : {"MSB", "LSB"}) {
    SCOPED_TRACE(endian);
    const std::string theirs = TempDir() + "/tifw-im-" + endian + ".tif";
    ASSERT_TRUE(Shell(convert + " -size 16x9 xc:red xc:blue -endian " + endian + " -compress zip '" + theirs +
                      "' 2>/dev/null"));
    const auto existing = ReadFile(theirs);
    std::vector<std::uint8_t> out;
    WriteOptions o;
    o.append = true;
    o.tiffCompress = "LZW";
    ASSERT_TRUE(WriteTiff(page, o, &existing, &out));
    const std::string path = WriteTempFile(std::string("tifw-im-out-") + endian + ".tif", out);
    EXPECT_EQ(Capture(identify + " -format '%n %w %h\\n' '" + path + "'"), "3 16 9\n3 16 9\n3 43 27\n");
    const auto ours = DecodeBytes(kTiffFormat, out, 2);
    ASSERT_TRUE(ours);
    EXPECT_EQ(MaxDifference(*ours, *BitmapToRgb(page)), 0);
    const auto second = ImageMagickDecode(path, 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->at(3, 3), (testing::Rgb{0, 0, 255}));
  }
  DeleteObject(page);
}

TEST(TiffWrite, DamagedDirectoryChainsEndTheAppend) {
  HBITMAP page = MakePage(8, Gray(8));
  ASSERT_NE(page, nullptr);
  std::vector<std::uint8_t> file, out;
  ASSERT_TRUE(WriteTiff(page, {}, nullptr, &file));
  ASSERT_EQ(file[0], 'I');
  const std::uint32_t ifd = Le32(&file[4]);
  ASSERT_LT(ifd + 2u, file.size());
  const std::uint32_t next = ifd + 2 + 12 * Le16(&file[ifd]);
  ASSERT_LE(next + 4u, file.size());
  ASSERT_EQ(Le32(&file[next]), 0u);
  // The directory names itself as the next one: appending must neither loop nor succeed.
  std::vector<std::uint8_t> loop = file;
  std::memcpy(&loop[next], &ifd, 4);
  EXPECT_FALSE(WriteTiff(page, {}, &loop, &out));
  // The next directory lies beyond the end of the file.
  std::vector<std::uint8_t> away = file;
  const std::uint32_t far = 0x7FFFFFF0u;
  std::memcpy(&away[next], &far, 4);
  EXPECT_FALSE(WriteTiff(page, {}, &away, &out));
  DeleteObject(page);
}

TEST(TiffWrite, RefusesWhatItCannotWrite) {
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(WriteTiff(nullptr, {}, nullptr, &out));
  for (int bits : {4, 8, 24}) {
    HBITMAP page = MakePage(bits, bits == 24 ? std::vector<RGBQUAD>{} : Gray(bits));
    for (const char* fax : {"MODCCITT", "GROUP3", "GROUP4"}) {
      SCOPED_TRACE(std::to_string(bits) + fax);
      WriteOptions o;
      o.tiffCompress = fax;
      EXPECT_FALSE(WriteTiff(page, o, nullptr, &out));
    }
    DeleteObject(page);
  }
  HBITMAP page = MakePage(8, Gray(8));
  WriteOptions unknown;
  unknown.tiffCompress = "ZSTD-ISH";
  EXPECT_FALSE(WriteTiff(page, unknown, nullptr, &out));
  WriteOptions badFill;
  badFill.fillOrder = 3;
  EXPECT_FALSE(WriteTiff(page, badFill, nullptr, &out));
  const std::vector<std::uint8_t> notTiff = {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
  EXPECT_FALSE(WriteTiff(page, {}, &notTiff, &out));
  const std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  EXPECT_FALSE(WriteTiff(page, {}, &text, &out));
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
