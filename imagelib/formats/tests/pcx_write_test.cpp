// PCX and DCX output: every layout read back by our reader, ImageMagick and netpbm;
// the RLE stream checked against the rules older readers depend on; DCX appends,
// page counts and the 1023-page limit.
#include <gtest/gtest.h>

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
using testing::OpenBytes;
using testing::ReadPnm;
using testing::RgbImage;
using testing::Shell;
using testing::TempDir;
using testing::WriteTempFile;

enum class Kind { kBlackWhite, kWhiteBlack, kTwoColours, kFour, kEight, kTrue };

std::vector<RGBQUAD> PaletteFor(Kind kind) {
  switch (kind) {
    case Kind::kBlackWhite: return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    case Kind::kWhiteBlack: return {RGBQUAD{255, 255, 255, 0}, RGBQUAD{0, 0, 0, 0}};
    case Kind::kTwoColours: return {RGBQUAD{200, 30, 10, 0}, RGBQUAD{5, 250, 120, 0}};
    case Kind::kFour:
    case Kind::kEight: {
      std::vector<RGBQUAD> p;
      for (int i = 0; i < (kind == Kind::kFour ? 16 : 256); ++i)
        p.push_back(RGBQUAD{BYTE(i * 37 + 5), BYTE(255 - i * 11), BYTE(i * 73 + 200), 0});
      return p;
    }
    case Kind::kTrue: return {};
  }
  return {};
}
int BitsFor(Kind kind) { return kind == Kind::kTrue ? 24 : kind == Kind::kEight ? 8 : kind == Kind::kFour ? 4 : 1; }

// Long runs (first rows flat, longer than 63), bytes of 0xC0 and up, and busy rows.
HBITMAP MakePage(int w, int h, Kind kind) {
  const int bits = BitsFor(kind);
  HBITMAP bmp = NewPageBitmap(w, h, bits, PaletteFor(kind));
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    std::fill(row, row + v.stride, 0x5A);  // garbage beyond the pixels
    for (int x = 0; x < w; ++x) {
      if (bits == 24) {
        const bool flat = y < 2;
        row[x * 3] = flat ? 0xC7 : BYTE(x * 255 / w);
        row[x * 3 + 1] = flat ? 0xC7 : BYTE(y * 29 + 192);
        row[x * 3 + 2] = flat ? 0xFF : BYTE(x * y);
        continue;
      }
      const unsigned index = y < 2 ? (1u << bits) - 1 : (x * 3 + y * 5 + x * y) % (1u << bits);
      const int bit = x * bits;
      const int shift = 8 - bits - bit % 8;
      BYTE& b = row[bit / 8];
      b = BYTE((b & ~(((1 << bits) - 1) << shift)) | (index << shift));
    }
  }
  return bmp;
}

// Walks one PCX page's RLE data line by line: no run may spill into the next plane
// line, a count is 1..63, and a literal never looks like a count. Returns the bytes
// the data decodes to (planes x bytesPerLine per row).
bool CheckRle(const std::vector<std::uint8_t>& pcx, int planes, int bytesPerLine, int height, std::string* why) {
  size_t at = 128;
  for (int line = 0; line < planes * height; ++line) {
    int left = bytesPerLine;
    while (left > 0) {
      if (at >= pcx.size()) return *why = "data ends early", false;
      const std::uint8_t b = pcx[at++];
      int count = 1;
      if (b >= 0xC0) {
        count = b & 0x3F;
        if (count == 0) return *why = "empty run", false;
        if (at >= pcx.size()) return *why = "run without value", false;
        ++at;
      }
      if (count > left) return *why = "run crosses line " + std::to_string(line), false;
      left -= count;
    }
  }
  return true;
}

RgbImage Negative(RgbImage img) {
  for (auto& p : img.pixels) p = {std::uint8_t(255 - p.r), std::uint8_t(255 - p.g), std::uint8_t(255 - p.b)};
  return img;
}

struct Shape {
  Kind kind;
  int planes, planeBits;
};

class PcxWrite : public ::testing::TestWithParam<std::tuple<Shape, int>> {};

