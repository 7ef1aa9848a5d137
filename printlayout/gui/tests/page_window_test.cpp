#include <gtest/gtest.h>

#include <QStatusBar>

#include "printlayout/gui/PageWindow.h"
#include "printlayout/model/tests/FakeEnvironment.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::TempFolder;
using testing::WritePicture;

TEST(PageWindow, ShowsEveryPrintablePageAndTheCounts) {
  testing::FakeEnvironment env;
  Project project(env);
  project.windowTitle = "Print Manager for Corbanix";
  project.insertPage(99);
  project.addImage("/nowhere/a.png", "", 10, 10, 1, 0, 15);
  PageWindow window(project);
  EXPECT_EQ(window.windowTitle().toStdString(), "Print Manager for Corbanix");
  EXPECT_EQ(window.pageWidgetCount(), 2);
  EXPECT_EQ(window.statusBar()->currentMessage().toStdString(), "1 Image(s) and 2 Page(s)");
  project.insertPage(99);
  window.refresh();
  EXPECT_EQ(window.pageWidgetCount(), 3);
}

TEST(PageWindow, PagesAreDrawnByTheRenderer) {
  TempFolder dir;
  ASSERT_TRUE(WritePicture(dir / "green.png", 40, 40, RGB(0, 200, 0), kExportPNG));
  testing::FakeEnvironment env;
  Project project(env);
  project.addImage(dir / "green.png", "", 40, 40, 1, 0, 15);
  ImagePlacement& p = *project.pages[1]->placements[0];
  p.x = 1050;
  p.y = 200;
  p.width = 850;
  p.height = 900;
  const QImage page = RenderPageImage(project, 1, 420);  // 0.5 mm per pixel
  EXPECT_EQ(page.height(), 594);
  // The box's centre is at (1475, 650) tenths of a mm: pixel (295, 130); the paper's
  // left half stays white.
  EXPECT_EQ(QColor(page.pixel(295, 120)), QColor(0, 200, 0));
  EXPECT_EQ(QColor(page.pixel(100, 120)), QColor(Qt::white));
}

}  // namespace
}  // namespace tessaly
