// GIF reading: animations with offsets, every disposal method and transparency, compared
// frame by frame with ImageMagick's coalesced frames flattened on white; palettised single
// frames; interlace; frames reaching past the screen; damaged files.
#include <gtest/gtest.h>

#include <gif_lib.h>

#include <cstring>
#include <functional>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::FindTool;
using testing::MaxDifference;
using testing::ReadFile;
using testing::ReadPnm;
using testing::Rgb;
using testing::RgbImage;
using testing::TempDir;

bool HaveIm() { return !FindTool("convert-im6.q16").empty(); }

// ImageMagick's view of every frame: coalesced, transparency on white.
std::vector<RgbImage> ImageMagickFrames(const std::string& path, int frames) {
  static int run = 0;
  const std::string base = TempDir() + "/gif-frames-" + std::to_string(++run);
  std::vector<RgbImage> out;
  if (!testing::Run("convert-im6.q16 '" + path + "' -coalesce -background white -alpha remove -alpha off -depth 8 '" +
                    base + "-%d.ppm'"))
    return out;
  for (int i = 0; i < frames; ++i) {
    auto img = ReadPnm(base + "-" + std::to_string(i) + ".ppm");
    if (!img) break;
    out.push_back(*img);
  }
  return out;
}

std::unique_ptr<ImageReader> Open(const std::string& path) {
  auto file = std::make_shared<FileData>();
  file->path = path;
  file->bytes = ReadFile(path);
  if (!kGifFormat.sniff(file->bytes.data(), std::min(file->bytes.size(), kSniffBytes), file->bytes.size()))
    return nullptr;
  return kGifFormat.open(file);
}

std::optional<RgbImage> Page(ImageReader& reader, int page, int* bits = nullptr) {
  HBITMAP bitmap = reader.decodePage(page);
  if (!bitmap) return std::nullopt;
  vel::gdi::BitmapView view;
  if (bits && vel::gdi::GetBitmapView(bitmap, &view)) *bits = view.bitsPerPixel;
  auto rgb = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  return rgb;
}

// A GIF written with giflib, frame by frame, for layouts the tools do not make.
struct GifFrameLayout {
  int left, top, width, height;
  int disposal;     // 0-3
  int transparent;  // -1 none
  bool interlaced = false;
  std::vector<GifColorType> localColors;  // empty: the global table
  std::function<int(int x, int y)> index;
};

// giflib 5.2 keeps a copy of each frame's local colour map and loses it when the
// next frame has none or the file is closed: free it ourselves.
void DropLocalMapCopy(GifFileType* gif) {
  if (gif->Image.ColorMap) {
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
  }
}

std::string WriteGif(const std::string& name, int width, int height, const std::vector<GifColorType>& global,
                     const std::vector<GifFrameLayout>& frames) {
  const std::string path = TempDir() + "/" + name;
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!gif) return "";
  EGifSetGifVersion(gif, true);
  ColorMapObject* globalMap =
      global.empty() ? nullptr : GifMakeMapObject(static_cast<int>(global.size()), global.data());
  EGifPutScreenDesc(gif, width, height, 8, 0, globalMap);
  for (const GifFrameLayout& f : frames) {
    GifByteType gce[4] = {static_cast<GifByteType>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)), 0, 0,
                          static_cast<GifByteType>(f.transparent >= 0 ? f.transparent : 0)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
    ColorMapObject* local = f.localColors.empty()
                                ? nullptr
                                : GifMakeMapObject(static_cast<int>(f.localColors.size()), f.localColors.data());
    DropLocalMapCopy(gif);
    EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local);
    std::vector<GifPixelType> line(f.width);
    // giflib's writer takes the rows in stream order; interlaced frames go pass by pass.
    std::vector<int> order;
    if (f.interlaced) {
      for (int pass = 0; pass < 4; ++pass) {
        static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        for (int y = kStart[pass]; y < f.height; y += kStep[pass]) order.push_back(y);
      }
    } else {
      for (int y = 0; y < f.height; ++y) order.push_back(y);
    }
    for (int y : order) {
      for (int x = 0; x < f.width; ++x) line[x] = static_cast<GifPixelType>(f.index(x, y));
      EGifPutLine(gif, line.data(), f.width);
    }
    if (local) GifFreeMapObject(local);
  }
  if (globalMap) GifFreeMapObject(globalMap);
  DropLocalMapCopy(gif);
  EGifCloseFile(gif, &error);
  return path;
}

