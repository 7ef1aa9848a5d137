// The full-screen display of one image: a borderless window over the whole screen
// without a cursor, showing the page whole (reduced when it is larger than the
// screen) on the work-area colour. Any key released, the right button or the loss of
// focus ends it.
#pragma once

#include <QPointer>
#include <QWidget>

#include "viewer/view/PageCache.h"

namespace orvenna {

class COrvennaDoc;
class IViewerHost;

class CFullScreenWnd : public QWidget {
 public:
  CFullScreenWnd(COrvennaDoc* doc, IViewerHost* host);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Asks the main window, after this event, to end the display.
  void End();

  QPointer<COrvennaDoc> doc_;
  IViewerHost* host_;
  CPageCache cache_;
  bool ending_ = false;
};

}  // namespace orvenna
