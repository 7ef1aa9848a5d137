// The suite's fax file (FMF): reader and writer. Layout in docs/formats.md.
#include "imagelib/formats/fmf.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imagelib/formats/ccitt.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {
namespace {

struct PageEntry {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  int width = 0;
  int height = 0;
  int xDpi = 0;
  int yDpi = 0;
  std::uint16_t compression = 0;
  std::uint16_t options = 0;
};

bool ValidPageShape(std::uint64_t width, std::uint64_t height, std::uint16_t compression, std::uint16_t options) {
  if (width == 0 || width > kFmfMaxWidth || height == 0 || height > kFmfMaxHeight) return false;
  if (static_cast<long long>(width * height) > vel::gdi::kMaxBitmapPixels) return false;
  if (compression != kFmfGroup3 && compression != kFmfGroup4) return false;
  if ((options & ~kFmfKnownOptions) != 0) return false;
  return !((options & kFmfAlignedEol) && compression != kFmfGroup3);
}

bool ParseEntry(const std::vector<std::uint8_t>& bytes, const std::uint8_t* e, PageEntry* page) {
  page->offset = Le32(e);
  page->length = Le32(e + 4);
  const std::uint32_t width = Le32(e + 8), height = Le32(e + 12);
  page->xDpi = Le16(e + 16);
  page->yDpi = Le16(e + 18);
  page->compression = Le16(e + 20);
  page->options = Le16(e + 22);
  if (Le32(e + 24) != 0 || Le32(e + 28) != 0) return false;
  if (page->length == 0 || !InRange(bytes.size(), page->offset, page->length)) return false;
  if (!ValidPageShape(width, height, page->compression, page->options)) return false;
  // Every coded row takes at least one bit.
  if (height > static_cast<std::uint64_t>(page->length) * 8) return false;
  page->width = static_cast<int>(width);
  page->height = static_cast<int>(height);
  return true;
}

bool ParseFile(const std::vector<std::uint8_t>& bytes, std::vector<PageEntry>* pages) {
  if (bytes.size() < kFmfHeaderSize || std::memcmp(bytes.data(), kFmfMagic, sizeof kFmfMagic) != 0) return false;
  if (Le16(bytes.data() + 4) != kFmfVersion || Le32(bytes.data() + 12) != 0) return false;
  const int count = Le16(bytes.data() + 6);
  const std::uint32_t directory = Le32(bytes.data() + 8);
  if (count == 0 || count > kFmfMaxPages || directory < kFmfHeaderSize) return false;
  if (!InRange(bytes.size(), directory, static_cast<std::uint64_t>(count) * kFmfEntrySize)) return false;
  pages->resize(count);
  for (int i = 0; i < count; ++i) {
    if (!ParseEntry(bytes, bytes.data() + directory + static_cast<std::size_t>(i) * kFmfEntrySize, &(*pages)[i])) {
      return false;
    }
  }
  return true;
}

ccitt::StripFormat StripFormatOf(int width, int height, std::uint16_t compression, std::uint16_t options) {
  ccitt::StripFormat f;
  f.width = width;
  f.height = height;
  f.coding = compression == kFmfGroup3 ? ccitt::Coding::kGroup3 : ccitt::Coding::kGroup4;
  f.lsbFirst = (options & kFmfLsbFirst) != 0;
  f.alignedEol = (options & kFmfAlignedEol) != 0;
  return f;
}

class FmfReader : public ImageReader {
 public:
  FmfReader(FileDataPtr file, std::vector<PageEntry> pages) : file_(std::move(file)), pages_(std::move(pages)) {}

  int pageCount() const override { return static_cast<int>(pages_.size()); }

  PageInfo pageInfo(int page) const override {
    PageInfo info;
    if (page < 0 || page >= pageCount()) return info;
    const PageEntry& p = pages_[page];
    info.width = p.width;
    info.height = p.height;
    info.bitCount = 1;
    info.colorsUsed = 2;
    info.xDpi = p.xDpi;
    info.yDpi = p.yDpi;
    return info;
  }

