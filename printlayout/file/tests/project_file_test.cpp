#include "printlayout/file/ProjectFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "printlayout/file/ArchiveString.h"
#include "printlayout/file/ProfileFile.h"

namespace tessaly {
namespace {

// No system printers, but the printers a test names count as installed, so
// the printer check keeps the page and printer fields a file brings.
class PrinterListEnvironment : public NullEnvironment {
 public:
  std::vector<std::string> installedPrinters() override { return printers; }
  std::vector<std::string> printers = {"Printer A", "Printer B"};
};

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/project_file_testXXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempDir() {
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") std::remove((path_ + "/" + n).c_str());
      }
      closedir(d);
    }
    rmdir(path_.c_str());
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
      }
      closedir(d);
    }
    return names;
  }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::uint8_t* Data(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

void WriteFontRecord(ArchiveWriter& w, const std::string& face, std::int32_t size, std::int32_t bold,
                     std::int32_t italic, std::uint32_t colour) {
  w.writeString(face);
  w.writeI32(size);
  w.writeI32(bold);
  w.writeI32(italic);
  w.writeU32(colour);
}

// Values for items 2-26 written field by field in the documented order,
// independently of the program's writer, each distinct and within the clamps.
struct HandBuilt {
  bool version201 = true;
  std::string printerName = "Printer B";
  std::int32_t pageWidth = 2159;
  // Stops after this many items (2-26 are 25 items); 25 writes them all.
  int items = 25;
};

std::string BuildSettings(const HandBuilt& h) {
  ArchiveWriter w;
  w.writeBytes(h.version201 ? "KX21" : "KX20", 4);
  int item = 0;
  auto more = [&] { return ++item <= h.items; };
  if (more()) w.writeString("Hand built");                         // 2
  if (more()) w.writeU32(0x0123456);                               // 3
  if (more()) w.writeI32(3);                                       // 4
  if (more()) w.writeU32(0x00112233);                              // 5
  if (more()) w.writeI32(11);                                      // 6
  if (more()) w.writeI32(12);                                      // 7
  if (more()) w.writeI32(-13);                                     // 8
  if (more()) w.writeI32(14);                                      // 9
  if (more()) w.writeU32(0x00445566);                              // 10
  if (more()) WriteFontRecord(w, "Courier", 100, 1, 0, 0x0000AA);  // 11
  if (more()) w.writeString("&[Image] comment");                   // 12
  if (more()) {                                                    // 13
    w.writeI32(101);
    w.writeI32(102);
    w.writeI32(103);
    w.writeI32(104);
  }
  if (more()) {  // 14
    w.writeI32(55);
    w.writeI32(66);
  }
  if (more()) {  // 15
    w.writeString(h.printerName);
    w.writeString("Second name");
    w.writeString("Letter");
  }
  if (more() && h.version201) w.writeU16(1);  // 16
  if (more()) {                               // 17
    w.writeI32(h.pageWidth);
    w.writeI32(2794);
  }
  if (more()) w.writeI32(2);  // 18
  if (more()) {               // 19
    w.writeI32(600);
    w.writeI32(300);
  }
  if (more()) w.writeI32(7);  // 20
  if (more()) w.writeU32(0);  // 21
  if (more()) {               // 22
    w.writeI32(5);
    w.writeI32(6);
  }
  if (more()) {  // 23
    w.writeI32(40);
    w.writeI32(50);
  }
  if (more()) {  // 24
    for (int i = 0; i < 3; ++i) {
      w.writeString("head" + std::to_string(i));
      WriteFontRecord(w, "HF" + std::to_string(i), 80 + i, i, 1, 0x10 + i);
      w.writeString("foot" + std::to_string(i));
      WriteFontRecord(w, "FF" + std::to_string(i), 120 + i, 0, i, 0x20 + i);
    }
  }
  if (more()) {  // 25
    w.writeI32(500);
    w.writeI32(1500);
    w.writeI32(1);
    w.writeI32(0);
  }
  if (more()) {  // 26
    w.writeI32(400);
    w.writeI32(1600);
    w.writeI32(1);
    w.writeI32(7);
  }
  return w.take();
}

void WritePlacementRecord(ArchiveWriter& w, const std::string& path, const std::string& comment,
                          std::vector<std::int32_t> values) {
  w.writeString(path);
  w.writeString(comment);
  for (std::int32_t v : values) w.writeI32(v);
}

// ---- binary form: reading a file laid out by hand ---------------------------

TEST(BinaryProjectRead, ItemsInDocumentedOrder) {
  PrinterListEnvironment env;
  Project p(env);
  ArchiveWriter w;
  const std::string settings = BuildSettings({});
  w.writeBytes(settings.data(), settings.size());
  w.writeU32(2);  // entries
  w.writeU32(1);
  WritePlacementRecord(w, "a.png", "first", {640, 480, 10, 20, 300, 400, 1, 5});
  w.writeU32(0);
  ASSERT_TRUE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false));

  EXPECT_EQ(p.name, "Hand built");
  EXPECT_EQ(p.borderLines, 0x0123456u);
  EXPECT_EQ(p.borderWidth, 3);
  EXPECT_EQ(p.borderColour, 0x00112233u);
  EXPECT_EQ(p.borderSpaceH, 11);
  EXPECT_EQ(p.borderSpaceV, 12);
  EXPECT_EQ(p.shadowDx, -13);
  EXPECT_EQ(p.shadowDy, 14);
  EXPECT_EQ(p.shadowColour, 0x00445566u);
  EXPECT_EQ(p.imagesFont, (TextFont{"Courier", 100, 1, 0, 0x0000AA}));
  EXPECT_EQ(p.defaultComment, "&[Image] comment");
  EXPECT_EQ(p.marginLeft, 101);
  EXPECT_EQ(p.marginTop, 102);
  EXPECT_EQ(p.marginRight, 103);
  EXPECT_EQ(p.marginBottom, 104);
  EXPECT_EQ(p.headerDistance, 55);
  EXPECT_EQ(p.footerDistance, 66);
  EXPECT_EQ(p.printerName, "Printer B");
  EXPECT_EQ(p.printerName2, "Second name");
  EXPECT_EQ(p.paperForm, "Letter");
  EXPECT_EQ(p.paperSize, 1);
  EXPECT_EQ(p.pageWidth, 2159);
  EXPECT_EQ(p.pageHeight, 2794);
  EXPECT_EQ(p.orientation, 2);
  EXPECT_EQ(p.printQuality, 600);
  EXPECT_EQ(p.printYResolution, 300);
  EXPECT_EQ(p.firstPageNumber, 7);
  EXPECT_EQ(p.autoArrange, 0);
  EXPECT_EQ(p.arrangeColumns, 5);
  EXPECT_EQ(p.arrangeRows, 6);
  EXPECT_EQ(p.arrangeSpacingH, 40);
  EXPECT_EQ(p.arrangeSpacingV, 50);
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(p.headerTexts[i], "head" + n);
    EXPECT_EQ(p.headerFonts[i], (TextFont{"HF" + n, 80 + i, i, 1, static_cast<Colour>(0x10 + i)}));
    EXPECT_EQ(p.footerTexts[i], "foot" + n);
    EXPECT_EQ(p.footerFonts[i], (TextFont{"FF" + n, 120 + i, 0, i, static_cast<Colour>(0x20 + i)}));
  }
  // The stored positions are valid for the page, so normalizeLayout keeps them.
  EXPECT_EQ(p.headerSplit1, 500);
  EXPECT_EQ(p.headerSplit2, 1500);
  EXPECT_EQ(p.headerMultiline, 0);
  EXPECT_EQ(p.footerSplit1, 400);
  EXPECT_EQ(p.footerSplit2, 1600);
  EXPECT_EQ(p.footerMultiline, 7);

  ASSERT_EQ(p.pages.size(), 2u);
  ASSERT_EQ(p.pages[0]->placements.size(), 1u);
  EXPECT_TRUE(p.pages[1]->placements.empty());
  const ImagePlacement& pl = *p.pages[0]->placements[0];
  EXPECT_EQ(pl.path, "a.png");
  EXPECT_EQ(pl.comment, "first");
  EXPECT_EQ(pl.pixelWidth, 640);
  EXPECT_EQ(pl.pixelHeight, 480);
  EXPECT_EQ(pl.x, 10);
  EXPECT_EQ(pl.y, 20);
  EXPECT_EQ(pl.width, 300);
  EXPECT_EQ(pl.height, 400);
  EXPECT_EQ(pl.plane, 1);
  EXPECT_EQ(pl.format, 5);
  EXPECT_EQ(pl.laidOut, 1);
  EXPECT_EQ(pl.pageIndex, 0);
  EXPECT_EQ(p.modified, 0);
}

