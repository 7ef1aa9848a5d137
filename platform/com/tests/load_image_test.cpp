#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "platform/gdi/gdi.h"

namespace {

struct BmpSpec {
  int width;
  int height;  // negative: top-down
  int bits;
  int colors = 0;  // biClrUsed; 0 = the full table for <= 8 bits
  DWORD compression = BI_RGB;
};

COLORREF PaletteColor(int i) { return RGB(BYTE(i * 37 + 5), BYTE(i * 91 + 11), BYTE(i * 13 + 200)); }
int TableSize(const BmpSpec& s) { return s.bits > 8 ? 0 : (s.colors ? s.colors : 1 << s.bits); }
// The picture's pixel at (x, y) from the top: a palette index or a colour.
int IndexAt(const BmpSpec& s, int x, int y) { return (x + 3 * y) % TableSize(s); }
COLORREF ColorAt(const BmpSpec& s, int x, int y) {
  return s.bits <= 8 ? PaletteColor(IndexAt(s, x, y)) : RGB(BYTE(x * 40), BYTE(y * 60), BYTE(x * y + 7));
}

std::vector<std::uint8_t> WriteBmp(const BmpSpec& s) {
  const int h = s.height < 0 ? -s.height : s.height;
  const size_t stride = ((size_t(s.width) * s.bits + 31) / 32) * 4;
  const DWORD offBits = 14 + 40 + 4 * TableSize(s);
  std::vector<std::uint8_t> out;
  vel::ByteWriter w(out);
  w.le16(0x4D42);
  w.le32(offBits + DWORD(stride * h));
  w.le32(0);
  w.le32(offBits);
  for (DWORD v : {40u, DWORD(s.width), DWORD(s.height)}) w.le32(v);
  w.le16(1);
  w.le16(WORD(s.bits));
  for (DWORD v : {s.compression, 0u, 2835u, 2835u, DWORD(s.colors), 0u}) w.le32(v);
  for (int i = 0; i < TableSize(s); ++i) {
    const COLORREF c = PaletteColor(i);
    for (BYTE b : {GetBValue(c), GetGValue(c), GetRValue(c), BYTE(0)}) w.u8(b);
  }
  for (int r = 0; r < h; ++r) {
    const int y = s.height < 0 ? r : h - 1 - r;
    std::vector<std::uint8_t> row(stride, 0);
    for (int x = 0; x < s.width; ++x) {
      if (s.bits <= 8) {
        const int perByte = 8 / s.bits;
        const int shift = 8 - s.bits * (x % perByte + 1);
        row[x / perByte] |= std::uint8_t(IndexAt(s, x, y) << shift);
      } else {
        const COLORREF c = ColorAt(s, x, y);
        std::uint8_t* p = &row[x * (s.bits / 8)];
        p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
      }
    }
    w.bytes(row);
  }
  return out;
}

class LoadImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/loadimage-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }
  std::string Save(const std::vector<std::uint8_t>& bytes) {
    files_.push_back(dir_ + "/" + std::to_string(files_.size()) + ".bmp");
    EXPECT_TRUE(vel::ReplaceFileContents(files_.back(), bytes));
    return files_.back();
  }
  static HBITMAP Load(const std::string& path, int cx = 0, int cy = 0) {
    return static_cast<HBITMAP>(
        LoadImageA(0, path.c_str(), IMAGE_BITMAP, cx, cy, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  }

  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(LoadImageTest, ReadsEveryDepthInBothRowOrders) {
  const BmpSpec specs[] = {{13, 5, 1},     {9, -4, 1}, {7, 3, 4},   {5, -6, 4, 11}, {6, 4, 8},
                           {3, -3, 8, 20}, {5, 3, 24}, {7, -2, 24}, {4, 3, 32},     {3, -5, 32}};
  HDC dc = CreateCompatibleDC(nullptr);
  for (const BmpSpec& s : specs) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + "@" + std::to_string(s.bits));
    HBITMAP bitmap = Load(Save(WriteBmp(s)));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_NE(GetObject(bitmap, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, s.width);
    EXPECT_EQ(info.bmHeight, s.height < 0 ? -s.height : s.height);
    EXPECT_EQ(info.bmBitsPixel, s.bits);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < info.bmHeight; ++y)
      for (int x = 0; x < s.width; ++x) ASSERT_EQ(GetPixel(dc, x, y), ColorAt(s, x, y)) << x << "," << y;
    SelectObject(dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
}

TEST_F(LoadImageTest, StretchesToARequestedSize) {
  const BmpSpec s{2, 2, 8};
  HBITMAP bitmap = Load(Save(WriteBmp(s)), 4, 6);
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  GetObject(bitmap, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 4);
  EXPECT_EQ(info.bmHeight, 6);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 0, 0), ColorAt(s, 0, 0));
  EXPECT_EQ(GetPixel(dc, 3, 5), ColorAt(s, 1, 1));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
}

TEST_F(LoadImageTest, RefusesDamagedFilesAndOtherRequests) {
  const auto good = WriteBmp({6, 4, 24});
  auto cut = good;
  cut.pop_back();
  auto badMagic = good;
  badMagic[0] = 'X';
  auto hugeOffset = good;
  hugeOffset[10] = 0xFF, hugeOffset[11] = 0xFF;
  auto huge = WriteBmp({1, 1, 24});
  for (int i = 0; i < 4; ++i) huge[18 + i] = huge[22 + i] = BYTE(100000 >> (8 * i));
  auto sixteen = good;
  sixteen[28] = 16;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"last pixel byte missing", cut},
      {"not BM", badMagic},
      {"pixels offset past the end", hugeOffset},
      {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 30)},
      {"100000 x 100000 in a few bytes", huge},
      {"run-length coded", WriteBmp({4, 4, 8, 0, BI_RLE8})},
      {"16 bits", sixteen},
  };
  for (const Case& c : cases) EXPECT_EQ(Load(Save(c.bytes)), nullptr) << c.what;

  const std::string path = Save(good);
  EXPECT_EQ(LoadImageA(0, path.c_str(), 1 /*IMAGE_ICON*/, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(0, path.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr) << "no resources here";
  EXPECT_EQ(LoadImageA(0, (dir_ + "/none.bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(Load(path, 1 << 20, 1 << 20), nullptr) << "a stretch beyond the pixel limit";
  HBITMAP ok = Load(path);
  EXPECT_NE(ok, nullptr) << "the file the damaged ones came from loads";
  DeleteObject(ok);
}

}  // namespace
