#include "viewer/edit/CRotateDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "viewer/edit/EditWidgets.h"

namespace orvenna {

CRotateDlg::CRotateDlg(QWidget* parent, COLORREF background) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Image rotation settings"));
  auto* layout = new QVBoxLayout(this);

  auto* angleBox = new QGroupBox(QStringLiteral("Rotation angle"));
  auto* angleLayout = new QVBoxLayout(angleBox);
  angle_ = new QSlider(Qt::Horizontal);
  angle_->setObjectName(QStringLiteral("angle"));
  angle_->setRange(-36000, 36000);
  angle_->setSingleStep(100);
  angle_->setPageStep(4500);
  angle_->setTickInterval(9000);
  angle_->setTickPosition(QSlider::TicksBelow);
  angle_->setMinimumWidth(320);
  angleText_ = new QLabel(QStringLiteral("0 degree(s)"));
  angleText_->setObjectName(QStringLiteral("angleText"));
  angleText_->setAlignment(Qt::AlignCenter);
  angleLayout->addWidget(angle_);
  angleLayout->addWidget(angleText_);
  layout->addWidget(angleBox);

  auto* colorBox = new QGroupBox(QStringLiteral("Background color"));
  auto* colorLayout = new QHBoxLayout(colorBox);
  swatch_ = new CColorSwatch(background);
  swatch_->setObjectName(QStringLiteral("background"));
  auto* note =
      new QLabel(QStringLiteral("Will be visible if the angle absolute value is not equal to 0, 90, 180, 270 or 360."));
  note->setWordWrap(true);
  colorLayout->addWidget(swatch_, 0, Qt::AlignTop);
  colorLayout->addWidget(note, 1);
  layout->addWidget(colorBox);

  auto* buttons = new QDialogButtonBox;
  QPushButton* rotate = buttons->addButton(QStringLiteral("Rotate"), QDialogButtonBox::AcceptRole);
  rotate->setObjectName(QStringLiteral("rotate"));
  rotate->setIcon(QIcon::fromTheme(QStringLiteral("object-rotate-right")));
  rotate->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CRotateDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CRotateDlg::reject);
  layout->addWidget(buttons);

  connect(angle_, &QSlider::valueChanged, this, [this] { ShowAngle(); });
}

int CRotateDlg::AngleHundredths() const { return angle_->value(); }
COLORREF CRotateDlg::Background() const { return swatch_->Color(); }
void CRotateDlg::SetAngleHundredths(int value) { angle_->setValue(value); }
QString CRotateDlg::AngleText() const { return angleText_->text(); }

void CRotateDlg::ShowAngle() { angleText_->setText(QString::asprintf("%0.2f degree(s)", AngleHundredths() / 100.0)); }

}  // namespace orvenna
