// Keyboard shortcuts of the viewer: the defaults, the user's changes stored below
// "Settings" (one REG_SZ per command number), and the "Customize" dialog that
// edits them.
#pragma once

#include <QDialog>
#include <QKeySequence>
#include <QList>

#include <map>

class QKeySequenceEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvenna {

using ShortcutMap = std::map<int, QList<QKeySequence>>;

ShortcutMap DefaultShortcuts();
// The defaults with every stored command's keys in their place.
ShortcutMap LoadShortcuts();
// Stores every command that differs from its default; a command back at its
// default loses its value.
void StoreShortcuts(const ShortcutMap& shortcuts);

class CCustomizeDlg : public QDialog {
 public:
  CCustomizeDlg(const ShortcutMap& current, QWidget* parent);
  const ShortcutMap& Shortcuts() const { return shortcuts_; }
  // What the two key editors do: gives the command these keys (at most two) and
  // takes them away from any other command that had them.
  void SetKeys(int id, const QList<QKeySequence>& keys);
  // Back to the defaults, as "Reset All" does.
  void ResetAll();

 private:
  void Fill();
  void ShowSelected();
  void EditorsChanged();
  int SelectedCommand() const;

  ShortcutMap shortcuts_;
  QTreeWidget* list_;
  QKeySequenceEdit* first_;
  QKeySequenceEdit* second_;
  bool filling_ = false;
};

}  // namespace orvenna
