// The folder browser: where it starts, walking the tree, OK and Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/ui/ui.h"
#include "siblings/corwen/CAdvBrovserDlg.h"

namespace {

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corwen-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    for (const char* sub : {"b", "A", "c/deep"}) std::filesystem::create_directories(root_ + "/" + sub);
    std::ofstream(root_ + "/file.txt") << "not a folder";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  // Runs act on the browser once DoModal has it on show.
  static int Run(CAdvBrovserDlg& browser, std::function<void()> act) {
    QTimer::singleShot(0, [&browser, act] {
      if (QApplication::activeModalWidget() != &browser) browser.reject();
      act();
    });
    return browser.DoModal();
  }

  std::string root_;
};

TEST_F(Browser, StartsAtTheGivenFolderAndListsItsSubFolders) {
  CAdvBrovserDlg browser;
  browser.m_strPath = root_ + "/";
  std::vector<std::string> listed;
  std::string shown;
  const int answer = Run(browser, [&] {
    for (int i = 0; i < browser.m_arrFolders.GetSize(); ++i) listed.push_back(browser.m_arrFolders.GetAt(i));
    shown = browser.findChild<QLineEdit*>("folderPath")->text().toStdString();
    browser.accept();
  });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(listed, (std::vector<std::string>{"A", "b", "c"}));  // folders only, case ignored in the order
  EXPECT_EQ(shown, root_);
  EXPECT_EQ(browser.m_strPath, root_);
}

TEST_F(Browser, WalkingDownAndUpChoosesTheFolderShown) {
  CAdvBrovserDlg browser;
  browser.m_strPath = root_;
  const int answer = Run(browser, [&] {
    auto* list = browser.findChild<QListWidget*>("folderList");
    emit list->itemActivated(list->item(2));  // "c"
    emit list->itemActivated(list->item(0));  // "deep"
    browser.findChild<QPushButton*>("folderUp")->click();
    browser.accept();
  });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(browser.m_strPath, root_ + "/c");
}

TEST_F(Browser, ATypedFolderCountsOnlyWhenItExists) {
  CAdvBrovserDlg browser;
  browser.m_strPath = root_;
  bool okWhileWrong = true;
  Run(browser, [&] {
    auto* edit = browser.findChild<QLineEdit*>("folderPath");
    edit->setText(QString::fromStdString(root_ + "/nowhere"));
    emit edit->textEdited(edit->text());
    okWhileWrong = browser.findChild<QPushButton*>("ok")->isEnabled();
    edit->setText(QString::fromStdString(root_ + "/b"));
    emit edit->textEdited(edit->text());
    browser.findChild<QPushButton*>("ok")->click();
  });
  EXPECT_FALSE(okWhileWrong);
  EXPECT_EQ(browser.m_strPath, root_ + "/b");
}

TEST_F(Browser, CancelLeavesThePathAsItWas) {
  CAdvBrovserDlg browser;
  browser.m_strPath = root_ + "/c";
  EXPECT_EQ(Run(browser,
                [&] {
                  browser.Browse(root_);
                  browser.reject();
                }),
            IDCANCEL);
  EXPECT_EQ(browser.m_strPath, root_ + "/c");
}

TEST_F(Browser, APathThatIsNoFolderStartsAtHome) {
  for (const std::string& start : {std::string(), root_ + "/file.txt", root_ + "/missing"}) {
    CAdvBrovserDlg browser;
    browser.m_strPath = start;
    std::string shown;
    Run(browser, [&] {
      shown = browser.CurrentFolder();
      browser.reject();
    });
    EXPECT_EQ(shown, QDir::cleanPath(QDir::homePath()).toStdString()) << start;
    EXPECT_EQ(browser.m_strPath, start);
  }
  CAdvBrovserDlg browser;
  EXPECT_FALSE(browser.Browse(root_ + "/file.txt"));
  EXPECT_TRUE(browser.Browse("/"));
  EXPECT_FALSE(browser.findChild<QPushButton*>("folderUp")->isEnabled());
}

}  // namespace
