// CDib reading a BMP file and painting it, the way the library's BMP loader does.
#include <cstdint>

#include "lorimer/Dib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMemFile file(data, size);
  CDib dib;
  _SRCIMAGEINFO info;
  HBITMAP section = dib.ReadImage(file, &info);
  DeleteObject(section);
  // Saving what was read must not read past the blocks either.
  CMemFile again(data, size);
  if (dib.Read(again)) {
    CMemFile out;
    dib.Save(out);
    HGLOBAL block = dib.CopyToHandle();
    GlobalFree(block);
  }
  return 0;
}
