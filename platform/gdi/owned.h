// Owners for GDI handles: objects, DCs, icons and metafiles, and a selection that puts
// the DC's previous object back when it ends.
#pragma once

#include "platform/base/owned.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/metafile.h"

namespace vel::gdi {

struct FreeObject {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
struct FreeDC {
  void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct FreeIcon {
  void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
struct FreeMetaFile {
  void operator()(HMETAFILE metafile) const { ::DeleteMetaFile(metafile); }
};
struct FreeEnhMetaFile {
  void operator()(HENHMETAFILE metafile) const { ::DeleteEnhMetaFile(metafile); }
};

template <typename Handle>
using OwnedObject = vel::Owned<Handle, FreeObject>;
using OwnedBitmap = OwnedObject<HBITMAP>;
using OwnedBrush = OwnedObject<HBRUSH>;
using OwnedPen = OwnedObject<HPEN>;
using OwnedFont = OwnedObject<HFONT>;
using OwnedPalette = OwnedObject<HPALETTE>;
// A DC made by CreateDC / CreateCompatibleDC (not one from GetDC: that one is released).
using OwnedDC = vel::Owned<HDC, FreeDC>;
using OwnedIcon = vel::Owned<HICON, FreeIcon>;
using OwnedMetaFile = vel::Owned<HMETAFILE, FreeMetaFile>;
using OwnedEnhMetaFile = vel::Owned<HENHMETAFILE, FreeEnhMetaFile>;

// Selects an object into a DC for the length of a scope.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  ~ScopedSelect() {
    if (dc_ && old_) ::SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;
  // False when the object could not be selected.
  explicit operator bool() const { return old_ != nullptr; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace vel::gdi