TEST(BinaryProjectRead, Version200HasNoPaperSizeAndKeepsNine) {
  PrinterListEnvironment env;
  Project p(env);
  HandBuilt h;
  h.version201 = false;
  ArchiveWriter w;
  const std::string settings = BuildSettings(h);
  w.writeBytes(settings.data(), settings.size());
  w.writeU32(0);
  ASSERT_TRUE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false));
  EXPECT_EQ(p.paperSize, 9);
  // The items after the missing one are still in their places.
  EXPECT_EQ(p.printerName, "Printer B");
  EXPECT_EQ(p.pageWidth, 2159);
  EXPECT_EQ(p.footerSplit2, 1600);
}

TEST(BinaryProjectRead, ReadingClamps) {
  PrinterListEnvironment env;
  Project p(env);
  ArchiveWriter w;
  w.writeBytes("KX21", 4);
  w.writeString("");
  w.writeU32(0xFFFFFFFF);
  w.writeI32(-4);          // borderWidth
  w.writeU32(0xFF000000);  // borderColour
  w.writeI32(0);
  w.writeI32(51);
  w.writeI32(-51);
  w.writeI32(1000);
  w.writeU32(0xFF000000);  // shadowColour
  WriteFontRecord(w, "", 39, 0, 0, 0xFF000000);
  w.writeString("");
  w.writeI32(-1);
  w.writeI32(1001);
  w.writeI32(-50);
  w.writeI32(5000);
  w.writeI32(-7);
  w.writeI32(1001);
  w.writeString("Printer A");
  w.writeString("");
  w.writeString("");
  w.writeU16(0xFFFF);
  w.writeI32(99);
  w.writeI32(-3);
  w.writeI32(0);
  w.writeI32(-1);
  w.writeI32(-300);
  w.writeI32(-8);  // firstPageNumber: taken as stored
  w.writeU32(1);
  w.writeI32(0);  // columns and rows: taken as stored
  w.writeI32(-2);
  w.writeI32(4);
  w.writeI32(501);
  for (int i = 0; i < 3; ++i) {
    w.writeString("");
    WriteFontRecord(w, "", 0, 0, 0, 0xFF000000);
    w.writeString("");
    WriteFontRecord(w, "X", 40, 0, 0, 0xFF000001);
  }
  for (int i = 0; i < 8; ++i) w.writeI32(0);
  w.writeU32(1);
  w.writeU32(1);
  WritePlacementRecord(w, "", "", {-1, -2, -3, -4, -5, -6, -7, -8});
  ASSERT_TRUE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false));

  EXPECT_EQ(p.borderLines, 0xFFFFFFFFu);
  EXPECT_EQ(p.borderWidth, 1);
  EXPECT_EQ(p.borderColour, 0u);
  EXPECT_EQ(p.borderSpaceH, 1);
  EXPECT_EQ(p.borderSpaceV, 50);
  EXPECT_EQ(p.shadowDx, -50);
  EXPECT_EQ(p.shadowDy, 50);
  EXPECT_EQ(p.shadowColour, 0x808080u);
  EXPECT_EQ(p.imagesFont, (TextFont{"Arial", 40, 0, 0, 0}));
  EXPECT_EQ(p.marginLeft, 0);
  EXPECT_EQ(p.marginRight, 0);
  // Top and bottom were clamped to 1000 each, then normalizeLayout shared the
  // page height of 100 between them: 1000 * 100 / (2 * 2000).
  EXPECT_EQ(p.marginTop, 25);
  EXPECT_EQ(p.marginBottom, 25);
  EXPECT_EQ(p.headerDistance, 0);
  EXPECT_EQ(p.footerDistance, 1000);
  EXPECT_EQ(p.paperSize, 0xFFFF);
  EXPECT_EQ(p.pageWidth, 100);
  EXPECT_EQ(p.orientation, 1);
  EXPECT_EQ(p.printQuality, 0);
  EXPECT_EQ(p.printYResolution, 0);
  EXPECT_EQ(p.firstPageNumber, -8);
  EXPECT_EQ(p.arrangeColumns, 0);
  EXPECT_EQ(p.arrangeRows, -2);
  EXPECT_EQ(p.arrangeSpacingH, 5);
  EXPECT_EQ(p.arrangeSpacingV, 500);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p.headerFonts[i], (TextFont{"Arial", 40, 0, 0, 0}));
    EXPECT_EQ(p.footerFonts[i], (TextFont{"X", 40, 0, 0, 0xFF000001}));
  }

  ASSERT_EQ(p.pages.size(), 2u);
  ASSERT_EQ(p.pages[0]->placements.size(), 1u);
  const ImagePlacement& pl = *p.pages[0]->placements[0];
  EXPECT_EQ(pl.pixelWidth, -1);
  EXPECT_EQ(pl.pixelHeight, -2);
  EXPECT_EQ(pl.x, -3);
  EXPECT_EQ(pl.y, -4);
  EXPECT_EQ(pl.width, 0);
  EXPECT_EQ(pl.height, 0);
  EXPECT_EQ(pl.plane, 0);
  EXPECT_EQ(pl.format, 0);
}

