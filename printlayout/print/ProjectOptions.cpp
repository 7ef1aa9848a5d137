// The project options sheet.
#include "printlayout/print/ProjectOptions.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/ui/ui.h"
#include "printlayout/print/HeaderFooterPage.h"
#include "printlayout/print/ImagesLookPage.h"
#include "printlayout/print/MarginsPage.h"
#include "printlayout/print/PageSetupPage.h"
#include "printlayout/print/PrinterList.h"

namespace tessaly {

ProjectOptionsSheet::ProjectOptionsSheet(Project& project, QWidget* parent, PrinterDetailsSource details)
    : QDialog(parent), project_(project) {
  setWindowTitle(QString::fromLatin1(kOptionsSheetTitle));
  const ProjectOptionsValues values = ReadOptions(project);
  tabs_ = new QTabWidget(this);
  pageSetup_ = new PageSetupPage(project.environment(), values.pageSetup, tabs_, std::move(details));
  margins_ = new MarginsPage(values.margins, tabs_);
  headerFooter_ = new HeaderFooterPage(values.headerFooter, tabs_);
  imagesLook_ = new ImagesLookPage(values.imagesLook, tabs_);
  tabs_->addTab(pageSetup_, QString::fromLatin1(kPageSetupTitle));
  tabs_->addTab(margins_, QString::fromLatin1(kPageMarginsTitle));
  tabs_->addTab(headerFooter_, QString::fromLatin1(kHeaderFooterTitle));
  tabs_->addTab(imagesLook_, QString::fromLatin1(kImagesLookTitle));
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons_);
}

ProjectOptionsValues ProjectOptionsSheet::values() const {
  return {pageSetup_->values(), margins_->values(), headerFooter_->values(), imagesLook_->values()};
}

void ProjectOptionsSheet::accept() {
  const ProjectOptionsValues v = values();
  if (HasNullMargin(v.margins) &&
      vel::ui::MessageBox(kTessalyTitle, kNullMarginQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    tabs_->setCurrentWidget(margins_);
    return;
  }
  ApplyOptions(v, project_);
  QDialog::accept();
}

}  // namespace tessaly
