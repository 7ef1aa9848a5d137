// "Zoom and Rotation": the new size (fixed limits or a multiplier), the zoom
// method, the background colour and the rotation angle.
#include <QButtonGroup>
#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <climits>

#include "converter/sheet/Pages.h"
#include "platform/ui/ui.h"

namespace converter {
namespace {

constexpr float kMinMultiplier = 0.01f, kMaxMultiplier = 1000.0f;
constexpr const char* kEnterNumber = "Please enter a number.";
constexpr const char* kEnterMultiplier = "Please enter a number between 0.01 and 1000.";

// "SIZE_ZoomMode" values.
constexpr int kSaveAsIs = 0, kNoMoreThan = 1, kForEachImage = 2, kMultiplier = 3;

struct Preset {
  const char* caption;
  const char* name;
  int num, den;
};
constexpr Preset kPresets[6] = {{"x  4,0", "preset4", 4, 1},       {"x  3,0", "preset3", 3, 1},
                                {"x  2,0", "preset2", 2, 1},       {"x  0,5", "presetHalf", 1, 2},
                                {"x 0,25", "presetQuarter", 1, 4}, {"x 0,10", "presetTenth", 1, 10}};

QColor FromColorref(unsigned c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
unsigned ToColorref(const QColor& c) {
  return static_cast<unsigned>(c.red()) | (static_cast<unsigned>(c.green()) << 8) |
         (static_cast<unsigned>(c.blue()) << 16);
}

}  // namespace

CSizePage::CSizePage() : CSheetPage("Zoom and Rotation") {
  auto* layout = new QVBoxLayout(this);
  QLayout* zoom = AddGroup(layout, QStringLiteral("Zoom"), this);
  auto* grid = new QGridLayout;
  static_cast<QVBoxLayout*>(zoom)->addLayout(grid);
  mode_ = new QButtonGroup(this);
  grid->addWidget(AddRadio(mode_, kSaveAsIs, QStringLiteral("Save as is"), "zoomMode0"), 0, 0, 1, 2);
  grid->addWidget(AddRadio(mode_, kNoMoreThan, QStringLiteral("No more than ..."), "zoomMode1"), 1, 0, 1, 2);
  grid->addWidget(AddRadio(mode_, kForEachImage, QStringLiteral("Use for each image"), "zoomMode2"), 2, 0, 1, 2);
  width_ = MakeIntEdit("newWidth");
  height_ = MakeIntEdit("newHeight");
  grid->addWidget(new QLabel(QStringLiteral("New width:")), 3, 0);
  grid->addWidget(width_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("New height:")), 4, 0);
  grid->addWidget(height_, 4, 1);
  auto* presetRow = new QHBoxLayout;
  for (int i = 0; i < 6; ++i) {
    presets_[i] = new QPushButton(QString::fromLatin1(kPresets[i].caption));
    presets_[i]->setObjectName(QString::fromLatin1(kPresets[i].name));
    presetRow->addWidget(presets_[i]);
    const Preset p = kPresets[i];
    connect(presets_[i], &QPushButton::clicked, this, [this, p] { Scale(p.num, p.den); });
  }
  grid->addLayout(presetRow, 5, 0, 1, 2);
  grid->addWidget(AddRadio(mode_, kMultiplier, QStringLiteral("Use a zoom multiplier:"), "zoomMode3"), 6, 0);
  multiplier_ = new QLineEdit;
  multiplier_->setObjectName(QStringLiteral("multiplier"));
  grid->addWidget(multiplier_, 6, 1);

  QLayout* method = AddGroup(layout, QStringLiteral("Zoom method"), this);
  quality_ = new QButtonGroup(this);
  method->addWidget(AddRadio(quality_, 0, QStringLiteral("Delete pixels (fast)"), "zoomQual0"));
  method->addWidget(AddRadio(quality_, 1, QStringLiteral("Preserve black"), "zoomQual1"));
  method->addWidget(AddRadio(quality_, 2, QStringLiteral("Preserve white"), "zoomQual2"));
  method->addWidget(AddRadio(quality_, 3, QStringLiteral("Bilinear (slow)"), "zoomQual3"));

