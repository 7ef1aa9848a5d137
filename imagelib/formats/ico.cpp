// ICO, CUR and ANI reader, and the icon builder behind the library's icon loader.
//
// Every directory entry of an ICO/CUR file is a page; the embedded header (bitmap header
// or PNG IHDR) is trusted over the directory, whose size and depth fields are often wrong.
// A page shows the entry as a viewer draws it on a white background: masked pixels white,
// alpha blended on white. Entries without any transparency stay palettised.
//
// An animated cursor's pages are its distinct frames in file order (the `seq ` chunk only
// says in which order they are played, with repeats, so it does not make pages); each frame
// shows its largest, deepest entry.
#include "imagelib/formats/ico.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

constexpr std::size_t kDirHeader = 6;
constexpr std::size_t kDirEntry = 16;
constexpr unsigned kMaxEntries = 512;
constexpr std::size_t kMinPayload = 40;
constexpr std::size_t kMaxAniFrames = 10000;
// Icons are at most 256 pixels square by the directory's own fields, and PNG entries seen
// in the wild stay within 1024; anything beyond 2048 square is not an icon.
constexpr std::uint64_t kMaxIconPixels = 1 << 22;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// One picture inside an icon file, located and described but not decoded.
struct IconEntry {
  std::size_t offset = 0;  // payload within the file's bytes
  std::size_t size = 0;
  bool png = false;
  int width = 0;
  int height = 0;
  int bitCount = 0;
  unsigned colors = 0;     // palette entries for 1/4/8 bits
  // Bitmap payloads only.
  std::size_t paletteOffset = 0;  // relative to the payload
  std::size_t xorOffset = 0;
  std::size_t xorStride = 0;
  bool hasMask = false;
  int xHotspot = 0;        // cursors
  int yHotspot = 0;
};

struct IconDirectory {
  bool cursor = false;
  std::vector<IconEntry> entries;
};

// Reads the embedded header of one payload. `dirHeight` helps with the rare bitmap whose
// height field is not doubled for the mask.
bool DescribePayload(const std::uint8_t* p, std::size_t n, int dirHeight, IconEntry* e) {
  if (n >= 33 && std::memcmp(p, kPngSignature, 8) == 0) {
    if (Be32(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0) return false;
    const std::uint32_t w = Be32(p + 16), h = Be32(p + 20);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
    if (static_cast<std::uint64_t>(w) * h > kMaxIconPixels) return false;
    static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int type = p[25];
    if (type > 6 || kChannels[type] == 0) return false;
    e->png = true;
    e->width = static_cast<int>(w);
    e->height = static_cast<int>(h);
    e->bitCount = kChannels[type] * p[24];
    return true;
  }
  if (n < kMinPayload) return false;
  const std::uint32_t headerSize = Le32(p);
  if (headerSize < 40 || headerSize > n) return false;
  const auto width = static_cast<std::int32_t>(Le32(p + 4));
  const auto heightField = static_cast<std::int32_t>(Le32(p + 8));
  const int bpp = Le16(p + 14);
  const std::uint32_t compression = Le32(p + 16);
  const std::uint32_t clrUsed = Le32(p + 32);
  if (width <= 0 || heightField <= 0 || width > 0x10000 || heightField > 0x20000) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (compression != BI_RGB) return false;
  int height = heightField / 2;
  if (heightField == dirHeight && heightField / 2 != dirHeight) height = heightField;
  if (height <= 0 || static_cast<std::uint64_t>(width) * height > kMaxIconPixels) return false;
  unsigned colors = 0;
  if (bpp <= 8) {
    if (clrUsed > 256) return false;
    colors = clrUsed ? std::min<unsigned>(clrUsed, 1u << bpp) : 1u << bpp;
  }
  const std::size_t paletteBytes = (bpp <= 8 ? (clrUsed ? clrUsed : 1u << bpp) : clrUsed) * std::size_t{4};
  const std::size_t xorStride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  const std::size_t andStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  const std::size_t xorOffset = headerSize + paletteBytes;
  // The colour bitmap must be there in full; a missing mask only makes the icon opaque.
  if (!InRange(n, xorOffset, xorStride * height)) return false;
  e->png = false;
  e->width = width;
  e->height = height;
  e->bitCount = bpp;
  e->colors = colors;
  e->paletteOffset = headerSize;
  e->xorOffset = xorOffset;
  e->xorStride = xorStride;
  e->hasMask = InRange(n, xorOffset + xorStride * height, andStride * height);
  return true;
}

// Checks the directory of an ICO/CUR file. With `describe`, also reads each payload's
// header and keeps the entries that can be shown; otherwise only the layout is checked
// (enough for sniffing on the first bytes).
bool ParseDirectory(const std::uint8_t* d, std::size_t n, std::uint64_t fileSize, bool describe, IconDirectory* dir) {
  if (n < kDirHeader || Le16(d) != 0) return false;
  const unsigned type = Le16(d + 2);
  const unsigned count = Le16(d + 4);
  if ((type != 1 && type != 2) || count == 0 || count > kMaxEntries) return false;
  const std::uint64_t firstPayload = kDirHeader + kDirEntry * count;
  if (describe && n < firstPayload) return false;
  if (dir) {
    dir->cursor = type == 2;
    dir->entries.clear();
  }
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t at = kDirHeader + kDirEntry * i;
    if (at + kDirEntry > n) break;  // sniffing: the rest of the directory is beyond the head
    const std::uint8_t* de = d + at;
    const std::uint32_t size = Le32(de + 8);
    const std::uint32_t offset = Le32(de + 12);
    if (size < kMinPayload || offset < firstPayload || offset > fileSize || size > fileSize - offset) return false;
    if (!describe) continue;
    IconEntry e;
    e.offset = offset;
    e.size = size;
    if (type == 2) {
      e.xHotspot = Le16(de + 4);
      e.yHotspot = Le16(de + 6);
    }
    const int dirHeight = de[1] ? de[1] : 256;
    if (DescribePayload(d + offset, size, dirHeight, &e) && dir) dir->entries.push_back(e);
  }
  return !describe || (dir && !dir->entries.empty());
}

