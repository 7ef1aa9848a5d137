#include "viewer/view/CLensSizeDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace orvenna {

namespace {

QString Number(int value) { return QString::asprintf("%d", value); }

// One row: the caption, the minimum, the slider, the maximum and the current value.
QSlider* AddRow(QGridLayout* grid, int row, const QString& caption, int minimum, int maximum, int current) {
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(caption);
  slider->setRange(minimum, maximum);
  slider->setValue(std::clamp(current, minimum, maximum));
  slider->setMinimumWidth(220);
  auto* value = new QLabel(Number(slider->value()));
  value->setObjectName(caption + QStringLiteral("Value"));
  value->setMinimumWidth(value->fontMetrics().horizontalAdvance(Number(maximum)));
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QObject::connect(slider, &QSlider::valueChanged, value, [value](int v) { value->setText(Number(v)); });
  auto* label = new QLabel(caption);
  label->setBuddy(slider);
  grid->addWidget(label, row, 0);
  grid->addWidget(new QLabel(Number(minimum)), row, 1, Qt::AlignRight);
  grid->addWidget(slider, row, 2);
  grid->addWidget(new QLabel(Number(maximum)), row, 3);
  grid->addWidget(value, row, 4);
  return slider;
}

}  // namespace

CLensSizeDlg::CLensSizeDlg(int lensCX, int lensCY, QSize screen, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Lens size"));
  auto* grid = new QGridLayout;
  grid->setColumnStretch(2, 1);
  const int sw = std::max(screen.width(), 20), sh = std::max(screen.height(), 20);
  width_ = AddRow(grid, 0, QStringLiteral("Width"), sw / 20, std::max(sw / 2, lensCX), lensCX);
  height_ = AddRow(grid, 1, QStringLiteral("Height"), sh / 20, std::max(sh / 2, lensCY), lensCY);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
}

int CLensSizeDlg::LensCX() const { return width_->value(); }
int CLensSizeDlg::LensCY() const { return height_->value(); }

}  // namespace orvenna
