// The thumbnail item of the menu: the bitmap inside a raised 3-pixel frame,
// with a highlight ring while the item is selected.
#include "shellext/ferrule/CFerruleATL.h"

namespace ferrule {
namespace {

constexpr int kFrame = 3;  // pixels of frame on every side of the bitmap

bool BitmapSize(HBITMAP bitmap, int* width, int* height) {
  BITMAP info{};
  if (!bitmap || GetObject(bitmap, sizeof info, &info) != sizeof info) return false;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return true;
}

RECT Inset(const RECT& r, int by) { return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by}; }

void Fill(HDC dc, LONG left, LONG top, LONG right, LONG bottom, int sysColor) {
  if (left >= right || top >= bottom) return;
  const RECT r{left, top, right, bottom};
  FillRect(dc, &r, GetSysColorBrush(sysColor));
}

// Everything of `outer` that lies outside `inner`.
void FillRing(HDC dc, const RECT& outer, const RECT& inner, int sysColor) {
  Fill(dc, outer.left, outer.top, outer.right, inner.top, sysColor);
  Fill(dc, outer.left, inner.bottom, outer.right, outer.bottom, sysColor);
  Fill(dc, outer.left, inner.top, inner.left, inner.bottom, sysColor);
  Fill(dc, inner.right, inner.top, outer.right, inner.bottom, sysColor);
}

void Line(HDC dc, int sysColor, const POINT (&points)[3]) {
  HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(sysColor));
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, points[0].x, points[0].y, nullptr);
  LineTo(dc, points[1].x, points[1].y);
  LineTo(dc, points[2].x, points[2].y);
  SelectObject(dc, old);
  DeleteObject(pen);
}

}  // namespace

bool MeasureThumbnail(HBITMAP bitmap, UINT* width, UINT* height) {
  int w = 0, h = 0;
  if (!width || !height || !BitmapSize(bitmap, &w, &h)) return false;
  *width = static_cast<UINT>(w + 2 * kFrame);
  *height = static_cast<UINT>(h + 2 * kFrame);
  return true;
}

void DrawThumbnail(HBITMAP bitmap, HDC dc, const RECT& item, bool selected) {
  int w = 0, h = 0;
  if (!dc || !BitmapSize(bitmap, &w, &h)) return;
  const int frameWidth = w + 2 * kFrame;
  const int frameHeight = h + 2 * kFrame;
  const LONG left = (item.left + item.right - frameWidth) / 2;
  const LONG top = (item.top + item.bottom - frameHeight) / 2;
  const RECT frame{left, top, left + frameWidth, top + frameHeight};

  const RECT ring1 = Inset(frame, 1);
  FillRing(dc, item, ring1, selected ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
  const RECT edge = Inset(ring1, 1);
  FillRing(dc, ring1, edge, COLOR_BTNFACE);
  // A raised edge: light on the left and top, dark on the right and bottom.
  Line(dc, COLOR_BTNHIGHLIGHT, {{edge.left, edge.bottom - 1}, {edge.left, edge.top}, {edge.right, edge.top}});
  Line(dc, COLOR_3DDKSHADOW,
       {{edge.right - 1, edge.top + 1}, {edge.right - 1, edge.bottom - 1}, {edge.left - 1, edge.bottom - 1}});

  const RECT inside = Inset(edge, 1);
  HDC memory = CreateCompatibleDC(dc);
  if (!memory) return;
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, inside.left, inside.top, w, h, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

}  // namespace ferrule
