// wmfwrap: BMP files become placeable WMFs our metafile layer accepts, with the
// bitmap carried unchanged in one META_STRETCHDIB record; broken BMPs are refused,
// by the library and by the program, without leaving a file behind.
#include "siblings/wmfwrap/wmfwrap_lib.h"

#include <gtest/gtest.h>

#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/placeable.h"
#include "siblings/marrow/tests/test_files.h"

namespace {

using namespace testfiles;
namespace wmf = vel::gdi::wmf;

struct Parsed {
  Bytes file;
  std::vector<wmf::Record> records;
};

// The records after the placeable header, checked by the metafile layer.
bool ParseWrapped(const Bytes& file, Parsed& out) {
  out.file = file;
  if (file.size() < 22 || Get32(file, 0) != 0x9AC6CDD7) return false;
  return wmf::ParseRecords(out.file.data() + 22, out.file.size() - 22, &out.records);
}

int Param(const wmf::Record& r, size_t i) {
  WORD v = 0;
  EXPECT_TRUE(r.param(i, v));
  return v;
}

TEST(WmfWrapLibrary, ThreeByTwoTrueColourBitmap) {
  const Bytes dib = PackedDib(3, 2, 24);
  const Bytes bmp = BmpFile(dib, 24);
  Bytes out;
  ASSERT_TRUE(wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), out));

  // Placeable header: box = pixel size, default inch, checksum over the ten words.
  EXPECT_EQ(GetS16(out, 6), 0);
  EXPECT_EQ(GetS16(out, 8), 0);
  EXPECT_EQ(GetS16(out, 10), 3);
  EXPECT_EQ(GetS16(out, 12), 2);
  EXPECT_EQ(Get16(out, 14), 96);
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= Get16(out, 2 * i);
  EXPECT_EQ(Get16(out, 20), sum);

  Parsed p;
  ASSERT_TRUE(ParseWrapped(out, p));
  ASSERT_EQ(p.records.size(), 5u);
  EXPECT_EQ(p.records[0].function, wmf::META_SETMAPMODE);
  EXPECT_EQ(Param(p.records[0], 0), MM_ANISOTROPIC);
  EXPECT_EQ(p.records[1].function, wmf::META_SETWINDOWORG);
  EXPECT_EQ(Param(p.records[1], 0), 0);
  EXPECT_EQ(Param(p.records[1], 1), 0);
  EXPECT_EQ(p.records[2].function, wmf::META_SETWINDOWEXT);
  EXPECT_EQ(Param(p.records[2], 0), 2);  // height first
  EXPECT_EQ(Param(p.records[2], 1), 3);
  const wmf::Record& blt = p.records[3];
  EXPECT_EQ(blt.function, wmf::META_STRETCHDIB);
  EXPECT_EQ(Param(blt, 0) | (Param(blt, 1) << 16), static_cast<int>(SRCCOPY));
  EXPECT_EQ(Param(blt, 2), 0);  // DIB_RGB_COLORS
  EXPECT_EQ(Param(blt, 3), 2);  // source height, width
  EXPECT_EQ(Param(blt, 4), 3);
  EXPECT_EQ(Param(blt, 7), 2);  // destination height, width
  EXPECT_EQ(Param(blt, 8), 3);
  EXPECT_EQ(Param(blt, 9), 0);
  EXPECT_EQ(Param(blt, 10), 0);
  ASSERT_GE(blt.size, 28 + dib.size());
  EXPECT_TRUE(std::equal(dib.begin(), dib.end(), blt.data + 28));
  EXPECT_EQ(p.records[4].function, wmf::META_EOF);

  // The METAHEADER's size is the whole metafile in words.
  EXPECT_EQ(Get32(out, 22 + 6) * 2, out.size() - 22);
}

