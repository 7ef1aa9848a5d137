// Vector drawings read from WordPerfect Graphics files (WPG 1 and 2), handed on as
// enhanced metafiles.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "imagelib/formats/vector_canvas.h"
#include "platform/base/expected.h"

namespace lorimer::formats {

// True when the 16-byte header says WPG 1 or 2 (0xFF "WPC", file type 0x16).
bool IsWpg(const BYTE* data, size_t size);
// The drawing, or why the file cannot be read as one ("WPG header: the file is
// encrypted"). A record that runs past the end of the file ends the drawing there.
vel::Expected<VectorDrawing> DecodeWpg(const BYTE* data, size_t size);
// False (and `out` untouched) when the file cannot be read as a drawing.
bool ReadWpg(const BYTE* data, size_t size, VectorDrawing& out);

}  // namespace lorimer::formats
