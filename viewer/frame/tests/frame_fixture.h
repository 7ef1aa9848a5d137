// A frame test: its own registry, clipboard and runtime folder (so the instance
// name is ours alone), message boxes recorded, pictures made with ImageMagick.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/tests/qt_test_util.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/ui.h"
#include "viewer/frame/CMainFrame.h"

namespace orvenna::testing {

class FrameTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    mkdir(TempPath("run").c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", TempPath("run").c_str(), 1);
    setenv("VELMARK_CLIPBOARD_DIR", TempPath("clip").c_str(), 1);
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned type) {
      messages.push_back(title + ": " + text);
      return vel::ui::DefaultAnswer(type);
    });
  }
  void TearDown() override {
    vel::ui::SetMessageObserver(nullptr);
    unsetenv("VELMARK_CLIPBOARD_DIR");
    unsetenv("XDG_RUNTIME_DIR");
    TempRegistry::TearDown();
  }

  std::string Make(const std::string& name, const std::string& args) {
    const std::string path = TempPath(name);
    const std::string cmd = "convert-im6.q16 " + args + " '" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return path;
  }

  static bool WaitFor(const std::function<bool()>& done, int ms = 10000) { return vel::ui::testing::WaitFor(done, ms); }

  static std::vector<QString> MenuTitles(QMainWindow* frame) {
    std::vector<QString> titles;
    for (QAction* a : frame->menuBar()->actions()) titles.push_back(a->text());
    return titles;
  }

  static QMenu* TopMenu(QMainWindow* frame, const QString& title) {
    for (QAction* a : frame->menuBar()->actions())
      if (a->text() == title) return a->menu();
    return nullptr;
  }

  // The entry of `menu` (or its submenus) with that command number.
  static QAction* Entry(QMenu* menu, int id) {
    for (QAction* a : menu->actions()) {
      if (a->menu()) {
        if (QAction* found = Entry(a->menu(), id)) return found;
      } else if (a->data().toInt() == id) {
        return a;
      }
    }
    return nullptr;
  }

  std::vector<std::string> messages;
};

}  // namespace orvenna::testing
