// "Page margins" page of the project options.
#include "printlayout/print/MarginsPage.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace tessaly {
namespace {

constexpr int kCentimetreDecimals = 2;  // centimetres to 0.1 mm

std::int32_t& Slot(MarginValues& v, int f) {
  std::int32_t* fields[] = {&v.left, &v.top, &v.right, &v.bottom, &v.header, &v.footer};
  return *fields[f];
}

}  // namespace

MarginsPage::MarginsPage(const MarginValues& values, QWidget* parent) : QWidget(parent), initial_(values) {
  const char* labels[kFieldCount] = {
      "Left, cm:", "Top, cm:", "Right, cm:", "Bottom, cm:", "Header, cm:", "Footer, cm:"};
  auto* layout = new QFormLayout(this);
  // Distances are never negative; both decimal separators are taken.
  auto* validator =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\s*\\d{0,4}([.,]\\d*)?\\s*")), this);
  for (int f = 0; f < kFieldCount; ++f) {
    edits_[f] = new QLineEdit(QString::fromStdString(FormatScaled(Slot(initial_, f), kCentimetreDecimals)), this);
    edits_[f]->setValidator(validator);
    layout->addRow(tr(labels[f]), edits_[f]);
  }
}

MarginValues MarginsPage::values() const {
  MarginValues v = initial_;
  for (int f = 0; f < kFieldCount; ++f) {
    const std::string text = edits_[f]->text().trimmed().toStdString();
    if (text.empty()) {
      Slot(v, f) = 0;
      continue;
    }
    std::int32_t value = 0;
    if (ParseScaled(text, kCentimetreDecimals, value)) Slot(v, f) = value;
  }
  return v;
}

}  // namespace tessaly
