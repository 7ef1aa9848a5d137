// Test main of the print-layout program's windowed parts: always headless, so
// dialogs and progress go through the offscreen platform.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/ui.h"

int main(int argc, char** argv) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  vel::ui::EnsureApplication();
  return RUN_ALL_TESTS();
}