TEST(BinaryProjectRead, OneEntryGetsASecondEmptyPage) {
  PrinterListEnvironment env;
  Project p(env);
  ArchiveWriter w;
  const std::string settings = BuildSettings({});
  w.writeBytes(settings.data(), settings.size());
  w.writeU32(1);
  w.writeU32(2);
  WritePlacementRecord(w, "x.jpg", "", {1, 1, -1, -1, 0, 0, 0, 0});
  WritePlacementRecord(w, "y.jpg", "", {1, 1, -1, -1, 0, 0, 0, 0});
  ASSERT_TRUE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false));
  ASSERT_EQ(p.pages.size(), 2u);
  EXPECT_EQ(p.pages[0]->placements.size(), 2u);
  EXPECT_TRUE(p.pages[1]->placements.empty());

  // No entries at all: the not-arranged area and one page.
  Project q(env);
  q.appendPage();
  ArchiveWriter none;
  none.writeBytes(settings.data(), settings.size());
  none.writeU32(0);
  ASSERT_TRUE(ReadBinaryProject(q, Data(none.bytes()), none.bytes().size(), false));
  EXPECT_EQ(q.pages.size(), 2u);
}

TEST(BinaryProjectRead, EntriesReplacePagesAndNumberPlacements) {
  PrinterListEnvironment env;
  Project p(env);
  p.appendPage();
  p.addImage("old.png", "", 10, 10, 1, 0, 0);
  ArchiveWriter w;
  const std::string settings = BuildSettings({});
  w.writeBytes(settings.data(), settings.size());
  w.writeU32(4);
  for (std::uint32_t e = 0; e < 4; ++e) {
    w.writeU32(e);
    for (std::uint32_t i = 0; i < e; ++i) {
      WritePlacementRecord(w, "e" + std::to_string(e) + "i" + std::to_string(i), "", {256, 128, 0, 0, 1, 1, 0, 0});
    }
  }
  ASSERT_TRUE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false));
  ASSERT_EQ(p.pages.size(), 4u);
  for (std::size_t e = 0; e < 4; ++e) {
    ASSERT_EQ(p.pages[e]->placements.size(), e);
    for (std::size_t i = 0; i < e; ++i) {
      const ImagePlacement& pl = *p.pages[e]->placements[i];
      EXPECT_EQ(pl.path, "e" + std::to_string(e) + "i" + std::to_string(i));
      EXPECT_EQ(pl.pageIndex, static_cast<std::int32_t>(e));
      // The inspector thumbnail follows the pixel size.
      EXPECT_EQ(pl.thumbWidth, 128);
      EXPECT_EQ(pl.thumbHeight, 64);
    }
  }
}

TEST(BinaryProjectRead, UnknownMagicIsRejected) {
  PrinterListEnvironment env;
  Project p(env);
  std::string bytes = BuildSettings({});
  bytes[3] = '2';
  EXPECT_FALSE(ReadBinaryProject(p, Data(bytes), bytes.size(), false));
  EXPECT_FALSE(ReadBinaryProject(p, nullptr, 0, true));
  EXPECT_EQ(p.name, "Untitled");
}

// ---- binary form: damaged files ----------------------------------------------

std::string ValidFileWithEntries() {
  ArchiveWriter w;
  const std::string settings = BuildSettings({});
  w.writeBytes(settings.data(), settings.size());
  w.writeU32(3);
  w.writeU32(1);
  WritePlacementRecord(w, "one.png", std::string(300, 'c'), {1, 2, 3, 4, 5, 6, 7, 8});
  w.writeU32(0);
  w.writeU32(2);
  WritePlacementRecord(w, "two.png", "", {1, 2, 3, 4, 5, 6, 7, 8});
  WritePlacementRecord(w, std::string(70000, 'p'), "", {1, 2, 3, 4, 5, 6, 7, 8});
  return w.take();
}

TEST(BinaryProjectDamage, EveryTruncationFailsCleanly) {
  const std::string full = ValidFileWithEntries();
  PrinterListEnvironment env;
  for (std::size_t length = 0; length < full.size(); ++length) {
    // The long path makes most lengths fall inside one string; step through it.
    if (length > 2000 && length + 2000 < full.size() && length % 997 != 0) continue;
    for (bool settingsOnly : {false, true}) {
      Project p(env);
      const bool ok = ReadBinaryProject(p, Data(full), length, settingsOnly);
      const std::size_t settingsEnd = BuildSettings({}).size();
      if (settingsOnly && length >= settingsEnd) {
        EXPECT_TRUE(ok) << length;  // the entries are not read
      } else {
        EXPECT_FALSE(ok) << length;
      }
      EXPECT_GE(p.pages.size(), 2u) << length;
    }
  }
  Project p(env);
  EXPECT_TRUE(ReadBinaryProject(p, Data(full), full.size(), false));
  EXPECT_EQ(p.pages[2]->placements[1]->path.size(), 70000u);
}

TEST(BinaryProjectDamage, PartlyReadProjectStaysAsFarAsItGot) {
  PrinterListEnvironment env;
  Project p(env);
  HandBuilt h;
  h.items = 5;  // name ... borderSpaceH, then the file ends
  const std::string bytes = BuildSettings(h);
  EXPECT_FALSE(ReadBinaryProject(p, Data(bytes), bytes.size(), false));
  EXPECT_EQ(p.name, "Hand built");
  EXPECT_EQ(p.borderSpaceH, 11);
  EXPECT_EQ(p.borderSpaceV, 10);  // still the default
}

TEST(BinaryProjectDamage, PrinterCheckRunsBeforeTheEntries) {
  // A printer that is not installed: the check puts the default page in place
  // of the stored one, but only once items 2-26 are read.
  PrinterListEnvironment env;
  HandBuilt h;
  h.printerName = "Gone printer";
  h.pageWidth = 3000;

  Project early(env);
  h.items = 24;  // ends before items 25 and 26
  std::string bytes = BuildSettings(h);
  EXPECT_FALSE(ReadBinaryProject(early, Data(bytes), bytes.size(), false));
  EXPECT_EQ(early.pageWidth, 3000);

  Project late(env);
  h.items = 25;
  bytes = BuildSettings(h);  // complete settings, but no entry count
  EXPECT_FALSE(ReadBinaryProject(late, Data(bytes), bytes.size(), false));
  EXPECT_EQ(late.pageWidth, kDefaultPageWidth);
  EXPECT_EQ(late.paperSize, kDefaultPaperSize);
}

