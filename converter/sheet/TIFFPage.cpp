// "TIFF settings": compression, fill order and the texts written into the file.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"

namespace converter {
namespace {
constexpr int kTagChars = 255;
}  // namespace

CTIFFPage::CTIFFPage() : CSheetPage("TIFF settings") {
  auto* layout = new QVBoxLayout(this);
  QLayout* box = AddGroup(layout, QStringLiteral("Compression"), this);
  compression_ = new QButtonGroup(this);
  const char* texts[] = {"None",
                         "LZW",
                         "Packbits (RLE), only for 1 bit per pixel",
                         "Modified Huffman, only for 1 bit per pixel",
                         "CCITT Group 3, only for 1 bit per pixel",
                         "CCITT Group 4, only for 1 bit per pixel"};
  for (int i = 0; i < 6; ++i) {
    const std::string name = "tiffComp" + std::to_string(i);
    box->addWidget(AddRadio(compression_, i, QString::fromLatin1(texts[i]), name.c_str()));
  }
  reverseFill_ = new QCheckBox(QStringLiteral("Reverse filling order"));
  reverseFill_->setObjectName(QStringLiteral("tiffReverseFill"));
  layout->addWidget(reverseFill_);
  auto* form = new QFormLayout;
  artist_ = new QLineEdit;
  artist_->setObjectName(QStringLiteral("tiffArtist"));
  artist_->setMaxLength(kTagChars);
  copyright_ = new QLineEdit;
  copyright_->setObjectName(QStringLiteral("tiffCopyright"));
  copyright_->setMaxLength(kTagChars);
  form->addRow(QStringLiteral("Artist:"), artist_);
  form->addRow(QStringLiteral("Copyright:"), copyright_);
  layout->addLayout(form);
  layout->addStretch(1);

  for (QAbstractButton* b : compression_->buttons()) Watch(b);
  Watch(reverseFill_);
  Watch(artist_);
  Watch(copyright_);
}

void CTIFFPage::DoLoad(const ConverterSettings& s) {
  stored_ = s.tiffCompressionMode;
  CheckRadio(compression_, s.tiffCompressionMode);
  reverseFill_->setChecked(s.tiffReverseFill != 0);
  storedArtist_ = s.tiffArtist;
  storedCopyright_ = s.tiffCopyright;
  artist_->setText(ToQ(s.tiffArtist));  // the edit keeps at most 255 characters
  copyright_->setText(ToQ(s.tiffCopyright));
}

bool CTIFFPage::Store(ConverterSettings& s) {
  s.tiffCompressionMode = CheckedRadio(compression_, stored_);
  s.tiffReverseFill = reverseFill_->isChecked() ? 1 : 0;
  s.tiffArtist = FromQ(artist_->text(), storedArtist_);
  s.tiffCopyright = FromQ(copyright_->text(), storedCopyright_);
  return true;
}

}  // namespace converter
