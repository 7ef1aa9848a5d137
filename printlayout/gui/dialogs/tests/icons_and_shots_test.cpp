// The window's icons (every name, crisp drawings, mirrored variants, the
// palette's colour) and every layout dialog shown whole, with pictures of both
// when VELMARK_SHOTS is set.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QTabWidget>

#include <functional>
#include <memory>
#include <set>

#include "FakeEnvironment.h"
#include "platform/ui/icons.h"
#include "platform/ui/tests/qt_test_util.h"
#include "printlayout/gui/dialogs/LayoutDialogs.h"
#include "printlayout/gui/dialogs/TessalyIcons.h"

namespace tessaly {
namespace {

using vel::ui::testing::ExpectNothingClipped;
using vel::ui::testing::SaveShotIfAsked;
using vel::ui::testing::WaitFor;

const QStringList kNames = {"align-left",       "align-hcenter",   "align-right", "align-top",    "align-vcenter",
                            "align-bottom",     "space-across",    "space-down",  "same-width",   "same-height",
                            "same-both",        "size-to-content", "arrange",     "auto-arrange", "align-distribute",
                            "synchronize-size", "shadow",          "page-width",  "whole-page",   "two-pages",
                            "three-pages",      "four-pages",      "page-setup",  "export",       "full-screen",
                            "goto-page",        "comment",         "inspector",   "program"};

QImage Image(const QString& name, int size) {
  return TessalyIcon(name).pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The image with x and y swapped, or mirrored left to right.
QImage Transposed(const QImage& in) {
  QImage out(in.height(), in.width(), QImage::Format_ARGB32);
  for (int y = 0; y < in.height(); ++y)
    for (int x = 0; x < in.width(); ++x) out.setPixel(y, x, in.pixel(x, y));
  return out;
}
QImage Mirrored(const QImage& in) { return in.mirrored(true, false); }

class TessalyIconsTest : public ::testing::Test {
 protected:
  // As the window does at start: the desktop theme first, our drawings where it has nothing.
  static void SetUpTestSuite() { vel::ui::SetUpIconTheme(); }
};

TEST_F(TessalyIconsTest, EveryNameGivesAnIcon) {
  EXPECT_EQ(TessalyIconNames(), kNames);
  for (const QString& name : kNames) {
    SCOPED_TRACE(name.toStdString());
    const QImage image = Image(name, 24);
    ASSERT_EQ(image.size(), QSize(24, 24));
    int drawn = 0;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) drawn += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(drawn, 24);            // something is there
    EXPECT_LT(drawn, 24 * 24 - 10);  // on a transparent ground
  }
  EXPECT_TRUE(TessalyIcon("align-sideways").isNull());
  EXPECT_TRUE(TessalyIcon("").isNull());
}

TEST_F(TessalyIconsTest, VariantsAreExactMirrorsOfOneDrawing) {
  struct Case {
    const char* name;
    const char* base;
    std::function<QImage(const QImage&)> from;
  } cases[] = {
      {"align-right", "align-left", Mirrored},
      {"align-top", "align-left", Transposed},
      {"align-bottom", "align-left", [](const QImage& i) { return Transposed(Mirrored(i)); }},
      {"align-vcenter", "align-hcenter", Transposed},
      {"space-down", "space-across", Transposed},
  };
  for (int size : {16, 22, 24, 32, 48})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(size));
      EXPECT_EQ(Image(c.name, size), c.from(Image(c.base, size)));
    }
  // The centre guide and its boxes sit symmetrically about the middle.
  for (int size : {16, 22, 24, 32, 48}) EXPECT_EQ(Image("align-hcenter", size), Mirrored(Image("align-hcenter", size)));
}

// Drawings and the theme's one-colour glyphs take the palette's text colour
// (here a dark palette's); box drawings have no blurred edges.
TEST_F(TessalyIconsTest, IconsAreInkedInTheTextColour) {
  const QPalette normal = QApplication::palette();
  QPalette dark = normal;
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xec));
  struct Case {
    const char* name;
    bool crisp;
  } cases[] = {{"align-left", true}, {"align-hcenter", true}, {"space-across", true}, {"align-distribute", true},
               {"four-pages", true}, {"shadow", false},       {"goto-page", false},   {"arrange", false}};
  for (const Case& c : cases)
    for (int size : {16, 24, 48}) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(size));
      QApplication::setPalette(dark);
      const QImage image = Image(c.name, size);
      QApplication::setPalette(normal);
      EXPECT_NE(Image(c.name, size), image);
      std::set<int> alphas;
      int inked = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          alphas.insert(qAlpha(image.pixel(x, y)));
          inked += image.pixel(x, y) == qRgba(0xee, 0xee, 0xec, 255);
        }
      EXPECT_GT(inked, size);
      // Outlines opaque, interiors one tint, nothing in between.
      if (c.crisp) {
        EXPECT_EQ(alphas.size(), 3u);
      }
    }
}

