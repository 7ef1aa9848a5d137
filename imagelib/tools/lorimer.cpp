// lorimer: the image library from the command line, for scripts and for checking
// what the library makes of a file.
#include <png.h>

#include <cctype>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/Common.h"
#include "imagelib/tools/lorimer_commands.h"
#include "lorimer/Dib.h"
#include "lorimer/ImageInterface.h"
#include "lorimer/LoadFailure.h"
#include "platform/base/file.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  lorimer info [--page N] FILE...\n"
    "      One line per file:\n"
    "      PATH: format=F width=W height=H depth=D colors=C pages=P gray=G vector=V compression=K\n"
    "      (width and height of page N, default 0; vector=1 for drawings: WMF, EMF,\n"
    "      EPS/PS, WPG, DXF). A file that does not load prints\n"
    "      \"PATH: cannot load: REASON\". Exit status 0 when every file loaded, else 1.\n"
    "  lorimer render [--page N] FILE OUT\n"
    "      Draws page N (default 0) at its own size onto white (drawings are played)\n"
    "      and writes OUT as binary PPM (.ppm), Windows bitmap (.bmp) or PNG (.png),\n"
    "      chosen by OUT's extension.\n"
    "      Exit status 0, or 1 with a one-line reason.\n"
    "  lorimer save [--page N] IN OUT [OPERATION...] [FIELD=VALUE...]\n"
    "      Loads IN, runs the operations in the order given, then saves page N (default 0)\n"
    "      with the record OUT's extension chooses (bmp/rle/dib, jpg/jpe/jpeg, gif, tif/tiff,\n"
    "      pcx, dcx, png, tga/targa, fmf, wmf, emf, eps). Operations:\n"
    "        --rotate DEG[,0xBBGGRR]   --mirror A,B      --filter N (0-8)   --invert\n"
    "        --brightness L (-255..255) --contrast L,MASK (L -100..100; MASK 4 red, 2 green, 1 blue)\n"
    "        --depth BITS   --gray   --stretch W,H,METHOD[,PROPORTIONAL]   --crop L,T,R,B\n"
    "      Fields of the record: width height method page proportional angle crop=L,T,R,B\n"
    "        gray depth (bmp pcx dcx gif png tga; jpg tif: depth), quality (jpg),\n"
    "        interlace (gif), append (gif dcx tif), colour compression fillorder artist\n"
    "        copyright (tif), filter compression (png), mode (wmf emf: 0 recorded here,\n"
    "        1 through the wmfwrap helper), preview (eps). The record starts zero-filled:\n"
    "        give depth=24 quality=90 for a colour JPEG (depth 0 means 8 there, gray).\n"
    "      Methods: -1 draw, 0 nearest-neighbour copy, 1/2 StretchBlt modes, 3 area/bilinear,\n"
    "        4 the library's own scaler. Exit status 0, or 1 with a one-line reason.\n"
    "  lorimer thumb IN OUT MAXW MAXH [--quality Q] [--border] [--background 0xBBGGRR]\n"
    "                [--gray] [--depth D] [--page N]\n"
    "      Writes a BMP thumbnail of page N fitted into MAXW x MAXH and prints its size.\n"
    "  lorimer thumbnail [--page N] IN OUT SIZE\n"
    "      Writes OUT as a PNG of page N fitted into SIZE x SIZE (never enlarged), for\n"
    "      the desktop's thumbnailers. Icons, cursors and PNG files keep their\n"
    "      transparency; everything else is drawn onto white. Exit status 0, or 1 with\n"
    "      a one-line reason (OUT is then left as it was).\n"
    "  lorimer --help\n";

bool ParsePage(const char* text, int* page) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 1000000) return false;
  *page = static_cast<int>(v);
  return true;
}

int Info(int page, const std::vector<std::string>& files) {
  int status = 0;
  for (const std::string& path : files) {
    CImageInterface image;
    if (!image.Load(path.c_str(), 1)) {
      std::printf("%s: cannot load: %s\n", path.c_str(), lorimer::LastLoadFailure().c_str());
      status = 1;
      continue;
    }
    const _SRCIMAGEINFO& info = image.GetSourceInfo();
    std::printf("%s: format=%d width=%d height=%d depth=%d colors=%d pages=%d gray=%u vector=%d compression=%d\n",
                path.c_str(), image.GetFormat(), image.GetWidth(page), image.GetHeight(page), image.GetColorDepth(),
                image.GetColorsNumber(), image.GetPageCount(), info.bGray, image.IsVectorImage(),
                image.GetCompressionType());
  }
  return status;
}

bool EndsWith(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  return true;
}

