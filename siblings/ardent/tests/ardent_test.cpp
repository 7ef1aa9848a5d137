// The open-image dialog, driven through its widgets and its selection seams.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>

#include <cstdlib>
#include <fstream>

#include "platform/ui/tests/qt_test_util.h"
#include "lorimer/ImageInterface.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/ui.h"
#include "siblings/ardent/COpenImageDlg.h"
#include "platform/ui/file_dialog_text.h"

namespace {

constexpr unsigned long kViewerFlags = 0x101A04;  // multiple selection, files and folders must exist
constexpr unsigned long kSingleMustExist = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;

class ArdentTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    vel::ui::SetMessageObserver([this](const std::string&, const std::string& text, unsigned) {
      messages_.push_back(text);
      return IDOK;
    });
    QDir().mkpath(QString::fromStdString(TempPath("pics/sub")));
    for (const char* name : {"pics/a.bmp", "pics/b.png", "pics/sub/c.bmp"}) std::ofstream(TempPath(name)) << "x";
  }
  void TearDown() override {
    vel::ui::SetMessageObserver({});
    TempRegistry::TearDown();
  }
  static std::string FolderShown(const COpenImageDlg& dlg) {
    return dlg.findChild<QLineEdit*>("folderPath")->text().toStdString();
  }

  std::vector<std::string> messages_;
};

TEST(ArdentFilter, ParsesTextsAndPatterns) {
  struct Case {
    const char* filter;
    size_t entries;
    const char* firstText;
    std::vector<std::string> firstPatterns;
  };
  const Case cases[] = {
      {"A|*.a;*.b||", 1, "A", {"*.a", "*.b"}},
      {"A| *.a ; ;*.b |B|*.c", 2, "A", {"*.a", "*.b"}},  // blanks, an empty pattern, no closing "||"
      {"All|*.*||", 1, "All", {"*"}},                    // "*.*" must also match names without a dot
      {"A||B|*.b||", 0, nullptr, {}},                    // "||" ends the list wherever it comes
      {"|*.a||", 0, nullptr, {}},
      {"A", 0, nullptr, {}},
      {"", 0, nullptr, {}},
      {nullptr, 0, nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter ? c.filter : "(null)");
    const auto entries = vel::ui::ParseFilter(c.filter);
    ASSERT_EQ(entries.size(), c.entries);
    if (c.entries == 0) continue;
    EXPECT_EQ(entries[0].text, c.firstText);
    EXPECT_EQ(entries[0].patterns, c.firstPatterns);
  }
  const auto library = vel::ui::ParseFilter(CImageInterface::GetOpenAllFilesFilter());
  ASSERT_EQ(library.size(), 4u);
  EXPECT_EQ(library[0].text, "Graphic files");
  EXPECT_EQ(library[0].patterns.size(), 28u);
  EXPECT_EQ(library[0].patterns.front(), "*.bmp");
  EXPECT_EQ(library[3].patterns, std::vector<std::string>{"*"});
}

TEST_F(ArdentTest, TypeListShowsTheFilterTexts) {
  COpenImageDlg dlg(1, nullptr, nullptr, kViewerFlags, CImageInterface::GetOpenAllFilesFilter(), nullptr, "");
  auto* types = dlg.findChild<QComboBox*>("fileTypes");
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 4);
  EXPECT_EQ(types->itemText(0), "Graphic files");
  EXPECT_EQ(types->itemText(3), "All Files");
}

