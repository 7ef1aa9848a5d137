// CMetaFile: reading WMF and EMF files, the picture's size, fitting and the
// helper-program conventions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "imagelib/core/Common.h"
#include "lorimer/MetaFile.h"
#include "platform/base/file.h"

namespace {

// A WMF (without placeable header) drawing one rectangle from (0, 0) to (right, bottom).
std::vector<BYTE> RectangleWmf(int right, int bottom, WORD type = 1) {
  std::vector<WORD> words = {type, 9, 0x0300, 0, 0, 0, 0, 0, 0};
  const std::vector<WORD> rect = {7, 0, 0x041B, static_cast<WORD>(bottom), static_cast<WORD>(right), 0, 0};
  const std::vector<WORD> eof = {3, 0, 0};
  words.insert(words.end(), rect.begin(), rect.end());
  words.insert(words.end(), eof.begin(), eof.end());
  const DWORD size = static_cast<DWORD>(words.size());
  words[3] = static_cast<WORD>(size & 0xFFFF);
  words[4] = static_cast<WORD>(size >> 16);
  words[6] = 7;  // largest record
  std::vector<BYTE> bytes(words.size() * 2);
  std::memcpy(bytes.data(), words.data(), bytes.size());
  return bytes;
}

std::vector<BYTE> WithPlaceable(const std::vector<BYTE>& wmf, short left, short top, short right, short bottom) {
  METAFILEHEADER_PLACEABLE p{};
  p.key = kPlaceableKey;
  p.left = left;
  p.top = top;
  p.right = right;
  p.bottom = bottom;
  p.inch = 1440;
  const WORD* w = reinterpret_cast<const WORD*>(&p);
  for (int i = 0; i < 10; ++i) p.checksum ^= w[i];
  std::vector<BYTE> out(sizeof(p));
  std::memcpy(out.data(), &p, sizeof(p));
  out.insert(out.end(), wmf.begin(), wmf.end());
  return out;
}

TEST(MetaFileFit, ProportionalFitCentresTheNarrowSide) {
  RECT r{0, 0, 200, 100};
  SIZE s{50, 50};
  CMetaFile::FitPicture(r, s, MA_PROPORTIONAL);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.right, 150);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.bottom, 100);

  r = RECT{10, 10, 110, 310};  // tall: the height shrinks instead
  CMetaFile::FitPicture(r, s, MA_PROPORTIONAL);
  EXPECT_EQ(r.top, 110);
  EXPECT_EQ(r.bottom, 210);
}

TEST(MetaFileFit, GridPositionsStretchAndUnknown) {
  SIZE s{40, 20};
  RECT r{0, 0, 100, 100};
  CMetaFile::FitPicture(r, s, MA_TOPLEFT);
  EXPECT_EQ(r.right, 40);
  EXPECT_EQ(r.bottom, 20);
  r = RECT{0, 0, 100, 100};
  CMetaFile::FitPicture(r, s, MA_CENTER);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  r = RECT{0, 0, 100, 100};
  CMetaFile::FitPicture(r, s, MA_BOTTOMRIGHT);
  EXPECT_EQ(r.left, 60);
  EXPECT_EQ(r.top, 80);
  // A picture larger than the rectangle is clipped to it.
  SIZE big{300, 300};
  r = RECT{0, 0, 100, 100};
  CMetaFile::FitPicture(r, big, MA_TOPLEFT);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 100);
  for (int a : {10, 0, 12}) {
    r = RECT{5, 6, 7, 8};
    CMetaFile::FitPicture(r, s, static_cast<METAALIGNMENT>(a));
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.bottom, 8);
  }
}

TEST(MetaFileRead, HeaderTypeThreeIsRejected) {
  const auto bytes = RectangleWmf(10, 10, 3);
  CMemFile file(bytes.data(), bytes.size());
  EXPECT_FALSE(CMetaFile::IsMetafile(&file));
  CMetaFile mf;
  EXPECT_EQ(mf.Read(&file), 0);
  EXPECT_TRUE(mf.IsEmpty());

  const auto good = RectangleWmf(10, 10, 2);
  CMemFile ok(good.data(), good.size());
  EXPECT_TRUE(CMetaFile::IsMetafile(&ok));
  const auto placed = WithPlaceable(good, 0, 0, 10, 10);
  CMemFile okPlaced(placed.data(), placed.size());
  EXPECT_TRUE(CMetaFile::IsMetafile(&okPlaced));
  const std::vector<BYTE> tiny(3, 0);
  CMemFile short3(tiny.data(), tiny.size());
  EXPECT_FALSE(CMetaFile::IsMetafile(&short3));
  EXPECT_EQ(mf.Read(&short3), 0);
}

