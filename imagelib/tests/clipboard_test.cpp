// The image object on the clipboard: pictures and drawings out, pictures and
// metafiles in, and clipboard contents that are not what they claim.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagelib/tests/picture_helpers.h"
#include "lorimer/ImageInterface.h"
#include "platform/shell/clipboard.h"

namespace {

using lorimer::testing::At;
using lorimer::testing::Picture;

class ImageClipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lorimer-clip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("VELMARK_CLIPBOARD_DIR", (dir_ + "/clip").c_str(), 1);
  }
  void TearDown() override {
    CloseClipboard();
    unsetenv("VELMARK_CLIPBOARD_DIR");
    lorimer::testing::Run("rm -rf '" + dir_ + "'");
  }
  // Replaces the clipboard by exactly these items.
  void Offer(const std::vector<std::pair<UINT, std::vector<BYTE>>>& items) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    for (const auto& [format, bytes] : items) {
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
      if (!bytes.empty())
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
      else
        GlobalLock(block);
      GlobalUnlock(block);
      ASSERT_NE(SetClipboardData(format, block), nullptr);
    }
    ASSERT_TRUE(CloseClipboard());
  }
  std::vector<BYTE> Held(UINT format) {
    std::vector<BYTE> bytes;
    if (!OpenClipboard(nullptr)) return bytes;
    if (auto* block = static_cast<HGLOBAL>(GetClipboardData(format))) {
      const auto* p = static_cast<const BYTE*>(GlobalLock(block));
      bytes.assign(p, p + GlobalSize(block));
      GlobalUnlock(block);
    }
    CloseClipboard();
    return bytes;
  }
  std::vector<BYTE> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
  }
  // A drawing: a 40 x 30 picture recorded into an EMF and loaded back.
  void LoadDrawing(CImageInterface& image, std::vector<BYTE>* emf) {
    CImageInterface raster;
    ASSERT_TRUE(raster.InitFromHBITMAP(Picture(40, 30)));
    _SAVEIMAGEINFO::_EMF r{};
    const std::string path = dir_ + "/d.emf";
    ASSERT_TRUE(raster.Save(path.c_str(), &r));
    ASSERT_TRUE(image.Load(path.c_str(), 0));
    ASSERT_TRUE(image.IsVectorImage());
    if (emf) *emf = FileBytes(path);
  }
  static BITMAPINFOHEADER HeaderOf(const std::vector<BYTE>& dib) {
    BITMAPINFOHEADER h{};
    if (dib.size() >= sizeof h) std::memcpy(&h, dib.data(), sizeof h);
    return h;
  }
  static void ExpectPicture(CImageInterface& image) {
    ASSERT_EQ(image.GetWidth(0), 40);
    ASSERT_EQ(image.GetHeight(0), 30);
    HBITMAP pixels = image.GetHBITMAP(1, 0);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(At(pixels, 0, 0), RGB(0, 255, 0));
    EXPECT_EQ(At(pixels, 5, 10), RGB(255, 0, 0));
    EXPECT_EQ(At(pixels, 35, 29), RGB(0, 0, 255));
    DeleteObject(pixels);
  }
  std::string dir_;
};

TEST_F(ImageClipboard, APageGoesOutAsA24BitDibAndPastesBackAsTheSamePicture) {
  CImageInterface image;
  ASSERT_TRUE(image.InitFromHBITMAP(Picture(40, 30)));
  ASSERT_TRUE(image.SetColorDepth(8, 0));  // a palette page still travels as 24 bits
  ASSERT_EQ(image.GetColorDepth(), 8);
  EXPECT_EQ(image.IsClipboardImageAccess(), 0);
  ASSERT_EQ(image.CopyToClipboard(0), 1);
  EXPECT_EQ(image.GetColorDepth(), 8);  // the held image is left as it was
  EXPECT_EQ(image.IsClipboardImageAccess(), 1);
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
  const BITMAPINFOHEADER h = HeaderOf(Held(CF_DIB));
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biWidth, 40);
  EXPECT_EQ(h.biHeight, 30);

  CImageInterface pasted;
  ASSERT_EQ(pasted.PasteFromClipboard(), 1);
  EXPECT_FALSE(pasted.IsVectorImage());
  EXPECT_EQ(pasted.GetPageCount(), 1);
  EXPECT_STREQ(pasted.GetSourceInfo().szPath, "");
  EXPECT_EQ(pasted.GetSourceInfo().nWidth, 40);
  EXPECT_EQ(pasted.GetSourceInfo().nColorDepth, 24);
  ExpectPicture(pasted);
}

