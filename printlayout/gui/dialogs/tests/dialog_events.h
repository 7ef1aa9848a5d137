// Synthetic mouse and key input for the dialog tests, and a hook that acts on
// the next modal dialog once its event loop runs.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>

namespace tessaly::testing {

// A left click in the middle of `w`; on a check box or radio button, on its
// indicator (the rest of a stretched one does not take clicks).
inline void Click(QWidget* w) {
  QPointF local = QRectF(w->rect()).center();
  if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) local.setX(std::min(8.0, local.x()));
  const QPointF global = w->mapToGlobal(local);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

inline void Key(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(w, &release);
}

// Runs `act` on the modal dialog as soon as one is shown (its exec() is then
// waiting in its own event loop).
inline void WhenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

}  // namespace tessaly::testing
