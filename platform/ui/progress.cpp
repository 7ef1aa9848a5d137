// Progress dialog: a small modeless window with a display; a few lines on
// standard error without one (the line whenever it changes, and the position
// in steps of 10 %, so a long job neither floods the log nor goes silent).
#include "platform/ui/progress.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/ui/ui.h"

namespace vel::ui {
namespace {

constexpr const char* kCancelText = "Cancel";

std::mutex g_observerMutex;
ProgressObserver& Observer() {
  static auto* o = new ProgressObserver;
  return *o;
}

QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

bool CanShowWindows() {
  if (!HasDisplay()) return false;
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void SetProgressObserver(ProgressObserver observer) {
  std::lock_guard lock(g_observerMutex);
  Observer() = std::move(observer);
}

ProgressDialog::ProgressDialog(const std::string& title, const std::string& line, QWidget* parent)
    : title_(title), line_(line) {
  if (!CanShowWindows()) {
    report(line_);
    return;
  }
  windowed_ = true;
  dialog_ = new QDialog(parent);
  dialog_->setWindowTitle(ToQString(title));
  dialog_->setModal(false);
  auto* layout = new QVBoxLayout(dialog_);
  label_ = new QLabel(ToQString(line), dialog_);
  label_->setMinimumWidth(300);
  bar_ = new QProgressBar(dialog_);
  bar_->setRange(0, range_);
  bar_->setValue(0);
  cancelButton_ = new QPushButton(QString::fromLatin1(kCancelText), dialog_);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  layout->addWidget(cancelButton_, 0, Qt::AlignHCenter);
  QObject::connect(cancelButton_, &QPushButton::clicked, [this] { cancelled_ = true; });
  // Closing the window is a request to stop as well.
  QObject::connect(dialog_, &QDialog::rejected, [this] { cancelled_ = true; });
  dialog_->show();
  pump();
}

ProgressDialog::~ProgressDialog() { delete dialog_.data(); }

QDialog* ProgressDialog::window() const { return dialog_.data(); }

void ProgressDialog::report(const std::string& text) {
  const std::string out = HeadlessLine(title_, text);
  ProgressObserver observer;
  {
    std::lock_guard lock(g_observerMutex);
    observer = Observer();
  }
  if (observer) {
    observer(out);
    return;
  }
  const std::string withBreak = out + "\n";
  std::fwrite(withBreak.data(), 1, withBreak.size(), stderr);
  std::fflush(stderr);
}

void ProgressDialog::reportPercent() {
  if (windowed_ || range_ <= 0) return;
  const int tenth = static_cast<int>(static_cast<long long>(pos_) * 10 / range_);
  if (tenth <= reportedTenth_) return;
  reportedTenth_ = tenth;
  report(std::to_string(tenth * 10) + "%");
}

void ProgressDialog::setLine(const std::string& line) {
  if (line == line_) return;
  line_ = line;
  if (!windowed_)
    report(line_);
  else if (dialog_)
    label_->setText(ToQString(line));
}

void ProgressDialog::setRange(int range) {
  range_ = std::max(range, 0);
  pos_ = 0;
  reportedTenth_ = 0;
  if (dialog_) {
    // An empty range would make Qt's bar run as a busy indicator.
    bar_->setRange(0, std::max(range_, 1));
    bar_->setValue(0);
  }
}

void ProgressDialog::setStep(int step) { step_ = step; }

void ProgressDialog::setPos(int pos) {
  pos = std::clamp(pos, 0, range_);
  if (pos == pos_) return;
  pos_ = pos;
  if (dialog_) bar_->setValue(pos_);
  reportPercent();
}

void ProgressDialog::stepIt() {
  setPos(static_cast<int>(std::clamp<long long>(static_cast<long long>(pos_) + step_, 0, range_)));
}

void ProgressDialog::pump() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

}  // namespace vel::ui
