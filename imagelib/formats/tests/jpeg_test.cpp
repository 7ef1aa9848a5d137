// JPEG reading: ImageMagick's files (colour, gray, progressive, CMYK) and libjpeg-written
// ones (restart markers, plain CMYK) compared with ImageMagick's decode within the
// rounding that separate IDCT/upsampling paths may differ by; truncated and broken streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "imagelib/formats/jpeg_decode.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::ReadFile;
using testing::RgbImage;
using testing::TempDir;
using testing::WriteTempFile;

constexpr int kW = 83;
constexpr int kH = 61;
constexpr int kTolerance = 3;

std::uint8_t Channel(int x, int y, int c) {
  const int v[3] = {x * 255 / kW, y * 255 / kH, (x + y) * 255 / (kW + kH)};
  return static_cast<std::uint8_t>(v[c]);
}

std::string SourcePpm() {
  std::string head = "P6\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n";
  std::vector<std::uint8_t> d(head.begin(), head.end());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (int c = 0; c < 3; ++c) d.push_back(Channel(x, y, c));
  return WriteTempFile("jpeg-source.ppm", d);
}

bool HaveIm() { return !FindTool("convert-im6.q16").empty(); }

std::string MakeWithIm(const std::string& name, const std::string& options) {
  const std::string out = TempDir() + "/" + name + ".jpg";
  if (!testing::Run("convert-im6.q16 '" + SourcePpm() + "' " + options + " '" + out + "'")) return "";
  return out;
}

// libjpeg's own writer, for what ImageMagick cannot be asked to write.
std::vector<std::uint8_t> Compress(int components, J_COLOR_SPACE in, bool adobe, int restartRows,
                                   const std::function<std::uint8_t(int, int, int)>& sample) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = kW;
  c.image_height = kH;
  c.input_components = components;
  c.in_color_space = in;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  c.restart_in_rows = restartRows;
  c.write_Adobe_marker = adobe ? TRUE : FALSE;
  jpeg_start_compress(&c, TRUE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(kW) * components);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < kW; ++x)
      for (int k = 0; k < components; ++k) row[static_cast<std::size_t>(x) * components + k] = sample(x, y, k);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&c);
  free(out);
  return bytes;
}

std::optional<RgbImage> DecodeBytes(const std::vector<std::uint8_t>& bytes, JpegInfo* info = nullptr,
                                    bool topDown = true) {
  HBITMAP bitmap = DecodeJpegToDib(bytes.data(), bytes.size(), topDown, info);
  if (!bitmap) return std::nullopt;
  auto rgb = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  return rgb;
}

TEST(JpegReader, ImageMagickFilesMatchItsDecode) {
  if (!HaveIm()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  struct Case {
    const char* name;
    const char* options;
    int components;
    bool progressive;
  };
  const Case cases[] = {
      {"colour420", "-quality 90", 3, false},
      {"colour444", "-quality 90 -sampling-factor 1x1", 3, false},
      {"gray", "-colorspace Gray -quality 90", 1, false},
      {"progressive", "-quality 85 -interlace JPEG", 3, true},
      {"cmyk", "-colorspace CMYK -quality 95", 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = MakeWithIm(c.name, c.options);
    ASSERT_FALSE(path.empty());
    const auto bytes = ReadFile(path);
    JpegInfo header;
    ASSERT_TRUE(ReadJpegHeader(bytes.data(), bytes.size(), &header));
    EXPECT_EQ(header.components, c.components);
    EXPECT_EQ(header.bitCount, 8 * c.components);
    EXPECT_EQ(header.progressive, c.progressive);

    auto ours = testing::DecodeWith(kJpegFormat, path);
    auto theirs = ImageMagickDecode(path);
    ASSERT_TRUE(ours && theirs);
    EXPECT_LE(MaxDifference(*ours, *theirs), kTolerance);
    EXPECT_GE(MaxDifference(*ours, *theirs), 0);
  }
}

TEST(JpegReader, RestartMarkersDecodeAsImageMagickDoes) {
  if (!HaveIm()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const auto bytes = Compress(3, JCS_RGB, false, 1, [](int x, int y, int c) { return Channel(x, y, c); });
  bool hasRestart = false;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) hasRestart |= bytes[i] == 0xFF && bytes[i + 1] == 0xD0;
  ASSERT_TRUE(hasRestart);
  const std::string path = WriteTempFile("restart.jpg", bytes);
  auto ours = testing::DecodeWith(kJpegFormat, path);
  auto theirs = ImageMagickDecode(path);
  ASSERT_TRUE(ours && theirs);
  EXPECT_LE(MaxDifference(*ours, *theirs), kTolerance);
}

TEST(JpegReader, CmykWithAndWithoutAdobeInversion) {
  // Ink values that give known colours: (c, m, y, k) as true ink amounts.
  auto ink = [](int x, int y, int c) -> std::uint8_t {
    const int v[4] = {x * 3 % 256, y * 4 % 256, (x + y) % 256, (x < kW / 2) ? 0 : 64};
    return static_cast<std::uint8_t>(v[c]);
  };
  auto expected = [&](int x, int y) {
    const unsigned k = 255 - ink(x, y, 3);
    return testing::Rgb{static_cast<std::uint8_t>((255 - ink(x, y, 0)) * k / 255),
                        static_cast<std::uint8_t>((255 - ink(x, y, 1)) * k / 255),
                        static_cast<std::uint8_t>((255 - ink(x, y, 2)) * k / 255)};
  };
  // Adobe's writers store inverted values and say so in APP14; plain CMYK is stored as is.
  const auto adobe =
      Compress(4, JCS_CMYK, true, 0, [&](int x, int y, int c) { return std::uint8_t(255 - ink(x, y, c)); });
  const auto plain = Compress(4, JCS_CMYK, false, 0, ink);
  for (const auto* bytes : {&adobe, &plain}) {
    JpegInfo info;
    auto rgb = DecodeBytes(*bytes, &info);
    ASSERT_TRUE(rgb);
    EXPECT_EQ(info.components, 4);
    EXPECT_EQ(info.bitCount, 32);
    int worst = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const auto want = expected(x, y);
        const auto got = rgb->at(x, y);
        worst = std::max({worst, std::abs(want.r - got.r), std::abs(want.g - got.g), std::abs(want.b - got.b)});
      }
    }
    EXPECT_LE(worst, 8) << (bytes == &adobe ? "adobe" : "plain");
  }
}

