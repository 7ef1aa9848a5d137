// Ardent: the open-image dialog of the viewer and the print-layout program. A file
// dialog with the image library's filter, multiple selection and a preview of the
// picture selected.
//
//   COpenImageDlg dlg(1, nullptr, nullptr, 0x101A04, CImageInterface::GetOpenAllFilesFilter(),
//                     nullptr, "Malvito");
//   if (dlg.DoModal() == IDOK)
//     for (auto pos = dlg.GetStartPosition(); pos; ) open(dlg.GetNextPathName(pos));
#pragma once

#include <QDialog>

#include <string>
#include <vector>

// Open-file flags the callers pass (the others are accepted and ignored).
constexpr unsigned long OFN_ALLOWMULTISELECT = 0x00000200;
constexpr unsigned long OFN_FILEMUSTEXIST = 0x00001000;
constexpr unsigned long OFN_PATHMUSTEXIST = 0x00000800;
constexpr unsigned long OFN_HIDEREADONLY = 0x00000004;
constexpr unsigned long OFN_NOCHANGEDIR = 0x00000008;
constexpr unsigned long OFN_NODEREFERENCELINKS = 0x00100000;

// A position in the selection, as the file dialog's iteration hands it out; null at the end.
using POSITION = void*;

class COpenImageDlg : public QDialog {
 public:
  // `filter` is "Text|patterns|Text|patterns||"; the first entry is selected. The
  // program name keys the folder the dialog remembers between runs.
  COpenImageDlg(int open, const char* defaultExtension, const char* fileName, unsigned long flags,
                const char* filter, QWidget* parent, const std::string& programName);
  ~COpenImageDlg() override;

  // IDOK (1) when the user accepted one or more files, else IDCANCEL (2).
  int DoModal();
  POSITION GetStartPosition() const;
  // The path at `pos`, advancing it; null after the last.
  std::string GetNextPathName(POSITION& pos) const;
  // The chosen paths, in the order chosen.
  const std::vector<std::string>& Paths() const { return paths_; }

  // For tests and callers that choose without the dialog: the folder on show and the
  // selection as if the user had picked it (relative names are in the folder).
  void SetFolder(const std::string& folder);
  void SelectFiles(const std::vector<std::string>& names);
  // Accepts the current selection as the OK button does; false when it is refused
  // (a file that must exist does not, or several files without multiple selection).
  bool Accept();

  struct Impl;

 private:
  Impl* d_;
  std::vector<std::string> paths_;
};