// An output file gathered in memory and put in place whole, so a failed write
// never leaves half a file.
class MemoryFile {
 public:
  MemoryFile() : stream_(open_memstream(&data_, &size_)) {}
  ~MemoryFile() {
    if (stream_) std::fclose(stream_);
    std::free(data_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  FILE* stream() const { return stream_; }
  bool PutInPlace(const std::string& out) {
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return closed && vel::ReplaceFileContents(out, data_, size_, "lorimer");
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  FILE* stream_;
};

bool WritePpm(const vel::gdi::BitmapView& v, const std::string& out) {
  MemoryFile file;
  FILE* f = file.stream();
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", v.width, v.height);
  std::vector<unsigned char> row(static_cast<size_t>(v.width) * 3);
  bool ok = true;
  for (int y = 0; y < v.height && ok; ++y) {
    const BYTE* p = v.row(y);
    for (int x = 0; x < v.width; ++x) {
      row[3 * x] = p[3 * x + 2];
      row[3 * x + 1] = p[3 * x + 1];
      row[3 * x + 2] = p[3 * x];
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return ok && file.PutInPlace(out);
}

bool WritePng(const vel::gdi::BitmapView& v, const std::string& out) {
  MemoryFile file;
  FILE* f = file.stream();
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<unsigned char> row(static_cast<size_t>(v.width) * 3);
  // Survives the jump back from libpng's error handler.
  volatile bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  if (ok) {
    png_init_io(png, f);
    png_set_IHDR(png, info, v.width, v.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < v.height; ++y) {
      const BYTE* p = v.row(y);
      for (int x = 0; x < v.width; ++x) {
        row[3 * x] = p[3 * x + 2];
        row[3 * x + 1] = p[3 * x + 1];
        row[3 * x + 2] = p[3 * x];
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
  }
  png_destroy_write_struct(&png, &info);
  return ok && file.PutInPlace(out);
}

int Render(int page, const std::string& file, const std::string& out) {
  bool ppm = EndsWith(out, ".ppm"), bmp = EndsWith(out, ".bmp"), png = EndsWith(out, ".png");
  if (!ppm && !bmp && !png) {
    std::fprintf(stderr, "lorimer: %s: output must end in .ppm, .bmp or .png\n", out.c_str());
    return 1;
  }
  CImageInterface image;
  if (!image.Load(file.c_str(), 1)) {
    std::fprintf(stderr, "lorimer: %s: cannot load: %s\n", file.c_str(), lorimer::LastLoadFailure().c_str());
    return 1;
  }
  if (page >= image.GetPageCount()) {
    std::fprintf(stderr, "lorimer: %s: no page %d (the file has %d)\n", file.c_str(), page, image.GetPageCount());
    return 1;
  }
  int width = image.GetWidth(page), height = image.GetHeight(page);
  HBITMAP canvas = Common::CreateEmptyDIBSection(width, height, RGB(255, 255, 255), 0);
  if (!canvas) {
    std::fprintf(stderr, "lorimer: %s: cannot make a %d x %d canvas\n", file.c_str(), width, height);
    return 1;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  int drawn = image.DrawImage(dc, 0, 0, 0, 0, page);
  SelectObject(dc, old);
  DeleteDC(dc);
  bool ok = false;
  if (drawn) {
    vel::gdi::BitmapView v;
    vel::gdi::GetBitmapView(canvas, &v);
    if (ppm) ok = WritePpm(v, out);
    if (png) ok = WritePng(v, out);
    if (bmp) {
      CDib dib;
      CMemFile file;
      ok = dib.ReadFromHBITMAP(canvas) && dib.Save(file) &&
           vel::ReplaceFileContents(out, file.Data(), file.GetLength(), "lorimer");
    }
  }
  DeleteObject(canvas);
  if (!drawn) {
    std::fprintf(stderr, "lorimer: %s: cannot draw page %d\n", file.c_str(), page);
    return 1;
  }
  if (!ok) {
    std::fprintf(stderr, "lorimer: %s: cannot write\n", out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 1 : 0;
  }
  std::string command = args[0];
  int page = 0;
  std::vector<std::string> rest;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--page") {
      if (i + 1 >= args.size() || !ParsePage(args[i + 1].c_str(), &page)) {
        std::fprintf(stderr, "lorimer: --page needs a page number\n");
        return 1;
      }
      ++i;
    } else {
      rest.push_back(args[i]);
    }
  }
  if (command == "info" && !rest.empty()) return Info(page, rest);
  if (command == "render" && rest.size() == 2) return Render(page, rest[0], rest[1]);
  if (command == "save" && rest.size() >= 2) return SaveCommand(page, rest);
  if (command == "thumb" && rest.size() >= 4) return ThumbCommand(page, rest);
  if (command == "thumbnail" && rest.size() == 3) return ThumbnailCommand(page, rest);
  std::fputs(kUsage, stderr);
  return 1;
}