// Every icon at 24 and 48 pixels on a light and a dark ground.
TEST_F(TessalyIconsTest, IconSheet) {
  constexpr int kColumns = 3, kCellW = 330, kCellH = 60, kLabelW = 130, kPanelW = 96;
  const int rows = (kNames.size() + kColumns - 1) / kColumns;
  QPixmap sheet(kColumns * kCellW, rows * kCellH);
  sheet.fill(QColor(0xde, 0xdd, 0xda));
  const QPalette normal = QApplication::palette();
  QPalette dark = normal;
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xec));
  QPainter p(&sheet);
  for (int i = 0; i < kNames.size(); ++i) {
    const int x = (i / rows) * kCellW, y = (i % rows) * kCellH;
    p.setPen(Qt::black);
    p.drawText(QRect(x + 6, y, kLabelW, kCellH), Qt::AlignVCenter, kNames[i]);
    for (int panel = 0; panel < 2; ++panel) {
      const int px = x + kLabelW + panel * (kPanelW + 4);
      p.fillRect(QRect(px, y + 4, kPanelW, kCellH - 8), panel ? QColor(0x30, 0x30, 0x30) : QColor(0xfa, 0xfa, 0xfa));
      QApplication::setPalette(panel ? dark : normal);
      const QIcon icon = TessalyIcon(kNames[i]);
      p.drawPixmap(px + 8, y + (kCellH - 24) / 2, icon.pixmap(24));
      p.drawPixmap(px + 40, y + (kCellH - 48) / 2, icon.pixmap(48));
    }
  }
  QApplication::setPalette(normal);
  p.end();
  QLabel label;
  label.setPixmap(sheet);
  label.resize(sheet.size());
  EXPECT_FALSE(label.grab().isNull());
  SaveShotIfAsked(label, "tessaly-icons");
}

// ---- the dialogs, shown whole ---------------------------------------------------------

TEST(LayoutDialogShots, EveryDialogShowsItsTextsWhole) {
  testing::FakeEnvironment env;
  Project project(env);
  while (project.pageCount() < 4) project.insertPage(-1);
  struct Shot {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> make;
    int tab;  // the sheet's page to show, -1 for other dialogs
  } shots[] = {
      {"arrange", [&] { return std::make_unique<ArrangeDialog>(project); }, -1},
      {"align", [] { return std::make_unique<AlignDistributeSheet>(); }, 0},
      {"distribute", [] { return std::make_unique<AlignDistributeSheet>(); }, 1},
      {"multiple-size", [] { return std::make_unique<MultipleSizeDialog>(); }, -1},
      {"image-comment", [] { return std::make_unique<ImageCommentDialog>("&[Image]"); }, -1},
      {"goto-page", [&] { return std::make_unique<GotoPageDialog>(project, 2); }, -1},
      {"warning", [] { return std::make_unique<AutoArrangeWarning>(); }, -1},
  };
  for (const Shot& shot : shots) {
    SCOPED_TRACE(shot.name);
    std::unique_ptr<QDialog> dialog = shot.make();
    if (shot.tab >= 0) static_cast<AlignDistributeSheet*>(dialog.get())->tabs()->setCurrentIndex(shot.tab);
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    ExpectNothingClipped(*dialog);
    // One default button, the one that accepts (OK, or Yes for the question).
    int defaults = 0;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      if (!button->isDefault()) continue;
      ++defaults;
      auto* box = qobject_cast<QDialogButtonBox*>(button->parentWidget());
      ASSERT_NE(box, nullptr);
      const QDialogButtonBox::StandardButton which = box->standardButton(button);
      EXPECT_TRUE(which == QDialogButtonBox::Ok || which == QDialogButtonBox::Yes);
    }
    EXPECT_EQ(defaults, 1);
    // Wide enough for the caption beside the title bar's buttons.
    EXPECT_GT(dialog->width(), dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()) + 60);
    SaveShotIfAsked(*dialog, std::string("tessaly-dialog-") + shot.name);
  }
}

}  // namespace
}  // namespace tessaly
