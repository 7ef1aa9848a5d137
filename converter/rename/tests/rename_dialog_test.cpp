// The rename window on the offscreen platform: its lines while asking, the
// three answer buttons, "Stop"/"Close", closing while a question is open, and
// the "About" button starting the converter through its App Paths entry.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <functional>
#include <string>

#include "converter/rename/CRenameProgressDlg.h"
#include "converter/rename/tests/rename_fixture.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace converter {
namespace {

// Lets queued signals arrive until the condition holds (at most five seconds).
bool WaitFor(const std::function<bool()>& condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > 5000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  QCoreApplication::processEvents();
  return true;
}

class RenameDialog : public testing::RenameFixture {
 protected:
  void SetUp() override {
    RenameFixture::SetUp();
    settings_.renAskBefore = 1;
    ASSERT_TRUE(settings_.Save());
  }
};

TEST_F(RenameDialog, TheButtonsAnswerTheQuestions) {
  for (const char* n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) touch(n);
  CRenameProgressDlg dlg(list({file("a.jpg"), file("b.jpg"), file("c.jpg"), file("d.jpg")}));
  EXPECT_EQ(dlg.windowTitle(), "Batch rename progress...");
  dlg.show();

  ASSERT_TRUE(WaitFor([&] { return dlg.waitingForAnswer() && dlg.nameEdit()->text() == "a1.jpg"; }));
  EXPECT_EQ(dlg.fromLine()->text().toStdString(), "From: " + files_ + "/");
  EXPECT_EQ(dlg.fileLine()->text(), "File: a.jpg");
  EXPECT_EQ(dlg.toLine()->text().toStdString(), "To: " + files_ + "/");
  EXPECT_EQ(dlg.closeButton()->text(), "Stop");
  EXPECT_TRUE(dlg.renameButton()->isEnabled());
  EXPECT_TRUE(dlg.skipButton()->isEnabled());
  EXPECT_TRUE(dlg.renameAllButton()->isEnabled());
  EXPECT_FALSE(dlg.nameEdit()->isReadOnly());
  EXPECT_EQ(dlg.progressBar()->maximum(), 4);

  dlg.skipButton()->click();
  ASSERT_TRUE(WaitFor([&] { return dlg.waitingForAnswer() && dlg.nameEdit()->text() == "b2.jpg"; }));
  EXPECT_EQ(dlg.progressBar()->value(), 1);
  EXPECT_TRUE(exists(file("a.jpg")));

  dlg.renameButton()->click();
  ASSERT_TRUE(WaitFor([&] { return dlg.waitingForAnswer() && dlg.nameEdit()->text() == "c3.jpg"; }));
  EXPECT_TRUE(exists(file("b2.jpg")));

  dlg.renameAllButton()->click();
  ASSERT_TRUE(WaitFor([&] { return dlg.closeButton()->text() == "Close"; }));
  EXPECT_TRUE(dlg.jobDone());
  EXPECT_TRUE(exists(file("c3.jpg")));
  EXPECT_TRUE(exists(file("d4.jpg")));
  EXPECT_FALSE(dlg.renameButton()->isEnabled());
  EXPECT_FALSE(dlg.skipButton()->isEnabled());
  EXPECT_FALSE(dlg.renameAllButton()->isEnabled());
  EXPECT_TRUE(dlg.nameEdit()->isReadOnly());
  EXPECT_EQ(dlg.progressBar()->value(), dlg.progressBar()->maximum());
  const RenameResult result = dlg.result();
  EXPECT_EQ(result.renamed, 3);
  EXPECT_EQ(result.skipped, 1);

  // A click with no question open changes nothing.
  dlg.renameButton()->click();
  dlg.closeButton()->click();
  EXPECT_FALSE(dlg.isVisible());
}

TEST_F(RenameDialog, ClosingWhileAskingEndsTheJobBeforeTheFile) {
  touch("a.jpg");
  touch("b.jpg");
  CRenameProgressDlg dlg(list({file("a.jpg"), file("b.jpg")}));
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return dlg.waitingForAnswer(); }));
  dlg.closeButton()->click();
  ASSERT_TRUE(WaitFor([&] { return dlg.jobDone(); }));
  EXPECT_TRUE(dlg.result().stopped);
  EXPECT_TRUE(exists(file("a.jpg")));
  EXPECT_TRUE(exists(file("b.jpg")));
}

TEST_F(RenameDialog, CloseAfterClosesTheWindowWhenTheJobEnds) {
  settings_.renAskBefore = 0;
  settings_.optCloseAfter = 1;
  ASSERT_TRUE(settings_.Save());
  touch("a.jpg");
  CRenameProgressDlg dlg(list({file("a.jpg")}));
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return !dlg.isVisible(); }));
  EXPECT_TRUE(dlg.result().AllDone());
  EXPECT_TRUE(exists(file("a1.jpg")));
}

TEST_F(RenameDialog, AboutStartsTheConverterWithAbout) {
  const std::string script = TempPath("converter.sh"), answer = TempPath("about.txt");
  write(script, "#!/bin/sh\necho \"$@\" > '" + answer + "'\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kAppPathsKey) + "\\Converter.exe").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(script.c_str()),
                 static_cast<DWORD>(script.size() + 1));
  RegCloseKey(key);

  CRenameProgressDlg dlg(list({}));
  dlg.show();
  dlg.aboutButton()->click();
  ASSERT_TRUE(WaitFor([&] { return read(answer) == "/ABOUT\n"; })) << read(answer);
}

}  // namespace
}  // namespace converter
