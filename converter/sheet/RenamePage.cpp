// "Rename": the five rename masks, asking before each file, and the folder for
// renamed files.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/sheet/FolderButton.h"
#include "converter/sheet/Pages.h"

namespace converter {
namespace {
constexpr int kTemplateChars = 200;
}  // namespace

CRenamePage::CRenamePage() : CSheetPage("Rename") {
  auto* layout = new QVBoxLayout(this);
  QLayout* box = AddGroup(layout, QStringLiteral("Rename mask"), this);
  auto* grid = new QGridLayout;
  static_cast<QVBoxLayout*>(box)->addLayout(grid);
  mode_ = new QButtonGroup(this);
  for (int i = 0; i < 4; ++i) {
    templates_[i] = new QLineEdit;
    templates_[i]->setObjectName(QStringLiteral("renTmpl%1").arg(i + 1));
    templates_[i]->setMaxLength(kTemplateChars);
  }
  // Mode 0 needs no mask; masks 1 to 3 go before the name parts, mask 4 after "NAME.".
  grid->addWidget(AddRadio(mode_, 0, QStringLiteral("NAME+COUNTER.EXT"), "renMode0"), 0, 0, 1, 3);
  const char* after[] = {"+NAME+COUNTER.EXT", "+COUNTER.EXT", "+NAME.EXT"};
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "renMode" + std::to_string(i);
    grid->addWidget(AddRadio(mode_, i, QString(), name.c_str()), i, 0);
    grid->addWidget(templates_[i - 1], i, 1);
    grid->addWidget(new QLabel(QString::fromLatin1(after[i - 1])), i, 2);
  }
  grid->addWidget(AddRadio(mode_, 4, QStringLiteral("NAME."), "renMode4"), 4, 0);
  grid->addWidget(templates_[3], 4, 1);
  grid->setColumnStretch(1, 1);

  askBefore_ = new QCheckBox(QStringLiteral("Ask before every file"));
  askBefore_->setObjectName(QStringLiteral("renAskBefore"));
  layout->addWidget(askBefore_);
  usePredefFolder_ = new QCheckBox(QStringLiteral("Store renamed files in folder:"));
  usePredefFolder_->setObjectName(QStringLiteral("renUsePredefFolder"));
  layout->addWidget(usePredefFolder_);
  folder_ = new CFolderButton("renFolder");
  layout->addWidget(folder_);
  layout->addStretch(1);

  for (QAbstractButton* b : mode_->buttons()) Watch(b);
  for (QLineEdit* edit : templates_) Watch(edit);
  Watch(askBefore_);
  Watch(usePredefFolder_);
  folder_->SetOnChanged([this] { Modified(); });
  connect(usePredefFolder_, &QCheckBox::toggled, folder_, &QWidget::setEnabled);
}

void CRenamePage::DoLoad(const ConverterSettings& s) {
  stored_ = s.renTemplateMode;
  CheckRadio(mode_, s.renTemplateMode);
  for (int i = 0; i < 4; ++i) {
    storedTemplates_[i] = s.renTemplates[i];
    templates_[i]->setText(ToQ(s.renTemplates[i]));
  }
  askBefore_->setChecked(s.renAskBefore != 0);
  usePredefFolder_->setChecked(s.renUsePredefFolder != 0);
  folder_->SetFolder(s.renFolderPath);
  folder_->setEnabled(usePredefFolder_->isChecked());
}

bool CRenamePage::Store(ConverterSettings& s) {
  s.renTemplateMode = CheckedRadio(mode_, stored_);
  for (int i = 0; i < 4; ++i) s.renTemplates[i] = FromQ(templates_[i]->text(), storedTemplates_[i]);
  s.renAskBefore = askBefore_->isChecked() ? 1 : 0;
  s.renUsePredefFolder = usePredefFolder_->isChecked() ? 1 : 0;
  s.renFolderPath = folder_->Folder();
  return true;
}

}  // namespace converter
