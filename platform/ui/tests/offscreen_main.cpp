// The test main of everything with windows: always headless, on Qt's offscreen
// platform, with the application object made before the first test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/ui.h"

int main(int argc, char** argv) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  vel::ui::EnsureApplication();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