std::vector<GifColorType> Ramp(int n) {
  std::vector<GifColorType> colors;
  for (int i = 0; i < n; ++i)
    colors.push_back(GifColorType{static_cast<GifByteType>(i * 255 / (n - 1)), static_cast<GifByteType>(i * 37 % 256),
                                  static_cast<GifByteType>(255 - i * 255 / (n - 1))});
  return colors;
}

TEST(GifReader, AnimationWithOffsetsDisposalAndTransparencyMatchesImageMagick) {
  if (!HaveIm()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const auto colors = Ramp(16);
  std::vector<GifFrameLayout> frames = {
      // Background picture, kept (disposal 1).
      {0, 0, 40, 30, 1, -1, false, {}, [](int x, int y) { return (x / 5 + y / 5) % 8; }},
      // A block with a transparent hole, cleared to the background afterwards.
      {5, 7, 12, 10, 2, 15, false, {}, [](int x, int y) { return (x > 3 && x < 8 && y > 2 && y < 7) ? 15 : 9; }},
      // Drawn, then restored to what was there before.
      {20, 3, 15, 20, 3, -1, false, {}, [](int x, int) { return 10 + x % 3; }},
      // Interlaced, with its own colour table and transparency.
      {2, 12, 30, 17, 0, 0, true, Ramp(4), [](int x, int y) { return (x * y) % 4; }},
      // Nothing special, at the bottom right corner.
      {30, 20, 10, 10, 0, -1, false, {}, [](int x, int y) { return (x + y) % 16; }},
  };
  const std::string path = WriteGif("anim.gif", 40, 30, colors, frames);
  ASSERT_FALSE(path.empty());
  auto reader = Open(path);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 5);
  const auto theirs = ImageMagickFrames(path, 5);
  ASSERT_EQ(theirs.size(), 5u);
  for (int page = 0; page < 5; ++page) {
    SCOPED_TRACE(page);
    EXPECT_EQ(reader->pageInfo(page).width, 40);
    EXPECT_EQ(reader->pageInfo(page).height, 30);
    int bits = 0;
    auto ours = Page(*reader, page, &bits);
    ASSERT_TRUE(ours);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(MaxDifference(*ours, theirs[page]), 0);
  }
  // Frames of an animation are composited into 24 bits, whatever their palettes.
  EXPECT_EQ(reader->pageInfo(3).colorsUsed, 0u);
  EXPECT_EQ(reader->pageInfo(3).bitCount, 24);

  // Out of order and repeated requests give the same pictures.
  for (int page : {4, 1, 1, 3, 0, 2}) {
    auto again = Page(*reader, page);
    ASSERT_TRUE(again);
    EXPECT_EQ(MaxDifference(*again, theirs[page]), 0) << page;
  }
}

