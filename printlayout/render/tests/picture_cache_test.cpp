// The page view's picture cache: files read once, changes picked up, failures
// remembered, the budget kept by dropping the least recently drawn picture.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gdi/owned.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/render/PageRenderer.h"
#include "printlayout/render/PictureCache.h"
#include "platform/ui/tests/qt_test_util.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::TempFolder;
using testing::WritePicture;

constexpr COLORREF kWhite = 0xFFFFFF;

std::vector<char> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void SetMtime(const std::string& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Rewrites the file with `bytes` (of the same length) and the given time: to the
// cache it is the same file, so only a copy it still holds can draw it.
void Replace(const std::string& path, const std::vector<char>& bytes, time_t mtime) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  SetMtime(path, mtime);
}

std::vector<char> Broken(std::vector<char> bytes) {
  for (size_t i = 0; i < 16 && i < bytes.size(); ++i) bytes[i] = 0;
  return bytes;
}

// A white 24-bit canvas to draw on.
class Canvas {
 public:
  Canvas(int w, int h)
      : bitmap_(CImageInterface::CreateEmptyDIBSection(w, h, kWhite, 0)), dc_(CreateCompatibleDC(nullptr)) {
    old_ = SelectObject(dc_.get(), bitmap_.get());
    vel::gdi::GetBitmapView(bitmap_.get(), &view_);
  }
  ~Canvas() { SelectObject(dc_.get(), old_); }
  HDC dc() const { return dc_.get(); }
  COLORREF at(int x, int y) const {
    const BYTE* p = view_.row(y) + 3 * x;
    return RGB(p[2], p[1], p[0]);
  }

 private:
  vel::gdi::OwnedBitmap bitmap_;
  vel::gdi::OwnedDC dc_;
  HGDIOBJ old_ = nullptr;
  vel::gdi::BitmapView view_;
};

class PictureCacheTest : public ::testing::Test {
 protected:
  std::string picture(const std::string& name, COLORREF colour, int w = 200, int h = 100) {
    const std::string path = folder / name;
    EXPECT_TRUE(WritePicture(path, w, h, colour, kExportPNG));
    SetMtime(path, 1000000);
    return path;
  }
  bool draw(PictureCache& cache, const std::string& path, RECT rect = {10, 20, 210, 120}) {
    ImagePlacement placement;
    placement.path = path;
    return cache.drawPicture(canvas.dc(), rect, placement);
  }

  TempFolder folder;
  Canvas canvas{400, 300};
};

TEST_F(PictureCacheTest, DrawsIntoTheRectangleAndReadsTheFileOnce) {
  PictureCache cache;
  const std::string red = picture("red.png", RGB(255, 0, 0));
  ASSERT_TRUE(draw(cache, red));
  EXPECT_EQ(canvas.at(10, 20), RGB(255, 0, 0));
  EXPECT_EQ(canvas.at(209, 119), RGB(255, 0, 0));
  EXPECT_EQ(canvas.at(9, 20), kWhite);
  EXPECT_EQ(canvas.at(210, 119), kWhite);
  EXPECT_EQ(canvas.at(10, 120), kWhite);
  EXPECT_EQ(cache.entries(), 1u);
  EXPECT_GE(cache.bytesHeld(), 200u * 100 * 3);

  // The file no longer decodes, but to the cache it is unchanged: the copy draws.
  Replace(red, Broken(Bytes(red)), 1000000);
  ASSERT_TRUE(draw(cache, red, {100, 150, 300, 250}));
  EXPECT_EQ(canvas.at(299, 249), RGB(255, 0, 0));
  EXPECT_EQ(cache.entries(), 1u);
}

