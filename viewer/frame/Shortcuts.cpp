#include "viewer/frame/Shortcuts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "viewer/core/Commands.h"
#include "viewer/frame/Icons.h"
#include "viewer/frame/Menus.h"
#include "viewer/frame/Profile.h"

namespace orvenna {
namespace {

QString Plain(const QString& menuText) { return QString(menuText).remove(QLatin1Char('&')); }

QString KeysText(const QList<QKeySequence>& keys, QKeySequence::SequenceFormat format) {
  return QKeySequence::listToString(keys, format);
}

}  // namespace

ShortcutMap DefaultShortcuts() {
  const auto k = [](const char* text) { return QKeySequence(QString::fromLatin1(text), QKeySequence::PortableText); };
  return {
      {ID_EDIT_COPY, {k("Ctrl+C"), k("Ctrl+Ins")}},
      {ID_EDIT_PASTE_NEW, {k("Ctrl+V"), k("Shift+Ins")}},
      {ID_FILE_OPEN, {k("Ctrl+O")}},
      {ID_FILE_PRINT, {k("Ctrl+P")}},
      {ID_FILE_SAVE, {k("Ctrl+S")}},
      {ID_EDIT_UNDO, {k("Ctrl+Z"), k("Alt+Backspace")}},
      {ID_EDIT_REDO, {k("Ctrl+Y")}},
      {ID_END_FULL_SCREEN, {k("Esc")}},
      {ID_FILE_NEW, {k("Ctrl+N")}},
      {ID_EDIT_CUT, {k("Ctrl+X"), k("Shift+Del")}},
      {ID_NEXT_PANE, {k("F6")}},
      {ID_PREV_PANE, {k("Shift+F6")}},
  };
}

ShortcutMap LoadShortcuts() {
  ShortcutMap shortcuts = DefaultShortcuts();
  for (int id : CustomizableCommands()) {
    const auto stored = ReadProfileString(kSettingsSection, std::to_string(id), 256);
    if (!stored) continue;
    QList<QKeySequence> keys;
    for (const QKeySequence& key :
         QKeySequence::listFromString(QString::fromStdString(*stored), QKeySequence::PortableText))
      if (!key.isEmpty() && keys.size() < 2) keys.push_back(key);
    shortcuts[id] = keys;
  }
  return shortcuts;
}

void StoreShortcuts(const ShortcutMap& shortcuts) {
  const ShortcutMap defaults = DefaultShortcuts();
  for (int id : CustomizableCommands()) {
    const auto it = shortcuts.find(id);
    const QList<QKeySequence> keys = it == shortcuts.end() ? QList<QKeySequence>() : it->second;
    const auto def = defaults.find(id);
    const QList<QKeySequence> standard = def == defaults.end() ? QList<QKeySequence>() : def->second;
    if (keys == standard)
      DeleteProfileValue(kSettingsSection, std::to_string(id));
    else
      WriteProfileString(kSettingsSection, std::to_string(id),
                         KeysText(keys, QKeySequence::PortableText).toStdString());
  }
}

CCustomizeDlg::CCustomizeDlg(const ShortcutMap& current, QWidget* parent) : QDialog(parent), shortcuts_(current) {
  setWindowTitle(QStringLiteral("Customize"));
  list_ = new QTreeWidget(this);
  list_->setColumnCount(2);
  list_->setHeaderLabels({QStringLiteral("Command"), QStringLiteral("Keys")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  list_->setMinimumSize(460, 320);
  first_ = new QKeySequenceEdit(this);
  second_ = new QKeySequenceEdit(this);
  auto* clear = new QPushButton(QStringLiteral("Remove keys"), this);
  auto* editors = new QFormLayout;
  editors->addRow(QStringLiteral("Shortcut:"), first_);
  editors->addRow(QStringLiteral("Alternative:"), second_);
  auto* editorRow = new QHBoxLayout;
  editorRow->addLayout(editors, 1);
  editorRow->addWidget(clear, 0, Qt::AlignBottom);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* reset = buttons->addButton(QStringLiteral("Reset All"), QDialogButtonBox::ResetRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Choose a command, then press the keys that should run it."), this));
  layout->addWidget(list_, 1);
  layout->addLayout(editorRow);
  layout->addWidget(buttons);

  connect(list_, &QTreeWidget::currentItemChanged, this, [this] { ShowSelected(); });
  connect(first_, &QKeySequenceEdit::editingFinished, this, [this] { EditorsChanged(); });
  connect(second_, &QKeySequenceEdit::editingFinished, this, [this] { EditorsChanged(); });
  connect(clear, &QPushButton::clicked, this, [this] {
    if (const int id = SelectedCommand()) SetKeys(id, {});
  });
  connect(reset, &QPushButton::clicked, this, [this] { ResetAll(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Fill();
  list_->setCurrentItem(list_->topLevelItem(0));
}

void CCustomizeDlg::Fill() {
  const int selected = SelectedCommand();
  filling_ = true;
  list_->clear();
  for (int id : CustomizableCommands()) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, Plain(CommandText(id)));
    item->setIcon(0, CommandIcon(id));
    item->setData(0, Qt::UserRole, id);
    const auto it = shortcuts_.find(id);
    if (it != shortcuts_.end()) item->setText(1, KeysText(it->second, QKeySequence::NativeText));
    if (id == selected) list_->setCurrentItem(item);
  }
  filling_ = false;
  ShowSelected();
}

int CCustomizeDlg::SelectedCommand() const {
  const QTreeWidgetItem* item = list_->currentItem();
  return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

void CCustomizeDlg::ShowSelected() {
  if (filling_) return;
  const auto it = shortcuts_.find(SelectedCommand());
  const QList<QKeySequence> keys = it == shortcuts_.end() ? QList<QKeySequence>() : it->second;
  filling_ = true;
  first_->setKeySequence(keys.value(0));
  second_->setKeySequence(keys.value(1));
  filling_ = false;
}

void CCustomizeDlg::EditorsChanged() {
  if (filling_) return;
  if (const int id = SelectedCommand()) SetKeys(id, {first_->keySequence(), second_->keySequence()});
}

void CCustomizeDlg::SetKeys(int id, const QList<QKeySequence>& keys) {
  QList<QKeySequence> wanted;
  for (const QKeySequence& key : keys)
    if (!key.isEmpty() && !wanted.contains(key) && wanted.size() < 2) wanted.push_back(key);
  for (auto& [other, otherKeys] : shortcuts_)
    if (other != id) otherKeys.removeIf([&](const QKeySequence& key) { return wanted.contains(key); });
  shortcuts_[id] = wanted;
  Fill();
}

void CCustomizeDlg::ResetAll() {
  shortcuts_ = DefaultShortcuts();
  Fill();
}

}  // namespace orvenna
