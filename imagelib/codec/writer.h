// The codec's write operation: option blocks made from "KEY = VALUE" texts, and writing the
// current page of an image in one of the codec's formats. Results follow the codec's
// conventions: exactly 1 for success, 0 for failure.
#pragma once

#include "imagelib/codec/codec_api.h"
#include "imagelib/formats/writer.h"

// Parses entries "KEY = VALUE" separated by carriage returns (line feeds are accepted
// too); keys and ON/OFF are case-insensitive, unknown keys are ignored. A null text gives
// the defaults (no overwrite, no append). Null only when memory runs out.
void* fnImgXOptBlkCreate(const char* text);
// Releases a block from fnImgXOptBlkCreate; 1, or 0 for a null or foreign pointer.
int fnImgXOptBlkDel(void* block);
// Writes the image's current page to `path` in `format` ("BMP", "PCX", "FMF", "JPG", "GIF",
// "DCX", "PNG", "TIF"). The file appears only complete: it is written under a temporary
// name in the same folder and renamed over the target. `window` and `flags` (2, or 6 for
// compressed TIFF) carry nothing the write needs and are accepted as they are. A null
// block means the defaults. Exactly 1 on success, 0 on failure.
int fnImgXWriteImage(const char* path, const char* format, HIMG image, void* block, void* window, int flags);

namespace lorimer::codec {
// The options held by a block from fnImgXOptBlkCreate; null for anything else.
const formats::WriteOptions* OptionsOfBlock(const void* block);
// The option text parsed on its own (what fnImgXOptBlkCreate stores).
formats::WriteOptions ParseWriteOptions(const char* text);
}  // namespace lorimer::codec
