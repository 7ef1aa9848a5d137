#include "printlayout/gui/projecttree/ProjectTreeDock.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <set>

#include "lorimer/ImageInterface.h"
#include "platform/ui/ui.h"
#include "printlayout/gui/projecttree/ProjectTree.h"
#include "printlayout/gui/projecttree/ThumbnailLoader.h"
#include "siblings/ardent/COpenImageDlg.h"

namespace tessaly {

namespace {

// What a node's data holds besides the thumbnail state.
constexpr int kKindRole = Qt::UserRole;
constexpr int kEntryRole = Qt::UserRole + 1;
constexpr int kPointerRole = Qt::UserRole + 2;
constexpr int kThumbKeyRole = Qt::UserRole + 4;
enum NodeKind { kPageNode = 1, kImageNode = 2 };

constexpr int kIconSide = 64;
constexpr unsigned long kOpenImageFlags = 0x101A84;
constexpr const char* kProgramName = "Tessaly";

// Page-node menu.
constexpr const char* kCollapsePage = "&Collapse Page";
constexpr const char* kExpandPage = "&Expand Page";
constexpr const char* kCollapseAllPages = "C&ollapse All";
constexpr const char* kExpandAllPages = "Expand &All";
constexpr const char* kInsertPage = "&Insert Page";
constexpr const char* kInsertImageOnPage = "I&nsert Image";
constexpr const char* kGotoPage = "&Goto Page";
constexpr const char* kSynchronize = "&Synchronize";
constexpr const char* kDeletePage = "&Delete Page";
constexpr const char* kDeleteEmptyPages = "Delete Empt&y Pages";
// Image-node menu.
constexpr const char* kCollapseAll = "Collapse All";
constexpr const char* kExpandAll = "Expand All";
constexpr const char* kInsertImage = "Insert Image";
constexpr const char* kRemoveFromProject = "Remove Image from Project";
constexpr const char* kRemoveFromPage = "Remove Image from Page";
constexpr const char* kEditComment = "Edit Comment";

quintptr PointerOf(const QTreeWidgetItem* item) { return item->data(0, kPointerRole).value<quintptr>(); }

// A light frame while the real picture is on its way.
QIcon PlaceholderIcon() {
  QPixmap pixmap(kIconSide, kIconSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QColor(0xB0, 0xB0, 0xB0));
  painter.setBrush(QColor(0xF2, 0xF2, 0xF2));
  painter.drawRect(QRect(8, 8, kIconSide - 17, kIconSide - 17));
  return QIcon(pixmap);
}

// The theme's "image-missing", or a crossed frame where the theme has none.
QIcon MissingIcon() {
  QPixmap pixmap(kIconSide, kIconSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect box(8, 8, kIconSide - 17, kIconSide - 17);
  painter.setPen(QPen(QColor(0xC0, 0x30, 0x30), 3));
  painter.setBrush(Qt::white);
  painter.drawRect(box);
  painter.drawLine(box.topLeft(), box.bottomRight());
  painter.drawLine(box.topRight(), box.bottomLeft());
  return QIcon::fromTheme(QStringLiteral("image-missing"), QIcon(pixmap));
}

// A thumbnail shown in a square, so that names line up whatever the picture's shape.
QIcon SquareIcon(const QImage& picture) {
  const int side = std::max(picture.width(), picture.height());
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.drawImage((side - picture.width()) / 2, (side - picture.height()) / 2, picture);
  painter.setPen(QColor(0xA0, 0xA0, 0xA0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(
      QRect((side - picture.width()) / 2, (side - picture.height()) / 2, picture.width() - 1, picture.height() - 1));
  return QIcon(pixmap);
}

QString FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1));
}

QAction* AddAction(QMenu* menu, const char* text, const char* icon, const std::function<void()>& run) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  if (icon) action->setIcon(QIcon::fromTheme(QString::fromLatin1(icon)));
  QObject::connect(action, &QAction::triggered, menu, run);
  return action;
}

}  // namespace

