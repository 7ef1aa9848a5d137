// The viewer's main window: the image windows in an MDI area, the menu bar (short
// without an image window, long with one), the toolbar with its drop-down
// buttons, the one-pane status bar, the shortcuts and the program-wide settings.
#pragma once

#include <QMainWindow>

#include <map>
#include <memory>
#include <string>

#include "lorimer/ImageInterface.h"
#include "viewer/core/Host.h"
#include "viewer/frame/Menus.h"
#include "viewer/frame/Profile.h"
#include "viewer/frame/Shortcuts.h"

class QLabel;
class QMdiArea;
class QTimer;
class QToolBar;
class QToolButton;

namespace vel::shell {
class NamedWindow;
}

namespace orvenna {

class CChildFrame;

class CMainFrame : public QMainWindow, public IViewerHost {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // --- IViewerHost
  QWidget* MainWindow() override { return this; }
  CViewerSettings& Settings() override { return settings_; }
  CommandMap& Commands() override { return commands_; }
  COrvennaDoc* ActiveDocument() override;
  COrvennaView* ActiveView() override;
  std::vector<COrvennaDoc*> Documents() override;
  bool OpenDocument(const std::string& path) override;
  void AddRecentFile(const std::string& path) override;
  void ModesChanged() override;
  void ShowPopupMenu(int menuResource, const QPoint& globalPos) override;
  int ConfirmRaster(COrvennaDoc& doc, const char* verb) override;
  void SetStatusText(const std::string& text) override;

  // Takes the name other instances look for; false when a live window has it.
  bool ListenForOtherInstances();
  // A file name handed over by another instance (up to its terminating zero).
  void OnCopyData(const std::string& data);

  // "Create from clipboard": false (and no window) when the clipboard has no picture.
  bool CreateFromClipboard();
  // Closes every image window that agrees to close; false when one refused.
  bool CloseAllDocuments();

  CChildFrame* ActiveChild() const;
  QMdiArea* MdiArea() const { return mdi_; }
  QToolBar* ToolBar() const { return toolBar_; }
  QLabel* StatusPane() const { return statusPane_; }
  bool HasLongMenu() const { return longMenu_; }
  // The frame's action of a command, as menus and shortcuts use it.
  QAction* Action(int id);
  // The toolbar's button of a command; null for commands not on the toolbar.
  QToolButton* ToolButton(int id) const;
  const CRecentFileList& RecentFiles() const { return recent_; }
  const ShortcutMap& Shortcuts() const { return shortcuts_; }
  void ApplyShortcuts(const ShortcutMap& shortcuts);
  // What the idle timer does: toolbar and page bars follow the command states.
  void UpdateToolBar();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void RegisterFrameCommands();
  void RegisterDropDownFallbacks();
  void BuildToolBar();
  void AddButton(int id);
  void AddDropDown(int id, int resource);
  void RunDropDown(int id);
  void UpdateMenuBar();
  void FillRecentFiles(QMenu* file);
  void FillWindowList(QMenu* window);
  void OpenWithDialog();
  void OpenRecent(int index);
  void Tile(bool oneAboveAnother);
  void Customize();
  void AddChild(CChildFrame* child);
  void UpdateTitle();
  void RestoreLayout();
  void StoreLayout();

  CViewerSettings settings_;
  CommandMap commands_;
  CImageInterface clipboardProbe_;  // asked only whether the clipboard holds a picture
  CRecentFileList recent_;
  ShortcutMap shortcuts_;
  QMdiArea* mdi_;
  QToolBar* toolBar_ = nullptr;
  QLabel* statusPane_ = nullptr;
  QTimer* idle_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, QToolButton*> buttons_;
  std::map<int, int> dropDownMenus_;  // drop-down command -> popup resource
  QToolButton* anchor_ = nullptr;     // the drop-down button being clicked
  bool longMenu_ = false;
  bool menuBuilt_ = false;
  std::unique_ptr<vel::shell::NamedWindow> named_;
};

}  // namespace orvenna
