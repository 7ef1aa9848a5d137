// Saving through the per-format records, and thumbnails, end to end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/formats/tests/test_support.h"
#include "imagelib/tests/picture_helpers.h"
#include "lorimer/ImageInterface.h"

using namespace lorimer::testing;

namespace {

TEST(Saving, BmpRecordWritesTheCurrentPage) {
  if (Im().empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  CImageInterface img;
  ASSERT_TRUE(img.Load(ThreePageTiff().c_str(), 0));
  _SAVEIMAGEINFO::_BMP r{};
  r.page = 1;
  r.depth = 24;
  std::string out = TempDir() + "/page1.bmp";
  ASSERT_TRUE(img.Save(out.c_str(), &r));
  EXPECT_EQ(img.GetPageCount(), 1);
  EXPECT_EQ(img.GetWidth(0), 20);
  EXPECT_EQ(img.GetColorDepth(), 24);
  auto back = ImageMagickDecode(out);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->width, 20);
  EXPECT_EQ(back->at(3, 3), (Rgb{0, 128, 0}));
}

TEST(Saving, DepthRulesPerRecord) {
  if (Im().empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  std::string identify = FindTool("identify-im6.q16");
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(16, 8)));
  _SAVEIMAGEINFO::_GIF gif{};
  gif.depth = 1;
  std::string g1 = TempDir() + "/d1.gif";
  ASSERT_TRUE(img.Save(g1.c_str(), &gif));
  EXPECT_EQ(img.GetColorDepth(), 4);  // 1 is raised to 4
  for (int depth : {5, 6, 7, 24}) {  // depths between the palette sizes take 256 colours
    ASSERT_TRUE(img.InitFromHBITMAP(Picture(16, 8)));
    gif.depth = depth;
    std::string out = TempDir() + "/d" + std::to_string(depth) + ".gif";
    ASSERT_TRUE(img.Save(out.c_str(), &gif)) << depth;
    EXPECT_EQ(img.GetColorDepth(), 8) << depth;
    CImageInterface back;
    ASSERT_TRUE(back.Load(out.c_str(), 0)) << depth;
    EXPECT_EQ(back.GetColorDepth(), 8) << depth;
  }

  ASSERT_TRUE(img.InitFromHBITMAP(Picture(16, 8)));
  _SAVEIMAGEINFO::_JPG jpg{};
  jpg.depth = 8;
  jpg.quality = 90;
  std::string j8 = TempDir() + "/gray.jpg";
  ASSERT_TRUE(img.Save(j8.c_str(), &jpg));
  CImageInterface check;
  ASSERT_TRUE(check.Load(j8.c_str(), 0));
  EXPECT_EQ(check.GetSourceInfo().bGray, 1u);
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(16, 8)));
  jpg.depth = 30;
  ASSERT_TRUE(img.Save((TempDir() + "/colour.jpg").c_str(), &jpg));
  EXPECT_EQ(img.GetColorDepth(), 24);

  ASSERT_TRUE(img.InitFromHBITMAP(Picture(16, 8)));
  _SAVEIMAGEINFO::_TIF tif{};
  tif.depth = 24;
  tif.colour = 1;
  tif.compression = 4;
  tif.fillOrder = 1;
  std::strcpy(tif.artist, "A. Painter");
  std::strcpy(tif.copyright, "(c) Velmark");
  std::string t = TempDir() + "/fax.tif";
  ASSERT_TRUE(img.Save(t.c_str(), &tif));
  EXPECT_EQ(tif.depth, 1);
  EXPECT_EQ(tif.colour, 1);
  EXPECT_EQ(img.GetColorDepth(), 1);
  std::string tiffinfo = FindTool("tiffinfo");
  if (!tiffinfo.empty()) {
    std::string info = TempDir() + "/fax.txt";
    ASSERT_TRUE(lorimer::testing::Run("(" + tiffinfo + " '" + t + "' > '" + info + "')"));
    auto bytes = ReadFile(info);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("CCITT Group 3"), std::string::npos) << text;
    EXPECT_NE(text.find("A. Painter"), std::string::npos) << text;
    EXPECT_NE(text.find("(c) Velmark"), std::string::npos) << text;
  }
}