ProjectTreeDock::ProjectTreeDock(Project& project, QWidget* parent)
    : QDockWidget(QString::fromLatin1(kInspectorTitle), parent), project_(project) {
  setObjectName(QStringLiteral("ProjectTreeDock"));
  auto* tree = new ProjectTree(this);
  tree_ = tree;
  tree->setObjectName(QStringLiteral("inspectorTree"));
  tree->setHeaderHidden(true);
  tree->setColumnCount(1);
  tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree->setIconSize(QSize(kIconSide, kIconSide));
  tree->setContextMenuPolicy(Qt::CustomContextMenu);
  tree->setDragEnabled(true);
  tree->setAcceptDrops(true);
  tree->viewport()->setAcceptDrops(true);
  tree->setDragDropMode(QAbstractItemView::DragDrop);
  tree->setUniformRowHeights(false);
  tree->acceptsDrag = [this](const QMimeData* data) { return acceptsDrag(data); };
  tree->dragOver = [this](QPoint global) { dragMove(global); };
  tree->dragGone = [this] { dragLeave(); };
  tree->dropped = [this](const QMimeData* data, QPoint global) { return dropData(data, global); };
  connect(tree, &QWidget::customContextMenuRequested, this, &ProjectTreeDock::showContextMenu);
  // Expansion is remembered per page, so a rebuild of the tree keeps it.
  connect(tree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    if (item->data(0, kKindRole).toInt() == kPageNode)
      collapsed_.insert(reinterpret_cast<const ProjectPage*>(PointerOf(item)));
  });
  connect(tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (item->data(0, kKindRole).toInt() == kPageNode)
      collapsed_.erase(reinterpret_cast<const ProjectPage*>(PointerOf(item)));
  });
  setWidget(tree);

  placeholder_ = PlaceholderIcon();
  missingIcon_ = MissingIcon();
  chooseImages_ = [this]() -> std::vector<std::string> {
    COpenImageDlg dialog(1, nullptr, nullptr, kOpenImageFlags, CImageInterface::GetOpenAllFilesFilter(), this,
                         kProgramName);
    if (dialog.DoModal() != IDOK) return {};
    return dialog.Paths();
  };
  // The loader's thread hands each picture back through the event loop; the
  // loader is joined before this object goes, so the queued call never outlives it.
  loader_ = std::make_unique<ThumbnailLoader>([this](const QString& key, const QImage& picture) {
    QMetaObject::invokeMethod(
        this, [this, key, picture] { thumbnailArrived(key, picture); }, Qt::QueuedConnection);
  });
  buildMenus();
  refresh();
}

ProjectTreeDock::~ProjectTreeDock() { loader_.reset(); }

// ---- the tree ------------------------------------------------------------------

