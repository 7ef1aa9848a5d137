// Feeds arbitrary bytes to every metafile reader and converter: as a WMF, as an
// EMF, and through both conversions, including the EMF a WMF turns into.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"

namespace {

void ExerciseEmf(HENHMETAFILE e) {
  if (!e) return;
  ENHMETAHEADER header;
  GetEnhMetaFileHeader(e, sizeof header, &header);
  vel::gdi::emf::ForEachRecord(e, [](const vel::gdi::emf::Record&) { return true; });
  for (int mode : {MM_ANISOTROPIC, MM_TEXT, MM_LOMETRIC, MM_TWIPS}) {
    UINT n = GetWinMetaFileBits(e, 0, nullptr, mode, nullptr);
    if (!n) continue;
    std::vector<BYTE> wmf(n);
    if (GetWinMetaFileBits(e, n, wmf.data(), mode, nullptr) != n) __builtin_trap();
    // Our own output must always be a metafile we accept again.
    HMETAFILE m = SetMetaFileBitsEx(n, wmf.data());
    if (!m) __builtin_trap();
    DeleteMetaFile(m);
    HENHMETAFILE back = SetWinMetaFileBits(n, wmf.data(), nullptr, nullptr);
    if (!back) __builtin_trap();
    DeleteEnhMetaFile(back);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  UINT n = static_cast<UINT>(size);
  if (HMETAFILE m = SetMetaFileBitsEx(n, data)) {
    METAFILEPICT pict{MM_ANISOTROPIC, 2000, 1000, nullptr};
    HENHMETAFILE a = SetWinMetaFileBits(n, data, nullptr, nullptr);
    HENHMETAFILE b = SetWinMetaFileBits(n, data, nullptr, &pict);
    if (!a || !b) __builtin_trap();  // a valid WMF always converts
    ExerciseEmf(a);
    DeleteEnhMetaFile(a);
    DeleteEnhMetaFile(b);
    DeleteMetaFile(m);
  }
  if (HENHMETAFILE e = SetEnhMetaFileBits(n, data)) {
    ExerciseEmf(e);
    DeleteEnhMetaFile(e);
  }
  return 0;
}
