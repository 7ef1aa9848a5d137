// The "Print" dialog.
#include "printlayout/print/PrintDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstdio>

#include "platform/ui/ui.h"
#include "printlayout/print/PrinterList.h"
#include "printlayout/print/ProjectOptions.h"

namespace tessaly {
namespace {

constexpr const char* kParityTexts[] = {"Even and Odd Pages", "Odd Pages Only", "Even Pages Only"};
constexpr const char* kPortraitText = "Portrait";
constexpr const char* kLandscapeText = "Landscape";
constexpr const char* kQualityFormat = "%d dpi";

}  // namespace

void PageRangeControls::create(QWidget* parent) {
  all = new QRadioButton(QString::fromLatin1(kPageRangeAllText), parent);
  pages = new QRadioButton(QString::fromLatin1(kPageRangePagesText), parent);
  range = new QLineEdit(parent);
  all->setChecked(true);
  range->setEnabled(false);
  QObject::connect(pages, &QRadioButton::toggled, range, &QLineEdit::setEnabled);
}

bool PageRangeControls::read(const Project& project, PageList& out) const {
  const bool chosen = pages->isChecked();
  const std::string text = chosen ? range->text().toStdString() : std::string();
  PageList check;
  if (chosen && !parsePageRange(project, text, check, true, true, true)) {
    vel::ui::MessageBox(kTessalyTitle, kIncorrectPageRange, MB_OK | MB_ICONEXCLAMATION);
    range->setFocus();
    range->selectAll();
    return false;
  }
  // "All" of a project always has a page, so this cannot fail once checked.
  return parsePageRange(project, text, out, false, true, true);
}

PrintDialog::PrintDialog(Project& project, QWidget* parent, PageSetupPage::DetailsSource details)
    : QDialog(parent), project_(project), details_(std::move(details)) {
  setWindowTitle(QString::fromLatin1(kPrintDialogTitle));

  auto* rangeBox = new QGroupBox(tr("Print range"), this);
  range_.create(rangeBox);
  auto* rangeLayout = new QGridLayout(rangeBox);
  rangeLayout->addWidget(range_.all, 0, 0);
  rangeLayout->addWidget(range_.pages, 1, 0);
  rangeLayout->addWidget(range_.range, 1, 1);
  auto* hint = new QLabel(QString::fromLatin1(kPageRangeHint), rangeBox);
  hint->setWordWrap(true);
  rangeLayout->addWidget(hint, 2, 0, 1, 2);
  parity_ = new QComboBox(rangeBox);
  for (const char* text : kParityTexts) parity_->addItem(QString::fromLatin1(text));
  rangeLayout->addWidget(parity_, 3, 0, 1, 2);

  auto* printerBox = new QGroupBox(tr("Printer"), this);
  auto* printerLayout = new QFormLayout(printerBox);
  printer_ = new QLabel(printerBox);
  orientation_ = new QLabel(printerBox);
  paper_ = new QLabel(printerBox);
  quality_ = new QLabel(printerBox);
  setup_ = new QPushButton(tr("Setup..."), printerBox);
  printerLayout->addRow(printer_, setup_);
  printerLayout->addRow(tr("Paper Orientation:"), orientation_);
  printerLayout->addRow(tr("Paper Format:"), paper_);
  printerLayout->addRow(tr("Quality:"), quality_);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(setup_, &QPushButton::clicked, this, [this] {
    ProjectOptionsSheet sheet(project_, this, details_);
    if (sheet.exec() == QDialog::Accepted) showPrinterSettings();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(rangeBox);
  layout->addWidget(printerBox);
  layout->addWidget(buttons_);
  showPrinterSettings();
}

void PrintDialog::showPrinterSettings() {
  printer_->setText(QString::fromStdString(project_.printerName));
  orientation_->setText(QString::fromLatin1(project_.orientation == 1 ? kPortraitText : kLandscapeText));
  paper_->setText(QString::fromStdString(project_.paperForm));
  char quality[32];
  std::snprintf(quality, sizeof quality, kQualityFormat, project_.printQuality);
  quality_->setText(QString::fromLatin1(quality));
}

PageParity PrintDialog::parity() const { return static_cast<PageParity>(parity_->currentIndex()); }

void PrintDialog::accept() {
  PageList pages;
  if (!range_.read(project_, pages)) return;
  pages_ = std::move(pages);
  QDialog::accept();
}

}  // namespace tessaly
