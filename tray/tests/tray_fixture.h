// What the tray program's tests share: a private registry, config and runtime
// folder, stand-ins for the programs the menu starts, and child processes.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/shell.h"

extern char** environ;

namespace pennock::testing {

class TrayTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("XDG_CONFIG_HOME", TempPath("config").c_str(), 1);
    // Named windows live here, apart from any tray program the user runs.
    mkdir(TempPath("run").c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", TempPath("run").c_str(), 1);
  }
  void TearDown() override {
    // Asked first, so an X server removes its socket and lock file.
    for (pid_t pid : children_) kill(pid, SIGTERM);
    for (pid_t pid : std::vector<pid_t>(children_)) {
      if (WaitExit(pid, 2000) != -1) continue;
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_RUNTIME_DIR");
    TempRegistry::TearDown();
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // A script registered under App Paths `exeName` that appends "<tag> <arguments>"
  // to the file Started() reads.
  void InstallStandIn(const char* exeName, const std::string& tag) {
    const std::string script = TempPath(tag + ".sh");
    std::ofstream(script) << "#!/bin/sh\necho \"" << tag << " $*\" >> '" << TempPath("started.txt") << "'\n";
    chmod(script.c_str(), 0755);
    RegisterAppPath(exeName, script);
  }
  static void RegisterAppPath(const char* exeName, const std::string& path) {
    vel::OwnedKey key;
    const std::string sub = std::string(kAppPathsKey) + "\\" + exeName;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
  }
  // What the stand-ins recorded, once `lines` lines are there (or after `ms`).
  std::string Started(size_t lines = 1, int ms = 5000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::string text;
    while (std::chrono::steady_clock::now() < end) {
      text = ReadFile(TempPath("started.txt"));
      if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return text;
  }

  // Starts a program with extra environment and its standard error into a file.
  pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              const std::string& errFile = "/dev/null") {
    // Ours, less what `env` sets anew (the first of two entries would win).
    std::vector<std::string> environment(env);
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('=') + 1);
      if (std::none_of(env.begin(), env.end(), [&name](const std::string& v) { return v.rfind(name, 0) == 0; }))
        environment.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    children_.push_back(pid);
    return pid;
  }
  // The exit code, or -1 while it still runs after `ms`.
  int WaitExit(pid_t pid, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(children_, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return -1;
  }

  std::vector<pid_t> children_;
};

}  // namespace pennock::testing
