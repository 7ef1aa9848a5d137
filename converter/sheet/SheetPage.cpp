#include "converter/sheet/SheetPage.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <climits>

#include "platform/ui/ui.h"

namespace converter {

CSheetPage::CSheetPage(const char* title) : title_(QString::fromUtf8(title)) {}

void CSheetPage::Load(const ConverterSettings& settings) {
  loading_ = true;
  DoLoad(settings);
  loading_ = false;
}

void CSheetPage::Modified() {
  if (!loading_ && modified_) modified_();
}

void CSheetPage::Watch(QAbstractButton* button) {
  QObject::connect(button, &QAbstractButton::toggled, this, [this] { Modified(); });
}

void CSheetPage::Watch(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::textChanged, this, [this] { Modified(); });
}

void CSheetPage::Watch(QSlider* slider) {
  QObject::connect(slider, &QSlider::valueChanged, this, [this] { Modified(); });
}

QRadioButton* AddRadio(QButtonGroup* group, int id, const QString& text, const char* objectName) {
  auto* radio = new QRadioButton(text);
  radio->setObjectName(QString::fromLatin1(objectName));
  group->addButton(radio, id);
  return radio;
}

void CheckRadio(QButtonGroup* group, int id) {
  if (QAbstractButton* button = group->button(id)) {
    button->setChecked(true);
    return;
  }
  // An exclusive group never lets its last button go by itself.
  group->setExclusive(false);
  for (QAbstractButton* button : group->buttons()) button->setChecked(false);
  group->setExclusive(true);
}

int CheckedRadio(const QButtonGroup* group, int fallback) {
  const int id = group->checkedId();
  return id == -1 ? fallback : id;
}

QLineEdit* MakeIntEdit(const char* objectName, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  edit->setValidator(new QIntValidator(INT_MIN, INT_MAX, edit));
  return edit;
}

void SetInt(QLineEdit* edit, int value) { edit->setText(QString::number(value)); }

bool ReadInt(QLineEdit* edit, int* value) {
  bool ok = false;
  const int read = edit->text().trimmed().toInt(&ok);
  if (ok) {
    *value = read;
    return true;
  }
  vel::ui::MessageBox(kMessageTitle, kEnterInteger, MB_OK | MB_ICONEXCLAMATION);
  edit->setFocus();
  edit->selectAll();
  return false;
}

QString ToQ(const std::string& text) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString out = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (decoder.hasError()) return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  return out;
}

std::string FromQ(const QString& text, const std::string& original) {
  if (ToQ(original) == text) return original;
  return text.toStdString();
}

QLayout* AddGroup(QLayout* parent, const QString& title, QWidget* owner) {
  auto* box = new QGroupBox(title, owner);
  auto* layout = new QVBoxLayout(box);
  parent->addWidget(box);
  return layout;
}

}  // namespace converter
