// CDib: reading, writing and painting BMP data.
#include <gtest/gtest.h>

#include <cstring>

#include "imagelib/core/Common.h"
#include "imagelib/formats/bmp.h"
#include "imagelib/formats/tests/test_support.h"
#include "lorimer/Dib.h"

using namespace lorimer::testing;

namespace {

std::vector<std::uint8_t> FileHeaderAnd(const std::vector<std::uint8_t>& info, const std::vector<std::uint8_t>& bits) {
  std::vector<std::uint8_t> f(14);
  f[0] = 'B';
  f[1] = 'M';
  std::uint32_t size = static_cast<std::uint32_t>(14 + info.size() + bits.size());
  std::uint32_t off = static_cast<std::uint32_t>(14 + info.size());
  std::memcpy(&f[2], &size, 4);
  std::memcpy(&f[10], &off, 4);
  f.insert(f.end(), info.begin(), info.end());
  f.insert(f.end(), bits.begin(), bits.end());
  return f;
}

std::vector<std::uint8_t> InfoHeader(int w, int h, int bits, std::uint32_t compression, std::uint32_t used) {
  BITMAPINFOHEADER hdr{40, w, h, 1, static_cast<WORD>(bits), compression, 0, 0, 0, used, 0};
  std::vector<std::uint8_t> v(40);
  std::memcpy(v.data(), &hdr, 40);
  return v;
}

DWORD ReadBytes(CDib& dib, const std::vector<std::uint8_t>& bytes) {
  CMemFile mem(bytes.data(), bytes.size());
  return dib.Read(mem);
}

TEST(DibRead, RejectsShortAndWrongMagic) {
  CDib dib;
  EXPECT_EQ(ReadBytes(dib, std::vector<std::uint8_t>(13, 'B')), 0u);
  EXPECT_FALSE(dib.IsValid());
  auto good = FileHeaderAnd(InfoHeader(1, 1, 24, BI_RGB, 0), std::vector<std::uint8_t>(4, 0));
  auto swapped = good;
  swapped[0] = 'M';
  swapped[1] = 'B';
  EXPECT_EQ(ReadBytes(dib, swapped), 0u);
  EXPECT_FALSE(dib.IsValid());
  EXPECT_EQ(ReadBytes(dib, good), good.size());
  EXPECT_TRUE(dib.IsValid());
  // A bits offset past the end of the file.
  auto pastEnd = good;
  std::uint32_t off = 1000;
  std::memcpy(&pastEnd[10], &off, 4);
  EXPECT_EQ(ReadBytes(dib, pastEnd), 0u);
  EXPECT_FALSE(dib.IsValid());
}

TEST(DibRead, FourBitWithoutUsedColoursHasSixteen) {
  auto info = InfoHeader(2, 1, 4, BI_RGB, 0);
  info.resize(40 + 64, 0);
  auto file = FileHeaderAnd(info, std::vector<std::uint8_t>(4, 0x12));
  CDib dib;
  ASSERT_GT(ReadBytes(dib, file), 0u);
  EXPECT_EQ(dib.NumColors(), 16);
  EXPECT_EQ(dib.PaletteSize(), 64);
  EXPECT_NE(dib.GetPalette(), nullptr);
  EXPECT_EQ(dib.Width(), 2u);
  EXPECT_EQ(dib.NumBits(), 4);
}

TEST(DibSave, TwentyFourBitThreeByTwo) {
  auto file = FileHeaderAnd(InfoHeader(3, 2, 24, BI_RGB, 0), std::vector<std::uint8_t>(24, 7));
  CDib dib;
  ASSERT_GT(ReadBytes(dib, file), 0u);
  CMemFile out;
  EXPECT_EQ(dib.Save(out), 78u);
  ASSERT_EQ(out.GetLength(), 78u);
  BITMAPINFOHEADER h;
  std::memcpy(&h, out.Data() + 14, 40);
  EXPECT_EQ(h.biSizeImage, 24u);
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, out.Data(), 14);
  // Packed members: copy them out before comparing.
  DWORD offBits = fh.bfOffBits, fileSize = fh.bfSize;
  EXPECT_EQ(offBits, 54u);
  EXPECT_EQ(fileSize, 78u);
  CDib empty;
  EXPECT_EQ(empty.Save(out), 0u);
}

