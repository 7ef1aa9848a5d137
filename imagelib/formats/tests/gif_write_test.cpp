// GIF writing: 1/4/8-bit pages (plain and interlaced) read back exactly by our reader and
// ImageMagick, frames added by appending, and the pages the writer refuses.
#include <gtest/gtest.h>

#include <algorithm>

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

std::vector<RGBQUAD> Palette(int bits, int seed) {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < (1 << bits); ++i)
    p.push_back({static_cast<BYTE>(255 - i - seed), static_cast<BYTE>((i * 97 + seed) % 256),
                 static_cast<BYTE>(40 + (i * 53 + seed) % 200), 0});
  return p;
}

HBITMAP MakePage(int bits, int w, int h, int seed = 0) {
  HBITMAP bmp = NewPageBitmap(w, h, bits, bits == 24 ? std::vector<RGBQUAD>{} : Palette(bits, seed));
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    for (int x = 0; x < w; ++x) {
      const int i = (x * 5 + y * 11 + x * y + seed) % (bits == 24 ? 256 : 1 << bits);
      if (bits == 24)
        row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = static_cast<BYTE>(i);
      else if (bits == 8)
        row[x] = static_cast<BYTE>(i);
      else if (bits == 4)
        row[x / 2] |= static_cast<BYTE>(i << ((x & 1) ? 0 : 4));
      else
        row[x / 8] |= static_cast<BYTE>(i << (7 - x % 8));
    }
  }
  return bmp;
}

// The first image descriptor's interlace bit, -1 when the file has none where expected.
int InterlaceBit(const std::vector<std::uint8_t>& gif) {
  if (gif.size() < 13) return -1;
  size_t pos = 13;
  if (gif[10] & 0x80) pos += 3u << ((gif[10] & 7) + 1);
  while (pos < gif.size() && gif[pos] == 0x21) {  // skip extensions
    pos += 2;
    while (pos < gif.size() && gif[pos] != 0) pos += gif[pos] + 1;
    ++pos;
  }
  if (pos + 10 > gif.size() || gif[pos] != 0x2C) return -1;
  return (gif[pos + 9] >> 6) & 1;
}

// The top-left w x h of a decoded page: multi-frame pages come back at the logical
// screen's size with the frame drawn at the origin.
testing::RgbImage Crop(const testing::RgbImage& image, int w, int h) {
  testing::RgbImage out;
  if (image.width < w || image.height < h) return out;
  out.width = w;
  out.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.pixels.push_back(image.at(x, y));
  return out;
}

std::string Capture(const std::string& command) {
  static int counter = 0;
  const std::string out = TempDir() + "/gifw-capture-" + std::to_string(++counter);
  if (!Shell(command + " > '" + out + "' 2>/dev/null")) return "";
  const auto bytes = ReadFile(out);
  return std::string(bytes.begin(), bytes.end());
}

TEST(GifWrite, EveryDepthPlainAndInterlacedReadsBackExactly) {
  const bool haveMagick = !FindTool("convert-im6.q16").empty();
  for (int bits : {1, 4, 8}) {
    for (bool interlace : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (interlace ? " interlaced" : " plain"));
      HBITMAP page = MakePage(bits, 37, 29);  // 29 rows reach every interlace pass unevenly
      ASSERT_NE(page, nullptr);
      WriteOptions o;
      o.interlace = interlace;
      std::vector<std::uint8_t> bytes;
      ASSERT_TRUE(WriteGif(page, o, nullptr, &bytes));
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
      EXPECT_EQ(InterlaceBit(bytes), interlace ? 1 : 0);
      const auto want = BitmapToRgb(page);
      const auto ours = DecodeBytes(kGifFormat, bytes);
      ASSERT_TRUE(ours && want);
      EXPECT_EQ(MaxDifference(*ours, *want), 0);
      if (haveMagick) {
        const auto theirs = ImageMagickDecode(
            WriteTempFile("gifw-" + std::to_string(bits) + std::to_string(interlace) + ".gif", bytes));
        ASSERT_TRUE(theirs);
        EXPECT_EQ(MaxDifference(*theirs, *want), 0);
      }
      DeleteObject(page);
    }
  }
}