TEST(JpegReader, DibRowOrderFollowsTheRequest) {
  const auto bytes = Compress(3, JCS_RGB, false, 0, [](int x, int y, int c) { return Channel(x, y, c); });
  for (bool topDown : {true, false}) {
    JpegInfo info;
    HBITMAP bitmap = DecodeJpegToDib(bytes.data(), bytes.size(), topDown, &info);
    ASSERT_TRUE(bitmap);
    vel::gdi::BitmapView view;
    ASSERT_TRUE(vel::gdi::GetBitmapView(bitmap, &view));
    EXPECT_EQ(view.topDown, topDown);
    EXPECT_EQ(view.bitsPerPixel, 24);
    EXPECT_EQ(info.width, kW);
    EXPECT_EQ(info.height, kH);
    // The top rows are dark in green, the bottom rows bright, whatever the storage order.
    const BYTE* top = view.row(0);
    const BYTE* bottom = view.row(kH - 1);
    EXPECT_LT(top[1], 20);
    EXPECT_GT(bottom[1], 230);
    // Red grows to the right.
    EXPECT_LT(top[2], 20);
    EXPECT_GT(top[3 * (kW - 1) + 2], 230);
    DeleteObject(bitmap);
  }
}

TEST(JpegReader, ResolutionFromJfif) {
  if (!HaveIm()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const auto inch = ReadFile(MakeWithIm("dpi-inch", "-units PixelsPerInch -density 150"));
  const auto cm = ReadFile(MakeWithIm("dpi-cm", "-units PixelsPerCentimeter -density 50"));
  JpegInfo info;
  ASSERT_TRUE(ReadJpegHeader(inch.data(), inch.size(), &info));
  EXPECT_EQ(info.xDpi, 150);
  EXPECT_EQ(info.yDpi, 150);
  ASSERT_TRUE(ReadJpegHeader(cm.data(), cm.size(), &info));
  EXPECT_EQ(info.xDpi, 127);
}

TEST(JpegReader, TruncatedStreamDecodesItsTop) {
  if (!HaveIm()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  for (const char* options : {"-quality 90", "-quality 90 -interlace JPEG"}) {
    SCOPED_TRACE(options);
    const std::string path = MakeWithIm("truncated-source", options);
    auto theirs = ImageMagickDecode(path);
    auto bytes = ReadFile(path);
    ASSERT_TRUE(theirs);
    bytes.resize(bytes.size() * 7 / 10);
    auto ours = DecodeBytes(bytes);
    ASSERT_TRUE(ours);
    ASSERT_EQ(ours->width, kW);
    // Baseline: the first rows are complete. Progressive: the first scans give at least a
    // coarse picture, so only the size is checked there.
    if (std::strcmp(options, "-quality 90") == 0) {
      int worst = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < kW; ++x) worst = std::max(worst, std::abs(ours->at(x, y).r - theirs->at(x, y).r));
      EXPECT_LE(worst, kTolerance);
    }
  }
}

TEST(JpegReader, BrokenStreamsFailCleanly) {
  const auto good = Compress(3, JCS_RGB, false, 0, [](int x, int y, int c) { return Channel(x, y, c); });
  ASSERT_TRUE(DecodeBytes(good));
  std::size_t sof = 2;
  while (sof + 4 < good.size() && !(good[sof] == 0xFF && good[sof + 1] == 0xC0)) sof += 2 + Be16(&good[sof + 2]);
  ASSERT_LT(sof + 10, good.size());

  auto precision = good;
  precision[sof + 4] = 12;  // 12-bit samples: not for an 8-bit decoder
  EXPECT_FALSE(DecodeBytes(precision));
  JpegInfo info;
  EXPECT_FALSE(ReadJpegHeader(precision.data(), precision.size(), &info));

  auto components = good;
  components[sof + 9] = 2;  // two components: no colour model we know
  EXPECT_FALSE(DecodeBytes(components));

  auto huge = good;  // 65000 x 65000 in a few kilobytes
  huge[sof + 5] = huge[sof + 7] = 0xFD;
  huge[sof + 6] = huge[sof + 8] = 0xE8;
  EXPECT_FALSE(ReadJpegHeader(huge.data(), huge.size(), &info));
  EXPECT_FALSE(DecodeBytes(huge));

  const std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 20);
  EXPECT_FALSE(DecodeBytes(headerOnly));
  const std::vector<std::uint8_t> notJpeg = {0x89, 'P', 'N', 'G', 0, 0, 0, 0};
  EXPECT_FALSE(kJpegFormat.sniff(notJpeg.data(), notJpeg.size(), notJpeg.size()));
}

}  // namespace
}  // namespace lorimer::formats
