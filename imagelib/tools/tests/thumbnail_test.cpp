// `lorimer thumbnail`: what the desktop's thumbnailers get back, read with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put32(Bytes& b, std::uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }

// A BITMAPINFOHEADER and bottom-up rows; pixel(x, y) gives B, G, R, A with y from the top.
// With `andMask` the header height is doubled and the mask (set where A is 0) follows.
Bytes Dib(int w, int h, int bpp, bool andMask, const std::function<std::uint32_t(int, int)>& pixel) {
  Bytes b;
  Put32(b, 40), Put32(b, w), Put32(b, andMask ? 2 * h : h), Put16(b, 1), Put16(b, bpp);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  const int stride = (w * bpp / 8 + 3) & ~3, maskStride = (w + 31) / 32 * 4;
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < bpp / 8; ++c) b.push_back(std::uint8_t(pixel(x, y) >> (8 * c)));
    b.resize(b.size() + stride - w * bpp / 8);
  }
  for (int y = h - 1; andMask && y >= 0; --y) {
    Bytes row(maskStride);
    for (int x = 0; x < w; ++x)
      if ((pixel(x, y) >> 24) == 0) row[x >> 3] |= 0x80 >> (x & 7);
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

Bytes Bmp(int w, int h) {
  Bytes dib = Dib(w, h, 24, false, [](int x, int y) { return (x * 7 + y) & 0xFF; });
  Bytes b = {'B', 'M'};
  Put32(b, 14 + dib.size()), Put32(b, 0), Put32(b, 54);
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

// A one-entry cursor, 32 x 32: transparent top half, opaque green bottom half.
Bytes Cursor(int bpp) {
  Bytes dib = Dib(32, 32, bpp, true, [](int, int y) { return y < 16 ? 0x00FF00FFu : 0xFF00FF00u; });
  Bytes b;
  Put16(b, 0), Put16(b, 2), Put16(b, 1);
  b.insert(b.end(), {32, 32, 0, 0});
  Put16(b, 3), Put16(b, 4), Put32(b, dib.size()), Put32(b, 22);
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

// 40 x 20 RGBA: transparent left half, opaque blue right half.
Bytes AlphaPng() {
  Bytes px(40 * 20 * 4);
  for (int i = 0; i < 40 * 20; ++i)
    if (i % 40 >= 20) px[4 * i + 2] = px[4 * i + 3] = 255;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 40, image.height = 20, image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 1 << 16;
  Bytes out(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, px.data(), 0, nullptr));
  out.resize(size);
  return out;
}

struct Png {
  bool ok = false;
  int width = 0, height = 0;
  bool alpha = false;
  Bytes rgba;
  std::uint8_t A(int x, int y) const { return rgba[(y * width + x) * 4 + 3]; }
};

Png ReadPng(const std::string& path) {
  Png p;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  p.alpha = image.format & PNG_FORMAT_FLAG_ALPHA;
  image.format = PNG_FORMAT_RGBA;
  p.width = image.width, p.height = image.height;
  p.rgba.resize(PNG_IMAGE_SIZE(image));
  p.ok = png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr);
  return p;
}

class ThumbnailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string base = (std::filesystem::temp_directory_path() / "lorimer-thumbnail-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(base.data()));
    dir_ = base;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return dir_ + "/" + name;
  }
  int Run(const std::string& in, const std::string& out, const std::string& size) {
    const std::string command =
        std::string(LORIMER_TOOL) + " thumbnail '" + in + "' '" + out + "' '" + size + "' 2>'" + dir_ + "/stderr'";
    return WEXITSTATUS(std::system(command.c_str()));
  }
  std::string Stderr() {
    std::ifstream in(dir_ + "/stderr");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
};

TEST_F(ThumbnailTest, FitsIntoTheBoxAndKeepsTransparency) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* size;
    int width, height;
    bool alpha;
  } cases[] = {
      {"wide.bmp", Bmp(400, 200), "100", 100, 50, false},    {"tall.bmp", Bmp(60, 300), "100", 20, 100, false},
      {"small.bmp", Bmp(30, 20), "100", 30, 20, false},  // never enlarged
      {"huge-box.bmp", Bmp(30, 20), "99999", 30, 20, false}, {"alpha.cur", Cursor(32), "16", 16, 16, true},
      {"masked.cur", Cursor(24), "32", 32, 32, true},        {"alpha.png", AlphaPng(), "10", 10, 5, true},
  };
  for (const Case& c : cases) {
    const std::string out = dir_ + "/" + c.name + ".png";
    ASSERT_EQ(Run(Write(c.name, c.bytes), out, c.size), 0) << c.name << ": " << Stderr();
    const Png png = ReadPng(out);
    ASSERT_TRUE(png.ok) << c.name;
    EXPECT_EQ(png.width, c.width) << c.name;
    EXPECT_EQ(png.height, c.height) << c.name;
    EXPECT_EQ(png.alpha, c.alpha) << c.name;
    if (!c.alpha) continue;
    // Transparent where the picture is (top of the cursors, left of the PNG), opaque elsewhere.
    EXPECT_EQ(png.A(0, 0), 0) << c.name;
    EXPECT_EQ(png.A(png.width - 1, png.height - 1), 255) << c.name;
  }
}

TEST_F(ThumbnailTest, FailsCleanlyAndLeavesTheOutputAlone) {
  const std::string good = Write("good.bmp", Bmp(8, 8));
  const std::string garbage = Write("garbage.pcx", Bytes(300, 0x5A));
  struct Case {
    std::string in, size, message;
  } cases[] = {
      {dir_ + "/missing.pcx", "64", "cannot load"},
      {garbage, "64", "cannot load"},
      {good, "0", "size"},
      {good, "-3", "size"},
      {good, "64x", "size"},
  };
  const std::string out = Write("kept.png", {'o', 'l', 'd'});
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.in, out, c.size), 1) << c.in << " " << c.size;
    EXPECT_NE(Stderr().find(c.message), std::string::npos) << Stderr();
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
  }
  // Nothing half-written is left beside the output.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) files += e.path().filename().string()[0] == '.';
  EXPECT_EQ(files, 0);
}

}  // namespace
