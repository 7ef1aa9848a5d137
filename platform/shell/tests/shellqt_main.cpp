// Test main for the Qt parts of the shell layer. Started with
// "--named-window-child NAME MODE" it is instead the other process of the
// cross-process tests: a window named NAME that
//   MODE "close": exits 7 when a kWmClose arrives (after passing it on);
//   MODE "die":   kills itself, leaving its socket behind, on message 0x8001.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/shell/clipboard.h"
#include "platform/shell/named_window.h"

namespace {

int RunChild(const std::string& name, const std::string& mode, int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  int code = 3;
  vel::shell::NamedWindow named(&window, name, [&](UINT message, WPARAM w, LPARAM l) {
    if (mode == "die" && message == 0x8001) ::kill(::getpid(), SIGKILL);
    if (message == vel::shell::kWmClose) {
      // The parameters travel unchanged: report them through the exit code.
      code = (w == 5 && l == -6) ? 7 : 8;
      QTimer::singleShot(0, &app, &QCoreApplication::quit);
    }
  });
  if (!named.listening()) return 2;
  // Never outlive a parent that forgot us.
  QTimer::singleShot(30000, &app, &QCoreApplication::quit);
  app.exec();
  return code;
}

// "--clipboard-child copy N": puts a 2 x 2 DIB whose first byte is N on the
// clipboard and ends. "--clipboard-child read": exits with the first pixel
// byte of the clipboard's DIB (254 when there is none). Both on the display
// the environment names.
int RunClipboardChild(const std::string& mode, int value, int argc, char** argv) {
  QApplication app(argc, argv);
  if (mode == "copy") {
    std::vector<BYTE> dib(40 + 16, 0);
    const DWORD head[] = {40, 2, 2};
    std::memcpy(dib.data(), head, sizeof head);
    dib[12] = 1;   // planes
    dib[14] = 24;  // bits
    dib[40] = static_cast<BYTE>(value);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(block), dib.data(), dib.size());
    GlobalUnlock(block);
    const bool ok = OpenClipboard(nullptr) && EmptyClipboard() && SetClipboardData(CF_DIB, block) && CloseClipboard();
    return ok ? 0 : 1;
  }
  if (!IsClipboardFormatAvailable(CF_DIB) || !OpenClipboard(nullptr)) return 254;
  int result = 254;
  if (auto* block = static_cast<HGLOBAL>(GetClipboardData(CF_DIB))) {
    if (GlobalSize(block) == 56) result = static_cast<const BYTE*>(GlobalLock(block))[40];
    GlobalUnlock(block);
  }
  CloseClipboard();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--clipboard-child") == 0)
    return RunClipboardChild(argv[2], argc >= 4 ? std::atoi(argv[3]) : 0, 1, argv);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc >= 4 && std::strcmp(argv[1], "--named-window-child") == 0) return RunChild(argv[2], argv[3], 1, argv);
  // A runtime folder of our own, shared with the child processes: names and
  // the file-backed clipboard then never meet another run's.
  char folder[] = "/tmp/velshellqt-test-XXXXXX";
  if (!mkdtemp(folder)) return 2;
  setenv("XDG_RUNTIME_DIR", folder, 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::system((std::string("rm -rf '") + folder + "'").c_str());
  return result;
}
