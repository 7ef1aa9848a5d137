// The six small pictures beside the menu's items, drawn as 16 x 16 DIB
// sections: each is a few filled rectangles on the menu's own colour.
#include <initializer_list>

#include "shellext/ferrule/CFerruleATL.h"

namespace ferrule {
namespace {

constexpr int kSize = 16;

// Inclusive pixel rectangle in one colour.
struct Box {
  int left, top, right, bottom;
  COLORREF color;
};

constexpr COLORREF kInk = RGB(40, 40, 40);
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(40, 90, 200);
constexpr COLORREF kGreen = RGB(40, 150, 60);
constexpr COLORREF kYellow = RGB(250, 200, 30);
constexpr COLORREF kBrown = RGB(150, 100, 50);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kRed = RGB(200, 50, 40);

struct Picture {
  int resource;
  std::initializer_list<Box> boxes;  // drawn in order, later ones on top
};

const Picture kPictures[] = {
    // convert: a page, an arrow, and the converted page
    {IDB_CONVERT,
     {{1, 1, 7, 9, kInk},
      {2, 2, 6, 8, kPaper},
      {8, 4, 11, 4, kRed},
      {10, 3, 10, 5, kRed},
      {8, 7, 14, 14, kInk},
      {9, 8, 13, 13, kBlue}}},
    // plug-in: a plug with two prongs and its cable
    {IDB_PLUGIN,
     {{5, 1, 5, 4, kGrey}, {10, 1, 10, 4, kGrey}, {3, 5, 12, 10, kInk}, {4, 6, 11, 9, kGreen}, {7, 11, 8, 15, kInk}}},
    // clipboard: a board, its paper and the clip
    {IDB_CLIPBOARD,
     {{2, 2, 13, 15, kBrown},
      {4, 4, 11, 14, kPaper},
      {5, 6, 10, 6, kGrey},
      {5, 8, 10, 8, kGrey},
      {5, 10, 9, 10, kGrey},
      {6, 1, 9, 3, kGrey}}},
    // wallpaper: a screen with a landscape on its stand
    {IDB_WALLPAPER,
     {{0, 1, 15, 11, kInk},
      {1, 2, 14, 10, kBlue},
      {1, 8, 14, 10, kGreen},
      {10, 3, 12, 5, kYellow},
      {7, 12, 8, 13, kInk},
      {4, 14, 11, 14, kInk}}},
    // rename: a text field with letters and the cursor
    {IDB_RENAME,
     {{0, 4, 15, 11, kInk},
      {1, 5, 14, 10, kPaper},
      {2, 7, 3, 9, kInk},
      {5, 6, 6, 9, kInk},
      {8, 7, 9, 9, kInk},
      {11, 2, 11, 13, kRed}}},
    // settings: a cog wheel
    {IDB_SETTINGS,
     {{6, 1, 9, 14, kGrey}, {1, 6, 14, 9, kGrey}, {3, 3, 12, 12, kGrey}, {6, 6, 9, 9, kPaper}, {7, 7, 8, 8, kInk}}},
};

void PutBox(const vel::gdi::BitmapView& view, const Box& box) {
  for (int y = box.top; y <= box.bottom && y < kSize; ++y) {
    BYTE* row = view.row(y);
    for (int x = box.left; x <= box.right && x < kSize; ++x) {
      row[x * 3] = GetBValue(box.color);
      row[x * 3 + 1] = GetGValue(box.color);
      row[x * 3 + 2] = GetRValue(box.color);
    }
  }
}

}  // namespace

HBITMAP CreateMenuBitmap(int resource) {
  for (const Picture& picture : kPictures) {
    if (picture.resource != resource) continue;
    BITMAPINFO info{};
    info.bmiHeader = vel::gdi::TopDownHeader(kSize, kSize, 24);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) return bitmap;
    PutBox(view, Box{0, 0, kSize - 1, kSize - 1, GetSysColor(COLOR_MENU)});
    for (const Box& box : picture.boxes) PutBox(view, box);
    return bitmap;
  }
  return nullptr;
}

}  // namespace ferrule
