// Shared by the dialog tests: message boxes answered and recorded, and a
// project on fake printers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui.h"
#include "printlayout/model/Project.h"
#include "printlayout/model/tests/FakeEnvironment.h"

namespace tessaly::testing {

struct ShownMessage {
  std::string title, text;
  unsigned type = 0;
};

// Records every message box and answers it with `answer` (the box's default
// answer when 0); the normal behaviour returns at the end of the scope.
class MessageRecorder {
 public:
  MessageRecorder() {
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned type) {
      shown.push_back({title, text, type});
      return answer ? answer : vel::ui::DefaultAnswer(type);
    });
  }
  ~MessageRecorder() { vel::ui::SetMessageObserver({}); }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<ShownMessage> shown;
  int answer = 0;
};

// Two printers: "Office" (the default, A4 portrait, 600 dpi) and "Wide"
// (A3 landscape, 300 x 600 dpi); the project starts on "Office" with
// `pageCount` printable pages.
struct PrinterProject {
  explicit PrinterProject(int pageCount = 3) {
    env.addPrinter("Office", 2100, 2970, 1, 9, "A4", 600, 600);
    env.addPrinter("Wide", 2970, 4200, 2, 8, "A3", 300, 600);
    env.defaultName = "Office";
    project = std::make_unique<Project>(env);
    while (project->pageCount() < pageCount) project->insertPage(-1);
    project->setModified(false);
  }

  FakeEnvironment env;
  std::unique_ptr<Project> project;
};

}  // namespace tessaly::testing
