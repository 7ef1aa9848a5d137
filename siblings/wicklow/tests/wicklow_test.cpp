// The worker end to end: a request in the hand-over key, the program run as the
// extension runs it, the answer and the thumbnail file read back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lorimer/ImageInterface.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/tests/temp_registry.h"
#include "siblings/wicklow/Wicklow.h"

namespace {

using wicklow::kSettingsKey;
using wicklow::kSinchroKey;

struct Value {
  DWORD type = 0;
  std::vector<BYTE> data;
  DWORD number() const {
    DWORD n = 0;
    std::memcpy(&n, data.data(), std::min<size_t>(data.size(), 4));
    return n;
  }
  std::string text() const {
    const std::string all(data.begin(), data.end());
    return all.substr(0, all.find('\0'));
  }
};

Value Query(const char* key, const char* name) {
  Value v;
  vel::OwnedKey k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return v;
  DWORD size = 0;
  if (RegQueryValueExA(k.get(), name, nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) return v;
  v.data.resize(size);
  RegQueryValueExA(k.get(), name, nullptr, &v.type, v.data.data(), &size);
  v.data.resize(size);
  return v;
}

void SetValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  vel::OwnedKey k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void SetRequest(const std::string& path) {
  char text[wicklow::kStringBytes] = {};
  std::strncpy(text, path.c_str(), sizeof text - 1);
  SetValue(kSinchroKey, "FileName", REG_SZ, text, sizeof text);
}

// The eight thumbnail values, all present unless `skip` names one.
void SetThumbValues(int width, int height, int quality, const char* skip = "") {
  const std::pair<const char*, int> values[] = {{"THMB_ShowFileNameAndLength", 1},
                                                {"THMB_ShowWidthAndHeight", 1},
                                                {"THMB_ShowThumbnail", 1},
                                                {"THMB_SizeMode", 3},
                                                {"THMB_Height", height},
                                                {"THMB_Width", width},
                                                {"THMB_Time", 20},
                                                {"THMB_ZoomQuality", quality}};
  for (const auto& [name, value] : values)
    if (std::strcmp(name, skip) != 0) SetValue(kSettingsKey, name, REG_BINARY, &value, 4);
}

HBITMAP Picture(int w, int h, COLORREF colour) { return CImageInterface::CreateEmptyDIBSection(w, h, colour, 0); }

// Writes `pages` pages of w x h through the library's own saver of the extension.
bool WritePicture(const std::string& path, int w, int h, int pages) {
  const std::string ext = path.substr(path.rfind('.') + 1);
  for (int i = 0; i < pages; ++i) {
    CImageInterface img;
    if (!img.InitFromHBITMAP(Picture(w, h, RGB(40 * i, 200, 90)))) return false;
    _SAVEIMAGEINFO::_PNG png{};
    _SAVEIMAGEINFO::_JPG jpg{};
    _SAVEIMAGEINFO::_TIF tif{};
    _SAVEIMAGEINFO::_GIF gif{};
    png.depth = jpg.depth = tif.depth = 24;
    jpg.quality = 80;
    tif.colour = tif.fillOrder = 1;
    gif.depth = 8;
    tif.append = gif.append = i > 0;
    const char* p = path.c_str();
    const int ok = ext == "png"   ? img.Save(p, &png)
                   : ext == "jpg" ? img.Save(p, &jpg)
                   : ext == "tif" ? img.Save(p, &tif)
                                  : img.Save(p, &gif);
    if (!ok) return false;
  }
  return true;
}

long long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class WicklowTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("TMPDIR", dir_.c_str(), 1);  // the thumbnail lands in this test's folder
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    TempRegistry::TearDown();
  }
  int RunWorker() { return WEXITSTATUS(std::system(WICKLOW_PATH)); }
};