TEST(Saving, AppendMakesMultiPageFiles) {
  std::string identify = FindTool("identify-im6.q16");
  if (identify.empty()) GTEST_SKIP() << "ImageMagick (identify-im6.q16) is not installed";
  std::string tif = TempDir() + "/multi.tif", dcx = TempDir() + "/multi.dcx", gif = TempDir() + "/multi.gif";
  for (int i = 0; i < 3; ++i) {
    CImageInterface img;
    ASSERT_TRUE(img.InitFromHBITMAP(Picture(12 + i, 6)));
    _SAVEIMAGEINFO::_TIF t{};
    t.depth = 24;
    t.colour = 1;
    t.fillOrder = 1;
    t.append = i > 0;
    ASSERT_TRUE(img.Save(tif.c_str(), &t));
    ASSERT_TRUE(img.InitFromHBITMAP(Picture(12 + i, 6)));
    _SAVEIMAGEINFO::_DCX d{};
    d.depth = 24;
    d.append = i > 0;
    ASSERT_TRUE(img.Save(dcx.c_str(), &d));
    ASSERT_TRUE(img.InitFromHBITMAP(Picture(12 + i, 6)));
    _SAVEIMAGEINFO::_GIF g{};
    g.depth = 8;
    g.append = i > 0;
    ASSERT_TRUE(img.Save(gif.c_str(), &g));
  }
  for (const std::string& f : {tif, dcx, gif}) {
    CImageInterface back;
    ASSERT_TRUE(back.Load(f.c_str(), 0)) << f;
    EXPECT_EQ(back.GetPageCount(), 3) << f;
    std::string out = f + ".n";
    ASSERT_TRUE(lorimer::testing::Run("(" + identify + " -format '%n\\n' '" + f + "' | head -1 > '" + out + "')"));
    auto bytes = ReadFile(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "3\n") << f;
  }
}

TEST(Saving, CropOfALaterPage) {
  if (Im().empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  CImageInterface img;
  ASSERT_TRUE(img.Load(ThreePageTiff().c_str(), 0));
  _SAVEIMAGEINFO::_PNG r{};
  r.page = 2;
  r.depth = 24;
  r.filter = 7;
  r.crop = RECT{2, 1, 12, 4};
  std::string out = TempDir() + "/crop.png";
  ASSERT_TRUE(img.Save(out.c_str(), &r));
  EXPECT_EQ(img.GetPageCount(), 1);
  EXPECT_EQ(img.GetWidth(0), 10);
  EXPECT_EQ(img.GetHeight(0), 3);
  auto back = ImageMagickDecode(out);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->width, 10);
  EXPECT_EQ(back->at(9, 2), (Rgb{0, 0, 255}));
}

TEST(Saving, OptionTextsReachTheFile) {
  std::string tiffinfo = FindTool("tiffinfo");
  std::string python = FindTool("python3");
  if (tiffinfo.empty() || python.empty()) GTEST_SKIP() << "tiffinfo or python3 is not installed";
  // Appending a 1-bit page marks it as a page of a multi-page document; an 8-bit one not.
  std::string tif = TempDir() + "/subfile.tif";
  for (int depth : {1, 1, 8}) {
    CImageInterface img;
    ASSERT_TRUE(img.InitFromHBITMAP(Picture(8, 4)));
    _SAVEIMAGEINFO::_TIF t{};
    t.depth = depth;
    t.colour = 1;
    t.fillOrder = 1;
    t.append = 1;
    ASSERT_TRUE(img.Save(tif.c_str(), &t));
  }
  std::string info = TempDir() + "/subfile.txt";
  ASSERT_TRUE(lorimer::testing::Run("(" + tiffinfo + " '" + tif + "' > '" + info + "')"));
  auto bytes = ReadFile(info);
  std::string text(bytes.begin(), bytes.end());
  size_t pages = 0, multi = 0;
  for (size_t at = text.find("TIFF Directory"); at != std::string::npos; at = text.find("TIFF Directory", at + 1)) {
    ++pages;
    size_t next = text.find("TIFF Directory", at + 1);
    size_t sub = text.find("multi-page", at);
    if (sub != std::string::npos && sub < next) ++multi;
  }
  EXPECT_EQ(pages, 3u);
  EXPECT_EQ(multi, 2u) << text;  // both 1-bit pages were saved with append on; the 8-bit one is not marked

  // A PNG filter number outside 1..4 writes unfiltered rows.
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(8, 4)));
  _SAVEIMAGEINFO::_PNG p{};
  p.depth = 24;
  p.filter = 7;
  std::string png = TempDir() + "/unfiltered.png";
  ASSERT_TRUE(img.Save(png.c_str(), &p));
  std::string script = TempDir() + "/filters.py";
  std::string body =
      "import sys,zlib,struct\nd=open(sys.argv[1],'rb').read()\ni=8\nidat=b''\n"
      "while i<len(d):\n n=struct.unpack('>I',d[i:i+4])[0]\n t=d[i+4:i+8]\n"
      " if t==b'IDAT': idat+=d[i+8:i+8+n]\n i+=12+n\n"
      "raw=zlib.decompress(idat)\nstride=1+8*3\nprint(''.join(str(raw[r*stride]) for r in range(4)))\n";
  WriteTempFile("filters.py", std::vector<std::uint8_t>(body.begin(), body.end()));
  std::string out = TempDir() + "/filters.txt";
  ASSERT_TRUE(lorimer::testing::Run("(" + python + " '" + script + "' '" + png + "' > '" + out + "')"));
  bytes = ReadFile(out);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0000\n");
}

