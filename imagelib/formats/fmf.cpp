// The suite's fax file (FMF): the reader, and the directory and page rules the
// writers share. Layout in docs/formats.md.
#include "imagelib/formats/fmf.h"

#include <cstring>
#include <string>

#include "platform/base/bytes.h"
#include "imagelib/formats/page_canvas.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {

vel::Expected<void> CheckFmfPageShape(std::uint64_t width, std::uint64_t height, std::uint16_t compression,
                                      std::uint16_t options) {
  if (width == 0 || width > kFmfMaxWidth || height == 0 || height > kFmfMaxHeight) {
    return vel::Fail("size " + std::to_string(width) + " x " + std::to_string(height));
  }
  // The page alone; the reader also weighs it against its coded bytes.
  if (auto size = CheckPictureSize(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height), 1, 0, 0);
      !size) {
    return vel::Fail(size.error());
  }
  if (compression != kFmfGroup3 && compression != kFmfGroup4) {
    return vel::Fail("compression " + std::to_string(compression));
  }
  if ((options & ~kFmfKnownOptions) != 0) return vel::Fail("unknown options " + std::to_string(options));
  if ((options & kFmfAlignedEol) && compression != kFmfGroup3) return vel::Fail("aligned EOLs outside Group 3");
  return {};
}

ccitt::StripFormat FmfStripFormat(int width, int height, std::uint16_t compression, std::uint16_t options) {
  ccitt::StripFormat f;
  f.width = width;
  f.height = height;
  f.coding = compression == kFmfGroup3 ? ccitt::Coding::kGroup3 : ccitt::Coding::kGroup4;
  f.lsbFirst = (options & kFmfLsbFirst) != 0;
  f.alignedEol = (options & kFmfAlignedEol) != 0;
  return f;
}

namespace {

std::string PageName(std::size_t page) { return "FMF page " + std::to_string(page) + ": "; }

vel::Expected<FmfEntry> ReadEntry(vel::ByteReader entry, std::span<const std::uint8_t> file) {
  FmfEntry page;
  page.offset = entry.le32();
  page.length = entry.le32();
  const std::uint32_t width = entry.le32(), height = entry.le32();
  page.xDpi = entry.le16();
  page.yDpi = entry.le16();
  page.compression = entry.le16();
  page.options = entry.le16();
  const std::uint32_t reserved1 = entry.le32(), reserved2 = entry.le32();
  if (!entry) return vel::Fail(entry.failure());
  if (reserved1 != 0 || reserved2 != 0) return vel::Fail("reserved fields are not 0");
  if (page.length == 0) return vel::Fail("no coded data");
  vel::ByteReader whole(file);
  whole.sub(page.offset, page.length);
  if (!whole) return vel::Fail("coded data " + whole.failure());
  if (auto shape = CheckFmfPageShape(width, height, page.compression, page.options); !shape) {
    return vel::Fail(shape.error());
  }
  // Every coded row takes at least one bit.
  if (height > static_cast<std::uint64_t>(page.length) * 8) {
    return vel::Fail(std::to_string(height) + " rows cannot come from " + std::to_string(page.length) + " bytes");
  }
  page.width = static_cast<int>(width);
  page.height = static_cast<int>(height);
  return page;
}

}  // namespace

vel::Expected<std::vector<FmfEntry>> ReadFmfDirectory(std::span<const std::uint8_t> file) {
  vel::ByteReader in(file);
  const auto magic = in.bytes(sizeof kFmfMagic);
  const std::uint16_t version = in.le16();
  const std::uint16_t count = in.le16();
  const std::uint32_t directory = in.le32();
  const std::uint32_t reserved = in.le32();
  if (!in) return vel::Fail("FMF header: " + in.failure());
  if (std::memcmp(magic.data(), kFmfMagic, sizeof kFmfMagic) != 0) return vel::Fail("FMF header: no VFMF signature");
  if (version != kFmfVersion) return vel::Fail("FMF header: version " + std::to_string(version));
  if (reserved != 0) return vel::Fail("FMF header: the reserved field is not 0");
  if (count == 0 || count > kFmfMaxPages) return vel::Fail("FMF header: " + std::to_string(count) + " pages");
  if (directory < kFmfHeaderSize) return vel::Fail("FMF header: directory at " + std::to_string(directory));
  vel::ByteReader entries = in.sub(directory, std::uint64_t{count} * kFmfEntrySize);
  if (!in) return vel::Fail("FMF directory: " + in.failure());
  std::vector<FmfEntry> pages;
  pages.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto page = ReadEntry(entries.take(kFmfEntrySize), file);
    if (!page) return vel::Fail(PageName(i) + page.reason());
    pages.push_back(*page);
  }
  return pages;
}

namespace {

class FmfReader : public ImageReader {
 public:
  FmfReader(FileDataPtr file, std::vector<FmfEntry> pages) : file_(std::move(file)), pages_(std::move(pages)) {}

  int pageCount() const override { return static_cast<int>(pages_.size()); }

  PageInfo pageInfo(int page) const override {
    PageInfo info;
    if (page < 0 || page >= pageCount()) return info;
    const FmfEntry& p = pages_[page];
    info.width = p.width;
    info.height = p.height;
    info.bitCount = 1;
    info.colorsUsed = 2;
    info.xDpi = p.xDpi;
    info.yDpi = p.yDpi;
    return info;
  }

  Decoded decode(int page) override {
    if (page < 0 || page >= pageCount()) return vel::Fail("FMF: no page " + std::to_string(page));
    const FmfEntry& p = pages_[page];
    const std::vector<RGBQUAD> palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    auto canvas = NewPageCanvas(p.width, p.height, 1, palette);
    if (!canvas) return vel::Fail(PageName(page) + canvas.reason());
    const vel::gdi::BitmapView& view = canvas->view;
    // Rows the data does not reach stay white paper.
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) + 7) / 8;
    for (int y = 0; y < p.height; ++y) std::memset(view.row(y), 0xFF, rowBytes);
    // Fax rows have 1 = black; our colour table has black at index 0.
    const auto coded = std::span<const std::uint8_t>(file_->bytes).subspan(p.offset, p.length);
    const auto faxRow = [&](int y, const std::uint8_t* bits) {
      BYTE* out = view.row(y);
      for (std::size_t i = 0; i < rowBytes; ++i) out[i] = static_cast<BYTE>(~bits[i]);
    };
    const int rows = ccitt::DecodeStrip(FmfStripFormat(p.width, p.height, p.compression, p.options), coded.data(),
                                        coded.size(), faxRow);
    if (rows <= 0) return vel::Fail(PageName(page) + "the coded data gives no row");
    return std::move(canvas->bitmap);
  }

 private:
  FileDataPtr file_;
  std::vector<FmfEntry> pages_;
};

bool SniffFmf(const std::uint8_t* head, std::size_t length, std::uint64_t /*fileSize*/) {
  vel::ByteReader in(head, length);
  const auto magic = in.bytes(sizeof kFmfMagic);
  const std::uint16_t version = in.le16();
  return in && length >= kFmfHeaderSize && std::memcmp(magic.data(), kFmfMagic, sizeof kFmfMagic) == 0 &&
         version == kFmfVersion;
}

Opened OpenFmf(FileDataPtr file) {
  if (!file) return vel::Fail("FMF: no file");
  auto pages = ReadFmfDirectory(file->bytes);
  if (!pages) return vel::Fail(pages.error());
  return std::make_unique<FmfReader>(std::move(file), std::move(*pages));
}

}  // namespace

const FormatDescriptor kFmfFormat = {"FMF", SniffFmf, OpenFmf};

}  // namespace lorimer::formats