TEST_F(PictureCacheTest, PicksUpChangedFilesAndRemembersFailures) {
  PictureCache cache;
  const std::string path = picture("p.png", RGB(255, 0, 0));
  const std::vector<char> red = Bytes(path);
  const std::string green = picture("green.png", RGB(0, 255, 0));
  const std::vector<char> greenBytes = Bytes(green);
  ASSERT_EQ(greenBytes.size(), red.size());  // one-colour pictures of one size

  const struct {
    const std::vector<char>* bytes;
    bool broken;
    time_t mtime;
    bool drawn;
    COLORREF colour;
  } steps[] = {
      {&red, false, 1000000, true, RGB(255, 0, 0)},
      {&greenBytes, false, 1000001, true, RGB(0, 255, 0)},  // a newer time
      {&red, true, 1000002, false, 0},                      // broken: fails
      {&red, false, 1000002, false, 0},                     // mended, same stamp: not retried
      {&red, false, 1000003, true, RGB(255, 0, 0)},         // touched: loaded again
  };
  for (const auto& s : steps) {
    Replace(path, s.broken ? Broken(*s.bytes) : *s.bytes, s.mtime);
    const RECT clear{0, 0, 400, 300};
    FillRect(canvas.dc(), &clear, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(draw(cache, path), s.drawn) << s.mtime;
    EXPECT_EQ(canvas.at(100, 70), s.drawn ? s.colour : kWhite) << s.mtime;
    EXPECT_EQ(cache.entries(), 1u);
  }

  // A missing file draws nothing and is forgotten.
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_FALSE(draw(cache, path));
  EXPECT_EQ(cache.entries(), 0u);
  EXPECT_EQ(cache.bytesHeld(), 0u);
}

TEST_F(PictureCacheTest, KeepsACopyAboutTheSizeAsked) {
  PictureCache cache;
  const std::string photo = picture("big.png", RGB(0, 0, 255), 800, 600);
  const struct {
    int width, height;
    size_t bytes;  // of the copy held afterwards (24-bit rows padded to 4 bytes)
  } sizes[] = {
      {100, 75, 300 * 75},      {400, 300, 1200 * 300},  // larger: made again
      {380, 285, 1200 * 300},   {201, 151, 1200 * 300},  // within half: reused
      {150, 113, 452 * 113},                             // far smaller: made again
      {1600, 1200, 2400 * 600},                          // capped at the picture's own size
      {1000, 750, 2400 * 600},
  };
  for (const auto& s : sizes) {
    ASSERT_TRUE(draw(cache, photo, {0, 0, s.width, s.height})) << s.width;
    EXPECT_EQ(cache.bytesHeld(), s.bytes) << s.width;
  }
}

TEST_F(PictureCacheTest, DropsTheLeastRecentlyDrawnBeyondTheBudget) {
  PictureCache cache(2 * 600 * 100 + 100);  // two 200 x 100 copies
  const std::string a = picture("a.png", RGB(255, 0, 0)), b = picture("b.png", RGB(0, 255, 0)),
                    c = picture("c.png", RGB(0, 0, 255));
  for (const std::string& p : {a, b, a, c}) ASSERT_TRUE(draw(cache, p));
  EXPECT_EQ(cache.bytesHeld(), 2u * 600 * 100);
  // Break the files, stamps kept: only pictures still held can draw.
  for (const std::string& p : {a, b, c}) Replace(p, Broken(Bytes(p)), 1000000);
  EXPECT_TRUE(draw(cache, a));
  EXPECT_FALSE(draw(cache, b));
  EXPECT_TRUE(draw(cache, c));
  cache.clear();
  EXPECT_EQ(cache.entries(), 0u);
  EXPECT_EQ(cache.bytesHeld(), 0u);
}

// The renderer draws a page through the cache as it does without one.
TEST_F(PictureCacheTest, PageDrawnThroughTheCacheLooksTheSame) {
  testing::FakeEnvironment env;
  Project project(env);
  project.imagesFont.face = "Arial";
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(
        project.addImageFile(picture("p" + std::to_string(i) + ".png", RGB(60 * i, 200, 255 - 60 * i), 300, 200), 1),
        1);
  }
  arrange(project, 1, 1, 2, 2, 30, 30, kArrangeAllPages);
  PictureCache cache;
  std::vector<COLORREF> pages[2];
  for (int pass = 0; pass < 2; ++pass) {
    Canvas page(400, 566);
    const int sheet = DeviceX(page.dc(), project.pageWidth, 1.0);
    const double zoom = 400.0 / sheet;
    const RenderFonts fonts(project, GetDeviceCaps(page.dc(), LOGPIXELSY), zoom);
    RenderRequest r;
    r.pageIndex = 1;
    r.dc = page.dc();
    r.content = ContentRect(project, page.dc(), zoom);
    r.zoom = zoom;
    r.fonts = &fonts;
    r.pictures = pass ? &cache : nullptr;
    ASSERT_TRUE(renderPage(project, r));
    for (int y = 0; y < 566; y += 3)
      for (int x = 0; x < 400; x += 3) pages[pass].push_back(page.at(x, y));
  }
  EXPECT_EQ(cache.entries(), 4u);
  int differ = 0;
  for (size_t i = 0; i < pages[0].size(); ++i) differ += pages[0][i] != pages[1][i];
  EXPECT_LT(differ, static_cast<int>(pages[0].size()) / 100);  // picture edges may round a pixel apart
  EXPECT_NE(std::count(pages[1].begin(), pages[1].end(), RGB(0, 200, 255)), 0);
}

TEST_F(PictureCacheTest, BackgroundLoadingDrawsAPlaceholderUntilThePictureArrives) {
  PictureCache cache;
  int readyCalls = 0;
  cache.setBackgroundLoading([&] { ++readyCalls; });
  const std::string red = picture("red.png", RGB(255, 0, 0));
  const std::string missing = folder / "missing.png";
  ASSERT_TRUE(draw(cache, red));
  const COLORREF placeholder = canvas.at(10, 20);
  EXPECT_NE(placeholder, RGB(255, 0, 0));
  EXPECT_NE(placeholder, kWhite);
  EXPECT_FALSE(draw(cache, missing));  // a missing file is known at once
  ASSERT_TRUE(draw(cache, red));       // asked again while in flight: one request
  EXPECT_EQ(cache.pending(), 1u);
  ASSERT_TRUE(vel::ui::testing::WaitFor([&] { return readyCalls > 0 && cache.pending() == 0; }));
  ASSERT_TRUE(draw(cache, red));
  EXPECT_EQ(canvas.at(10, 20), RGB(255, 0, 0));
  EXPECT_EQ(canvas.at(209, 119), RGB(255, 0, 0));

  // A file that changes while its picture is made is made again, not shown stale.
  const std::string green = picture("green.png", RGB(0, 160, 0));
  ASSERT_TRUE(draw(cache, green));
  WritePicture(green, 200, 100, RGB(0, 0, 200), kExportPNG);
  SetMtime(green, 2000000);
  ASSERT_TRUE(vel::ui::testing::WaitFor([&] { return cache.pending() == 0; }));
  ASSERT_TRUE(draw(cache, green));
  ASSERT_TRUE(vel::ui::testing::WaitFor([&] { return cache.pending() == 0; }));
  ASSERT_TRUE(draw(cache, green));
  EXPECT_EQ(canvas.at(10, 20), RGB(0, 0, 200));
}

}  // namespace
}  // namespace tessaly
