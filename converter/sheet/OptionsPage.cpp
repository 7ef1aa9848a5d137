// "Miscellaneous": what a conversion does besides converting, where its files go,
// and whether the tray icon is shown (the sheet looks after the tray program).
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "converter/sheet/FolderButton.h"
#include "converter/sheet/Pages.h"

namespace converter {
namespace {

QCheckBox* MakeCheck(const char* text, const char* name, QVBoxLayout* layout) {
  auto* check = new QCheckBox(QString::fromUtf8(text));
  check->setObjectName(QString::fromLatin1(name));
  layout->addWidget(check);
  return check;
}

}  // namespace

COptionsPage::COptionsPage() : CSheetPage("Miscellaneous") {
  auto* layout = new QVBoxLayout(this);
  overwrite_ = MakeCheck("Overwrite existing files", "optOverwrite", layout);
  createLog_ = MakeCheck("Create log file in destination folder", "optCreateLog", layout);
  useAllPages_ = MakeCheck("Use all pages from multipage files", "optUseAllPages", layout);
  vectorize_ =
      MakeCheck("Vectorize raster files (only for convertion into EMF and WMF formats)", "optVectorize", layout);
  closeAfter_ = MakeCheck("Close progress dialog when convertion completes", "optCloseAfter", layout);
  showPennock_ = MakeCheck("Add Corbanix icon to system tray", "optShowPennock", layout);
  addToMultipage_ =
      MakeCheck("Create one multipage file from all files (only for convertion into TIFF, DCX and GIF formats)",
                "optAddToMultipage", layout);
  auto* nameRow = new QHBoxLayout;
  nameRow->addSpacing(20);
  nameRow->addWidget(new QLabel(QStringLiteral("Multipage file name:")));
  multipageName_ = new QLineEdit;
  multipageName_->setObjectName(QStringLiteral("optMultipageName"));
  multipageName_->setMaxLength(static_cast<int>(kStringBytes) - 1);  // what the stored value holds
  nameRow->addWidget(multipageName_, 1);
  layout->addLayout(nameRow);
  usePredefFolder_ = MakeCheck("Store created files in folder:", "optUsePredefFolder", layout);
  folder_ = new CFolderButton("optFolder");
  layout->addWidget(folder_);
  layout->addStretch(1);

  for (QCheckBox* check :
       {overwrite_, createLog_, useAllPages_, vectorize_, closeAfter_, showPennock_, addToMultipage_, usePredefFolder_})
    Watch(check);
  Watch(multipageName_);
  folder_->SetOnChanged([this] { Modified(); });
  connect(addToMultipage_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(usePredefFolder_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
}

void COptionsPage::DoLoad(const ConverterSettings& s) {
  overwrite_->setChecked(s.optOverwriteExisting != 0);
  createLog_->setChecked(s.optCreateLog != 0);
  useAllPages_->setChecked(s.optUseAllPages != 0);
  vectorize_->setChecked(s.optVectorize != 0);
  closeAfter_->setChecked(s.optCloseAfter != 0);
  showPennock_->setChecked(s.optShowPennock != 0);
  addToMultipage_->setChecked(s.optAddToMultipage != 0);
  storedName_ = s.optMultipageFileName;
  multipageName_->setText(ToQ(s.optMultipageFileName));
  usePredefFolder_->setChecked(s.optUsePredefFolder != 0);
  folder_->SetFolder(s.optFolderPath);
  UpdateEnabling();
}

void COptionsPage::UpdateEnabling() {
  multipageName_->setEnabled(addToMultipage_->isChecked());
  folder_->setEnabled(usePredefFolder_->isChecked());
}

bool COptionsPage::Store(ConverterSettings& s) {
  s.optOverwriteExisting = overwrite_->isChecked() ? 1 : 0;
  s.optCreateLog = createLog_->isChecked() ? 1 : 0;
  s.optUseAllPages = useAllPages_->isChecked() ? 1 : 0;
  s.optVectorize = vectorize_->isChecked() ? 1 : 0;
  s.optCloseAfter = closeAfter_->isChecked() ? 1 : 0;
  s.optShowPennock = showPennock_->isChecked() ? 1 : 0;
  s.optAddToMultipage = addToMultipage_->isChecked() ? 1 : 0;
  s.optMultipageFileName = FromQ(multipageName_->text(), storedName_);
  s.optUsePredefFolder = usePredefFolder_->isChecked() ? 1 : 0;
  s.optFolderPath = folder_->Folder();
  return true;
}

}  // namespace converter
