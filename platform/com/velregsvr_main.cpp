// velregsvr: registers or removes an in-process server in the manner of
// regsvr32, by loading it and calling its DllRegisterServer or
// DllUnregisterServer.
//
//   velregsvr [/u] [/s] LIBRARY
//
// Exit status: 0 success, 1 bad arguments or a failed registration, 3 a
// library that does not load, 4 a library without the entry point.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/com/com.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitLoad = 3;
constexpr int kExitEntry = 4;

void Usage() {
  std::fprintf(stderr,
               "Usage: velregsvr [/u] [/s] LIBRARY\n"
               "Registers an in-process server (calls its DllRegisterServer).\n"
               "  /u  unregister it instead (calls DllUnregisterServer)\n"
               "  /s  silent: print no messages\n");
}

bool IsSwitch(const char* arg, char letter) {
  return (arg[0] == '/' || arg[0] == '-') && arg[1] && arg[2] == '\0' && (arg[1] | 0x20) == letter;
}

// An existing file is loaded by its full path, so "server.so" means the file
// in the current folder, not a search along the library path.
std::string LoadablePath(const std::string& library) {
  struct stat st {};
  char resolved[PATH_MAX];
  if (::stat(library.c_str(), &st) == 0 && realpath(library.c_str(), resolved)) return resolved;
  return library;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  bool silent = false;
  std::string library;
  for (int i = 1; i < argc; ++i) {
    if (IsSwitch(argv[i], 'u')) {
      unregister = true;
    } else if (IsSwitch(argv[i], 's')) {
      silent = true;
    } else if (library.empty() && argv[i][0] != '\0') {
      library = argv[i];
    } else {
      Usage();
      return kExitFailed;
    }
  }
  if (library.empty()) {
    Usage();
    return kExitFailed;
  }

  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  vel::com::ServerModule server;
  std::string error;
  if (!server.load(LoadablePath(library), &error)) {
    if (!silent) std::fprintf(stderr, "velregsvr: %s\n", error.c_str());
    return kExitLoad;
  }
  if (!server.symbol(entry)) {
    if (!silent) std::fprintf(stderr, "%s was loaded, but the %s entry point was not found.\n", library.c_str(), entry);
    return kExitEntry;
  }
  const HRESULT hr = unregister ? server.unregisterServer() : server.registerServer();
  if (FAILED(hr)) {
    if (!silent)
      std::fprintf(stderr, "%s in %s failed. Return code was: 0x%08X\n", entry, library.c_str(),
                   static_cast<unsigned>(hr));
    return kExitFailed;
  }
  if (!silent) std::printf("%s in %s succeeded.\n", entry, library.c_str());
  return kExitOk;
}
