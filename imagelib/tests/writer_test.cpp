// The codec's write operation: option texts as the save path builds them, every format
// name, overwrite and append rules, and that failures leave existing files untouched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "imagelib/codec/writer.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

using namespace lorimer::testing;
using lorimer::codec::ParseWriteOptions;
using lorimer::formats::WriteOptions;

namespace {

namespace fs = std::filesystem;

std::vector<RGBQUAD> Palette(int bits) {
  if (bits == 1) return {{0, 0, 0, 0}, {255, 255, 255, 0}};  // fax formats keep only black and white
  std::vector<RGBQUAD> p;
  for (int i = 0; i < (1 << bits); ++i)
    p.push_back({static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 97 % 256), static_cast<BYTE>(40 + i * 53 % 200), 0});
  return p;
}

// An image made in memory of one page; closed by the caller with fnImgClose.
HIMG MakeImage(int bits, int w = 23, int h = 17, int seed = 0) {
  HBITMAP bmp = lorimer::formats::NewPageBitmap(w, h, bits, bits == 24 ? std::vector<RGBQUAD>{} : Palette(bits));
  vel::gdi::BitmapView v;
  if (!bmp || !vel::gdi::GetBitmapView(bmp, &v)) return nullptr;
  for (int y = 0; y < h; ++y) {
    BYTE* row = v.row(y);
    for (int x = 0; x < w; ++x) {
      const int i = (x * 3 + y * 5 + seed) % (bits == 24 ? 256 : 1 << bits);
      if (bits == 24) {
        row[x * 3] = static_cast<BYTE>(i);
        row[x * 3 + 1] = static_cast<BYTE>(x * 9);
        row[x * 3 + 2] = static_cast<BYTE>(y * 11 + seed);
      } else if (bits == 8) {
        row[x] = static_cast<BYTE>(i);
      } else if (bits == 4) {
        row[x / 2] |= static_cast<BYTE>(i << ((x & 1) ? 0 : 4));
      } else {
        row[x / 8] |= static_cast<BYTE>(i << (7 - x % 8));
      }
    }
  }
  return fnImgFromDIBSection(bmp);
}

