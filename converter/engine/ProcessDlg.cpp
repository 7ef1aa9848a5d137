#include "converter/engine/ProcessDlg.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QMoveEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace converter {
namespace {

constexpr const char* kPositionKey = "Software\\Velmark\\CONVERTER\\Settings";

bool ReadPosition(int* x, int* y) {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kPositionKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  DWORD vx = 0, vy = 0, size = 4;
  bool ok = RegQueryValueExA(key.get(), "x", nullptr, nullptr, reinterpret_cast<BYTE*>(&vx), &size) == ERROR_SUCCESS;
  size = 4;
  ok = ok && RegQueryValueExA(key.get(), "y", nullptr, nullptr, reinterpret_cast<BYTE*>(&vy), &size) == ERROR_SUCCESS;
  *x = static_cast<int>(vx);
  *y = static_cast<int>(vy);
  return ok;
}

void WritePosition(int x, int y) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kPositionKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  const DWORD vx = static_cast<DWORD>(x), vy = static_cast<DWORD>(y);
  RegSetValueExA(key.get(), "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&vx), 4);
  RegSetValueExA(key.get(), "y", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&vy), 4);
}

// Forwards the engine's reports to the dialog's thread.
class DialogView : public EngineView {
 public:
  explicit DialogView(CProcessDlg* dialog) : d_(dialog) {}
  void ShowLines(const std::string& a, const std::string& b, const std::string& c, const std::string& e) override {
    QMetaObject::invokeMethod(d_, "ShowLines", Qt::QueuedConnection, Q_ARG(QString, QString::fromStdString(a)),
                              Q_ARG(QString, QString::fromStdString(b)), Q_ARG(QString, QString::fromStdString(c)),
                              Q_ARG(QString, QString::fromStdString(e)));
  }
  void TaskRange(int low, int high) override {
    post(d_->TaskBar(), [=](QProgressBar* b) { b->setRange(low, high), b->setValue(low); });
  }
  void TaskStep() override {
    post(d_->TaskBar(), [](QProgressBar* b) { b->setValue(std::min(b->value() + 1, b->maximum())); });
  }
  void TaskFull() override {
    post(d_->TaskBar(), [](QProgressBar* b) { b->setValue(b->maximum()); });
  }
  void FileRange(int low, int high) override {
    post(d_->FileBar(), [=](QProgressBar* b) { b->setRange(low, high), b->setValue(low); });
  }
  void FileStep() override {
    post(d_->FileBar(), [](QProgressBar* b) { b->setValue(std::min(b->value() + 1, b->maximum())); });
  }
  void FileFull() override {
    post(d_->FileBar(), [](QProgressBar* b) { b->setValue(b->maximum()); });
  }
  void FileStart() override {
    post(d_->FileBar(), [](QProgressBar* b) { b->setValue(b->minimum()); });
    post(d_->TaskBar(), [](QProgressBar* b) { b->setValue(b->minimum()); });
  }

 private:
  template <typename F>
  void post(QProgressBar* bar, F f) {
    QMetaObject::invokeMethod(
        bar, [bar, f] { f(bar); }, Qt::QueuedConnection);
  }
  CProcessDlg* d_;
};

// One line per step on standard error: which file, which page, what happens.
class StderrView : public EngineView {
 public:
  void ShowLines(const std::string& file, const std::string& from, const std::string&, const std::string&) override {
    const std::string source = from.substr(6) + "/" + file.substr(6);
    if (source != source_) {
      source_ = source;
      ++files_;
      page_ = 0;
    }
  }
  void MissingSource(const std::string& path) override {
    source_ = path;
    ++files_;
    page_ = 0;
  }
  void FileStep() override {}
  // A single file runs over 0..1, a list over its lines after the target line.
  void TaskRange(int low, int high) override { total_ = std::max(high - low, 1); }
  void FailureReason(const std::string& reason) override { reason_ = reason; }
  void Message(const std::string& text) override {
    if (text == "Image loading ...") ++page_;
    const std::string why = reason_.empty() ? std::string() : " (" + reason_ + ")";
    reason_.clear();
    std::fprintf(stderr, "converter: file %d of %d, page %d: %s: %s%s\n", files_, std::max(total_, files_),
                 std::max(page_, 1), source_.c_str(), text.c_str(), why.c_str());
  }

 private:
  std::string source_;
  std::string reason_;
  int files_ = 0, total_ = 0, page_ = 0;
};

