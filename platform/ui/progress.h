// A progress dialog for long jobs (printing, export, conversion): a title, one
// line of text, a bar and a "Cancel" button, shown without blocking while the
// job runs. Without a screen it writes short lines to standard error instead.
#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>

class QWidget;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vel::ui {

// True when a window can appear on a screen: a display, a widget application on
// a real platform (not offscreen or minimal), and the application's thread.
bool CanShowWindows();

class ProgressDialog {
 public:
  ProgressDialog(const std::string& title, const std::string& line, QWidget* parent = nullptr);
  ~ProgressDialog();
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  void setLine(const std::string& line);
  // The bar runs from 0 to `range`; the position goes back to 0.
  void setRange(int range);
  void setStep(int step);
  // Kept within 0 ... range.
  void setPos(int pos);
  void stepIt();
  int pos() const { return pos_; }
  int range() const { return range_; }
  const std::string& line() const { return line_; }

  // True once "Cancel" was pressed (or cancel() called).
  bool cancelled() const { return cancelled_; }
  // Handles pending window events, so the Cancel button is heard between pages.
  void pump();
  void cancel() { cancelled_ = true; }

  // The window, or null when the dialog only writes to standard error.
  QDialog* window() const;
  QPushButton* cancelButton() const { return cancelButton_; }

 private:
  void report(const std::string& text);
  void reportPercent();

  std::string title_;
  std::string line_;
  int range_ = 100;
  int step_ = 10;
  int pos_ = 0;
  int reportedTenth_ = 0;  // last 10 % mark written to standard error
  bool cancelled_ = false;
  bool windowed_ = false;
  // Guarded: a parent window that goes first takes its children with it.
  QPointer<QDialog> dialog_;
  QLabel* label_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};

// Receives the lines a progress dialog without a window would write to standard
// error (without the newline), instead of standard error. An empty function
// restores the normal behaviour. For tests.
using ProgressObserver = std::function<void(const std::string& line)>;
void SetProgressObserver(ProgressObserver observer);

}  // namespace vel::ui
