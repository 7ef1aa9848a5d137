#include "viewer/edit/CContrastDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace orvenna {
namespace {

// The channel masks SetContrast takes.
constexpr int kRedChannel = 4, kGreenChannel = 2, kBlueChannel = 1;

}  // namespace

CContrastDlg::CContrastDlg(QWidget* parent, COrvennaDoc& doc)
    : CAdjustDlg(parent, doc, QStringLiteral("Adjust image contrast")) {
  auto* box = new QGroupBox(QStringLiteral("Contrast"));
  auto* grid = new QGridLayout(box);
  const char* const labels[3] = {"Red channel", "Green channel", "Blue channel"};
  const char* const names[3] = {"red", "green", "blue"};
  for (int i = 0; i < 3; ++i) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QString::fromLatin1(names[i]));
    slider->setRange(-100, 100);
    slider->setPageStep(10);
    auto* text = new QLabel;
    text->setObjectName(QString::fromLatin1(names[i]) + QStringLiteral("Text"));
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("-100%")) + 4);
    grid->addWidget(new QLabel(QString::fromLatin1(labels[i])), i, 0);
    grid->addWidget(slider, i, 1);
    grid->addWidget(text, i, 2);
    sliders_[i] = slider;
    texts_[i] = text;
    connect(slider, &QSlider::valueChanged, this, [this] { ValuesMoved(); });
  }
  grid->setColumnStretch(1, 1);
  Controls()->addWidget(box);
  ShowValues();
}

std::array<int, 3> CContrastDlg::Channels() const {
  return {sliders_[0]->value(), sliders_[1]->value(), sliders_[2]->value()};
}

void CContrastDlg::SetChannels(int red, int green, int blue) {
  sliders_[0]->setValue(red);
  sliders_[1]->setValue(green);
  sliders_[2]->setValue(blue);
}

QString CContrastDlg::ChannelText(int channel) const { return texts_.at(channel)->text(); }

int CContrastDlg::AdjustContrast(CImageInterface& image, int& page, int red, int green, int blue) {
  const int r = image.SetContrast(red, kRedChannel, page, -1);
  const int g = image.SetContrast(green, kGreenChannel, page, -1);
  const int b = image.SetContrast(blue, kBlueChannel, page, -1);
  return r && g && b;
}

std::vector<int> CContrastDlg::Values() const {
  const auto c = Channels();
  return {c[0], c[1], c[2]};
}

int CContrastDlg::Adjust(CImageInterface& image, int& page, const std::vector<int>& values) const {
  return AdjustContrast(image, page, values.at(0), values.at(1), values.at(2));
}

void CContrastDlg::ShowValues() {
  for (int i = 0; i < 3; ++i) texts_[i]->setText(QString::asprintf("%d%%", sliders_[i]->value()));
}

}  // namespace orvenna
