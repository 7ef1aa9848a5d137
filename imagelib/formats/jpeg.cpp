// JPEG reader on libjpeg-turbo.
//
// Decoding keeps libjpeg-turbo's default quality settings (accurate integer IDCT, fancy
// upsampling), which are also what other tools built on it use, so our pixels match theirs.
// Scanlines go straight into the DIB section's rows in BGR order; only CMYK pictures pass
// through a small band buffer for their colour conversion.
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/formats/jpeg_decode.h"
#include "imagelib/formats/reader.h"
#include "platform/base/bytes.h"

namespace lorimer::formats {
namespace {

// Pictures above 2^24 pixels must come with a file big enough to plausibly hold them: even
// a blank page costs a few bits per 8x8 block in every coding mode we expect to see.
constexpr std::uint64_t kMaxPixelsPerByte = 2048;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char error[JMSG_LENGTH_MAX];    // the message libjpeg gave up with
  char warning[JMSG_LENGTH_MAX];  // its first warning, often the cause ("Premature end of JPEG file")
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
  cinfo->err->format_message(cinfo, mgr->error);
  std::longjmp(mgr->jump, 1);
}
// Warnings (corrupt or missing data) are not fatal: the picture decodes as far as it goes.
// The first is kept, since it usually explains an error that follows.
void OnMessage(j_common_ptr cinfo, int level) {
  auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (level < 0 && mgr->warning[0] == 0) cinfo->err->format_message(cinfo, mgr->warning);
}
void OnOutput(j_common_ptr) {}

// One decompressor over a memory buffer, destroyed on every path.
class JpegSession {
 public:
  JpegSession() {
    cinfo_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = OnError;
    errors_.pub.emit_message = OnMessage;
    errors_.pub.output_message = OnOutput;
  }
  ~JpegSession() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
  }
  JpegSession(const JpegSession&) = delete;
  JpegSession& operator=(const JpegSession&) = delete;

  jpeg_decompress_struct* cinfo() { return &cinfo_; }

  // Runs `work` with the error jump armed; false when libjpeg gave up. `work` must not own
  // objects with destructors, since a jump skips them.
  template <typename F>
  bool Guarded(F&& work) {
    if (setjmp(errors_.jump)) return false;
    if (!created_) {
      jpeg_create_decompress(&cinfo_);
      created_ = true;
    }
    work();
    return true;
  }

  // Why libjpeg gave up: "JPEG: Premature end of JPEG file (JPEG datastream contains no image)".
  std::string failure() const {
    std::string reason = std::string("JPEG: ") + (errors_.warning[0] ? errors_.warning : errors_.error);
    if (errors_.warning[0] && errors_.error[0]) reason += std::string(" (") + errors_.error + ")";
    return reason;
  }

 private:
  jpeg_decompress_struct cinfo_{};
  ErrorManager errors_{};
  bool created_ = false;
};

void FillInfo(const jpeg_decompress_struct& c, JpegInfo* info) {
  info->width = static_cast<int>(c.image_width);
  info->height = static_cast<int>(c.image_height);
  info->components = c.num_components;
  info->bitCount = c.num_components * 8;
  info->progressive = c.progressive_mode != 0;
  info->xDpi = info->yDpi = 0;
  if (c.saw_JFIF_marker && c.X_density > 0 && c.Y_density > 0) {
    if (c.density_unit == 1) {
      info->xDpi = c.X_density;
      info->yDpi = c.Y_density;
    } else if (c.density_unit == 2) {
      info->xDpi = static_cast<int>(c.X_density * 2.54 + 0.5);
      info->yDpi = static_cast<int>(c.Y_density * 2.54 + 0.5);
    }
  }
}

// Whether we decode what the header describes: a colour model we know, and a size the
// file can plausibly hold.
vel::Expected<void> Acceptable(const jpeg_decompress_struct& c, std::size_t fileSize) {
  const bool known = (c.num_components == 1 && c.jpeg_color_space == JCS_GRAYSCALE) ||
                     (c.num_components == 3 && (c.jpeg_color_space == JCS_YCbCr || c.jpeg_color_space == JCS_RGB)) ||
                     (c.num_components == 4 && (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK));
  if (!known) {
    return vel::Fail("JPEG header: " + std::to_string(c.num_components) + " components in colour space " +
                     std::to_string(static_cast<int>(c.jpeg_color_space)));
  }
  // Every JPEG is decoded into 24 bits.
  if (auto size = CheckPictureSize(c.image_width, c.image_height, 24, fileSize, kMaxPixelsPerByte); !size) {
    return vel::Fail("JPEG header: " + size.reason());
  }
  return {};
}

