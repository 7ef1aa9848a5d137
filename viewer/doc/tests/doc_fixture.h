// A document test: its own registry and clipboard, a fake main window with the
// document commands, pictures made with ImageMagick, and a record of every message
// box, answered as the test says.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/ui.h"
#include "siblings/bexley/CSaveDlg.h"
#include "viewer/core/Commands.h"
#include "viewer/core/tests/fake_host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/doc/CSaveFormatDlg.h"

namespace orvenna::testing {

struct Message {
  std::string title, text;
  unsigned type;
};

class DocTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("VELMARK_CLIPBOARD_DIR", TempPath("clip").c_str(), 1);
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned type) {
      messages.push_back({title, text, type});
      return answer;
    });
    host = std::make_unique<FakeHost>();
    RegisterDocumentCommands(*host);
  }
  void TearDown() override {
    COrvennaDoc::s_saveDialogHook = nullptr;
    COrvennaDoc::s_chooseFormatHook = nullptr;
    vel::ui::SetMessageObserver(nullptr);
    host.reset();
    unsetenv("VELMARK_CLIPBOARD_DIR");
    TempRegistry::TearDown();
  }

  // A picture made by ImageMagick from `args` (sizes and colours), at `name`.
  std::string Make(const std::string& name, const std::string& args) {
    std::string path = TempPath(name);
    std::string cmd = "convert-im6.q16 " + args + " '" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return path;
  }

  // The save dialog answers with this name (relative to the test folder), as a user
  // typing it and pressing Save would; `saveDialogs` counts how often it showed.
  void TypeSaveName(const std::string& name) {
    COrvennaDoc::s_saveDialogHook = [this, name](CSaveDlg& dlg) {
      ++saveDialogs;
      dlg.SetFileName(TempPath(name));
      return dlg.Accept() ? IDOK : IDCANCEL;
    };
  }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::unique_ptr<FakeHost> host;
  std::vector<Message> messages;
  int answer = IDNO;
  int saveDialogs = 0;
};

}  // namespace orvenna::testing
