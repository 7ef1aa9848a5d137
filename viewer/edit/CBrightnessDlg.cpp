#include "viewer/edit/CBrightnessDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace orvenna {

CBrightnessDlg::CBrightnessDlg(QWidget* parent, COrvennaDoc& doc)
    : CAdjustDlg(parent, doc, QStringLiteral("Adjust image brightness")) {
  auto* box = new QGroupBox(QStringLiteral("Brightness value"));
  auto* row = new QHBoxLayout(box);
  slider_ = new QSlider(Qt::Horizontal);
  slider_->setObjectName(QStringLiteral("brightness"));
  slider_->setRange(-255, 255);
  slider_->setPageStep(16);
  text_ = new QLabel;
  text_->setObjectName(QStringLiteral("brightnessText"));
  text_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  text_->setMinimumWidth(text_->fontMetrics().horizontalAdvance(QStringLiteral("-255")) + 4);
  row->addWidget(slider_, 1);
  row->addWidget(text_);
  Controls()->addWidget(box);
  ShowValues();
  connect(slider_, &QSlider::valueChanged, this, [this] { ValuesMoved(); });
}

int CBrightnessDlg::Value() const { return slider_->value(); }
void CBrightnessDlg::SetValue(int value) { slider_->setValue(value); }
QString CBrightnessDlg::ValueText() const { return text_->text(); }

std::vector<int> CBrightnessDlg::Values() const { return {slider_->value()}; }

int CBrightnessDlg::Adjust(CImageInterface& image, int& page, const std::vector<int>& values) const {
  return image.SetBrightness(values.at(0), page);
}

void CBrightnessDlg::ShowValues() { text_->setText(QString::asprintf("%d", slider_->value())); }

}  // namespace orvenna
