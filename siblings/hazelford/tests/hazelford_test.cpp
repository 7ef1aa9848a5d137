// Hazelford: Targa files read back by our reader, ImageMagick and netpbm; packed
// DIBs that must be refused; a failed save that must leave the old file alone; and
// the two palette builders on known and photo-like histograms.
#include "siblings/hazelford/hazelford.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace {

using lorimer::formats::kTgaFormat;
using lorimer::testing::DecodeWith;
using lorimer::testing::FindTool;
using lorimer::testing::MaxDifference;
using lorimer::testing::ReadFile;
using lorimer::testing::ReadPnm;
using lorimer::testing::Rgb;
using lorimer::testing::RgbImage;
using lorimer::testing::Shell;
using lorimer::testing::TempDir;
using lorimer::testing::WriteTempFile;

struct Dib {
  int width = 0, height = 0, bits = 24;
  bool topDown = false;
  std::vector<RGBQUAD> palette;
  std::vector<BYTE> rows;  // stored rows, padded to 4 bytes
  size_t stride() const { return (static_cast<size_t>(width) * bits + 31) / 32 * 4; }
};

// The picture every Targa test writes: a colour ramp (24 bits) or index pattern (8 bits).
Dib MakeDib(int width, int height, int bits, bool topDown = false) {
  Dib d{width, height, bits, topDown, {}, {}};
  d.rows.assign(d.stride() * height, 0xEE);  // garbage in the padding must not leak
  if (bits == 8)
    for (int i = 0; i < 7; ++i) d.palette.push_back(RGBQUAD{BYTE(i * 40), BYTE(255 - i * 30), BYTE(i * 17 + 3), 0});
  for (int y = 0; y < height; ++y) {
    const int stored = topDown ? y : height - 1 - y;
    BYTE* row = d.rows.data() + d.stride() * stored;
    for (int x = 0; x < width; ++x) {
      if (bits == 8) {
        row[x] = static_cast<BYTE>((x + 2 * y) % 7);
      } else {
        row[x * 3] = static_cast<BYTE>(x * 255 / width);
        row[x * 3 + 1] = static_cast<BYTE>(y * 255 / height);
        row[x * 3 + 2] = static_cast<BYTE>((x * 7 + y * 13) & 0xFF);
      }
    }
  }
  return d;
}

