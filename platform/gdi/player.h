// Playing metafiles onto device contexts (library veltext).
//
// An EMF is played with its frame (0.01 mm, converted to its reference device's
// pixels as GDI does) mapped onto the destination rectangle, in the target's device
// pixels. Every record goes through the current world and page transforms first, pen
// widths and font heights too. The target DC's own state (objects, colours, modes,
// clip, position) is saved before and restored after playing. Records that fail their
// checks, and records this player does not draw, are skipped; see player_walk.h.
#pragma once

#include "platform/gdi/metafile.h"

BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* dest);

// Plays a WMF in the DC's device units: the picture is converted to an EMF (as
// SetWinMetaFileBits does) and played with its window mapped 1:1, i.e. one logical
// unit of its window on one device pixel, the window's origin on the device origin.
BOOL PlayMetaFile(HDC dc, HMETAFILE metafile);

namespace vel::gdi {

// PlayEnhMetaFile for EMF bytes straight from a file or a clipboard block.
bool PlayEnhMetaFileBits(HDC dc, const BYTE* emf, size_t size, const RECT* dest);

// A WMF (with or without placeable header) scaled into *dest: the placeable header's
// box, else the window the records set, else the picture's own extent, fills dest.
bool PlayWinMetaFile(HDC dc, const BYTE* wmf, size_t size, const RECT* dest);

}  // namespace vel::gdi