void ProjectTreeDock::refresh() {
  // What was selected, by identity, where it is still in the project.
  std::set<quintptr> selected;
  for (const QTreeWidgetItem* item : tree_->selectedItems()) selected.insert(PointerOf(item));
  quintptr current = tree_->currentItem() ? PointerOf(tree_->currentItem()) : 0;
  const int scroll = tree_->verticalScrollBar()->value();

  std::set<const ProjectPage*> pages;
  std::set<std::string> multiPlaneFiles;
  std::set<QString> keysInUse;
  for (const auto& page : project_.pages) {
    pages.insert(page.get());
    for (const auto& image : page->placements)
      if (image->plane > 0) multiPlaneFiles.insert(image->path);
  }
  // Pages that are gone take their collapsed state with them.
  for (auto it = collapsed_.begin(); it != collapsed_.end();)
    it = pages.count(*it) ? std::next(it) : collapsed_.erase(it);

  dropHighlight_ = nullptr;
  const QSignalBlocker block(tree_);
  tree_->setUpdatesEnabled(false);
  tree_->clear();
  QTreeWidgetItem* currentItem = nullptr;
  for (int entry = 0; entry < static_cast<int>(project_.pages.size()); ++entry) {
    const ProjectPage* page = project_.pages[static_cast<size_t>(entry)].get();
    auto* node = new QTreeWidgetItem(tree_);
    node->setText(0, entry == 0 ? QString::fromLatin1(kNotArrangedNode)
                                : QString::asprintf(kPageNodeFormat, project_.pageNumber(entry)));
    node->setData(0, kKindRole, kPageNode);
    node->setData(0, kEntryRole, entry);
    node->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(page)));
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled);
    QFont bold = node->font(0);
    bold.setBold(true);
    node->setFont(0, bold);
    if (selected.count(reinterpret_cast<quintptr>(page))) node->setSelected(true);
    if (current == reinterpret_cast<quintptr>(page)) currentItem = node;
    for (const auto& image : page->placements) {
      QTreeWidgetItem* child = addImageNode(node, *image, multiPlaneFiles.count(image->path) > 0);
      keysInUse.insert(child->data(0, kThumbKeyRole).toString());
      if (selected.count(reinterpret_cast<quintptr>(image.get()))) child->setSelected(true);
      if (current == reinterpret_cast<quintptr>(image.get())) currentItem = child;
    }
    node->setExpanded(!collapsed_.count(page));
  }
  if (currentItem) tree_->setCurrentItem(currentItem, 0, QItemSelectionModel::NoUpdate);
  // Only the pictures the project still shows are kept.
  for (auto it = thumbnails_.begin(); it != thumbnails_.end();)
    it = keysInUse.count(it.key()) ? std::next(it) : thumbnails_.erase(it);
  tree_->setUpdatesEnabled(true);
  tree_->verticalScrollBar()->setValue(scroll);
}

QTreeWidgetItem* ProjectTreeDock::addImageNode(QTreeWidgetItem* page, const ImagePlacement& image, bool severalPlanes) {
  auto* node = new QTreeWidgetItem(page);
  QString text = FileName(image.path);
  if (severalPlanes) text += QStringLiteral(" (%1)").arg(image.plane + 1);
  node->setText(0, text);
  node->setToolTip(0, QString::fromStdString(image.path));
  node->setData(0, kKindRole, kImageNode);
  node->setData(0, kEntryRole, page->data(0, kEntryRole));
  node->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(&image)));
  node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
  showThumbnail(node, image);
  return node;
}

QTreeWidgetItem* ProjectTreeDock::pageItem(int pageIndex) const {
  return pageIndex >= 0 && pageIndex < tree_->topLevelItemCount() ? tree_->topLevelItem(pageIndex) : nullptr;
}

int ProjectTreeDock::entryOf(const QTreeWidgetItem* item) const {
  if (!item) return -1;
  const int entry = item->data(0, kEntryRole).toInt();
  return entry >= 0 && entry < static_cast<int>(project_.pages.size()) ? entry : -1;
}

ImagePlacement* ProjectTreeDock::placementOf(const QTreeWidgetItem* item) const {
  if (!item || item->data(0, kKindRole).toInt() != kImageNode) return nullptr;
  const quintptr wanted = PointerOf(item);
  for (const auto& page : project_.pages)
    for (const auto& image : page->placements)
      if (reinterpret_cast<quintptr>(image.get()) == wanted) return image.get();
  return nullptr;
}

QTreeWidgetItem* ProjectTreeDock::selectedNode() const {
  QTreeWidgetItem* current = tree_->currentItem();
  if (current && current->isSelected()) return current;
  const QList<QTreeWidgetItem*> items = tree_->selectedItems();
  return items.isEmpty() ? nullptr : items.first();
}

int ProjectTreeDock::selectedPage() const { return entryOf(selectedNode()); }

Selection ProjectTreeDock::selectedImages() const {
  Selection images;
  for (int p = 0; p < tree_->topLevelItemCount(); ++p) {
    const QTreeWidgetItem* page = tree_->topLevelItem(p);
    for (int i = 0; i < page->childCount(); ++i)
      if (page->child(i)->isSelected())
        if (ImagePlacement* image = placementOf(page->child(i))) images.push_back(image);
  }
  return images;
}

