// "Images Look" page of the project options.
#include "printlayout/print/ImagesLookPage.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "printlayout/print/ProjectOptionsWidgets.h"

namespace tessaly {
namespace {

constexpr int kMillimetreDecimals = 1;  // millimetres to 0.1 mm

std::int32_t& Slot(ImagesLookValues& v, int l) {
  std::int32_t* fields[] = {&v.borderSpaceH, &v.borderSpaceV, &v.shadowDx, &v.shadowDy, &v.borderWidth};
  return *fields[l];
}

}  // namespace

ImagesLookPage::ImagesLookPage(const ImagesLookValues& values, QWidget* parent) : QWidget(parent), initial_(values) {
  const char* edgeNames[kBorderEdgeCount] = {
      "Top:", "Under image:", "Under comment:", "Left:", "Left of comment:", "Right:", "Right of comment:"};
  auto* linesBox = new QGroupBox(QString::fromLatin1(kLinesTypeText), this);
  auto* linesLayout = new QFormLayout(linesBox);
  for (int edge = 0; edge < kBorderEdgeCount; ++edge) {
    lines_[edge] = new LineTypeCombo(linesBox);
    lines_[edge]->setCode(BorderCode(values.borderLines, edge));
    linesLayout->addRow(tr(edgeNames[edge]), lines_[edge]);
  }

  borderColour_ = new ColourPicker(this);
  borderColour_->setColour(values.borderColour);
  shadowColour_ = new ColourPicker(this);
  shadowColour_->setColour(values.shadowColour);

  const char* lengthNames[kLengthCount] = {
      "Horizontal space, mm:", "Vertical space, mm:", "Shadow horizontal offset, mm:", "Shadow vertical offset, mm:",
      "Border width, mm:"};
  // Only the shadow may lie to the left of or above the image.
  auto* unsignedMm =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\s*\\d{0,4}([.,]\\d*)?\\s*")), this);
  auto* signedMm =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\s*-?\\d{0,4}([.,]\\d*)?\\s*")), this);
  auto* look = new QFormLayout;
  look->addRow(tr("Border colour:"), borderColour_);
  look->addRow(tr("Shadow colour:"), shadowColour_);
  for (int l = 0; l < kLengthCount; ++l) {
    lengths_[l] = new QLineEdit(QString::fromStdString(FormatScaled(Slot(initial_, l), kMillimetreDecimals)), this);
    lengths_[l]->setValidator(l == kShadowDx || l == kShadowDy ? signedMm : unsignedMm);
    look->addRow(tr(lengthNames[l]), lengths_[l]);
  }
  font_ = new FontChooser(this);
  font_->setTextFont(values.imagesFont);
  look->addRow(tr("Images font:"), font_);
  comment_ = new QLineEdit(QString::fromStdString(values.defaultComment), this);
  macro_ = new MacroButton(comment_, this);
  auto* commentRow = new QHBoxLayout;
  commentRow->addWidget(comment_, 1);
  commentRow->addWidget(macro_);
  look->addRow(tr("Default comment:"), commentRow);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(linesBox);
  layout->addLayout(look, 1);
}

ImagesLookValues ImagesLookPage::values() const {
  ImagesLookValues v = initial_;
  for (int edge = 0; edge < kBorderEdgeCount; ++edge)
    v.borderLines = WithBorderCode(v.borderLines, edge, lines_[edge]->code());
  v.borderColour = borderColour_->colour();
  v.shadowColour = shadowColour_->colour();
  for (int l = 0; l < kLengthCount; ++l) {
    std::int32_t value = 0;
    if (ParseScaled(lengths_[l]->text().toStdString(), kMillimetreDecimals, value)) Slot(v, l) = value;
  }
  v.imagesFont = font_->textFont();
  v.defaultComment = comment_->text().toStdString();
  return v;
}

}  // namespace tessaly
