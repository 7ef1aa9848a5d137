// Marrow: the EPS and metafile library the EPS helpers call. EPS files are
// converted with pstoedit (vector) or, failing that, rasterised with Ghostscript.
//
// Paths arrive as "system strings": every byte of the path widened to one 16-bit
// unit, with no code-page conversion. Marrow narrows each unit back to its byte.
#pragma once

#include <string>

#if defined(__GNUC__)
#define MARROW_API __attribute__((visibility("default")))
#else
#define MARROW_API
#endif

// Converts the EPS (or PostScript) file at `input` into a placeable WMF at
// `output`. First choice is pstoedit's EMF output, turned into a WMF whose
// placeable box is the EPS bounding box in twips (1440 units per inch); when that
// fails, yields nothing drawn, or does not fit WMF's 16-bit coordinates, the first
// page is rendered by Ghostscript at 150 dpi and wrapped as one META_STRETCHDIB.
// The output is written under a temporary name and renamed; false and no output
// file on any failure. Tools are given 60 seconds each.
MARROW_API bool EPS2WMF(const std::u16string& input, const std::u16string& output);

// Size and colour of the metafile at `input` (WMF with or without placeable header,
// or EMF):
// - width and height in pixels: a placeable WMF's box at the given resolution; an
//   EMF's frame (0.01 mm) at the resolution; a plain WMF's first SETWINDOWEXT (in
//   its logical units, taken as pixels), else the extent its records draw;
// - depth: the highest bit count of the DIBs it holds (24 for a true-colour
//   bitmap), 8 when it holds none;
// - flag: 1 when it holds any bitmap record, else 0.
// A window extent of 0 is reported as it is (true with a width or height of 0).
// False, with the outputs untouched, for anything that is not a metafile or whose
// size cannot be found. Null outputs are allowed.
MARROW_API bool WMFInfo(const std::u16string& input, int* width, int* height, int* depth, int verticalDpi,
                        int horizontalDpi, unsigned char* flag);

namespace marrow {
// A system string back to the path bytes: each unit narrowed to one byte.
std::string NarrowSystemString(const std::u16string& text);
// The reverse: each byte widened to one unit (what the helpers pass in).
std::u16string WidenToSystemString(const std::string& text);
}  // namespace marrow
