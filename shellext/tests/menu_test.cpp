#include <string>
#include <vector>

#include "shellext/tests/ferrule_test_support.h"

namespace ferrule::testing {
namespace {

using Lines = std::vector<std::string>;
constexpr UINT kFirst = 100;

Lines ConvertItems() {
  Lines lines;
  const char* labels[] = {"Bitmap", "GIF", "JPEG", "TIFF", "Targa", "DCX", "EPS", "FMF", "PCX", "PNG", "WMF", "EMF"};
  for (int i = 0; i < 12; ++i) lines.push_back(std::to_string(i) + " Convert to " + labels[i]);
  lines.push_back("-");
  return lines;
}
Lines Join(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class MenuTest : public FerruleTest {
 protected:
  // Builds the menu below one existing item; the items before `index` stay.
  HRESULT Build(const std::vector<std::string>& names, UINT flags, Lines* top, Lines* sub) {
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back(n.back() == '/' ? Folder(n.substr(0, n.size() - 1)) : Touch(n));
    IContextMenu3* ext = Extension(paths);
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, kFirst - 1, "Open");
    const HRESULT hr = ext->QueryContextMenu(menu, 1, kFirst, kFirst + 100, flags);
    *top = Describe(menu, kFirst);
    for (const auto& item : vel::com::MenuItems(menu)) {
      if (!item.submenu) continue;
      EXPECT_NE(item.checkedBitmap, nullptr);
      EXPECT_EQ(item.checkedBitmap, item.uncheckedBitmap);
      *sub = Describe(item.submenu, kFirst, true);
      items_ = vel::com::MenuItems(item.submenu);
    }
    ext->Release();
    DestroyMenu(menu);
    return hr;
  }
  std::vector<vel::com::MenuItem> items_;
};

TEST_F(MenuTest, ItemsBySelectionAndFlags) {
  RegisterWorker();
  SetThumbValues(1, 1, 1);
  const Lines none = {"-1 Open"};
  const Lines many = {"-1 Open", "-", "> Convert to...", "-"};
  const Lines one = {"-1 Open",
                     "-",
                     "> Convert to...",
                     "owner 20",
                     "21 Image info: [120 X 90 pixels, 24 BPP]",
                     "22 File info: a.png; 1.00 KB",
                     "-"};
  const Lines manySub = Join(ConvertItems(), {"13 Rename files ...", "-", "14 Launch Settings"});
  const Lines oneSub = Join(
      ConvertItems(), {"13 Copy to clipboard", "> Set as wallpaper", "  14 Center", "  15 Tile", "  16 Fit to screen",
                       "  17 Stretch to screen", "18 Rename file ...", "-", "19 Launch Settings"});
  const struct {
    const char* name;
    std::vector<std::string> files;
    UINT flags;
    Lines top, sub;
    int used;
  } cases[] = {
      {"one image", {"a.png"}, CMF_EXPLORE, one, oneSub, 23},
      {"image and text", {"a.png", "read.me"}, CMF_CANRENAME, one, oneSub, 23},
      {"several images", {"a.png", "b.gif"}, CMF_EXPLORE, many, manySub, 15},
      {"one folder", {"pics/"}, CMF_EXPLORE, many, manySub, 15},
      {"image in a folder",
       {"a.png", "pics/"},
       CMF_EXPLORE,
       many,
       Join(ConvertItems(), {"13 Rename file ...", "-", "14 Launch Settings"}),
       15},
      {"only text", {"a.txt", "b.doc"}, CMF_EXPLORE, none, {}, 0},
      {"normal flags", {"a.png", "b.gif"}, CMF_NORMAL, none, {}, 0},
      {"default only", {"a.png", "b.gif"}, CMF_EXPLORE | CMF_DEFAULTONLY, none, {}, 0},
      {"neither explore nor rename", {"a.png", "b.gif"}, CMF_VERBSONLY, none, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Lines top, sub;
    EXPECT_EQ(Build(c.files, c.flags, &top, &sub), MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.used));
    EXPECT_EQ(top, c.top);
    EXPECT_EQ(sub, c.sub);
  }
}

TEST_F(MenuTest, PluginItemAndInformationLineSettings) {
  RegisterWorker("", 12);
  SetThumbValues(0, 1, 1);
  SetText(HKEY_CURRENT_USER, kPluginsAloneKey, "plgname0", "Frame it");
  SetText(HKEY_CURRENT_USER, kPluginsMultyKey, "plgname0", "Album");
  Lines top, sub;
  ASSERT_EQ(Build({"a.png"}, CMF_EXPLORE, &top, &sub), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 22));
  EXPECT_EQ(top, (Lines{"-1 Open", "-", "> Convert to...", "owner 20",
                        "21 Image info: [120 X 90 pixels, 24 BPP, 12 frames]", "-"}));
  EXPECT_EQ(sub, Join(ConvertItems(), {"12 Frame it", "-", "13 Copy to clipboard", "> Set as wallpaper", "  14 Center",
                                       "  15 Tile", "  16 Fit to screen", "  17 Stretch to screen",
                                       "18 Rename file ...", "-", "19 Launch Settings"}));
  // Every command item but the conversions carries its picture; all pictures differ.
  std::vector<HBITMAP> seen;
  for (const auto& item : items_) {
    if (item.type == MFT_SEPARATOR || (!item.submenu && item.id - kFirst < 12)) continue;
    ASSERT_NE(item.checkedBitmap, nullptr) << item.text;
    for (HBITMAP other : seen) EXPECT_NE(other, item.checkedBitmap) << item.text;
    seen.push_back(item.checkedBitmap);
  }

  ASSERT_EQ(Build({"a.png", "pics/"}, CMF_EXPLORE, &top, &sub), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 15));
  EXPECT_EQ(sub[13], "12 Frame it");  // one image among folders still counts as alone
  ASSERT_EQ(Build({"a.png", "b.bmp"}, CMF_EXPLORE, &top, &sub), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 15));
  EXPECT_EQ(Lines(sub.begin() + 13, sub.end()),
            (Lines{"12 Album", "-", "13 Rename files ...", "-", "14 Launch Settings"}));
}

TEST_F(MenuTest, FailedExamineOrThumbnailOffAddsNothing) {
  Lines top, sub;
  SetThumbValues(1, 1, 1);
  EXPECT_EQ(Build({"a.png"}, CMF_EXPLORE, &top, &sub), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));  // no worker
  RegisterWorker();
  SetThumbValues(1, 1, 0);
  EXPECT_EQ(Build({"a.png"}, CMF_EXPLORE, &top, &sub), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
  EXPECT_EQ(top, Lines{"-1 Open"});
}

TEST_F(MenuTest, OldShellGetsAPlainBitmapItem) {
  RegisterWorker();
  SetThumbValues(0, 0, 1);
  const struct {
    DWORD major, minor;
    const char* item;
  } cases[] = {{4, 70, "bitmap 20"}, {4, 71, "owner 20"}, {5, 0, "owner 20"}, {0, 0, "owner 20"}};
  for (const auto& c : cases) {
    vel::com::SetShellVersionForTesting(c.major, c.minor);
    Lines top, sub;
    Build({"a.png"}, CMF_EXPLORE, &top, &sub);
    EXPECT_EQ(top, (Lines{"-1 Open", "-", "> Convert to...", c.item, "-"})) << c.major << "." << c.minor;
  }
  vel::com::SetShellVersionForTesting(0, 0);
}

}  // namespace
}  // namespace ferrule::testing
