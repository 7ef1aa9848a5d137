// What the tests of windows and event-driven code share: waiting on the event loop,
// the check that no text of a dialog is cut off, and its optional screenshot.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace vel::ui::testing {

// Runs the event loop until `done` holds; false when `ms` pass first.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Every visible label and button of a shown window is at least as large as its text
// needs, so nothing is clipped.
inline void ExpectNothingClipped(QWidget& window) {
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisible() || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))) continue;
    SCOPED_TRACE(w->objectName().toStdString() + " " + w->metaObject()->className());
    EXPECT_GE(w->width(), w->minimumSizeHint().width());
    EXPECT_GE(w->height(), w->minimumSizeHint().height());
  }
}

// With VELMARK_SHOTS set, a picture of the window as <that folder>/<name>.png.
inline void SaveShotIfAsked(QWidget& window, const std::string& name) {
  const char* dir = std::getenv("VELMARK_SHOTS");
  if (!dir) return;
  QDir().mkpath(QString::fromLocal8Bit(dir));
  EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name) + ".png"));
}

}  // namespace vel::ui::testing
