#include "imagelib/formats/tests/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lorimer::testing {

std::string TempDir() {
  static std::string dir = [] {
    std::string base = (std::filesystem::temp_directory_path() / "lorimer-test-XXXXXX").string();
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    const char* made = mkdtemp(buf.data());
    std::string d = made ? made : "/tmp";
    if (made) {
      static std::string toRemove = d;
      std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(toRemove, ec);
      });
    }
    return d;
  }();
  return dir;
}

std::string WriteTempFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::string path = TempDir() + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string FindTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream ss(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(ss, dir, ':')) {
    std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

bool Run(const std::string& command) {
  int rc = std::system((command + " >/dev/null 2>&1").c_str());
  return rc == 0;
}

namespace {
// Next header token of a PNM file, skipping comments.
bool Token(const std::vector<std::uint8_t>& d, size_t& i, long& value) {
  while (i < d.size()) {
    if (d[i] == '#') {
      while (i < d.size() && d[i] != '\n') ++i;
    } else if (std::isspace(d[i])) {
      ++i;
    } else {
      break;
    }
  }
  if (i >= d.size() || !std::isdigit(d[i])) return false;
  value = 0;
  while (i < d.size() && std::isdigit(d[i])) value = value * 10 + (d[i++] - '0');
  return true;
}
}  // namespace

std::optional<RgbImage> ReadPnm(const std::string& path) {
  std::vector<std::uint8_t> d = ReadFile(path);
  if (d.size() < 3 || d[0] != 'P') return std::nullopt;
  char kind = static_cast<char>(d[1]);
  if (kind != '4' && kind != '5' && kind != '6') return std::nullopt;
  size_t i = 2;
  long w, h, maxval = 1;
  if (!Token(d, i, w) || !Token(d, i, h)) return std::nullopt;
  if (kind != '4' && !Token(d, i, maxval)) return std::nullopt;
  ++i;  // the single whitespace before the raster
  if (w <= 0 || h <= 0 || maxval <= 0 || maxval > 65535) return std::nullopt;
  RgbImage img;
  img.width = static_cast<int>(w);
  img.height = static_cast<int>(h);
  img.pixels.resize(static_cast<size_t>(w) * h);
  int bytesPer = maxval > 255 ? 2 : 1;
  auto sample = [&](size_t at) -> std::uint8_t {
    if (at + bytesPer > d.size()) return 0;
    long v = bytesPer == 2 ? (d[at] << 8 | d[at + 1]) : d[at];
    return static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);
  };
  for (long y = 0; y < h; ++y) {
    for (long x = 0; x < w; ++x) {
      Rgb& p = img.pixels[static_cast<size_t>(y) * w + x];
      if (kind == '4') {
        size_t at = i + static_cast<size_t>(y) * ((w + 7) / 8) + x / 8;
        bool black = at < d.size() && ((d[at] >> (7 - x % 8)) & 1);
        p.r = p.g = p.b = black ? 0 : 255;
      } else if (kind == '5') {
        p.r = p.g = p.b = sample(i + (static_cast<size_t>(y) * w + x) * bytesPer);
      } else {
        size_t at = i + (static_cast<size_t>(y) * w + x) * 3 * bytesPer;
        p.r = sample(at);
        p.g = sample(at + bytesPer);
        p.b = sample(at + 2 * bytesPer);
      }
    }
  }
  return img;
}

std::optional<RgbImage> ImageMagickDecode(const std::string& path, int frame) {
  std::string tool = FindTool("convert-im6.q16");
  if (tool.empty()) return std::nullopt;
  static int counter = 0;
  std::string out = TempDir() + "/im-decode-" + std::to_string(++counter) + ".ppm";
  std::string src = frame >= 0 ? path + "[" + std::to_string(frame) + "]" : path;
  if (!Run(tool + " '" + src + "' -background white -alpha remove -alpha off -depth 8 ppm:'" + out + "'"))
    return std::nullopt;
  return ReadPnm(out);
}

std::optional<RgbImage> BitmapToRgb(HBITMAP bitmap) {
  vel::gdi::BitmapView v;
  if (!vel::gdi::GetBitmapView(bitmap, &v)) return std::nullopt;
  RgbImage img;
  img.width = v.width;
  img.height = v.height;
  img.pixels.resize(static_cast<size_t>(v.width) * v.height);
  for (int y = 0; y < v.height; ++y) {
    const BYTE* row = v.row(y);
    for (int x = 0; x < v.width; ++x) {
      Rgb& p = img.pixels[static_cast<size_t>(y) * v.width + x];
      int idx = -1;
      switch (v.bitsPerPixel) {
        case 1: idx = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
        case 4: idx = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4); break;
        case 8: idx = row[x]; break;
        case 24: p = Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]}; break;
        case 32: p = Rgb{row[4 * x + 2], row[4 * x + 1], row[4 * x]}; break;
        default: return std::nullopt;
      }
      if (idx >= 0) {
        if (idx >= v.colorCount) return std::nullopt;
        p = Rgb{v.colors[idx].rgbRed, v.colors[idx].rgbGreen, v.colors[idx].rgbBlue};
      }
    }
  }
  return img;
}

bool Shell(const std::string& command) { return Run("(" + command + ")"); }

std::unique_ptr<formats::ImageReader> OpenBytes(const formats::FormatDescriptor& format,
                                                std::vector<std::uint8_t> bytes) {
  auto file = std::make_shared<formats::FileData>();
  file->bytes = std::move(bytes);
  if (!format.sniff(file->bytes.data(), std::min(file->bytes.size(), formats::kSniffBytes), file->bytes.size()))
    return nullptr;
  return format.open(file);
}

std::optional<RgbImage> DecodeBytes(const formats::FormatDescriptor& format, std::vector<std::uint8_t> bytes,
                                    int page) {
  auto reader = OpenBytes(format, std::move(bytes));
  if (!reader || page >= reader->pageCount()) return std::nullopt;
  HBITMAP bitmap = reader->decodePage(page);
  if (!bitmap) return std::nullopt;
  auto rgb = BitmapToRgb(bitmap);
  DeleteObject(bitmap);
  return rgb;
}

std::optional<RgbImage> DecodeWith(const formats::FormatDescriptor& format, const std::string& path, int page) {
  auto data = std::make_shared<formats::FileData>();
  data->path = path;
  data->bytes = ReadFile(path);
  if (!format.sniff(data->bytes.data(), std::min(data->bytes.size(), formats::kSniffBytes), data->bytes.size()))
    return std::nullopt;
  auto reader = format.open(data);
  if (!reader || page >= reader->pageCount()) return std::nullopt;
  HBITMAP bmp = reader->decodePage(page);
  if (!bmp) return std::nullopt;
  auto img = BitmapToRgb(bmp);
  DeleteObject(bmp);
  return img;
}

int MaxDifference(const RgbImage& a, const RgbImage& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    worst = std::max({worst, std::abs(a.pixels[i].r - b.pixels[i].r), std::abs(a.pixels[i].g - b.pixels[i].g),
                      std::abs(a.pixels[i].b - b.pixels[i].b)});
  }
  return worst;
}

}  // namespace lorimer::testing
