#include <gtest/gtest.h>

#include <fstream>

#include "printlayout/cli/CommandLine.h"
#include "printlayout/cli/Startup.h"
#include "printlayout/file/ProjectFile.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::FakeEnvironment;
using testing::TempFolder;
using testing::WritePicture;

int NoProjects(const std::string&) { return 0; }

CommandLineRecord Parse(const std::vector<std::string>& words) { return ParseCommandLine(words, NoProjects); }

TEST(Switches, ViewerPreviewLine) {
  TempFolder dir;
  ASSERT_TRUE(WritePicture(dir / "shot.png", 40, 30, 0x0000FF, kExportPNG));
  const CommandLineRecord r = Parse({"/N:Print Manager for Corbanix", "/C: ", "/A:3,2", dir / "shot.png"});
  EXPECT_EQ(r.windowTitle, "Print Manager for Corbanix");
  EXPECT_EQ(r.defaultComment, " ");
  EXPECT_TRUE(r.arrangeOn);
  EXPECT_EQ(r.arrangeCount, 2);
  EXPECT_EQ(r.arrange[0], 3);
  EXPECT_EQ(r.arrange[1], 2);
  ASSERT_EQ(r.images.size(), 1u);  // an absolute path is a file, not a switch
  EXPECT_EQ(r.images[0], dir / "shot.png");
  EXPECT_FALSE(r.badCommandLine);

  FakeEnvironment env;
  Project project(env);
  PrepareStartup(project, {"/N:Print Manager for Corbanix", "/C:", "/A:3,2", dir / "shot.png"}, "/opt/tessaly");
  EXPECT_EQ(project.windowTitle, "Print Manager for Corbanix");
  EXPECT_EQ(project.autoArrange, 1);
  EXPECT_EQ(project.arrangeColumns, 3);
  EXPECT_EQ(project.arrangeRows, 2);
  ASSERT_EQ(project.pages.size(), 2u);
  ASSERT_EQ(project.pages[1]->placements.size(), 1u);  // laid out on page 1
  EXPECT_EQ(project.pages[1]->placements[0]->comment, " ");
  EXPECT_EQ(project.pages[1]->placements[0]->x, 200);
}

TEST(Switches, ArrangeAloneKeepsTheDefaultGrid) {
  const CommandLineRecord r = Parse({"-A"});
  EXPECT_TRUE(r.arrangeOn);
  EXPECT_EQ(r.arrangeCount, 0);
  FakeEnvironment env;
  Project project(env);
  project.autoArrange = 0;
  FillProject(project, r);
  EXPECT_EQ(project.autoArrange, 1);
  EXPECT_EQ(project.arrangeColumns, 3);
  EXPECT_EQ(project.arrangeRows, 4);
  EXPECT_EQ(project.arrangeSpacingH, 30);

  const CommandLineRecord full = Parse({"/A:0,5,99,2"});  // any switch beginning with A
  EXPECT_EQ(full.arrange[0], 1);
  EXPECT_EQ(full.arrange[2], 50);
  FillProject(project, full);
  EXPECT_EQ(project.arrangeSpacingH, 500);
  EXPECT_EQ(project.arrangeSpacingV, 20);
  EXPECT_TRUE(Parse({"/Anything"}).arrangeOn);
}

TEST(Switches, SlashWordsThatAreNoSwitchesArePaths) {
  const CommandLineRecord r = Parse({"/x", "/tmp", "-x"});
  EXPECT_TRUE(r.badCommandLine);                            // "/x" is a missing file
  EXPECT_EQ(r.images, (std::vector<std::string>{"/tmp"}));  // a folder that exists

  // A second "/" makes a missing path of a word that starts like the grid
  // switch; the switches with a text value may hold slashes.
  struct Case {
    const char* word;
    bool bad, arrange;
    const char* settings;
  };
  const Case cases[] = {{"/Absent/missing.jpg", true, false, ""},
                        {"/Albums/2024/", true, false, ""},
                        {"/A:2,2", false, true, ""},
                        {"/def:/nowhere/settings.tsp", false, false, "/nowhere/settings.tsp"}};
  for (const Case& c : cases) {
    const CommandLineRecord one = Parse({c.word});
    EXPECT_EQ(one.badCommandLine, c.bad) << c.word;
    EXPECT_EQ(one.arrangeOn, c.arrange) << c.word;
    EXPECT_EQ(one.settingsFile, c.settings) << c.word;
    EXPECT_TRUE(one.images.empty()) << c.word;
  }
  EXPECT_EQ(Parse({"/H:1/2;/"}).headerTexts[0], "1/2");
}

TEST(Switches, MarginsWithEmptyFields) {
  const CommandLineRecord r = Parse({"/M:10,,10"});
  EXPECT_EQ(r.marginCount, 3);
  EXPECT_EQ(r.margins[1], kNotGiven);
  EXPECT_EQ(r.margins[4], kNotGiven);  // every field is reset by M:
  FakeEnvironment env;
  Project project(env);
  FillProject(project, r);
  EXPECT_EQ(project.marginLeft, 100);
  EXPECT_EQ(project.marginRight, 100);
  EXPECT_EQ(project.marginTop, 200);
  EXPECT_EQ(project.headerSplitsSet, 0);  // left for the window's normalising
}