// Starts with an SOI marker (and has room for more than that).
bool StartsLikeJpeg(std::span<const std::uint8_t> data) {
  vel::ByteReader in(data);
  return in.u8() == 0xFF && in.u8() == 0xD8 && in.has(2);
}

// One row of CMYK samples to B, G, R. Adobe writes its CMYK inverted (0 is full ink).
void CmykToBgr(const JSAMPLE* in, BYTE* out, int width, bool inverted) {
  for (int x = 0; x < width; ++x, in += 4, out += 3) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    out[0] = static_cast<BYTE>((y * k + 127) / 255);
    out[1] = static_cast<BYTE>((m * k + 127) / 255);
    out[2] = static_cast<BYTE>((c * k + 127) / 255);
  }
}

HBITMAP NewDib24(int width, int height, bool topDown) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = topDown ? -height : height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  // Every row is written below (rows the data does not reach are cleared), so the
  // section need not be cleared first: in a batch it is memory a photo before used.
  return vel::gdi::CreateDIBSectionForWriting(&bmi, &bits);
}

}  // namespace

vel::Expected<JpegInfo> ReadJpegInfo(std::span<const std::uint8_t> data) {
  if (!StartsLikeJpeg(data)) return vel::Fail("JPEG header: no start-of-image marker");
  JpegSession session;
  jpeg_decompress_struct* c = session.cinfo();
  bool headerOk = false;
  const bool finished = session.Guarded([&] {
    jpeg_mem_src(c, data.data(), static_cast<unsigned long>(data.size()));
    headerOk = jpeg_read_header(c, TRUE) == JPEG_HEADER_OK;
  });
  if (!finished) return vel::Fail(session.failure());
  if (!headerOk) return vel::Fail("JPEG header: no image in the stream");
  if (auto accepted = Acceptable(*c, data.size()); !accepted) return vel::Fail(accepted.error());
  JpegInfo info;
  FillInfo(*c, &info);
  return info;
}

bool ReadJpegHeader(const std::uint8_t* data, std::size_t size, JpegInfo* info) {
  if (!data) return false;
  auto read = ReadJpegInfo({data, size});
  if (!read) return false;
  if (info) *info = *read;
  return true;
}