TEST(BinaryProjectDamage, GiantLengthsAndCountsAreFileErrors) {
  PrinterListEnvironment env;
  {
    Project p(env);
    const std::string bytes = std::string("KX21\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 11) + "short";
    EXPECT_FALSE(ReadBinaryProject(p, Data(bytes), bytes.size(), false));
    EXPECT_EQ(p.name, "Untitled");
    EXPECT_EQ(p.pages.size(), 2u);
  }
  {
    Project p(env);
    const std::string bytes = std::string("KX21\xFF\xFE\xFF", 7) + "wide";
    EXPECT_FALSE(ReadBinaryProject(p, Data(bytes), bytes.size(), false));
  }
  for (std::uint32_t entries : {0xFFFFFFFFu, 0x40000000u, 3u}) {
    Project p(env);
    ArchiveWriter w;
    const std::string settings = BuildSettings({});
    w.writeBytes(settings.data(), settings.size());
    w.writeU32(entries);
    w.writeU32(0);
    w.writeU32(0);  // room for two entries only
    EXPECT_FALSE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false)) << entries;
    EXPECT_EQ(p.pages.size(), 2u);
  }
  {
    Project p(env);
    ArchiveWriter w;
    const std::string settings = BuildSettings({});
    w.writeBytes(settings.data(), settings.size());
    w.writeU32(2);
    w.writeU32(0xFFFFFFFF);
    for (int i = 0; i < 40; ++i) w.writeU32(0);
    EXPECT_FALSE(ReadBinaryProject(p, Data(w.bytes()), w.bytes().size(), false));
    EXPECT_EQ(p.pages.size(), 2u);
    EXPECT_TRUE(p.pages[0]->placements.empty());
  }
}

// ---- saving and round trips ------------------------------------------------

void FillEveryField(Project& p) {
  p.name = "Round trip";
  p.borderLines = 0x0DCBA98;
  p.borderWidth = 4;
  p.borderColour = 0x00123456;
  p.borderSpaceH = 7;
  p.borderSpaceV = 49;
  p.shadowDx = -20;
  p.shadowDy = 33;
  p.shadowColour = 0x00ABCDEF;
  p.imagesFont = TextFont{"Georgia", 110, 1, 1, 0x0000FF};
  p.defaultComment = std::string(300, 'd');
  p.marginLeft = 150;
  p.marginTop = 160;
  p.marginRight = 170;
  p.marginBottom = 180;
  p.headerDistance = 90;
  p.footerDistance = 95;
  p.printerName = "Printer A";
  p.printerName2 = "Printer A copy";
  p.paperForm = "A3";
  p.paperSize = 8;
  p.pageWidth = 2970;
  p.pageHeight = 4200;
  p.orientation = 2;
  p.printQuality = 1200;
  p.printYResolution = 600;
  p.firstPageNumber = 12;
  p.autoArrange = 0;
  p.arrangeColumns = 2;
  p.arrangeRows = 9;
  p.arrangeSpacingH = 77;
  p.arrangeSpacingV = 88;
  for (int i = 0; i < 3; ++i) {
    p.headerTexts[i] = "Header &[Page] " + std::to_string(i);
    p.headerFonts[i] = TextFont{"H" + std::to_string(i), 50 + i, 1, 0, static_cast<Colour>(0x100 * i)};
    p.footerTexts[i] = "Footer " + std::to_string(i);
    p.footerFonts[i] = TextFont{"F" + std::to_string(i), 60 + i, 0, 1, static_cast<Colour>(0x10000 * i)};
  }
  p.headerSplit1 = 800;
  p.headerSplit2 = 2000;
  p.headerSplitsSet = 1;
  p.headerMultiline = 0;
  p.footerSplit1 = 700;
  p.footerSplit2 = 2100;
  p.footerSplitsSet = 1;
  p.footerMultiline = 1;
  p.insertPage(2);
  p.addImage("/pics/a.tif", "comment a", 1000, 500, 0, 2, 4);
  p.addImage("/pics/b.png", "", 300, 600, 1, 0, 1);
  p.addImage("/pics/c.jpg", "&[Image]", 640, 480, 1, 0, 2);
  ImagePlacement& b = *p.pages[1]->placements[0];
  b.x = 250;
  b.y = 260;
  b.width = 700;
  b.height = 1400;
}

