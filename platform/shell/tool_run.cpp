#include "platform/shell/tool_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace vel::shell {
namespace {

constexpr size_t kMaxToolOutput = 1 << 20;

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

void KillAndReap(pid_t pid) {
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool OnPath(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/bin:/bin";
  while (true) {
    const size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (dir.empty()) dir = ".";
    if (::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    dirs.remove_prefix(colon + 1);
  }
}

bool RunTool(const ToolRun& run) {
  if (run.argv.empty() || run.argv.front().empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : run.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env = ChildEnvironment(run.tmpDir);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2] = {-1, -1};
  if (run.output && ::pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (run.output)
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  // The tools' complaints are not ours to show; the exit code says enough.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // A group of its own, so a time-out takes its helpers down with it; default
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
  if (run.output) ::close(out[1]);
  if (rc != 0) {
    if (run.output) ::close(out[0]);
    return false;
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(run.timeoutMs);
  std::string text;
  for (bool open = run.output != nullptr; open;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      ::close(out[0]);
      KillAndReap(pid);
      return false;
    }
    pollfd p{out[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      open = false;
    } else if (text.size() < kMaxToolOutput) {
      text.append(buf, std::min<size_t>(static_cast<size_t>(n), kMaxToolOutput - text.size()));
    }
  }
  if (run.output) ::close(out[0]);
  // Output closed (or none asked for): the tool is ending, or handed the pipe on
  // to a helper it need not wait for; it gets the rest of the time.
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return false;
    if (Clock::now() >= deadline) {
      KillAndReap(pid);
      return false;
    }
    ::usleep(5000);
  }
  if (run.output) *run.output = std::move(text);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vel::shell