// A decoded entry: B, G, R, A per pixel (straight alpha), top row first, plus what the
// file said about transparency.
struct IconPixels {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  std::vector<std::uint8_t> bgra;
  std::vector<std::uint8_t> mask;     // 1 = transparent, one byte per pixel
  std::vector<std::uint8_t> indexes;  // 1/4/8-bit bitmaps: palette index per pixel
  std::vector<RGBQUAD> palette;
  bool useAlpha = false;              // alpha carries the transparency (32-bit, PNG)
  bool anyMasked = false;
};

bool DecodeEntry(const std::uint8_t* file, const IconEntry& e, IconPixels* out) {
  const std::uint8_t* p = file + e.offset;
  out->width = e.width;
  out->height = e.height;
  out->bitCount = e.bitCount;
  const std::size_t pixels = static_cast<std::size_t>(e.width) * e.height;
  if (e.png) {
    RgbaImage rgba;
    if (!DecodePngToRgba(p, e.size, &rgba) || rgba.width != e.width || rgba.height != e.height) return false;
    out->bgra.resize(pixels * 4);
    out->mask.assign(pixels, 0);
    for (std::size_t i = 0; i < pixels; ++i) {
      const std::uint8_t* s = &rgba.pixels[i * 4];
      std::uint8_t* t = &out->bgra[i * 4];
      t[0] = s[2];
      t[1] = s[1];
      t[2] = s[0];
      t[3] = s[3];
      out->mask[i] = s[3] == 0;
      out->anyMasked |= s[3] == 0;
    }
    out->useAlpha = rgba.hasAlpha;
    return true;
  }
  const int bpp = e.bitCount;
  out->palette.assign(e.colors, RGBQUAD{0, 0, 0, 0});
  for (unsigned i = 0; i < e.colors; ++i) {
    const std::uint8_t* c = p + e.paletteOffset + 4 * i;
    out->palette[i] = RGBQUAD{c[0], c[1], c[2], 0};
  }
  out->bgra.assign(pixels * 4, 0);
  out->mask.assign(pixels, 0);
  if (bpp <= 8) out->indexes.assign(pixels, 0);
  bool anyAlpha = false;
  for (int y = 0; y < e.height; ++y) {
    // Both bitmaps are stored bottom row first.
    const std::uint8_t* row = p + e.xorOffset + e.xorStride * (e.height - 1 - y);
    std::uint8_t* dst = &out->bgra[static_cast<std::size_t>(y) * e.width * 4];
    for (int x = 0; x < e.width; ++x, dst += 4) {
      switch (bpp) {
        case 1: case 4: case 8: {
          const int perByte = 8 / bpp;
          const int shift = 8 - bpp * (x % perByte + 1);
          const unsigned index = (row[x / perByte] >> shift) & ((1u << bpp) - 1);
          out->indexes[static_cast<std::size_t>(y) * e.width + x] = static_cast<std::uint8_t>(index);
          if (index < e.colors) {
            dst[0] = out->palette[index].rgbBlue;
            dst[1] = out->palette[index].rgbGreen;
            dst[2] = out->palette[index].rgbRed;
          }
          dst[3] = 255;
          break;
        }
        case 16: {
          const unsigned v = Le16(row + 2 * x);
          const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
          dst[0] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
          dst[1] = static_cast<std::uint8_t>((g << 3) | (g >> 2));
          dst[2] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
          dst[3] = 255;
          break;
        }
        case 24:
          std::memcpy(dst, row + 3 * x, 3);
          dst[3] = 255;
          break;
        case 32:
          std::memcpy(dst, row + 4 * x, 4);
          anyAlpha |= dst[3] != 0;
          break;
      }
    }
  }
  // A 32-bit entry whose alpha is all zero was written by a tool that only knew the mask.
  out->useAlpha = bpp == 32 && anyAlpha;
  if (bpp == 32 && !anyAlpha) {
    for (std::size_t i = 0; i < pixels; ++i) out->bgra[i * 4 + 3] = 255;
  }
  if (e.hasMask) {
    const std::size_t andStride = ((static_cast<std::size_t>(e.width) + 31) / 32) * 4;
    const std::uint8_t* andBase = p + e.xorOffset + e.xorStride * e.height;
    for (int y = 0; y < e.height; ++y) {
      const std::uint8_t* row = andBase + andStride * (e.height - 1 - y);
      for (int x = 0; x < e.width; ++x) {
        const bool bit = (row[x >> 3] >> (7 - (x & 7))) & 1;
        out->mask[static_cast<std::size_t>(y) * e.width + x] = bit;
        out->anyMasked |= bit;
      }
    }
  } else if (out->useAlpha) {
    for (std::size_t i = 0; i < pixels; ++i) {
      out->mask[i] = out->bgra[i * 4 + 3] == 0;
      out->anyMasked |= out->mask[i] != 0;
    }
  }
  return true;
}

