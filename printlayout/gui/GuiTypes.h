// What the parts of the print-layout window share: the zoom modes of the page
// view, the place images dragged out of the page view are dropped on, and the
// answers of the auto-arrange warning.
#pragma once

#include <QPoint>

#include <vector>

#include "printlayout/model/Project.h"

class QWidget;

namespace tessaly {

// The page view's zoom modes, in the order of the "Page &Layout" menu.
enum class ZoomMode { PageWidth, WholePage, TwoPages, ThreePages, FourPages };

// Pages side by side in a mode (1 for Page Width and Whole Page).
constexpr int PagesAcross(ZoomMode mode) {
  return mode == ZoomMode::TwoPages ? 2 : mode == ZoomMode::ThreePages ? 3 : mode == ZoomMode::FourPages ? 4 : 1;
}

// The project inspector, as the page view sees it while images are dragged out
// of the view onto the inspector's tree.
class ImageDropTarget {
 public:
  virtual ~ImageDropTarget() = default;
  // The widget that takes the drop (the tree); the view tests whether the
  // pointer is over it.
  virtual QWidget* dropWidget() = 0;
  // The pointer came over the tree with these images / moved there / left it.
  virtual void dragEnter(const std::vector<ImagePlacement*>& images) = 0;
  virtual void dragMove(QPoint global) = 0;
  virtual void dragLeave() = 0;
  // The images were released at `global` over the tree. True when the
  // project changed.
  virtual bool drop(const std::vector<ImagePlacement*>& images, QPoint global) = 0;
};

// The "Warning" dialog's answer when a hand move starts in auto-arrange mode.
struct AutoArrangeAnswer {
  bool turnOff = false;      // "Yes"
  bool dontAskMore = false;  // "Do not ask me later" was checked
};

}  // namespace tessaly
