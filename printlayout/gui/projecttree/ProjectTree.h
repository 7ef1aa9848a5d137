// The inspector's tree widget: a plain QTreeWidget whose drag and drop is handed
// to the inspector, so that image nodes can be dragged onto other nodes and
// files dropped from a file manager.
#pragma once

#include <QTreeWidget>

#include <functional>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;

namespace tessaly {

// The format of a drag that started on the tree itself: the images are the
// tree's selection, so the data is only a marker.
constexpr const char* kInspectorDragFormat = "application/x-tessaly-inspector-images";

class ProjectTree : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

  // Whether a drag of this data may be dropped at all.
  std::function<bool(const QMimeData*)> acceptsDrag;
  // The pointer moved over the viewport (global position) / left it.
  std::function<void(QPoint)> dragOver;
  std::function<void()> dragGone;
  // Dropped at a global position; true when anything changed.
  std::function<bool(const QMimeData*, QPoint)> dropped;

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace tessaly
