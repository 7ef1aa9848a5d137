#include "converter/rename/CRenameProgressDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/shell/shell.h"

namespace converter {
namespace {

constexpr const char* kStopText = "Stop";
constexpr const char* kCloseText = "Close";

QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// An empty value shows as a single blank, as in the conversion window.
QString Line(const char* label, const std::string& value) {
  return QString::fromLatin1(label) + ToQString(value.empty() ? std::string(" ") : value);
}

}  // namespace

// Turns the job's reports into queued signals: this runs on the worker thread
// and must not touch a widget.
class CRenameProgressDlg::Bridge : public RenameEvents {
 public:
  explicit Bridge(CRenameProgressDlg& dlg) : dlg_(dlg) {}
  void started(int range, bool asking) override { emit dlg_.jobStarted(range, asking); }
  void showFile(const RenameFile& f) override {
    emit dlg_.fileShown(Line("From: ", f.sourceFolder), Line("File: ", f.fileName), Line("To: ", f.destFolder),
                        ToQString(f.newName));
  }
  void askingStopped() override { emit dlg_.askingStopped(); }
  void stepped() override { emit dlg_.stepped(); }
  void finished(const RenameResult& result, const std::string&) override {
    {
      std::lock_guard lock(dlg_.mutex_);
      dlg_.result_ = result;
      dlg_.finished_ = true;
    }
    emit dlg_.jobFinished();
  }
  bool stopRequested() override {
    std::lock_guard lock(dlg_.mutex_);
    return dlg_.stop_;
  }

 private:
  CRenameProgressDlg& dlg_;
};

CRenameProgressDlg::CRenameProgressDlg(const std::string& listPath, QWidget* parent)
    : QDialog(parent), listPath_(listPath) {
  settings_.Load();
  buildControls();
  connectWorkerSignals();
}

CRenameProgressDlg::~CRenameProgressDlg() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  event_.notify_all();
  // The worker ends before its next file; a copy in progress is finished, so
  // nothing is left half written. Joined here, before QObject goes away, so no
  // signal is sent from a dying object.
  if (worker_.joinable()) worker_.join();
}

void CRenameProgressDlg::buildControls() {
  setWindowTitle(QString::fromLatin1(kRenameDialogTitle));
  auto* layout = new QVBoxLayout(this);
  from_ = new QLabel(Line("From: ", ""), this);
  file_ = new QLabel(Line("File: ", ""), this);
  to_ = new QLabel(Line("To: ", ""), this);
  for (QLabel* label : {from_, file_, to_}) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(360);
    layout->addWidget(label);
  }
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel(QStringLiteral("File:"), this));
  name_ = new QLineEdit(this);
  name_->setReadOnly(true);
  nameRow->addWidget(name_, 1);
  layout->addLayout(nameRow);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 1);
  bar_->setValue(0);
  layout->addWidget(bar_);

  auto* buttons = new QHBoxLayout;
  rename_ = new QPushButton(QStringLiteral("Rename file"), this);
  skip_ = new QPushButton(QStringLiteral("Skip file"), this);
  renameAll_ = new QPushButton(QStringLiteral("Rename all"), this);
  about_ = new QPushButton(QStringLiteral("About"), this);
  close_ = new QPushButton(QString::fromLatin1(kCloseText), this);
  for (QPushButton* b : {rename_, skip_, renameAll_, about_, close_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  setAnswerControls(false);

  connect(rename_, &QPushButton::clicked, this, [this] { answer(RenameAnswer::Rename); });
  connect(skip_, &QPushButton::clicked, this, [this] { answer(RenameAnswer::Skip); });
  connect(renameAll_, &QPushButton::clicked, this, [this] { answer(RenameAnswer::RenameAll); });
  connect(about_, &QPushButton::clicked, this, [this] { startAbout(); });
  connect(close_, &QPushButton::clicked, this, [this] { reject(); });
}

void CRenameProgressDlg::connectWorkerSignals() {
  constexpr auto queued = Qt::QueuedConnection;
  connect(
      this, &CRenameProgressDlg::runningChanged, this,
      [this](bool running) { close_->setText(QString::fromLatin1(running ? kStopText : kCloseText)); }, queued);
  connect(
      this, &CRenameProgressDlg::jobStarted, this,
      [this](int range, bool asking) {
        // An empty range would turn Qt's bar into a busy indicator.
        bar_->setRange(0, std::max(range, 1));
        bar_->setValue(0);
        setAnswerControls(asking);
      },
      queued);
  connect(
      this, &CRenameProgressDlg::fileShown, this,
      [this](const QString& from, const QString& file, const QString& to, const QString& newName) {
        from_->setText(from);
        file_->setText(file);
        to_->setText(to);
        name_->setText(newName);
      },
      queued);
  connect(
      this, &CRenameProgressDlg::askingStopped, this, [this] { setAnswerControls(false); }, queued);
  connect(
      this, &CRenameProgressDlg::stepped, this,
      [this] { bar_->setValue(std::min(bar_->value() + 1, bar_->maximum())); }, queued);
  connect(
      this, &CRenameProgressDlg::jobFinished, this,
      [this] {
        setAnswerControls(false);
        bar_->setValue(bar_->maximum());
        if (settings_.optCloseAfter) accept();
      },
      queued);
}

// The edit is writable while asking, but the job renames under the proposed
// name: what is typed there is not used.
void CRenameProgressDlg::setAnswerControls(bool enabled) {
  name_->setReadOnly(!enabled);
  rename_->setEnabled(enabled);
  skip_->setEnabled(enabled);
  renameAll_->setEnabled(enabled);
}

void CRenameProgressDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_.exchange(true)) return;
  worker_ = std::thread([this] { work(); });
}

void CRenameProgressDlg::work() {
  emit runningChanged(true);
  Bridge bridge(*this);
  RenameAsker asker;
  if (settings_.renAskBefore) asker = [this](const RenameFile&) { return ask(); };
  RunRenameJob(listPath_, settings_, asker, &bridge);
  emit runningChanged(false);
}

RenameAnswer CRenameProgressDlg::ask() {
  std::unique_lock lock(mutex_);
  waiting_ = true;
  answered_ = false;
  event_.wait(lock, [this] { return answered_ || stop_; });
  waiting_ = false;
  return stop_ ? RenameAnswer::Stop : answer_;
}

// Only an answer to a question being asked counts: a click that arrives while
// the worker is between files belongs to no file.
void CRenameProgressDlg::answer(RenameAnswer a) {
  {
    std::lock_guard lock(mutex_);
    if (!waiting_ || answered_) return;
    answer_ = a;
    answered_ = true;
  }
  event_.notify_all();
}

void CRenameProgressDlg::done(int code) {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  event_.notify_all();
  QDialog::done(code);
}

void CRenameProgressDlg::startAbout() {
  const std::string converter = FindAppPath("Converter.exe");
  if (!converter.empty()) ShellExecuteA(nullptr, "open", converter.c_str(), "/ABOUT", nullptr, SW_SHOWNORMAL);
}

RenameResult CRenameProgressDlg::result() const {
  std::lock_guard lock(mutex_);
  return result_;
}

bool CRenameProgressDlg::jobDone() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool CRenameProgressDlg::waitingForAnswer() const {
  std::lock_guard lock(mutex_);
  return waiting_ && !answered_;
}

}  // namespace converter
