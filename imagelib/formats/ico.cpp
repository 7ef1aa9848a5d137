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
#include <span>
#include <string>
#include <string_view>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "imagelib/formats/page_canvas.h"
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
constexpr std::size_t kMinPngPayload = 33;  // the signature and a whole IHDR chunk
constexpr std::uint32_t kIhdrLength = 13;
// Deflate gives at most 1032 bytes for one, and a PNG pixel takes at least an eighth of a byte.
constexpr std::uint64_t kPngPixelsPerByte = 1032 * 8;
constexpr std::uint64_t kMaxIconFileBytes = std::uint64_t{1} << 30;

// One picture inside an icon file, located and described but not decoded.
struct IconEntry {
  std::size_t offset = 0;  // payload within the file's bytes
  std::size_t size = 0;
  bool png = false;
  int width = 0;
  int height = 0;
  int bitCount = 0;
  unsigned colors = 0;  // palette entries for 1/4/8 bits
  // Bitmap payloads only.
  std::size_t paletteOffset = 0;  // relative to the payload
  std::size_t xorOffset = 0;
  std::size_t xorStride = 0;
  bool hasMask = false;
  int xHotspot = 0;  // cursors
  int yHotspot = 0;
};

struct IconDirectory {
  bool cursor = false;
  std::vector<IconEntry> entries;
};

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view tag) {
  return bytes.size() >= tag.size() && std::memcmp(bytes.data(), tag.data(), tag.size()) == 0;
}

std::string Size(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

vel::Expected<void> DescribePng(std::span<const std::uint8_t> payload, IconEntry* e) {
  vel::ByteReader in(payload);
  in.skip(sizeof kPngSignature);
  const std::uint32_t ihdrLength = in.be32();
  const auto ihdr = in.bytes(4);
  const std::uint32_t w = in.be32(), h = in.be32();
  const int depth = in.u8();
  const int type = in.u8();
  if (!in) return vel::Fail("PNG entry: " + in.failure());
  if (ihdrLength != kIhdrLength || !StartsWith(ihdr, "IHDR")) return vel::Fail("PNG entry without its IHDR chunk");
  if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return vel::Fail("PNG entry of size " + Size(w, h));
  if (auto size = CheckPictureSize(w, h, 32, payload.size(), kPngPixelsPerByte); !size) {
    return vel::Fail("PNG entry: " + size.reason());
  }
  if (static_cast<std::uint64_t>(w) * h > kMaxIconPixels) {
    return vel::Fail("PNG entry of " + Size(w, h) + " is no icon");
  }
  static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  if (type > 6 || kChannels[type] == 0) return vel::Fail("PNG entry of colour type " + std::to_string(type));
  e->png = true;
  e->width = static_cast<int>(w);
  e->height = static_cast<int>(h);
  e->bitCount = kChannels[type] * depth;
  return {};
}

// `dirHeight` helps with the rare bitmap whose height field is not doubled for the mask.
vel::Expected<void> DescribeBitmap(std::span<const std::uint8_t> payload, int dirHeight, IconEntry* e) {
  if (payload.size() < kMinPayload) return vel::Fail(std::to_string(payload.size()) + " bytes are no image");
  vel::ByteReader in(payload);
  const std::uint32_t headerSize = in.le32();
  const std::int32_t width = in.le32s();
  const std::int32_t heightField = in.le32s();
  in.skip(2);  // planes
  const int bitCount = in.le16();
  const std::uint32_t compression = in.le32();
  in.skip(12);  // image size and resolution
  const std::uint32_t clrUsed = in.le32();
  if (!in) return vel::Fail("bitmap header: " + in.failure());
  if (headerSize < 40 || headerSize > payload.size()) {
    return vel::Fail("bitmap header of " + std::to_string(headerSize) + " bytes");
  }
  if (width <= 0 || heightField <= 0 || width > 0x10000 || heightField > 0x20000) {
    return vel::Fail("bitmap of size " + Size(width, heightField));
  }
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
    return vel::Fail("bitmap of " + std::to_string(bitCount) + " bits per pixel");
  }
  if (compression != BI_RGB) return vel::Fail("bitmap of compression " + std::to_string(compression));
  int height = heightField / 2;
  if (heightField == dirHeight && heightField / 2 != dirHeight) height = heightField;
  if (auto size = CheckPictureSize(width, height, bitCount, payload.size(), 1); !size) {
    return vel::Fail("bitmap: " + size.reason());
  }
  if (static_cast<std::uint64_t>(width) * height > kMaxIconPixels) {
    return vel::Fail("bitmap of " + Size(width, height) + " is no icon");
  }
  unsigned colors = 0;
  if (bitCount <= 8) {
    if (clrUsed > 256) return vel::Fail("bitmap with " + std::to_string(clrUsed) + " colours");
    colors = clrUsed ? std::min<unsigned>(clrUsed, 1u << bitCount) : 1u << bitCount;
  }
  const std::size_t paletteBytes = (bitCount <= 8 ? (clrUsed ? clrUsed : 1u << bitCount) : clrUsed) * std::size_t{4};
  const std::size_t xorStride = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
  const std::size_t andStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  const std::size_t xorOffset = headerSize + paletteBytes;
  // The colour bitmap must be there in full; a missing mask only makes the icon opaque.
  vel::ByteReader colour(payload), mask(payload);
  colour.sub(xorOffset, xorStride * height);
  if (!colour) return vel::Fail("colour bitmap: " + colour.failure());
  mask.sub(xorOffset + xorStride * height, andStride * height);
  e->png = false;
  e->width = width;
  e->height = height;
  e->bitCount = bitCount;
  e->colors = colors;
  e->paletteOffset = headerSize;
  e->xorOffset = xorOffset;
  e->xorStride = xorStride;
  e->hasMask = mask.ok();
  return {};
}

