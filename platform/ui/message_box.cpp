// Message boxes: a modal QMessageBox with a display, one line on standard error
// without one, or the test observer when one is set.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringDecoder>
#include <QThread>

#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ui/ui.h"

namespace vel::ui {
namespace {

constexpr unsigned kButtonMask = 0x0000000F;
constexpr unsigned kIconMask = 0x000000F0;
constexpr unsigned kDefaultMask = 0x00000F00;

std::mutex g_observerMutex;
MessageObserver& Observer() {
  static auto* o = new MessageObserver;
  return *o;
}

// The answers of a type's buttons, in the order they appear. Unknown button sets
// get a plain OK button rather than a box nobody can answer.
std::vector<int> Buttons(unsigned type) {
  switch (type & kButtonMask) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    default: return {IDOK};
  }
}

// Texts come as UTF-8; anything else is taken byte for byte as Latin-1 so that no
// character of a file name is lost to replacement marks.
QString ToQString(const std::string& s) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString out = decoder(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
  if (decoder.hasError()) return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
  return out;
}

QMessageBox::StandardButton QtButton(int answer) {
  switch (answer) {
    case IDCANCEL: return QMessageBox::Cancel;
    case IDYES: return QMessageBox::Yes;
    case IDNO: return QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

QMessageBox::Icon QtIcon(unsigned type) {
  switch (type & kIconMask) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// A window can be shown only by a widget application on a real platform, from its thread.
bool CanShowWindow() {
  if (!HasDisplay()) return false;
  EnsureApplication();
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int ShowWindow(const std::string& title, const std::string& text, unsigned type) {
  const std::vector<int> answers = Buttons(type);
  QMessageBox box(QtIcon(type), ToQString(title), ToQString(text));
  box.setTextFormat(Qt::PlainText);
  std::vector<std::pair<QAbstractButton*, int>> map;
  for (int answer : answers) map.emplace_back(box.addButton(QtButton(answer)), answer);
  const int fallback = DefaultAnswer(type);
  for (auto& [button, answer] : map)
    if (answer == fallback) box.setDefaultButton(static_cast<QPushButton*>(button));
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (auto& [button, answer] : map)
    if (button == clicked) return answer;
  // Closed without a button: Cancel when there is one, like Escape on Windows.
  for (int answer : answers)
    if (answer == IDCANCEL) return IDCANCEL;
  return answers.size() == 1 ? answers.front() : fallback;
}

}  // namespace

int DefaultAnswer(unsigned type) {
  const std::vector<int> answers = Buttons(type);
  size_t index = (type & kDefaultMask) == MB_DEFBUTTON2 ? 1 : 0;
  return answers[index < answers.size() ? index : 0];
}

std::string HeadlessLine(const std::string& title, const std::string& text) {
  std::string line = title + ": ";
  line.reserve(line.size() + text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      // CR LF is one break; a lone CR is a break too.
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += "\\n";
    } else if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

void SetMessageObserver(MessageObserver observer) {
  std::lock_guard lock(g_observerMutex);
  Observer() = std::move(observer);
}

int MessageBox(const std::string& title, const std::string& text, unsigned type) {
  MessageObserver observer;
  {
    std::lock_guard lock(g_observerMutex);
    observer = Observer();
  }
  if (observer) return observer(title, text, type);
  try {
    if (CanShowWindow()) return ShowWindow(title, text, type);
  } catch (...) {
    // Fall through to the line on standard error: the message must not be lost.
  }
  std::string line = HeadlessLine(title, text) + "\n";
  // One write per box keeps lines from different threads whole.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return DefaultAnswer(type);
}

}  // namespace vel::ui
