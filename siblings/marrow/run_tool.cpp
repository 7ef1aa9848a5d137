#include "siblings/marrow/run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace marrow {
namespace {

bool Exited(pid_t pid, int& status, bool block) {
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, block ? 0 : WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno == EINTR) continue;
    return false;
  }
}

std::vector<std::string> ChildEnvironment(const std::string& tmpDir) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string_view entry(*e);
    if (!tmpDir.empty() && (entry.starts_with("TMPDIR=") || entry.starts_with("TMP=") || entry.starts_with("TEMP=")))
      continue;
    env.emplace_back(entry);
  }
  if (!tmpDir.empty()) {
    env.push_back("TMPDIR=" + tmpDir);
    env.push_back("TMP=" + tmpDir);
    env.push_back("TEMP=" + tmpDir);
  }
  return env;
}

}  // namespace

bool ToolAvailable(const std::string& name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (dir.empty()) dir = ".";
    if (::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    dirs.remove_prefix(colon + 1);
  }
}

bool RunTool(const ToolRun& run) {
  if (run.argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : run.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env = ChildEnvironment(run.tmpDir);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // A group of its own, so a time-out takes Ghostscript down with pstoedit; default
  // signal handling, so a caller that ignores SIGPIPE or SIGCHLD does not leak into it.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;

  int status = 0;
  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (Exited(pid, status, false)) break;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec >= run.timeoutSeconds) {
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      Exited(pid, status, true);
      return false;
    }
    const timespec nap{0, 10 * 1000 * 1000};
    ::nanosleep(&nap, nullptr);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace marrow
