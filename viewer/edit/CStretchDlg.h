// "Stretch settings": the new size of a raster picture and how to resample it.
#pragma once

#include <QDialog>

class QComboBox;

namespace orvenna {

class CSizeFields;

class CStretchDlg : public QDialog {
  Q_OBJECT

 public:
  // The resampling choices, by index.
  static constexpr int kMethodCount = 4;
  static const char* const kMethodTexts[kMethodCount];
  // The method number StretchImage takes for a choice; 0 for any other index.
  static int MethodNumber(int index);

  CStretchDlg(QWidget* parent, int width, int height, bool constrain, int methodIndex);

  int NewWidth() const { return newWidth_; }
  int NewHeight() const { return newHeight_; }
  bool Constrain() const;
  int MethodIndex() const;

  // Seams for tests: what the user would type, tick or pick, and the OK button.
  CSizeFields& Fields() { return *fields_; }
  void SetMethodIndex(int index);
  void accept() override;

 private:
  CSizeFields* fields_;
  QComboBox* method_;
  int newWidth_ = 0;
  int newHeight_ = 0;
};

}  // namespace orvenna
