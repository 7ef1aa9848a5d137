// "Page setup" page of the project options.
#include "printlayout/print/PageSetupPage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/print/print.h"
#include "printlayout/print/PrinterList.h"

namespace tessaly {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::int32_t Tenths(qreal mm) { return static_cast<std::int32_t>(std::lround(mm * 10.0)); }

}  // namespace

void TakePageLayout(const QPageLayout& layout, int resolution, PageSetupValues& v) {
  const QPageSize size = layout.pageSize();
  if (size.isValid()) {
    const QSizeF mm = size.size(QPageSize::Millimeter);
    v.paperWidth = std::max(Tenths(std::min(mm.width(), mm.height())), 100);
    v.paperLength = std::max(Tenths(std::max(mm.width(), mm.height())), 100);
    const int code = size.windowsId();
    v.paperSize = static_cast<std::uint16_t>(code > 0 ? code : DMPAPER_USER);
    v.paperForm = size.name().toStdString();
  }
  v.orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
  if (resolution > 0) v.printQuality = v.printYResolution = resolution;
}

PageSetupPage::PageSetupPage(Environment& environment, const PageSetupValues& values, QWidget* parent,
                             DetailsSource details)
    : QWidget(parent), environment_(environment), details_(std::move(details)), values_(values) {
  printers_ = new QListWidget(this);
  missing_ = new QLabel(QString::fromLatin1(kPrinterMissingText), this);
  missing_->setWordWrap(true);
  status_ = new QLabel(this);
  type_ = new QLabel(this);
  comment_ = new QLabel(this);
  paper_ = new QComboBox(this);
  resolution_ = new QComboBox(this);
  portrait_ = new QRadioButton(tr("Portrait"), this);
  landscape_ = new QRadioButton(tr("Landscape"), this);
  firstPage_ = new QSpinBox(this);
  firstPage_->setRange(-99999, 99999);
  setup_ = new QPushButton(QString::fromLatin1(kPrinterSetupText), this);

  auto* printerBox = new QGroupBox(tr("Printer"), this);
  auto* printerLayout = new QVBoxLayout(printerBox);
  printerLayout->addWidget(printers_);
  printerLayout->addWidget(missing_);
  auto* info = new QFormLayout;
  info->addRow(tr("Status:"), status_);
  info->addRow(tr("Type:"), type_);
  info->addRow(tr("Comment:"), comment_);
  printerLayout->addLayout(info);

  auto* paperBox = new QGroupBox(tr("Paper"), this);
  auto* paperLayout = new QFormLayout(paperBox);
  paperLayout->addRow(tr("Size:"), paper_);
  paperLayout->addRow(tr("Resolution:"), resolution_);
  auto* orientation = new QHBoxLayout;
  orientation->addWidget(portrait_);
  orientation->addWidget(landscape_);
  paperLayout->addRow(tr("Orientation:"), orientation);
  paperLayout->addRow(tr("First page number:"), firstPage_);
  paperLayout->addRow(QString(), setup_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(printerBox);
  layout->addWidget(paperBox);

  bool found = false;
  for (const std::string& name : listPrinters(environment_)) {
    auto* item = new QListWidgetItem(Q(name), printers_);
    if (name == values_.printerName && !found) {
      printers_->setCurrentItem(item);
      found = true;
    }
  }
  missing_->setVisible(!found);
  (values_.orientation == 2 ? landscape_ : portrait_)->setChecked(true);
  firstPage_->setValue(values_.firstPageNumber);
  showDetails();

  connect(printers_, &QListWidget::currentTextChanged, this,
          [this](const QString& name) { choosePrinter(name.toStdString()); });
  connect(paper_, &QComboBox::activated, this,
          [this](int index) { ApplyPaperName(paper_->itemText(index).toStdString(), values_); });
  connect(resolution_, &QComboBox::activated, this, [this](int index) {
    const QPoint r = resolution_->itemData(index).toPoint();
    values_.printQuality = r.x();
    values_.printYResolution = r.y();
  });
  connect(portrait_, &QRadioButton::toggled, this, [this](bool on) { values_.orientation = on ? 1 : 2; });
  connect(firstPage_, &QSpinBox::valueChanged, this, [this](int n) { values_.firstPageNumber = n; });
  connect(setup_, &QPushButton::clicked, this, [this] { runSetupDialog(); });
}

void PageSetupPage::choosePrinter(const std::string& name) {
  if (name.empty() || name == values_.printerName) return;
  values_.printerName = name;
  // A newly chosen printer brings its own paper and resolution; the orientation
  // is the user's choice and stays.
  vel::print::DevMode mode;
  if (environment_.printerDevMode(name, mode)) ApplyDevMode(mode, false, values_);
  missing_->setVisible(false);
  showDetails();
}

void PageSetupPage::showDetails() {
  vel::print::PrinterDetails d;
  const bool known = !values_.printerName.empty() && details_ && details_(values_.printerName, d);
  status_->setText(known ? Q(PrinterStatusText(d)) : QString());
  type_->setText(known ? Q(d.type) : QString());
  comment_->setText(known ? Q(d.comment) : QString());

  // The project's own paper and resolution stay selectable even when the
  // printer does not list them.
  paper_->clear();
  std::vector<std::string> papers = d.paperSizes;
  if (!values_.paperForm.empty() && std::find(papers.begin(), papers.end(), values_.paperForm) == papers.end())
    papers.insert(papers.begin(), values_.paperForm);
  for (const std::string& p : papers) paper_->addItem(Q(p));
  paper_->setCurrentIndex(std::max(paper_->findText(Q(values_.paperForm)), 0));

  resolution_->clear();
  std::vector<std::pair<int, int>> resolutions = d.resolutions;
  const std::pair<int, int> current(values_.printQuality, values_.printYResolution);
  if (std::find(resolutions.begin(), resolutions.end(), current) == resolutions.end())
    resolutions.insert(resolutions.begin(), current);
  for (const auto& [x, y] : resolutions) resolution_->addItem(Q(ResolutionText(x, y)), QPoint(x, y));
  resolution_->setCurrentIndex(std::max(resolution_->findData(QPoint(current.first, current.second)), 0));

  {
    const QSignalBlocker block(portrait_);
    (values_.orientation == 2 ? landscape_ : portrait_)->setChecked(true);
  }
}

void PageSetupPage::runSetupDialog() {
  QPrinter printer(QPrinter::HighResolution);
  if (values_.printerName == vel::print::kPdfPrinterName) {
    printer.setOutputFormat(QPrinter::PdfFormat);
  } else {
    const QPrinterInfo info = QPrinterInfo::printerInfo(Q(values_.printerName));
    if (!info.isNull()) printer.setPrinterName(info.printerName());
  }
  QPageSize size(QSizeF(values_.paperWidth / 10.0, values_.paperLength / 10.0), QPageSize::Millimeter,
                 Q(values_.paperForm), QPageSize::FuzzyMatch);
  printer.setPageSize(size);
  printer.setPageOrientation(values_.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
  if (values_.printQuality > 0) printer.setResolution(values_.printQuality);
  QPageSetupDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  TakePageLayout(printer.pageLayout(), printer.resolution(), values_);
  showDetails();
}

}  // namespace tessaly
