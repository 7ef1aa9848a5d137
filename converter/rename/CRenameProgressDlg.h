// "Batch rename progress...": the window of the rename job. The job runs on a
// worker thread started when the window is first shown; the worker never
// touches a widget, it sends every change through queued signals, and while it
// asks it waits on an event that the three answer buttons set.
#pragma once

#include <QDialog>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "converter/rename/RenameJob.h"
#include "converter/settings/ConverterSettings.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace converter {

inline constexpr const char* kRenameDialogTitle = "Batch rename progress...";

class CRenameProgressDlg : public QDialog {
  Q_OBJECT

 public:
  // Loads the settings; the job starts when the window is first shown.
  explicit CRenameProgressDlg(const std::string& listPath, QWidget* parent = nullptr);
  // Stops the job before its next file and waits for it.
  ~CRenameProgressDlg() override;

  // The job's result once it is over (jobDone() true).
  RenameResult result() const;
  bool jobDone() const;
  // True while the worker waits for "Rename file", "Skip file" or "Rename all".
  bool waitingForAnswer() const;

  QLabel* fromLine() const { return from_; }
  QLabel* fileLine() const { return file_; }
  QLabel* toLine() const { return to_; }
  QLineEdit* nameEdit() const { return name_; }
  QProgressBar* progressBar() const { return bar_; }
  QPushButton* renameButton() const { return rename_; }
  QPushButton* skipButton() const { return skip_; }
  QPushButton* renameAllButton() const { return renameAll_; }
  QPushButton* aboutButton() const { return about_; }
  QPushButton* closeButton() const { return close_; }

  void done(int code) override;

 signals:
  // Sent by the worker, delivered on the window's thread.
  void jobStarted(int range, bool asking);
  void fileShown(const QString& from, const QString& file, const QString& to, const QString& newName);
  void askingStopped();
  void stepped();
  void jobFinished();
  void runningChanged(bool running);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class Bridge;

  void buildControls();
  void connectWorkerSignals();
  void setAnswerControls(bool enabled);
  void answer(RenameAnswer answer);
  void startAbout();
  void work();
  RenameAnswer ask();  // worker thread

  std::string listPath_;
  ConverterSettings settings_;
  std::thread worker_;

  mutable std::mutex mutex_;
  std::condition_variable event_;
  bool waiting_ = false;
  bool answered_ = false;
  RenameAnswer answer_ = RenameAnswer::Rename;
  bool stop_ = false;
  bool finished_ = false;
  RenameResult result_;
  std::atomic<bool> started_{false};

  QLabel* from_ = nullptr;
  QLabel* file_ = nullptr;
  QLabel* to_ = nullptr;
  QLineEdit* name_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* rename_ = nullptr;
  QPushButton* skip_ = nullptr;
  QPushButton* renameAll_ = nullptr;
  QPushButton* about_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace converter
