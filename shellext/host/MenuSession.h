// What the file manager's shell does with context-menu handlers, for one
// selection: find the handlers registered for the selected kinds of item, create
// and initialise each, let each add its items to one popup menu in its own range
// of command ids, and route measuring, drawing, help texts and the chosen command
// back to the handler that owns an id.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/menu.h"

namespace ferrule_host {

// The command ids handed out to the handlers, as the shell hands them out.
constexpr UINT kFirstCommandId = 1;
constexpr UINT kLastCommandId = 0x7FFF;

class CMenuSession {
 public:
  CMenuSession();
  ~CMenuSession();
  CMenuSession(const CMenuSession&) = delete;
  CMenuSession& operator=(const CMenuSession&) = delete;

  // Builds the menu for `paths` (files and folders). False, with the reason in
  // `error`, when no handler is registered or none adds an item.
  bool Build(const std::vector<std::string>& paths, std::string* error);

  HMENU menu() const { return menu_; }

  // Measures an owner-drawn item through WM_MEASUREITEM; false when its handler
  // does not answer for it.
  bool Measure(UINT id, SIZE* size) const;
  // Draws an owner-drawn item through WM_DRAWITEM into `rect` of `dc`.
  bool Draw(UINT id, HDC dc, const RECT& rect, UINT state) const;
  // The handler's help text for the item (GCS_HELPTEXTA), or "".
  std::string HelpText(UINT id) const;
  // Whether `id` is the command of an item of the menu or its submenus.
  bool HasCommand(UINT id) const;
  // Runs the command of `id` (InvokeCommand with the handler's own offset).
  HRESULT Invoke(UINT id) const;

 private:
  struct Handler;
  const Handler* Owner(UINT id) const;
  bool SendMenuMessage(UINT id, UINT message, void* record) const;

  std::vector<std::unique_ptr<Handler>> handlers_;
  HMENU menu_ = nullptr;
};

// The menu written as text, one line per item: "ID<TAB>TEXT" with ID the
// command's offset from kFirstCommandId, "-" for a separator, "+<TAB>TEXT" for a
// submenu whose items follow indented by two spaces per level, and
// "ID<TAB>[thumbnail WxH]" for a picture or owner-drawn item.
std::string PrintMenu(const CMenuSession& session);

}  // namespace ferrule_host
