// The batch dialog: what goes into the list file and how the converter is started.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <chrono>
#include <thread>

#include "platform/registry/owned_key.h"
#include "platform/shell/shell.h"
#include "viewer/core/Commands.h"
#include "viewer/handover/CBatchDlg.h"
#include "viewer/handover/tests/handover_fixture.h"

namespace orvenna::testing {
namespace {

class BatchTest : public HandOverTest {
 protected:
  void SetUp() override {
    HandOverTest::SetUp();
    // A stand-in converter, found through its App Paths entry, that records its arguments.
    converter = bin + "/converter.sh";
    WriteScript(converter,
                "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args.tmp\"\n"
                "mv \"$0.args.tmp\" \"$0.args\"\n");
    vel::OwnedKey key;
    const std::string sub = std::string(kAppPathsKey) + "\\Converter.exe";
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(converter.c_str()),
                             static_cast<DWORD>(converter.size() + 1)),
              ERROR_SUCCESS);
  }

  // Nobody waits for the converter: give it a few seconds to leave its record.
  std::vector<std::string> ConverterArgs() const {
    const std::string record = converter + ".args";
    for (int i = 0; i < 100 && ::access(record.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ReadLines(record);
  }

  std::string MakeFolder(const std::vector<std::string>& files) {
    const std::string folder = TempPath("photos");
    for (const std::string& file : files) {
      const std::string path = folder + "/" + file;
      QDir().mkpath(QString::fromStdString(path.substr(0, path.rfind('/'))));
      std::ofstream(path) << "x";
    }
    return folder;
  }

  std::string converter;
};

TEST_F(BatchTest, FolderFilesMatchTheSourceFilterAndDirectEntriesAlwaysGo) {
  const std::string folder = MakeFolder({"a.jpg", "b.JPEG", "c.png", "notes", "Recycled/old.jpg", "sub/d.jpe"});
  CBatchDlg dlg(0, 0);
  dlg.AddFolder(folder);
  dlg.AddImage(folder + "/c.png");
  dlg.AddImage(folder + "/a.jpg");  // already listed through the folder
  dlg.OnStart();

  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  const std::string list = dlg.ListFilePath();
  EXPECT_EQ(list.rfind(tmp + "/icp", 0), 0u) << list;
  EXPECT_EQ(ReadLines(list), (std::vector<std::string>{"JPG", folder + "/sub/d.jpe", folder + "/a.jpg",
                                                       folder + "/b.JPEG", folder + "/c.png"}));
  EXPECT_EQ(ConverterArgs(), (std::vector<std::string>{list, "/BAT"}));
}

TEST_F(BatchTest, UncheckedEntriesAndEmptyTreesStartNothing) {
  const std::string folder = MakeFolder({"a.jpg", "b.png"});
  CBatchDlg empty(0, 0);
  empty.OnStart();
  EXPECT_EQ(empty.result(), QDialog::Accepted);
  EXPECT_EQ(empty.ListFilePath(), "");
  EXPECT_TRUE(TempFiles("icp").empty());

  CBatchDlg dlg(16, 0);
  dlg.AddFolder(folder)->setCheckState(0, Qt::Unchecked);
  dlg.AddImage(folder + "/b.png");
  dlg.OnStart();
  EXPECT_EQ(ReadLines(dlg.ListFilePath()), (std::vector<std::string>{"JPG", folder + "/b.png"}));
  EXPECT_EQ(ConverterArgs(), (std::vector<std::string>{dlg.ListFilePath(), "/BAT"}));
}

TEST_F(BatchTest, SourceFilterComparesTheLastExtensionWithoutCase) {
  struct Case {
    int index;
    const char* name;
    bool matches;
  };
  for (const Case& c :
       {Case{0, "a.JFIF", true}, Case{0, "a.jpg.png", false}, Case{1, "scan.Tiff", true}, Case{3, "x.rle", true},
        Case{5, "x.eps", true}, Case{8, "png", false}, Case{15, "fax.FMF", true}, Case{16, "README", true},
        Case{17, "a.jpg", false}, Case{-1, "a.jpg", false}})
    EXPECT_EQ(MatchesSourceFilter(c.index, c.name), c.matches) << c.index << " " << c.name;
  EXPECT_EQ(SourceFilterTexts().size(), 17u);
  EXPECT_EQ(TargetTypeTexts().size(), 12u);
}

TEST_F(BatchTest, CommandUsesAndStoresTheBatchSettings) {
  const std::string folder = MakeFolder({"a.bmp"});
  host.settings.m_nBatchSrcExtNumber = 3;
  host.settings.m_nBatchDestFormatNumber = 8;
  int shownTo = -1;
  std::string list;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<CBatchDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), "Batch Convertion Manager");
    shownTo = dlg->TargetList()->currentIndex();
    dlg->TargetList()->setCurrentIndex(3);
    dlg->SourceList()->setCurrentIndex(16);
    dlg->AddImage(folder + "/a.bmp");
    dlg->findChild<QPushButton*>("startButton")->click();
    list = dlg->ListFilePath();
  });
  ASSERT_TRUE(host.Commands().Execute(ID_BATCH));
  EXPECT_EQ(shownTo, 8);
  EXPECT_EQ(host.settings.m_nBatchSrcExtNumber, 16);
  EXPECT_EQ(host.settings.m_nBatchDestFormatNumber, 3);
  EXPECT_EQ(ReadLines(list), (std::vector<std::string>{"BMP", folder + "/a.bmp"}));
  EXPECT_EQ(ConverterArgs(), (std::vector<std::string>{list, "/BAT"}));
}

