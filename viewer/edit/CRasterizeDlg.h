// "Rasterization settings": the size of the picture a vector drawing becomes and
// the colour behind it.
#pragma once

#include <QDialog>

#include "platform/base/wintypes.h"

namespace orvenna {

class CColorSwatch;
class CSizeFields;

class CRasterizeDlg : public QDialog {
  Q_OBJECT

 public:
  CRasterizeDlg(QWidget* parent, int vectorWidth, int vectorHeight, bool constrain, COLORREF background);

  int RasterWidth() const { return width_; }
  int RasterHeight() const { return height_; }
  bool Constrain() const;
  COLORREF Background() const;

  // Seams for tests.
  CSizeFields& Fields() { return *fields_; }
  CColorSwatch& Swatch() { return *swatch_; }
  void accept() override;

 private:
  CSizeFields* fields_;
  CColorSwatch* swatch_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace orvenna
