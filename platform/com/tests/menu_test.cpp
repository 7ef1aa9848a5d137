#include <gtest/gtest.h>

#include <string>

#include "platform/com/menu.h"

namespace {

std::string Texts(HMENU menu) {
  std::string out;
  for (const auto& item : vel::com::MenuItems(menu))
    out += (item.type == MFT_SEPARATOR ? std::string("-") : item.text) + (item.submenu ? ">" : "") + ",";
  return out;
}

TEST(Menu, InsertsByPositionAndByCommandAlsoInSubmenus) {
  HMENU menu = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuA(sub, MF_STRING, 10, "ten"));
  ASSERT_TRUE(AppendMenuA(sub, MF_STRING, 11, "eleven"));
  ASSERT_TRUE(AppendMenuA(menu, MF_STRING, 1, "one"));
  ASSERT_TRUE(AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Convert to..."));
  // Each row: where, how, then the whole menu and submenu afterwards.
  struct Case {
    UINT position;
    UINT flags;
    UINT id;
    const char* text;
    const char* menuAfter;
    const char* subAfter;
  };
  const Case cases[] = {
      {0, MF_BYPOSITION, 2, "two", "two,one,Convert to...>,", "ten,eleven,"},
      {99, MF_BYPOSITION, 3, "three", "two,one,Convert to...>,three,", "ten,eleven,"},
      {1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr, "two,-,one,Convert to...>,three,", "ten,eleven,"},
      {11, MF_BYCOMMAND, 12, "before eleven", "two,-,one,Convert to...>,three,", "ten,before eleven,eleven,"},
      {3, MF_BYCOMMAND, 4, "before three", "two,-,one,Convert to...>,before three,three,", "ten,before eleven,eleven,"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(InsertMenuA(menu, c.position, c.flags, c.id, c.text)) << c.menuAfter;
    EXPECT_EQ(Texts(menu), c.menuAfter);
    EXPECT_EQ(Texts(sub), c.subAfter);
  }
  EXPECT_EQ(GetMenuItemCount(menu), 6);
  EXPECT_EQ(GetMenuItemID(menu, 0), 2u);
  EXPECT_EQ(GetMenuItemID(menu, 3), 0xFFFFFFFFu) << "a popup has no command id";
  EXPECT_EQ(GetMenuItemID(menu, 6), 0xFFFFFFFFu);
  EXPECT_EQ(GetSubMenu(menu, 3), sub);
  EXPECT_EQ(GetSubMenu(menu, 0), nullptr);
  char text[8];
  EXPECT_EQ(GetMenuStringA(menu, 12, text, sizeof text, MF_BYCOMMAND), 7);
  EXPECT_STREQ(text, "before ");
  EXPECT_EQ(GetMenuStringA(menu, 12, nullptr, 0, MF_BYCOMMAND), 13);
  EXPECT_EQ(GetMenuStringA(menu, 77, text, sizeof text, MF_BYCOMMAND), 0);
  EXPECT_FALSE(AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "loop")) << "a menu inside itself";
  EXPECT_FALSE(AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "loop"));
  EXPECT_TRUE(DestroyMenu(menu));
}

