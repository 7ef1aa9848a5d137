// The scrolling view of one image window: draws the page shown at the document's
// scale or fitted, centred on the work-area colour, with the hand and lens modes.
#pragma once

#include <QAbstractScrollArea>

class QMdiSubWindow;

namespace orvenna {

class COrvennaDoc;
class IViewerHost;

class COrvennaView : public QAbstractScrollArea {
 public:
  COrvennaView(COrvennaDoc* doc, IViewerHost* host, QWidget* parent = nullptr);
  ~COrvennaView() override;

  COrvennaDoc* GetDocument() const { return doc_; }

  // First display, once the window holding the view is shown: the scroll size
  // becomes the picture's size and the window is sized to the picture within the
  // main window's work area `workArea` (the MDI area's size).
  void OnInitialUpdate(QMdiSubWindow* child, const QSize& workArea);
  // After the window made its page bar: widens and heightens it to hold the bar.
  void FitToPageBar(QMdiSubWindow* child, const QSize& pageBar);

  struct Impl;

 private:
  static void KeepInside(QMdiSubWindow* child, const QSize& area);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  QSize InnerSize() const;

  COrvennaDoc* doc_;
  IViewerHost* host_;
  Impl* d_;
};

// The zoom, work-area, mode, lens and full-screen commands.
void RegisterViewCommands(IViewerHost& host);

}  // namespace orvenna