RgbImage Expected(const Dib& d) {
  RgbImage img{d.width, d.height, {}};
  for (int y = 0; y < d.height; ++y) {
    const BYTE* row = d.rows.data() + d.stride() * (d.topDown ? y : d.height - 1 - y);
    for (int x = 0; x < d.width; ++x) {
      if (d.bits == 8) {
        const RGBQUAD c = d.palette[row[x]];
        img.pixels.push_back(Rgb{c.rgbRed, c.rgbGreen, c.rgbBlue});
      } else {
        img.pixels.push_back(Rgb{row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
      }
    }
  }
  return img;
}

std::vector<BYTE> Pack(const Dib& d) {
  const size_t table = d.palette.size() * 4;
  std::vector<BYTE> b(14 + 40 + table + d.rows.size(), 0);
  BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(b.size()), 0, 0, static_cast<DWORD>(14 + 40 + table)};
  BITMAPINFOHEADER ih{40,
                      d.width,
                      d.topDown ? -d.height : d.height,
                      1,
                      static_cast<WORD>(d.bits),
                      0,
                      static_cast<DWORD>(d.rows.size()),
                      0,
                      0,
                      static_cast<DWORD>(d.palette.size()),
                      0};
  std::memcpy(b.data(), &fh, 14);
  std::memcpy(b.data() + 14, &ih, 40);
  if (table) std::memcpy(b.data() + 54, d.palette.data(), table);
  std::memcpy(b.data() + 54 + table, d.rows.data(), d.rows.size());
  return b;
}

struct Block {
  HGLOBAL handle = nullptr;
  explicit Block(const std::vector<BYTE>& bytes) {
    handle = GlobalAlloc(GHND, bytes.size());
    std::memcpy(GlobalLock(handle), bytes.data(), bytes.size());
    GlobalUnlock(handle);
  }
  ~Block() { GlobalFree(handle); }
};

int Save(const std::string& path, const std::vector<BYTE>& packed) {
  Block block(packed);
  return SaveTGA(path.c_str(), block.handle);
}

class TargaSave : public ::testing::TestWithParam<std::tuple<int, bool, int>> {};

TEST_P(TargaSave, ReadsBackExactly) {
  const auto [bits, topDown, width] = GetParam();
  const Dib dib = MakeDib(width, 9, bits, topDown);
  const std::string path =
      TempDir() + "/hz-" + std::to_string(bits) + (topDown ? "t" : "b") + std::to_string(width) + ".tga";
  ASSERT_NE(SaveTGA(path.c_str(), Block(Pack(dib)).handle), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlNoError);

  const std::vector<BYTE> file = ReadFile(path);
  ASSERT_GE(file.size(), 18u);
  EXPECT_EQ(file[2], bits == 8 ? 1 : 2);
  EXPECT_EQ(file[1], bits == 8 ? 1 : 0);
  EXPECT_EQ(file[17] & 0x20, 0) << "bottom-left origin";
  const size_t expectedSize = 18 + dib.palette.size() * 3 + static_cast<size_t>(width) * 9 * (bits / 8);
  EXPECT_EQ(file.size(), expectedSize);

  const RgbImage want = Expected(dib);
  auto ours = DecodeWith(kTgaFormat, path);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, want), 0);
  if (!FindTool("convert-im6.q16").empty()) {
    // ImageMagick 6 keeps Targa rows in stored order and only records the origin;
    // -auto-orient turns bottom-left files the right way up.
    const std::string ppm = path + ".im.ppm";
    ASSERT_TRUE(Shell("convert-im6.q16 '" + path + "' -auto-orient -depth 8 ppm:'" + ppm + "'"));
    auto im = ReadPnm(ppm);
    ASSERT_TRUE(im);
    EXPECT_EQ(MaxDifference(*im, want), 0) << "ImageMagick";
  } else {
    GTEST_LOG_(INFO) << "ImageMagick missing: skipped";
  }
  if (!FindTool("tgatoppm").empty()) {
    const std::string ppm = path + ".ppm";
    ASSERT_TRUE(Shell("tgatoppm '" + path + "' > '" + ppm + "' 2>/dev/null"));
    auto np = ReadPnm(ppm);
    ASSERT_TRUE(np);
    EXPECT_EQ(MaxDifference(*np, want), 0) << "tgatoppm";
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, TargaSave,
                         ::testing::Combine(::testing::Values(8, 24), ::testing::Bool(), ::testing::Values(1, 13, 16)));

TEST(TargaSave, FullTableWhenColoursUsedIsZero) {
  Dib dib = MakeDib(40, 6, 8);
  dib.palette.clear();
  for (int i = 0; i < 256; ++i) dib.palette.push_back(RGBQUAD{BYTE(i), BYTE(255 - i), BYTE(i * 3), 0});
  for (size_t i = 0; i < dib.rows.size(); ++i) dib.rows[i] = static_cast<BYTE>(i * 7);
  std::vector<BYTE> packed = Pack(dib);
  const std::uint32_t zero = 0;
  std::memcpy(packed.data() + 46, &zero, 4);  // biClrUsed 0: the full 256 entries
  const std::string path = TempDir() + "/hz-256.tga";
  ASSERT_NE(Save(path, packed), 0);
  const std::vector<BYTE> file = ReadFile(path);
  ASSERT_GE(file.size(), 18u);
  EXPECT_EQ(file[5] | (file[6] << 8), 256);
  EXPECT_EQ(file[7], 24);
  EXPECT_EQ(file.size(), 18u + 256 * 3 + 40 * 6);
  auto ours = DecodeWith(kTgaFormat, path);
  ASSERT_TRUE(ours);
  EXPECT_EQ(MaxDifference(*ours, Expected(dib)), 0);
}

