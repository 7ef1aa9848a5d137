#include "viewer/doc/CSaveFormatDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include <iterator>

#include "viewer/core/Commands.h"

namespace orvenna {
namespace {

struct Choice {
  int command;
  const char* text;
};

constexpr Choice kChoices[] = {
    {ID_SAVE_BMP, "Windows Bitmap Format (BMP)"},       {ID_SAVE_JPEG, "Joint Photo Experts Group Format (JPEG)"},
    {ID_SAVE_GIF, "Graphics Interchange Format (GIF)"}, {ID_SAVE_PNG, "Portable Network Graphics Format (PNG)"},
    {ID_SAVE_TIFF, "Tag Image File Format (TIFF)"},     {ID_SAVE_TGA, "Targa Format (TGA)"},
    {ID_SAVE_PCX, "Paintbrush Format (PCX)"},           {ID_SAVE_DCX, "Multipage Paintbrush Format (DCX)"},
    {ID_SAVE_FMF, "FaxMan Fax Format (FMF)"},           {ID_SAVE_WMF, "Windows Metafile Format (WMF)"},
    {ID_SAVE_EMF, "Enhanced Metafile Format (EMF)"},    {ID_SAVE_EPS, "Encapsulated Postscript Format (EPS)"},
};

constexpr int kCommands[] = {ID_SAVE_BMP, ID_SAVE_JPEG, ID_SAVE_GIF, ID_SAVE_PNG, ID_SAVE_TIFF, ID_SAVE_TGA,
                             ID_SAVE_PCX, ID_SAVE_DCX,  ID_SAVE_FMF, ID_SAVE_WMF, ID_SAVE_EMF,  ID_SAVE_EPS};

}  // namespace

CSaveFormatDlg::CSaveFormatDlg(int preselected, QWidget* parent) : QDialog(parent), group_(new QButtonGroup(this)) {
  setWindowTitle(QStringLiteral("Save as..."));
  auto* layout = new QVBoxLayout(this);
  auto* box = new QGroupBox(QStringLiteral("Format"));
  auto* boxLayout = new QVBoxLayout(box);
  for (const Choice& c : kChoices) {
    auto* button = new QRadioButton(QString::fromUtf8(c.text));
    button->setObjectName(QStringLiteral("format%1").arg(c.command));
    group_->addButton(button, c.command);
    boxLayout->addWidget(button);
  }
  layout->addWidget(box);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  if (!Select(preselected)) Select(ID_SAVE_BMP);
}

int CSaveFormatDlg::Selected() const { return group_->checkedId() > 0 ? group_->checkedId() : ID_SAVE_BMP; }

bool CSaveFormatDlg::Select(int command) {
  QAbstractButton* button = group_->button(command);
  if (!button) return false;
  button->setChecked(true);
  return true;
}

const int* CSaveFormatDlg::Commands(int* count) {
  *count = static_cast<int>(std::size(kCommands));
  return kCommands;
}

}  // namespace orvenna