// A fresh folder per test, so leftovers of one test cannot hide those of another.
std::string Folder(const std::string& name) {
  const std::string dir = TempDir() + "/writer-" + name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int WriteWith(const std::string& path, const char* format, HIMG image, const char* text, int flags = 2) {
  void* block = fnImgXOptBlkCreate(text);
  EXPECT_NE(block, nullptr);
  const int result = fnImgXWriteImage(path.c_str(), format, image, block, nullptr, flags);
  EXPECT_EQ(fnImgXOptBlkDel(block), 1);
  return result;
}

int PagesOf(const std::string& path) {
  HIMG image = fnImgOpenSolo(path.c_str(), nullptr);
  if (!image) return -1;
  int count = -1;
  if (!fnImgPageCount(image, &count)) count = -1;
  fnImgClose(image);
  return count;
}

TEST(WriterOptions, TheSavePathTexts) {
  WriteOptions o = ParseWriteOptions("LOSSY_QUALITY = 85\rOVERWRITE = ON");
  EXPECT_EQ(o.quality, 85);
  EXPECT_TRUE(o.overwrite);
  EXPECT_FALSE(o.append);

  o = ParseWriteOptions("APPEND = ON\rOVERWRITE = ON\rGIF_INTERLACE = ON");
  EXPECT_TRUE(o.append);
  EXPECT_TRUE(o.overwrite);
  EXPECT_TRUE(o.interlace);
  o = ParseWriteOptions("APPEND = OFF\rOVERWRITE = ON\rGIF_INTERLACE = OFF");
  EXPECT_FALSE(o.append);
  EXPECT_FALSE(o.interlace);

  o = ParseWriteOptions("OVERWRITE = ON\rPNG_FILTER = PAETH\rPNG_COMPRESS = MAXIMUM");
  EXPECT_EQ(o.pngFilter, "PAETH");
  EXPECT_TRUE(o.pngMaxCompress);
  o = ParseWriteOptions("OVERWRITE = ON\rPNG_FILTER = UP");
  EXPECT_EQ(o.pngFilter, "UP");
  EXPECT_FALSE(o.pngMaxCompress);

  o = ParseWriteOptions(
      "APPEND = ON\rOVERWRITE = ON\rCOMPRESS = ON\rTIFF_ROWSPERSTRIP = 8192\rTIFF_COMPRESS = GROUP4\r"
      "TIFF_FILLORDER = 2\rTIFF_NEWSUBFILETYPE = 2\rTIFF_ARTIST = Jo Quill\rTIFF_COPYRIGHT = (c) Quill = Co");
  EXPECT_TRUE(o.append);
  EXPECT_TRUE(o.overwrite);
  EXPECT_TRUE(o.compress);
  EXPECT_EQ(o.rowsPerStrip, 8192);
  EXPECT_EQ(o.tiffCompress, "GROUP4");
  EXPECT_EQ(o.fillOrder, 2);
  EXPECT_EQ(o.newSubfileType, 2);
  EXPECT_EQ(o.artist, "Jo Quill");
  EXPECT_EQ(o.copyright, "(c) Quill = Co");  // only the first '=' separates

  // Records carry fill order 0 and empty texts when nothing was chosen.
  o = ParseWriteOptions(
      "APPEND = OFF\rOVERWRITE = ON\rCOMPRESS = OFF\rTIFF_ROWSPERSTRIP = 8192\rTIFF_FILLORDER = 0\r"
      "TIFF_NEWSUBFILETYPE = 0\rTIFF_ARTIST = \rTIFF_COPYRIGHT = ");
  EXPECT_FALSE(o.compress);
  EXPECT_EQ(o.tiffCompress, "");
  EXPECT_EQ(o.fillOrder, 1);
  EXPECT_EQ(o.artist, "");
  EXPECT_EQ(o.copyright, "");
}

TEST(WriterOptions, ToleratesSpellingAndIgnoresNoise) {
  WriteOptions o =
      ParseWriteOptions("overwrite=on\nappend =On\r\n  gif_interlace   =   oN  \r\rNONSENSE = 3\rno equals");
  EXPECT_TRUE(o.overwrite);
  EXPECT_TRUE(o.append);
  EXPECT_TRUE(o.interlace);
  o = ParseWriteOptions("OVERWRITE = MAYBE\rLOSSY_QUALITY = lots\rTIFF_ROWSPERSTRIP = -4");
  EXPECT_FALSE(o.overwrite);
  EXPECT_EQ(o.quality, 75);
  EXPECT_EQ(o.rowsPerStrip, 0);
  EXPECT_EQ(ParseWriteOptions("LOSSY_QUALITY = 0").quality, 1);
  EXPECT_EQ(ParseWriteOptions("LOSSY_QUALITY = 250").quality, 100);
  EXPECT_EQ(ParseWriteOptions("png_filter = paeth").pngFilter, "PAETH");
  o = ParseWriteOptions(nullptr);
  EXPECT_FALSE(o.overwrite);
  EXPECT_FALSE(o.append);
  EXPECT_EQ(o.quality, 75);
}

TEST(WriterOptions, BlocksCarryTheirText) {
  void* block = fnImgXOptBlkCreate("TIFF_ARTIST = Someone\rOVERWRITE = ON");
  ASSERT_NE(block, nullptr);
  const WriteOptions* o = lorimer::codec::OptionsOfBlock(block);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->artist, "Someone");
  EXPECT_TRUE(o->overwrite);
  EXPECT_EQ(fnImgXOptBlkDel(block), 1);
  EXPECT_EQ(fnImgXOptBlkDel(nullptr), 0);
  void* defaults = fnImgXOptBlkCreate(nullptr);
  ASSERT_NE(defaults, nullptr);
  EXPECT_FALSE(lorimer::codec::OptionsOfBlock(defaults)->overwrite);
  EXPECT_EQ(fnImgXOptBlkDel(defaults), 1);
}

