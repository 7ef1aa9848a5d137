// "Adjust image contrast": one slider per colour channel, -100 % to 100 %.
#pragma once

#include <array>

#include "viewer/edit/CAdjustDlg.h"

class QLabel;
class QSlider;

namespace orvenna {

class CContrastDlg : public CAdjustDlg {
  Q_OBJECT

 public:
  CContrastDlg(QWidget* parent, COrvennaDoc& doc);

  // Red, green and blue, in percent.
  std::array<int, 3> Channels() const;
  // Seam for tests: moves the three sliders.
  void SetChannels(int red, int green, int blue);
  QString ChannelText(int channel) const;

  // The three library calls, red first, on any image.
  static int AdjustContrast(CImageInterface& image, int& page, int red, int green, int blue);

 protected:
  std::vector<int> Values() const override;
  int Adjust(CImageInterface& image, int& page, const std::vector<int>& values) const override;
  void ShowValues() override;

 private:
  std::array<QSlider*, 3> sliders_{};
  std::array<QLabel*, 3> texts_{};
};

}  // namespace orvenna