TEST_P(PcxWrite, LayoutRleAndPixels) {
  const auto [shape, width] = GetParam();
  const int height = 7;
  HBITMAP page = MakePage(width, height, shape.kind);
  ASSERT_TRUE(page);
  auto want = BitmapToRgb(page);
  ASSERT_TRUE(want);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(WritePcx(page, WriteOptions{}, nullptr, &out));
  ASSERT_GE(out.size(), 128u);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 5);
  EXPECT_EQ(out[2], 1);
  EXPECT_EQ(out[3], shape.planeBits);
  EXPECT_EQ(out[65], shape.planes);
  EXPECT_EQ(Le16(out.data() + 8), width - 1);
  EXPECT_EQ(Le16(out.data() + 10), height - 1);
  const int bytesPerLine = Le16(out.data() + 66);
  EXPECT_EQ(bytesPerLine % 2, 0);
  EXPECT_EQ(bytesPerLine, ((width * shape.planeBits + 7) / 8 + 1) / 2 * 2);
  std::string why;
  EXPECT_TRUE(CheckRle(out, shape.planes, bytesPerLine, height, &why)) << why;
  if (shape.planeBits == 8 && shape.planes == 1) {
    ASSERT_GE(out.size(), 769u);
    EXPECT_EQ(out[out.size() - 769], 0x0C);
  }

  auto ours = DecodeBytes(kPcxFormat, out);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, *want), 0);
  const std::string path =
      WriteTempFile("pw-" + std::to_string(int(shape.kind)) + "-" + std::to_string(width) + ".pcx", out);
  if (auto im = ImageMagickDecode(path)) {
    // ImageMagick 6 alone reads monochrome PCX with set bits black, header palette
    // or not; netpbm, PC Paintbrush and our reader take set bits as white.
    EXPECT_EQ(MaxDifference(*im, shape.planes == 1 && shape.planeBits == 1 ? Negative(*want) : *want), 0)
        << "ImageMagick";
  } else {
    GTEST_LOG_(INFO) << "ImageMagick missing: skipped";
  }
  if (!FindTool("pcxtoppm").empty()) {
    ASSERT_TRUE(Shell("pcxtoppm '" + path + "' > '" + path + ".ppm' 2>/dev/null"));
    auto np = ReadPnm(path + ".ppm");
    ASSERT_TRUE(np);
    EXPECT_EQ(MaxDifference(*np, *want), 0) << "pcxtoppm";
  }
  DeleteObject(page);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PcxWrite,
                         ::testing::Combine(::testing::Values(Shape{Kind::kBlackWhite, 1, 1},
                                                              Shape{Kind::kWhiteBlack, 1, 1},
                                                              Shape{Kind::kTwoColours, 4, 1}, Shape{Kind::kFour, 4, 1},
                                                              Shape{Kind::kEight, 1, 8}, Shape{Kind::kTrue, 3, 8}),
                                            ::testing::Values(1, 9, 16, 150)));

TEST(PcxWriteEdges, RefusesNothingToWrite) {
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(WritePcx(nullptr, WriteOptions{}, nullptr, &out));
  EXPECT_FALSE(WriteDcx(nullptr, WriteOptions{}, nullptr, &out));
  EXPECT_TRUE(out.empty());
}

// ---- DCX ------------------------------------------------------------------

// ImageMagick's one-line summary of every frame: "pages width height".
std::string Identify(const std::string& path) {
  const std::string txt = path + ".id";
  if (!Shell("identify-im6.q16 -format '%n %w %h;' '" + path + "' > '" + txt + "' 2>/dev/null")) return "";
  auto bytes = testing::ReadFile(txt);
  return std::string(bytes.begin(), bytes.end());
}

