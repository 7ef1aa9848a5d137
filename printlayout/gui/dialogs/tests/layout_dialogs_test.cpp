// The layout dialogs driven through their widgets: what each gives back for
// the layout operations, and the comment and warning dialogs run modally.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "FakeEnvironment.h"
#include "platform/ui/tests/qt_test_util.h"
#include "printlayout/gui/dialogs/LayoutDialogs.h"
#include "printlayout/gui/dialogs/tests/dialog_events.h"
#include "printlayout/print/ProjectOptionsWidgets.h"

namespace tessaly {
namespace {

using testing::Click;
using testing::Key;
using testing::WhenModal;
using vel::ui::testing::WaitFor;

class LayoutDialogsTest : public ::testing::Test {
 protected:
  LayoutDialogsTest() {
    while (project.pageCount() < 3) project.insertPage(-1);
    project.setModified(false);
  }
  ImagePlacement* addImage(const std::string& comment) {
    const int at = project.addImage("/photos/a.jpg", comment, 100, 80, 1, 0, 12);
    return project.pages[1]->placements[at].get();
  }
  static void Show(QWidget& w) {
    w.show();
    ASSERT_TRUE(WaitFor([&w] { return w.isVisible(); }));
  }

  testing::FakeEnvironment env;
  Project project{env};
};

// ---- Arrange -----------------------------------------------------------------

auto Tie(const ArrangeDialogFields& f) {
  return std::tie(f.fromPage, f.toPage, f.allPages, f.insertPages, f.columns, f.rows, f.spacingHmm, f.spacingVmm);
}

TEST_F(LayoutDialogsTest, ArrangeStartsFromTheProjectsGridWithinTheSpinRanges) {
  struct Case {
    int columns, rows, spacingH, spacingV;  // project
    ArrangeDialogFields want;
  } cases[] = {
      {3, 4, 30, 30, {1, 3, false, false, 3, 4, 3, 3}},
      {5, 2, 70, 120, {1, 3, false, false, 5, 2, 7, 12}},
      {20, 0, 5, 900, {1, 3, false, false, 15, 1, 1, 50}},  // stored values beyond the ranges
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    project.arrangeColumns = c.columns;
    project.arrangeRows = c.rows;
    project.arrangeSpacingH = c.spacingH;
    project.arrangeSpacingV = c.spacingV;
    ArrangeDialog d(project);
    EXPECT_EQ(Tie(d.fields()), Tie(c.want));
  }
  ArrangeDialog d(project);
  const std::pair<QSpinBox*, std::pair<int, int>> ranges[] = {{d.fromPage(), {1, 3}},  {d.toPage(), {1, 3}},
                                                              {d.columns(), {1, 15}},  {d.rows(), {1, 15}},
                                                              {d.spacingH(), {1, 50}}, {d.spacingV(), {1, 50}}};
  for (const auto& [spin, range] : ranges) EXPECT_EQ(std::make_pair(spin->minimum(), spin->maximum()), range);
}

TEST_F(LayoutDialogsTest, ArrangeTabOrderFollowsTheLayout) {
  ArrangeDialog d(project);
  Show(d);
  d.activateWindow();
  ASSERT_TRUE(WaitFor([&d] { return d.isActiveWindow(); }));
  d.fromPage()->setFocus();
  const std::vector<QWidget*> want = {d.fromPage(), d.toPage(),   d.allPages(), d.insertPages(),
                                      d.columns(),  d.spacingH(), d.rows(),     d.spacingV()};
  std::vector<QWidget*> got;
  while (got.size() < want.size()) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    // A spin box takes the focus in its line edit.
    got.push_back(qobject_cast<QSpinBox*>(focus->parentWidget()) ? focus->parentWidget() : focus);
    Key(focus, Qt::Key_Tab);
  }
  EXPECT_EQ(got, want);
}

TEST_F(LayoutDialogsTest, ArrangeFieldsAfterEditing) {
  ArrangeDialog d(project);
  Show(d);
  Click(d.allPages());
  EXPECT_FALSE(d.fromPage()->isEnabled() || d.toPage()->isEnabled());
  Click(d.allPages());
  EXPECT_TRUE(d.fromPage()->isEnabled() && d.toPage()->isEnabled());
  d.toPage()->setValue(2);
  Key(d.fromPage(), Qt::Key_Up);  // 1 -> 2
  Key(d.columns(), Qt::Key_Up);   // 3 -> 4
  Key(d.rows(), Qt::Key_Down);    // 4 -> 3
  d.spacingH()->setValue(12);
  d.spacingV()->setValue(99);  // kept at 50
  Click(d.insertPages());
  EXPECT_EQ(Tie(d.fields()), Tie({2, 2, false, true, 4, 3, 12, 50}));
  Click(d.allPages());
  EXPECT_TRUE(d.fields().allPages);
  // A range never runs backwards: each end follows the other.
  d.fromPage()->setValue(3);
  EXPECT_EQ(d.fields().toPage, 3);
  d.toPage()->setValue(1);
  EXPECT_EQ(d.fields().fromPage, 1);
}

// ---- Align and Distribute, Multiple Size ----------------------------------------------

TEST_F(LayoutDialogsTest, AlignChoicesGiveTheirFlags) {
  struct Case {
    int h, v;
    const char* clicks;  // E "Page edge", C "Page center", in order
    std::uint32_t flags;
  } cases[] = {
      {0, 0, "", 0},
      {1, 0, "", 0x01},
      {2, 3, "E", 0x02 | 0x40 | 0x100 | 0x1000},
      {3, 1, "C", 0x04 | 0x10 | 0x200 | 0x2000},
      {0, 2, "CE", 0x20 | 0x1000},  // the references exclude each other
      {1, 1, "EC", 0x11 | 0x200 | 0x2000},
      {2, 2, "EE", 0x22},  // unchecked again: the selection
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    AlignDistributeSheet d;
    Show(d);
    Click(d.alignHorizontal(c.h));
    Click(d.alignVertical(c.v));
    for (const char* k = c.clicks; *k; ++k) Click(*k == 'E' ? d.pageEdge() : d.pageCenter());
    EXPECT_EQ(AlignDialogFlags(d.alignFields()), c.flags);
    EXPECT_FALSE(d.pageEdge()->isChecked() && d.pageCenter()->isChecked());
  }
}

TEST_F(LayoutDialogsTest, DistributeChoicesGiveTheirFlags) {
  struct Case {
    int h, v;
    bool pageExtent;
    std::uint32_t flags;
  } cases[] = {
      {0, 0, false, 0},
      {3, 0, false, 0x40000},
      {1, 4, true, 0x10000 | 0x800000 | 0x1000000},
      {2, 2, false, 0x20000 | 0x200000},
      {4, 3, false, 0x80000 | 0x400000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    AlignDistributeSheet d;
    d.tabs()->setCurrentIndex(1);
    Show(d);
    Click(d.distributeHorizontal(c.h));
    Click(d.distributeVertical(c.v));
    Click(c.pageExtent ? d.pageExtent() : d.selectionExtent());
    EXPECT_EQ(DistributeDialogFlags(d.distributeFields()), c.flags);
    EXPECT_EQ(AlignDialogFlags(d.alignFields()), 0u);
  }
}

TEST_F(LayoutDialogsTest, MultipleSizeFlags) {
  struct Case {
    int width, height;
    bool margins, proportional;
    std::uint32_t flags;
  } cases[] = {
      {0, 0, false, false, 0},
      {1, 4, true, false, 0x10 | 0x08 | 0x100},
      {1, 4, true, true, 0x10 | 0x08 | 0x100},  // the ratio check does not reach the flags
      {2, 2, false, false, 0x22},
      {3, 3, false, true, 0x44},
      {4, 1, false, false, 0x81},
      {0, 3, true, false, 0x104},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    MultipleSizeDialog d;
    Show(d);
    EXPECT_EQ(d.flags(), 0u);  // no change by default
    Click(d.width(c.width));
    Click(d.height(c.height));
    if (c.margins) Click(d.pageMargins());
    if (c.proportional) Click(d.proportional());
    EXPECT_EQ(d.flags(), c.flags);
  }
}

TEST_F(LayoutDialogsTest, TextsAsSpelled) {
  const auto join = [](std::initializer_list<std::function<QAbstractButton*(int)>> groups, int count) {
    QStringList out;
    for (const auto& group : groups)
      for (int i = 0; i < count; ++i) out << group(i)->text();
    return out.join('|').toStdString();
  };
  AlignDistributeSheet d;
  EXPECT_EQ(join({[&](int i) { return d.alignHorizontal(i); }, [&](int i) { return d.alignVertical(i); }}, 4),
            "&No change|&Left|&Center|&Right|No c&hange|&Top|C&enter|&Bottom");
  EXPECT_EQ(join({[&](int i) { return d.distributeHorizontal(i); }, [&](int i) { return d.distributeVertical(i); }}, 5),
            "&No change|&Left|&Center|&Spacing|&Right|No c&hange|&Top|C&enter|S&pacing|&Bottom");
  MultipleSizeDialog m;
  EXPECT_EQ(join({[&](int i) { return m.width(i); }, [&](int i) { return m.height(i); }}, 5),
            "No &change|&Narrowest|&Original|&Same|&Widest|No chan&ge|&Lowest|Original|Same|&Highest");
  ArrangeDialog a(project);
  const std::pair<QAbstractButton*, const char*> singles[] = {{a.allPages(), "&All Pages"},
                                                              {a.insertPages(), "&Insert pages if necessary"},
                                                              {d.pageEdge(), "Page edge"},
                                                              {d.pageCenter(), "Page center"},
                                                              {d.selectionExtent(), "Selection Extent"},
                                                              {d.pageExtent(), "Page E&xtent"},
                                                              {m.pageMargins(), "Use Page Margins"},
                                                              {m.proportional(), "Proportional ratio"}};
  for (const auto& [button, text] : singles) EXPECT_EQ(button->text(), text);
  const std::pair<QWidget*, const char*> titles[] = {
      {&a, "Arrange"}, {&d, "Align and Distribute"}, {&m, "Multiple Size"}};
  for (const auto& [w, title] : titles) EXPECT_EQ(w->windowTitle(), title);
  EXPECT_TRUE(d.selectionExtent()->isChecked());
}

// ---- Image comment -------------------------------------------------------------------------

TEST_F(LayoutDialogsTest, MacroMenuInsertsAtTheCursor) {
  struct Case {
    int cursor;
    const char* want;
  } cases[] = {{5, "Trip &[Image]"}, {0, "&[Image]Trip "}, {2, "Tr&[Image]ip "}};
  for (const Case& c : cases) {
    ImageCommentDialog d("Trip ");
    Show(d);
    d.commentText()->setCursorPosition(c.cursor);
    QAction* image = nullptr;
    for (QAction* a : d.macroButton()->macroMenu()->actions())
      if (a->text() == "&Image name") image = a;
    ASSERT_NE(image, nullptr);
    image->trigger();
    EXPECT_EQ(d.comment(), c.want);
  }
}

TEST_F(LayoutDialogsTest, EditImageCommentStoresIntoEveryImage) {
  struct Case {
    const char* first;
    const char* second;
    const char* typed;  // nullptr: Cancel
    bool changed;
    const char* wantFirst;
    const char* wantSecond;
  } cases[] = {
      {"a", "b", "&[Image] x", true, "&[Image] x", "&[Image] x"},
      {"a", "b", nullptr, false, "a", "b"},
      {"same", "same", "same", false, "same", "same"},
      {"same", "other", "same", true, "same", "same"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first + std::string("/") + c.second);
    ImagePlacement* one = addImage(c.first);
    ImagePlacement* two = addImage(c.second);
    project.setModified(false);
    QString shown;
    WhenModal([&](QWidget* modal) {
      auto* d = dynamic_cast<ImageCommentDialog*>(modal);
      if (!d) {
        modal->close();
        return;
      }
      shown = d->commentText()->text();
      if (c.typed) d->commentText()->setText(QString::fromLatin1(c.typed));
      Click(d->buttons()->button(c.typed ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel));
    });
    EXPECT_EQ(EditImageComment(project, {one, two}, nullptr), c.changed);
    EXPECT_EQ(shown, c.first);
    EXPECT_EQ(one->comment, c.wantFirst);
    EXPECT_EQ(two->comment, c.wantSecond);
    EXPECT_EQ(project.modified, c.changed ? 1 : 0);
  }
  EXPECT_FALSE(EditImageComment(project, {}, nullptr));
}

// ---- Goto page ------------------------------------------------------------------------------------

TEST_F(LayoutDialogsTest, GotoPageCountsInPrintedNumbers) {
  project.firstPageNumber = 5;
  struct Case {
    int current;  // page entry shown first
    int start;    // the number it shows
    int typed;
    int index;  // entry of the typed number
  } cases[] = {{2, 6, 7, 3}, {1, 5, 6, 2}, {3, 7, 5, 1}, {9, 7, 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.current);
    GotoPageDialog d(project, c.current);
    EXPECT_EQ(d.number()->minimum(), 5);
    EXPECT_EQ(d.number()->maximum(), 7);
    EXPECT_EQ(d.number()->value(), c.start);
    EXPECT_EQ(d.pageIndex(), std::clamp(c.current, 1, 3));
    d.number()->setValue(c.typed);
    EXPECT_EQ(d.pageIndex(), c.index);
  }
}

// ---- Warning ----------------------------------------------------------------------------------------

TEST_F(LayoutDialogsTest, WarningAnswers) {
  struct Case {
    int key;  // the button clicked, or a key typed
    bool tick, turnOff, dontAsk;
  } cases[] = {{QDialogButtonBox::Yes, true, true, true}, {QDialogButtonBox::No, false, false, false},
               {QDialogButtonBox::No, true, false, true}, {QDialogButtonBox::Yes, false, true, false},
               {Qt::Key_Escape, false, false, false},     {Qt::Key_Return, false, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key + c.tick);
    AutoArrangeWarning warning;
    EXPECT_EQ(warning.windowTitle(), "Warning");
    EXPECT_EQ(warning.doNotAsk()->text(), "Do not ask me later");
    WhenModal([&](QWidget* modal) {
      if (c.tick) Click(warning.doNotAsk());
      if (QPushButton* button = warning.buttons()->button(QDialogButtonBox::StandardButton(c.key)))
        Click(button);
      else
        Key(modal, c.key);
    });
    const AutoArrangeAnswer answer = warning.ask();
    EXPECT_EQ(answer.turnOff, c.turnOff);
    EXPECT_EQ(answer.dontAskMore, c.dontAsk);
  }
}

}  // namespace
}  // namespace tessaly
