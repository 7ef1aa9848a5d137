// Starting processes and the handles that wait for them.
#pragma once

#include <string>
#include <vector>

#include "platform/base/memory.h"

namespace vel::shell {

struct StartRequest {
  std::string program;            // a path, or a name looked up in $PATH when searchPath
  std::vector<std::string> args;  // without the program itself
  std::string dir;                // working folder; "" keeps ours
  bool hidden = false;            // standard input from /dev/null
  bool searchPath = false;
};

// Starts the program; 0 or an errno value. With handle set, *handle becomes a
// process handle for WaitForSingleObject & co.; either way the process is
// reaped when it ends, so none is left a zombie.
int StartProcess(const StartRequest& request, HANDLE* handle);

}  // namespace vel::shell
