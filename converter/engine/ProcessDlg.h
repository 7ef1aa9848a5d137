// "Corbanix processing...": the progress dialog of a conversion job. The engine
// runs on a worker thread and reaches the widgets only through queued calls.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <thread>

#include "converter/engine/ConversionEngine.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace converter {

class CProcessDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kTitle = "Corbanix processing...";
  // Starts the job when first shown; `engine` is set up by the caller (hand-over steps).
  CProcessDlg(std::unique_ptr<ConversionEngine> engine, std::string fileArgument, int runMode,
              QWidget* parent = nullptr);
  ~CProcessDlg() override;

  bool Succeeded() const { return succeeded_; }
  ConversionEngine& Engine() { return *engine_; }
  QProgressBar* TaskBar() const { return task_; }
  QProgressBar* FileBar() const { return file_; }
  QLabel* Line(int i) const { return lines_[i]; }
  QPushButton* CloseButton() const { return close_; }

 public slots:
  void ShowLines(const QString& a, const QString& b, const QString& c, const QString& d);
  void JobDone(bool ok);

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void reject() override;

 private:
  void StopOrClose();

  std::unique_ptr<ConversionEngine> engine_;
  std::unique_ptr<EngineView> view_;
  std::string fileArgument_;
  int runMode_;
  std::thread worker_;
  bool started_ = false;
  bool running_ = false;
  bool closeWhenDone_ = false;
  bool succeeded_ = false;
  QProgressBar* task_;
  QProgressBar* file_;
  QLabel* lines_[4];
  QPushButton* about_;
  QPushButton* close_;
};

// Runs the job without windows, one progress line per step on standard error.
// True when nothing failed.
bool RunHeadless(ConversionEngine& engine, const std::string& fileArgument, int runMode);

// Starts a new converter with "/ABOUT" through its App Paths entry.
void StartAbout();

}  // namespace converter
