#include "viewer/core/CommandMap.h"

namespace orvenna {

void CommandMap::On(int id, Handler handler, Update update) {
  entries_[id] = Entry{std::move(handler), std::move(update)};
}

bool CommandMap::Has(int id) const { return entries_.count(id) != 0; }

CmdUI CommandMap::Query(int id) const {
  CmdUI ui;
  auto it = entries_.find(id);
  if (it == entries_.end() || !it->second.handler) {
    ui.enabled = false;
    return ui;
  }
  if (it->second.update) it->second.update(ui);
  return ui;
}

bool CommandMap::Execute(int id) {
  if (!Query(id).enabled) return false;
  // A copy: the handler may replace its own entry (or close the window that owns the map).
  Handler handler = entries_[id].handler;
  handler();
  return true;
}

}  // namespace orvenna