// The page as a viewer shows it on white.
HBITMAP RenderOnWhite(const IconPixels& px) {
  const bool opaque = !px.useAlpha && !px.anyMasked;
  if (opaque && !px.indexes.empty()) {
    HBITMAP bitmap = NewPageBitmap(px.width, px.height, px.bitCount, px.palette);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    const int bpp = px.bitCount;
    for (int y = 0; y < px.height; ++y) {
      BYTE* row = view.row(y);
      const std::uint8_t* src = &px.indexes[static_cast<std::size_t>(y) * px.width];
      for (int x = 0; x < px.width; ++x) {
        const int perByte = 8 / bpp;
        row[x / perByte] = static_cast<BYTE>(row[x / perByte] | (src[x] << (8 - bpp * (x % perByte + 1))));
      }
    }
    return bitmap;
  }
  HBITMAP bitmap = NewPageBitmap(px.width, px.height, 24);
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  for (int y = 0; y < px.height; ++y) {
    BYTE* out = view.row(y);
    const std::size_t base = static_cast<std::size_t>(y) * px.width;
    for (int x = 0; x < px.width; ++x, out += 3) {
      const std::uint8_t* s = &px.bgra[(base + x) * 4];
      if (px.useAlpha) {
        out[0] = BlendOnWhite8(s[0], s[3]);
        out[1] = BlendOnWhite8(s[1], s[3]);
        out[2] = BlendOnWhite8(s[2], s[3]);
      } else if (px.mask[base + x]) {
        out[0] = out[1] = out[2] = 255;
      } else {
        std::memcpy(out, s, 3);
      }
    }
  }
  return bitmap;
}