TEST_F(ArdentTest, SelectionIsAcceptedOrRefused) {
  struct Case {
    const char* name;
    unsigned long flags;
    std::vector<std::string> names;  // relative to pics/, or "@" for a full path to pics/a.bmp
    bool accepted;
    std::vector<std::string> paths;  // relative to pics/
    bool message;
  };
  const Case cases[] = {
      {"two files, multiple selection", kViewerFlags, {"b.png", "a.bmp"}, true, {"b.png", "a.bmp"}, false},
      {"two files, single selection", kSingleMustExist, {"a.bmp", "b.png"}, false, {}, true},
      {"missing file must exist", kViewerFlags, {"a.bmp", "missing.bmp"}, false, {}, true},
      {"missing file allowed", OFN_ALLOWMULTISELECT, {"missing.bmp"}, true, {"missing.bmp"}, false},
      {"full path", kSingleMustExist, {"@"}, true, {"a.bmp"}, false},
      {"nothing chosen", kViewerFlags, {}, false, {}, false},
      {"a folder is entered", kViewerFlags, {"sub"}, false, {}, false},
  };
  const std::string pics = TempPath("pics");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    COpenImageDlg dlg(1, nullptr, nullptr, c.flags, "Images|*.bmp;*.png||", nullptr, "");
    dlg.SetFolder(pics);
    std::vector<std::string> names = c.names;
    for (auto& n : names)
      if (n == "@") n = pics + "/a.bmp";
    dlg.SelectFiles(names);
    EXPECT_EQ(dlg.Accept(), c.accepted);
    EXPECT_EQ(!messages_.empty(), c.message);
    std::vector<std::string> got;
    for (POSITION pos = dlg.GetStartPosition(); pos;) got.push_back(dlg.GetNextPathName(pos));
    std::vector<std::string> want;
    for (const auto& p : c.paths) want.push_back(pics + "/" + p);
    EXPECT_EQ(got, want);
    EXPECT_EQ(dlg.Paths(), want);
  }
  // The refused missing file is named in the message.
  messages_.clear();
  COpenImageDlg dlg(1, nullptr, nullptr, kViewerFlags, "Images|*.bmp||", nullptr, "");
  dlg.SetFolder(pics);
  dlg.SelectFiles({"missing.bmp"});
  ASSERT_FALSE(dlg.Accept());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find(pics + "/missing.bmp\nFile not found."), std::string::npos);
  // Choosing a folder shows it instead of accepting.
  dlg.SelectFiles({"sub"});
  EXPECT_FALSE(dlg.Accept());
  EXPECT_EQ(FolderShown(dlg), pics + "/sub");
}

TEST_F(ArdentTest, RemembersTheFolderPerProgram) {
  const std::string sub = TempPath("pics/sub");
  {
    COpenImageDlg dlg(1, nullptr, nullptr, kViewerFlags, "Images|*.bmp||", nullptr, "Malvito");
    EXPECT_NE(FolderShown(dlg), sub);
    dlg.SetFolder(sub);
    dlg.SelectFiles({"c.bmp"});
    ASSERT_TRUE(dlg.Accept());
  }
  COpenImageDlg same(1, nullptr, nullptr, kViewerFlags, "Images|*.bmp||", nullptr, "Malvito");
  EXPECT_EQ(FolderShown(same), sub);
  COpenImageDlg other(1, nullptr, nullptr, kViewerFlags, "Images|*.bmp||", nullptr, "Corbanix");
  EXPECT_NE(FolderShown(other), sub);
  // A given file name starts in its own folder.
  const std::string named = TempPath("pics/a.bmp");
  COpenImageDlg given(1, nullptr, named.c_str(), kViewerFlags, "Images|*.bmp||", nullptr, "Malvito");
  EXPECT_EQ(FolderShown(given), TempPath("pics"));
}

TEST_F(ArdentTest, PreviewShowsSizeAndDepth) {
  QImage picture(7, 5, QImage::Format_RGB888);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString(TempPath("pics/pic.bmp")), "BMP"));
  struct Case {
    const char* name;
    const char* want;
  };
  const Case cases[] = {{"pic.bmp", "7 x 5\n24 bits per pixel"}, {"a.bmp", "No preview"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    COpenImageDlg dlg(1, nullptr, nullptr, kViewerFlags, "Images|*.bmp||", nullptr, "");
    dlg.SetFolder(TempPath("pics"));
    dlg.SelectFiles({c.name});
    auto* info = dlg.findChild<QLabel*>("previewInfo");
    ASSERT_NE(info, nullptr);
    QElapsedTimer timer;
    timer.start();
    while (info->text() != c.want && timer.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(info->text().toStdString(), c.want);
  }
}

// Every text fits its widget; with VELMARK_SHOTS set the dialog is saved there too.
TEST_F(ArdentTest, NothingIsClipped) {
  // The programs pick an installed icon theme when the desktop names none; so do we.
  if (QDir("/usr/share/icons/Adwaita").exists()) QIcon::setThemeName("Adwaita");
  COpenImageDlg dlg(1, nullptr, nullptr, kViewerFlags, CImageInterface::GetOpenAllFilesFilter(), nullptr, "");
  QImage picture(64, 48, QImage::Format_RGB888);
  picture.fill(QColor(40, 120, 200));
  ASSERT_TRUE(picture.save(QString::fromStdString(TempPath("pics/pic.bmp")), "BMP"));
  dlg.SetFolder(TempPath("pics"));
  dlg.SelectFiles({"pic.bmp"});
  dlg.show();
  auto* info = dlg.findChild<QLabel*>("previewInfo");
  QElapsedTimer timer;
  timer.start();
  while (!info->text().startsWith("64 x 48") && timer.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  vel::ui::testing::ExpectNothingClipped(dlg);
  vel::ui::testing::SaveShotIfAsked(dlg, "ardent");
}

}  // namespace