  HBITMAP decodePage(int page) override {
    if (page < 0 || page >= pageCount()) return nullptr;
    const PageEntry& p = pages_[page];
    const std::vector<RGBQUAD> palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    HBITMAP bitmap = NewPageBitmap(p.width, p.height, 1, palette);
    vel::gdi::BitmapView view;
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    // Rows the data does not reach stay white paper.
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) + 7) / 8;
    for (int y = 0; y < p.height; ++y) std::memset(view.row(y), 0xFF, rowBytes);
    // Fax rows have 1 = black; our colour table has black at index 0.
    const int rows = ccitt::DecodeStrip(StripFormatOf(p.width, p.height, p.compression, p.options),
                                        file_->bytes.data() + p.offset, p.length, [&](int y, const std::uint8_t* bits) {
                                          BYTE* out = view.row(y);
                                          for (std::size_t i = 0; i < rowBytes; ++i) out[i] = static_cast<BYTE>(~bits[i]);
                                        });
    if (rows <= 0) {
      DeleteObject(bitmap);
      return nullptr;
    }
    return bitmap;
  }

 private:
  FileDataPtr file_;
  std::vector<PageEntry> pages_;
};

bool SniffFmf(const std::uint8_t* head, std::size_t length, std::uint64_t /*fileSize*/) {
  return length >= kFmfHeaderSize && std::memcmp(head, kFmfMagic, sizeof kFmfMagic) == 0 &&
         Le16(head + 4) == kFmfVersion;
}

std::unique_ptr<ImageReader> OpenFmf(FileDataPtr file) {
  if (!file) return nullptr;
  std::vector<PageEntry> pages;
  if (!ParseFile(file->bytes, &pages)) return nullptr;
  return std::make_unique<FmfReader>(std::move(file), std::move(pages));
}

void Put16(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool EncodeFmf(const std::vector<FmfPage>& pages, std::vector<std::uint8_t>* bytes) {
  if (!bytes || pages.empty() || pages.size() > static_cast<std::size_t>(kFmfMaxPages)) return false;
  const std::size_t directory = kFmfHeaderSize;
  std::vector<std::uint8_t> out(directory + pages.size() * kFmfEntrySize, 0);
  std::memcpy(out.data(), kFmfMagic, sizeof kFmfMagic);
  Put16(out.data() + 4, kFmfVersion);
  Put16(out.data() + 6, static_cast<unsigned>(pages.size()));
  Put32(out.data() + 8, static_cast<std::uint32_t>(directory));
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const FmfPage& page = pages[i];
    if (page.width <= 0 || page.height <= 0 || page.xDpi < 0 || page.xDpi > 0xFFFF || page.yDpi < 0 ||
        page.yDpi > 0xFFFF || !ValidPageShape(static_cast<std::uint64_t>(page.width),
                                              static_cast<std::uint64_t>(page.height), page.compression, page.options)) {
      return false;
    }
    // Our rows have 0 = black; the fax coder wants 1 = black.
    std::vector<std::uint8_t> faxRows(page.rows.size());
    std::transform(page.rows.begin(), page.rows.end(), faxRows.begin(), [](std::uint8_t b) { return ~b; });
    std::vector<std::uint8_t> coded;
    if (!ccitt::EncodeStrip(StripFormatOf(page.width, page.height, page.compression, page.options), faxRows, &coded)) {
      return false;
    }
    if (out.size() + coded.size() > 0xFFFFFFFFu) return false;
    std::uint8_t* e = out.data() + directory + i * kFmfEntrySize;
    Put32(e, static_cast<std::uint32_t>(out.size()));
    Put32(e + 4, static_cast<std::uint32_t>(coded.size()));
    Put32(e + 8, static_cast<std::uint32_t>(page.width));
    Put32(e + 12, static_cast<std::uint32_t>(page.height));
    Put16(e + 16, static_cast<unsigned>(page.xDpi));
    Put16(e + 18, static_cast<unsigned>(page.yDpi));
    Put16(e + 20, page.compression);
    Put16(e + 22, page.options);
    out.insert(out.end(), coded.begin(), coded.end());
  }
  *bytes = std::move(out);
  return true;
}

bool WriteFmf(const std::string& path, const std::vector<FmfPage>& pages) {
  std::vector<std::uint8_t> bytes;
  if (path.empty() || !EncodeFmf(pages, &bytes)) return false;
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // mkstemp makes the file private; a saved fax is an ordinary document.
  struct stat existing;
  const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

const FormatDescriptor kFmfFormat = {"FMF", SniffFmf, OpenFmf};

}  // namespace lorimer::formats
