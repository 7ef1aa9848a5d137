#include "viewer/frame/COrvennaApp.h"

#include <QCoreApplication>
#include <QScreen>

#include <QApplication>

#include <cstring>
#include <filesystem>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/named_window.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "viewer/core/Commands.h"
#include "viewer/frame/CMainFrame.h"
#include "viewer/frame/Icons.h"

namespace orvenna {

COrvennaApp::COrvennaApp() = default;
COrvennaApp::~COrvennaApp() = default;

namespace {

// "/ABOUT", "-x": a switch, as the framework's command line took it; the tray
// starts the viewer with "/ABOUT". A file of that name still opens.
bool IsSwitch(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  if (arg.find('/', 1) != std::string::npos) return false;
  std::error_code error;
  return !std::filesystem::exists(arg, error);
}

}  // namespace

std::string COrvennaApp::FileArgument(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.empty() || IsSwitch(arg)) continue;
    std::error_code error;
    const auto absolute = std::filesystem::absolute(arg, error);
    return error ? arg : absolute.lexically_normal().string();
  }
  return "";
}

bool COrvennaApp::HandOverToRunningInstance(const std::string& file) {
  if (!vel::shell::FindNamedWindow(kAppName)) return false;
  if (!file.empty()) {
    // As WM_COPYDATA carried it: identifier 0, the name with its terminating zero.
    vel::shell::SendNamedData(kAppName, 0, std::string(file.c_str(), file.size() + 1));
    vel::shell::PostNamedMessage(kAppName, vel::shell::kNamedActivate);
  }
  return true;
}

bool COrvennaApp::RegisterAppPath() { return RegisterOwnAppPath(kAppPathName); }

bool COrvennaApp::InitInstance(const std::string& file) {
  frame_ = std::make_unique<CMainFrame>();
  if (!frame_->ListenForOtherInstances() && HandOverToRunningInstance(file)) {
    frame_.reset();
    return false;
  }
  // Shown before the file opens, so the first image window is sized against the
  // work area the user will see. The whole screen also without a window manager.
  if (QScreen* screen = frame_->screen()) frame_->setGeometry(screen->availableGeometry());
  frame_->showMaximized();
  QCoreApplication::processEvents();
  // A file that cannot be opened leaves the empty window rather than ending the
  // program the user just started.
  if (!file.empty() && !frame_->OpenDocument(file)) frame_->SetStatusText("Cannot open " + file);
  return true;
}

int COrvennaApp::Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string file = FileArgument(args);
  if (HandOverToRunningInstance(file)) return 0;
  vel::ui::EnsureApplication();
  QApplication::setWindowIcon(ProgramIcon());
  RegisterAppPath();
  COrvennaApp app;
  if (!app.InitInstance(file)) return 0;
  return QApplication::exec();
}

}  // namespace orvenna
