#include "printlayout/gui/projecttree/ProjectTree.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace tessaly {

// The model's own drag would carry rows and remove them after a move; the
// inspector rebuilds the tree from the project instead, so the drag carries a
// marker only and its result is ignored here.
void ProjectTree::startDrag(Qt::DropActions) {
  bool anyImage = false;
  for (const QTreeWidgetItem* item : selectedItems()) anyImage = anyImage || item->parent() != nullptr;
  if (!anyImage) return;
  auto* drag = new QDrag(this);
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(kInspectorDragFormat), QByteArrayLiteral("images"));
  drag->setMimeData(data);
  drag->exec(Qt::MoveAction);
}

// An enter is a move that comes first: both say whether the data is welcome and
// where the pointer is.
void ProjectTree::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void ProjectTree::dragMoveEvent(QDragMoveEvent* event) {
  if (!acceptsDrag || !acceptsDrag(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  if (dragOver) dragOver(viewport()->mapToGlobal(event->position().toPoint()));
}

void ProjectTree::dragLeaveEvent(QDragLeaveEvent* event) {
  event->accept();
  if (dragGone) dragGone();
}

void ProjectTree::dropEvent(QDropEvent* event) {
  if (!acceptsDrag || !acceptsDrag(event->mimeData()) || !dropped) {
    event->ignore();
    return;
  }
  const QPoint global = viewport()->mapToGlobal(event->position().toPoint());
  event->setDropAction(Qt::CopyAction);
  event->accept();
  dropped(event->mimeData(), global);
}

}  // namespace tessaly
