// A plain window that shows the project's pages one under the other, each as
// wide as the view, drawn by the page renderer.
#pragma once

#include <QImage>
#include <QMainWindow>

#include "printlayout/model/Project.h"

class QVBoxLayout;

namespace tessaly {

class PageWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit PageWindow(Project& project, QWidget* parent = nullptr);
  // Rebuilds the page list after the project changed.
  void refresh();
  int pageWidgetCount() const;

 private:
  Project& project_;
  QVBoxLayout* pagesLayout_ = nullptr;
};

// Renders one page entry into a QImage of the given width (the height follows the
// paper), as the window shows it. For the window and its tests.
QImage RenderPageImage(Project& project, int pageIndex, int width);

}  // namespace tessaly