TEST(Switches, MarginsWithHeaderPositions) {
  FakeEnvironment env;
  Project project(env);
  FillProject(project, Parse({"/M:15,-4,25,,,,40,50,0"}));
  EXPECT_EQ(project.marginTop, 0);       // negative becomes 0
  EXPECT_EQ(project.headerSplit1, 550);  // (15 + 40) mm
  EXPECT_EQ(project.footerSplit1, 550);
  EXPECT_EQ(project.headerSplit2, 2100 - 750);  // page width - (50 + 25) mm
  EXPECT_EQ(project.headerSplitsSet, 1);
  EXPECT_EQ(project.headerMultiline, 0);
  // Without the side margins the project's own are used.
  FillProject(project, Parse({"/M:,,,,,,40,50"}));
  EXPECT_EQ(project.headerSplit1, 600);
  EXPECT_EQ(project.headerSplit2, 2100 - 700);
}

TEST(Switches, ShadowClampsAndUnknownColour) {
  const CommandLineRecord r = Parse({"/S:60,-60,Mauve"});
  EXPECT_EQ(r.shadowCount, 3);
  FakeEnvironment env;
  Project project(env);
  FillProject(project, r);
  EXPECT_EQ(project.shadowDx, 50);
  EXPECT_EQ(project.shadowDy, -50);
  EXPECT_EQ(project.shadowColour, 0x808080u);
  FillProject(project, Parse({"/S:5"}));
  EXPECT_EQ(project.shadowDx, 5);
  EXPECT_EQ(project.shadowDy, 0);  // not given: the default
}

TEST(Switches, BordersHeadersFootersAndFlags) {
  const CommandLineRecord r = Parse({"/B:F0F,red,20,0,7", "/H:&[Project];Page &[Page] of &[Pages];&[Date]", "/F:;mid",
                                     "/p", "/nosplash", "/ps", "/unknown", "/P"});
  EXPECT_EQ(r.borderCount, 5);
  FakeEnvironment env;
  Project project(env);
  FillProject(project, r);
  EXPECT_EQ(project.borderLines, 0xF0Fu);
  EXPECT_EQ(project.borderColour, 0x0000FFu);
  EXPECT_EQ(project.borderWidth, 10);
  EXPECT_EQ(project.borderSpaceH, 1);
  EXPECT_EQ(project.borderSpaceV, 7);
  EXPECT_EQ(project.headerTexts[1], "Page &[Page] of &[Pages]");
  EXPECT_EQ(project.headerTexts[2], "&[Date]");
  EXPECT_EQ(project.footerTexts[0], "");
  EXPECT_EQ(project.footerTexts[1], "mid");
  EXPECT_TRUE(r.printMode);
  EXPECT_TRUE(r.pageSetupMode);
  EXPECT_FALSE(r.showSplash);
  EXPECT_EQ(project.autoArrange, 1);  // printing without a project arranges
}

TEST(FileArguments, MissingFoldersListsAndProjects) {
  TempFolder dir;
  ASSERT_TRUE(WritePicture(dir / "a.bmp", 8, 8, 0, kExportBMP));
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_TRUE(WritePicture(dir / "sub/b.bmp", 8, 8, 0, kExportBMP));
  std::ofstream(dir / "list.txt") << (dir / "a.bmp") << "\r\n\r\n" << (dir / "sub/b.bmp") << "\n";
  FakeEnvironment env;
  Project project(env);
  ASSERT_TRUE(saveProject(project, dir / "one.tsp"));
  ASSERT_TRUE(saveProject(project, dir / "two.tsp"));

  const auto version = [](const std::string& path) { return detectProjectVersion(path); };
  CommandLineRecord r = ParseCommandLine({dir / "gone.png", dir / "a.bmp"}, version);
  EXPECT_TRUE(r.badCommandLine);
  EXPECT_EQ(r.images, (std::vector<std::string>{dir / "a.bmp"}));

  r = ParseCommandLine({"@" + dir.path()}, version);  // a folder cannot be a list
  EXPECT_TRUE(r.badCommandLine);
  EXPECT_TRUE(r.images.empty());

  r = ParseCommandLine({dir.path(), "@" + (dir / "list.txt"), dir / "one.tsp", dir / "two.tsp"}, version);
  EXPECT_TRUE(r.badCommandLine);  // two project files
  EXPECT_EQ(r.projectFile, dir / "two.tsp");
  EXPECT_EQ(r.images, (std::vector<std::string>{dir.path(), "@" + (dir / "list.txt")}));

  EXPECT_EQ(ExpandImageArgument("@" + (dir / "list.txt")),
            (std::vector<std::string>{dir / "a.bmp", dir / "sub/b.bmp"}));
  const auto walked = ExpandImageArgument(dir.path());
  EXPECT_NE(std::find(walked.begin(), walked.end(), dir / "sub/b.bmp"), walked.end());
  EXPECT_NE(std::find(walked.begin(), walked.end(), dir / "a.bmp"), walked.end());

  r = ParseCommandLine({"/def:x", "/def:y"}, version);
  EXPECT_TRUE(r.badCommandLine);
  EXPECT_EQ(r.settingsFile, "y");
}

