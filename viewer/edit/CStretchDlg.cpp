#include "viewer/edit/CStretchDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "viewer/edit/EditWidgets.h"

namespace orvenna {

const char* const CStretchDlg::kMethodTexts[kMethodCount] = {
    "Delete pixels without preserving information (fast)", "Preserve black pixels (use only for some files)",
    "Preserve white pixels (use only for some files)", "Interpolate blocks of pixels (best quality)"};

int CStretchDlg::MethodNumber(int index) {
  static constexpr int kNumbers[kMethodCount] = {0, 1, 2, 4};
  return index >= 0 && index < kMethodCount ? kNumbers[index] : 0;
}

CStretchDlg::CStretchDlg(QWidget* parent, int width, int height, bool constrain, int methodIndex) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Stretch settings"));
  auto* layout = new QVBoxLayout(this);

  layout->addWidget(
      MakeSizeBox(QStringLiteral("Current size"), "Image width:", "Image height:", "image", width, height));

  auto* next = new QGroupBox(QStringLiteral("New size"));
  auto* nextGrid = new QGridLayout(next);
  fields_ = new CSizeFields(nextGrid, 0, QStringLiteral("New width:"), QStringLiteral("New height:"), width, height,
                            constrain, this);
  nextGrid->setColumnStretch(1, 1);
  layout->addWidget(next);

  auto* resampling = new QGroupBox(QStringLiteral("Resampling"));
  auto* resamplingLayout = new QVBoxLayout(resampling);
  method_ = new QComboBox;
  method_->setObjectName(QStringLiteral("method"));
  for (const char* text : kMethodTexts) method_->addItem(QString::fromLatin1(text));
  SetMethodIndex(methodIndex);
  resamplingLayout->addWidget(method_);
  layout->addWidget(resampling);

  AddOkCancel(this, layout);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool CStretchDlg::Constrain() const { return fields_->Constrain(); }
int CStretchDlg::MethodIndex() const { return method_->currentIndex(); }

void CStretchDlg::SetMethodIndex(int index) {
  // A stored index out of range shows the first choice.
  method_->setCurrentIndex(index >= 0 && index < kMethodCount ? index : 0);
}

void CStretchDlg::accept() {
  if (!fields_->Validate(&newWidth_, &newHeight_)) return;
  QDialog::accept();
}

}  // namespace orvenna