// One entry as a page. PNG entries go through the PNG reader, which flattens 16-bit
// alpha at full precision.
HBITMAP RenderEntry(const std::uint8_t* file, const IconEntry& e) {
  if (e.png) return DecodePngPage(file + e.offset, e.size);
  IconPixels px;
  if (!DecodeEntry(file, e, &px)) return nullptr;
  return RenderOnWhite(px);
}

PageInfo EntryPageInfo(const IconEntry& e) {
  PageInfo info;
  info.width = e.width;
  info.height = e.height;
  info.bitCount = e.bitCount;
  info.colorsUsed = e.colors;
  return info;
}

// ---- ANI ---------------------------------------------------------------------------

struct AniFile {
  std::vector<std::pair<std::size_t, std::size_t>> frames;  // offset and length of each icon chunk
  std::vector<std::uint32_t> sequence;
};

bool IsAni(const std::uint8_t* d, std::size_t n) {
  return n >= 12 && std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "ACON", 4) == 0;
}

void ReadFrameList(const std::uint8_t* d, std::size_t begin, std::size_t end, AniFile* ani) {
  std::size_t pos = begin;
  while (pos + 8 <= end && ani->frames.size() < kMaxAniFrames) {
    const std::size_t len = Le32(d + pos + 4);
    const std::size_t data = pos + 8;
    const std::size_t avail = std::min<std::size_t>(len, end - data);  // a cut-off frame keeps what is there
    if (std::memcmp(d + pos, "icon", 4) == 0) ani->frames.emplace_back(data, avail);
    if (len > end - data) break;
    pos = data + len + (len & 1);
  }
}

bool ParseAni(const std::uint8_t* d, std::size_t n, AniFile* ani) {
  if (!IsAni(d, n)) return false;
  // The RIFF size is sometimes the whole file or just wrong: never look past the real end.
  const std::uint64_t riffEnd = std::uint64_t{Le32(d + 4)} + 8;
  const std::size_t end = riffEnd >= 12 && riffEnd <= n ? static_cast<std::size_t>(riffEnd) : n;
  std::size_t pos = 12;
  while (pos + 8 <= end) {
    const std::size_t len = Le32(d + pos + 4);
    const std::size_t data = pos + 8;
    const std::size_t avail = std::min<std::size_t>(len, end - data);
    if (std::memcmp(d + pos, "LIST", 4) == 0 && avail >= 4 && std::memcmp(d + data, "fram", 4) == 0) {
      ReadFrameList(d, data + 4, data + avail, ani);
    } else if (std::memcmp(d + pos, "seq ", 4) == 0) {
      for (std::size_t i = 0; i + 4 <= avail && ani->sequence.size() < kMaxAniFrames; i += 4)
        ani->sequence.push_back(Le32(d + data + i));
    }
    if (len > end - data) break;
    pos = data + len + (len & 1);
  }
  return !ani->frames.empty();
}

// The entry that best shows a whole frame: the largest, then the deepest.
std::size_t LargestEntry(const IconDirectory& dir) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < dir.entries.size(); ++i) {
    const IconEntry& a = dir.entries[i];
    const IconEntry& b = dir.entries[best];
    const std::int64_t areaA = std::int64_t{a.width} * a.height, areaB = std::int64_t{b.width} * b.height;
    if (areaA > areaB || (areaA == areaB && a.bitCount > b.bitCount)) best = i;
  }
  return best;
}

// ---- readers ---------------------------------------------------------------------

class IcoReader final : public ImageReader {
 public:
  IcoReader(FileDataPtr file, IconDirectory dir) : file_(std::move(file)), dir_(std::move(dir)) {}
  int pageCount() const override { return static_cast<int>(dir_.entries.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount()) return {};
    return EntryPageInfo(dir_.entries[page]);
  }
  HBITMAP decodePage(int page) override {
    if (page < 0 || page >= pageCount()) return nullptr;
    return RenderEntry(file_->bytes.data(), dir_.entries[page]);
  }

 private:
  FileDataPtr file_;
  IconDirectory dir_;
};

// One page per usable frame; each frame's entry offsets are made relative to the file.
class AniReader final : public ImageReader {
 public:
  AniReader(FileDataPtr file, std::vector<IconEntry> pages) : file_(std::move(file)), pages_(std::move(pages)) {}
  int pageCount() const override { return static_cast<int>(pages_.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount()) return {};
    return EntryPageInfo(pages_[page]);
  }
  HBITMAP decodePage(int page) override {
    if (page < 0 || page >= pageCount()) return nullptr;
    return RenderEntry(file_->bytes.data(), pages_[page]);
  }