TEST(DibSave, HandleRoundTripAndCopiesShare) {
  auto info = InfoHeader(2, 2, 8, BI_RGB, 2);
  const std::uint8_t table[8] = {0, 0, 255, 0, 255, 0, 0, 0};  // red, blue
  info.insert(info.end(), table, table + 8);
  auto file = FileHeaderAnd(info, {0, 1, 0, 0, 1, 0, 0, 0});
  CDib dib;
  ASSERT_GT(ReadBytes(dib, file), 0u);
  HGLOBAL block = dib.CopyToHandle();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 14u + 40 + 8 + 8);
  CDib back;
  EXPECT_GT(back.ReadFromHandle(block), 0u);
  GlobalFree(block);
  EXPECT_EQ(back.NumColors(), 2);
  {
    CDib copy(back);
    CDib assigned;
    assigned = copy;
    EXPECT_EQ(assigned.GetBits(), back.GetBits());
  }
  // The blocks survive the copies.
  EXPECT_EQ(back.GetBits()[1], 1);
  // Bit-field DIBs keep their masks when saved.
  BITMAPINFOHEADER bf{40, 1, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> bfi(40 + 12);
  std::memcpy(bfi.data(), &bf, 40);
  const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
  std::memcpy(bfi.data() + 40, masks, 12);
  CDib fields;
  ASSERT_GT(ReadBytes(fields, FileHeaderAnd(bfi, {0x00, 0xF8, 0, 0})), 0u);
  CMemFile out;
  ASSERT_EQ(fields.Save(out), 14u + 40 + 12 + 4);
  DWORD saved[3];
  std::memcpy(saved, out.Data() + 54, 12);
  EXPECT_EQ(saved[0], 0xF800u);
}

TEST(DibSave, BitFieldsWithLongHeaderWriteMasksThenTheColoursHeld) {
  // A 108-byte header: masks at byte 40 inside it, the colours after it.
  struct Case {
    DWORD used;
    DWORD saved;  // 0: the colours claimed are not in the header block
  } cases[] = {{0, 14 + 40 + 12 + 4}, {2, 14 + 40 + 12 + 8 + 4}, {0x3FF, 0}, {0xFFFF, 0}};
  for (const Case& c : cases) {
    BITMAPINFOHEADER bf{108, 1, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, c.used, 0};
    std::vector<std::uint8_t> info(108 + (c.used == 2 ? 8 : 0), 0xAB);
    std::memcpy(info.data(), &bf, 40);
    CDib dib;
    ASSERT_GT(ReadBytes(dib, FileHeaderAnd(info, {1, 2, 3, 4})), 0u);
    CMemFile out;
    EXPECT_EQ(dib.Save(out), c.saved) << c.used;
    if (!c.saved) continue;
    ASSERT_EQ(out.GetLength(), c.saved);
    DWORD offBits;
    std::memcpy(&offBits, out.Data() + 10, 4);
    EXPECT_EQ(offBits, c.saved - 4);
    EXPECT_EQ(out.Data()[54], 0xAB);
    EXPECT_EQ(out.Data()[c.saved - 1], 4);
  }
}

TEST(DibSave, HeaderClaimingMoreRowsThanHeldWritesNothing) {
  // Width and height far beyond the 8 bytes of bits that follow.
  auto file = FileHeaderAnd(InfoHeader(0x7FFFFF00, -0x10000000, 24, BI_RGB, 0), std::vector<std::uint8_t>(8, 1));
  CDib dib;
  ASSERT_GT(ReadBytes(dib, file), 0u);
  CMemFile out;
  EXPECT_EQ(dib.Save(out), 0u);
  EXPECT_EQ(out.GetLength(), 0u);
  EXPECT_EQ(dib.CopyToHandle(), nullptr);
  _SRCIMAGEINFO info;
  EXPECT_EQ(dib.GetImgHandle(&info), nullptr);
}

