// Font objects and text metrics. Runs without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/font.h"

namespace {

constexpr const char* kTahomaFile = "/usr/share/wine/fonts/tahoma.ttf";
constexpr const char* kLiberationSansFile = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

LOGFONTA MakeFont(const char* face, LONG height, LONG weight = FW_NORMAL, BYTE italic = 0) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return lf;
}

TEXTMETRICA Metrics(const LOGFONTA& lf) {
  TEXTMETRICA tm;
  EXPECT_TRUE(vel::gdi::GetFontMetrics(lf, &tm)) << lf.lfFaceName << " " << lf.lfHeight;
  return tm;
}

// The vertical metrics a TrueType file itself declares, read straight from its tables
// so the expectations come from the font and not from the code under test.
struct FileMetrics {
  int unitsPerEm = 0;
  int winAscent = 0;
  int winDescent = 0;
  bool ok = false;
};

FileMetrics ReadFileMetrics(const char* path) {
  FileMetrics m;
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u16 = [&](size_t o) { return o + 2 <= d.size() ? (d[o] << 8) | d[o + 1] : 0; };
  auto u32 = [&](size_t o) { return (static_cast<uint32_t>(u16(o)) << 16) | u16(o + 2); };
  if (d.size() < 12) return m;
  std::map<std::string, size_t> tables;
  for (int i = 0, n = u16(4); i < n && 12 + 16 * (i + 1) <= static_cast<int>(d.size()); ++i) {
    size_t rec = 12 + 16 * i;
    tables[std::string(reinterpret_cast<const char*>(&d[rec]), 4)] = u32(rec + 8);
  }
  if (!tables.count("head") || !tables.count("OS/2")) return m;
  m.unitsPerEm = u16(tables["head"] + 18);
  m.winAscent = u16(tables["OS/2"] + 74);
  m.winDescent = u16(tables["OS/2"] + 76);
  m.ok = m.unitsPerEm > 0 && m.winAscent > 0;
  return m;
}

// ---- font objects ---------------------------------------------------------------

TEST(FontObject, KeepsItsLogFont) {
  LOGFONTA lf = MakeFont("Tahoma", -37, FW_BOLD, 1);
  lf.lfQuality = PROOF_QUALITY;
  HFONT font = CreateFontIndirectA(&lf);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(GetObject(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTA)));
  LOGFONTA back;
  ASSERT_EQ(GetObject(font, sizeof back, &back), static_cast<int>(sizeof(LOGFONTA)));
  EXPECT_EQ(std::memcmp(&back, &lf, sizeof lf), 0);
  // Too small a buffer is refused, not overrun.
  char small[8] = {};
  EXPECT_EQ(GetObject(font, sizeof small, small), 0);
  EXPECT_TRUE(DeleteObject(font));
}

TEST(FontObject, CopiesAndTerminatesTheFace) {
  LOGFONTA lf;
  std::memset(lf.lfFaceName, 'x', LF_FACESIZE);  // no terminator at all
  HFONT font = CreateFontIndirectA(&lf);
  ASSERT_NE(font, nullptr);
  std::strcpy(lf.lfFaceName, "changed");  // the object keeps its own copy
  LOGFONTA back;
  ASSERT_GT(GetObject(font, sizeof back, &back), 0);
  EXPECT_EQ(std::string(back.lfFaceName), std::string(LF_FACESIZE - 1, 'x'));
  EXPECT_TRUE(DeleteObject(font));
}

TEST(FontObject, NullAndStaleHandlesFail) {
  EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
  LOGFONTA lf = MakeFont("Arial", 12);
  HFONT font = CreateFontIndirectA(&lf);
  ASSERT_TRUE(DeleteObject(font));
  EXPECT_FALSE(DeleteObject(font));
  EXPECT_EQ(GetObjectType(font), 0u);
  LOGFONTA back;
  EXPECT_EQ(GetObject(font, sizeof back, &back), 0);
}

