// "JPEG, GIF and PNG settings": JPEG quality, PNG compression and filter, GIF
// interlacing.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"

namespace converter {

CInetFormatesPage::CInetFormatesPage() : CSheetPage("JPEG, GIF and PNG settings") {
  auto* layout = new QVBoxLayout(this);
  QLayout* jpeg = AddGroup(layout, QStringLiteral("JPEG quality"), this);
  quality_ = new QSlider(Qt::Horizontal);
  quality_->setObjectName(QStringLiteral("jpegQuality"));
  quality_->setRange(0, 99);
  quality_->setPageStep(10);
  quality_->setTickPosition(QSlider::TicksBelow);
  quality_->setTickInterval(10);
  qualityValue_ = new QLabel;
  qualityValue_->setObjectName(QStringLiteral("jpegQualityValue"));
  qualityValue_->setMinimumWidth(24);
  auto* row = new QGridLayout;
  row->addWidget(quality_, 0, 0, 1, 2);
  row->addWidget(qualityValue_, 0, 2);
  row->addWidget(new QLabel(QStringLiteral("small file, low quality")), 1, 0, Qt::AlignLeft);
  row->addWidget(new QLabel(QStringLiteral("large file, high quality")), 1, 1, Qt::AlignRight);
  static_cast<QVBoxLayout*>(jpeg)->addLayout(row);

  compress_ = new QCheckBox(QStringLiteral("Use compression for PNG files"));
  compress_->setObjectName(QStringLiteral("pngCompress"));
  interlace_ = new QCheckBox(QStringLiteral("Use interlace for GIF files"));
  interlace_->setObjectName(QStringLiteral("gifInterlace"));
  layout->addWidget(compress_);
  layout->addWidget(interlace_);

  QLayout* png = AddGroup(layout, QStringLiteral("PNG filter"), this);
  filter_ = new QButtonGroup(this);
  const char* names[] = {"None", "Sub", "Up", "Average", "Path"};
  for (int i = 0; i < 5; ++i) {
    const std::string name = "pngFilter" + std::to_string(i);
    png->addWidget(AddRadio(filter_, i, QString::fromLatin1(names[i]), name.c_str()));
  }
  layout->addStretch(1);

  connect(quality_, &QSlider::valueChanged, this, [this](int v) { qualityValue_->setText(QString::number(v)); });
  Watch(quality_);
  Watch(compress_);
  Watch(interlace_);
  for (QAbstractButton* b : filter_->buttons()) Watch(b);
}

void CInetFormatesPage::DoLoad(const ConverterSettings& s) {
  quality_->setValue(s.inetJpegQual);  // the slider keeps it within 0 to 99
  qualityValue_->setText(QString::number(quality_->value()));
  compress_->setChecked(s.inetPngCompress != 0);
  interlace_->setChecked(s.inetInterlacing != 0);
  stored_ = s.inetPngFilterMode;
  CheckRadio(filter_, s.inetPngFilterMode);
}

bool CInetFormatesPage::Store(ConverterSettings& s) {
  s.inetJpegQual = quality_->value();
  s.inetPngCompress = compress_->isChecked() ? 1 : 0;
  s.inetInterlacing = interlace_->isChecked() ? 1 : 0;
  s.inetPngFilterMode = CheckedRadio(filter_, stored_);
  return true;
}

}  // namespace converter