 private:
  FileDataPtr file_;
  std::vector<IconEntry> pages_;
};

// The entry to show for one ANI frame, with its offset made absolute. Frames are whole
// ICO/CUR files; a frame that is a bare icon bitmap (old writers) is taken as one entry.
bool FrameEntry(const std::uint8_t* d, std::size_t offset, std::size_t length, IconEntry* out) {
  IconDirectory dir;
  if (ParseDirectory(d + offset, length, length, true, &dir)) {
    *out = dir.entries[LargestEntry(dir)];
  } else {
    IconEntry e;
    if (!DescribePayload(d + offset, length, 0, &e)) return false;
    e.size = length;
    *out = e;
  }
  out->offset += offset;
  return true;
}

bool SniffIco(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  return ParseDirectory(head, length, fileSize, false, nullptr);
}

std::unique_ptr<ImageReader> OpenIco(FileDataPtr file) {
  if (!file) return nullptr;
  IconDirectory dir;
  if (!ParseDirectory(file->bytes.data(), file->bytes.size(), file->bytes.size(), true, &dir)) return nullptr;
  return std::make_unique<IcoReader>(std::move(file), std::move(dir));
}

bool SniffAni(const std::uint8_t* head, std::size_t length, std::uint64_t) { return IsAni(head, length); }

std::unique_ptr<ImageReader> OpenAni(FileDataPtr file) {
  if (!file) return nullptr;
  const std::uint8_t* d = file->bytes.data();
  AniFile ani;
  if (!ParseAni(d, file->bytes.size(), &ani)) return nullptr;
  std::vector<IconEntry> pages;
  for (const auto& [offset, length] : ani.frames) {
    IconEntry e;
    if (FrameEntry(d, offset, length, &e)) pages.push_back(e);
  }
  if (pages.empty()) return nullptr;
  return std::make_unique<AniReader>(std::move(file), std::move(pages));
}

// ---- icon building -----------------------------------------------------------------

std::size_t ChooseEntry(const IconDirectory& dir, int wantW, int wantH) {
  if (wantW <= 0 || wantH <= 0) return LargestEntry(dir);
  std::size_t best = 0;
  auto better = [&](const IconEntry& a, const IconEntry& b) {
    const bool exactA = a.width == wantW && a.height == wantH;
    const bool exactB = b.width == wantW && b.height == wantH;
    if (exactA != exactB) return exactA;
    if (!exactA) {
      const std::int64_t distA = std::abs(std::int64_t{a.width} - wantW) + std::abs(std::int64_t{a.height} - wantH);
      const std::int64_t distB = std::abs(std::int64_t{b.width} - wantW) + std::abs(std::int64_t{b.height} - wantH);
      if (distA != distB) return distA < distB;
      const std::int64_t areaA = std::int64_t{a.width} * a.height, areaB = std::int64_t{b.width} * b.height;
      if (areaA != areaB) return areaA > areaB;
    }
    return a.bitCount > b.bitCount;
  };
  for (std::size_t i = 1; i < dir.entries.size(); ++i)
    if (better(dir.entries[i], dir.entries[best])) best = i;
  return best;
}

HBITMAP NewDib(int width, int height, int bits, const std::vector<RGBQUAD>& colors) {
  BITMAPINFO256 bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = static_cast<WORD>(bits);
  bmi.bmiHeader.biCompression = BI_RGB;
  bmi.bmiHeader.biClrUsed = static_cast<DWORD>(colors.size());
  std::copy(colors.begin(), colors.end(), bmi.bmiColors);
  void* bits_ = nullptr;
  return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&bmi), DIB_RGB_COLORS, &bits_, nullptr, 0);
}

void SetBit(BYTE* row, int x, bool on) {
  if (on) row[x >> 3] = static_cast<BYTE>(row[x >> 3] | (0x80 >> (x & 7)));
}

