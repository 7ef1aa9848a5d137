// The lens: a small framed child window of the view that shows the picture around
// the cursor magnified. The view says what to paint inside the frame.
#pragma once

#include <QFrame>

#include <functional>

namespace orvenna {

class CLensWnd : public QFrame {
 public:
  // Paints the lens's client area (inside the frame) with the given painter.
  using Painter = std::function<void(QPainter&, const QRect& client)>;
  CLensWnd(QWidget* parent, Painter painter);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Painter painter_;
};

}  // namespace orvenna
