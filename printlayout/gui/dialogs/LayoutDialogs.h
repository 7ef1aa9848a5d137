// The layout dialogs of the print-layout window: "Arrange", the "Align and
// Distribute" sheet with its "Align" and "Distribute" pages, "Multiple Size",
// "Image comment", "Goto page" and the auto-arrange "Warning".
//
// Each dialog reads its fields from the project and gives back the field
// record of the layout operations; the window runs the operation.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

#include "printlayout/gui/GuiTypes.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/model/Project.h"

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace tessaly {

class MacroButton;

constexpr const char* kArrangeTitle = "Arrange";
constexpr const char* kAlignDistributeTitle = "Align and Distribute";
constexpr const char* kMultipleSizeTitle = "Multiple Size";
constexpr const char* kImageCommentTitle = "Image comment";
constexpr const char* kGotoPageTitle = "Goto page";
constexpr const char* kWarningTitle = "Warning";
constexpr const char* kAutoArrangeLine1 = "Now you are in the AutoArrange mode.";
constexpr const char* kAutoArrangeLine2 = "Do you want to turn off AutoArrange mode?";
constexpr const char* kDoNotAskText = "Do not ask me later";

// "Arrange": From, To, "&All Pages", "&Insert pages if necessary", the
// horizontal and vertical counts (1 ... 15) and spaces (1 ... 50 mm).
class ArrangeDialog : public QDialog {
 public:
  ArrangeDialog(const Project& project, QWidget* parent = nullptr);
  ArrangeDialogFields fields() const;

  QSpinBox* fromPage() const { return from_; }
  QSpinBox* toPage() const { return to_; }
  QCheckBox* allPages() const { return all_; }
  QCheckBox* insertPages() const { return insert_; }
  QSpinBox* columns() const { return columns_; }
  QSpinBox* rows() const { return rows_; }
  QSpinBox* spacingH() const { return spacingH_; }
  QSpinBox* spacingV() const { return spacingV_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  QSpinBox *from_, *to_, *columns_, *rows_, *spacingH_, *spacingV_;
  QCheckBox *all_, *insert_;
  QDialogButtonBox* buttons_;
};

// "Align and Distribute": the "Align" and "Distribute" pages in one sheet.
// OK gives the align flags and the distribute flags (0 for a page left as it
// is); the window runs align, then distribute.
class AlignDistributeSheet : public QDialog {
 public:
  explicit AlignDistributeSheet(QWidget* parent = nullptr);
  AlignDialogFields alignFields() const;
  DistributeDialogFields distributeFields() const;

  QTabWidget* tabs() const { return tabs_; }
  // Align page: index 0 none, 1 Left/Top, 2 Center, 3 Right/Bottom.
  QRadioButton* alignHorizontal(int index) const { return alignH_[index]; }
  QRadioButton* alignVertical(int index) const { return alignV_[index]; }
  QCheckBox* pageEdge() const { return pageEdge_; }
  QCheckBox* pageCenter() const { return pageCenter_; }
  // Distribute page: index 0 none, 1 Left/Top, 2 Center, 3 Spacing, 4 Right/Bottom.
  QRadioButton* distributeHorizontal(int index) const { return distH_[index]; }
  QRadioButton* distributeVertical(int index) const { return distV_[index]; }
  QRadioButton* selectionExtent() const { return selectionExtent_; }
  QRadioButton* pageExtent() const { return pageExtent_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  QTabWidget* tabs_;
  QRadioButton* alignH_[4];
  QRadioButton* alignV_[4];
  QCheckBox *pageEdge_, *pageCenter_;
  QRadioButton* distH_[5];
  QRadioButton* distV_[5];
  QRadioButton *selectionExtent_, *pageExtent_;
  QDialogButtonBox* buttons_;
};

// "Multiple Size": width "&Narrowest", "&Original", "&Same", "&Widest", height
// "&Lowest", "Original", "Same", "&Highest" (each group may be left unset),
// "Use Page Margins" and "Proportional ratio" (shown; it does not reach the
// flags).
class MultipleSizeDialog : public QDialog {
 public:
  explicit MultipleSizeDialog(QWidget* parent = nullptr);
  // The synchronizeSize flags.
  std::uint32_t flags() const;

  // Width: index 0 unchanged, 1 Narrowest, 2 Original, 3 Same, 4 Widest;
  // height: 0 unchanged, 1 Lowest, 2 Original, 3 Same, 4 Highest.
  QRadioButton* width(int index) const { return width_[index]; }
  QRadioButton* height(int index) const { return height_[index]; }
  QCheckBox* pageMargins() const { return margins_; }
  QCheckBox* proportional() const { return proportional_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  QRadioButton* width_[5];
  QRadioButton* height_[5];
  QCheckBox *margins_, *proportional_;
  QDialogButtonBox* buttons_;
};

// "Image comment": "Comment:" with the "Macro" button.
class ImageCommentDialog : public QDialog {
 public:
  ImageCommentDialog(const std::string& comment, QWidget* parent = nullptr);
  std::string comment() const;

  QLineEdit* commentText() const { return text_; }
  MacroButton* macroButton() const { return macro_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  QLineEdit* text_;
  MacroButton* macro_;
  QDialogButtonBox* buttons_;
};

// "Goto page": "Goto at Page Number:" with a spin button over the page
// numbers as printed (firstPageNumber ... last).
class GotoPageDialog : public QDialog {
 public:
  GotoPageDialog(const Project& project, int currentPageIndex, QWidget* parent = nullptr);
  // The chosen page entry (1 ... n-1).
  int pageIndex() const;

  QSpinBox* number() const { return number_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  const Project& project_;
  QSpinBox* number_;
  QDialogButtonBox* buttons_;
};

// The "Warning" of a hand move in auto-arrange mode: the two lines, "Yes",
// "No" and "Do not ask me later".
class AutoArrangeWarning : public QDialog {
 public:
  explicit AutoArrangeWarning(QWidget* parent = nullptr);
  // Shows the dialog and gives the answer ("No" when closed otherwise).
  AutoArrangeAnswer ask();

  QCheckBox* doNotAsk() const { return doNotAsk_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  QCheckBox* doNotAsk_;
  QDialogButtonBox* buttons_;
  bool yes_ = false;
};

// The "Image comment" work: asks for the comment of the images (the dialog
// shows the first one's) and stores it in each; true when it changed anything.
bool EditImageComment(Project& project, const Selection& images, QWidget* parent);

}  // namespace tessaly