TEST(Menu, ItemInfoFollowsTheMasks) {
  HMENU menu = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  auto* checked = reinterpret_cast<HBITMAP>(0x1000);
  auto* unchecked = reinterpret_cast<HBITMAP>(0x2000);
  auto* picture = reinterpret_cast<HBITMAP>(0x3000);
  MENUITEMINFOA in{};
  in.cbSize = sizeof in;
  in.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA | MIIM_CHECKMARKS;
  in.fType = MFT_STRING;
  in.dwTypeData = const_cast<char*>("Convert to...");
  in.wID = 40;
  in.fState = MFS_CHECKED;
  in.hSubMenu = sub;
  in.dwItemData = 0xABCD;
  in.hbmpChecked = checked;
  in.hbmpUnchecked = unchecked;
  ASSERT_TRUE(InsertMenuItemA(menu, 0, TRUE, &in));
  MENUITEMINFOA owner{};
  owner.cbSize = sizeof owner;
  owner.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
  owner.fType = MFT_OWNERDRAW;
  owner.wID = 41;
  owner.dwItemData = 7;
  ASSERT_TRUE(InsertMenuItemA(menu, 1, TRUE, &owner));
  ASSERT_TRUE(InsertMenuA(menu, 2, MF_BYPOSITION | MF_BITMAP, 42, reinterpret_cast<LPCSTR>(picture)));
  MENUITEMINFOA tooSmall = in;
  tooSmall.cbSize = 8;
  EXPECT_FALSE(InsertMenuItemA(menu, 0, TRUE, &tooSmall));

  MENUITEMINFOA out{};
  out.cbSize = sizeof out;
  out.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA | MIIM_CHECKMARKS;
  ASSERT_TRUE(GetMenuItemInfoA(menu, 40, FALSE, &out));
  EXPECT_EQ(out.fType, MFT_STRING);
  EXPECT_EQ(out.wID, 40u);
  EXPECT_EQ(out.fState, MFS_CHECKED);
  EXPECT_EQ(out.hSubMenu, sub);
  EXPECT_EQ(out.dwItemData, 0xABCDu);
  EXPECT_EQ(out.hbmpChecked, checked);
  EXPECT_EQ(out.hbmpUnchecked, unchecked);

  // The text: the length first without a buffer, then copies cut to cch.
  struct TextCase {
    UINT cch;
    bool buffer;
    UINT cchAfter;
    const char* text;
  };
  const TextCase texts[] = {{0, false, 13, nullptr}, {64, true, 13, "Convert to..."}, {5, true, 4, "Conv"}};
  for (const TextCase& t : texts) {
    char buffer[64] = "untouched";
    MENUITEMINFOA q{};
    q.cbSize = sizeof q;
    q.fMask = MIIM_STRING;
    q.dwTypeData = t.buffer ? buffer : nullptr;
    q.cch = t.cch;
    q.wID = 99;
    ASSERT_TRUE(GetMenuItemInfoA(menu, 0, TRUE, &q));
    EXPECT_EQ(q.cch, t.cchAfter);
    EXPECT_EQ(q.wID, 99u) << "fields outside the mask stay as they were";
    if (t.text) {
      EXPECT_STREQ(buffer, t.text);
    }
  }

  MENUITEMINFOA q{};
  q.cbSize = sizeof q;
  q.fMask = MIIM_FTYPE | MIIM_DATA;
  ASSERT_TRUE(GetMenuItemInfoA(menu, 41, FALSE, &q));
  EXPECT_EQ(q.fType, MFT_OWNERDRAW);
  EXPECT_EQ(q.dwItemData, 7u);
  q.fMask = MIIM_TYPE;
  ASSERT_TRUE(GetMenuItemInfoA(menu, 2, TRUE, &q));
  EXPECT_EQ(q.fType, MFT_BITMAP);
  EXPECT_EQ(reinterpret_cast<HBITMAP>(q.dwTypeData), picture);
  EXPECT_FALSE(GetMenuItemInfoA(menu, 3, TRUE, &q));
  EXPECT_FALSE(GetMenuItemInfoA(menu, 777, FALSE, &q));

  ASSERT_TRUE(SetMenuItemBitmaps(menu, 42, MF_BYCOMMAND, unchecked, checked));
  const auto items = vel::com::MenuItems(menu);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[2].bitmap, picture);
  EXPECT_EQ(items[2].checkedBitmap, checked);
  EXPECT_EQ(items[2].uncheckedBitmap, unchecked);
  EXPECT_FALSE(SetMenuItemBitmaps(menu, 9, MF_BYPOSITION, unchecked, checked));
  DestroyMenu(menu);
}

TEST(Menu, OnlyOneDefaultItem) {
  HMENU menu = CreatePopupMenu();
  for (UINT id : {5u, 6u, 7u}) AppendMenuA(menu, MF_STRING, id, "x");
  auto defaults = [&] {
    std::string marks;
    for (const auto& item : vel::com::MenuItems(menu)) marks += (item.state & MFS_DEFAULT) ? 'D' : '.';
    return marks;
  };
  struct Case {
    UINT item;
    UINT byPosition;
    BOOL ok;
    const char* marks;
  };
  const Case cases[] = {{6, FALSE, TRUE, ".D."},
                        {2, TRUE, TRUE, "..D"},
                        {9, TRUE, FALSE, "..D"},
                        {8, FALSE, FALSE, "..D"},
                        {0xFFFFFFFF, FALSE, TRUE, "..."}};
  for (const Case& c : cases) {
    EXPECT_EQ(SetMenuDefaultItem(menu, c.item, c.byPosition), c.ok) << c.item;
    EXPECT_EQ(defaults(), c.marks) << c.item;
  }
  DestroyMenu(menu);
}

TEST(Menu, DestroyTakesSubmenusAndDeadHandlesFailCleanly) {
  HMENU menu = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  HMENU inner = CreatePopupMenu();
  AppendMenuA(inner, MF_STRING, 1, "deep");
  AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(inner), "inner");
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "sub");
  EXPECT_EQ(GetMenuStringA(menu, 1, nullptr, 0, MF_BYCOMMAND), 4) << "found two levels down";
  ASSERT_TRUE(DestroyMenu(menu));
  for (HMENU dead : {menu, sub, inner}) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID;
    EXPECT_FALSE(IsMenu(dead));
    EXPECT_FALSE(DestroyMenu(dead));
    EXPECT_FALSE(AppendMenuA(dead, MF_STRING, 1, "x"));
    EXPECT_FALSE(GetMenuItemInfoA(dead, 0, TRUE, &info));
    EXPECT_EQ(GetMenuItemCount(dead), -1);
    EXPECT_TRUE(vel::com::MenuItems(dead).empty());
  }
  HMENU live = CreatePopupMenu();
  EXPECT_FALSE(AppendMenuA(live, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "dead submenu"));
  EXPECT_EQ(GetMenuItemCount(live), 0);
  DestroyMenu(live);
}

}  // namespace
