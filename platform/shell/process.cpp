#include "platform/shell/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/shell/shell.h"

extern char** environ;

namespace vel::shell {
namespace {

// What the waiter thread learns about one child.
struct ProcessState {
  pid_t pid = 0;
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  int status = 0;
  bool terminated = false;  // ended by TerminateProcess, which chose its exit code
  DWORD exitCode = 0;
};

struct ProcessObject {
  std::shared_ptr<ProcessState> state;
};

struct HandleTable {
  std::mutex mu;
  std::unordered_set<ProcessObject*> live;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // outlives static destructors
  return *table;
}

std::shared_ptr<ProcessState> Find(HANDLE handle) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mu);
  auto it = table.live.find(static_cast<ProcessObject*>(handle));
  return it == table.live.end() ? nullptr : (*it)->state;
}

// One thread per child blocks in waitpid for exactly that child. This reaps it
// whether or not anyone holds a handle, and never takes a child that belongs
// to someone else (as waitpid(-1) in a SIGCHLD handler would).
// The child is first waited for without being reaped, and reaped only under the
// state's lock: until `done` is set its pid cannot go to another process, so
// TerminateProcess never signals a stranger.
void WatchChild(const std::shared_ptr<ProcessState>& state) {
  std::thread([state] {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(state->pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    int status = 0;
    std::lock_guard<std::mutex> lock(state->mu);
    pid_t r;
    do {
      r = waitpid(state->pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    // ECHILD: SIGCHLD is ignored and the kernel reaped it; the status is lost.
    state->status = r == state->pid ? status : 0;
    state->done = true;
    state->cv.notify_all();
  }).detach();
}

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  int Prepare(const StartRequest& request) {
    int rc = 0;
    if (request.hidden) rc = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    if (!rc && !request.dir.empty()) rc = posix_spawn_file_actions_addchdir_np(&actions_, request.dir.c_str());
    // The child starts with default signal handling and nothing blocked,
    // whatever our threads have set up for themselves.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    if (!rc) rc = posix_spawnattr_setsigmask(&attr_, &none);
    if (!rc) rc = posix_spawnattr_setsigdefault(&attr_, &all);
    if (!rc) rc = posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    return rc;
  }
  posix_spawn_file_actions_t* actions() { return &actions_; }
  posix_spawnattr_t* attr() { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

}  // namespace

int StartProcess(const StartRequest& request, HANDLE* handle) {
  if (handle) *handle = nullptr;
  if (request.program.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(request.program.c_str()));
  for (const auto& a : request.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  if (int rc = setup.Prepare(request); rc != 0) return rc;
  auto state = std::make_shared<ProcessState>();
  int rc = request.searchPath
               ? posix_spawnp(&state->pid, request.program.c_str(), setup.actions(), setup.attr(), argv.data(), environ)
               : posix_spawn(&state->pid, request.program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (rc != 0) return rc;

  try {
    WatchChild(state);
  } catch (const std::system_error&) {
    // No thread to watch it: stop the child rather than leave it unreaped.
    kill(state->pid, SIGKILL);
    while (waitpid(state->pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return EAGAIN;
  }
  if (handle) {
    auto* object = new ProcessObject{state};
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mu);
    table.live.insert(object);
    *handle = object;
  }
  return 0;
}

}  // namespace vel::shell

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto state = vel::shell::Find(handle);
  if (!state) return WAIT_FAILED;
  std::unique_lock<std::mutex> lock(state->mu);
  if (milliseconds == INFINITE) {
    state->cv.wait(lock, [&] { return state->done; });
    return WAIT_OBJECT_0;
  }
  return state->cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return state->done; }) ? WAIT_OBJECT_0
                                                                                                        : WAIT_TIMEOUT;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  auto state = vel::shell::Find(process);
  if (!state || !exitCode) return FALSE;
  std::lock_guard<std::mutex> lock(state->mu);
  if (!state->done) {
    *exitCode = STILL_ACTIVE;
  } else if (state->terminated) {
    *exitCode = state->exitCode;
  } else if (WIFSIGNALED(state->status)) {
    *exitCode = 128 + static_cast<DWORD>(WTERMSIG(state->status));
  } else {
    *exitCode = static_cast<DWORD>(WEXITSTATUS(state->status));
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  auto* object = static_cast<vel::shell::ProcessObject*>(handle);
  {
    auto& table = vel::shell::Handles();
    std::lock_guard<std::mutex> lock(table.mu);
    if (!handle || !table.live.erase(object)) return FALSE;
  }
  // The waiter thread keeps its own reference and still reaps the child.
  delete object;
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  auto state = vel::shell::Find(process);
  if (!state) return FALSE;
  std::lock_guard<std::mutex> lock(state->mu);
  // Once done is set the pid may belong to someone else: never signal it then.
  if (state->done) return TRUE;
  if (kill(state->pid, SIGKILL) != 0) return FALSE;
  state->terminated = true;
  state->exitCode = exitCode;
  return TRUE;
}