void ExpectSameProject(const Project& a, const Project& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.borderLines, b.borderLines);
  EXPECT_EQ(a.borderWidth, b.borderWidth);
  EXPECT_EQ(a.borderColour, b.borderColour);
  EXPECT_EQ(a.borderSpaceH, b.borderSpaceH);
  EXPECT_EQ(a.borderSpaceV, b.borderSpaceV);
  EXPECT_EQ(a.shadowDx, b.shadowDx);
  EXPECT_EQ(a.shadowDy, b.shadowDy);
  EXPECT_EQ(a.shadowColour, b.shadowColour);
  EXPECT_EQ(a.imagesFont, b.imagesFont);
  EXPECT_EQ(a.defaultComment, b.defaultComment);
  EXPECT_EQ(a.marginLeft, b.marginLeft);
  EXPECT_EQ(a.marginTop, b.marginTop);
  EXPECT_EQ(a.marginRight, b.marginRight);
  EXPECT_EQ(a.marginBottom, b.marginBottom);
  EXPECT_EQ(a.headerDistance, b.headerDistance);
  EXPECT_EQ(a.footerDistance, b.footerDistance);
  EXPECT_EQ(a.printerName, b.printerName);
  EXPECT_EQ(a.printerName2, b.printerName2);
  EXPECT_EQ(a.paperForm, b.paperForm);
  EXPECT_EQ(a.paperSize, b.paperSize);
  EXPECT_EQ(a.pageWidth, b.pageWidth);
  EXPECT_EQ(a.pageHeight, b.pageHeight);
  EXPECT_EQ(a.orientation, b.orientation);
  EXPECT_EQ(a.printQuality, b.printQuality);
  EXPECT_EQ(a.printYResolution, b.printYResolution);
  EXPECT_EQ(a.firstPageNumber, b.firstPageNumber);
  EXPECT_EQ(a.autoArrange, b.autoArrange);
  EXPECT_EQ(a.arrangeColumns, b.arrangeColumns);
  EXPECT_EQ(a.arrangeRows, b.arrangeRows);
  EXPECT_EQ(a.arrangeSpacingH, b.arrangeSpacingH);
  EXPECT_EQ(a.arrangeSpacingV, b.arrangeSpacingV);
  EXPECT_EQ(a.headerTexts, b.headerTexts);
  EXPECT_EQ(a.headerFonts, b.headerFonts);
  EXPECT_EQ(a.footerTexts, b.footerTexts);
  EXPECT_EQ(a.footerFonts, b.footerFonts);
  EXPECT_EQ(a.headerSplit1, b.headerSplit1);
  EXPECT_EQ(a.headerSplit2, b.headerSplit2);
  EXPECT_EQ(a.headerSplitsSet, b.headerSplitsSet);
  EXPECT_EQ(a.headerMultiline, b.headerMultiline);
  EXPECT_EQ(a.footerSplit1, b.footerSplit1);
  EXPECT_EQ(a.footerSplit2, b.footerSplit2);
  EXPECT_EQ(a.footerSplitsSet, b.footerSplitsSet);
  EXPECT_EQ(a.footerMultiline, b.footerMultiline);
  ASSERT_EQ(a.pages.size(), b.pages.size());
  for (std::size_t e = 0; e < a.pages.size(); ++e) {
    ASSERT_EQ(a.pages[e]->placements.size(), b.pages[e]->placements.size()) << e;
    for (std::size_t i = 0; i < a.pages[e]->placements.size(); ++i) {
      const ImagePlacement& x = *a.pages[e]->placements[i];
      const ImagePlacement& y = *b.pages[e]->placements[i];
      EXPECT_EQ(x.path, y.path);
      EXPECT_EQ(x.comment, y.comment);
      EXPECT_EQ(x.pixelWidth, y.pixelWidth);
      EXPECT_EQ(x.pixelHeight, y.pixelHeight);
      EXPECT_EQ(x.x, y.x);
      EXPECT_EQ(x.y, y.y);
      EXPECT_EQ(x.width, y.width);
      EXPECT_EQ(x.height, y.height);
      EXPECT_EQ(x.plane, y.plane);
      EXPECT_EQ(x.format, y.format);
      EXPECT_EQ(y.pageIndex, static_cast<std::int32_t>(e));
      EXPECT_EQ(y.laidOut, 1);
    }
  }
}

TEST(ProjectSaveLoad, RoundTripKeepsEveryField) {
  TempDir dir;
  PrinterListEnvironment env;
  Project original(env);
  FillEveryField(original);
  original.setModified(true);
  const std::string path = dir.file("trip.tly");
  ASSERT_TRUE(saveProject(original, path));
  EXPECT_EQ(original.modified, 0);

  Project back(env);
  back.setModified(true);
  ASSERT_TRUE(loadProject(back, path));
  ExpectSameProject(original, back);
  EXPECT_EQ(back.path, path);
  EXPECT_EQ(back.fileVersion, 201);
  EXPECT_EQ(back.modified, 0);

  // A second save of what was read gives the same bytes.
  const std::string again = dir.file("again.tly");
  ASSERT_TRUE(saveProject(back, again));
  EXPECT_EQ(ReadFile(again), ReadFile(path));
}

TEST(ProjectSaveLoad, SavedBytesFollowTheLayout) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  p.name = std::string(300, 'n');
  p.borderLines = 0x04030201;
  p.autoArrange = 5;  // any true value is stored as 1
  const std::string path = dir.file("layout.tly");
  ASSERT_TRUE(saveProject(p, path));
  const std::string bytes = ReadFile(path);
  ASSERT_GT(bytes.size(), 311u);
  EXPECT_EQ(bytes.substr(0, 4), "KX21");
  EXPECT_EQ(bytes.substr(4, 3), std::string("\xFF\x2C\x01", 3));
  EXPECT_EQ(bytes.substr(7, 300), std::string(300, 'n'));
  EXPECT_EQ(bytes.substr(307, 4), std::string("\x01\x02\x03\x04", 4));
  // The end: entry count 2, then two empty entries.
  EXPECT_EQ(bytes.substr(bytes.size() - 12), std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12));

  Project back(env);
  ASSERT_TRUE(loadProject(back, path));
  EXPECT_EQ(back.autoArrange, 1);
  EXPECT_EQ(back.name, p.name);
}

TEST(ProjectSaveLoad, OutOfRangeValuesComeBackClamped) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  p.borderSpaceH = 80;
  p.shadowDx = -70;
  p.arrangeSpacingV = 2;
  p.imagesFont.size = 10;
  p.addImage("neg.png", "", 5, 5, 1, -3, -4);
  p.pages[1]->placements[0]->width = -9;
  const std::string path = dir.file("clamp.tly");
  ASSERT_TRUE(saveProject(p, path));
  Project back(env);
  ASSERT_TRUE(loadProject(back, path));
  EXPECT_EQ(back.borderSpaceH, 50);
  EXPECT_EQ(back.shadowDx, -50);
  EXPECT_EQ(back.arrangeSpacingV, 5);
  EXPECT_EQ(back.imagesFont.size, 40);
  const ImagePlacement& pl = *back.pages[1]->placements[0];
  EXPECT_EQ(pl.plane, 0);
  EXPECT_EQ(pl.format, 0);
  EXPECT_EQ(pl.width, 0);
}

TEST(ProjectSaveLoad, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  PrinterListEnvironment env;
  Project small(env);
  const std::string path = dir.file("keep.tly");
  ASSERT_TRUE(saveProject(small, path));
  const std::string before = ReadFile(path);

  Project big(env);
  big.name = std::string(100000, 'b');
  big.setModified(true);
  // A file size limit below the new file's size makes its writing fail.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old;
  tight.rlim_cur = 50000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool saved = saveProject(big, path);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(big.modified, 1);
  EXPECT_EQ(ReadFile(path), before);
  // No temporary file is left behind.
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.tly"});
}

TEST(ProjectSaveLoad, LongFileNameCanBeSaved) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  const std::string path = dir.file(std::string(240, 'n') + ".tly");
  ASSERT_TRUE(saveProject(p, path));
  EXPECT_EQ(detectProjectVersion(path), 201);
  EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(ProjectSaveLoad, SaveToAMissingFolderFails) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  p.setModified(true);
  EXPECT_FALSE(saveProject(p, dir.file("no/such/folder.tly")));
  EXPECT_FALSE(saveProject(p, dir.file("")));
  EXPECT_EQ(p.modified, 1);
}