TEST(WmfWrapLibrary, MetafileLayerAcceptsTheFile) {
  TempDir dir;
  const Bytes bmp = BmpFile(PackedDib(3, 2, 24), 24);
  Bytes out;
  ASSERT_TRUE(wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), out));
  WriteFile(dir.file("w.wmf"), out);
  HMETAFILE hmf = GetMetaFileA(dir.file("w.wmf").c_str());
  ASSERT_NE(hmf, nullptr);
  size_t stretch = 0;
  wmf::ForEachRecord(hmf, [&](const wmf::Record& r) {
    stretch += r.function == wmf::META_STRETCHDIB;
    return true;
  });
  EXPECT_EQ(stretch, 1u);
  const UINT size = GetMetaFileBitsEx(hmf, 0, nullptr);
  ASSERT_EQ(size, out.size() - 22);
  HENHMETAFILE emf = SetWinMetaFileBits(size, out.data() + 22, nullptr, nullptr);
  EXPECT_NE(emf, nullptr);
  DeleteEnhMetaFile(emf);
  DeleteMetaFile(hmf);
}

TEST(WmfWrapLibrary, ResolutionBecomesTheInch) {
  const Bytes bmp = BmpFile(PackedDib(30, 20, 24, -1, 5906), 24);  // 150 dpi
  Bytes out;
  ASSERT_TRUE(wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), out));
  EXPECT_EQ(Get16(out, 14), 150);
  EXPECT_EQ(GetS16(out, 10), 30);
  EXPECT_EQ(GetS16(out, 12), 20);
}

TEST(WmfWrapLibrary, GapBeforeTheBitsIsLeftOutAndPaletteKept) {
  const Bytes dib = PackedDib(5, 3, 8, 2);  // two palette entries
  const Bytes bmp = BmpFile(dib, 8, 10);
  wmf::BmpDib parsed;
  ASSERT_TRUE(wmf::ParseBmp(bmp.data(), bmp.size(), parsed));
  EXPECT_EQ(parsed.packed, dib);
  EXPECT_EQ(parsed.bitCount, 8);
  EXPECT_EQ(parsed.width, 5);
  EXPECT_EQ(parsed.height, 3);
}

TEST(WmfWrapLibrary, TopDownBitmapKeepsItsSign) {
  const Bytes dib = PackedDib(4, -3, 24);
  const Bytes bmp = BmpFile(dib, 24);
  wmf::BmpDib parsed;
  ASSERT_TRUE(wmf::ParseBmp(bmp.data(), bmp.size(), parsed));
  EXPECT_EQ(parsed.height, 3);
  EXPECT_EQ(parsed.packed, dib);
}

TEST(WmfWrapLibrary, BrokenFilesAreRefused) {
  const Bytes good = BmpFile(PackedDib(3, 2, 24), 24);
  auto with = [&](size_t at, std::vector<std::uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
    return b;
  };
  auto le32 = [](long long v) {
    Bytes b;
    Put32(b, v);
    return std::vector<std::uint8_t>(b.begin(), b.end());
  };
  const std::vector<std::pair<const char*, Bytes>> bad = {
      {"truncated bits", Bytes(good.begin(), good.end() - 1)},
      {"header only", Bytes(good.begin(), good.begin() + 54)},
      {"too short for a header", Bytes(good.begin(), good.begin() + 30)},
      {"empty", Bytes()},
      {"magic", with(0, {'B', 'A'})},
      {"core header", with(14, le32(12))},
      {"header past the end", with(14, le32(4000))},
      {"zero width", with(18, le32(0))},
      {"negative width", with(18, le32(-3))},
      {"zero height", with(22, le32(0))},
      {"too wide", with(18, le32(40000))},
      {"two planes", with(26, {2, 0})},
      {"seven bits", with(28, {7, 0})},
      {"unknown compression", with(30, le32(9))},
      {"bitfields at 24 bits", with(30, le32(3))},
      {"run-length without size", with(30, le32(1))},
      {"bits before the header ends", with(10, le32(40))},
      {"bits past the end", with(10, le32(static_cast<long long>(good.size()) + 1))},
  };
  for (const auto& [what, bytes] : bad) {
    Bytes out = {1, 2, 3};
    EXPECT_FALSE(wmf::BmpToPlaceableWmf(bytes.data(), bytes.size(), out)) << what;
    EXPECT_EQ(out, (Bytes{1, 2, 3})) << what;
  }
  // A palette larger than the bit count allows.
  const Bytes pal = BmpFile(PackedDib(2, 2, 1, 3), 1);
  Bytes out;
  EXPECT_FALSE(wmf::BmpToPlaceableWmf(pal.data(), pal.size(), out));
}

