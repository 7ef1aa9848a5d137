// The "Export" dialog.
#include "printlayout/export/ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstdio>

#include "printlayout/macros/Macros.h"
#include "printlayout/print/ProjectOptionsWidgets.h"

namespace tessaly {
namespace {

constexpr const char* kTypeEntryFormat = "%s image";

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

std::string DefaultExportFolder(const std::string& projectPath) {
  const std::string::size_type slash = projectPath.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : projectPath.substr(0, slash);
}

std::string ExportExample(const Project& project, const std::string& nameTemplate) {
  const ProjectPage* first = project.pages.size() > 1 ? project.pages[1].get() : nullptr;
  return expandMacros(project, nameTemplate, first, nullptr);
}

ExportDialog::ExportDialog(Project& project, QWidget* parent) : QDialog(parent), project_(project) {
  setWindowTitle(QString::fromLatin1(kExportDialogTitle));

  folder_ = new QLineEdit(Q(DefaultExportFolder(project.path)), this);
  browse_ = new QPushButton(tr("Browse..."), this);
  template_ = new QLineEdit(QString::fromLatin1(kDefaultNameTemplate), this);
  macro_ = new MacroButton(template_, this);
  example_ = new QLabel(this);
  caution_ = new QLabel(QString::fromLatin1(kForbiddenNameCaution), this);
  caution_->setWordWrap(true);

  auto* names = new QGridLayout;
  names->addWidget(new QLabel(tr("Folder:"), this), 0, 0);
  names->addWidget(folder_, 0, 1);
  names->addWidget(browse_, 0, 2);
  names->addWidget(new QLabel(tr("Files names:"), this), 1, 0);
  names->addWidget(template_, 1, 1);
  names->addWidget(macro_, 1, 2);
  names->addWidget(new QLabel(tr("Examp.:"), this), 2, 0);
  names->addWidget(example_, 2, 1, 1, 2);
  names->addWidget(caution_, 3, 0, 1, 3);

  auto* rangeBox = new QGroupBox(tr("Pages"), this);
  range_.create(rangeBox);
  auto* rangeLayout = new QGridLayout(rangeBox);
  rangeLayout->addWidget(range_.all, 0, 0);
  rangeLayout->addWidget(range_.pages, 1, 0);
  rangeLayout->addWidget(range_.range, 1, 1);

  type_ = new QComboBox(this);
  for (const char* name : kTypeNames) {
    char entry[64];
    std::snprintf(entry, sizeof entry, kTypeEntryFormat, name);
    type_->addItem(QString::fromLatin1(entry));
  }
  type_->setCurrentIndex(kDefaultExportType);
  dpi_ = new QComboBox(this);
  for (int dpi : kExportDpis) dpi_->addItem(QString::number(dpi), dpi);
  dpi_->setCurrentIndex(dpi_->findData(kDefaultExportDpi));
  depth_ = new QComboBox(this);
  grayscale_ = new QCheckBox(tr("&Grayscale"), this);
  crop_ = new QCheckBox(tr("Crop"), this);
  auto* image = new QFormLayout;
  image->addRow(tr("File type:"), type_);
  image->addRow(tr("DPI:"), dpi_);
  image->addRow(tr("Color depth:"), depth_);
  image->addRow(QString(), grayscale_);
  image->addRow(QString(), crop_);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(names);
  auto* lower = new QHBoxLayout;
  lower->addWidget(rangeBox);
  lower->addLayout(image);
  layout->addLayout(lower);
  layout->addWidget(buttons_);

  connect(template_, &QLineEdit::textChanged, this, [this] { updateExample(); });
  connect(type_, &QComboBox::currentIndexChanged, this, [this] { rebuildDepths(); });
  connect(grayscale_, &QCheckBox::toggled, this, [this] { rebuildDepths(); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    const QString dir =
        QFileDialog::getExistingDirectory(this, QString::fromLatin1(kFolderChooserTitle), folder_->text());
    if (!dir.isEmpty()) folder_->setText(dir);
  });
  updateExample();
  rebuildDepths();
}

void ExportDialog::updateExample() {
  const std::string example = ExportExample(project_, template_->text().toStdString());
  example_->setText(Q(example));
  caution_->setVisible(HasForbiddenCharacter(example));
}

int ExportDialog::chosenDepth() const { return depth_->currentIndex() < 0 ? -1 : depth_->currentData().toInt(); }

void ExportDialog::rebuildDepths() {
  const int type = type_->currentIndex();
  const bool gray = grayscale_->isChecked();
  const int previous = chosenDepth();
  const unsigned allowed = AllowedDepths(type, gray);
  depth_->clear();
  for (int d = 0; d < kDepthCount; ++d)
    if (allowed & (1u << d)) depth_->addItem(QString::fromLatin1(kDepthTexts[d]), d);
  const int chosen = ChooseDepth(type, gray, previous);
  depth_->setCurrentIndex(depth_->findData(chosen));
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(depth_->count() > 0);
}

void ExportDialog::accept() {
  // The list is empty only while OK is disabled; a programmatic OK must not get through either.
  if (chosenDepth() < 0) return;
  ExportRequest r;
  if (!range_.read(project_, r.pages)) return;
  r.folder = folder_->text().toStdString();
  r.nameTemplate = template_->text().toStdString();
  r.type = type_->currentIndex();
  r.dpi = dpi_->currentData().toInt();
  r.depth = chosenDepth();
  r.grayscale = grayscale_->isChecked();
  r.crop = crop_->isChecked();
  request_ = std::move(r);
  QDialog::accept();
}

}  // namespace tessaly