TEST(ProjectSaveLoad, TruncatedFileOnDiskFails) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  FillEveryField(p);
  const std::string path = dir.file("cut.tly");
  ASSERT_TRUE(saveProject(p, path));
  const std::string bytes = ReadFile(path);
  WriteFile(path, bytes.substr(0, bytes.size() - 1));
  Project back(env);
  EXPECT_FALSE(loadProject(back, path));
  EXPECT_EQ(back.fileVersion, 201);
  EXPECT_GE(back.pages.size(), 2u);
}

// ---- version detection -----------------------------------------------------

TEST(ProjectVersion, DetectsTheThreeForms) {
  TempDir dir;
  const auto detect = [&](const std::string& content) {
    const std::string path = dir.file("v");
    WriteFile(path, content);
    return detectProjectVersion(path);
  };
  EXPECT_EQ(detect("KX21" + std::string(10, '\0')), 201);
  EXPECT_EQ(detect("KX20"), 200);
  EXPECT_EQ(detect("[Common]\r\nVersion=1.0b\r\n"), 100);
  EXPECT_EQ(detect("[common]\nversion = \"1.0b\"\n"), 100);
  EXPECT_EQ(detect("[Common]\nVersion=1.0\n"), 0);
  EXPECT_EQ(detect("[Common]\nVersion=1.0B\n"), 0);
  EXPECT_EQ(detect("[Common]\nVersion=1.0bc\n"), 0);
  EXPECT_EQ(detect("[Other]\nVersion=1.0b\n"), 0);
  EXPECT_EQ(detect("KX2"), 0);
  EXPECT_EQ(detect("kx21"), 0);
  EXPECT_EQ(detect(""), 0);
  EXPECT_EQ(detect("\x89PNG\r\n\x1a\n junk"), 0);
  // The profile check comes first.
  EXPECT_EQ(detect("KX21\n[Common]\nVersion=1.0b\n"), 100);
  EXPECT_EQ(detectProjectVersion(dir.file("missing")), 0);
}

// ---- legacy text form ------------------------------------------------------

ProfileFile Profile(const std::string& text) {
  ProfileFile f;
  f.parse(text);
  return f;
}

const char* kFullLegacy =
    "[Common]\n"
    "Version=1.0b\n"
    "ProjectName=Old, but fine\n"
    "Boders=F0F,2,Red,5,5\n"
    "Shadow=10,-60,00FF00\n"
    "ImagesFont=Verdana,120,1,0,Blue\n"
    "Margings=150,160,170,1200,90,-5\n"
    "Printer=Printer A,Printer A2,Letter,2159,2794,2,300,-1\n"
    "FirstPageNumber=-3\n"
    "AutoArrange=7,0,2,3,600\n"
    "Header1=Left &[Page]\n"
    "Header2=Centre, with comma\n"
    "Header3=Right\n"
    "HeaderFont1=,30,0,1,Gold\n"
    "HeaderFont2=Times\n"
    "HeaderFont3=Times,100,0,0,0,extra\n"
    "Footer1=F1\n"
    "Footer2=\n"
    "Footer3=F3\n"
    "FooterFont1=Courier,100,0,0,nonsense\n"
    "FooterFont2=\"Courier,100,0,0,Pale green \"\n"
    "FooterFont3=\n"
    "Pages=2\n"
    "[Page0]\n"
    "Images=1\n"
    "Image0_Path=C:\\pics\\loose.bmp\n"
    "Image0_Comment=loose one\n"
    "Image0_Size=640,480\n"
    "[Page1]\n"
    "Images=2\n"
    "Image0_Path=C:\\pics\\a.jpg\n"
    "Image0_Size=100,200,10,20,300,400,2\n"
    "Image1_Path=C:\\pics\\b.jpg\n"
    "Image1_Comment=b\n"
    "Image1_Size=1,2,3,4,-5,-6,-7\n"
    "[Page2]\n"
    "Images=1\n"
    "Image0_Path=C:\\pics\\c.jpg\n"
    "Image0_Size=1,2,3,4,5,6,7,8\n"
    "[Page3]\n"
    "Images=1\n"
    "Image0_Path=C:\\pics\\never.jpg\n";

TEST(LegacyProjectRead, CommonKeys) {
  PrinterListEnvironment env;
  Project p(env);
  ReadLegacyProject(p, Profile(kFullLegacy), false);
  EXPECT_EQ(p.name, "Old, but fine");
  EXPECT_EQ(p.borderLines, 0xF0Fu);
  EXPECT_EQ(p.borderWidth, 2);
  EXPECT_EQ(p.borderColour, 0x0000FFu);
  EXPECT_EQ(p.borderSpaceH, 5);
  EXPECT_EQ(p.borderSpaceV, 5);
  EXPECT_EQ(p.shadowDx, 10);
  EXPECT_EQ(p.shadowDy, -50);
  EXPECT_EQ(p.shadowColour, 0x00FF00u);
  EXPECT_EQ(p.imagesFont, (TextFont{"Verdana", 120, 1, 0, 0xFF0000}));
  EXPECT_EQ(p.marginLeft, 150);
  EXPECT_EQ(p.marginTop, 160);
  EXPECT_EQ(p.marginRight, 170);
  EXPECT_EQ(p.marginBottom, 1000);
  EXPECT_EQ(p.headerDistance, 90);
  EXPECT_EQ(p.footerDistance, 0);
  EXPECT_EQ(p.printerName, "Printer A");
  EXPECT_EQ(p.printerName2, "Printer A2");
  EXPECT_EQ(p.paperForm, "Letter");
  EXPECT_EQ(p.pageWidth, 2159);
  EXPECT_EQ(p.pageHeight, 2794);
  EXPECT_EQ(p.orientation, 2);
  EXPECT_EQ(p.printQuality, 300);
  EXPECT_EQ(p.printYResolution, 0);
  EXPECT_EQ(p.paperSize, 9);
  EXPECT_EQ(p.firstPageNumber, -3);
  EXPECT_EQ(p.autoArrange, 1);
  EXPECT_EQ(p.arrangeColumns, 1);
  EXPECT_EQ(p.arrangeRows, 2);
  EXPECT_EQ(p.arrangeSpacingH, 5);
  EXPECT_EQ(p.arrangeSpacingV, 500);
  EXPECT_EQ(p.headerTexts[0], "Left &[Page]");
  EXPECT_EQ(p.headerTexts[1], "Centre, with comma");
  EXPECT_EQ(p.headerTexts[2], "Right");
  EXPECT_EQ(p.headerFonts[0], (TextFont{"Arial", 40, 0, 1, 0x00D7FF}));
  EXPECT_EQ(p.headerFonts[1], (TextFont{"Times", 90, 0, 0, 0}));
  EXPECT_EQ(p.headerFonts[2], (TextFont{"Arial", 90, 0, 0, 0}));  // six fields: all defaults
  EXPECT_EQ(p.footerTexts[0], "F1");
  EXPECT_EQ(p.footerTexts[1], "");
  EXPECT_EQ(p.footerTexts[2], "F3");
  EXPECT_EQ(p.footerFonts[0], (TextFont{"Courier", 100, 0, 0, 0}));
  EXPECT_EQ(p.footerFonts[1], (TextFont{"Courier", 100, 0, 0, 0x98FB98}));
  EXPECT_EQ(p.footerFonts[2], (TextFont{"Arial", 90, 0, 0, 0}));
  EXPECT_EQ(p.modified, 0);
}

