// The progress dialog without a display: the lines it leaves on standard error
// and its Cancel state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/progress.h"

namespace {

using vel::ui::ProgressDialog;

// Collects the progress lines and removes the observer at the end of the scope.
class ProgressLines {
 public:
  ProgressLines() {
    vel::ui::SetProgressObserver([this](const std::string& line) { lines.push_back(line); });
  }
  ~ProgressLines() { vel::ui::SetProgressObserver({}); }
  std::vector<std::string> lines;
};

TEST(ProgressHeadless, NoWindowAndTheFirstLineAtOnce) {
  ProgressLines captured;
  ProgressDialog dialog("Printing", "Preparing...");
  EXPECT_EQ(dialog.window(), nullptr);
  EXPECT_EQ(dialog.cancelButton(), nullptr);
  EXPECT_EQ(captured.lines, (std::vector<std::string>{"Printing: Preparing..."}));
}

TEST(ProgressHeadless, EveryChangedLineOnceRepeatsSuppressed) {
  ProgressLines captured;
  ProgressDialog dialog("Export", "Exporting...");
  dialog.setLine("Page 1 of 2");
  dialog.setLine("Page 1 of 2");
  dialog.setLine("Saving...");
  dialog.setLine("Line\nbreak");
  EXPECT_EQ(captured.lines, (std::vector<std::string>{"Export: Exporting...", "Export: Page 1 of 2",
                                                      "Export: Saving...", "Export: Line\\nbreak"}));
  EXPECT_EQ(dialog.line(), "Line\nbreak");
}

TEST(ProgressHeadless, AtMostOneLinePerTenPercent) {
  ProgressLines captured;
  ProgressDialog dialog("Printing", "Preparing...");
  dialog.setRange(1000);
  dialog.setStep(1);
  for (int i = 0; i < 1000; ++i) dialog.stepIt();
  EXPECT_EQ(dialog.pos(), 1000);
  std::vector<std::string> expected{"Printing: Preparing..."};
  for (int p = 10; p <= 100; p += 10) expected.push_back("Printing: " + std::to_string(p) + "%");
  EXPECT_EQ(captured.lines, expected);
}

TEST(ProgressHeadless, BigJumpsWriteOnlyTheMarkReached) {
  ProgressLines captured;
  ProgressDialog dialog("T", "L");
  dialog.setRange(3);
  dialog.setPos(1);  // 33 %
  dialog.setPos(1);  // no change, no line
  dialog.setPos(2);  // 66 %
  dialog.setPos(1);  // going back writes nothing
  dialog.setPos(3);
  EXPECT_EQ(captured.lines, (std::vector<std::string>{"T: L", "T: 30%", "T: 60%", "T: 100%"}));
}

TEST(ProgressHeadless, PositionStaysInsideTheRange) {
  ProgressLines captured;
  ProgressDialog dialog("T", "L");
  dialog.setRange(5);
  dialog.setStep(2);
  dialog.stepIt();
  dialog.stepIt();
  EXPECT_EQ(dialog.pos(), 4);
  dialog.stepIt();
  EXPECT_EQ(dialog.pos(), 5);
  dialog.setPos(-3);
  EXPECT_EQ(dialog.pos(), 0);
  dialog.setPos(99);
  EXPECT_EQ(dialog.pos(), 5);
  // A new range starts from 0 and reports its marks again.
  captured.lines.clear();
  dialog.setRange(10);
  EXPECT_EQ(dialog.pos(), 0);
  dialog.setPos(5);
  EXPECT_EQ(captured.lines, (std::vector<std::string>{"T: 50%"}));
}

TEST(ProgressHeadless, EmptyRangeNeverDividesByZero) {
  ProgressLines captured;
  ProgressDialog dialog("T", "L");
  dialog.setRange(0);
  dialog.stepIt();
  dialog.setPos(7);
  EXPECT_EQ(dialog.pos(), 0);
  dialog.setRange(-4);
  EXPECT_EQ(dialog.range(), 0);
  EXPECT_EQ(captured.lines.size(), 1u);
}

TEST(ProgressHeadless, CancelStaysSet) {
  ProgressLines captured;
  ProgressDialog dialog("Export", "Exporting...");
  EXPECT_FALSE(dialog.cancelled());
  dialog.pump();
  EXPECT_FALSE(dialog.cancelled());
  dialog.cancel();
  dialog.pump();
  dialog.setPos(1);
  EXPECT_TRUE(dialog.cancelled());
}

TEST(ProgressHeadless, WithoutObserverLinesGoToStandardError) {
  testing::internal::CaptureStderr();
  {
    ProgressDialog dialog("Printing", "Preparing...");
    dialog.setRange(2);
    dialog.stepIt();
  }
  // The default step is 10, so one step fills the two-item bar.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Printing: Preparing...\nPrinting: 100%\n");
}

TEST(ProgressHeadless, NoWindowsWithoutDisplay) { EXPECT_FALSE(vel::ui::CanShowWindows()); }

}  // namespace
