#include "imagelib/core/Common.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"

int Common::CalculateProportionallyRect(int* width, int* height, int maxWidth, int maxHeight) {
  if (!width || !height) return 1;
  // A box with a side of 0 leaves no room: the ratio is infinite and the picture
  // shrinks to nothing, which its callers treat as the failure it is.
  auto ratio = [](int side, int max) {
    if (max != 0) return static_cast<double>(side) / max;
    return side > 0 ? HUGE_VAL : side < 0 ? -HUGE_VAL : 0.0;
  };
  double r = std::max(ratio(*width, maxWidth), ratio(*height, maxHeight));
  if (r > 0) {
    *width = static_cast<int>(*width / r);
    *height = static_cast<int>(*height / r);
  }
  return 1;
}

BITMAPINFO Common::GetEmptyBMPInfoHeader(int width, int height, int bits, int planes, int colours) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = static_cast<WORD>(planes);
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biClrUsed = static_cast<DWORD>(colours);
  info.bmiHeader.biClrImportant = static_cast<DWORD>(colours);
  info.bmiColors[0] = RGBQUAD{0, 0, 0, 0};
  return info;
}

HBITMAP Common::CreateEmptyDIBSection(int width, int height, DWORD colour, int) {
  if (!GdiFlush() || width <= 0 || height <= 0) return nullptr;
  BITMAPINFO info = GetEmptyBMPInfoHeader(width, height, 24, 1, 0);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section || colour == 0xFFFFFFFF) return section;
  vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  vel::gdi::ScopedSelect select(dc.get(), section);
  vel::gdi::OwnedBrush brush(CreateSolidBrush(colour));
  RECT all{0, 0, width, height};
  FillRect(dc.get(), &all, brush.get());
  return section;
}

int Common::CalculateDibLineWidth(int bits, int width) {
  long long bytes = (static_cast<long long>(bits) * width + 7) / 8;
  return static_cast<int>((bytes + 3) & ~3LL);
}

int Common::RemoveFile(const char* path) {
  if (!path || _access(path, 2) != 0) return 0;
  return DeleteFileA(path) ? 1 : 0;
}

namespace {
void Open(const char* address) { ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOW); }
}  // namespace

void Common::GetSupport(char*) { Open(lorimer::pages::kSupport); }
void Common::GetUpdate(char*) { Open(lorimer::pages::kUpdate); }
void Common::OpenVelmarkPage() { Open(lorimer::pages::kHome); }
