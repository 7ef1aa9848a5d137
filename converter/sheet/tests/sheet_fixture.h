// What the sheet's tests share: a private registry, config folder and opener,
// message boxes caught, controls found by name, and modal dialogs answered.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "converter/settings/ConverterSettings.h"
#include "converter/sheet/CSettings.h"
#include "converter/sheet/SheetPage.h"
#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/ui.h"

namespace converter::testing {

class SheetTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("XDG_CONFIG_HOME", TempPath("config").c_str(), 1);
    // Documents and web pages go to a recorder instead of the desktop.
    opened_ = TempPath("opened.txt");
    const std::string opener = TempPath("opener.sh");
    WriteFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened_ + "'\n");
    chmod(opener.c_str(), 0755);
    setenv("VELMARK_OPEN_COMMAND", opener.c_str(), 1);
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned) {
      messages_.push_back(title + ": " + text);
      return IDOK;
    });
  }
  void TearDown() override {
    vel::ui::SetMessageObserver({});
    unsetenv("VELMARK_OPEN_COMMAND");
    unsetenv("XDG_CONFIG_HOME");
    TempRegistry::TearDown();
  }

  static void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Waits up to five seconds for a file that a started process writes.
  static std::string WaitForFile(const std::string& path, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
      const std::string text = ReadFile(path);
      if (!text.empty()) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }

  template <class T>
  static T* Find(const QWidget& root, const char* name) {
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  // Settings saved with the given changes, as the sheet will find them.
  static void Store(const std::function<void(ConverterSettings&)>& change) {
    ConverterSettings s = ConverterSettings::Defaults();
    change(s);
    ASSERT_TRUE(s.Save());
  }
  static ConverterSettings Stored() {
    ConverterSettings s;
    s.Load();
    return s;
  }
  static int StoredNumber(HKEY root, const std::string& key, const char* name, DWORD* type = nullptr) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return -12345;
    int value = -12345;
    DWORD size = sizeof value;
    if (RegQueryValueExA(k, name, nullptr, type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
      value = -12345;
    RegCloseKey(k);
    return value;
  }
  static int ActivePageValue(DWORD* type = nullptr) {
    return StoredNumber(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\OPTIONS", "ActivePage", type);
  }

  std::string opened_;
  std::vector<std::string> messages_;
};

// Answers the next modal dialog of type D with act, once it is up. A dialog that
// never comes leaves the test to fail on what act should have done.
template <class D>
void WhenModal(std::function<void(D*)> act) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
    if (auto* other = dynamic_cast<D*>(QApplication::activeModalWidget())) {
      timer->stop();
      act(other);
    } else if (clock->elapsed() > 5000) {
      timer->stop();
      if (QWidget* w = QApplication::activeModalWidget()) w->close();
    } else {
      return;
    }
    timer->deleteLater();
    delete clock;
  });
  timer->start(10);
}

}  // namespace converter::testing
