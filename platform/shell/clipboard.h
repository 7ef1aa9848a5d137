// The clipboard, in the Win32 calling pattern: OpenClipboard, EmptyClipboard,
// SetClipboardData ..., CloseClipboard to publish; OpenClipboard,
// GetClipboardData ..., CloseClipboard to read.
//
// Every format's data is a global memory block (HGLOBAL) of plain bytes, so it
// can cross processes as it is:
//   CF_DIB          a packed DIB: BITMAPINFOHEADER, colour table, bits;
//   CF_ENHMETAFILE  the bytes of an enhanced metafile (GetEnhMetaFileBits);
//   CF_METAFILEPICT a ClipboardMetafilePict head, then the bytes of the WMF
//                   (GetMetaFileBitsEx), since a metafile handle cannot travel.
//
// With a display (a Qt platform other than offscreen and minimal) the data goes
// to the system clipboard: a DIB as image/bmp and image/png, metafiles as
// image/x-emf and image/x-wmf. A helper process of ours keeps offering it after
// the program ends, until another program takes the clipboard, as command-line
// clipboard tools do. Without a display the clipboard is a file per user
// ($VELMARK_CLIPBOARD_DIR, else the runtime folder), replaced atomically.
//
// The clipboard belongs to one thread at a time: Open fails while it is open.
#pragma once

#include <string>
#include <vector>

#include "platform/base/memory.h"
#include "platform/base/wintypes.h"

constexpr UINT CF_METAFILEPICT = 3;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_ENHMETAFILE = 14;

// The head of CF_METAFILEPICT data; the WMF follows directly.
struct ClipboardMetafilePict {
  LONG mm;    // mapping mode, MM_ANISOTROPIC for pictures of ours
  LONG xExt;  // picture size in 0.01 mm
  LONG yExt;
};

// owner is not consulted (any window or null).
BOOL OpenClipboard(void* owner);
// Publishes what was set since EmptyClipboard and frees every block handed in
// or out while the clipboard was open.
BOOL CloseClipboard();
// Makes us the owner with nothing on offer yet; the clipboard must be open.
BOOL EmptyClipboard();
// Takes the block over (do not free it); returns it, or null when the
// clipboard is not open and emptied by us, or the format is not one of the three.
HANDLE SetClipboardData(UINT format, HANDLE data);
// A block owned by the clipboard, valid until CloseClipboard; null when the
// format is not on offer or the clipboard is not open.
HANDLE GetClipboardData(UINT format);
// Needs no open clipboard.
BOOL IsClipboardFormatAvailable(UINT format);

namespace vel::shell {

// One format and its bytes, as the back ends store them.
struct ClipboardItem {
  UINT format = 0;
  std::vector<BYTE> bytes;
};

// The folder of the file-backed clipboard.
std::string ClipboardFolder();
// The container the file-backed clipboard and the owner helper read: false
// for anything damaged, cut short or too large.
bool EncodeClipboardItems(const std::vector<ClipboardItem>& items, std::vector<BYTE>* out);
bool DecodeClipboardItems(const std::vector<BYTE>& bytes, std::vector<ClipboardItem>* items);
// Reads a container file written by EncodeClipboardItems (bounded in size).
bool ReadClipboardFile(const std::string& path, std::vector<ClipboardItem>* items);

// Runs the owner helper: offers the items of the container file (which it
// deletes once it holds them) on the system clipboard until another program
// takes it. Needs a QGuiApplication on a real display. Returns the exit code.
int ServeClipboardFile(const std::string& path);

}  // namespace vel::shell
