// `lorimer thumbnail`: a PNG for the desktop's thumbnailers, which run it as
// `lorimer thumbnail %i %o %s` for the picture types they cannot read themselves.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagelib/formats/ico.h"
#include "imagelib/tools/lorimer_commands.h"
#include "lorimer/ImageInterface.h"
#include "lorimer/LoadFailure.h"
#include "platform/base/file.h"
#include "platform/gdi/owned.h"

namespace {

// The largest thumbnail asked for is 1024 ("xx-large"); a bigger box is taken as that
// limit rather than refused.
constexpr int kMaxThumbnailSize = 4096;
// Pictures kept with their alpha are decoded whole; above this they are flattened by
// the library's own thumbnail path, which never holds more than the page.
constexpr std::int64_t kMaxAlphaPixels = 4096 * 4096;
constexpr std::uint64_t kMaxPngBytes = 256u << 20;

// R, G, B, A per pixel, straight alpha, top row first.
struct Rgba {
  int width = 0;
  int height = 0;
  bool alpha = false;  // false: every A is 255 and the PNG is written without it
  std::vector<std::uint8_t> px;
};

int Fail(const std::string& why) {
  std::fprintf(stderr, "lorimer: %s\n", why.c_str());
  return 1;
}

// w x h fitted into size x size with its proportions; a picture that already fits stays
// as it is, since enlarging only blurs it.
void Fit(int w, int h, int size, int* outW, int* outH) {
  if (w <= size && h <= size) {
    *outW = w;
    *outH = h;
    return;
  }
  const std::int64_t longer = std::max(w, h);
  *outW = static_cast<int>(std::max<std::int64_t>(1, (std::int64_t{w} * size + longer / 2) / longer));
  *outH = static_cast<int>(std::max<std::int64_t>(1, (std::int64_t{h} * size + longer / 2) / longer));
}

// Box averaging weighted by alpha, so fully transparent pixels lend no colour to the
// edges next to them.
Rgba Shrink(const Rgba& src, int w, int h) {
  Rgba out{w, h, src.alpha, std::vector<std::uint8_t>(static_cast<size_t>(w) * h * 4)};
  for (int y = 0; y < h; ++y) {
    const int y0 = static_cast<int>(std::int64_t{y} * src.height / h);
    const int y1 = std::max(y0 + 1, static_cast<int>(std::int64_t{y + 1} * src.height / h));
    for (int x = 0; x < w; ++x) {
      const int x0 = static_cast<int>(std::int64_t{x} * src.width / w);
      const int x1 = std::max(x0 + 1, static_cast<int>(std::int64_t{x + 1} * src.width / w));
      std::uint64_t r = 0, g = 0, b = 0, a = 0, n = 0;
      for (int sy = y0; sy < y1; ++sy) {
        const std::uint8_t* p = &src.px[(static_cast<size_t>(sy) * src.width + x0) * 4];
        for (int sx = x0; sx < x1; ++sx, p += 4) {
          r += p[0] * p[3];
          g += p[1] * p[3];
          b += p[2] * p[3];
          a += p[3];
          ++n;
        }
      }
      std::uint8_t* d = &out.px[(static_cast<size_t>(y) * w + x) * 4];
      d[3] = static_cast<std::uint8_t>((a + n / 2) / n);
      if (a) {
        d[0] = static_cast<std::uint8_t>((r + a / 2) / a);
        d[1] = static_cast<std::uint8_t>((g + a / 2) / a);
        d[2] = static_cast<std::uint8_t>((b + a / 2) / a);
      }
    }
  }
  return out;
}

// 24-bit and 32-bit bitmaps as the icon loader and the thumbnail path make them.
bool FromBitmap(HBITMAP bitmap, HBITMAP mask, Rgba* out) {
  vel::gdi::BitmapView v, m;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &v) || (v.bitsPerPixel != 24 && v.bitsPerPixel != 32)) return false;
  if (mask && (!vel::gdi::GetBitmapView(mask, &m) || m.bitsPerPixel != 1 || m.width < v.width || m.height < v.height))
    return false;
  const int bytes = v.bitsPerPixel / 8;
  *out = Rgba{v.width, v.height, bytes == 4 || mask,
              std::vector<std::uint8_t>(static_cast<size_t>(v.width) * v.height * 4)};
  for (int y = 0; y < v.height; ++y) {
    const BYTE* s = v.row(y);
    const BYTE* andRow = mask ? m.row(y) : nullptr;
    std::uint8_t* d = &out->px[static_cast<size_t>(y) * v.width * 4];
    for (int x = 0; x < v.width; ++x, s += bytes, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = bytes == 4 ? s[3] : 255;
      // A 32-bit icon carries its transparency in alpha; the others in the AND mask.
      if (bytes == 3 && andRow && (andRow[x >> 3] & (0x80 >> (x & 7)))) d[3] = 0;
    }
  }
  return true;
}