TEST(Saving, WriteJpegChangesDepthAndWrites) {
  HIMG image = CImageMan::InitImageFromHBITMAP(Picture(10, 6));
  ASSERT_NE(image, nullptr);
  int page = 0;
  std::string out = TempDir() + "/direct.jpg";
  ASSERT_EQ(CIntelJPEG::WriteJPEG(out.c_str(), &image, 150, 8, 0, page), 1);
  CImageInterface back;
  ASSERT_TRUE(back.Load(out.c_str(), 0));
  EXPECT_EQ(back.GetSourceInfo().bGray, 1u);
  EXPECT_EQ(back.GetWidth(0), 10);
  CImageMan::CloseHandle(&image);
  EXPECT_EQ(CIntelJPEG::WriteJPEG(out.c_str(), &image, 75, 24, 0, page), 0);
}

TEST(Saving, TargaThroughTheTargaLibrary) {
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(9, 5)));
  _SAVEIMAGEINFO::_TGA r{};
  r.depth = 24;
  std::string out = TempDir() + "/picture.tga";
  ASSERT_TRUE(img.Save(out.c_str(), &r));
  CImageInterface back;
  ASSERT_TRUE(back.Load(out.c_str(), 0));
  EXPECT_EQ(back.GetWidth(0), 9);
  EXPECT_EQ(At(back.GetHBITMAP(1, 0), 8, 4), RGB(0, 0, 255));
  EXPECT_EQ(At(back.GetHBITMAP(1, 0), 0, 0), RGB(0, 255, 0));
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(9, 5)));
  r.gray = 1;
  ASSERT_TRUE(img.Save(out.c_str(), &r));
  ASSERT_TRUE(back.Load(out.c_str(), 0));
  EXPECT_EQ(back.GetColorDepth(), 8);
}

TEST(Thumbnails, SizesBorderAndFailures) {
  CImageInterface img;
  ASSERT_TRUE(img.InitFromHBITMAP(Picture(1000, 500)));
  std::string out = TempDir() + "/thumb.bmp";
  std::vector<char> path(out.begin(), out.end());
  path.push_back('\0');
  int w = -1, h = -1;
  ASSERT_TRUE(img.CreateThumbnailFilePath(100, 100, path.data(), QUALITY_HIGH, 0, 0xFFFFFF, 0, 24, &w, &h, 0));
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
  EXPECT_EQ(img.GetWidth(0), 1000);  // the held image is unchanged
  HBITMAP framed = img.CreateThumbnailHBITMAPEx(100, 100, QUALITY_HIGH, 1, 0xFFFFFF, 0, 24, &w, &h, 0);
  ASSERT_NE(framed, nullptr);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
  EXPECT_EQ(At(framed, 0, 10), GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(At(framed, 99, 10), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(At(framed, 10, 49), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(At(framed, 10, 10), RGB(255, 0, 0));
  DeleteObject(framed);

  CImageInterface small;
  ASSERT_TRUE(small.InitFromHBITMAP(Picture(20, 10)));
  ASSERT_TRUE(small.CreateThumbnailFilePath(100, 100, path.data(), QUALITY(7), 0, 0xFFFFFF, 0, -1, &w, &h, 0));
  EXPECT_EQ(w, 100);  // enlarged to touch the box
  EXPECT_EQ(h, 50);
  std::string none = TempDir() + "/none.bmp";
  std::vector<char> nonePath(none.begin(), none.end());
  nonePath.push_back('\0');
  EXPECT_FALSE(small.CreateThumbnailFilePath(0, 100, nonePath.data(), QUALITY_HIGH, 0, 0xFFFFFF, 0, 24, &w, &h, 0));
  EXPECT_EQ(w, 0);
  EXPECT_TRUE(ReadFile(none).empty());
  char temp[MAX_PATH];
  ASSERT_TRUE(small.CreateThumbnailFileEx(50, 50, temp, QUALITY_COPY, 0, 0xFFFFFF, 0, 8, &w, &h, 0));
  EXPECT_NE(std::string(temp).find("lrmr_"), std::string::npos);
  CImageInterface back;
  ASSERT_TRUE(back.Load(temp, 0));
  EXPECT_EQ(back.GetColorDepth(), 8);
  std::remove(temp);
}

}  // namespace
