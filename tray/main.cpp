// pennock: the notification-area icon of the suite. Its menu opens the
// converter's settings and About page and the viewer, or removes the icon for
// good. One instance only; the converter's settings sheet closes it.
#include <QApplication>
#include <QElapsedTimer>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/shell/named_window.h"
#include "platform/shell/shell.h"
#include "platform/ui/icons.h"
#include "platform/ui/ui.h"
#include "tray/CMainFrame.h"

namespace {

// A desktop that starts programs at logon may bring up its notification area
// only just after them.
constexpr int kTrayWaitMs = 2000;

bool WaitForTray() {
  QElapsedTimer waited;
  waited.start();
  while (!QSystemTrayIcon::isSystemTrayAvailable()) {
    if (waited.elapsed() >= kTrayWaitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

constexpr const char* kTrayExe = "Pennock.exe";

// For tests on machines without a notification area: run all the same.
bool TrayOptional() {
  const char* optional = std::getenv("VELMARK_TRAY_OPTIONAL");
  return optional && std::strcmp(optional, "1") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;  // no command-line arguments are used
  using namespace pennock;
  if (vel::shell::FindNamedWindow(kWindowName)) return 0;
  // The converter's settings start the tray program through its App Paths entry.
  RegisterOwnAppPath(kTrayExe);
  vel::ui::EnsureApplication();
  QApplication::setQuitOnLastWindowClosed(false);
  vel::ui::SetUpIconTheme();

  CMainFrame frame;
  // Taking the name is what makes this the one instance: a second program that
  // started at the same moment finds it taken and ends.
  vel::shell::NamedWindow name(&frame, kWindowName, nullptr);
  if (!name.listening()) return 0;
  bool closed = false;
  QObject::connect(&frame, &CMainFrame::Closed, qApp, [&closed] {
    closed = true;
    QCoreApplication::quit();
  });

  if (!WaitForTray() && !TrayOptional()) {
    std::fprintf(stderr, "pennock: no system tray to show the icon in\n");
    return 1;
  }
  // WM_CLOSE may come while we wait for the notification area, before the loop
  // that quit() would end runs.
  if (closed) return 0;
  frame.ShowIcon();
  return QApplication::exec();
}