TEST_F(BatchTest, SmallButtonsRemoveAndMoveEntries) {
  CBatchDlg dlg(0, 0);
  for (const char* name : {"/x/1.jpg", "/x/2.jpg", "/x/3.jpg"}) dlg.AddImage(name);
  QTreeWidget* tree = dlg.Tree();
  auto names = [tree] {
    std::string all;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) all += tree->topLevelItem(i)->text(0).toStdString() + ";";
    return all;
  };
  auto click = [&dlg](const char* name) { dlg.findChild<QToolButton*>(name)->click(); };
  EXPECT_FALSE(dlg.findChild<QToolButton*>("moveDown")->isEnabled());  // the last entry is selected
  click("moveUp");
  EXPECT_EQ(names(), "/x/1.jpg;/x/3.jpg;/x/2.jpg;");
  click("moveUp");
  click("moveUp");  // already at the top
  EXPECT_EQ(names(), "/x/3.jpg;/x/1.jpg;/x/2.jpg;");
  click("moveDown");
  EXPECT_EQ(names(), "/x/1.jpg;/x/3.jpg;/x/2.jpg;");
  click("removeItem");
  EXPECT_EQ(names(), "/x/1.jpg;/x/2.jpg;");
  EXPECT_EQ(tree->currentItem()->text(0), "/x/2.jpg");
  click("removeItem");
  click("removeItem");
  EXPECT_EQ(tree->topLevelItemCount(), 0);
  EXPECT_FALSE(dlg.findChild<QToolButton*>("removeItem")->isEnabled());
}

TEST_F(BatchTest, Screenshot) {
  // The program sets its icon theme at start; the offscreen platform knows no
  // icon folders, so the test names the system's.
  QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
  for (const char* theme : {"Adwaita", "breeze"})
    if (QDir(QStringLiteral("/usr/share/icons/") + theme).exists()) {
      QIcon::setThemeName(QString::fromLatin1(theme));
      break;
    }
  const std::string folder = MakeFolder({"a.jpg", "b.JPEG", "sub/c.jpg"});
  CBatchDlg dlg(0, 0);
  dlg.AddImage(folder + "/b.JPEG");
  QTreeWidgetItem* item = dlg.AddFolder(folder);
  for (const char* name : {"a.jpg", "b.JPEG"}) {
    auto* child = new QTreeWidgetItem(item, QStringList{QString::fromLatin1(name)});
    child->setCheckState(0, Qt::Checked);
    child->setIcon(0, QIcon::fromTheme("image-x-generic"));
  }
  item->setExpanded(true);
  dlg.show();
  QApplication::processEvents();
  QDir().mkpath("/tmp/shots");
  EXPECT_TRUE(dlg.grab().save("/tmp/shots/batch.png"));
  for (const char* name : {"addFolder", "addImage", "removeItem", "moveUp", "moveDown"})
    EXPECT_FALSE(dlg.findChild<QToolButton*>(name)->icon().isNull()) << name;
}

}  // namespace
}  // namespace orvenna::testing
