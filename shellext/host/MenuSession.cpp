#include "shellext/host/MenuSession.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace ferrule_host {

struct CMenuSession::Handler {
  // The module is declared first so that it is unloaded after the interfaces go.
  vel::com::ServerModule module;
  IContextMenu* menu = nullptr;
  IContextMenu2* menu2 = nullptr;
  IContextMenu3* menu3 = nullptr;
  UINT first = 0;  // the first command id it was given
  UINT count = 0;  // how many it took

  ~Handler() {
    if (menu3) menu3->Release();
    if (menu2) menu2->Release();
    if (menu) menu->Release();
  }
};

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Files take the handlers of "*", folders those of "Folder"; a class registered
// for both serves the selection once.
std::vector<CLSID> HandlersFor(const std::vector<std::string>& paths) {
  bool files = false, folders = false;
  for (const std::string& p : paths) (IsFolder(p) ? folders : files) = true;
  std::vector<CLSID> classes;
  auto add = [&](const char* type) {
    for (const CLSID& c : vel::com::ContextMenuHandlers(type)) {
      bool seen = false;
      for (const CLSID& k : classes) seen = seen || k == c;
      if (!seen) classes.push_back(c);
    }
  };
  if (files) add("*");
  if (folders) add("Folder");
  return classes;
}

std::string Joined(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& p : paths) text += (text.empty() ? "" : " ") + p;
  return text;
}

}  // namespace

CMenuSession::CMenuSession() : menu_(CreatePopupMenu()) {}

CMenuSession::~CMenuSession() {
  // The menu refers to the handlers' bitmaps: it goes before they are released.
  if (menu_) DestroyMenu(menu_);
  handlers_.clear();
}

bool CMenuSession::Build(const std::vector<std::string>& paths, std::string* error) {
  const std::vector<CLSID> classes = HandlersFor(paths);
  if (!menu_ || paths.empty() || classes.empty()) {
    *error = "no context-menu handler is registered for " + Joined(paths);
    return false;
  }
  UINT next = kFirstCommandId;
  for (const CLSID& clsid : classes) {
    auto handler = std::make_unique<Handler>();
    IShellExtInit* init = nullptr;
    if (FAILED(vel::com::CreateRegisteredInstance(clsid, IID_IShellExtInit, reinterpret_cast<void**>(&init),
                                                  &handler->module)) ||
        !init)
      continue;
    IDataObject* data = vel::com::NewFileListDataObject(paths);
    const HRESULT initialised = data ? init->Initialize(nullptr, data, nullptr) : E_OUTOFMEMORY;
    if (data) data->Release();
    HRESULT hr = SUCCEEDED(initialised)
                     ? init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&handler->menu))
                     : initialised;
    init->Release();
    if (FAILED(hr) || !handler->menu) continue;
    handler->menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&handler->menu2));
    handler->menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&handler->menu3));
    hr = handler->menu->QueryContextMenu(menu_, static_cast<UINT>(GetMenuItemCount(menu_)), next, kLastCommandId,
                                         CMF_EXPLORE);
    if (FAILED(hr)) continue;
    handler->first = next;
    handler->count = static_cast<UINT>(hr) & 0xFFFF;
    next += handler->count;
    handlers_.push_back(std::move(handler));
    if (next > kLastCommandId) break;
  }
  if (GetMenuItemCount(menu_) <= 0) {
    *error = handlers_.empty() ? "no context-menu handler could be loaded for " + Joined(paths)
                               : "the context-menu handlers add no items for " + Joined(paths);
    return false;
  }
  return true;
}

const CMenuSession::Handler* CMenuSession::Owner(UINT id) const {
  for (const auto& h : handlers_)
    if (id >= h->first && id - h->first < h->count) return h.get();
  return nullptr;
}

bool CMenuSession::SendMenuMessage(UINT id, UINT message, void* record) const {
  const Handler* h = Owner(id);
  if (!h) return false;
  const LPARAM lParam = reinterpret_cast<LPARAM>(record);
  if (h->menu3) {
    LRESULT result = 0;
    return SUCCEEDED(h->menu3->HandleMenuMsg2(message, 0, lParam, &result));
  }
  return h->menu2 && SUCCEEDED(h->menu2->HandleMenuMsg(message, 0, lParam));
}

bool CMenuSession::Measure(UINT id, SIZE* size) const {
  MEASUREITEMSTRUCT measure{};
  measure.CtlType = ODT_MENU;
  measure.itemID = id;
  if (!SendMenuMessage(id, WM_MEASUREITEM, &measure)) return false;
  size->cx = static_cast<LONG>(measure.itemWidth);
  size->cy = static_cast<LONG>(measure.itemHeight);
  return true;
}

bool CMenuSession::Draw(UINT id, HDC dc, const RECT& rect, UINT state) const {
  DRAWITEMSTRUCT draw{};
  draw.CtlType = ODT_MENU;
  draw.itemID = id;
  draw.itemAction = ODA_DRAWENTIRE;
  draw.itemState = state;
  draw.hDC = dc;
  draw.rcItem = rect;
  return SendMenuMessage(id, WM_DRAWITEM, &draw);
}

std::string CMenuSession::HelpText(UINT id) const {
  const Handler* h = Owner(id);
  if (!h) return {};
  char text[1024] = {};
  if (FAILED(h->menu->GetCommandString(id - h->first, GCS_HELPTEXTA, nullptr, text, sizeof text))) return {};
  text[sizeof text - 1] = 0;
  return text;
}

namespace {

bool Contains(HMENU menu, UINT id, int depth) {
  for (const vel::com::MenuItem& item : vel::com::MenuItems(menu)) {
    if (item.submenu ? depth < 16 && Contains(item.submenu, id, depth + 1)
                     : !(item.type & MFT_SEPARATOR) && item.id == id)
      return true;
  }
  return false;
}

}  // namespace

bool CMenuSession::HasCommand(UINT id) const { return menu_ && Contains(menu_, id, 0); }

HRESULT CMenuSession::Invoke(UINT id) const {
  const Handler* h = Owner(id);
  if (!h) return E_INVALIDARG;
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.lpVerb = MAKEINTRESOURCEA(id - h->first);
  info.nShow = 1;  // a normal window for whatever the command starts
  return h->menu->InvokeCommand(&info);
}

namespace {

void PrintItems(const CMenuSession& session, HMENU menu, int depth, std::string* out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  for (const vel::com::MenuItem& item : vel::com::MenuItems(menu)) {
    const std::string offset = std::to_string(item.id - kFirstCommandId);
    if (item.submenu) {
      *out += indent + "+\t" + item.text + "\n";
      // A handler cannot nest its menus without end, but a bad one could loop.
      if (depth < 16) PrintItems(session, item.submenu, depth + 1, out);
    } else if (item.type & MFT_SEPARATOR) {
      *out += indent + "-\n";
    } else if (item.type & (MFT_BITMAP | MFT_OWNERDRAW)) {
      SIZE size{0, 0};
      BITMAP bm{};
      if (item.type & MFT_OWNERDRAW) {
        session.Measure(item.id, &size);
      } else if (item.bitmap && GetObject(item.bitmap, sizeof bm, &bm)) {
        size = {bm.bmWidth, bm.bmHeight};
      }
      *out += indent + offset + "\t[thumbnail " + std::to_string(size.cx) + "x" + std::to_string(size.cy) + "]\n";
    } else {
      *out += indent + offset + "\t" + item.text + "\n";
    }
  }
}

}  // namespace

std::string PrintMenu(const CMenuSession& session) {
  std::string out;
  PrintItems(session, session.menu(), 0, &out);
  return out;
}

}  // namespace ferrule_host
