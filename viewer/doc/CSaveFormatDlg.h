// The "Save as..." chooser of the close prompt: one radio button per format the
// viewer writes, in the order of the Save As menu.
#pragma once

#include <QDialog>

class QButtonGroup;

namespace orvenna {

class CSaveFormatDlg : public QDialog {
  Q_OBJECT

 public:
  // `preselected` is the ID_SAVE_... command whose button starts checked.
  explicit CSaveFormatDlg(int preselected, QWidget* parent = nullptr);

  // The ID_SAVE_... command of the checked button.
  int Selected() const;
  // Checks the button of an ID_SAVE_... command; false for any other number.
  bool Select(int command);

  // The twelve commands in the order of the buttons.
  static const int* Commands(int* count);

 private:
  QButtonGroup* group_;
};

}  // namespace orvenna