TEST(WriterWrite, EveryFormatNameWritesAReadableFile) {
  const std::string dir = Folder("formats");
  const struct {
    const char* format;
    int bits;
    const char* text;
  } cases[] = {{"BMP", 24, "OVERWRITE = ON"},
               {"PCX", 8, "OVERWRITE = ON"},
               {"FMF", 1, "OVERWRITE = ON"},  // fax pages are bilevel
               {"JPG", 24, "LOSSY_QUALITY = 90\rOVERWRITE = ON"},
               {"GIF", 8, "APPEND = OFF\rOVERWRITE = ON\rGIF_INTERLACE = ON"},
               {"DCX", 8, "APPEND = OFF\rOVERWRITE = ON"},
               {"PNG", 4, "OVERWRITE = ON\rPNG_FILTER = SUB\rPNG_COMPRESS = MAXIMUM"},
               {"TIF", 1,
                "APPEND = OFF\rOVERWRITE = ON\rCOMPRESS = ON\rTIFF_ROWSPERSTRIP = 8192\rTIFF_COMPRESS = GROUP4\r"
                "TIFF_FILLORDER = 0\rTIFF_NEWSUBFILETYPE = 0\rTIFF_ARTIST = \rTIFF_COPYRIGHT = "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    HIMG image = MakeImage(c.bits);
    ASSERT_NE(image, nullptr);
    const std::string path = dir + "/out." + c.format;
    EXPECT_EQ(WriteWith(path, c.format, image, c.text, std::string(c.format) == "TIF" ? 6 : 2), 1);
    EXPECT_EQ(PagesOf(path), 1);
    HIMG back = fnImgOpenSolo(path.c_str(), nullptr);
    ASSERT_NE(back, nullptr);
    const auto want = BitmapToRgb(fnImgGetHBitmap(image));
    const auto got = BitmapToRgb(fnImgGetHBitmap(back));
    ASSERT_TRUE(want && got);
    const int diff = MaxDifference(*got, *want);
    EXPECT_GE(diff, 0);
    EXPECT_LE(diff, std::string(c.format) == "JPG" ? 40 : 0);
    fnImgClose(back);
    fnImgClose(image);
  }
  // Nothing but the written files remains in the folder.
  EXPECT_EQ(Entries(dir).size(), std::size(cases));
  HIMG image = MakeImage(8);
  EXPECT_EQ(WriteWith(dir + "/out.xyz", "XYZ", image, "OVERWRITE = ON"), 0);
  EXPECT_EQ(fnImgXWriteImage((dir + "/null.png").c_str(), "PNG", nullptr, nullptr, nullptr, 2), 0);
  EXPECT_EQ(fnImgXWriteImage(nullptr, "PNG", image, nullptr, nullptr, 2), 0);
  EXPECT_EQ(fnImgXWriteImage((dir + "/null.png").c_str(), nullptr, image, nullptr, nullptr, 2), 0);
  EXPECT_EQ(WriteWith(dir, "PNG", image, "OVERWRITE = ON"), 0);  // a folder is not replaced
  fnImgClose(image);
  EXPECT_EQ(Entries(dir).size(), std::size(cases));
}

TEST(WriterWrite, OverwriteOffRefusesAnExistingFile) {
  const std::string dir = Folder("overwrite");
  const std::string path = dir + "/a.png";
  HIMG first = MakeImage(24, 10, 10, 1);
  HIMG second = MakeImage(24, 12, 9, 2);
  EXPECT_EQ(WriteWith(path, "PNG", first, "PNG_FILTER = NONE"), 1);  // no file yet: overwrite not needed
  const auto before = ReadFile(path);
  EXPECT_EQ(WriteWith(path, "PNG", second, "OVERWRITE = OFF"), 0);
  EXPECT_EQ(WriteWith(path, "PNG", second, nullptr), 0);
  EXPECT_EQ(fnImgXWriteImage(path.c_str(), "PNG", second, nullptr, nullptr, 2), 0);
  // Append means nothing to PNG, so it does not excuse replacing the file either.
  EXPECT_EQ(WriteWith(path, "PNG", second, "APPEND = ON"), 0);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(WriteWith(path, "PNG", second, "OVERWRITE = ON"), 1);
  const auto got = DecodeWith(lorimer::formats::kPngFormat, path);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->width, 12);
  EXPECT_EQ(got->height, 9);
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"a.png"});
  fnImgClose(first);
  fnImgClose(second);
}

