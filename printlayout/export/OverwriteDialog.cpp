// The overwrite question of the export.
#include "printlayout/export/OverwriteDialog.h"

#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <string_view>
#include <utility>

#include "platform/ui/progress.h"
#include "platform/ui/ui.h"

namespace tessaly {
namespace {

OverwriteObserver& Observer() {
  static auto* o = new OverwriteObserver;
  return *o;
}

}  // namespace

std::string OverwriteQuestion(const std::string& path) {
  // The format's one %s, filled by hand: a path may be longer than any buffer.
  const std::string_view format = kOverwriteFormat;
  const std::string_view::size_type at = format.find("%s");
  std::string text(format.substr(0, at));
  text += path;
  text += format.substr(at + 2);
  return text;
}

void SetOverwriteObserver(OverwriteObserver observer) { Observer() = std::move(observer); }

OverwriteAnswer AskOverwrite(QWidget* parent, const std::string& path) {
  const std::string text = OverwriteQuestion(path);
  if (Observer()) return Observer()(text);
  if (!vel::ui::CanShowWindows()) {
    const std::string line = vel::ui::HeadlessLine(kOverwriteTitle, text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return OverwriteAnswer::Overwrite;
  }
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kOverwriteTitle), QString::fromStdString(text),
                  QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  const std::pair<const char*, OverwriteAnswer> choices[] = {{kOverwriteText, OverwriteAnswer::Overwrite},
                                                             {kOverwriteAllText, OverwriteAnswer::OverwriteAll},
                                                             {kSkipText, OverwriteAnswer::Skip},
                                                             {kSkipAllText, OverwriteAnswer::SkipAll}};
  std::pair<QAbstractButton*, OverwriteAnswer> buttons[4];
  for (int i = 0; i < 4; ++i)
    buttons[i] = {box.addButton(QString::fromLatin1(choices[i].first), QMessageBox::ActionRole), choices[i].second};
  box.setDefaultButton(static_cast<QPushButton*>(buttons[0].first));
  // Closing the box without a choice leaves this file alone but goes on.
  box.setEscapeButton(buttons[2].first);
  box.exec();
  for (const auto& [button, answer] : buttons)
    if (button == box.clickedButton()) return answer;
  return OverwriteAnswer::Skip;
}

}  // namespace tessaly