HICON BuildIcon(const IconPixels& px, bool cursor, int xHot, int yHot, int w, int h, IconLoadInfo* info) {
  const std::vector<RGBQUAD> blackWhite = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  const bool mono = px.bitCount == 1 && !px.indexes.empty();
  // Nearest-neighbour scaling: icons are small and their pixels are meant to stay crisp.
  auto source = [&](int x, int y) {
    return static_cast<std::size_t>(y) * px.height / h * px.width + static_cast<std::size_t>(x) * px.width / w;
  };
  HBITMAP mask = NewDib(w, mono ? 2 * h : h, 1, blackWhite);
  HBITMAP color = nullptr;
  vel::gdi::BitmapView maskView, colorView;
  bool ok = mask && vel::gdi::GetBitmapView(mask, &maskView);
  if (ok && !mono) {
    color = NewDib(w, h, px.useAlpha ? 32 : 24, {});
    ok = color && vel::gdi::GetBitmapView(color, &colorView);
  }
  if (ok) {
    for (int y = 0; y < h; ++y) {
      BYTE* maskRow = maskView.row(y);
      BYTE* xorRow = mono ? maskView.row(h + y) : nullptr;
      BYTE* colorRow = mono ? nullptr : colorView.row(y);
      for (int x = 0; x < w; ++x) {
        const std::size_t s = source(x, y);
        SetBit(maskRow, x, px.mask[s] != 0);
        const std::uint8_t* c = &px.bgra[s * 4];
        if (mono) {
          SetBit(xorRow, x, c[0] + 2 * c[1] + c[2] >= 512);
        } else if (px.useAlpha) {
          std::memcpy(colorRow + 4 * x, c, 4);
        } else {
          std::memcpy(colorRow + 3 * x, c, 3);
        }
      }
    }
  }
  const int hotX = static_cast<int>(static_cast<std::int64_t>(xHot) * w / px.width);
  const int hotY = static_cast<int>(static_cast<std::int64_t>(yHot) * h / px.height);
  HICON icon = ok ? CreateIconFromBitmaps(color, mask, cursor ? FALSE : TRUE, hotX, hotY) : nullptr;
  if (color) DeleteObject(color);
  if (mask) DeleteObject(mask);
  if (icon && info) {
    info->width = w;
    info->height = h;
    info->entryWidth = px.width;
    info->entryHeight = px.height;
    info->entryBitCount = px.bitCount;
    info->hasColor = !mono;
    info->isCursor = cursor;
    info->xHotspot = hotX;
    info->yHotspot = hotY;
  }
  return icon;
}

}  // namespace

HICON LoadIconFromMemory(const std::uint8_t* data, std::size_t size, int desiredWidth, int desiredHeight,
                         IconLoadInfo* info) {
  if (!data) return nullptr;
  std::size_t base = 0, length = size;
  AniFile ani;
  if (ParseAni(data, size, &ani)) {
    base = ani.frames.front().first;
    length = ani.frames.front().second;
  }
  IconDirectory dir;
  if (!ParseDirectory(data + base, length, length, true, &dir)) return nullptr;
  const IconEntry& entry = dir.entries[ChooseEntry(dir, desiredWidth, desiredHeight)];
  IconPixels px;
  if (!DecodeEntry(data + base, entry, &px)) return nullptr;
  const int w = desiredWidth > 0 && desiredHeight > 0 ? desiredWidth : px.width;
  const int h = desiredWidth > 0 && desiredHeight > 0 ? desiredHeight : px.height;
  if (static_cast<std::int64_t>(w) * h * 2 > vel::gdi::kMaxBitmapPixels) return nullptr;
  return BuildIcon(px, dir.cursor, entry.xHotspot, entry.yHotspot, w, h, info);
}

HICON LoadIconFile(const std::string& path, int desiredWidth, int desiredHeight, IconLoadInfo* info) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  // Icon files are small; a huge file here is not an icon.
  if (length <= 0 || length > (std::streamoff{1} << 30)) return nullptr;
  in.seekg(0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) return nullptr;
  return LoadIconFromMemory(bytes.data(), bytes.size(), desiredWidth, desiredHeight, info);
}

bool IconHasColor(HICON icon) {
  vel::gdi::IconParts parts;
  return icon && vel::gdi::GetIconParts(icon, &parts) && parts.color != nullptr;
}

const FormatDescriptor kIcoFormat = {"ICO", SniffIco, OpenIco};
const FormatDescriptor kAniFormat = {"ANI", SniffAni, OpenAni};

}  // namespace lorimer::formats