bool RunWithView(ConversionEngine& engine, EngineView& view, const std::string& fileArgument, int runMode) {
  engine.SetView(&view);
  const bool ok = engine.RunJob(fileArgument, runMode);
  engine.SetView(nullptr);
  return ok;
}

}  // namespace

void StartAbout() {
  const std::string path = FindAppPath("Converter.exe");
  if (!path.empty()) ShellExecuteA(nullptr, "open", path.c_str(), "/ABOUT", nullptr, SW_SHOWNORMAL);
}

CProcessDlg::CProcessDlg(std::unique_ptr<ConversionEngine> engine, std::string fileArgument, int runMode,
                         QWidget* parent)
    : QDialog(parent), engine_(std::move(engine)), fileArgument_(std::move(fileArgument)), runMode_(runMode) {
  setWindowTitle(kTitle);
  auto* layout = new QVBoxLayout(this);
  auto* taskGroup = new QGroupBox("Task", this);
  auto* taskLayout = new QVBoxLayout(taskGroup);
  task_ = new QProgressBar(taskGroup);
  task_->setTextVisible(false);
  taskLayout->addWidget(task_);
  auto* fileGroup = new QGroupBox("Processing file", this);
  auto* fileLayout = new QVBoxLayout(fileGroup);
  const char* initial[4] = {"File:  ", "From:  ", "To:    ", "File:  "};
  for (int i = 0; i < 4; ++i) {
    lines_[i] = new QLabel(initial[i], fileGroup);
    lines_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fileLayout->addWidget(lines_[i]);
  }
  file_ = new QProgressBar(fileGroup);
  file_->setTextVisible(false);
  fileLayout->addWidget(file_);
  layout->addWidget(taskGroup);
  layout->addWidget(fileGroup);
  auto* buttons = new QHBoxLayout;
  about_ = new QPushButton("About", this);
  close_ = new QPushButton("Close", this);
  buttons->addStretch();
  buttons->addWidget(about_);
  buttons->addWidget(close_);
  layout->addLayout(buttons);
  connect(about_, &QPushButton::clicked, this, [] { StartAbout(); });
  connect(close_, &QPushButton::clicked, this, [this] { StopOrClose(); });
  // The window menu's "&About Converter..." becomes the dialog's context menu.
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    menu.addAction("&About Converter...", [] { StartAbout(); });
    menu.exec(mapToGlobal(at));
  });
  int x = 0, y = 0;
  if (ReadPosition(&x, &y)) move(x, y);
  view_ = std::make_unique<DialogView>(this);
}

CProcessDlg::~CProcessDlg() {
  engine_->Cancel();
  if (worker_.joinable()) worker_.join();
}

void CProcessDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  running_ = true;
  close_->setText("Stop");
  // The engine reports through the dialog's view from now on.
  ConversionEngine* engine = engine_.get();
  EngineView* view = view_.get();
  worker_ = std::thread([this, engine, view] {
    const bool ok = RunWithView(*engine, *view, fileArgument_, runMode_);
    QMetaObject::invokeMethod(this, "JobDone", Qt::QueuedConnection, Q_ARG(bool, ok));
  });
}

void CProcessDlg::ShowLines(const QString& a, const QString& b, const QString& c, const QString& d) {
  lines_[0]->setText(a);
  lines_[1]->setText(b);
  lines_[2]->setText(c);
  lines_[3]->setText(d);
}

void CProcessDlg::JobDone(bool ok) {
  running_ = false;
  succeeded_ = ok && !engine_->Cancelled();
  task_->setValue(task_->maximum());
  file_->setValue(file_->maximum());
  close_->setText("Close");
  close_->setEnabled(true);
  if (closeWhenDone_ || engine_->Settings().optCloseAfter) done(succeeded_ ? Accepted : Rejected);
}

void CProcessDlg::StopOrClose() {
  if (!running_) {
    done(succeeded_ ? Accepted : Rejected);
    return;
  }
  // Stopping lets the page in hand finish writing, so no output is left half made.
  engine_->Cancel();
  closeWhenDone_ = true;
  close_->setEnabled(false);
}

void CProcessDlg::reject() { StopOrClose(); }

void CProcessDlg::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  const QPoint at = pos();
  if (at.x() != 0 && at.y() != 0) WritePosition(at.x(), at.y());
}

bool RunHeadless(ConversionEngine& engine, const std::string& fileArgument, int runMode) {
  StderrView view;
  return RunWithView(engine, view, fileArgument, runMode);
}

}  // namespace converter
