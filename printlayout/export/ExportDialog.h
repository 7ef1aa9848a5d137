// The "Export" dialog: where, under which names, which pages, and as what kind
// of image the pages are written.
#pragma once

#include <QDialog>

#include <string>

#include "printlayout/export/ExportTypes.h"
#include "printlayout/print/PrintDialog.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaly {

class MacroButton;

constexpr const char* kExportDialogTitle = "Export";
constexpr const char* kDefaultNameTemplate = "&[Project]-&[Page]";
constexpr const char* kFolderChooserTitle = "Select a folder where resulting images will be placed";
constexpr const char* kForbiddenNameCaution =
    "Caution! A filename cannot contain any of the following characters:\\ / : * ? < > |";
constexpr int kDefaultExportType = kExportGIF;  // the list's second entry
constexpr int kDefaultExportDpi = 96;

struct ExportRequest {
  PageList pages;
  std::string folder, nameTemplate;
  int type = kDefaultExportType;
  int dpi = kDefaultExportDpi;
  int depth = -1;  // ExportDepth index
  bool grayscale = false, crop = false;
};

// The folder of the project's file: its path up to the last "/" (the root
// keeps its "/"); empty for a project that has no folder.
std::string DefaultExportFolder(const std::string& projectPath);

// The name the template gives the first printable page.
std::string ExportExample(const Project& project, const std::string& nameTemplate);

class ExportDialog : public QDialog {
 public:
  ExportDialog(Project& project, QWidget* parent = nullptr);

  // What to export, after OK.
  const ExportRequest& request() const { return request_; }

  void accept() override;

  QLineEdit* folderText() const { return folder_; }
  QPushButton* browseButton() const { return browse_; }
  QLineEdit* templateText() const { return template_; }
  MacroButton* macroButton() const { return macro_; }
  QLabel* exampleLine() const { return example_; }
  QLabel* cautionLine() const { return caution_; }
  QRadioButton* allButton() const { return range_.all; }
  QRadioButton* pagesButton() const { return range_.pages; }
  QLineEdit* rangeText() const { return range_.range; }
  QComboBox* typeList() const { return type_; }
  QComboBox* dpiList() const { return dpi_; }
  QComboBox* depthList() const { return depth_; }
  QCheckBox* grayscaleCheck() const { return grayscale_; }
  QCheckBox* cropCheck() const { return crop_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  void updateExample();
  void rebuildDepths();
  int chosenDepth() const;

  Project& project_;
  ExportRequest request_;
  PageRangeControls range_;
  QLineEdit* folder_;
  QPushButton* browse_;
  QLineEdit* template_;
  MacroButton* macro_;
  QLabel* example_;
  QLabel* caution_;
  QComboBox* type_;
  QComboBox* dpi_;
  QComboBox* depth_;
  QCheckBox* grayscale_;
  QCheckBox* crop_;
  QDialogButtonBox* buttons_;
};

}  // namespace tessaly