TEST(FontObject, SelectReturnsPreviousAndPinsTheFont) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HGDIOBJ initial = GetCurrentObject(dc, OBJ_FONT);
  ASSERT_NE(initial, nullptr);  // a DC always has a font, as on Windows
  EXPECT_EQ(initial, GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetObjectType(initial), static_cast<DWORD>(OBJ_FONT));
  EXPECT_TRUE(DeleteObject(initial));  // stock: a no-op that reports success, like Windows
  EXPECT_EQ(GetObjectType(initial), static_cast<DWORD>(OBJ_FONT));

  LOGFONTA a = MakeFont("Tahoma", -20), b = MakeFont("Arial", 30);
  HFONT fa = CreateFontIndirectA(&a), fb = CreateFontIndirectA(&b);
  EXPECT_EQ(SelectObject(dc, fa), initial);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fa);
  EXPECT_FALSE(DeleteObject(fa));  // still selected
  EXPECT_EQ(SelectObject(dc, fb), fa);
  EXPECT_TRUE(DeleteObject(fa));             // free once deselected
  EXPECT_EQ(SelectObject(dc, fa), nullptr);  // a deleted font cannot be selected
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fb);
  EXPECT_EQ(SelectObject(dc, initial), fb);
  EXPECT_TRUE(DeleteObject(fb));
  EXPECT_TRUE(DeleteDC(dc));
}

TEST(FontObject, SaveAndRestoreBringTheFontBack) {
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTA a = MakeFont("Tahoma", -20), b = MakeFont("Arial", -40);
  HFONT fa = CreateFontIndirectA(&a), fb = CreateFontIndirectA(&b);
  SelectObject(dc, fa);
  int saved = SaveDC(dc);
  ASSERT_GT(saved, 0);
  SelectObject(dc, fb);
  EXPECT_FALSE(DeleteObject(fa));  // the saved state still refers to it
  ASSERT_TRUE(RestoreDC(dc, saved));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fa);
  EXPECT_TRUE(DeleteObject(fb));
  EXPECT_FALSE(DeleteObject(fa));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_TRUE(DeleteObject(fa));  // the DC let go of it
}

// ---- faces ------------------------------------------------------------------------

TEST(FontFaces, ArialIsLiberationSansAndEmptyIsArial) {
  EXPECT_EQ(vel::gdi::ResolveFace("Arial"), "Liberation Sans");
  EXPECT_EQ(vel::gdi::ResolveFace(""), vel::gdi::ResolveFace("Arial"));
}

TEST(FontFaces, TahomaIsTheWineTahoma) {
  if (!std::filesystem::exists(kTahomaFile)) GTEST_SKIP() << "fonts-wine is not installed";
  EXPECT_EQ(vel::gdi::ResolveFace("Tahoma"), "Tahoma");
}

// ---- metrics ------------------------------------------------------------------------

class FaceMetrics : public testing::TestWithParam<const char*> {};

TEST_P(FaceMetrics, HeightIsAscentPlusDescentAndCharHeightIsTheEm) {
  for (LONG em : {1, 7, 35, 100, 1000, 12345}) {
    TEXTMETRICA tm = Metrics(MakeFont(GetParam(), -em));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent) << em;
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, em) << em;
    EXPECT_GE(tm.tmHeight, em) << em;
  }
}

TEST_P(FaceMetrics, ScalesLinearlyWithHeight) {
  TEXTMETRICA big = Metrics(MakeFont(GetParam(), -10000));
  for (LONG em : {3, 10, 33, 100, 250, 1000, 4000}) {
    TEXTMETRICA tm = Metrics(MakeFont(GetParam(), -em));
    const double k = em / 10000.0;
    // Each value rounds once, so it is within one unit of the exact proportion.
    EXPECT_NEAR(tm.tmHeight, big.tmHeight * k, 1.0) << em;
    EXPECT_NEAR(tm.tmAscent, big.tmAscent * k, 1.0) << em;
    EXPECT_NEAR(tm.tmAveCharWidth, big.tmAveCharWidth * k, 1.0) << em;
  }
}

TEST_P(FaceMetrics, PositiveHeightIsTheCell) {
  for (LONG cell : {1, 9, 50, 117, 1000, 2472}) {
    TEXTMETRICA tm = Metrics(MakeFont(GetParam(), cell));
    EXPECT_EQ(tm.tmHeight, cell) << cell;
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, cell) << cell;
  }
  // A cell as tall as an em-sized font's cell gives back that em.
  TEXTMETRICA byEm = Metrics(MakeFont(GetParam(), -800));
  TEXTMETRICA byCell = Metrics(MakeFont(GetParam(), byEm.tmHeight));
  EXPECT_EQ(byCell.tmHeight, byEm.tmHeight);
  EXPECT_NEAR(byCell.tmHeight - byCell.tmInternalLeading, 800, 1);
  EXPECT_NEAR(byCell.tmAscent, byEm.tmAscent, 1);
}