TEST_F(WicklowTest, AnswersWithTheFactsAndAFittedThumbnail) {
  const struct Case {
    const char* name;
    int w, h, pages, bpp, quality;
    int thumbW, thumbH;  // fitted into 100 x 100 (small pictures are enlarged to touch the box)
  } cases[] = {
      {"wide.png", 300, 150, 1, 24, 0, 100, 50},
      {"tall.jpg", 200, 400, 1, 24, 1, 50, 100},
      {"pages.tif", 80, 60, 3, 24, 1, 100, 75},
      // The library holds an animation's frames composed at 24 bits, and says so.
      {"frames.gif", 64, 32, 2, 24, 0, 100, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath(c.name);
    ASSERT_TRUE(WritePicture(path, c.w, c.h, c.pages));
    SetThumbValues(100, 100, c.quality);
    SetRequest(path);
    ASSERT_EQ(RunWorker(), 0);

    const struct {
      const char* name;
      DWORD expected;
    } numbers[] = {{"Error", 0},
                   {"Bpp", static_cast<DWORD>(c.bpp)},
                   {"Width", static_cast<DWORD>(c.w)},
                   {"Height", static_cast<DWORD>(c.h)},
                   {"Pages", static_cast<DWORD>(c.pages)},
                   {"Length", static_cast<DWORD>(FileSize(path))}};
    for (const auto& n : numbers) {
      const Value v = Query(kSinchroKey, n.name);
      EXPECT_EQ(v.type, REG_BINARY) << n.name;
      EXPECT_EQ(v.data.size(), 4u) << n.name;
      EXPECT_EQ(v.number(), n.expected) << n.name;
    }
    const Value name = Query(kSinchroKey, "ImgFileName"), result = Query(kSinchroKey, "Result");
    EXPECT_EQ(name.text(), c.name);
    EXPECT_EQ(name.data.size(), wicklow::kStringBytes);
    EXPECT_EQ(result.type, REG_SZ);
    EXPECT_EQ(result.data.size(), wicklow::kStringBytes);
    EXPECT_EQ(result.text(), wicklow::ThumbnailPath());
    EXPECT_EQ(result.text().rfind(dir_ + "/", 0), 0u);

    CImageInterface thumb;
    ASSERT_TRUE(thumb.Load(result.text().c_str(), 1));
    EXPECT_EQ(thumb.GetFormat(), FORMAT_BMP);
    EXPECT_EQ(thumb.GetWidth(0), c.thumbW);
    EXPECT_EQ(thumb.GetHeight(0), c.thumbH);
    EXPECT_EQ(thumb.GetColorDepth(), 24);
  }
}

TEST_F(WicklowTest, UnloadableRequestsGiveAnErrorAndNoResult) {
  SetThumbValues(100, 100, 0);
  const std::string text = TempPath("notes.png");
  FILE* f = std::fopen(text.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("not a picture at all", f);
  std::fclose(f);
  for (const std::string& path : {TempPath("missing.png"), text, std::string()}) {
    SCOPED_TRACE(path);
    // A previous answer must not survive as if it were this one's.
    char stale[wicklow::kStringBytes] = "/tmp/earlier.bmp";
    SetValue(kSinchroKey, "Result", REG_SZ, stale, sizeof stale);
    SetRequest(path);
    EXPECT_EQ(RunWorker(), 1);
    EXPECT_NE(Query(kSinchroKey, "Error").number(), 0u);
    const Value result = Query(kSinchroKey, "Result");
    EXPECT_EQ(result.data.size(), wicklow::kStringBytes);
    EXPECT_EQ(result.text(), "");
  }
}

TEST_F(WicklowTest, ThumbnailLimitsAreOneBlockAndClamped) {
  HDC screen = CreateCompatibleDC(nullptr);
  const int screenW = GetDeviceCaps(screen, HORZRES) / 5, screenH = GetDeviceCaps(screen, VERTRES) / 5;
  DeleteDC(screen);
  const struct {
    int width, height, quality;
    const char* skip;
    int expectW, expectH, expectQuality;
  } cases[] = {
      {120, 90, 1, "", 120, 90, 1},
      {120, 90, 7, "", 120, 90, 1},
      {120, 90, 1, "THMB_Time", screenW, screenH, 0},  // one value missing: the whole group defaults
      {-4, 100000, 0, "", wicklow::kMinThumbSide, wicklow::kMaxThumbSide, 0},
  };
  for (const auto& c : cases) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    SetThumbValues(c.width, c.height, c.quality, c.skip);
    const wicklow::ThumbLimits limits = wicklow::ReadThumbLimits();
    EXPECT_EQ(limits.width, c.expectW) << c.width << " " << c.skip;
    EXPECT_EQ(limits.height, c.expectH) << c.height << " " << c.skip;
    EXPECT_EQ(limits.zoomQuality, c.expectQuality) << c.quality;
  }
}

}  // namespace
