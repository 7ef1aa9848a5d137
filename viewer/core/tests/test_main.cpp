// The viewer's tests run without a display, on Qt's offscreen platform.
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
