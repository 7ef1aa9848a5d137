// The WPG reader: record lengths, colour maps, shapes, both bitmap run-length codes,
// and the metafile it writes, which must be one the metafile layer accepts.
#include <cstdint>
#include <cstdlib>

#include "imagelib/formats/wpg.h"
#include "platform/gdi/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lorimer::formats::VectorDrawing d;
  if (!lorimer::formats::ReadWpg(data, size, d)) return 0;
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(d.emf.size()), d.emf.data());
  if (!m) std::abort();
  DeleteEnhMetaFile(m);
  return 0;
}
