// The rename job without its window: names by mask and counter, taken names,
// the folder for renamed files, missing files, the list's first line, bad and
// missing lists, asking, the log file, and the headless run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "converter/rename/FileMoves.h"
#include "converter/rename/RenameJob.h"
#include "converter/rename/RunRename.h"
#include "converter/rename/tests/rename_fixture.h"

namespace converter {
namespace {

using testing::RenameFixture;

// Records what the job reports.
class Recorder : public RenameEvents {
 public:
  void started(int r, bool a) override {
    range = r;
    asking = a;
  }
  void showFile(const RenameFile& f) override { shown.push_back(f.newName); }
  void askingStopped() override { ++askingStops; }
  void outcome(const RenameFile& f, const std::string& m) override { outcomes.push_back(f.fileName + ": " + m); }
  void stepped() override { ++steps; }
  void finished(const RenameResult&, const std::string& m) override { finalMessage = m; }

  int range = -1;
  bool asking = false;
  int askingStops = 0;
  int steps = 0;
  std::vector<std::string> shown, outcomes;
  std::string finalMessage = "(none)";
};

TEST(RenameMasks, EachModeBuildsItsName) {
  const std::string masks[4] = {"m1_", "m2_", "m3_", "bak"};
  EXPECT_EQ(BuildRenameName(0, masks, "a", ".jpg", 7), "a7.jpg");
  EXPECT_EQ(BuildRenameName(1, masks, "a", ".jpg", 7), "m1_a7.jpg");
  EXPECT_EQ(BuildRenameName(2, masks, "a", ".jpg", 7), "m2_7.jpg");
  EXPECT_EQ(BuildRenameName(3, masks, "a", ".jpg", 7), "m3_a.jpg");
  EXPECT_EQ(BuildRenameName(4, masks, "a", ".jpg", 7), "a.bak");
  // Registry values are not clamped on load; the job clamps them.
  EXPECT_EQ(BuildRenameName(-3, masks, "a", ".jpg", 1), "a1.jpg");
  EXPECT_EQ(BuildRenameName(99, masks, "a", ".jpg", 1), "a.bak");
}

using RenameJob = RenameFixture;

TEST_F(RenameJob, MaskOneCountsFromOneAndStepsOverTakenNames) {
  settings_.renTemplateMode = 1;
  settings_.renTemplates[0] = "x";
  touch("a.jpg");
  touch("b.jpg");
  auto result = RunRenameJob(list({file("a.jpg"), file("b.jpg")}), settings_, {});
  EXPECT_TRUE(result.AllDone());
  EXPECT_EQ(read(file("xa1.jpg")), "data of a.jpg");
  EXPECT_EQ(read(file("xb2.jpg")), "data of b.jpg");
  EXPECT_FALSE(exists(file("a.jpg")));

  // Again with xa1.jpg taken: the counter moves on and stays moved.
  ASSERT_EQ(std::rename(file("xb2.jpg").c_str(), file("b.jpg").c_str()), 0);
  touch("a.jpg");
  write(file("xa1.jpg"), "someone else's");
  result = RunRenameJob(list({file("a.jpg"), file("b.jpg")}), settings_, {});
  EXPECT_EQ(result.renamed, 2);
  EXPECT_EQ(read(file("xa1.jpg")), "someone else's");
  EXPECT_EQ(read(file("xa2.jpg")), "data of a.jpg");
  EXPECT_EQ(read(file("xb3.jpg")), "data of b.jpg");
}

TEST_F(RenameJob, ModesZeroTwoAndThree) {
  touch("a.jpg");
  touch("noext");
  settings_.renTemplateMode = 0;
  EXPECT_TRUE(RunRenameJob(list({file("a.jpg"), file("noext")}), settings_, {}).AllDone());
  EXPECT_TRUE(exists(file("a1.jpg")));
  EXPECT_TRUE(exists(file("noext2")));  // a name without a dot is all name

  settings_.renTemplateMode = 2;
  settings_.renTemplates[1] = "pic";
  touch("pic1.png");
  touch("c.png");
  EXPECT_TRUE(RunRenameJob(list({file("c.png")}), settings_, {}).AllDone());
  EXPECT_EQ(read(file("pic2.png")), "data of c.png");
  EXPECT_EQ(read(file("pic1.png")), "data of pic1.png");

  // Mode 3 has no counter in its name: a taken name is numbered instead.
  settings_.renTemplateMode = 3;
  settings_.renTemplates[2] = "new_";
  touch("d.gif");
  touch("new_d.gif");
  EXPECT_TRUE(RunRenameJob(list({file("d.gif")}), settings_, {}).AllDone());
  EXPECT_EQ(read(file("new_d(1).gif")), "data of d.gif");
  EXPECT_EQ(read(file("new_d.gif")), "data of new_d.gif");
}

TEST_F(RenameJob, ModeFourGivesANewExtensionMadeUnique) {
  settings_.renTemplateMode = 4;
  settings_.renTemplates[3] = "bak";
  touch("a.jpg");
  EXPECT_TRUE(RunRenameJob(list({file("a.jpg")}), settings_, {}).AllDone());
  EXPECT_EQ(read(file("a.bak")), "data of a.jpg");
  touch("a.jpg");
  EXPECT_TRUE(RunRenameJob(list({file("a.jpg")}), settings_, {}).AllDone());
  EXPECT_EQ(read(file("a(1).bak")), "data of a.jpg");
  EXPECT_EQ(read(file("a.bak")), "data of a.jpg");
}

TEST_F(RenameJob, AMaskThatNamesAnotherFolderIsRefused) {
  settings_.renTemplateMode = 1;
  settings_.renTemplates[0] = "../";
  touch("a.jpg");
  Recorder events;
  const auto result = RunRenameJob(list({file("a.jpg")}), settings_, {}, &events);
  EXPECT_EQ(result.failed, 1);
  EXPECT_TRUE(exists(file("a.jpg")));
  EXPECT_EQ(events.outcomes, (std::vector<std::string>{"a.jpg: Error: file can not be renamed"}));
}

TEST_F(RenameJob, PredefinedFolderGetsCopiesAndSourcesStay) {
  settings_.renTemplateMode = 1;
  settings_.renTemplates[0] = "x";
  settings_.renUsePredefFolder = 1;
  settings_.renFolderPath = TempPath("renamed");  // one missing level is created
  touch("a.jpg");
  touch("b.jpg");
  chmod(file("b.jpg").c_str(), 0640);
  EXPECT_TRUE(RunRenameJob(list({file("a.jpg"), file("b.jpg")}), settings_, {}).AllDone());
  EXPECT_EQ(read(file("a.jpg")), "data of a.jpg");
  EXPECT_EQ(read(file("b.jpg")), "data of b.jpg");
  EXPECT_EQ(read(TempPath("renamed/xa1.jpg")), "data of a.jpg");
  EXPECT_EQ(read(TempPath("renamed/xb2.jpg")), "data of b.jpg");
  struct stat st {};
  ASSERT_EQ(stat(TempPath("renamed/xb2.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // The counter looks for free names in the folder for renamed files.
  EXPECT_TRUE(RunRenameJob(list({file("a.jpg")}), settings_, {}).AllDone());
  EXPECT_TRUE(exists(TempPath("renamed/xa2.jpg")));
  EXPECT_FALSE(exists(file("xa1.jpg")));
}

TEST_F(RenameJob, AFolderTwoLevelsDeepIsNotMadeAndFilesAreRenamedInPlace) {
  settings_.renUsePredefFolder = 1;
  settings_.renFolderPath = TempPath("deep/er");
  touch("a.jpg");
  EXPECT_TRUE(RunRenameJob(list({file("a.jpg")}), settings_, {}).AllDone());
  EXPECT_FALSE(exists(TempPath("deep")));
  EXPECT_TRUE(exists(file("a1.jpg")));
  EXPECT_FALSE(exists(file("a.jpg")));
}

TEST_F(RenameJob, MissingFilesAreReportedAndTheJobGoesOn) {
  touch("b.jpg");
  ASSERT_EQ(mkdir(file("folder.jpg").c_str(), 0755), 0);
  Recorder events;
  const auto result = RunRenameJob(list({file("gone.jpg"), file("folder.jpg"), file("b.jpg")}), settings_, {}, &events);
  EXPECT_EQ(events.outcomes,
            (std::vector<std::string>{"gone.jpg: Error: source file or destination folder was not found",
                                      "folder.jpg: Error: source file or destination folder was not found",
                                      "b.jpg: Rename success"}));
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.renamed, 1);
  EXPECT_FALSE(result.AllDone());
  EXPECT_TRUE(exists(file("b3.jpg")));  // the counter counts every line
  EXPECT_EQ(events.range, 3);
  EXPECT_EQ(events.steps, 3);
  EXPECT_EQ(events.finalMessage, "Rename complete");
}

TEST_F(RenameJob, TheFirstLineIsNeverRenamed) {
  touch("first.jpg");
  touch("second.jpg");
  const auto result = RunRenameJob(list({file("second.jpg")}, file("first.jpg")), settings_, {});
  EXPECT_TRUE(result.AllDone());
  EXPECT_EQ(result.listed, 1);
  EXPECT_TRUE(exists(file("first.jpg")));
  EXPECT_TRUE(exists(file("second1.jpg")));
}

TEST_F(RenameJob, EmptyMissingAndUnreadableLists) {
  Recorder events;
  write(TempPath("empty.tmp"), "");
  auto result = RunRenameJob(TempPath("empty.tmp"), settings_, {}, &events);
  EXPECT_TRUE(result.AllDone());  // nothing listed, nothing left undone
  EXPECT_EQ(events.range, 0);
  EXPECT_EQ(events.finalMessage, "Rename complete");

  Recorder missing;
  result = RunRenameJob(TempPath("nothing-here.tmp"), settings_, {}, &missing);
  EXPECT_FALSE(result.listOpened);
  EXPECT_FALSE(result.AllDone());
  EXPECT_EQ(missing.finalMessage, "");
  EXPECT_EQ(missing.range, -1);

  // A folder or a device is no list: reading it would fail or never end.
  EXPECT_FALSE(RunRenameJob(files_, settings_, {}).listOpened);
  EXPECT_FALSE(RunRenameJob("/dev/zero", settings_, {}).listOpened);
  EXPECT_FALSE(RunRenameJob("", settings_, {}).listOpened);
}

TEST_F(RenameJob, BadLinesAreReportedNeverCutIntoOtherPaths) {
  touch("a.jpg");
  touch("b.jpg");
  // An overlong line whose first 1022 characters would name a.jpg, a NUL
  // that would cut a path down to a.jpg, and a Windows line end.
  const std::string longLine = file("a.jpg") + std::string(1100, 'z');
  const std::string withNul = file("a.jpg") + std::string(1, '\0') + "more";
  write(TempPath("bad.tmp"), "RENAME\r\n" + longLine + "\n" + withNul + "\n\n" + file("b.jpg") + "\r\n");
  Recorder events;
  const auto result = RunRenameJob(TempPath("bad.tmp"), settings_, {}, &events);
  EXPECT_EQ(result.listed, 3);  // the blank line names no file
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.renamed, 1);
  EXPECT_TRUE(exists(file("a.jpg")));
  EXPECT_TRUE(exists(file("b4.jpg")));
  EXPECT_EQ(events.range, 4);
}

TEST_F(RenameJob, AskingSkipsRenamesAndStopsAfterRenameAll) {
  settings_.renAskBefore = 1;
  for (const char* n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) touch(n);
  std::vector<RenameAnswer> answers = {RenameAnswer::Skip, RenameAnswer::Rename, RenameAnswer::RenameAll};
  std::vector<std::string> asked;
  RenameAsker asker = [&](const RenameFile& f) {
    asked.push_back(f.fileName + " -> " + f.newName);
    const RenameAnswer a = answers.front();
    answers.erase(answers.begin());
    return a;
  };
  Recorder events;
  const auto result =
      RunRenameJob(list({file("a.jpg"), file("b.jpg"), file("c.jpg"), file("d.jpg")}), settings_, asker, &events);
  EXPECT_EQ(asked, (std::vector<std::string>{"a.jpg -> a1.jpg", "b.jpg -> b2.jpg", "c.jpg -> c3.jpg"}));
  EXPECT_TRUE(events.asking);
  EXPECT_EQ(events.askingStops, 1);
  EXPECT_EQ(result.skipped, 1);
  EXPECT_EQ(result.renamed, 3);
  EXPECT_FALSE(result.AllDone());
  EXPECT_TRUE(exists(file("a.jpg")));
  EXPECT_TRUE(exists(file("b2.jpg")));
  EXPECT_TRUE(exists(file("c3.jpg")));
  EXPECT_TRUE(exists(file("d4.jpg")));
  // A skipped file has no outcome message.
  EXPECT_EQ(events.outcomes.size(), 3u);
}

TEST_F(RenameJob, NobodyIsAskedAboutMissingFilesAndStopEndsTheJob) {
  settings_.renAskBefore = 1;
  touch("a.jpg");
  touch("b.jpg");
  int asked = 0;
  RenameAsker asker = [&](const RenameFile&) {
    ++asked;
    return RenameAnswer::Stop;
  };
  Recorder events;
  const auto result = RunRenameJob(list({file("gone.jpg"), file("a.jpg"), file("b.jpg")}), settings_, asker, &events);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.AllDone());
  EXPECT_TRUE(exists(file("a.jpg")));
  EXPECT_TRUE(exists(file("b.jpg")));
  EXPECT_EQ(events.finalMessage, "");
}

TEST_F(RenameJob, TheLogIsWrittenOnlyWithCreateLog) {
  touch("a.jpg");
  RunRenameJob(list({file("a.jpg"), file("gone.jpg")}), settings_, {});
  EXPECT_FALSE(exists(file("Corbanix.log")));

  settings_.optCreateLog = 1;
  touch("b.jpg");
  RunRenameJob(list({file("b.jpg"), file("gone.jpg")}), settings_, {});
  EXPECT_EQ(read(file("Corbanix.log")),
            "Rename success\nError: source file or destination folder was not found\nRename complete\n");

  // With a folder for renamed files the log lies there, and the sources' folder
  // gets nothing.
  ASSERT_EQ(unlink(file("Corbanix.log").c_str()), 0);
  settings_.renUsePredefFolder = 1;
  settings_.renFolderPath = TempPath("out/");
  RunRenameJob(list({file("b1.jpg")}), settings_, {});
  EXPECT_EQ(read(TempPath("out/Corbanix.log")), "Rename success\nRename complete\n");
  EXPECT_FALSE(exists(file("Corbanix.log")));
}

TEST_F(RenameJob, AnExceptionEndsTheJobWithTheFatalMessage) {
  class Throwing : public Recorder {
    void stepped() override { throw std::runtime_error("boom"); }
  } events;
  settings_.optCreateLog = 1;
  touch("a.jpg");
  touch("b.jpg");
  const auto result = RunRenameJob(list({file("a.jpg"), file("b.jpg")}), settings_, {}, &events);
  EXPECT_TRUE(result.fatal);
  EXPECT_FALSE(result.AllDone());
  EXPECT_TRUE(exists(file("b.jpg")));
  EXPECT_EQ(events.finalMessage, "File Rename: fatal error");
  EXPECT_EQ(read(file("Corbanix.log")), "Rename success\nFile Rename: fatal error\n");
}

TEST_F(RenameJob, MovesAndCopiesNeverReplaceAFile) {
  write(file("src"), "source");
  write(file("dst"), "precious");
  EXPECT_FALSE(MoveNoReplace(file("src"), file("dst")));
  EXPECT_FALSE(CopyNoReplace(file("src"), file("dst")));
  EXPECT_EQ(read(file("dst")), "precious");
  EXPECT_EQ(read(file("src")), "source");
  // A failed copy leaves no temporary file behind.
  EXPECT_FALSE(CopyNoReplace(file("src"), TempPath("no-such-folder/dst")));
  EXPECT_FALSE(CopyNoReplace(file("missing"), file("new")));
  EXPECT_FALSE(exists(file("new")));
  EXPECT_TRUE(CopyNoReplace(file("src"), file("copy")));
  EXPECT_EQ(read(file("copy")), "source");
  EXPECT_TRUE(MoveNoReplace(file("src"), file("moved")));
  EXPECT_FALSE(exists(file("src")));
}

using RenameHeadless = RenameFixture;

TEST_F(RenameHeadless, RunsWithoutAskingAndReportsEachFileOnStandardError) {
  settings_.renAskBefore = 1;  // nobody can be asked without a window
  settings_.renTemplateMode = 1;
  settings_.renTemplates[0] = "x";
  ASSERT_TRUE(settings_.Save());
  touch("a.jpg");
  touch("b.jpg");
  ::testing::internal::CaptureStderr();
  const int code = RunRename(list({file("a.jpg"), file("b.jpg")}));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(err, "rename 1 of 2: " + file("a.jpg") + " -> " + file("xa1.jpg") + ": Rename success\n" +
                     "rename 2 of 2: " + file("b.jpg") + " -> " + file("xb2.jpg") + ": Rename success\n" +
                     "Rename complete\n");

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunRename(list({file("gone.jpg")})), 1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(": Error: source file or destination folder was not found\n"),
            std::string::npos);
  EXPECT_EQ(RunRename(TempPath("no-list.tmp")), 1);
}

}  // namespace
}  // namespace converter