// Reads the embedded header of one payload (bitmap header or PNG IHDR) into `e`.
vel::Expected<void> DescribePayload(std::span<const std::uint8_t> payload, int dirHeight, IconEntry* e) {
  if (payload.size() >= kMinPngPayload &&
      StartsWith(payload, std::string_view(reinterpret_cast<const char*>(kPngSignature), sizeof kPngSignature))) {
    return DescribePng(payload, e);
  }
  return DescribeBitmap(payload, dirHeight, e);
}

// Checks the directory of an ICO/CUR file. With `describe`, also reads each payload's
// header and keeps the entries that can be shown; otherwise only the layout is checked
// (enough for sniffing on the first bytes of a file of `fileSize` bytes).
vel::Expected<IconDirectory> ParseDirectory(std::span<const std::uint8_t> data, std::uint64_t fileSize, bool describe) {
  vel::ByteReader in(data);
  const std::uint16_t reserved = in.le16();
  const std::uint16_t type = in.le16();
  const std::uint16_t count = in.le16();
  if (!in) return vel::Fail("ICO header: " + in.failure());
  if (reserved != 0) return vel::Fail("ICO header: reserved word " + std::to_string(reserved));
  if (type != 1 && type != 2) return vel::Fail("ICO header: type " + std::to_string(type));
  if (count == 0 || count > kMaxEntries) return vel::Fail("ICO header: " + std::to_string(count) + " entries");
  const std::uint64_t firstPayload = kDirHeader + kDirEntry * count;
  if (describe && data.size() < firstPayload) {
    return vel::Fail("ICO header: a directory of " + std::to_string(count) + " entries in " +
                     std::to_string(data.size()) + " bytes");
  }
  IconDirectory dir;
  dir.cursor = type == 2;
  std::string refusal;  // why the last entry that could not be shown could not
  // Sniffing sees only the head; the rest of the directory may lie beyond it.
  for (unsigned i = 0; i < count && in.has(kDirEntry); ++i) {
    in.skip(1);  // width: the embedded header says it better
    const std::uint8_t height = in.u8();
    in.skip(2);                                // colour count, reserved
    const std::uint16_t xHotspot = in.le16();  // planes in an icon
    const std::uint16_t yHotspot = in.le16();  // bits per pixel in an icon
    const std::uint32_t size = in.le32();
    const std::uint32_t offset = in.le32();
    if (size < kMinPayload || offset < firstPayload || offset > fileSize || size > fileSize - offset) {
      return vel::Fail("ICO entry " + std::to_string(i) + ": " + std::to_string(size) + " bytes at offset " +
                       std::to_string(offset) + " do not fit a file of " + std::to_string(fileSize) + " bytes");
    }
    if (!describe) continue;
    IconEntry e;
    e.offset = offset;
    e.size = size;
    if (dir.cursor) {
      e.xHotspot = xHotspot;
      e.yHotspot = yHotspot;
    }
    const int dirHeight = height ? height : 256;
    vel::ByteReader whole(data);
    if (auto described = DescribePayload(whole.sub(offset, size).all(), dirHeight, &e); !described) {
      refusal = "entry " + std::to_string(i) + ": " + described.reason();
      continue;
    }
    dir.entries.push_back(e);
  }
  if (describe && dir.entries.empty()) return vel::Fail("ICO: no entry can be shown (" + refusal + ")");
  return dir;
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
  bool useAlpha = false;  // alpha carries the transparency (32-bit, PNG)
  bool anyMasked = false;
};

