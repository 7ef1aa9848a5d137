// One open image of the viewer: the picture, the page shown, one step of undo and
// redo, the display scale and the colour of the work area around the picture.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "lorimer/ImageInterface.h"
#include "platform/base/wintypes.h"

class CSaveDlg;

namespace vel::ui {
class CBmpMenu;
}

namespace orvenna {

using vel::ui::CBmpMenu;
class CSaveFormatDlg;
class IViewerHost;

class COrvennaDoc : public QObject {
  Q_OBJECT

 public:
  explicit COrvennaDoc(IViewerHost* host);
  ~COrvennaDoc() override;

  // --- The document's own state (path, title, modified flag).
  const std::string& GetPathName() const { return m_strPathName; }
  // Records the path and makes its file name the title; with addToRecent the path
  // joins the recent-file list.
  void SetPathName(const std::string& path, bool addToRecent = true);
  const std::string& GetTitle() const { return m_strTitle; }
  void SetTitle(const std::string& title);
  bool IsModified() const { return m_bModified; }
  // Stores the flag and keeps the title's trailing "*" in step with it.
  void SetModifiedFlag(bool modified = true);
  // Gives an untitled document the next "ImageN" title.
  void SetUntitled();

  // --- Life of a document.
  // A new document made from the clipboard's picture: false when there is none.
  bool OnNewDocument();
  // Loads the file (all pages, decoded as shown): false when it cannot be loaded.
  bool OnOpenDocument(const std::string& path);
  // The close prompt's save: the format chooser, then that format's save-as.
  bool OnSaveDocument(const std::string& path);
  // Closes the images and stores the work-area colour for the next document.
  void OnCloseDocument();
  // Before closing: true when the document may close (clean, saved, or changes
  // discarded), false to keep it open.
  bool SaveModified();

  // --- Edits.
  // Before a raster edit or save: the undo slot takes the whole image, the current
  // image becomes a one-page copy of the page shown, redo is dropped.
  void TakeUndoSnapshot();
  bool CanUndo();
  bool CanRedo();
  void OnUndo();
  void OnRedo();
  void SelectPage(int index);
  void OnCopyToClipboard();
  // Save as one format: `command` is one of the ID_SAVE_... numbers. 1 saved, 0
  // cancelled or failed.
  int SaveAsFormat(int command);
  // The "Save as..." chooser alone: the command of the chosen format, preselected
  // from the image's format (or the path's extension), or 0 on Cancel.
  int ChooseSaveFormat(const std::string& path);

  // Redraws every view of this document.
  void UpdateAllViews();

  IViewerHost* Host() const { return host_; }

  // Test hooks: when set, they run instead of showing the dialog and return what
  // DoModal/exec would (IDOK or IDCANCEL), the dialog's fields holding the choice.
  static std::function<int(CSaveDlg&)> s_saveDialogHook;
  static std::function<int(CSaveFormatDlg&)> s_chooseFormatHook;

  // --- Members the view and the edits work on.
  std::unique_ptr<CBmpMenu> m_popupMenu;
  CBmpMenu* m_pActivePopup = nullptr;  // the popup being shown; a second one waits
  int m_bUndoModified = 0;
  int m_bRedoModified = 0;
  CImageInterface m_imgCurrent;
  CImageInterface m_imgUndo;
  CImageInterface m_imgRedo;
  int m_nPage = 0;
  int m_nUndoPage = 0;
  int m_nRedoPage = 0;
  double m_dZoom = 1.0;  // -1.0: fit within the work area
  double m_dZoomBeforeFit = 1.0;
  COLORREF m_crWorkArea = 0;

 signals:
  // The picture, page, scale or colour changed: views repaint.
  void ViewsChanged();
  void TitleChanged(const QString& title);
  // A picture with more than one page was opened: the window makes its page bar.
  void PageBarWanted();

 private:
  IViewerHost* host_;
  std::string m_strPathName;
  std::string m_strTitle;
  bool m_bModified = false;
};

// The colour of the work area around pictures: the stored "crWorkAreaBackColor", or
// the button shadow colour of the desktop when none is stored.
COLORREF ReadWorkAreaColor();
void WriteWorkAreaColor(COLORREF color);
// The desktop colours the work-area commands offer.
COLORREF SystemWindowColor();     // "Windows default"
COLORREF SystemBtnShadowColor();  // "Malvito default"

}  // namespace orvenna

// Undo, redo, copy, the page commands and the twelve "Save As" commands.
namespace orvenna {
void RegisterDocumentCommands(IViewerHost& host);
}
