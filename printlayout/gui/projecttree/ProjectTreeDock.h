// The project inspector: a dockable tree with one node per page entry
// (" Not Arranged", " Page %d") holding the page's images, each with its
// thumbnail and name; the page-node and image-node context menus; and the
// drop of images dragged out of the page view.
#pragma once

#include <QDockWidget>
#include <QHash>
#include <QIcon>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "printlayout/gui/GuiTypes.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/model/Project.h"

class QTreeWidget;
class QTreeWidgetItem;
class QMenu;
class QMimeData;

namespace tessaly {

class ThumbnailLoader;

constexpr const char* kInspectorTitle = "Project Inspector";
constexpr const char* kNotArrangedNode = " Not Arranged";
constexpr const char* kPageNodeFormat = " Page %d";

class ProjectTreeDock : public QDockWidget, public ImageDropTarget {
  Q_OBJECT

 public:
  explicit ProjectTreeDock(Project& project, QWidget* parent = nullptr);
  ~ProjectTreeDock() override;

  // Rebuilds the tree from the project, keeping which pages are expanded and
  // what is selected where the nodes still exist. Thumbnails are made off the
  // GUI thread and appear as they arrive; unchanged files are not made again.
  void refresh();

  QTreeWidget* tree() const { return tree_; }
  // The page entry of the selected node (a page node, or an image node's page);
  // -1 when nothing is selected.
  int selectedPage() const;
  // The images whose nodes are selected, in tree order.
  Selection selectedImages() const;
  // Selects the nodes of these images (and expands their pages): "Synchronize
  // Inspector" of the page view.
  void selectImages(const Selection& images);
  // Selects the node of a page entry.
  void selectPage(int pageIndex);

  // Commands the window's Edit menu shares with the page-node menu.
  // "&Insert Page": a new page before the selected page node (appended when
  // none is selected).
  void insertPageBeforeSelected();
  // "&Delete Page" / "&Remove Page": only while the project has more than one
  // printable page; with `withImages` (Shift held) the page's images are first
  // removed from the project.
  void deleteSelectedPage(bool withImages);

  // The two context menus, built with every command; `exec` them or read them.
  QMenu* pageMenu() const { return pageMenu_; }
  QMenu* imageMenu() const { return imageMenu_; }

  // The open-image dialog of "Insert Image", replaceable for tests: returns the
  // chosen paths (empty when cancelled).
  void setImageChooser(std::function<std::vector<std::string>()> choose) { chooseImages_ = std::move(choose); }
  // "Edit Comment" is the window's "Image comment" dialog; the window supplies it.
  void setCommentEditor(std::function<void(const Selection&)> edit) { editComment_ = std::move(edit); }

  // ImageDropTarget: a drop on a page node appends the images to that page, on
  // an image node inserts them before it (" Not Arranged" takes them off the
  // pages).
  QWidget* dropWidget() override;
  void dragEnter(const std::vector<ImagePlacement*>& images) override;
  void dragMove(QPoint global) override;
  void dragLeave() override;
  bool drop(const std::vector<ImagePlacement*>& images, QPoint global) override;

  // Where an image node's thumbnail stands, in the node's data under this role:
  // being made, shown, or the file could not be read.
  enum ThumbnailState { kThumbnailPending = 0, kThumbnailReady = 1, kThumbnailMissing = 2 };
  static constexpr int kThumbnailStateRole = Qt::UserRole + 3;

 signals:
  // The inspector changed the project (it has set modified and run any
  // auto-arrangement the change needs): the window refreshes the views.
  void projectEdited();
  // "&Goto Page": make this page entry current in the page view.
  void goToPageRequested(int pageIndex);
  // "&Synchronize": select these images in the page view.
  void synchronizeRequested(const Selection& images);

 private:
  // Implementation state; the helper that builds this file may add members.
  Project& project_;
  QTreeWidget* tree_ = nullptr;
  QMenu* pageMenu_ = nullptr;
  QMenu* imageMenu_ = nullptr;
  std::function<std::vector<std::string>()> chooseImages_;
  std::function<void(const Selection&)> editComment_;

  // ---- tree nodes ----
  QTreeWidgetItem* pageItem(int pageIndex) const;
  // The node's page entry (an image node: its page's), -1 for none.
  int entryOf(const QTreeWidgetItem* item) const;
  // The placement of an image node while it is still in the project, else null.
  ImagePlacement* placementOf(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* selectedNode() const;
  QTreeWidgetItem* addImageNode(QTreeWidgetItem* page, const ImagePlacement& image, bool severalPlanes);

  // ---- menus and commands ----
  void buildMenus();
  void showContextMenu(QPoint viewportPoint);
  void updateMenuStates();
  void setSelectedPageExpanded(bool expanded);
  void insertImages();
  void goToSelectedPage();
  void synchronizeSelection();
  void removeSelectedFromPage();
  void removeSelectedFromProject();
  void editSelectedComment();
  void deleteEmptyPages();
  // After the project changed: modified, the auto-arrangement when asked, a
  // new tree and the signal to the window.
  void finishEdit(bool arrange);

  // ---- dropping ----
  void setDropHighlight(QTreeWidgetItem* item);
  // Moves the images before the image `target` or to the end of the page
  // `target`; true when anything moved.
  bool moveImagesTo(const Selection& images, QTreeWidgetItem* target);
  bool acceptsDrag(const QMimeData* data) const;
  bool dropData(const QMimeData* data, QPoint global);

  // ---- thumbnails ----
  void showThumbnail(QTreeWidgetItem* item, const ImagePlacement& image);
  void thumbnailArrived(const QString& key, const QImage& picture);

  std::set<const ProjectPage*> collapsed_;
  QHash<QString, QIcon> thumbnails_;  // a null icon: the file could not be read
  std::set<QString> pending_;
  QIcon placeholder_;
  QIcon missingIcon_;
  QTreeWidgetItem* dropHighlight_ = nullptr;
  std::unique_ptr<ThumbnailLoader> loader_;
};

}  // namespace tessaly
