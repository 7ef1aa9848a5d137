// FMF output. Every file is laid out the same way: header, directory, then the coded
// data of the pages in page order. EncodeFmf codes pages given as rows; the codec's
// writer turns a 1-bit page into a fax page (Group 4 unless Group 3 is asked for) at
// the fax fine resolution, 204 x 196 dpi, and when appending keeps the coded data of
// the pages already in the file exactly as it is, adding the new page after them.
#include <algorithm>
#include <span>
#include <string_view>

#include "platform/base/bytes.h"
#include "platform/base/file.h"
#include "imagelib/formats/fmf.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

// A page ready to be laid out: its directory fields and its coded data (the entry's
// offset is set by the layout).
struct CodedPage {
  FmfEntry entry;
  std::span<const std::uint8_t> data;
};

// The whole file; false when it would not fit the 32-bit offsets.
bool LayOut(const std::vector<CodedPage>& pages, std::vector<std::uint8_t>* bytes) {
  const std::size_t directory = kFmfHeaderSize;
  std::uint64_t total = directory + pages.size() * kFmfEntrySize;
  for (const CodedPage& p : pages) total += p.data.size();
  if (total > 0xFFFFFFFFu) return false;
  std::vector<std::uint8_t> file;
  file.reserve(static_cast<std::size_t>(total));
  vel::ByteWriter w(file);
  w.text(std::string_view(kFmfMagic, sizeof kFmfMagic));
  w.le16(kFmfVersion);
  w.le16(static_cast<std::uint16_t>(pages.size()));
  w.le32(static_cast<std::uint32_t>(directory));
  w.le32(0);  // reserved
  std::uint64_t offset = directory + pages.size() * kFmfEntrySize;
  for (const CodedPage& p : pages) {
    w.le32(static_cast<std::uint32_t>(offset));
    w.le32(static_cast<std::uint32_t>(p.data.size()));
    w.le32(static_cast<std::uint32_t>(p.entry.width));
    w.le32(static_cast<std::uint32_t>(p.entry.height));
    w.le16(static_cast<std::uint16_t>(p.entry.xDpi));
    w.le16(static_cast<std::uint16_t>(p.entry.yDpi));
    w.le16(p.entry.compression);
    w.le16(p.entry.options);
    w.le32(0);  // reserved
    w.le32(0);
    offset += p.data.size();
  }
  for (const CodedPage& p : pages) w.bytes(p.data);
  if (!w) return false;
  *bytes = std::move(file);
  return true;
}

// Codes one page's rows; false when the page cannot be stored or the coder refuses.
bool CodePage(const FmfPage& page, FmfEntry* entry, std::vector<std::uint8_t>* coded) {
  if (page.width <= 0 || page.height <= 0 || page.xDpi < 0 || page.xDpi > 0xFFFF || page.yDpi < 0 ||
      page.yDpi > 0xFFFF ||
      !CheckFmfPageShape(static_cast<std::uint64_t>(page.width), static_cast<std::uint64_t>(page.height),
                         page.compression, page.options)) {
    return false;
  }
  // Our rows have 0 = black; the fax coder wants 1 = black.
  std::vector<std::uint8_t> faxRows(page.rows.size());
  std::transform(page.rows.begin(), page.rows.end(), faxRows.begin(), [](std::uint8_t b) { return ~b; });
  if (!ccitt::EncodeStrip(FmfStripFormat(page.width, page.height, page.compression, page.options), faxRows, coded)) {
    return false;
  }
  entry->width = page.width;
  entry->height = page.height;
  entry->xDpi = page.xDpi;
  entry->yDpi = page.yDpi;
  entry->compression = page.compression;
  entry->options = page.options;
  return true;
}

// The page's rows with 0 = black, 1 = white, whatever its two colours are: each
// index goes to whichever of black and white it is nearer.
bool PageRows(HBITMAP bitmap, FmfPage* page) {
  vel::gdi::BitmapView view;
  if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view) || view.bitsPerPixel != 1) return false;
  if (view.width <= 0 || view.height <= 0 || view.width > kFmfMaxWidth || view.height > kFmfMaxHeight) return false;
  bool white[2];
  for (int i = 0; i < 2; ++i) {
    const RGBQUAD c = i < view.colorCount ? view.colors[i] : RGBQUAD{0, 0, 0, 0};
    white[i] = (c.rgbRed * 299 + c.rgbGreen * 587 + c.rgbBlue * 114) / 1000 >= 128;
  }
  const std::size_t rowBytes = (static_cast<std::size_t>(view.width) + 7) / 8;
  page->width = view.width;
  page->height = view.height;
  page->rows.resize(rowBytes * static_cast<std::size_t>(view.height));
  for (int y = 0; y < view.height; ++y) {
    const std::uint8_t* src = view.row(y);
    std::uint8_t* dst = page->rows.data() + rowBytes * static_cast<std::size_t>(y);
    for (std::size_t b = 0; b < rowBytes; ++b) {
      const std::uint8_t ones = src[b];  // pixels of index 1
      dst[b] = static_cast<std::uint8_t>((white[1] ? ones : 0) | (white[0] ? ~ones : 0));
    }
  }
  return true;
}

}  // namespace

bool EncodeFmf(const std::vector<FmfPage>& pages, std::vector<std::uint8_t>* bytes) {
  if (!bytes || pages.empty() || pages.size() > static_cast<std::size_t>(kFmfMaxPages)) return false;
  std::vector<std::vector<std::uint8_t>> coded(pages.size());
  std::vector<CodedPage> layout(pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (!CodePage(pages[i], &layout[i].entry, &coded[i])) return false;
    layout[i].data = coded[i];
  }
  return LayOut(layout, bytes);
}

bool WriteFmf(const std::string& path, const std::vector<FmfPage>& pages) {
  std::vector<std::uint8_t> bytes;
  if (path.empty() || !EncodeFmf(pages, &bytes)) return false;
  return vel::ReplaceFileContents(path, bytes, "lorimer");
}

bool WriteFmfPage(HBITMAP bitmap, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
                  std::vector<std::uint8_t>* out) {
  if (!out) return false;
  // The earlier pages exactly as coded, from a file our reader accepts.
  std::vector<CodedPage> pages;
  if (existing) {
    auto entries = ReadFmfDirectory(*existing);
    if (!entries) return false;
    for (const FmfEntry& e : *entries) pages.push_back({e, std::span(*existing).subspan(e.offset, e.length)});
  }
  if (pages.size() >= static_cast<std::size_t>(kFmfMaxPages)) return false;

  FmfPage page;
  page.compression = options.tiffCompress == "GROUP3" ? kFmfGroup3 : kFmfGroup4;
  CodedPage added;
  std::vector<std::uint8_t> coded;
  if (!PageRows(bitmap, &page) || !CodePage(page, &added.entry, &coded)) return false;
  added.data = coded;
  pages.push_back(added);
  return LayOut(pages, out);
}

}  // namespace lorimer::formats