void ProjectTreeDock::selectImages(const Selection& images) {
  const std::set<const ImagePlacement*> wanted(images.begin(), images.end());
  tree_->clearSelection();
  QTreeWidgetItem* first = nullptr;
  for (int p = 0; p < tree_->topLevelItemCount(); ++p) {
    QTreeWidgetItem* page = tree_->topLevelItem(p);
    for (int i = 0; i < page->childCount(); ++i) {
      QTreeWidgetItem* node = page->child(i);
      if (!wanted.count(reinterpret_cast<const ImagePlacement*>(PointerOf(node)))) continue;
      page->setExpanded(true);
      node->setSelected(true);
      if (!first) first = node;
    }
  }
  if (!first) return;
  tree_->setCurrentItem(first, 0, QItemSelectionModel::NoUpdate);
  tree_->scrollToItem(first);
}

void ProjectTreeDock::selectPage(int pageIndex) {
  QTreeWidgetItem* node = pageItem(pageIndex);
  if (!node) return;
  tree_->setCurrentItem(node, 0, QItemSelectionModel::ClearAndSelect);
  tree_->scrollToItem(node);
}

// ---- thumbnails ------------------------------------------------------------------

void ProjectTreeDock::showThumbnail(QTreeWidgetItem* item, const ImagePlacement& image) {
  const QString key = ThumbnailKey(image.path, image.plane, image.thumbWidth, image.thumbHeight);
  item->setData(0, kThumbKeyRole, key);
  const auto cached = thumbnails_.constFind(key);
  if (cached != thumbnails_.constEnd()) {
    const bool missing = cached->isNull();
    item->setIcon(0, missing ? missingIcon_ : *cached);
    item->setData(0, kThumbnailStateRole, missing ? kThumbnailMissing : kThumbnailReady);
    return;
  }
  if (!QFileInfo::exists(QString::fromStdString(image.path))) {
    item->setIcon(0, missingIcon_);
    item->setData(0, kThumbnailStateRole, kThumbnailMissing);
    return;
  }
  item->setIcon(0, placeholder_);
  item->setData(0, kThumbnailStateRole, kThumbnailPending);
  if (!pending_.insert(key).second) return;
  loader_->queue(ThumbnailJob{key, image.path, image.plane, image.thumbWidth, image.thumbHeight});
}

void ProjectTreeDock::thumbnailArrived(const QString& key, const QImage& picture) {
  pending_.erase(key);
  const QIcon icon = picture.isNull() ? QIcon() : SquareIcon(picture);
  bool shown = false;
  for (int p = 0; p < tree_->topLevelItemCount(); ++p) {
    QTreeWidgetItem* page = tree_->topLevelItem(p);
    for (int i = 0; i < page->childCount(); ++i) {
      QTreeWidgetItem* node = page->child(i);
      if (node->data(0, kThumbKeyRole).toString() != key) continue;
      node->setIcon(0, picture.isNull() ? missingIcon_ : icon);
      node->setData(0, kThumbnailStateRole, picture.isNull() ? kThumbnailMissing : kThumbnailReady);
      shown = true;
    }
  }
  // A picture nobody shows any more is not kept.
  if (shown) thumbnails_.insert(key, icon);
}

// ---- menus -----------------------------------------------------------------------

