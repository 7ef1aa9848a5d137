// "Batch Convertion Manager": the user gathers images and folders, picks which
// files of the folders to take and the type to convert to, and the dialog hands
// them to the converter as a list file.
#pragma once

#include <QDialog>

#include <set>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvenna {

// The "from:" filter: true when the file name matches entry `index` of that list
// (the text from its last "." on, compared without regard to case); the last entry
// takes every file.
bool MatchesSourceFilter(int index, const std::string& fileName);
// The "from:" and "to:" lists, in the order shown.
const std::vector<const char*>& SourceFilterTexts();
const std::vector<const char*>& TargetTypeTexts();

class CBatchDlg : public QDialog {
  Q_OBJECT

 public:
  CBatchDlg(int srcExtNumber, int destFormatNumber, QWidget* parent = nullptr);

  int DoModal();

  // The selected list indices; read back from the lists when Start is pressed.
  int m_nBatchSrcExtNumber;
  int m_nBatchDestFormatNumber;

  // What "Add new image" and "Add new folder" add for a chosen path; the new
  // entry is checked and selected.
  QTreeWidgetItem* AddImage(const std::string& path);
  QTreeWidgetItem* AddFolder(const std::string& path);
  // What the "Start" button does: writes the list file, starts the converter and
  // closes the dialog.
  void OnStart();
  // The list file the last Start wrote ("" when it wrote none).
  const std::string& ListFilePath() const { return listFile_; }
  // An entry's full path: its ancestors' names joined by the path separator.
  static std::string ItemPath(const QTreeWidgetItem* item);

  QTreeWidget* Tree() const { return tree_; }
  QComboBox* SourceList() const { return from_; }
  QComboBox* TargetList() const { return to_; }

 private:
  QToolButton* SmallButton(const char* icon, const char* tip, const char* name);
  QTreeWidgetItem* NewEntry(QTreeWidgetItem* parent, const std::string& name, bool folder);
  void OnAddImage();
  void OnAddFolder();
  void OnRemove();
  void OnMove(int step);
  void OnSettings();
  void UpdateButtons();
  void ExpandFolder(QTreeWidgetItem* item, std::set<std::string>& seen);
  void CollectFiles(QTreeWidgetItem* item, bool topLevel, std::vector<std::string>& out,
                    std::set<std::string>& written);

  QTreeWidget* tree_;
  QComboBox* from_;
  QComboBox* to_;
  QToolButton* remove_;
  QToolButton* up_;
  QToolButton* down_;
  std::string lastFolder_;
  std::string listFile_;
};

// Opens the batch dialog for the host's settings and stores the lists' choices
// back when the user started a conversion.
class IViewerHost;
void RunBatchDialog(IViewerHost& host);

}  // namespace orvenna
