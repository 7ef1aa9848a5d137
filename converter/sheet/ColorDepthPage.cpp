// "Color depth": the output depth and the grayscale palette.
#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"

namespace converter {
namespace {
// "CD_Bpp" values.
constexpr int k32Bits = 0, k24Bits = 1, k8Bits = 2, k4Bits = 3, k1Bit = 4;
}  // namespace

CColorDepthPage::CColorDepthPage() : CSheetPage("Color depth") {
  auto* layout = new QVBoxLayout(this);
  QLayout* box = AddGroup(layout, QStringLiteral("Bits per pixel"), this);
  depth_ = new QButtonGroup(this);
  box->addWidget(AddRadio(depth_, k32Bits, QStringLiteral("32 bit per pixel (True Color with alpha channel)"), "bpp0"));
  box->addWidget(AddRadio(depth_, k24Bits,
                          QStringLiteral("24 bit per pixel (True Color: JPEG, BMP, PNG, TIFF, PCX, TGA)"), "bpp1"));
  box->addWidget(
      AddRadio(depth_, k8Bits, QStringLiteral("8 bit per pixel (256 colors: GIF, BMP, PNG, TIFF, PCX, TGA)"), "bpp2"));
  box->addWidget(
      AddRadio(depth_, k4Bits, QStringLiteral("4 bit per pixel (16 colors: GIF, BMP, PNG, TIFF, PCX)"), "bpp3"));
  box->addWidget(AddRadio(depth_, k1Bit,
                          QStringLiteral("1 bit per pixel (black and white: TIFF, DCX, FMF, BMP, PNG, PCX)"), "bpp4"));
  gray_ = new QCheckBox(QStringLiteral("Use grayscale palette (only for 1, 4 or 8 bit per pixel)"));
  gray_->setObjectName(QStringLiteral("cdGray"));
  layout->addWidget(gray_);
  layout->addStretch(1);

  for (QAbstractButton* b : depth_->buttons()) Watch(b);
  Watch(gray_);
  connect(gray_, &QCheckBox::toggled, this, [this] { ApplyGrayRule(); });
}

void CColorDepthPage::DoLoad(const ConverterSettings& s) {
  stored_ = s.cdBpp;
  CheckRadio(depth_, s.cdBpp);
  gray_->setChecked(s.cdGray != 0);
  ApplyGrayRule();
}

void CColorDepthPage::ApplyGrayRule() {
  const bool gray = gray_->isChecked();
  depth_->button(k32Bits)->setEnabled(!gray);
  depth_->button(k24Bits)->setEnabled(!gray);
  const int depth = depth_->checkedId();
  if (gray && (depth == k32Bits || depth == k24Bits)) CheckRadio(depth_, k8Bits);
}

bool CColorDepthPage::Store(ConverterSettings& s) {
  s.cdBpp = CheckedRadio(depth_, stored_);
  s.cdGray = gray_->isChecked() ? 1 : 0;
  return true;
}

}  // namespace converter