TEST(DcxWrite, AppendsPagesOfEveryDepth) {
  const std::vector<Kind> kinds = {Kind::kTrue, Kind::kBlackWhite, Kind::kEight, Kind::kFour};
  std::vector<RgbImage> wants;
  std::vector<std::uint8_t> file;
  for (size_t i = 0; i < kinds.size(); ++i) {
    HBITMAP page = MakePage(20 + int(i) * 3, 5 + int(i), kinds[i]);
    ASSERT_TRUE(page);
    wants.push_back(*BitmapToRgb(page));
    WriteOptions options;
    options.append = i > 0;
    std::vector<std::uint8_t> next;
    ASSERT_TRUE(WriteDcx(page, options, i ? &file : nullptr, &next)) << i;
    DeleteObject(page);
    file = std::move(next);

    ASSERT_GE(file.size(), 4100u);
    EXPECT_EQ(Le32(file.data()), 0x3ADE68B1u);
    for (size_t k = 0; k <= i; ++k) EXPECT_NE(Le32(file.data() + 4 + 4 * k), 0u);
    EXPECT_EQ(Le32(file.data() + 4 + 4 * (i + 1)), 0u) << "table ends with 0";
    auto reader = OpenBytes(kDcxFormat, file);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->pageCount(), static_cast<int>(i + 1));
  }
  for (size_t k = 0; k < kinds.size(); ++k) {
    auto ours = DecodeBytes(kDcxFormat, file, static_cast<int>(k));
    ASSERT_TRUE(ours) << k;
    EXPECT_EQ(MaxDifference(*ours, wants[k]), 0) << "page " << k;
  }
  const std::string path = WriteTempFile("dw-four.dcx", file);
  if (FindTool("identify-im6.q16").empty()) GTEST_SKIP() << "ImageMagick missing";
  std::string frames;
  for (const RgbImage& w : wants) frames += "4 " + std::to_string(w.width) + " " + std::to_string(w.height) + ";";
  EXPECT_EQ(Identify(path), frames);
  for (size_t k = 0; k < kinds.size(); ++k) {
    auto im = ImageMagickDecode(path, static_cast<int>(k));
    ASSERT_TRUE(im) << k;
    const RgbImage& expected = kinds[k] == Kind::kBlackWhite ? Negative(wants[k]) : wants[k];
    EXPECT_EQ(MaxDifference(*im, expected), 0) << "ImageMagick page " << k;
  }
}

TEST(DcxWrite, RefusesWhatIsNotDcx) {
  HBITMAP page = MakePage(4, 4, Kind::kEight);
  std::vector<std::uint8_t> pcx, out;
  ASSERT_TRUE(WritePcx(page, WriteOptions{}, nullptr, &pcx));
  EXPECT_FALSE(WriteDcx(page, WriteOptions{}, &pcx, &out)) << "a plain PCX";
  const std::vector<std::vector<std::uint8_t>> bad = {
      {},
      {0xB1, 0x68, 0xDE, 0x3A},                                // magic only
      {0xB1, 0x68, 0xDE, 0x3A, 0, 0, 0, 0},                    // no pages
      {0xB1, 0x68, 0xDE, 0x3A, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},  // page beyond the end
      {0xB1, 0x68, 0xDE, 0x3A, 12, 0, 0, 0},                   // table runs off the end
  };
  for (const auto& b : bad) EXPECT_FALSE(WriteDcx(page, WriteOptions{}, &b, &out)) << b.size();
  EXPECT_TRUE(out.empty());
  DeleteObject(page);
}

TEST(DcxWrite, StopsAt1023Pages) {
  HBITMAP page = MakePage(2, 2, Kind::kBlackWhite);
  std::vector<std::uint8_t> one;
  ASSERT_TRUE(WritePcx(page, WriteOptions{}, nullptr, &one));
  auto build = [&](size_t pages) {
    std::vector<std::uint8_t> file(4100, 0);
    file[0] = 0xB1, file[1] = 0x68, file[2] = 0xDE, file[3] = 0x3A;
    for (size_t i = 0; i < pages; ++i) {
      const std::uint32_t at = static_cast<std::uint32_t>(file.size());
      for (int k = 0; k < 4; ++k) file[4 + i * 4 + k] = static_cast<std::uint8_t>(at >> (8 * k));
      file.insert(file.end(), one.begin(), one.end());
    }
    return file;
  };
  std::vector<std::uint8_t> out;
  const std::vector<std::uint8_t> almost = build(1022);
  ASSERT_TRUE(WriteDcx(page, WriteOptions{}, &almost, &out));
  auto reader = OpenBytes(kDcxFormat, out);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageCount(), 1023);
  EXPECT_EQ(Le32(out.data() + 4 + 4 * 1023), 0u);
  std::vector<std::uint8_t> more;
  EXPECT_FALSE(WriteDcx(page, WriteOptions{}, &out, &more));
  EXPECT_TRUE(more.empty());
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