TEST(GifWrite, AppendingAddsFramesAndKeepsTheOldOnes) {
  const std::string identify = FindTool("identify-im6.q16");
  HBITMAP pages[3] = {MakePage(8, 30, 20, 1), MakePage(4, 45, 12, 2), MakePage(1, 17, 33, 3)};
  std::vector<std::uint8_t> file;
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(pages[i], nullptr);
    WriteOptions o;
    o.append = true;
    o.interlace = i == 1;  // an interlaced frame in the middle must survive the copy
    std::vector<std::uint8_t> next;
    ASSERT_TRUE(WriteGif(pages[i], o, i == 0 ? nullptr : &file, &next));
    file = std::move(next);
  }
  // The logical screen covers the largest frame in each direction.
  EXPECT_EQ(Le16(&file[6]), 45);
  EXPECT_EQ(Le16(&file[8]), 33);
  const std::string path = WriteTempFile("gifw-append.gif", file);
  if (!identify.empty()) {
    EXPECT_EQ(Capture(identify + " -format '%n\\n' '" + path + "' | head -1"), "3\n");
  }
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto want = BitmapToRgb(pages[i]);
    const auto ours = DecodeBytes(kGifFormat, file, i);
    ASSERT_TRUE(ours && want);
    EXPECT_EQ(ours->width, 45);
    EXPECT_EQ(ours->height, 33);
    EXPECT_EQ(MaxDifference(Crop(*ours, want->width, want->height), *want), 0);
    if (!identify.empty()) {
      // ImageMagick places each frame on the logical screen; crop back to the frame.
      const std::string frame = TempDir() + "/gifw-frame" + std::to_string(i) + ".ppm";
      ASSERT_TRUE(Shell(FindTool("convert-im6.q16") + " '" + path + "[" + std::to_string(i) + "]' +repage -crop " +
                        std::to_string(want->width) + "x" + std::to_string(want->height) + "+0+0 ppm:'" + frame + "'"));
      const auto theirs = testing::ReadPnm(frame);
      ASSERT_TRUE(theirs);
      EXPECT_EQ(MaxDifference(*theirs, *want), 0);
    }
    DeleteObject(pages[i]);
  }
}

TEST(GifWrite, AppendsToAnimationsOfOtherWriters) {
  const std::string convert = FindTool("convert-im6.q16");
  const std::string identify = FindTool("identify-im6.q16");
  if (convert.empty() || identify.empty()) GTEST_SKIP() << "ImageMagick missing";
  // Delays and a loop count give the existing frames extension blocks that must survive.
  const std::string theirs = TempDir() + "/gifw-anim.gif";
  ASSERT_TRUE(
      Shell(convert + " -delay 20 -loop 0 -size 16x9 xc:red xc:blue -interlace GIF '" + theirs + "' 2>/dev/null"));
  const auto existing = ReadFile(theirs);
  HBITMAP page = MakePage(4, 10, 6);
  ASSERT_NE(page, nullptr);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(WriteGif(page, {}, &existing, &out));
  const std::string path = WriteTempFile("gifw-anim-out.gif", out);
  // ImageMagick carries the last delay over to frames without one, so only the first two
  // lines say something about the copied frames; the loop block must be there once.
  const std::string listing = Capture(identify + " -format '%n %T\\n' '" + path + "'");
  EXPECT_EQ(listing.substr(0, 10), "3 20\n3 20\n") << listing;
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 3);
  const std::string text(out.begin(), out.end());
  EXPECT_NE(text.find("NETSCAPE2.0"), std::string::npos);
  EXPECT_EQ(text.find("NETSCAPE2.0"), text.rfind("NETSCAPE2.0"));
  const auto second = ImageMagickDecode(path, 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->at(3, 3), (testing::Rgb{0, 0, 255}));
  const auto last = DecodeBytes(kGifFormat, out, 2);
  const auto want = BitmapToRgb(page);
  ASSERT_TRUE(last && want);
  EXPECT_EQ(MaxDifference(Crop(*last, 10, 6), *want), 0);
  DeleteObject(page);
}

TEST(GifWrite, RefusesWhatItCannotWrite) {
  std::vector<std::uint8_t> out;
  HBITMAP rgb = MakePage(24, 8, 8);
  EXPECT_FALSE(WriteGif(rgb, {}, nullptr, &out));  // the save path reduces colours first
  DeleteObject(rgb);
  EXPECT_FALSE(WriteGif(nullptr, {}, nullptr, &out));
  HBITMAP page = MakePage(8, 8, 8);
  const std::vector<std::uint8_t> notGif = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 3};
  EXPECT_FALSE(WriteGif(page, {}, &notGif, &out));
  const std::vector<std::uint8_t> empty;
  EXPECT_FALSE(WriteGif(page, {}, &empty, &out));
  // A frame claiming far more pixels than its data could paint is refused before giflib
  // allocates it; the unpatched file is accepted, so the patch is what makes it fail.
  std::vector<std::uint8_t> file;
  ASSERT_TRUE(WriteGif(page, {}, nullptr, &file));
  ASSERT_TRUE(WriteGif(page, {}, &file, &out));
  const size_t descriptor = 13 + 3 * 256;  // our files carry a global table of 2^8 entries
  ASSERT_EQ(file[descriptor], 0x2C);
  for (size_t i : {descriptor + 5, descriptor + 7}) {
    file[i] = 0x60;
    file[i + 1] = 0xEA;  // 60000
  }
  EXPECT_FALSE(WriteGif(page, {}, &file, &out));
  // Cut short inside the frame's data.
  std::vector<std::uint8_t> cut(file.begin(), file.begin() + descriptor + 14);
  EXPECT_FALSE(WriteGif(page, {}, &cut, &out));
  DeleteObject(page);
}

}  // namespace
}  // namespace lorimer::formats
