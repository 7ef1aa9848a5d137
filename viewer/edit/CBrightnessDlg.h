// "Adjust image brightness": one slider from -255 to 255.
#pragma once

#include "viewer/edit/CAdjustDlg.h"

class QLabel;
class QSlider;

namespace orvenna {

class CBrightnessDlg : public CAdjustDlg {
  Q_OBJECT

 public:
  CBrightnessDlg(QWidget* parent, COrvennaDoc& doc);

  int Value() const;
  // Seam for tests: moves the slider.
  void SetValue(int value);
  QString ValueText() const;

 protected:
  std::vector<int> Values() const override;
  int Adjust(CImageInterface& image, int& page, const std::vector<int>& values) const override;
  void ShowValues() override;

 private:
  QSlider* slider_;
  QLabel* text_;
};

}  // namespace orvenna