TEST(FileArguments, SettingsFileAfterAProjectDiscardsItsPages) {
  TempFolder dir;
  ASSERT_TRUE(WritePicture(dir / "new.bmp", 8, 8, 0, kExportBMP));
  FakeEnvironment env;
  Project project(env);
  project.addImage("/old/one.jpg", "", 10, 10, 1, 0, 12);
  project.name = "Old";
  ASSERT_TRUE(saveProject(project, dir / "project.tsp"));
  project.resetToDefaults();
  project.marginLeft = 333;
  ASSERT_TRUE(saveProject(project, dir / "settings.tsp"));

  const auto version = [](const std::string& path) { return detectProjectVersion(path); };
  const CommandLineRecord r =
      ParseCommandLine({dir / "project.tsp", "/def:" + (dir / "settings.tsp"), dir / "new.bmp"}, version);
  FillProject(project, r);
  EXPECT_EQ(project.marginLeft, 333);
  EXPECT_EQ(project.name, "Untitled");
  ASSERT_EQ(project.totalImages(), 1);
  EXPECT_EQ(project.pages[0]->placements[0]->path, dir / "new.bmp");
}

// Header and footer positions read from a file survive the command line, so
// that page setup saves them back as they were; the command line's own
// position still wins.
TEST(FileArguments, StoredHeaderPositionsAreKept) {
  TempFolder dir;
  FakeEnvironment env;
  Project project(env);
  project.headerSplit1 = 500;
  project.headerSplit2 = 1500;
  project.footerSplit1 = 700;
  project.footerSplit2 = 1300;
  ASSERT_TRUE(saveProject(project, dir / "stored.tsp"));

  struct Case {
    std::vector<std::string> words;
    std::int32_t header1, header2, footer1, footer2;
  };
  const Case cases[] = {{{"/ps", dir / "stored.tsp"}, 500, 1500, 700, 1300},
                        {{"/ps", "/def:" + (dir / "stored.tsp")}, 500, 1500, 700, 1300},
                        {{"/ps", "/M:,,,,,,40", dir / "stored.tsp"}, 600, 1500, 600, 1300}};
  for (const Case& c : cases) {
    const Startup s = PrepareStartup(project, c.words, "/usr/bin/tessaly");
    ASSERT_EQ(s.mode, RunMode::PageSetupAndExit);
    EXPECT_EQ(project.headerSplitsSet, 1) << c.words[1];
    EXPECT_EQ(project.footerSplitsSet, 1) << c.words[1];
    project.checkPrinter();  // what OK in the options sheet runs before saving
    EXPECT_EQ(project.headerSplit1, c.header1) << c.words[1];
    EXPECT_EQ(project.headerSplit2, c.header2) << c.words[1];
    EXPECT_EQ(project.footerSplit1, c.footer1) << c.words[1];
    EXPECT_EQ(project.footerSplit2, c.footer2) << c.words[1];
  }
}

TEST(StartupModes, PrintWithTwoImagesLaysThemOutOnOnePage) {
  TempFolder dir;
  ASSERT_TRUE(WritePicture(dir / "a.bmp", 8, 8, 0, kExportBMP));
  ASSERT_TRUE(WritePicture(dir / "b.png", 8, 8, 0, kExportPNG));
  FakeEnvironment env;
  Project project(env);
  project.autoArrange = 0;
  const Startup s = PrepareStartup(project, {"/p", dir / "a.bmp", dir / "b.png"}, "/usr/bin/tessaly");
  EXPECT_EQ(s.mode, RunMode::PrintAndExit);
  EXPECT_EQ(project.pageCount(), 1);
  EXPECT_EQ(project.pages[1]->placements.size(), 2u);
  EXPECT_EQ(s.helpFile, "/usr/bin/tessaly.hlp");

  const Startup setup = PrepareStartup(project, {"/ps", dir / "a.bmp"}, "/usr/bin/tessaly");
  EXPECT_EQ(setup.mode, RunMode::PageSetupAndExit);
  EXPECT_EQ(project.pages[0]->placements.size(), 1u);  // no arrangement in page setup
}

TEST(StartupModes, HelpFileNextToTheProgram) {
  EXPECT_EQ(HelpFilePath("/opt/velmark/tessaly"), "/opt/velmark/tessaly.hlp");
  EXPECT_EQ(HelpFilePath("/opt/velmark/Tessaly.exe"), "/opt/velmark/Tessaly.hlp");
  EXPECT_EQ(HelpFilePath("/opt/v1.2/tessaly"), "/opt/v1.2/tessaly.hlp");
}

}  // namespace
}  // namespace tessaly
