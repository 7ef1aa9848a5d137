// "Brightness and Contrast": one brightness change and a contrast change per
// colour channel.
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"

namespace converter {

CBriAndContrastPage::CBriAndContrastPage() : CSheetPage("Brightness and Contrast") {
  auto* layout = new QVBoxLayout(this);
  auto* caption = new QLabel(QStringLiteral(
      "Move a slider to change that property of every converted image. A setting of 0 leaves that property of "
      "the image as it is."));
  caption->setWordWrap(true);
  layout->addWidget(caption);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  struct Row {
    const char* label;
    const char* name;
    int limit;
  };
  const Row rows[4] = {{"Brightness:", "brightness", 255},
                       {"Red contrast, %:", "contrastRed", 100},
                       {"Green contrast, %:", "contrastGreen", 100},
                       {"Blue contrast, %:", "contrastBlue", 100}};
  for (int i = 0; i < 4; ++i) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QString::fromLatin1(rows[i].name));
    slider->setRange(-rows[i].limit, rows[i].limit);
    slider->setPageStep(rows[i].limit / 10);
    auto* value = new QLabel(QStringLiteral("0"));
    value->setObjectName(QString::fromLatin1(rows[i].name) + QStringLiteral("Value"));
    value->setMinimumWidth(32);
    grid->addWidget(new QLabel(QString::fromLatin1(rows[i].label)), i, 0);
    grid->addWidget(slider, i, 1);
    grid->addWidget(value, i, 2);
    connect(slider, &QSlider::valueChanged, value, [value](int v) { value->setText(QString::number(v)); });
    Watch(slider);
    sliders_[i] = slider;
  }
  grid->setColumnStretch(1, 1);
  layout->addStretch(1);
}

void CBriAndContrastPage::DoLoad(const ConverterSettings& s) {
  const int values[4] = {s.briconBri, s.briconRed, s.briconGreen, s.briconBlue};
  for (int i = 0; i < 4; ++i) {
    sliders_[i]->setValue(values[i]);  // kept within the slider's range
    // setValue says nothing when the value stays the same; the label must still show it.
    if (auto* label = findChild<QLabel*>(sliders_[i]->objectName() + QStringLiteral("Value")))
      label->setText(QString::number(sliders_[i]->value()));
  }
}

bool CBriAndContrastPage::Store(ConverterSettings& s) {
  s.briconBri = sliders_[0]->value();
  s.briconRed = sliders_[1]->value();
  s.briconGreen = sliders_[2]->value();
  s.briconBlue = sliders_[3]->value();
  return true;
}

}  // namespace converter