TEST(GifReader, SingleOpaqueFrameStaysPalettised) {
  if (!HaveIm()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  struct Case {
    int colors;
    bool interlaced;
    int bits;
  };
  for (const Case& c : {Case{2, false, 1}, Case{16, true, 4}, Case{128, false, 8}, Case{256, true, 8}}) {
    SCOPED_TRACE(c.colors);
    const int n = c.colors;
    const std::string path =
        WriteGif("single.gif", 33, 21, Ramp(n),
                 {{0, 0, 33, 21, 0, -1, c.interlaced, {}, [n](int x, int y) { return (x * 7 + y * 3) % n; }}});
    auto reader = Open(path);
    ASSERT_TRUE(reader);
    int bits = 0;
    auto ours = Page(*reader, 0, &bits);
    ASSERT_TRUE(ours);
    EXPECT_EQ(bits, c.bits);
    auto theirs = testing::ImageMagickDecode(path);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(MaxDifference(*ours, *theirs), 0);
  }
}

TEST(GifReader, FramesAreClippedToTheScreen) {
  const auto colors = Ramp(4);  // 0 blue-ish, 3 red-ish
  const std::string path = WriteGif("clip.gif", 10, 8, colors,
                                    {{0, 0, 10, 8, 1, -1, false, {}, [](int, int) { return 0; }},
                                     {6, 5, 20, 20, 0, -1, false, {}, [](int, int) { return 3; }}});
  auto reader = Open(path);
  ASSERT_TRUE(reader);
  auto page = Page(*reader, 1);
  ASSERT_TRUE(page);
  ASSERT_EQ(page->width, 10);
  ASSERT_EQ(page->height, 8);
  const Rgb first{colors[0].Red, colors[0].Green, colors[0].Blue};
  const Rgb last{colors[3].Red, colors[3].Green, colors[3].Blue};
  EXPECT_EQ(page->at(5, 7), first);
  EXPECT_EQ(page->at(6, 5), last);
  EXPECT_EQ(page->at(9, 7), last);
  EXPECT_EQ(page->at(9, 4), first);
}

TEST(GifReader, TransparentFirstFrameShowsWhite) {
  const std::string path =
      WriteGif("hole.gif", 6, 4, Ramp(4), {{1, 1, 3, 2, 0, 2, false, {}, [](int x, int) { return x == 1 ? 2 : 1; }}});
  auto reader = Open(path);
  ASSERT_TRUE(reader);
  int bits = 0;
  auto page = Page(*reader, 0, &bits);
  ASSERT_TRUE(page);
  EXPECT_EQ(bits, 24);
  const Rgb white{255, 255, 255};
  EXPECT_EQ(page->at(0, 0), white);  // outside the frame
  EXPECT_EQ(page->at(2, 1), white);  // the transparent index
  EXPECT_NE(page->at(1, 1), white);
}

TEST(GifReader, TruncatedAndBrokenFiles) {
  const std::string path =
      WriteGif("cut.gif", 64, 64, Ramp(256),
               {{0, 0, 64, 64, 0, -1, false, {}, [](int x, int y) { return (x * 13 + y * 7) % 256; }},
                {0, 0, 64, 64, 0, -1, false, {}, [](int x, int y) { return (x ^ y) % 256; }}});
  auto bytes = ReadFile(path);
  ASSERT_GT(bytes.size(), 2000u);

  // Cut inside the second frame's data: both frames are pages, the second partly drawn.
  auto file = std::make_shared<FileData>();
  file->bytes.assign(bytes.begin(), bytes.end() - 400);
  auto reader = kGifFormat.open(file);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageCount(), 2);
  auto whole = Page(*reader, 0);
  auto partial = Page(*reader, 1);
  ASSERT_TRUE(whole && partial);
  EXPECT_NE(partial->at(1, 0), whole->at(1, 0));  // the second frame's first rows did arrive

  // Only the header and screen descriptor: no frame, no pages.
  file = std::make_shared<FileData>();
  file->bytes.assign(bytes.begin(), bytes.begin() + 13 + 768);
  EXPECT_FALSE(kGifFormat.open(file));

  // A screen of 60000 x 60000 in a file of a few kilobytes is not believed.
  file = std::make_shared<FileData>();
  file->bytes = bytes;
  file->bytes[6] = file->bytes[8] = 0x60;
  file->bytes[7] = file->bytes[9] = 0xEA;
  EXPECT_FALSE(kGifFormat.open(file));
}

}  // namespace
}  // namespace lorimer::formats