vel::Expected<void> DecodePngEntry(std::span<const std::uint8_t> payload, IconPixels* out) {
  const std::size_t pixels = static_cast<std::size_t>(out->width) * out->height;
  RgbaImage rgba;
  if (!DecodePngToRgba(payload.data(), payload.size(), &rgba)) return vel::Fail("the PNG data gives no row");
  if (rgba.width != out->width || rgba.height != out->height) {
    return vel::Fail("the PNG data is " + Size(rgba.width, rgba.height) + ", its header " +
                     Size(out->width, out->height));
  }
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
  return {};
}

// The colour bitmap and mask of a bitmap entry; DescribeBitmap checked that they are there.
void DecodeBitmapEntry(std::span<const std::uint8_t> payload, const IconEntry& e, IconPixels* out) {
  const std::size_t pixels = static_cast<std::size_t>(e.width) * e.height;
  const int bpp = e.bitCount;
  vel::ByteReader table = vel::ByteReader(payload).sub(e.paletteOffset, std::size_t{4} * e.colors);
  out->palette.assign(e.colors, RGBQUAD{0, 0, 0, 0});
  for (RGBQUAD& c : out->palette) {
    c.rgbBlue = table.u8();
    c.rgbGreen = table.u8();
    c.rgbRed = table.u8();
    table.skip(1);
  }
  out->bgra.assign(pixels * 4, 0);
  out->mask.assign(pixels, 0);
  if (bpp <= 8) out->indexes.assign(pixels, 0);
  const auto colour = payload.subspan(e.xorOffset, e.xorStride * e.height);
  bool anyAlpha = false;
  for (int y = 0; y < e.height; ++y) {
    // Both bitmaps are stored bottom row first.
    const auto row = colour.subspan(e.xorStride * (e.height - 1 - y), e.xorStride);
    std::uint8_t* dst = &out->bgra[static_cast<std::size_t>(y) * e.width * 4];
    for (int x = 0; x < e.width; ++x, dst += 4) {
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
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
          const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
          const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
          dst[0] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
          dst[1] = static_cast<std::uint8_t>((g << 3) | (g >> 2));
          dst[2] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
          dst[3] = 255;
          break;
        }
        case 24:
          std::memcpy(dst, &row[3 * x], 3);
          dst[3] = 255;
          break;
        case 32:
          std::memcpy(dst, &row[4 * x], 4);
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
    const auto mask = payload.subspan(e.xorOffset + e.xorStride * e.height, andStride * e.height);
    for (int y = 0; y < e.height; ++y) {
      const auto row = mask.subspan(andStride * (e.height - 1 - y), andStride);
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
}

// `file` holds the entry at the offset the entry gives.
vel::Expected<IconPixels> DecodeEntry(std::span<const std::uint8_t> file, const IconEntry& e) {
  const auto payload = vel::ByteReader(file).sub(e.offset, e.size).all();
  IconPixels out;
  out.width = e.width;
  out.height = e.height;
  out.bitCount = e.bitCount;
  if (e.png) {
    if (auto decoded = DecodePngEntry(payload, &out); !decoded) return vel::Fail(decoded.error());
  } else {
    DecodeBitmapEntry(payload, e, &out);
  }
  return out;
}

// The page as a viewer shows it on white.
Decoded RenderOnWhite(const IconPixels& px) {
  const bool opaque = !px.useAlpha && !px.anyMasked;
  if (opaque && !px.indexes.empty()) {
    auto canvas = NewPageCanvas(px.width, px.height, px.bitCount, px.palette);
    if (!canvas) return vel::Fail(canvas.error());
    const vel::gdi::BitmapView& view = canvas->view;
    const int bpp = px.bitCount;
    for (int y = 0; y < px.height; ++y) {
      BYTE* row = view.row(y);
      const std::uint8_t* src = &px.indexes[static_cast<std::size_t>(y) * px.width];
      for (int x = 0; x < px.width; ++x) {
        const int perByte = 8 / bpp;
        row[x / perByte] = static_cast<BYTE>(row[x / perByte] | (src[x] << (8 - bpp * (x % perByte + 1))));
      }
    }
    return std::move(canvas->bitmap);
  }
  auto canvas = NewPageCanvas(px.width, px.height, 24);
  if (!canvas) return vel::Fail(canvas.error());
  const vel::gdi::BitmapView& view = canvas->view;
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
  return std::move(canvas->bitmap);
}

// One entry as a page. PNG entries go through the PNG reader, which flattens 16-bit
// alpha at full precision.
Decoded RenderEntry(std::span<const std::uint8_t> file, const IconEntry& e) {
  if (e.png) {
    const auto payload = vel::ByteReader(file).sub(e.offset, e.size).all();
    vel::gdi::OwnedBitmap page(DecodePngPage(payload.data(), payload.size()));
    if (!page) return vel::Fail("the PNG data gives no row");
    return page;
  }
  auto px = DecodeEntry(file, e);
  if (!px) return vel::Fail(px.error());
  return RenderOnWhite(*px);
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

bool IsAni(vel::ByteReader in) {
  const auto riff = in.bytes(4);
  in.skip(4);  // size
  const auto form = in.bytes(4);
  return in && StartsWith(riff, "RIFF") && StartsWith(form, "ACON");
}

// The chunks of a frame list; `base` is where the list's reader starts in the file.
void ReadFrameList(vel::ByteReader list, std::size_t base, AniFile* ani) {
  while (list.has(8) && ani->frames.size() < kMaxAniFrames) {
    const auto id = list.bytes(4);
    const std::uint32_t len = list.le32();
    const std::size_t data = base + list.position();
    const std::size_t avail = std::min<std::size_t>(len, list.remaining());  // a cut-off frame keeps what is there
    if (StartsWith(id, "icon")) ani->frames.emplace_back(data, avail);
    if (len > list.remaining()) break;
    list.skip(len);
    list.skip(len & 1);
  }
}

bool ParseAni(std::span<const std::uint8_t> file, AniFile* ani) {
  vel::ByteReader in(file);
  if (!IsAni(in)) return false;
  in.seek(4);
  // The RIFF size is sometimes the whole file or just wrong: never look past the real end.
  const std::uint64_t riffEnd = std::uint64_t{in.le32()} + 8;
  const std::size_t end = riffEnd >= 12 && riffEnd <= file.size() ? static_cast<std::size_t>(riffEnd) : file.size();
  vel::ByteReader riff = in.sub(0, end);
  riff.seek(12);
  while (riff.has(8)) {
    const auto id = riff.bytes(4);
    const std::uint32_t len = riff.le32();
    const std::size_t at = riff.position();
    vel::ByteReader body = riff.take(std::min<std::size_t>(len, riff.remaining()));
    if (StartsWith(id, "LIST") && body.has(4) && StartsWith(body.bytes(4), "fram")) {
      ReadFrameList(body, at, ani);
    } else if (StartsWith(id, "seq ")) {
      while (body.has(4) && ani->sequence.size() < kMaxAniFrames) ani->sequence.push_back(body.le32());
    }
    if (len > body.size()) break;
    riff.skip(len & 1);
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

std::string PageName(const char* format, int page) { return std::string(format) + " page " + std::to_string(page); }

class IcoReader final : public ImageReader {
 public:
  IcoReader(FileDataPtr file, IconDirectory dir) : file_(std::move(file)), dir_(std::move(dir)) {}
  int pageCount() const override { return static_cast<int>(dir_.entries.size()); }
  PageInfo pageInfo(int page) const override {
    if (page < 0 || page >= pageCount()) return {};
    return EntryPageInfo(dir_.entries[page]);
  }
  Decoded decode(int page) override {
    if (page < 0 || page >= pageCount()) return vel::Fail("ICO: no page " + std::to_string(page));
    auto bitmap = RenderEntry(file_->bytes, dir_.entries[page]);
    if (!bitmap) return vel::Fail(PageName("ICO", page) + ": " + bitmap.reason());
    return bitmap;
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
  Decoded decode(int page) override {
    if (page < 0 || page >= pageCount()) return vel::Fail("ANI: no page " + std::to_string(page));
    auto bitmap = RenderEntry(file_->bytes, pages_[page]);
    if (!bitmap) return vel::Fail(PageName("ANI", page) + ": " + bitmap.reason());
    return bitmap;
  }

 private:
  FileDataPtr file_;
  std::vector<IconEntry> pages_;
};

// The entry to show for one ANI frame, with its offset made absolute. Frames are whole
// ICO/CUR files; a frame that is a bare icon bitmap (old writers) is taken as one entry.
vel::Expected<IconEntry> FrameEntry(std::span<const std::uint8_t> file, std::size_t offset, std::size_t length) {
  const auto frame = vel::ByteReader(file).sub(offset, length).all();
  IconEntry e;
  auto dir = ParseDirectory(frame, length, true);
  if (dir) {
    e = dir->entries[LargestEntry(*dir)];
  } else {
    auto bare = DescribePayload(frame, 0, &e);
    if (!bare) return vel::Fail("neither an icon file (" + dir.reason() + ") nor an icon (" + bare.reason() + ")");
    e.size = length;
  }
  e.offset += offset;
  return e;
}

bool SniffIco(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  return ParseDirectory(std::span(head, length), fileSize, false).has_value();
}

Opened OpenIco(FileDataPtr file) {
  if (!file) return vel::Fail("ICO: no file");
  auto dir = ParseDirectory(file->bytes, file->bytes.size(), true);
  if (!dir) return vel::Fail(dir.error());
  return std::make_unique<IcoReader>(std::move(file), std::move(*dir));
}

bool SniffAni(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  return IsAni(vel::ByteReader(head, length));
}

Opened OpenAni(FileDataPtr file) {
  if (!file) return vel::Fail("ANI: no file");
  AniFile ani;
  if (!ParseAni(file->bytes, &ani)) return vel::Fail("ANI: no RIFF ACON file with a frame list");
  std::vector<IconEntry> pages;
  std::string refusal;
  for (std::size_t i = 0; i < ani.frames.size(); ++i) {
    auto e = FrameEntry(file->bytes, ani.frames[i].first, ani.frames[i].second);
    if (e) {
      pages.push_back(*e);
    } else {
      refusal = "frame " + std::to_string(i) + ": " + e.reason();
    }
  }
  if (pages.empty()) return vel::Fail("ANI: no frame can be shown (" + refusal + ")");
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

vel::gdi::OwnedBitmap NewDib(int width, int height, int bits, const std::vector<RGBQUAD>& colors) {
  // The size asked for comes from the caller, not the file: nothing to weigh it against.
  if (!CheckPictureSize(width, height, bits, 0, 0)) return {};
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
  return vel::gdi::OwnedBitmap(
      CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&bmi), DIB_RGB_COLORS, &bits_, nullptr, 0));
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
  vel::gdi::OwnedBitmap mask = NewDib(w, mono ? 2 * h : h, 1, blackWhite);
  vel::gdi::OwnedBitmap color;
  vel::gdi::BitmapView maskView, colorView;
  bool ok = mask && vel::gdi::GetBitmapView(mask.get(), &maskView);
  if (ok && !mono) {
    color = NewDib(w, h, px.useAlpha ? 32 : 24, {});
    ok = color && vel::gdi::GetBitmapView(color.get(), &colorView);
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
  HICON icon = ok ? CreateIconFromBitmaps(color.get(), mask.get(), cursor ? FALSE : TRUE, hotX, hotY) : nullptr;
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
  std::span<const std::uint8_t> file(data, size);
  AniFile ani;
  if (ParseAni(file, &ani)) file = file.subspan(ani.frames.front().first, ani.frames.front().second);
  auto dir = ParseDirectory(file, file.size(), true);
  if (!dir) return nullptr;
  const IconEntry& entry = dir->entries[ChooseEntry(*dir, desiredWidth, desiredHeight)];
  auto px = DecodeEntry(file, entry);
  if (!px) return nullptr;
  const int w = desiredWidth > 0 && desiredHeight > 0 ? desiredWidth : px->width;
  const int h = desiredWidth > 0 && desiredHeight > 0 ? desiredHeight : px->height;
  // A monochrome icon's bitmap holds the mask above the picture: twice the height.
  if (!CheckPictureSize(w, std::int64_t{h} * 2, 32, 0, 0)) return nullptr;
  return BuildIcon(*px, dir->cursor, entry.xHotspot, entry.yHotspot, w, h, info);
}

HICON LoadIconFile(const std::string& path, int desiredWidth, int desiredHeight, IconLoadInfo* info) {
  // Icon files are small; a huge file here is not an icon.
  std::vector<std::uint8_t> bytes;
  if (!vel::ReadWholeFile(path.c_str(), bytes, kMaxIconFileBytes)) return nullptr;
  return LoadIconFromMemory(bytes.data(), bytes.size(), desiredWidth, desiredHeight, info);
}

bool IconHasColor(HICON icon) {
  vel::gdi::IconParts parts;
  return icon && vel::gdi::GetIconParts(icon, &parts) && parts.color != nullptr;
}

const FormatDescriptor kIcoFormat = {"ICO", SniffIco, OpenIco};
const FormatDescriptor kAniFormat = {"ANI", SniffAni, OpenAni};

}  // namespace lorimer::formats