TEST(DibPaint, CopyAndStretchPaths) {
  // 2 x 2, 24-bit, bottom-up: top row red, green; bottom row blue, white.
  std::vector<std::uint8_t> bits = {255, 0, 0,   255, 255, 255, 0, 0,   // bottom row + padding
                                    0,   0, 255, 0,   255, 0,   0, 0};  // top row + padding
  auto file = FileHeaderAnd(InfoHeader(2, 2, 24, BI_RGB, 0), bits);
  CDib dib;
  ASSERT_GT(ReadBytes(dib, file), 0u);
  HBITMAP canvas = Common::CreateEmptyDIBSection(4, 4, RGB(0, 0, 0), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  // Same size: a copy; the source's bottom row (y = 1 from the top) lands at (0, 0).
  RECT dest{0, 0, 2, 1};
  RECT src{0, 1, 2, 2};
  EXPECT_GT(dib.Paint(dc, &dest, &src), 0);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  // Different size: a stretch of the whole picture.
  RECT big{0, 0, 4, 4};
  RECT all{0, 0, 2, 2};
  EXPECT_GT(dib.Paint(dc, &big, &all), 0);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 3, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(255, 255, 255));
  EXPECT_EQ(GetStretchBltMode(dc), COLORONCOLOR);
  SelectObject(dc, old);
  DeleteDC(dc);

  _SRCIMAGEINFO info;
  HBITMAP section = dib.GetImgHandle(&info);
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(info.nWidth, 2);
  EXPECT_EQ(info.nColorDepth, 24);
  EXPECT_EQ(info.bGray, 0u);
  DeleteObject(section);
  DeleteObject(canvas);
  CDib none;
  EXPECT_EQ(none.Paint(nullptr, &dest, &src), 0);
}

TEST(DibRead, FromBitmapAndTopDownFiles) {
  HBITMAP bmp = Common::CreateEmptyDIBSection(3, 2, RGB(1, 2, 3), 0);
  CDib dib;
  EXPECT_EQ(dib.ReadFromHBITMAP(bmp), 2);
  EXPECT_EQ(dib.Width(), 3u);
  EXPECT_EQ(dib.GetBits()[0], 3);  // blue first
  DeleteObject(bmp);
  EXPECT_EQ(dib.ReadFromHBITMAP(nullptr), 0);

  // A top-down 2 x 2 file paints upright.
  std::vector<std::uint8_t> bits = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0};
  auto file = FileHeaderAnd(InfoHeader(2, -2, 24, BI_RGB, 0), bits);
  CMemFile mem(file.data(), file.size());
  _SRCIMAGEINFO info;
  HBITMAP section = dib.ReadImage(mem, &info);
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(info.nHeight, 2);
  EXPECT_FALSE(dib.IsValid());  // ReadImage frees the DIB afterwards
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, section);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(section);
}

}  // namespace

namespace {

TEST(DibRead, SmallestNegativeHeightIsRefusedWithoutOverflow) {
  // A top-down height of INT32_MIN has no positive twin; the header is unusable.
  auto bytes = FileHeaderAnd(InfoHeader(70, INT32_MIN, 24, BI_RGB, 0), std::vector<std::uint8_t>(64, 0x7F));
  CDib dib;
  ReadBytes(dib, bytes);
  _SRCIMAGEINFO info{};
  EXPECT_EQ(dib.GetImgHandle(&info), nullptr);
  EXPECT_EQ(info.nHeight, INT32_MAX);
}

TEST(DibRead, HugePictureOfADepthWeCannotDrawIsRefusedBeforeAllocating) {
  // Depth 0 (embedded JPEG or PNG) has no row size: half a gigapixel from 64 bytes
  // must not reach the allocator.
  auto bytes = FileHeaderAnd(InfoHeader(70, 7667758, 0, BI_RGB, 0), std::vector<std::uint8_t>(64, 0x7F));
  CDib dib;
  ReadBytes(dib, bytes);
  EXPECT_EQ(dib.GetImgHandle(nullptr), nullptr);
  const struct {
    int width, height, bits;
    bool plausible;
  } cases[] = {{70, 7667758, 0, false}, {70, 7667758, 24, false}, {70, 40, 0, true}, {5000, 5000, 15, false}};
  for (const auto& c : cases) {
    BITMAPINFOHEADER h{40, c.width, c.height, 1, static_cast<WORD>(c.bits), BI_RGB, 0, 0, 0, 0, 0};
    EXPECT_EQ(lorimer::formats::PlausibleBmpSize(h, 64), c.plausible) << c.width << "x" << c.height << "x" << c.bits;
  }
}

}  // namespace
