// The image object's clipboard operations.
#include <cstring>

#include "imagelib/core/ImageMan.h"
#include "lorimer/ImageInterface.h"
#if defined(LORIMER_WITH_CLIPBOARD)
#include "platform/shell/clipboard.h"
#endif

namespace {
constexpr DWORD kWhite = 0xFFFFFF;
constexpr int kBilinear = 3;
}  // namespace

int CImageInterface::CopyToClipboard(int page) {
  if (!IsLoaded()) return 0;
  try {
    if (CImageMan::IsVectorImage(&m_hImage)) return CImageManKeeper::ImgToClipboard(m_hImage) == 1 ? 1 : 0;
    // Other programs take 24-bit pictures best, whatever the page holds.
    int clonePage = page;
    HIMG clone = CImageProcessor::CloneHandle(&m_hImage, -1, -1, -1, kBilinear, kWhite, clonePage);
    if (!clone) return 0;
    const int result = CImageManKeeper::ImgToClipboard(clone);
    CImageMan::CloseHandle(&clone);
    return result == 1 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int CImageInterface::PasteFromClipboard() {
  CloseHandle();
  try {
    m_hImage = CImageManKeeper::ImgFromClipboard();
  } catch (...) {
    m_hImage = nullptr;
  }
  if (!m_hImage) return 0;
  GetImageInfo();
  // What came from the clipboard has no file behind it.
  std::memset(m_srcInfo.szPath, 0, sizeof m_srcInfo.szPath);
  m_srcInfo.nPageCount = 1;
  m_srcInfo.nCompression = 0;
  return IsLoaded();
}

int CImageInterface::IsClipboardImageAccess() {
#if defined(LORIMER_WITH_CLIPBOARD)
  try {
    return IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_METAFILEPICT) ? 1 : 0;
  } catch (...) {
    return 0;
  }
#else
  return 0;
#endif
}
