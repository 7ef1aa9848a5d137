// Corwen: the folder browser the viewer's batch dialog and the converter's
// settings use. The caller fills m_strPath with its last folder, calls DoModal
// and, when that returns IDOK, reads the chosen folder back from m_strPath.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The sub-folders of the folder being shown, by name, in the order listed.
class CAdvArray {
 public:
  void RemoveAll() { names_.clear(); }
  void Add(std::string name) { names_.push_back(std::move(name)); }
  int GetSize() const { return static_cast<int>(names_.size()); }
  const std::string& GetAt(int index) const { return names_.at(static_cast<size_t>(index)); }

 private:
  std::vector<std::string> names_;
};

class CAdvBrovserDlg : public QDialog {
 public:
  explicit CAdvBrovserDlg(QWidget* parent = nullptr);

  // Shows the folder in m_strPath (the home folder when it names none) and lets
  // the user walk the tree. IDOK with the chosen folder in m_strPath, or IDCANCEL
  // with m_strPath as it was.
  int DoModal();

  // Shows this folder; false (and nothing changes) when it is not one.
  bool Browse(const std::string& folder);
  // The folder on show.
  std::string CurrentFolder() const;

  std::string m_strPath;
  CAdvArray m_arrFolders;

 private:
  void Refresh();
  void EditChanged();
  void Enter(int row);
  std::string current_;
  QLineEdit* path_;
  QListWidget* list_;
  QPushButton* up_;
  QPushButton* ok_;
};
