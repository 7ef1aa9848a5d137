// The Export dialog and the overwrite question, driven through their widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include "printlayout/export/ExportDialog.h"
#include "printlayout/export/OverwriteDialog.h"
#include "printlayout/print/ProjectOptionsWidgets.h"
#include "printlayout/print/tests/DialogTestSupport.h"

namespace tessaly {
namespace {

using testing::MessageRecorder;
using testing::PrinterProject;

QStringList Entries(QComboBox* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
  return out;
}

class ExportDialogTest : public ::testing::Test {
 protected:
  ExportDialogTest() {
    project.name = "Holiday";
    project.path = "/home/ann/albums/holiday.tsy";
  }
  QPushButton* ok(ExportDialog& d) { return d.buttons()->button(QDialogButtonBox::Ok); }

  PrinterProject fixture{3};
  Project& project = *fixture.project;
  MessageRecorder messages;
};

TEST_F(ExportDialogTest, Defaults) {
  ExportDialog dialog(project);
  EXPECT_EQ(dialog.windowTitle(), "Export");
  EXPECT_EQ(dialog.folderText()->text(), "/home/ann/albums");
  EXPECT_EQ(dialog.templateText()->text(), "&[Project]-&[Page]");
  EXPECT_EQ(dialog.exampleLine()->text(), "Holiday-1");
  EXPECT_TRUE(dialog.cautionLine()->isHidden());
  EXPECT_TRUE(dialog.allButton()->isChecked());
  EXPECT_FALSE(dialog.rangeText()->isEnabled());
  EXPECT_EQ(dialog.typeList()->currentText(), "GIF image");
  EXPECT_EQ(dialog.dpiList()->currentText(), "96");
  EXPECT_EQ(Entries(dialog.depthList()), (QStringList{"4-bit color", "8-bit color"}));
  EXPECT_EQ(dialog.depthList()->currentText(), "8-bit color");
  EXPECT_FALSE(dialog.grayscaleCheck()->isChecked());
  EXPECT_FALSE(dialog.cropCheck()->isChecked());
  EXPECT_TRUE(ok(dialog)->isEnabled());
}

TEST_F(ExportDialogTest, TypeAndDpiEntriesInOrder) {
  ExportDialog dialog(project);
  EXPECT_EQ(Entries(dialog.typeList()), (QStringList{"BMP image", "GIF image", "JPEG image", "TIFF image", "PCX image",
                                                     "EPS image", "PNG image", "FMF image", "DCX image", "TGA image"}));
  EXPECT_EQ(Entries(dialog.dpiList()), (QStringList{"72", "96", "150", "200", "300", "600"}));
}

TEST(ExportFolder, FolderOfTheProjectsPath) {
  EXPECT_EQ(DefaultExportFolder("/home/ann/albums/holiday.tsy"), "/home/ann/albums");
  EXPECT_EQ(DefaultExportFolder("/holiday.tsy"), "/");
  EXPECT_EQ(DefaultExportFolder("holiday.tsy"), "");
  EXPECT_EQ(DefaultExportFolder(""), "");
  EXPECT_EQ(DefaultExportFolder("/a/b/"), "/a/b");
}

TEST_F(ExportDialogTest, ExampleFollowsEveryChange) {
  project.firstPageNumber = 5;
  ExportDialog dialog(project);
  EXPECT_EQ(dialog.exampleLine()->text(), "Holiday-5");
  dialog.templateText()->setText("&[Pages] pages");
  EXPECT_EQ(dialog.exampleLine()->text(), "7 pages");
  dialog.templateText()->setText("");
  EXPECT_EQ(dialog.exampleLine()->text(), "");
  dialog.templateText()->setText("p");
  dialog.macroButton()->macroMenu()->actions()[0]->trigger();
  EXPECT_EQ(dialog.templateText()->text(), "p&[Page]");
  EXPECT_EQ(dialog.exampleLine()->text(), "p5");
}

TEST_F(ExportDialogTest, CautionWhileTheExampleHasAForbiddenCharacter) {
  ExportDialog dialog(project);
  dialog.templateText()->setText("a/b");
  EXPECT_FALSE(dialog.cautionLine()->isHidden());
  EXPECT_EQ(dialog.cautionLine()->text(),
            "Caution! A filename cannot contain any of the following characters:\\ / : * ? < > |");
  dialog.templateText()->setText("ab");
  EXPECT_TRUE(dialog.cautionLine()->isHidden());
  dialog.templateText()->setText("say \"hi\"");
  EXPECT_FALSE(dialog.cautionLine()->isHidden());
  // The expanded name counts, not the template.
  project.name = "a:b";
  dialog.templateText()->setText("&[Project]");
  EXPECT_FALSE(dialog.cautionLine()->isHidden());
  project.name = "ab";
  dialog.templateText()->setText("&[Project] ");
  EXPECT_TRUE(dialog.cautionLine()->isHidden());
}

TEST_F(ExportDialogTest, EpsNeedsGrayscale) {
  ExportDialog dialog(project);
  dialog.typeList()->setCurrentIndex(kExportEPS);
  EXPECT_EQ(dialog.depthList()->count(), 0);
  EXPECT_FALSE(ok(dialog)->isEnabled());
  dialog.grayscaleCheck()->setChecked(true);
  EXPECT_EQ(Entries(dialog.depthList()), (QStringList{"1-bit (black & white)", "4-bit color", "8-bit color"}));
  EXPECT_TRUE(ok(dialog)->isEnabled());
  dialog.grayscaleCheck()->setChecked(false);
  EXPECT_FALSE(ok(dialog)->isEnabled());
}

TEST_F(ExportDialogTest, JpegDepths) {
  ExportDialog dialog(project);
  dialog.typeList()->setCurrentIndex(kExportJPEG);
  EXPECT_EQ(Entries(dialog.depthList()), (QStringList{"24-bit color"}));
  dialog.grayscaleCheck()->setChecked(true);
  EXPECT_EQ(Entries(dialog.depthList()), (QStringList{"8-bit color"}));
  EXPECT_EQ(dialog.depthList()->currentText(), "8-bit color");
}

TEST_F(ExportDialogTest, PreviousDepthKeptWhenStillAllowed) {
  ExportDialog dialog(project);
  dialog.typeList()->setCurrentIndex(kExportBMP);
  dialog.depthList()->setCurrentIndex(dialog.depthList()->findText("4-bit color"));
  dialog.typeList()->setCurrentIndex(kExportTIFF);
  EXPECT_EQ(dialog.depthList()->currentText(), "4-bit color");
  dialog.grayscaleCheck()->setChecked(true);
  EXPECT_EQ(dialog.depthList()->currentText(), "4-bit color");
  // Not allowed for TGA in gray: its last entry instead.
  dialog.typeList()->setCurrentIndex(kExportTGA);
  EXPECT_EQ(dialog.depthList()->currentText(), "8-bit color");
  dialog.grayscaleCheck()->setChecked(false);
  EXPECT_EQ(Entries(dialog.depthList()), (QStringList{"8-bit color", "24-bit color", "32-bit color"}));
  EXPECT_EQ(dialog.depthList()->currentText(), "8-bit color");
}

TEST_F(ExportDialogTest, OkGivesTheRequest) {
  ExportDialog dialog(project);
  dialog.show();
  dialog.folderText()->setText("/tmp/out");
  dialog.templateText()->setText("&[Page]");
  dialog.pagesButton()->setChecked(true);
  dialog.rangeText()->setText("3-2");
  dialog.typeList()->setCurrentIndex(kExportJPEG);
  dialog.dpiList()->setCurrentIndex(dialog.dpiList()->findText("300"));
  dialog.cropCheck()->setChecked(true);
  ok(dialog)->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const ExportRequest& r = dialog.request();
  EXPECT_EQ(r.pages, (PageList{3, 2}));
  EXPECT_EQ(r.folder, "/tmp/out");
  EXPECT_EQ(r.nameTemplate, "&[Page]");
  EXPECT_EQ(r.type, kExportJPEG);
  EXPECT_EQ(r.dpi, 300);
  EXPECT_EQ(r.depth, kDepth24);
  EXPECT_FALSE(r.grayscale);
  EXPECT_TRUE(r.crop);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ExportDialogTest, AllExportsEveryPageWithGrayscale) {
  ExportDialog dialog(project);
  dialog.typeList()->setCurrentIndex(kExportPNG);
  dialog.grayscaleCheck()->setChecked(true);
  ok(dialog)->click();
  const ExportRequest& r = dialog.request();
  EXPECT_EQ(r.pages, (PageList{1, 2, 3}));
  EXPECT_EQ(r.type, kExportPNG);
  EXPECT_EQ(r.dpi, 96);
  EXPECT_EQ(r.depth, kDepth8);
  EXPECT_TRUE(r.grayscale);
}

TEST_F(ExportDialogTest, BadRangeIsRefused) {
  ExportDialog dialog(project);
  dialog.show();
  dialog.pagesButton()->setChecked(true);
  dialog.rangeText()->setText("4-9");
  ok(dialog)->click();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.request().pages.empty());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Specified Incorrect Page Range\nPlease Fix it.");
}

TEST_F(ExportDialogTest, NoDepthNoExportEvenWhenAcceptIsCalled) {
  ExportDialog dialog(project);
  dialog.show();
  dialog.typeList()->setCurrentIndex(kExportEPS);
  dialog.accept();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.request().depth, -1);
}

