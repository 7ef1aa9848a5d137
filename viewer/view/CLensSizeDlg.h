// "Lens size": two sliders for the width and height of the lens window, each shown
// with its smallest, largest and current value.
#pragma once

#include <QDialog>
#include <QSize>

class QLabel;
class QSlider;

namespace orvenna {

class CLensSizeDlg : public QDialog {
 public:
  // The sliders run from a twentieth of the screen to half of it (or the current
  // size, when that is larger) and start at the current size.
  CLensSizeDlg(int lensCX, int lensCY, QSize screen, QWidget* parent = nullptr);

  int LensCX() const;
  int LensCY() const;
  QSlider* WidthSlider() const { return width_; }
  QSlider* HeightSlider() const { return height_; }

 private:
  QSlider* width_;
  QSlider* height_;
};

}  // namespace orvenna