  QLayout* rotation = AddGroup(layout, QStringLiteral("Rotation"), this);
  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(new QLabel(QStringLiteral("Background color:")));
  swatch_ = new QPushButton;
  swatch_->setObjectName(QStringLiteral("bkColor"));
  swatch_->setFixedSize(48, 20);
  colorRow->addWidget(swatch_);
  colorRow->addStretch(1);
  static_cast<QVBoxLayout*>(rotation)->addLayout(colorRow);
  angle_ = new QSlider(Qt::Horizontal);
  angle_->setObjectName(QStringLiteral("rotAngle"));
  angle_->setRange(-36000, 36000);
  angle_->setSingleStep(100);
  angle_->setPageStep(4500);
  angleValue_ = new QLabel;
  angleValue_->setObjectName(QStringLiteral("rotAngleValue"));
  auto* angleRow = new QHBoxLayout;
  angleRow->addWidget(angle_, 1);
  angleRow->addWidget(angleValue_);
  static_cast<QVBoxLayout*>(rotation)->addLayout(angleRow);
  layout->addStretch(1);

  for (QAbstractButton* b : mode_->buttons()) Watch(b);
  for (QAbstractButton* b : quality_->buttons()) Watch(b);
  Watch(width_);
  Watch(height_);
  Watch(multiplier_);
  Watch(angle_);
  connect(mode_, &QButtonGroup::idToggled, this, [this] { UpdateEnabling(); });
  connect(angle_, &QSlider::valueChanged, this, [this] { UpdateAngle(); });
  connect(swatch_, &QPushButton::clicked, this, [this] { ChooseBackground(); });
}

void CSizePage::DoLoad(const ConverterSettings& s) {
  storedMode_ = s.sizeZoomMode;
  storedQuality_ = s.sizeZoomQual;
  CheckRadio(mode_, s.sizeZoomMode);
  SetInt(width_, s.sizeNewWidth);
  SetInt(height_, s.sizeNewHeight);
  multiplier_->setText(QString::number(static_cast<double>(s.sizeMultiplier), 'g', 6));
  CheckRadio(quality_, s.sizeZoomQual);
  SetBackground(s.sizeBkColor);
  angle_->setValue(s.sizeRotAngle);
  UpdateAngle();
  UpdateEnabling();
}

void CSizePage::UpdateEnabling() {
  const int mode = mode_->checkedId();
  const bool limits = mode == kNoMoreThan || mode == kForEachImage;
  width_->setEnabled(limits);
  height_->setEnabled(limits);
  for (QPushButton* preset : presets_) preset->setEnabled(limits);
  multiplier_->setEnabled(mode == kMultiplier);
}

void CSizePage::UpdateAngle() { angleValue_->setText(QString::asprintf("%0.2f degree", angle_->value() * 0.01)); }

void CSizePage::SetBackground(unsigned colorref) {
  background_ = colorref & 0xFFFFFF;
  swatch_->setStyleSheet(
      QStringLiteral("background-color: %1; border: 1px solid black;").arg(FromColorref(background_).name()));
}

void CSizePage::ChooseBackground() {
  const QColor chosen = QColorDialog::getColor(FromColorref(background_), this);
  if (!chosen.isValid() || ToColorref(chosen) == background_) return;
  SetBackground(ToColorref(chosen));
  Modified();
}

void CSizePage::Scale(int num, int den) {
  int w = 0, h = 0;
  if (!ReadInt(width_, &w) || !ReadInt(height_, &h)) return;
  const long long newW = static_cast<long long>(w) * num / den, newH = static_cast<long long>(h) * num / den;
  // A size that no longer fits is left alone rather than wrapped round.
  if (newW > INT_MAX || newW < INT_MIN || newH > INT_MAX || newH < INT_MIN) return;
  SetInt(width_, static_cast<int>(newW));
  SetInt(height_, static_cast<int>(newH));
}

bool CSizePage::Store(ConverterSettings& s) {
  int w = 0, h = 0;
  if (!ReadInt(width_, &w) || !ReadInt(height_, &h)) return false;
  bool ok = false;
  const double typed = multiplier_->text().trimmed().toDouble(&ok);
  const float multiplier = static_cast<float>(typed);
  if (!ok || !(multiplier >= kMinMultiplier && multiplier <= kMaxMultiplier)) {
    vel::ui::MessageBox(kMessageTitle, ok ? kEnterMultiplier : kEnterNumber, MB_OK | MB_ICONEXCLAMATION);
    multiplier_->setFocus();
    multiplier_->selectAll();
    return false;
  }
  s.sizeZoomMode = CheckedRadio(mode_, storedMode_);
  s.sizeNewWidth = w;
  s.sizeNewHeight = h;
  s.sizeMultiplier = multiplier;
  s.sizeZoomQual = CheckedRadio(quality_, storedQuality_);
  s.sizeBkColor = background_;
  s.sizeRotAngle = angle_->value();
  return true;
}

}  // namespace converter
