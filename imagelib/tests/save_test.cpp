// Saving through the per-format records, and thumbnails, end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "imagelib/core/Thumbnails.h"
#include "imagelib/formats/jpeg_decode.h"
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
  for (int depth : {5, 6, 7, 24}) {   // depths between the palette sizes take 256 colours
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
  tif.compression = _SAVEIMAGEINFO::_TIF::COMPRESS_GROUP3;
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

// A photo-like w x h JPEG at quality 90: smooth shading, fine grain and hard edges.
std::string PhotoJpeg(int w, int h) {
  HBITMAP bmp = Common::CreateEmptyDIBSection(w, h, 0, 0);
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bmp, &v)) return "";
  unsigned noise = 7;
  auto clamp = [](double c) { return static_cast<BYTE>(std::min(255.0, std::max(0.0, c))); };
  for (int y = 0; y < h; ++y) {
    BYTE* p = v.row(y);
    for (int x = 0; x < w; ++x, p += 3) {
      noise = noise * 1103515245u + 12345u;
      const int grain = static_cast<int>((noise >> 16) & 15) - 8;
      p[2] = clamp(128 + 90 * std::sin(x * 0.013) * std::cos(y * 0.009) + grain);
      p[1] = clamp(x * 200.0 / w + 30 + grain);
      p[0] = clamp(((x / 150 + y / 110) % 2 ? 200 : 60) + grain);
    }
  }
  CImageInterface img;
  if (!img.InitFromHBITMAP(bmp)) return "";
  _SAVEIMAGEINFO::_JPG record{};
  record.depth = 24;
  record.quality = 90;
  std::string path = TempDir() + "/photo-" + std::to_string(w) + "x" + std::to_string(h) + ".jpg";
  return img.Save(path.c_str(), &record) ? path : "";
}

struct Thumb {
  int ok = 0, width = 0, height = 0;
  std::optional<RgbImage> pixels;
};

// The BMP thumbnail of a file the way every caller made it so far: the whole picture loaded.
Thumb WholeThumb(const std::string& in, int box, int border) {
  Thumb t;
  std::string out = TempDir() + "/whole.bmp";
  CImageInterface img;
  t.ok = img.Load(in.c_str(), 1) && img.CreateThumbnailFilePath(box, box, out.data(), QUALITY_HIGH, border, 0xFFFFFF, 0,
                                                                24, &t.width, &t.height, 0);
  if (t.ok) t.pixels = DecodeWith(lorimer::formats::kBmpFormat, out);
  return t;
}

Thumb SourceThumb(const std::string& in, int box, int border) {
  Thumb t;
  std::string out = TempDir() + "/source.bmp";
  CThumbnailSource source;
  t.ok = source.Load(in.c_str(), box, box) && source.CreateThumbnailFilePath(box, box, out.data(), QUALITY_HIGH, border,
                                                                             0xFFFFFF, 0, 24, &t.width, &t.height, 0);
  if (t.ok) t.pixels = DecodeWith(lorimer::formats::kBmpFormat, out);
  return t;
}

double MeanDifference(const RgbImage& a, const RgbImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    sum += std::abs(a.pixels[i].r - b.pixels[i].r) + std::abs(a.pixels[i].g - b.pixels[i].g) +
           std::abs(a.pixels[i].b - b.pixels[i].b);
  return sum / (3.0 * static_cast<double>(a.pixels.size()));
}