TEST_P(FaceMetrics, WeightAndItalicComeFromTheLogFont) {
  TEXTMETRICA regular = Metrics(MakeFont(GetParam(), -100));
  TEXTMETRICA boldItalic = Metrics(MakeFont(GetParam(), -100, FW_BOLD, 1));
  EXPECT_EQ(regular.tmWeight, FW_NORMAL);
  EXPECT_EQ(regular.tmItalic, 0);
  EXPECT_EQ(boldItalic.tmWeight, FW_BOLD);
  EXPECT_EQ(boldItalic.tmItalic, 1);
  EXPECT_EQ(Metrics(MakeFont(GetParam(), -100, FW_DONTCARE)).tmWeight, FW_NORMAL);
  // Bold is wider, not taller.
  EXPECT_GT(boldItalic.tmAveCharWidth, regular.tmAveCharWidth);
  EXPECT_NEAR(boldItalic.tmHeight, regular.tmHeight, 2);
}

INSTANTIATE_TEST_SUITE_P(Faces, FaceMetrics, testing::Values("Tahoma", "Arial"));

TEST(FontMetrics, TahomaMatchesItsFile) {
  if (!std::filesystem::exists(kTahomaFile)) GTEST_SKIP() << "fonts-wine is not installed";
  FileMetrics file = ReadFileMetrics(kTahomaFile);
  ASSERT_TRUE(file.ok);
  TEXTMETRICA tm = Metrics(MakeFont("Tahoma", -1000));
  EXPECT_GT(tm.tmHeight, 1150);
  EXPECT_LT(tm.tmHeight, 1260);
  EXPECT_NEAR(tm.tmAscent, 1000.0 * file.winAscent / file.unitsPerEm, 1.0);
  EXPECT_NEAR(tm.tmHeight, 1000.0 * (file.winAscent + file.winDescent) / file.unitsPerEm, 1.0);
}

TEST(FontMetrics, ArialMatchesLiberationSansFile) {
  if (!std::filesystem::exists(kLiberationSansFile)) GTEST_SKIP() << "fonts-liberation is not installed";
  FileMetrics file = ReadFileMetrics(kLiberationSansFile);
  ASSERT_TRUE(file.ok);
  TEXTMETRICA tm = Metrics(MakeFont("Arial", -1000));
  EXPECT_NEAR(tm.tmAscent, 1000.0 * file.winAscent / file.unitsPerEm, 1.0);
  EXPECT_NEAR(tm.tmHeight, 1000.0 * (file.winAscent + file.winDescent) / file.unitsPerEm, 1.0);
  // Arial's cell is visibly shorter than Tahoma's; a mix-up of faces shows here.
  if (std::filesystem::exists(kTahomaFile)) {
    EXPECT_LT(tm.tmHeight + 50, Metrics(MakeFont("Tahoma", -1000)).tmHeight);
  }
}

TEST(FontMetrics, BadInputFailsCleanly) {
  TEXTMETRICA tm;
  tm.tmHeight = 4242;
  EXPECT_FALSE(vel::gdi::GetFontMetrics(MakeFont("Arial", 0), &tm));
  EXPECT_FALSE(vel::gdi::GetFontMetrics(MakeFont("Arial", INT32_MIN), &tm));
  EXPECT_FALSE(vel::gdi::GetFontMetrics(MakeFont("Arial", INT32_MAX), &tm));
  EXPECT_EQ(tm.tmHeight, 4242);  // untouched on failure
  EXPECT_FALSE(vel::gdi::GetFontMetrics(MakeFont("Arial", -10), nullptr));
  // Weights outside 0..1000 and an unterminated face still measure.
  LOGFONTA odd = MakeFont("Arial", -50, 123456);
  std::memset(odd.lfFaceName, 'A', LF_FACESIZE);
  EXPECT_TRUE(vel::gdi::GetFontMetrics(odd, &tm));
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  odd.lfWeight = -5;
  EXPECT_TRUE(vel::gdi::GetFontMetrics(odd, &tm));
  // A face nobody has is substituted, as GDI does, and still measures like a font.
  ASSERT_TRUE(vel::gdi::GetFontMetrics(MakeFont("No Such Face 12345", -100), &tm));
  EXPECT_GT(tm.tmHeight, 100);
  EXPECT_LT(tm.tmHeight, 200);
}

}  // namespace

int main(int argc, char** argv) {
  // Measuring must work without a display, as in the programs' headless runs.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
