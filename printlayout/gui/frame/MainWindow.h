// The print-layout program's main window: menus, the "Standard" and "Align &
// Layout" tool bars, the status bar panes, the page view in the middle and the
// project inspector docked beside it. Every command of the menus, tool bars and
// context menus is one QAction, found by its Command number.
#pragma once

#include <QMainWindow>

#include <functional>
#include <map>
#include <string>

#include "printlayout/gui/GuiTypes.h"
#include "printlayout/model/Project.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

namespace tessaly {

class PageView;
class ProjectTreeDock;

// Registry names of the bar layout, under the program's key.
constexpr const char* kBarStateName = "DizezOzav.BarState";
constexpr const char* kSizingBarKeyFormat = "%s-SCBar-%d";
constexpr const char* kProgramKey = "Software\\Velmark\\Tessaly";

constexpr const char* kReadyText = "Ready";
constexpr const char* kCountsFormat = "%d Image(s) and %d Page(s)";
constexpr const char* kStandardBarTitle = "Standard";
constexpr const char* kLayoutBarTitle = "Align & Layout";
// The framework's question when a changed project's window closes.
constexpr const char* kSaveChangesFormat = "Save changes to %s?";

enum class Command {
  PageSetup,
  Print,
  Export,
  Exit,
  SelectAll,
  InsertPage,
  RemovePage,
  RemoveFromPage,
  RemoveFromProject,
  Options,
  StandardBar,
  LayoutBar,
  StatusBar,
  InspectorBar,
  FullScreen,
  AlignLeft,
  AlignHCenter,
  AlignRight,
  AlignTop,
  AlignVCenter,
  AlignBottom,
  SpaceAcross,
  SpaceDown,
  SameWidth,
  SameHeight,
  SameBoth,
  SizeToContent,
  AlignDistribute,
  Arrange,
  SynchronizeSize,
  ShadowNone,
  Shadow05,
  Shadow10,
  Shadow15,
  Shadow20,
  ShadowOther,
  ZoomPageWidth,
  ZoomWholePage,
  ZoomTwoPages,
  ZoomThreePages,
  ZoomFourPages,
  ToggleAutoArrange,
  HelpContents,
  GotoPage,
  // The page view's context menu: its own texts, the same work.
  ContextRemoveFromPage,
  ContextRemoveFromProject,
  ContextAlignDistribute,
  ContextArrange,
  ContextSynchronizeSize,
  ContextSizeToContent,
  ContextGotoPage,
  SynchronizeInspector,
  ContextSelectAll,
  EditComment,
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(Project& project, QWidget* parent = nullptr);
  ~MainWindow() override;

  PageView* view() const { return view_; }
  ProjectTreeDock* inspector() const { return inspector_; }
  QAction* action(Command id) const { return actions_.at(id); }
  QMenu* viewContextMenu() const { return contextMenu_; }
  QToolBar* standardBar() const { return standardBar_; }
  QToolBar* layoutBar() const { return layoutBar_; }
  QToolButton* pageLayoutButton() const { return pageLayoutButton_; }
  // The status bar panes, left to right after the prompt.
  QLabel* pixelSizePane() const { return panes_[0]; }
  QLabel* boxPane() const { return panes_[1]; }
  QLabel* positionPane() const { return panes_[2]; }
  QLabel* countsPane() const { return panes_[3]; }

  // Where a project that has no file yet is saved when the window closes; the
  // "Save As" file dialog unless replaced (tests).
  void setSavePathChooser(std::function<std::string()> choose) { chooseSavePath_ = std::move(choose); }

  // The file F1 opens.
  void setHelpFile(const std::string& path) { helpFile_ = path; }

  // After a change made outside the window's own commands: auto-arrangement
  // where the rules ask for it, then every view again.
  void projectChanged(bool rearrange);
  // Adds files (folders with everything below them) to the not-arranged area.
  int addFiles(const QStringList& paths);

  // The tool-bar and dock layout, under kProgramKey.
  void saveBarState() const;
  void restoreBarState();

  bool isFullScreenMode() const { return fullScreen_; }
  void setFullScreenMode(bool on);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QAction* makeAction(Command id, const char* text, const char* icon = nullptr);
  void buildActions();
  void buildMenus();
  void buildToolBars();
  void buildStatusBar();
  void wire();
  void updateActions();
  void updateCounts();
  void run(Command id);

  void onPrint();
  void onExport();
  void onOptions(bool imagesLook);
  void onAlign(std::uint32_t flags);
  void onDistribute(std::uint32_t flags);
  void onAlignDistribute();
  void onArrange();
  void onSynchronizeSize();
  void onShadow(int preset);
  void onZoom(ZoomMode mode);
  void onGotoPage();
  void onEditComment();
  void onRemoveSelected(bool fromProject);
  void onHelp();
  // A selection edit: the layout call, then modified and every view again.
  void afterSelectionEdit();
  // False when the user cancelled; true when there was nothing to save, it was
  // saved or the user chose not to.
  bool askToSave();

  Project& project_;
  PageView* view_ = nullptr;
  ProjectTreeDock* inspector_ = nullptr;
  std::map<Command, QAction*> actions_;
  QActionGroup* zoomGroup_ = nullptr;
  QActionGroup* shadowGroup_ = nullptr;
  QMenu* contextMenu_ = nullptr;
  QToolBar* standardBar_ = nullptr;
  QToolBar* layoutBar_ = nullptr;
  QToolButton* pageLayoutButton_ = nullptr;
  QLabel* prompt_ = nullptr;
  QLabel* panes_[4] = {};
  std::string helpFile_;
  std::function<std::string()> chooseSavePath_;
  bool fullScreen_ = false;
  // What full-screen mode hid, to show again when it ends.
  std::map<QWidget*, bool> shownBeforeFullScreen_;
  bool wasMaximized_ = false;
};

}  // namespace tessaly
