// Movable global memory blocks (GlobalAlloc & co.), used where data crosses
// library boundaries as one owned block: packed DIBs, clipboard data, BMP images.
#pragma once

#include "platform/base/wintypes.h"

namespace vel {
struct GlobalBlock;
}
using HGLOBAL = vel::GlobalBlock*;
using HANDLE = void*;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_SHARE = 0x2000;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Null on failure (including sizes beyond what the process may reasonably hold).
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);
// The block a locked pointer belongs to (null for other pointers).
HGLOBAL GlobalHandle(const void* pointer);
// Returns null on success, as Win32 does.
HGLOBAL GlobalFree(HGLOBAL block);
