// The process's Qt application object and the extra font folder.
#include <QApplication>
#include <QFontDatabase>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ui/ui.h"

namespace vel::ui {
namespace {

constexpr const char* kWineFontDir = "/usr/share/wine/fonts";

bool NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "velmark";
  return std::string(buf, static_cast<size_t>(n));
}

bool EndsWithTtf(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".ttf";
}

// Headless runs (CI, cron, ssh) often have no XDG_RUNTIME_DIR. Qt then falls
// back to /tmp/runtime-<user> and warns about it on every start; give it that
// same folder ourselves so standard error carries only our own lines.
void EnsureRuntimeDir() {
  if (NonEmptyEnv("XDG_RUNTIME_DIR")) return;
  const passwd* user = getpwuid(getuid());
  const std::string dir =
      std::string("/tmp/runtime-") + (user && user->pw_name ? user->pw_name : std::to_string(getuid()));
  mkdir(dir.c_str(), 0700);
  struct stat st {};
  // Only a private folder of our own will do; otherwise leave the choice to Qt.
  if (lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0)
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

}  // namespace

bool HasDisplay() { return NonEmptyEnv("DISPLAY") || NonEmptyEnv("WAYLAND_DISPLAY"); }

void EnsureApplication() {
  static std::mutex m;
  std::lock_guard lock(m);
  if (!QCoreApplication::instance()) {
    // Without a display the default platform plugin would abort the program; the
    // offscreen one paints and measures text just the same.
    if (!HasDisplay() && !NonEmptyEnv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EnsureRuntimeDir();
    // QApplication keeps references to argc and argv for its whole life.
    static std::string program = ProgramPath();
    static char* argv[] = {program.data(), nullptr};
    static int argc = 1;
    // Lives as long as the process: destroying it at exit races with other statics.
    new QApplication(argc, argv);
  }
  RegisterExtraFonts();
}

void RegisterExtraFonts() {
  static std::mutex m;
  static bool done = false;
  std::lock_guard lock(m);
  if (done) return;
  // The font database belongs to the GUI application; there is nothing to add to yet.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  done = true;
  std::error_code ec;
  if (!std::filesystem::is_directory(kWineFontDir, ec)) return;
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(kWineFontDir, ec)) {
    if (entry.is_regular_file(ec) && EndsWithTtf(entry.path().filename().string()))
      files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) QFontDatabase::addApplicationFont(QString::fromStdString(f));
}

}  // namespace vel::ui