TEST(WmfWrapLibrary, ReplacingWriteLeavesOldFileWhenFolderIsMissing) {
  TempDir dir;
  EXPECT_FALSE(wmfwrap::WriteFileReplacing(dir.file("no/such/folder.wmf"), Bytes{1, 2}));
  EXPECT_TRUE(wmfwrap::WriteFileReplacing(dir.file("a.wmf"), Bytes{1, 2}));
  EXPECT_TRUE(wmfwrap::WriteFileReplacing(dir.file("a.wmf"), Bytes{3}));
  EXPECT_EQ(ReadFile(dir.file("a.wmf")), Bytes{3});
  EXPECT_EQ(dir.entries(), 1u);  // no temporary left over
}

TEST(WmfWrapProgram, WrapsBetweenPathsWithSpaces) {
  TempDir dir;
  const Bytes bmp = BmpFile(PackedDib(3, 2, 24), 24);
  WriteFile(dir.file("in put.bmp"), bmp);
  EXPECT_EQ(RunProgram({WMFWRAP_PATH, dir.file("in put.bmp"), dir.file("out put.wmf")}), 0);
  Bytes expected;
  ASSERT_TRUE(wmf::BmpToPlaceableWmf(bmp.data(), bmp.size(), expected));
  EXPECT_EQ(ReadFile(dir.file("out put.wmf")), expected);
}

TEST(WmfWrapProgram, SinglePreQuotedArgumentWorks) {
  TempDir dir;
  WriteFile(dir.file("a.bmp"), BmpFile(PackedDib(3, 2, 24), 24));
  const std::string line = "\"" + dir.file("a.bmp") + "\" \"" + dir.file("b.wmf") + "\"";
  EXPECT_EQ(RunProgram({WMFWRAP_PATH, line}), 0);
  EXPECT_TRUE(Exists(dir.file("b.wmf")));
}

TEST(WmfWrapProgram, TruncatedBitmapLeavesNoOutput) {
  TempDir dir;
  const Bytes bmp = BmpFile(PackedDib(3, 2, 24), 24);
  WriteFile(dir.file("t.bmp"), Bytes(bmp.begin(), bmp.end() - 4));
  EXPECT_EQ(RunProgram({WMFWRAP_PATH, dir.file("t.bmp"), dir.file("t.wmf")}), 0);
  EXPECT_FALSE(Exists(dir.file("t.wmf")));
  EXPECT_EQ(dir.entries(), 1u);
}

TEST(WmfWrapProgram, BadCommandLinesEndQuietlyWithZero) {
  TempDir dir;
  WriteFile(dir.file("a.bmp"), BmpFile(PackedDib(3, 2, 24), 24));
  EXPECT_EQ(RunProgram({WMFWRAP_PATH}), 0);
  EXPECT_EQ(RunProgram({WMFWRAP_PATH, dir.file("a.bmp")}), 0);
  EXPECT_EQ(RunProgram({WMFWRAP_PATH, dir.file("missing.bmp"), dir.file("b.wmf")}), 0);
  const std::string longName = dir.file(std::string(260 - dir.path().size() - 1, 'w'));
  ASSERT_EQ(longName.size(), 260u);
  EXPECT_EQ(RunProgram({WMFWRAP_PATH, dir.file("a.bmp"), longName}), 0);
  EXPECT_EQ(dir.entries(), 1u);
}

}  // namespace
