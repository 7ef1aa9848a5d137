// Recording device contexts: what is drawn into one becomes an enhanced
// metafile (library veltext). Blits, fills, lines, the shapes of shapes.h and
// text are recorded with the DC's pens, brushes, fonts and colours at the time.
#pragma once

#include "platform/gdi/metafile.h"

// `reference` (null: the screen) gives the device the metafile is measured on;
// `frame` (0.01 mm; null: the extent of what is drawn) the picture's size.
// Writing to `file` happens at CloseEnhMetaFile; null keeps it in memory.
// The description is accepted but not stored.
HDC CreateEnhMetaFileA(HDC reference, LPCSTR file, const RECT* frame, LPCSTR description);
// Ends the recording (the DC is gone) and gives the metafile; null on failure.
HENHMETAFILE CloseEnhMetaFile(HDC dc);
