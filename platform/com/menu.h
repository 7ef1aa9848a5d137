// Menus as the shell extension builds them and the menu host shows them:
// popup menus of text, separator, submenu, bitmap and owner-drawn items, with
// the item bitmaps, states and default item of the Win32 calls of these names.
// A menu is plain data here; the host turns it into a real popup.
#pragma once

#include <string>
#include <vector>

#include "platform/com/com.h"

constexpr UINT MF_BYCOMMAND = 0x0;
constexpr UINT MF_STRING = 0x0;
constexpr UINT MF_ENABLED = 0x0;
constexpr UINT MF_UNCHECKED = 0x0;
constexpr UINT MF_GRAYED = 0x1;
constexpr UINT MF_DISABLED = 0x2;
constexpr UINT MF_BITMAP = 0x4;
constexpr UINT MF_CHECKED = 0x8;
constexpr UINT MF_POPUP = 0x10;
constexpr UINT MF_OWNERDRAW = 0x100;
constexpr UINT MF_BYPOSITION = 0x400;
constexpr UINT MF_SEPARATOR = 0x800;
constexpr UINT MF_DEFAULT = 0x1000;

constexpr UINT MIIM_STATE = 0x1;
constexpr UINT MIIM_ID = 0x2;
constexpr UINT MIIM_SUBMENU = 0x4;
constexpr UINT MIIM_CHECKMARKS = 0x8;
constexpr UINT MIIM_TYPE = 0x10;
constexpr UINT MIIM_DATA = 0x20;
constexpr UINT MIIM_STRING = 0x40;
constexpr UINT MIIM_BITMAP = 0x80;
constexpr UINT MIIM_FTYPE = 0x100;

constexpr UINT MFT_STRING = 0x0;
constexpr UINT MFT_BITMAP = 0x4;
constexpr UINT MFT_OWNERDRAW = 0x100;
constexpr UINT MFT_SEPARATOR = 0x800;
constexpr UINT MFS_ENABLED = 0x0;
constexpr UINT MFS_GRAYED = 0x3;
constexpr UINT MFS_CHECKED = 0x8;
constexpr UINT MFS_DEFAULT = 0x1000;

struct MENUITEMINFOA {
  UINT cbSize;
  UINT fMask;
  UINT fType;
  UINT fState;
  UINT wID;
  HMENU hSubMenu;
  HBITMAP hbmpChecked;
  HBITMAP hbmpUnchecked;
  ULONG_PTR dwItemData;
  LPSTR dwTypeData;  // the text (MFT_STRING) or the bitmap (MFT_BITMAP)
  UINT cch;
  HBITMAP hbmpItem;
};

HMENU CreatePopupMenu();
// Frees the menu and every submenu it holds; bitmaps stay with their owners.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// `idOrSubmenu` is the command id, or the submenu (cast) with MF_POPUP;
// `item` the text, or the bitmap (cast) with MF_BITMAP. A position past the
// end appends. With MF_BYCOMMAND the item is found by id, also in submenus.
BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR idOrSubmenu, LPCSTR item);
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrSubmenu, LPCSTR item);
BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOA* info);
BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOA* info);
BOOL SetMenuItemBitmaps(HMENU menu, UINT position, UINT flags, HBITMAP unchecked, HBITMAP checked);
BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition);
int GetMenuItemCount(HMENU menu);
// The item's id; 0xFFFFFFFF for a submenu or a bad position.
UINT GetMenuItemID(HMENU menu, int position);
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags);

// Owner-drawn items: the messages and their records.
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MENUCHAR = 0x0120;
constexpr UINT ODT_MENU = 1;
constexpr UINT ODA_DRAWENTIRE = 0x1;
constexpr UINT ODA_SELECT = 0x2;
constexpr UINT ODA_FOCUS = 0x4;
constexpr UINT ODS_SELECTED = 0x1;
constexpr UINT ODS_GRAYED = 0x2;
constexpr UINT ODS_DISABLED = 0x4;

struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
};

struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};

namespace vel::com {

// One item as the host reads it back.
struct MenuItem {
  UINT type = MFT_STRING;  // MFT_STRING, MFT_SEPARATOR, MFT_BITMAP or MFT_OWNERDRAW
  UINT state = 0;          // MFS_* bits
  UINT id = 0;
  std::string text;
  HMENU submenu = nullptr;
  HBITMAP bitmap = nullptr;  // MFT_BITMAP: the picture the item shows
  HBITMAP checkedBitmap = nullptr;
  HBITMAP uncheckedBitmap = nullptr;
  ULONG_PTR data = 0;
};
// The items of a menu, in order (a copy; the menu keeps its own).
std::vector<MenuItem> MenuItems(HMENU menu);

}  // namespace vel::com
