// Device contexts that draw through a QPainter: onto widgets, images, printers and
// PDF files (library veltext). The painter is not owned; DeleteDC frees the DC only.
#pragma once

#include "platform/gdi/gdi.h"

class QPainter;

namespace vel::gdi {

// What a painter DC answers to GetDeviceCaps.
struct PainterCaps {
  int width = 0;   // device pixels of the drawable area (HORZRES)
  int height = 0;  // (VERTRES)
  int dpiX = 96;
  int dpiY = 96;
  int physicalWidth = 0;           // whole sheet in device pixels; 0: same as width
  int physicalHeight = 0;          // 0: same as height
  int offsetX = 0;                 // unprintable margin left of the drawable area
  int offsetY = 0;                 // above it
  int technology = DT_RASDISPLAY;  // DT_RASDISPLAY or DT_RASPRINTER
};

// `painter` may be null: the DC then measures but draws nothing until SetPainter gives
// it one. Null only when out of memory.
HDC CreatePainterDC(QPainter* painter, const PainterCaps& caps);
// The painter a painter DC draws with; null for other DCs.
QPainter* PainterOf(HDC dc);
// Switches the painter (another page or device). Ignored for other DCs.
void SetPainter(HDC dc, QPainter* painter);
// Replaces the capabilities (a printer whose page changed). Ignored for other DCs.
void SetPainterCaps(HDC dc, const PainterCaps& caps);

}  // namespace vel::gdi