TEST(LegacyProjectRead, PagesTwoReadsEntriesZeroToTwo) {
  PrinterListEnvironment env;
  Project p(env);
  ReadLegacyProject(p, Profile(kFullLegacy), false);
  ASSERT_EQ(p.pages.size(), 3u);
  ASSERT_EQ(p.pages[0]->placements.size(), 1u);
  ASSERT_EQ(p.pages[1]->placements.size(), 2u);
  ASSERT_EQ(p.pages[2]->placements.size(), 1u);

  const ImagePlacement& loose = *p.pages[0]->placements[0];
  EXPECT_EQ(loose.path, "C:\\pics\\loose.bmp");
  EXPECT_EQ(loose.comment, "loose one");
  EXPECT_EQ(loose.pixelWidth, 640);
  EXPECT_EQ(loose.pixelHeight, 480);
  EXPECT_EQ(loose.x, -1);
  EXPECT_EQ(loose.y, -1);
  EXPECT_EQ(loose.width, 0);
  EXPECT_EQ(loose.height, 0);
  EXPECT_EQ(loose.laidOut, 1);
  EXPECT_EQ(loose.pageIndex, 0);

  const ImagePlacement& a = *p.pages[1]->placements[0];
  EXPECT_EQ(a.comment, "");
  EXPECT_EQ(a.pixelWidth, 100);
  EXPECT_EQ(a.pixelHeight, 200);
  EXPECT_EQ(a.x, 10);
  EXPECT_EQ(a.y, 20);
  EXPECT_EQ(a.width, 300);
  EXPECT_EQ(a.height, 400);
  EXPECT_EQ(a.plane, 2);
  EXPECT_EQ(a.format, 0);
  EXPECT_EQ(a.pageIndex, 1);

  const ImagePlacement& b = *p.pages[1]->placements[1];
  EXPECT_EQ(b.comment, "b");
  EXPECT_EQ(b.x, 3);
  EXPECT_EQ(b.width, 0);
  EXPECT_EQ(b.height, 0);
  EXPECT_EQ(b.plane, 0);

  // Eight size fields are more than the key has: every field keeps its default.
  const ImagePlacement& c = *p.pages[2]->placements[0];
  EXPECT_EQ(c.path, "C:\\pics\\c.jpg");
  EXPECT_EQ(c.pixelWidth, 128);
  EXPECT_EQ(c.pixelHeight, 128);
  EXPECT_EQ(c.x, -1);
  EXPECT_EQ(c.width, 0);
  EXPECT_EQ(c.pageIndex, 2);
}

TEST(LegacyProjectRead, ShadowWithFourFieldsKeepsTheDefaults) {
  PrinterListEnvironment env;
  env.settings.shadowImagesCX = 20;
  Project p(env);
  ReadLegacyProject(p, Profile("[Common]\nShadow=10,10,Red,5\n"), false);
  EXPECT_EQ(p.shadowDx, 0);
  EXPECT_EQ(p.shadowDy, 0);
  EXPECT_EQ(p.shadowColour, 0x808080u);
  ReadLegacyProject(p, Profile("[Common]\nShadow=10,,Bogus\n"), false);
  EXPECT_EQ(p.shadowDx, 10);
  EXPECT_EQ(p.shadowDy, 0);  // an empty number field reads as 0
  EXPECT_EQ(p.shadowColour, 0x808080u);
}

TEST(LegacyProjectRead, MissingKeysGiveTheLegacyDefaults) {
  PrinterListEnvironment env;
  Project p(env);
  FillEveryField(p);
  p.windowTitle = "Kept title";
  ReadLegacyProject(p, Profile("[Common]\nVersion=1.0b\nBoders=\n"), false);
  EXPECT_EQ(p.name, "Untitled");
  EXPECT_EQ(p.borderLines, 0u);
  EXPECT_EQ(p.borderWidth, 1);
  EXPECT_EQ(p.borderSpaceH, 1);
  EXPECT_EQ(p.borderSpaceV, 1);
  EXPECT_EQ(p.shadowColour, 0x808080u);
  EXPECT_EQ(p.imagesFont, (TextFont{"Arial", 90, 0, 0, 0}));
  EXPECT_EQ(p.marginLeft, 200);
  EXPECT_EQ(p.headerDistance, 100);
  EXPECT_EQ(p.firstPageNumber, 1);
  EXPECT_EQ(p.autoArrange, 0);
  EXPECT_EQ(p.arrangeColumns, 3);
  EXPECT_EQ(p.arrangeRows, 4);
  EXPECT_EQ(p.arrangeSpacingH, 30);
  EXPECT_EQ(p.headerTexts[0], "");
  // No printer named: the printer check asks for the default printer, and
  // without one the fixed page comes back.
  EXPECT_EQ(p.pageWidth, kDefaultPageWidth);
  EXPECT_EQ(p.printQuality, kDefaultPrintQuality);
  // Keys the form lacks keep what they hold.
  EXPECT_EQ(p.windowTitle, "Kept title");
  EXPECT_EQ(p.pages.size(), 2u);
  EXPECT_TRUE(p.pages[0]->placements.empty());
}

TEST(LegacyProjectRead, PartialListsKeepTheRestAtDefaults) {
  PrinterListEnvironment env;
  Project p(env);
  p.paperSize = 8;
  ReadLegacyProject(p,
                    Profile("[Common]\nPrinter=Printer B,,\nMargings=10,20,\nAutoArrange=0,5\n"
                            "Boders=zz,0\n"),
                    false);
  EXPECT_EQ(p.printerName, "Printer B");
  EXPECT_EQ(p.printerName2, "");
  EXPECT_EQ(p.paperForm, "A4");
  EXPECT_EQ(p.pageWidth, 2100);
  EXPECT_EQ(p.printQuality, 0);  // the legacy default, kept with an installed printer
  EXPECT_EQ(p.paperSize, 8);     // the form has no paper size
  EXPECT_EQ(p.marginLeft, 10);
  EXPECT_EQ(p.marginTop, 20);
  EXPECT_EQ(p.marginRight, 200);
  EXPECT_EQ(p.autoArrange, 0);
  EXPECT_EQ(p.arrangeColumns, 5);
  EXPECT_EQ(p.arrangeRows, 4);
  EXPECT_EQ(p.borderLines, 0u);
  EXPECT_EQ(p.borderWidth, 1);
}