void ProjectTreeDock::buildMenus() {
  pageMenu_ = new QMenu(this);
  pageMenu_->setObjectName(QStringLiteral("pageMenu"));
  AddAction(pageMenu_, kCollapsePage, nullptr, [this] { setSelectedPageExpanded(false); });
  AddAction(pageMenu_, kExpandPage, nullptr, [this] { setSelectedPageExpanded(true); });
  AddAction(pageMenu_, kCollapseAllPages, nullptr, [this] { tree_->collapseAll(); });
  AddAction(pageMenu_, kExpandAllPages, nullptr, [this] { tree_->expandAll(); });
  pageMenu_->addSeparator();
  AddAction(pageMenu_, kInsertPage, "document-new", [this] { insertPageBeforeSelected(); });
  AddAction(pageMenu_, kInsertImageOnPage, "insert-image", [this] { insertImages(); });
  pageMenu_->addSeparator();
  AddAction(pageMenu_, kGotoPage, "go-jump", [this] { goToSelectedPage(); });
  AddAction(pageMenu_, kSynchronize, "view-refresh", [this] { synchronizeSelection(); });
  pageMenu_->addSeparator();
  AddAction(pageMenu_, kDeletePage, "edit-delete",
            [this] { deleteSelectedPage(QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier)); });
  AddAction(pageMenu_, kDeleteEmptyPages, "edit-clear", [this] { deleteEmptyPages(); });

  imageMenu_ = new QMenu(this);
  imageMenu_->setObjectName(QStringLiteral("imageMenu"));
  AddAction(imageMenu_, kCollapseAll, nullptr, [this] { tree_->collapseAll(); });
  AddAction(imageMenu_, kExpandAll, nullptr, [this] { tree_->expandAll(); });
  imageMenu_->addSeparator();
  AddAction(imageMenu_, kInsertImage, "insert-image", [this] { insertImages(); });
  AddAction(imageMenu_, kRemoveFromProject, "edit-delete", [this] { removeSelectedFromProject(); });
  AddAction(imageMenu_, kRemoveFromPage, "list-remove", [this] { removeSelectedFromPage(); });
  imageMenu_->addSeparator();
  AddAction(imageMenu_, kGotoPage, "go-jump", [this] { goToSelectedPage(); });
  AddAction(imageMenu_, kSynchronize, "view-refresh", [this] { synchronizeSelection(); });
  AddAction(imageMenu_, kEditComment, "document-properties", [this] { editSelectedComment(); });
  imageMenu_->addSeparator();
  AddAction(imageMenu_, kDeleteEmptyPages, "edit-clear", [this] { deleteEmptyPages(); });

  connect(pageMenu_, &QMenu::aboutToShow, this, &ProjectTreeDock::updateMenuStates);
  connect(imageMenu_, &QMenu::aboutToShow, this, &ProjectTreeDock::updateMenuStates);
}

// The menus offer only what the selected node allows; the commands check again,
// since the window can run them without a menu.
void ProjectTreeDock::updateMenuStates() {
  const int page = selectedPage();
  const bool printable = page >= 1;
  const bool images = !selectedImages().empty();
  for (QAction* action : pageMenu_->actions()) {
    const QString text = action->text();
    if (text == QLatin1String(kGotoPage)) action->setEnabled(printable);
    if (text == QLatin1String(kDeletePage)) action->setEnabled(printable && project_.pageCount() > 1);
  }
  for (QAction* action : imageMenu_->actions()) {
    const QString text = action->text();
    if (text == QLatin1String(kGotoPage)) action->setEnabled(printable);
    if (text == QLatin1String(kRemoveFromProject)) action->setEnabled(images);
    if (text == QLatin1String(kRemoveFromPage)) action->setEnabled(images && printable);
    if (text == QLatin1String(kEditComment)) action->setEnabled(images && editComment_ != nullptr);
    if (text == QLatin1String(kSynchronize)) action->setEnabled(images);
  }
}

void ProjectTreeDock::showContextMenu(QPoint viewportPoint) {
  QTreeWidgetItem* item = tree_->itemAt(viewportPoint);
  if (!item) return;
  // A click on a node outside the selection selects that node alone; one
  // inside it keeps the selection, so a command can act on all of it.
  if (!item->isSelected())
    tree_->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
  else
    tree_->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
  QMenu* menu = item->data(0, kKindRole).toInt() == kPageNode ? pageMenu_ : imageMenu_;
  menu->exec(tree_->viewport()->mapToGlobal(viewportPoint));
}

void ProjectTreeDock::setSelectedPageExpanded(bool expanded) {
  QTreeWidgetItem* node = pageItem(selectedPage());
  if (node) node->setExpanded(expanded);
}

