// "Crop": no crop, a rectangle (left, top, new width and height) or margins
// (left, top, right, bottom). Both pairs are kept; the page shows the pair of
// the chosen mode.
#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"

namespace converter {
namespace {

// "CROP_Mode" values.
constexpr int kNoCrop = 0, kRectangle = 1, kMargins = 2;

QWidget* MakePair(const char* first, QLineEdit* a, const char* second, QLineEdit* b) {
  auto* pair = new QWidget;
  auto* grid = new QGridLayout(pair);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(new QLabel(QString::fromLatin1(first)), 0, 0);
  grid->addWidget(a, 0, 1);
  grid->addWidget(new QLabel(QString::fromLatin1(second)), 1, 0);
  grid->addWidget(b, 1, 1);
  grid->setColumnMinimumWidth(0, 140);
  return pair;
}

}  // namespace

CCropPage::CCropPage() : CSheetPage("Crop") {
  auto* layout = new QVBoxLayout(this);
  QLayout* modes = AddGroup(layout, QStringLiteral("Crop mode"), this);
  mode_ = new QButtonGroup(this);
  modes->addWidget(AddRadio(mode_, kNoCrop, QStringLiteral("No crop"), "cropMode0"));
  modes->addWidget(
      AddRadio(mode_, kRectangle, QStringLiteral("Crop to rectangle (left, top, width, height)"), "cropMode1"));
  modes->addWidget(AddRadio(mode_, kMargins, QStringLiteral("Cut margins (left, top, right, bottom)"), "cropMode2"));

  x0_ = MakeIntEdit("cropX0");
  y0_ = MakeIntEdit("cropY0");
  width_ = MakeIntEdit("cropWidth");
  height_ = MakeIntEdit("cropHeight");
  x1_ = MakeIntEdit("cropX1");
  y1_ = MakeIntEdit("cropY1");
  layout->addWidget(MakePair("Left margin Xo:", x0_, "Top margin Yo:", y0_));
  sizePair_ = MakePair("New image width W:", width_, "New image height H:", height_);
  sizePair_->setObjectName(QStringLiteral("cropSizePair"));
  marginPair_ = MakePair("Right indention X1:", x1_, "Bottom indention Y1:", y1_);
  marginPair_->setObjectName(QStringLiteral("cropMarginPair"));
  layout->addWidget(sizePair_);
  layout->addWidget(marginPair_);
  layout->addStretch(1);

  for (QAbstractButton* b : mode_->buttons()) Watch(b);
  for (QLineEdit* edit : {x0_, y0_, width_, height_, x1_, y1_}) Watch(edit);
  connect(mode_, &QButtonGroup::idToggled, this, [this] { UpdateMode(); });
}

void CCropPage::DoLoad(const ConverterSettings& s) {
  stored_ = s.cropMode;
  CheckRadio(mode_, s.cropMode);
  SetInt(x0_, s.cropX0);
  SetInt(y0_, s.cropY0);
  SetInt(width_, s.cropWidth);
  SetInt(height_, s.cropHeight);
  SetInt(x1_, s.cropX1);
  SetInt(y1_, s.cropY1);
  UpdateMode();
}

void CCropPage::UpdateMode() {
  const int mode = mode_->checkedId();
  const bool margins = mode == kMargins;
  sizePair_->setHidden(margins);
  marginPair_->setHidden(!margins);
  const bool crop = mode == kRectangle || mode == kMargins;
  for (QLineEdit* edit : {x0_, y0_, width_, height_, x1_, y1_}) edit->setEnabled(crop);
}

bool CCropPage::Store(ConverterSettings& s) {
  int x0 = 0, y0 = 0;
  if (!ReadInt(x0_, &x0) || !ReadInt(y0_, &y0)) return false;
  // The pair on show is checked; the hidden pair keeps its values unless they
  // are numbers the user left there.
  int width = s.cropWidth, height = s.cropHeight, x1 = s.cropX1, y1 = s.cropY1;
  const bool margins = mode_->checkedId() == kMargins;
  QLineEdit* shown[2] = {margins ? x1_ : width_, margins ? y1_ : height_};
  QLineEdit* hidden[2] = {margins ? width_ : x1_, margins ? height_ : y1_};
  int* shownValue[2] = {margins ? &x1 : &width, margins ? &y1 : &height};
  int* hiddenValue[2] = {margins ? &width : &x1, margins ? &height : &y1};
  for (int i = 0; i < 2; ++i)
    if (!ReadInt(shown[i], shownValue[i])) return false;
  for (int i = 0; i < 2; ++i) {
    bool ok = false;
    if (const int v = hidden[i]->text().trimmed().toInt(&ok); ok) *hiddenValue[i] = v;
  }
  s.cropMode = CheckedRadio(mode_, stored_);
  s.cropX0 = x0;
  s.cropY0 = y0;
  s.cropWidth = width;
  s.cropHeight = height;
  s.cropX1 = x1;
  s.cropY1 = y1;
  return true;
}

}  // namespace converter