TEST(WriterWrite, AppendingBuildsMultiPageFiles) {
  const std::string dir = Folder("append");
  const std::string identify = FindTool("identify-im6.q16");
  for (const char* format : {"GIF", "TIF", "DCX"}) {
    SCOPED_TRACE(format);
    const std::string path = dir + "/pages." + format;
    for (int i = 0; i < 3; ++i) {
      HIMG image = MakeImage(8, 20 + i * 5, 15 + i, i);
      ASSERT_NE(image, nullptr);
      // Append with no file yet makes a new one; later pages join it.
      EXPECT_EQ(WriteWith(path, format, image, "APPEND = ON\rOVERWRITE = ON\rGIF_INTERLACE = OFF"), 1);
      EXPECT_EQ(PagesOf(path), i + 1);
      fnImgClose(image);
    }
    if (!identify.empty() && std::string(format) != "DCX") {
      Shell(identify + " -format '%n\\n' '" + path + "' | head -1 > '" + dir + "/count' 2>/dev/null");
      const auto count = ReadFile(dir + "/count");
      EXPECT_EQ(std::string(count.begin(), count.end()), "3\n");
      fs::remove(dir + "/count");
    }
  }
  // An empty file holds no pages: appending to it gives a file of one page.
  {
    std::FILE* f = std::fopen((dir + "/empty.gif").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    HIMG image = MakeImage(4);
    EXPECT_EQ(WriteWith(dir + "/empty.gif", "GIF", image, "APPEND = ON\rOVERWRITE = ON"), 1);
    EXPECT_EQ(PagesOf(dir + "/empty.gif"), 1);
    fnImgClose(image);
  }
  // Without append the file starts again from one page.
  HIMG image = MakeImage(8);
  EXPECT_EQ(WriteWith(dir + "/pages.TIF", "TIF", image, "APPEND = OFF\rOVERWRITE = ON"), 1);
  EXPECT_EQ(PagesOf(dir + "/pages.TIF"), 1);
  fnImgClose(image);
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{"empty.gif", "pages.DCX", "pages.GIF", "pages.TIF"}));
}

TEST(WriterWrite, AFailedWriteLeavesTheOldFileAlone) {
  const std::string dir = Folder("failure");
  const std::string path = dir + "/doc.tif";
  HIMG page = MakeImage(8);
  ASSERT_EQ(WriteWith(path, "TIF", page, "OVERWRITE = ON\rTIFF_COMPRESS = LZW"), 1);
  ::chmod(path.c_str(), 0640);
  const auto before = ReadFile(path);
  // Fax coding is for bilevel pages only: the writer fails, plain and appending.
  EXPECT_EQ(WriteWith(path, "TIF", page, "OVERWRITE = ON\rCOMPRESS = ON\rTIFF_COMPRESS = GROUP4", 6), 0);
  EXPECT_EQ(WriteWith(path, "TIF", page, "APPEND = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP4", 6), 0);
  // Appending to something that is not a TIFF fails too, and leaves it as it was.
  const std::string text = dir + "/notes.tif";
  {
    std::vector<std::uint8_t> words = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    std::FILE* f = std::fopen(text.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(words.data(), 1, words.size(), f);
    std::fclose(f);
  }
  EXPECT_EQ(WriteWith(text, "TIF", page, "APPEND = ON\rOVERWRITE = ON"), 0);
  EXPECT_EQ(ReadFile(text).size(), 13u);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{"doc.tif", "notes.tif"}));
  // A successful replacement keeps the file's permissions.
  EXPECT_EQ(WriteWith(path, "TIF", page, "OVERWRITE = ON"), 1);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_NE(ReadFile(path), before);
  fnImgClose(page);
}

TEST(WriterWrite, PathLengthLimit) {
  const std::string dir = Folder("long");
  HIMG image = MakeImage(8);
  // "./" segments make paths of any length that still name a file in the folder.
  auto pathOfLength = [&](size_t length) {
    std::string p = dir + "/";
    const std::string name = "x.png";
    while (p.size() + name.size() + 2 <= length) p += "./";
    if (p.size() + name.size() < length) p += "/";
    return p + name;
  };
  const std::string atLimit = pathOfLength(kMaxImagePath);
  const std::string below = pathOfLength(kMaxImagePath - 1);
  ASSERT_EQ(atLimit.size(), kMaxImagePath);
  ASSERT_EQ(below.size(), kMaxImagePath - 1);
  EXPECT_EQ(WriteWith(atLimit, "PNG", image, "OVERWRITE = ON"), 0);
  EXPECT_TRUE(Entries(dir).empty());
  EXPECT_EQ(WriteWith(below, "PNG", image, "OVERWRITE = ON"), 1);
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"x.png"});
  fnImgClose(image);
}

}  // namespace
