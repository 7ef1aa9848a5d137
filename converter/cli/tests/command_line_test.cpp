// The converter's command line: run-mode precedence, special flags, the file
// argument, and the list-file line tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "converter/cli/CommandLine.h"

namespace converter {
namespace {

TEST(RunMode, LaterTestsWinAndLongerSwitchesOverwriteShorterOnes) {
  EXPECT_EQ(DecodeRunMode(""), kRunSettings);
  EXPECT_EQ(DecodeRunMode("/SETTING"), kRunSettings);
  EXPECT_EQ(DecodeRunMode("/ABOUT"), kRunAbout);
  EXPECT_EQ(DecodeRunMode("/SETTING /BAT"), kRunBatch);
  EXPECT_EQ(DecodeRunMode("/BAT /RENAME"), kRunRename);
  EXPECT_EQ(DecodeRunMode("x.png /JPEG"), ConverterType::Jpeg);
  EXPECT_EQ(DecodeRunMode("x.png /JPE"), ConverterType::Jpe);
  EXPECT_EQ(DecodeRunMode("x.png /TIFF"), ConverterType::Tiff);
  EXPECT_EQ(DecodeRunMode("x.png /TARGA"), ConverterType::Targa);
  EXPECT_EQ(DecodeRunMode("x.png /EPSF"), ConverterType::Epsf);
  EXPECT_EQ(DecodeRunMode("x.png /ANI"), ConverterType::Ani);
  EXPECT_EQ(DecodeRunMode("\"a b.png\" /COPYTOCLIPBOARD"), kRunClipboard);
  EXPECT_EQ(DecodeRunMode("\"a b.png\" /SETASWALLPAPER"), kRunWallpaper);
  EXPECT_EQ(DecodeRunMode("/BRAMWELL"), kRunBramwell);
  // Lower case is not a switch; unknown switches are ignored.
  EXPECT_EQ(DecodeRunMode("x.png /bat"), kRunSettings);
  EXPECT_EQ(DecodeRunMode("x.png /NOSUCH"), kRunSettings);
  // Paths are not searched for switches.
  EXPECT_EQ(DecodeRunMode("/home/me/PNG/BAT/a.bmp /GIF"), ConverterType::Gif);
  EXPECT_EQ(DecodeRunMode("\"/tmp/RENAME me.bmp\""), kRunSettings);

  EXPECT_EQ(DecodeSpecialFlags("x.png /JPG"), 0u);
  EXPECT_EQ(DecodeSpecialFlags("/HIDE x.png /AUTOCLOSE"), kFlagHide | kFlagAutoClose);
  EXPECT_EQ(DecodeSpecialFlags("/WAITFINISH"), kFlagWaitFinish);
}

TEST(RunMode, TheFileArgument) {
  EXPECT_EQ(FileArgument("\"/tmp/my photos/a b.png\" /JPG"), "/tmp/my photos/a b.png");
  EXPECT_EQ(FileArgument("/JPG photo.png"), "photo.png");
  EXPECT_EQ(FileArgument("/home/me/photo.png /JPG"), "/home/me/photo.png");
  EXPECT_EQ(FileArgument("-x /SETTING"), "");
  EXPECT_EQ(FileArgument("/SETTING"), "");
  // A file at the root is a path when it exists, a switch when it does not.
  EXPECT_EQ(FileArgument("/tmp /BAT"), "/tmp");
  EXPECT_EQ(FileArgument("/no-such-file-here.png /BAT"), "");
}

TEST(ListFile, TargetAndFileLines) {
  EXPECT_EQ(ListTargetRow("tiff"), ConverterType::Tif);  // TIF comes first in the table
  EXPECT_EQ(ListTargetRow("JPG"), ConverterType::Jpg);
  EXPECT_EQ(ListTargetRow("jpeg"), 0);  // no saved row's name in it
  EXPECT_EQ(ListTargetRow("emf"), ConverterType::Emf);
  EXPECT_EQ(ListTargetRow("/home/me/notes.txt"), 0);
  EXPECT_TRUE(IsListFileLine("C:\\a\\photo.JPG"));
  EXPECT_TRUE(IsListFileLine("/home/me/x.tga.bak"));  // an extension anywhere counts
  EXPECT_FALSE(IsListFileLine("/home/me/readme.txt"));
  int saved = 0;
  for (int row = 1; row <= kTypeRows; ++row) saved += TypeRow(row).saved;
  EXPECT_EQ(saved, 12);
  EXPECT_STREQ(TypeRow(ConverterType::Wmf).extension, ".wmf");
  EXPECT_STREQ(TypeRow(0).switchName, "");
  EXPECT_STREQ(TypeRow(30).switchName, "");
}

}  // namespace
}  // namespace converter