TEST(LegacyProjectRead, HugeCountsStayBounded) {
  PrinterListEnvironment env;
  Project p(env);
  const std::string text =
      "[Common]\nPages=2000000000\n[Page0]\nImages=2000000000\nImage0_Path=x\n[Page1]\nImages=-5\n";
  ReadLegacyProject(p, Profile(text), false);
  EXPECT_LE(p.pages.size(), text.size() + 1);
  EXPECT_GE(p.pages.size(), 2u);
  // Page0 holds two keys, so at most two images can be genuine.
  EXPECT_EQ(p.pages[0]->placements.size(), 2u);
  EXPECT_EQ(p.pages[0]->placements[0]->path, "x");
  EXPECT_TRUE(p.pages[1]->placements.empty());
}

TEST(LegacyProjectRead, NegativeOrMissingPagesStillGivesTwoEntries) {
  PrinterListEnvironment env;
  for (const char* text : {"[Common]\nPages=-1\n", "", "[Common]\nPages=0\n[Page0]\nImages=0\n"}) {
    Project p(env);
    ReadLegacyProject(p, Profile(text), false);
    EXPECT_EQ(p.pages.size(), 2u) << text;
  }
}

TEST(LegacyProjectRead, LongPathsAndCommentsGetTheirLargerLimit) {
  PrinterListEnvironment env;
  Project p(env);
  const std::string longText(3000, 'L');
  ReadLegacyProject(p,
                    Profile("[Common]\nProjectName=" + longText + "\n[Page0]\nImages=1\nImage0_Path=" + longText +
                            "\nImage0_Comment=" + longText + "\n"),
                    false);
  EXPECT_EQ(p.name.size(), 1023u);
  ASSERT_EQ(p.pages[0]->placements.size(), 1u);
  EXPECT_EQ(p.pages[0]->placements[0]->path.size(), 2047u);
  EXPECT_EQ(p.pages[0]->placements[0]->comment.size(), 2047u);
}

TEST(LegacyProjectLoad, LoadProjectReadsTheTextForm) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  const std::string path = dir.file("old.prj");
  WriteFile(path, kFullLegacy);
  ASSERT_TRUE(loadProject(p, path));
  EXPECT_EQ(p.fileVersion, 100);
  EXPECT_EQ(p.path, path);
  EXPECT_EQ(p.pages.size(), 3u);
  EXPECT_EQ(p.borderColour, 0x0000FFu);
}

TEST(LegacyProjectLoad, NonProjectFileGivesADefaultProject) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  FillEveryField(p);
  const std::string path = dir.file("photo.png");
  WriteFile(path, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  EXPECT_TRUE(loadProject(p, path));
  EXPECT_EQ(p.fileVersion, 0);
  EXPECT_EQ(p.name, "Untitled");
  EXPECT_EQ(p.pages.size(), 2u);
  EXPECT_TRUE(p.pages[0]->placements.empty());
  EXPECT_TRUE(p.pages[1]->placements.empty());
  EXPECT_TRUE(env.messages.empty());
}

// ---- settings only -----------------------------------------------------------

TEST(ProjectSettingsLoad, BinaryResetsAndSetsShadowDefaults) {
  TempDir dir;
  PrinterListEnvironment env;
  Project source(env);
  FillEveryField(source);
  const std::string path = dir.file("defaults.tly");
  ASSERT_TRUE(saveProject(source, path));

  Project p(env);
  p.addImage("mine.png", "", 10, 10, 1, 0, 0);
  p.windowTitle = "Changed";
  p.setModified(true);
  ASSERT_TRUE(loadProjectSettings(p, path));
  EXPECT_EQ(p.fileVersion, 201);
  EXPECT_EQ(p.path, path);
  EXPECT_EQ(p.name, "Round trip");
  EXPECT_EQ(p.arrangeSpacingV, 88);
  EXPECT_EQ(p.windowTitle, "PrintPreview");  // reset, not in the file
  // The file's pages are not read and the project's own are gone.
  ASSERT_EQ(p.pages.size(), 2u);
  EXPECT_TRUE(p.pages[0]->placements.empty());
  EXPECT_TRUE(p.pages[1]->placements.empty());
  EXPECT_EQ(env.settings.shadowImagesCX, -20);
  EXPECT_EQ(env.settings.shadowImagesCY, 33);
  EXPECT_EQ(p.modified, 0);
  EXPECT_TRUE(env.messages.empty());
}

TEST(ProjectSettingsLoad, UnopenableBinaryFileShowsTheMessageOnly) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  p.name = "Mine";
  p.addImage("mine.png", "", 10, 10, 1, 0, 0);
  const std::string path = dir.file("vanished.tly");
  EXPECT_FALSE(LoadBinaryProjectSettings(p, path, 201));
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0], "Can't load file \n " + path);
  EXPECT_EQ(p.name, "Mine");
  EXPECT_EQ(p.pages[1]->placements.size(), 1u);
  EXPECT_TRUE(p.path.empty());
}

TEST(ProjectSettingsLoad, LegacyLaysCommonKeysOverTheProject) {
  TempDir dir;
  PrinterListEnvironment env;
  Project p(env);
  p.addImage("mine.png", "", 10, 10, 1, 0, 0);
  p.path = "/kept/path.tly";
  const std::string path = dir.file("old.prj");
  WriteFile(path, kFullLegacy);
  ASSERT_TRUE(loadProjectSettings(p, path));
  EXPECT_EQ(p.fileVersion, 100);
  EXPECT_EQ(p.name, "Old, but fine");
  EXPECT_EQ(p.borderLines, 0xF0Fu);
  EXPECT_EQ(p.path, "/kept/path.tly");
  // No reset and no pages read: the project's own pages stay.
  ASSERT_EQ(p.pages.size(), 2u);
  EXPECT_EQ(p.pages[1]->placements.size(), 1u);
  EXPECT_EQ(p.pages[1]->placements[0]->path, "mine.png");
  EXPECT_EQ(env.settings.shadowImagesCX, 0);
  EXPECT_TRUE(env.messages.empty());
}

}  // namespace
}  // namespace tessaly
