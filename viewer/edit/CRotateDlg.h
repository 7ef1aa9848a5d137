// "Image rotation settings": any angle in hundredths of a degree and the colour of
// the corners a rotation uncovers.
#pragma once

#include <QDialog>

#include "platform/base/wintypes.h"

class QLabel;
class QSlider;

namespace orvenna {

class CColorSwatch;

class CRotateDlg : public QDialog {
  Q_OBJECT

 public:
  CRotateDlg(QWidget* parent, COLORREF background);

  // The slider's position, hundredths of a degree.
  int AngleHundredths() const;
  float Angle() const { return static_cast<float>(AngleHundredths() * 0.01); }
  COLORREF Background() const;

  // Seams for tests; accept() is the "Rotate" button.
  void SetAngleHundredths(int value);
  CColorSwatch& Swatch() { return *swatch_; }
  QString AngleText() const;

 private:
  void ShowAngle();

  QSlider* angle_;
  QLabel* angleText_;
  CColorSwatch* swatch_;
};

}  // namespace orvenna