// ---- commands ----------------------------------------------------------------------

void ProjectTreeDock::finishEdit(bool arrange) {
  project_.setModified(true);
  if (arrange) applyAutoArrange(project_);
  refresh();
  emit projectEdited();
}

void ProjectTreeDock::insertPageBeforeSelected() {
  // Before " Not Arranged" or with nothing selected the page is appended.
  const int selected = selectedPage();
  project_.insertPage(selected >= 1 ? selected : static_cast<int>(project_.pages.size()));
  finishEdit(true);
}

void ProjectTreeDock::deleteSelectedPage(bool withImages) {
  const int page = selectedPage();
  if (project_.pageCount() <= 1 || page < 1 || page >= static_cast<int>(project_.pages.size())) return;
  Selection removed;
  if (withImages)
    for (const auto& image : project_.pages[static_cast<size_t>(page)]->placements) removed.push_back(image.get());
  for (ImagePlacement* image : removed) project_.removeFromProject(image);
  project_.deletePage(page);
  // The images a plain delete moved to " Not Arranged" stay there; only removing
  // images from the project asks for a new arrangement.
  finishEdit(!removed.empty());
}

void ProjectTreeDock::insertImages() {
  QTreeWidgetItem* node = selectedNode();
  const int page = std::max(entryOf(node), 0);
  const ImagePlacement* before = placementOf(node);
  const std::vector<std::string> paths = chooseImages_ ? chooseImages_() : std::vector<std::string>{};
  if (paths.empty()) return;
  auto& list = project_.pages[static_cast<size_t>(page)]->placements;
  const size_t oldCount = list.size();
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const std::string& path : paths) project_.addImageFile(path, page);
    QApplication::restoreOverrideCursor();
  }
  if (list.size() == oldCount) return;
  // The new placements were appended; bring them, in their order, before the image.
  const auto at = std::find_if(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(oldCount),
                               [&](const auto& image) { return image.get() == before; });
  if (before && at != list.begin() + static_cast<std::ptrdiff_t>(oldCount))
    std::rotate(at, list.begin() + static_cast<std::ptrdiff_t>(oldCount), list.end());
  finishEdit(true);
}

void ProjectTreeDock::goToSelectedPage() {
  const int page = selectedPage();
  if (page >= 1) emit goToPageRequested(page);
}

void ProjectTreeDock::synchronizeSelection() {
  QTreeWidgetItem* node = selectedNode();
  const int entry = entryOf(node);
  if (entry < 0) return;
  Selection images;
  if (node->data(0, kKindRole).toInt() == kPageNode) {
    for (const auto& image : project_.pages[static_cast<size_t>(entry)]->placements) images.push_back(image.get());
  } else {
    images = selectedImages();
  }
  emit synchronizeRequested(images);
}

void ProjectTreeDock::removeSelectedFromPage() {
  bool moved = false;
  for (ImagePlacement* image : selectedImages()) {
    if (image->pageIndex == 0) continue;
    project_.movePlacement(image, 0);
    moved = true;
  }
  if (moved) finishEdit(false);
}

void ProjectTreeDock::removeSelectedFromProject() {
  const Selection images = selectedImages();
  if (images.empty()) return;
  for (ImagePlacement* image : images) project_.removeFromProject(image);
  finishEdit(true);
}

void ProjectTreeDock::editSelectedComment() {
  const Selection images = selectedImages();
  if (images.empty() || !editComment_) return;
  editComment_(images);
  refresh();
}

void ProjectTreeDock::deleteEmptyPages() {
  const size_t before = project_.pages.size();
  project_.deleteEmptyPages();
  if (project_.pages.size() == before) return;
  finishEdit(true);
}

// ---- dropping ----------------------------------------------------------------------

QWidget* ProjectTreeDock::dropWidget() { return tree_; }