// ---- overwrite question ----------------------------------------------------

TEST(OverwriteQuestionTest, TextHoldsThePath) {
  EXPECT_EQ(OverwriteQuestion("/tmp/Holiday-1.jpg"),
            "File /tmp/Holiday-1.jpg already exist.\n Do you want to rewrite it?");
  // A path that looks like a format is taken literally.
  EXPECT_EQ(OverwriteQuestion("/tmp/%s%d.png"), "File /tmp/%s%d.png already exist.\n Do you want to rewrite it?");
}

TEST(OverwriteQuestionTest, HeadlessLineAndDefaultAnswer) {
  ::testing::internal::CaptureStderr();
  const OverwriteAnswer answer = AskOverwrite(nullptr, "/tmp/a.png");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warning: File /tmp/a.png already exist.\\n Do you want to rewrite it?\n");
  EXPECT_EQ(answer, OverwriteAnswer::Overwrite);
}

TEST(OverwriteQuestionTest, ObserverAnswersInstead) {
  std::vector<std::string> asked;
  SetOverwriteObserver([&](const std::string& text) {
    asked.push_back(text);
    return asked.size() == 1 ? OverwriteAnswer::SkipAll : OverwriteAnswer::OverwriteAll;
  });
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(AskOverwrite(nullptr, "/x/1.bmp"), OverwriteAnswer::SkipAll);
  EXPECT_EQ(AskOverwrite(nullptr, "/x/2.bmp"), OverwriteAnswer::OverwriteAll);
  SetOverwriteObserver({});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1], OverwriteQuestion("/x/2.bmp"));
}

}  // namespace
}  // namespace tessaly