TEST(TargaSave, RefusesBadBlocks) {
  const std::vector<BYTE> good = Pack(MakeDib(5, 4, 24));
  const std::string path = TempDir() + "/hz-bad.tga";
  struct Case {
    const char* what;
    std::function<void(std::vector<BYTE>&)> spoil;
    int code;
  };
  auto put32 = [](std::vector<BYTE>& b, size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
  auto put16 = [](std::vector<BYTE>& b, size_t at, WORD v) { std::memcpy(b.data() + at, &v, 2); };
  const std::vector<Case> cases = {
      {"not BM", [](auto& b) { b[0] = 'X'; }, kHzlBadDib},
      {"too short", [](auto& b) { b.resize(50); }, kHzlBadDib},
      {"bits cut off", [](auto& b) { b.resize(b.size() - 1); }, kHzlBadDib},
      {"offset past end", [&](auto& b) { put32(b, 10, 1000000); }, kHzlBadDib},
      {"offset inside header", [&](auto& b) { put32(b, 10, 20); }, kHzlBadDib},
      {"header size", [&](auto& b) { put32(b, 14, 12); }, kHzlBadDib},
      {"huge header size", [&](auto& b) { put32(b, 14, 0xFFFFFFF0u); }, kHzlBadDib},
      {"zero width", [&](auto& b) { put32(b, 18, 0); }, kHzlBadDib},
      {"negative width", [&](auto& b) { put32(b, 18, 0xFFFFFFFBu); }, kHzlBadDib},
      {"zero height", [&](auto& b) { put32(b, 22, 0); }, kHzlBadDib},
      {"huge height", [&](auto& b) { put32(b, 22, 0x7FFFFFFF); }, kHzlTooLarge},
      {"rows beyond block", [&](auto& b) { put32(b, 22, 400); }, kHzlBadDib},
      {"16 bits", [&](auto& b) { put16(b, 28, 16); }, kHzlUnsupported},
      {"4 bits", [&](auto& b) { put16(b, 28, 4); }, kHzlUnsupported},
      {"RLE", [&](auto& b) { put32(b, 30, 1); }, kHzlUnsupported},
      {"two planes", [&](auto& b) { put16(b, 26, 2); }, kHzlUnsupported},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> bytes = good;
    c.spoil(bytes);
    EXPECT_EQ(Save(path, bytes), 0) << c.what;
    EXPECT_EQ(GetLastPicLibError(), c.code) << c.what;
    EXPECT_FALSE(std::filesystem::exists(path)) << c.what;
  }

  // 8 bits: a table that does not fit before the bits, and indexes past the table.
  Dib mapped = MakeDib(4, 3, 8);
  std::vector<BYTE> tooManyColours = Pack(mapped);
  put32(tooManyColours, 46, 300);
  EXPECT_EQ(Save(path, tooManyColours), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlBadDib);
  mapped.rows[0] = 7;  // the table has entries 0..6
  EXPECT_EQ(Save(path, Pack(mapped)), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlBadDib);

  EXPECT_EQ(SaveTGA(nullptr, Block(good).handle), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlBadArgument);
  EXPECT_EQ(SaveTGA(path.c_str(), nullptr), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlBadArgument);
  EXPECT_EQ(SaveTGA("", Block(good).handle), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlBadArgument);
}

TEST(TargaSave, FailureLeavesExistingFileAlone) {
  const std::string path = WriteTempFile("hz-keep.tga", {1, 2, 3, 4, 5});
  std::vector<BYTE> bad = Pack(MakeDib(5, 4, 24));
  bad.resize(bad.size() - 3);
  EXPECT_EQ(Save(path, bad), 0);
  EXPECT_EQ(ReadFile(path), (std::vector<BYTE>{1, 2, 3, 4, 5}));

  // A folder we cannot write into: the temporary file cannot be made.
  if (::geteuid() != 0) {
    const std::string dir = TempDir() + "/hz-locked";
    std::filesystem::create_directory(dir);
    const std::string locked = dir + "/old.tga";
    WriteTempFile("hz-locked/old.tga", {9, 8, 7});
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_EQ(Save(locked, Pack(MakeDib(5, 4, 24))), 0);
    EXPECT_EQ(GetLastPicLibError(), kHzlCreateFailed);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadFile(locked), (std::vector<BYTE>{9, 8, 7}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary left behind";
  }

  // A good save then replaces the file and clears the error.
  ASSERT_NE(Save(path, Pack(MakeDib(5, 4, 24))), 0);
  EXPECT_EQ(GetLastPicLibError(), kHzlNoError);
  EXPECT_EQ(ReadFile(path).size(), 18u + 5 * 4 * 3);
}

// ---- palettes -------------------------------------------------------------

int Index5(int r, int g, int b) { return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); }

bool Contains(const RGBQUAD* palette, int n, int r, int g, int b) {
  for (int i = 0; i < n; ++i)
    if (palette[i].rgbRed == r && palette[i].rgbGreen == g && palette[i].rgbBlue == b) return true;
  return false;
}

// Colours whose channels are five-bit values widened, so a cell stands for them exactly.
const int kFew[][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 132, 255}, {66, 189, 16}, {247, 8, 123}};

