// FMF output: a 1-bit page becomes a fax page (Group 4 unless Group 3 is asked for)
// at the fax fine resolution, 204 x 196 dpi. Appending keeps the coded data of the
// pages already in the file exactly as it is and adds the new page after them.
#include <algorithm>
#include <cstring>
#include <memory>

#include "imagelib/formats/fmf.h"
#include "imagelib/formats/reader.h"
#include "imagelib/formats/writer.h"

namespace lorimer::formats {
namespace {

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct CodedPage {
  std::uint8_t entry[kFmfEntrySize];  // the directory entry; its offset is rewritten
  std::vector<std::uint8_t> data;
};

// The pages of a file our reader accepts, with their coded data untouched.
bool SplitFmf(const std::vector<std::uint8_t>& bytes, std::vector<CodedPage>* pages) {
  auto file = std::make_shared<FileData>();
  file->bytes = bytes;
  if (!kFmfFormat.sniff(bytes.data(), std::min(bytes.size(), kSniffBytes), bytes.size())) return false;
  if (!kFmfFormat.open(file)) return false;  // the reader's checks decide what a good file is
  const unsigned count = Le16(bytes.data() + 6);
  const std::uint32_t directory = Le32(bytes.data() + 8);
  if (!InRange(bytes.size(), directory, static_cast<std::uint64_t>(count) * kFmfEntrySize)) return false;
  pages->clear();
  for (unsigned i = 0; i < count; ++i) {
    CodedPage page;
    std::memcpy(page.entry, bytes.data() + directory + i * kFmfEntrySize, kFmfEntrySize);
    const std::uint32_t offset = Le32(page.entry), length = Le32(page.entry + 4);
    if (!InRange(bytes.size(), offset, length)) return false;
    page.data.assign(bytes.begin() + offset, bytes.begin() + offset + length);
    pages->push_back(std::move(page));
  }
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

bool WriteFmfPage(HBITMAP bitmap, const WriteOptions& options, const std::vector<std::uint8_t>* existing,
                  std::vector<std::uint8_t>* out) {
  if (!out) return false;
  std::vector<CodedPage> pages;
  if (existing && !SplitFmf(*existing, &pages)) return false;
  if (pages.size() >= static_cast<std::size_t>(kFmfMaxPages)) return false;

  FmfPage page;
  page.compression = options.tiffCompress == "GROUP3" ? kFmfGroup3 : kFmfGroup4;
  std::vector<std::uint8_t> single;
  if (!PageRows(bitmap, &page) || !EncodeFmf({page}, &single)) return false;
  std::vector<CodedPage> added;
  if (!SplitFmf(single, &added) || added.size() != 1) return false;
  pages.push_back(std::move(added[0]));

  // Same arrangement as the encoder: header, directory, then the data in page order.
  const std::size_t directory = kFmfHeaderSize;
  std::uint64_t total = directory + pages.size() * kFmfEntrySize;
  for (const CodedPage& p : pages) total += p.data.size();
  if (total > 0xFFFFFFFFu) return false;
  std::vector<std::uint8_t> file(directory + pages.size() * kFmfEntrySize, 0);
  std::memcpy(file.data(), single.data(), kFmfHeaderSize);  // magic, version, directory offset
  file[6] = static_cast<std::uint8_t>(pages.size());
  file[7] = static_cast<std::uint8_t>(pages.size() >> 8);
  Put32(file.data() + 8, static_cast<std::uint32_t>(directory));
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::uint8_t* e = file.data() + directory + i * kFmfEntrySize;
    std::memcpy(e, pages[i].entry, kFmfEntrySize);
    Put32(e, static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), pages[i].data.begin(), pages[i].data.end());
  }
  *out = std::move(file);
  return true;
}

}  // namespace lorimer::formats
