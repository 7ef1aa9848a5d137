// Message boxes and the application object, run without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace {

using vel::ui::DefaultAnswer;
using vel::ui::HeadlessLine;

// Sets an environment variable for one scope and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    had_ = old != nullptr;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// Clears the observer even when an assertion leaves the test early.
struct ObserverGuard {
  ~ObserverGuard() { vel::ui::SetMessageObserver({}); }
};

TEST(HeadlessLineTest, TitleColonSpaceText) {
  EXPECT_EQ(HeadlessLine("Tessaly", "Printer not found"), "Tessaly: Printer not found");
  EXPECT_EQ(HeadlessLine("Tessaly", ""), "Tessaly: ");
  EXPECT_EQ(HeadlessLine("", "x"), ": x");
}

TEST(HeadlessLineTest, LineBreaksBecomeBackslashN) {
  EXPECT_EQ(HeadlessLine("T", "one\ntwo"), "T: one\\ntwo");
  EXPECT_EQ(HeadlessLine("T", "a\n\nb\n"), "T: a\\n\\nb\\n");
  // Windows texts break lines with CR LF: one break, not two.
  EXPECT_EQ(HeadlessLine("T", "one\r\ntwo\r\n"), "T: one\\ntwo\\n");
  EXPECT_EQ(HeadlessLine("T", "one\rtwo"), "T: one\\ntwo");
  EXPECT_EQ(HeadlessLine("T", "\r\n\n"), "T: \\n\\n");
}

TEST(HeadlessLineTest, OtherCharactersPassUnchanged) {
  EXPECT_EQ(HeadlessLine("T", "C:\\dir\\file.tsy"), "T: C:\\dir\\file.tsy");
  EXPECT_EQ(HeadlessLine("T", "tab\there"), "T: tab\there");
  EXPECT_EQ(HeadlessLine("T", "caf\xc3\xa9 \xe9"), "T: caf\xc3\xa9 \xe9");
}

