// Shapes, curves and paths on device contexts (library veltext, drawn by Qt).
//
// Coordinates are device pixels, whatever the mapping mode (which only drives
// LPtoDP). Shapes are drawn aliased, as GDI draws them: the outline with the selected
// pen, the interior with the selected brush, in the DC's polygon fill mode and mix
// mode (SetROP2), inside its clip rectangle. On a memory DC of any depth only the
// rectangle a shape touches is converted for painting and written back; a painter DC
// is drawn on directly.
//
// Bounding-box shapes (Rectangle, Ellipse, RoundRect, Arc, Chord, Pie) follow GDI: the
// box includes its left and top edges and excludes its right and bottom ones, so a
// 1-pixel outline of Rectangle(l, t, r, b) runs through columns l and r - 1; with the
// null pen the interior shrinks by one pixel on the right and bottom, as in GDI. Arcs
// run counter-clockwise (SetArcDirection) from the ray through the start point to the
// ray through the end point. Between BeginPath and EndPath the shape calls, MoveToEx and
// LineTo add to the DC's path instead of drawing.
#pragma once

#include "platform/gdi/gdi.h"

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
BOOL Polygon(HDC dc, const POINT* points, int count);   // count >= 2
BOOL Polyline(HDC dc, const POINT* points, int count);  // count >= 2; ignores the current position
BOOL PolyPolygon(HDC dc, const POINT* points, const INT* counts, int polygons);  // each count >= 2
BOOL PolyPolyline(HDC dc, const POINT* points, const DWORD* counts, DWORD polylines);
BOOL PolyBezier(HDC dc, const POINT* points, DWORD count);    // 1 + 3n points
BOOL PolyBezierTo(HDC dc, const POINT* points, DWORD count);  // 3n points from the current position
BOOL PolylineTo(HDC dc, const POINT* points, DWORD count);    // from the current position
BOOL Arc(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL Chord(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL Pie(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
// As Arc, but a line first joins the current position to the arc's start, and the
// current position moves to its end.
BOOL ArcTo(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
// A line from the current position to the start of a circular arc (angles in degrees,
// counter-clockwise from the x axis, sweep signed); the position moves to its end.
BOOL AngleArc(HDC dc, int x, int y, DWORD radius, float startAngle, float sweepAngle);

// Paths. FillPath, StrokePath and StrokeAndFillPath draw a path closed by EndPath and
// discard it; a filled path covers what Polygon with the null pen would.
BOOL BeginPath(HDC dc);
BOOL EndPath(HDC dc);
BOOL AbortPath(HDC dc);
BOOL CloseFigure(HDC dc);
BOOL FillPath(HDC dc);
BOOL StrokePath(HDC dc);
BOOL StrokeAndFillPath(HDC dc);

namespace vel::gdi {
// The bounding box of the DC's closed path in device pixels (right and bottom
// exclusive); false when there is none. Clipping to a path is done with this box.
bool PathBounds(HDC dc, RECT* box);
}  // namespace vel::gdi
