// The project options sheet ("Project options"): page setup, margins, header
// and footer, and the look of the images. OK writes everything back into the
// project and runs the printer check.
#pragma once

#include <QDialog>

#include "printlayout/model/Project.h"
#include "printlayout/print/ProjectOptionsValues.h"

class QDialogButtonBox;
class QTabWidget;

namespace tessaly {

class PageSetupPage;
class MarginsPage;
class HeaderFooterPage;
class ImagesLookPage;

class ProjectOptionsSheet : public QDialog {
 public:
  ProjectOptionsSheet(Project& project, QWidget* parent = nullptr,
                      PrinterDetailsSource details = vel::print::GetPrinterDetails);

  // The values all four pages hold now.
  ProjectOptionsValues values() const;

  // OK: a null margin is asked about first ("No" keeps the sheet open on the
  // margins); then the project takes the values.
  void accept() override;

  QTabWidget* tabs() const { return tabs_; }
  QDialogButtonBox* buttons() const { return buttons_; }
  PageSetupPage* pageSetup() const { return pageSetup_; }
  MarginsPage* margins() const { return margins_; }
  HeaderFooterPage* headerFooter() const { return headerFooter_; }
  ImagesLookPage* imagesLook() const { return imagesLook_; }

 private:
  Project& project_;
  QTabWidget* tabs_;
  QDialogButtonBox* buttons_;
  PageSetupPage* pageSetup_;
  MarginsPage* margins_;
  HeaderFooterPage* headerFooter_;
  ImagesLookPage* imagesLook_;
};

}  // namespace tessaly