void ProjectTreeDock::setDropHighlight(QTreeWidgetItem* item) {
  if (item == dropHighlight_) return;
  if (dropHighlight_) dropHighlight_->setBackground(0, QBrush());
  dropHighlight_ = item;
  if (item) {
    QColor colour = tree_->palette().color(QPalette::Highlight);
    colour.setAlpha(90);
    item->setBackground(0, colour);
  }
}

void ProjectTreeDock::dragEnter(const std::vector<ImagePlacement*>&) { setDropHighlight(nullptr); }

void ProjectTreeDock::dragMove(QPoint global) {
  setDropHighlight(tree_->itemAt(tree_->viewport()->mapFromGlobal(global)));
}

void ProjectTreeDock::dragLeave() { setDropHighlight(nullptr); }

bool ProjectTreeDock::drop(const std::vector<ImagePlacement*>& images, QPoint global) {
  setDropHighlight(nullptr);
  QTreeWidgetItem* target = tree_->itemAt(tree_->viewport()->mapFromGlobal(global));
  const int entry = entryOf(target);
  if (entry < 0 || !moveImagesTo(images, target)) return false;
  // Taking images off the pages would be undone by a new arrangement.
  finishEdit(entry > 0);
  return true;
}

bool ProjectTreeDock::moveImagesTo(const Selection& images, QTreeWidgetItem* target) {
  const int entry = entryOf(target);
  if (entry < 0) return false;
  // Only images still in the project, each once, in the order given.
  Selection moving;
  std::set<const ImagePlacement*> seen;
  for (ImagePlacement* image : images)
    if (project_.pageOf(image) >= 0 && seen.insert(image).second) moving.push_back(image);
  if (moving.empty()) return false;

  auto& list = project_.pages[static_cast<size_t>(entry)]->placements;
  // The images go before the first image from the target on that is not moved
  // itself (dropped on one of the moved images they stay around it).
  const ImagePlacement* before = placementOf(target);
  if (before && seen.count(before)) {
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& image) { return image.get() == before; });
    while (it != list.end() && seen.count(it->get())) ++it;
    before = it == list.end() ? nullptr : it->get();
  }
  std::vector<const ImagePlacement*> oldOrder;
  for (const auto& image : list) oldOrder.push_back(image.get());

  bool changed = false;
  for (ImagePlacement* image : moving)
    if (project_.pageOf(image) != entry) {
      project_.movePlacement(image, entry);
      changed = true;
    }
  // Now all are in the target list: take them out and put them back in place.
  std::vector<std::unique_ptr<ImagePlacement>> taken;
  for (ImagePlacement* image : moving) {
    const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == image; });
    taken.push_back(std::move(*it));
    list.erase(it);
  }
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& image) { return image.get() == before; });
  list.insert(at, std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end()));
  project_.renumber();

  if (!changed) {
    std::vector<const ImagePlacement*> newOrder;
    for (const auto& image : list) newOrder.push_back(image.get());
    changed = newOrder != oldOrder;
  }
  return changed;
}

bool ProjectTreeDock::acceptsDrag(const QMimeData* data) const {
  if (!data) return false;
  if (data->hasFormat(QString::fromLatin1(kInspectorDragFormat))) return true;
  if (!data->hasUrls()) return false;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return true;
  return false;
}

bool ProjectTreeDock::dropData(const QMimeData* data, QPoint global) {
  setDropHighlight(nullptr);
  if (data->hasFormat(QString::fromLatin1(kInspectorDragFormat))) return drop(selectedImages(), global);
  // Files from a file manager: onto a page node they join that page, anywhere
  // else they wait in " Not Arranged".
  QTreeWidgetItem* target = tree_->itemAt(tree_->viewport()->mapFromGlobal(global));
  const int page = target && target->data(0, kKindRole).toInt() == kPageNode ? std::max(entryOf(target), 0) : 0;
  int added = 0;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) added += project_.addImageFile(url.toLocalFile().toStdString(), page);
  QApplication::restoreOverrideCursor();
  if (!added) return false;
  finishEdit(true);
  return true;
}

}  // namespace tessaly