TEST(MetaFileRead, PlaceableBoxGivesTheWidthWhenNothingElseDoes) {
  // Bounds from 0 to 400 vertically, a box of 2000 x 1000 units: 800 wide.
  const auto bytes = WithPlaceable(RectangleWmf(100, 400), 0, 0, 2000, 1000);
  CMemFile file(bytes.data(), bytes.size());
  CMetaFile mf;
  ASSERT_EQ(mf.Read(&file), 1);
  EXPECT_EQ(mf.Placeable().right, 2000);
  mf.FeelEMFHeder(nullptr, 1);
  EXPECT_EQ(mf.Header().rclBounds.bottom, 400);
  EXPECT_EQ(mf.Header().rclBounds.left, 0);
  EXPECT_EQ(mf.Header().rclBounds.right, 800);
  _SRCIMAGEINFO info{};
  HMETAFILE wmf = mf.GetHandle(&info);
  ASSERT_NE(wmf, nullptr);
  EXPECT_EQ(info.nWidth, 800);
  EXPECT_EQ(info.nHeight, 400);
  EXPECT_EQ(info.nColorDepth, 0);
  DeleteMetaFile(wmf);

  // Without the WMF flag the box is not consulted.
  CMemFile again(bytes.data(), bytes.size());
  CMetaFile plain;
  ASSERT_EQ(plain.Read(&again), 1);
  plain.FeelEMFHeder(nullptr, 0);
  EXPECT_NE(plain.Header().rclBounds.right, 800);
}

TEST(MetaFileHandles, InitFromHwmfTakesTheHandleAndCopiesAreSeparate) {
  const auto bytes = RectangleWmf(50, 30);
  HMETAFILE wmf = SetMetaFileBitsEx(static_cast<UINT>(bytes.size()), bytes.data());
  ASSERT_NE(wmf, nullptr);
  CMetaFile mf;
  EXPECT_EQ(mf.InitFromHWMF(wmf, 0, 0), 1);
  EXPECT_EQ(GetMetaFileBitsEx(wmf, 0, nullptr), 0u);  // deleted
  EXPECT_EQ(mf.InitFromHWMF(nullptr, 0, 0), 0);
  EXPECT_FALSE(mf.IsEmpty());

  CMetaFile copy(mf);
  ASSERT_FALSE(copy.IsEmpty());
  EXPECT_NE(copy.Handle(), mf.Handle());
  mf.Clear();
  EXPECT_GT(GetEnhMetaFileBits(copy.Handle(), 0, nullptr), 0u);  // still alive
}

TEST(MetaFileHandles, BitmapRecordedAtItsScreenSize) {
  HBITMAP bmp = Common::CreateEmptyDIBSection(40, 30, RGB(255, 0, 0), 0);
  CMetaFile mf;
  ASSERT_EQ(mf.InitFromHBMP(bmp, 0), 1);
  HDC dc = CreateCompatibleDC(nullptr);
  const RECT frame = mf.GetFrameRect();
  EXPECT_EQ(frame.right, GetDeviceCaps(dc, HORZSIZE) * 40 * 100 / GetDeviceCaps(dc, HORZRES));
  EXPECT_EQ(frame.bottom, 30 * GetDeviceCaps(dc, VERTSIZE) * 100 / GetDeviceCaps(dc, VERTRES));
  DeleteDC(dc);
  // Written and read back as an enhanced metafile.
  char dir[] = "/tmp/lorimer-mf-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/picture.emf";
  ASSERT_EQ(mf.Write(path.c_str()), 1);
  CMetaFile back;
  ASSERT_EQ(back.Read(path.c_str()), 1);
  EXPECT_EQ(back.GetFrameRect().right, frame.right);
  DeleteObject(bmp);
  std::remove(path.c_str());
  rmdir(dir);
  EXPECT_EQ(mf.InitFromHBMP(nullptr, 0), 0);
}

TEST(MetaFileTemporaries, NamesAndWideStrings) {
  char* path = CMetaFile::GetTempWMFPath();
  ASSERT_NE(path, nullptr);
  const std::string name = path;
  delete[] path;
  EXPECT_NE(name.find("lrmr_"), std::string::npos);
  EXPECT_EQ(name.substr(name.size() - 4), ".wmf");
  EXPECT_NE(access(name.c_str(), F_OK), 0);  // a name, no file
  // The file GetTempFileNameA made for it is gone too.
  EXPECT_NE(access(name.substr(0, name.size() - 4).c_str(), F_OK), 0);

  char text[] = "a\xe9 b";
  unsigned short* wide = CMetaFile::Char2BSTR(text);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[0], 'a');
  EXPECT_EQ(wide[1], 0xE9);
  EXPECT_EQ(wide[3], 'b');
  EXPECT_EQ(wide[4], 0);
  delete[] wide;
}

TEST(MetaFileHelpers, ProbeOfSomethingElseAnswersZeroAndLeavesNoFiles) {
  if (lorimer::HelperPath("wmfprobe").empty()) GTEST_SKIP() << "wmfprobe is not built next to the tests";
  char dir[] = "/tmp/lorimer-probe-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const char* previous = std::getenv("TMPDIR");
  const std::string saved = previous ? previous : "";
  setenv("TMPDIR", dir, 1);
  const std::string junk = std::string(dir) + "/note with space.txt";
  FILE* f = std::fopen(junk.c_str(), "w");
  std::fputs("not a metafile", f);
  std::fclose(f);
  const METAFILEINFO info = CMetaFile::_GETWMFINFO_Proc(junk.c_str());
  EXPECT_EQ(info.width, 0);
  EXPECT_EQ(info.height, 0);
  int leftovers = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d)) leftovers += std::strncmp(e->d_name, "lrmr_", 5) == 0;
    closedir(d);
  }
  EXPECT_EQ(leftovers, 0);
  std::remove(junk.c_str());
  rmdir(dir);
  if (previous)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace
