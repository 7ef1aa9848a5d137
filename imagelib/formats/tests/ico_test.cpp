// ICO, CUR and ANI: ImageMagick's multi-size icons compared page by page with its own
// decode; hand-made icons for masks, alpha, monochrome, lying directories, cursors, the
// icon loader's choice of entry, and animated cursors with a play sequence.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imagelib/formats/ico.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/test_support.h"

namespace lorimer::formats {
namespace {

using testing::BitmapToRgb;
using testing::FindTool;
using testing::ImageMagickDecode;
using testing::MaxDifference;
using testing::ReadFile;
using testing::Rgb;
using testing::RgbImage;
using testing::TempDir;
using testing::WriteTempFile;

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& d, unsigned v) {
  d.push_back(v & 0xFF);
  d.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& d, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d.push_back((v >> (8 * i)) & 0xFF);
}

// An icon image as a bitmap payload: header, colour table, XOR rows, AND rows (both
// bottom-up). `value` is a palette index for 1/4/8 bits, else 0xAARRGGBB.
Bytes BmpPayload(int w, int h, int bpp, const std::vector<RGBQUAD>& palette,
                 const std::function<std::uint32_t(int, int)>& value, const std::function<bool(int, int)>& masked,
                 bool withMask = true) {
  Bytes d;
  Put32(d, 40);
  Put32(d, w);
  Put32(d, 2 * h);
  Put16(d, 1);
  Put16(d, bpp);
  for (int i = 0; i < 6; ++i) Put32(d, i == 4 ? static_cast<std::uint32_t>(palette.size()) : 0);
  for (const RGBQUAD& c : palette) {
    d.push_back(c.rgbBlue);
    d.push_back(c.rgbGreen);
    d.push_back(c.rgbRed);
    d.push_back(0);
  }
  const std::size_t xorStride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
  for (int y = h - 1; y >= 0; --y) {
    Bytes row(xorStride, 0);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = value(x, y);
      if (bpp <= 8) {
        const int perByte = 8 / bpp;
        row[x / perByte] |= static_cast<std::uint8_t>(v << (8 - bpp * (x % perByte + 1)));
      } else {
        for (int b = 0; b < bpp / 8; ++b) row[x * (bpp / 8) + b] = static_cast<std::uint8_t>(v >> (8 * b));
      }
    }
    d.insert(d.end(), row.begin(), row.end());
  }
  if (withMask) {
    const std::size_t andStride = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
      Bytes row(andStride, 0);
      for (int x = 0; x < w; ++x)
        if (masked(x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      d.insert(d.end(), row.begin(), row.end());
    }
  }
  return d;
}

struct DirEntry {
  Bytes payload;
  int dirWidth, dirHeight, dirBpp;
  int hotX = 0, hotY = 0;  // cursors: stored where icons keep planes and bit count
};

Bytes IconFile(int type, const std::vector<DirEntry>& entries) {
  Bytes d;
  Put16(d, 0);
  Put16(d, type);
  Put16(d, static_cast<unsigned>(entries.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
  for (const DirEntry& e : entries) {
    d.push_back(static_cast<std::uint8_t>(e.dirWidth));
    d.push_back(static_cast<std::uint8_t>(e.dirHeight));
    d.push_back(0);
    d.push_back(0);
    Put16(d, type == 2 ? e.hotX : 1);
    Put16(d, type == 2 ? e.hotY : e.dirBpp);
    Put32(d, static_cast<std::uint32_t>(e.payload.size()));
    Put32(d, offset);
    offset += static_cast<std::uint32_t>(e.payload.size());
  }
  for (const DirEntry& e : entries) d.insert(d.end(), e.payload.begin(), e.payload.end());
  return d;
}

const std::vector<RGBQUAD> kPalette16 = [] {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < 16; ++i)
    p.push_back(
        RGBQUAD{static_cast<BYTE>(i * 16), static_cast<BYTE>(255 - i * 16), static_cast<BYTE>(i * 40 % 256), 0});
  return p;
}();

Rgb ColorOf(const RGBQUAD& q) { return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue}; }

std::unique_ptr<ImageReader> Open(const FormatDescriptor& format, const Bytes& bytes) {
  if (!format.sniff(bytes.data(), std::min(bytes.size(), kSniffBytes), bytes.size())) return nullptr;
  auto file = std::make_shared<FileData>();
  file->bytes = bytes;
  return format.open(file);
}

std::optional<RgbImage> Page(ImageReader& reader, int page, int* bits = nullptr) {
  HBITMAP bitmap = reader.decodePage(page);
  if (!bitmap) return std::nullopt;
  vel::gdi::BitmapView view;
  if (bits && vel::gdi::GetBitmapView(bitmap, &view)) *bits = view.bitsPerPixel;
  auto rgb = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  return rgb;
}

// ---- interoperability --------------------------------------------------------------

TEST(IcoReader, ImageMagickMultiSizeIconMatchesItsDecode) {
  if (FindTool("convert-im6.q16").empty()) GTEST_SKIP() << "ImageMagick (convert-im6.q16) is not installed";
  const std::string src = TempDir() + "/icon-source.png", ico = TempDir() + "/multi.ico";
  // A picture with soft and hard transparency.
  ASSERT_TRUE(
      testing::Run("convert-im6.q16 -size 64x64 gradient:red-blue \\( -size 64x64 radial-gradient:white-black "
                   "\\) -alpha off -compose copyopacity -composite '" +
                   src + "'"));
  ASSERT_TRUE(testing::Run("convert-im6.q16 '" + src + "' -define icon:auto-resize=16,32,48,256 '" + ico + "'"));
  const Bytes bytes = ReadFile(ico);
  auto reader = Open(kIcoFormat, bytes);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 4);
  const int sizes[] = {16, 32, 48, 256};
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE(page);
    EXPECT_EQ(reader->pageInfo(page).width, sizes[page]);
    EXPECT_EQ(reader->pageInfo(page).height, sizes[page]);
    // 32-bit bitmaps, and a PNG of 16-bit samples for the largest.
    EXPECT_EQ(reader->pageInfo(page).bitCount, page < 3 ? 32 : 64);
    auto ours = Page(*reader, page);
    auto theirs = ImageMagickDecode(ico, page);
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(MaxDifference(*ours, *theirs), 0);
  }
  // The largest entry is a PNG inside the icon.
  EXPECT_EQ(std::memcmp(&bytes[Le32(&bytes[6 + 3 * 16 + 12])], "\x89PNG", 4), 0);
}

// ---- pages ---------------------------------------------------------------------------

TEST(IcoReader, MasksAlphaAndPalettes) {
  auto index = [](int x, int y) -> std::uint32_t { return (x + 2 * y) % 16; };
  auto corner = [](int x, int y) { return x < 3 && y < 2; };
  auto none = [](int, int) { return false; };
  auto argb = [](int x, int y) -> std::uint32_t {
    const std::uint32_t a = x < 4 ? 0 : x < 8 ? 128 : 255;
    return (a << 24) | (static_cast<std::uint32_t>(x * 20) << 16) | (static_cast<std::uint32_t>(y * 30) << 8) | 77u;
  };
  auto opaqueArgb = [&](int x, int y) { return argb(x, y) & 0x00FFFFFF; };  // alpha all zero
  const Bytes file = IconFile(1, {
                                     {BmpPayload(12, 6, 4, kPalette16, index, none), 12, 6, 4},
                                     {BmpPayload(12, 6, 4, kPalette16, index, corner), 12, 6, 4},
                                     {BmpPayload(12, 6, 32, {}, argb, corner), 12, 6, 32},
                                     {BmpPayload(12, 6, 32, {}, opaqueArgb, corner), 12, 6, 32},
                                     {BmpPayload(12, 6, 24, {}, opaqueArgb, none, false), 12, 6, 24},  // no mask at all
                                 });
  auto reader = Open(kIcoFormat, file);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 5);
  const Rgb white{255, 255, 255};

  int bits = 0;
  auto plain = Page(*reader, 0, &bits);
  ASSERT_TRUE(plain);
  EXPECT_EQ(bits, 4);  // nothing transparent: stays palettised
  EXPECT_EQ(reader->pageInfo(0).colorsUsed, 16u);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(plain->at(x, y), ColorOf(kPalette16[index(x, y)]));

  auto masked = Page(*reader, 1, &bits);
  ASSERT_TRUE(masked);
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(masked->at(0, 0), white);
  EXPECT_EQ(masked->at(2, 1), white);
  EXPECT_EQ(masked->at(3, 0), ColorOf(kPalette16[index(3, 0)]));

  // Alpha wins over the mask; blended on white.
  auto alpha = Page(*reader, 2);
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha->at(2, 5), white);                     // alpha 0 (mask clear there)
  EXPECT_EQ(alpha->at(9, 3), (Rgb{180, 90, 77}));        // opaque
  EXPECT_EQ(alpha->at(5, 0).b, BlendOnWhite8(77, 128));  // half
  EXPECT_EQ(alpha->at(5, 0).r, BlendOnWhite8(100, 128));

  // All-zero alpha means the writer only knew the mask.
  auto maskOnly = Page(*reader, 3);
  ASSERT_TRUE(maskOnly);
  EXPECT_EQ(maskOnly->at(0, 0), white);
  EXPECT_EQ(maskOnly->at(5, 5), (Rgb{100, 150, 77}));

  auto noMask = Page(*reader, 4);
  ASSERT_TRUE(noMask);
  EXPECT_EQ(noMask->at(0, 0), (Rgb{0, 0, 77}));
}

TEST(IcoReader, EmbeddedHeaderWinsOverTheDirectory) {
  // The directory claims 48 x 48 at 8 bits; the bitmap is 10 x 7 at 4 bits.
  const Bytes file =
      IconFile(1, {{BmpPayload(
                        10, 7, 4, kPalette16, [](int, int) { return 3u; }, [](int, int) { return false; }),
                    48, 48, 8}});
  auto reader = Open(kIcoFormat, file);
  ASSERT_TRUE(reader);
  const PageInfo info = reader->pageInfo(0);
  EXPECT_EQ(info.width, 10);
  EXPECT_EQ(info.height, 7);
  EXPECT_EQ(info.bitCount, 4);
  auto page = Page(*reader, 0);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->width, 10);
  EXPECT_EQ(page->at(9, 6), ColorOf(kPalette16[3]));
}

TEST(IcoReader, BadDirectoriesAndPayloads) {
  const Bytes good =
      IconFile(1, {{BmpPayload(
                        8, 8, 4, kPalette16, [](int, int) { return 1u; }, [](int, int) { return false; }),
                    8, 8, 4}});
  ASSERT_TRUE(Open(kIcoFormat, good));
  auto with = [&](std::size_t at, std::uint8_t v) {
    Bytes b = good;
    b[at] = v;
    return b;
  };
  EXPECT_FALSE(Open(kIcoFormat, with(0, 1)));    // reserved must be 0
  EXPECT_FALSE(Open(kIcoFormat, with(2, 3)));    // type 1 or 2 only
  EXPECT_FALSE(Open(kIcoFormat, with(4, 0)));    // no entries
  EXPECT_FALSE(Open(kIcoFormat, with(4, 2)));    // the second entry would be the image data
  EXPECT_FALSE(Open(kIcoFormat, with(21, 1)));   // offset far beyond the file
  EXPECT_FALSE(Open(kIcoFormat, with(16, 1)));   // size beyond the file
  EXPECT_FALSE(Open(kIcoFormat, with(14, 10)));  // size too small for any image
  EXPECT_FALSE(Open(kIcoFormat, with(18, 10)));  // payload inside the directory
  // The colour bitmap cut short: no usable entry left.
  Bytes cut = good;
  cut.resize(cut.size() - 40);
  cut[14] = static_cast<std::uint8_t>(cut.size() - 22);
  EXPECT_FALSE(Open(kIcoFormat, cut));
  // Only the mask missing: the entry is shown opaque.
  Bytes noMask = good;
  noMask.resize(noMask.size() - 32);
  noMask[14] = static_cast<std::uint8_t>(noMask.size() - 22);
  auto reader = Open(kIcoFormat, noMask);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(Page(*reader, 0));
}

// ---- the icon loader ---------------------------------------------------------------

TEST(IconLoader, PicksExactSizeWithMostColoursElseClosestScaled) {
  auto solid = [](std::uint32_t v) { return [v](int, int) { return v; }; };
  auto none = [](int, int) { return false; };
  const Bytes file = IconFile(1, {
                                     {BmpPayload(16, 16, 4, kPalette16, solid(1), none), 16, 16, 4},
                                     {BmpPayload(32, 32, 4, kPalette16, solid(2), none), 32, 32, 4},
                                     {BmpPayload(32, 32, 32, {}, solid(0xFF102030), none), 32, 32, 32},
                                     {BmpPayload(48, 48, 8, kPalette16, solid(3), none), 48, 48, 8},
                                 });
  struct Case {
    int want, entryWidth, entryBits;
  };
  for (const Case& c : {Case{32, 32, 32}, Case{16, 16, 4}, Case{40, 48, 8}, Case{20, 16, 4}, Case{64, 48, 8}}) {
    SCOPED_TRACE(c.want);
    IconLoadInfo info;
    HICON icon = LoadIconFromMemory(file.data(), file.size(), c.want, c.want, &info);
    ASSERT_TRUE(icon);
    EXPECT_EQ(info.entryWidth, c.entryWidth);
    EXPECT_EQ(info.entryBitCount, c.entryBits);
    EXPECT_EQ(info.width, c.want);
    EXPECT_TRUE(info.hasColor);
    EXPECT_TRUE(IconHasColor(icon));
    vel::gdi::IconParts parts;
    ASSERT_TRUE(vel::gdi::GetIconParts(icon, &parts));
    vel::gdi::BitmapView color, mask;
    ASSERT_TRUE(vel::gdi::GetBitmapView(parts.color, &color));
    ASSERT_TRUE(vel::gdi::GetBitmapView(parts.mask, &mask));
    EXPECT_EQ(color.width, c.want);
    EXPECT_EQ(color.height, c.want);
    EXPECT_EQ(mask.width, c.want);
    EXPECT_EQ(mask.height, c.want);
    EXPECT_EQ(mask.bitsPerPixel, 1);
    DestroyIcon(icon);
  }
  IconLoadInfo info;
  HICON icon = LoadIconFromMemory(file.data(), file.size(), 32, 32, &info);
  ASSERT_TRUE(icon);
  vel::gdi::IconParts parts;
  ASSERT_TRUE(vel::gdi::GetIconParts(icon, &parts));
  vel::gdi::BitmapView color;
  ASSERT_TRUE(vel::gdi::GetBitmapView(parts.color, &color));
  // The 32-bit entry's pixels, alpha kept.
  ASSERT_EQ(color.bitsPerPixel, 32);
  EXPECT_EQ(color.row(5)[4 * 5 + 0], 0x30);
  EXPECT_EQ(color.row(5)[4 * 5 + 2], 0x10);
  EXPECT_EQ(color.row(5)[4 * 5 + 3], 0xFF);
  DestroyIcon(icon);
}

TEST(IconLoader, MaskAndTransparencyBits) {
  const Bytes file = IconFile(
      1, {{BmpPayload(
               8, 4, 4, kPalette16, [](int x, int) { return x % 16u; }, [](int x, int y) { return x == 1 && y == 2; }),
           8, 4, 4}});
  HICON icon = LoadIconFromMemory(file.data(), file.size(), 8, 4);
  ASSERT_TRUE(icon);
  vel::gdi::IconParts parts;
  ASSERT_TRUE(vel::gdi::GetIconParts(icon, &parts));
  EXPECT_TRUE(parts.isIcon);
  vel::gdi::BitmapView color, mask;
  ASSERT_TRUE(vel::gdi::GetBitmapView(parts.color, &color));
  ASSERT_TRUE(vel::gdi::GetBitmapView(parts.mask, &mask));
  EXPECT_EQ(color.bitsPerPixel, 24);
  EXPECT_EQ((mask.row(2)[0] >> 6) & 1, 1);  // (1, 2) transparent
  EXPECT_EQ((mask.row(2)[0] >> 7) & 1, 0);
  EXPECT_EQ(mask.row(0)[0], 0);
  const BYTE* px = color.row(0) + 3 * 5;
  EXPECT_EQ(px[0], kPalette16[5].rgbBlue);
  EXPECT_EQ(px[1], kPalette16[5].rgbGreen);
  EXPECT_EQ(px[2], kPalette16[5].rgbRed);
  DestroyIcon(icon);
}

TEST(IconLoader, MonochromeIconHasNoColourBitmap) {
  const std::vector<RGBQUAD> bw = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  const Bytes file =
      IconFile(1, {{BmpPayload(
                        16, 16, 1, bw, [](int x, int) { return x < 8 ? 1u : 0u; }, [](int, int y) { return y < 4; }),
                    16, 16, 1}});
  IconLoadInfo info;
  HICON icon = LoadIconFromMemory(file.data(), file.size(), 16, 16, &info);
  ASSERT_TRUE(icon);
  EXPECT_FALSE(info.hasColor);
  EXPECT_FALSE(IconHasColor(icon));
  vel::gdi::IconParts parts;
  ASSERT_TRUE(vel::gdi::GetIconParts(icon, &parts));
  EXPECT_EQ(parts.color, nullptr);
  vel::gdi::BitmapView mask;
  ASSERT_TRUE(vel::gdi::GetBitmapView(parts.mask, &mask));
  ASSERT_EQ(mask.height, 32);
  EXPECT_EQ(mask.row(0)[0], 0xFF);  // AND half: the top rows transparent
  EXPECT_EQ(mask.row(5)[0], 0x00);
  EXPECT_EQ(mask.row(16 + 5)[0], 0xFF);  // XOR half: white on the left
  EXPECT_EQ(mask.row(16 + 5)[1], 0x00);
  DestroyIcon(icon);
}

TEST(IconLoader, CursorKeepsItsHotspotScaled) {
  const Bytes file =
      IconFile(2, {{BmpPayload(
                        16, 16, 4, kPalette16, [](int, int) { return 2u; }, [](int, int) { return false; }),
                    16, 16, 0, 5, 9}});
  auto reader = Open(kIcoFormat, file);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageInfo(0).bitCount, 4);
  IconLoadInfo info;
  HICON cursor = LoadIconFromMemory(file.data(), file.size(), 32, 32, &info);
  ASSERT_TRUE(cursor);
  EXPECT_TRUE(info.isCursor);
  vel::gdi::IconParts parts;
  ASSERT_TRUE(vel::gdi::GetIconParts(cursor, &parts));
  EXPECT_FALSE(parts.isIcon);
  EXPECT_EQ(parts.xHotspot, 10);
  EXPECT_EQ(parts.yHotspot, 18);
  DestroyIcon(cursor);

  const std::string path = WriteTempFile("pointer.cur", file);
  HICON same = LoadIconFile(path, 16, 16, &info);
  ASSERT_TRUE(same);
  EXPECT_EQ(info.xHotspot, 5);
  EXPECT_EQ(info.yHotspot, 9);
  DestroyIcon(same);
  EXPECT_EQ(LoadIconFile(TempDir() + "/missing.ico", 16, 16), nullptr);
}

// ---- animated cursors ----------------------------------------------------------------

Bytes Chunk(const char* id, const Bytes& data) {
  Bytes d(id, id + 4);
  Put32(d, static_cast<std::uint32_t>(data.size()));
  d.insert(d.end(), data.begin(), data.end());
  if (data.size() & 1) d.push_back(0);
  return d;
}

Bytes SolidIcon(int size, std::uint32_t index) {
  return IconFile(1,
                  {{BmpPayload(
                        size, size, 4, kPalette16, [index](int, int) { return index; }, [](int, int) { return false; }),
                    size, size, 4}});
}

Bytes Ani(const std::vector<Bytes>& frames, const std::vector<std::uint32_t>& sequence, std::uint32_t riffSize = 0) {
  Bytes anih;
  const std::uint32_t fields[9] = {
      36, static_cast<std::uint32_t>(frames.size()), static_cast<std::uint32_t>(sequence.size()), 0, 0, 0, 0, 10, 3};
  for (std::uint32_t f : fields) Put32(anih, f);
  Bytes rate, seq;
  for (std::size_t i = 0; i < sequence.size(); ++i) Put32(rate, 5 + static_cast<std::uint32_t>(i));
  for (std::uint32_t s : sequence) Put32(seq, s);
  Bytes fram = {'f', 'r', 'a', 'm'};
  for (const Bytes& f : frames) {
    const Bytes c = Chunk("icon", f);
    fram.insert(fram.end(), c.begin(), c.end());
  }
  Bytes body = {'A', 'C', 'O', 'N'};
  for (const Bytes& c : {Chunk("anih", anih), Chunk("rate", rate), Chunk("seq ", seq), Chunk("LIST", fram)})
    body.insert(body.end(), c.begin(), c.end());
  Bytes d = {'R', 'I', 'F', 'F'};
  Put32(d, riffSize ? riffSize : static_cast<std::uint32_t>(body.size()));
  d.insert(d.end(), body.begin(), body.end());
  return d;
}

TEST(AniReader, PagesAreTheFramesInFileOrder) {
  // Played as 2, 0, 2, 1 with repeats; the pages are the three frames once each.
  const Bytes file = Ani({SolidIcon(8, 4), SolidIcon(16, 7), SolidIcon(12, 9)}, {2, 0, 2, 1});
  auto reader = Open(kAniFormat, file);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 3);
  const int sizes[] = {8, 16, 12};
  const std::uint32_t colors[] = {4, 7, 9};
  for (int page = 0; page < 3; ++page) {
    EXPECT_EQ(reader->pageInfo(page).width, sizes[page]);
    auto img = Page(*reader, page);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, sizes[page]);
    EXPECT_EQ(img->at(1, 1), ColorOf(kPalette16[colors[page]]));
  }
  EXPECT_FALSE(Open(kIcoFormat, file));
  // The icon loader takes the first frame of an animated cursor.
  IconLoadInfo info;
  HICON icon = LoadIconFromMemory(file.data(), file.size(), 0, 0, &info);
  ASSERT_TRUE(icon);
  EXPECT_EQ(info.width, 8);
  DestroyIcon(icon);
}

TEST(AniReader, WrongSizesAndDamage) {
  const Bytes good = Ani({SolidIcon(8, 4), SolidIcon(8, 5)}, {1, 0, 5});  // 5 is no frame
  // A RIFF size counting more than the file, or the whole file: the real end is used.
  for (std::uint32_t size : {0x7FFFFFFFu, static_cast<std::uint32_t>(good.size())}) {
    Bytes wrong = good;
    wrong[4] = size & 0xFF;
    wrong[5] = (size >> 8) & 0xFF;
    wrong[6] = (size >> 16) & 0xFF;
    wrong[7] = (size >> 24) & 0xFF;
    auto reader = Open(kAniFormat, wrong);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->pageCount(), 2);
  }
  // Cut inside the second frame's colour bitmap: one page left.
  Bytes cut(good.begin(), good.end() - 40);
  auto reader = Open(kAniFormat, cut);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->pageCount(), 1);
  // No frame list at all.
  Bytes empty = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'C', 'O', 'N'};
  EXPECT_FALSE(Open(kAniFormat, empty));
  // A frame that is not an icon is skipped.
  Bytes junk(64, 0xAB);
  reader = Open(kAniFormat, Ani({junk, SolidIcon(8, 6)}, {}));
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->pageCount(), 1);
  auto img = Page(*reader, 0);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->at(0, 0), ColorOf(kPalette16[6]));
}

}  // namespace
}  // namespace lorimer::formats
