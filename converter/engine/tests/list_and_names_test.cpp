// Output names, multipage files and list files.
#include <functional>

#include "converter/engine/tests/engine_helpers.h"

namespace converter {
namespace {

using Names = testing::EngineTest;

// Calls `change` once, when the job's n-th page reaches its save step.
struct AtSave : EngineView {
  int countdown = 1;
  std::function<void()> change;
  void Message(const std::string& text) override {
    if (text == "Converting ..." && --countdown == 0) change();
  }
};

TEST_F(Names, PagesGetTheirOwnFilesOnlyWhenThereAreSeveral) {
  picture("scan.tif", 20, 10, 3);
  picture("single.bmp", 8, 8);
  settings.optUseAllPages = 1;
  settings.optCreateLog = 0;
  EXPECT_TRUE(run(file("scan.tif"), ConverterType::Png));
  EXPECT_EQ(size("scan_p1.png"), (Size{20, 10, 1, 0}));
  EXPECT_EQ(size("scan_p3.png"), (Size{22, 10, 1, 0}));
  EXPECT_FALSE(exists("scan.png"));
  EXPECT_TRUE(run(file("single.bmp"), ConverterType::Png));
  EXPECT_TRUE(exists("single.png"));
  EXPECT_FALSE(exists("single_p1.png"));

  settings.optUseAllPages = 0;
  EXPECT_TRUE(run(file("scan.tif"), ConverterType::Jpg));
  EXPECT_EQ(size("scan.jpg"), (Size{20, 10, 1, 0}));
  EXPECT_FALSE(exists("scan_p2.jpg"));
}

TEST_F(Names, RepeatedRunsNumberTheirOutputsAndTheSourceIsNeverReplaced) {
  picture("photo.bmp", 8, 8);
  const std::string original = read("photo.bmp");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(run(file("photo.bmp"), ConverterType::Jpg));
  EXPECT_TRUE(exists("photo.jpg"));
  EXPECT_TRUE(exists("photo(1).jpg"));
  EXPECT_TRUE(exists("photo(2).jpg"));
  EXPECT_FALSE(exists("photo(3).jpg"));

  // Overwriting replaces earlier outputs, never the source: a BMP converted to
  // BMP in its own folder goes to a new name.
  settings.optOverwriteExisting = 1;
  EXPECT_TRUE(run(file("photo.bmp"), ConverterType::Jpg));
  EXPECT_FALSE(exists("photo(3).jpg"));
  EXPECT_TRUE(run(file("photo.bmp"), ConverterType::Bmp));
  EXPECT_EQ(read("photo.bmp"), original);
  EXPECT_TRUE(exists("photo(1).bmp"));
}

TEST_F(Names, OneMultipageFileGathersTheList) {
  std::string list = "TIF\n";
  for (int i = 0; i < 5; ++i) {
    picture("in" + std::to_string(i) + ".png", 6 + i, 6);
    list += file("in" + std::to_string(i) + ".png") + "\n";
  }
  write("list.txt", list);
  settings.optAddToMultipage = 1;
  settings.optMultipageFileName = "Album";
  EXPECT_TRUE(run(file("list.txt"), kRunBatch));
  EXPECT_EQ(size("Album.tif").pages, 5);
  // Without overwriting, the next run appends; with it, the old file goes first.
  EXPECT_TRUE(run(file("list.txt"), kRunBatch));
  EXPECT_EQ(size("Album.tif").pages, 10);
  settings.optOverwriteExisting = 1;
  EXPECT_TRUE(run(file("list.txt"), kRunBatch));
  EXPECT_EQ(size("Album.tif").pages, 5);
  // JPEG has no pages to gather: one file per source.
  write("jpegs.txt", "jpg\n" + file("in0.png") + "\n");
  EXPECT_TRUE(run(file("jpegs.txt"), kRunBatch));
  EXPECT_TRUE(exists("in0.jpg"));
  EXPECT_FALSE(exists("Album.jpg"));
}

TEST_F(Names, ListLinesAndTheirTarget) {
  ASSERT_EQ(mkdir(file("deep").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(file("deep/er").c_str(), 0755), 0);
  picture("deep/er/A.PNG", 5, 5);
  picture("b.bmp", 5, 5);
  write("notes.txt", "not a picture");
  write("list.txt", "files for you\ntiff\n" + file("deep/er/A.PNG") + "\r\n" + file("notes.txt") + "\n" +
                        std::string(1100, 'x') + ".bmp\n" + file("b.bmp") + "\n" + file("gone.png") + "\n");
  EXPECT_FALSE(run(file("list.txt"), kRunBatch));  // gone.png is missing
  EXPECT_TRUE(exists("deep/er/A.tif"));            // "tiff" names row 8, ".tif"
  EXPECT_TRUE(exists("b.tif"));
  EXPECT_FALSE(exists("notes.tif"));
  // The missing file is reported in the log of its own folder.
  EXPECT_NE(read("Corbanix.log").find("Error: file is not exist or read protected"), std::string::npos);
  EXPECT_NE(read("Corbanix.log").find("Converting finished"), std::string::npos);

  // A target line and nothing else: done, nothing converted.
  write("empty.txt", "PNG\n");
  EXPECT_TRUE(run(file("empty.txt"), kRunBatch));
}

TEST_F(Names, AMissingSourceMakesNoFolders) {
  picture("p.bmp", 4, 4);
  // Nothing to log into yet: nothing is made.
  EXPECT_FALSE(run(file("typo/dir/x.png"), ConverterType::Png));
  EXPECT_FALSE(exists("typo"));
  settings.optUsePredefFolder = 1;
  settings.optFolderPath = file("out/new");
  EXPECT_FALSE(run(file("typo/dir/x.png"), ConverterType::Png));
  EXPECT_FALSE(exists("out"));
  // After another file, that file's log takes the message.
  settings.optUsePredefFolder = 0;
  write("list.txt", "PNG\n" + file("p.bmp") + "\n" + file("typo/dir/x.png") + "\n");
  EXPECT_FALSE(run(file("list.txt"), kRunBatch));
  EXPECT_FALSE(exists("typo"));
  EXPECT_NE(read("Corbanix.log").find("Error: file is not exist or read protected"), std::string::npos);
}

// A list gives exactly what converting its entries one after another gives,
// whatever an earlier entry (or anyone else) wrote meanwhile.
TEST_F(Names, EachEntryIsReadAsTheEntriesBeforeItLeftIt) {
  picture("a.bmp", 600, 400);
  picture("a.png", 7, 7);  // replaced by the first entry's output
  picture("b.bmp", 5, 5);  // rewritten while the second entry is saved
  write("list.txt", "PNG\n" + file("a.bmp") + "\n" + file("a.png") + "\n" + file("b.bmp") + "\n");
  settings.optOverwriteExisting = 1;
  ASSERT_TRUE(settings.Save());
  AtSave view;
  view.countdown = 2;
  view.change = [&] { picture("b.bmp", 9, 9); };
  ConversionEngine engine(&view);
  EXPECT_TRUE(engine.RunJob(file("list.txt"), kRunBatch));
  EXPECT_EQ(size("a.png"), (Size{600, 400, 1, 0}));
  EXPECT_EQ(size("a(1).png"), (Size{600, 400, 1, 0}));
  EXPECT_EQ(size("b.png"), (Size{9, 9, 1, 0}));
}

// Entries are read and processed ahead on other threads, but what they report comes
// in list order, each entry's messages and file steps where a one-after-another
// run puts them, a failing step included.
TEST_F(Names, ReportsComeInListOrderWhenEntriesAreProcessedAhead) {
  struct Recorder : EngineView {
    std::vector<std::string> seen;
    void Message(const std::string& text) override { seen.push_back(text); }
    void FileStep() override { seen.push_back("|"); }
  };
  picture("a.bmp", 60, 40);
  picture("tiny.bmp", 4, 4);  // the crop's margins leave nothing of it
  picture("c.bmp", 60, 40);
  write("list.txt", "PNG\n" + file("a.bmp") + "\n" + file("tiny.bmp") + "\n" + file("c.bmp") + "\n");
  settings.cropMode = 2;
  settings.cropX1 = settings.cropY1 = 10;
  settings.briconBri = 20;
  ASSERT_TRUE(settings.Save());
  Recorder view;
  ConversionEngine engine(&view);
  EXPECT_FALSE(engine.RunJob(file("list.txt"), kRunBatch));
  const std::vector<std::string> converted = {
      "Image loading ...",         "Crop ...", "|", "Zoom ...",       "|",       "|",
      "Brightness correction ...", "|",        "|", "Converting ...", "Success", "|"};
  std::vector<std::string> expected = converted;
  for (const char* step : {"Image loading ...", "Crop ...", "Crop failed"}) expected.push_back(step);
  expected.insert(expected.end(), converted.begin(), converted.end());
  expected.push_back("Converting finished");
  expected.push_back("Success");  // the list file's own line
  EXPECT_EQ(view.seen, expected);
  EXPECT_EQ(size("a.png"), (Size{50, 30, 1, 0}));
  EXPECT_EQ(size("c.png"), (Size{50, 30, 1, 0}));
  EXPECT_FALSE(exists("tiny.png"));
}

// Files an earlier entry may still replace are not read ahead at all: a file
// replaced within one tick of the clock may keep its inode number, size and times.
TEST_F(Names, ReadAheadSkipsWhatAnEntryMayWrite) {
  write("a.png", "x");
  write("b.bmp", "x");
  ASSERT_EQ(symlink(file("a.png").c_str(), file("link.bmp").c_str()), 0);
  write("c.png", "x");
  write("a(1).png", "x");
  write("a_p2.png", "x");
  write("Multipage.png", "x");
  const struct {
    const char* name;
    int target;
    bool output;
  } cases[] = {{"a.png", ConverterType::Png, true},    {"A.PNG", ConverterType::Png, true},
               {"link.bmp", ConverterType::Png, true}, {"a(1).png", ConverterType::Png, true},
               {"a_p2.png", ConverterType::Png, true}, {"Multipage.png", ConverterType::Png, true},
               {"b.bmp", ConverterType::Png, false},   {"a.png", ConverterType::Jpg, false},
               {"c.png", ConverterType::Png, false}};  // another picture of the target type is still read ahead
  for (const auto& c : cases)
    EXPECT_EQ(MayBeListOutput(file(c.name), c.target, file("a.bmp"), "Multipage"), c.output)
        << c.name << " " << c.target;
}

// The job keeps the settings it started with; only where its files and log go
// follows the registry.
TEST_F(Names, SettingsChangedDuringAJobMoveOnlyItsNames) {
  picture("a.bmp", 40, 20);
  picture("b.bmp", 40, 20);
  write("list.txt", "PNG\n" + file("a.bmp") + "\n" + file("b.bmp") + "\n");
  settings.sizeZoomMode = 2;
  settings.sizeNewWidth = settings.sizeNewHeight = 30;
  ASSERT_TRUE(settings.Save());
  AtSave view;
  view.change = [&] {
    ConverterSettings later = settings;
    later.sizeNewWidth = later.sizeNewHeight = 10;
    later.optUsePredefFolder = 1;
    later.optFolderPath = file("later");
    EXPECT_TRUE(later.Save());
  };
  ConversionEngine engine(&view);
  EXPECT_TRUE(engine.RunJob(file("list.txt"), kRunBatch));
  EXPECT_EQ(size("a.png"), (Size{30, 30, 1, 0}));
  EXPECT_EQ(size("later/b.png"), (Size{30, 30, 1, 0}));
  EXPECT_EQ(engine.Settings().sizeNewWidth, 30);
}

TEST_F(Names, FoldersAreMadeAndTheLogFollowsTheOutputs) {
  picture("p.bmp", 4, 4);
  settings.optUsePredefFolder = 1;
  settings.optFolderPath = file("out/one/two");
  EXPECT_TRUE(run(file("p.bmp"), ConverterType::Png));
  EXPECT_TRUE(exists("out/one/two/p.png"));
  const std::string log = read("out/one/two/Corbanix.log");
  EXPECT_FALSE(exists("Corbanix.log"));
  // Header, then the steps in order.
  EXPECT_EQ(log.rfind("--------------------------------\n", 0), 0u);
  const size_t loading = log.find("Image loading ..."), zoom = log.find("Zoom ..."),
               converting = log.find("Converting ..."), success = log.find("Success");
  EXPECT_LT(loading, zoom);
  EXPECT_LT(zoom, converting);
  EXPECT_LT(converting, success);
  EXPECT_NE(log.find("File: p.bmp\nFrom: " + file("").substr(0, file("").size() - 1) +
                     "\nTo:   " + file("out/one/two") + "\nFile: p.png\n"),
            std::string::npos)
      << log;

  // No log at all when it is switched off; an output folder that cannot be made fails the save.
  settings.optCreateLog = 0;
  write("blocker", "a file");
  settings.optFolderPath = file("blocker/sub");
  EXPECT_FALSE(run(file("p.bmp"), ConverterType::Png));
  EXPECT_FALSE(exists("blocker/sub/Corbanix.log"));
}

}  // namespace
}  // namespace converter