vel::Expected<vel::gdi::OwnedBitmap> DecodeJpeg(std::span<const std::uint8_t> data, bool topDown, JpegInfo* info,
                                                int shrink) {
  if (!StartsLikeJpeg(data)) return vel::Fail("JPEG header: no start-of-image marker");
  JpegSession session;
  jpeg_decompress_struct* c = session.cinfo();
  HBITMAP bitmap = nullptr;  // owned once libjpeg is done: a jump would skip an owner's destructor
  vel::gdi::BitmapView view;
  std::vector<JSAMPROW> rows;     // one pointer per output row, into the bitmap
  std::vector<JSAMPLE> cmykBand;  // CMYK only: samples of one call's worth of rows
  std::vector<JSAMPROW> cmykRows;
  bool headerOk = false;
  vel::Expected<void> accepted = vel::Fail("JPEG header: not read");
  const bool finished = session.Guarded([&] {
    jpeg_mem_src(c, data.data(), static_cast<unsigned long>(data.size()));
    headerOk = jpeg_read_header(c, TRUE) == JPEG_HEADER_OK;
    if (!headerOk) return;
    accepted = Acceptable(*c, data.size());
    if (!accepted) return;
    const bool cmyk = c->num_components == 4;
    c->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    c->dct_method = JDCT_ISLOW;
    c->do_fancy_upsampling = TRUE;
    c->scale_num = 1;
    c->scale_denom = shrink == 2 || shrink == 4 || shrink == 8 ? static_cast<unsigned>(shrink) : 1;
    jpeg_start_decompress(c);
    const int width = static_cast<int>(c->output_width);
    const int height = static_cast<int>(c->output_height);
    bitmap = NewDib24(width, height, topDown);
    if (!bitmap || !vel::gdi::GetBitmapView(bitmap, &view)) return;
    rows.resize(height);
    for (int y = 0; y < height; ++y) rows[y] = view.row(y);
    if (!cmyk) {
      while (c->output_scanline < c->output_height) {
        const JDIMENSION done = c->output_scanline;
        if (jpeg_read_scanlines(c, rows.data() + done, c->output_height - done) == 0) break;
      }
    } else {
      const int band = std::max(1, c->rec_outbuf_height);
      cmykBand.resize(static_cast<std::size_t>(width) * 4 * band);
      cmykRows.resize(band);
      for (int i = 0; i < band; ++i) cmykRows[i] = cmykBand.data() + static_cast<std::size_t>(width) * 4 * i;
      const bool inverted = c->saw_Adobe_marker != 0;
      while (c->output_scanline < c->output_height) {
        const JDIMENSION first = c->output_scanline;
        const JDIMENSION got = jpeg_read_scanlines(c, cmykRows.data(), band);
        if (got == 0) break;
        for (JDIMENSION i = 0; i < got; ++i) CmykToBgr(cmykRows[i], rows[first + i], width, inverted);
      }
    }
    for (JDIMENSION y = c->output_scanline; y < c->output_height; ++y)
      std::memset(rows[y], 0, static_cast<std::size_t>(width) * 3);
    // The trailer may be damaged in a file whose pixels all came through; what we have stands.
    jpeg_abort_decompress(c);
  });
  vel::gdi::OwnedBitmap page(bitmap);
  if (!finished) return vel::Fail(session.failure());
  if (!headerOk) return vel::Fail("JPEG header: no image in the stream");
  if (!accepted) return vel::Fail(accepted.error());
  if (!page) {
    return vel::Fail("JPEG: no memory for a " + std::to_string(c->output_width) + " x " +
                     std::to_string(c->output_height) + " page");
  }
  if (info) FillInfo(*c, info);
  return page;
}

HBITMAP DecodeJpegToDib(const std::uint8_t* data, std::size_t size, bool topDown, JpegInfo* info, int shrink) {
  if (!data) return nullptr;
  auto page = DecodeJpeg({data, size}, topDown, info, shrink);
  return page ? page->release() : nullptr;
}

int JpegShrinkFor(int width, int height, int targetWidth, int targetHeight) {
  if (width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0) return 1;
  for (const std::int64_t shrink : {8, 4, 2}) {
    // libjpeg rounds the scaled sides up.
    const std::int64_t w = (width + shrink - 1) / shrink, h = (height + shrink - 1) / shrink;
    if (w >= 2 * std::int64_t{targetWidth} && h >= 2 * std::int64_t{targetHeight}) return static_cast<int>(shrink);
  }
  return 1;
}

namespace {

class JpegReader final : public ImageReader {
 public:
  JpegReader(FileDataPtr file, const JpegInfo& info) : file_(std::move(file)), info_(info) {}
  int pageCount() const override { return 1; }
  PageInfo pageInfo(int) const override {
    PageInfo page;
    page.width = info_.width;
    page.height = info_.height;
    page.bitCount = 24;  // every JPEG, gray and CMYK included, is decoded into 24 bits
    page.xDpi = info_.xDpi;
    page.yDpi = info_.yDpi;
    return page;
  }
  Decoded decode(int page) override {
    if (page != 0) return vel::Fail("JPEG: no page " + std::to_string(page + 1) + " in 1");
    return DecodeJpeg(file_->bytes, true, nullptr);
  }

 private:
  FileDataPtr file_;
  JpegInfo info_;
};

bool SniffJpeg(const std::uint8_t* head, std::size_t length, std::uint64_t) {
  vel::ByteReader in(head, length);
  return in.u8() == 0xFF && in.u8() == 0xD8 && in.u8() == 0xFF && in;
}

Opened OpenJpeg(FileDataPtr file) {
  if (!file) return vel::Fail("JPEG: no file");
  auto info = ReadJpegInfo(file->bytes);
  if (!info) return vel::Fail(info.error());
  return std::make_unique<JpegReader>(std::move(file), *info);
}

}  // namespace

const FormatDescriptor kJpegFormat = {"JPEG", SniffJpeg, OpenJpeg};

}  // namespace lorimer::formats