// Icons, cursors and animated cursors (first frame), largest entry, with their transparency.
bool LoadIcon(const std::string& path, Rgba* out) {
  HICON icon = lorimer::formats::LoadIconFile(path, 0, 0);
  if (!icon) return false;
  vel::gdi::IconParts parts;
  // A monochrome cursor has no colour bitmap; it falls back to the page as drawn.
  const bool ok = vel::gdi::GetIconParts(icon, &parts) && parts.color && FromBitmap(parts.color, parts.mask, out);
  DestroyIcon(icon);
  return ok;
}

bool LoadPng(const std::string& path, Rgba* out) {
  std::vector<std::uint8_t> bytes;
  lorimer::formats::RgbaImage image;
  if (!vel::ReadWholeFile(path.c_str(), bytes, kMaxPngBytes) ||
      !lorimer::formats::DecodePngToRgba(bytes.data(), bytes.size(), &image))
    return false;
  *out = Rgba{image.width, image.height, image.hasAlpha, std::move(image.pixels)};
  return true;
}

// The page through the library's thumbnail path: fitted, resampled by its own scaler,
// flattened onto white. The library fits the page into the box itself (it would also
// enlarge it to touch the box, so a page that fits asks for its own size).
bool LibraryThumbnail(CImageInterface& image, int page, int size, Rgba* out) {
  const int pageW = image.GetWidth(page), pageH = image.GetHeight(page);
  if (pageW <= 0 || pageH <= 0) return false;
  const bool fits = pageW <= size && pageH <= size;
  int w = 0, h = 0;
  vel::gdi::OwnedBitmap bitmap(image.CreateThumbnailHBITMAPEx(fits ? pageW : size, fits ? pageH : size, QUALITY_HIGH, 0,
                                                              RGB(255, 255, 255), 0, 24, &w, &h, page));
  return FromBitmap(bitmap.get(), nullptr, out);
}

bool WritePng(const Rgba& picture, const std::string& out) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(picture.width);
  png.height = static_cast<png_uint_32>(picture.height);
  png.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> rgb;
  const void* rows = picture.px.data();
  if (!picture.alpha) {
    rgb.resize(picture.px.size() / 4 * 3);
    for (size_t i = 0, j = 0; i < picture.px.size(); i += 4, j += 3) std::copy_n(&picture.px[i], 3, &rgb[j]);
    png.format = PNG_FORMAT_RGB;
    rows = rgb.data();
  }
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, rows, 0, nullptr)) return false;
  std::vector<std::uint8_t> bytes(size);
  if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, rows, 0, nullptr)) return false;
  bytes.resize(size);
  return vel::ReplaceFileContents(out, bytes, "lorimer");
}

}  // namespace

int ThumbnailCommand(int page, const std::vector<std::string>& args) {
  if (args.size() != 3) return Fail("thumbnail needs IN OUT SIZE");
  const std::string& in = args[0];
  const std::string& out = args[1];
  char* end = nullptr;
  const long asked = std::strtol(args[2].c_str(), &end, 10);
  if (args[2].empty() || *end || asked < 1) return Fail("thumbnail size must be a whole number above 0: " + args[2]);
  const int size = static_cast<int>(std::min<long>(asked, kMaxThumbnailSize));

  CImageInterface image;
  if (!image.Load(in.c_str(), 1)) return Fail(in + ": cannot load: " + lorimer::LastLoadFailure());
  if (page >= image.GetPageCount()) return Fail(in + ": no page " + std::to_string(page));
  const int format = image.GetFormat();
  const bool small = std::int64_t{image.GetWidth(page)} * image.GetHeight(page) <= kMaxAlphaPixels;
  Rgba picture;
  bool withAlpha =
      page == 0 && small &&
      ((format == FORMAT_ICO && LoadIcon(in, &picture)) || (format == FORMAT_PNG && LoadPng(in, &picture)));
  if (withAlpha) {
    int w = 0, h = 0;
    Fit(picture.width, picture.height, size, &w, &h);
    if (w != picture.width || h != picture.height) picture = Shrink(picture, w, h);
  } else if (!LibraryThumbnail(image, page, size, &picture)) {
    return Fail(in + ": cannot make the thumbnail");
  }
  if (!WritePng(picture, out)) return Fail(out + ": cannot write");
  return 0;
}
