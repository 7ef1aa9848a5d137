#include "viewer/edit/CRasterizeDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "viewer/edit/EditWidgets.h"

namespace orvenna {

CRasterizeDlg::CRasterizeDlg(QWidget* parent, int vectorWidth, int vectorHeight, bool constrain, COLORREF background)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Rasterization settings"));
  auto* layout = new QVBoxLayout(this);

  layout->addWidget(
      MakeSizeBox(QStringLiteral("Vector image"), "Width:", "Height:", "vector", vectorWidth, vectorHeight));

  auto* raster = new QGroupBox(QStringLiteral("Raster image"));
  auto* rasterGrid = new QGridLayout(raster);
  fields_ = new CSizeFields(rasterGrid, 0, QStringLiteral("Width:"), QStringLiteral("Height:"), vectorWidth,
                            vectorHeight, constrain, this);
  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(new QLabel(QStringLiteral("Background color:")));
  swatch_ = new CColorSwatch(background);
  swatch_->setObjectName(QStringLiteral("background"));
  colorRow->addWidget(swatch_);
  colorRow->addStretch(1);
  rasterGrid->addLayout(colorRow, 3, 0, 1, 2);
  rasterGrid->setColumnStretch(1, 1);
  layout->addWidget(raster);

  AddOkCancel(this, layout);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool CRasterizeDlg::Constrain() const { return fields_->Constrain(); }
COLORREF CRasterizeDlg::Background() const { return swatch_->Color(); }

void CRasterizeDlg::accept() {
  if (!fields_->Validate(&width_, &height_)) return;
  QDialog::accept();
}

}  // namespace orvenna