TEST_F(ImageClipboard, ADrawingGoesOutAsBothMetafilesAndAPicture) {
  CImageInterface drawing;
  std::vector<BYTE> emf;
  LoadDrawing(drawing, &emf);
  ASSERT_EQ(drawing.CopyToClipboard(0), 1);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_METAFILEPICT));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_EQ(HeaderOf(Held(CF_DIB)).biWidth, 40);

  // The metafile picture carries the drawing's size in 0.01 mm at the screen's resolution.
  const std::vector<BYTE> pict = Held(CF_METAFILEPICT);
  ASSERT_GT(pict.size(), sizeof(ClipboardMetafilePict));
  ClipboardMetafilePict head;
  std::memcpy(&head, pict.data(), sizeof head);
  const int dpi = vel::gdi::GetScreenMetrics().dpiX;
  EXPECT_EQ(head.mm, MM_ANISOTROPIC);
  EXPECT_EQ(head.xExt, 40 * 2540 / dpi);
  EXPECT_EQ(head.yExt, 30 * 2540 / dpi);

  // The picture is taken before the metafiles.
  CImageInterface pasted;
  ASSERT_EQ(pasted.PasteFromClipboard(), 1);
  EXPECT_FALSE(pasted.IsVectorImage());
  ExpectPicture(pasted);
}

TEST_F(ImageClipboard, MetafilesAloneComeBackAsDrawings) {
  CImageInterface drawing;
  std::vector<BYTE> emf;
  LoadDrawing(drawing, &emf);
  ASSERT_EQ(drawing.CopyToClipboard(0), 1);
  const std::vector<BYTE> pict = Held(CF_METAFILEPICT);

  Offer({{CF_ENHMETAFILE, emf}});
  CImageInterface fromEmf;
  EXPECT_EQ(fromEmf.IsClipboardImageAccess(), 0);  // an enhanced metafile alone is not offered as an image
  ASSERT_EQ(fromEmf.PasteFromClipboard(), 1);
  EXPECT_TRUE(fromEmf.IsVectorImage());
  ExpectPicture(fromEmf);

  Offer({{CF_METAFILEPICT, pict}});
  CImageInterface fromPict;
  EXPECT_EQ(fromPict.IsClipboardImageAccess(), 1);
  ASSERT_EQ(fromPict.PasteFromClipboard(), 1);
  EXPECT_TRUE(fromPict.IsVectorImage());
  ExpectPicture(fromPict);
}

TEST_F(ImageClipboard, NothingUsableOnTheClipboardLeavesNoImage) {
  CImageInterface image;
  ASSERT_TRUE(image.InitFromHBITMAP(Picture(4, 4)));
  Offer({});
  EXPECT_EQ(image.PasteFromClipboard(), 0);
  EXPECT_EQ(image.IsLoaded(), 0);  // the held image was closed first

  // A header claiming 30000 x 30000 pixels over a few bytes, and one with no rows at all.
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = 30000;
  h.biHeight = 30000;
  h.biPlanes = 1;
  h.biBitCount = 24;
  std::vector<BYTE> huge(sizeof h + 100, 0);
  std::memcpy(huge.data(), &h, sizeof h);
  h.biWidth = h.biHeight = 2;
  std::vector<BYTE> cut(sizeof h, 0);
  std::memcpy(cut.data(), &h, sizeof h);
  std::vector<BYTE> rle = huge;
  reinterpret_cast<BITMAPINFOHEADER*>(rle.data())->biCompression = BI_RLE8;
  reinterpret_cast<BITMAPINFOHEADER*>(rle.data())->biBitCount = 8;
  const std::vector<std::vector<std::pair<UINT, std::vector<BYTE>>>> cases = {
      {{CF_DIB, huge}},
      {{CF_DIB, cut}},
      {{CF_DIB, rle}},
      {{CF_DIB, {1, 2, 3}}},
      {{CF_ENHMETAFILE, std::vector<BYTE>(200, 0x41)}},
      {{CF_METAFILEPICT, {8, 0, 0, 0}}},
      {{CF_METAFILEPICT, std::vector<BYTE>(64, 0xFF)}}};
  for (const auto& items : cases) {
    Offer(items);
    CImageInterface pasted;
    EXPECT_EQ(pasted.PasteFromClipboard(), 0) << "format " << items[0].first << ", " << items[0].second.size();
    EXPECT_EQ(pasted.IsLoaded(), 0);
  }
}

TEST_F(ImageClipboard, CopyingFailsCleanlyWithoutImageOrWhileTheClipboardIsBusy) {
  Offer({{CF_DIB, {}}});
  CImageInterface none;
  EXPECT_EQ(none.CopyToClipboard(0), 0);

  CImageInterface image;
  ASSERT_TRUE(image.InitFromHBITMAP(Picture(6, 5)));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_EQ(image.CopyToClipboard(0), 0);
  ASSERT_TRUE(CloseClipboard());
  EXPECT_EQ(image.CopyToClipboard(7), 0);  // no such page
  ASSERT_EQ(image.CopyToClipboard(0), 1);
  EXPECT_EQ(HeaderOf(Held(CF_DIB)).biWidth, 6);
}

}  // namespace
