// Command routing: every command number has one handler and, optionally, an update
// handler that says whether it is enabled and marked right now. Menus ask the
// update handlers when they open, toolbars when the program is idle, and tests run
// commands by number through the same map.
#pragma once

#include <functional>
#include <map>

namespace orvenna {

// What an update handler says about a command.
struct CmdUI {
  bool enabled = true;
  bool checked = false;  // a check mark, or the radio mark when `radio`
  bool radio = false;
};

class CommandMap {
 public:
  using Handler = std::function<void()>;
  using Update = std::function<void(CmdUI&)>;

  // Registers (or replaces) the handler of a command. Without an update handler the
  // command is always enabled and never marked.
  void On(int id, Handler handler, Update update = {});
  bool Has(int id) const;
  // Runs the command when it has a handler and its update handler leaves it
  // enabled. False when it did not run.
  bool Execute(int id);
  // The command's state now; a command without a handler is disabled.
  CmdUI Query(int id) const;

 private:
  struct Entry {
    Handler handler;
    Update update;
  };
  std::map<int, Entry> entries_;
};

}  // namespace orvenna
