// One image window of the viewer: the document's view inside an MDI window,
// with a page bar at the bottom for pictures of more than one page.
#pragma once

#include <QMdiSubWindow>

#include <memory>

class QToolBar;
class QAction;

namespace orvenna {

class COrvennaDoc;
class COrvennaView;
class IViewerHost;

class CChildFrame : public QMdiSubWindow {
 public:
  CChildFrame(std::unique_ptr<COrvennaDoc> doc, IViewerHost* host);
  ~CChildFrame() override;

  COrvennaDoc* Document() const { return doc_.get(); }
  COrvennaView* View() const { return view_; }
  // Null until the document asked for it.
  QToolBar* PageBar() const { return pageBar_; }
  QAction* PageAction(int id) const;

  // Once the window is in the MDI area and shown: the view sizes the window to
  // the picture within `workArea`, then makes room for the page bar.
  void InitialUpdate(const QSize& workArea);
  // Enables the page buttons for the page shown.
  void UpdatePageBar();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void MakePageBar();

  std::unique_ptr<COrvennaDoc> doc_;
  IViewerHost* host_;
  QWidget* body_;
  COrvennaView* view_;
  QToolBar* pageBar_ = nullptr;
  bool initialised_ = false;
  bool closed_ = false;
};

}  // namespace orvenna
