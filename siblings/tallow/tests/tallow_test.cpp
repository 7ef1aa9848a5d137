// The about box: what it shows for the callers' arguments, and its handles.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"
#include "siblings/tallow/tallow.h"

namespace {

QLabel* Label(void* box, const char* name) { return tallow::AboutWidget(box)->findChild<QLabel*>(name); }

// A 32 x 32 icon, solid red where the mask lets it show.
HICON RedIcon() {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 32;
  info.bmiHeader.biHeight = 32;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!color) return nullptr;
  auto* p = static_cast<unsigned char*>(bits);
  for (int i = 0; i < 32 * 32; ++i) {
    p[i * 3] = 0;
    p[i * 3 + 1] = 0;
    p[i * 3 + 2] = 255;
  }
  HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);  // all zero: fully opaque
  HICON icon = CreateIconFromBitmaps(color, mask, TRUE, 0, 0);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

TEST(About, TheViewersCallShowsNameAndAddressButNoVersion) {
  void* box = CreateAbout(nullptr, "Malvito", nullptr, -1.0f, 0, 0, true);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Label(box, "aboutName")->text(), "Malvito");
  EXPECT_EQ(Label(box, "aboutVersion"), nullptr);
  ASSERT_NE(Label(box, "aboutLink"), nullptr);
  EXPECT_EQ(tallow::AboutWidget(box)->windowTitle(), "About Malvito");
  ReleaseAbout(box);
}

TEST(About, AVersionAboveZeroIsShownWithItsBuild) {
  void* box = CreateAbout(nullptr, "Tessaly", nullptr, 1.5f, 2, 3, false);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Label(box, "aboutVersion")->text(), "Version 1.50 (build 2.3)");
  EXPECT_EQ(Label(box, "aboutLink"), nullptr);
  ReleaseAbout(box);
  box = CreateAbout(nullptr, "Tessaly", nullptr, 0.0f, 0, 0, false);
  EXPECT_EQ(Label(box, "aboutVersion"), nullptr);
  ReleaseAbout(box);
}

TEST(About, TheIconIsDrawnIntoTheBox) {
  HICON icon = RedIcon();
  ASSERT_NE(icon, nullptr);
  void* box = CreateAbout(icon, "Malvito", nullptr, -1.0f, 0, 0, true);
  const QPixmap pixmap = Label(box, "aboutIcon")->pixmap();
  ASSERT_FALSE(pixmap.isNull());
  EXPECT_EQ(pixmap.size(), QSize(32, 32));
  EXPECT_EQ(pixmap.toImage().pixelColor(16, 16), QColor(255, 0, 0));
  ReleaseAbout(box);
  DestroyIcon(icon);
}

TEST(About, DoModalRunsUntilClosedAndHandlesAreChecked) {
  void* box = CreateAbout(nullptr, "Malvito", nullptr, -1.0f, 0, 0, true);
  QTimer::singleShot(0, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  EXPECT_EQ(DoModal(box), IDOK);
  ReleaseAbout(box);
  EXPECT_EQ(DoModal(box), -1);  // released
  ReleaseAbout(box);            // twice is harmless
  EXPECT_EQ(DoModal(nullptr), -1);
  int notABox = 0;
  EXPECT_EQ(DoModal(&notABox), -1);
  EXPECT_EQ(CreateAbout(nullptr, nullptr, nullptr, 0.0f, 0, 0, false), nullptr);
}

TEST(About, AParentThatGoesFirstTakesTheHandleWithIt) {
  auto* parent = new QWidget;
  void* box = CreateAbout(nullptr, "Tessaly", parent, 0.0f, 0, 0, false);
  ASSERT_NE(tallow::AboutWidget(box), nullptr);
  delete parent;
  EXPECT_EQ(tallow::AboutWidget(box), nullptr);
  EXPECT_EQ(DoModal(box), -1);
  ReleaseAbout(box);
}

}  // namespace