TEST(Thumbnails, JpegDecodedAtTheScaleTheThumbnailNeeds) {
  // Decoded sides (rounded up) must stay at least twice the thumbnail's.
  const struct {
    int width, height, targetWidth, targetHeight, shrink;
  } shrinks[] = {
      {4000, 3000, 256, 192, 4},  // 1/8 gives 500 x 375, less than 512 x 384
      {4096, 3072, 256, 192, 8},  // exactly twice
      {4089, 3065, 256, 192, 8},  // 512 x 384 after rounding up
      {4088, 3072, 256, 192, 4}, {3000, 4000, 192, 256, 4}, {4000, 3000, 1000, 750, 2}, {4000, 3000, 1001, 750, 1},
      {8000, 1000, 256, 32, 8},  {600, 400, 256, 170, 1},   {20, 10, 100, 50, 1},  // enlarged
      {4000, 3000, 0, 0, 1},     {0, 0, 256, 256, 1},
  };
  for (const auto& c : shrinks)
    EXPECT_EQ(lorimer::formats::JpegShrinkFor(c.width, c.height, c.targetWidth, c.targetHeight), c.shrink)
        << c.width << "x" << c.height << " for " << c.targetWidth << "x" << c.targetHeight;

  // The loader fits the picture into the box first; the record keeps the file's size.
  const std::string photo = PhotoJpeg(1600, 1200);
  ASSERT_FALSE(photo.empty());
  const struct {
    int box, width, height;
  } loads[] = {{0, 1600, 1200}, {100, 200, 150}, {256, 800, 600}, {400, 800, 600}, {401, 1600, 1200}};
  for (const auto& c : loads) {
    CIntelJPEGKeeper::Result r;
    HBITMAP bitmap = CIntelJPEGKeeper::Read(photo.c_str(), &r, c.box, c.box);
    vel::gdi::BitmapView v;
    ASSERT_TRUE(bitmap && vel::gdi::GetBitmapView(bitmap, &v)) << c.box;
    EXPECT_EQ(v.width, c.width) << c.box;
    EXPECT_EQ(v.height, c.height) << c.box;
    EXPECT_EQ(r.width, 1600) << c.box;
    EXPECT_EQ(r.height, 1200) << c.box;
    DeleteObject(bitmap);
  }
}

TEST(Thumbnails, FromAJpegFileLikeFromTheWholePicture) {
  // Fitting 1202 x 901 by the size of its reduced decode would be a pixel off:
  // 256 x 192 instead of 256 x 191, 128 x 96 instead of 128 x 95, 100 x 75 instead of 100 x 74.
  const std::string photo = PhotoJpeg(1202, 901);
  ASSERT_FALSE(photo.empty());
  for (int box : {256, 128, 100, 64}) {
    for (int border : {0, 1}) {
      const Thumb whole = WholeThumb(photo, box, border), reduced = SourceThumb(photo, box, border);
      ASSERT_TRUE(whole.ok && reduced.ok && whole.pixels && reduced.pixels) << box << " " << border;
      EXPECT_EQ(reduced.width, whole.width) << box << " " << border;
      EXPECT_EQ(reduced.height, whole.height) << box << " " << border;
      ASSERT_GE(MaxDifference(*reduced.pixels, *whole.pixels), 0) << box << " " << border;  // same size
      // 0.8 to 2.6 levels on average here, where the decode keeps 2.4 to 3 times the
      // thumbnail's size (about 0.2 for 12-megapixel photos at 256 x 256); a shifted,
      // cropped or miscoloured decode is off by tens.
      EXPECT_LT(MeanDifference(*reduced.pixels, *whole.pixels), 3.0) << box << " " << border;
      if (border) {
        EXPECT_EQ(reduced.pixels->at(0, 5), whole.pixels->at(0, 5));
        EXPECT_EQ(reduced.pixels->at(reduced.width - 1, 5), whole.pixels->at(whole.width - 1, 5));
      }
    }
  }
}

TEST(Thumbnails, FromBrokenOrForeignFilesLikeFromTheWholePicture) {
  if (Im().empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const std::string photo = PhotoJpeg(1202, 901);
  ASSERT_FALSE(photo.empty());
  const std::vector<std::uint8_t> bytes = ReadFile(photo);
  std::vector<std::string> files;
  for (size_t length : {size_t{3}, size_t{300}, bytes.size() / 3, bytes.size() * 2 / 3}) {
    std::string name = "cut" + std::to_string(length) + ".jpg";
    files.push_back(WriteTempFile(name, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length)));
  }
  const std::string png = TempDir() + "/png-inside.jpg";
  ASSERT_TRUE(lorimer::testing::Run(Im() + " -size 300x200 gradient:red-blue 'png:" + png + "'"));
  files.push_back(png);
  files.push_back(TempDir() + "/missing.jpg");
  for (const std::string& file : files) {
    const Thumb whole = WholeThumb(file, 100, 0), reduced = SourceThumb(file, 100, 0);
    EXPECT_EQ(reduced.ok, whole.ok) << file;
    EXPECT_EQ(reduced.width, whole.width) << file;
    EXPECT_EQ(reduced.height, whole.height) << file;
    // A cut stream decodes as far as it goes at either scale, the rest gray.
    if (whole.pixels && reduced.pixels && MaxDifference(*reduced.pixels, *whole.pixels) >= 0) {
      EXPECT_LT(MeanDifference(*reduced.pixels, *whole.pixels), 3.0) << file;
    }
  }
}

}  // namespace
