// "Thumbnail": what the file manager's menu shows for a selected image, how
// large its thumbnail may be, how long to wait for it and how it is scaled.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/owned.h"

namespace converter {
namespace {

// "THMB_SizeMode" values and the part of the screen each preset allows.
constexpr int kSetLimits = 3;
constexpr int kScreenDivisor[3] = {5, 7, 11};

// Screen size divided, falling back to 150 by 150 when the screen gives nothing
// sensible (as the stored defaults do).
void ScreenPart(int divisor, int* width, int* height) {
  const vel::gdi::OwnedDC screen(CreateCompatibleDC(nullptr));
  const int w = GetDeviceCaps(screen.get(), HORZRES) / divisor, h = GetDeviceCaps(screen.get(), VERTRES) / divisor;
  *width = w > 0 && h > 0 ? w : 150;
  *height = w > 0 && h > 0 ? h : 150;
}

}  // namespace

CThumbnailPage::CThumbnailPage() : CSheetPage("Thumbnail") {
  auto* layout = new QVBoxLayout(this);
  QLayout* show = AddGroup(layout, QStringLiteral("Show in Windows Explorer popup menu"), this);
  showThumbnail_ = new QCheckBox(QStringLiteral("Selected image thumbnail"));
  showThumbnail_->setObjectName(QStringLiteral("thumbShow"));
  showFileInfo_ = new QCheckBox(QStringLiteral("Selected image file info"));
  showFileInfo_->setObjectName(QStringLiteral("thumbFileInfo"));
  showImageInfo_ = new QCheckBox(QStringLiteral("Selected image info"));
  showImageInfo_->setObjectName(QStringLiteral("thumbImageInfo"));
  show->addWidget(showThumbnail_);
  show->addWidget(showFileInfo_);
  show->addWidget(showImageInfo_);

  rest_ = new QWidget;
  rest_->setObjectName(QStringLiteral("thumbOptions"));
  auto* restLayout = new QVBoxLayout(rest_);
  restLayout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(rest_);
  QLayout* size = AddGroup(restLayout, QStringLiteral("Thumbnail size"), rest_);
  sizeMode_ = new QButtonGroup(this);
  auto* grid = new QGridLayout;
  static_cast<QVBoxLayout*>(size)->addLayout(grid);
  grid->addWidget(AddRadio(sizeMode_, 0, QStringLiteral("Large"), "thumbSize0"), 0, 0);
  grid->addWidget(AddRadio(sizeMode_, 1, QStringLiteral("Medium"), "thumbSize1"), 1, 0);
  grid->addWidget(AddRadio(sizeMode_, 2, QStringLiteral("Small"), "thumbSize2"), 2, 0);
  grid->addWidget(AddRadio(sizeMode_, kSetLimits, QStringLiteral("Set limits:"), "thumbSize3"), 3, 0);
  width_ = MakeIntEdit("thumbWidth");
  height_ = MakeIntEdit("thumbHeight");
  grid->addWidget(new QLabel(QStringLiteral("Width:")), 3, 1);
  grid->addWidget(width_, 3, 2);
  grid->addWidget(new QLabel(QStringLiteral("Height:")), 4, 1);
  grid->addWidget(height_, 4, 2);

  restLayout->addWidget(new QLabel(QStringLiteral("Don't wait for thumbnail creation more than:")));
  time_ = new QSlider(Qt::Horizontal);
  time_->setObjectName(QStringLiteral("thumbTime"));
  time_->setRange(5, 60);
  time_->setTickInterval(5);
  time_->setPageStep(5);
  time_->setTickPosition(QSlider::TicksBelow);
  timeValue_ = new QLabel;
  timeValue_->setObjectName(QStringLiteral("thumbTimeValue"));
  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(time_, 1);
  timeRow->addWidget(timeValue_);
  restLayout->addLayout(timeRow);

  QLayout* quality = AddGroup(restLayout, QStringLiteral("Quality"), rest_);
  quality_ = new QButtonGroup(this);
  quality->addWidget(AddRadio(quality_, 0, QStringLiteral("Low (fast)"), "thumbQuality0"));
  quality->addWidget(AddRadio(quality_, 1, QStringLiteral("High (slow)"), "thumbQuality1"));
  layout->addStretch(1);

  for (QCheckBox* check : {showThumbnail_, showFileInfo_, showImageInfo_}) Watch(check);
  for (QAbstractButton* b : sizeMode_->buttons()) Watch(b);
  for (QAbstractButton* b : quality_->buttons()) Watch(b);
  Watch(width_);
  Watch(height_);
  Watch(time_);
  connect(showThumbnail_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  // Only a choice the user makes sets the limits; showing the stored mode keeps
  // the stored limits.
  connect(sizeMode_, &QButtonGroup::idClicked, this, [this](int mode) { SizeModeChosen(mode); });
  connect(sizeMode_, &QButtonGroup::idToggled, this, [this] { UpdateEnabling(); });
  connect(time_, &QSlider::valueChanged, this, [this](int v) { timeValue_->setText(QString::asprintf("%d sec", v)); });
}

void CThumbnailPage::DoLoad(const ConverterSettings& s) {
  const ThumbnailSettings& t = s.thumbnail;
  showThumbnail_->setChecked(t.showThumbnail != 0);
  showFileInfo_->setChecked(t.showFileNameAndLength != 0);
  showImageInfo_->setChecked(t.showWidthAndHeight != 0);
  storedMode_ = t.sizeMode;
  CheckRadio(sizeMode_, t.sizeMode);
  SetInt(width_, t.width);
  SetInt(height_, t.height);
  time_->setValue(t.time);  // the slider keeps it within 5 to 60 seconds
  timeValue_->setText(QString::asprintf("%d sec", time_->value()));
  CheckRadio(quality_, t.zoomQuality > 0 ? 1 : 0);
  UpdateEnabling();
}

void CThumbnailPage::SizeModeChosen(int mode) {
  if (mode < 0 || mode >= kSetLimits) return;
  int w = 0, h = 0;
  ScreenPart(kScreenDivisor[mode], &w, &h);
  SetInt(width_, w);
  SetInt(height_, h);
}

void CThumbnailPage::UpdateEnabling() {
  const bool on = showThumbnail_->isChecked();
  // Without the thumbnail the menu shows none of the other lines either.
  if (!on) {
    showFileInfo_->setChecked(false);
    showImageInfo_->setChecked(false);
  }
  showFileInfo_->setEnabled(on);
  showImageInfo_->setEnabled(on);
  rest_->setEnabled(on);
  const bool limits = on && sizeMode_->checkedId() == kSetLimits;
  width_->setEnabled(limits);
  height_->setEnabled(limits);
}

bool CThumbnailPage::Store(ConverterSettings& s) {
  int w = 0, h = 0;
  if (!ReadInt(width_, &w) || !ReadInt(height_, &h)) return false;
  ThumbnailSettings& t = s.thumbnail;
  t.showThumbnail = showThumbnail_->isChecked() ? 1 : 0;
  t.showFileNameAndLength = showFileInfo_->isChecked() ? 1 : 0;
  t.showWidthAndHeight = showImageInfo_->isChecked() ? 1 : 0;
  t.sizeMode = CheckedRadio(sizeMode_, storedMode_);
  t.width = w;
  t.height = h;
  t.time = time_->value();
  t.zoomQuality = CheckedRadio(quality_, 0);
  return true;
}

}  // namespace converter