TEST(Palette, FewColoursComeBackExactly) {
  for (auto builder : {&MedianCut, &Popularity}) {
    std::vector<WORD> histogram(kHzlHistogramCells, 0);
    for (int i = 0; i < 6; ++i) histogram[Index5(kFew[i][0], kFew[i][1], kFew[i][2])] = static_cast<WORD>(100 + i * 50);
    RGBQUAD palette[256] = {};
    const int n = builder(histogram.data(), palette, 256);
    ASSERT_EQ(n, 6);
    for (const auto& c : kFew)
      EXPECT_TRUE(Contains(palette, n, c[0], c[1], c[2])) << c[0] << "," << c[1] << "," << c[2];
  }
}

TEST(Palette, LimitsAndBadArguments) {
  std::vector<WORD> histogram(kHzlHistogramCells, 0);
  RGBQUAD palette[256] = {};
  EXPECT_EQ(MedianCut(histogram.data(), palette, 256), 0) << "empty histogram";
  EXPECT_EQ(Popularity(histogram.data(), palette, 256), 0);
  for (int i = 0; i < 6; ++i) histogram[Index5(kFew[i][0], kFew[i][1], kFew[i][2])] = static_cast<WORD>(10 * (i + 1));
  EXPECT_EQ(MedianCut(nullptr, palette, 8), 0);
  EXPECT_EQ(MedianCut(histogram.data(), nullptr, 8), 0);
  EXPECT_EQ(MedianCut(histogram.data(), palette, 0), 0);
  EXPECT_EQ(MedianCut(histogram.data(), palette, 3), 3);
  EXPECT_EQ(MedianCut(histogram.data(), palette, 1), 1);
  // One box: the count-weighted mean of all six.
  double sum[3] = {};
  int total = 0;
  for (int i = 0; i < 6; ++i) {
    for (int c = 0; c < 3; ++c) sum[c] += kFew[i][c] * 10.0 * (i + 1);
    total += 10 * (i + 1);
  }
  EXPECT_NEAR(palette[0].rgbRed, sum[0] / total, 0.5);
  EXPECT_NEAR(palette[0].rgbGreen, sum[1] / total, 0.5);
  EXPECT_NEAR(palette[0].rgbBlue, sum[2] / total, 0.5);

  // Popularity takes the most frequent first: {247, 8, 123} has the largest count.
  ASSERT_EQ(Popularity(histogram.data(), palette, 2), 2);
  EXPECT_TRUE(Contains(palette, 1, 247, 8, 123));
  EXPECT_TRUE(Contains(palette + 1, 1, 66, 189, 16));
  EXPECT_EQ(Popularity(histogram.data(), palette, 1000), 6);
}

TEST(Palette, PhotoLikeHistogramGivesSaneError) {
  // A smooth colour field, like a photograph: every pixel's colour counted.
  const int w = 256, h = 192;
  std::vector<Rgb> pixels;
  std::vector<WORD> histogram(kHzlHistogramCells, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb p{BYTE(x), BYTE(y * 255 / h), BYTE((x + y) / 2)};
      pixels.push_back(p);
      WORD& cell = histogram[Index5(p.r, p.g, p.b)];
      if (cell < 0xFFFF) ++cell;
    }
  auto meanError = [&](const RGBQUAD* palette, int n) {
    double total = 0;
    for (const Rgb& p : pixels) {
      int best = 1 << 30;
      for (int i = 0; i < n; ++i) {
        const int dr = p.r - palette[i].rgbRed, dg = p.g - palette[i].rgbGreen, db = p.b - palette[i].rgbBlue;
        best = std::min(best, dr * dr + dg * dg + db * db);
      }
      total += std::sqrt(static_cast<double>(best));
    }
    return total / pixels.size();
  };
  RGBQUAD cut[256] = {}, popular[256] = {}, small[16] = {};
  ASSERT_EQ(MedianCut(histogram.data(), cut, 256), 256);
  ASSERT_EQ(Popularity(histogram.data(), popular, 256), 256);
  ASSERT_EQ(MedianCut(histogram.data(), small, 16), 16);
  const double cutError = meanError(cut, 256), popularError = meanError(popular, 256),
               smallError = meanError(small, 16);
  EXPECT_LT(cutError, 8.0);
  EXPECT_LT(smallError, 30.0);
  EXPECT_LT(cutError, smallError);
  // Median cut spreads its entries over the whole field; popularity does not.
  EXPECT_LT(cutError, popularError);
}

}  // namespace
