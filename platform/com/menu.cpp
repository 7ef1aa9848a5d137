// Menus as plain data. A handle is the address of a MenuData that is listed as
// live; every call looks it up first, so a destroyed or made-up handle fails
// cleanly instead of being followed.
#include "platform/com/menu.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <unordered_set>

struct MenuData {
  std::vector<vel::com::MenuItem> items;
};

namespace {

using vel::com::MenuItem;

constexpr UINT kNoId = 0xFFFFFFFFu;
constexpr UINT kStateBits = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_DEFAULT;

std::mutex gMutex;
std::unordered_set<MenuData*>& LiveMenus() {
  static auto* live = new std::unordered_set<MenuData*>;
  return *live;
}

MenuData* Live(HMENU menu) { return menu && LiveMenus().count(menu) ? menu : nullptr; }

// True when `inner` is `outer` or lies somewhere below it: inserting `outer`
// into `inner` would make the menu its own submenu.
bool Reaches(MenuData* outer, MenuData* inner) {
  if (outer == inner) return true;
  for (const MenuItem& item : outer->items)
    if (Live(item.submenu) && Reaches(item.submenu, inner)) return true;
  return false;
}

// Where an item is: the menu that holds it and its position there.
struct Place {
  MenuData* menu = nullptr;
  size_t index = 0;
  MenuItem* item() const { return &menu->items[index]; }
};

// By command the id is looked for in submenus first, then on the popup item
// itself (a popup may carry an id of its own), as the system's menus do.
bool FindCommand(MenuData* menu, UINT id, Place* place) {
  for (size_t i = 0; i < menu->items.size(); ++i) {
    MenuItem& item = menu->items[i];
    if (MenuData* sub = Live(item.submenu); sub && FindCommand(sub, id, place)) return true;
    if (item.id == id) {
      *place = {menu, i};
      return true;
    }
  }
  return false;
}

bool Find(MenuData* menu, UINT item, bool byPosition, Place* place) {
  if (!byPosition) return FindCommand(menu, item, place);
  if (item >= menu->items.size()) return false;
  *place = {menu, item};
  return true;
}

// Inserts before `item` (by position, past the end appends; by command before
// the item with that id, in whichever menu holds it, else at the end).
BOOL Insert(MenuData* menu, UINT item, bool byPosition, MenuItem entry) {
  if (MenuData* sub = Live(entry.submenu); sub && Reaches(sub, menu)) return FALSE;
  if (entry.submenu && !Live(entry.submenu)) return FALSE;
  Place place{menu, menu->items.size()};
  if (byPosition) {
    place.index = std::min<size_t>(item, menu->items.size());
  } else if (!FindCommand(menu, item, &place)) {
    place = {menu, menu->items.size()};
  }
  place.menu->items.insert(place.menu->items.begin() + static_cast<std::ptrdiff_t>(place.index), std::move(entry));
  return TRUE;
}

void Destroy(MenuData* menu) {
  LiveMenus().erase(menu);
  for (const MenuItem& item : menu->items)
    if (MenuData* sub = Live(item.submenu)) Destroy(sub);
  delete menu;
}

// Copies text into a caller's buffer of `size` characters; the length copied.
int CopyText(const std::string& text, char* buffer, size_t size) {
  if (!buffer || size == 0) return 0;
  const size_t copied = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return static_cast<int>(copied);
}

UINT NormalType(UINT fType) {
  if (fType & MFT_SEPARATOR) return MFT_SEPARATOR;
  if (fType & MFT_OWNERDRAW) return MFT_OWNERDRAW;
  if (fType & MFT_BITMAP) return MFT_BITMAP;
  return MFT_STRING;
}

constexpr size_t kInfoWithoutItemBitmap = offsetof(MENUITEMINFOA, hbmpItem);

}  // namespace

HMENU CreatePopupMenu() {
  auto* menu = new MenuData;
  std::lock_guard lock(gMutex);
  LiveMenus().insert(menu);
  return menu;
}

BOOL DestroyMenu(HMENU menu) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  if (!m) return FALSE;
  Destroy(m);
  return TRUE;
}

BOOL IsMenu(HMENU menu) {
  std::lock_guard lock(gMutex);
  return Live(menu) ? TRUE : FALSE;
}

BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR idOrSubmenu, LPCSTR item) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  if (!m) return FALSE;
  MenuItem entry;
  entry.state = flags & kStateBits;
  if (flags & MF_SEPARATOR) {
    entry.type = MFT_SEPARATOR;
  } else if (flags & MF_BITMAP) {
    entry.type = MFT_BITMAP;
    entry.bitmap = reinterpret_cast<HBITMAP>(const_cast<char*>(item));
  } else if (flags & MF_OWNERDRAW) {
    // The item pointer of an owner-drawn item is the caller's own data.
    entry.type = MFT_OWNERDRAW;
    entry.data = reinterpret_cast<ULONG_PTR>(item);
  } else {
    entry.text = item ? item : "";
  }
  if (flags & MF_POPUP) {
    entry.submenu = reinterpret_cast<HMENU>(idOrSubmenu);
    entry.id = kNoId;
  } else {
    entry.id = static_cast<UINT>(idOrSubmenu);
  }
  return Insert(m, position, (flags & MF_BYPOSITION) != 0, std::move(entry));
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrSubmenu, LPCSTR item) {
  return InsertMenuA(menu, kNoId, flags | MF_BYPOSITION, idOrSubmenu, item);
}

BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOA* info) {
  if (!info || info->cbSize < kInfoWithoutItemBitmap) return FALSE;
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  if (!m) return FALSE;
  const UINT mask = info->fMask;
  MenuItem entry;
  if (mask & (MIIM_FTYPE | MIIM_TYPE)) entry.type = NormalType(info->fType);
  if (mask & MIIM_TYPE) {
    // The old form: dwTypeData is the text or the bitmap, by type.
    if (entry.type == MFT_STRING && info->dwTypeData) entry.text = info->dwTypeData;
    if (entry.type == MFT_BITMAP) entry.bitmap = reinterpret_cast<HBITMAP>(info->dwTypeData);
  }
  if ((mask & MIIM_STRING) && info->dwTypeData) entry.text = info->dwTypeData;
  if ((mask & MIIM_BITMAP) && info->cbSize >= sizeof(MENUITEMINFOA)) entry.bitmap = info->hbmpItem;
  if (mask & MIIM_STATE) entry.state = info->fState;
  if (mask & MIIM_ID) entry.id = info->wID;
  if (mask & MIIM_SUBMENU) entry.submenu = info->hSubMenu;
  if (mask & MIIM_CHECKMARKS) {
    entry.checkedBitmap = info->hbmpChecked;
    entry.uncheckedBitmap = info->hbmpUnchecked;
  }
  if (mask & MIIM_DATA) entry.data = info->dwItemData;
  return Insert(m, item, byPosition != 0, std::move(entry));
}

BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOA* info) {
  if (!info || info->cbSize < kInfoWithoutItemBitmap) return FALSE;
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  Place place;
  if (!m || !Find(m, item, byPosition != 0, &place)) return FALSE;
  const MenuItem& it = *place.item();
  const UINT mask = info->fMask;
  if (mask & (MIIM_FTYPE | MIIM_TYPE)) info->fType = it.type;
  if (mask & MIIM_STATE) info->fState = it.state;
  if (mask & MIIM_ID) info->wID = it.id;
  if (mask & MIIM_SUBMENU) info->hSubMenu = it.submenu;
  if (mask & MIIM_CHECKMARKS) {
    info->hbmpChecked = it.checkedBitmap;
    info->hbmpUnchecked = it.uncheckedBitmap;
  }
  if (mask & MIIM_DATA) info->dwItemData = it.data;
  if ((mask & MIIM_BITMAP) && info->cbSize >= sizeof(MENUITEMINFOA)) info->hbmpItem = it.bitmap;
  if ((mask & MIIM_TYPE) && it.type == MFT_BITMAP) {
    info->dwTypeData = reinterpret_cast<LPSTR>(it.bitmap);
  } else if (mask & (MIIM_TYPE | MIIM_STRING)) {
    // Without a buffer (or with no room) the caller learns the length it needs.
    const std::string& text = it.type == MFT_STRING ? it.text : std::string();
    if (!info->dwTypeData || info->cch == 0) {
      info->cch = static_cast<UINT>(text.size());
    } else {
      info->cch = static_cast<UINT>(CopyText(text, info->dwTypeData, info->cch));
    }
  }
  return TRUE;
}

BOOL SetMenuItemBitmaps(HMENU menu, UINT position, UINT flags, HBITMAP unchecked, HBITMAP checked) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  Place place;
  if (!m || !Find(m, position, (flags & MF_BYPOSITION) != 0, &place)) return FALSE;
  place.item()->uncheckedBitmap = unchecked;
  place.item()->checkedBitmap = checked;
  return TRUE;
}

BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  if (!m) return FALSE;
  // -1 takes the default away; otherwise the item must be in this menu itself.
  size_t index = m->items.size();
  if (item != kNoId) {
    if (byPosition) {
      index = item;
    } else {
      index = static_cast<size_t>(
          std::find_if(m->items.begin(), m->items.end(), [&](const MenuItem& it) { return it.id == item; }) -
          m->items.begin());
    }
    if (index >= m->items.size()) return FALSE;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    if (i == index) {
      m->items[i].state |= MFS_DEFAULT;
    } else {
      m->items[i].state &= ~MFS_DEFAULT;
    }
  }
  return TRUE;
}

int GetMenuItemCount(HMENU menu) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return kNoId;
  const MenuItem& it = m->items[static_cast<size_t>(position)];
  return it.submenu ? kNoId : it.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return nullptr;
  return Live(m->items[static_cast<size_t>(position)].submenu);
}

int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  Place place;
  if (!m || !Find(m, item, (flags & MF_BYPOSITION) != 0, &place)) return 0;
  const std::string& text = place.item()->text;
  if (!buffer || size <= 0) return static_cast<int>(text.size());
  return CopyText(text, buffer, static_cast<size_t>(size));
}

namespace vel::com {

std::vector<MenuItem> MenuItems(HMENU menu) {
  std::lock_guard lock(gMutex);
  MenuData* m = Live(menu);
  return m ? m->items : std::vector<MenuItem>();
}

}  // namespace vel::com