TEST(DefaultAnswerTest, FirstButtonUnlessDefButton2) {
  EXPECT_EQ(DefaultAnswer(MB_OK), IDOK);
  EXPECT_EQ(DefaultAnswer(MB_OKCANCEL), IDOK);
  EXPECT_EQ(DefaultAnswer(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(DefaultAnswer(MB_YESNO), IDYES);
  EXPECT_EQ(DefaultAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(DefaultAnswer(MB_YESNOCANCEL), IDYES);
  EXPECT_EQ(DefaultAnswer(MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
  // Icons share the type word but do not change the buttons.
  EXPECT_EQ(DefaultAnswer(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(DefaultAnswer(MB_OKCANCEL | MB_ICONERROR), IDOK);
}

TEST(DefaultAnswerTest, OddTypesStillGiveAnAnswer) {
  // A second default button on a one-button box, or a button set we do not know,
  // must still give a button that exists.
  EXPECT_EQ(DefaultAnswer(MB_OK | MB_DEFBUTTON2), IDOK);
  EXPECT_EQ(DefaultAnswer(0x0000000F), IDOK);
  EXPECT_EQ(DefaultAnswer(0xFFFFFFFFu), IDOK);
}

TEST(HasDisplayTest, FollowsDisplayVariables) {
  {
    EnvGuard d("DISPLAY", nullptr), w("WAYLAND_DISPLAY", nullptr);
    EXPECT_FALSE(vel::ui::HasDisplay());
  }
  {
    EnvGuard d("DISPLAY", ""), w("WAYLAND_DISPLAY", "");
    EXPECT_FALSE(vel::ui::HasDisplay());
  }
  {
    EnvGuard d("DISPLAY", ":0"), w("WAYLAND_DISPLAY", nullptr);
    EXPECT_TRUE(vel::ui::HasDisplay());
  }
  {
    EnvGuard d("DISPLAY", nullptr), w("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(vel::ui::HasDisplay());
  }
}

TEST(MessageBoxTest, HeadlessWritesOneLinePerBoxAndAnswersDefault) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(vel::ui::MessageBox("Tessaly", "Cannot open\nthe file", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(vel::ui::MessageBox("A", "first"), IDOK);
  EXPECT_EQ(vel::ui::MessageBox("B", "second\r\n", MB_OKCANCEL), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tessaly: Cannot open\\nthe file\nA: first\nB: second\\n\n");
}

TEST(MessageBoxTest, OffscreenPlatformIsHeadlessEvenWithDisplaySet) {
  vel::ui::EnsureApplication();
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  // A display variable alone must not make a box that blocks on the offscreen platform.
  EnvGuard d("DISPLAY", ":99");
  testing::internal::CaptureStderr();
  EXPECT_EQ(vel::ui::MessageBox("T", "still headless", MB_OKCANCEL), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "T: still headless\n");
}

TEST(MessageObserverTest, ObserverSeesBoxAndGivesAnswer) {
  ObserverGuard guard;
  std::vector<std::string> seen;
  unsigned seenType = 0;
  vel::ui::SetMessageObserver([&](const std::string& title, const std::string& text, unsigned type) {
    seen.push_back(title + "|" + text);
    seenType = type;
    return IDNO;
  });
  testing::internal::CaptureStderr();
  int answer = vel::ui::MessageBox("Tessaly", "Save changes?\nNow", MB_YESNOCANCEL | MB_ICONWARNING);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDNO);  // the observer's answer, not the default IDYES
  EXPECT_TRUE(err.empty()) << err;
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "Tessaly|Save changes?\nNow");  // raw text, line breaks untouched
  EXPECT_EQ(seenType, MB_YESNOCANCEL | MB_ICONWARNING);
}

TEST(MessageObserverTest, EmptyObserverRestoresStderr) {
  int calls = 0;
  unsigned seenType = 0xDEAD;
  vel::ui::SetMessageObserver([&](const std::string&, const std::string&, unsigned type) {
    ++calls;
    seenType = type;
    return IDCANCEL;
  });
  EXPECT_EQ(vel::ui::MessageBox("T", "x"), IDCANCEL);
  EXPECT_EQ(seenType, MB_OK);  // the default type
  vel::ui::SetMessageObserver({});
  testing::internal::CaptureStderr();
  EXPECT_EQ(vel::ui::MessageBox("T", "back", MB_YESNO), IDYES);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "T: back\n");
  EXPECT_EQ(calls, 1);
}

TEST(ApplicationTest, EnsureApplicationMakesOneWidgetApplication) {
  vel::ui::EnsureApplication();
  QCoreApplication* first = QCoreApplication::instance();
  ASSERT_NE(first, nullptr);
  EXPECT_NE(qobject_cast<QApplication*>(first), nullptr);
  vel::ui::EnsureApplication();
  EXPECT_EQ(QCoreApplication::instance(), first);
  EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "offscreen");
}

TEST(ApplicationTest, WineFontsAreRegisteredOnce) {
  vel::ui::EnsureApplication();
  if (!std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf")) GTEST_SKIP() << "fonts-wine is not installed";
  EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("Tahoma")));
  const qsizetype before = QFontDatabase::families().size();
  vel::ui::RegisterExtraFonts();
  vel::ui::RegisterExtraFonts();
  EXPECT_EQ(QFontDatabase::families().size(), before);
}

// These run in a fresh copy of the test program, where no application exists yet.
class FreshProcessTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

[[noreturn]] void KeepCoreApplication() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  QCoreApplication core(argc, argv);
  vel::ui::EnsureApplication();
  bool ok = QCoreApplication::instance() == &core && !qobject_cast<QGuiApplication*>(&core);
  // With no GUI application the box cannot be a window: it must still answer.
  ok = ok && vel::ui::MessageBox("T", "core only", MB_YESNO | MB_DEFBUTTON2) == IDNO;
  std::exit(ok ? 0 : 1);
}

[[noreturn]] void KeepUserPlatform() {
  setenv("QT_QPA_PLATFORM", "minimal", 1);
  vel::ui::EnsureApplication();
  std::exit(QGuiApplication::platformName() == QStringLiteral("minimal") ? 0 : 1);
}

TEST_F(FreshProcessTest, ExistingCoreApplicationIsLeftAlone) {
  EXPECT_EXIT(KeepCoreApplication(), testing::ExitedWithCode(0), "T: core only");
}

TEST_F(FreshProcessTest, UserChosenPlatformIsKept) { EXPECT_EXIT(KeepUserPlatform(), testing::ExitedWithCode(0), ""); }

}  // namespace

int main(int argc, char** argv) {
  // Every test here is about running without a display.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
